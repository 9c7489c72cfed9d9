// Code corrections from base observations: the carrier-smoothing filter's edges row by row, and
// whole corrections from measurements generated here from the broadcast orbits of
// brdc1820.10n (direct Kepler evaluation, signal flight with the Earth's rotation, the satellite
// clock as IS-GPS-200 20.3.3.3.3.1 has it) at a known station: every correction then equals
// minus the station's clock, and a sign error of the satellite clock or of the Earth-rotation
// term moves it by kilometres or tens of metres.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <map>
#include <vector>

#include "unit/navigation_data/orbit_formulas.h"
#include "differential/base/code_diff_from_base.h"
#include "differential/base/cpd_utils.h"
#include "navigation_data/orbits/gps_orbit.h"
#include "navigation_data/orbits/sat_polynom.h"
#include "navigation_data/store/sat_data_store.h"
#include "positioning/data_servers/pvt_data.h"
#include "positioning/engine/pvt_engine.h"
#include "positioning/engine/sat_meas_processor.h"
#include "settings/rcv_settings.h"
#include "fixtures/nav_files.h"
#include "unit/differential/elevation.h"

namespace {

using Rec = CodeDiffFromBase::SmFilterRec;
constexpr double kC = 299792458.0;

// One sample: ms after the previous one, the code's jump (m) against a phase that runs on,
// whether phase is present, the slot; then what must come out.
struct Step {
  int dtMs;
  double jump;
  bool phase;
  int slot;
  bool stored;
  int count;
  int slip;
};
struct Scenario {
  const char* name;
  int len;
  int warm;  // clean samples 1 s apart before the steps (slot 0)
  std::vector<Step> steps;
};

const Scenario kScenarios[] = {
    {"five samples store nothing, the sixth does", 100, 0,
     {{1000, 0, true, 0, false, 1, 0}, {1000, 0, true, 0, false, 2, 0}, {1000, 0, true, 0, false, 3, 0},
      {1000, 0, true, 0, false, 4, 0}, {1000, 0, true, 0, false, 5, 0}, {1000, 0, true, 0, true, 6, 0}}},
    {"10,000 ms keeps the filter", 100, 8, {{10000, 0, true, 0, true, 9, 0}}},
    {"10,001 ms restarts it", 100, 8, {{10001, 0, true, 0, false, 1, 0}}},
    {"a time going back restarts it", 100, 8, {{-1, 0, true, 0, false, 1, 0}}},
    {"another slot restarts it", 100, 8, {{1000, 0, true, 2, false, 1, 0}}},
    {"the count stops at the length", 8, 10, {{1000, 0, true, 0, true, 8, 0}}},
    {"a length below six never stores", 4, 8, {{1000, 0, true, 0, false, 4, 0}}},
    {"no phase while smoothing: nothing, untouched", 100, 8, {{1000, 0, false, 0, false, 8, 0}}},
    {"150 m code jump scores 15 and restarts", 100, 12, {{1000, 150, true, 0, false, 0, 0}}},
    {"150 m code drop scores 15 and restarts", 100, 12, {{1000, -150, true, 0, false, 0, 0}}},
    {"50 m scores 5 and skips one sample", 100, 12,
     {{1000, 50, true, 0, false, 12, -5}, {1000, -50, true, 0, true, 13, 0}}},
    {"a lasting 50 m jump adds up and restarts", 100, 12,
     {{1000, 50, true, 0, false, 12, -5}, {1000, 0, true, 0, false, 12, -10}, {1000, 0, true, 0, false, 0, 0}}},
    {"9.9 m is no jump", 100, 12, {{1000, 9.9, true, 0, true, 13, 0}}},
    {"2,560 m saturates the score and restarts", 100, 12, {{1000, 2560, true, 0, false, 0, 0}}},
    {"-2,560 m likewise", 100, 12, {{1000, -2560, true, 0, false, 0, 0}}},
    {"a young filter takes a part of the jump: 12 is no restart", 100, 5, {{1000, 150, true, 0, false, 6, -12}}},
    {"without smoothing every sample is stored", 0, 0,
     {{1000, 0, false, 0, true, 0, 0}, {1000, 500, true, 0, true, 0, 0}, {20000, 0, false, 1, true, 0, 0}}},
};

TEST(CodeDiffSmoothing, FilterEdges) {
  for (const Scenario& s : kScenarios) {
    SCOPED_TRACE(s.name);
    Rec r{0.0, 0, 0, 0, CodeDiffFromBase::kNoSlot};
    std::int32_t now = 5000;
    double code = 2.2e7, phase = 2.2e7 - 7.5;  // the code rides 7.5 m above the phase
    double S = 0.0;
    for (int k = 0; k < s.warm; ++k) {
      now += 1000;
      code += 120.0;
      phase += 120.0;
      CodeDiffFromBase::smooth(r, s.len, 0, code, phase, now, S);
    }
    int i = 0;
    for (const Step& st : s.steps) {
      SCOPED_TRACE(i++);
      now += st.dtMs;
      code += 120.0 + st.jump;
      phase += 120.0;
      const Rec before = r;
      const bool stored = CodeDiffFromBase::smooth(r, s.len, st.slot, code, st.phase ? phase : 0.0, now, S);
      EXPECT_EQ(stored, st.stored);
      EXPECT_EQ(r.count, st.count);
      EXPECT_EQ(r.slip, st.slip);
      if (!st.phase && s.len != 0) {
        EXPECT_EQ(r.lastTime, before.lastTime);
        EXPECT_EQ(r.offset, before.offset);
      }
      if (stored && s.len == 0) {
        EXPECT_DOUBLE_EQ(S * kC, code);
      }
      // A clean filter follows the code to within its noise-free offset.
      if (stored && s.len != 0 && st.jump == 0) {
        EXPECT_NEAR(S * kC, code, 1e-6);
      }
    }
  }
}

TEST(CodeDiffSmoothing, Quality) {
  struct Row {
    int len, count, q;
  } rows[] = {{100, 6, 239}, {100, 100, 0}, {100, 1, 252}, {3, 1, 170}, {10, 0, 255}, {10, 11, 0},
              {0, 0, 0},     {0, 7, 0}};
  for (const Row& r : rows) EXPECT_EQ(CodeDiffFromBase::quality(r.len, r.count), r.q) << r.len << " " << r.count;
}

// ---- whole corrections -------------------------------------------------------------------

constexpr double kOmega = 7.2921151467e-5;
constexpr double kStation[3] = {4018282.51202, 744744.64304, 4880847.71238};  // 50.25 N 10.5 E 300 m

// Range and satellite clock of a signal received at T (GPS s of week) at the station.
void signalTruth(const ZRT_EPH_GPS& eph, double T, double& rho, double& satClock) {
  double t = T - 0.075;
  for (int it = 0; it < 8; ++it) {
    double p[3], v[3], rel = 0.0;
    compute_SatPositionByEphemeris(t, kSysGps, eph, p, v, &rel);
    const double th = kOmega * (T - t);
    const double x = std::cos(th) * p[0] + std::sin(th) * p[1];
    const double y = -std::sin(th) * p[0] + std::cos(th) * p[1];
    rho = std::sqrt((x - kStation[0]) * (x - kStation[0]) + (y - kStation[1]) * (y - kStation[1]) +
                    (p[2] - kStation[2]) * (p[2] - kStation[2]));
    satClock = compute_SatClockByEphemeris(t, kSysGps, eph) + rel;
    t = T - rho / kC;
  }
}

class CodeDiffWhole : public testing::Test {
 protected:
  void SetUp() override {
    SatPolynomStoreInstance.Init();
    SatDataProcessorInstance.init_Object();
    CodeDiffFromBaseInstance.init();
    PosData::RcvTimeDataType t;
    PVTDataInstance.rcvTime.Get(&t);  // no receiver time until a test gives one
    for (auto& e : RtcmSourceIdData) e = SourceIdEntry{0, kFreeSourceId};
    for (int s = 0; s < RTCMData::kRtcmSources; ++s) PVTDataInstance.rtcmSatCorrection[s].Init();
    saved_ = RcvSet;
    RcvSet.codeSmoothLen = 0;
    RcvSet.codeCorrFromBase = 1;
  }
  void TearDown() override {
    RcvSet = saved_;
    SatPolynomStoreInstance.Init();
    SatDataProcessorInstance.init_Object();
    CodeDiffFromBaseInstance.init();
  }
  // The day's first healthy records of the satellites above 15 degrees at T, in the store and
  // as polynomials.
  void load(double T) {
    const auto recs = navfiles::readRinex2Nav(navfiles::testdata("brdc1820.10n"));
    std::map<int, ZRT_EPH_GPS> first;
    for (const auto& r : recs)
      if (r.eph.health == 0 && !first.count(r.eph.prn)) first[r.eph.prn] = r.eph;
    for (auto& [prn, eph] : first) {
      double p[3], v[3], rel;
      compute_SatPositionByEphemeris(T, kSysGps, eph, p, v, &rel);
      const double elev = difftest::elevation(CpdCPos{kStation[0], kStation[1], kStation[2]}, CpdCPos{p[0], p[1], p[2]});
      if (elev < 15.0 * 3.14159265358979 / 180.0) continue;
      const SvIdType si{static_cast<std::uint8_t>(prn - 1), kSysGps, 0, kSvUnknown};
      ASSERT_NE(SatDataProcessorInstance.update_EphemerisData(si, 0, &eph, 77, true, false, false), 0) << prn;
      PolyNodeRing ring;
      bool computed = false;
      SatData::PolynomSetType set{};
      ASSERT_TRUE(update_SatellitePolynom(kSysGps, eph, T - 30.0, ring, computed, set.entry[0]));
      set.entry[0].iod = eph.iode;
      set.entry[1].iod = kPolyNoIod;
      ASSERT_TRUE(SatPolynomStoreInstance.Put(SvIdType{static_cast<std::uint8_t>(prn - 1), kSysGps, 0,
                                                       static_cast<std::uint8_t>(prn - 1)}, &set));
      sky_[prn] = eph;
    }
    ASSERT_GE(sky_.size(), 5u);
  }
  void rcvTime(std::uint32_t tag) {
    PosData::RcvTimeDataType t{};
    t.ulTimeTag = tag;
    PVTDataInstance.rcvTime.Put(&t);
  }
  RCV_SETTINGS saved_;
  std::map<int, ZRT_EPH_GPS> sky_;
};

TEST_F(CodeDiffWhole, CorrectionsAtTheOwnPositionAreTheStationClock) {
  const double T = 345600.0 + 600.0;
  load(T);
  const double clock = 3.1e-6;  // s: the station's clock runs ahead
  const CpdCPos station{kStation[0], kStation[1], kStation[2]};
  const long ms = static_cast<long>(T * 1000.0);
  rcvTime(90000);
  for (const auto& [prn, eph] : sky_) {
    SCOPED_TRACE(testing::Message() << "G" << prn);
    double rho = 0.0, satClock = 0.0;
    signalTruth(eph, T, rho, satClock);
    const double range = rho + (clock - satClock) * kC;
    ASSERT_TRUE(convertCpdMeasToCodeDiffCorr(321, 1, range, 0.0, CpdSv::make(CpdSv::kGps, prn), ms, &station));
    const int src = get_RtcmSourceIndex(static_cast<std::uint32_t>(ms), 321);
    RTCMData::SatCorrectionType c;
    const SvIdType id{static_cast<std::uint8_t>(prn - 1), kSysGps, 0, static_cast<std::uint8_t>(prn - 1)};
    ASSERT_NE(PVTDataInstance.rtcmSatCorrection[src].Take(&id, &c), 0);
    EXPECT_NEAR(c.range[1][0].fPrc / 50.0, -clock * kC, 0.05);
    EXPECT_EQ(c.range[1][0].uIod, static_cast<std::uint8_t>(eph.iode));
    EXPECT_EQ(c.range[1][0].uUdre, 0);
    EXPECT_EQ(c.uStationId, 321);
    EXPECT_TRUE(c.is_ReadyRangeCorr(kSysGps, static_cast<int>(ms), 1, 0));
    EXPECT_EQ(c.ulRangeTime[1][0], (static_cast<std::uint32_t>(ms) << 1) | 1u);
    EXPECT_EQ((c.uSlotFlags[1] & RTCMData::SatCorrectionType::kSignalMask) >> RTCMData::SatCorrectionType::kSignalShift, 1);
    RTCMData::SourceStateDataType ss;
    ASSERT_NE(PVTDataInstance.rtcmSourceState.Take(src, &ss), 0);
    EXPECT_EQ(ss.uStationId, 321);
    EXPECT_EQ(ss.fScale, 1.0f);
    EXPECT_EQ(ss.uFlags, 0);
    RTCMData::StationDataType sd;
    ASSERT_NE(PVTDataInstance.rtcmStationData[src].Take(&sd), 0);
    EXPECT_EQ(sd.uStationId, 321);
    EXPECT_EQ(sd.dPos[0], kStation[0]);
    EXPECT_EQ(sd.dPos[2], kStation[2]);
    EXPECT_EQ(sd.uSystem, kSysGps);
    EXPECT_TRUE(sd.is_ReadyCoordinate(kSysGps, static_cast<int>(ms)));
  }
}

TEST_F(CodeDiffWhole, NothingWithoutStationTimeSettingOrSatellite) {
  const double T = 345600.0 + 600.0;
  load(T);
  const int prn = sky_.begin()->first;
  double rho = 0.0, satClock = 0.0;
  signalTruth(sky_.begin()->second, T, rho, satClock);
  const CpdCPos station{kStation[0], kStation[1], kStation[2]};
  const long ms = static_cast<long>(T * 1000.0);
  const Rec& r = CodeDiffFromBaseInstance.RtkDataSmFilter[prn - 1][0];
  // No receiver time yet.
  EXPECT_FALSE(convertCpdMeasToCodeDiffCorr(5, 0, rho, 0.0, CpdSv::make(CpdSv::kGps, prn), ms, &station));
  EXPECT_EQ(r.slot, CodeDiffFromBase::kNoSlot);
  rcvTime(1000);
  EXPECT_FALSE(convertCpdMeasToCodeDiffCorr(5, 0, rho, 0.0, CpdSv::make(CpdSv::kGps, prn), ms, nullptr));
  EXPECT_EQ(r.slot, CodeDiffFromBase::kNoSlot);
  EXPECT_EQ(r.lastTime, 0);
  EXPECT_FALSE(convertCpdMeasToCodeDiffCorr(5, 6, rho, 0.0, CpdSv::make(CpdSv::kGps, prn), ms, &station));
  EXPECT_FALSE(convertCpdMeasToCodeDiffCorr(5, 0, rho, 0.0, CpdSv{CpdSv::kGps, 40, 0}, ms, &station));
  // A satellite the ephemeris table does not know.
  int unknown = 1;
  while (sky_.count(unknown)) ++unknown;
  EXPECT_FALSE(convertCpdMeasToCodeDiffCorr(5, 0, rho, 0.0, CpdSv::make(CpdSv::kGps, unknown), ms, &station));
  // The switch off: the filter runs, nothing is stored.
  RcvSet.codeCorrFromBase = 0;
  EXPECT_FALSE(convertCpdMeasToCodeDiffCorr(5, 0, rho, 0.0, CpdSv::make(CpdSv::kGps, prn), ms, &station));
  EXPECT_EQ(r.slot, 0);
  RcvSet.codeCorrFromBase = 1;
  EXPECT_TRUE(convertCpdMeasToCodeDiffCorr(5, 0, rho, 0.0, CpdSv::make(CpdSv::kGps, prn), ms, &station));
}

TEST_F(CodeDiffWhole, SmoothedCorrectionCarriesItsQualityAndKeepsThePreviousIssue) {
  const double T = 345600.0 + 600.0;
  load(T);
  RcvSet.codeSmoothLen = 100;
  const auto& [prn, eph] = *sky_.begin();
  const CpdCPos station{kStation[0], kStation[1], kStation[2]};
  const SvIdType id{static_cast<std::uint8_t>(prn - 1), kSysGps, 0, static_cast<std::uint8_t>(prn - 1)};
  RTCMData::SatCorrectionType c;
  int stored = 0;
  for (int k = 0; k < 6; ++k) {
    const double t = T + k;
    double rho = 0.0, satClock = 0.0;
    signalTruth(eph, t, rho, satClock);
    rcvTime(static_cast<std::uint32_t>(1000 * (k + 1)));
    const double range = rho - satClock * kC;
    if (convertCpdMeasToCodeDiffCorr(9, 0, range, range - 3.0, CpdSv::make(CpdSv::kGps, prn),
                                     static_cast<long>(t * 1000.0), &station))
      ++stored;
  }
  EXPECT_EQ(stored, 1);
  const int src = get_RtcmSourceIndex(static_cast<std::uint32_t>(T * 1000.0), 9);
  ASSERT_NE(PVTDataInstance.rtcmSatCorrection[src].Take(&id, &c), 0);
  EXPECT_EQ(c.range[0][0].uUdre, 239);
  EXPECT_NEAR(c.range[0][0].fPrc, 0.0, 2.5);
  // A correction of another issue moves the current one to the previous place.
  c.range[0][0].uIod = static_cast<std::uint8_t>(eph.iode + 1);
  c.range[0][0].fPrc = 1234.0f;
  ASSERT_NE(PVTDataInstance.rtcmSatCorrection[src].Put(&id, &c), 0);
  double rho = 0.0, satClock = 0.0;
  signalTruth(eph, T + 6, rho, satClock);
  rcvTime(7000);
  const double range = rho - satClock * kC;
  ASSERT_TRUE(convertCpdMeasToCodeDiffCorr(9, 0, range, range - 3.0, CpdSv::make(CpdSv::kGps, prn),
                                           static_cast<long>((T + 6) * 1000.0), &station));
  ASSERT_NE(PVTDataInstance.rtcmSatCorrection[src].Take(&id, &c), 0);
  EXPECT_EQ(c.previous[0][0].fPrc, 1234.0f);
  EXPECT_EQ(c.range[0][0].uIod, static_cast<std::uint8_t>(eph.iode));
  EXPECT_EQ(c.range[0][0].uUdre, 237);  // (100 - 7) x 255 / 100
}

// The stored value counts the correction in 0.02 m plus half a unit: with a station clock the
// correction is known to the 2 mm the polynomial fit leaves, so the half unit (10 mm) shows.
TEST_F(CodeDiffWhole, StoredCorrectionIsFiftyTimesThePrcPlusAHalf) {
  const double T = 345600.0 + 600.0;
  load(T);
  const CpdCPos station{kStation[0], kStation[1], kStation[2]};
  const long ms = static_cast<long>(T * 1000.0);
  rcvTime(90000);
  for (const double clock : {3.1e-6, -2.0e-6, 0.0, 1.0e-9}) {
    for (const auto& [prn, eph] : sky_) {
      SCOPED_TRACE(testing::Message() << "G" << prn << " clock " << clock);
      double rho = 0.0, satClock = 0.0;
      signalTruth(eph, T, rho, satClock);
      CodeDiffFromBaseInstance.init();
      ASSERT_TRUE(convertCpdMeasToCodeDiffCorr(321, 0, rho + (clock - satClock) * kC, 0.0,
                                               CpdSv::make(CpdSv::kGps, prn), ms, &station));
      RTCMData::SatCorrectionType c;
      const SvIdType id{static_cast<std::uint8_t>(prn - 1), kSysGps, 0, static_cast<std::uint8_t>(prn - 1)};
      ASSERT_NE(PVTDataInstance.rtcmSatCorrection[get_RtcmSourceIndex(static_cast<std::uint32_t>(ms), 321)].Take(&id, &c), 0);
      EXPECT_NEAR(c.range[0][0].fPrc, -clock * kC * 50.0 + 0.5, 0.15);
    }
  }
}

// The correction setup's base offset: for a system whose bit is set, the offset's part along the
// line of sight (station to satellite) leaves the correction; other systems keep theirs.
TEST_F(CodeDiffWhole, BaseOffsetOfTheCorrectionSetupAlongTheLineOfSight) {
  const double T = 345600.0 + 600.0;
  load(T);
  const CpdCPos station{kStation[0], kStation[1], kStation[2]};
  const long ms = static_cast<long>(T * 1000.0);
  rcvTime(90000);
  PosSetup::CorrProcessorSetupType saved{};
  const bool had = PVTDataInstance.corrProcessorSetup.Take(&saved) != 0;
  const struct {
    const char* name;
    std::uint8_t systems;
    std::int16_t mm[3];
    bool moved;
  } rows[] = {
      {"GPS bit: moved", 0x01, {1000, -2000, 500}, true},
      {"GPS among others", 0x7F, {-3000, 250, 4000}, true},
      {"GLONASS only: GPS kept", 0x02, {1000, -2000, 500}, false},
      {"no bit", 0x00, {1000, -2000, 500}, false},
      {"bit with no offset", 0x01, {0, 0, 0}, false},
  };
  // Plain names, not a structured binding: clang 14 lets no lambda capture a binding.
  const int prn = sky_.begin()->first;
  const auto& eph = sky_.begin()->second;
  double rho = 0.0, satClock = 0.0;
  signalTruth(eph, T, rho, satClock);
  double p[3], v[3], rel = 0.0;
  compute_SatPositionByEphemeris(T - rho / kC, kSysGps, eph, p, v, &rel);
  const double los[3] = {p[0] - kStation[0], p[1] - kStation[1], p[2] - kStation[2]};
  const double n = std::sqrt(los[0] * los[0] + los[1] * los[1] + los[2] * los[2]);
  const SvIdType id{static_cast<std::uint8_t>(prn - 1), kSysGps, 0, static_cast<std::uint8_t>(prn - 1)};
  auto stored = [&]() {
    CodeDiffFromBaseInstance.init();
    EXPECT_TRUE(convertCpdMeasToCodeDiffCorr(321, 0, rho - satClock * kC, 0.0, CpdSv::make(CpdSv::kGps, prn), ms,
                                             &station));
    RTCMData::SatCorrectionType c;
    PVTDataInstance.rtcmSatCorrection[get_RtcmSourceIndex(static_cast<std::uint32_t>(ms), 321)].Take(&id, &c);
    return c.range[0][0].fPrc / 50.0;
  };
  for (const auto& r : rows) {
    PosSetup::CorrProcessorSetupType s{};
    PosSetup::setDefaults(s);
    s.aBytes[PosSetup::kCorrBaseOffsetSysOffset] = 0;
    ASSERT_NE(PVTDataInstance.corrProcessorSetup.Put(&s), 0);
    const double without = stored();
    s.aBytes[PosSetup::kCorrBaseOffsetSysOffset] = r.systems;
    std::memcpy(s.aBytes + PosSetup::kCorrBaseOffsetOffset, r.mm, sizeof r.mm);
    ASSERT_NE(PVTDataInstance.corrProcessorSetup.Put(&s), 0);
    const double along = (r.mm[0] * los[0] + r.mm[1] * los[1] + r.mm[2] * los[2]) * 0.001 / n;
    EXPECT_NEAR(stored() - without, r.moved ? -along : 0.0, 2e-4) << r.name;
  }
  if (had) PVTDataInstance.corrProcessorSetup.Put(&saved);
}

// The store's inverse-coordinate debug switches, set by the setup's three debug bits, negate
// the axes of every satellite position the base decoders compute.
TEST_F(CodeDiffWhole, DebugSwitchesOfTheStoreNegateAxes) {
  const double T = 345600.0 + 600.0;
  load(T);
  const auto& [prn, eph] = *sky_.begin();
  const CpdSv sv = CpdSv::make(CpdSv::kGps, prn);
  double base[3], vel[3], clk = 0.0;
  std::uint16_t iod = 0;
  ASSERT_TRUE(cpdutil::satState(sv, T, false, CpdUtils::kAnyIod, base, vel, clk, iod));
  for (int bits = 0; bits < 8; ++bits) {
    SatDataSetup setup;
    setup.debugInverse = static_cast<std::uint8_t>(bits);
    SatDataProcessorInstance.set_Setup(setup);
    double pos[3];
    ASSERT_TRUE(cpdutil::satState(sv, T, false, CpdUtils::kAnyIod, pos, vel, clk, iod));
    for (int k = 0; k < 3; ++k) {
      EXPECT_EQ(SatDataProcessorInstance.bDebugInverseCoordinate(k), ((bits >> k) & 1) != 0) << bits;
      EXPECT_EQ(pos[k], ((bits >> k) & 1) ? -base[k] : base[k]) << "bits " << bits << " axis " << k;
    }
  }
  SatDataProcessorInstance.set_Setup(SatDataSetup{});
  EXPECT_FALSE(SatDataProcessorInstance.bDebugInverseCoordinate(0));
  EXPECT_FALSE(SatDataProcessorInstance.bDebugInverseCoordinate(3));
}

// The same switches negate the axes of the measurement processor's satellite position, velocity
// and acceleration, so every consumer sees the one mirrored orbit.
TEST_F(CodeDiffWhole, DebugSwitchesNegateTheMeasurementProcessorsOrbit) {
  const double T = 345600.0 + 600.0;
  load(T);
  const auto& [prn, eph] = *sky_.begin();
  SvIdType id;
  ASSERT_TRUE(cpdutil::storeId(CpdSv::make(CpdSv::kGps, prn), id));
  auto orbit = [&](ChanSatDataType& rec) {
    std::uint16_t iod = kPolyNoIod;
    int dataType = 0;
    return SatelliteMeasurementProcessorInstance.update_SatPosAndClockData(id, T, false, iod, dataType, rec);
  };
  SatDataProcessorInstance.set_Setup(SatDataSetup{});
  ChanSatDataType base{};
  ASSERT_EQ(orbit(base), kPolyOk);
  for (int bits = 0; bits < 8; ++bits) {
    SatDataSetup setup;
    setup.debugInverse = static_cast<std::uint8_t>(bits);
    SatDataProcessorInstance.set_Setup(setup);
    ChanSatDataType rec{};
    ASSERT_EQ(orbit(rec), kPolyOk) << bits;
    for (int k = 0; k < 3; ++k) {
      const double sign = ((bits >> k) & 1) ? -1.0 : 1.0;
      EXPECT_EQ(rec.dPos[k], sign * base.dPos[k]) << "bits " << bits << " axis " << k;
      EXPECT_EQ(rec.dVel[k], sign * base.dVel[k]) << "bits " << bits << " axis " << k;
      EXPECT_EQ(rec.dAcc[k], sign * base.dAcc[k]) << "bits " << bits << " axis " << k;
    }
    EXPECT_EQ(rec.dClock, base.dClock) << "the clock is no axis";
  }
  SatDataProcessorInstance.set_Setup(SatDataSetup{});
}

}  // namespace
