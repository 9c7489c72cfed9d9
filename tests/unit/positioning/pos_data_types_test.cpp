// Inter-system time offsets, rated frequencies against the ICDs, and correction readiness.
#include "positioning/data_servers/pos_data_types.h"

#include <gtest/gtest.h>

#include "positioning/data_servers/rtcm_data_types.h"
#include "positioning/signal_tables.h"

namespace {

constexpr double kC = 299792458.0;

TEST(PosDataTypes, DtIndexOverAllSystemPairs) {
  int n = 0, expected[7][7] = {};
  for (int a = 0; a < 7; ++a)
    for (int b = a + 1; b < 7; ++b) expected[a][b] = expected[b][a] = n++;
  double sign = 9.0;
  for (int a = 0; a < 7; ++a)
    for (int b = 0; b < 7; ++b)
      EXPECT_TRUE(PosData::get_DtIndex(a, b, sign) == expected[a][b] && sign == (a < b ? 1.0 : a > b ? -1.0 : 0.0))
          << a << b;
  EXPECT_TRUE(PosData::get_DtIndex(5, 2, sign) == 13 && sign == -1.0 && PosData::get_DtIndex(7, 0, sign) == -1);
}

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

// GLONASS ICD: L1 1602 + 0.5625 k MHz, L2 1246 + 0.4375 k MHz (k = -7..6), L3 1202.025 MHz.
TEST(PosDataTypes, GlonassRatedFrequenciesFollowTheIcd) {
  for (int k = -7; k <= 6; ++k) {
    const double hz[5] = {1602e6 + 562500.0 * k, 1602e6 + 562500.0 * k, 1246e6 + 437500.0 * k,
                          1246e6 + 437500.0 * k, 1202.025e6};
    for (int band = 0; band < 5; ++band)
      EXPECT_NEAR(get_SvRatedFrequency(band, 1, k + 7), hz[band], 1e-3) << band << " " << k;
  }
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
  c.init(), c.set_ReadyRangeCorr(10, 0, 0), c.uFlags |= RTCMData::SatCorrectionType::kIonoReady;
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

// The value blocks: valid only with both flags; the filtered forms start empty and their count
// stops at its largest value.
TEST(PosDataTypes, ValueBlocksAndTheirFilterCounts) {
  const struct {
    std::uint8_t f0, f1;
    bool valid;
  } flags[] = {{0, 0, false}, {1, 0, false}, {0, 1, false}, {1, 1, true}, {7, 255, true}};
  for (const auto& f : flags) {
    PosData::OneDataType one{};
    PosData::TwoDataType two{};
    one.uFlag[0] = two.uFlag[0] = f.f0;
    one.uFlag[1] = two.uFlag[1] = f.f1;
    EXPECT_EQ(one.is_Valid(), f.valid) << int(f.f0) << int(f.f1);
    EXPECT_EQ(two.is_Valid(), f.valid) << int(f.f0) << int(f.f1);
  }
  const std::uint32_t kMax = 0xFFFFFFFFu;
  const struct {
    std::uint32_t count, add, want;
  } counts[] = {{0, 5, 5}, {5, 0, 5}, {kMax - 5, 5, kMax}, {kMax - 5, 6, kMax}, {kMax, 1, kMax}, {1, kMax, kMax}};
  for (const auto& c : counts) {
    PosData::OneFilteredDataType one{};
    PosData::TwoFilteredDataType two{};
    one.ulFilterCount = two.ulFilterCount = c.count;
    one.add_FilterCount(c.add);
    two.add_FilterCount(c.add);
    EXPECT_EQ(one.ulFilterCount, c.want) << c.count << " + " << c.add;
    EXPECT_EQ(two.ulFilterCount, c.want) << c.count << " + " << c.add;
  }
  PosData::OneFilteredDataType one{};
  one.data.set_Valid(true);
  one.data.dValue = 3.5;
  one.data.ulWord[1] = 9;
  one.ulFilterCount = 12;
  one.init();
  EXPECT_FALSE(one.data.is_Valid());
  EXPECT_EQ(one.data.dValue, 0.0);
  EXPECT_EQ(one.data.ulWord[1], 0u);
  EXPECT_EQ(one.ulFilterCount, 0u);
  PosData::TwoFilteredDataType two{};
  two.data.set_Valid(true);
  two.data.dValue[1] = -1.0;
  two.ulFilterCount = 3;
  two.init();
  EXPECT_FALSE(two.data.is_Valid());
  EXPECT_EQ(two.data.dValue[1], 0.0);
  EXPECT_EQ(two.ulFilterCount, 0u);
}

TEST(PosDataTypes, ClockOffsetsBySignal) {
  PosData::ClockDataType clk{};
  clk.uRefSystem = 1, clk.uRefSignal = 2;
  const std::uint8_t systems[7] = {1, 0, 1, 1, 5, 255, 2};
  for (int s = 0; s < 7; ++s) clk.uSignalSystem[s] = systems[s];
  clk.dFilteredOffset = 100.0, clk.bFilteredOffsetValid = 1;
  double sign = 0.0;
  clk.systemDelta[PosData::get_DtIndex(0, 1, sign)] = {7.0, 0.0f, 1};  // GLONASS minus GPS
  clk.signalDelta[PosData::get_DtIndex(3, 2, sign)] = {2.0, 0.0f, 1};  // signal 3 minus signal 2
  const struct { int signal; bool ok; double value; } rows[] = {
      {2, true, 100.0}, {1, true, 93.0}, {3, true, 102.0}, {0, true, 100.0}, {4, false, 0}, {5, false, 0}, {255, false, 0}};
  for (const auto& r : rows) {
    double v = 0.0;
    float s = 0.0f;
    EXPECT_EQ(clk.get_FilteredSystemOffset(r.signal, v, s), r.ok) << r.signal;
    EXPECT_TRUE(!r.ok || v == r.value) << r.signal << " " << v;
  }
  double v = 0.0;
  float s = 0.0f;
  clk.bFilteredOffsetValid = 0;
  EXPECT_FALSE(clk.get_FilteredSystemOffset(2, v, s) || clk.get_FilteredSystemOffset(1, v, s));
}

}  // namespace
