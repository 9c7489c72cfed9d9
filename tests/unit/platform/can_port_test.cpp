// The CAN ports against a peer on their host sockets: frames out of the transmit queue with
// rotating identifiers, the input identifier range, error frames, the queue's room, the port
// numbers refused. The frame layout and the error codes come from the kernel's own headers.
#include "platform/ports/sock_can_port.h"

#include <gtest/gtest.h>
#include <linux/can.h>
#include <linux/can/error.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "unit/own_process.h"
#include "unit/platform/can_peer.h"
#include "unit/platform/temp_run_dir.h"

namespace {

using canpeer::makeFrame;
using canpeer::Peer;

constexpr const char* kPathA = "dev/can/a";

template <class F>
bool waitFor(F cond, int guardMs = canpeer::kGuardMs) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(guardMs);
  while (!cond()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

// A peer once the port listens (it is made anew after an error frame or a new state).
std::unique_ptr<Peer> connectPeer(const char* path = kPathA) {
  std::unique_ptr<Peer> p;
  waitFor([&] {
    p = std::make_unique<Peer>(path);
    return p->ok();
  });
  return p;
}

CanState stateWith(std::uint32_t inFirst, std::uint32_t inCnt, std::uint32_t outFirst, std::uint32_t outCnt) {
  CanState s = canGetStateDef();
  s.w[CAN_W_IN_FIRST] = inFirst;
  s.w[CAN_W_IN_CNT] = inCnt;
  s.w[CAN_W_OUT_FIRST] = outFirst;
  s.w[CAN_W_OUT_CNT] = outCnt;
  return s;
}

// Bytes read from port 0 until `n` came or the guard passed.
std::string readBytes(std::size_t n) {
  std::string got;
  waitFor([&] {
    char buf[64];
    const int k = canRead(0, buf, sizeof buf, 10);
    if (k > 0) got.append(buf, static_cast<std::size_t>(k));
    return got.size() >= n;
  });
  return got;
}

// The wake-up descriptor's stand-in: an event descriptor that counts its wake-ups and drains.
std::atomic<int> g_wakes{0}, g_drains{0};
int wakeCreate() { return ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK); }
void wakeUp(int fd) {
  ++g_wakes;
  const std::uint64_t one = 1;
  [[maybe_unused]] const ssize_t n = ::write(fd, &one, sizeof one);
}
void wakeDrain(int fd) {
  ++g_drains;
  std::uint64_t v;
  [[maybe_unused]] const ssize_t n = ::read(fd, &v, sizeof v);
}

// The stored state each port starts in: a record whose rate is no valid rate (a zeroed record
// of the factory settings) gives the defaults; a valid one is taken whole, counts clamped.
// The ports start once in a process: the start has a process of its own.
using CanStartTest = TempRunDir;
TEST_F(CanStartTest, StoredStatesAtStart) {
  testproc::inOwnProcess([] {
    canStoredStateHook = [](int port, CanState* out) {
      if (port == 0) *out = CanState{};
      if (port == 1) *out = CanState{{5, 250, 0, 0x100, 12, 0x200, 7, 9}};
      return true;
    };
    ASSERT_TRUE(canProcInit(24));
    const CanState a = canGetState(0), b = canGetState(1), d = canGetStateDef();
    const std::uint32_t wantB[8] = {5, 250, 1, 0x100, 8, 0x200, 7, 9};
    for (int i = 0; i < 8; ++i) {
      EXPECT_EQ(a.w[i], d.w[i]) << i;
      EXPECT_EQ(b.w[i], wantB[i]) << i;
    }
    canStoredStateHook = nullptr;
    // Started without a wake-up descriptor: CANT looks every tick, and what is written still
    // leaves.
    ASSERT_EQ(g_wakes.load(), 0);
    auto peer = connectPeer();
    ASSERT_TRUE(peer && peer->ok());
    ASSERT_EQ(canWrite(0, "abc", 3, false), 3);
    can_frame f{};
    ASSERT_EQ(peer->next(f), 1);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(f.data), f.len), "abc");
  });
}

