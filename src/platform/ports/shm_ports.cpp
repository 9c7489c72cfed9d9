#include "platform/ports/shm_ports.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/mono_clock.h"
#include "platform/rtos.h"

namespace {

struct Link {
  Mutex m;                       // connect, close, send and receive
  std::atomic<int> fd{-1};
  std::uint32_t lastTry = 0;
  bool tried = false;
};

Link g_links[kBoardLinkCount];

bool validLink(int n) { return n >= 0 && n < kBoardLinkCount; }

void closeLocked(Link& l) {
  int fd = l.fd.exchange(-1);
  if (fd >= 0) ::close(fd);
}

// Connects when the link is down and its retry time has come; lock held.
bool connectLocked(int n) {
  Link& l = g_links[n];
  if (l.fd.load() >= 0) return true;
  std::uint32_t now = MonoClock::ms();
  if (l.tried && now - l.lastTry < static_cast<std::uint32_t>(kShmRetryMs)) return false;
  l.tried = true;
  l.lastTry = now;
  int s = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (s < 0) return false;
  sockaddr_un a{};
  a.sun_family = AF_UNIX;
  std::snprintf(a.sun_path, sizeof a.sun_path, "%s", iopGetName(IOP_SHM_A + n));
  if (::connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
    // A Unix socket connects at once or not at all; a full backlog is tried again later.
    ::close(s);
    return false;
  }
  l.fd.store(s);
  return true;
}

// Waits at most `ms` for the link to have data; false when it did not come.
bool waitReadable(int fd, int ms) {
  pollfd p{fd, POLLIN, 0};
  int r = ::poll(&p, 1, ms);
  return r > 0;
}

}  // namespace

int ShmInPort::read(void* buf, int max, int timeout) {
  if (!validLink(link_) || !buf || max <= 0) return 0;
  Link& l = g_links[link_];
  std::uint32_t start = MonoClock::ms();
  std::uint32_t limit = timeout > 0 ? static_cast<std::uint32_t>(timeout) * 10u : 0u;
  for (;;) {
    int fd;
    {
      Locker<Mutex> lk(l.m);
      connectLocked(link_);
      fd = l.fd.load();
    }
    std::uint32_t spent = MonoClock::ms() - start;
    int left = spent >= limit ? 0 : static_cast<int>(limit - spent);
    if (fd < 0) {
      if (left <= 0) return 0;
      // Down: wait for the next retry, within the timeout.
      int nap = left < kShmRetryMs ? left : kShmRetryMs;
      Task::sleep((nap + 9) / 10);
      continue;
    }
    if (!waitReadable(fd, left)) return 0;
    Locker<Mutex> lk(l.m);
    if (l.fd.load() != fd) continue;  // closed and reopened meanwhile
    ssize_t n = ::recv(fd, buf, static_cast<std::size_t>(max), MSG_DONTWAIT);
    if (n > 0) return static_cast<int>(n);
    if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) closeLocked(l);
    if (MonoClock::ms() - start >= limit) return 0;
  }
}

int ShmOutPort::devWrite(const void* data, int len, int timeout) {
  if (!validLink(link_)) return 0;
  Link& l = g_links[link_];
  Locker<Mutex> lk(l.m);
  if (!connectLocked(link_)) return 0;
  const char* p = static_cast<const char*>(data);
  int done = 0;
  std::uint32_t start = MonoClock::ms();
  std::uint32_t limit = timeout > 0 ? static_cast<std::uint32_t>(timeout) * 10u : 0u;
  while (done < len) {
    int fd = l.fd.load();
    ssize_t n = ::send(fd, p + done, static_cast<std::size_t>(len - done), MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n > 0) {
      done += static_cast<int>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      std::uint32_t spent = MonoClock::ms() - start;
      if (spent >= limit) break;
      pollfd pf{fd, POLLOUT, 0};
      ::poll(&pf, 1, static_cast<int>(limit - spent));
      continue;
    }
    closeLocked(l);  // the board has gone
    break;
  }
  // A message cut off part-way would be completed by whatever is written next ("set,a,1set,b,2"),
  // a command the board never got. Dropping the link ends the line cleanly: the board starts its
  // next line on the new connection, and the caller sees the message as not taken.
  if (done > 0 && done < len) closeLocked(l);
  return done;
}

int shmPortsInitOnce() {
  static bool done = false;
  if (done) return kBoardLinkCount;
  done = true;
  for (int n = 0; n < kBoardLinkCount; ++n) {
    int idx = IOP_SHM_A + n;
    if (!InPorts::ports_[idx]) InPorts::ports_[idx] = new ShmInPort(n);
    if (!OutPorts::ports_[idx]) OutPorts::ports_[idx] = new ShmOutPort(n);
  }
  return kBoardLinkCount;
}

void shmCheckLinks() {
  for (int n = 0; n < kBoardLinkCount; ++n) {
    Link& l = g_links[n];
    Locker<Mutex> lk(l.m);
    int fd = l.fd.load();
    if (fd < 0) {
      connectLocked(n);
      continue;
    }
    pollfd p{fd, POLLRDHUP, 0};
    if (::poll(&p, 1, 0) <= 0 || !(p.revents & (POLLHUP | POLLRDHUP | POLLERR))) continue;
    // The peer has gone; bytes it sent before are left for the reader first.
    int pending = 0;
    if (::ioctl(fd, FIONREAD, &pending) == 0 && pending > 0) continue;
    closeLocked(l);
    connectLocked(n);
  }
}

namespace {
void* shmTask(void*) {
  for (;;) {
    shmCheckLinks();
    Task::sleep(kShmRetryMs / 10);
  }
  return nullptr;
}
}  // namespace

bool shmProcInit(int priority) {
  static Task* task = nullptr;
  if (task) return true;
  task = new Task(priority, shmTask, nullptr, "SHMC", 4096);
  task->resume();
  return task->started();
}
