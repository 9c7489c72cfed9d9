// The wide-area step: candidate order, single / first-that-has / blend, smoothing with
// a = min(1, 0.5 / T), restarts, the ionosphere fall-back, the precision-mode refusals and the
// clean-up of satellites no source corrects.
#include <gtest/gtest.h>

#include <cstring>

#include "navigation_data/store/sat_visibility.h"
#include "positioning/corrections/iono_correction.h"
#include "positioning/corrections/sat_corr_processor.h"
#include "positioning/corrections/wd_correction.h"
#include "positioning/data_servers/pvt_data.h"
#include "unit/own_process.h"

namespace {

using WdCorr::Rating;

TEST(WdCorrService, EveryCodeHasOneMeaning) {
  const std::uint8_t want[9] = {kSysSbas, kSysQzss, kSvUnknown, 255, kSysBeidou, 255, kSysNavic, 255, 255};
  for (std::uint32_t c = 0; c < 9; ++c) EXPECT_EQ(WdCorr::sourceSystemOf(c), want[c]) << c;
  EXPECT_EQ(WdCorr::sourceSystemOf(7), 255);  // the state-space service is not screened by system
}

// Every defined service passes its generator's sources on; the state-space service must too,
// although it names no system to screen by.
TEST(WdCorrService, DefinedServicesTakeSources) {
  const struct { std::uint32_t code; bool takes; } rows[] = {{0, true}, {1, true}, {2, true}, {3, false}, {4, true},
                                                             {5, false}, {6, true}, {7, true}, {8, false}, {99, false}};
  for (const auto& r : rows) EXPECT_EQ(WdCorr::takesSources(r.code), r.takes) << r.code;
}

// Selector 0 and 2 take SBAS or QZSS sources, 1 QZSS, 4 BeiDou, 6 NavIC; the state-space service
// takes its stations whatever they are.
TEST(WdCorrService, SourceSystemFitsTheService) {
  const struct {
    std::uint32_t service;
    std::uint8_t sys;
    bool fits;
  } rows[] = {
      {0, kSysSbas, true},    {0, kSysQzss, true},    {0, kSysGps, false},    {0, kSysBeidou, false},
      {2, kSysSbas, true},    {2, kSysQzss, true},    {2, kSysGalileo, false}, {2, kSysGps, false},
      {1, kSysQzss, true},    {1, kSysSbas, false},   {4, kSysBeidou, true},  {4, kSysQzss, false},
      {6, kSysNavic, true},   {6, kSysSbas, false},   {7, kSysGps, true},     {7, kSvUnknown, true},
      {3, kSysSbas, false},   {5, kSysBeidou, false},
  };
  for (const auto& r : rows) EXPECT_EQ(WdCorr::systemFits(r.service, r.sys), r.fits) << r.service << "/" << int(r.sys);
}

// Screening by the masks of the source's own system, whichever service it serves.
TEST(WdCorrService, ScreeningUsesTheMasksOfTheSourceSystem) {
  SatelliteCorrectionProcessor& p = SatCorrProcessorInstance;
  PosSetup::CorrProcessorSetupType setup;
  PosSetup::setDefaults(setup);
  const std::uint64_t sbas = 1u << 9, qzss = 1u << 2;
  std::memcpy(setup.aBytes + IonoCorr::kSbasMaskOffset, &sbas, 8);
  std::memcpy(setup.aBytes + IonoCorr::kQzssMaskOffset, &qzss, 8);
  const std::uint16_t minElev = 0;
  std::memcpy(setup.aBytes + IonoCorr::kWdMinElevOffset, &minElev, 2);
  const struct {
    const char* name;
    std::uint32_t service;
    SvIdType source;
    bool want;
  } rows[] = {
      {"SBAS 129 for SBAS", 0, {9, kSysSbas, 0, 9}, true},
      {"SBAS 130 masked", 0, {10, kSysSbas, 0, 10}, false},
      {"QZSS 195 by the QZSS mask for SBAS", 0, {2, kSysQzss, 0, 2}, true},
      {"QZSS 194 masked", 0, {1, kSysQzss, 0, 1}, false},
      {"SBAS 129 for DFMC", 2, {9, kSysSbas, 0, 9}, true},
      {"QZSS 195 for DFMC", 2, {2, kSysQzss, 0, 2}, true},
      {"GPS source for DFMC", 2, {9, kSysGps, 0, 9}, false},
      {"Galileo source for DFMC", 2, {2, kSysGalileo, 0, 2}, false},
      {"state-space station", 7, {255, kSvUnknown, 0, 255}, true},
  };
  for (const auto& r : rows) {
    SBASData::SourceSlotType slot{};
    slot.source = r.source;
    slot.uProvider = 255;
    EXPECT_EQ(WdCorr::screen_Source(p, setup, r.service, slot), r.want) << r.name;
  }
}

TEST(WdCorrOrder, WeightThenLowerSlot) {
  Rating c[] = {{3, 1.0f}, {1, 2.0f}, {0, 1.0f}, {2, 2.0f}};
  WdCorr::order_Candidates(c, 4);
  const int want[] = {1, 2, 0, 3};
  for (int i = 0; i < 4; ++i) EXPECT_EQ(c[i].slot, want[i]) << i;
}

TEST(WdCorrSmoothing, FactorByTime) {
  struct Row {
    std::uint16_t t;
    double a;
  } rows[] = {{0, 1.0}, {1, 0.5}, {2, 0.25}, {10, 0.05}};
  for (const Row& r : rows) EXPECT_DOUBLE_EQ(WdCorr::smoothing_Factor(r.t), r.a) << r.t;
}

struct Fixture {
  SBASData::CorrectionRequestType req{};
  Fixture() {
    for (int s = 0; s < 3; ++s) {
      req.source[s].uPrn = static_cast<std::uint16_t>(120 + s);
      for (int k = 0; k < 2; ++k)
        for (auto& b : req.source[s].corr[k]) b = SBASData::BandCorrectionType{0, 0, 65535, 0, 0, 0, 0};
    }
    req.uSourceCount = 3;
  }
  void set(int s, int k, int band, float corr, float var, std::uint16_t issue = 5, float rate = 0) {
    req.source[s].corr[k][band] = SBASData::BandCorrectionType{1, 1, issue, corr, rate, var, 0};
  }
};

SatData::CorrectionDataType fresh() {
  SatData::CorrectionDataType r{};
  r.init();
  r.tropo = SatData::TropoCorrectionType{2.0f, 0.01f, 0, 1};
  return r;
}

TEST(WdCorrCombine, SelectionRules) {
  Fixture f;
  f.set(0, 0, 0, 1.0f, 1.0f);  // slot 0 corrects satellite 0
  f.set(1, 0, 0, 3.0f, 3.0f);
  f.set(1, 1, 0, 7.0f, 1.0f);  // satellite 1 only from slot 1
  const Rating c[] = {{0, 1.0f}, {1, 3.0f}};
  struct Row {
    std::uint32_t rule;
    int sat;
    bool has;
    float corr, var;
    std::uint16_t src;
  } rows[] = {
      {1, 0, true, 1.0f, 1.0f, 120},
      {1, 1, false, 0, 0, 0},  // single source: the first candidate lacks it
      {2, 1, true, 7.0f, 1.0f, 121},
      {3, 0, true, (1 * 1.0f + 3 * 3.0f) / 4, (1 * 1.0f + 3 * 3.0f) / 4, 121},
      {3, 1, true, 7.0f, 1.0f, 121},
  };
  for (const Row& r : rows) {
    WdCorr::Options o;
    o.rule = r.rule;
    o.uService = 1;
    SatData::CorrectionDataType rec = fresh();
    ASSERT_EQ(WdCorr::combine_Sat(f.req, c, 2, r.sat, o, rec), r.has) << r.rule << " " << r.sat;
    if (!r.has) continue;
    EXPECT_FLOAT_EQ(rec.wd.band[0].fCorrection, r.corr) << r.rule << " " << r.sat;
    EXPECT_FLOAT_EQ(rec.wd.band[0].fVariance, r.var) << r.rule << " " << r.sat;
    EXPECT_EQ(rec.wd.uSourcePrn, r.src);
    EXPECT_EQ(rec.wd.uService, 1);
    EXPECT_EQ(rec.wd.band[1].bValid, 0);
  }
}

TEST(WdCorrCombine, SmoothingAndItsRestarts) {
  struct Row {
    const char* name;
    std::uint16_t t;
    std::uint16_t prevIssue;
    bool restart;
    float want;
  } rows[] = {
      {"T 1 s", 1, 5, false, 3.0f},
      {"T 2 s", 2, 5, false, 1.5f},
      {"no smoothing", 0, 5, false, 6.0f},
      {"issue changed", 1, 4, false, 6.0f},
      {"selector changed", 1, 5, true, 6.0f},
  };
  for (const Row& r : rows) {
    Fixture f;
    f.set(0, 0, 0, 6.0f, 1.0f, 5, 0.2f);
    const Rating c[] = {{0, 1.0f}};
    WdCorr::Options o;
    o.rangeSmooth = r.t;
    o.restart = r.restart;
    SatData::CorrectionDataType rec = fresh();
    rec.wd.band[0] = SatData::WdBandCorrectionType{1, r.prevIssue, 0.0f, 0.0f, 9.0f};
    ASSERT_TRUE(WdCorr::combine_Sat(f.req, c, 1, 0, o, rec)) << r.name;
    EXPECT_FLOAT_EQ(rec.wd.band[0].fCorrection, r.want) << r.name;
    EXPECT_FLOAT_EQ(rec.wd.band[0].fVariance, 1.0f) << r.name;  // never smoothed
    EXPECT_EQ(rec.wd.band[0].uIod, 5) << r.name;
  }
}

TEST(WdCorrCombine, IonosphereFallBackAndPrecisionRefusals) {
  struct Row {
    const char* name;
    bool sourceIono, model, modelAllowed, precision, tropo;
    bool bandValid, ionoValid, fromModel;
  } rows[] = {
      {"grid", true, true, true, false, true, true, true, false},
      {"model", false, true, true, false, true, true, true, true},
      {"model not allowed", false, true, false, false, true, true, false, false},
      {"no model", false, false, true, false, true, true, false, false},
      {"precision without ionosphere", false, true, false, true, true, false, false, false},
      {"precision without troposphere", true, true, true, true, false, false, true, false},
      {"precision complete", true, true, true, true, true, true, true, false},
  };
  for (const Row& r : rows) {
    Fixture f;
    f.set(0, 0, 0, 6.0f, 1.0f);
    f.set(0, 0, 1, 6.5f, 1.0f);
    if (r.sourceIono) f.req.source[0].iono[0] = SBASData::IonoCorrectionEntryType{1, -3.0f, 0.5f, 0};
    const Rating c[] = {{0, 1.0f}};
    WdCorr::Options o;
    o.modelIonoAllowed = r.modelAllowed;
    o.precisionMode = r.precision;
    SatData::CorrectionDataType rec = fresh();
    if (r.model) rec.iono = SatData::IonoCorrectionType{-4.0f, 2.0f, 1.5f, 1};
    if (!r.tropo) rec.tropo.bValid = 0;
    ASSERT_TRUE(WdCorr::combine_Sat(f.req, c, 1, 0, o, rec)) << r.name;
    EXPECT_EQ(rec.wd.band[0].bValid != 0, r.bandValid) << r.name;
    EXPECT_EQ(rec.wd.band[1].bValid != 0, r.bandValid) << r.name;
    EXPECT_EQ(rec.wd.iono.bValid != 0, r.ionoValid) << r.name;
    EXPECT_EQ(rec.wd.iono.bFromModel != 0, r.fromModel) << r.name;
    if (r.ionoValid) {
      EXPECT_FLOAT_EQ(rec.wd.iono.fDelay, r.fromModel ? -4.0f : -3.0f) << r.name;
    }
  }
}

TEST(WdCorrStep, NoCandidateClearsEveryWideAreaBlock) {
  SatelliteCorrectionProcessor& p = SatCorrProcessorInstance;
  for (std::uint32_t service : {0u, 3u, 5u, 8u}) {
    std::memcpy(p.work().corrSetup.aBytes + IonoCorr::kWdServiceOffset, &service, 4);
    p.work().request.uCount = 0;
    const SvIdType sv{4, kSysGps, 0, 4};
    SatData::CorrectionDataType r = fresh();
    r.wd.band[0] = SatData::WdBandCorrectionType{1, 7, 1.0f, 0.0f, 1.0f};
    p.store()->satCorrection.Put(&sv, &r);
    EXPECT_EQ(p.update_WdCorrection(), 0) << service;
    ASSERT_NE(p.store()->satCorrection.Take(&sv, &r), 0);
    EXPECT_EQ(r.wd.band[0].bValid, 0) << service;
    EXPECT_EQ(r.wd.band[0].uIod, 65535) << service;
    EXPECT_EQ(r.tropo.bValid, 1) << service;  // the other parts stay
  }
}

// ---- the step with sources present ------------------------------------------------------------------

// Two SBAS sources heard by the real generator through the data servers: PRN 129 in source-state
// entry 0 and PRN 137 in entry 1, both correcting GPS 1 to 5 with fast and long-term corrections;
// 129 (UDREI 12) at 1 m, 137 (UDREI 2, the better) at 2 m. The correction setup is the factory
// one (SBAS service, single source) in en-route mode, with the source elevation mask at 5 degrees.
struct TwoSources {
  static constexpr int kNowMs = 200000;
  static constexpr std::uint32_t kTag = 5000000;
  SatelliteCorrectionProcessor& p = SatCorrProcessorInstance;
  SatCorrWorkArea& w = p.work();
  PosSetup::CorrProcessorSetupType setup{};

