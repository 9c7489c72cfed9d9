// The task table's failure rule: "initOnce(): ERROR" with the two masks, exit 123 when a clear
// of the settings image is pending, else 0.
#include "main/init_once.h"

#include <gtest/gtest.h>

#include "platform/file_nvm.h"
#include "platform/nv_pended_clear.h"
#include "unit/platform/temp_run_dir.h"

namespace {

class TaskTableTest : public TempRunDir {
 protected:
  void SetUp() override {
    TempRunDir::SetUp();
    ::testing::FLAGS_gtest_death_test_style = "threadsafe";
  }
};

int g_started = 0;
bool ok(int) { return ++g_started, true; }
bool fail(int) { return false; }

TEST_F(TaskTableTest, AllStartedGoesOn) {
  const TaskStarter table[] = {{"a", ok, 10, 0, 0x1}, {"b", nullptr, 11, 0, 0x2}, {"c", ok, 12, 1, 0x4}};
  startTasks(table, 3);
  EXPECT_EQ(g_started, 2);
}

TEST_F(TaskTableTest, FailureReportsMasksAndExits) {
  const TaskStarter table[] = {
      {"a", fail, 10, 0, 0x1}, {"b", ok, 11, 0, 0x2}, {"c", fail, 12, 0, 0x8}, {"d", fail, 29, 1, 0x40}};
  EXPECT_EXIT(startTasks(table, 4), ::testing::ExitedWithCode(0), "initOnce\\(\\): ERROR 9 40\n");
  // With a clear of the image pending the exit code says so.
  auto pending = [&] {
    FileNvmLoad();
    nvPendedClear_NvAlloc();
    nvPendedClearRequest();
    startTasks(table, 4);
  };
  EXPECT_EXIT(pending(), ::testing::ExitedWithCode(123), "initOnce\\(\\): ERROR 9 40\n");
}

}  // namespace
