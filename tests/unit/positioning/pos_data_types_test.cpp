#include "positioning/data_servers/pos_data_types.h"

#include <gtest/gtest.h>

#include "positioning/data_servers/rtcm_data_types.h"

namespace {


// Ages fold into half a cycle: old data must not come back as fresh.
TEST(PosDataTypes, CorrectionAgesAndTimeouts) {
  constexpr int kNow = 400000000;  // ms of week (and, for GLONASS, taken within the day below)
  const struct { int system, now; double ageS; bool tagValid, fresh; } rows[] = {
      {0, kNow, 30.0, true, true},       {0, kNow, 60.0, true, true},      {0, kNow, 60.001, true, false},
      {0, kNow, 302401.0, true, false},  {0, kNow, -1.13, true, true},     {0, kNow, -10.0, true, false},
      {1, 80000000, 43201.0, true, false}, {0, kNow, 0.0, false, false}, {0, 1000, 30.0, true, true}};
  RTCMData::SatCorrectionType::set_DataTimeout(60, 600);
  for (const auto& r : rows) {
    const int cycleMs = SYS_CYCLE_SEC[r.system] * 1000;
    const int tagMs = ((r.now - static_cast<int>(r.ageS * 1000)) % cycleMs + cycleMs) % cycleMs;
    RTCMData::SatCorrectionType c;
    c.init(), c.set_ReadyRangeCorr(7, 2, 1);
    RTCMData::set_TimeTag(c.ulRangeTime[2][1], r.tagValid ? tagMs : -1);
    EXPECT_EQ(c.is_ReadyRangeCorr(r.system, r.now, 2, 1), r.fresh) << r.system << " " << r.ageS;
  }
}

}  // namespace
