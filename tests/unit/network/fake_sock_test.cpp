// The wake-up descriptor and the TCP client suspension switch.
#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

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
  static int calls = 0;
  static bool last = false;
  tcpclSetSuspendHook([](bool s) {
    ++calls;
    last = s;
  });
  EXPECT_FALSE(get_tcpcl_suspend());
  set_tcpcl_suspend(true);
  set_tcpcl_suspend(true);
  EXPECT_TRUE(get_tcpcl_suspend());
  EXPECT_EQ(calls, 1);
  EXPECT_TRUE(last);
  set_tcpcl_suspend(false);
  EXPECT_EQ(calls, 2);
  EXPECT_FALSE(last);
}

}  // namespace
