#include "platform/ports/serial_driver.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/host_path.h"
#include "platform/mono_clock.h"
#include "platform/rtos.h"

namespace {

const int kBauds[] = {1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200, 230400, 460800};
constexpr int kBaudCount = sizeof kBauds / sizeof kBauds[0];

speed_t speedOf(int baud) {
  switch (baud) {
    case 1200: return B1200;
    case 2400: return B2400;
    case 4800: return B4800;
    case 9600: return B9600;
    case 19200: return B19200;
    case 38400: return B38400;
    case 57600: return B57600;
    case 230400: return B230400;
    case 460800: return B460800;
    default: return B115200;
  }
}

// Monotonic-clock moment `ticks` from now, for the timed waits of the ring.
timespec deadlineAfter(int ticks) {
  timespec end;
  clock_gettime(CLOCK_MONOTONIC, &end);
  long long ns = end.tv_nsec + static_cast<long long>(ticks) * rtos::kTickMs * 1000000LL;
  end.tv_sec += static_cast<time_t>(ns / 1000000000LL);
  end.tv_nsec = static_cast<long>(ns % 1000000000LL);
  return end;
}

// Byte ring between the writers of a port and its output task. Writes are all or nothing so
// that a message is never cut in half by a full ring.
class TxRing {
 public:
  int put(const void* data, int n, int timeout) {
    if (n <= 0) return 0;
    Locker<Mutex> l(m_);
    if (n > kRsTxRingSize) return 0;
    if (timeout != 0 && kRsTxRingSize - count() < static_cast<std::uint32_t>(n)) {
      const timespec end = deadlineAfter(timeout < 0 ? 0 : timeout);
      while (kRsTxRingSize - count() < static_cast<std::uint32_t>(n)) {
        if (timeout < 0) {
          cv_.wait(m_);
        } else if (!cv_.waitUntil(m_, end)) {
          break;
        }
      }
    }
    if (kRsTxRingSize - count() < static_cast<std::uint32_t>(n)) return 0;
    const auto* p = static_cast<const std::uint8_t*>(data);
    for (int i = 0; i < n; ++i) buf_[(head_ + static_cast<std::uint32_t>(i)) & kMask] = p[i];
    head_ += static_cast<std::uint32_t>(n);
    cv_.broadcast();
    return n;
  }

  // Waits up to `ticks` for data; gives the longest contiguous run at the tail.
  int peek(const std::uint8_t** p, int ticks) {
    Locker<Mutex> l(m_);
    if (count() == 0) cv_.wait(m_, ticks);
    std::uint32_t c = count();
    if (c == 0) return 0;
    std::uint32_t t = tail_ & kMask;
    std::uint32_t run = kRsTxRingSize - t;
    *p = buf_ + t;
    return static_cast<int>(c < run ? c : run);
  }

  void consume(int n) {
    Locker<Mutex> l(m_);
    tail_ += static_cast<std::uint32_t>(n);
    cv_.broadcast();
  }

  // Every write wakes the waiter, so the time limit is one deadline, not a wait per wake-up.
  bool drain(int ticks) {
    Locker<Mutex> l(m_);
    if (ticks < 0) {
      while (count() != 0) cv_.wait(m_);
      return true;
    }
    const timespec end = deadlineAfter(ticks);
    while (count() != 0) {
      if (!cv_.waitUntil(m_, end)) return count() == 0;
    }
    return true;
  }

  void drop() {
    Locker<Mutex> l(m_);
    tail_ = head_;
    cv_.broadcast();
  }

 private:
  static constexpr std::uint32_t kMask = kRsTxRingSize - 1;
  static_assert((kRsTxRingSize & (kRsTxRingSize - 1)) == 0);
  std::uint32_t count() const { return head_ - tail_; }

