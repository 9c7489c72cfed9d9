// The time service's UTC offset and the leaky mean. TAI - GPS is always 19 s; TAI - UTC is 37 s since 2017
// (IERS Bulletin C).
#include "positioning/sys_clock.h"

#include <gtest/gtest.h>

#include <vector>

#include "positioning/leaky_filter.h"
#include "positioning/rcv_time_scales.h"
#include "positioning/time_scales.h"

namespace {

TEST(SysClock, UtcOffsetForTheTimeService) {
  const struct { const char* what; int flags, leap, warning, offset; bool known; } cases[] = {
      {"UTC unknown", 0x40, 18, 0, 19, false},          {"UTC unknown, offset ignored", 0x540, 17, 1, 19, false},
      {"18 leap seconds known", 0x50, 18, 0, 37, true}, {"known by the second mark", 0x60, 18, 1, 37, true},
      {"before 2017: 17 leap seconds", 0x70, 17, 0, 36, true},
  };
  TimeScales::setRealClock([](SysTime& t) { t.assign(1700000000, 0); });
  sysClockInitOnce();
  int rcvMs = 0;
  for (const auto& c : cases) {
    RcvTimeScales::INT_SCALES s{};
    s.sysUtc[0] = c.leap, s.flags[0] = c.flags;
    SysTime now;
    now.assign(1700000000, 0);
    TimeScales::epoch(now, ++rcvMs);
    TimeScales::endUpdate(s, rcvMs);
    RcvTimeScales::leapWarning = static_cast<std::uint8_t>(c.warning);
    int offset = -1, warning = -1;
    EXPECT_EQ(sysClockGetUtcOffs(offset, warning), c.known) << c.what;
    EXPECT_TRUE(offset == c.offset && warning == c.warning) << c.what;
  }
}

// The exact mean up to the length, then mean += (x - mean) / length; a shorter length takes effect at once.
TEST(LeakyFilter, ExactMeanThenExponentialMean) {
  struct Step { double x, mean; int n, newLength = 0; };
  const struct { int length; std::vector<Step> steps; } cases[] = {
      {5, {{1, 1, 1}, {2, 1.5, 2}, {3, 2, 3}}}, {1, {{4, 4, 1}, {-2, -2, 1}, {7.5, 7.5, 1}}},
      {2, {{2, 2, 1}, {4, 3, 2}, {9, 6, 2}, {0, 3, 2}}},
      {4, {{4, 4, 1}, {4, 4, 2}, {4, 4, 3}, {4, 4, 4}, {8, 5, 4}, {1, 4, 4}}},
      {10, {{1, 1, 1}, {1, 1, 2}, {1, 1, 3}, {3, 2, 2, 2}}},
  };
  for (const auto& c : cases) {
    LeakyFilter f;
    ASSERT_TRUE(f.setLength(c.length));
    int total = 0, k = 0;
    for (const Step& s : c.steps) {
      ASSERT_TRUE(s.newLength == 0 || f.setLength(s.newLength));
      int n = 0;
      EXPECT_DOUBLE_EQ(f.update(s.x, n, total), s.mean) << "length " << c.length << " step " << k;
      EXPECT_TRUE(n == s.n && total == ++k) << "length " << c.length << " step " << k;  // the total is never capped
    }
  }
  LeakyFilter f;
  int n = -5, total = -5;
  EXPECT_TRUE(f.update(3.0, n, total) == 0.0 && n == 0 && total == 0);
  EXPECT_FALSE(f.setLength(0) || f.setLength(-1));
  EXPECT_EQ(f.update(3.0, n), 0.0);
  ASSERT_TRUE(f.setLength(3));
  EXPECT_TRUE(f.update(3.0, n) == 3.0 && n == 1);
}

}  // namespace
