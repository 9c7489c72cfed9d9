#include "platform/ports/sock_can_port.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/select.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "platform/debug.h"
#include "platform/gpio.h"
#include "platform/mcu_link.h"

#ifdef RX_TARGET
#include <linux/can/raw.h>
#include <net/if.h>
#include <cstdlib>
#else
#include <sys/un.h>

#include "platform/host_path.h"
#endif

Hook<bool(int port, CanState* out)> canStoredStateHook("platform", "canStoredStateHook", false);
Hook<int()> canWakeCreateHook("platform", "canWakeCreateHook", -1);
Hook<void(int fd)> canWakeHook("platform", "canWakeHook");
Hook<void(int fd)> canWakeDrainHook("platform", "canWakeDrainHook");

namespace {

// Controller-state bits of an error frame's data byte 1.
constexpr std::uint8_t kCtrlRxWarning = 0x04;
constexpr std::uint8_t kCtrlTxWarning = 0x08;
constexpr std::uint32_t kErrWeight = 128;
constexpr int kFrameBytes = static_cast<int>(sizeof(can_frame));
constexpr std::uint32_t kStdMask = 0x7FF;
constexpr std::uint32_t kErrFlag = 0x20000000u;

std::atomic<int> g_count{0};  // running count that numbers the ports as they are built
std::atomic<bool> g_txDebug{false}, g_rxDebug{false};
std::atomic<int> g_wakeFd{-1};
std::atomic<int> g_cantPriority{24};
constexpr long kTickMicros = 10000;

void wakeCant() {
  const int fd = g_wakeFd.load();
  if (fd >= 0) canWakeHook(fd);
}

std::int64_t nowMicros() {
  timespec t{};
  clock_gettime(CLOCK_MONOTONIC, &t);
  return static_cast<std::int64_t>(t.tv_sec) * 1000000 + t.tv_nsec / 1000;
}

std::uint32_t clampCount(std::uint32_t n) { return n < 1 ? 1 : (n > kCanIdCountMax ? kCanIdCountMax : n); }

#ifdef RX_TARGET
// The link is set up by the system's `ip`, run at the low priority 31 so it never holds up a
// receiver task.
void runIp(const char* cmd) {
  Task::setSelfPriority(31);
  [[maybe_unused]] const int rc = std::system(cmd);
  Task::setSelfPriority(g_cantPriority.load());
}
#else
const char* socketPath(int num) { return num == 0 ? "dev/can/a" : "dev/can/b"; }
#endif

}  // namespace

SockCanPort::SockCanPort()
    : num_(g_count.fetch_add(1)), rx_(rxMem_, kRxRingSize), tx_(txMem_, kTxRingSize) {
  state_ = canGetStateDef();
  for (auto& id : idTable_) id = 0xFFFF;
}

bool SockCanPort::init(const CanState& s) {
  {
    Locker<Mutex> l(m_);
    state_ = s;
    state_.w[CAN_W_IN_CNT] = clampCount(s.w[CAN_W_IN_CNT]);
    state_.w[CAN_W_OUT_CNT] = clampCount(s.w[CAN_W_OUT_CNT]);
    txcnt_ = rxcnt_ = txerr_ = rxerr_ = 0;
    tx_.reset();
    pendLen_ = 0;
    ++gen_;
    for (auto& id : idTable_) id = 0xFFFF;
  }
  return initSocket();
}

bool SockCanPort::initSocket() {
  Locker<Mutex> l(m_);
  const bool ok = openSocketLocked();
  reinit_ = false;
  return ok;
}

