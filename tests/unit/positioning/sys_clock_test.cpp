#include "positioning/sys_clock.h"

#include <gtest/gtest.h>

#include "positioning/rcv_time_scales.h"
#include "positioning/time_scales.h"
#include "unit/fixed_scales.h"

namespace {

TEST(SysClock, UtcOffsetForTheTimeService) {
  const struct { const char* what; int flags, leap, warning, offset; bool known;
  } cases[] = {
      {"UTC unknown", 0x40, 18, 0, 19, false},
      {"UTC unknown, offset ignored", 0x540, 17, 1, 19, false},
      {"18 leap seconds known", 0x50, 18, 0, 37, true},
      {"known by the second mark", 0x60, 18, 1, 37, true},
      {"before 2017: 17 leap seconds", 0x70, 17, 0, 36, true},
  };
  sysClockInitOnce();
  int rcvMs = 0;
  for (const auto& c : cases) {
    RcvTimeScales::INT_SCALES s{};
    s.sysUtc[0] = c.leap, s.flags[0] = c.flags;
    testscales::publishFixed(s, ++rcvMs);
    RcvTimeScales::leapWarning = static_cast<std::uint8_t>(c.warning);
    int offset = -1, warning = -1;
    EXPECT_EQ(sysClockGetUtcOffs(offset, warning), c.known) << c.what;
    EXPECT_TRUE(offset == c.offset && warning == c.warning) << c.what;
  }
}

}  // namespace