  static SvIdType geo(int prn) {
    return SvIdType{static_cast<std::uint8_t>(prn - 120), kSysSbas, 0, static_cast<std::uint8_t>(prn - 120)};
  }
  static SvIdType gps(int prn) {
    return SvIdType{static_cast<std::uint8_t>(prn - 1), kSysGps, 0, static_cast<std::uint8_t>(prn - 1)};
  }

  TwoSources() {
    PosSetup::setDefaults(setup);
    const std::uint32_t none = 0;  // no almanac asked of a source, none's health obeyed
    std::memcpy(setup.aBytes + SBASData::kSetupSbasAlmMaskOffset, &none, 4);
    std::memcpy(setup.aBytes + SBASData::kSetupSbasHealthMaskOffset, &none, 4);
    // A phase of flight other than the precision approach: no smoothing, the soft UDRE tables.
    const std::uint32_t enRoute = 2;
    std::memcpy(setup.aBytes + SBASData::kSetupSbasModeOffset, &enRoute, 4);
    apply();
    SBASData::SatCorrectionType::set_DataTimeout(&setup);
    for (int e = 0; e < SBASData::kSbasSources; ++e) {
      PVTDataInstance.sbasSatCorrection[e].Init();
      PVTDataInstance.sbasIonoCorrection[e].Init();
      SBASData::SourceStateDataType st;
      st.init();
      PVTDataInstance.sbasSourceState.Put(e, &st);
      SBASData::DegradationDataType d;
      d.init();
      PVTDataInstance.sbasDegradation[e].Put(&d);
    }
    for (int slot = 0; slot < SYS_SI_TOTAL; ++slot) {
      SvIdType sv;
      SatData::CorrectionDataType r;
      if (svIdFromSiSlot(slot, sv) && PVTDataInstance.satCorrection.Take(&sv, &r) != 0) {
        r.init();
        PVTDataInstance.satCorrection.Put(&sv, &r);
      }
    }
    for (int prn : {129, 137}) visibility(prn, -100);
    // Five satellites, one at the zenith and four at 37 degrees in the four directions.
    const double los[5][3] = {{0, 0, 1}, {0.8, 0, 0.6}, {-0.8, 0, 0.6}, {0, 0.8, 0.6}, {0, -0.8, 0.6}};
    w.request = CorrData::CorrectionRequestType{};
    w.request.rcvTime.gps.ulMs = kNowMs;
    w.request.rcvTime.ulTimeTag = kTag;
    w.rcvTime = w.request.rcvTime;
    w.request.uCount = 5;
    for (int k = 0; k < 5; ++k) {
      CorrData::RequestSatDataType& q = w.request.sat[k];
      q.svId = gps(k + 1);
      for (int a = 0; a < 3; ++a) q.dLos[a] = los[k][a];
      q.fRangeVar = 1.0f;
      q.fElevation = k == 0 ? 90.0f : 37.0f;
      // The satellite's record: model ionosphere and troposphere of this epoch.
      SatData::CorrectionDataType r{};
      r.init();
      r.iono = SatData::IonoCorrectionType{-3.0f, 0.5f, 1.2f, 1};
      r.tropo = SatData::TropoCorrectionType{-2.5f, 0.01f, 0, 1};
      PVTDataInstance.satCorrection.Put(&q.svId, &r);
    }
    usedList({1, 2, 3, 4, 5}, 0);
    source(0, 129, 12, 8);
    source(1, 137, 2, 16);
  }
  void apply() {
    w.corrSetup = setup;
    PVTDataInstance.corrProcessorSetup.Put(&setup);
  }
  void visibility(int prn, float elevation) {
    SatData::SatVisibilityType vis{};
    vis.valid = elevation > -90 ? 1 : 0;
    vis.elevation = elevation;
    SatVisibilityStoreInstance.PutEph(geo(prn), &vis);
  }
  // The list of used satellites, `ageMs` older than the epoch.
  void usedList(std::initializer_list<int> prns, std::uint32_t ageMs) {
    w.usedSatList = SatData::SatelliteListType{};
    for (int prn : prns) w.usedSatList.ullMask[kSysGps] |= std::uint64_t{1} << (prn - 1);
    w.usedSatList.ulTimeTag = kTag - ageMs;
    w.bUsedSatList = 1;
  }
  // Source-state entry `e` hears `prn`, which corrects GPS 1..5 with UDREI `udrei` and a fast
  // correction of `prc8` x 0.125 m.
  void source(int e, int prn, int udrei, int prc8, std::initializer_list<int> sats = {1, 2, 3, 4, 5}) {
    SBASData::SourceStateDataType st;
    st.uPrn = static_cast<std::uint8_t>(prn);
    st.uSystem = kSysSbas;
    SBASData::set_TimeTag(st.ulTime, kNowMs - 1000);
    PVTDataInstance.sbasSourceState.Put(e, &st);
    PVTDataInstance.sbasSatCorrection[e].Init();
    const SvIdType src = geo(prn);
    for (int s : sats) {
      SBASData::SatCorrectionType r{};
      r.init();
      r.set_ReadyUDREData(src);
      r.set_ReadyFastCorr(src);
      r.set_ReadyLongCorr(src);
      for (SBASData::TimeTag* t : {&r.ulUdreTime, &r.ulFastTime[0], &r.ulLongTime}) SBASData::set_TimeTag(*t, kNowMs - 2000);
      r.uUdrei = static_cast<std::uint8_t>(udrei);
      r.fPrc = prc8 * 0.125f;
      r.longCorr[0].uIod = 40;
      const SvIdType sv = gps(s);
      PVTDataInstance.sbasSatCorrection[e].Put(&sv, &r);
    }
  }
  // The wide-area band 0 of GPS `prn` after the step: the correction (m) and its source's PRN, or
  // -1 and 0 without one.
  std::pair<float, int> band0(int prn) {
    SatData::CorrectionDataType r{};
    const SvIdType sv = gps(prn);
    if (PVTDataInstance.satCorrection.Take(&sv, &r) == 0 || r.wd.band[0].bValid == 0) return {-1.0f, 0};
    return {r.wd.band[0].fCorrection, r.wd.uSourcePrn};
  }
};

// What the wide-area step keeps between epochs lives in process-wide records: in a process of its own.
TEST(WdCorrStep, SourcesScreenedAndRatedByTheSatellitesTheEngineUsed) {
  testproc::inOwnProcess([] {
    struct Row {
      const char* name;
      void (*arrange)(TwoSources&);
      int wantPrn;  // every satellite corrected by this source alone; 0: none corrected
    };
    const Row rows[] = {
        {"the better source", [](TwoSources&) {}, 137},
        {"the better source masked out", [](TwoSources& t) {
           const std::uint64_t mask = 0x0FFFFFFF & ~(std::uint64_t{1} << 17);
           std::memcpy(t.setup.aBytes + IonoCorr::kSbasMaskOffset, &mask, 8);
           t.apply();
         }, 129},
        {"the better source below the source elevation mask", [](TwoSources& t) { t.visibility(137, 4.9f); }, 129},
        {"the better source at the source elevation mask", [](TwoSources& t) { t.visibility(137, 5.0f); }, 137},
        // With two used satellites each source rates 1000 / 2: equal weights, the lower slot first.
        {"two used satellites: equal ratings", [](TwoSources& t) { t.usedList({1, 2}, 0); }, 129},
        {"the same list 59.999 s old", [](TwoSources& t) { t.usedList({1, 2}, 59999); }, 129},
        {"the same list 60 s old counts no more", [](TwoSources& t) { t.usedList({1, 2}, 60000); }, 137},
        {"no list", [](TwoSources& t) { t.w.bUsedSatList = 0; }, 137},
        {"a fresh list naming none of them: no candidate", [](TwoSources& t) { t.usedList({7}, 0); }, 0},
    };
    for (const Row& r : rows) {
      TwoSources t;
      r.arrange(t);
      EXPECT_EQ(t.p.update_WdCorrection() > 0, r.wantPrn != 0) << r.name;
      for (int prn = 1; prn <= 5; ++prn) {
        const auto [corr, src] = t.band0(prn);
        EXPECT_EQ(src, r.wantPrn) << r.name << ": G" << prn;
        if (r.wantPrn != 0) {
          EXPECT_NEAR(corr, r.wantPrn == 137 ? 2.0f : 1.0f, 1e-6) << r.name << ": G" << prn;
        }
      }
    }
  });
}

// The rating is the position part of the inverse normal matrix of the counted satellites. For the
// five lines of sight above, G^T G (rows -e, 1) splits into x: 1.28, y: 1.28 and (z, clock):
// [[2.44, -3.4], [-3.4, 5]], so with one variance s^2 per satellite the position trace is
// s^2 (1 / 1.28 + 1 / 1.28 + 5 / 0.64) = 9.375 s^2; s^2 = sigma_UDRE^2 + 0.5 (model ionosphere)
// + 0.01 (troposphere) + 1 (range). Fewer than four satellites rate 1000 / count.
// What the wide-area step keeps between epochs lives in process-wide records: in a process of its own.
TEST(WdCorrStep, GeometryOfTheCountedSatellitesDecidesTheRating) {
  testproc::inOwnProcess([] {
    TwoSources t;
    t.source(1, 137, 2, 16, {1, 2, 3});  // three satellites: rated 1000 / 3
    ASSERT_GT(t.p.update_WdCorrection(), 0);
    EXPECT_EQ(t.band0(1).second, 129) << "five satellites of UDREI 12 outrank three of UDREI 2";
    // Blending: each satellite the weighted mean of the sources that correct it.
    const std::uint32_t blend = 3;
    std::memcpy(t.setup.aBytes + IonoCorr::kWdModeOffset, &blend, 4);
    t.apply();
    ASSERT_EQ(t.p.update_WdCorrection(), 2);
    const double sigma = 0.7746;  // soft sigma_UDRE of UDREI 12
    const double w129 = 1.0 / (9.375 * (sigma * sigma + 1.51)), w137 = 3.0 / 1000.0;
    for (int prn : {1, 2, 3}) EXPECT_NEAR(t.band0(prn).first, (w129 * 1.0 + w137 * 2.0) / (w129 + w137), 1e-5) << prn;
    for (int prn : {4, 5}) EXPECT_NEAR(t.band0(prn).first, 1.0f, 1e-6) << "137 does not correct G" << prn;
  });
}

}  // namespace
