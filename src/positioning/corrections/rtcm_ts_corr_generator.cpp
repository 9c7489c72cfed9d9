#include "positioning/corrections/rtcm_ts_corr_generator.h"

#include <cmath>

#include "navigation_data/orbits/gps_orbit.h"
#include "navigation_data/orbits/sat_polynom.h"
#include "positioning/data_servers/pvt_data.h"

RtcmTSCorrGenerator RtcmTSCorrGeneratorInstance(&PVTDataInstance);

namespace {

constexpr double kLight = 299792458.0;  // m/s

int systemMs(const PosData::RcvTimeDataType& t, int system) {
  const PosData::RcvTimeDataType::SysTime* s[] = {&t.gps, &t.glo, &t.gal, &t.sbas, &t.qzss, &t.bds, &t.irn};
  return system >= 0 && system < 7 ? static_cast<int>(s[system]->ulMs) : static_cast<int>(t.gps.ulMs);
}

}  // namespace

RtcmTSCorrGenerator::RtcmTSCorrGenerator(const PVTDataType* store)
    // The generator only reads the servers; their Take copies under the server's lock.
    : store_(const_cast<PVTDataType*>(store)) {
  for (SetResultType& s : set_) s = SetResultType{0, -1, 0.0f, 0.0f};
}

void RtcmTSCorrGenerator::select_Source(const RTCMData::TSSourceStateDataType& source) { source_ = source; }

double RtcmTSCorrGenerator::rebuild_Clock(double x, std::uint32_t valueMm, double modulus) {
  if (!(modulus > 0.0) || !std::isfinite(x)) return x;
  const double within = x - modulus * std::floor(x / modulus);
  double y = x + valueMm * 0.001 - within;
  y -= modulus * std::round((y - x) / modulus);
  return y;
}

void RtcmTSCorrGenerator::update(SBASData::CorrectionRequestType* request) {
  if (request == nullptr) return;
  request->uSourceCount = 0;
  const CorrData::CorrectionRequestType* q = request->pRequest;
  if (q == nullptr || store_ == nullptr) return;
  RTCMData::TSSourceStateDataType st;
  store_->rtcmTsSourceState.Take(&st);
  const double age = RTCMData::get_TimeTagAge(kSysGps, systemMs(q->rcvTime, kSysGps), st.ulTime);
  if (st.uId >= 65535 || st.bDisabled != 0 || age > kSourceTimeout) return;
  select_Source(st);
  SBASData::SourceSlotType& slot = request->source[0];
  slot.source = EmptySvId;
  slot.uPrn = st.uId;
  slot.uProvider = 255;
  slot.fAge = static_cast<float>(age);
  const int count = q->uCount < CorrData::kMaxRequestSats ? q->uCount : CorrData::kMaxRequestSats;
  for (int i = 0; i < count; ++i) {
    CorrData::RequestSatDataType sat = q->sat[i];
    SvIdType sv = sat.svId;
    compute_SatCorrection(static_cast<unsigned long>(systemMs(q->rcvTime, sv.sys)), &sv, &sat);
    for (int e = 0; e < 2; ++e) {
      SBASData::BandCorrectionType& b = slot.corr[i][e];
      const SetResultType& r = set_[e];
      b.bValid = r.bPresent;
      b.bUdreValid = r.bPresent;
      b.uIssue = r.iIod >= 0 ? static_cast<std::uint16_t>(r.iIod) : 65535;
      b.fCorrection = r.fCorrection;
      b.fRate = 0.0f;
      b.fVariance = r.bPresent != 0 ? kVariance : 0.0f;
      b.fAge = r.fAge;
    }
    slot.uUseEntry[i] = set_[1].bPresent != 0 && set_[1].iIod == static_cast<int>(sat.uIod) ? 1 : 0;
    slot.iono[i] = SBASData::IonoCorrectionEntryType{};
  }
  request->uSourceCount = 1;
}

void RtcmTSCorrGenerator::compute_SatCorrection(unsigned long rcvMs, SvIdType* sv,
                                                CorrData::RequestSatDataType* sat) {
  for (SetResultType& s : set_) s = SetResultType{0, -1, 0.0f, 0.0f};
  if (sv == nullptr || sat == nullptr || store_ == nullptr || !sv->isValidSi()) return;
  const int sys = sv->sys;
  // Only GPS and GLONASS clocks have a defined wrap: other systems get no correction.
  const double modulus = RTCMData::get_TSClockModulus(sys);
  if (modulus == 0.0) return;
  RTCMData::TSSatCorrectionType c;
  if (store_->rtcmTsSatCorrection.Take(sv, &c) == 0) return;
  const int now = static_cast<int>(rcvMs);
  const int buffer = source_.aState[sys] & 1;
  if (c.uClockId[buffer] != source_.uId || !c.is_ReadyClockCorr(sys, now, buffer)) return;
  const double clockAge = RTCMData::get_TimeTagAge(sys, now, c.ulClockTime[buffer]);
  const double clockTime = static_cast<double>(c.ulClockTime[buffer] >> 1) * 0.001;
  for (int set = 0; set < RTCMData::kTSOrbitSets; ++set) {
    if (!c.is_ReadyOrbitCorr(sys, now, set) || c.iIssue[set] < 0) continue;
    const double orbitAge = RTCMData::get_TimeTagAge(sys, now, c.ulOrbitTime[set]);
    double orbit = 0.0;
    for (int k = 0; k < 3; ++k) orbit -= (c.fOrbit[set][k] + c.fOrbitRate[set][k] * orbitAge) * sat->dLos[k];
    // The broadcast clock of the same issue; the store's lock is held only while reading it.
    std::uint8_t status = 0;
    std::uint16_t iod = static_cast<std::uint16_t>(c.iIssue[set]);
    int dataType = 0;
    const SatData::PolynomEntryType* p = SatPolynomStoreInstance.get_PolynomData(*sv, false, &status, &iod, &dataType);
    if (p == nullptr) continue;
    const SatData::PolynomEntryType e = *p;
    SatPolynomStoreInstance.free_PolynomData();
    if (e.iod != static_cast<std::uint16_t>(c.iIssue[set])) continue;
    const double dt = fold_CycleTime(clockTime - e.refTime, sys);
    if (!(std::fabs(dt) <= kClockWindow)) continue;
    const double tau = dt - 0.5 * e.span;
    const double x = (e.clkOffset + e.clkDrift * dt) * kLight + (e.rel[0] + e.rel[1] * tau) * kLight;
    const double y = rebuild_Clock(x, c.ulClock[buffer], modulus);
    SetResultType& r = set_[set];
    r.fCorrection = static_cast<float>(orbit - source_.fSystemOffset[sys] - c.fClockOffset - x + y);
    r.fAge = static_cast<float>(clockAge);
    r.iIod = c.iIssue[set];
    r.bPresent = 1;
  }
}
