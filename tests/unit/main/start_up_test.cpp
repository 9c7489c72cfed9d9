// Around the layers: every way out stores the settings image, the task table's failure rule
// ("initOnce(): ERROR" with the two masks, exit 123 when a clear of the image is pending, else
// 0), and the lock manager's BeiDou answers reaching the signal tables.
#include <gtest/gtest.h>

#include <string>

#include "gnss_link/lock_manager.h"
#include "main/hooks.h"
#include "main/init_once.h"
#include "navigation_data/decoders/nav_decoder_family.h"
#include "settings/rcv_settings.h"
#include "navigation_data/store/sat_data_store.h"
#include "platform/exit.h"
#include "platform/file_nvm.h"
#include "platform/nv_block.h"
#include "platform/nv_pended_clear.h"
#include "positioning/data_servers/pvt_data.h"
#include "positioning/signal_tables.h"
#include "unit/platform/temp_run_dir.h"

namespace {

class StartUp : public TempRunDir {};

TEST_F(StartUp, ExitStoresSettingsImage) {
  ::testing::FLAGS_gtest_death_test_style = "threadsafe";
  auto body = [] {
    wireHooks();
    FileNvmLoad();
    static NvBlock b;
    b.allocate(3, 12, true);
    b.update("abc", 3, 0);
    rxExit(5);
  };
  EXPECT_EXIT(body(), ::testing::ExitedWithCode(5), "");
  FileNvmLoad();
  NvBlock b;
  ASSERT_TRUE(b.allocate(3, 12, true));
  char got[4] = {};
  ASSERT_TRUE(b.read(got, 3, 0));
  EXPECT_STREQ(got, "abc");
}

int g_started = 0;
bool ok(int) { return ++g_started, true; }
bool fail(int) { return false; }

TEST_F(StartUp, TaskTableStartsAllOrReportsWhatFailed) {
  ::testing::FLAGS_gtest_death_test_style = "threadsafe";
  const TaskStarter good[] = {{"a", ok, 10, 0, 0x1}, {"b", nullptr, 11, 0, 0x2}, {"c", ok, 12, 1, 0x4}};
  startTasks(good, 3);
  EXPECT_EQ(g_started, 2);
  const TaskStarter bad[] = {
      {"a", fail, 10, 0, 0x1}, {"b", ok, 11, 0, 0x2}, {"c", fail, 12, 0, 0x8}, {"d", fail, 29, 1, 0x40}};
  EXPECT_EXIT(startTasks(bad, 4), ::testing::ExitedWithCode(0), "initOnce\\(\\): ERROR 9 40\n");
  auto pending = [&] {
    FileNvmLoad();
    nvPendedClear_NvAlloc();
    nvPendedClearRequest();
    startTasks(bad, 4);
  };
  EXPECT_EXIT(pending(), ::testing::ExitedWithCode(123), "initOnce\\(\\): ERROR 9 40\n");
}

TEST(LockHooks, SignalTablesAskTheLockManager) {
  wireHooks();
  beiPhase3 = std::uint64_t{1} << 29;  // satellite 30
  EXPECT_TRUE(signalTableLinks.isBeiPhase3(30));
  EXPECT_TRUE(signalTableLinks.isBeiDou37compat(5));
  EXPECT_FALSE(signalTableLinks.isBeiDou37compat(6));
  EXPECT_TRUE(signalTableLinks.isBeiDou37compat(59));
  EXPECT_FALSE(signalTableLinks.isBeiDouMSMcompat(30, 2));
  EXPECT_TRUE(signalTableLinks.isBeiDouMSMcompat(31, 2));
  EXPECT_TRUE(signalTableLinks.ignoreCompat(30, 2));
  EXPECT_FALSE(signalTableLinks.ignoreCompat(31, 2));
}

// With factory settings the almanac intake takes every GPS satellite: entry n - 1 of the PRN
// table names satellite n (an empty table would keep every GPS almanac out of the store).
TEST(NavDecoderHooks, FactorySettingsTakeEveryGpsAlmanac) {
  wireHooks();
  rcvSetDefaults(RcvSet);
  for (int k = 0; k < 32; ++k) EXPECT_EQ(navDecoderLinks.gpsPrnEntry(k), k + 1) << k;
  EXPECT_EQ(navDecoderLinks.gpsPrnEntry(32), -1);
}

// The Galileo ionosphere coefficients the store hands up reach the NeQuick model's server.
TEST(NavigationHooks, GalileoCoefficientsReachTheNeQuickServer) {
  wireHooks();
  const GalNeQuickParams p{{45.75f, 0.1640625f, 0.00067138671875f}, 0x12, 518400000u, 1014};
  satDataLinks.galNeQuick(p);
  NavData::NeQuickIonoModelDataType rec{};
  ASSERT_EQ(PVTDataInstance.neQuickIonoModel.Take(&rec), 1);
  EXPECT_EQ(rec.bValid, 1);
  EXPECT_EQ(rec.uDisturbanceFlags, 0x12);
  EXPECT_EQ(rec.uWeek, 1014);
  EXPECT_EQ(rec.ulTowMs, 518400000u);
  for (int k = 0; k < 3; ++k) EXPECT_FLOAT_EQ(rec.fAi[k], p.ai[k]);
}

}  // namespace
