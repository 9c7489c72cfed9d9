// Broadcast ephemerides of every system through the real process: the board simulator
// broadcasts a RINEX 4 day (GPS, GLONASS, Galileo I/NAV and F/NAV, BeiDou D1 and D2, QZSS,
// NavIC) over a site that sees them all, the program's decoders fill its satellite data store,
// and its RTCM 3 ephemeris messages (1019, 1020, 1041, 1042, 1044, 1045, 1046) on a serial port,
// read by Debian's convbin into RINEX 3, give back the file's values within one unit of the
// last printed digit. With GLONASS's navigation data set to the L3 type, 1020 carries the
// ephemerides of the L3 strings (kind 1 of "lD"), which convbin gives back as the file has them
// too; strings 1, 2, 4 and 5 of a cycle leave the L3 time parameters (the file's first
// GLONASS-UTC and GLONASS-GPS offsets, the day, the L3 mark) in the GLONASS UTC block, string 5
// the ionosphere model in its block (a scale of 1, the simulator's quiet-day Ap of 7, the day's
// solar flux from the file's Galileo a0). With every string 2's TS one step out, none of that.
// A rover takes the QZSS and NavIC ones from the stream of every system and sends them on.
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <set>
#include <vector>

#include "e2e/harness.h"
#include "e2e/nav_rinex.h"
#include "e2e/tools.h"

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
  const std::vector<std::string> lines = rinex::linesOf(rinex::gunzip(kBrd4));
  const std::vector<Record> file = rinex::readRinex4Gz(kBrd4);
  const struct {
    const char* name;
    std::vector<std::string> simArgs;
    const char *navdata, *em;
    std::set<int> types;
    std::string systems;  // each of at least two satellites
    int guardMs;
    int gloAge = -1;  // En (days) the simulator broadcasts in place of the file's
  } rows[] = {
      {"every system", {}, "any", "{1019,1020,1041,1042,1044,1045,1046}", {1019, 1020, 1041, 1042, 1044, 1045, 1046},
       "GRECJI", 150000},
      {"GLONASS L3", {}, "1", "1020", {1020}, "R", 90000},
      {"GLONASS L3 out of step", {"--glo-l3-ts-skip"}, "1", "1020", {}, "", 45000},
      // Data a day and more old: past the 10800 s from which a marked polynomial reads without the
      // GLONASS 1-s shift.
      {"GLONASS FDMA, En 1 day", {"--glo-age", "1"}, "0", "1020", {1020}, "R", 90000, 1},
      {"GLONASS FDMA, En 31 days", {"--glo-age", "31"}, "0", "1020", {1020}, "R", 90000, 31},
  };
  // A rover that takes navigation data from outside only takes the QZSS (1044) and NavIC (1041)
  // ephemerides from the RTCM 3 stream of every system on a port in mode rtcm3, and sends them on
  // as its own: convbin reads the file's values back again.
  const auto roverTakes = [&](const std::vector<std::string>& frames) {
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
    ASSERT_TRUE(runIn(dir_, "convbin -r rtcm3 -tr 2023/03/12 10:00:00 -v 3.04 -n rover.nav rover.rtcm3"));
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
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    fresh();
    // Hong Kong sees every system: the QZSS and NavIC satellites and the BeiDou GEOs included.
    std::vector<std::string> args = {"--nav", kBrd4, "--start", "2023-03-12T10:00:00", "--site", "22.3,114.2,50", "--sky"};
    args.insert(args.end(), row.simArgs.begin(), row.simArgs.end());
    ASSERT_NO_FATAL_FAILURE(startSim(args));
    ASSERT_NO_FATAL_FAILURE(start());
    Port b(dir_.file("dev/ser/b"));
    ASSERT_TRUE(b.ok());
    ASSERT_EQ(ask(std::string("%n%set,/par/pos/navdata/glo,") + row.navdata), re("%n%"));
    ASSERT_EQ(ask(std::string("%e%em,/dev/ser/b,rtcm3/") + row.em), re("%e%"));
    // Each message kind of at least two satellites, or the guard.
    const auto enough = [&](const std::string& held) {
      std::map<int, int> n;
      for (const std::string& f : rtcm3Frames(held)) ++n[rtcm3Type(f)];
      for (int t : row.types)
        if (n[t] < 2) return false;
      return !row.types.empty();
    };
    b.fill(enough, row.guardMs);
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
    for (int t : row.types) EXPECT_GE(perType[t], 2) << "RTCM 3 message " << t;
    EXPECT_EQ(frames.empty(), row.types.empty());
    ASSERT_TRUE(runIn(dir_, "convbin -r rtcm3 -tr 2023/03/12 10:00:00 -v 3.04 -n eph.nav eph.rtcm3"));
    const std::vector<Record> got = rinex::readRinex3(dir_.read("eph.nav"));
    std::map<char, int> compared;
    for (const Record& g : got) {
      const std::string type = sourceType(g);
      std::string best = " (no record of that epoch)";
      bool found = false;
      for (const Record& f : file) {
        if (f.sat != g.sat || f.type != type || f.epoch != g.epoch) continue;
        Record w = f;
        if (row.gloAge >= 0 && w.sat[0] == 'R') w.v.at(14) = row.gloAge;  // age of operation
        const std::string d = rinex::differences(g, w, comparedFields(g.sat[0]));
        if (!found || best.size() > d.size()) best = d;
        found = true;
        if (d.empty()) break;
      }
      EXPECT_EQ(best, "") << g.sat << " " << type << " " << g.epoch;
      ++compared[g.sat[0]];
    }
    for (char sys : row.systems) EXPECT_GE(compared[sys], 2) << sys;
    if (row.types.count(1044) != 0) {
      ASSERT_NO_FATAL_FAILURE(roverTakes(frames));
    }
    if (row.navdata[0] != '1') continue;
    // The image is saved at most every 10 s; the FDMA strings rewrite the UTC block now and then.
    std::string u, m;
    const bool l3 = waitUntil(
        [&] {
          const std::string img = dir_.read(".gnss.nvm");
          u = blockData(img, 911), m = blockData(img, 2446, 5);
          return fieldAt<std::uint8_t>(u, 33) == 1 && fieldAt<std::uint8_t>(m, 12) == 1;
        },
        row.types.empty() ? 0 : 60000);
    ASSERT_EQ(l3, !row.types.empty());
    if (!l3) continue;
    EXPECT_NEAR(fieldAt<double>(u, 0), rinex::firstSto(lines, 'R', "GLUT").a0, std::ldexp(0.5, -31)) << "tauC";
    EXPECT_NEAR(fieldAt<double>(u, 8), rinex::firstSto(lines, 'R', "GLGP").a0, std::ldexp(0.5, -30)) << "tauGPS";
    const int days = 9932;  // 1996-01-01 to 2023-03-12: the day of its four-year interval, the interval
    EXPECT_EQ(fieldAt<std::uint16_t>(u, 34), days % 1461 + 1);
    EXPECT_EQ(fieldAt<std::uint8_t>(u, 38), days / 1461 + 1);
    EXPECT_FLOAT_EQ(fieldAt<float>(m, 0), 1.0f);
    EXPECT_FLOAT_EQ(fieldAt<float>(m, 4), 7.0f);
    EXPECT_FLOAT_EQ(fieldAt<float>(m, 8), std::round(static_cast<float>(rinex::firstIon(lines, 'E', "IFNV").v.at(0))));
  }
  stop();
}