class CanPortTest : public TempRunDir {
 protected:
  void SetUp() override {
    TempRunDir::SetUp();
    canWakeCreateHook = wakeCreate;
    canWakeHook = wakeUp;
    canWakeDrainHook = wakeDrain;
    ASSERT_TRUE(canProcInit(24));
    // Each test's ports listen in its own run directory, in the default state.
    for (int p = 0; p < kCanPortCount; ++p) ASSERT_TRUE(canSetState(p, canGetStateDef(), 0));
  }
};

TEST_F(CanPortTest, DefaultStateAndRates) {
  const CanState d = canGetStateDef();
  const std::uint32_t want[8] = {0, 125, 8, 0x700, 8, 0x700, 1000, 0};
  for (int i = 0; i < 8; ++i) EXPECT_EQ(d.w[i], want[i]) << i;
  // With no stored state both ports start in the defaults.
  for (int p = 0; p < kCanPortCount; ++p) {
    const CanState s = canGetState(p);
    for (int i = 0; i < 8; ++i) EXPECT_EQ(s.w[i], want[i]) << p << " " << i;
  }

  const struct {
    std::uint32_t kbps;
    bool ok;
  } rows[] = {{0, false},   {49, false},  {50, true},   {100, false}, {125, true},      {250, true},
              {251, false}, {500, true},  {800, false}, {1000, true}, {1000000, false}, {125000, false}};
  for (const auto& r : rows) EXPECT_EQ(canCheckBaudRate(r.kbps), r.ok) << r.kbps;
}

TEST_F(CanPortTest, IdentifierCountsClamped) {
  const struct {
    std::uint32_t given, kept;
  } rows[] = {{0, 1}, {1, 1}, {5, 5}, {8, 8}, {9, 8}, {0xFFFFFFFFu, 8}};
  for (const auto& r : rows) {
    CanState s = stateWith(0x100, r.given, 0x200, r.given);
    s.w[CAN_W_MODE] = 7;
    s.w[CAN_W_PAR7] = 1234;
    s.w[CAN_W_PAR8] = 99;
    ASSERT_TRUE(canSetState(1, s, 0));
    const CanState got = canGetState(1);
    EXPECT_EQ(got.w[CAN_W_IN_CNT], r.kept) << r.given;
    EXPECT_EQ(got.w[CAN_W_OUT_CNT], r.kept) << r.given;
    // The words the ports do not use are kept as given.
    EXPECT_EQ(got.w[CAN_W_MODE], 7u);
    EXPECT_EQ(got.w[CAN_W_PAR7], 1234u);
    EXPECT_EQ(got.w[CAN_W_PAR8], 99u);
    EXPECT_EQ(got.w[CAN_W_IN_FIRST], 0x100u);
  }
}

TEST_F(CanPortTest, PortsOutsideTheTwoRefused) {
  char buf[8] = {1, 2, 3};
  for (int port : {-1, 2, 3, -100}) {
    EXPECT_EQ(canWrite(port, buf, 3, false), -1) << port;
    EXPECT_EQ(canWrite(port, buf, 3, true), -1) << port;
    EXPECT_EQ(canRead(port, buf, 8, 0), 0) << port;
    EXPECT_EQ(canRead(port, buf, 8, 5), 0) << port;
    EXPECT_FALSE(canSetState(port, canGetStateDef(), 0)) << port;
  }
  // A state asked of a port that is not there is port 0's.
  ASSERT_TRUE(canSetState(0, stateWith(0x10, 2, 0x20, 3), 0));
  EXPECT_EQ(canGetState(2).w[CAN_W_IN_FIRST], 0x10u);
  EXPECT_EQ(canGetState(-1).w[CAN_W_OUT_CNT], 3u);
  // Counts below 1 are refused on both sides.
  EXPECT_EQ(canWrite(0, buf, 0, false), -1);
  EXPECT_EQ(canRead(0, buf, 0, 0), 0);
}

