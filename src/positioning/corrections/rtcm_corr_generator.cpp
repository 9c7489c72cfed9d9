#include "positioning/corrections/rtcm_corr_generator.h"

#include <cmath>
#include <cstring>

#include "positioning/data_servers/pvt_data.h"
#include "positioning/geodesy/datum_conv.h"

// RTCM 10402.3 table 4.4 (message 1): UDRE 0..3 as 1-sigma, m.
const float fUdreTable[4] = {0.5f, 2.0f, 6.0f, 10.0f};

float get_GNSSMessageUdre(int code) {
  if (code < 0) code = 0;
  if (code <= 15) return 0.05f * static_cast<float>(code);
  if (code <= 31) return 0.1f * static_cast<float>(code) - 0.8f;
  if (code <= 47) return 0.2f * static_cast<float>(code) - 4.0f;
  if (code <= 59) return 0.4f * static_cast<float>(code) - 13.6f;
  if (code == 60) return 12.5f;
  if (code == 61) return 20.0f;
  return 20.0f + 10.0f * static_cast<float>(code - 61);
}

RtcmCorrGenerator RtcmCorrGeneratorInstance(&PVTDataInstance);

namespace {

// Units of the broadcast corrections by the slot's scale bit (RTCM 10402.3 message 1).
constexpr double kPrcFine = 0.02, kPrcCoarse = 0.32;  // m
constexpr double kRrcFine = 0.002, kRrcCoarse = 0.032;  // m/s
// Distance terms of the variance: 2 ppm and 0.5 ppm of the baseline.
constexpr double kDistSigma1 = 2e-6;
constexpr double kDistSigma2 = 0.5e-6;

int systemMs(const PosData::RcvTimeDataType& t, int system) {
  const PosData::RcvTimeDataType::SysTime* s[] = {&t.gps, &t.glo, &t.gal, &t.sbas, &t.qzss, &t.bds, &t.irn};
  return system >= 0 && system < 7 ? static_cast<int>(s[system]->ulMs) : static_cast<int>(t.gps.ulMs);
}

}  // namespace

RtcmCorrGenerator::RtcmCorrGenerator(const PVTDataType* store)
    // The generator only reads the servers; their Take copies under the server's lock.
    : store_(const_cast<PVTDataType*>(store)) {
  for (DatumSlotType& d : sysDatum_) d = DatumSlotType{};
  stationDatum_ = DatumSlotType{};
  satCorr_.init();
}

void RtcmCorrGenerator::select_Source(int source, std::uint16_t stationId, float udreScale) {
  source_ = source;
  uStationId_ = stationId;
  fUdreScale_ = udreScale;
  bLoaded_ = 0;
}

bool RtcmCorrGenerator::datumShift(int system, double shift[3]) const {
  for (int k = 0; k < 3; ++k) shift[k] = 0.0;
  if (system < 0 || system >= kSystems || sysDatum_[system].bKnown == 0) return false;
  for (int k = 0; k < 3; ++k)
    shift[k] = sysDatum_[system].dShift[k] + (stationDatum_.bKnown != 0 ? stationDatum_.dShift[k] : 0.0);
  return true;
}

