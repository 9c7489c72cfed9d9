#include "positioning/corrections/wd_correction.h"

#include <algorithm>
#include <cstring>

#include "positioning/corrections/comp_corr_generator.h"
#include "positioning/corrections/iono_correction.h"
#include "positioning/corrections/rtcm_ts_corr_generator.h"
#include "positioning/corrections/sat_corr_processor.h"
#include "positioning/data_servers/sbas_data_types.h"
#include "positioning/engine/pvt_engine.h"
#include "positioning/sbas/dfmc_sbas_corr_generator.h"
#include "positioning/sbas/sbas_corr_generator.h"

namespace WdCorr {

std::uint8_t sourceSystemOf(std::uint32_t service) {
  switch (service) {
    case kServiceSbas: return kSysSbas;
    case kServiceQzss: return kSysQzss;
    case kServiceDfmc: return kSvUnknown;  // any system
    case kServiceBeidou: return kSysBeidou;
    case kServiceNavic: return kSysNavic;
    default: return 255;
  }
}

void order_Candidates(Rating* c, int n) {
  std::stable_sort(c, c + n, [](const Rating& a, const Rating& b) {
    return a.weight > b.weight || (a.weight == b.weight && a.slot < b.slot);
  });
}

bool systemFits(std::uint32_t service, std::uint8_t sys) {
  switch (service) {
    case kServiceSbas:
    case kServiceDfmc: return sys == kSysSbas || sys == kSysQzss;
    case kServiceStateSpace: return true;
    default: return sourceSystemOf(service) != 255 && sys == sourceSystemOf(service);
  }
}

bool screen_Source(const SatelliteCorrectionProcessor& p, const PosSetup::CorrProcessorSetupType& setup,
                   std::uint32_t service, const SBASData::SourceSlotType& slot) {
  if (service == kServiceStateSpace) return true;
  const std::uint8_t sys = slot.source.sys;
  if (!systemFits(service, sys)) return false;
  // The masks are those of the source's own system, whichever service it serves.
  const std::uint32_t own = sys == kSysSbas ? kServiceSbas : sys == kSysQzss ? kServiceQzss
                            : sys == kSysBeidou ? kServiceBeidou : kServiceNavic;
  return IonoCorr::accept_Source(p, setup, own, slot);
}

bool takesSources(std::uint32_t service) {
  return sourceSystemOf(service) != 255 || service == kServiceDfmc || service == kServiceStateSpace;
}

double smoothing_Factor(std::uint16_t t) { return t == 0 ? 1.0 : std::min(1.0, 0.5 / t); }

bool combine_Sat(const SBASData::CorrectionRequestType& req, const Rating* c, int n, int k, const Options& o,
                 SatData::CorrectionDataType& rec) {
  const bool single = o.rule < 2;
  const bool firstHas = o.rule == 2;
  SatData::WdCorrectionType out = rec.wd;
  bool any = false;
  std::uint16_t lastSource = SatData::WdCorrectionType::kNoSource;
  for (int band = 0; band < 2; ++band) {
    double sw = 0, sc = 0, sr = 0, sv = 0;
    std::uint16_t issue = 65535;
    bool first = true;
    for (int j = 0; j < n; ++j) {
      const SBASData::SourceSlotType& slot = req.source[c[j].slot];
      const SBASData::BandCorrectionType& e = slot.corr[k][band];
      if (e.bValid == 0) {
        if (single) break;
        continue;
      }
      const double wgt = c[j].weight;
      sw += wgt;
      sc += wgt * e.fCorrection;
      sr += wgt * e.fRate;
      sv += wgt * e.fVariance;
      if (first) issue = o.bdsIssue ? 65535 : e.uIssue;
      first = false;
      lastSource = slot.uPrn;
      if (single || firstHas) break;
    }
    SatData::WdBandCorrectionType& b = out.band[band];
    if (first || sw <= 0) {
      b = SatData::WdBandCorrectionType{0, 65535, 0, 0, 0};
      continue;
    }
    any = true;
    const double corr = sc / sw, rate = sr / sw, var = sv / sw;
    const bool smooth = o.rangeSmooth != 0 && !o.restart && rec.wd.band[band].bValid != 0 &&
                        rec.wd.band[band].uIod == issue;
    const double a = smoothing_Factor(o.rangeSmooth);
    b.bValid = 1;
    b.uIod = issue;
    b.fCorrection = static_cast<float>(smooth ? b.fCorrection + (corr - b.fCorrection) * a : corr);
    b.fRate = static_cast<float>(smooth ? b.fRate + (rate - b.fRate) * a : rate);
    b.fVariance = static_cast<float>(var);
  }
  if (!any) return false;
  out.uSourcePrn = lastSource;
  out.uService = o.uService;
  // Ionosphere: blended over the candidates that hold one, else the model, else none.
  double sw = 0, sd = 0, sv = 0;
  if (o.serviceHasIono) {
    const int use = single ? std::min(n, 1) : n;
    for (int j = 0; j < use; ++j) {
      const SBASData::IonoCorrectionEntryType& e = req.source[c[j].slot].iono[k];
      if (e.bValid == 0) continue;
      sw += c[j].weight;
      sd += c[j].weight * e.fDelay;
      sv += c[j].weight * e.fVariance;
      if (firstHas) break;
    }
  }
  if (sw > 0) {
    const double d = sd / sw, v = sv / sw;
    const bool smooth = o.ionoSmooth != 0 && !o.restart && rec.wd.iono.bValid != 0 && rec.wd.iono.bFromModel == 0;
    const double a = smoothing_Factor(o.ionoSmooth);
    out.iono.bValid = 1;
    out.iono.bFromModel = 0;
    out.iono.fDelay = static_cast<float>(smooth ? rec.wd.iono.fDelay + (d - rec.wd.iono.fDelay) * a : d);
    out.iono.fVariance = static_cast<float>(v);
  } else if (o.modelIonoAllowed && rec.iono.bValid != 0) {
    out.iono = SatData::WdIonoCorrectionType{1, 1, rec.iono.fCorrection, rec.iono.fVariance};
  } else {
    out.iono = SatData::WdIonoCorrectionType{};
    if (o.precisionMode) out.band[0].bValid = out.band[1].bValid = 0;
  }
  if (o.precisionMode && rec.tropo.bValid == 0) out.band[0].bValid = out.band[1].bValid = 0;
  out.tropo = rec.tropo;
  rec.wd = out;
  return true;
}

}  // namespace WdCorr

