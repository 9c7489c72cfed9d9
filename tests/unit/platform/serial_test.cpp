// Serial driver on the host: pseudo-terminals published in the run directory, the system's port
// map, debug and console ports left alone, and transmit rings that drop rather than block.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/stat.h>

#include <filesystem>
#include <thread>

#include "platform/ports/serial_driver.h"
#include "platform/ports/serial_ports.h"
#include "platform/rtos.h"
#include "temp_run_dir.h"

namespace {

using Serial = TempRunDir;

// Reads until `want` bytes came or nothing more arrives for a second.
std::string readFor(int fd, std::size_t want) {
  std::string got;
  char buf[4096];
  for (pollfd pf{fd, POLLIN, 0}; got.size() < want && poll(&pf, 1, 1000) > 0;) {
    const ssize_t n = read(fd, buf, sizeof buf);
    if (n <= 0) break;
    got.append(buf, static_cast<std::size_t>(n));
  }
  return got;
}

// A pseudo-terminal the test holds: its controlling side, and the device's name in `slave`.
int openTerminal(char (&slave)[128]) {
  const int m = posix_openpt(O_RDWR | O_NOCTTY);
  return m >= 0 && grantpt(m) == 0 && unlockpt(m) == 0 && ptsname_r(m, slave, sizeof slave) == 0 ? m : -1;
}

// Port 1 is mapped to a terminal the test holds and port 2 is listed as a debug port. Port 5's
// terminal is the console (named without /dev/ on the kernel's command line); port 3 is mapped deep
// in the file system, a path longer than any short buffer, and is both a debug port and the console.
TEST_F(Serial, PortsArePublishedMappedOrLeftToDebugAndConsole) {
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
  EXPECT_EQ(readFor(user, out.size()), out);
  EXPECT_TRUE(rsDrain(0, 100)) << "the ring is empty and the reader took everything";
  EXPECT_EQ(rsWrite(4, "unread", 6, 0, 0), 6);
  EXPECT_FALSE(rsDrain(4, 50)) << "nobody reads dev/usb/a: the bytes wait in the terminal";
  ASSERT_EQ(write(user, in.data(), in.size()), static_cast<ssize_t>(in.size()));
  std::string got;
  char buf[64];
  for (int i = 0, n = 0; i < 50 && got.size() < in.size(); ++i)
    if ((n = rsRead(0, buf, sizeof buf, 10, 0)) > 0) got.append(buf, static_cast<std::size_t>(n));
  EXPECT_EQ(got, in);
  EXPECT_EQ(rsWrite(1, "map\n", 4, 0, 0), 4);
  EXPECT_EQ(readFor(master, 4), "map\n");
}

// Writers never wait: a message that does not fit is dropped whole and counted (also with several
// writers at once), a drain keeps to its time limit while a writer goes on adding, and with the
// output task running and nobody reading the terminal writers still never wait.
TEST_F(Serial, TransmitRingsDropAndCountAndNeverHoldAWriter) {
  ASSERT_EQ(rsInitOnce(), 5);
  const std::string block(kRsTxRingSize + 1, 'a');
  std::thread writers[4];
  for (auto& w : writers)
    w = std::thread([&block] { for (int i = 0; i < 20000; ++i) rsWrite(1, block.data(), kRsTxRingSize + 1, 0, 0); });
  for (auto& w : writers) w.join();
  EXPECT_EQ(rsDropped(1), 4u * 20000 * block.size());
  EXPECT_EQ(rsWrite(0, block.data(), kRsTxRingSize, 0, 0), kRsTxRingSize);
  EXPECT_EQ(rsWrite(0, "b", 1, 0, 0), 0);
  EXPECT_EQ(rsWrite(0, "cc", 2, 1, 0), 0);  // a short wait does not make room either
  EXPECT_EQ(rsDropped(0), 3u);

  ASSERT_EQ(rsWrite(2, "first", 5, 0, 0), 5);
  std::atomic<bool> done{false};
  std::thread writer([&done] {
    for (; !done.load(); Task::sleep(1)) rsWrite(2, "0123456789abcdef", 16, 0, 0);
  });
  EXPECT_FALSE(rsDrain(2, 10));
  done = true;
  writer.join();
  EXPECT_EQ(rsDropped(2), 0u) << "a drain that waited past its limit lets the ring fill";

  ASSERT_TRUE(rsOutProcInit(15));
  std::uint32_t taken = 0;
  for (int i = 0; i < 200; ++i) taken += static_cast<std::uint32_t>(rsWrite(4, block.data(), 1000, 0, 0));
  EXPECT_EQ(taken + rsDropped(4), 200000u);
  EXPECT_GT(rsDropped(4), 0u);
}

TEST_F(Serial, StateWordsAndTheRs422LineDriversKeptApart) {
  ASSERT_EQ(rsInitOnce(), 5);
  EXPECT_EQ(rsBaudOfCode(rsGetState(0) & 0xFF), 115200);
  EXPECT_TRUE(rsSetState(0, static_cast<unsigned>(rsCodeOfBaud(9600))));
  EXPECT_EQ(rsBaudOfCode(rsGetState(0) & 0xFF), 9600);
  EXPECT_FALSE(rsSetState(0, 0x55) || rsSetState(6, 3));  // no such speed, no such port
  EXPECT_EQ(rsCodeOfBaud(12345), -1);
  EXPECT_TRUE(rsSetState(5, 4873));  // the power controller's line
  EXPECT_EQ(rsGetState(5), 4873u);
  EXPECT_FALSE(rsSetPortType(1, true));  // only ports C and D have them
  EXPECT_TRUE(rsSetPortType(2, true) && rsIsRs422(2));
  EXPECT_EQ(rsGetState(2), kRsDefaultState);
  EXPECT_TRUE(rsSetPortType(2, false));
  EXPECT_FALSE(rsIsRs422(2));
}

}  // namespace
