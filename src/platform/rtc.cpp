#include "platform/rtc.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <mutex>

#include "platform/host_path.h"
#include "platform/mono_clock.h"
#include "platform/regular_file.h"

#ifdef RX_TARGET
#include <linux/rtc.h>
#include <sys/ioctl.h>
#include <ctime>
#endif

namespace {
constexpr const char* kRtcSeconds = "/sys/class/rtc/rtc0/since_epoch";
// The clock is rewritten when it strays further than this from the exact time.
constexpr std::int64_t kMaxStraySec = 1;

std::mutex g_m;
bool g_haveExact = false;
std::int64_t g_exactUtc = 0;
std::uint32_t g_exactMonoMs = 0;
std::atomic<bool> g_refusalSaid{false};

bool writeRtc(std::int64_t utcSec) {
#ifdef RX_TARGET
  int fd = ::open("/dev/rtc0", O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  time_t t = static_cast<time_t>(utcSec);
  tm b{};
  gmtime_r(&t, &b);
  rtc_time r{};
  r.tm_sec = b.tm_sec;
  r.tm_min = b.tm_min;
  r.tm_hour = b.tm_hour;
  r.tm_mday = b.tm_mday;
  r.tm_mon = b.tm_mon;
  r.tm_year = b.tm_year;
  bool ok = ::ioctl(fd, RTC_SET_TIME, &r) == 0;
  ::close(fd);
  return ok;
#else
  // The stand-in clock is the seconds file itself; only an existing regular one is kept up to
  // date (a FIFO in its place must not stop the background task).
  HostPath p(kRtcSeconds);
  const int fd = ::open(p, O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || ::ftruncate(fd, 0) != 0) {
    ::close(fd);
    return false;
  }
  const bool ok = ::dprintf(fd, "%lld\n", static_cast<long long>(utcSec)) > 0;
  return (::close(fd) == 0) && ok;
#endif
}
}  // namespace

bool Rtc::read(std::int64_t& utcSec) {
  HostPath p(kRtcSeconds);
  FileOpen why;
  const int fd = openRegular(p, why);
  if (fd < 0) {
    // Read every few seconds: said once.
    if (why != FileOpen::Missing && !g_refusalSaid.exchange(true))
      std::fprintf(stderr, "$$RTC: %s %s: ignored\n", p.c_str(), fileOpenText(why));
    return false;
  }
  std::FILE* f = ::fdopen(fd, "r");
  if (f == nullptr) {
    ::close(fd);
    return false;
  }
  long long v = 0;
  bool ok = std::fscanf(f, "%lld", &v) == 1 && v > 0;
  std::fclose(f);
  if (ok) utcSec = v;
  return ok;
}

void Rtc::updateTime(std::int64_t utcSec) {
  if (utcSec <= 0) return;
  std::lock_guard<std::mutex> l(g_m);
  g_haveExact = true;
  g_exactUtc = utcSec;
  g_exactMonoMs = MonoClock::ms();
}

void Rtc::update() {
  std::int64_t want;
  {
    std::lock_guard<std::mutex> l(g_m);
    if (!g_haveExact) return;
    want = g_exactUtc + static_cast<std::uint32_t>(MonoClock::ms() - g_exactMonoMs) / 1000;
  }
  std::int64_t have = 0;
  if (Rtc::read(have) && std::llabs(have - want) <= kMaxStraySec) return;
  writeRtc(want);
}
