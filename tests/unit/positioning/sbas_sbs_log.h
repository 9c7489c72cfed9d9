// The SBAS message log convbin writes (`.sbs`: week, time of week, PRN, type, then the 29-byte
// message in hexadecimal), and a shell runner, for the tests that take rtklib's decoding as truth.
#pragma once

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace sbas_log {

// Standard output of a shell command.
inline std::string run(const std::string& cmd) {
  std::string out;
  FILE* p = popen(cmd.c_str(), "r");
  if (p == nullptr) return out;
  char buf[4096];
  for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, p)) > 0;) out.append(buf, n);
  pclose(p);
  return out;
}

struct SbsLine {
  int week, tow, prn, type;
  std::uint8_t msg[32];
};

// Every whole line of the log at `path`, in order; short or damaged lines are passed over.
inline std::vector<SbsLine> readSbs(const std::string& path) {
  std::vector<SbsLine> out;
  std::ifstream sbs(path);
  for (std::string line; std::getline(sbs, line);) {
    std::istringstream in(line);
    SbsLine m{};
    std::string colon, hex;
    if (!(in >> m.week >> m.tow >> m.prn >> m.type >> colon >> hex) || hex.size() < 58) continue;
    for (int i = 0; i < 29; ++i) m.msg[i] = static_cast<std::uint8_t>(std::stoul(hex.substr(2 * i, 2), nullptr, 16));
    out.push_back(m);
  }
  return out;
}

}  // namespace sbas_log
