// Input ports: the command handler's line cutting, mode switching and echo, fed from a
// scripted device.
#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <vector>

#include "platform/ports/in_port.h"
#include "platform/ports/out_port.h"
#include "unit/port_fakes.h"

namespace {

using testports::CaptureOut;
using testports::ScriptPort;


struct Seen {
  std::string text;
  int port;
  bool tooLong;
};
std::vector<Seen> g_lines;

void sink(const char* text, int len, int port, bool tooLong) {
  g_lines.push_back({std::string(text, static_cast<std::size_t>(len)), port, tooLong});
}

class Input : public ::testing::Test {
 protected:
  void SetUp() override {
    g_lines.clear();
    CmdHandler::setSink(sink);
  }
};

TEST_F(Input, LinesAreCutAtCrOrLfAcrossChunks) {
  ScriptPort port(IOP_SER_A, false);
  port.chunks = {"print,/par/a\r", "\nset,", "x,1\n\n\r", "%id%\rtail-without-end"};
  port.task(0);
  port.task(30);
  ASSERT_EQ(g_lines.size(), 3u);
  EXPECT_EQ(g_lines[0].text, "print,/par/a");
  EXPECT_EQ(g_lines[1].text, "set,x,1");
  EXPECT_EQ(g_lines[2].text, "%id%");
  EXPECT_EQ(g_lines[2].port, IOP_SER_A);
  for (const auto& l : g_lines) EXPECT_FALSE(l.tooLong);
}

TEST_F(Input, AnOverLongLineIsDroppedUpToItsEndAndReported) {
  ScriptPort port(IOP_SER_B, false);
  std::string longLine(5000, 'x');
  longLine.replace(0, 4, "set,");
  port.chunks = {longLine.substr(0, 3000), longLine.substr(3000) + "\r\n",
                 std::string(CmdHandler::kMaxLine, 'y') + "\n%ok%\n"};
  port.task(30);
  ASSERT_EQ(g_lines.size(), 3u);
  EXPECT_TRUE(g_lines[0].tooLong);
  EXPECT_EQ(g_lines[0].text, "");
  EXPECT_FALSE(g_lines[1].tooLong);
  EXPECT_EQ(g_lines[1].text.size(), static_cast<std::size_t>(CmdHandler::kMaxLine));
  EXPECT_EQ(g_lines[2].text, "%ok%");
}

std::vector<std::string> g_hookCalls;

TEST_F(Input, ModeChangesCallTheHooksAroundTheSwitchAndEchoSendsBack) {
  g_hookCalls.clear();
  InPorts::beforeModeChange_.set([](int port, int mode) {
    g_hookCalls.push_back("before " + std::to_string(port) + " " + std::to_string(mode) + " cur " +
                          std::to_string(InPorts::ports_[port]->mode()));
  });
  InPorts::afterModeChange_.set([](int port, int mode) {
    g_hookCalls.push_back("after " + std::to_string(port) + " " + std::to_string(mode) + " cur " +
                          std::to_string(InPorts::ports_[port]->mode()));
  });
  ScriptPort port(IOP_SER_C, false);
  InPorts::ports_[IOP_SER_C] = &port;
  CaptureOut out(IOP_SER_C);
  EXPECT_TRUE(port.setMode(InPort::M_ECHO));
  EXPECT_TRUE(port.setMode(InPort::M_ECHO));  // no change: no hooks
  EXPECT_FALSE(port.setMode(InPort::MODE_NUM));
  ASSERT_EQ(g_hookCalls.size(), 2u);
  EXPECT_EQ(g_hookCalls[0], "before 7 1 cur 0");
  EXPECT_EQ(g_hookCalls[1], "after 7 1 cur 1");
  port.chunks = {"abc\r\n", "\x01\xff"};
  port.task(30);
  EXPECT_EQ(out.data, std::string("abc\r\n\x01\xff"));
  EXPECT_TRUE(g_lines.empty());
  InPorts::ports_[IOP_SER_C] = nullptr;
  InPorts::beforeModeChange_.set(nullptr);
  InPorts::afterModeChange_.set(nullptr);
}

// A port is made in the mode the settings keep for it; a stored byte that is no mode gives
// command mode, and so does a program that keeps no settings.
TEST_F(Input, APortStartsInItsStoredMode) {
  const struct {
    int port;
    int stored;
    InPort::Mode mode;
  } cases[] = {
      {IOP_SER_B, InPort::M_RTCM3, InPort::M_RTCM3},
      {IOP_SHM_A + 1, InPort::M_ZRT, InPort::M_ZRT},
      {IOP_USB_A, InPort::MODE_NUM, InPort::M_CMD},
      {IOP_CAN_A, -1, InPort::M_CMD},
  };
  static int g_stored[IOP_NUM];
  InPorts::storedMode_ = [](int port) { return g_stored[port]; };
  for (const auto& c : cases) {
    g_stored[c.port] = c.stored;
    EXPECT_EQ(ScriptPort(c.port, false).mode(), c.mode) << c.port;
  }
  InPorts::storedMode_ = nullptr;
  EXPECT_EQ(ScriptPort(IOP_SER_B, false).mode(), InPort::M_CMD);
}

TEST_F(Input, ACommandThatSwitchesTheModeHandsTheRestToTheNewMode) {
  ScriptPort port(IOP_SER_D, false);
  CaptureOut out(IOP_SER_D);
  CmdHandler::setSink([](const char* text, int len, int, bool) {
    if (std::string(text, static_cast<std::size_t>(len)) == "echo") {
      InPorts::ports_[IOP_SER_D]->setMode(InPort::M_ECHO);
    }
  });
  InPorts::ports_[IOP_SER_D] = &port;
  port.chunks = {"echo\rxyz"};
  port.task(30);
  EXPECT_EQ(out.data, "xyz");
  InPorts::ports_[IOP_SER_D] = nullptr;
}

TEST_F(Input, HandlersPerModeAndTheNullHandler) {
  struct Counting : InPortHandler {
    int bytes = 0;
    int process(const std::uint8_t*, int, int len, bool) override {
      bytes += len;
      return len;
    }
  } counting;
  ScriptPort port(IOP_USB_A, false);
  InPorts::ports_[IOP_USB_A] = &port;
  EXPECT_NE(InPort::setHandler(IOP_USB_A, InPort::M_RTCM3, &counting), nullptr);
  port.setMode(InPort::M_RTCM3);
  port.chunks = {"12345", "678"};
  port.task(30);
  EXPECT_EQ(counting.bytes, 8);
  EXPECT_EQ(port.setHandler(InPort::M_RTCM3, nullptr), &counting);
  port.chunks = {"zz"};
  port.task(30);
  EXPECT_EQ(counting.bytes, 8);
  EXPECT_EQ(InPort::setHandler(IOP_TCP_A, InPort::M_RTCM3, &counting), nullptr);
  InPorts::ports_[IOP_USB_A] = nullptr;
}

TEST(OutPortDup, TheDuplicateGetsACopy) {
  CaptureOut a(IOP_SER_A);
  CaptureOut b(IOP_SER_B);
  a.setDup(&b);
  b.setDup(&a);  // a loop must not echo back and forth
  EXPECT_EQ(a.write("hello", 5, 0), 5);
  EXPECT_EQ(a.data, "hello");
  EXPECT_EQ(b.data, "hello");
  EXPECT_EQ(OutPorts::stream(IOP_TCP_A).write("x", 1, 0), 1);  // the null port swallows
}

}  // namespace

