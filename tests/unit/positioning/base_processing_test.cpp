// Base-station data from a synthetic station: code corrections vanish for measurements made at
// the reference position, the RTK data carry the measurements and their computed counterparts,
// and every class, limit and switch of the base data follows its table.
#include "positioning/base/base_processing.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "fixtures/base_station_model.h"
#include "navigation_data/store/sat_data_store.h"
#include "positioning/engine/nav_main.h"
#include "positioning/engine/pvt_engine.h"

namespace {

using namespace basemodel;

// A station with its reference clock run for `epochs` epochs and the positions it reads.
struct Base {
  Station st{mixedSky()};
  RefClockProcessor proc{&PVTDataInstance, kTruthLinks};
  const double* pos[kRefPosRecords] = {};
  BaseSettings s;
  explicit Base(std::vector<SkySat> sky = mixedSky()) : st(sky) {
    pos[kRefPosWgs] = pos[kRefPosPe9] = st.truth.station;
    std::memset(bUseBase, 0, sizeof bUseBase);
    bComputeBas = 1;
  }
  PVTEngineEpochDataType& run(int n) {
    PVTEngineEpochDataType& e = st.epoch(n);
    baseModeProcessing(pos, st.truth.station, s, proc, kTruthLinks);
    return e;
  }
};

TEST(BaseStation, CodeCorrectionsVanishForMeasurementsAtTheReferencePosition) {
  Base b;
  b.st.truth.sysBias[kSysGlonass] = 30.0;
  b.s.rtcmOutput = BaseOutput::kCodeCorr;
  for (int n = 1; n <= 3; ++n) b.run(n);
  ASSERT_EQ(DifDat.bReady, 1);
  ASSERT_EQ(DifDat.uSatCount, 14);
  EXPECT_EQ(DifDat.uCount[kSysGps], 8);
  EXPECT_EQ(DifDat.uCount[kSysGlonass], 6);
  EXPECT_EQ(DifDat.uSigCount[kSysGps][1], 8);
  for (int i = 0; i < DifDat.uSatCount; ++i) {
    const NAVCOD_DIF_SV& sv = DifDat.sat[i];
    EXPECT_EQ(sv.uMask, 0x3);
    for (int u = 0; u < 2; ++u) {
      // GLONASS corrections are referred to the PE-90 frame: the datum shift seen along the
      // line of sight stays in them.
      if (sv.uSystem != kSysGlonass) EXPECT_NEAR(sv.sig[u].fPrc, 0.0, 1e-3) << "satellite " << int(sv.uNumber);
      else EXPECT_LT(std::fabs(sv.sig[u].fPrc), 20.0) << "satellite " << int(sv.uNumber);
      EXPECT_NEAR(sv.sig[u].fRrc, 0.0, 1e-3) << "satellite " << int(sv.uNumber) << " signal " << u;
      EXPECT_FLOAT_EQ(sv.sig[u].fSigma, 1.0f);
    }
  }
  EXPECT_EQ(DifDat.bValid[kSysGps], 1);
  EXPECT_EQ(DifDat.bValid[kSysGalileo], 0);
  EXPECT_EQ(DifDat.ulTime[kSysGps], 345603000u);
}

TEST(BaseStation, RangeRateCorrectionsZeroedBySystemSwitches) {
  const struct {
    std::uint8_t cmn[3];
    bool gpsZero, gloZero;
  } rows[] = {{{1, 0, 0}, true, false}, {{0, 1, 0}, false, true}, {{0, 0, 1}, true, true}};
  for (const auto& row : rows) {
    Base b;
    b.st.truth.drift = 2.0;
    b.s.rtcmOutput = BaseOutput::kCodeCorr;
    std::memcpy(b.s.rtcmSetCmn, row.cmn, 3);
    b.run(1);
    // Make the corrections visible: measured Doppler 1 Hz higher, the clock as it was.
    for (int k = 0; k < 14; ++k) Sdat[k * kCdatSlots].doppler += 1.0;
    buildDifData(true, b.st.truth.station, true, b.st.truth.station, *PVTDataInstance.epochData.GetPointer(),
                 b.proc.clockData(), DifDat, Cdat, b.s, kTruthLinks, true);
    for (int i = 0; i < DifDat.uSatCount; ++i) {
      const bool glo = DifDat.sat[i].uSystem == kSysGlonass;
      const bool zero = glo ? row.gloZero : row.gpsZero;
      if (zero) EXPECT_EQ(DifDat.sat[i].sig[0].fRrc, 0.0f);
      else EXPECT_GT(std::fabs(DifDat.sat[i].sig[0].fRrc), 0.1f);
    }
  }
}

TEST(BaseStation, ReferencePositionWithinTheLimitIsUsed) {
  const struct {
    double offset;
    std::uint8_t use;
  } rows[] = {{0.0, 1}, {999.9, 1}, {1000.0, 1}, {1000.5, 0}, {25000.0, 0}};
  for (const auto& row : rows) {
    Base b;
    const double far[3] = {b.st.truth.station[0], b.st.truth.station[1], b.st.truth.station[2] + row.offset};
    b.pos[kRefPosWgs] = far;
    b.pos[kRefArpPe9] = far;
    b.run(1);
    EXPECT_EQ(bUseBase[0], row.use) << row.offset;
    EXPECT_EQ(bUseBase[1], 1);
    EXPECT_EQ(bUseBase[2], 0) << "not set";
    EXPECT_EQ(bUseBase[3], row.use) << row.offset;
  }
}

TEST(BaseStation, WithoutAValidFixTheLastVerdictStands) {
  double station[3];
  geodeticToEcef(50.0, 10.0, 200.0, station);
  const double far[3] = {station[0] + 2000.0, station[1], station[2]};
  const double* pos[4] = {station, far, station, nullptr};
  std::uint8_t use[4] = {};
  checkRefPositions(pos, station, 1000.0f, use);
  const std::uint8_t judged[4] = {1, 0, 1, 0};
  for (int k = 0; k < 4; ++k) EXPECT_EQ(use[k], judged[k]);
  // No solution: nothing compared against an invalid position.
  const double* later[4] = {station, far, nullptr, station};
  checkRefPositions(later, nullptr, 1000.0f, use);
  const std::uint8_t kept[4] = {1, 0, 0, 0};
  for (int k = 0; k < 4; ++k) EXPECT_EQ(use[k], kept[k]) << "position " << k;
}

TEST(BaseStation, SatelliteSelectionLimit) {
  const struct {
    int rtcm2, cmr, rtcm3;
    int rtcmOut, cmrOut, rtcm3Out;
    int limit;
    const char* why;
  } rows[] = {
      {0, 0, 0, 1, 1, 1, 91, "no limits"},
      {0, 10, 0, 1, 1, 0, 91, "an unlimited RTCM 2 coder stays unlimited"},
      {12, 0, 0, 1, 1, 0, 91, "an unlimited CMR coder stays unlimited"},
      {5, 10, 0, 1, 1, 0, 10, "the larger limit"},
      {5, 10, 20, 1, 1, 1, 20, "RTCM 3 counts too"},
      {5, 10, 0, 1, 1, 1, 91, "an unlimited RTCM 3 coder"},
      {12, 0, 0, 1, 0, 0, 12, "CMR not coding: its lack of limit does not count"},
      {12, 0, 0, 2, 0, 0, 12, "RTCM 2 RTK bit 1"},
      {12, 30, 8, 0, 0, 0, 30, "no coder named: every limit counts"},
      {12, 200, 8, 1, 1, 1, 91, "a limit above 91"},
  };
  for (const auto& row : rows) {
    BaseSettings s;
    s.rtcm2MaxSats = row.rtcm2;
    s.cmrMaxSats = row.cmr;
    s.rtcm3MaxSats = row.rtcm3;
    s.rtcmOutput = row.rtcmOut;
    s.cmrOutput = row.cmrOut;
    s.rtcm3Output = row.rtcm3Out;
    EXPECT_EQ(rtkSelectionLimit(s), row.limit) << row.why;
  }
}

TEST(BaseStation, PhaseQualityIndex) {
  const struct {
    float sigma;
    int index;
  } rows[] = {{0.01f, 0}, {0.02f, 0}, {0.0201f, 1}, {0.1f, 5}, {1.0f, 10}, {5.4f, 14}, {5.41f, 15}, {5.5f, 15}, {100.0f, 15},
              {0.0f, 0}};
  for (const auto& row : rows) {
    // The formula as published: 1 + 1.25 (2 ln s + 7.824046), cut to 0..15.
    EXPECT_EQ(phaseQualityIndex(row.sigma), row.index) << row.sigma;
  }
  EXPECT_EQ(phaseQualityIndex(std::nanf("")), 0);
  // A negative sigma is no sigma: nothing claimed, however large.
  for (float bad : {-0.0201f, -1.0f, -100.0f, -INFINITY}) EXPECT_EQ(phaseQualityIndex(bad), 0) << bad;
  EXPECT_EQ(static_cast<int>(1.0 + 1.25 * (2.0 * std::log(0.1) + 7.824046)), 5);
}

TEST(BaseStation, SignalLevelClasses) {
  const struct {
    float cn0;
    int cls;
  } rows[] = {{40.0f, 1}, {34.0f, 1}, {33.9f, 2}, {30.0f, 3}, {24.0f, 6}, {23.0f, 7}, {22.0f, 7}, {20.0f, 7},
              {0.0f, 7}};
  for (const auto& row : rows) EXPECT_EQ(cn0Class(row.cn0), row.cls) << row.cn0;
}

TEST(BaseStation, SmoothingClasses) {
  const struct {
    int t, rtcm2, rtcm3;
  } rows[] = {{0, 0, 0},   {29, 0, 1},   {30, 0, 2},   {45, 0, 2},   {59, 0, 2},   {60, 0, 3},
              {61, 1, 3},  {119, 1, 3},  {120, 1, 4},  {239, 1, 4},  {240, 1, 5},  {300, 1, 5},
              {301, 2, 5}, {479, 2, 5},  {480, 2, 6},  {600, 2, 6},  {900, 2, 6},  {901, 3, 6}};
  for (const auto& row : rows) {
    EXPECT_EQ(rtcm2SmoothingClass(row.t), row.rtcm2) << row.t;
    EXPECT_EQ(rtcm3SmoothingClass(row.t), row.rtcm3) << row.t;
  }
}

TEST(BaseStation, RtkDataCarryMeasurementsAndComputedValues) {
  Base b;
  b.st.truth.sysBias[kSysGlonass] = 30.0;
  b.s.rtcm3Output = BaseOutput::kRtk;
  b.s.smoothing = true;
  b.s.smoothingInterval = 45;
  b.s.setupFlag = true;
  for (int n = 1; n <= 2; ++n) b.run(n);
  ASSERT_EQ(RtkDat.bReady, 1);
  EXPECT_EQ(RtkDat.uConstOne, 1);
  EXPECT_EQ(RtkDat.uRtcm2Smoothing, 0);
  EXPECT_EQ(RtkDat.uRtcm3Smoothing, 2);
  EXPECT_EQ(RtkDat.bSetup, 1);
  ASSERT_EQ(RtkDat.uSatCount, 14);
  EXPECT_EQ(RtkDat.uCount[kSysGps], 8);
  EXPECT_EQ(RtkDat.uCount[kSysGlonass], 6);
  // Grouped by system.
  for (int i = 0; i < 8; ++i) EXPECT_EQ(RtkDat.sat[i].uSystem, kSysGps);
  for (int i = 8; i < 14; ++i) EXPECT_EQ(RtkDat.sat[i].uSystem, kSysGlonass);
  EXPECT_EQ(RtkDat.sat[0].uNumber, 28) << "GPS satellite at 85 degrees first";
  EXPECT_EQ(RtkDat.sat[8].uNumber, 6) << "GLONASS at 65 degrees";
  EXPECT_EQ(RtkDat.sat[8].cGloFreq, -2);
  EXPECT_EQ(RtkDat.sat[0].uIssue, 5);
  const double clock = 1e-4 * kC + 0.5;
  EXPECT_NEAR(RtkDat.dClock[kSysGps], clock, 1e-3);
  EXPECT_NEAR(RtkDat.dClock[kSysGlonass], clock + 30.0, 1e-3);
  EXPECT_EQ(RtkDat.bValid[kSysGps], 1);
  EXPECT_EQ(RtkDat.bValid[kSysGalileo], 0);
  EXPECT_EQ(RtkDat.ulTime[kSysSbas], RtkDat.ulTime[kSysGps]);
  for (int i = 0; i < RtkDat.uSatCount; ++i) {
    const RTK_DATA_SV& sv = RtkDat.sat[i];
    const double bias = sv.uSystem == kSysGlonass ? 30.0 : 0.0;  // the reference clock's offset only
    for (int u = 0; u < 2; ++u) {
      const RTK_DATA_SLOT& sl = sv.slot[u];
      ASSERT_EQ(sl.bPresent, 1);
      ASSERT_EQ(sl.bComputed, 1);
      EXPECT_NEAR(sl.fComputedMinusCode, -bias, 1e-3) << "satellite " << i << " signal " << u;
      const double wavelength = sl.dPhase / sl.dPhase2;
      EXPECT_NEAR(sl.fComputedMinusPhase * wavelength, -bias, 2e-3) << "satellite " << i << " signal " << u;
      EXPECT_NEAR(sl.fComputedMinusRate, 0.0, 1e-3);
      EXPECT_EQ(sl.uFifteen, 15);
      EXPECT_EQ(sl.uPhaseQuality, 0);
      EXPECT_EQ(sl.uCn0Class, 1);
      EXPECT_EQ(sl.uCn0, 180);
      EXPECT_EQ(sl.ulLock, 1000u);
    }
    for (int u = 2; u < 6; ++u) EXPECT_EQ(sv.slot[u].bPresent, 0);
  }
}

TEST(BaseStation, WithSmoothingOffTheDataStillGoOut) {
  Base b;
  b.s.rtcmOutput = BaseOutput::kRtk;
  b.s.smoothing = false;
  b.s.smoothingInterval = 600;
  b.s.setupFlag = true;
  RtkDat = NAVCOD_RTK_DATA{};
  b.run(1);
  EXPECT_EQ(RtkDat.bReady, 1);
  EXPECT_EQ(RtkDat.uConstOne, 1);
  EXPECT_EQ(RtkDat.uRtcm2Smoothing, 3);
  EXPECT_EQ(RtkDat.uRtcm3Smoothing, 0);
  EXPECT_EQ(RtkDat.bSetup, 0);
  b.s.smoothing = true;
  b.run(2);
  EXPECT_EQ(RtkDat.uRtcm2Smoothing, 2);
  EXPECT_EQ(RtkDat.uRtcm3Smoothing, 6);
}

TEST(BaseStation, CountsFreezeAtEachCodersLimit) {
  Base b;
  b.s.rtcmOutput = BaseOutput::kRtk;
  b.s.cmrOutput = BaseOutput::kRtk;
  b.s.rtcm3Output = BaseOutput::kRtk;
  b.s.rtcm2MaxSats = 3;
  b.s.cmrMaxSats = 6;
  b.s.rtcm3MaxSats = 0;
  b.run(1);
  // Elevations, highest first: G85 G75 R65 G60 R50 G45 | R40 R35 G30 R25 G20 R15 G12 G8.
  ASSERT_EQ(RtkDat.uSatCount, 14) << "RTCM 3 unlimited";
  const std::uint8_t rtcm2[SYS_NUM] = {2, 1, 0, 0, 0, 0, 0};
  const std::uint8_t cmr[SYS_NUM] = {4, 2, 0, 0, 0, 0, 0};
  const std::uint8_t all[SYS_NUM] = {8, 6, 0, 0, 0, 0, 0};
  for (int k = 0; k < SYS_NUM; ++k) {
    EXPECT_EQ(RtkDat.uCountRtcm2[k], rtcm2[k]) << k;
    EXPECT_EQ(RtkDat.uCountCmr[k], cmr[k]) << k;
    EXPECT_EQ(RtkDat.uCountRtcm3[k], all[k]) << k;
  }
  b.s.rtcm3Output = 0;
  b.run(2);
  EXPECT_EQ(RtkDat.uSatCount, 6) << "the larger of 3 and 6";
}

TEST(BaseStation, DayOfWeekNeedsBothTimes) {
  Base b;
  b.s.rtcmOutput = BaseOutput::kRtk;
  PVTEngineEpochDataType& e = b.st.epoch(1);
  // GPS Thursday 00:00:01 with 18 leap seconds: Moscow time 02:59:43 Thursday, day 4.
  buildRtkData(true, true, b.st.truth.station, true, b.st.truth.station, e, b.proc.clockData(), RtkDat, Cdat, b.s,
               kTruthLinks);
  b.proc.input_RefPosition(true, b.st.truth.station, true, b.st.truth.station);
  ASSERT_EQ(b.proc.update(), 1);
  buildRtkData(true, true, b.st.truth.station, true, b.st.truth.station, e, b.proc.clockData(), RtkDat, Cdat, b.s,
               kTruthLinks);
  EXPECT_EQ(RtkDat.uDayOfWeek, 4);
  // Saturday 21:00:30 GPS is Sunday in Moscow: the week folds to day 0; 21:00:00 is not.
  e.rcvTime.gps.ulMs = 6u * 86400000u + 21u * 3600000u;
  buildRtkData(true, true, b.st.truth.station, true, b.st.truth.station, e, b.proc.clockData(), RtkDat, Cdat, b.s,
               kTruthLinks);
  EXPECT_EQ(RtkDat.uDayOfWeek, 6);
  e.rcvTime.gps.ulMs += 30000u;
  buildRtkData(true, true, b.st.truth.station, true, b.st.truth.station, e, b.proc.clockData(), RtkDat, Cdat, b.s,
               kTruthLinks);
  EXPECT_EQ(RtkDat.uDayOfWeek, 0);
  e.rcvTime.glo.uStatus[0] = 0;
  buildRtkData(true, true, b.st.truth.station, true, b.st.truth.station, e, b.proc.clockData(), RtkDat, Cdat, b.s,
               kTruthLinks);
  EXPECT_EQ(RtkDat.uDayOfWeek, 7);
}

TEST(BaseStation, WithoutAClockNoRtkDataAreBuilt) {
  Base b;
  b.s.rtcmOutput = BaseOutput::kRtk;
  PVTEngineEpochDataType& e = b.st.epoch(1);
  e.pNavSol = nullptr;
  RtkDat = NAVCOD_RTK_DATA{};
  RtkDat.bReady = 1;
  const PosData::ClockDataType none{};
  buildRtkData(true, true, b.st.truth.station, true, b.st.truth.station, e, none, RtkDat, Cdat, b.s, kTruthLinks);
  EXPECT_EQ(RtkDat.bReady, 0);
  EXPECT_EQ(RtkDat.uSatCount, 0);
}

TEST(BaseStation, ClockSteeringReportsZeroOffsets) {
  Base b;
  b.s.rtcmOutput = BaseOutput::kRtk;
  b.s.clockSteering = true;
  b.run(1);
  for (int k = 0; k < SYS_NUM; ++k) EXPECT_EQ(RtkDat.dClock[k], 0.0);
  EXPECT_EQ(RtkDat.bValid[kSysGps], 1);
}

TEST(BaseStation, ClockCorrectedCodeAndPhaseDropTheReceiverClock) {
  Base b;
  b.s.rtcmOutput = BaseOutput::kRtk;
  b.s.clockCorrected = true;
  b.run(1);
  ASSERT_EQ(RtkDat.bReady, 1);
  EXPECT_EQ(RtkDat.bClockCorrected, 1);
  const RTK_DATA_SLOT& sl = RtkDat.sat[0].slot[0];
  const double o = 1e-4 * kC;
  const double dopplerOverF = (sl.dRate / kC);  // Doppler x wavelength / c = Doppler / f
  EXPECT_NEAR(sl.dCode2 - sl.dCode, (1.0 - dopplerOverF) * o, 1e-3);
  EXPECT_NEAR(sl.dPhase2 * (kC / 1575.42e6) - sl.dPhase, (1.0 - dopplerOverF) * o, 1e-3);
}

// While no GPS satellite is in the reference clock's solution, GPS time's offset is the board's
// own clock (its block in seconds, as metres) carried back from the board's epoch to the time tag
// of the filtered clock along the filtered drift; the reference system's offset is left as it is.
// The GPS offset the clock then gives is that value, whichever system is the reference and
// whichever way the two tags lie; a filtered clock that already knows GPS, or a board epoch
// without a clock, changes nothing.
TEST(BaseStation, GpsOffsetFromTheBoardsClockIsItsValueAtTheFilteredTag) {
  struct Row {
    const char* name;
    int refSystem;
    double refOffset, drift;  // m, m/s of the filtered clock
    std::uint32_t filteredTag, boardTag;
    bool boardClock;
    double boardSeconds;
    bool gpsKnown;     // the filtered clock has GPS's offset already (1234.5 m)
    double wantGps;    // m; NaN: none
  };
  const double c = 299792458.0;
  const Row rows[] = {
      {"BeiDou reference, board epoch 0.5 s later", kSysBeidou, 100.0, 2.0, 1000, 1500, true, 1e-6, false,
       1e-6 * c - 0.5 * 2.0},
      {"BeiDou reference, board epoch 0.3 s earlier", kSysBeidou, 100.0, 2.0, 1000, 700, true, 1e-6, false,
       1e-6 * c + 0.3 * 2.0},
      {"falling clock", kSysBeidou, -40.0, -3.0, 5000, 5900, true, -2e-7, false, -2e-7 * c + 0.9 * 3.0},
      {"GLONASS reference", kSysGlonass, 250.0, 1.5, 2000, 2100, true, 5e-7, false, 5e-7 * c - 0.1 * 1.5},
      {"Galileo reference, same tag", kSysGalileo, -75.0, 4.0, 300, 300, true, 3e-7, false, 3e-7 * c},
      {"GPS known to the filter", kSysBeidou, 100.0, 2.0, 1000, 1500, true, 1e-6, true, 1234.5},
      {"no board clock", kSysBeidou, 100.0, 2.0, 1000, 1500, false, 1e-6, false, NAN},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    PosData::ClockDataType f{};
    f.uRefSystem = static_cast<std::uint8_t>(r.refSystem);
    f.dFilteredOffset = r.refOffset;
    f.bFilteredOffsetValid = 1;
    f.dFilteredDrift = r.drift;
    f.bFilteredDriftValid = 1;
    f.ulFilteredTimeTag = r.filteredTag;
    if (r.gpsKnown) {
      double sign = 0.0;
      const int p = PosData::get_DtIndex(f.uRefSystem, kSysGps, sign);
      ASSERT_GE(p, 0);
      f.systemDelta[p].dDelta = (1234.5 - r.refOffset) * sign;
      f.systemDelta[p].bValid = 1;
    }
    NavTask::NAV_SOL sol{};
    sol.bClockValid = r.boardClock ? 1 : 0;
    sol.dClock = r.boardSeconds;
    sol.bDriftValid = 1;
    sol.dDrift = 1e-8;  // the board's own drift: not the one the offset is carried along
    PVTEngineEpochDataType e{};
    e.pNavSol = &sol;
    e.rcvTime.ulTimeTag = r.boardTag;
    const PosData::ClockDataType got = withGpsOffset(f, e);
    double v = 0.0;
    float sigma = 0.0f;
    ASSERT_TRUE(got.get_FilteredOffset(v, sigma));
    EXPECT_EQ(v, r.refOffset) << "the reference system's offset";
    EXPECT_EQ(got.uRefSystem, r.refSystem);
    const bool has = got.get_FilteredTimeScaleOffset(kSysGps, v, sigma);
    EXPECT_EQ(has, !std::isnan(r.wantGps));
    if (has) {
      EXPECT_NEAR(v, r.wantGps, 1e-6);
    }
  }
}

TEST(BaseStation, IonosphereDataOnlyWhenAsked) {
  Base b;
  b.run(1);
  EXPECT_EQ(bIonSmoothing, 0);
  b.s.rtcmOutput = BaseOutput::kIono;
  b.run(2);
  EXPECT_EQ(bIonSmoothing, 1);
  EXPECT_EQ(IonDat.bReady, 0) << "no channel has an ionosphere estimate";
  EXPECT_EQ(IonDat.uSatCount, 0);
}

TEST(BaseStation, ComputeSwitchOffGivesMeasurementsOnly) {
  Base b;
  b.s.rtcmOutput = BaseOutput::kRtk | BaseOutput::kCodeCorr;
  bComputeBas = 0;
  DifDat = NAVCOD_DIF_DATA{};
  b.st.epoch(1);
  baseModeProcessing(b.pos, b.st.truth.station, b.s, b.proc, kTruthLinks);
  ASSERT_EQ(RtkDat.bReady, 1);
  for (int i = 0; i < RtkDat.uSatCount; ++i) EXPECT_EQ(RtkDat.sat[i].slot[0].bComputed, 0);
  EXPECT_EQ(DifDat.bReady, 0) << "no code corrections";
  bComputeBas = 1;
}

}  // namespace