void RtcmCorrGenerator::update(RTCMData::CorrectionRequestType* r) {
  if (r == nullptr) return;
  r->uStationCount = 0;
  const CorrData::CorrectionRequestType* q = r->pRequest;
  if (q == nullptr || store_ == nullptr) return;
  const double rcv[3] = {q->position.dX, q->position.dY, q->position.dZ};
  for (int src = 0; src < RTCMData::kRtcmSources; ++src) {
    RTCMData::SourceStateDataType st;
    if (store_->rtcmSourceState.Take(src, &st) == 0 || st.uStationId == 65535) continue;
    // A station not heard for longer than its corrections may age is no source, whatever its
    // records still say.
    if (!st.is_Heard(systemMs(q->rcvTime, st.uTimeSystem))) continue;
    if ((st.uFlags & RTCMData::SourceStateDataType::kNotMonitored) != 0 && r->bPermit[0] == 0) continue;
    if ((st.uFlags & RTCMData::SourceStateDataType::kNotWorking) != 0 && r->bPermit[1] == 0) continue;
    select_Source(src, st.uStationId, st.fScale);
    RTCMData::StationAnswerType& a = r->station[r->uStationCount];
    a.uStationId = st.uStationId;
    a.bRefPosValid = 0;
    a.dBaseline = 0.0;
    double var1 = 0.0, var2 = 0.0;
    store_->rtcmStationData[src].Take(&station_);
    const int coordSystem = station_.uSystem < kSystems ? static_cast<int>(station_.uSystem) : static_cast<int>(kSysGps);
    // Coordinates of another station (the slot changed hands) are not this station's.
    const bool coords = station_.uStationId == st.uStationId &&
                        station_.is_ReadyCoordinate(coordSystem, systemMs(q->rcvTime, coordSystem));
    if (coords) {
      double d2 = 0.0;
      for (int k = 0; k < 3; ++k) {
        a.dRefPos[k] = station_.dPos[k];
        d2 += (rcv[k] - station_.dPos[k]) * (rcv[k] - station_.dPos[k]);
      }
      a.bRefPosValid = 1;
      a.dBaseline = std::sqrt(d2);
      var1 = kDistSigma1 * a.dBaseline;
      var2 = kDistSigma2 * a.dBaseline;
      var1 *= var1;
      var2 *= var2;
    }
    // Datums: each name looked up once when it changes. The shifts depend on where the station
    // is, so they follow every epoch's coordinates (another station may take the slot under the
    // same names).
    const int set = st.uVersion <= 2 ? 0 : 1;
    for (int k = 0; k < kSystems; ++k)
      if (std::strncmp(sysDatum_[k].cName, cRtcmBaseDatumName[set][k], 6) != 0)
        sysDatum_[k].take(cRtcmBaseDatumName[set][k]);
    if (coords) {
      char name[8] = {};
      std::memcpy(name, station_.cDatum, 6);
      if (std::strncmp(stationDatum_.cName, name, 6) != 0) stationDatum_.take(name);
      stationDatum_.shiftAt(station_.dPos);
      for (DatumSlotType& d : sysDatum_) d.shiftAt(station_.dPos);
    }
    PosData::RcvTimeDataType t = q->rcvTime;
    for (int i = 0; i < q->uCount && i < CorrData::kMaxRequestSats; ++i)
      answer_Satellite(q->sat[i], t, a.sat[i], var1, var2, coords);
    ++r->uStationCount;
  }
}

void RtcmCorrGenerator::answer_Satellite(const CorrData::RequestSatDataType& q, PosData::RcvTimeDataType& t,
                                         RTCMData::SatAnswerType& a, double var1, double var2, bool shifted) {
  SvIdType sv = q.svId;
  double shift[3];
  const bool known = shifted && datumShift(sv.sys, shift);
  const double move = known ? shift[0] * q.dLos[0] + shift[1] * q.dLos[1] + shift[2] * q.dLos[2] : 0.0;
  for (int s = 0; s < RTCMData::kCorrSlots; ++s) {
    compute_RangeCorrection(&sv, s, &t);
    RTCMData::SlotAnswerType& o = a.slot[s];
    o = slot_;
    for (int e = 0; e < 2; ++e) {
      if (o.bValid[e] == 0) continue;
      o.fCorrection[e] = static_cast<float>(o.fCorrection[e] - move);
      o.fVariance[e] = static_cast<float>(o.fVariance[e] + var1 + var2);
    }
    o.uUseEntry = o.bValid[1] != 0 && o.uIod[1] == q.uIod ? 1 : 0;
  }
  a.bIonoValid = iono_.bIonoValid;
  a.fIono = iono_.fIono;
  a.fIonoVariance = iono_.bIonoValid != 0 ? static_cast<float>(iono_.fIonoVariance + var1) : 0.0f;
}