namespace {

// A device whose writes wait until the test lets them go, like a full port with a slow reader.
class StallingOut : public OutPort {
 public:
  StallingOut() : OutPort(7) {}
  BinSem entered{false};
  BinSem letGo{false};
  std::atomic<int> bytes{0};

 protected:
  int devWrite(const void*, int len, int timeout) override {
    if (timeout > 0) {
      entered.post();
      letGo.wait();
    }
    bytes += len;
    return len;
  }
};

void* slowWriter(void* arg) {
  static const char kReply[] = "RE002%%\r\n";
  static_cast<StallingOut*>(arg)->write(kReply, 9, 100);
  return nullptr;
}

TEST(OutPortLock, NonWaitingWriterDropsInsteadOfStallingBehindAWaitingOne) {
  StallingOut port;
  Task writer(20, slowWriter, &port, "SLOW", 4096);
  writer.resume();
  port.entered.wait();
  // The port is held by a writer that waits for room: an epoch's output must not wait with it.
  EXPECT_EQ(port.write("~~", 2, 0), 0);
  EXPECT_EQ(port.dropped(), 2u);
  port.letGo.post();
  pthread_join(writer.thread(), nullptr);
  EXPECT_EQ(port.bytes.load(), 9);
  // Once free, a non-waiting write goes through.
  EXPECT_EQ(port.write("::", 2, 0), 2);
}

void* patientWriter(void* arg) {
  // The plain write waits as long as it takes, also for a port another writer holds.
  static_cast<StallingOut*>(arg)->write("@@", 2);
  return nullptr;
}

TEST(OutPortLock, AWriterWithoutTimeLimitWaitsForTheHolderInsteadOfDropping) {
  StallingOut port;
  Task holder(20, slowWriter, &port, "SLOW", 4096);
  holder.resume();
  port.entered.wait();
  Task patient(20, patientWriter, &port, "PATI", 4096);
  patient.resume();
  // Give the second writer ample time to queue behind the holder before the port frees up.
  Task::sleep(20);
  port.letGo.post();
  pthread_join(holder.thread(), nullptr);
  pthread_join(patient.thread(), nullptr);
  EXPECT_EQ(port.bytes.load(), 11);
  EXPECT_EQ(port.dropped(), 0u);
}

}  // namespace
