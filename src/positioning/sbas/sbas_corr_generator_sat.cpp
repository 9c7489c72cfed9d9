// SBAS L1 generator, the satellite part: fast and long-term corrections of one satellite, their
// degradation after RTCA DO-229D appendix A.4.5, the UDRE variance with the MT27/MT28
// adjustments, and the pass over the sources that fills a correction request.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "navigation_data/store/nav_records.h"
#include "navigation_data/store/sat_data_store.h"
#include "positioning/data_servers/pvt_data.h"
#include "positioning/sbas/sbas_corr_generator.h"

namespace {
constexpr double kDay = 86400.0;
constexpr double kWeek = 604800.0;
constexpr double kPi = 3.14159265358979323846;

std::uint32_t setupWord(const PosSetup::CorrProcessorSetupType& s, std::size_t off) {
  std::uint32_t v;
  std::memcpy(&v, s.aBytes + off, 4);
  return v;
}

double wrap180(double d) {
  while (d > 180) d -= 360;
  while (d < -180) d += 360;
  return d;
}
}  // namespace

void GetExtendedWaas_t0(const SBASData::LongCorrBlock* block, SBASData::TimeTag& t) {
  if (block == nullptr || !SBASData::is_ValidTimeTag(t)) return;
  const double now = static_cast<double>(t >> 1) / 1000.0;
  const double tod = std::fmod(now, kDay);
  double t0 = now - tod + block->uT0 * 16.0;
  if (t0 - now > kDay / 2) t0 -= kDay;
  if (now - t0 > kDay / 2) t0 += kDay;
  t0 = std::fmod(t0 + kWeek, kWeek);
  SBASData::set_TimeTag(t, static_cast<int>(std::llround(t0 * 1000.0)));
}

double SbasCorrGenerator::get_FastCorrDegrad(int ai, double age, double latency) {
  if (ai < 0 || ai > 15) return 0.0;
  const double t = age + latency;
  return fTableAi[ai] / 2.0 * t * t;
}

double SbasCorrGenerator::get_RateCorrDegrad(int ai, int iodf, int iodfPrev, double dt, double ifc, double brrc,
                                             double age) {
  // A rate from two corrections of one time (dt 0) carries no degradation because it is not used.
  if (ai < 0 || ai > 15 || dt <= 0) return 0.0;
  const double a = fTableAi[ai];
  if (iodf < 3 && iodfPrev >= 0 && iodfPrev < 3) {
    if ((iodf - iodfPrev + 3) % 3 == 1) return 0.0;
    return (a * ifc / 4.0 + brrc / dt) * age;
  }
  if (iodf < 3 && iodfPrev < 0) return (a * ifc / 4.0 + brrc / dt) * age;
  const double d = std::fabs(dt - ifc / 2.0);
  if (d == 0.0) return 0.0;
  return (a * d / 2.0 + brrc / dt) * age;
}

double SbasCorrGenerator::get_LongCorrDegrad(int velocityCode, bool geo, double tFromT0, double ageLong,
                                             const SBASData::DegradationDataType& d) {
  if (geo) {
    const double out = std::max({0.0, -tFromT0, tFromT0 - d.fIgeo});
    return out > 0 ? d.fCgeoLsb + d.fCgeoV * out : 0.0;
  }
  if (velocityCode == 1) {
    const double out = std::max({0.0, -tFromT0, tFromT0 - d.fIltcV1});
    return out > 0 ? d.fCltcLsb + d.fCltcV1 * out : 0.0;
  }
  if (d.fIltcV0 <= 0) return 0.0;
  return d.fCltcV0 * std::floor(std::max(0.0, ageLong) / d.fIltcV0);
}

double SbasCorrGenerator::get_DeltaUDRE(const SBASData::CovMatrixBlock* cov, const double* los, double ccov) {
  if (cov == nullptr || los == nullptr) return 1.0;
  const double sf = std::ldexp(1.0, static_cast<int>(cov->uScaleExp) - 5);
  // R upper triangular, row by row: E11 E12 E13 E14 / E22 E23 E24 / E33 E34 / E44.
  double r[4][4] = {};
  int k = 0;
  for (int i = 0; i < 4; ++i)
    for (int j = i; j < 4; ++j) r[i][j] = cov->iE[k++] * sf;
  const double v[4] = {-los[0], -los[1], -los[2], 1.0};
  // I^T R^T R I = |R I|^2.
  double q = 0.0;
  for (int i = 0; i < 4; ++i) {
    double ri = 0.0;
    for (int j = 0; j < 4; ++j) ri += r[i][j] * v[j];
    q += ri * ri;
  }
  return std::sqrt(q) + ccov * sf;
}

