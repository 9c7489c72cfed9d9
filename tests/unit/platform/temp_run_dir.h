// Each test that touches files runs in its own fresh run directory.
#pragma once

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

class TempRunDir : public ::testing::Test {
 protected:
  // A death test's child runs the test again from the start; it works in its parent's
  // directory, handed down through the environment.
  void SetUp() override {
    if (const char* inherited = std::getenv("RX_UNIT_RUN_DIR")) {
      dir_ = inherited;
      child_ = true;
    } else {
      char tmpl[] = "/tmp/rxunit.XXXXXX";
      ASSERT_NE(mkdtemp(tmpl), nullptr);
      dir_ = tmpl;
      setenv("RX_UNIT_RUN_DIR", dir_.c_str(), 1);
    }
    ASSERT_EQ(chdir(dir_.c_str()), 0);
  }
  void TearDown() override {
    if (child_) return;
    unsetenv("RX_UNIT_RUN_DIR");
    if (chdir("/") == 0 && !dir_.empty()) std::system(("rm -rf '" + dir_ + "'").c_str());
  }
  static std::string readFile(const std::string& p) {
    std::ifstream f(p, std::ios::binary);
    std::ostringstream s;
    s << f.rdbuf();
    return s.str();
  }
  static void writeFile(const std::string& p, const std::string& content) {
    for (std::size_t i = 1; i < p.size(); ++i)
      if (p[i] == '/') mkdir(p.substr(0, i).c_str(), 0755);
    std::ofstream f(p, std::ios::binary | std::ios::trunc);
    f << content;
  }
  static bool exists(const std::string& p) { return access(p.c_str(), F_OK) == 0; }
  static long long fileSize(const std::string& p) {
    struct stat st {};
    return stat(p.c_str(), &st) == 0 ? static_cast<long long>(st.st_size) : -1;
  }

  std::string dir_;
  bool child_ = false;
};
