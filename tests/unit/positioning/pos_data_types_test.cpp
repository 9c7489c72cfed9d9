// Inter-system time offsets, rated frequencies against the ICDs, and correction readiness.
#include "positioning/data_servers/pos_data_types.h"

#include <gtest/gtest.h>

#include "positioning/data_servers/rtcm_data_types.h"
#include "positioning/signal_tables.h"

namespace {

constexpr double kC = 299792458.0;

// Every pair must read as the difference of the two offsets to GPS propagated to one instant.
TEST(PosDataTypes, DeltaTimesDerivedFromOffsetsToGps) {
  const struct { int system, ms; double delta, rate; } broadcast[] = {
      {2, 1000, 12e-9, 2e-12}, {1, 5000, -3e-7, -1e-11}, {5, 9000, 1.5e-8, 4e-12},
      {6, 2000, -2e-8, 0.0},   {3, 4000, 5e-9, -3e-12},  {4, 7000, 1e-9, 1e-12}};
  PosData::SatdataDeltaTimeType dt;
  double x[7][2] = {}, t[7] = {};  // truth: offset and rate of each system against GPS, and time
  for (const auto& b : broadcast) {
    dt.update_SystemToGpsDeltaTime(3, b.system, b.ms, b.delta, b.rate);
    x[b.system][0] = b.delta, x[b.system][1] = b.rate, t[b.system] = b.ms;
  }
  dt.update_SystemToGpsDeltaTime(2, 1, 8000, 1.0, 1.0);  // older issue: ignored
  for (int ms : {9000, 3609000})
    for (int a = 0; a < 7; ++a)
      for (int b = 0; b < 7; ++b) {
        auto at = [&](int s) { return x[s][0] + x[s][1] * (ms - t[s]) * 0.001; };
        double out = 0.0;
        ASSERT_TRUE(dt.get_DeltaTime(a, b, ms, out)) << a << b;
        EXPECT_NEAR(out, (at(b) - at(a)) * kC, 1e-6) << a << " " << b << " " << ms;
      }
  double out = 0.0;
  EXPECT_FALSE(dt.get_DeltaTime(0, 255, 0, out) || dt.get_DeltaTime(7, 0, 0, out));
  PosData::SatdataDeltaTimeType utc;  // without pairs, the UTC offsets stand in
  EXPECT_FALSE(utc.get_DeltaTime(0, 1, 0, out));
  utc.update_SystemToUtcDeltaTime(0, 0, 18.0, 1e-12), utc.update_SystemToUtcDeltaTime(1, 1000, 3e-7, 0.0);
  ASSERT_TRUE(utc.get_DeltaTime(0, 1, 11000, out));
  EXPECT_NEAR(out, (3e-7 - (18.0 + 11e-12)) * kC, 1e-6);
}

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

TEST(PosDataTypes, NewStationClearsAndSweepExpires) {
  RTCMData::SatCorrectionType::set_DataTimeout(60, 600);
  RTCMData::SatCorrectionType c;
  c.init(), c.set_ReadyRangeCorr(10, 0, 0), c.set_ReadyIonoCorr(10);
  RTCMData::set_TimeTag(c.ulRangeTime[0][0], 1000), RTCMData::set_TimeTag(c.ulIonoTime, 1000);
  EXPECT_TRUE(c.is_ReadyRangeCorr(1, 2000, 0, 0) && c.is_ReadyIonoCorr(1, 2000));
  c.set_ReadyRangeCorr(10, 1, 0);  // the same station keeps the rest
  EXPECT_TRUE(c.is_ReadyIonoCorr(1, 2000));
  // A GLONASS tag exactly a day old reads as fresh; the sweep that ran while it aged stops it.
  RTCMData::SatCorrectionType swept = c;
  swept.clear_ExpiredData(1, 1000 + 601000);
  const int dayLater = 1000;  // ms of day: a day after the tag
  EXPECT_TRUE(c.is_ReadyIonoCorr(1, dayLater) && !swept.is_ReadyRangeCorr(1, dayLater, 0, 0));
  EXPECT_FALSE(swept.is_ReadyIonoCorr(1, dayLater));
  c.set_ReadyRangeCorr(11, 1, 0);  // another station
  EXPECT_TRUE(!c.is_ReadyRangeCorr(1, 2000, 0, 0) && !c.is_ReadyIonoCorr(1, 2000) && c.uStationId == 11);

  RTCMData::TSSatCorrectionType ts;
  ts.init(), ts.set_ReadyClockCorr(3, 1), ts.set_ReadyOrbitCorr(1);
  RTCMData::set_TimeTag(ts.ulClockTime[1], 0), RTCMData::set_TimeTag(ts.ulOrbitTime[1], 0);
  const struct { int now; bool clock, orbit; } tsRows[] = {
      {360000, true, true}, {360001, false, true}, {1080000, false, true}, {1080001, false, false}};
  for (const auto& r : tsRows) {
    EXPECT_TRUE(ts.is_ReadyClockCorr(0, r.now, 1) == r.clock && ts.is_ReadyOrbitCorr(0, r.now, 1) == r.orbit) << r.now;
    EXPECT_FALSE(ts.is_ReadyClockCorr(0, r.now, 0) || ts.is_ReadyOrbitCorr(0, r.now, 0));
  }
}

}  // namespace
