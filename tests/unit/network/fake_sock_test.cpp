// The wake-up descriptor and the TCP client suspension switch.
#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

#include <string>

#include "network/fake_sock.h"
#include "network/tcpcl_suspend.h"

namespace {

bool readable(int fd) {
  pollfd p{fd, POLLIN, 0};
  return ::poll(&p, 1, 0) == 1 && (p.revents & POLLIN);
}

TEST(FakeSock, WakeupMakesReadableCleanupDrains) {
  int fd = fakeSockCreate();
  ASSERT_GE(fd, 0);
  EXPECT_FALSE(readable(fd));
  fakeSockWakeup(fd);
  fakeSockWakeup(fd);
  EXPECT_TRUE(readable(fd));
  fakeSockCleanup(fd);
  EXPECT_FALSE(readable(fd));
  fakeSockCleanup(fd);  // nothing to drain: returns at once
  fakeSockWakeup(-1);
  fakeSockCleanup(-1);
  ::close(fd);
}

TEST(TcpclSuspend, HookSeesOnlyChanges) {
  static std::string seen;
  set_tcpcl_suspend(false);
  seen.clear();
  tcpclSuspendHook = [](bool s) { seen += s ? '1' : '0'; };
  for (bool s : {true, true, false, false, true}) set_tcpcl_suspend(s);
  EXPECT_EQ(seen, "101");
  EXPECT_TRUE(get_tcpcl_suspend());
  tcpclSuspendHook = nullptr;
}

}  // namespace
