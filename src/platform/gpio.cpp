#include "platform/gpio.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "platform/debug.h"
#include "platform/host_path.h"

namespace {

// Kinds of failure, each reported once per line.
enum Said : std::uint16_t {
  kSaidExport = 1 << 0,
  kSaidDirection = 1 << 1,
  kSaidLevel = 1 << 2,
  kSaidValueSet = 1 << 3,
  kSaidPoll = 1 << 4,
};

std::atomic<std::uint16_t> g_said[kGpioMaxLine + 1];
std::atomic<std::uint16_t> g_saidBeyond{0};  // lines outside the table share one mask

// True the first time `kind` goes wrong on `gpio`.
bool firstTime(int gpio, Said kind) {
  std::atomic<std::uint16_t>& m = gpio >= 0 && gpio <= kGpioMaxLine ? g_said[gpio] : g_saidBeyond;
  return (m.fetch_or(kind) & kind) == 0;
}

struct LinePath {
  char buf[128];
  LinePath(int gpio, const char* leaf) {
    char abs[96];
    std::snprintf(abs, sizeof abs, "/sys/class/gpio/gpio%d/%s", gpio, leaf);
    hostPath(abs, buf, sizeof buf);
  }
};

bool writeAll(int fd, const void* data, std::size_t n) {
  return ::write(fd, data, n) == static_cast<ssize_t>(n);
}

// The kernel takes the text with its terminating zero byte as well as without.
bool writeText(const char* path, const char* text) {
  const int fd = ::open(path, O_WRONLY | O_CLOEXEC);
  if (fd < 0) return false;
  const bool ok = writeAll(fd, text, std::strlen(text) + 1);
  ::close(fd);
  return ok;
}

bool exported(int gpio) { return ::access(LinePath(gpio, "direction").buf, F_OK) == 0; }

// The line's directory made by the kernel. A line already exported (by an earlier run of the
// program, which is never unexported) is no failure: the kernel refuses the second export.
bool exportLine(int gpio) {
  if (exported(gpio)) return true;
  char path[128];
  const int fd = ::open(hostPath("/sys/class/gpio/export", path, sizeof path), O_WRONLY | O_CLOEXEC);
  if (fd < 0) return false;
  char num[16];
  const int n = std::snprintf(num, sizeof num, "%d", gpio);
  const bool ok = writeAll(fd, num, static_cast<std::size_t>(n));
  ::close(fd);
  return ok || exported(gpio);
}

int digitOf(char c) { return c >= '0' && c <= '9' ? c - '0' : -1; }

}  // namespace

int setPinOutEn(int gpio, int level) {
  if (!exportLine(gpio)) {
    if (firstTime(gpio, kSaidExport)) debPrintfx(-1, "[i]setPinOutEn(): ERROR: open for export\n");
    return -1;
  }
  const LinePath dir(gpio, "direction");
  if (!writeText(dir.buf, "out")) {
    if (firstTime(gpio, kSaidDirection)) debPrintfx(-1, "[i]setPinOutEn(): ERROR: open %s\n", dir.buf);
    return -1;
  }
  const LinePath val(gpio, "value");
  if (!writeText(val.buf, level ? "1" : "0")) {
    if (firstTime(gpio, kSaidLevel)) debPrintfx(-1, "[i]setPinOutEn(): ERROR: open %s for set level\n", val.buf);
    return -1;
  }
  return 0;
}

int setPinInEn(int gpio) {
  if (!exportLine(gpio)) {
    if (firstTime(gpio, kSaidExport)) debPrintfx(-1, "[i]setPinInEn(): ERROR: open for export\n");
    return -1;
  }
  const LinePath dir(gpio, "direction");
  if (!writeText(dir.buf, "in")) {
    if (firstTime(gpio, kSaidDirection)) debPrintfx(-1, "[i]setPinInEn(): ERROR: open %s\n", dir.buf);
    return -1;
  }
  return 0;
}

bool gpio_value_set(int gpio, int level) {
  const LinePath val(gpio, "value");
  if (!writeText(val.buf, level ? "1" : "0")) {
    if (firstTime(gpio, kSaidValueSet)) debPrintfx(-1, "[i]gpio_value_set(EXIT): ERROR: open %s\n", val.buf);
    return false;
  }
  return true;
}

int gpio_pinVal_getFD(int gpio) {
  const LinePath val(gpio, "value");
  const int fd = ::open(val.buf, O_RDONLY | O_CLOEXEC);
  if (fd < 0 && firstTime(gpio, kSaidPoll)) debPrintfx(-1, "[i]gpio_value_get(EXIT): ERROR: open %s\n", val.buf);
  return fd < 0 ? -1 : fd;
}

int gpio_value_getByFD(int fd) {
  if (fd < 1) return -1;
  char c = 0;
  // From the start each time: a sysfs value file gives the current level only when read from 0.
  if (::pread(fd, &c, 1, 0) != 1) return -1;
  return digitOf(c);
}
