// Round trip against Debian rtklib's convbin: the RINEX it writes from two real RTCM 3
// recordings becomes a base's native stream (the simulator's writer), goes through a port in
// "zrt" mode, and every code, phase, Doppler and energy of the base epochs that come out is
// compared with the RINEX value it was written from.
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <ctime>
#include <map>
#include <memory>
#include <sstream>

#include "unit/gnss_link/native_base_test_util.h"

namespace {

using nbtest::BaseRig;

constexpr double kC = 299792458.0;

std::string recording(const std::string& name) { return std::string(RX_SHARED_DIR) + "/testdata/rtcm3/" + name; }

std::string run(const std::string& cmd) {
  std::string out;
  std::unique_ptr<FILE, int (*)(FILE*)> p(popen(cmd.c_str(), "r"), pclose);
  if (!p) return out;
  char buf[4096];
  std::size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, p.get())) > 0) out.append(buf, n);
  return out;
}

// Which signal slot carries a RINEX code ("1C") of a system, and how the satellite is listed.
struct SysRule {
  char letter;
  int sys;
  int indexBase;  // list index = number + base
  int first, last;  // numbers the list can carry
  std::map<std::string, int> slots;
};
const SysRule kRules[] = {
    {'G', 0, 0, 1, 32, {{"1C", 0}, {"2W", 2}, {"2L", 3}, {"5Q", 4}, {"1L", 5}}},
    {'R', 1, 45, -7, 7, {{"1C", 0}, {"2P", 2}, {"2C", 3}}},
    {'E', 2, 70, 1, 36, {{"1C", 0}, {"7Q", 2}, {"6C", 3}, {"5Q", 4}}},
    {'S', 3, 0, 120, 147, {{"1C", 0}, {"5Q", 4}}},
    {'J', 4, 0, 193, 199, {{"1C", 0}, {"2L", 3}, {"5Q", 4}, {"1L", 5}}},
    {'C', 5, 210, 1, 44, {{"2I", 0}, {"7I", 2}, {"6I", 3}}},
};
const SysRule* rule(char c) {
  for (const SysRule& r : kRules)
    if (r.letter == c) return &r;
  return nullptr;
}

struct RinexEpoch {
  long gpsSec;  // GPS seconds since 1980-01-06
  std::vector<sim::BaseSat> sats;
};

// The observation file's header (types per system, GLONASS channels) and its epochs, read as
// RINEX 3.04 lays them out: 16 columns per value, the satellite in the first three.
std::vector<RinexEpoch> readRinex(const std::string& text) {
  std::istringstream in(text);
  std::string line;
  std::map<char, std::vector<std::string>> types;
  std::map<int, int> gloChan;
  char lastSys = 0;
  while (std::getline(in, line)) {
    const std::string label = line.size() > 60 ? line.substr(60) : "";
    if (label.rfind("SYS / # / OBS TYPES", 0) == 0) {
      if (line[0] != ' ') lastSys = line[0];
      for (int i = 0; i < 13 && 7 + 4 * i + 3 <= 60; ++i) {
        const std::string t = line.substr(7 + 4 * i, 3);
        if (t[0] != ' ') types[lastSys].push_back(t);
      }
    } else if (label.rfind("GLONASS SLOT / FRQ #", 0) == 0) {
      for (int i = 0; i < 8 && 4 + 7 * i + 6 <= 60; ++i) {
        const std::string e = line.substr(4 + 7 * i, 6);
        if (e[0] == 'R') gloChan[std::stoi(e.substr(1, 2))] = std::stoi(e.substr(3));
      }
    } else if (label.rfind("END OF HEADER", 0) == 0) {
      break;
    }
  }
  std::vector<RinexEpoch> out;
  while (std::getline(in, line)) {
    if (line.empty()) continue;
    if (line[0] == '>') {
      std::tm tm{};
      double sec = 0;
      std::sscanf(line.c_str(), "> %d %d %d %d %d %lf", &tm.tm_year, &tm.tm_mon, &tm.tm_mday, &tm.tm_hour, &tm.tm_min,
                  &sec);
      tm.tm_year -= 1900;
      tm.tm_mon -= 1;
      tm.tm_sec = static_cast<int>(sec);
      out.push_back({static_cast<long>(timegm(&tm)) - 315964800L, {}});
      continue;
    }
    const SysRule* r = rule(line[0]);
    if (r == nullptr || out.empty()) continue;
    const int prn = std::stoi(line.substr(1, 2));
    int num = prn;
    if (r->sys == 1) {
      if (!gloChan.count(prn)) continue;
      num = gloChan[prn];
    } else if (r->sys == 3) {
      num = prn + 100;
    } else if (r->sys == 4) {
      num = prn + 192;
    }
    if (num < r->first || num > r->last) continue;  // the list has no index for it
    sim::BaseSat s{num + r->indexBase, r->sys, r->sys == 1 ? num : 0, {}};
    const std::vector<std::string>& t = types[line[0]];
    for (std::size_t i = 0; i < t.size(); ++i) {
      const std::size_t at = 3 + 16 * i;
      if (line.size() < at + 14) break;
      const std::string f = line.substr(at, 14);
      if (f.find_first_not_of(' ') == std::string::npos) continue;
      const auto slot = r->slots.find(t[i].substr(1));
      if (slot == r->slots.end()) continue;
      const double v = std::stod(f);
      sim::BaseSignal& g = s.sig[slot->second];
      switch (t[i][0]) {
        case 'C': g.code = v; break;
        case 'L': g.phase = v; break;
        case 'D': g.doppler = v; break;
        case 'S': g.snr = static_cast<int>(std::lround(v)); break;
        default: break;
      }
    }
    bool dup = false;
    for (const sim::BaseSat& o : out.back().sats) dup = dup || o.index == s.index;
    if (!dup) out.back().sats.push_back(s);
  }
  return out;
}