// A GLONASS satellite of the first generation broadcasts no day number (NT 0 in string 4): the
// store carries the day of the satellite's previous record on, one day further when the record's
// tb lies past Moscow midnight (21:00 UTC) from it. The frames up to 21:00:00 carry the record of
// tb 23:45 with its day (12 March); from 21:00:30 on, without it, the record of tb 00:15, then
// the same again at 21:01:00. A base's 1020 (its NT field read here) names 13 March for the
// second and keeps it while that record comes again without its day.
TEST_F(SimEphemeris, GlonassDayNumberIsCarriedAcrossMoscowMidnight) {
  ASSERT_NO_FATAL_FAILURE(startSim({"--nav", kBrd4, "--start", "2023-03-12T20:59:40", "--glo-nt0-after", "25", "--sky"}));
  ASSERT_NO_FATAL_FAILURE(start());
  Port b(dir_.file("dev/ser/b"));
  ASSERT_TRUE(b.ok());
  ASSERT_EQ(ask("%e%em,/dev/ser/b,rtcm3/1020:1"), re("%e%"));
  // 1020: the satellite at bit 12, tb (15 min) at 41, NT at 268 (RTCM 10403.3 DF038-DF129).
  const std::map<std::uint32_t, std::uint32_t> ntOfTb = {{95, 9932 % 1461 + 1}, {1, 9933 % 1461 + 1}};
  std::map<std::uint32_t, std::map<std::uint32_t, std::set<std::uint32_t>>> nt;  // tb: slot: NTs
  std::map<std::uint32_t, int> frames;
  b.fill(
      [&](const std::string& held) {
        nt.clear(), frames.clear();
        for (const std::string& f : rinex::rtcm3Frames(held)) {
          if (rtcm3Type(f) != 1020) continue;
          nt[rinex::rtcm3Bits(f, 41, 7)][rinex::rtcm3Bits(f, 12, 6)].insert(rinex::rtcm3Bits(f, 268, 11));
          ++frames[rinex::rtcm3Bits(f, 41, 7)];
        }
        // Some 40 s of the new records, past their frames' next repeat at 21:01:00.
        return nt[1].size() >= 3 && frames[1] >= 40 * static_cast<int>(nt[1].size());
      },
      150000);
  ASSERT_FALSE(nt[95].empty());
  ASSERT_FALSE(nt[1].empty());
  for (const auto& [tb, slots] : nt)
    for (const auto& [slot, days] : slots) {
      ASSERT_TRUE(ntOfTb.contains(tb)) << "R" << slot << " tb " << tb;
      EXPECT_EQ(days, std::set<std::uint32_t>{ntOfTb.at(tb)}) << "R" << slot << " tb " << tb;
    }
  stop();
}

}  // namespace
}  // namespace e2e

