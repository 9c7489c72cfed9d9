// Serial driver on the host: pseudo-terminals published in the run directory, the system's port
// map, disabled ports, and transmit rings that drop rather than block.
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <atomic>
#include <string>
#include <thread>

#include "platform/ports/serial_driver.h"
#include "platform/ports/serial_ports.h"
#include "platform/rtos.h"

namespace {

// Each test runs in a fresh directory of its own (and its own process).
class Serial : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/rx_serial_XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
    ASSERT_EQ(chdir(dir_.c_str()), 0);
  }
  void TearDown() override {
    std::string cmd = "rm -rf '" + dir_ + "'";
    (void)!std::system(cmd.c_str());
  }
  static void touch(const std::string& path) {
    std::string cmd = "mkdir -p \"$(dirname '" + path + "')\" && touch '" + path + "'";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
  }
  // Reads from fd until `want` bytes came or nothing more arrives for a second.
  static std::string readFor(int fd, std::size_t want) {
    std::string got;
    char buf[4096];
    while (got.size() < want) {
      pollfd pf{fd, POLLIN, 0};
      if (poll(&pf, 1, 1000) <= 0) break;
      ssize_t n = read(fd, buf, sizeof buf);
      if (n <= 0) break;
      got.append(buf, static_cast<std::size_t>(n));
    }
    return got;
  }
  // A pseudo-terminal the test holds: its controlling side, and the device name in `slave`.
  static int openTerminal(char* slave, std::size_t n) {
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0) return -1;
    if (grantpt(master) != 0 || unlockpt(master) != 0 || ptsname_r(master, slave, n) != 0) {
      close(master);
      return -1;
    }
    return master;
  }
  std::string dir_;
};

TEST_F(Serial, PortsArePublishedMappedOrDisabled) {
  // Port 1 is mapped to a terminal the test holds; port 2 is listed as a debug port.
  char slave[128];
  const int master = openTerminal(slave, sizeof slave);
  ASSERT_GE(master, 0);
  ASSERT_EQ(std::system("mkdir -p host/dev/vorla/prt"), 0);
  ASSERT_EQ(symlink(slave, "host/dev/vorla/prt/1"), 0);
  touch("host/etc/vorla/dbg/prt/2");

  testing::internal::CaptureStderr();
  EXPECT_EQ(serialPortsInitOnce(), 4);
  std::string err = testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("$$RS: disable debug port 2 [dev/ser/c]"), std::string::npos) << err;

  struct stat st;
  EXPECT_EQ(lstat("dev/ser/a", &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
  EXPECT_NE(lstat("dev/ser/b", &st), 0);  // the map's device is used instead
  EXPECT_NE(lstat("dev/ser/c", &st), 0);  // disabled
  EXPECT_EQ(lstat("dev/ser/d", &st), 0);
  EXPECT_EQ(lstat("dev/usb/a", &st), 0);
  EXPECT_FALSE(rsIsOpen(2));
  EXPECT_FALSE(rsIsOpen(5));
  EXPECT_NE(InPorts::ports_[IOP_SER_A], nullptr);
  EXPECT_EQ(InPorts::ports_[IOP_SER_C], nullptr);
  EXPECT_EQ(OutPorts::ports_[IOP_SER_C], nullptr);
  EXPECT_EQ(rsWrite(2, "x", 1, 0, 0), 0);

  ASSERT_TRUE(rsOutProcInit(15));
  // Both directions of a published port, byte for byte (raw mode: no CR/LF rewriting).
  int user = open("dev/ser/a", O_RDWR | O_NOCTTY);
  ASSERT_GE(user, 0);
  const std::string out = "RE005%abc%\r\n\x00\xff\n\r";
  EXPECT_EQ(OutPorts::stream(IOP_SER_A).write(out.data(), static_cast<int>(out.size()), 0),
            static_cast<int>(out.size()));
  EXPECT_EQ(readFor(user, out.size()), out);
  // Drained: the ring is empty and the reader has taken everything.
  EXPECT_TRUE(rsDrain(0, 100));
  // Nobody reads dev/usb/a: what was written stays in the terminal and the drain says so.
  EXPECT_EQ(rsWrite(4, "unread", 6, 0, 0), 6);
  EXPECT_FALSE(rsDrain(4, 50));
  const std::string in = "print,/par/x\r\n\x03";
  ASSERT_EQ(write(user, in.data(), in.size()), static_cast<ssize_t>(in.size()));
  std::string got;
  char buf[64];
  for (int i = 0; i < 50 && got.size() < in.size(); ++i) {
    int n = rsRead(0, buf, sizeof buf, 10, 0);
    if (n > 0) got.append(buf, static_cast<std::size_t>(n));
  }
  EXPECT_EQ(got, in);
  // The mapped port writes to the map's device.
  EXPECT_EQ(rsWrite(1, "map\n", 4, 0, 0), 4);
  EXPECT_EQ(readFor(master, 4), "map\n");
  close(user);
  close(master);
}

TEST_F(Serial, TheSystemConsoleIsNotAPort) {
  char slave[128];
  const int master = openTerminal(slave, sizeof slave);
  ASSERT_GE(master, 0);
  ASSERT_EQ(std::system("mkdir -p host/dev/vorla/prt host/proc host/etc/vorla/dbg/prt"), 0);
  ASSERT_EQ(symlink(slave, "host/dev/vorla/prt/3"), 0);
  touch("host/etc/vorla/dbg/prt/3");
  FILE* f = std::fopen("host/proc/cmdline", "w");
  ASSERT_NE(f, nullptr);
  std::fprintf(f, "quiet console=ttyS9 console=%s,115200n8 root=/dev/mmcblk0p2\n", slave + 5);
  std::fclose(f);
  testing::internal::CaptureStderr();
  EXPECT_EQ(rsInitOnce(), 4);
  std::string err = testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("$$RS: disable debug and console port 3 [host/dev/vorla/prt/3]"),
            std::string::npos)
      << err;
  EXPECT_FALSE(rsIsOpen(3));
  EXPECT_TRUE(rsIsOpen(0));
  close(master);
}

