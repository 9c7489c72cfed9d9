// Links to the GNSS board: connecting to a listener that comes late, reconnecting after it
// restarts, and what reads and writes do while the link is down.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "platform/ports/can_ports.h"
#include "platform/ports/shm_ports.h"
#include "platform/rtos.h"
#include "temp_run_dir.h"

namespace {

class ShmPorts : public TempRunDir {
 protected:
  void SetUp() override {
    TempRunDir::SetUp();
    shmPortsInitOnce();
    ASSERT_EQ(system("mkdir -p dev/shm"), 0);
  }
  static int listenAt(const char* path) {
    int s = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un a{};
    a.sun_family = AF_UNIX;
    std::snprintf(a.sun_path, sizeof a.sun_path, "%s", path);
    ::unlink(path);
    if (::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(s, 4) != 0) {
      ::close(s);
      return -1;
    }
    return s;
  }
  // Runs connection rounds until the link is up (bounded, a guard only).
  static bool connectSoon(int link) {
    for (int i = 0; i < 500 && !shmIsConnected(link); ++i) {
      shmCheckLinks();
      Task::sleep(1);
    }
    return shmIsConnected(link);
  }
};

TEST_F(ShmPorts, DownLinkTimesOutAndDropsWrites) {
  InPort* in = InPorts::ports_[IOP_SHM_A + 2];
  ASSERT_NE(in, nullptr);
  char buf[8];
  EXPECT_EQ(in->read(buf, sizeof buf, 0), 0);
  EXPECT_EQ(in->read(buf, sizeof buf, 2), 0);
  auto* out = OutPorts::ports_[IOP_SHM_A + 2];
  EXPECT_EQ(out->write("abc", 3, 0), 0);
  EXPECT_EQ(out->dropped(), 3u);
  EXPECT_FALSE(shmIsConnected(2));
  EXPECT_EQ(in->mode(), InPort::M_CMD);  // no stored settings read in this test
}

TEST_F(ShmPorts, LateListenerIsConnectedAndBytesFlowBothWays) {
  shmCheckLinks();
  EXPECT_FALSE(shmIsConnected(0));
  int l = listenAt(shmLinkPath(0));
  ASSERT_GE(l, 0);
  ASSERT_TRUE(connectSoon(0));
  int peer = ::accept(l, nullptr, nullptr);
  ASSERT_GE(peer, 0);
  EXPECT_EQ(OutPorts::ports_[IOP_SHM_A]->write("%CON%\n", 6, 10), 6);
  char got[16] = {};
  EXPECT_EQ(::read(peer, got, sizeof got), 6);
  EXPECT_STREQ(got, "%CON%\n");
  ASSERT_EQ(::write(peer, "RE005%CON%\r\n", 12), 12);
  std::string in;
  for (int i = 0; i < 100 && in.size() < 12; ++i) {
    char b[32];
    int n = InPorts::ports_[IOP_SHM_A]->read(b, sizeof b, 10);
    if (n > 0) in.append(b, static_cast<std::size_t>(n));
  }
  EXPECT_EQ(in, "RE005%CON%\r\n");
  ::close(peer);
  ::close(l);
}

TEST_F(ShmPorts, RestartedListenerIsConnectedAgain) {
  const char* path = shmLinkPath(1);
  for (int round = 1; round <= 3; ++round) {
    SCOPED_TRACE(round);
    int l = listenAt(path);
    ASSERT_GE(l, 0);
    ASSERT_TRUE(connectSoon(1));
    int peer = ::accept(l, nullptr, nullptr);
    ASSERT_GE(peer, 0);
    EXPECT_EQ(shmConnects(1), static_cast<std::uint32_t>(round));
    // The board goes away: the link notices and goes down.
    ::close(peer);
    ::close(l);
    ::unlink(path);
    for (int i = 0; i < 500 && shmIsConnected(1); ++i) {
      shmCheckLinks();
      Task::sleep(1);
    }
    ASSERT_FALSE(shmIsConnected(1));
  }
}

TEST_F(ShmPorts, DataSentBeforeTheBoardLeftIsStillRead) {
  int l = listenAt(shmLinkPath(3));
  ASSERT_TRUE(connectSoon(3));
  int peer = ::accept(l, nullptr, nullptr);
  ASSERT_EQ(::write(peer, "last", 4), 4);
  ::close(peer);
  ::close(l);
  shmCheckLinks();
  char b[8] = {};
  EXPECT_EQ(InPorts::ports_[IOP_SHM_A + 3]->read(b, sizeof b, 10), 4);
  EXPECT_STREQ(b, "last");
}

TEST(CanPorts, SeamCarriesTheBytes) {
  canPortsInitOnce();
  char b[4];
  EXPECT_EQ(InPorts::ports_[IOP_CAN_A]->read(b, sizeof b, 0), 0);
  EXPECT_EQ(OutPorts::ports_[IOP_CAN_B]->write("x", 1, 0), 0);
  static std::string sent;
  canReadHook = [](int can, void* buf, int max, int) {
    if (max < 1) return 0;
    static_cast<char*>(buf)[0] = static_cast<char>('0' + can);
    return 1;
  };
  canWriteHook = [](int can, const void* d, int len, int) {
    sent += std::to_string(can) + std::string(static_cast<const char*>(d), static_cast<std::size_t>(len));
    return len;
  };
  EXPECT_EQ(InPorts::ports_[IOP_CAN_B]->read(b, sizeof b, 0), 1);
  EXPECT_EQ(b[0], '1');
  EXPECT_EQ(OutPorts::ports_[IOP_CAN_A]->write("frame", 5, 0), 5);
  EXPECT_EQ(sent, "0frame");
}

}  // namespace

