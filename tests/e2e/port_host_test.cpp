// The host stand-ins of the serial ports: links published before the banner, the system's port
// map and disabled ports, and a reader that never reads holding up nobody.
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <string>

#include "e2e/harness.h"
#include "e2e/port_reader.h"

namespace {

TEST(PortHost, LinksArePublishedBeforeTheBanner) {
  e2e::RunDir dir;
  e2e::Rxengine rx(dir);
  ASSERT_TRUE(rx.start());
  // Watch for the banner and look at the directory the moment it appears.
  const char* const links[] = {"dev/ser/a", "dev/ser/b", "dev/ser/c", "dev/ser/d", "dev/usb/a"};
  bool allThere = false;
  ASSERT_TRUE(e2e::waitUntil([&] {
    std::string err = rx.stderrText();
    if (err.find(e2e::kReadyText) == std::string::npos) return false;
    allThere = true;
    for (const char* l : links) allThere = allThere && dir.exists(l);
    return true;
  }));
  for (const char* l : links) {
    EXPECT_TRUE(dir.exists(l)) << l;
    char target[256] = {};
    ASSERT_GT(readlink(dir.file(l).c_str(), target, sizeof target - 1), 0) << l;
    EXPECT_EQ(std::string(target).rfind("/dev/pts/", 0), 0u) << target;
  }
  EXPECT_TRUE(allThere);
}

TEST(PortHost, PortMapAndDisabledPorts) {
  e2e::RunDir dir;
  // Port 1 (B) is taken from the map: a terminal the test holds the other end of.
  int master = posix_openpt(O_RDWR | O_NOCTTY);
  ASSERT_GE(master, 0);
  ASSERT_EQ(grantpt(master), 0);
  ASSERT_EQ(unlockpt(master), 0);
  char slave[128];
  ASSERT_EQ(ptsname_r(master, slave, sizeof slave), 0);
  ASSERT_TRUE(dir.write("host/dev/vorla/prt/.keep", ""));
  ASSERT_EQ(symlink(slave, dir.file("host/dev/vorla/prt/1").c_str()), 0);
  // Port 3 (D) is a debug port.
  ASSERT_TRUE(dir.write("host/etc/vorla/dbg/prt/3", ""));
  e2e::Rxengine rx(dir);
  ASSERT_TRUE(rx.start());
  ASSERT_TRUE(rx.waitReady()) << rx.stderrText();
  EXPECT_NE(rx.stderrText().find("$$RS: disable debug port 3 [dev/ser/d]\n"), std::string::npos)
      << rx.stderrText();
  EXPECT_FALSE(dir.exists("dev/ser/d"));
  EXPECT_FALSE(dir.exists("dev/ser/b"));
  EXPECT_TRUE(dir.exists("dev/ser/a"));
  // Commands on the mapped device are answered there.
  {
    e2e::PortReader mapped(slave);
    ASSERT_TRUE(mapped.ok());
  }
  termios t;
  ASSERT_EQ(tcgetattr(master, &t), 0);
  cfmakeraw(&t);
  ASSERT_EQ(tcsetattr(master, TCSANOW, &t), 0);
  ASSERT_EQ(write(master, "%m%print,/par/rcv/ver\r", 22), 22);
  std::string got;
  ASSERT_TRUE(e2e::waitUntil([&] {
    char buf[256];
    pollfd pf{master, POLLIN, 0};
    if (poll(&pf, 1, 0) > 0) {
      ssize_t n = read(master, buf, sizeof buf);
      if (n > 0) got.append(buf, static_cast<std::size_t>(n));
    }
    return got.find("\r\n") != std::string::npos;
  })) << got;
  EXPECT_EQ(got, "RE008%m%0.1.0\r\n");
  close(master);
}

TEST(PortHost, AReaderThatNeverReadsHoldsUpNobody) {
  e2e::RunDir dir;
  e2e::Rxengine rx(dir);
  ASSERT_TRUE(rx.start());
  ASSERT_TRUE(rx.waitReady()) << rx.stderrText();
  e2e::PortReader silent(dir.file("dev/ser/a"));
  e2e::PortReader other(dir.file("dev/ser/b"));
  ASSERT_TRUE(silent.ok());
  ASSERT_TRUE(other.ok());
  // Far more answers than the terminal and the transmit ring can hold, never read.
  std::string burst;
  for (int i = 0; i < 600; ++i) burst += "print,/par/\r\n";
  ASSERT_TRUE(silent.sendRaw(burst));
  ASSERT_TRUE(silent.sendRaw("%last%\r\n"));
  // The other port is still served, and the silent one goes on taking commands.
  EXPECT_EQ(other.ask("%b%"), "RE003%b%\r\n");
  // Once the reader comes back, drains what is left and asks again, it is answered.
  ASSERT_TRUE(e2e::waitUntil([&] { return silent.pending(300).empty(); }));
  EXPECT_EQ(silent.ask("%again%"), "RE007%again%\r\n");
  EXPECT_TRUE(rx.running());
}

}  // namespace
