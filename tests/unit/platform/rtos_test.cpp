#include "platform/rtos.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "platform/mono_clock.h"
#include "platform/sys_time.h"

namespace {

struct MailboxProbe {
  MailBoxImp* box;
  std::atomic<int> stage{0};
};

void* sender(void* arg) {
  auto* p = static_cast<MailboxProbe*>(arg);
  static int payload = 42;
  p->stage = 1;
  p->box->put_(&payload);
  p->stage = 2;
  return nullptr;
}

TEST(MailBox, SenderStaysBlockedUntilRelease) {
  MailBoxImp box;
  MailboxProbe probe{&box};
  Task t(20, sender, &probe, "MBXT", 4096);
  t.resume();
  void* item = box.get_(200);
  ASSERT_NE(item, nullptr);
  EXPECT_EQ(*static_cast<int*>(item), 42);
  // The receiver holds the item: the sender must still be inside put_.
  Task::sleep(5);
  EXPECT_EQ(probe.stage.load(), 1);
  box.release();
  pthread_join(t.thread(), nullptr);
  EXPECT_EQ(probe.stage.load(), 2);
}

TEST(MailBox, GetTimesOutWhenEmpty) {
  MailBoxImp box;
  std::uint32_t t0 = MonoClock::ms();
  EXPECT_EQ(box.get_(3), nullptr);
  std::uint32_t waited = MonoClock::ms() - t0;
  EXPECT_GE(waited, 30u);
}

TEST(Semaphores, TimeoutsCountTicks) {
  struct Case {
    const char* what;
    int ticks;
  };
  for (Case c : {Case{"binsem", 2}, Case{"countsem", 4}, Case{"mutex", 3}}) {
    SCOPED_TRACE(c.what);
    std::uint32_t t0 = MonoClock::ms();
    bool got;
    if (std::string(c.what) == "binsem") {
      BinSem s(false);
      got = s.wait(c.ticks);
    } else if (std::string(c.what) == "countsem") {
      CountSem s(0);
      got = s.wait(c.ticks);
    } else {
      Mutex m;
      BinSem held(false), done(false);
      std::thread holder([&] { m.lock(); held.post(); done.wait(); m.unlock(); });
      held.wait();
      t0 = MonoClock::ms();
      got = m.lock(c.ticks);
      done.post();
      holder.join();
    }
    EXPECT_FALSE(got);
    EXPECT_GE(MonoClock::ms() - t0, static_cast<std::uint32_t>(c.ticks * rtos::kTickMs));
  }
}

TEST(Semaphores, BinSemPostIsIdempotentAndCountSemCounts) {
  BinSem b(false);
  b.post();
  b.post();
  EXPECT_TRUE(b.wait(0));
  EXPECT_FALSE(b.wait(0));
  CountSem c(0);
  c.post();
  c.post();
  EXPECT_TRUE(c.wait(0));
  EXPECT_TRUE(c.wait(0));
  EXPECT_FALSE(c.wait(0));
}

TEST(Timer, BusyWaitLastsAtLeastItsTime) {
  std::uint32_t t0 = timerGet();
  timerWait(2000);
  EXPECT_GE(static_cast<std::uint32_t>(timerGet() - t0), 2000u);
}

TEST(SysTime, AssignNormalises) {
  struct Case {
    std::int64_t s, ns;
    std::int32_t wantS, wantNs;
  };
  const Case cases[] = {
      {10, 0, 10, 0},
      {10, 499999999, 10, 499999999},
      {10, 500000000, 11, -500000000},
      {10, 1700000000, 12, -300000000},
      {10, -500000000, 10, -500000000},
      {10, -500000001, 9, 499999999},
      {0, -2300000000, -2, -300000000},
  };
  for (const Case& c : cases) {
    SysTime t;
    t.assign(c.s, c.ns);
    EXPECT_EQ(t.sec, c.wantS) << c.s << " " << c.ns;
    EXPECT_EQ(t.nsec, c.wantNs) << c.s << " " << c.ns;
  }
  SysTime a, b;
  a.assign(100, 250000000);
  b.assign(98, -250000000);
  EXPECT_EQ(a.deltaMs(b), 2500);
  EXPECT_EQ(b.deltaMs(a), -2500);
}

}  // namespace