struct Totals {
  int epochs = 0, sats = 0, codes = 0, relatives = 0, phases = 0, dopplers = 0, energies = 0;
};

// Every epoch of the file through the port; `gloRef`: the rover keeps its epochs on GLONASS time.
void roundTrip(const std::string& file, const char* convbinArgs, bool gloRef, Totals& tot) {
  const std::string rinex = run("d=$(mktemp -d) && cd $d && convbin -r rtcm3 " + std::string(convbinArgs) +
                                " -v 3.04 -od -os -o b.obs '" + recording(file) + "' >/dev/null 2>&1; cat b.obs; rm -rf $d");
  const std::vector<RinexEpoch> epochs = readRinex(rinex);
  EXPECT_FALSE(epochs.empty()) << "convbin wrote no observations of " << file;
  BaseRig rig;
  for (const RinexEpoch& e : epochs) {
    const long tow = (e.gpsSec % 604800) * 1000;
    const long glo = ((e.gpsSec - 18 + 10800) % 86400) * 1000;  // UTC(SU) of 2024-2026: GPS - 18 s + 3 h
    BaseRig::rover(gloRef ? -1 : tow, glo);
    std::vector<CpdSv> svs;
    for (const sim::BaseSat& s : e.sats) svs.push_back(CpdSv::make(s.sys, s.sys == 1 ? s.gloChan : s.index - kRules[s.sys].indexBase));
    BaseRig::tracks(svs);
    const std::size_t before = rig.released.epochs.size();
    rig.feed(sim::baseEpoch(static_cast<std::uint32_t>(tow % 86400000), tow, glo, e.sats), 997);
    if (rig.released.epochs.size() != before + 1) {
      ADD_FAILURE() << file << ": epoch at GPS second " << e.gpsSec << " not released";
      continue;
    }
    const CpdMeas& m = rig.released.epochs.back();
    ++tot.epochs;
    EXPECT_EQ(m.id.get(), (gloRef ? glo : tow) % CpdEpochId::kHourMs);
    EXPECT_EQ(m.n, static_cast<int>(e.sats.size()));
    for (std::size_t k = 0; k < e.sats.size(); ++k) {
      const sim::BaseSat& s = e.sats[k];
      const CpdSvMeas* got = m.find(svs[k]);
      if (got == m.end()) {
        ADD_FAILURE() << file << " index " << s.index;
        continue;
      }
      ++tot.sats;
      const double step = (s.sys == 0 || s.sys == 1 || s.sys == 3 ? 1e-11 : 2e-11) * kC;
      const bool first = !std::isnan(s.sig[0].code);
      for (int slot = 0; slot < 6; ++slot) {
        const sim::BaseSignal& w = s.sig[slot];
        const CpdMeasSlot& g = got->slot[slot];
        const std::string where = file + " index " + std::to_string(s.index) + " slot " + std::to_string(slot);
        if (first && !std::isnan(w.code)) {
          EXPECT_TRUE(g.flags & CpdMeasSlot::kRange) << where;
          EXPECT_NEAR(g.range, w.code, slot == 0 ? step : 0.003) << where;
          ++(slot == 0 ? tot.codes : tot.relatives);
        } else {
          EXPECT_FALSE(g.flags & CpdMeasSlot::kRange) << where;
        }
        if (first && !std::isnan(w.phase)) {
          EXPECT_TRUE(g.flags & CpdMeasSlot::kPhase) << where;
          EXPECT_NEAR(g.phase, w.phase, 0.002) << where;
          ++tot.phases;
        }
        if (!std::isnan(w.doppler)) {
          EXPECT_TRUE(g.flags & CpdMeasSlot::kDoppler) << where;
          EXPECT_NEAR(g.doppler, w.doppler, 0.001) << where;
          ++tot.dopplers;
        }
        if (w.snr >= 0) {
          EXPECT_TRUE(g.flags & CpdMeasSlot::kSnr) << where;
          EXPECT_EQ(g.snr, w.snr) << where;
          ++tot.energies;
        }
      }
    }
  }
}

TEST(NativeBaseInputOracle, GlonassRecordingOverMinutes) {
  ASSERT_EQ(access("/usr/bin/convbin", X_OK), 0) << "convbin (Debian rtklib) is required: run scripts/setup";
  Totals t;
  roundTrip("testglo.rtcm3", "", false, t);
  EXPECT_EQ(t.epochs, 186);
  EXPECT_GT(t.relatives, 900);  // L2 C/A on nearly every satellite of every epoch
  EXPECT_EQ(t.phases, t.codes + t.relatives);
}

TEST(NativeBaseInputOracle, EverySystemWithDopplerOnGlonassTime) {
  ASSERT_EQ(access("/usr/bin/convbin", X_OK), 0) << "convbin (Debian rtklib) is required: run scripts/setup";
  Totals t;
  roundTrip("uscl00chl0.rtcm3", "-tr 2024/03/11 16:35:00", true, t);
  EXPECT_EQ(t.epochs, 1);
  // 11 GPS, 8 GLONASS, 7 Galileo, 1 SBAS (PRN 158 has no index), 9 BeiDou (C46 and C57 have none).
  EXPECT_EQ(t.sats, 36);
  EXPECT_GT(t.dopplers, 80);
  EXPECT_GT(t.energies, 80);
}

}  // namespace
