// Each test that touches files runs in a fresh run directory of its own. A death test's child runs
// the test again from the start: it works in its parent's directory, handed down in the environment.
// The test ends back in the directory it started in, so that the tests after it do not run in a
// directory that no longer exists; a test that calls SetUp again to start afresh gets a fresh
// directory too.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

inline std::string readFile(const std::string& p) {
  std::ostringstream s;
  s << std::ifstream(p, std::ios::binary).rdbuf();
  return s.str();
}
inline void writeFile(const std::string& p, const std::string& content) {  // parent directories too
  std::error_code ec;
  std::filesystem::create_directories(std::filesystem::path(p).parent_path(), ec);
  std::ofstream(p, std::ios::binary | std::ios::trunc) << content;
}
inline bool exists(const std::string& p) { return access(p.c_str(), F_OK) == 0; }

class TempRunDir : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!dir_.empty()) TearDown();
    char cwd[4096];
    ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
    home_ = cwd;
    char tmpl[] = "/tmp/rxunit.XXXXXX";
    // Only a death test's child takes the directory from the environment.
    const char* inherited = std::getenv("RX_UNIT_RUN_DIR");
    child_ = inherited != nullptr && !GTEST_FLAG_GET(internal_run_death_test).empty();
    dir_ = child_ ? inherited : (mkdtemp(tmpl) ? tmpl : "");
    setenv("RX_UNIT_RUN_DIR", dir_.c_str(), 1);
    ASSERT_EQ(chdir(dir_.c_str()), 0);
  }
  void TearDown() override {
    std::error_code ec;
    if (!home_.empty()) {
      EXPECT_EQ(chdir(home_.c_str()), 0);
    }
    if (!child_) unsetenv("RX_UNIT_RUN_DIR"), std::filesystem::remove_all(dir_, ec);
    dir_.clear();
  }
  std::string dir_;
  std::string home_;
  bool child_ = false;
};