TEST_F(CanPortTest, WriteCutIntoFramesWithRotatingIds) {
  const std::string first = "ABCDEFGHIJKLMNOPQRST";  // 20 bytes
  ASSERT_EQ(canWrite(0, first.data(), 20, false), 20);
  auto peer = connectPeer();
  ASSERT_TRUE(peer && peer->ok());
  const struct {
    std::uint32_t id;
    const char* data;
  } want[] = {{0x700, "ABCDEFGH"}, {0x701, "IJKLMNOP"}, {0x702, "QRST"}};
  for (const auto& w : want) {
    can_frame f{};
    ASSERT_EQ(peer->next(f), 1) << w.id;
    EXPECT_EQ(f.can_id, w.id);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(f.data), f.len), w.data);
  }
  // Frames 4 to 8 go on through 0x703..0x707; the ninth starts the range again.
  const std::string more(41, 'x');
  ASSERT_EQ(canWrite(0, more.data(), 41, false), 41);
  for (std::uint32_t k = 3; k < 9; ++k) {
    can_frame f{};
    ASSERT_EQ(peer->next(f), 1) << k;
    EXPECT_EQ(f.can_id, 0x700 + k % 8) << k;
    EXPECT_EQ(f.len, k == 8 ? 1 : 8) << k;
    EXPECT_EQ(f.can_id & (CAN_EFF_FLAG | CAN_RTR_FLAG | CAN_ERR_FLAG), 0u);
  }
}

// A write wakes CANT through the shared descriptor, and CANT drains what woke it.
TEST_F(CanPortTest, AWriteWakesTheSenderWhichDrainsTheDescriptor) {
  auto peer = connectPeer();
  ASSERT_TRUE(peer && peer->ok());
  const int wakes = g_wakes.load(), drains = g_drains.load();
  ASSERT_EQ(canWrite(0, "wake", 4, false), 4);
  can_frame f{};
  ASSERT_EQ(peer->next(f), 1);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(f.data), f.len), "wake");
  EXPECT_GT(g_wakes.load(), wakes);
  EXPECT_TRUE(waitFor([&] { return g_drains.load() > drains; }));
}

TEST_F(CanPortTest, OutputRangeOfTheState) {
  ASSERT_TRUE(canSetState(0, stateWith(0x700, 8, 0x600, 3), 0));
  auto peer = connectPeer();
  ASSERT_TRUE(peer && peer->ok());
  const std::string bytes(33, 'q');  // five frames: 0x600, 0x601, 0x602, 0x600, 0x601
  ASSERT_EQ(canWrite(0, bytes.data(), 33, false), 33);
  const std::uint32_t ids[] = {0x600, 0x601, 0x602, 0x600, 0x601};
  for (std::uint32_t id : ids) {
    can_frame f{};
    ASSERT_EQ(peer->next(f), 1);
    EXPECT_EQ(f.can_id, id);
  }
}

TEST_F(CanPortTest, InputRangeAndFrameKinds) {
  ASSERT_TRUE(canSetState(0, stateWith(0x700, 8, 0x700, 8), 0));
  auto peer = connectPeer();
  ASSERT_TRUE(peer && peer->ok());
  const struct {
    std::uint32_t id;
    const char* data;
    bool taken;
  } rows[] = {
      {0x6FF, "a", false},                     // just below the range
      {0x700, "b", true},                      // first of the range
      {0x707, "c", true},                      // last of the range
      {0x708, "d", false},                     // just above it
      {0x000, "e", false},                     // far below
      {CAN_EFF_FLAG | 0x700, "f", false},      // extended identifier, no error frame
      {CAN_EFF_FLAG | 0x1ABCD, "g", false},    // extended, low bits outside the range
      {CAN_RTR_FLAG | 0x701, "h", false},      // remote request
      {0x703, "", true},                       // empty frame: counted, nothing to read
      {0x704, "ijklmnop", true},
  };
  std::string want;
  for (const auto& r : rows) {
    ASSERT_TRUE(peer->send(makeFrame(r.id, r.data))) << r.id;
    if (r.taken) want += r.data;
  }
  // A short packet is no frame.
  const char shortPacket[5] = {0, 7, 0, 0, 1};
  ASSERT_TRUE(peer->sendRaw(shortPacket, sizeof shortPacket));
  ASSERT_TRUE(peer->send(makeFrame(0x705, "Z")));
  want += "Z";
  EXPECT_EQ(readBytes(want.size()), want);
}