namespace {

// Satellite records, signals and orbits of any content: the epoch is processed without a fault
// and the records stay within their counts.
TEST(BaseStation, RandomRecordsAndSignals) {
  std::mt19937 rng(41);
  std::uniform_real_distribution<double> uni(-1.0, 1.0);
  const double odd[] = {std::nan(""), HUGE_VAL, -HUGE_VAL, 1e300, -1e300, 0.0, 1e-300};
  auto value = [&](double scale) { return rng() % 8 == 0 ? odd[rng() % 7] : uni(rng) * scale; };
  Base b;
  b.s.rtcmOutput = BaseOutput::kRtk | BaseOutput::kCodeCorr | BaseOutput::kIono;
  b.s.rtcm3Output = BaseOutput::kRtk;
  b.s.clockCorrected = true;
  b.s.smoothing = true;
  for (int round = 0; round < 200; ++round) {
    b.st.epoch(round + 1);
    for (int k = 0; k < kCdatPerInput; ++k) {
      ChanSatDataType& s = sats().chan[k];
      s.sv.sys = static_cast<std::uint8_t>(rng() % 9);
      s.sv.sat = static_cast<std::uint8_t>(rng() % 70);
      s.sv.si = static_cast<std::uint8_t>(rng() % 256);
      s.ulFlags = rng() % 3 == 0 ? static_cast<std::uint32_t>(rng()) : 0;
      s.fElevation = static_cast<float>(rng() % 5 == 0 ? odd[rng() % 7] : uni(rng) * 95.0);
      s.fAzimuth = static_cast<float>(uni(rng) * 360.0);
      s.fVariance = static_cast<float>(value(10.0));
      s.uIod = static_cast<std::uint16_t>(rng() % 3 == 0 ? 65535 : rng() % 300);
      for (int a = 0; a < 3; ++a) {
        s.dPos[a] = value(3e7);
        s.dVel[a] = value(4e3);
      }
      s.dClock = value(1e-3);
      s.dRel = value(1e-8);
      s.fDrift = static_cast<float>(value(1e-9));
      for (int u = 0; u < kCdatSlots; ++u) {
        ChanSigData& sig = Sdat[(k % 14) * kCdatSlots + u];
        sig.flags = static_cast<std::uint16_t>(rng());
        sig.code = value(0.09);
        sig.codeRaw = value(0.09);
        sig.smCode = value(0.09);
        sig.phase = value(1e8);
        sig.doppler = value(5e3);
        sig.freq = value(2e9);
        sig.cn0 = static_cast<float>(value(60.0));
        sig.phaseSigma = static_cast<float>(value(10.0));
        sig.tgd = static_cast<float>(value(1e-7));
        sig.smCnt = static_cast<std::uint16_t>(rng());
      }
    }
    baseModeProcessing(b.pos, rng() % 4 == 0 ? nullptr : b.st.truth.station, b.s, b.proc, kTruthLinks);
    ASSERT_LE(RtkDat.uSatCount, kBaseSats);
    ASSERT_LE(DifDat.uSatCount, kBaseSats);
    int sum = 0;
    for (int k = 0; k < SYS_NUM; ++k) sum += RtkDat.uCount[k];
    if (RtkDat.bReady) {
      ASSERT_EQ(sum, RtkDat.uSatCount);
    }
  }
}

}  // namespace

namespace {

// The navigation step runs the base station for the main input once per epoch: what the coders
// ask for (here the ionosphere data) is prepared, and dropped again when they no longer ask.
TEST(BaseStation, TheNavigationStepRunsItForTheMainInput) {
  PVTEngineInstance.init_Object(&PVTDataInstance, &SatDataProcessorInstance);
  NavEpoch = NavTask::NAV_EPOCH{};
  NavEpoch.gpsMs = 1000;
  NavMainInputs in;
  in.mainInput = 0;
  iRtcmOutput = BaseOutput::kIono;
  bIonSmoothing = 0;
  navMain(in);
  EXPECT_EQ(bIonSmoothing, 1);
  iRtcmOutput = 0;
  navMain(in);
  EXPECT_EQ(bIonSmoothing, 0);
}

}  // namespace
