#include "positioning/sbas/dfmc_sbas_corr_generator.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "navigation_data/store/nav_records.h"
#include "navigation_data/store/sat_data_store.h"
#include "positioning/data_servers/pvt_data.h"
#include "positioning/sbas/sbas_corr_generator.h"

DFMC_SbasCorrGenerator::DFMC_SbasCorrGenerator(PVTDataType* store, SatelliteDataProcessor* satData)
    : store_(store), satData_(satData) {}

void DFMC_SbasCorrGenerator::process_DataTimeout() {
  using S = SBASData::DFMC_SatCorrectionType;
  const double t = std::max({S::get_DFREDataTimeout(), S::get_CorrDataTimeout(), S::get_MtrxDataTimeout(),
                             S::get_PrnMaskTimeout(),
                             SBASData::DFMC_DegradationDataType::get_DegradDataTimeout()});
  SBASData::DFMC_SourceStateDataType::set_SourceStateDataTimeout(static_cast<float>(t + 60.0));
}

int DFMC_SbasCorrGenerator::degradBlockOf(std::uint8_t sys) {
  switch (sys) {
    case kSysGps: return 0;
    case kSysGlonass: return 1;
    case kSysGalileo: return 2;
    case kSysBeidou: return 3;
    case kSysSbas: return 4;
    default: return -1;
  }
}

double DFMC_SbasCorrGenerator::get_CorrDegrad(const SBASData::DFMC_DegradationDataType& d, std::uint8_t sys,
                                              double age, double rcorr32) {
  const int k = degradBlockOf(sys);
  if (k < 0 || (d.uBlockFlags >> k & 1u) == 0 || age < 0) return 0.0;
  // The MT32 RCORR scales the rate term only while that message is within its validity.
  const double rate = d.fRcorr[k] * (age <= validity32(d) ? rcorr32 : 1.0);
  return age * 0.001 * rate + std::floor(age / correlationInterval(d, k)) * d.fCcorr[k];
}

double DFMC_SbasCorrGenerator::get_DeltaDFRE(const SBASData::CovMatrixBlock& cov, const double* los, double ccov) {
  return SbasCorrGenerator::get_DeltaUDRE(&cov, los, ccov);
}

void DFMC_SbasCorrGenerator::set_SatMode(std::uint8_t sourceIndex, bool precision,
                                         const SBASData::DFMC_DegradationDataType* mt37, bool allowDoNotUse) {
  uSourceIndex_ = sourceIndex;
  bPrecision_ = precision;
  bAllowDoNotUse_ = allowDoNotUse;
  bMt37_ = mt37 != nullptr;
  if (bMt37_) mt37_ = *mt37;
}

void DFMC_SbasCorrGenerator::compute_SatCorrection(const SBASData::DFMC_SatCorrectionType& rec,
                                                   const CorrData::RequestSatDataType& sat, int nowMs,
                                                   SatWorkType& out) const {
  out = SatWorkType{};
  for (auto& b : out.band) b.uIssue = 65535;
  out.status = SatWorkType::kNoRecord;
  if (rec.uSource != uSourceIndex_) return;
  out.status = SatWorkType::kLacksData;
  if (!rec.is_ReadyDFREData(nowMs)) return;
  int dfrei = rec.uDfrei > kDfreiDoNotUse ? kDfreiDoNotUse : rec.uDfrei;
  if ((rec.uDfreFlags & SBASData::DFMC_SatCorrectionType::kDfreDoNotUse) != 0) dfrei = kDfreiDoNotUse;
  out.status = SatWorkType::kDoNotUse;
  double sigma;
  if (dfrei == kDfreiDoNotUse) {
    if (!bAllowDoNotUse_) return;
    dfrei = kDfreiAllowed;
    sigma = fDefaultTableSigmaDFRE[kDfreiAllowed];
  } else {
    sigma = bPrecision_ && bMt37_ ? mt37_.fSigmaDfre[dfrei] : fDefaultTableSigmaDFRE[dfrei];
  }
  out.status = SatWorkType::kOk;
  out.uDfrei = static_cast<std::uint8_t>(dfrei);
  out.dSigma = sigma;
  const double ccov = bPrecision_ && bMt37_ ? mt37_.fCcovariance : 0.0;
  out.dDelta = rec.is_ReadyMtrxData(nowMs) ? get_DeltaDFRE(rec.mtrx, sat.dLos, ccov) : 1.0;
  const bool geo = sat.svId.sys == kSysSbas;
  for (int b = 0; b < 2; ++b) {
    SatWorkType::Band& o = out.band[b];
    if (!rec.is_ReadyCorrData(nowMs, b)) continue;
    const SBASData::DFMC_CorrBlock& c = rec.corr[b];
    const bool velocity = c.iDdx != 0 || c.iDdy != 0 || c.iDdz != 0 || c.iDdb != 0;
    // A geostationary satellite's own correction is not propagated with broadcast rates.
    if (geo && velocity) continue;
    SBASData::LongCorrBlock t0Block{};
    t0Block.uT0 = c.uT0;
    SBASData::TimeTag t0 = 0;
    SBASData::set_TimeTag(t0, nowMs);
    GetExtendedWaas_t0(&t0Block, t0);
    double span = (static_cast<double>(nowMs) - static_cast<double>(t0 >> 1)) / 1000.0;
    if (span > SBASData::kHalfWeek) span -= 2 * SBASData::kHalfWeek;
    if (span < -SBASData::kHalfWeek) span += 2 * SBASData::kHalfWeek;
    o.dPos[0] = c.iDx * 0.0625 + std::ldexp(c.iDdx, -11) * span;
    o.dPos[1] = c.iDy * 0.0625 + std::ldexp(c.iDdy, -11) * span;
    o.dPos[2] = c.iDz * 0.0625 + std::ldexp(c.iDdz, -11) * span;
    o.dClock = c.iDb * 0.03125 + std::ldexp(c.iDdb, -12) * span;
    o.dCorrection = o.dClock - (sat.dLos[0] * o.dPos[0] + sat.dLos[1] * o.dPos[1] + sat.dLos[2] * o.dPos[2]);
    o.dRate = std::ldexp(c.iDdb, -12) -
              (sat.dLos[0] * std::ldexp(c.iDdx, -11) + sat.dLos[1] * std::ldexp(c.iDdy, -11) +
               sat.dLos[2] * std::ldexp(c.iDdz, -11));
    o.dAge = std::max(0.0, SBASData::get_TimeTagAge(nowMs, rec.ulCorrTime[b]));
    const double s = sigma * out.dDelta;
    o.dVariance = s * s;
    if (bPrecision_ && bMt37_) {
      const double e = get_CorrDegrad(mt37_, sat.svId.sys, o.dAge, rec.fRcorr);
      o.dVariance += e * e;
      if (o.dAge > validity32(mt37_)) o.dVariance += static_cast<double>(mt37_.fCer) * mt37_.fCer;
    }
    o.bValid = 1;
    o.uIssue = c.uIodn;
  }
}

