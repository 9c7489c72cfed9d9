#include <gtest/gtest.h>

#include <utility>

#include "unit/gnss_link/native_test_util.h"
#include "command/settings_commands.h"
#include "gnss_link/freq_plan.h"
#include "gnss_link/lock_manager.h"
#include "gnss_link/lock_manager_keys.h"
#include "platform/file_nvm.h"
#include "settings/nv_settings.h"
#include "unit/command/capture_port.h"
#include "unit/platform/temp_run_dir.h"

namespace {

constexpr int kGps = 0;

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
    nvAfterLoadHooks.add(afterLoad);
    nv_readSettings();
    settingsCommandsInitOnce();
    registerLockArea();
    lockingInitOnce();
  }
  std::string run(const std::string& line) { return runLine(port_, line); }
  std::string value(const std::string& key) {
    const std::string got = run("print,/par/lock/" + key);
    return got.size() > 7 && got.rfind("RE", 0) == 0 ? got.substr(5, got.size() - 7) : got;
  }
  CapturePort port_{IOP_TCP_A};
};

TEST_F(LockKeys, PrintsSetsRefusalsAndRestart) {
  // "key": its printed value; "key,value": a set, answered "" when taken, "ER<code>" when refused.
  const struct {
    const char* line;
    const char* want;
  } steps[] = {
      {"sbas/4/lock", "0x46185A588"}, {"gal/3/lock", "0x0"},
      // Satellite 33 of GPS, no Galileo signal 1, GLONASS CDMA L3 lives under gloc.
      {"gps/0/lock,0x100000000", "ER5"}, {"gal/1/lock,0", "ER3"},   {"glo/4/lock,1", "ER3"},
      {"budget,143", "ER5"},             {"budget,269", "ER5"},     {"state,4", "ER5"},      {"sysen,256", "ER5"},
      {"gps/0/lock,-1", "ER7"},          {"gps/0/lock,99999999999999999999999", "ER7"},        {"gps/7/lock,0", "ER3"},
      {"gps/3/guide,0x5", ""},  {"gps/3/guide", "0x5"},  {"bds/sats,1234", ""},  {"bds/sats", "0x4D2"},
      {"budget,200", ""},       {"budget", "200"},       {"sw/e6,on", ""},       {"gal/3/lock", "0xFFFFFFFFF"},
      {"sw/l5,off", ""},        {"gps/4/lock", "0x0"},   {"sbas/4/lock", "0x0"}, {"sw/l5,on", ""},
      // The master P switch decides for both systems.
      {"sw/pcode,off", ""},     {"gps/2/lock", "0x0"},   {"glo/1/lock", "0x0"},
      {"sw/pcode,on", ""},      {"sw/glop,off", ""},     {"gps/2/lock", "0xFFFFFFFF"}, {"glo/1/lock", "0x0"},
      // States 3 (clear all) and 2 (everything) act at once and leave 1.
      {"state,3", ""},          {"state", "1"},          {"sbas/4/lock", "0x0"},
      {"state,2", ""},          {"state", "1"},          {"sbas/4/lock", "0x7FFFFFFFF"},
  };
  for (const auto& s : steps) {
    const std::string line = s.line, want = s.want;
    if (line.find(',') == std::string::npos) {
      EXPECT_EQ(value(line), want) << line;
      continue;
    }
    const std::uint32_t changes = LockMan::lockChangeCnt.load();
    const std::string got = run("%s%set,/par/lock/" + line);
    if (want.empty()) EXPECT_EQ(got, replyFrame("%s%")) << line;
    else EXPECT_TRUE(got.rfind("ER", 0) == 0 && got.find("{" + want.substr(2) + ",") != std::string::npos) << line;
    EXPECT_TRUE(!want.empty() || line.rfind("state,", 0) != 0 || LockMan::lockChangeCnt.load() > changes) << line;
  }
  for (int k = 0; k < kLockEntries; ++k) EXPECT_EQ(lockSettings().lock[k].get(), lockSysFullMask(k / kFATypes)) << k;
  // The next start reads the sets back from the settings image; init gives the factory values.
  std::memset(&RcvSet, 0, sizeof RcvSet);
  nv_readSettings();
  EXPECT_EQ(value("gps/3/guide") + " " + value("budget") + " " + value("sbas/4/lock"), "0x5 200 0x7FFFFFFFF");
  EXPECT_EQ(run("%i%init,/par/"), replyFrame("%i%"));
  EXPECT_EQ(value("gps/3/guide") + " " + value("budget") + " " + value("sbas/4/lock"), "0x0 268 0x46185A588");
  run("set,/par/lock/state,3");
  for (int k = 0; k < kLockEntries; ++k) EXPECT_EQ(lockSettings().lock[k].get(), 0u) << k;
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
    EXPECT_TRUE(s.state >= 0 && s.state <= 1) << line;  // 2 and 3 act at once
    EXPECT_TRUE(s.budgetLimit >= kBudgetMin && s.budgetLimit <= kBudgetMax) << line;
    for (int k = 0; k < kLockEntries; ++k) EXPECT_EQ(s.lock[k].get() & ~lockSysFullMask(k / kFATypes), 0u) << line;
  }
}

