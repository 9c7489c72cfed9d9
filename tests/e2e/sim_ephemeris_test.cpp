// Broadcast ephemerides of every system through the real process: the board simulator
// broadcasts a RINEX 4 day (GPS, GLONASS, Galileo I/NAV and F/NAV, BeiDou D1 and D2, QZSS,
// NavIC) over a site that sees them all, the program's decoders fill its satellite data store,
// and its RTCM 3 ephemeris messages (1019, 1020, 1041, 1042, 1044, 1045, 1046) on a serial port,
// read by Debian's convbin into RINEX 3, give back the file's values within one unit of the
// last printed digit.
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <set>
#include <sstream>
#include <vector>

#include "e2e/harness.h"
#include "e2e/nav_rinex.h"

namespace e2e {
namespace {

using rinex::rtcm3Frames;
using rinex::rtcm3Type;

class SimEphemeris : public Rx {};

const std::string kBrd4 = std::string(RX_SHARED_DIR) + "/testdata/nav/BRD400DLR_S_20230710000_01D_MN.rnx.gz";

// One navigation record as printed: satellite ("G01"), epoch text, and each value with its text.
struct Record {
  std::string sat, type, epoch;
  std::vector<double> v;
  std::vector<std::string> text;
};

// The value fields (D19.12 from column 4 on, the first line's after the epoch) of a record.
void readValues(const std::vector<std::string>& lines, std::size_t first, int orbitLines, Record& r) {
  auto take = [&](const std::string& s, std::size_t at) {
    std::string f = at < s.size() ? s.substr(at, 19) : "";
    for (char& c : f)
      if (c == 'D' || c == 'd') c = 'E';
    const bool blank = f.find_first_not_of(" \r\n") == std::string::npos;
    char* end = nullptr;
    const double x = blank ? NAN : std::strtod(f.c_str(), &end);
    r.v.push_back(x);
    r.text.push_back(blank ? "" : f);
  };
  for (std::size_t k = 0; k < 3; ++k) take(lines[first], 23 + 19 * k);
  for (int l = 1; l <= orbitLines; ++l)
    for (std::size_t k = 0; k < 4; ++k) take(lines[first + static_cast<std::size_t>(l)], 4 + 19 * k);
}

std::vector<std::string> linesOf(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string l; std::getline(in, l);) lines.push_back(l);
  return lines;
}

// The ephemeris records of the RINEX 4 file (types as named there).
std::vector<Record> readRinex4(const std::string& path) {
  std::string text;
  if (std::FILE* p = popen(("gzip -dc '" + path + "'").c_str(), "r")) {
    char buf[4096];
    for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, p)) > 0;) text.append(buf, n);
    pclose(p);
  }
  const auto lines = linesOf(text);
  std::vector<Record> out;
  for (std::size_t i = 0; i + 1 < lines.size(); ++i) {
    if (lines[i].rfind("> EPH ", 0) != 0) continue;
    Record r;
    r.type = lines[i].substr(10, 4);
    while (!r.type.empty() && r.type.back() == ' ') r.type.pop_back();
    const char sys = lines[i][6];
    const int n = sys == 'R' ? 4 : r.type == "CNAV" ? 8 : (r.type == "CNV1" || r.type == "CNV2") ? 9 : 7;
    if (i + 1 + static_cast<std::size_t>(n) >= lines.size()) break;
    r.sat = lines[i + 1].substr(0, 3);
    r.epoch = lines[i + 1].substr(4, 19);
    readValues(lines, i + 1, n, r);
    out.push_back(r);
  }
  return out;
}

// The records of a RINEX 3 navigation file (after its header).
std::vector<Record> readRinex3(const std::string& text) {
  const auto lines = linesOf(text);
  std::vector<Record> out;
  std::size_t i = 0;
  while (i < lines.size() && lines[i].find("END OF HEADER") == std::string::npos) ++i;
  for (++i; i < lines.size(); ++i) {
    if (lines[i].size() < 23 || lines[i][0] == ' ') continue;
    Record r;
    r.sat = lines[i].substr(0, 3);
    r.epoch = lines[i].substr(4, 19);
    const int n = r.sat[0] == 'R' || r.sat[0] == 'S' ? 3 : 7;
    if (i + static_cast<std::size_t>(n) >= lines.size()) break;
    readValues(lines, i, n, r);
    i += static_cast<std::size_t>(n);
    out.push_back(r);
  }
  return out;
}

// One unit of the last digit printed in `text` ("-1.249682181515e-02": 1e-14).
double lastPlace(const std::string& text) {
  const std::size_t e = text.find_first_of("eE"), dot = text.find('.');
  if (e == std::string::npos || dot == std::string::npos) return 0;
  return std::pow(10.0, std::atoi(text.c_str() + e + 1) - static_cast<int>(e - dot - 1));
}


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

// The fields of `got` that differ from `want` by more than one unit of the last place printed
// (convbin prints 12 digits, the file 13); empty when they all agree.
std::string differences(const Record& got, const Record& want) {
  std::string out;
  for (int k : comparedFields(got.sat[0])) {
    const auto i = static_cast<std::size_t>(k);
    if (i >= got.v.size() || i >= want.v.size()) {
      out += " [" + std::to_string(k) + "] missing";
      continue;
    }
    if (std::isnan(want.v[i])) continue;
    const double unit = std::max(lastPlace(want.text[i]), lastPlace(got.text[i]));
    if (!(std::fabs(got.v[i] - want.v[i]) <= unit * 1.000001))
      out += " [" + std::to_string(k) + "] " + got.text[i] + " != " + want.text[i];
  }
  return out;
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
  const std::vector<Record> got = readRinex3(dir_.read("eph.nav"));
  const std::vector<Record> file = readRinex4(kBrd4);
  std::map<char, int> compared;
  for (const Record& g : got) {
    const std::string type = sourceType(g);
    std::string best = " (no record of that epoch)";
    bool found = false;
    for (const Record& w : file) {
      if (w.sat != g.sat || w.type != type || w.epoch != g.epoch) continue;
      const std::string d = differences(g, w);
      if (!found || best.size() > d.size()) best = d;
      found = true;
      if (d.empty()) break;
    }
    EXPECT_EQ(best, "") << g.sat << " " << type << " " << g.epoch;
    ++compared[g.sat[0]];
  }
  for (char sys : {'G', 'R', 'E', 'C', 'J', 'I'}) EXPECT_GE(compared[sys], 2) << sys;
  stop();
}

}  // namespace
}  // namespace e2e
