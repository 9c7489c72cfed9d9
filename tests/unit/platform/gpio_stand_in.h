// GPIO stand-in files for tests: what the kernel shows under /sys/class/gpio/ for exported lines,
// laid out under a run directory's host/ (where the host build maps the system's paths). Header
// only and standard library only, so unit tests of every layer and the end-to-end tests can use it.
#pragma once

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <sstream>
#include <string>

namespace standin {

inline std::string gpioRoot(const std::string& runDir) { return runDir + "/host/sys/class/gpio"; }

inline std::string gpioPath(const std::string& runDir, int line, const char* leaf) {
  return gpioRoot(runDir) + "/gpio" + std::to_string(line) + "/" + leaf;
}

inline bool writeStandIn(const std::string& path, const std::string& content) {
  std::error_code ec;
  std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ec);
  std::ofstream f(path, std::ios::binary | std::ios::trunc);
  return static_cast<bool>(f << content);
}

// The export file, and for each line its direction and value files as an exported line has them.
inline bool layOutGpio(const std::string& runDir, std::initializer_list<int> lines, const std::string& direction = "in",
                       const std::string& value = "0") {
  bool ok = writeStandIn(gpioRoot(runDir) + "/export", "");
  for (int line : lines) {
    ok = writeStandIn(gpioPath(runDir, line, "direction"), direction + "\n") && ok;
    ok = writeStandIn(gpioPath(runDir, line, "value"), value + "\n") && ok;
  }
  return ok;
}

// Whole content of a stand-in file; "" when it is missing.
inline std::string gpioFile(const std::string& runDir, int line, const char* leaf) {
  std::ifstream f(gpioPath(runDir, line, leaf), std::ios::binary);
  std::ostringstream s;
  s << f.rdbuf();
  return s.str();
}

// The text a reader of the file sees: up to the first zero byte or line end (the program writes
// its texts with their terminating zero byte, as the kernel accepts them).
inline std::string gpioText(const std::string& runDir, int line, const char* leaf) {
  const std::string s = gpioFile(runDir, line, leaf);
  return s.substr(0, s.find_first_of(std::string("\n\0", 2)));
}

// The line's level as its value file shows it: 0, 1, or -1 when missing or no digit.
inline int gpioLevel(const std::string& runDir, int line) {
  const std::string s = gpioFile(runDir, line, "value");
  return !s.empty() && (s[0] == '0' || s[0] == '1') ? s[0] - '0' : -1;
}

}  // namespace standin
