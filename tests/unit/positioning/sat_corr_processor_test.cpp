// The satellite correction processor seen from the data store: the request it forms from the
// visibility records, the epoch's early ends and what they leave published, the values it
// derives from the position and the time, the source rating against the dilution of precision
// of known geometries, the ionosphere models through a restart of the settings image, and the
// engine roads that run it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

#include "unit/own_process.h"
#include "fixtures/nav_files.h"
#include "navigation_data/orbits/gps_orbit.h"
#include "navigation_data/orbits/sat_polynom.h"
#include "navigation_data/store/nav_nv_blocks.h"
#include "navigation_data/store/sat_data_store.h"
#include "navigation_data/store/sat_visibility.h"
#include "platform/file_nvm.h"
#include "platform/ram_nvm.h"
#include "positioning/chan_data.h"
#include "positioning/corrections/sat_corr_processor.h"
#include "positioning/engine/pvt_engine.h"
#include "positioning/geoid/geoid_gps.h"
#include "unit/platform/temp_run_dir.h"

namespace {

constexpr double kPi = 3.141592653589793;
constexpr double kDeg = kPi / 180;

PVTDataType& D = PVTDataInstance;
SatelliteCorrectionProcessor& P = SatCorrProcessorInstance;

SvIdType sv(int sys, int si) { return SvIdType{static_cast<std::uint8_t>(si), static_cast<std::uint8_t>(sys), 0, kSvUnknown}; }

void putVisibility(const SvIdType& id, float elev, std::uint8_t valid = 1, float az = 45.0f, std::uint8_t status = 0) {
  SatData::SatVisibilityType v{};
  v.valid = valid;
  v.status = status;
  v.elevation = elev;
  v.azimuth = az;
  v.los[0] = std::cos(elev * kDeg), v.los[2] = std::sin(elev * kDeg);
  v.satPos[0] = 2e7, v.satVel[1] = 3000.0f;
  v.variance = 4.0f;
  v.iod = static_cast<std::uint16_t>(id.si + 100 * id.sys);
  v.almId = id;
  v.almId.sat = 7;
  SatVisibilityStoreInstance.PutEph(id, &v);
}

// A receiver at 50 N 10 E, 300 m, with the setups, a calendar epoch and a usable velocity.
PosData::PositionDataType receiver(double latDeg = 50, double lonDeg = 10, double h = 300) {
  PosData::PositionDataType p{};
  const double r = 6378137.0 + h;
  p.dLat = latDeg * kDeg, p.dLon = lonDeg * kDeg, p.dHeight = h;
  p.dX = r * std::cos(p.dLat) * std::cos(p.dLon), p.dY = r * std::cos(p.dLat) * std::sin(p.dLon);
  p.dZ = r * std::sin(p.dLat);
  p.bValid = 1;
  return p;
}

PosData::RcvTimeDataType timeRecord(bool calendar) {
  PosData::RcvTimeDataType t{};
  t.ulTimeTag = 1000;
  t.bCalendarValid = calendar ? 1 : 0;
  if (calendar) t.calendar = GREGORIAN_EPOCH{2010, 7, 1, 4, 182, 12, 0, 0, 0.0};
  return t;
}

void readyInputs(bool calendar = true, double velFactor = 0.25) {
  D.lmsEngineSetup.Init();
  D.satProcessorSetup.Init();
  D.corrProcessorSetup.Init();
  const PosData::RcvTimeDataType t = timeRecord(calendar);
  D.rcvTime.Put(&t);
  const PosData::PositionDataType p = receiver();
  D.position.Put(&p);
  PosData::VelocityDataType v{};
  v.bValid = 1;
  v.dSecondVector[2] = velFactor;
  D.velocity.Put(&v);
}

// ---- the request ------------------------------------------------------------------------------

// 100 valid candidates over four systems, with invalid records above them all: exactly the 91
// highest, falling.
TEST(CorrRequest, HoldsTheNinetyOneHighestFalling) {
  readyInputs();
  SatVisibilityStoreInstance.Init();
  std::vector<float> all;
  int k = 0;
  for (int sys : {kSysGps, kSysGalileo, kSysBeidou})
    for (int si = 0; si < SYS_SI_NUM[sys] && k < 100; ++si, ++k) {
      const float el = static_cast<float>((k * 37) % 100) * 0.9f - 5.0f;  // distinct, shuffled
      putVisibility(sv(sys, si), el);
      all.push_back(el);
    }
  for (int si = 0; si < 7; ++si) putVisibility(sv(kSysQzss, si), 89.0f, 0);  // withdrawn
  P.update(0);
  const CorrData::CorrectionRequestType& r = P.work().request;
  ASSERT_EQ(r.uCount, 91);
  std::sort(all.begin(), all.end(), std::greater<>());
  for (int i = 0; i < 91; ++i) {
    EXPECT_EQ(r.sat[i].fElevation, all[i]) << i;
    EXPECT_NE(r.sat[i].svId.sys, kSysQzss);
  }
  EXPECT_EQ(r.position.dHeight, 300);
  EXPECT_EQ(r.rcvTime.ulTimeTag, 1000u);
}

// Ties keep system-then-index order; each entry carries what its record held.
TEST(CorrRequest, EqualElevationsKeepSystemThenIndexOrder) {
  readyInputs();
  SatVisibilityStoreInstance.Init();
  const SvIdType order[] = {sv(kSysGps, 3), sv(kSysGps, 30), sv(kSysGlonass, 0), sv(kSysGalileo, 5),
                            sv(kSysBeidou, 62), sv(kSysNavic, 13)};
  for (auto it = std::rbegin(order); it != std::rend(order); ++it) putVisibility(*it, 30.0f);
  putVisibility(sv(kSysSbas, 2), 31.0f);
  putVisibility(sv(kSysQzss, 1), -90.0f);  // never above the start of the search
  P.update(0);
  const CorrData::CorrectionRequestType& r = P.work().request;
  ASSERT_EQ(r.uCount, 7);
  EXPECT_EQ(r.sat[0].svId.sys, kSysSbas);
  for (int i = 0; i < 6; ++i) {
    const CorrData::RequestSatDataType& s = r.sat[i + 1];
    EXPECT_TRUE(s.svId.sys == order[i].sys && s.svId.si == order[i].si) << i;
    EXPECT_EQ(s.svId.sat, 7);
    EXPECT_EQ(s.uIod, order[i].si + 100 * order[i].sys);
    EXPECT_EQ(s.fRangeVar, 4.0f);
    EXPECT_EQ(s.dSatPos[0], 2e7);
    EXPECT_EQ(s.fSatVel[1], 3000.0f);
    EXPECT_EQ(s.fAzimuth, 45.0f);
    EXPECT_NEAR(s.dLos[2], std::sin(30 * kDeg), 1e-12);
    float lat, lon, obl;
    compute_PiercePoint(50 * kDeg, 10 * kDeg, static_cast<float>(30 * 0.017453292), static_cast<float>(45 * 0.017453292),
                        350000.0, &lat, &lon, &obl);
    EXPECT_TRUE(s.fIppLat == lat && s.fIppLon == lon && s.fObliquity == obl);
  }
}

// A satellite placed by its almanac alone (status 255: no ephemeris in use) is no candidate,
// however high; a satellite of any ephemeris data type is.
TEST(CorrRequest, SatellitesWithoutAnEphemerisAreLeftOut) {
  readyInputs();
  SatVisibilityStoreInstance.Init();
  struct Row {
    SvIdType id;
    float elev;
    std::uint8_t status;
    bool in;
  };
  const Row rows[] = {{sv(kSysGps, 1), 80.0f, 255, false},    {sv(kSysGps, 2), 70.0f, 0, true},
                      {sv(kSysGlonass, 3), 60.0f, 1, true},    {sv(kSysGalileo, 4), 50.0f, 254, true},
                      {sv(kSysBeidou, 5), 85.0f, 255, false}, {sv(kSysQzss, 6), 40.0f, 2, true}};
  for (const Row& r : rows) putVisibility(r.id, r.elev, 1, 45.0f, r.status);
  P.update(0);
  const CorrData::CorrectionRequestType& q = P.work().request;
  for (const Row& r : rows) {
    bool found = false;
    for (int i = 0; i < q.uCount; ++i) found = found || (q.sat[i].svId.sys == r.id.sys && q.sat[i].svId.si == r.id.si);
    EXPECT_EQ(found, r.in) << int(r.id.sys) << "/" << int(r.id.si) << " status " << int(r.status);
  }
  EXPECT_EQ(q.uCount, 4);
  SatVisibilityStoreInstance.Init();
}

TEST(CorrRequest, SourceElevationCheck) {
  putVisibility(sv(kSysSbas, 3), 10.0f);
  putVisibility(sv(kSysSbas, 4), 4.0f, 0);
  struct Row {
    SvIdType id;
    float min;
    bool pass;
  };
  const Row rows[] = {{sv(kSysSbas, 3), 5.0f, true},  {sv(kSysSbas, 3), 10.0f, true}, {sv(kSysSbas, 3), 10.5f, false},
                      {sv(kSysSbas, 4), 5.0f, true},  {sv(kSysSbas, 9), 89.0f, true}};
  for (const Row& r : rows) EXPECT_EQ(P.check_SourceElevation(r.id, r.min), r.pass) << int(r.id.si) << " " << r.min;
}

// ---- the source rating --------------------------------------------------------------------------

struct Los {
  double el, az;  // deg
};

float rate(const std::vector<Los>& sats, float variance, float rangeVar) {
  P.init_SourceVarEstimation();
  for (const Los& l : sats) {
    CorrData::RequestSatDataType s{};
    s.dLos[0] = std::cos(l.el * kDeg) * std::sin(l.az * kDeg);
    s.dLos[1] = std::cos(l.el * kDeg) * std::cos(l.az * kDeg);
    s.dLos[2] = std::sin(l.el * kDeg);
    s.fRangeVar = rangeVar;
    P.update_SourceVarEstimation(s, variance);
  }
  return P.get_SourceVarEstimation();
}

// The zenith and three satellites on the horizon 120 deg apart: the position part of the inverse
// normal matrix is diag(2/3, 2/3, 4/3), PDOP^2 = 8/3; weights 1/4 scale it by 4.
TEST(SourceRating, TraceOfTheInverseOrTheFallbacks) {
  const std::vector<Los> tetra = {{90, 0}, {0, 0}, {0, 120}, {0, 240}};
  struct Row {
    std::vector<Los> sats;
    float variance, rangeVar;
    double want;
  };
  const Row rows[] = {
      {tetra, 0.5f, 0.5f, 8.0 / 3},
      {tetra, 3.0f, 1.0f, 32.0 / 3},
      {{}, 1.0f, 0.0f, 1e7},
      {{{90, 0}, {30, 0}}, 1.0f, 0.0f, 500},
      {{{90, 0}, {30, 0}, {30, 120}}, 1.0f, 0.0f, 1000.0 / 3},
      {{{45, 10}, {45, 10}, {45, 10}, {45, 10}}, 1.0f, 0.0f, 250},  // one line of sight: singular
  };
  for (const Row& r : rows) EXPECT_NEAR(rate(r.sats, r.variance, r.rangeVar), r.want, 1e-5 * r.want) << r.sats.size();
}

// ---- position and time ---------------------------------------------------------------------------

TEST(CorrPositionData, DerivedValuesOfTheEpoch) {
  GeoidGPS::useBuiltIn();
  readyInputs(true, 0.25);
  P.update(0);
  const SatCorrWorkArea& w = P.work();
  double n = 0;
  ASSERT_TRUE(GeoidGPS::getHeight(50 * kDeg, 10 * kDeg, &n));
  EXPECT_NEAR(w.dOrthoHeight, 300 - n, 1e-9);
  EXPECT_GT(n, 40);  // central Europe lies some 45 m above the ellipsoid
  EXPECT_EQ(w.dHeight, 300);
  EXPECT_NEAR(w.dSinLat, std::sin(50 * kDeg), 1e-15);
  EXPECT_NEAR(w.dCosLat, std::cos(50 * kDeg), 1e-15);
  EXPECT_NEAR(w.dTanNorth, std::tan(40 * kDeg), 1e-12);
  EXPECT_NEAR(w.dTanSouth, std::tan(140 * kDeg), 1e-12);
  EXPECT_EQ(w.dVelFactor, 0.25);
  EXPECT_EQ(w.bCalendarValid, 1);
  EXPECT_EQ(w.uDayOfYear, 1 + 6 * 30.5);  // 1 July: 184, the approximate day
}

// A model with no height at the position (a regional grid elsewhere) leaves the troposphere
// the last height the model gave, not none.
TEST(CorrPositionData, OrthometricHeightTakesTheModelsLastHeightWhereItHasNone) {
  const GeoidGPS::Descr south = {2, 0, 0.01, 0.0, 0.0, -10.0, 1.0, 1.0, 11, 11};  // 10..20 S, 0..10 E
  std::uint32_t bytes = 0;
  std::uint8_t* grid = GeoidGPS::setDescr(south, &bytes);
  ASSERT_TRUE(grid != nullptr);
  for (std::uint32_t i = 0; i < bytes; i += 2) grid[i] = 0x34, grid[i + 1] = 0x12;  // 46.60 m everywhere
  ASSERT_TRUE(GeoidGPS::install("south"));
  double n = 0;
  ASSERT_TRUE(GeoidGPS::getHeight(-15 * kDeg, 5 * kDeg, &n));
  ASSERT_NEAR(n, 46.60, 1e-9);
  ASSERT_FALSE(GeoidGPS::getHeight(50 * kDeg, 10 * kDeg, &n));  // the epoch's position
  readyInputs(true, 0.25);
  P.update(0);
  EXPECT_NEAR(P.work().dOrthoHeight, 300 - 46.60, 1e-9);
  GeoidGPS::useBuiltIn();
}

// With a calendar epoch the Sun and the Moon are published whether a position follows or not;
// without one neither is, and the troposphere's day is 152.
TEST(CorrPositionData, SunAndMoonOnlyWithACalendarEpoch) {
  struct Row {
    bool calendar, position;
  };
  for (const Row& r : {Row{true, false}, Row{false, true}, Row{true, true}}) {
    PosData::CelestialPositionDataType none{};
    D.sunPosition.Put(&none), D.moonPosition.Put(&none);
    readyInputs(r.calendar);
    if (!r.position) {
      PosData::PositionDataType p{};
      D.position.Get(&p);
    }
    P.update(0);
    PosData::CelestialPositionDataType sun, moon;
    D.sunPosition.Take(&sun), D.moonPosition.Take(&moon);
    EXPECT_EQ(sun.bValid, r.calendar ? 1 : 0);
    EXPECT_EQ(moon.bValid, r.calendar ? 1 : 0);
    EXPECT_EQ(P.work().uDayOfYear, r.calendar ? 184 : 152);
    if (r.calendar) {
      CelestialMath c;
      c.update(timeRecord(true).calendar);
      PosData::CelestialPositionDataType want;
      c.update_SunPos(&want);
      EXPECT_EQ(sun.dEarthFixed[0], want.dEarthFixed[0]);
      const double au = std::sqrt(sun.dInertial[0] * sun.dInertial[0] + sun.dInertial[1] * sun.dInertial[1] +
                                  sun.dInertial[2] * sun.dInertial[2]);
      EXPECT_NEAR(au / 149597870691.0, 1.0167, 0.001);  // early July: near aphelion
    }
  }
}

// Before the setups are restored nothing runs, whatever else is there.
// Before any setup is put, as at start: in a process of its own.
TEST(CorrPositionData, NoSetupsNoEpoch) {
  testproc::inOwnProcess([] {
    putVisibility(sv(kSysGps, 1), 40.0f);
    const PosData::RcvTimeDataType t = timeRecord(true);
    D.rcvTime.Put(&t);
    const PosData::PositionDataType p = receiver();
    D.position.Put(&p);
    EXPECT_EQ(P.update(0), 0);
    EXPECT_EQ(P.work().request.uCount, 0);
    PosData::CelestialPositionDataType sun;
    D.sunPosition.Take(&sun);
    EXPECT_EQ(sun.bValid, 0);
  });
}

// Each missing input ends the epoch before any stage: the request stays as it was.
TEST(CorrPositionData, MissingInputEndsTheEpochEarly) {
  enum Cut { kNone, kTime, kPosition, kVelocity, kVelocityFlag, kHeight, kInvalidPos };
  for (Cut cut : {kNone, kTime, kPosition, kVelocity, kVelocityFlag, kHeight, kInvalidPos}) {
    SCOPED_TRACE(cut);
    P.work().request.uCount = 0;
    SatVisibilityStoreInstance.Init();
    putVisibility(sv(kSysGps, 1), 40.0f);
    readyInputs();
    PosData::PositionDataType p{};
    PosData::VelocityDataType v{};
    PosData::RcvTimeDataType t{};
    if (cut == kTime) D.rcvTime.Get(&t);
    if (cut == kPosition) D.position.Get(&p);
    if (cut == kVelocity) D.velocity.Get(&v);
    if (cut == kVelocityFlag) v.bValid = 0, D.velocity.Put(&v);
    if (cut == kHeight || cut == kInvalidPos) {
      p = receiver(50, 10, cut == kHeight ? 6e7 : 300);
      p.bValid = cut == kInvalidPos ? 0 : 1;
      D.position.Put(&p);
    }
    EXPECT_EQ(P.update(0), 0);
    EXPECT_EQ(P.work().request.uCount, cut == kNone ? 1 : 0);
  }
}

// ---- early ends and what stays published ------------------------------------------------------

SatData::CorrectionDataType fullRecord() {
  SatData::CorrectionDataType r{};
  r.init();
  r.iono = {-3.0f, 1.0f, 1.5f, 1};
  r.tropo = {-2.5f, 0.1f, 0.0f, 1};
  r.wd.band[0].bValid = 1;
  r.gbas.bValid = 1;
  r.cd.slot[2].uIod[1] = 40;
  return r;
}

int validParts(const SvIdType& id) {
  SatData::CorrectionDataType r;
  if (D.satCorrection.Take(&id, &r) == 0) return -1;
  return (r.iono.bValid != 0) + (r.tropo.bValid != 0) + r.has_WdCorr() + (r.gbas.bValid != 0) + r.has_CdCorr();
}

// A complete epoch at 0 s, the parts published, then only early ends: kept for 10 s, cleared
// once after that (a shorter RTCM time-out in force shortens the wait); a complete epoch starts
// the count again.
// Its records live in process-wide servers that have no way back to their start: in a process of its own.
TEST(CorrEarlyEnd, PartsKeptThroughAShortGapAndClearedAfterALongOne) {
  testproc::inOwnProcess([] {
    struct Row {
      std::uint16_t rtcmTimeout;  // s, 0: none in force
      std::uint32_t gapMs;
      bool kept;
    };
    const Row rows[] = {{0, 1000, true}, {0, 10000, true}, {0, 10001, false}, {0, 600000, false},
                        {30, 10001, false}, {5, 5000, true}, {5, 5001, false}};
    const SvIdType ids[] = {sv(kSysGps, 4), sv(kSysGlonass, 14), sv(kSysNavic, 0)};
    for (const Row& r : rows) {
      SCOPED_TRACE(testing::Message() << "timeout " << r.rtcmTimeout << " gap " << r.gapMs);
      readyInputs();
      PosSetup::CorrProcessorSetupType* s = D.corrProcessorSetup.GetPointer();
      std::memcpy(s->aBytes + 110, &r.rtcmTimeout, 2);
      std::memcpy(s->aBytes + 112, &r.rtcmTimeout, 2);
      D.corrProcessorSetup.Put(s);
      const std::uint32_t t0 = 5000000;
      P.update(t0);  // complete
      for (const SvIdType& id : ids) {
        const SatData::CorrectionDataType full = fullRecord();
        ASSERT_EQ(D.satCorrection.Put(&id, &full), 1);
      }
      PosData::PositionDataType p{};
      D.position.Get(&p);  // the position is lost
      P.update(t0 + 1000);
      for (const SvIdType& id : ids) EXPECT_EQ(validParts(id), 5);
      P.update(t0 + r.gapMs);
      for (const SvIdType& id : ids) EXPECT_EQ(validParts(id), r.kept ? 5 : 0);
      // Cleared once: a part published again during the same gap stays.
      const SatData::CorrectionDataType full = fullRecord();
      D.satCorrection.Put(&ids[0], &full);
      P.update(t0 + r.gapMs + 20000);
      EXPECT_EQ(validParts(ids[0]), r.kept ? 0 : 5);
    }
  });
}

// The same for every early end: the setups missing, the time, the position's usability.
TEST(CorrEarlyEnd, EveryKindOfEarlyEndAgesThePartsOut) {
  for (int kind = 0; kind < 3; ++kind) {
    SCOPED_TRACE(kind);
    readyInputs();
    P.update(100);
    const SvIdType id = sv(kSysBeidou, 40);
    const SatData::CorrectionDataType full = fullRecord();
    D.satCorrection.Put(&id, &full);
    PosData::RcvTimeDataType t;
    PosData::VelocityDataType v{};
    if (kind == 0) D.rcvTime.Get(&t);
    if (kind == 1) D.velocity.Put(&v);  // velocity flag clear
    if (kind == 2) {
      PosData::PositionDataType p = receiver();
      p.dHeight = -7e6;  // below the engine's lowest height
      D.position.Put(&p);
    }
    P.update(100 + 10000);
    EXPECT_EQ(validParts(id), 5);
    P.update(100 + 10001);
    EXPECT_EQ(validParts(id), 0);
  }
}

// The channel data's TEC reads the ionosphere part through its link.
TEST(CorrIonoRecord, ChannelDataSeesOnlyAValidIonospherePart) {
  D.satCorrection.Init();  // no record of a test before
  const SvIdType id = sv(kSysGalileo, 11);
  float c = 0, o = 0;
  EXPECT_FALSE(get_SatIonoCorrection(id, c, o));
  SatData::CorrectionDataType r = fullRecord();
  D.satCorrection.Put(&id, &r);
  ASSERT_TRUE(get_SatIonoCorrection(id, c, o));
  EXPECT_TRUE(c == -3.0f && o == 1.5f);
  r.InitIonoCorr();
  D.satCorrection.Put(&id, &r);
  EXPECT_FALSE(get_SatIonoCorrection(id, c, o));
  EXPECT_FALSE(get_SatIonoCorrection(SvIdType{40, kSysGps, 0, 0}, c, o));
}

// ---- engine roads -----------------------------------------------------------------------------------

// Without the in-epoch flag the background road runs the processor once a second; with it the
// per-epoch road does, and the background road only clears the flag.
// Its records live in process-wide servers that have no way back to their start: in a process of its own.
TEST(CorrEngineRoads, InEpochFlagChoosesTheRoad) {
  testproc::inOwnProcess([] {
    PVTEngineInstance.init_Object(&PVTDataInstance, &SatDataProcessorInstance);
    ASSERT_EQ(PVTEngineInstance.pCorr, &SatCorrProcessorInstance);
    putVisibility(sv(kSysGps, 1), 40.0f);
    readyInputs();
    PVTEngineInstance.set_InEpochCorrections();
    PVTEngineInstance.update_SatCorrTask();  // flag set: not here
    EXPECT_EQ(P.work().request.uCount, 0);
    EXPECT_FALSE(PVTEngineInstance.inEpochCorrections());
    PVTEngineInstance.update_SatCorrTask();
    EXPECT_EQ(P.work().request.uCount, 1);
    P.work().request.uCount = 0;
    PVTEngineInstance.set_InEpochCorrections();
    NavTask::NAV_SOL sol{};
    PVTEngineInstance.update(1000, false, &sol, Cdat);
    EXPECT_EQ(P.work().request.uCount, 1);
  });
}

// ---- the ionosphere models in the settings image -------------------------------------------------

class IonoModelNv : public TempRunDir {
 protected:
  void SetUp() override {
    TempRunDir::SetUp();
    NvBlock::resetLayout();
    RamNvm::blank();
    FileNvmLoad();
  }
};

using StoreFn = bool (SatelliteCorrectionProcessor::*)();
struct ModelRow {
  int model;
  StoreFn store, restore;
  std::uint32_t size;
  std::uint16_t id;
};
const ModelRow kModels[] = {
    {kIonoModelGps, &SatelliteCorrectionProcessor::store_NvRamGpsIonoModelData,
     &SatelliteCorrectionProcessor::restore_NvRamGpsIonoModelData, 48, 2446},
    {kIonoModelQzss, &SatelliteCorrectionProcessor::store_NvRamQzssIonoModelData,
     &SatelliteCorrectionProcessor::restore_NvRamQzssIonoModelData, 48, 2446},
    {kIonoModelComp, &SatelliteCorrectionProcessor::store_NvRamCompIonoModelData,
     &SatelliteCorrectionProcessor::restore_NvRamCompIonoModelData, 48, 2446},
    {kIonoModelIrnss, &SatelliteCorrectionProcessor::store_NvRamIrnssIonoModelData,
     &SatelliteCorrectionProcessor::restore_NvRamIrnssIonoModelData, 48, 2526},
    {kIonoModelBDGlobal, &SatelliteCorrectionProcessor::store_NvRamBDGlobalIonoModelData,
     &SatelliteCorrectionProcessor::restore_NvRamBDGlobalIonoModelData, 48, 2446},
    {kIonoModelNeQuick, &SatelliteCorrectionProcessor::store_NvRamNeQuickIonoModelData,
     &SatelliteCorrectionProcessor::restore_NvRamNeQuickIonoModelData, 24, 2446},
    {kIonoModelGlonass, &SatelliteCorrectionProcessor::store_NvRamGlonassIonoModelData,
     &SatelliteCorrectionProcessor::restore_NvRamGlonassIonoModelData, 20, 2446},
};

std::uint8_t* modelOf(SatelliteCorrectionProcessor& p, int m) {
  SatCorrWorkArea& w = p.work();
  std::uint8_t* const places[] = {reinterpret_cast<std::uint8_t*>(&w.klobModel[0]),
                                  reinterpret_cast<std::uint8_t*>(&w.klobModel[1]),
                                  reinterpret_cast<std::uint8_t*>(&w.klobModel[2]),
                                  reinterpret_cast<std::uint8_t*>(&w.klobModel[3]),
                                  reinterpret_cast<std::uint8_t*>(&w.bdGlobalModel),
                                  reinterpret_cast<std::uint8_t*>(&w.neQuickModel),
                                  reinterpret_cast<std::uint8_t*>(&w.glonassModel)};
  return places[m];
}

SatelliteCorrectionProcessor* freshProcessor() {
  return new SatelliteCorrectionProcessor(&PVTDataInstance, &SatDataProcessorInstance, nullptr, nullptr, nullptr,
                                          nullptr, nullptr, nullptr, nullptr);
}

// Stored, saved, the image loaded again and laid out anew: each model restores byte for byte.
TEST_F(IonoModelNv, SevenModelsSurviveARestart) {
  {
    std::unique_ptr<SatelliteCorrectionProcessor> p(freshProcessor());
    p->allocate_NvRamData();
    for (const ModelRow& m : kModels) {
      EXPECT_EQ(p->ionoNvBlock(m.model).id(), m.id);
      EXPECT_EQ(p->ionoNvBlock(m.model).size(), m.size);
      for (std::uint32_t b = 0; b < m.size; ++b) modelOf(*p, m.model)[b] = static_cast<std::uint8_t>(m.model * 31 + b);
      EXPECT_TRUE(((*p).*m.store)()) << m.model;
    }
    ASSERT_TRUE(FileNvmSave(0, true));
  }
  NvBlock::resetLayout();
  RamNvm::blank();
  ASSERT_TRUE(FileNvmLoad());
  std::unique_ptr<SatelliteCorrectionProcessor> q(freshProcessor());
  q->allocate_NvRamData();
  for (const ModelRow& m : kModels) {
    ASSERT_TRUE(((*q).*m.restore)()) << m.model;
    for (std::uint32_t b = 0; b < m.size; ++b)
      ASSERT_EQ(modelOf(*q, m.model)[b], static_cast<std::uint8_t>(m.model * 31 + b)) << m.model << " byte " << b;
  }
}

// An invalid block (never stored, or found damaged) restores nothing: false, model untouched.
TEST_F(IonoModelNv, InvalidBlockRestoresFalseAndLeavesTheModel) {
  for (const ModelRow& m : kModels) {
    SCOPED_TRACE(m.model);
    NvBlock::resetLayout();
    RamNvm::blank();
    std::unique_ptr<SatelliteCorrectionProcessor> p(freshProcessor());
    p->allocate_NvRamData();
    std::memset(modelOf(*p, m.model), 0xA5, m.size);
    EXPECT_FALSE(((*p).*m.restore)());  // blank image
    for (std::uint32_t b = 0; b < m.size; ++b) ASSERT_EQ(modelOf(*p, m.model)[b], 0xA5);
    ASSERT_TRUE(((*p).*m.store)());
    RamNvm::image()[p->ionoNvBlock(m.model).imageOffset() + NvBlock::kHeaderSize + 2] ^= 0x40;
    ASSERT_TRUE(FileNvmSave(0, true));
    NvBlock::resetLayout();
    RamNvm::blank();
    ASSERT_TRUE(FileNvmLoad());
    std::unique_ptr<SatelliteCorrectionProcessor> q(freshProcessor());
    q->allocate_NvRamData();
    std::memset(modelOf(*q, m.model), 0x3C, m.size);
    EXPECT_FALSE(((*q).*m.restore)());
    for (std::uint32_t b = 0; b < m.size; ++b) ASSERT_EQ(modelOf(*q, m.model)[b], 0x3C);
  }
}

}  // namespace

