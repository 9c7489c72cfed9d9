// Clock-quality store for the precision time service, and the leaky mean. GPS time was set equal to UTC on 6 January 1980, when
// TAI - UTC was 19 s, so TAI - GPS is always 19 s; since 1 January 2017 TAI - UTC is 37 s and GPS - UTC 18 s
// (IERS Bulletin C).
#include "positioning/sys_clock.h"

#include <gtest/gtest.h>

#include <vector>

#include "positioning/leaky_filter.h"
#include "positioning/rcv_time_scales.h"
#include "positioning/time_scales.h"

namespace {

SysTime g_now{};

class SysClock : public ::testing::Test {
 protected:
  void SetUp() override {
    g_now.assign(1700000000, 0);
    TimeScales::setRealClock([](SysTime& t) { t = g_now; });
    sysClockInitOnce();
  }
  void TearDown() override { TimeScales::setRealClock(nullptr); }
  void publish(int gpsFlags, int leap = 18) {
    RcvTimeScales::INT_SCALES s{};
    s.sysUtc[0] = leap, s.flags[0] = gpsFlags;
    TimeScales::epoch(g_now, ++rcvMs_);
    TimeScales::endUpdate(s, rcvMs_);
  }
  int rcvMs_ = 0;
};

TEST_F(SysClock, UtcOffsetForTheTimeService) {
  const struct { const char* what; int flags, leap, warning, offset; bool known; } cases[] = {
      {"UTC unknown", 0x40, 18, 0, 19, false},          {"UTC unknown, offset ignored", 0x540, 17, 1, 19, false},
      {"18 leap seconds known", 0x50, 18, 0, 37, true}, {"known by the second mark", 0x60, 18, 1, 37, true},
      {"before 2017: 17 leap seconds", 0x70, 17, 0, 36, true},
  };
  for (const auto& c : cases) {
    publish(c.flags, c.leap);
    RcvTimeScales::leapWarning = static_cast<std::uint8_t>(c.warning);
    int offset = -1, warning = -1;
    EXPECT_EQ(sysClockGetUtcOffs(offset, warning), c.known) << c.what;
    EXPECT_TRUE(offset == c.offset && warning == c.warning) << c.what;
  }
}

// The RMS is 1000 until a valid solution is stored; exactness latches once one meets an exact receiver time.
TEST_F(SysClock, RmsAndExactnessFollowValidSolutions) {
  const struct { int flags; bool valid; float rms; bool exact; } steps[] = {
      {0x40, false, 1000.0f, false}, {0x40, true, 2.5f, false}, {0xC0, false, 2.5f, false},
      {0xC0, true, 1.0f, true},      {0x40, true, 3.0f, true},  {0x00, true, 4.0f, true},
  };
  int i = 0;
  for (const auto& s : steps) {
    publish(s.flags);
    sysClockStoreOffs(0, 0, 0.0, 0.0, s.valid ? s.rms : 77.0f, s.valid ? 2 * s.rms : 77.0f, s.valid);
    EXPECT_FLOAT_EQ(sysClockGetRms(), s.rms) << i;
    EXPECT_FLOAT_EQ(sysClockGetExtrapTime(), s.rms == 1000.0f ? 0.0f : 2 * s.rms) << i;
    EXPECT_EQ(sysClockIsExact(), s.exact) << i++;
  }
  sysClockInitOnce();
  EXPECT_TRUE(sysClockGetRms() == 1000.0f && !sysClockIsExact());
}

// The exact mean up to the length, then mean += (x - mean) / length; a shorter length takes effect at once.
TEST(LeakyFilter, ExactMeanThenExponentialMean) {
  struct Step { double x, mean; int n, newLength = 0; };
  const struct { int length; std::vector<Step> steps; } cases[] = {
      {5, {{1, 1, 1}, {2, 1.5, 2}, {3, 2, 3}}},
      {1, {{4, 4, 1}, {-2, -2, 1}, {7.5, 7.5, 1}}},
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