bool SbasCorrGenerator::check_PositionInsideRegion(const SBASData::RegionServiceDataType& r, double lat, double lon) {
  const double lat1 = r.iLat1, lat2 = r.iLat2;
  const double dl2 = wrap180(r.iLon2 - r.iLon1);
  const double dl = wrap180(lon - r.iLon1);
  if (r.uShape == 1) {
    const bool inLat = lat >= std::min(lat1, lat2) && lat <= std::max(lat1, lat2);
    const bool inLon = dl2 >= 0 ? (dl >= 0 && dl <= dl2) : (dl <= 0 && dl >= dl2);
    return inLat && inLon;
  }
  // Triangle: corner 1, corner 2 and the third vertex at corner 1's latitude, corner 2's
  // longitude; inside when on the same side of every edge (longitudes relative to corner 1).
  const double px[3] = {0.0, dl2, dl2}, py[3] = {lat1, lat2, lat1};
  double sgn = 0.0;
  for (int i = 0; i < 3; ++i) {
    const int j = (i + 1) % 3;
    const double c = (px[j] - px[i]) * (lat - py[i]) - (py[j] - py[i]) * (dl - px[i]);
    if (c == 0.0) continue;
    if (sgn == 0.0) sgn = c;
    else if ((c > 0) != (sgn > 0)) return false;
  }
  return true;
}

double SbasCorrGenerator::select_RegionDeltaUDRE(const SBASData::RegionServiceDataType* recs, int count,
                                                 std::uint8_t source, int nowMs, double lat, double lon) {
  struct Set {
    int first = -1, n = 0;
    bool complete = false;
    SBASData::TimeTag time = 0;
  } sets[2];
  const int half = SBASData::kRegionServiceEntries / 2;
  auto counts = [&](int i) {
    const SBASData::RegionServiceDataType& r = recs[i];
    return r.get_SourceIndex() == source && r.is_ReadyRegionData(nowMs);
  };
  for (int i = 0; i < count && i < SBASData::kRegionServiceEntries; ++i) {
    if (!counts(i)) continue;
    Set& s = sets[i / half];
    if (s.first < 0) s.first = i, s.complete = true, s.time = recs[i].ulTime;
    ++s.n;
    if (recs[i].uMessages != 0) s.complete = false;
  }
  int use = -1;
  if (sets[0].first >= 0 && sets[1].first >= 0) {
    use = SBASData::get_DeltaTimeTag(sets[1].time, sets[0].time) > 0 ? 1 : 0;
    if (!sets[use].complete && sets[1 - use].complete) use = 1 - use;
  } else if (sets[0].first >= 0) {
    use = 0;
  } else if (sets[1].first >= 0) {
    use = 1;
  }
  if (use < 0) return 1.0;
  int best = -1;
  for (int i = use * half; i < (use + 1) * half && i < count; ++i) {
    if (!counts(i) || !check_PositionInsideRegion(recs[i], lat, lon)) continue;
    if (best < 0) {
      best = i;
      continue;
    }
    const int p = recs[i].uPriority & 3, bp = recs[best].uPriority & 3;
    if (p > bp || (p == bp && fTableDeltaUDRE[recs[i].uDeltaUdreIn & 15] < fTableDeltaUDRE[recs[best].uDeltaUdreIn & 15]))
      best = i;
  }
  if (best < 0) return fTableDeltaUDRE[recs[sets[use].first].uDeltaUdreOut & 15];
  return fTableDeltaUDRE[recs[best].uDeltaUdreIn & 15];
}

double SbasCorrGenerator::get_DeltaUDRE() {
  if (store_ == nullptr || iSlot_ < 0) return 1.0;
  SBASData::RegionServiceDataType recs[SBASData::kRegionServiceEntries];
  for (int i = 0; i < SBASData::kRegionServiceEntries; ++i)
    if (store_->sbasRegionService[iSlot_].Take(i, &recs[i]) == 0) recs[i].init();
  return select_RegionDeltaUDRE(recs, SBASData::kRegionServiceEntries, uSourceIndex_, iNowMs_, dPosLat_, dPosLon_);
}

void SbasCorrGenerator::set_SatMode(bool precision, const SBASData::DegradationDataType* mt10, bool covRequired,
                                    double mt27Delta, bool useRate) {
  bPrecision_ = precision;
  bMt10_ = precision && mt10 != nullptr;
  if (bMt10_) mt10_ = *mt10;
  dCovRequired_ = covRequired ? 1 : 0;
  dMt27Delta_ = mt27Delta;
  bUseRate_ = useRate;
}

