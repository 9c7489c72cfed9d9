// The RTCM 3 base decoder's rules on records made by hand: epoch grouping and release, the
// legacy slot and value rules, completing ranges without their whole milliseconds, BeiDou time,
// GLONASS biases and the station records. Values are checked against the published carrier
// frequencies and formulas written out here.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "differential/base/rtcm3_cpd_decoder.h"
#include "differential/rtcm3_base_params.h"
#include "differential/rtcm3_observations.h"
#include "navigation_data/store/sat_data_store.h"
#include "positioning/antdb/ant_db.h"
#include "rtcm3_cpd_test_util.h"

namespace {

using namespace rtcm3cpdtest;

constexpr double kC = 299792458.0;
constexpr double kL = 299792.458;
constexpr double kF1 = 1575.42e6, kF2 = 1227.60e6;  // GPS L1, L2 (IS-GPS-200 3.3.1.1)
constexpr long kTow = 5 * kDayMs + 3723000;          // Friday 01:02:03
const CpdCPos kStation{-3869297.5138, 3436571.3345, 3717369.3757};

RTC3_LEGACY_SAT legacySat(int prn, std::uint8_t flags, double pr1, double ph1, double pr2 = 0, double ph2 = 0,
                          int amb = 0) {
  RTC3_LEGACY_SAT s{};
  s.sat = static_cast<std::uint8_t>(prn);
  s.flags = flags;
  s.pr1 = pr1;
  s.phase1 = ph1;
  s.pr2 = pr2;
  s.phase2 = ph2;
  s.ambiguity = static_cast<std::uint8_t>(amb);
  return s;
}

RTC3_OBS legacyObs(long tow, std::uint16_t flags, const std::vector<RTC3_LEGACY_SAT>& sats) {
  RTC3_OBS o;
  std::memset(&o, 0, sizeof o);
  o.time = static_cast<std::uint32_t>(tow);
  o.flags = flags;
  o.numSat = static_cast<std::uint8_t>(sats.size());
  for (std::size_t i = 0; i < sats.size(); ++i) o.legacy[i] = sats[i];
  return o;
}

std::vector<CpdSv> gps(std::initializer_list<int> prns) {
  std::vector<CpdSv> v;
  for (int p : prns) v.push_back(CpdSv::make(CpdSv::kGps, p));
  return v;
}

struct Rtcm3CpdBase : ::testing::Test {
  void SetUp() override {
    SatDataProcessorInstance.init_Object();
    curCpdGloBias.clear();
    std::memset(&rtc3BaseMsgNum, 0, sizeof rtc3BaseMsgNum);
    roverAt(kTow, 15, gps({1, 2, 3, 4, 5}));
  }
};

// ---- BeiDou time ---------------------------------------------------------------------------------

TEST(Rtcm3CpdBeidou, TimeMovedOnlyWhenNearer14sThan0) {
  struct Row {
    const char* name;
    long bds, rcv, want;
  } rows[] = {
      {"BeiDou time, on time", kTow - 14000, kTow, kTow},
      {"BeiDou time, 2 s late", kTow - 16000, kTow, kTow - 2000},
      {"GPS time, on time", kTow, kTow, kTow},
      {"GPS time, 2.5 s late", kTow - 2500, kTow, kTow - 2500},
      {"GPS time, 3 s late (was moved)", kTow - 3000, kTow, kTow - 3000},
      {"GPS time, 7 s late", kTow - 7000, kTow, kTow - 7000},
      {"7.001 s behind: BeiDou time", kTow - 7001, kTow, kTow - 7001 + 14000},
      {"GPS time, ahead", kTow + 500, kTow, kTow + 500},
      {"BeiDou week ends, GPS week began", kWeekMs - 5000, 9000, 9000},
      {"GPS time over the week's end, 1 s late", kWeekMs - 1000, 0, kWeekMs - 1000},
  };
  for (const Row& r : rows) EXPECT_EQ(Rtcm3CpdDecoder::bdsOntoGps(r.bds, r.rcv), r.want) << r.name;
}

// ---- the wrap guard ------------------------------------------------------------------------------

TEST(Rtcm3CpdRestore, WrapGuardMovesByOne) {
  const double g = 70 * kL;  // a whole count of moduli
  struct Row {
    const char* name;
    double geometric, measured, modulus;
    int want;
  } rows[] = {
      {"remainder 100 m, measured 299,700 m: one less", g + 100, 299700, kL, 69},
      {"remainder 299,700 m, measured 100 m: one more", g + 299700, 100, kL, 71},
      {"both mid", g + 150000, 149000, kL, 70},
      {"both low", g + 100, 200, kL, 70},
      {"both high", g + 299700, 299600, kL, 70},
      {"remainder at 3.1 %, measured high: kept", g + 0.031 * kL, 299700, kL, 70},
      {"remainder low, measured at 96.9 %: kept", g + 100, 0.969 * kL, kL, 70},
      {"GLONASS legacy modulus: remainder 100 m, measured 599,400 m", 35 * 2 * kL + 100, 599400, 2 * kL, 34},
      {"GLONASS legacy modulus: 17,000 m is inside its 3 %", 35 * 2 * kL + 17000, 599400, 2 * kL, 34},
  };
  for (const Row& r : rows)
    EXPECT_EQ(Rtcm3CpdDecoder::wholeModuli(r.geometric, r.measured, r.modulus), r.want) << r.name;
}

// ---- legacy slots and values ---------------------------------------------------------------------

TEST_F(Rtcm3CpdBase, LegacySlotsAndValues) {
  const double pr1 = 123456.78, ph1 = 1.234, pr2 = -2.5, ph2 = 3.75;
  const int amb = 71;
  const double R = amb * kL + pr1;
  struct Slot {
    int slot;
    bool range, phase;
    double r, p;
  };
  struct Row {
    const char* name;
    std::uint8_t flags;
    std::vector<Slot> want;
  } rows[] = {
      {"C/A, L2 P (indicator 1)", 1 << 1,
       {{0, true, true, R, (R + ph1) * kF1 / kC}, {2, true, true, R + pr2, (R + ph2) * kF2 / kC}}},
      {"C/A, L2 C/A (indicator 0)", 0,
       {{0, true, true, R, (R + ph1) * kF1 / kC}, {3, true, true, R + pr2, (R + ph2) * kF2 / kC}}},
      {"P code on L1, indicator 3", 1 | 3 << 1,
       {{1, true, true, R, (R + ph1) * kF1 / kC}, {2, true, true, R + pr2, (R + ph2) * kF2 / kC}}},
      {"no L2 at all", kRtc3LegNoL2Range | kRtc3LegNoL2Phase, {{0, true, true, R, (R + ph1) * kF1 / kC}}},
      {"no L2 range", kRtc3LegNoL2Range | 2 << 1,
       {{0, true, true, R, (R + ph1) * kF1 / kC}, {2, false, true, 0, (R + ph2) * kF2 / kC}}},
      {"no L2 phase", kRtc3LegNoL2Phase | 2 << 1,
       {{0, true, true, R, (R + ph1) * kF1 / kC}, {2, true, false, R + pr2, 0}}},
      {"no L1 phase", kRtc3LegNoL1Phase | kRtc3LegNoL2Range | kRtc3LegNoL2Phase, {{0, true, false, R, 0}}},
  };
  for (const Row& row : rows) {
    Base b;
    Rtcm3CpdDecoder d(&b.buf);
    d.updateAntDesc("TEST", 7);
    d.update(legacyObs(kTow, 0x40, {legacySat(3, row.flags, pr1, ph1, pr2, ph2, amb)}));
    ASSERT_EQ(b.pub.epochs.size(), 1u) << row.name;
    const CpdMeas& m = b.pub.epochs[0];
    ASSERT_EQ(m.n, 1) << row.name;
    EXPECT_EQ(m.sv[0].sv.id, 3) << row.name;
    int used = 0;
    for (const Slot& s : row.want) {
      const CpdMeasSlot& got = m.sv[0].slot[s.slot];
      EXPECT_EQ((got.flags & CpdMeasSlot::kRange) != 0, s.range) << row.name << " slot " << s.slot;
      EXPECT_EQ((got.flags & CpdMeasSlot::kPhase) != 0, s.phase) << row.name << " slot " << s.slot;
      if (s.range) {
        EXPECT_NEAR(got.range, s.r, 1e-6) << row.name << " slot " << s.slot;
      }
      if (s.phase) {
        EXPECT_NEAR(got.phase, s.p, 1e-6) << row.name << " slot " << s.slot;
      }
      ++used;
    }
    int filled = 0;
    for (const CpdMeasSlot& s : m.sv[0].slot) filled += s.flags != 0;
    EXPECT_EQ(filled, used) << row.name;
  }
}

// ---- epochs --------------------------------------------------------------------------------------

TEST_F(Rtcm3CpdBase, EpochRules) {
  const auto sat = [](int prn) { return legacySat(prn, kRtc3LegNoL2Range | kRtc3LegNoL2Phase, 1000.0, 0.5, 0, 0, 70); };
  // Each row: the messages (time offset ms, flags, satellite), whether the antenna is known;
  // then the epochs published and the satellites of each.
  struct Msg {
    long dt;
    std::uint16_t flags;
    int prn;
  };
  struct Row {
    const char* name;
    bool antenna;
    std::vector<Msg> msgs;
    std::vector<std::vector<int>> want;
  } rows[] = {
      {"no antenna descriptor: reclaimed", false, {{0, 0x40, 1}}, {}},
      {"one message without the sync flag", true, {{0, 0x40, 1}}, {{1}}},
      {"sync, sync, then none: released after the second", true,
       {{0, 0x41, 1}, {0, 0x41, 2}, {0, 0x40, 3}}, {{1, 2}, {3}}},
      {"sync then none (GPS then GLONASS)", true, {{0, 0x41, 1}, {0, 0x40, 2}}, {{1, 2}}},
      {"a new time releases the open epoch", true, {{0, 0x41, 1}, {1000, 0x41, 2}}, {{1}}},
      {"not tracked by the rover: left out", true, {{0, 0x40, 9}}, {{}}},
      {"another constellation (bit 9) dropped", true, {{0, 0x240, 1}}, {}},
  };
  for (const Row& row : rows) {
    Base b;
    Rtcm3CpdDecoder d(&b.buf);
    if (row.antenna) d.updateAntDesc("TEST", 7);
    for (const Msg& m : row.msgs) d.update(legacyObs(kTow + m.dt, m.flags, {sat(m.prn)}));
    ASSERT_EQ(b.pub.epochs.size(), row.want.size()) << row.name;
    for (std::size_t e = 0; e < row.want.size(); ++e) {
      const CpdMeas& m = b.pub.epochs[e];
      ASSERT_EQ(m.n, static_cast<int>(row.want[e].size())) << row.name << " epoch " << e;
      for (std::size_t k = 0; k < row.want[e].size(); ++k) EXPECT_EQ(m.sv[k].sv.num, row.want[e][k]) << row.name;
    }
  }
}

TEST_F(Rtcm3CpdBase, PublishedEpochCarriesStation) {
  Base b;
  Rtcm3CpdDecoder d(&b.buf);
  rtc3BaseMsgNum.valid = 1;
  rtc3BaseMsgNum.delta = -17;
  d.updateRefPos(kStation, 1234);
  d.updateAntDesc("TEST", 1234);
  d.update(legacyObs(kTow, 0x40, {legacySat(1, 0x18, 1000.0, 0.5, 0, 0, 70)}));
  ASSERT_EQ(b.pub.epochs.size(), 1u);
  const CpdMeas& m = b.pub.epochs[0];
  EXPECT_EQ(m.id.get(), kTow % CpdEpochId::kHourMs);
  EXPECT_EQ(m.type, CpdMeas::kObservations);
  EXPECT_EQ(m.status, 1);
  EXPECT_EQ(m.stationId, 1234);
  EXPECT_EQ(m.baseMsgInfo, -17);
  EXPECT_EQ(m.refPos.valid, 2);
  EXPECT_EQ(m.refPos.x, kStation.x);
  EXPECT_EQ(m.refPos.z, kStation.z);
}

TEST_F(Rtcm3CpdBase, ReceiverTimeMustBeValid) {
  struct Row {
    const char* name;
    std::uint8_t valid;
    std::uint16_t flags;
    bool published;
  } rows[] = {
      {"GPS message, GPS time valid", 1, 0x40, true},
      {"GPS message, only GLONASS time valid", 2, 0x40, false},
      {"GLONASS message, only GPS time valid", 1, 0x42, false},
  };
  for (const Row& r : rows) {
    Base b;
    Rtcm3CpdDecoder d(&b.buf);
    d.updateAntDesc("TEST", 7);
    ChanMeasTime mt;
    mt.gpsMs = static_cast<std::int32_t>(kTow);
    mt.valid = r.valid;
    ChanData::setMeasTime(mt);
    d.update(legacyObs(kTow, r.flags, {legacySat(1, 0x18, 1000.0, 0.5, 0, 0, 70)}));
    EXPECT_EQ(!b.pub.epochs.empty(), r.published) << r.name;
    EXPECT_FALSE(d.epochOpen()) << r.name;
  }
}

TEST_F(Rtcm3CpdBase, ResetDropsTheOpenEpoch) {
  Base b;
  Rtcm3CpdDecoder d(&b.buf);
  d.updateAntDesc("TEST", 7);
  d.update(legacyObs(kTow, 0x41, {legacySat(1, 0x18, 1000.0, 0.5, 0, 0, 70)}));
  ASSERT_TRUE(d.epochOpen());
  d.reset();
  EXPECT_FALSE(d.epochOpen());
  EXPECT_EQ(d.resets(), 1);
  EXPECT_EQ(b.pub.resets, 1);
  d.update(legacyObs(kTow, 0x40, {legacySat(2, 0x18, 1000.0, 0.5, 0, 0, 70)}));
  ASSERT_EQ(b.pub.epochs.size(), 1u);
  EXPECT_EQ(b.pub.epochs[0].n, 1);
  EXPECT_EQ(b.pub.epochs[0].sv[0].sv.num, 2);
}

TEST_F(Rtcm3CpdBase, PhaseAlignmentFromFlags) {
  struct Row {
    std::uint8_t flags;
    int want;
  } rows[] = {{0, 0}, {1, 1}, {2, 0}, {3, 0}, {0x81, 1}};
  for (const Row& r : rows) {
    Base b;
    Rtcm3CpdDecoder d(&b.buf);
    d.updateAntDesc("TEST", 7);
    d.updateFlags(r.flags);
    d.update(legacyObs(kTow, 0x40, {legacySat(1, 0x18, 1000.0, 0.5, 0, 0, 70)}));
    ASSERT_EQ(b.pub.epochs.size(), 1u);
    EXPECT_EQ(b.pub.epochs[0].phaseAligned, r.want) << int(r.flags);
  }
}

// ---- completing ranges ---------------------------------------------------------------------------

TEST_F(Rtcm3CpdBase, LegacyRangesCompletedFromGeometry) {
  // True ranges R (m), the satellite clock (s), the geometric range's error (m), whether the
  // orbit is known and whether the satellite comes out completed.
  struct Row {
    const char* name;
    double R, clock, err;
    bool orbit, restored;
  } rows[] = {
      {"mid-millisecond", 70 * kL + 150000.0, 0.0, 0.0, true, true},
      {"geometry 5 km long", 70 * kL + 150000.0, 0.0, 5000.0, true, true},
      {"geometry 5 km short", 70 * kL + 150000.0, 0.0, -5000.0, true, true},
      {"satellite clock 0.4 ms", 70 * kL + 150000.0, 4e-4, 0.0, true, true},
      {"measured 299,700 m, geometry 400 m longer", 70 * kL + 299700.0, 0.0, 400.0, true, true},
      {"measured 100 m, geometry 400 m shorter", 70 * kL + 100.0, 0.0, -400.0, true, true},
      {"no orbit", 70 * kL + 150000.0, 0.0, 0.0, false, false},
      {"orbit at the station", 70 * kL + 150000.0, 0.0, -(70 * kL + 150000.0), true, false},
      {"orbit beyond any satellite's", 70 * kL + 150000.0, 0.0, 1e12, true, false},
  };
  for (const Row& r : rows) {
    Base b;
    PlacedUtils u;
    u.station = kStation;
    u.clock = r.clock;
    // The measured range carries minus the satellite clock.
    u.range = r.R + r.clock * kC + r.err;
    u.have = r.orbit;
    Rtcm3CpdDecoder d(&b.buf, u);
    d.updateRefPos(kStation, 3);
    d.updateAntDesc("TEST", 3);
    const double pr1 = std::fmod(r.R, kL), ph1 = 0.75, pr2 = 1.5, ph2 = -0.25;
    d.update(legacyObs(kTow, 0, {legacySat(4, 2 << 1, pr1, ph1, pr2, ph2)}));
    ASSERT_EQ(b.pub.epochs.size(), 1u) << r.name;
    const CpdMeas& m = b.pub.epochs[0];
    if (!r.restored) {
      EXPECT_EQ(m.n, 0) << r.name;
      continue;
    }
    ASSERT_EQ(m.n, 1) << r.name;
    const CpdSvMeas& s = m.sv[0];
    EXPECT_NEAR(s.slot[0].range, r.R, 1e-6) << r.name;
    EXPECT_NEAR(s.slot[0].phase, (r.R + ph1) * kF1 / kC, 1e-6) << r.name;
    EXPECT_NEAR(s.slot[2].range, r.R + pr2, 1e-6) << r.name;
    EXPECT_NEAR(s.slot[2].phase, (r.R + ph2) * kF2 / kC, 1e-6) << r.name;
  }
}

TEST_F(Rtcm3CpdBase, RangesWithoutStationAreLeftOut) {
  Base b;
  PlacedUtils u;
  Rtcm3CpdDecoder d(&b.buf, u);
  d.updateAntDesc("TEST", 3);
  d.update(legacyObs(kTow, 0, {legacySat(4, 0x18, 1000.0, 0.5)}));
  ASSERT_EQ(b.pub.epochs.size(), 1u);
  EXPECT_EQ(b.pub.epochs[0].n, 0);
}

TEST_F(Rtcm3CpdBase, MsmRangesCompletedBelowTwoMilliseconds) {
  Base b;
  PlacedUtils u;
  u.station = kStation;
  const double R = 72 * kL + 1234.5;
  u.range = R + 3000.0;
  Rtcm3CpdDecoder d(&b.buf, u);
  d.updateRefPos(kStation, 3);
  d.updateAntDesc("TEST", 3);
  RTC3_OBS o;
  std::memset(&o, 0, sizeof o);
  o.time = static_cast<std::uint32_t>(kTow);
  o.system = CpdSv::kGps;
  o.numSat = 1;
  o.msm[0].sat = 5;
  // Slot 0 range and phase within the millisecond, slot 2 phase only.
  o.msm[0].sig[0] = RTC3_MSM_SIG{1234.5, 1234.0, 0, 0, 0, 0, kRtc3MsmRangeValid | kRtc3MsmPhaseValid, {}};
  o.msm[0].sig[2] = RTC3_MSM_SIG{0, 1236.0, 0, 0, 0, 0, kRtc3MsmPhaseValid, {}};
  d.updateMSM(o);
  ASSERT_EQ(b.pub.epochs.size(), 1u);
  const CpdMeas& m = b.pub.epochs[0];
  ASSERT_EQ(m.n, 1);
  const CpdSvMeas& s = m.sv[0];
  EXPECT_NEAR(s.slot[0].range, R, 1e-6);
  EXPECT_NEAR(s.slot[0].phase, (72 * kL + 1234.0) * kF1 / kC, 1e-6);
  EXPECT_FALSE(s.slot[2].flags & CpdMeasSlot::kRange);
  EXPECT_NEAR(s.slot[2].phase, (72 * kL + 1236.0) * kF2 / kC, 1e-6);
  EXPECT_EQ(m.phaseAligned, 0);
}

TEST_F(Rtcm3CpdBase, MsmWithAmbiguityUsesItsMilliseconds) {
  Base b;
  Rtcm3CpdDecoder d(&b.buf);
  d.updateAntDesc("TEST", 3);
  RTC3_OBS o;
  std::memset(&o, 0, sizeof o);
  o.time = static_cast<std::uint32_t>(kTow);
  o.system = CpdSv::kGps;
  o.flags = 0x40;
  o.numSat = 1;
  o.msm[0].sat = 2;
  o.msm[0].intMs = 75;
  o.msm[0].sig[0] = RTC3_MSM_SIG{100.25, 99.5, 0, 0, 0, 0, kRtc3MsmRangeValid | kRtc3MsmPhaseValid, {}};
  d.updateMSM(o);
  ASSERT_EQ(b.pub.epochs.size(), 1u);
  ASSERT_EQ(b.pub.epochs[0].n, 1);
  EXPECT_NEAR(b.pub.epochs[0].sv[0].slot[0].range, 75 * kL + 100.25, 1e-6);
  EXPECT_NEAR(b.pub.epochs[0].sv[0].slot[0].phase, (75 * kL + 99.5) * kF1 / kC, 1e-6);
}

// ---- BeiDou messages -----------------------------------------------------------------------------

TEST_F(Rtcm3CpdBase, BeidouMessageTimeOntoGpsTime) {
  struct Row {
    const char* name;
    long msgTime, wantId;
  } rows[] = {
      {"BeiDou time 14,000 ms behind: moved", kTow - 14000, kTow % CpdEpochId::kHourMs},
      {"GPS time 3 s late: kept", kTow - 3000, (kTow - 3000) % CpdEpochId::kHourMs},
  };
  for (const Row& r : rows) {
    Base b;
    Rtcm3CpdDecoder d(&b.buf);
    RTC3_OBS o;
    std::memset(&o, 0, sizeof o);
    o.time = static_cast<std::uint32_t>(r.msgTime);
    o.system = CpdSv::kBeidou;
    o.flags = 0x41;
    d.updateMSM(o);
    ASSERT_TRUE(d.epochOpen()) << r.name;
    EXPECT_EQ(d.times().time[CpdSv::kBeidou].get(), r.wantId) << r.name;
  }
}

// ---- GLONASS biases ------------------------------------------------------------------------------

TEST(Rtcm3CpdGloBias, StationsAndMasks) {
  struct Msg {
    int station;
    std::uint8_t mask;
    float v[4];
  };
  struct Row {
    const char* name;
    bool on;
    std::vector<Msg> msgs;
    int station, mask;
    float want[4];
  } rows[] = {
      {"switch off: stays empty", false, {{5, 0xF, {1, 2, 3, 4}}}, -1, 0, {0, 0, 0, 0}},
      {"one message", true, {{5, 0xA, {1, 2, 3, 4}}}, 5, 0xA, {1, 0, 3, 0}},
      {"same station adds", true, {{5, 0x8, {1, 2, 3, 4}}, {5, 0x1, {5, 6, 7, 8}}}, 5, 0x9, {1, 0, 0, 8}},
      {"new station forgets", true, {{5, 0x8, {1, 2, 3, 4}}, {6, 0x1, {5, 6, 7, 8}}}, 6, 0x1, {0, 0, 0, 8}},
      {"stations 0 and 256 differ", true, {{0, 0x8, {1, 2, 3, 4}}, {256, 0x2, {5, 6, 7, 8}}}, 256, 0x2, {0, 0, 7, 0}},
      {"high mask bits ignored", true, {{9, 0xF4, {1, 2, 3, 4}}}, 9, 0x4, {0, 2, 0, 0}},
  };
  const RTC3_DEC_SETTINGS saved = RTC3_Decoder::getSettings();
  for (const Row& r : rows) {
    curCpdGloBias.clear();
    RTC3_DEC_SETTINGS s = saved;
    s.gloBias = r.on ? 1 : 0;
    RTC3_Decoder::setSettings(s);
    Base b;
    Rtcm3CpdDecoder d(&b.buf);
    for (const Msg& m : r.msgs) {
      RTC3_GLO_BIAS g{};
      g.stationId = static_cast<std::uint16_t>(m.station);
      g.mask = m.mask;
      for (int i = 0; i < 4; ++i) g.bias[i] = m.v[i];
      d.updateGloBias(g, m.station);
    }
    EXPECT_EQ(curCpdGloBias.stationId, r.station) << r.name;
    EXPECT_EQ(curCpdGloBias.mask, r.mask) << r.name;
    for (int i = 0; i < 4; ++i) EXPECT_EQ(curCpdGloBias.bias[i], r.want[i]) << r.name << " value " << i;
  }
  RTC3_Decoder::setSettings(saved);
}

// ---- station records -----------------------------------------------------------------------------

TEST(Rtcm3CpdStation, DescriptionsAndInvalidation) {
  Base b;
  Rtcm3CpdDecoder d(&b.buf);
  ASSERT_GT(antDataBase.count(), 0);
  const char* known = antDataBase.at(0).id();
  d.updateAntDesc(known, 11);
  EXPECT_TRUE(b.aux.antenna.valid());
  EXPECT_STREQ(b.aux.antenna.id(), known);
  EXPECT_TRUE(d.antKnown());
  d.updateAntDesc("NO SUCH ANTENNA", 11);
  EXPECT_FALSE(b.aux.antenna.valid());
  EXPECT_TRUE(d.antKnown());
  const std::string longText(40, 'x');
  d.updateRcvDesc("SOME RECEIVER", longText.c_str(), "12345", 12);
  EXPECT_EQ(b.aux.stationId, 12);
  EXPECT_STREQ(b.aux.rcvType, "SOME RECEIVER");
  EXPECT_EQ(std::string(b.aux.rcvVersion), longText.substr(0, CpdAux::kTextLen - 1));
  EXPECT_STREQ(b.aux.rcvSerial, "12345");
  EXPECT_EQ(d.stationId(), 12);
  d.updateRefPos(kStation, 12);
  d.updateFlags(1);
  EXPECT_EQ(d.refPos().valid, 1);
  d.invalidateRefPos();
  EXPECT_EQ(d.refPos().valid, 0);
  EXPECT_EQ(d.stationId(), -1);
  EXPECT_FALSE(d.antKnown());
  EXPECT_EQ(d.flags(), 0);
  curCpdGloBias.stationId = 4;
  curCpdGloBias.mask = 8;
  d.invalidateOtherInfo();
  EXPECT_FALSE(b.aux.antenna.valid());
  EXPECT_EQ(b.aux.stationId, -1);
  EXPECT_STREQ(b.aux.rcvType, "");
  EXPECT_STREQ(b.aux.rcvVersion, "");
  EXPECT_STREQ(b.aux.rcvSerial, "");
  EXPECT_EQ(curCpdGloBias.stationId, -1);
  EXPECT_EQ(curCpdGloBias.mask, 0);
}

// ---- any record ----------------------------------------------------------------------------------

TEST_F(Rtcm3CpdBase, RandomRecordsKeepEpochsSound) {
  std::mt19937 rng(69);
  Base b;
  PlacedUtils u;
  u.station = kStation;
  Rtcm3CpdDecoder d(&b.buf, u);
  d.updateRefPos(kStation, 1);
  d.updateAntDesc("TEST", 1);
  for (int i = 0; i < 3000; ++i) {
    RTC3_OBS o;
    auto* p = reinterpret_cast<unsigned char*>(&o);
    for (std::size_t k = 0; k < sizeof o; ++k) p[k] = static_cast<unsigned char>(rng());
    // Mostly near the receiver's time so that epochs open and close; measured values as the
    // message readers make them (bounded), everything else as it falls.
    if (rng() % 4 != 0) o.time = static_cast<std::uint32_t>(kTow + static_cast<long>(rng() % 3) * 1000);
    std::uniform_real_distribution<double> v(-1e6, 1e6);
    const bool legacy = rng() % 2 != 0;
    for (int k = 0; k < kRtc3ObsMaxSat; ++k) {
      if (legacy) {
        RTC3_LEGACY_SAT& s = o.legacy[k];
        s.pr1 = v(rng), s.phase1 = v(rng), s.pr2 = v(rng), s.phase2 = v(rng);
      } else {
        for (RTC3_MSM_SIG& g : o.msm[k].sig) g.pr = v(rng), g.phase = v(rng);
      }
    }
    if (legacy) d.update(o);
    else d.updateMSM(o);
  }
  for (const CpdMeas& m : b.pub.epochs) {
    ASSERT_LE(m.n, CpdMeas::kMaxSv);
    for (int k = 0; k < m.n; ++k) {
      EXPECT_GE(m.sv[k].sv.id, 1);
      EXPECT_LE(m.sv[k].sv.id, CpdSv::kMaxId);
    }
  }
}

}  // namespace
