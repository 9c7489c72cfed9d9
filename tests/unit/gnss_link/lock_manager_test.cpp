// The lock manager: its factory masks and keys as a user sees them, the locking states, the
// derived search masks and budget, the BeiDou compatibility tests and the search queue.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <cstring>
#include <string>
#include <vector>

#include "../platform/temp_run_dir.h"
#include "settings/nv_settings.h"
#include "command/settings_commands.h"
#include "gnss_link/freq_plan.h"
#include "gnss_link/lock_manager.h"
#include "gnss_link/lock_manager_keys.h"
#include "platform/file_nvm.h"
#include "unit/command/capture_port.h"

namespace {

constexpr int kGps = 0, kGlo = 1, kSbas = 2, kGal = 4, kBds = 5, kQzss = 6;

void afterLoad() {
  const bool a = clockSettingsAfterLoad();
  const bool b = lockSettingsAfterLoad();
  if (a || b) nv_writeRcvSettings();
}

class LockKeys : public TempRunDir {
 protected:
  void SetUp() override {
    TempRunDir::SetUp();
    FileNvmLoad();
    nvAfterLoadAdd(afterLoad);
    nv_readSettings();
    settingsCommandsInitOnce();
    registerLockArea();  // once per process
    lockingInitOnce();
  }
  std::string run(const std::string& line) { return runLine(port_, line); }
  static std::string re(const std::string& body) {
    char h[8];
    std::snprintf(h, sizeof h, "RE%03X", static_cast<unsigned>(body.size()));
    return h + body + "\r\n";
  }
  static bool isEr(const std::string& got, int code) {
    return got.rfind("ER", 0) == 0 && got.find("{" + std::to_string(code) + ",") != std::string::npos;
  }
  std::string print(const std::string& key) { return run("%p%print,/par/lock/" + key); }
  CapturePort port_{IOP_TCP_A};
};

TEST_F(LockKeys, FactoryDefaultsAsPrinted) {
  const struct {
    const char* key;
    const char* value;
  } rows[] = {
      {"sbas/4/lock", "0x46185A588"},
      {"sbas/4/c2", "0x184A580"},  // 25470336
      {"sysen", "51"},
      {"budget", "268"},
      {"state", "1"},
      {"overlap", "off"},
      {"gps/sats", "0xFFFFFFFF"},
      {"qzss/sats", "0x47"},
      {"sbas/sats", "0x47FFFFFFF"},
      {"gal/sats", "0xFFFFFFFFFFFFFFFF"},
      {"gps/0/lock", "0xFFFFFFFF"},
      {"gps/1/lock", "0xFFFFFFFF"},        // P code on
      {"glo/0/lock", "0x7FFF"},            // 15 letters
      {"gal/3/lock", "0x0"},               // E6 off
      {"gal/4/lock", "0xFFFFFFFFF"},       // E5a on, 36 satellites
      {"bds/0/lock", "0x7FFFFFFFFFFFFFFF"},// 63 satellites
      {"gloc/4/lock", "0x3FFFFFFF"},       // GLONASS L3 on
      {"qzss/2/lock", "0x0"},              // LEX off
      {"sw/e6", "off"},
      {"sw/l5", "on"},
      {"gps/0", "{lock=0xFFFFFFFF,forced=0x0,c2=0x0,c3=0x0,guide=0x0}"},
      {"sw", "{pcode=on,gpsp=on,glop=on,l2ca=on,l5=on,e5a=on,e5b=on,e6=off,glol3=on,lex=off}"},
  };
  for (const auto& r : rows) EXPECT_EQ(print(r.key), re(std::string("%p%") + r.value)) << r.key;
  // The whole subtree fits one reply, every system in it.
  const std::string all = run("print,/par/lock");
  EXPECT_EQ(all.rfind("RE", 0), 0u) << all;
  for (const char* sys : {"gps=", "glo=", "sbas=", "gloc=", "gal=", "bds=", "qzss=", "irnss="})
    EXPECT_NE(all.find(sys), std::string::npos) << sys;
}

TEST_F(LockKeys, RefusedSets) {
  const struct {
    const char* line;
    int code;
  } rows[] = {
      {"set,/par/lock/gps/0/lock,0x100000000", 5},  // satellite 33 of GPS
      {"set,/par/lock/gal/1/lock,0", 3},            // no such Galileo signal
      {"set,/par/lock/glo/4/lock,1", 3},            // GLONASS CDMA L3 lives under gloc
      {"set,/par/lock/budget,143", 5},
      {"set,/par/lock/budget,269", 5},
      {"set,/par/lock/state,4", 5},
      {"set,/par/lock/sysen,256", 5},
      {"set,/par/lock/gps/0/lock,-1", 7},
      {"set,/par/lock/gps/0/lock,0x1g", 7},
      {"set,/par/lock/gps/0/lock,99999999999999999999999", 7},
      {"set,/par/lock/sw/foo,on", 3},
      {"set,/par/lock/sw/e6,maybe", 7},
      {"set,/par/lock/nosys/0/lock,0", 3},
      {"set,/par/lock/gps/0/nomask,0", 3},
      {"set,/par/lock/gps/7/lock,0", 3},
      {"set,/par/lock/gps", 3},
  };
  for (const auto& r : rows) EXPECT_TRUE(isEr(run(r.line), r.code)) << r.line;
  // Nothing changed.
  EXPECT_EQ(print("gps/0/lock"), re("%p%0xFFFFFFFF"));
  EXPECT_EQ(print("budget"), re("%p%268"));
}

TEST_F(LockKeys, SetsAreSeenAndKept) {
  EXPECT_EQ(run("%a%set,/par/lock/gps/3/guide,0x5"), re("%a%"));
  EXPECT_EQ(run("%b%set,/par/lock/budget,200"), re("%b%"));
  EXPECT_EQ(run("%c%set,/par/lock/bds/sats,1234"), re("%c%"));
  EXPECT_EQ(print("gps/3/guide"), re("%p%0x5"));
  EXPECT_EQ(print("bds/sats"), re("%p%0x4D2"));
  // The next start reads them back from the settings image.
  std::memset(&RcvSet, 0, sizeof RcvSet);
  nv_readSettings();
  EXPECT_EQ(print("gps/3/guide"), re("%p%0x5"));
  EXPECT_EQ(print("budget"), re("%p%200"));
  EXPECT_EQ(print("sbas/4/lock"), re("%p%0x46185A588"));
  // Factory defaults again.
  EXPECT_EQ(run("%i%init,/par/"), re("%i%"));
  EXPECT_EQ(print("gps/3/guide"), re("%p%0x0"));
  EXPECT_EQ(print("budget"), re("%p%268"));
}

TEST_F(LockKeys, SwitchesRewriteTheirEntries) {
  run("set,/par/lock/sw/e6,on");
  EXPECT_EQ(print("gal/3/lock"), re("%p%0xFFFFFFFFF"));
  run("set,/par/lock/sw/l5,off");
  EXPECT_EQ(print("gps/4/lock"), re("%p%0x0"));
  EXPECT_EQ(print("sbas/4/lock"), re("%p%0x0"));
  EXPECT_EQ(print("qzss/4/lock"), re("%p%0x0"));
  run("set,/par/lock/sw/l5,on");
  EXPECT_EQ(print("sbas/4/lock"), re("%p%0x46185A588"));
  // The master P switch decides for both systems.
  run("set,/par/lock/sw/pcode,off");
  EXPECT_EQ(print("gps/2/lock"), re("%p%0x0"));
  EXPECT_EQ(print("glo/1/lock"), re("%p%0x0"));
  run("set,/par/lock/sw/pcode,on");
  run("set,/par/lock/sw/glop,off");
  EXPECT_EQ(print("gps/2/lock"), re("%p%0xFFFFFFFF"));
  EXPECT_EQ(print("glo/1/lock"), re("%p%0x0"));
}

TEST_F(LockKeys, StatesTwoAndThree) {
  const std::uint32_t before = LockMan::lockChangeCnt.load();
  EXPECT_EQ(run("%s%set,/par/lock/state,3"), re("%s%"));
  EXPECT_EQ(print("state"), re("%p%1"));
  for (int k = 0; k < kLockEntries; ++k) EXPECT_EQ(lockSettings().lock[k].get(), 0u) << k;
  EXPECT_EQ(print("sbas/4/lock"), re("%p%0x0"));
  EXPECT_GT(LockMan::lockChangeCnt.load(), before);

  run("set,/par/lock/state,2");
  EXPECT_EQ(print("state"), re("%p%1"));
  for (int sys = 0; sys < kChanSys; ++sys) {
    for (int g = 0; g < kFATypes; ++g) EXPECT_EQ(lockSettings().lock[lockEntry(sys, g)].get(), lockSysFullMask(sys));
  }
  EXPECT_EQ(print("sbas/4/lock"), re("%p%0x7FFFFFFFF"));
}

TEST_F(LockKeys, RandomAndTruncatedLinesAreAnsweredSafely) {
  const char* const parts[] = {"lock", "gps", "glo", "sbas", "gloc", "gal", "bds", "qzss", "irnss", "sw", "0", "4",
                               "5", "7", "lock", "forced", "c2", "c3", "guide", "sats", "state", "sysen",
                               "budget", "overlap", "e6", "", "//", "x"};
  const char* const values[] = {"0", "0x46185A588", "-1", "on", "off", "{1,2}", "{}", "\"q\"", "3", "144",
                                "0xFFFFFFFFFFFFFFFF", "0x10000000000000000", "", "1e3"};
  std::mt19937 rng(42);
  for (int n = 0; n < 600; ++n) {
    std::string path = "/par/lock";
    const int depth = static_cast<int>(rng() % 4);
    for (int d = 0; d < depth; ++d) path += std::string("/") + parts[rng() % (sizeof parts / sizeof parts[0])];
    const char* value = values[rng() % (sizeof values / sizeof values[0])];
    std::string line = (rng() & 1) ? "print," + path : "set," + path + "," + value;
    if (rng() % 4 == 0) line.resize(rng() % (line.size() + 1));
    if (rng() % 8 == 0) line[rng() % (line.size() + 1 > 1 ? line.size() : 1)] = static_cast<char>(rng() % 256);
    const std::string got = run(line);
    EXPECT_TRUE(got.empty() || got.rfind("RE", 0) == 0 || got.rfind("ER", 0) == 0) << line;
    const LockSettings& s = lockSettings();
    EXPECT_GE(s.state, 0);
    EXPECT_LE(s.state, 1);  // 2 and 3 act at once
    EXPECT_GE(s.budgetLimit, kBudgetMin);
    EXPECT_LE(s.budgetLimit, kBudgetMax);
    for (int sys = 0; sys < kChanSys; ++sys) {
      for (int g = 0; g < kFATypes; ++g) {
        const int k = lockEntry(sys, g);
        EXPECT_EQ(s.lock[k].get() & ~lockSysFullMask(sys), 0u) << line;
      }
    }
  }
}

// ---- the manager itself, on its factory settings

class Lock : public ::testing::Test {
 protected:
  void SetUp() override {
    rcvSetDefaults(RcvSet);
    LockMan::setLockDefs();
    lockingInitOnce();
  }
};

TEST_F(Lock, SetLockCode) {
  const int k = lockEntry(kGal, 2);
  LockSettings& s = lockSettings();
  LockSettingsExt& x = lockSettingsExt();
  const std::uint64_t full = lockSysFullMask(kGal);
  const struct {
    int code;
    std::uint64_t lock, forced, c2, c3;
  } rows[] = {
      // Start from forced 7, c2 7, c3 7 each time; mask 0xF0F0 with 36 satellites, mask2 0x3.
      {0, 0, 7, 7, 7},
      {1, 0xF0F0, 0, 0x3, 0},
      {2, 0xF0F0, full, 0x3, 0},
      {3, 0xF0F0, 7, 0, full},
      {4, 0xF0F0, 7, full, 0},
      {9, 0xF0F0, 7, 7, 7},
  };
  for (const auto& r : rows) {
    s.lock[k].set(1);
    s.forced[k].set(7);
    x.comp2[k].set(7);
    x.comp3[k].set(7);
    setLockCode(r.code, kGal, 2, 0xF0F0 | (std::uint64_t{1} << 40), 0x3);
    EXPECT_EQ(s.lock[k].get(), r.lock) << r.code;
    EXPECT_EQ(s.forced[k].get(), r.forced) << r.code;
    EXPECT_EQ(x.comp2[k].get(), r.c2) << r.code;
    EXPECT_EQ(x.comp3[k].get(), r.c3) << r.code;
  }
  setLockCode(1, 8, 0, 1, 1);  // no such system: nothing happens
  setLockCode(1, 0, 6, 1, 1);
}

TEST_F(Lock, BudgetStaysIn144To268) {
  LockSettings& s = lockSettings();
  // Everything searched: the top of the range.
  s.sysEnable = 0xFF;
  for (auto& m : s.sysMask) m.set(~std::uint64_t{0});
  for (int sw = 0; sw < kLockSwitches; ++sw) {
    s.sw[sw] = 1;
    lmuLockApply(static_cast<LockSwitch>(sw));
  }
  LockMan::updateLocking();
  ASSERT_TRUE(LockMan::updateParams());
  EXPECT_EQ(LockMan::budget, 268);
  EXPECT_FALSE(LockMan::updateParams());  // nothing changed since

  s.budgetLimit = 200;
  LockMan::updateLocking();
  LockMan::updateParams();
  EXPECT_EQ(LockMan::budget, 200);

  // GPS C/A alone: fewer signals than the base, still the bottom of the range.
  s.sysEnable = 1;
  for (int g = 1; g < kFATypes; ++g) setLockCode(0, kGps, g, 0, 0);
  LockMan::updateLocking();
  LockMan::updateParams();
  EXPECT_EQ(LockMan::budget, 144);

  // Locking off.
  s.state = 0;
  LockMan::updateLocking();
  LockMan::updateParams();
  EXPECT_EQ(LockMan::budget, 0);
  for (std::uint64_t m : LockMan::indepMask) EXPECT_EQ(m, 0u);
}

TEST_F(Lock, IndependentAndGuidedMasks) {
  LockSettings& s = lockSettings();
  LockSettingsExt& x = lockSettingsExt();
  x.guide[lockEntry(kGps, 3)].set(0xF);
  x.guide[lockEntry(kGps, 0)].set(0xF);   // signal 0 is never guided
  x.guide[lockEntry(kBds, 3)].set(0xF);   // nor is BeiDou
  x.comp2[lockEntry(kGps, 1)].set(0x3);
  x.comp3[lockEntry(kGps, 1)].set(0x6);
  s.forced[lockEntry(kGlo, 0)].set(0x10);
  LockMan::updateLocking();
  LockMan::updateParams();
  EXPECT_EQ(LockMan::guidedMask[lockEntry(kGps, 3)], 0xFu);
  EXPECT_EQ(LockMan::indepMask[lockEntry(kGps, 3)], 0xFFFFFFF0u);
  EXPECT_EQ(LockMan::guidedMask[lockEntry(kGps, 0)], 0u);
  EXPECT_EQ(LockMan::indepMask[lockEntry(kGps, 0)], 0xFFFFFFFFu);
  EXPECT_EQ(LockMan::guidedMask[lockEntry(kBds, 3)], 0u);
  EXPECT_EQ(LockMan::comp2Mask[lockEntry(kGps, 1)], 0x3u);
  EXPECT_EQ(LockMan::comp3OnlyMask[lockEntry(kGps, 1)], 0x4u);
  EXPECT_EQ(LockMan::forcedMask[lockEntry(kGlo, 0)], 0x10u);
  // SBAS is not enabled by default, QZSS only for its satellite mask.
  EXPECT_EQ(LockMan::indepMask[lockEntry(kSbas, 0)], 0u);
  EXPECT_EQ(LockMan::indepMask[lockEntry(kQzss, 0)], 0u);

  s.guideOverlap = 1;
  s.sysEnable |= 1u << kQzss;
  LockMan::updateLocking();
  LockMan::updateParams();
  EXPECT_EQ(LockMan::indepMask[lockEntry(kGps, 3)], 0xFFFFFFFFu);
  EXPECT_EQ(LockMan::guidedMask[lockEntry(kGps, 3)], 0xFu);
  EXPECT_EQ(LockMan::indepMask[lockEntry(kQzss, 0)], 71u);
}

TEST_F(Lock, BeiDouCompatibility) {
  beiPhase3Update(std::uint64_t{1} << 29 | std::uint64_t{1} << 2);  // satellites 30 and 3
  const struct {
    int n, s;
    bool c37, msm, ignore;
  } rows[] = {
      {5, 0, true, false, true},    {6, 0, false, true, false},  {58, 0, false, true, false},
      {59, 0, true, false, true},   {1, 3, true, false, true},   {30, 2, false, false, true},
      {31, 2, false, true, false},  {30, 3, false, true, false}, {30, 0, false, true, false},
      {20, 1, false, false, false}, {20, 4, false, false, false}, {3, 2, true, false, true},
  };
  for (const auto& r : rows) {
    EXPECT_EQ(isBeiDou37compat(r.n), r.c37) << r.n;
    EXPECT_EQ(isBeiDouMSMcompat(r.n, r.s), r.msm) << r.n << "/" << r.s;
    EXPECT_EQ(ignoreCompat(r.n, r.s), r.ignore) << r.n << "/" << r.s;
  }
  EXPECT_TRUE(isBeiPhase3(30));
  EXPECT_FALSE(isBeiPhase3(31));
  EXPECT_FALSE(isBeiPhase3(0));
  EXPECT_FALSE(isBeiPhase3(65));
}

TEST_F(Lock, PhaseThreeAndSatelliteTypes) {
  beiPhase3Update(~std::uint64_t{0});
  EXPECT_EQ(sigSatTypes[lockEntry(kBds, 4)], 0x03FFFFFFFFFFFFE0u);  // bits 5..57
  EXPECT_EQ(sigSatTypes[lockEntry(kBds, 5)], 0x03FFFFFFFFFFFFE0u);

  gpsPhase3Update(0x3);  // PRN 1 and 2
  EXPECT_EQ(sigSatTypes[lockEntry(kGps, 5)], 0x3u);
  setGpsSatType(1, 4);
  setGpsSatType(2, 2);
  setGpsSatType(3, 4);  // type 4 but not in the phase-3 mask
  setGpsSatType(33, 4);
  setGpsSatType(0, 4);
  const std::uint64_t e3 = sigSatTypes[lockEntry(kGps, 3)], e4 = sigSatTypes[lockEntry(kGps, 4)],
                      e5 = sigSatTypes[lockEntry(kGps, 5)];
  EXPECT_EQ(e3 & 0x7, 0x7u);
  EXPECT_EQ(e4 & 0x7, 0x5u);
  EXPECT_EQ(e5 & 0x7, 0x1u);
  setGpsSatType(1, 1);
  EXPECT_EQ(sigSatTypes[lockEntry(kGps, 3)] & 1, 0u);

  qzsPhase3Update(0x1);
  EXPECT_EQ(sigSatTypes[lockEntry(kQzss, 5)], 0x1u);
  setGloSatType(5, 1);
  EXPECT_EQ((sigSatTypes[lockEntry(kGlo, 4)] >> 4) & 1, 0u);
  setGloSatType(5, 2);
  EXPECT_EQ((sigSatTypes[lockEntry(kGlo, 4)] >> 4) & 1, 1u);
  setGloSatType(0, 2);
  setGloSatType(65, 2);
}

TEST_F(Lock, OneSatelliteToAllChannels) {
  const struct {
    int n, sys;
    bool ok;
    std::uint32_t code, code4;
  } rows[] = {
      {5, 0, true, 5 | 0x3F0000, 0},       {-7, 1, true, 1 | 0xF0100, 0},   {7, 1, true, 15 | 0xF0100, 0},
      {120, 2, true, 1 | 0x110200, 0},     {3, 3, true, 3 | 0x100300, 0},   {11, 4, true, 0, 11 | 0x1D0400},
      {0, 0, false, 0, 0},                 {33, 0, false, 0, 0},            {8, 1, false, 0, 0},
      {119, 2, false, 0, 0},               {5, 5, false, 0, 0},             {5, -1, false, 0, 0},
  };
  for (const auto& r : rows) {
    LockMan::dis1toAll();
    EXPECT_EQ(LockMan::en1toAll(r.n, r.sys), r.ok) << r.n << "/" << r.sys;
    EXPECT_EQ(LockMan::oneSatCode, r.code) << r.n << "/" << r.sys;
    EXPECT_EQ(LockMan::oneSatCodeSys4, r.code4) << r.n << "/" << r.sys;
  }
  LockMan::en1toAll(5, 0);
  LockMan::en1toAll(11, 4);
  EXPECT_TRUE(LockMan::en1toAll(-100, 0));
  EXPECT_EQ(LockMan::oneSatCode, 0u);
  EXPECT_EQ(LockMan::oneSatCodeSys4, 0u);
}

TEST_F(Lock, MainAntennaInput) {
  EXPECT_EQ(LockMan::getMainAntInputIdx(), 0);
  for (int bad : {-1, 2, 3, 1000}) EXPECT_FALSE(LockMan::setMainAntInputIdx(bad)) << bad;
  EXPECT_EQ(LockMan::getMainAntInputIdx(), 0);
  EXPECT_TRUE(LockMan::setMainAntInputIdx(1));
  EXPECT_EQ(LockMan::getMainAntInputIdx(), 1);
  EXPECT_EQ(LockMan::getMainAntInputName(), nullptr);  // no antenna names yet
  // An index of 2 or more (never set through here) freezes it.
  LockMan::mainAntInputIdx = 2;
  EXPECT_FALSE(LockMan::setMainAntInputIdx(0));
  EXPECT_EQ(LockMan::getMainAntInputIdx(), 2);
}

TEST_F(Lock, AntennaInputMaskFlagsRelocking) {
  for (SatLockMan& m : satLockMan) m.relock = false;
  LockMan::setAntInpMask(2);
  EXPECT_TRUE(satLockMan[0].relock);
  EXPECT_FALSE(satLockMan[1].relock);
  EXPECT_EQ(LockMan::getAntInpMask(), 2);
  LockMan::setAntInpMask(0);
  EXPECT_TRUE(satLockMan[1].relock);
}

TEST_F(Lock, ShuffledSearchQueueIsAPermutation) {
  // Marsaglia's 32-bit xorshift from 2463534242: its first output is 723471715 ("Xorshift
  // RNGs", 2003); the states after 4960 and 9920 steps were computed apart from this code.
  SatLockMan::rndState = 2463534242u;
  SatLockMan a, b;
  a.Init();
  EXPECT_EQ(SatLockMan::rndState, 2482827095u);
  b.Init();
  EXPECT_EQ(SatLockMan::rndState, 3508262644u);
  std::vector<std::uint32_t> want(satQueueInit.begin(), satQueueInit.end());
  std::sort(want.begin(), want.end());
  for (const SatLockMan* m : {&a, &b}) {
    std::vector<std::uint32_t> got(m->queue, m->queue + kSatQueue);
    EXPECT_FALSE(std::equal(got.begin(), got.end(), satQueueInit.begin()));
    std::sort(got.begin(), got.end());
    EXPECT_EQ(got, want);
    EXPECT_EQ(m->counter[0], 8);
    EXPECT_EQ(m->counter[1], 8);
  }
  EXPECT_FALSE(std::equal(a.queue, a.queue + kSatQueue, b.queue));
  // Every satellite of every system is in the queue once.
  int sats = 0;
  for (std::uint32_t e : satQueueInit) sats += e != 0;
  int total = 0;
  for (int n : chanSysSats) total += n;
  EXPECT_EQ(sats, total);
}

}  // namespace