TEST_F(CanPortTest, NarrowInputRangeEdges) {
  ASSERT_TRUE(canSetState(0, stateWith(0x7FD, 3, 0x700, 8), 0));
  auto peer = connectPeer();
  ASSERT_TRUE(peer && peer->ok());
  ASSERT_TRUE(peer->send(makeFrame(0x7FC, "x")));
  ASSERT_TRUE(peer->send(makeFrame(0x7FD, "1")));
  ASSERT_TRUE(peer->send(makeFrame(0x7FF, "2")));
  ASSERT_TRUE(peer->send(makeFrame(0x7FE, "3")));
  EXPECT_EQ(readBytes(3), "123");
}

TEST_F(CanPortTest, RestOfAFrameComesFirst) {
  auto peer = connectPeer();
  ASSERT_TRUE(peer && peer->ok());
  ASSERT_TRUE(peer->send(makeFrame(0x700, "01234567")));
  ASSERT_TRUE(peer->send(makeFrame(0x701, "89")));
  char buf[8] = {};
  int n = -1;
  ASSERT_TRUE(waitFor([&] { return (n = canRead(0, buf, 3, 10)) > 0; }));
  EXPECT_EQ(std::string(buf, static_cast<std::size_t>(n)), "012");
  EXPECT_EQ(canRead(0, buf, 8, 10), 5);
  EXPECT_EQ(std::string(buf, 5), "34567");
  std::string rest = readBytes(2);
  EXPECT_EQ(rest, "89");
  // Read one at a time, a frame still comes out whole and in order.
  ASSERT_TRUE(peer->send(makeFrame(0x702, "abc")));
  std::string oneByOne;
  ASSERT_TRUE(waitFor([&] {
    char c = 0;
    if (canRead(0, &c, 1, 10) == 1) oneByOne += c;
    return oneByOne.size() == 3;
  }));
  EXPECT_EQ(oneByOne, "abc");
}

TEST_F(CanPortTest, WriteBeyondRoomQueuesNothing) {
  // No peer: nothing leaves, the queue keeps what was written.
  const std::vector<char> big(16000, 'b');
  ASSERT_EQ(canWrite(0, big.data(), 16000, false), 16000);
  const std::vector<char> over(SockCanPort::kTxRingSize - 16000 + 1, 'X');
  EXPECT_EQ(canWrite(0, over.data(), static_cast<int>(over.size()), false), -1);
  const char mark = 'M';
  ASSERT_EQ(canWrite(0, &mark, 1, false), 1);
  auto peer = connectPeer();
  ASSERT_TRUE(peer && peer->ok());
  std::string got;
  can_frame f{};
  while (got.size() < 16001 && peer->next(f) == 1) got.append(reinterpret_cast<const char*>(f.data), f.len);
  ASSERT_EQ(got.size(), 16001u);
  EXPECT_EQ(got.find('X'), std::string::npos);
  EXPECT_EQ(got.back(), 'M');
  EXPECT_EQ(peer->next(f, 300), -1);
}

TEST_F(CanPortTest, PartialWriteTakesTheRoom) {
  const std::vector<char> big(SockCanPort::kTxRingSize + 100, 'p');
  EXPECT_EQ(canWrite(0, big.data(), static_cast<int>(big.size()), true), static_cast<int>(SockCanPort::kTxRingSize));
  EXPECT_EQ(canWrite(0, big.data(), 1, true), 0);
  EXPECT_EQ(canWrite(0, big.data(), 1, false), -1);
}

TEST_F(CanPortTest, NewPeerReplacesTheOld) {
  auto a = connectPeer();
  ASSERT_TRUE(a && a->ok());
  ASSERT_EQ(canWrite(0, "1", 1, false), 1);
  can_frame f{};
  ASSERT_EQ(a->next(f), 1);
  auto b = connectPeer();
  ASSERT_TRUE(b && b->ok());
  EXPECT_TRUE(a->drainToClose());
  ASSERT_EQ(canWrite(0, "2", 1, false), 1);
  ASSERT_EQ(b->next(f), 1);
  EXPECT_EQ(f.data[0], '2');
  EXPECT_EQ(f.can_id, 0x701u);
}