#ifdef RX_TARGET
bool SockCanPort::openSocketLocked() {
  char cmd[96];
  const int old = sock_.exchange(-1);
  if (old >= 0) ::close(old);
  std::snprintf(cmd, sizeof cmd, "/sbin/ip link set can%d down", num_);
  runIp(cmd);
  const int s = ::socket(PF_CAN, SOCK_RAW | SOCK_CLOEXEC, CAN_RAW);
  if (s < 0) {
    debPrintfx(-1, "$$SockCanPort::initSocket(): Error while opening socket for port %d\n", num_);
    return false;
  }
  char ifname[8];
  std::snprintf(ifname, sizeof ifname, "can%d", num_);
  sockaddr_can addr{};
  addr.can_family = AF_CAN;
  addr.can_ifindex = static_cast<int>(if_nametoindex(ifname));
  const can_err_mask_t all = CAN_ERR_MASK;
  if (addr.can_ifindex == 0) {
    ::close(s);
    return false;
  }
  ::fcntl(s, F_SETFL, ::fcntl(s, F_GETFL) | O_NONBLOCK);
  ::setsockopt(s, SOL_CAN_RAW, CAN_RAW_ERR_FILTER, &all, sizeof all);
  if (::bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    ::close(s);
    debPrintfx(-1, "$$SockCanPort::initSocket(): Error in socket bind");
    return false;
  }
  runIp(cmd);
  std::snprintf(cmd, sizeof cmd, "/sbin/ip link set can%d type can bitrate %u restart-ms 100", num_,
                static_cast<unsigned>(state_.w[CAN_W_RATE] * 1000));
  runIp(cmd);
  std::snprintf(cmd, sizeof cmd, "/sbin/ip link set can%d up", num_);
  runIp(cmd);
  sock_ = s;
  peer_ = true;  // the bus is always there
  return true;
}
void SockCanPort::dropPeerLocked() {}
int SockCanPort::listenFd() { return -1; }
void SockCanPort::acceptPeer() {}
#else
// The socket readers and CANT use keeps its descriptor number for good: a peer, and the idle
// socket pair standing for "no peer", are put in its place with dup2, so a reader never uses a
// number that was closed and handed to something else.
bool SockCanPort::openSocketLocked() {
  if (dummy_[0] < 0 && ::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, dummy_) != 0) {
    debPrintfx(-1, "$$SockCanPort::initSocket(): Error while opening socket for port %d\n", num_);
    return false;
  }
  // The new listener is in place before the peer sees its connection close: a peer that connects
  // again at once would otherwise reach the old listener in its last moments and be cut off.
  if (listen_ >= 0) ::close(listen_);
  listen_ = -1;
  const char* path = socketPath(num_);
  makeParentDirs(path);
  ::unlink(path);
  const int s = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (s < 0) {
    dropPeerLocked();
    debPrintfx(-1, "$$SockCanPort::initSocket(): Error while opening socket for port %d\n", num_);
    return false;
  }
  sockaddr_un a{};
  a.sun_family = AF_UNIX;
  std::snprintf(a.sun_path, sizeof a.sun_path, "%s", path);
  if (::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(s, 1) != 0) {
    ::close(s);
    dropPeerLocked();
    debPrintfx(-1, "$$SockCanPort::initSocket(): Error in socket bind");
    return false;
  }
  listen_ = s;
  dropPeerLocked();
  return true;
}

void SockCanPort::dropPeerLocked() {
  if (sock_.load() < 0) {
    sock_ = ::fcntl(dummy_[0], F_DUPFD_CLOEXEC, 0);
  } else {
    ::dup3(dummy_[0], sock_.load(), O_CLOEXEC);
  }
  peer_ = false;
}

int SockCanPort::listenFd() {
  Locker<Mutex> l(m_);
  return listen_;
}

void SockCanPort::acceptPeer() {
  Locker<Mutex> l(m_);
  if (listen_ < 0 || sock_.load() < 0) return;
  for (;;) {
    const int p = ::accept4(listen_, nullptr, nullptr, SOCK_CLOEXEC);
    if (p < 0) return;
    // The newest peer is served; the one before it sees its connection close.
    ::dup3(p, sock_.load(), O_CLOEXEC);
    ::close(p);
    peer_ = true;
  }
}
#endif

int SockCanPort::write(const void* data, int count, bool allowPartial) {
  if (count < 1) return -1;
  int n = 0;
  {
    Locker<Mutex> l(m_);
    const std::uint32_t room = tx_.room();
    if (room < static_cast<std::uint32_t>(count) && !allowPartial) return -1;
    n = static_cast<int>(tx_.put(data, static_cast<std::uint32_t>(count)));
  }
  wakeCant();
  return n;
}

bool SockCanPort::hasPending() {
  Locker<Mutex> l(m_);
  return pendLen_ > 0 || tx_.used() > 0;
}

int SockCanPort::sendPass() {
  int sent = 0;
  for (;;) {
    can_frame f{};
    std::uint32_t gen = 0;
    {
      // Ring and pending frame are taken under the lock: the error path and init throw both
      // away under it, and a frame taken half-way through that must not leave.
      Locker<Mutex> l(m_);
      if (!peer_.load()) return sent;
      if (pendLen_ == 0) {
        std::uint8_t d[8];
        const int n = static_cast<int>(tx_.get(d, 8));
        if (n == 0) return sent;
        frame_ = can_frame{};
        const std::uint32_t cnt = state_.w[CAN_W_OUT_CNT];
        frame_.can_id = (state_.w[CAN_W_OUT_FIRST] + txcnt_.load() % cnt) & kStdMask;
        frame_.len = static_cast<std::uint8_t>(n);
        std::memcpy(frame_.data, d, static_cast<std::size_t>(n));
        pendLen_ = n;
      }
      f = frame_;
      gen = gen_;
    }
    const ssize_t w = ::send(sock_.load(), &f, sizeof f, MSG_DONTWAIT | MSG_NOSIGNAL);
    const int err = errno;
    Locker<Mutex> l(m_);
    if (w != kFrameBytes) {
#ifndef RX_TARGET
      if (w < 0 && err != EAGAIN && err != EWOULDBLOCK && err != ENOBUFS) dropPeerLocked();
#else
      (void)err;
#endif
      return sent;
    }
    if (gen == gen_) {
      pendLen_ = 0;
      ++txcnt_;
    }
    ++sent;
    if (g_txDebug.load())
      debPrintfx(-1, "$$CANT: port %d id 0x%x len %d\n", num_, static_cast<unsigned>(f.can_id), f.len);
  }
}

