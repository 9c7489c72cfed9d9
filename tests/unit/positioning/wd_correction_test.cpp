// The wide-area step: candidate order, single / first-that-has / blend, smoothing with
// a = min(1, 0.5 / T), restarts, the ionosphere fall-back, the precision-mode refusals and the
// clean-up of satellites no source corrects.
#include <gtest/gtest.h>

#include <cstring>

#include "positioning/corrections/iono_correction.h"
#include "positioning/corrections/sat_corr_processor.h"
#include "positioning/corrections/wd_correction.h"

namespace {

using WdCorr::Rating;

TEST(WdCorrService, EveryCodeHasOneMeaning) {
  const std::uint8_t want[9] = {kSysSbas, kSysQzss, kSvUnknown, 255, kSysBeidou, 255, kSysNavic, 255, 255};
  for (std::uint32_t c = 0; c < 9; ++c) EXPECT_EQ(WdCorr::sourceSystemOf(c), want[c]) << c;
  EXPECT_EQ(WdCorr::sourceSystemOf(7), 255);  // the state-space service is not screened by system
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

}  // namespace
