#include "platform/pps_input.h"

#include <unistd.h>

#include <cstdint>

#include "platform/host_path.h"
#include "platform/regular_file.h"
#include "platform/rtos_time.h"

namespace {

constexpr const char* kAssertPath = "/sys/class/pps/pps0/assert";

bool digit(char c) { return c >= '0' && c <= '9'; }

// Unsigned decimal of 1..maxDigits digits at text[i]; i moves past it.
bool number(const char* t, std::size_t n, std::size_t& i, int maxDigits, std::int64_t& out) {
  out = 0;
  int d = 0;
  for (; i < n && digit(t[i]); ++i) {
    if (++d > maxDigits) return false;
    out = out * 10 + (t[i] - '0');
  }
  return d > 0;
}

}  // namespace

bool ppsParseAssert(const char* t, std::size_t n, SysTime& pulse) {
  if (t == nullptr) return false;
  std::size_t i = 0;
  std::int64_t sec = 0, nsec = 0, seq = 0;
  if (!number(t, n, i, 18, sec) || i >= n || t[i++] != '.') return false;
  const std::size_t fracAt = i;
  if (!number(t, n, i, 9, nsec) || i - fracAt != 9 || i >= n || t[i++] != '#') return false;
  if (!number(t, n, i, 10, seq) || seq == 0) return false;
  if (i < n && t[i] == '\n') ++i;
  if (i != n) return false;
  pulse.assign(sec, nsec);
  return true;
}

bool ppsInputRead(SysTime& pulse) {
  const HostPath path(kAssertPath);
  FileOpen why;
  const int fd = openRegular(path, why);
  if (fd < 0) return false;
  char buf[64];
  const ssize_t n = read(fd, buf, sizeof buf);
  close(fd);
  if (n <= 0 || static_cast<std::size_t>(n) >= sizeof buf) return false;
  SysTime machine;
  if (!ppsParseAssert(buf, static_cast<std::size_t>(n), machine)) return false;
  const std::int64_t off = rtosVirtualOffsetNs();
  pulse.assign(machine.sec + off / 1000000000, machine.nsec + off % 1000000000);
  return true;
}
