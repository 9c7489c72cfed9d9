// Every way out of the process stores the settings image first.
#include <gtest/gtest.h>

#include <string>

#include "main/hooks.h"
#include "platform/exit.h"
#include "platform/file_nvm.h"
#include "platform/nv_block.h"
#include "unit/platform/temp_run_dir.h"

namespace {

class ExitHooks : public TempRunDir {};

TEST_F(ExitHooks, ExitStoresSettingsImage) {
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
  char got[3] = {};
  ASSERT_TRUE(b.read(got, 3, 0));
  EXPECT_EQ(std::string(got, 3), "abc");
}

}  // namespace