  Mutex m_;
  CVar cv_;
  std::uint8_t buf_[kRsTxRingSize];
  std::uint32_t head_ = 0;
  std::uint32_t tail_ = 0;
};

struct RsPort {
  int fd = -1;       // the device (pty master on the host)
  int keepFd = -1;   // our own hold on a pty's slave side, so it never hangs up
  unsigned state = kRsDefaultState;
  bool disabled = false;
  TxRing tx;
};

// Never destroyed: the output tasks use the rings until the process ends.
RsPort* const g_ports = new RsPort[kRsPortCount];

const char* const kLinks[kRsPortCount] = {"dev/ser/a", "dev/ser/b", "dev/ser/c",
                                          "dev/ser/d", "dev/usb/a", nullptr};
#ifdef RX_TARGET
const char* const kBuiltIn[kRsPortCount] = {"/dev/ttymxc1", "/dev/ttymxc2", "/dev/ttymxc3",
                                            "/dev/ttymxc4", "/dev/ttyGS0",  "/dev/ttymxc0"};
#endif

bool valid(int port) { return port >= 0 && port < kRsPortCount; }

void makeRaw(int fd, unsigned state) {
  termios t;
  if (tcgetattr(fd, &t) != 0) return;
  cfmakeraw(&t);
  t.c_cflag |= CLOCAL | CREAD;
  t.c_cc[VMIN] = 0;
  t.c_cc[VTIME] = 0;
  int baud = rsBaudOfCode(state & 0xFF);
  if (baud) cfsetspeed(&t, speedOf(baud));
  tcsetattr(fd, TCSANOW, &t);
}

bool openPty(RsPort& rp, const char* link) {
  int m = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (m < 0) return false;
  char name[128];
  if (grantpt(m) != 0 || unlockpt(m) != 0 || ptsname_r(m, name, sizeof name) != 0) {
    close(m);
    return false;
  }
  int s = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (s < 0) {
    close(m);
    return false;
  }
  makeRaw(s, rp.state);
  makeRaw(m, rp.state);
  fcntl(m, F_SETFL, fcntl(m, F_GETFL) | O_NONBLOCK);
  makeParentDirs(link);
  unlink(link);
  if (symlink(name, link) != 0) {
    std::fprintf(stderr, "$$RS: cannot publish %s: %s\n", link, std::strerror(errno));
  }
  rp.fd = m;
  rp.keepFd = s;
  return true;
}

bool openDevice(RsPort& rp, const char* path) {
  int fd = open(path, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    std::fprintf(stderr, "$$RS: cannot open %s: %s\n", path, std::strerror(errno));
    return false;
  }
  if (isatty(fd)) makeRaw(fd, rp.state);
  rp.fd = fd;
  return true;
}

bool listedAsDebug(int port) {
  char rel[64];
  std::snprintf(rel, sizeof rel, "/etc/vorla/dbg/prt/%d", port);
  char path[512];
  struct stat st;
  return lstat(hostPath(rel, path, sizeof path), &st) == 0;
}

// True when the kernel's command line names `dev` as a console ("console=ttyS0,115200").
bool usedAsConsole(const char* dev) {
  if (!dev) return false;
  // realpath writes up to PATH_MAX bytes, whatever the device's path.
  char real[PATH_MAX];
  const char* name = realpath(dev, real) ? real : dev;
  if (std::strncmp(name, "/dev/", 5) == 0) name += 5;
  char path[512];
  FILE* f = std::fopen(hostPath("/proc/cmdline", path, sizeof path), "re");
  if (!f) return false;
  char line[1024];
  bool found = false;
  if (std::fgets(line, sizeof line, f)) {
    char* save = nullptr;
    for (char* tok = strtok_r(line, " \n", &save); tok && !found;
         tok = strtok_r(nullptr, " \n", &save)) {
      if (std::strncmp(tok, "console=", 8) != 0) continue;
      char* v = tok + 8;
      v[std::strcspn(v, ",")] = 0;
      found = std::strcmp(v, name) == 0;
    }
  }
  std::fclose(f);
  return found;
}

void* outTask(void* arg) {
  int port = static_cast<int>(reinterpret_cast<std::intptr_t>(arg));
  RsPort& rp = g_ports[port];
  for (;;) {
    const std::uint8_t* p = nullptr;
    int n = rp.tx.peek(&p, 100);
    if (n <= 0) continue;
    pollfd pf{rp.fd, POLLOUT, 0};
    if (poll(&pf, 1, 100) <= 0) continue;
    ssize_t w = ::write(rp.fd, p, static_cast<std::size_t>(n));
    if (w > 0) {
      rp.tx.consume(static_cast<int>(w));
    } else if (w < 0 && errno != EAGAIN && errno != EINTR) {
      // The device is gone: what is queued can never leave.
      rp.tx.drop();
      Task::sleep(10);
    }
  }
  return nullptr;
}

}  // namespace

int rsBaudOfCode(unsigned code) { return code < kBaudCount ? kBauds[code] : 0; }

int rsCodeOfBaud(int baud) {
  for (int i = 0; i < kBaudCount; ++i) {
    if (kBauds[i] == baud) return i;
  }
  return -1;
}

bool rsIsOpen(int port) { return valid(port) && g_ports[port].fd >= 0; }

