// The store's inputs as the background task gathers them: the satellite-processor setup and the
// receiver time of every system.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "positioning/sat_data_task.h"

namespace {

// The factory setup: navigation data and almanacs from the own decoders only, no data type
// chosen, 30-day almanacs, every satellite enabled, the signal masks of the preference lists.
TEST(SatDataTask, FactorySetupAsTheStoreReadsIt) {
  PosSetup::SatProcessorSetupType raw;
  PosSetup::setDefaults(raw);
  const SatDataSetup s = satDataSetupFrom(raw);
  EXPECT_EQ(s.ephSource, 1);
  EXPECT_EQ(s.almSource, 1);
  EXPECT_EQ(s.firstEphNeedsNoPos, 0);
  EXPECT_EQ(s.almPolynom, 0);
  EXPECT_FLOAT_EQ(s.elevMask, 5.0f);
  const std::uint32_t signals[SYS_NUM] = {0x3F, 0x1F, 0x1D, 0x11, 0x39, 0x3D, 0x10};
  const int sats[SYS_NUM] = {32, 30, 36, 28, 7, 63, 14};
  for (int sys = 0; sys < SYS_NUM; ++sys) {
    EXPECT_EQ(s.typeInUse[sys], 255) << sys;
    EXPECT_EQ(s.almAgeDays[sys], 30) << sys;
    EXPECT_EQ(s.signalMask[sys], signals[sys]) << sys;
    for (int k = 0; k < kSatMaskKinds; ++k) EXPECT_EQ(s.satMasks[k][sys], (1ull << sats[sys]) - 1) << sys << " " << k;
  }
  // The struct's own defaults stand for the same factory settings, sources apart.
  SatDataSetup same = s;
  same.ephSource = same.almSource = 3;
  EXPECT_EQ(same, SatDataSetup{});
}

TEST(SatDataTask, SourcesAboveThreeMeanBothAndNegativeAgesNone) {
  PosSetup::SatProcessorSetupType raw;
  PosSetup::setDefaults(raw);
  const std::uint32_t src[] = {0, 9};
  std::memcpy(raw.aBytes + 2584, &src[0], 4);
  std::memcpy(raw.aBytes + 2588, &src[1], 4);
  const std::int16_t age = -5;
  std::memcpy(raw.aBytes + 2400 + 2 * kSysBeidou, &age, 2);
  raw.aBytes[376 + kSysGps] = 1;
  const SatDataSetup s = satDataSetupFrom(raw);
  EXPECT_EQ(s.ephSource, 0);
  EXPECT_EQ(s.almSource, 3);
  EXPECT_EQ(s.almAgeDays[kSysBeidou], 0);
  EXPECT_EQ(s.typeInUse[kSysGps], 1);
}

// The debug byte's three low bits are the store's inverse-coordinate switches; the other bits
// are not.
TEST(SatDataTask, DebugInverseBitsOfTheSetup) {
  const struct {
    std::uint8_t raw, want;
  } rows[] = {{0x00, 0}, {0x01, 1}, {0x02, 2}, {0x04, 4}, {0x07, 7}, {0xF8, 0}, {0xFD, 5}};
  for (const auto& r : rows) {
    PosSetup::SatProcessorSetupType raw;
    PosSetup::setDefaults(raw);
    EXPECT_EQ(raw.aBytes[PosSetup::kSatDebugInverseOffset], 0) << "factory: no axis negated";
    raw.aBytes[PosSetup::kSatDebugInverseOffset] = r.raw;
    EXPECT_EQ(satDataSetupFrom(raw).debugInverse, r.want) << int(r.raw);
  }
}

// The weighting mode, its second field and the accuracy screening: screening is on only with
// mode 1 and the screening field set; the factory setup has neither.
TEST(SatDataTask, WeightingAndAccuracyScreeningFields) {
  const struct {
    std::uint8_t mode, mode2, screening;
    bool screened;
  } rows[] = {{0, 0, 0, false}, {1, 0, 1, true}, {1, 3, 7, true}, {1, 0, 0, false}, {4, 0, 1, false}, {2, 0, 1, false}};
  for (const auto& r : rows) {
    PosSetup::SatProcessorSetupType raw;
    PosSetup::setDefaults(raw);
    raw.aBytes[PosSetup::kSatWeightModeOffset] = r.mode;
    raw.aBytes[PosSetup::kSatWeightMode2Offset] = r.mode2;
    raw.aBytes[PosSetup::kSatAccScreeningOffset] = r.screening;
    const SatDataSetup s = satDataSetupFrom(raw);
    EXPECT_EQ(s.elevVar.weightMode, r.mode);
    EXPECT_EQ(s.elevVar.weightMode2, r.mode2);
    EXPECT_EQ(s.elevVar.accScreening, r.screening);
    EXPECT_EQ(s.accuracyScreening(), r.screened) << int(r.mode) << " " << int(r.screening);
  }
}

// GPS week 2345 (1024-week cycle 2, week 297), second 10 and second 432010 of the week; GLONASS
// day 1000 of its four years as the board counts it (from 0), day 1001 as the GLONASS records
// count it (NT, from 1): the store compares ephemerides by that count. BeiDou time is GPS time
// less 14 s from GPS week 1356; SBAS counts days from the GPS epoch.
TEST(SatDataTask, ReceiverTimeOfEverySystem) {
  const struct { std::int32_t ms; bool gloValid; std::int32_t bdsWeek; double bdsSec; std::int32_t sbasDay; double sbasSec; } rows[] = {
      {10000, true, 2345 - 1356 - 1, 604796, 2345 * 7, 10},
      {432010000, false, 2345 - 1356, 431996, 2345 * 7 + 5, 10}};
  for (const auto& r : rows) {
    RcvTimeScales::INT_SCALES sc{};
    sc.flags[0] = RcvTimeScales::kTimeValid;
    sc.flags[1] = r.gloValid ? RcvTimeScales::kTimeValid : 0;
    sc.weekDay[0] = 297, sc.cycle[0] = 2, sc.ms[0] = r.ms;
    sc.weekDay[1] = 1000, sc.ms[1] = 3600000;
    const SatDataTime t = satDataTimeFrom(sc);
    EXPECT_TRUE(t.valid);
    for (int sys : {kSysGps, kSysGalileo, kSysQzss, kSysNavic}) {
      EXPECT_EQ(t.cycle[sys], 2345) << sys;
      EXPECT_DOUBLE_EQ(t.sec[sys], r.ms * 0.001) << sys;
      EXPECT_TRUE(t.cycleKnown[sys]) << sys;
    }
    EXPECT_EQ(t.cycle[kSysBeidou], r.bdsWeek);
    EXPECT_NEAR(t.sec[kSysBeidou], r.bdsSec, 1e-6);
    EXPECT_EQ(t.cycle[kSysSbas], r.sbasDay);
    EXPECT_NEAR(t.sec[kSysSbas], r.sbasSec, 1e-6);
    EXPECT_EQ(t.cycleKnown[kSysGlonass], r.gloValid);
    EXPECT_EQ(t.cycle[kSysGlonass], 1001);
    EXPECT_DOUBLE_EQ(t.sec[kSysGlonass], 3600);
  }
  RcvTimeScales::INT_SCALES none{};
  EXPECT_FALSE(satDataTimeFrom(none).valid);
}

// The receiver's latitude, longitude and height the visibility step takes: WGS 84 points of
// known geodetic coordinates (the ellipsoid formula written here).
TEST(SatDataTask, ReceiverGeodeticPosition) {
  struct Row {
    double lat, lon, h;  // deg, deg, m
  };
  const Row rows[] = {{0, 0, 0}, {45, 7.5, 300}, {-33.9, 151.2, 50}, {89.9, -120, 2000}, {60, 180, -30}};
  constexpr double kDeg = 3.141592653589793 / 180;
  for (const Row& r : rows) {
    const double a = 6378137.0, f = 1 / 298.257223563, e2 = f * (2 - f);
    const double sl = std::sin(r.lat * kDeg), cl = std::cos(r.lat * kDeg);
    const double n = a / std::sqrt(1 - e2 * sl * sl);
    const double xyz[3] = {(n + r.h) * cl * std::cos(r.lon * kDeg), (n + r.h) * cl * std::sin(r.lon * kDeg),
                           (n * (1 - e2) + r.h) * sl};
    double llh[3];
    rcvGeodetic(xyz, llh);
    EXPECT_NEAR(llh[0], r.lat * kDeg, 1e-9) << r.lat;
    EXPECT_NEAR(std::remainder(llh[1] - r.lon * kDeg, 2 * 3.141592653589793), 0, 1e-9) << r.lon;
    EXPECT_NEAR(llh[2], r.h, 1e-3) << r.h;
  }
}

}  // namespace
