// Reference clock against a synthetic constellation whose measurements come from the exact
// range; the Earth-rotation term against its first-order formula and the exact rotated range.
#include "positioning/engine/ref_clock.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "fixtures/base_station_model.h"

namespace {

using namespace basemodel;

struct ClockRun {
  Station st{mixedSky()};
  RefClockProcessor proc{&PVTDataInstance, kTruthLinks};
  ClockRun() {
    // No broadcast system offsets but those a test puts.
    const PosData::SatdataDeltaTimeType none{};
    PVTDataInstance.satdataDeltaTime.Put(&none);
    proc.input_RefPosition(true, st.truth.station, true, st.truth.station);
  }
  int epoch(int n, double interval = 1.0) {
    st.epoch(n, interval);
    return proc.update();
  }
  double filteredSystemOffset(int sys) {
    double v = 0.0;
    float s = 0.0f;
    EXPECT_TRUE(proc.clockData().get_FilteredTimeScaleOffset(sys, v, s));
    return v;
  }
};

TEST(RefClock, SyntheticConstellationGivesClockAndGlonassBiasWithinAMillimetre) {
  ClockRun r;
  r.st.truth.sysBias[kSysGlonass] = 30.0;
  ASSERT_EQ(r.epoch(1), 1);
  const PosData::ClockDataType& c = r.proc.clockData();
  EXPECT_EQ(c.uRefSystem, kSysGps);
  EXPECT_NEAR(c.dOffset, 1e-4 * kC, 1e-3);
  double glo = 0.0;
  ASSERT_TRUE(r.proc.systemOffset(kSysGlonass, glo));
  EXPECT_NEAR(glo, 30.0, 1e-3);
  EXPECT_NEAR(r.filteredSystemOffset(kSysGps), 1e-4 * kC, 1e-3);
  EXPECT_NEAR(r.filteredSystemOffset(kSysGlonass), 1e-4 * kC + 30.0, 1e-3);
  EXPECT_NEAR(c.dDrift, 0.5, 1e-6);
  // Later epochs: the filter follows the drifting clock.
  for (int n = 2; n <= 5; ++n) ASSERT_EQ(r.epoch(n), 1);
  EXPECT_NEAR(r.filteredSystemOffset(kSysGps), 1e-4 * kC + 0.5 * 4, 1e-3);
}

TEST(RefClock, TheSetupChoosesTheReferenceSystem) {
  ClockRun r;
  r.st.truth.sysBias[kSysGlonass] = 30.0;
  lmsSetup().aBytes[RefClockProcessor::kSetupRefSystemByte] = kSysGlonass;
  ASSERT_EQ(r.epoch(1), 1);
  EXPECT_EQ(r.proc.clockData().uRefSystem, kSysGlonass);
  EXPECT_NEAR(r.proc.clockData().dOffset, 1e-4 * kC + 30.0, 1e-3);
  EXPECT_NEAR(r.filteredSystemOffset(kSysGps), 1e-4 * kC, 1e-3);
  // A system the epoch lacks: no solution.
  lmsSetup().aBytes[RefClockProcessor::kSetupRefSystemByte] = kSysGalileo;
  EXPECT_EQ(r.epoch(2), 0);
}

TEST(RefClock, BroadcastSystemOffsetIsTakenFirst) {
  ClockRun r;
  r.st.truth.sysBias[kSysGlonass] = 30.0;
  PosData::SatdataDeltaTimeType dt;
  // GLONASS time 10 m (in seconds) behind GPS time: receiver clock against GLONASS + 10 m.
  dt.update_SystemToGpsDeltaTime(1, kSysGlonass, 0, -10.0 / kC, 0.0);
  PVTDataInstance.satdataDeltaTime.Put(&dt);
  ASSERT_EQ(r.epoch(1), 1);
  double beyond = 0.0;
  ASSERT_TRUE(r.proc.systemOffset(kSysGlonass, beyond));
  EXPECT_NEAR(beyond, 20.0, 1e-3);
  EXPECT_NEAR(r.filteredSystemOffset(kSysGlonass), 1e-4 * kC + 30.0, 1e-3);
}

TEST(RefClock, EarthRotationTermAgainstFirstOrderAndExactRange) {
  Station st(mixedSky());
  const double* r = st.truth.station;
  const double poles[][3] = {{0.0, 0.0, 6356752.3}, {6378137.0, 0.0, 0.0}, {-3e6, 4e6, 3e6}};
  int rows = 0;
  for (const SatTruth& s : satTable()) {
    const double geometric = std::sqrt((s.pos[0] - r[0]) * (s.pos[0] - r[0]) + (s.pos[1] - r[1]) * (s.pos[1] - r[1]) +
                                       (s.pos[2] - r[2]) * (s.pos[2] - r[2]));
    const double firstOrder = kOmega / kC * (s.pos[0] * r[1] - r[0] * s.pos[1]);
    EXPECT_NEAR(rangeWithEarthRotation(s.pos, r) - geometric, firstOrder, 1e-6) << "satellite " << rows;
    EXPECT_NEAR(rangeWithEarthRotation(s.pos, r), exactRange(s.pos, r), 1e-3) << "satellite " << rows;
    ++rows;
  }
  // Receivers elsewhere (the term is zero at the pole).
  const double sat[3] = {15600e3, 7540e3, 20140e3};
  for (const auto& p : poles) EXPECT_NEAR(rangeWithEarthRotation(sat, p), exactRange(sat, p), 1e-3);
  EXPECT_EQ(rows, 14);
}

TEST(RefClock, ReferencePositionMovesRestartTheFilterBeyondOneCentimetre) {
  const struct {
    double dx;
    bool running;
  } rows[] = {{0.005, true}, {0.0099, true}, {0.02, false}, {-0.5, false}};
  for (const auto& row : rows) {
    ClockRun r;
    ASSERT_EQ(r.epoch(1), 1);
    ASSERT_TRUE(r.proc.filterRunning());
    double moved[3] = {r.st.truth.station[0] + row.dx, r.st.truth.station[1], r.st.truth.station[2]};
    r.proc.input_RefPosition(true, moved, true, r.st.truth.station);
    EXPECT_EQ(r.proc.filterRunning(), row.running) << "move " << row.dx;
  }
  ClockRun r;
  ASSERT_EQ(r.epoch(1), 1);
  r.proc.input_RefPosition(true, r.st.truth.station, false, r.st.truth.station);
  EXPECT_FALSE(r.proc.filterRunning()) << "PE-90 position dropped";
}

TEST(RefClock, OnlySbasSatellitesMakeNoSolution) {
  Station st({{kSysSbas, 0, 0, 10, 40, 0, 0}, {kSysSbas, 4, 4, 100, 30, 0, 0}, {kSysSbas, 7, 7, 200, 50, 0, 0}});
  RefClockProcessor proc(&PVTDataInstance, kTruthLinks);
  proc.input_RefPosition(true, st.truth.station, true, st.truth.station);
  st.epoch(1);
  EXPECT_EQ(proc.update(), 0);
  EXPECT_FALSE(proc.filterRunning());
  double v = 0.0;
  float s = 0.0f;
  EXPECT_FALSE(proc.clockData().get_FilteredOffset(v, s));
}

TEST(RefClock, ListHoldsSatellitesFromMinusTwoDegreesHighestFirst) {
  std::vector<SkySat> sky = mixedSky();
  sky.push_back({kSysGps, 29, 29, 15, -3.0, 0, 0});
  sky.push_back({kSysGps, 30, 30, 95, -1.0, 0, 0});
  ClockRun r;
  r.st = Station(sky);
  ASSERT_EQ(r.epoch(1), 1);
  const EpochSatCommonDataType& s = sats();
  ASSERT_EQ(s.uListCount, 15);
  EXPECT_EQ(s.uList[14], 15) << "-1 degree: listed last";
  for (int i = 0; i + 1 < s.uListCount; ++i) EXPECT_GE(s.chan[s.uList[i]].fElevation, s.chan[s.uList[i + 1]].fElevation);
  for (int i = 0; i < s.uListCount; ++i) EXPECT_NE(s.uList[i], 14) << "-3 degrees: not listed";
}

TEST(RefClock, ShortSmoothingKeepsTheSatelliteListedButOutOfTheSolution) {
  ClockRun r;
  PVTEngineEpochDataType& e = r.st.epoch(1);
  (void)e;
  Sdat[2 * kCdatSlots].smCnt = static_cast<std::uint16_t>(ChanData::xMaxSmCnt - 1);
  Sdat[2 * kCdatSlots].code += 500.0 / kC;  // would spoil the solution if used
  ASSERT_EQ(r.proc.update(), 1);
  EXPECT_NEAR(r.proc.clockData().dOffset, 1e-4 * kC, 1e-3);
  EXPECT_NE(sats().chan[2].ulFlags & EpochSatFlags::kNoCodeSignal, 0u);
  bool listed = false;
  for (int i = 0; i < sats().uListCount; ++i) listed |= sats().uList[i] == 2;
  EXPECT_TRUE(listed);
}

TEST(RefClock, OffsetJumpsBeyondHalfAMillisecondAreAccumulated) {
  const struct {
    double jump;
    double accumulated;
  } rows[] = {{200000.0, 200000.0}, {100000.0, 0.0}, {-160000.0, -160000.0}};
  for (const auto& row : rows) {
    ClockRun r;
    ASSERT_EQ(r.epoch(1), 1);
    r.st.truth.clock += row.jump;
    ASSERT_EQ(r.epoch(2), 1);
    // The prediction adds one second of drift.
    EXPECT_NEAR(r.proc.jumpAccumulator(), row.accumulated, 1.0) << "jump " << row.jump;
    EXPECT_NEAR(r.filteredSystemOffset(kSysGps), r.st.truth.clock + 0.5, 1e-3) << "restarted at the solution";
  }
}

TEST(RefClock, SystemOffsetSmoothingTakesTheFirstValueThenAveragesOverTenSeconds) {
  ClockRun r;
  r.st.truth.sysBias[kSysGlonass] = 30.0;
  for (int n = 1; n <= 10; ++n) ASSERT_EQ(r.epoch(n), 1);
  // Ten seconds smoothed: the next value weighs in with 1 s / 10 s.
  r.st.truth.sysBias[kSysGlonass] = 40.0;
  ASSERT_EQ(r.epoch(11), 1);
  double v = 0.0;
  ASSERT_TRUE(r.proc.systemOffset(kSysGlonass, v));
  const double smoothing = 10.0;
  EXPECT_NEAR(v, 30.0 + (40.0 - 30.0) * 1.0 / smoothing, 1e-3);
  EXPECT_NEAR(v, 0.9 * 30.0 + 0.1 * 40.0, 1e-3);

  ClockRun first;
  first.st.truth.sysBias[kSysGlonass] = 12.0;
  ASSERT_EQ(first.epoch(1), 1);
  ASSERT_TRUE(first.proc.systemOffset(kSysGlonass, v));
  EXPECT_NEAR(v, 12.0, 1e-3) << "T = 0: the measured value";
  first.st.truth.sysBias[kSysGlonass] = 20.0;
  ASSERT_EQ(first.epoch(2), 1);
  ASSERT_TRUE(first.proc.systemOffset(kSysGlonass, v));
  EXPECT_NEAR(v, 20.0, 1e-3) << "T = 1: tau 1, alpha 1";
  first.st.truth.sysBias[kSysGlonass] = 30.0;
  ASSERT_EQ(first.epoch(3), 1);
  ASSERT_TRUE(first.proc.systemOffset(kSysGlonass, v));
  EXPECT_NEAR(v, 25.0, 1e-3) << "T = 2: alpha 0.5";
}

// The smoothing time grows by each epoch's interval, also below a second: at 10 Hz the second
// value is taken whole (T = 0.1 s, alpha 1) and the third halfway (T = 0.2 s, alpha 0.5).
TEST(RefClock, SystemOffsetSmoothingTimeGrowsByTheEpochInterval) {
  ClockRun r;
  const struct {
    double bias, want, smoothing;
  } rows[] = {{10.0, 10.0, 0.1}, {20.0, 20.0, 0.2}, {30.0, 25.0, 0.3}, {40.0, 30.0, 0.4}};
  int n = 0;
  double before = 0.0, smoothed = 0.0;  // the value and smoothing time the epoch before left
  // The smoothing time an epoch leaves is seen in the next one: its value weighs in with the
  // interval over that time.
  const auto blended = [&](double bias) { return before + (bias - before) * std::min(1.0, 0.1 / smoothed); };
  for (const auto& row : rows) {
    r.st.truth.sysBias[kSysGlonass] = row.bias;
    ASSERT_EQ(r.epoch(++n, 0.1), 1);
    double v = 0.0;
    ASSERT_TRUE(r.proc.systemOffset(kSysGlonass, v));
    EXPECT_NEAR(v, row.want, 1e-3) << "epoch " << n;
    if (n > 1) {
      EXPECT_NEAR(v, blended(row.bias), 1e-3) << "epoch " << n;
    }
    before = v, smoothed = row.smoothing;
  }
  r.st.truth.sysBias[kSysGlonass] = 50.0;
  ASSERT_EQ(r.epoch(++n, 0.1), 1);
  double v = 0.0;
  ASSERT_TRUE(r.proc.systemOffset(kSysGlonass, v));
  EXPECT_NEAR(v, blended(50.0), 1e-3) << "after " << smoothed << " s";
}

TEST(RefClock, AnEpochWithoutSolutionCoastsThenTheNextSolutionResetsTheFilter) {
  ClockRun r;
  ASSERT_EQ(r.epoch(1), 1);
  ASSERT_EQ(r.epoch(2), 1);
  // Epoch 3: no signal anywhere.
  r.st.epoch(3);
  for (int k = 0; k < kCdatRecords; ++k) Sdat[k].flags = 0;
  EXPECT_EQ(r.proc.update(), 0);
  EXPECT_TRUE(r.proc.filterRunning());
  EXPECT_NEAR(r.filteredSystemOffset(kSysGps), 1e-4 * kC + 1.0, 1e-2) << "predicted";
  // Epoch 4 comes with a clock 50 m off the prediction: taken as it is.
  r.st.truth.clock += 50.0;
  ASSERT_EQ(r.epoch(4), 1);
  EXPECT_NEAR(r.filteredSystemOffset(kSysGps), 1e-4 * kC + 50.0 + 1.5, 1e-3);
  EXPECT_DOUBLE_EQ(r.proc.jumpAccumulator(), 0.0);
}

// An epoch without a usable measurement predicts the clock and widens its uncertainty by the
// constant-drift model's step: P' = F P F^T + Q, so the drift variance grows by q dt / 2 and
// the offset variance grows too; a second such epoch widens it again.
TEST(RefClock, AnEpochWithoutMeasurementGrowsTheFilteredClockUncertainty) {
  const double q = RefClockProcessor::kProcessNoise;
  for (double dt : {1.0, 0.5, 2.0}) {
    SCOPED_TRACE(dt);
    ClockRun r;
    for (int n = 1; n <= 5; ++n) ASSERT_EQ(r.epoch(n, dt), 1);
    auto variances = [&r] {
      const PosData::ClockDataType& c = r.proc.clockData();
      const double s0 = c.fFilteredOffsetSigma[1], s1 = c.fFilteredDriftSigma;
      return std::pair{s0 * s0, s1 * s1};
    };
    auto [p00, p11] = variances();
    for (int n = 6; n <= 7; ++n) {
      r.st.epoch(n, dt);
      for (int k = 0; k < kCdatRecords; ++k) Sdat[k].flags = 0;
      ASSERT_EQ(r.proc.update(), 0);
      const auto [q00, q11] = variances();
      EXPECT_NEAR(q11, p11 + q * dt / 2.0, 1e-6 * q11) << "epoch " << n;
      EXPECT_GT(q00, p00) << "epoch " << n;
      p00 = q00, p11 = q11;
    }
  }
}

TEST(RefClock, ANewEpochIntervalRestartsTheFilter) {
  ClockRun r;
  ASSERT_EQ(r.epoch(1), 1);
  r.st.epoch(2, 0.5);
  r.st.truth.clock += 5.0;  // within the filter's step limit: a running filter would smooth it
  r.st.epoch(2, 0.5);
  ASSERT_EQ(r.proc.update(), 1);
  EXPECT_NEAR(r.filteredSystemOffset(kSysGps), r.st.truth.clock + 0.5 * 0.5, 1e-3);
}

TEST(RefClock, ANewReferenceSystemMovesTheFilterByTheSystemOffset) {
  const struct {
    double bias;
    bool stillGlonass;
  } rows[] = {{10.0, true}, {-4.0, true}, {10.0, false}};
  for (const auto& row : rows) {
    ClockRun r;
    r.st.truth.sysBias[kSysGlonass] = row.bias;
    for (int n = 1; n <= 3; ++n) ASSERT_EQ(r.epoch(n), 1);
    // Epoch 4: the GPS satellites are gone; GLONASS becomes the reference.
    r.st.epoch(4);
    for (int k = 0; k < 8; ++k) Sdat[k * kCdatSlots].flags = Sdat[k * kCdatSlots + 1].flags = 0;
    if (!row.stillGlonass) lmsSetup().aBytes[RefClockProcessor::kSetupRefSystemByte] = kSysGlonass;
    ASSERT_EQ(r.proc.update(), 1);
    EXPECT_EQ(r.proc.referenceSystem(), kSysGlonass);
    // A filter that saw the change as a clock step would not sit on the solution.
    EXPECT_NEAR(r.proc.clockData().dFilteredOffset, 1e-4 * kC + 1.5 + row.bias, 1e-2) << row.bias;
    EXPECT_TRUE(r.proc.filterRunning());
  }
}

bool storeOrTruth(const SvIdType& sv, double& c, double& v, double& r) { return refClockStoreCorrection(sv, c, v, r); }

TEST(RefClock, IonosphereAndTroposphereFromTheCorrectionRecordsAreTakenOff) {
  PVTDataInstance.satCorrection.Init();  // no record but this test's
  ClockRun r;
  RefClockProcessor proc(&PVTDataInstance, RefClockLinks{truthPosAndClock, storeOrTruth});
  proc.input_RefPosition(true, r.st.truth.station, true, r.st.truth.station);
  r.st.epoch(1);
  // Each satellite's signal is late by its delays: ionosphere 2 m + k cm, troposphere 3 m; the
  // records hold the negated delays. Satellite 3 has only its ionosphere part valid.
  for (int k = 0; k < 14; ++k) {
    SatData::CorrectionDataType rec{};
    rec.init();
    rec.iono.fCorrection = static_cast<float>(-(2.0 + 0.01 * k));
    rec.iono.fVariance = 0.25f;
    rec.iono.bValid = 1;
    rec.tropo.fCorrection = -3.0f;
    rec.tropo.fVariance = 0.01f;
    rec.tropo.bValid = k == 3 ? 0 : 1;
    const SvIdType sv = satTable()[k].sv;
    ASSERT_EQ(PVTDataInstance.satCorrection.Put(&sv, &rec), 1);
    const double delay = 2.0 + 0.01 * k + (k == 3 ? 0.0 : 3.0);
    for (int u = 0; u < 2; ++u) Sdat[k * kCdatSlots + u].code += delay / kC;
  }
  ASSERT_EQ(proc.update(), 1);
  EXPECT_NEAR(proc.clockData().dOffset, 1e-4 * kC, 1e-3);
  double c = 0.0, v = 0.0, rate = 0.0;
  ASSERT_TRUE(refClockStoreCorrection(satTable()[3].sv, c, v, rate));
  EXPECT_NEAR(c, -2.03, 1e-6);
  EXPECT_NEAR(v, 0.25, 1e-7);
  SvIdType none = satTable()[0].sv;
  none.sat = 30;
  none.si = 30;
  EXPECT_FALSE(refClockStoreCorrection(none, c, v, rate)) << "no record";
}

}  // namespace

