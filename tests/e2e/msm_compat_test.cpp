// The BeiDou MSM compatibility setting (rtcm3/rover/msm/compat) on what a base sends: with "hard"
// the coder leaves out the cells of the satellites below 6 and above 58 (the GEO satellites among
// them), whose carriers receivers of other makes align differently; every other setting keeps
// them. The board simulator's sky over Hong Kong holds BeiDou GEO (C01-C05) and MEO/IGSO
// satellites; the satellites of each BeiDou MSM7 (1127) are read from its satellite mask (RTCM
// 10403.3 DF394).
//
// The satellites of the modernised generations come from the almanacs the simulator broadcasts:
// BeiDou-3 (those the B2a midi almanacs name), GPS III (configuration code 4 and up in the LNAV
// configuration page) and QZSS. A BeiDou-3 satellite's B2 carrier goes out as B2b (MSM signal 27),
// a BeiDou-2 one's as B2I (14); "v3.3" leaves BeiDou-3 satellites out of MSM, "hard" their B2b.
#include <cstdio>
#include <functional>
#include <map>
#include <set>
#include <vector>

#include "e2e/harness.h"
#include "e2e/tools.h"
#include "e2e/nav_rinex.h"

namespace e2e {
namespace {

using MsmCompat = Rx;
using rinex::msmSatellites;
constexpr auto outside = rinex::bdsOutsideSixToFiftyEight;

const std::string kBrd4 = std::string(RX_SHARED_DIR) + "/testdata/nav/BRD400DLR_S_20230710000_01D_MN.rnx.gz";

// The cells of an MSM frame: satellite (1..64) to its signal ids (DF394, DF395, DF396).
std::map<int, std::set<int>> msmCells(const std::string& f) {
  const auto bit = [&](int i) { return (static_cast<unsigned char>(f[3 + i / 8]) >> (7 - i % 8)) & 1; };
  std::vector<int> sigs;
  for (int k = 1; k <= 32; ++k)
    if (bit(137 + k - 1)) sigs.push_back(k);
  std::map<int, std::set<int>> cells;
  int at = 169;
  for (int sat : msmSatellites(f))
    for (int id : sigs)
      if (bit(at++)) cells[sat].insert(id);
  return cells;
}

// The epoch time (DF427, ms of the week) of an MSM frame.
long msmEpoch(const std::string& f) {
  long t = 0;
  for (int i = 24; i < 54; ++i) t = t << 1 | ((static_cast<unsigned char>(f[3 + i / 8]) >> (7 - i % 8)) & 1);
  return t;
}

// The 1127 frames of `held` by epoch time, the epochs after `after` only.
std::map<long, std::vector<std::string>> msmEpochs(const std::string& held, long after) {
  std::map<long, std::vector<std::string>> epochs;
  for (const std::string& f : rinex::rtcm3Frames(held))
    if (rinex::rtcm3Type(f) == 1127 && msmEpoch(f) > after) epochs[msmEpoch(f)].push_back(f);
  return epochs;
}

// Three whole 1127 epochs coded after a setting: `set` sends it. What the port holds is read before
// and after; the epoch after the last one read may have been under way as the setting came, and an
// epoch is whole once the next one begins (its satellites may take several frames, DF393).
std::vector<std::vector<std::string>> epochsAfter(Port& out, const std::function<void()>& set) {
  out.fill([](const std::string&) { return false; }, 100);
  set();
  out.fill([](const std::string&) { return false; }, 100);
  const auto read = msmEpochs(out.held, -1);
  const long after = read.empty() ? -1 : read.rbegin()->first + 1000;
  out.held.clear();
  std::map<long, std::vector<std::string>> epochs;
  EXPECT_TRUE(out.fill([&](const std::string& h) { return (epochs = msmEpochs(h, after)).size() >= 4; }, 30000))
      << epochs.size() << " epochs";
  std::vector<std::vector<std::string>> whole;
  for (const auto& [t, frames] : epochs)
    if (whole.size() < 3) whole.push_back(frames);
  return whole;
}

TEST_F(MsmCompat, HardLeavesOutTheBeiDouSatellitesOutsideSixToFiftyEight) {
  ASSERT_NO_FATAL_FAILURE(startSim({"--nav", kBrd4, "--start", "2023-03-12T10:10:00", "--site", "22.3,114.2,50", "--sky"}));
  ASSERT_NO_FATAL_FAILURE(start());
  ASSERT_EQ(ask("%k%set,/par/pos/ref/known/geo,{22.3,114.2,50}"), re("%k%"));
  ASSERT_EQ(ask("%c%set,/par/rtcm3/rover/msm/compat,def"), re("%c%"));
  Port out(dir_.file("dev/ser/b"));
  ASSERT_TRUE(out.ok());
  ASSERT_EQ(ask("%e%em,/dev/ser/b,rtcm3/1127:1"), re("%e%"));

  // The 1127 epochs in `held` from `from` on (an epoch's satellites may take several frames, DF393):
  // how many, and how many hold a satellite outside 6..58.
  const auto count = [](const std::string& held, std::size_t from, int& frames, int& withOutside) {
    std::map<long, std::pair<bool, bool>> epochs;  // by epoch time (DF427): inside, outside
    for (const std::string& f : rinex::rtcm3Frames(held.substr(from))) {
      if (rinex::rtcm3Type(f) != 1127) continue;
      for (int s : msmSatellites(f)) (outside(s) ? epochs[msmEpoch(f)].second : epochs[msmEpoch(f)].first) = true;
    }
    frames = withOutside = 0;
    for (const auto& [t, e] : epochs) frames += e.first ? 1 : 0, withOutside += e.second ? 1 : 0;
  };
  // BeiDou joins the MSM once its ephemerides are decoded: GEO and MEO satellites both.
  int frames = 0, withOutside = 0;
  ASSERT_TRUE(out.fill(
      [&](const std::string& h) {
        count(h, 0, frames, withOutside);
        return withOutside >= 3;
      },
      150000))
      << frames << " frames";

  struct Row {
    const char* compat;
    bool keepsOutside;
  };
  for (const Row& r : {Row{"hard", false}, Row{"v37", true}, Row{"hard", false}, Row{"def", true}}) {
    SCOPED_TRACE(r.compat);
    const auto epochs = epochsAfter(out, [&] {
      ASSERT_EQ(ask(std::string("%m%set,/par/rtcm3/rover/msm/compat,") + r.compat), re("%m%"));
    });
    std::string held;
    for (const auto& e : epochs)
      for (const std::string& f : e) held += f;
    count(held, 0, frames, withOutside);
    EXPECT_EQ(frames, 3);
    if (r.keepsOutside) EXPECT_EQ(withOutside, frames);
    else EXPECT_EQ(withOutside, 0);
  }
}

// 10:11:10 UTC lies in frame 23 of the GPS 12.5-min page cycle: its subframe 5 brings PRN 24's
// almanac before the configuration page (frame 24); PRN 1's (frame 0 of the next cycle) and QZSS
// PRN 194's (frame 1) come after it. Both GPS satellites are GPS III here (code 12); only PRN 1's
// almanac tells it.
TEST_F(MsmCompat, ModernisedSatellitesByTheirAlmanacsAndTheirB2SignalInMsm) {
  ASSERT_EQ(access("/usr/bin/convbin", X_OK), 0) << "convbin (Debian rtklib) is required: run scripts/setup";
  ASSERT_NO_FATAL_FAILURE(startSim({"--nav", kBrd4, "--start", "2023-03-12T10:11:10", "--site", "22.3,114.2,50", "--sky",
                                    "--gps-config", "1:12,24:12"}));
  ASSERT_NO_FATAL_FAILURE(start());
  ASSERT_EQ(ask("%k%set,/par/pos/ref/known/geo,{22.3,114.2,50}"), re("%k%"));
  Port out(dir_.file("dev/ser/b"));
  ASSERT_TRUE(out.ok());
  ASSERT_EQ(ask("%e%em,/dev/ser/b,rtcm3/1127:1"), re("%e%"));
  // BeiDou-3: the satellites with B-CNAV records in the file (the simulator's B2a midi almanacs).
  std::uint64_t bds3 = 0, qzss = 0;
  for (const rinex::Record& r : rinex::readRinex4Gz(kBrd4)) {
    const std::uint64_t bit = std::uint64_t{1} << (std::atoi(r.sat.c_str() + 1) - 1);
    if (r.type == "CNV2" && r.sat[0] == 'C') bds3 |= bit;
    if (r.type == "LNAV" && r.sat[0] == 'J') qzss |= bit;
  }
  const auto phase3 = [&](const char* sys) {
    const std::string r = ask(std::string("print,/par/lock/") + sys + "/phase3");
    return r.size() > 7 ? std::strtoull(r.substr(5, r.size() - 7).c_str(), nullptr, 16) : ~0ull;
  };
  std::uint64_t gps = 0, qz = 0, bds = 0;
  EXPECT_TRUE(waitUntil([&] { return (gps = phase3("gps")) == 1 && ((qz = phase3("qzss")) & 2) && (bds = phase3("bds")) == bds3; },
                        200000))
      << std::hex << "gps " << gps << " qzss " << qz << " bds " << bds << " of " << bds3;
  EXPECT_EQ(qz & ~qzss, 0u) << "QZSS satellites without an almanac";
  EXPECT_NE(ask("%p%set,/par/lock/bds/phase3,0"), re("%p%")) << "read only";
  // The time hints of the last plausible GPS and QZSS ephemerides: GPS week 2253 modulo 1024 and
  // the ms of week of their reception (a subframe's end) within the run.
  for (const char* sys : {"gps", "qzss"}) {
    long week = 0, ms = 0;
    const std::string h = ask(std::string("print,/par/pos/hint/") + sys);
    ASSERT_EQ(std::sscanf(h.c_str() + std::min<std::size_t>(5, h.size()), "{%ld,%ld}", &week, &ms), 2) << sys << " " << h;
    EXPECT_TRUE(week == 2253 % 1024 && ms % 6000 == 0 && ms >= 36688000 && ms <= 37088000) << sys << " " << h;
  }

  // Each row's 1127 frames of three epochs coded under its settings.
  struct Row {
    const char *ver, *compat;
    bool bds3In, b2b;
  };
  for (const Row& r : {Row{"exp", "def", true, true}, Row{"v3.3", "def", false, false}, Row{"exp", "hard", true, false}}) {
    SCOPED_TRACE(std::string(r.ver) + " " + r.compat);
    const auto epochs = epochsAfter(out, [&] {
      ASSERT_EQ(ask(std::string("%v%set,/par/rtcm3/base/ver,") + r.ver), re("%v%"));
      ASSERT_EQ(ask(std::string("%m%set,/par/rtcm3/rover/msm/compat,") + r.compat), re("%m%"));
    });
    std::map<int, std::set<int>> cells;
    std::string frames;
    for (const auto& e : epochs)
      for (const std::string& f : e) {
        frames += f;
        for (const auto& [sat, ids] : msmCells(f)) cells[sat].insert(ids.begin(), ids.end());
      }
    std::set<std::string> newGen, oldGen;  // in the frames, BeiDou-2 between 6 and 58 only
    for (const auto& [sat, ids] : cells) {
      const bool third = (bds3 >> (sat - 1) & 1) != 0;
      if (!third && outside(sat)) continue;
      char name[8];
      std::snprintf(name, sizeof name, "C%02d", sat);
      (third ? newGen : oldGen).insert(name);
      EXPECT_EQ(ids.contains(27), third && r.b2b) << "C" << sat << " B2b";
      EXPECT_EQ(ids.contains(14), !third) << "C" << sat << " B2I";
    }
    EXPECT_EQ(!newGen.empty(), r.bds3In) << newGen.size() << " BeiDou-3 satellites";
    EXPECT_FALSE(oldGen.empty()) << "BeiDou-2 satellites";
    if (!r.b2b) continue;
    // convbin reads the frames: the B1I of both generations, the B2I of BeiDou-2 (it knows no B2b).
    ASSERT_TRUE(dir_.write("b2.rtcm3", frames));
    ASSERT_TRUE(runIn(dir_, "convbin -r rtcm3 -tr 2023/03/12 10:11:00 -v 3.04 -od -os -o b2.obs b2.rtcm3"));
    std::set<std::string> b1New, b2Old;
    for (const auto& [epoch, sats] : rinex::readRinexObs(dir_.read("b2.obs")))
      for (const auto& [sat, v] : sats) {
        if (newGen.contains(sat) && v.contains("C2I")) b1New.insert(sat);
        if (oldGen.contains(sat) && v.contains("C7I")) b2Old.insert(sat);
      }
    EXPECT_EQ(b1New, newGen);
    EXPECT_EQ(b2Old, oldGen);
  }

  // After a restart the stored almanacs name them again: GPS PRN 1 and the BeiDou-3 satellites
  // above 30, which only B-CNAV almanacs describe (a D1 almanac may have taken one of 19-30).
  restart();
  ASSERT_NO_FATAL_FAILURE(start());
  const std::uint64_t above30 = bds3 & ~std::uint64_t{0x3FFFFFFF};
  EXPECT_TRUE(waitUntil([&] { return phase3("gps") == 1 && (phase3("bds") & above30) == above30; }, 20000))
      << std::hex << phase3("gps") << " " << phase3("bds");
}

}  // namespace
}  // namespace e2e
