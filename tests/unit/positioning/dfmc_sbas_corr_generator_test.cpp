// The DFMC wide-area generator against the DFMC SBAS interface definitions: sigma_DFRE by DFREI
// (DFREI 15 "do not use"), the MT37 table in precision mode, eps_CORR and eps_ER, the MT32
// covariance factor and the propagated MT32 clock-ephemeris correction, each computed here from
// the published formulas.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "positioning/data_servers/pvt_data.h"
#include "positioning/sbas/dfmc_sbas_corr_generator.h"

namespace {

using G = DFMC_SbasCorrGenerator;
using Rec = SBASData::DFMC_SatCorrectionType;
using Degr = SBASData::DFMC_DegradationDataType;

constexpr int kNowMs = 3 * 86400000 + 36000000;  // Wednesday 10:00
constexpr std::uint8_t kSource = 5;               // SBAS index of the source

SvIdType sbasSource() { return SvIdType{kSource, kSysSbas, 0, kSource}; }

// A record of the source with its DFREI and a block 0 received at nowMs - ageS.
Rec record(int dfrei, double ageS, const SBASData::DFMC_CorrBlock& c) {
  Rec r{};
  r.init();
  r.uDfrei = static_cast<std::uint8_t>(dfrei);
  r.uDfreFlags = dfrei >= 15 ? Rec::kDfreDoNotUse : 0;
  r.set_ReadyDFREData(sbasSource());
  SBASData::set_TimeTag(r.ulDfreTime, kNowMs - 1000);
  r.corr[0] = c;
  r.set_ReadyCorrData(sbasSource(), 0);
  SBASData::set_TimeTag(r.ulCorrTime[0], kNowMs - static_cast<int>(ageS * 1000));
  r.fRcorr = 0.5f;
  return r;
}

SBASData::DFMC_CorrBlock block(int ddx = 0, int ddb = 0) {
  SBASData::DFMC_CorrBlock c{};
  c.iDx = 16;   // 1 m
  c.iDy = -32;  // -2 m
  c.iDz = 8;    // 0.5 m
  c.iDb = 64;   // 2 m
  c.iDdx = static_cast<std::int16_t>(ddx);
  c.iDdb = static_cast<std::int16_t>(ddb);
  c.uT0 = static_cast<std::uint16_t>((36000 - 160) / 16);  // 160 s before now
  c.uIodn = 321;
  return c;
}

CorrData::RequestSatDataType satOf(std::uint8_t sys) {
  CorrData::RequestSatDataType s{};
  s.dLos[0] = 0.6;
  s.dLos[1] = 0.0;
  s.dLos[2] = 0.8;
  s.svId = SvIdType{3, sys, 0, 3};
  return s;
}

Degr mt37() {
  Degr d{};
  d.init();
  d.uSource = kSource;
  d.uBlockFlags = 0x1F;
  d.uIvalid32 = 5;  // 60 s
  d.fCer = 2.5f;
  d.fCcovariance = 0.3f;
  for (int k = 0; k < Degr::kBlocks; ++k) {
    d.uIcorr[k] = 1;  // 60 s
    d.fCcorr[k] = 0.2f;
    d.fRcorr[k] = 4.0f;  // mm/s
  }
  for (int i = 0; i < Degr::kDfreEntries; ++i) d.fSigmaDfre[i] = 0.5f + 0.25f * i;
  return d;
}

TEST(DfmcCorrSigma, DfreiRowsAndDoNotUse) {
  struct Row {
    int dfrei;
    bool precision, withMt37, allow;
    G::SatWorkType::Status want;
    double sigma;
  } rows[] = {
      {0, false, false, false, G::SatWorkType::kOk, 0.1612},
      {13, false, false, false, G::SatWorkType::kOk, 2.3238},
      {14, false, false, false, G::SatWorkType::kOk, 10.0},
      {15, false, false, false, G::SatWorkType::kDoNotUse, 0},
      {15, true, true, false, G::SatWorkType::kDoNotUse, 0},
      {15, false, false, true, G::SatWorkType::kOk, 10.0},
      {15, true, true, true, G::SatWorkType::kOk, 10.0},  // the broadcast table does not speak for it
      {3, true, true, false, G::SatWorkType::kOk, 0.5 + 0.25 * 3},  // MT37 table in precision mode
      {3, false, true, false, G::SatWorkType::kOk, 0.1918},         // soft mode keeps the default
      {3, true, false, false, G::SatWorkType::kOk, 0.1918},         // no MT37
  };
  for (const Row& r : rows) {
    G g(nullptr);
    const Degr d = mt37();
    g.set_SatMode(kSource, r.precision, r.withMt37 ? &d : nullptr, r.allow);
    const Rec rec = record(r.dfrei, 0.0, block());
    G::SatWorkType w;
    g.compute_SatCorrection(rec, satOf(kSysGps), kNowMs, w);
    EXPECT_EQ(w.status, r.want) << r.dfrei << " " << r.precision << r.withMt37 << r.allow;
    if (r.want != G::SatWorkType::kOk) {
      EXPECT_EQ(w.band[0].bValid, 0);
      continue;
    }
    EXPECT_NEAR(w.dSigma, r.sigma, 1e-5) << r.dfrei;
    if (!r.precision) {
      EXPECT_NEAR(w.band[0].dVariance, r.sigma * r.sigma, 1e-5) << r.dfrei;
    }
  }
}

TEST(DfmcCorrSigma, OtherSourceOrStaleDfreiGivesNothing) {
  G g(nullptr);
  g.set_SatMode(kSource + 1, false, nullptr, false);
  G::SatWorkType w;
  g.compute_SatCorrection(record(2, 0, block()), satOf(kSysGps), kNowMs, w);
  EXPECT_EQ(w.status, G::SatWorkType::kNoRecord);
  g.set_SatMode(kSource, false, nullptr, false);
  Rec rec = record(2, 0, block());
  SBASData::set_TimeTag(rec.ulDfreTime, kNowMs - 200000);  // older than the DFRE time-out
  g.compute_SatCorrection(rec, satOf(kSysGps), kNowMs, w);
  EXPECT_EQ(w.status, G::SatWorkType::kLacksData);
}

TEST(DfmcCorrBlock, GeoBlockWithVelocitySkipped) {
  struct Row {
    std::uint8_t sys;
    int ddx, ddb;
    bool valid;
  } rows[] = {{kSysSbas, 0, 0, true}, {kSysSbas, 3, 0, false}, {kSysSbas, 0, -2, false},
              {kSysGps, 3, -2, true}, {kSysGalileo, 0, 0, true}};
  for (const Row& r : rows) {
    G g(nullptr);
    g.set_SatMode(kSource, false, nullptr, false);
    G::SatWorkType w;
    g.compute_SatCorrection(record(1, 0, block(r.ddx, r.ddb)), satOf(r.sys), kNowMs, w);
    EXPECT_EQ(w.band[0].bValid, r.valid ? 1 : 0) << int(r.sys) << " " << r.ddx << " " << r.ddb;
  }
}

TEST(DfmcCorrBlock, RangeCorrectionPropagatedFromT0) {
  // dx = 1 + ddx 2^-11 (t - t0), dB = 2 + ddb 2^-12 (t - t0), t - t0 = 160 s; e = (0.6, 0, 0.8).
  struct Row {
    int ddx, ddb;
  } rows[] = {{0, 0}, {100, 0}, {0, -200}, {-50, 80}};
  for (const Row& r : rows) {
    G g(nullptr);
    g.set_SatMode(kSource, false, nullptr, false);
    G::SatWorkType w;
    g.compute_SatCorrection(record(1, 0, block(r.ddx, r.ddb)), satOf(kSysGps), kNowMs, w);
    const double dx = 1.0 + r.ddx / 2048.0 * 160.0, dz = 0.5, db = 2.0 + r.ddb / 4096.0 * 160.0;
    EXPECT_NEAR(w.band[0].dCorrection, db - (0.6 * dx + 0.8 * dz), 1e-9) << r.ddx << " " << r.ddb;
    EXPECT_EQ(w.band[0].uIssue, 321);
    EXPECT_EQ(w.band[1].bValid, 0);  // no previous issue
  }
}

TEST(DfmcCorrDegrad, EpsCorrFromItsDefinition) {
  // eps_CORR = floor(dt / I_corr) C_corr + dt R_corr / 1000, R_corr scaled by the MT32 RCORR while
  // dt is within I_valid,MT32 (60 s here); I_corr 60 s, C_corr 0.2 m, R_corr 4 mm/s, RCORR 0.5.
  const Degr d = mt37();
  struct Row {
    std::uint8_t sys;
    double age, want;
  } rows[] = {{kSysGps, 0, 0},
              {kSysGps, 30, 30 * 0.002},
              {kSysGps, 60, 0.2 + 60 * 0.002},
              {kSysGps, 61, 0.2 + 61 * 0.004},
              {kSysGalileo, 130, 0.4 + 130 * 0.004},
              {kSysBeidou, 59.9, 59.9 * 0.002},
              {kSysSbas, 10, 0.02},
              {kSysQzss, 100, 0}};  // no block for the system
  for (const Row& r : rows)
    EXPECT_NEAR(G::get_CorrDegrad(d, r.sys, r.age, 0.5), r.want, 1e-6) << int(r.sys) << " " << r.age;
  Degr none = d;
  none.uBlockFlags = 0x1E;  // GPS block not broadcast
  EXPECT_EQ(G::get_CorrDegrad(none, kSysGps, 100, 0.5), 0.0);
}

TEST(DfmcCorrDegrad, PrecisionVarianceAddsCorrAndEr) {
  // (sigma dDFRE)^2 + eps_CORR^2, plus C_er^2 once the block is older than I_valid,MT32.
  struct Row {
    double age;
    bool er;
  } rows[] = {{10, false}, {60, false}, {90, true}};
  for (const Row& r : rows) {
    G g(nullptr);
    const Degr d = mt37();
    g.set_SatMode(kSource, true, &d, false);
    G::SatWorkType w;
    g.compute_SatCorrection(record(4, r.age, block()), satOf(kSysGps), kNowMs, w);
    const double s = 0.5 + 0.25 * 4;
    const double e = G::get_CorrDegrad(d, kSysGps, w.band[0].dAge, 0.5);
    const double want = s * s + e * e + (r.er ? 2.5 * 2.5 : 0.0);
    EXPECT_NEAR(w.band[0].dVariance, want, 1e-4) << r.age;
  }
}

TEST(DfmcCorrCovariance, DeltaDfreFromMt32Matrix) {
  // R diagonal (E11..E44 = 16, scale exponent 1: SF = 2^-4): dDFRE = |R I| = sqrt(4 (e.e) ... )
  SBASData::CovMatrixBlock cov{};
  cov.uScaleExp = 1;
  const int diag[4] = {0, 4, 7, 9};
  for (int i : diag) cov.iE[i] = 16;
  const double los[3] = {0.6, 0.0, 0.8};
  // R I = (1)(-0.6, 0, -0.8, 1) -> |.| = sqrt(2); plus C_cov x SF.
  struct Row {
    double ccov, want;
  } rows[] = {{0.0, std::sqrt(2.0)}, {0.3, std::sqrt(2.0) + 0.3 / 16.0}};
  for (const Row& r : rows) EXPECT_NEAR(G::get_DeltaDFRE(cov, los, r.ccov), r.want, 1e-12) << r.ccov;
}

TEST(DfmcCorrTimeout, SourceStateOutlivesEveryDataTimeout) {
  G g(nullptr);
  g.process_DataTimeout();
  const double most = std::max({Rec::get_DFREDataTimeout(), Rec::get_CorrDataTimeout(), Rec::get_PrnMaskTimeout(),
                                Degr::get_DegradDataTimeout()});
  EXPECT_DOUBLE_EQ(SBASData::DFMC_SourceStateDataType::get_SourceStateDataTimeout(), static_cast<float>(most + 60));
}

TEST(DfmcCorrUpdate, SourceSlotFromTheStoreAndItsScreening) {
  // One DFMC source in server entry 2 correcting GPS 3; a test-mode or silent source fills no slot.
  struct Row {
    std::uint8_t flags;
    int heardMsAgo;
    int dfrei;
    int slots;
    bool valid;
  } rows[] = {{0, 1000, 2, 1, true},
              {0, 1000, 15, 1, false},  // refused: the slot holds nothing for the satellite
              {SBASData::DFMC_SourceStateDataType::kTestMode, 1000, 2, 0, false},
              {0, 3600000, 2, 0, false}};
  for (const Row& r : rows) {
    PVTDataType& store = PVTDataInstance;
    for (int e = 0; e < SBASData::kDfmcSources; ++e) {
      SBASData::DFMC_SourceStateDataType none;
      store.dfmcSbasSourceState.Put(e, &none);
    }
    SBASData::DFMC_SourceStateDataType st;
    st.uPrn = static_cast<std::uint8_t>(SYS_SI_MIN[kSysSbas] + kSource);
    st.uSystem = kSysSbas;
    st.uFlags = r.flags;
    SBASData::set_TimeTag(st.ulTime, kNowMs - r.heardMsAgo);
    store.dfmcSbasSourceState.Put(2, &st);
    const CorrData::RequestSatDataType sat = satOf(kSysGps);
    const Rec rec = record(r.dfrei, 0, block());
    store.dfmcSbasSatCorrection[2].Put(&sat.svId, &rec);
    static CorrData::CorrectionRequestType rq{};
    rq.rcvTime.gps.ulMs = kNowMs;
    rq.uCount = 1;
    rq.sat[0] = sat;
    static SBASData::CorrectionRequestType req;
    req.pRequest = &rq;
    req.bRangeWanted = 1;
    req.uSourceSystem = kSvUnknown;
    G g(&store);
    g.update(&req);
    ASSERT_EQ(req.uSourceCount, r.slots) << r.dfrei << " " << int(r.flags) << " " << r.heardMsAgo;
    if (r.slots == 0) continue;
    EXPECT_EQ(req.source[0].uPrn, st.uPrn);
    EXPECT_EQ(req.source[0].corr[0][0].bValid, r.valid ? 1 : 0) << r.dfrei;
    if (r.valid) {
      EXPECT_NEAR(req.source[0].corr[0][0].fCorrection, 2.0 - (0.6 * 1.0 + 0.8 * 0.5), 1e-5);
    }
  }
}

}  // namespace