namespace {

TEST_F(ShmPorts, MessageCutOffPartWayDropsTheLinkSoNoLineIsGluedToTheNext) {
  int l = listenAt(shmLinkPath(1));
  ASSERT_GE(l, 0);
  ASSERT_TRUE(connectSoon(1));
  int peer = ::accept(l, nullptr, nullptr);
  ASSERT_GE(peer, 0);
  // The board stops reading: a message larger than every socket buffer can go out only in part.
  const std::string big(4 << 20, 'x');
  auto* out = OutPorts::ports_[IOP_SHM_A + 1];
  const int n = out->write(big.data(), static_cast<int>(big.size()), 1);
  EXPECT_GT(n, 0);
  EXPECT_LT(n, static_cast<int>(big.size()));
  ASSERT_FALSE(shmIsConnected(1));
  // The board sees the part that went out and then the end of the connection (the receive
  // time-out only turns a link left open into a failure instead of a hang).
  timeval guard{5, 0};
  ::setsockopt(peer, SOL_SOCKET, SO_RCVTIMEO, &guard, sizeof guard);
  std::size_t got = 0;
  bool ended = false;
  char b[65536];
  for (;;) {
    ssize_t r = ::read(peer, b, sizeof b);
    if (r <= 0) {
      ended = r == 0;
      break;
    }
    got += static_cast<std::size_t>(r);
  }
  ASSERT_TRUE(ended);
  EXPECT_EQ(got, static_cast<std::size_t>(n));
  ::close(peer);
  // The next command goes whole on a new connection, from the start of a line.
  ASSERT_TRUE(connectSoon(1));
  int peer2 = ::accept(l, nullptr, nullptr);
  ASSERT_GE(peer2, 0);
  EXPECT_EQ(out->write("set,b,2\n", 8, 10), 8);
  char line[16] = {};
  EXPECT_EQ(::read(peer2, line, sizeof line), 8);
  EXPECT_STREQ(line, "set,b,2\n");
  ::close(peer2);
  ::close(l);
}

}  // namespace