// ---- real visibility records ------------------------------------------------------------------

namespace rinex {

constexpr int kWeek = 1590;
constexpr double kToa = 345600 + 7200;  // 2010-07-01 02:00 GPS time

SatDataEpoch epochAt(double t, const double rcv[3], double latDeg, double lonDeg) {
  SatDataEpoch ep;
  ep.time.valid = true;
  ep.time.cycleKnown[kSysGps] = true;
  ep.time.cycle[kSysGps] = kWeek;
  ep.time.sec[kSysGps] = t;
  ep.monoSec = t;
  ep.positionFresh = rcv != nullptr;
  if (rcv != nullptr) {
    for (int k = 0; k < 3; ++k) ep.rcvPos[k] = rcv[k];
    ep.rcvLlh[0] = latDeg * kDeg, ep.rcvLlh[1] = lonDeg * kDeg;
  }
  return ep;
}

class CorrRequestRinex : public TempRunDir {
 protected:
  void SetUp() override {
    TempRunDir::SetUp();
    FileNvmLoad();
    nav_nv::allocate_NvRamData();
    SatPolynomStoreInstance.Init();
    SatVisibilityStoreInstance.Init();
  }
};

// A day of broadcast ephemerides (brdc1820.10n) through the satellite data store: the store's
// visibility step publishes what a receiver at 50 N 10 E sees, and the request holds exactly the
// satellites whose broadcast orbit stands above -3 deg there, highest first, each with the line of
// sight to the position it was computed from.
TEST_F(CorrRequestRinex, BroadcastDayThroughTheStore) {
  std::vector<ZRT_EPH_GPS> ephs;
  for (const auto& r : navfiles::readRinex2Nav(navfiles::testdata("brdc1820.10n")))
    if (r.eph.toe == kToa && r.eph.health == 0) ephs.push_back(r.eph);
  ASSERT_GT(ephs.size(), 25u);
  const PosData::PositionDataType rcv = receiver(50, 10, 300);
  const double xyz[3] = {rcv.dX, rcv.dY, rcv.dZ};
  const double t = kToa + 600;
  auto store = std::make_unique<SatelliteDataProcessor>();
  store->update(epochAt(t, nullptr, 0, 0));
  for (const ZRT_EPH_GPS& e : ephs)
    ASSERT_NE(store->update_EphemerisData(SvIdType{static_cast<std::uint8_t>(e.prn - 1), kSysGps, 0, kSvUnknown}, 0, &e,
                                          77, true, false, false), 0);
  for (double k = 1; k <= 3; ++k) store->update(epochAt(t + k, xyz, 50, 10));

  // The geocentric elevation of each broadcast orbit, computed here.
  struct Seen {
    int prn;
    double el;
  };
  std::vector<Seen> want;
  for (const ZRT_EPH_GPS& e : ephs) {
    double pos[3], vel[3], rel;
    ASSERT_TRUE(compute_SatPositionByEphemeris(t + 3, kSysGps, e, pos, vel, &rel));
    const double d[3] = {pos[0] - xyz[0], pos[1] - xyz[1], pos[2] - xyz[2]};
    const double el = std::asin((d[0] * xyz[0] + d[1] * xyz[1] + d[2] * xyz[2]) /
                                (std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]) *
                                 std::sqrt(xyz[0] * xyz[0] + xyz[1] * xyz[1] + xyz[2] * xyz[2]))) / kDeg;
    if (el >= -3.0) want.push_back({e.prn, el});
  }
  std::sort(want.begin(), want.end(), [](const Seen& a, const Seen& b) { return a.el > b.el; });
  ASSERT_GE(want.size(), 8u);

  readyInputs();
  D.position.Put(&rcv);
  P.update(0);
  const CorrData::CorrectionRequestType& r = P.work().request;
  ASSERT_EQ(r.uCount, want.size());
  for (std::size_t i = 0; i < want.size(); ++i) {
    const CorrData::RequestSatDataType& s = r.sat[i];
    SCOPED_TRACE(testing::Message() << "G" << want[i].prn);
    EXPECT_EQ(s.svId.sys, kSysGps);
    EXPECT_EQ(s.svId.si, want[i].prn - 1);
    EXPECT_NEAR(s.fElevation, want[i].el, 1e-3);
    EXPECT_NE(s.uIod, kPolyNoIod);
    const double d[3] = {s.dSatPos[0] - xyz[0], s.dSatPos[1] - xyz[1], s.dSatPos[2] - xyz[2]};
    const double n = std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
    EXPECT_GT(n, 1.9e7);
    for (int k = 0; k < 3; ++k) EXPECT_NEAR(s.dLos[k], d[k] / n, 1e-9);
    EXPECT_GT(std::sqrt(s.fSatVel[0] * s.fSatVel[0] + s.fSatVel[1] * s.fSatVel[1] + s.fSatVel[2] * s.fSatVel[2]), 1000);
    float lat, lon, obl;
    compute_PiercePoint(rcv.dLat, rcv.dLon, static_cast<float>(s.fElevation * 0.017453292),
                        static_cast<float>(s.fAzimuth * 0.017453292), 350000.0, &lat, &lon, &obl);
    EXPECT_TRUE(lat == s.fIppLat && lon == s.fIppLon && obl == s.fObliquity);
    EXPECT_LT(std::fabs(s.fIppLat - 50) + std::fabs(s.fIppLon - 10), 40);  // within the shell's horizon
  }
}

}  // namespace rinex

