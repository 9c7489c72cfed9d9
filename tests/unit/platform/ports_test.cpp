// The port model, the links to the GNSS board, the CAN seam and the serial driver.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>

#include <filesystem>
#include <functional>
#include <thread>
#include <vector>

#include "platform/ports/can_ports.h"
#include "platform/ports/serial_driver.h"
#include "platform/ports/serial_ports.h"
#include "platform/ports/shm_ports.h"
#include "platform/rtos.h"
#include "temp_run_dir.h"
#include "unit/own_process.h"
#include "unit/port_fakes.h"

namespace {

using testports::CaptureOut;
using testports::ScriptPort;

std::vector<std::string> g_lines;  // "port:text", "!" in front of one reported too long
std::string g_trace;

TEST(Input, LinesAreCutAtCrOrLfAndAnOverLongLineIsDroppedUpToItsEndNeverCutIntoAnother) {
  CmdHandler::setSink([](const char* text, int len, int port, bool tooLong) {
    g_lines.push_back((tooLong ? "!" : "") + std::to_string(port) + ":" + std::string(text, static_cast<std::size_t>(len)));
  });
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

// No hooks when nothing changes; echo sends every byte back.
TEST(Input, ModeChangesRunTheHooksAroundTheSwitchAndTheRestGoesToTheNewMode) {
  g_trace.clear();
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

TEST(Input, APortStartsInItsStoredModeOrInCommandModeForAValueThatIsNoMode) {
  static int stored;
  InPorts::storedMode_ = [](int) { return stored; };
  const std::pair<int, int> cases[] = {
      {InPort::M_RTCM3, InPort::M_RTCM3}, {InPort::M_ZRT, InPort::M_ZRT}, {InPort::MODE_NUM, InPort::M_CMD}, {-1, InPort::M_CMD}};
  for (auto [s, mode] : cases) {
    stored = s;
    EXPECT_EQ(ScriptPort(IOP_SER_B, false).mode(), mode) << s;
  }
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
void* patientWriter(void* port) { return static_cast<StallingOut*>(port)->write("@@", 2, rtos::kForever), nullptr; }

// The one that may not wait is the epoch's output.
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

// Reads until `want` bytes came or 50 reads in a row gave nothing (bounded, a guard only).
std::string readSome(std::size_t want, const std::function<int(char*, int)>& read) {
  std::string got;
  char buf[4096];
  for (int idle = 0, n = 0; got.size() < want && idle < 50; idle = n > 0 ? 0 : idle + 1)
    if ((n = read(buf, sizeof buf)) > 0) got.append(buf, static_cast<std::size_t>(n));
  return got;
}
auto fromFd(int fd) {
  return [fd](char* d, int n) { pollfd p{fd, POLLIN, 0}; return poll(&p, 1, 20) > 0 ? static_cast<int>(::read(fd, d, n)) : 0; };
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
    sockaddr_un a{AF_UNIX, {}};
    std::snprintf(a.sun_path, sizeof a.sun_path, "%s", iopGetName(IOP_SHM_A + link));
    ::unlink(a.sun_path);
    return ::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 && ::listen(s, 4) == 0 ? s : -1;
  }
  // Runs connection rounds until the program connects to the listener (bounded, a guard only);
  // the board's end of the link, or -1.
  static int accepted(int listener) {
    for (int i = 0; i < 500; ++i) {
      shmCheckLinks();
      pollfd p{listener, POLLIN, 0};
      if (poll(&p, 1, 10) > 0) return ::accept(listener, nullptr, nullptr);
    }
    return -1;
  }
};

// Down, reads time out and writes are dropped and counted; what the board sent before it left is still read.
TEST_F(ShmPorts, ALateOrRestartedListenerIsConnectedAndBytesFlowBothWays) {
  InPort* in = InPorts::ports_[IOP_SHM_A];
  OutPort* out = OutPorts::ports_[IOP_SHM_A];
  char b[32] = {};
  EXPECT_EQ(in->read(b, sizeof b, 2), 0);
  EXPECT_EQ(out->write("abc", 3, 0), 0);
  EXPECT_EQ(out->dropped(), 3u);
  for (std::uint32_t round = 1; round <= 3; ++round) {
    SCOPED_TRACE(round);
    const int l = listenAt(0), peer = accepted(l);
    ASSERT_GE(peer, 0);
    EXPECT_EQ(out->write("%CON%\n", 6, 10), 6);
    EXPECT_EQ(readSome(6, fromFd(peer)), "%CON%\n");
    ASSERT_EQ(::write(peer, "RE005%CON%\r\nlast", 16), 16);
    ::close(peer), ::close(l), ::unlink(iopGetName(IOP_SHM_A));
    shmCheckLinks();
    EXPECT_EQ(readSome(16, [in](char* d, int n) { return in->read(d, n, 10); }), "RE005%CON%\r\nlast");
  }
}

// A board that stops reading gets only part of a message larger than every socket buffer.
TEST_F(ShmPorts, AMessageCutOffPartWayDropsTheLinkSoNoLineIsGluedToTheNext) {
  const int l = listenAt(1), peer = accepted(l);
  ASSERT_GE(peer, 0);
  const std::string big(4 << 20, 'x');
  OutPort* out = OutPorts::ports_[IOP_SHM_A + 1];
  const int n = out->write(big.data(), static_cast<int>(big.size()), 1);
  EXPECT_TRUE(n > 0 && n < static_cast<int>(big.size())) << n;
  timeval guard{5, 0};  // turns a link left open into a failure instead of a hang
  ::setsockopt(peer, SOL_SOCKET, SO_RCVTIMEO, &guard, sizeof guard);
  std::vector<char> b(65536);
  ssize_t r = 0, got = 0;
  while ((r = ::read(peer, b.data(), b.size())) > 0) got += r;
  EXPECT_EQ(std::pair(r, got), std::pair(ssize_t{0}, static_cast<ssize_t>(n)));
  ::close(peer);
  const int peer2 = accepted(l);
  ASSERT_GE(peer2, 0);
  EXPECT_EQ(out->write("set,b,2\n", 8, 10), 8);
  EXPECT_EQ(readSome(8, fromFd(peer2)), "set,b,2\n");
}

TEST(CanPorts, TheSeamCarriesTheBytes) {
  g_trace.clear();
  canPortsInitOnce();
  char b[4];
  EXPECT_EQ(InPorts::ports_[IOP_CAN_A]->read(b, sizeof b, 0), 0);  // no seam yet
  EXPECT_EQ(OutPorts::ports_[IOP_CAN_B]->write("x", 1, 0), 0);
  canReadHook = [](int can, void* buf, int max, int) { return max < 1 ? 0 : (static_cast<char*>(buf)[0] = static_cast<char>('0' + can), 1); };
  canWriteHook = [](int can, const void* d, int len, int) { return g_trace += std::to_string(can) + std::string(static_cast<const char*>(d), len), len; };
  EXPECT_EQ(InPorts::ports_[IOP_CAN_B]->read(b, sizeof b, 0), 1);
  EXPECT_EQ(b[0], '1');
  EXPECT_EQ(OutPorts::ports_[IOP_CAN_A]->write("frame", 5, 0), 5);
  EXPECT_EQ(g_trace, "0frame");
}

using Serial = TempRunDir;

// A pseudo-terminal the test holds: its controlling side, and the device's name in `slave`.
int openTerminal(char (&slave)[128]) {
  const int m = posix_openpt(O_RDWR | O_NOCTTY);
  return m >= 0 && grantpt(m) == 0 && unlockpt(m) == 0 && ptsname_r(m, slave, sizeof slave) == 0 ? m : -1;
}

// Port 1 is mapped to a terminal the test holds and port 2 is listed as a debug port. Port 5's
// terminal is the console (named without /dev/ on the kernel's command line); port 3 is mapped deep
// in the file system, a path longer than any short buffer, and is both a debug port and the console.
// The serial ports open once and their output tasks never end: each test has a process of its own.
TEST_F(Serial, PortsArePublishedMappedOrLeftToDebugAndConsole) {
  testproc::inOwnProcess([this] {
    char mapped[128], console[128];
    const int master = openTerminal(mapped), consoleMaster = openTerminal(console);
    ASSERT_TRUE(master >= 0 && consoleMaster >= 0);
    std::string deep = dir_;
    for (int i = 0; i < 12; ++i) deep += "/" + std::string(40, static_cast<char>('a' + i));
    writeFile(deep + "/ttyP3", "");
    writeFile("host/etc/vorla/dbg/prt/2", "");
    writeFile("host/etc/vorla/dbg/prt/3", "");
    writeFile("host/proc/cmdline", "quiet console=ttyS9 console=" + std::string(console + 5) + ",115200n8 console=" + deep + "/ttyP3\n");
    std::filesystem::create_directories("host/dev/vorla/prt");
    ASSERT_EQ(symlink(mapped, "host/dev/vorla/prt/1") | symlink(console, "host/dev/vorla/prt/5") |
                  symlink((deep + "/ttyP3").c_str(), "host/dev/vorla/prt/3"), 0);
    testing::internal::CaptureStderr();
    EXPECT_EQ(serialPortsInitOnce(), 3);
    const std::string err = testing::internal::GetCapturedStderr();
    for (const char* line : {"$$RS: disable debug port 2 [dev/ser/c]\n", "$$RS: disable debug and console port 3 [host/dev/vorla/prt/3]\n",
                             "$$RS: disable console port 5 [host/dev/vorla/prt/5]\n"})
      EXPECT_NE(err.find(line), std::string::npos) << line << err;
    struct stat st;
    const std::pair<const char*, bool> links[] = {{"dev/ser/a", true}, {"dev/ser/b", false}, {"dev/ser/c", false}, {"dev/ser/d", false}, {"dev/usb/a", true}};
    for (auto [link, there] : links) EXPECT_EQ(lstat(link, &st) == 0 && S_ISLNK(st.st_mode), there) << link;
    EXPECT_FALSE(rsIsOpen(2) || rsIsOpen(3) || rsIsOpen(5) || InPorts::ports_[IOP_SER_C] || OutPorts::ports_[IOP_SER_C]);
    EXPECT_TRUE(rsIsOpen(1) && InPorts::ports_[IOP_SER_A]);
    EXPECT_EQ(rsWrite(2, "x", 1, 0, 0), 0);

    ASSERT_TRUE(rsOutProcInit(15));
    // Both directions of a published port, byte for byte (raw mode: no CR/LF rewriting).
    const int user = open("dev/ser/a", O_RDWR | O_NOCTTY);
    ASSERT_GE(user, 0);
    const std::string out("RE005%abc%\r\n\x00\xff\n\r", 16), in("print,/par/x\r\n\x03", 15);
    EXPECT_EQ(OutPorts::stream(IOP_SER_A).write(out.data(), 16, 0), 16);
    EXPECT_EQ(readSome(out.size(), fromFd(user)), out);
    EXPECT_TRUE(rsDrain(0, 100)) << "the ring is empty and the reader took everything";
    EXPECT_EQ(rsWrite(4, "unread", 6, 0, 0), 6);
    EXPECT_FALSE(rsDrain(4, 50)) << "nobody reads dev/usb/a: the bytes wait in the terminal";
    ASSERT_EQ(write(user, in.data(), in.size()), static_cast<ssize_t>(in.size()));
    EXPECT_EQ(readSome(in.size(), [](char* d, int n) { return rsRead(0, d, n, 10, 0); }), in);
    EXPECT_EQ(rsWrite(1, "map\n", 4, 0, 0), 4);
    EXPECT_EQ(readSome(4, fromFd(master)), "map\n");
  });
}

// Dropped whole, also with several writers at once; a drain keeps to its time limit while a
// writer goes on adding; with the output task running and nobody reading, writers still never wait.
TEST_F(Serial, TransmitRingsDropWholeAndNeverHoldAWriter) {
  testproc::inOwnProcess([] {
    ASSERT_EQ(rsInitOnce(), 5);
    const std::string block(kRsTxRingSize + 1, 'a');
    std::thread writers[4];
    std::atomic<long> tooBigTaken{0};
    for (auto& w : writers)
      w = std::thread([&block, &tooBigTaken] {
        for (int i = 0; i < 20000; ++i) tooBigTaken += rsWrite(1, block.data(), kRsTxRingSize + 1, 0, 0);
      });
    for (auto& w : writers) w.join();
    EXPECT_EQ(tooBigTaken.load(), 0);
    EXPECT_EQ(rsWrite(0, block.data(), kRsTxRingSize, 0, 0), kRsTxRingSize);
    EXPECT_EQ(rsWrite(0, "b", 1, 0, 0), 0);
    EXPECT_EQ(rsWrite(0, "cc", 2, 1, 0), 0);  // a short wait does not make room either

    ASSERT_EQ(rsWrite(2, "first", 5, 0, 0), 5);
    std::atomic<bool> done{false};
    std::atomic<int> refused{0};
    std::thread writer([&done, &refused] {
      for (; !done.load(); Task::sleep(1)) refused += rsWrite(2, "0123456789abcdef", 16, 0, 0) == 0;
    });
    EXPECT_FALSE(rsDrain(2, 10));
    done = true;
    writer.join();
    EXPECT_EQ(refused.load(), 0) << "a drain that waited past its limit lets the ring fill";

    ASSERT_TRUE(rsOutProcInit(15));
    int whole = 0, refused4 = 0;
    for (int i = 0; i < 200; ++i) {
      const int n = rsWrite(4, block.data(), 1000, 0, 0);
      whole += n == 1000, refused4 += n == 0;
    }
    EXPECT_EQ(whole + refused4, 200) << "each write taken whole or not at all";
    EXPECT_GT(refused4, 0);
  });
}

TEST_F(Serial, StateWordsAndTheRs422LineDriversKeptApart) {
  EXPECT_EQ(rsBaudOfCode(rsGetState(0) & 0xFF), 115200);
  EXPECT_TRUE(rsSetState(0, static_cast<unsigned>(rsCodeOfBaud(9600))));
  EXPECT_EQ(rsBaudOfCode(rsGetState(0) & 0xFF), 9600);
  EXPECT_FALSE(rsSetState(0, 0x55) || rsSetState(6, 3));  // no such speed, no such port
  EXPECT_EQ(rsCodeOfBaud(12345), -1);
  EXPECT_TRUE(rsSetState(5, 4873));  // the power controller's line
  EXPECT_EQ(rsGetState(5), 4873u);
  EXPECT_FALSE(rsSetPortType(1, true));  // only ports C and D have them
  EXPECT_TRUE(rsSetPortType(2, true));
  EXPECT_EQ(rsGetState(2), kRsDefaultState);
  EXPECT_TRUE(rsSetPortType(3, false));
  EXPECT_EQ(rsGetState(3), kRsDefaultState);
}

}  // namespace