void DFMC_SbasCorrGenerator::update(SBASData::CorrectionRequestType* req) {
  if (req == nullptr) return;
  req->uSourceCount = 0;
  if (store_ == nullptr || req->pRequest == nullptr) return;
  process_DataTimeout();
  const CorrData::CorrectionRequestType& rq = *req->pRequest;
  const int nowMs = static_cast<int>(rq.rcvTime.gps.ulMs);
  const bool precision = req->bPrecision != 0;
  PosSetup::CorrProcessorSetupType setup{};
  const bool haveSetup = store_->corrProcessorSetup.Take(&setup) != 0;
  const bool allow = haveSetup && setup.aBytes[SBASData::kSetupDfmcAllowDfrei15Offset] == 1;
  const int sats = std::min<int>(rq.uCount, CorrData::kMaxRequestSats);
  for (int e = 0; e < SBASData::kDfmcSources && req->uSourceCount < SBASData::kMaxCorrSources; ++e) {
    SBASData::DFMC_SourceStateDataType st;
    if (store_->dfmcSbasSourceState.Take(e, &st) == 0) continue;
    SBASData::SourceSlotType* const open = openSourceSlot(st, *req, satData_, haveSetup ? &setup : nullptr, nowMs);
    if (open == nullptr) continue;
    SBASData::SourceSlotType& slot = *open;
    const SvIdType src = slot.source;
    const std::uint8_t index = SBASData::sourceIndexOf(src);
    SBASData::DFMC_DegradationDataType d{};
    const bool mt37 = precision && store_->dfmcSbasDegradation[e].Take(&d) != 0 && d.uSource == index &&
                      d.is_ReadyDegradData(nowMs);
    set_SatMode(index, precision, mt37 ? &d : nullptr, allow);
    for (int k = 0; k < sats; ++k) {
      const CorrData::RequestSatDataType& sat = rq.sat[k];
      for (auto& c : slot.corr[k]) c = SBASData::BandCorrectionType{0, 0, 65535, 0, 0, 0, 0};
      slot.iono[k] = SBASData::IonoCorrectionEntryType{};
      slot.uUseEntry[k] = 0;
      if (req->bRangeWanted == 0) continue;
      SBASData::DFMC_SatCorrectionType rec;
      if (store_->dfmcSbasSatCorrection[e].Take(&sat.svId, &rec) == 0) continue;
      SatWorkType w;
      compute_SatCorrection(rec, sat, nowMs, w);
      if (w.status != SatWorkType::kOk) continue;
      for (int b = 0; b < 2; ++b) {
        const SatWorkType::Band& o = w.band[b];
        SBASData::BandCorrectionType& c = slot.corr[k][b];
        c.bUdreValid = 1;
        c.fVariance = static_cast<float>(o.dVariance);
        if (o.bValid == 0) continue;
        c.bValid = 1;
        c.uIssue = o.uIssue;
        c.fCorrection = static_cast<float>(o.dCorrection);
        c.fRate = static_cast<float>(o.dRate);
        c.fAge = static_cast<float>(o.dAge);
      }
      slot.uUseEntry[k] =
          (slot.corr[k][1].bValid != 0 && slot.corr[k][1].uIssue == sat.uIod && slot.corr[k][0].uIssue != sat.uIod)
              ? 1
              : 0;
    }
    ++req->uSourceCount;
  }
}

DFMC_SbasCorrGenerator DFMC_SbasCorrGeneratorInstance(&PVTDataInstance, &SatDataProcessorInstance);