void SbasCorrGenerator::set_SourceMask(const SBASData::SourceStateDataType* state) {
  bMaskKnown_ = state != nullptr && (state->uFlags & SBASData::SourceStateDataType::kMaskValid) != 0;
  for (int k = 0; k < SYS_NUM; ++k) ulMaskSet_[k] = bMaskKnown_ ? state->ulSatSet[k] : 0;
}

void SbasCorrGenerator::compute_SatCorrection(const SBASData::SatCorrectionType& rec,
                                              const CorrData::RequestSatDataType& sat, int nowMs,
                                              SatWorkType& w) const {
  w = SatWorkType{};
  for (auto& b : w.band) b.uIssue = 65535;
  if (rec.get_SourceIndex() != uSourceIndex_) {
    w.status = SatWorkType::kNoRecord;
    return;
  }
  if (!rec.is_ReadyUDREData(nowMs)) {
    const SvIdType& sv = sat.svId;
    const bool named = sv.sys < SYS_NUM && sv.sat < 32 && (ulMaskSet_[sv.sys] >> sv.sat & 1u) != 0;
    w.status = !bMaskKnown_ || named ? SatWorkType::kLacksData : SatWorkType::kNotInMask;
    return;
  }
  const int udrei = rec.uUdrei & 15;
  if (udrei == kUdreNotMonitored) {
    w.status = SatWorkType::kNotMonitored;
    return;
  }
  if (udrei == kUdreDoNotUse || (bPrecision_ && udrei > 11)) {
    w.status = SatWorkType::kDoNotUse;
    return;
  }
  const bool mt7 = rec.is_ReadyDegrData(nowMs);
  const int ai = rec.get_AiIndex();
  const double latency = rec.uMt7Byte >> 4;
  w.bMt10 = bMt10_ ? 1 : 0;
  if (rec.is_ReadyFastCorr(nowMs)) {
    w.bFast = 1;
    w.dPrc = rec.fPrc;
    const double age = std::max(0.0, SBASData::get_TimeTagAge(nowMs, rec.ulFastTime[0]));
    if (bMt10_ && mt7) w.dEpsFc = get_FastCorrDegrad(ai, age, latency);
    // A rate of interval 0 is the one a_i = 0 gives: the correction does not change, the rate is
    // 0 and has no degradation of its own.
    if (bUseRate_ && rec.is_ReadyRateCorr(nowMs)) {
      w.bRate = 1;
      w.dRrc = rec.fRrc;
      w.dPrc += rec.fRrc * age;
      if (bMt10_ && mt7 && rec.fPrcInterval > 0) {
        const int iodf = rec.uRateIodf[0] != SBASData::SatCorrectionType::kNoIodf ? rec.uRateIodf[0] : rec.uIodf;
        const int prev = rec.uRateIodf[1] != SBASData::SatCorrectionType::kNoIodf ? rec.uRateIodf[1] : -1;
        w.dEpsRrc = get_RateCorrDegrad(ai, iodf, prev, rec.fPrcInterval,
                                       SBASData::SatCorrectionType::get_FastCorrTimeout(ai), mt10_.fBrrc, age);
      }
    }
  }
  const bool geo = sat.svId.sys == kSysSbas;
  // The GEO that broadcasts: its long-term block is its own navigation message's.
  const bool ownNavigation = geo && SBASData::sourceIndexOf(sat.svId) == uSourceIndex_;
  const bool ready[2] = {rec.is_ReadyLongCorr(nowMs), rec.is_ReadyPrevLong(nowMs)};
  const SBASData::TimeTag longTag[2] = {rec.ulLongTime, rec.ulPrevLongTime};
  for (int b = 0; b < 2; ++b) {
    SatWorkType::Band& o = w.band[b];
    if (!ready[b]) continue;
    const SBASData::LongCorrBlock& lc = rec.longCorr[b];
    // The rates of a GEO's own long-term block are not applied.
    if (geo && lc.uVelocityCode == 1) continue;
    double dt = 0.0;
    SBASData::TimeTag t0 = 0;
    SBASData::set_TimeTag(t0, nowMs);
    GetExtendedWaas_t0(&lc, t0);
    const double tFromT0 = SBASData::get_DeltaTimeTag(static_cast<SBASData::TimeTag>((nowMs << 1) | 1), t0);
    if (lc.uVelocityCode == 1) dt = tFromT0;
    o.bValid = 1;
    o.uIssue = lc.uIod;
    o.dPos[0] = lc.iDx * 0.125;
    o.dPos[1] = lc.iDy * 0.125;
    o.dPos[2] = lc.iDz * 0.125;
    double clk = std::ldexp(lc.iDaf0, -31);
    if (lc.uVelocityCode == 1) {
      o.dPos[0] += std::ldexp(lc.iDdx, -11) * dt;
      o.dPos[1] += std::ldexp(lc.iDdy, -11) * dt;
      o.dPos[2] += std::ldexp(lc.iDdz, -11) * dt;
      clk += std::ldexp(lc.iDaf1, -39) * dt;
    }
    o.dClock = kC * clk;
    o.dLong = o.dClock - (sat.dLos[0] * o.dPos[0] + sat.dLos[1] * o.dPos[1] + sat.dLos[2] * o.dPos[2]);
    o.dCorrection = o.dLong + w.dPrc;
    if (bMt10_)
      o.dEpsLtc = get_LongCorrDegrad(lc.uVelocityCode, ownNavigation, tFromT0,
                                     std::max(0.0, SBASData::get_TimeTagAge(nowMs, longTag[b])), mt10_);
  }
  // Variance.
  const double sigma = (bPrecision_ ? fTableSigmaUDRE : fTableSoftSigmaUDRE)[udrei];
  double delta = 1.0;
  if (bPrecision_) {
    if (dMt27Delta_ >= 0)
      delta = dMt27Delta_;
    else if (rec.is_ReadyMtrxData(nowMs))
      delta = get_DeltaUDRE(&rec.mtrx, sat.dLos, bMt10_ ? mt10_.fCcovariance : 0.0);
  }
  const double s = sigma * delta;
  for (auto& o : w.band) {
    if (!bPrecision_) {
      o.dVariance = s * s;
      continue;
    }
    const bool complete = w.bFast && w.bRate && o.bValid &&
                          (dCovRequired_ == 0 || dMt27Delta_ >= 0 || rec.is_ReadyMtrxData(nowMs));
    if (!complete) {
      o.dVariance = kIncompleteVariance;
      continue;
    }
    if (!bMt10_) {
      o.dVariance = (s + 8.0) * (s + 8.0);
      continue;
    }
    const double er = (w.bFast && o.bValid) ? 0.0 : mt10_.fCer;
    if (mt10_.uRssUdre == 1)
      o.dVariance = s * s + w.dEpsFc * w.dEpsFc + w.dEpsRrc * w.dEpsRrc + o.dEpsLtc * o.dEpsLtc + er * er;
    else {
      const double e = s + w.dEpsFc + w.dEpsRrc + o.dEpsLtc + er;
      o.dVariance = e * e;
    }
  }
  w.status = SatWorkType::kOk;
}

