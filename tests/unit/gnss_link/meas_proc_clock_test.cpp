// Clock steering from the chain: only an epoch on a whole second with UTC known moves the
// (virtual) system clock.
#include <gtest/gtest.h>

#include <ctime>

#include "gnss_link/meas_proc.h"
#include "platform/rtos_time.h"
#include "positioning/rcv_time_scales.h"

namespace {

// 2024-06-01 (a Saturday), GPS week 268 of cycle 2; `flags` of the GPS scale.
void setEpoch(long t, std::int32_t flags) {
  RcvTimeScales::INT_SCALES& s = RcvTimeScales::Req;
  s = RcvTimeScales::INT_SCALES{};
  s.ms[0] = 6 * 86400000 + static_cast<std::int32_t>(t);
  s.weekDay[0] = 268;
  s.cycle[0] = 2;
  s.sysUtc[0] = 18;
  s.flags[0] = flags;
  RcvTimeScales::rcvRefTime = 0;
}

// One epoch as the raw decoder runs it: announced at its start, the chain at its end.
void epoch(long t, std::int32_t flags) {
  rtosGnssEpoch(static_cast<int>(t));
  setEpoch(t, flags);
  signalMeasReady();
}

TEST(MeasClock, OnlyAWholeSecondWithUtcSteers) {
  msInt = 1000;
  const std::int64_t before = rtosVirtualOffsetNs();
  // 12:00:00.100: not a whole second.
  epoch(43200100, 0x570);
  EXPECT_EQ(rtosVirtualOffsetNs(), before);
  // 12:00:00.000 without UTC known: nothing to steer to.
  epoch(43200000, 0x560);
  EXPECT_EQ(rtosVirtualOffsetNs(), before);
  // 12:00:00.000 with UTC known: the clock (now, years after the epoch's date) is stepped to
  // 2024-06-01 11:59:42 UTC.
  epoch(43200000, 0x570);
  const std::int64_t after = rtosVirtualOffsetNs();
  EXPECT_NE(after, before);
  SysTime now;
  rtosTimeGet(now);
  EXPECT_NEAR(static_cast<double>(now.sec), 1717243182.0, 5.0);
  // The next epoch, 100 ms on, leaves it.
  epoch(43200100, 0x570);
  EXPECT_EQ(rtosVirtualOffsetNs(), after);
}

}  // namespace