// A port map entry may lead anywhere in the file system: a device whose full path is longer
// than any short buffer is still opened, or recognised as the console.
TEST_F(Serial, MappedDevicesWithLongPathsAreOpenedOrRecognisedAsTheConsole) {
  std::string deep = dir_;
  for (int i = 0; i < 12; ++i) deep += "/" + std::string(40, static_cast<char>('a' + i));
  ASSERT_GT(deep.size(), 500u);
  touch(deep + "/ttyP1");
  touch(deep + "/ttyP3");
  ASSERT_EQ(std::system("mkdir -p host/dev/vorla/prt host/proc"), 0);
  ASSERT_EQ(symlink((deep + "/ttyP1").c_str(), "host/dev/vorla/prt/1"), 0);
  ASSERT_EQ(symlink((deep + "/ttyP3").c_str(), "host/dev/vorla/prt/3"), 0);
  FILE* f = std::fopen("host/proc/cmdline", "w");
  ASSERT_NE(f, nullptr);
  std::fprintf(f, "quiet console=%s/ttyP3,115200n8\n", deep.c_str());
  std::fclose(f);
  testing::internal::CaptureStderr();
  EXPECT_EQ(rsInitOnce(), 4);
  std::string err = testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("$$RS: disable console port 3"), std::string::npos) << err;
  EXPECT_TRUE(rsIsOpen(1));
  EXPECT_FALSE(rsIsOpen(3));
}

