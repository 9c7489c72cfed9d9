// The port model: input ports cutting lines and switching modes, output ports with a duplicate and
// writers that may or may not wait, the links to the GNSS board and the CAN seam.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>

#include <filesystem>
#include <vector>

#include "platform/ports/can_ports.h"
#include "platform/ports/shm_ports.h"
#include "platform/rtos.h"
#include "temp_run_dir.h"
#include "unit/port_fakes.h"

namespace {

using testports::CaptureOut;
using testports::ScriptPort;

std::vector<std::string> g_lines;  // "port:text", "!" in front of one reported too long
std::string g_trace;

class Input : public ::testing::Test {
 protected:
  void SetUp() override {
    CmdHandler::setSink([](const char* text, int len, int port, bool tooLong) {
      g_lines.push_back((tooLong ? "!" : "") + std::to_string(port) + ":" + std::string(text, static_cast<std::size_t>(len)));
    });
  }
};

TEST_F(Input, LinesAreCutAtCrOrLfAndAnOverLongLineIsDroppedUpToItsEndNeverCutIntoAnother) {
  ScriptPort port(IOP_SER_A, false);
  const std::string tooLong = "set," + std::string(4996, 'x'), longest(CmdHandler::kMaxLine, 'y');
  port.chunks = {"print,/par/a\r", "\nset,", "x,1\n\n\r", tooLong.substr(0, 3000), tooLong.substr(3000) + "\r\n",
                 longest + "\n%id%\rtail-without-end"};
  port.task(0);
  port.task(30);
  EXPECT_EQ(g_lines, (std::vector<std::string>{"5:print,/par/a", "5:set,x,1", "!5:", "5:" + longest, "5:%id%"}));
}

void noteMode(const char* what, int p, int m) {
  g_trace += std::string(what) + " " + std::to_string(p) + " " + std::to_string(m) + " cur " +
             std::to_string(InPorts::ports_[p]->mode()) + ";";
}

// The hooks run around the switch (not at all when nothing changes); a command that switches to
// echo hands the rest of its chunk to the new mode, which sends every byte back.
TEST_F(Input, ModeChangesRunTheHooksAroundTheSwitchAndTheRestGoesToTheNewMode) {
  InPorts::beforeModeChange_.set([](int p, int m) { noteMode("before", p, m); });
  InPorts::afterModeChange_.set([](int p, int m) { noteMode("after", p, m); });
  CmdHandler::setSink([](const char*, int, int, bool) { InPorts::ports_[IOP_SER_C]->setMode(InPort::M_ECHO); });
  ScriptPort port(IOP_SER_C);
  CaptureOut out(IOP_SER_C);
  EXPECT_FALSE(port.setMode(InPort::MODE_NUM));
  port.chunks = {"echo\rabc\r\n", "\x01\xff"};
  port.task(30);
  EXPECT_TRUE(port.setMode(InPort::M_ECHO));
  EXPECT_EQ(out.data, "abc\r\n\x01\xff");
  EXPECT_EQ(g_trace, "before 7 1 cur 0;after 7 1 cur 1;");
}

// A stored value that is no mode gives command mode, and so does a program that keeps no settings.
TEST_F(Input, APortStartsInItsStoredMode) {
  static int stored[IOP_NUM];
  const struct { int port, stored, mode; } cases[] = {{IOP_SER_B, InPort::M_RTCM3, InPort::M_RTCM3},
      {IOP_SHM_A + 1, InPort::M_ZRT, InPort::M_ZRT}, {IOP_USB_A, InPort::MODE_NUM, InPort::M_CMD}, {IOP_CAN_A, -1, InPort::M_CMD}};
  InPorts::storedMode_ = [](int port) { return stored[port]; };
  for (const auto& c : cases) {
    stored[c.port] = c.stored;
    EXPECT_EQ(ScriptPort(c.port, false).mode(), c.mode) << c.port;
  }
  InPorts::storedMode_ = nullptr;
  EXPECT_EQ(ScriptPort(IOP_SER_B, false).mode(), InPort::M_CMD);
}

TEST_F(Input, EachModeHasItsHandlerAndAnEmptyOneSwallows) {
  struct Counting : InPortHandler {
    int bytes = 0;
    int process(const std::uint8_t*, int, int len, bool) override { return bytes += len, len; }
  } counting;
  ScriptPort port(IOP_USB_A);
  EXPECT_NE(InPort::setHandler(IOP_USB_A, InPort::M_RTCM3, &counting), nullptr);
  EXPECT_EQ(InPort::setHandler(IOP_TCP_A, InPort::M_RTCM3, &counting), nullptr);  // no such input port
  port.setMode(InPort::M_RTCM3);
  port.chunks = {"12345", "678"};
  port.task(30);
  EXPECT_EQ(port.setHandler(InPort::M_RTCM3, nullptr), &counting);
  port.chunks = {"zz"};
  port.task(30);
  EXPECT_EQ(counting.bytes, 8);
}

TEST(OutPort, TheDuplicateGetsACopyThatNeverChainsBack) {
  CaptureOut a(IOP_SER_A), b(IOP_SER_B);
  a.setDup(&b);
  b.setDup(&a);
  EXPECT_EQ(a.write("hello", 5, 0), 5);
  EXPECT_EQ(std::pair(a.data, b.data), std::pair(std::string("hello"), std::string("hello")));
  EXPECT_EQ(OutPorts::stream(IOP_TCP_A).write("x", 1, 0), 1);  // the null port swallows
}

// A device whose timed writes wait until the test lets them go, like a full port with a slow reader.
struct StallingOut : OutPort {
  StallingOut() : OutPort(7) {}
  BinSem entered{false}, letGo{false};
  std::atomic<int> bytes{0};
  int devWrite(const void*, int len, int timeout) override {
    if (timeout > 0) entered.post(), letGo.wait();
    return bytes += len, len;
  }
};
void* slowWriter(void* port) { return static_cast<StallingOut*>(port)->write("RE002%%\r\n", 9, 100), nullptr; }
void* patientWriter(void* port) { return static_cast<StallingOut*>(port)->write("@@", 2), nullptr; }

// Behind a writer that waits for room, one that may not wait (the epoch's output) drops and
// counts; one without a time limit waits for as long as it takes.
TEST(OutPort, WritersBehindAWaitingOneDropOrWaitByTheirTimeLimit) {
  StallingOut port;
  Task holder(20, slowWriter, &port, "SLOW", 4096), patient(20, patientWriter, &port, "PATI", 4096);
  holder.resume();
  port.entered.wait();
  EXPECT_EQ(port.write("~~", 2, 0), 0);
  patient.resume();
  Task::sleep(20);  // ample time to queue behind the holder
  port.letGo.post();
  pthread_join(holder.thread(), nullptr);
  pthread_join(patient.thread(), nullptr);
  EXPECT_EQ(port.bytes.load(), 11);
  EXPECT_EQ(port.dropped(), 2u);
  EXPECT_EQ(port.write("::", 2, 0), 2);
}

class ShmPorts : public TempRunDir {
 protected:
  void SetUp() override {
    TempRunDir::SetUp();
    shmPortsInitOnce();
    std::filesystem::create_directories("dev/shm");
  }
  // The board: a listener at the link's socket.
  static int listenAt(int link) {
    const int s = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un a{};
    a.sun_family = AF_UNIX;
    std::snprintf(a.sun_path, sizeof a.sun_path, "%s", shmLinkPath(link));
    ::unlink(a.sun_path);
    return ::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 && ::listen(s, 4) == 0 ? s : -1;
  }
  // Runs connection rounds until the link is up (or down); bounded, a guard only.
  static bool linkUp(int link, bool up = true) {
    for (int i = 0; i < 500 && shmIsConnected(link) != up; ++i) shmCheckLinks(), Task::sleep(1);
    return shmIsConnected(link) == up;
  }
  static int accepted(int link, int listener) { return linkUp(link) ? ::accept(listener, nullptr, nullptr) : -1; }
};

// Down, reads time out and writes are dropped and counted; a board that listens late is connected,
// and what it sent before it left is still read.
TEST_F(ShmPorts, ALateListenerIsConnectedAndBytesFlowBothWays) {
  InPort* in = InPorts::ports_[IOP_SHM_A];
  OutPort* out = OutPorts::ports_[IOP_SHM_A];
  char b[32] = {};
  EXPECT_EQ(in->read(b, sizeof b, 2), 0);
  EXPECT_EQ(out->write("abc", 3, 0), 0);
  EXPECT_EQ(out->dropped(), 3u);
  const int l = listenAt(0), peer = accepted(0, l);
  ASSERT_GE(peer, 0);
  EXPECT_EQ(out->write("%CON%\n", 6, 10), 6);
  EXPECT_EQ(::read(peer, b, sizeof b), 6);
  EXPECT_EQ(std::string(b, 6), "%CON%\n");
  ASSERT_EQ(::write(peer, "RE005%CON%\r\nlast", 16), 16);
  ::close(peer);
  ::close(l);
  shmCheckLinks();
  std::string got;
  for (int i = 0, n = 0; i < 100 && got.size() < 16; ++i)
    if ((n = in->read(b, sizeof b, 10)) > 0) got.append(b, static_cast<std::size_t>(n));
  EXPECT_EQ(got, "RE005%CON%\r\nlast");
}

TEST_F(ShmPorts, ARestartedListenerIsConnectedAgain) {
  for (std::uint32_t round = 1; round <= 3; ++round) {
    const int l = listenAt(1), peer = accepted(1, l);
    ASSERT_GE(peer, 0) << round;
    EXPECT_EQ(shmConnects(1), round);
    ::close(peer);
    ::close(l);
    ::unlink(shmLinkPath(1));
    ASSERT_TRUE(linkUp(1, false)) << round;
  }
}

// A board that stops reading gets only part of a message larger than every socket buffer: the link
// is dropped, so the next command starts a line on a new connection instead of finishing that one.
TEST_F(ShmPorts, AMessageCutOffPartWayDropsTheLinkSoNoLineIsGluedToTheNext) {
  const int l = listenAt(1), peer = accepted(1, l);
  ASSERT_GE(peer, 0);
  const std::string big(4 << 20, 'x');
  OutPort* out = OutPorts::ports_[IOP_SHM_A + 1];
  const int n = out->write(big.data(), static_cast<int>(big.size()), 1);
  EXPECT_TRUE(n > 0 && n < static_cast<int>(big.size())) << n;
  ASSERT_FALSE(shmIsConnected(1));
  timeval guard{5, 0};  // turns a link left open into a failure instead of a hang
  ::setsockopt(peer, SOL_SOCKET, SO_RCVTIMEO, &guard, sizeof guard);
  std::vector<char> b(65536);
  ssize_t r = 0, got = 0;
  while ((r = ::read(peer, b.data(), b.size())) > 0) got += r;
  EXPECT_EQ(std::pair(r, got), std::pair(ssize_t{0}, static_cast<ssize_t>(n)));
  ::close(peer);
  const int peer2 = accepted(1, l);
  ASSERT_GE(peer2, 0);
  EXPECT_EQ(out->write("set,b,2\n", 8, 10), 8);
  EXPECT_EQ(::read(peer2, b.data(), b.size()), 8);
  EXPECT_EQ(std::string(b.data(), 8), "set,b,2\n");
}

TEST(CanPorts, TheSeamCarriesTheBytes) {
  canPortsInitOnce();
  char b[4];
  EXPECT_EQ(InPorts::ports_[IOP_CAN_A]->read(b, sizeof b, 0), 0);  // no seam yet
  EXPECT_EQ(OutPorts::ports_[IOP_CAN_B]->write("x", 1, 0), 0);
  canReadHook = [](int can, void* buf, int max, int) { return max < 1 ? 0 : (static_cast<char*>(buf)[0] = static_cast<char>('0' + can), 1); };
  canWriteHook = [](int can, const void* d, int len, int) {
    g_trace += std::to_string(can) + std::string(static_cast<const char*>(d), static_cast<std::size_t>(len));
    return len;
  };
  EXPECT_EQ(InPorts::ports_[IOP_CAN_B]->read(b, sizeof b, 0), 1);
  EXPECT_EQ(b[0], '1');
  EXPECT_EQ(OutPorts::ports_[IOP_CAN_A]->write("frame", 5, 0), 5);
  EXPECT_EQ(g_trace, "0frame");
}

}  // namespace