namespace {

// With the troposphere stage publishing: what a complete epoch gave the requested satellites
// stays through a short loss of the position and is gone once it lasted longer than 10 s.
TEST(CorrEarlyEnd, PublishedTroposphereAgesOutWithoutAPosition) {
  const SvIdType ids[] = {sv(kSysGps, 2), sv(kSysGalileo, 20), sv(kSysBeidou, 10)};
  for (const SvIdType& id : ids) putVisibility(id, 35.0f);
  readyInputs();
  const std::uint32_t t0 = 90000;
  P.update(t0);
  for (const SvIdType& id : ids) {
    SatData::CorrectionDataType r;
    ASSERT_EQ(D.satCorrection.Take(&id, &r), 1);
    EXPECT_EQ(r.tropo.bValid, 1);
    EXPECT_LT(r.tropo.fCorrection, -2.0f);  // some 4 m of slant delay at 35 deg, negated
    EXPECT_EQ(r.iono.bValid, 1);            // the setup's Klobuchar model
  }
  PosData::PositionDataType p{};
  D.position.Get(&p);
  for (std::uint32_t gap : {1000u, 10000u}) {
    P.update(t0 + gap);
    for (const SvIdType& id : ids) EXPECT_EQ(validParts(id), 2) << gap;
  }
  P.update(t0 + 10001);
  for (const SvIdType& id : ids) EXPECT_EQ(validParts(id), 0);
}

}  // namespace