TEST_F(Serial, AFullRingDropsAndCountsInsteadOfWaiting) {
  ASSERT_EQ(rsInitOnce(), 5);
  // No output task yet: nothing drains the ring.
  std::string block(kRsTxRingSize, 'a');
  EXPECT_EQ(rsWrite(0, block.data(), kRsTxRingSize, 0, 0), kRsTxRingSize);
  EXPECT_EQ(rsWrite(0, "b", 1, 0, 0), 0);
  EXPECT_EQ(rsWrite(0, "cc", 2, 1, 0), 0);  // a short wait does not make room either
  EXPECT_EQ(rsDropped(0), 3u);
  EXPECT_EQ(rsWrite(3, block.data(), kRsTxRingSize + 1, 0, 0), 0);  // never half a message
  EXPECT_EQ(rsDropped(3), static_cast<std::uint32_t>(kRsTxRingSize + 1));

  // With the output task running and nobody reading the terminal, writers still never wait.
  ASSERT_TRUE(rsOutProcInit(15));
  std::uint32_t taken = 0;
  const std::uint32_t before = rsDropped(4);
  for (int i = 0; i < 200; ++i) taken += static_cast<std::uint32_t>(rsWrite(4, block.data(), 1000, 0, 0));
  EXPECT_EQ(taken + rsDropped(4) - before, 200000u);
  EXPECT_GT(rsDropped(4), before);
}

TEST_F(Serial, DropsFromWritersAtTheSameTimeAreAllCounted) {
  ASSERT_EQ(rsInitOnce(), 5);
  // Messages larger than the ring never fit: every byte of each is counted as dropped, also
  // when several writers hit the port at once.
  constexpr int kWriters = 4;
  constexpr int kRounds = 20000;
  static const std::string big(kRsTxRingSize + 1, 'x');
  std::thread writers[kWriters];
  for (auto& w : writers) {
    w = std::thread([] {
      for (int i = 0; i < kRounds; ++i) rsWrite(1, big.data(), static_cast<int>(big.size()), 0, 0);
    });
  }
  for (auto& w : writers) w.join();
  EXPECT_EQ(rsDropped(1), static_cast<std::uint32_t>(kWriters) * kRounds * big.size());
}

TEST_F(Serial, DrainGivesUpAtItsTimeoutWhileWritersKeepAdding) {
  ASSERT_EQ(rsInitOnce(), 5);
  // No output task: the ring only grows. A writer keeps adding small pieces until the drain
  // has given up; a drain that waited past its timeout would let the ring fill and drop.
  ASSERT_EQ(rsWrite(0, "first", 5, 0, 0), 5);
  std::atomic<bool> done{false};
  std::thread writer([&done] {
    while (!done.load()) {
      rsWrite(0, "0123456789abcdef", 16, 0, 0);
      Task::sleep(1);
    }
  });
  EXPECT_FALSE(rsDrain(0, 10));
  done = true;
  writer.join();
  EXPECT_EQ(rsDropped(0), 0u);
}

TEST_F(Serial, StateWordsAndPortType) {
  ASSERT_EQ(rsInitOnce(), 5);
  EXPECT_EQ(rsGetState(0), kRsDefaultState);
  EXPECT_EQ(rsBaudOfCode(rsGetState(0) & 0xFF), 115200);
  EXPECT_TRUE(rsSetState(0, static_cast<unsigned>(rsCodeOfBaud(9600))));
  EXPECT_EQ(rsBaudOfCode(rsGetState(0) & 0xFF), 9600);
  EXPECT_FALSE(rsSetState(0, 0x55));  // no such speed
  EXPECT_FALSE(rsSetState(6, 3));
  EXPECT_TRUE(rsSetState(5, 4873));  // the power controller's line
  EXPECT_EQ(rsGetState(5), 4873u);
  EXPECT_FALSE(rsSetPortType(1, true));
  EXPECT_TRUE(rsSetPortType(2, true));
  EXPECT_TRUE(rsIsRs422(2));
  EXPECT_TRUE(rsSetPortType(2, false));
  EXPECT_FALSE(rsIsRs422(2));
  EXPECT_TRUE(rsFlush(3, 0));
  EXPECT_FALSE(rsFlush(-1, 0));
  EXPECT_EQ(rsCodeOfBaud(12345), -1);
}

}  // namespace
