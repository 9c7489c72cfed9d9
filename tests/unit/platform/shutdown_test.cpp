// Shutdown: each mode leaves its word in the request file, ends with its exit code, and stores
// the settings image first.
#include "platform/shutdown.h"

#include <gtest/gtest.h>

#include "platform/file_nvm.h"
#include "platform/nv_block.h"
#include "platform/ram_nvm.h"
#include "temp_run_dir.h"

namespace {

class ShutdownTest : public TempRunDir {
 protected:
  void SetUp() override {
    TempRunDir::SetUp();
    ::testing::FLAGS_gtest_death_test_style = "threadsafe";
  }
};

constexpr const char* kRequest = "host/var/run/rxengine-request";

TEST_F(ShutdownTest, ModesWriteTheirWordAndExitCode) {
  struct Case {
    int mode;
    int code;
    const char* word;  // null: no request file
  };
  const Case cases[] = {
      {kShutPowerOff, 128, "power_off"},
      {kShutSleep, 128, "sleep"},
      {kShutReboot, 127, "reboot"},
      {kShutRestart, 0, nullptr},
      {99, 0, nullptr},  // unknown: restart
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.mode);
    unlink(kRequest);
    EXPECT_EXIT(rcvShutdown(c.mode, nullptr, kNoWakeup, false), ::testing::ExitedWithCode(c.code), "");
    if (c.word) {
      EXPECT_EQ(readFile(kRequest), c.word);
    } else {
      EXPECT_FALSE(exists(kRequest));
    }
  }
}

TEST_F(ShutdownTest, StoresImageBeforeExit) {
  FileNvmLoad();
  NvBlock b;
  ASSERT_TRUE(b.allocate(5, 300, true));
  ASSERT_TRUE(b.update("hello", 5, 0));
  EXPECT_EXIT(rcvShutdown(kShutReboot, nullptr, kNoWakeup, false), ::testing::ExitedWithCode(127), "");
  // The next start finds the block as it was.
  ASSERT_EQ(fileSize(".gnss.nvm"), static_cast<long long>(RamNvm::kSize));
  FileNvmLoad();
  NvBlock again;
  ASSERT_TRUE(again.allocate(5, 300, true));
  char got[5] = {};
  ASSERT_TRUE(again.read(got, 5, 0));
  EXPECT_EQ(std::string(got, 5), "hello");
}

TEST_F(ShutdownTest, ClearRequestEmptiesImage) {
  FileNvmLoad();
  NvBlock b;
  ASSERT_TRUE(b.allocate(5, 300, true));
  ASSERT_TRUE(b.update("hello", 5, 0));
  ASSERT_TRUE(FileNvmSave(0, true));
  EXPECT_EXIT(rcvShutdown(kShutRestart, nullptr, kNoWakeup, true), ::testing::ExitedWithCode(0), "");
  FileNvmLoad();
  NvBlock again;
  ASSERT_TRUE(again.allocate(5, 300, true));
  EXPECT_FALSE(again.isValid());
}

std::string g_trace;

TEST_F(ShutdownTest, StepsRunInOrderAndSessionSkippedOnClear) {
  rcvShutdownSetStep(kShutStepPower, [](const ShutdownRequest& r) {
    g_trace += "P";
    std::fprintf(stderr, "%s wake %u\n", g_trace.c_str(), r.wakeup);
  });
  rcvShutdownSetStep(kShutStepFilePush, [](const ShutdownRequest&) { g_trace += "F"; });
  rcvShutdownSetStep(kShutStepLogFiles, [](const ShutdownRequest&) { g_trace += "L"; });
  rcvShutdownSetStep(kShutStepAnswer, [](const ShutdownRequest& r) { g_trace += r.message; });
  rcvShutdownSetStep(kShutStepNetwork, [](const ShutdownRequest&) { g_trace += "N"; });
  rcvShutdownSetStep(kShutStepSession, [](const ShutdownRequest&) { g_trace += "S"; });
  EXPECT_EXIT(rcvShutdown(kShutSleep, "a", 1234, false), ::testing::ExitedWithCode(128), "^FLaNSP wake 1234\n");
  EXPECT_EXIT(rcvShutdown(kShutRestart, "a", kNoWakeup, true), ::testing::ExitedWithCode(0), "^FLaNP wake");
}

}  // namespace
