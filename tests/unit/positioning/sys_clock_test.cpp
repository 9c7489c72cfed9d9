// Clock-quality store for the precision time service.
//
// Truth for the UTC offsets: GPS time was set equal to UTC on 6 January 1980, when TAI - UTC
// was 19 s, so TAI - GPS is always 19 s; since 1 January 2017 TAI - UTC is 37 s and GPS - UTC
// 18 s (IERS Bulletin C).
#include "positioning/sys_clock.h"

#include <gtest/gtest.h>

#include "positioning/rcv_time_scales.h"
#include "positioning/time_scales.h"

namespace {

using INT_SCALES = RcvTimeScales::INT_SCALES;

SysTime g_now{};
void fakeClock(SysTime& t) { t = g_now; }

class SysClock : public ::testing::Test {
 protected:
  void SetUp() override {
    g_now.assign(1700000000, 0);
    TimeScales::setRealClock(fakeClock);
    sysClockInitOnce();
  }
  void TearDown() override { TimeScales::setRealClock(nullptr); }
  // Publishes an epoch whose GPS scale carries `gpsFlags` and `leap` GPS - UTC seconds.
  void publish(int gpsFlags, int leap = 18) {
    INT_SCALES s{};
    s.ms[0] = 345600000;
    s.sysUtc[0] = leap;
    s.flags[0] = gpsFlags;
    TimeScales::epoch(g_now, ++rcvMs_);
    TimeScales::endUpdate(s, rcvMs_);
  }
  int rcvMs_ = 0;
};

TEST_F(SysClock, RmsIs1000UntilAValidStore) {
  EXPECT_FLOAT_EQ(sysClockGetRms(), 1000.0f);
  EXPECT_FLOAT_EQ(sysClockGetExtrapTime(), 0.0f);
  EXPECT_FALSE(sysClockIsExact());
  sysClockStoreOffs(0, 0, 0.0, 0.0, 2.5f, 3.0f, false);
  EXPECT_FLOAT_EQ(sysClockGetRms(), 1000.0f);
  EXPECT_FLOAT_EQ(sysClockGetExtrapTime(), 0.0f);
  sysClockStoreOffs(0, 0, 0.0, 0.0, 2.5f, 3.0f, true);
  EXPECT_FLOAT_EQ(sysClockGetRms(), 2.5f);
  EXPECT_FLOAT_EQ(sysClockGetExtrapTime(), 3.0f);
  EXPECT_FLOAT_EQ(rms_, 2.5f);
  sysClockInitOnce();
  EXPECT_FLOAT_EQ(sysClockGetRms(), 1000.0f);
}

TEST_F(SysClock, UtcOffsetForTheTimeService) {
  struct Case {
    const char* what;
    int flags;
    int leap;
    int warning;
    int wantOffset;
    bool wantKnown;
  };
  const Case cases[] = {
      {"UTC unknown", 0x40, 18, 0, 19, false},
      {"UTC unknown, offset ignored", 0x540, 17, 1, 19, false},
      {"18 leap seconds known", 0x50, 18, 0, 37, true},
      {"known by the second mark", 0x60, 18, 1, 37, true},
      {"before 2017: 17 leap seconds", 0x70, 17, 0, 36, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    publish(c.flags, c.leap);
    RcvTimeScales::leapWarning = static_cast<std::uint8_t>(c.warning);
    int offset = -1;
    int warning = -1;
    EXPECT_EQ(sysClockGetUtcOffs(offset, warning), c.wantKnown);
    EXPECT_EQ(offset, c.wantOffset);
    EXPECT_EQ(warning, c.warning);
  }
  RcvTimeScales::leapWarning = 0;
}

TEST_F(SysClock, ExactLatches) {
  struct Step {
    int flags;     // GPS scale flags published before the store
    bool valid;    // the clock solution is valid
    bool wantExact;
  };
  const Step steps[] = {
      {0x40, true, false},   // time valid but not exact
      {0xC0, false, false},  // exact, but the solution is not valid: nothing stored
      {0xC0, true, true},    // exact and valid
      {0x40, true, true},    // stays exact
      {0x00, true, true},
  };
  int i = 0;
  for (const Step& s : steps) {
    SCOPED_TRACE(i++);
    publish(s.flags);
    sysClockStoreOffs(0, 0, 0.0, 0.0, 1.0f, 0.0f, s.valid);
    EXPECT_EQ(sysClockIsExact(), s.wantExact);
    EXPECT_EQ(isExact_, s.wantExact ? 1 : 0);
  }
}

}  // namespace