TEST_F(CanPortTest, TxWarningEmptiesQueueAndRemakesPort) {
  auto peer = connectPeer();
  ASSERT_TRUE(peer && peer->ok());
  // The peer reads nothing: its socket fills and most of the queue stays behind.
  const std::vector<char> stale(SockCanPort::kTxRingSize, 'S');
  ASSERT_EQ(canWrite(0, stale.data(), static_cast<int>(stale.size()), false), static_cast<int>(stale.size()));
  can_frame sent{};
  ASSERT_EQ(peer->next(sent), 1);  // sending has begun

  can_frame err = makeFrame(CAN_ERR_FLAG | CAN_ERR_CRTL, std::string(8, '\0'));
  err.data[1] = CAN_ERR_CRTL_TX_WARNING;
  ASSERT_TRUE(peer->send(err));
  char buf[8];
  for (int i = 0; i < 3; ++i) EXPECT_LT(canRead(0, buf, 8, 5), 0);
  // The port is made again (queue and counters emptied first): the peer sees its connection
  // close after what was sent.
  EXPECT_TRUE(peer->drainToClose());

  // A new connection works and gets only what is written now, from the start of the range.
  auto again = connectPeer();
  ASSERT_TRUE(again && again->ok());
  ASSERT_EQ(canWrite(0, "new", 3, false), 3);
  can_frame f{};
  ASSERT_EQ(again->next(f), 1);
  EXPECT_EQ(f.can_id, 0x700u);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(f.data), f.len), "new");
  EXPECT_EQ(again->next(f, 300), -1);
  ASSERT_TRUE(again->send(makeFrame(0x700, "in")));
  EXPECT_EQ(readBytes(2), "in");
}

TEST_F(CanPortTest, ErrorFrameKinds) {
  const struct {
    std::uint8_t byte1;
    const char* name;
  } rows[] = {{CAN_ERR_CRTL_TX_WARNING, "tx"}, {CAN_ERR_CRTL_RX_WARNING, "rx"}, {0, "other"},
              {CAN_ERR_CRTL_TX_WARNING | CAN_ERR_CRTL_RX_WARNING, "both"}};
  for (const auto& r : rows) {
    auto peer = connectPeer();
    ASSERT_TRUE(peer && peer->ok()) << r.name;
    ASSERT_EQ(canWrite(0, "k", 1, false), 1) << r.name;
    can_frame sent{};
    ASSERT_EQ(peer->next(sent), 1) << r.name;
    can_frame err = makeFrame(CAN_ERR_FLAG | CAN_ERR_CRTL, std::string(8, '\0'));
    err.data[1] = r.byte1;
    ASSERT_TRUE(peer->send(err)) << r.name;
    char buf[8];
    for (int i = 0; i < 3; ++i) canRead(0, buf, 8, 5);
    // Every error frame makes the port again.
    EXPECT_TRUE(peer->drainToClose()) << r.name;
  }
}

// Writers, a reader meeting error frames and CANT all at once (run once under ThreadSanitizer).
TEST_F(CanPortTest, WritersErrorFramesAndSenderTogether) {
  std::atomic<bool> stop{false};
  std::vector<std::thread> writers;
  for (int w = 0; w < 2; ++w) {
    writers.emplace_back([&, w] {
      const std::string chunk(13, static_cast<char>('a' + w));
      while (!stop.load()) {
        canWrite(0, chunk.data(), static_cast<int>(chunk.size()), w == 0);
        std::this_thread::yield();
      }
    });
  }
  std::thread reader([&] {
    char buf[16];
    while (!stop.load()) canRead(0, buf, sizeof buf, 2);
  });
  int errors = 0;
  for (int round = 0; round < 4; ++round) {
    auto peer = connectPeer();
    ASSERT_TRUE(peer && peer->ok());
    can_frame f{};
    for (int k = 0; k < 20 && peer->next(f) == 1; ++k) {
      EXPECT_LE(f.len, 8);
      EXPECT_GE(f.can_id, 0x700u);
      EXPECT_LE(f.can_id, 0x707u);
      for (int i = 0; i < f.len; ++i) EXPECT_TRUE(f.data[i] == 'a' || f.data[i] == 'b');
    }
    can_frame err = makeFrame(CAN_ERR_FLAG | CAN_ERR_CRTL, std::string(8, '\0'));
    err.data[1] = CAN_ERR_CRTL_TX_WARNING;
    if (peer->send(err)) ++errors;
    peer->drainToClose();
  }
  stop = true;
  for (auto& t : writers) t.join();
  reader.join();
  EXPECT_EQ(errors, 4);
}