namespace {

template <typename T>
T field(const std::uint8_t* bytes, std::size_t offset) {
  T v;
  std::memcpy(&v, bytes + offset, sizeof v);
  return v;
}

SBASData::CorrectionRequestType wdRequest;
std::uint32_t lastService = 0xFFFFFFFFu;

}  // namespace

bool SatelliteCorrectionProcessor::compute_WdCorrAsSbas(int system, bool& firstSourceOnly, bool& modelIonoAllowed,
                                                        unsigned short& rangeSmoothing,
                                                        unsigned short& ionoSmoothing) {
  SBASData::CorrectionRequestType& req = wdRequest;
  req.uSourceSystem = static_cast<std::uint8_t>(system);
  req.bPrecision = req.bStrictHealth = req.bAlmanacRequired = 0;
  req.bIonoWanted = 1;
  const int mode = SBASData::get_SbasMode(work().corrSetup);
  if (mode != 0) {
    rangeSmoothing = ionoSmoothing = 0;
    req.bStrictHealth = req.bAlmanacRequired = 1;
  }
  if (mode == 1) {
    firstSourceOnly = true;
    modelIonoAllowed = false;
    req.bPrecision = 1;
  }
  if (sbas_ == nullptr) return false;
  sbas_->update(&req);
  return true;
}

