#include "platform/chrony.h"

#include <signal.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/host_path.h"
#include "platform/rtos.h"

namespace {
// The daemon is configured with "refclock SOCK /var/run/chrony.rxengine.sock".
constexpr const char* kPidFile = "/var/run/chrony/chronyd.pid";
constexpr const char* kSockPath = "/var/run/chrony.rxengine.sock";
constexpr int kSampleMagic = 0x534f434b;

// The daemon's sample record.
struct SockSample {
  timeval tv;
  double offset;
  int pulse;
  int leap;
  int pad;
  int magic;
};

std::atomic<bool> g_active{false};
// The background task closes the socket while the epoch task may be sending on it.
Mutex g_fdLock;
int g_fd = -1;

bool daemonRunning() {
  std::FILE* f = std::fopen(HostPath(kPidFile), "re");
  if (f == nullptr) return false;
  long pid = 0;
  bool ok = std::fscanf(f, "%ld", &pid) == 1 && pid > 0;
  std::fclose(f);
  return ok && (kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM);
}

bool socketPresent() { return access(HostPath(kSockPath), W_OK) == 0; }
}  // namespace

void chronyMonitor() {
  const bool now = daemonRunning() && socketPresent();
  const bool was = g_active.exchange(now);
  if (now != was) std::fprintf(stderr, "$$CHRONY: %s\n", now ? "time daemon found, feeding it GNSS time" : "time daemon gone");
  if (!now) {
    Locker<Mutex> l(g_fdLock);
    if (g_fd >= 0) {
      close(g_fd);
      g_fd = -1;
    }
  }
}

bool chronyActive() { return g_active.load(); }

bool chronySendSample(long long sysSec, long sysUsec, double offsetSec) {
  if (!g_active.load()) return false;
  Locker<Mutex> l(g_fdLock);
  if (g_fd < 0) g_fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (g_fd < 0) return false;
  sockaddr_un a{};
  a.sun_family = AF_UNIX;
  hostPath(kSockPath, a.sun_path, sizeof a.sun_path);
  SockSample s{};
  s.tv.tv_sec = static_cast<time_t>(sysSec);
  s.tv.tv_usec = sysUsec;
  s.offset = -offsetSec;  // the daemon wants true time minus system time
  s.magic = kSampleMagic;
  return sendto(g_fd, &s, sizeof s, MSG_DONTWAIT, reinterpret_cast<const sockaddr*>(&a), sizeof a) ==
         static_cast<ssize_t>(sizeof s);
}
