// SBAS data records: the time-outs of every part by operating mode against RTCA DO-229D
// (table A-25 and, for the fast corrections by a_i, table A-8), ages of time tags across the
// week, the source rule of the ready bits, and the expiry pass of the correction processor.
#include <gtest/gtest.h>

#include <cstring>

#include "positioning/corrections/sat_corr_processor.h"
#include "positioning/data_servers/pvt_data.h"
#include "positioning/data_servers/sbas_data_types.h"

namespace {

using namespace SBASData;

constexpr int kWeekMs = 604800000;

PosSetup::CorrProcessorSetupType setup(std::uint32_t mode, std::uint16_t u = 0, std::uint16_t iono = 0) {
  PosSetup::CorrProcessorSetupType s;
  PosSetup::setDefaults(s);
  std::memcpy(s.aBytes + kSetupSbasModeOffset, &mode, 4);
  std::memcpy(s.aBytes + kSetupSbasDataTimeoutOffset, &u, 2);
  std::memcpy(s.aBytes + kSetupSbasIonoTimeoutOffset, &iono, 2);
  return s;
}

void applyAll(const PosSetup::CorrProcessorSetupType& s) {
  SatCorrectionType::set_DataTimeout(&s);
  IonoCorrectionType::set_DataTimeout(&s);
  DegradationDataType::set_DataTimeout(&s);
  RegionServiceDataType::set_DataTimeout(&s);
  DFMC_SatCorrectionType::set_DataTimeout(&s);
  DFMC_DegradationDataType::set_DataTimeout(&s);
}

SvIdType sbas(int si) { return SvIdType{static_cast<std::uint8_t>(si), 3, 0, static_cast<std::uint8_t>(si)}; }

// DO-229D time-outs (s), precision approach and en route to non-precision approach.
struct TimeoutRow {
  const char* name;
  std::uint32_t mode;
  std::uint16_t u, iono;
  double udre, comm, prnMask, mt10, ionoCorr, grid, region, dfre, dfmcCorr, dfmcPrn, dfmcDegr;
  double fast[16];
};
constexpr double kFastPa[16] = {120, 120, 102, 90, 90, 78, 66, 54, 42, 30, 30, 18, 18, 18, 12, 12};
constexpr double kFastNpa[16] = {180, 180, 153, 135, 135, 117, 99, 81, 63, 45, 45, 27, 27, 27, 18, 18};

TEST(SbasTimeouts, EveryPartByOperatingMode) {
  TimeoutRow rows[] = {
      {"mode 1", 1, 100, 100, 12, 240, 600, 240, 600, 1200, 86400, 12, 240, 600, 240, {}},
      {"mode 2", 2, 100, 100, 18, 360, 600, 360, 600, 1200, 86400, 18, 360, 600, 360, {}},
      {"mode 3", 3, 500, 500, 18, 360, 600, 360, 600, 1200, 86400, 18, 360, 600, 360, {}},
      {"mode 4", 4, 0, 0, 18, 360, 600, 360, 600, 1200, 86400, 18, 360, 600, 360, {}},
      {"mode 0, U 100", 0, 100, 300, 100, 360, 3600, 3600, 300, 3600, 86400, 18, 360, 600, 360, {}},
      {"mode 0, U 200", 0, 200, 900, 200, 360, 3600, 3600, 900, 3600, 86400, 18, 360, 600, 360, {}},
      {"mode 0, U 400", 0, 400, 600, 400, 400, 3600, 3600, 600, 3600, 86400, 18, 360, 600, 360, {}},
      {"mode 5 reads as 2", 5, 100, 100, 18, 360, 600, 360, 600, 1200, 86400, 18, 360, 600, 360, {}},
      {"mode 255 reads as 2", 255, 100, 100, 18, 360, 600, 360, 600, 1200, 86400, 18, 360, 600, 360, {}},
      {"mode 2^31 reads as 2", 0x80000000u, 100, 100, 18, 360, 600, 360, 600, 1200, 86400, 18, 360, 600, 360, {}},
  };
  for (int i = 0; i < 16; ++i) {
    rows[0].fast[i] = kFastPa[i];
    for (int r : {1, 2, 3, 4, 7, 8, 9}) rows[r].fast[i] = kFastNpa[i];
    rows[5].fast[i] = 200;
    rows[6].fast[i] = 400;
  }
  for (const TimeoutRow& r : rows) {
    applyAll(setup(r.mode, r.u, r.iono));
    EXPECT_EQ(SatCorrectionType::get_UDREDataTimeout(), r.udre) << r.name;
    EXPECT_EQ(SatCorrectionType::get_LongCorrTimeout(), r.comm) << r.name;
    EXPECT_EQ(SatCorrectionType::get_DegrDataTimeout(), r.comm) << r.name;
    EXPECT_EQ(SatCorrectionType::get_MtrxDataTimeout(), r.comm) << r.name;
    EXPECT_EQ(SatCorrectionType::get_PrnMaskTimeout(), r.prnMask) << r.name;
    EXPECT_EQ(DegradationDataType::get_DegradDataTimeout(), r.mt10) << r.name;
    EXPECT_EQ(IonoCorrectionType::get_IonoCorrTimeout(), r.ionoCorr) << r.name;
    EXPECT_EQ(IonoCorrectionType::get_GridDataTimeout(), r.grid) << r.name;
    EXPECT_EQ(RegionServiceDataType::get_RegionDataTimeout(), r.region) << r.name;
    EXPECT_EQ(DFMC_SatCorrectionType::get_DFREDataTimeout(), r.dfre) << r.name;
    EXPECT_EQ(DFMC_SatCorrectionType::get_CorrDataTimeout(), r.dfmcCorr) << r.name;
    EXPECT_EQ(DFMC_SatCorrectionType::get_MtrxDataTimeout(), r.dfmcCorr) << r.name;
    EXPECT_EQ(DFMC_SatCorrectionType::get_PrnMaskTimeout(), r.dfmcPrn) << r.name;
    EXPECT_EQ(DFMC_DegradationDataType::get_DegradDataTimeout(), r.dfmcDegr) << r.name;
    for (int ai = 0; ai < 16; ++ai) EXPECT_EQ(SatCorrectionType::get_FastCorrTimeout(ai), r.fast[ai]) << r.name << " a_i " << ai;
  }
  // An a_i index out of the table reads the last entry.
  applyAll(setup(1));
  EXPECT_EQ(SatCorrectionType::get_FastCorrTimeout(16), 12);
  EXPECT_EQ(SatCorrectionType::get_FastCorrTimeout(-1), 12);
}

// ---- ages --------------------------------------------------------------------------------------

struct AgeRow {
  const char* name;
  int nowMs;
  int tagMs;  // -1: invalid tag
  bool fromReception;
  double age;
};

TEST(SbasTimeTag, AgesFoldedIntoHalfAWeek) {
  const int t = 200000000;
  const AgeRow rows[] = {
      {"1 s", t, t - 1000, false, 1.0},
      {"1 s from reception", t, t - 1000, true, 1.0 - 1.13},
      {"17 s", t, t - 17000, false, 17.0},
      {"302399 s stays", 400000000, 400000000 - 302399000, false, 302399.0},
      {"302401 s reads as ahead", 302401000, 0, false, -302399.0},
      {"a week and 5 s reads 5 s", kWeekMs - 1, kWeekMs - 1 - 5000, false, 5.0},
      {"across the week's end", 5000, kWeekMs - 10000, false, 15.0},
      {"ahead across the week's end", kWeekMs - 1000, 2000, false, -3.0},
      {"invalid tag", t, -1, false, 86410.0},
      {"invalid tag from reception", t, -1, true, 86410.0},
  };
  for (const AgeRow& r : rows) {
    TimeTag tag = 0;
    set_TimeTag(tag, r.tagMs);
    EXPECT_NEAR(get_TimeTagAge(r.nowMs, tag, r.fromReception), r.age, 1e-9) << r.name;
  }
  TimeTag a = 0, b = 0;
  set_TimeTag(a, 10000);
  set_TimeTag(b, kWeekMs - 10000);
  EXPECT_DOUBLE_EQ(get_DeltaTimeTag(a, b), 20.0);
  EXPECT_DOUBLE_EQ(get_DeltaTimeTag(b, a), -20.0);
  clear_TimeTag(b);
  EXPECT_DOUBLE_EQ(get_DeltaTimeTag(a, b), 86410.0);
  EXPECT_DOUBLE_EQ(get_DeltaTimeTag(b, a), 86410.0);
  set_TimeTag(a, -1);
  EXPECT_FALSE(is_ValidTimeTag(a));
}

// Fresh: valid, at most the time-out old from reception and no further ahead than the reception
// allowance; a tag half a week away (302401 s behind) is stale, not 302399 s ahead.
TEST(SbasTimeTag, FreshnessWindowEdges) {
  const int t = 300000000;
  struct {
    const char* name;
    int tagMs;
    double timeout;
    bool fresh;
  } rows[] = {
      {"age 17 s against 18 s", t - 17000, 18, true},
      {"age 19.12 s within 18 s", t - 19120, 18, true},
      {"age 19.14 s past 18 s", t - 19140, 18, false},
      {"age 17 s against 12 s", t - 17000, 12, false},
      {"tag at the current time", t, 18, true},
      {"0.01 s ahead", t + 10, 18, false},
      {"302401 s behind", t - 302401000, 18, false},
      {"302401 s behind, long time-out", t - 302401000, 86400, false},
  };
  for (const auto& r : rows) {
    TimeTag tag = 0;
    set_TimeTag(tag, r.tagMs);
    EXPECT_EQ(is_FreshTimeTag(t, tag, r.timeout), r.fresh) << r.name;
  }
  EXPECT_FALSE(is_FreshTimeTag(t, 0, 86400));
}

// ---- ready bits and sources ------------------------------------------------------------------------

TEST(SbasSatCorrection, PartFromAnotherSourceClearsTheRest) {
  applyAll(setup(2));
  const int t = 100000000;
  SatCorrectionType r;
  r.init();
  EXPECT_EQ(r.get_SourceIndex(), kNoSource);
  r.set_ReadyUDREData(sbas(3));
  set_TimeTag(r.ulUdreTime, t);
  r.set_ReadyLongCorr(sbas(3));
  set_TimeTag(r.ulLongTime, t);
  EXPECT_TRUE(r.is_ReadyUDREData(t + 1000) && r.is_ReadyLongCorr(t + 1000));
  EXPECT_EQ(r.get_SourceIndex(), 3);
  r.set_ReadyFastCorr(sbas(3));  // same source: kept
  EXPECT_TRUE(r.is_ReadyUDREData(t + 1000));
  r.set_ReadyMtrxData(sbas(7));
  EXPECT_EQ(r.get_SourceIndex(), 7);
  EXPECT_EQ(r.uHeader & SatCorrectionType::kReadyMask, SatCorrectionType::kMtrxData);
  EXPECT_FALSE(r.is_ReadyUDREData(t + 1000) || r.is_ReadyLongCorr(t + 1000) || r.is_ReadyFastCorr(t + 1000));
  EXPECT_FALSE(is_ValidTimeTag(r.ulUdreTime) || is_ValidTimeTag(r.ulLongTime));
  // Each part's bit with its tag.
  struct {
    void (SatCorrectionType::*set)(const SvIdType&);
    bool (SatCorrectionType::*is)(int) const;
    TimeTag SatCorrectionType::*tag;
  } parts[] = {
      {&SatCorrectionType::set_ReadyUDREData, &SatCorrectionType::is_ReadyUDREData, &SatCorrectionType::ulUdreTime},
      {&SatCorrectionType::set_ReadyRateCorr, &SatCorrectionType::is_ReadyRateCorr, &SatCorrectionType::ulRateTime},
      {&SatCorrectionType::set_ReadyDegrData, &SatCorrectionType::is_ReadyDegrData, &SatCorrectionType::ulDegrTime},
      {&SatCorrectionType::set_ReadyLongCorr, &SatCorrectionType::is_ReadyLongCorr, &SatCorrectionType::ulLongTime},
      {&SatCorrectionType::set_ReadyPrevLong, &SatCorrectionType::is_ReadyPrevLong, &SatCorrectionType::ulPrevLongTime},
      {&SatCorrectionType::set_ReadyMtrxData, &SatCorrectionType::is_ReadyMtrxData, &SatCorrectionType::ulMtrxTime},
  };
  for (const auto& p : parts) {
    SatCorrectionType q;
    q.init();
    set_TimeTag(q.*p.tag, t);
    EXPECT_FALSE((q.*p.is)(t + 1000));
    (q.*p.set)(sbas(1));
    set_TimeTag(q.*p.tag, t);
    EXPECT_TRUE((q.*p.is)(t + 1000));
    EXPECT_FALSE((q.*p.is)(t + 400000));
  }
}

// The fast correction and the range rate age out by the satellite's a_i while its MT7 is fresh,
// else by the last a_i entry (DO-229D table A-8).
TEST(SbasSatCorrection, FastCorrectionTimeoutFollowsMt7) {
  struct {
    const char* name;
    std::uint32_t mode;
    int ai;       // -1: no MT7
    int mt7Age;   // s
    int fastAge;  // s
    bool ready;
  } rows[] = {
      {"a_i 0, 170 s, en route", 2, 0, 10, 170, true},
      {"a_i 0, 182 s, en route", 2, 0, 10, 182, false},
      {"a_i 0, 115 s, precision", 1, 0, 10, 115, true},
      {"a_i 0, 125 s, precision", 1, 0, 10, 125, false},
      {"a_i 14, 17 s", 2, 14, 10, 17, true},
      {"a_i 14, 20 s", 2, 14, 10, 20, false},
      {"a_i 9, 45 s", 2, 9, 10, 45, true},
      {"no MT7: last entry 18 s", 2, -1, 0, 17, true},
      {"no MT7: last entry, 20 s", 2, -1, 0, 20, false},
      {"stale MT7 (400 s): last entry", 2, 0, 400, 20, false},
  };
  const int t = 400000000;
  for (const auto& r : rows) {
    applyAll(setup(r.mode));
    SatCorrectionType q;
    q.init();
    if (r.ai >= 0) {
      q.set_ReadyDegrData(sbas(2));
      q.uMt7Byte = static_cast<std::uint8_t>(r.ai | 0x30);
      set_TimeTag(q.ulDegrTime, t - r.mt7Age * 1000);
    }
    q.set_ReadyFastCorr(sbas(2));
    q.set_ReadyRateCorr(sbas(2));
    set_TimeTag(q.ulFastTime[0], t - r.fastAge * 1000);
    set_TimeTag(q.ulRateTime, t - r.fastAge * 1000);
    EXPECT_EQ(q.is_ReadyFastCorr(t), r.ready) << r.name;
    EXPECT_EQ(q.is_ReadyRateCorr(t), r.ready) << r.name;
  }
}

// A week later a tag reads fresh again; the per-epoch expiry has cleared the bit long before.
TEST(SbasSatCorrection, ExpiryKeepsAWeekOldPartOut) {
  applyAll(setup(2));
  const int t = 1000000;
  SatCorrectionType q;
  q.init();
  q.set_ReadyUDREData(sbas(0));
  q.set_ReadyLongCorr(sbas(0));
  set_TimeTag(q.ulUdreTime, t);
  set_TimeTag(q.ulLongTime, t);
  EXPECT_FALSE(q.clear_ExpiredData(t + 10000));
  EXPECT_TRUE(q.clear_ExpiredData(t + 30000));  // UDRE past 18 s, long-term kept
  EXPECT_FALSE(q.is_ReadyUDREData(t + 30000));
  EXPECT_TRUE(q.is_ReadyLongCorr(t + 30000));
  EXPECT_TRUE(q.clear_ExpiredData(t + 400000));
  EXPECT_TRUE(is_FreshTimeTag(t + kWeekMs + 5000, q.ulLongTime, 360));  // the tag alone cannot tell
  EXPECT_FALSE(q.is_ReadyLongCorr(t + kWeekMs + 5000));
  EXPECT_FALSE(q.is_ReadyUDREData(t + kWeekMs + 5000));
}

TEST(SbasIonoCorrection, BitsSourceAndTimeouts) {
  applyAll(setup(2));
  const int t = 5000000;
  IonoCorrectionType c;
  c.init();
  EXPECT_EQ(c.get_SourceIndex(), kNoSource);
  c.set_Correction(511, 15);
  EXPECT_TRUE(c.get_Delay() == 511 && c.get_GIVEI() == 15);
  c.set_Correction(100, 3);
  EXPECT_TRUE(c.get_Delay() == 100 && c.get_GIVEI() == 3);
  c.set_ReadyGridData(sbas(4));
  set_TimeTag(c.ulGridTime, t);
  c.set_ReadyIonoCorr(sbas(4));
  set_TimeTag(c.ulCorrTime, t);
  EXPECT_EQ(c.get_SourceIndex(), 4);
  EXPECT_TRUE(c.is_ReadyGridData(t + 1199000) && c.is_ReadyIonoCorr(t + 599000));
  EXPECT_FALSE(c.is_ReadyGridData(t + 1202000));
  EXPECT_FALSE(c.is_ReadyIonoCorr(t + 602000));
  EXPECT_TRUE(c.get_Delay() == 100 && c.get_GIVEI() == 3);
  c.set_ReadyIonoCorr(sbas(5));  // another source: the mask goes with the old one
  EXPECT_EQ(c.get_SourceIndex(), 5);
  EXPECT_FALSE(c.is_ReadyGridData(t + 1000));
  EXPECT_FALSE(is_ValidTimeTag(c.ulCorrTime));
  // Through the server: bits and both tags survive the band packing.
  auto& server = PVTDataInstance.sbasIonoCorrection[0];
  server.Init();  // no grid point a test before left ready
  IonoCorrectionType d;
  d.init();
  d.set_Correction(77, 9);
  d.set_ReadyGridData(sbas(6));
  d.set_ReadyIonoCorr(sbas(6));
  set_TimeTag(d.ulGridTime, t);
  set_TimeTag(d.ulCorrTime, t + 3000);
  ASSERT_EQ(server.Put(123, 9, &d, -1, -1), 1);
  IonoCorrectionType out{};
  ASSERT_EQ(server.Take(123, 9, &out, nullptr, nullptr), 1);
  EXPECT_TRUE(out.ulBits == d.ulBits && out.ulGridTime == d.ulGridTime && out.ulCorrTime == d.ulCorrTime);
  EXPECT_EQ(server.clear_ExpiredData(t + 500000), 0);
  EXPECT_EQ(server.clear_ExpiredData(t + 700000), 1);  // the delay ages out first
  ASSERT_EQ(server.Take(123, 9, &out, nullptr, nullptr), 1);
  EXPECT_TRUE(out.is_ReadyGridData(t + 700000) && !out.is_ReadyIonoCorr(t + 700000));
  EXPECT_EQ(out.get_Delay(), 77);
}

TEST(SbasDegradationAndRegions, SourceAndTimeouts) {
  applyAll(setup(1));
  const int t = 7000000;
  DegradationDataType m;
  m.init();
  EXPECT_FALSE(m.is_ReadyDegradData(t));
  m.set_ReadyDegradData(sbas(8));
  set_TimeTag(m.ulTime, t);
  EXPECT_EQ(m.get_SourceIndex(), 8);
  EXPECT_TRUE(m.is_ReadyDegradData(t + 240000));
  EXPECT_FALSE(m.is_ReadyDegradData(t + 242000));
  m.set_ReadyDegradData(sbas(9));
  EXPECT_FALSE(m.is_ReadyDegradData(t + 1000));
  RegionServiceDataType g;
  g.init();
  g.set_ReadyRegionData(sbas(20));
  set_TimeTag(g.ulTime, t);
  EXPECT_EQ(g.get_SourceIndex(), 20);
  EXPECT_TRUE(g.is_ReadyRegionData(t + 86400000));
  EXPECT_TRUE(g.clear_ExpiredData(t + 86402000));
  EXPECT_FALSE(g.is_ReadyRegionData(t + 1000));
}

TEST(SbasDfmc, BlocksSourcesAndTimeouts) {
  applyAll(setup(1));
  const int t = 9000000;
  DFMC_SatCorrectionType d;
  d.init();
  d.set_ReadyDFREData(sbas(1));
  set_TimeTag(d.ulDfreTime, t);
  d.set_ReadyCorrData(sbas(1), 1);
  set_TimeTag(d.ulCorrTime[1], t);
  d.set_ReadyCorrData(sbas(1), 2);  // no third block
  EXPECT_FALSE(d.is_ReadyCorrData(t, 2) || d.is_ReadyCorrData(t, -1) || d.is_ReadyCorrData(t, 0));
  EXPECT_TRUE(d.is_ReadyDFREData(t + 13000) && !d.is_ReadyDFREData(t + 14000));
  EXPECT_TRUE(d.is_ReadyCorrData(t + 241000, 1) && !d.is_ReadyCorrData(t + 242000, 1));
  d.set_ReadyMtrxData(sbas(2));
  EXPECT_EQ(d.uSource, 2);
  EXPECT_FALSE(d.is_ReadyDFREData(t + 1000) || d.is_ReadyCorrData(t + 1000, 1));
  DFMC_DegradationDataType g;
  g.init();
  g.set_ReadyDegradData(sbas(4));
  set_TimeTag(g.ulTime, t);
  EXPECT_TRUE(g.is_ReadyDegradData(t + 241000) && !g.is_ReadyDegradData(t + 242000));
  DFMC_SourceStateDataType s;
  EXPECT_FALSE(s.is_Ready(t));
  SourceStateDataType l;
  EXPECT_TRUE(l.uPrn == 255 && l.ulMessages == 0 && l.ulParityErrors == 0);
  SourceStateDataType::set_SourceStateDataTimeout(100.0f);
  l.uPrn = 120;
  set_TimeTag(l.ulTime, t);
  EXPECT_TRUE(l.is_Ready(t + 100000) && !l.is_Ready(t + 102000));
}

// The correction processor sets the time-outs from its setup each epoch and clears in the
// servers what aged out by the epoch's GPS time.
TEST(SbasTimeouts, CorrectionProcessorAppliesAndExpiresEachEpoch) {
  PVTDataType& D = PVTDataInstance;
  D.lmsEngineSetup.Init();
  D.satProcessorSetup.Init();
  const PosSetup::CorrProcessorSetupType s = setup(1);
  D.corrProcessorSetup.Put(&s);
  const int t = 50000000;
  PosData::RcvTimeDataType time{};
  time.gps.ulMs = static_cast<std::uint32_t>(t + 20000);
  time.gps.uStatus[0] = 1;
  D.rcvTime.Put(&time);
  SatCorrectionType r;
  r.init();
  r.set_ReadyUDREData(sbas(0));
  r.set_ReadyLongCorr(sbas(0));
  set_TimeTag(r.ulUdreTime, t);
  set_TimeTag(r.ulLongTime, t);
  SvIdType gps{4, 0, 0, 4};
  ASSERT_EQ(D.sbasSatCorrection[2].Put(&gps, &r), 1);
  DegradationDataType m;
  m.init();
  m.set_ReadyDegradData(sbas(0));
  set_TimeTag(m.ulTime, t - 300000);
  D.sbasDegradation[5].Put(&m);
  SatCorrProcessorInstance.update(0);
  EXPECT_EQ(SatCorrectionType::get_UDREDataTimeout(), 12);
  SatCorrectionType out;
  ASSERT_EQ(D.sbasSatCorrection[2].Take(&gps, &out), 1);
  EXPECT_EQ(out.uHeader & SatCorrectionType::kReadyMask, SatCorrectionType::kLongCorr);
  D.sbasDegradation[5].Take(&m);
  EXPECT_EQ(m.bReady & DegradationDataType::kReady, 0);
  EXPECT_EQ(clear_ExpiredServers(nullptr, t), 0);
  // Without a valid GPS time nothing is taken for aged.
  r.set_ReadyUDREData(sbas(0));
  set_TimeTag(r.ulUdreTime, t);
  ASSERT_EQ(D.sbasSatCorrection[2].Put(&gps, &r), 1);
  time.gps.uStatus[0] = 0;
  time.gps.ulMs = 0;
  D.rcvTime.Put(&time);
  SatCorrProcessorInstance.update(100000);
  ASSERT_EQ(D.sbasSatCorrection[2].Take(&gps, &out), 1);
  EXPECT_NE(out.uHeader & SatCorrectionType::kUdre, 0);
}

}  // namespace