namespace e2e {
namespace {

// The GPS and QZSS CNAV and CNAV-2 decoding, on from the start, is switched off by pos/cnav/dec,
// and stays off over a restart (the engine's start switches it on; the stored choice stands over
// that). A base that takes GPS's CNAV ephemerides (navigation data of type 1) sends their 1019s
// beside QZSS's LNAV 1044s; with the decoding off none, while the 1044s run on for a minute, longer
// than a CNAV cycle of 36 s.
TEST_F(SimEphemeris, GpsCnavDecodingStopsWhenItsKeyClearsIt) {
  const struct {
    const char* name;
    bool on;
  } rows[] = {{"decoding on", true}, {"decoding off", false}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    fresh();
    ASSERT_NO_FATAL_FAILURE(startSim({"--nav", kBrd4, "--start", "2023-03-12T10:00:00", "--site", "22.3,114.2,50", "--sky"}));
    ASSERT_NO_FATAL_FAILURE(start());
    EXPECT_EQ(ask("print,/par/pos/cnav/dec"), re("on"));
    if (!row.on) {
      ASSERT_EQ(ask("%c%set,/par/pos/cnav/dec,off"), re("%c%"));
      restart();
      ASSERT_NO_FATAL_FAILURE(start());
      EXPECT_EQ(ask("print,/par/pos/cnav/dec"), re("off"));
    }
    Port b(dir_.file("dev/ser/b"));
    ASSERT_TRUE(b.ok());
    ASSERT_EQ(ask("%n%set,/par/pos/navdata/gps,1"), re("%n%"));
    ASSERT_EQ(ask("%e%em,/dev/ser/b,rtcm3/{1019,1044}:1"), re("%e%"));
    std::map<int, std::set<int>> sats;  // by message
    const auto upTo = [&](int n1019, int n1044) {
      return [&, n1019, n1044](const std::string& held) {
        std::map<int, int> n;
        for (const std::string& f : rtcm3Frames(held)) ++n[rtcm3Type(f)];
        return n[1019] >= n1019 && n[1044] >= n1044;
      };
    };
    // QZSS's first LNAV frame within a minute of the start, GPS's first CNAV cycle of 36 s soon after.
    if (row.on) {
      EXPECT_TRUE(b.fill(upTo(20, 20), 150000));
    } else {
      b.fill(upTo(0, 4 * 60), 180000);
    }
    // The satellite field after the message number: 6 bits in 1019, 4 in 1044.
    for (const std::string& f : rtcm3Frames(b.held)) {
      const int type = rtcm3Type(f), low = static_cast<unsigned char>(f[4]) & 0x0F;
      if (type == 1019) sats[type].insert(low << 2 | static_cast<unsigned char>(f[5]) >> 6);
      if (type == 1044) sats[type].insert(low);
    }
    EXPECT_GE(sats[1044].size(), 2u) << "QZSS LNAV";
    if (row.on) EXPECT_GE(sats[1019].size(), 2u) << "GPS CNAV";
    else EXPECT_EQ(sats[1019].size(), 0u) << "GPS CNAV";
    stop();
  }
}

}  // namespace
}  // namespace e2e
