// Broadcast ephemerides of every system through the real process: the board simulator
// broadcasts a RINEX 4 day (GPS, GLONASS, Galileo I/NAV and F/NAV, BeiDou D1 and D2, QZSS,
// NavIC) over a site that sees them all, the program's decoders fill its satellite data store,
// and its RTCM 3 ephemeris messages (1019, 1020, 1041, 1042, 1044, 1045, 1046) on a serial port,
// read by Debian's convbin into RINEX 3, give back the file's values within one unit of the
// last printed digit. A rover takes the QZSS and NavIC ones from that stream and sends them on.
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <set>
#include <vector>

#include "e2e/harness.h"
#include "e2e/nav_rinex.h"

namespace e2e {
namespace {

using rinex::rtcm3Frames;
using rinex::rtcm3Type;
using rinex::Record;

class SimEphemeris : public Rx {};

const std::string kBrd4 = std::string(RX_SHARED_DIR) + "/testdata/nav/BRD400DLR_S_20230710000_01D_MN.rnx.gz";

// The RINEX 4 record type a RINEX 3 record came from: Galileo by its data-source bits (bit 1
// F/NAV), BeiDou by the GEO numbers (D2), every other system its legacy message.
std::string sourceType(const Record& r) {
  switch (r.sat[0]) {
    case 'R': return "FDMA";
    case 'E': return (static_cast<int>(r.v[20]) & 2) != 0 ? "FNAV" : "INAV";
    case 'C': {
      const int prn = std::atoi(r.sat.c_str() + 1);
      return prn <= 5 || prn >= 59 ? "D2" : "D1";
    }
    default: return "LNAV";
  }
}

// The value indices RTCM 3 carries, compared for each system. Left out: transmission times
// (RTCM has none, convbin writes its own), URA and SISA (sent as an index), GLONASS tk (the
// frame the program heard last), Galileo data sources (convbin's own code for the message),
// the fit interval and spares.
std::vector<int> comparedFields(char sys) {
  switch (sys) {
    case 'R': return {0, 1, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14};
    case 'E': return {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 21, 24, 25, 26};
    case 'C': return {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 21, 24, 25, 26, 28};
    case 'I': return {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 21, 24, 25};
    default: return {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 24, 25, 26};
  }
}

TEST_F(SimEphemeris, EverySystemsEphemeridesComeBackThroughRtcm3AsTheFileHasThem) {
  ASSERT_EQ(access("/usr/bin/convbin", X_OK), 0) << "convbin (Debian rtklib) is required: run scripts/setup";
  // Hong Kong sees every system: the QZSS and NavIC satellites and the BeiDou GEOs included.
  ASSERT_NO_FATAL_FAILURE(startSim({"--nav", kBrd4, "--start", "2023-03-12T10:00:00", "--site", "22.3,114.2,50", "--sky"}));
  ASSERT_NO_FATAL_FAILURE(start());
  Port b(dir_.file("dev/ser/b"));
  ASSERT_TRUE(b.ok());
  ASSERT_EQ(ask("%e%em,/dev/ser/b,rtcm3/{1019,1020,1041,1042,1044,1045,1046}"), re("%e%"));
  const std::set<int> types = {1019, 1020, 1041, 1042, 1044, 1045, 1046};
  // Each message kind of at least two satellites, or the guard.
  const auto enough = [&](const std::string& held) {
    std::map<int, int> n;
    for (const std::string& f : rtcm3Frames(held)) ++n[rtcm3Type(f)];
    for (int t : types)
      if (n[t] < 2) return false;
    return true;
  };
  b.fill(enough, 150000);
  const std::vector<std::string> frames = rtcm3Frames(b.held);
  std::map<int, int> perType;
  {
    std::FILE* f = std::fopen(dir_.file("eph.rtcm3").c_str(), "wb");
    for (const std::string& x : frames) {
      std::fwrite(x.data(), 1, x.size(), f);
      ++perType[rtcm3Type(x)];
    }
    std::fclose(f);
  }
  for (int t : types) EXPECT_GE(perType[t], 2) << "RTCM 3 message " << t;
  const std::string cmd = "cd '" + dir_.path +
                          "' && convbin -r rtcm3 -tr 2023/03/12 10:00:00 -v 3.04 -n eph.nav eph.rtcm3 >/dev/null 2>&1";
  ASSERT_EQ(std::system(cmd.c_str()), 0);
  const std::vector<Record> got = rinex::readRinex3(dir_.read("eph.nav"));
  const std::vector<Record> file = rinex::readRinex4Gz(kBrd4);
  std::map<char, int> compared;
  for (const Record& g : got) {
    const std::string type = sourceType(g);
    std::string best = " (no record of that epoch)";
    bool found = false;
    for (const Record& w : file) {
      if (w.sat != g.sat || w.type != type || w.epoch != g.epoch) continue;
      const std::string d = rinex::differences(g, w, comparedFields(g.sat[0]));
      if (!found || best.size() > d.size()) best = d;
      found = true;
      if (d.empty()) break;
    }
    EXPECT_EQ(best, "") << g.sat << " " << type << " " << g.epoch;
    ++compared[g.sat[0]];
  }
  for (char sys : {'G', 'R', 'E', 'C', 'J', 'I'}) EXPECT_GE(compared[sys], 2) << sys;

  // A rover that takes navigation data from outside only takes the QZSS (1044) and NavIC (1041)
  // ephemerides from that RTCM 3 stream on a port in mode rtcm3, and sends them on as its own:
  // convbin reads the file's values back again.
  std::string qzssNavic;
  for (const std::string& x : frames)
    if (rtcm3Type(x) == 1041 || rtcm3Type(x) == 1044) qzssNavic += x;
  fresh();
  ASSERT_NO_FATAL_FAILURE(startSim({"--nav", kBrd4, "--start", "2023-03-12T10:00:00", "--site", "22.3,114.2,50", "--sky"}));
  ASSERT_NO_FATAL_FAILURE(start());
  // Navigation data from outside only: its board's broadcast is not taken.
  ASSERT_EQ(ask("%m%set,/par/pos/navdata/source,ext"), re("%m%"));
  ASSERT_EQ(ask("%m%set,/par/dev/ser/c/imode,rtcm3"), re("%m%"));
  Port c(dir_.file("dev/ser/c")), d(dir_.file("dev/ser/d"));
  ASSERT_EQ(ask("%e%em,/dev/ser/d,rtcm3/{1041,1044}:1"), re("%e%"));
  ASSERT_TRUE(c.sendRaw(qzssNavic));
  d.fill(
      [&](const std::string& held) {
        std::map<int, int> n;
        for (const std::string& f : rtcm3Frames(held)) ++n[rtcm3Type(f)];
        return n[1041] >= 2 && n[1044] >= 2;
      },
      30000);
  ASSERT_TRUE(dir_.write("rover.rtcm3", d.held));
  const std::string roverCmd = "cd '" + dir_.path +
                               "' && convbin -r rtcm3 -tr 2023/03/12 10:00:00 -v 3.04 -n rover.nav rover.rtcm3 >/dev/null 2>&1";
  ASSERT_EQ(std::system(roverCmd.c_str()), 0);
  std::map<char, int> rover;
  for (const Record& g : rinex::readRinex3(dir_.read("rover.nav"))) {
    bool same = false;
    for (const Record& w : file)
      same = same || (w.sat == g.sat && w.type == sourceType(g) && w.epoch == g.epoch &&
                      rinex::differences(g, w, comparedFields(g.sat[0])).empty());
    EXPECT_TRUE(same) << g.sat << " " << g.epoch;
    ++rover[g.sat[0]];
  }
  for (char sys : {'J', 'I'}) EXPECT_GE(rover[sys], 2) << sys;
  stop();
}

}  // namespace
}  // namespace e2e