int rsRead(int port, void* buf, int n, int timeout, int) {
  if (!valid(port) || !buf || n <= 0) return 0;
  RsPort& rp = g_ports[port];
  if (rp.fd < 0) {
    if (timeout != 0) Task::sleep(timeout < 0 ? 100 : timeout);
    return 0;
  }
  pollfd pf{rp.fd, POLLIN, 0};
  int ms = timeout < 0 ? -1 : timeout * rtos::kTickMs;
  int r = poll(&pf, 1, ms);
  if (r <= 0) return 0;
  ssize_t got = ::read(rp.fd, buf, static_cast<std::size_t>(n));
  if (got <= 0) {
    // A hung-up device reports readiness for ever; do not spin on it.
    if (got == 0 || (errno != EAGAIN && errno != EINTR)) Task::sleep(timeout > 0 ? timeout : 1);
    return 0;
  }
  return static_cast<int>(got);
}

int rsWrite(int port, const void* data, int n, int timeout, int) {
  if (!valid(port) || !data || n <= 0) return 0;
  RsPort& rp = g_ports[port];
  if (rp.fd < 0) {
    rp.tx.drop();
    return 0;
  }
  return rp.tx.put(data, n, timeout);
}


bool rsDrain(int port, int timeout) {
  if (!valid(port) || g_ports[port].fd < 0) return true;
  RsPort& rp = g_ports[port];
  std::uint32_t start = MonoClock::ms();
  if (!rp.tx.drain(timeout)) return false;
  if (rp.keepFd < 0) return true;
  // A pseudo-terminal loses what its reader has not taken when the program ends: give the
  // reader the rest of the time to take it. The terminal moves written bytes to the reader's
  // side some moments later (longer on a loaded machine), so an empty reader's side only counts
  // once the bytes have been seen there or a short grace has passed.
  constexpr std::uint32_t kArrivalGraceMs = 20 * rtos::kTickMs;
  bool seen = false;
  for (;;) {
    int queued = 0;
    if (ioctl(rp.keepFd, FIONREAD, &queued) != 0) return true;
    if (queued > 0) seen = true;
    std::uint32_t elapsed = MonoClock::ms() - start;
    if (queued == 0 && (seen || elapsed >= kArrivalGraceMs)) return true;
    if (timeout >= 0 && elapsed >= static_cast<std::uint32_t>(timeout) * rtos::kTickMs) return false;
    Task::sleep(1);
  }
}

unsigned rsGetState(int port) { return valid(port) ? g_ports[port].state : 0; }

bool rsSetState(int port, unsigned state) {
  if (!valid(port) || rsBaudOfCode(state & 0xFF) == 0) return false;
  RsPort& rp = g_ports[port];
  rp.state = state;
  if (rp.fd >= 0 && isatty(rp.fd)) makeRaw(rp.fd, state);
  return true;
}

bool rsSetPortType(int port, bool) {
  if (port != 2 && port != 3) return false;
  return rsSetState(port, g_ports[port].state);
}

int rsInitOnce() {
  int open = 0;
  for (int p = 0; p < kRsPortCount; ++p) {
    RsPort& rp = g_ports[p];
    if (rp.fd >= 0) {
      ++open;
      continue;
    }
    char rel[64];
    char path[512];
    std::snprintf(rel, sizeof rel, "/dev/vorla/prt/%d", p);
    hostPath(rel, path, sizeof path);
    struct stat st;
    bool mapped = lstat(path, &st) == 0;
    const char* dev = mapped ? path : nullptr;
#ifdef RX_TARGET
    if (!dev) dev = kBuiltIn[p];
#endif
    bool debug = listedAsDebug(p);
    bool console = usedAsConsole(dev);
    if (debug || console) {
      std::fprintf(stderr, "$$RS: disable %s%s%s port %d [%s]\n", debug ? "debug" : "",
                   debug && console ? " and " : "", console ? "console" : "", p,
                   dev ? dev : (kLinks[p] ? kLinks[p] : "-"));
      rp.disabled = true;
      continue;
    }
    bool ok = false;
    if (dev) {
      ok = openDevice(rp, dev);
    } else if (kLinks[p]) {
      ok = openPty(rp, kLinks[p]);
      if (!ok) std::fprintf(stderr, "$$RS: no pseudo-terminal for %s\n", kLinks[p]);
    }
    if (ok) ++open;
  }
  return open;
}

bool rsOutProcInit(int priority) {
  static Task* tasks[kRsPortCount] = {};
  bool ok = true;
  for (int p = 0; p < kRsPortCount; ++p) {
    if (g_ports[p].fd < 0 || tasks[p]) continue;
    char name[8];
    std::snprintf(name, sizeof name, "PO%cT", 'A' + p);
    tasks[p] = new Task(priority, outTask, reinterpret_cast<void*>(static_cast<std::intptr_t>(p)),
                        name, 2048);
    tasks[p]->resume();
    ok = ok && tasks[p]->started();
  }
  return ok;
}
