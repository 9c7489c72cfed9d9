#include "positioning/slas/slas_corr_generator.h"

#include <cmath>
#include <cstring>

#include "positioning/data_servers/pvt_data.h"
#include "positioning/geodesy/datum_conv.h"

SlasCorrGenerator SlasCorrGeneratorInstance(&PVTDataInstance);

SlasCorrGenerator::SlasCorrGenerator(const PVTDataType* store)
    // The generator only reads the servers; their Take copies under the server's lock.
    : store_(const_cast<PVTDataType*>(store)) {
  satCorr_.init();
  corr_[0] = corr_[1] = CorrEntryType{};
  stationDatum_ = DatumCacheType{};
  for (DatumCacheType& d : sysDatum_) d = DatumCacheType{};
}

// Error model of the L1S sub-metre service (IS-QZSS-L1S, user range error of the DGPS
// correction): elevation terms a and b and the ionospheric decorrelation with the distance to
// the monitoring station, 0.004 m per km beyond a 14 km floor.
double SlasCorrGenerator::sigmaA(double e) { return 0.13 + 0.53 * std::exp(-e / 10.0); }
double SlasCorrGenerator::sigmaB(double e) { return 0.16 + 1.07 * std::exp(-e / 15.5); }
double SlasCorrGenerator::sigmaS(double d) { return 0.004 * (14.0 + d / 1000.0); }
double SlasCorrGenerator::variance(double e, double d, double factor, double varTerm) {
  const double a = sigmaA(e), b = sigmaB(e), s = sigmaS(d);
  return a * a + b * b + 0.0185 + varTerm + factor * s * s;
}

void SlasCorrGenerator::select_Slot(int slot, std::uint16_t stationCode) {
  slot_ = slot;
  uStationCode_ = stationCode;
}

bool SlasCorrGenerator::datumOffset(int system, double offset[3]) const {
  for (int k = 0; k < 3; ++k) offset[k] = 0.0;
  if (system < 0 || system >= kSystems || sysDatum_[system].bKnown == 0) return false;
  for (int k = 0; k < 3; ++k) offset[k] = stationDatum_.dShift[k] + sysDatum_[system].dShift[k];
  return true;
}

void SlasCorrGenerator::update(RTCMData::CorrectionRequestType* r) {
  if (r == nullptr) return;
  r->uStationCount = 0;
  const CorrData::CorrectionRequestType* q = r->pRequest;
  if (q == nullptr || store_ == nullptr) return;
  const double timeoutMs = SLASData::StationDataType::get_StationDataTimeout() * 1000.0;
  for (int slot = 0; slot < SLASData::kSlasSources; ++slot) {
    if (r->uStationCount >= RTCMData::CorrectionRequestType::kMaxStations) break;
    SLASData::StationDataType st;
    if (store_->slasStationData[slot].Take(&st) == 0 || st.uStationCode == SLASData::kNoStation) continue;
    // Receiver time tags wrap; a record the decoder stamped after the request's time is young.
    const auto ageMs = static_cast<std::int32_t>(q->rcvTime.ulTimeTag - st.ulTime);
    if (static_cast<double>(ageMs) > timeoutMs) continue;
    select_Slot(slot, st.uStationCode);
    RTCMData::StationAnswerType& a = r->station[r->uStationCount];
    a.uStationId = st.uStationCode;
    a.dRefPos[0] = st.dX;
    a.dRefPos[1] = st.dY;
    a.dRefPos[2] = st.dZ;
    a.dBaseline = static_cast<double>(st.ulDistance);
    a.bRefPosValid = 1;
    // Datums are looked up once a name changes; their offsets follow the station's position.
    char name[8] = {};
    std::memcpy(name, st.cDatum, sizeof st.cDatum);
    if (std::strncmp(stationDatum_.cName, name, 6) != 0) stationDatum_.take(name);
    stationDatum_.shiftAt(a.dRefPos);
    for (int k = 0; k < kSystems; ++k) {
      if (std::strncmp(sysDatum_[k].cName, cSlasBaseDatumName[k], 6) != 0) sysDatum_[k].take(cSlasBaseDatumName[k]);
      sysDatum_[k].shiftAt(a.dRefPos);
    }
    for (int i = 0; i < q->uCount && i < CorrData::kMaxRequestSats; ++i) {
      const CorrData::RequestSatDataType& s = q->sat[i];
      compute_RangeCorrection(s.svId, q->rcvTime);
      double off[3];
      const bool known = datumOffset(s.svId.sys, off);
      const double move = known ? off[0] * s.dLos[0] + off[1] * s.dLos[1] + off[2] * s.dLos[2] : 0.0;
      RTCMData::SatAnswerType& out = a.sat[i];
      for (int sig = 0; sig < RTCMData::kCorrSlots; ++sig) {
        RTCMData::SlotAnswerType& o = out.slot[sig];
        o = RTCMData::SlotAnswerType{};
        for (int k = 0; k < 2; ++k) {
          if (corr_[k].bReady == 0) continue;
          o.fCorrection[k] = static_cast<float>(corr_[k].fCorrection - move);
          o.fVariance[k] = static_cast<float>(variance(s.fElevation, a.dBaseline, s.fObliquity, corr_[k].fVarTerm));
          o.fAge[k] = corr_[k].fAge;
          o.uIod[k] = corr_[k].uIod;
          o.bValid[k] = 1;
        }
        o.uSignal = static_cast<std::uint8_t>(sig);
        o.uUseEntry = o.bValid[1] != 0 && o.uIod[1] == s.uIod ? 1 : 0;
      }
      // The service carries no ionosphere of its own: the station block gives none.
      out.bIonoValid = 0;
      out.fIono = 0.0f;
      out.fIonoVariance = 0.0f;
    }
    ++r->uStationCount;
  }
}

void SlasCorrGenerator::compute_RangeCorrection(const SvIdType& sv, const PosData::RcvTimeDataType& t) {
  corr_[0] = corr_[1] = CorrEntryType{};
  if (store_ == nullptr || slot_ < 0 || slot_ >= SLASData::kSlasSources) return;
  // Without QZSS time no age can be told.
  if (t.qzss.uStatus[0] == 0) return;
  if (store_->slasSatCorrection[slot_].Take(&sv, &satCorr_) == 0 || satCorr_.uStationCode != uStationCode_) return;
  const int now = static_cast<int>(t.qzss.ulMs);
  for (int k = 0; k < 2; ++k) {
    if (!satCorr_.is_ReadyCorrData(k, now)) continue;
    CorrEntryType& c = corr_[k];
    c.bReady = 1;
    c.fCorrection = satCorr_.fPrc[k];
    c.fRate = 0.0f;
    c.fVarTerm = 0.0f;
    c.fAge = static_cast<float>(SLASData::get_TimeTagAge(now, satCorr_.ulTime[k]));
    // Each entry carries the issue of data its correction was made for.
    c.uIod = satCorr_.uIod[k];
  }
}
