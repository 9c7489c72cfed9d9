// The two CAN controllers as byte-stream ports. Outgoing bytes are cut into frames of up to 8
// data bytes whose standard identifiers rotate through the port's output range; incoming frames
// of the input range pass their data bytes on as a stream. Task CANT sends what writers queued.
//
// On the target each port is a raw SocketCAN socket on can0/can1, its link set up with `ip`. On
// the host each port is a Unix seqpacket socket where the program listens (dev/can/a and
// dev/can/b in the run directory) carrying one 16-byte frame, laid out as the kernel's
// struct can_frame, per packet; one peer at a time is served and a new one replaces the old.
// While no peer is connected a frame stays pending, as an unacknowledged frame on a bus does.
#pragma once

#include <linux/can.h>

#include <atomic>
#include <cstdint>

#include "platform/can_state.h"
#include "platform/dev_ring_buf.h"
#include "platform/hook.h"
#include "platform/rtos.h"

static_assert(sizeof(can_frame) == 16, "one frame a packet, as the kernel lays it out");

class SockCanPort {
 public:
  static constexpr std::uint32_t kRxRingSize = 8192;
  static constexpr std::uint32_t kTxRingSize = 16384;

  SockCanPort();
  SockCanPort(const SockCanPort&) = delete;
  SockCanPort& operator=(const SockCanPort&) = delete;

  // Takes the state (counts clamped to 1..8), resets counters and the transmit queue, then
  // makes the socket and the link anew.
  bool init(const CanState& state);
  bool initSocket();
  // Bytes of one frame of the input range (or bytes a caller left of an earlier one); -1 when
  // nothing came within `timeout` ticks.
  int doRead(void* buf, int count, int timeout);
  // Queues bytes; -1 when they do not fit and a part is not wanted.
  int write(const void* data, int count, bool allowPartial);
  // One sending pass of CANT: the pending frame, then frames from the queue until a write fails.
  // Returns the frames sent.
  int sendPass();

  CanState state();
  bool reinitAsked() const { return reinit_.load(); }
  // Something waits to be sent (pending frame or queued bytes).
  bool hasPending();
  int num() const { return num_; }

  // Host stand-in: the listening socket and the accepting of a peer.
  int listenFd();
  void acceptPeer();
  bool peerConnected() const { return peer_.load(); }
  int sockFd() const { return sock_.load(); }

 private:
  bool openSocketLocked();
  void dropPeerLocked();
  // 1: a frame was taken (its byte count), 0: nothing, -1: error path taken.
  int takeFrame(const can_frame& f, int got, void* buf, int count);
  void errorFrame(const can_frame& f);

  int num_;
  std::atomic<int> sock_{-1};
  [[maybe_unused]] int listen_ = -1;  // host stand-in only
  [[maybe_unused]] int dummy_[2] = {-1, -1};  // host stand-in: the idle pair standing for no peer
  std::atomic<bool> peer_{false};
  can_frame frame_{};
  int pendLen_ = 0;
  std::uint32_t gen_ = 0;  // bumped whenever the queue and pending frame are thrown away
  Mutex m_;
  std::uint8_t rxMem_[kRxRingSize];
  std::uint8_t txMem_[kTxRingSize];
  DevRingBuf rx_;
  DevRingBuf tx_;
  std::atomic<bool> reinit_{false};
  // Frames sent (the next frame's identifier turns with it), frames received and the error
  // weights: kept for the port's status, which no message of this program reports.
  std::atomic<std::uint32_t> txcnt_{0}, rxcnt_{0}, txerr_{0}, rxerr_{0};
  CanState state_{};
  std::uint16_t idTable_[16];
};

inline constexpr int kCanPortCount = 2;

// Both ports configured from the stored settings, then task CANT (stack 4096) started; true.
bool canProcInit(int priority);
bool canSetState(int port, const CanState& state, int flag);
CanState canGetState(int port);
CanState canGetStateDef();
bool canCheckBaudRate(std::uint32_t kbps);
int canRead(int port, void* buf, int count, int timeout);
int canWrite(int port, const void* data, int count, bool allowPartial);
// Enables both transceivers (their shutdown lines low).
void cpuCanClearShutDown();

// The stored state of a port (false when there is none).
extern Hook<bool(int port, CanState* out)> canStoredStateHook;
// The wake-up descriptor both ports share: CANT waits on it beside their sockets, a writer makes
// it readable, CANT drains it. Made once by canProcInit; without one (-1) CANT looks every tick.
extern Hook<int()> canWakeCreateHook;
extern Hook<void(int fd)> canWakeHook;
extern Hook<void(int fd)> canWakeDrainHook;

// Debug selector values of CANT.
inline constexpr int kCanDbgTxOn = 90600000;
inline constexpr int kCanDbgTxOff = 90600001;
inline constexpr int kCanDbgRxOn = 90600100;
inline constexpr int kCanDbgRxOff = 90600101;
