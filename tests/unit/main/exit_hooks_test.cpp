// Every way out of the process stores the settings image first.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "main/hooks.h"
#include "platform/exit.h"
#include "platform/file_nvm.h"
#include "platform/nv_block.h"

namespace {

TEST(ExitHooks, ExitStoresSettingsImage) {
  ::testing::FLAGS_gtest_death_test_style = "threadsafe";
  std::string dir;
  if (const char* d = std::getenv("RX_UNIT_RUN_DIR")) {
    dir = d;
  } else {
    char tmpl[] = "/tmp/rxunit.XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir = tmpl;
    setenv("RX_UNIT_RUN_DIR", dir.c_str(), 1);
  }
  ASSERT_EQ(chdir(dir.c_str()), 0);
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
  unsetenv("RX_UNIT_RUN_DIR");
  if (chdir("/") == 0) std::system(("rm -rf '" + dir + "'").c_str());
}

}  // namespace