void SockCanPort::errorFrame(const can_frame& f) {
  if (f.data[1] & kCtrlTxWarning) {
    debPrintfx(-1, "$$SockCanPort:doRead(CAN_ERR_CRTL_TX_WARNING)\n");
    txerr_ += kErrWeight;
  }
  if (f.data[1] & kCtrlRxWarning) {
    debPrintfx(-1, "$$SockCanPort:doRead(CAN_ERR_CRTL_RX_WARNING)\n");
    rxerr_ += kErrWeight;
  }
  {
    Locker<Mutex> l(m_);
    pendLen_ = 0;
    tx_.reset();
    ++gen_;
    reinit_ = true;
  }
  wakeCant();
}

int SockCanPort::takeFrame(const can_frame& f, int got, void* buf, int count) {
  if (got == 0) {
#ifndef RX_TARGET
    // An empty packet reads as 0 too: only a hang-up means the peer went away, and then the
    // idle socket stands in until the next one connects.
    pollfd p{sock_.load(), POLLRDHUP, 0};
    if (::poll(&p, 1, 0) == 1 && (p.revents & (POLLHUP | POLLRDHUP))) {
      Locker<Mutex> l(m_);
      if (peer_.load()) dropPeerLocked();
    }
#endif
    return 0;
  }
  if (got < 0) return 0;
  if (got != kFrameBytes) {
    debPrintfx(-1, "$$SockCanPort:doRead(ERROR) incomplete CAN frame; port= %d\n", num_);
    return 0;
  }
  const int len = f.len > 8 ? 8 : f.len;
  if (f.can_id & ~kStdMask) {
    debPrintfx(-1, "$$SockCanPort:doRead(CAN_ERR_FLAG) rcv= %d, dlc= %d; id= 0x%x\n", got, len,
               static_cast<unsigned>(f.can_id));
    debPrintfx(-1, "$$SockCanPort:doRead(CAN_ERR_FLAG) [%02x %02x %02x %02x %02x %02x %02x %02x]\n", f.data[0],
               f.data[1], f.data[2], f.data[3], f.data[4], f.data[5], f.data[6], f.data[7]);
    if (!(f.can_id & kErrFlag)) return 0;
    errorFrame(f);
    return -1;
  }
  std::uint32_t first = 0, cnt = 0;
  {
    Locker<Mutex> l(m_);
    first = state_.w[CAN_W_IN_FIRST];
    cnt = state_.w[CAN_W_IN_CNT];
  }
  const std::uint32_t id = f.can_id & kStdMask;
  if (id < first || id >= first + cnt) return 0;
  ++rxcnt_;
  if (g_rxDebug.load()) debPrintfx(-1, "$$CANR: port %d id 0x%x len %d\n", num_, static_cast<unsigned>(id), len);
  const int n = count < len ? count : len;
  std::memcpy(buf, f.data, static_cast<std::size_t>(n));
  // What the caller had no room for comes first next time.
  if (n < len) rx_.put(f.data + n, static_cast<std::uint32_t>(len - n));
  return n;
}

int SockCanPort::doRead(void* buf, int count, int timeout) {
  if (rx_.used() > 0) return static_cast<int>(rx_.get(buf, static_cast<std::uint32_t>(count)));
  const int s = sock_.load();
  if (s < 0 || reinit_.load()) {
    Task::sleep(1);
    return -1;
  }
  can_frame f{};
  if (timeout == 0) {
    const int got = static_cast<int>(::recv(s, &f, sizeof f, MSG_DONTWAIT));
    const int r = takeFrame(f, got, buf, count);
    return r > 0 ? r : -1;
  }
  const std::int64_t limit = timeout > 0 ? static_cast<std::int64_t>(timeout) * 10000 : 100000;
  const std::int64_t start = nowMicros();
  for (std::int64_t el = 0; el < limit; el = nowMicros() - start) {
    fd_set rs;
    FD_ZERO(&rs);
    FD_SET(s, &rs);
    timeval tv{static_cast<time_t>((limit - el) / 1000000), static_cast<suseconds_t>((limit - el) % 1000000)};
    if (::select(s + 1, &rs, nullptr, nullptr, &tv) <= 0) continue;
    const int got = static_cast<int>(::recv(s, &f, sizeof f, MSG_DONTWAIT));
    const int r = takeFrame(f, got, buf, count);
    if (r > 0) return r;
    if (r < 0) return -1;
    if (got == 0) Task::sleep(1);  // a closed peer reads empty at once: do not spin on it
  }
  return -1;
}