class Lock : public ::testing::Test {
 protected:
  void SetUp() override {
    rcvSetDefaults(RcvSet);
    LockMan::setLockDefs();
    lockingInitOnce();
  }
  static void update() {
    LockMan::updateLocking();
    LockMan::updateParams();
  }
};

TEST_F(Lock, BudgetStaysIn144To268) {
  LockSettings& s = lockSettings();
  s.sysEnable = 0xFF;  // everything searched: the top of the range
  for (auto& m : s.sysMask) m.set(~std::uint64_t{0});
  for (int sw = 0; sw < kLockSwitches; ++sw) {
    s.sw[sw] = 1;
    lmuLockApply(static_cast<LockSwitch>(sw));
  }
  LockMan::updateLocking();
  ASSERT_TRUE(LockMan::updateParams());
  EXPECT_EQ(LockMan::budget, 268);
  s.sysEnable = 1;  // GPS C/A alone: fewer signals than the base, still the bottom
  for (int g = 1; g < kFATypes; ++g) setLockCode(0, kGps, g, 0, 0);
  update();
  EXPECT_EQ(LockMan::budget, 144);
  s.state = 0;  // locking off
  update();
  EXPECT_EQ(LockMan::budget, 0);
}

TEST_F(Lock, BeiDouCompatibility) {
  beiPhase3 = std::uint64_t{1} << 29 | std::uint64_t{1} << 2;  // satellites 30 and 3
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
  for (int n : {31, 0, 65}) EXPECT_FALSE(isBeiPhase3(n)) << n;
  EXPECT_TRUE(isBeiPhase3(30));
}

// The phase-3 updates: GPS takes from its L1C entry what is not in its mask; BeiDou's B2a and B1C
// entries become the mask without the GEO satellites (all ones leaves bits 5..57).
TEST_F(Lock, PhaseThreeUpdatesReachTheSignalEntries) {
  gpsPhase3Update(0x5);
  beiPhase3Update(~std::uint64_t{0});
  EXPECT_EQ(sigSatTypes[lockEntry(0, 5)], 0x5u);
  for (int sig : {4, 5}) EXPECT_EQ(sigSatTypes[lockEntry(5, sig)], ((std::uint64_t{1} << 58) - 1) & ~std::uint64_t{0x1F}) << sig;
  gpsPhase3 = 0, beiPhase3 = 0;
  for (std::uint64_t& m : sigSatTypes) m = ~std::uint64_t{0};
}

TEST_F(Lock, SatelliteNumbersOutOfRangeAreRefused) {
  for (std::uint64_t& m : sigSatTypes) m = 0;
  for (int n : {0, 33, -1}) setGpsSatType(n, 4);
  for (int slot : {0, 65}) setGloSatType(slot, 2);
  for (int k = 0; k < kLockEntries; ++k) EXPECT_EQ(sigSatTypes[k], 0u) << k;
  for (std::uint64_t& m : sigSatTypes) m = ~std::uint64_t{0};
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
    EXPECT_EQ(m->counter[0] + m->counter[1], 16);
  }
  EXPECT_FALSE(std::equal(a.queue, a.queue + kSatQueue, b.queue));
}

}  // namespace