void SbasCorrGenerator::process_DataTimeout() {
  using S = SBASData::SatCorrectionType;
  double t = std::max({S::get_PrnMaskTimeout(), S::get_UDREDataTimeout(), S::get_LongCorrTimeout(),
                       S::get_MtrxDataTimeout(), S::get_DegrDataTimeout(),
                       SBASData::IonoCorrectionType::get_GridDataTimeout(),
                       SBASData::IonoCorrectionType::get_IonoCorrTimeout(),
                       SBASData::DegradationDataType::get_DegradDataTimeout(),
                       SBASData::RegionServiceDataType::get_RegionDataTimeout()});
  for (int i = 0; i < SBASData::kFastCorrTimeouts; ++i) t = std::max(t, S::get_FastCorrTimeout(i));
  SBASData::SourceStateDataType::set_SourceStateDataTimeout(static_cast<float>(t + 60.0));
}

bool sbasGeoPassesAlmanac(SatelliteDataProcessor* satData, const PosSetup::CorrProcessorSetupType* setup, int si,
                          const SBASData::CorrectionRequestType& req, int& provider) {
  provider = -1;
  if (si < 0 || si >= 28 || satData == nullptr) return true;
  const auto* alm = static_cast<const ZRT_ALM_SBA*>(satData->get_AlmLastData(kSysSbas, si));
  if (alm != nullptr) provider = alm->health >> 4;
  const std::uint32_t almMask = setup != nullptr ? setupWord(*setup, SBASData::kSetupSbasAlmMaskOffset) : 0;
  const std::uint32_t healthMask = setup != nullptr ? setupWord(*setup, SBASData::kSetupSbasHealthMaskOffset) : 0;
  if ((almMask >> si & 1u) != 0 && alm == nullptr && req.bAlmanacRequired != 0) return false;
  if ((healthMask >> si & 1u) != 0 && alm != nullptr &&
      ((alm->health & 2) != 0 || ((alm->health & 4) != 0 && req.bStrictHealth != 0)))
    return false;
  return true;
}

