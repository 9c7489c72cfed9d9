// The background cycle: hooks in their places, the watchdog stamp and the settings save.
#include "platform/apx_task.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/exit.h"
#include "platform/file_nvm.h"
#include "platform/nv_block.h"
#include "platform/ram_nvm.h"
#include "temp_run_dir.h"

namespace {

class ApxTest : public TempRunDir {};

std::string g_trace;

TEST_F(ApxTest, CycleRunsHooksStampsWatchdogAndSaves) {
  FileNvmLoad();
  NvBlock b;
  ASSERT_TRUE(b.allocate(4, 5, true));
  ASSERT_TRUE(b.update("abcd", 4, 0));
  ASSERT_TRUE(apxHookAdd(kApxCycle, [](std::uint32_t) { g_trace += "c"; }));
  ASSERT_TRUE(apxHookAdd(kApxCycle, [](std::uint32_t) { g_trace += "C"; }));
  ASSERT_TRUE(apxHookAdd(kApxAfterSave, [](std::uint32_t) {
    g_trace += access(".gnss.nvm", F_OK) == 0 ? "s" : "-";
  }));
  ASSERT_TRUE(apxHookAdd(kApxFiveSec, [](std::uint32_t) { g_trace += "5"; }));
  EXPECT_FALSE(apxHookAdd(kApxStageCount, [](std::uint32_t) {}));
  EXPECT_FALSE(apxHookAdd(kApxCycle, nullptr));
  EXPECT_FALSE(apxProcActive);
  apxCycle();
  EXPECT_TRUE(apxProcActive);
  EXPECT_NE(swdLastTime_, 0u);
  // The first cycle opens the 5-s period rather than running its duties.
  EXPECT_EQ(g_trace, "cCs");
  EXPECT_EQ(fileSize(".gnss.nvm"), static_cast<long long>(RamNvm::kSize));
}

// Runs in a child process that ends through rxExit, as the program does, so that no static
// object is torn down under the running task.
TEST_F(ApxTest, TaskRunsCyclesWhenWoken) {
  ::testing::FLAGS_gtest_death_test_style = "threadsafe";
  auto body = [] {
    FileNvmLoad();
    if (!apxProcInit(26)) rxExit(1);
    apxSem.post();
    // Bounded waits: a guard against a hang, not a measure.
    for (int i = 0; i < 1000 && !apxProcActive; ++i) Task::sleep(1);
    for (int i = 0; i < 1000 && access(".gnss.nvm", F_OK) != 0; ++i) Task::sleep(1);
    rxExit(apxProcActive && access(".gnss.nvm", F_OK) == 0 ? 0 : 2);
  };
  EXPECT_EXIT(body(), ::testing::ExitedWithCode(0), "");
}

}  // namespace