// Random, truncated, over-long and empty packets: nothing breaks, the peer stays connected, and
// exactly the data of the whole standard frames of the input range comes through, in order.
TEST_F(CanPortTest, RandomAndTruncatedPackets) {
  auto peer = connectPeer();
  ASSERT_TRUE(peer && peer->ok());
  std::uint32_t seed = 12345;
  auto rnd = [&] { return seed = seed * 1664525u + 1013904223u, seed >> 8; };
  std::vector<std::string> packets;
  std::string want;
  for (int i = 0; i < 400; ++i) {
    std::uint8_t pkt[24];
    for (auto& b : pkt) b = static_cast<std::uint8_t>(rnd());
    std::size_t n = rnd() % 25;
    can_frame f{};
    if (i % 3 == 0) {  // a whole frame of the range, its length byte up to 15
      n = sizeof f;
      std::memcpy(&f, pkt, sizeof f);
      f.can_id = 0x700 + rnd() % 8;
      f.len = static_cast<std::uint8_t>(rnd() % 16);
      std::memcpy(pkt, &f, sizeof f);
    }
    std::memcpy(&f, pkt, n < sizeof f ? n : sizeof f);
    if (f.can_id & CAN_ERR_FLAG) {  // error frames remake the port: not what this test is about
      f.can_id &= ~CAN_ERR_FLAG;
      std::memcpy(pkt, &f.can_id, sizeof f.can_id);
    }
    packets.emplace_back(reinterpret_cast<const char*>(pkt), n);
    if (n != sizeof f || (f.can_id & ~CAN_SFF_MASK) || f.can_id < 0x700 || f.can_id > 0x707) continue;
    want.append(reinterpret_cast<const char*>(f.data), f.len > 8 ? 8 : f.len);
  }
  const can_frame last = makeFrame(0x700, "END");
  packets.emplace_back(reinterpret_cast<const char*>(&last), sizeof last);
  want += "END";
  std::string got;
  std::thread reader([&] { got = readBytes(want.size()); });
  for (std::size_t i = 0; i < packets.size(); ++i) {
    const bool sent = peer->sendRaw(packets[i].data(), packets[i].size());
    EXPECT_TRUE(sent) << i;
    if (!sent) break;
  }
  reader.join();
  EXPECT_EQ(got, want);
  // Still the same peer.
  ASSERT_EQ(canWrite(0, "ok", 2, false), 2);
  can_frame f{};
  ASSERT_EQ(peer->next(f), 1);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(f.data), f.len), "ok");
}

TEST_F(CanPortTest, PortsIndependent) {
  auto a = connectPeer(kPathA);
  auto b = connectPeer("dev/can/b");
  ASSERT_TRUE(a && a->ok() && b && b->ok());
  ASSERT_EQ(canWrite(1, "on-b", 4, false), 4);
  can_frame f{};
  ASSERT_EQ(b->next(f), 1);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(f.data), f.len), "on-b");
  EXPECT_EQ(a->next(f, 300), -1);
  // Each port counts its own frames: port b's second frame takes its second identifier.
  ASSERT_EQ(canWrite(1, "b2", 2, false), 2);
  ASSERT_EQ(b->next(f), 1);
  EXPECT_EQ(f.can_id, 0x701u);
}

}  // namespace
