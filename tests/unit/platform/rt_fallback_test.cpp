// Without permission for real-time scheduling the tasks still run, on the normal scheduler,
// and the program says so once.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <linux/capability.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>

#include "platform/exit.h"
#include "platform/rtos.h"

namespace {

// Takes away what lets a process use real-time priorities: the capability and the limit.
void dropRealTime() {
  __user_cap_header_struct h{_LINUX_CAPABILITY_VERSION_3, 0};
  __user_cap_data_struct d[2]{};
  if (syscall(SYS_capget, &h, d) == 0) {
    d[CAP_SYS_NICE / 32].effective &= ~(1u << (CAP_SYS_NICE % 32));
    d[CAP_SYS_NICE / 32].permitted &= ~(1u << (CAP_SYS_NICE % 32));
    syscall(SYS_capset, &h, d);
  }
  rlimit none{0, 0};
  setrlimit(RLIMIT_RTPRIO, &none);
}

std::atomic<int> g_ran{0};
void* mark(void*) {
  ++g_ran;
  for (;;) Task::sleep(100);
  return nullptr;
}

TEST(RealTimeFallback, TasksRunOnNormalSchedulerWithOneNotice) {
  ::testing::FLAGS_gtest_death_test_style = "threadsafe";
  auto body = [] {
    dropRealTime();
    static Task a(5, mark, nullptr, "RTA", 4096);
    static Task b(20, mark, nullptr, "RTB", 4096);
    static Task c(30, mark, nullptr, "NRT", 4096);
    a.resume();
    b.resume();
    c.resume();
    for (int i = 0; i < 1000 && g_ran.load() < 3; ++i) Task::sleep(1);
    rxExit(g_ran.load() == 3 && Task::realTimeRefused() ? 0 : 1);
  };
  using ::testing::ContainsRegex;
  EXPECT_EXIT(body(), ::testing::ExitedWithCode(0),
              ::testing::AllOf(ContainsRegex("\\$\\$RT: "), ::testing::Not(ContainsRegex("\\$\\$RT:.*\\$\\$RT:"))));
}

}  // namespace