int SatelliteCorrectionProcessor::update_WdCorrection() {
  SatCorrWorkArea& w = work();
  const std::uint8_t* s = w.corrSetup.aBytes;
  const std::uint32_t service = field<std::uint32_t>(s, IonoCorr::kWdServiceOffset);
  WdCorr::Options o;
  o.rule = field<std::uint32_t>(s, IonoCorr::kWdModeOffset);
  o.rangeSmooth = field<std::uint16_t>(s, SBASData::kSetupWdRangeSmoothOffset);
  o.ionoSmooth = field<std::uint16_t>(s, IonoCorr::kSmoothingOffset);
  o.restart = service != lastService;
  o.uService = service == WdCorr::kServiceSbas ? 1 : 255;
  SBASData::CorrectionRequestType& req = wdRequest;
  req.pRequest = &w.request;
  req.bRangeWanted = 1;
  req.bIonoWanted = 0;
  req.uSourceCount = 0;
  req.dRefFrequency = 1575.42e6;
  bool firstOnly = false;
  const int mode = SBASData::get_SbasMode(w.corrSetup);
  switch (service) {
    case WdCorr::kServiceSbas:
    case WdCorr::kServiceQzss:
    case WdCorr::kServiceNavic:
      compute_WdCorrAsSbas(WdCorr::sourceSystemOf(service), firstOnly, o.modelIonoAllowed, o.rangeSmooth,
                           o.ionoSmooth);
      o.precisionMode = mode == 1;
      if (firstOnly) o.rule = 1;
      break;
    case WdCorr::kServiceBeidou:
      req.uSourceSystem = kSysBeidou;
      o.rule = 2;
      o.bdsIssue = true;
      if (comp_ != nullptr) comp_->update(&req);
      break;
    case WdCorr::kServiceStateSpace:
      req.uSourceSystem = kSvUnknown;
      o.rule = 1;
      o.rangeSmooth = o.ionoSmooth = 0;
      o.serviceHasIono = false;
      if (rtcmTs_ != nullptr) rtcmTs_->update(&req);
      break;
    case WdCorr::kServiceDfmc:
      req.uSourceSystem = kSvUnknown;
      req.bStrictHealth = 1;
      req.bAlmanacRequired = mode != 0 ? 1 : 0;
      req.bPrecision = mode == 1 ? 1 : 0;
      o.rule = 1;
      o.rangeSmooth = 0;
      o.precisionMode = mode == 1;
      if (dfmc_ != nullptr) dfmc_->update(&req);
      break;
    default:  // other codes name no service
      break;
  }
  WdCorr::Rating cand[SBASData::kMaxCorrSources];
  int n = 0;
  const int sources = std::min<int>(req.uSourceCount, SBASData::kMaxCorrSources);
  const int sats = std::min<int>(w.request.uCount, CorrData::kMaxRequestSats);
  SatCorrectionDataServerType& server = store()->satCorrection;
  const bool anySource = WdCorr::takesSources(service);
  // The satellites the position engine used count in the rating while that list is fresh.
  const bool listCounts =
      w.bUsedSatList != 0 && w.rcvTime.ulTimeTag - w.usedSatList.ulTimeTag < IonoCorr::kUsedListMaxAgeMs;
  for (int i = 0; i < sources && anySource; ++i) {
    const SBASData::SourceSlotType& slot = req.source[i];
    if (!WdCorr::screen_Source(*this, w.corrSetup, service, slot)) continue;
    init_SourceVarEstimation();
    int fed = 0;
    for (int k = 0; k < sats; ++k) {
      const CorrData::RequestSatDataType& q = w.request.sat[k];
      const SBASData::BandCorrectionType& b = slot.corr[k][0];
      if (b.bValid == 0 && slot.iono[k].bValid == 0) continue;
      if (listCounts && (q.svId.sys >= SYS_NUM || q.svId.si >= 64 ||
                         (w.usedSatList.ullMask[q.svId.sys] >> q.svId.si & 1u) == 0))
        continue;
      SatData::CorrectionDataType r{};
      if (server.Take(&q.svId, &r) == 0) r.init();
      double v = b.bValid != 0 ? b.fVariance : 100.0;
      if (slot.iono[k].bValid != 0) {
        v += slot.iono[k].fVariance;
      } else if (o.modelIonoAllowed && r.iono.bValid != 0) {
        v += r.iono.fVariance;
      } else {
        if (o.precisionMode) continue;
        v += 100.0;
      }
      v += r.tropo.bValid != 0 ? r.tropo.fVariance : 100.0;
      update_SourceVarEstimation(q, static_cast<float>(v));
      ++fed;
    }
    if (fed == 0) continue;
    const float var = get_SourceVarEstimation();
    cand[n++] = WdCorr::Rating{i, var != 0.0f ? 1.0f / var : 0.0f};
  }
  if (o.rule == 0) {
    const std::uint8_t manual = field<std::uint8_t>(s, IonoCorr::kFixedSourceOffset);
    int keep = 0;
    for (int j = 0; j < n; ++j)
      if (req.source[cand[j].slot].uPrn == manual) cand[keep++] = cand[j];
    n = keep;
  } else {
    WdCorr::order_Candidates(cand, n);
  }
  bool marked[SYS_SI_TOTAL] = {};
  for (int k = 0; k < sats && n > 0; ++k) {
    const CorrData::RequestSatDataType& q = w.request.sat[k];
    int slot = 0;
    if (!q.svId.find_SiSlot(slot)) continue;
    SatData::CorrectionDataType r{};
    if (server.Take(&q.svId, &r) == 0) r.init();
    if (o.restart) r.InitWdCorr();
    if (!WdCorr::combine_Sat(req, cand, n, k, o, r)) continue;
    server.Put(&q.svId, &r);
    marked[slot] = true;
  }
  for (int slot = 0; slot < SYS_SI_TOTAL; ++slot) {
    SvIdType sv;
    if (marked[slot] || !svIdFromSiSlot(slot, sv)) continue;
    SatData::CorrectionDataType r;
    if (server.Take(&sv, &r) == 0 || (r.wd.band[0].bValid == 0 && r.wd.band[1].bValid == 0)) continue;
    r.InitWdCorr();
    server.Put(&sv, &r);
  }
  lastService = service;
  return n;
}