void RtcmCorrGenerator::compute_RangeCorrection(SvIdType* sv, int slot, PosData::RcvTimeDataType* t) {
  slot_ = RTCMData::SlotAnswerType{};
  iono_.bIonoValid = 0;
  iono_.fIono = 0.0f;
  iono_.fIonoVariance = 0.0f;
  if (sv == nullptr || t == nullptr || store_ == nullptr || slot < 0 || slot >= RTCMData::kCorrSlots) return;
  if (bLoaded_ == 0 || !(loadedSv_ == *sv)) {
    bLoaded_ = static_cast<std::uint8_t>(store_->rtcmSatCorrection[source_].Take(sv, &satCorr_) != 0);
    loadedSv_ = *sv;
  }
  if (bLoaded_ == 0 || satCorr_.uStationId != uStationId_) return;
  const RTCMData::SatCorrectionType& c = satCorr_;
  const std::uint16_t flags = c.uSlotFlags[slot];
  const bool coarse = (flags & RTCMData::SatCorrectionType::kCoarseScale) != 0;
  const double s = coarse ? kPrcCoarse : kPrcFine;
  const double sr = coarse ? kRrcCoarse : kRrcFine;
  const bool gnssUdre = (flags & RTCMData::SatCorrectionType::kGnssUdre) != 0;
  slot_.uSignal = static_cast<std::uint8_t>((flags & RTCMData::SatCorrectionType::kSignalMask) >>
                                            RTCMData::SatCorrectionType::kSignalShift);
  slot_.uFlag = (flags & RTCMData::SatCorrectionType::kSlotFlag) != 0 ? 1 : 0;
  const int sys = sv->sys;
  const int now = systemMs(*t, sys);
  auto sigma = [&](std::uint8_t udre) -> double {
    return gnssUdre ? get_GNSSMessageUdre(udre) : static_cast<double>(fUdreTable[udre & 3]) * fUdreScale_;
  };
  auto fill = [&](int e, const RTCMData::SatCorrectionType::RangeCorrType& r, double age) {
    const double sg = sigma(r.uUdre);
    slot_.fCorrection[e] = static_cast<float>(r.fPrc * s + r.fRrc * sr * age);
    slot_.fVariance[e] = static_cast<float>(sg * sg);
    slot_.fAge[e] = static_cast<float>(age);
    slot_.uIod[e] = r.uIod;
    slot_.bValid[e] = 1;
  };
  if (c.is_ReadyRangeCorr(sys, now, slot, 1))
    fill(1, c.range[slot][1], RTCMData::get_TimeTagAge(sys, now, c.ulRangeTime[slot][1]));
  if ((flags & RTCMData::SatCorrectionType::kUnusable) != 0) {
    slot_.bUnusable = 1;
    return;
  }
  if (c.is_ReadyRangeCorr(sys, now, slot, 0)) {
    const double a = RTCMData::get_TimeTagAge(sys, now, c.ulRangeTime[slot][0]);
    fill(0, c.range[slot][0], a);
    if (c.is_ReadyDeltaRangeCorr(sys, now)) {
      // Entry 1 carries the correction for the previous issue of data.
      const RTCMData::SatCorrectionType::RangeCorrType& d = c.delta;
      const RTCMData::SatCorrectionType::RangeCorrType& r = c.range[slot][0];
      const double ad = RTCMData::get_TimeTagAge(sys, now, c.ulDeltaRangeTime);
      const double sg = sigma(d.uUdre);
      slot_.fCorrection[1] = static_cast<float>((d.fPrc + r.fPrc) * s + (d.fRrc * ad + r.fRrc * a) * sr);
      slot_.fVariance[1] = static_cast<float>(sg * sg);
      slot_.fAge[1] = static_cast<float>(a);
      slot_.uIod[1] = d.uIod;
      slot_.bValid[1] = 1;
    }
  }
  if (c.is_ReadyIonoCorr(sys, now)) {
    const double age = RTCMData::get_TimeTagAge(sys, now, c.ulIonoTime);
    const double sg = c.bIonoGnssUdre != 0 ? get_GNSSMessageUdre(c.uIonoUdre) : 0.0;
    iono_.bIonoValid = 1;
    iono_.fIono = static_cast<float>(c.fIono + age * c.fIonoRate);
    iono_.fIonoVariance = static_cast<float>(sg * sg);
  }
}