CanState SockCanPort::state() {
  Locker<Mutex> l(m_);
  return state_;
}

// ---- the two ports and task CANT

namespace {

// Built on first use and never destroyed: CANT and the readers run until the process ends.
SockCanPort* portsOnce() {
  static SockCanPort* const ports = new SockCanPort[kCanPortCount];
  return ports;
}
SockCanPort& canPortAt(int n) { return portsOnce()[n]; }

bool validPort(int port) { return port >= 0 && port < kCanPortCount; }

void applyDebugSelector() {
  switch (boardDebugSelector()) {
    case kCanDbgTxOn: g_txDebug = true; break;
    case kCanDbgTxOff: g_txDebug = false; break;
    case kCanDbgRxOn: g_rxDebug = true; break;
    case kCanDbgRxOff: g_rxDebug = false; break;
    default: break;
  }
}

void* cantProc(void*) {
  Task::sleep(100);
  for (;;) {
    // Without a wake-up descriptor the task looks again every tick instead of when woken.
    const int wake = g_wakeFd.load();
    int maxFd = wake;
    fd_set rs, ws;
    FD_ZERO(&rs);
    FD_ZERO(&ws);
    if (wake >= 0) FD_SET(wake, &rs);
    for (int n = 0; n < kCanPortCount; ++n) {
      SockCanPort& p = canPortAt(n);
      const int l = p.listenFd();
      if (l >= 0) FD_SET(l, &rs), maxFd = l > maxFd ? l : maxFd;
      const int s = p.sockFd();
      if (s >= 0 && p.peerConnected() && p.hasPending()) FD_SET(s, &ws), maxFd = s > maxFd ? s : maxFd;
    }
    timeval tv{wake >= 0 ? 1 : 0, wake >= 0 ? 0 : kTickMicros};
    const int ready = ::select(maxFd + 1, &rs, &ws, nullptr, &tv);
    if (ready < 0 || (ready == 0 && wake >= 0)) continue;
    if (wake >= 0 && FD_ISSET(wake, &rs)) canWakeDrainHook(wake);
    // A port made again after an error frame starts afresh: counters and queue too.
    for (int n = 0; n < kCanPortCount; ++n)
      if (canPortAt(n).reinitAsked()) canPortAt(n).init(canPortAt(n).state());
    int sent = 0;
    bool pending = false;
    for (int n = 0; n < kCanPortCount; ++n) {
      SockCanPort& p = canPortAt(n);
      p.acceptPeer();
      sent += p.sendPass();
      pending = pending || (p.peerConnected() && p.hasPending());
    }
    if (sent == 0 && pending) Task::sleep(1);
    applyDebugSelector();
  }
  return nullptr;
}

}  // namespace

bool canProcInit(int priority) {
  static bool done = false;
  // A descriptor its maker could not give at the first start is asked for again.
  if (g_wakeFd.load() < 0) g_wakeFd = canWakeCreateHook();
  if (done) return true;
  done = true;
  g_cantPriority = priority;
  for (int p = 0; p < kCanPortCount; ++p) {
    CanState s{};
    if (!canStoredStateHook(p, &s) || !canCheckBaudRate(s.w[CAN_W_RATE])) s = canGetStateDef();
    canPortAt(p).init(s);
  }
  static Task* task = new Task(priority, cantProc, nullptr, "CANT", 4096);
  task->resume();
  return true;
}

bool canSetState(int port, const CanState& state, int) {
  if (!validPort(port)) return false;
  const bool ok = canPortAt(port).init(state);
  wakeCant();
  return ok;
}

CanState canGetState(int port) { return canPortAt(validPort(port) ? port : 0).state(); }

CanState canGetStateDef() { return CanState{{0, 125, 8, 0x700, 8, 0x700, 1000, 0}}; }

bool canCheckBaudRate(std::uint32_t kbps) {
  return kbps == 50 || kbps == 125 || kbps == 250 || kbps == 500 || kbps == 1000;
}

int canRead(int port, void* buf, int count, int timeout) {
  if (!validPort(port) || count < 1) return 0;
  return canPortAt(port).doRead(buf, count, timeout);
}

int canWrite(int port, const void* data, int count, bool allowPartial) {
  if (!validPort(port)) return -1;
  return canPortAt(port).write(data, count, allowPartial);
}

void cpuCanClearShutDown() {
  setPinOutEn(150, 0);
  setPinOutEn(151, 0);
}