void SbasCorrGenerator::update(SBASData::CorrectionRequestType* req) {
  if (req == nullptr) return;
  req->uSourceCount = 0;
  // A source's state must outlive every record it vouches for, whatever time-outs are in force.
  process_DataTimeout();
  if (store_ == nullptr || req->pRequest == nullptr) return;
  const CorrData::CorrectionRequestType& rq = *req->pRequest;
  const int nowMs = static_cast<int>(rq.rcvTime.gps.ulMs);
  const bool precision = req->bPrecision != 0;
  dPosLat_ = rq.position.dLat * 180.0 / kPi;
  dPosLon_ = rq.position.dLon * 180.0 / kPi;
  PosSetup::CorrProcessorSetupType setup{};
  const bool haveSetup = store_->corrProcessorSetup.Take(&setup) != 0;
  const int sats = std::min<int>(rq.uCount, CorrData::kMaxRequestSats);
  for (int e = 0; e < SBASData::kSbasSources && req->uSourceCount < SBASData::kMaxCorrSources; ++e) {
    SBASData::SourceStateDataType st;
    if (store_->sbasSourceState.Take(e, &st) == 0) continue;
    SBASData::SourceSlotType* const open = openSourceSlot(st, *req, satData_, haveSetup ? &setup : nullptr, nowMs);
    if (open == nullptr) continue;
    SBASData::SourceSlotType& slot = *open;
    const SvIdType src = slot.source;
    iSlot_ = e;
    uSourceIndex_ = SBASData::sourceIndexOf(src);
    iNowMs_ = nowMs;
    SBASData::DegradationDataType d{};
    const bool mt10 = precision && store_->sbasDegradation[e].Take(&d) != 0 &&
                      d.get_SourceIndex() == uSourceIndex_ && d.is_ReadyDegradData(nowMs);
    const bool service = (st.uFlags & SBASData::SourceStateDataType::kService) != 0;
    set_SatMode(precision, mt10 ? &d : nullptr, (st.uFlags & SBASData::SourceStateDataType::kCovariance) != 0,
                precision && service ? get_DeltaUDRE() : -1.0, bUseRate_);
    set_IonoSource(e, src, nowMs, precision, mt10 ? &d : nullptr);
    set_SourceMask(&st);
    for (int k = 0; k < sats; ++k) {
      const CorrData::RequestSatDataType& sat = rq.sat[k];
      for (auto& c : slot.corr[k]) c = SBASData::BandCorrectionType{0, 0, 65535, 0, 0, 0, 0};
      slot.iono[k] = SBASData::IonoCorrectionEntryType{};
      slot.uUseEntry[k] = 0;
      if (req->bRangeWanted != 0) {
        SBASData::SatCorrectionType rec;
        SatWorkType w;
        if (store_->sbasSatCorrection[e].Take(&sat.svId, &rec) != 0) {
          compute_SatCorrection(rec, sat, nowMs, w);
          if (w.status == SatWorkType::kOk) {
            for (int b = 0; b < 2; ++b) {
              const SatWorkType::Band& o = w.band[b];
              SBASData::BandCorrectionType& c = slot.corr[k][b];
              c.bUdreValid = 1;
              c.fVariance = static_cast<float>(o.dVariance);
              if (o.bValid == 0 || w.bFast == 0) continue;
              c.bValid = 1;
              c.uIssue = o.uIssue;
              c.fCorrection = static_cast<float>(o.dCorrection);
              c.fRate = static_cast<float>(w.dRrc);
              c.fAge = static_cast<float>(std::max(0.0, SBASData::get_TimeTagAge(nowMs, rec.ulFastTime[0])));
            }
            slot.uUseEntry[k] = (slot.corr[k][1].bValid != 0 && slot.corr[k][1].uIssue == sat.uIod &&
                                 slot.corr[k][0].uIssue != sat.uIod)
                                    ? 1
                                    : 0;
          }
        }
      }
      if (req->bIonoWanted != 0) {
        IonoResultType r{};
        if (compute_IonoCorrection(sat, r))
          slot.iono[k] = SBASData::IonoCorrectionEntryType{1, r.fDelay, r.fVar, r.fAge};
      }
    }
    ++req->uSourceCount;
  }
}

SbasCorrGenerator SbasCorrGeneratorInstance(&PVTDataInstance, &SatDataProcessorInstance);
