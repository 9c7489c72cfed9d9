#include "positioning/engine/sat_meas_processor.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "navigation_data/orbits/sat_polynom.h"
#include "navigation_data/store/sat_data_store.h"
#include "navigation_data/store/sat_visibility.h"
#include "positioning/chan_data.h"
#include "positioning/engine/kfk_engine.h"

SatMeasLinks satMeasLinks;

// Built after the store, the KFK engine and the satellite data store have their addresses (the
// constructor keeps the pointers only).
SatelliteMeasurementProcessor SatelliteMeasurementProcessorInstance(&PVTDataInstance, nullptr, &KFKEngineInstance,
                                                                    &SatDataProcessorInstance);

namespace {

template <class T>
T field(const PosSetup::SatProcessorSetupType& s, std::size_t at) {
  T v;
  std::memcpy(&v, s.aBytes + at, sizeof v);
  return v;
}

// The epoch's time in the system's own scale, s of its cycle (week; day for GLONASS and SBAS).
double systemTime(const PosData::RcvTimeDataType& t, int sys) {
  const PosData::RcvTimeDataType::SysTime* s[SYS_NUM] = {&t.gps, &t.glo, &t.gal, &t.sbas, &t.qzss, &t.bds, &t.irn};
  return s[sys]->ulMs * 0.001;
}

bool tracked(const ChanSigData* s) {
  return s != &SdatEmpty && (s->flags & ChanSigData::kValid) == ChanSigData::kValid && (s->flags & ChanSigData::kPhase) &&
         s->freq > 1.0;
}

// The strongest signal of the channel that is valid this epoch (dB-Hz); 0 when none is.
float channelLevel(const ChanData& ch) {
  float best = 0;
  for (int k = 0; k < kCdatSlots; ++k) {
    const ChanSigData* s = ch.sig(k);
    if (s == &SdatEmpty || (s->flags & ChanSigData::kValid) != ChanSigData::kValid) continue;
    // Written so that a NaN level is passed over.
    if (s->cn0 > best) best = s->cn0;
  }
  return best;
}

int channelOf(const ChanData& ch) {
  const ChanData* p = &ch;
  if (p < Cdat || p >= Cdat + kCdatChannels) return -1;
  return static_cast<int>(p - Cdat);
}

}  // namespace

SatelliteMeasurementProcessor::SatelliteMeasurementProcessor(PVTDataType* store, LMSEngine* lms, KFKEngine* kfk,
                                                             SatelliteDataProcessor* satData)
    : pStore(store), pLms(lms), pKfk(kfk), pSatData(satData) {
  std::memset(&setup_, 0, sizeof setup_);
}

void SatelliteMeasurementProcessor::update_SetupData() {
  if (pStore != nullptr) setupValid_ = pStore->satProcessorSetup.Take(&setup_) != 0;
}

int SatelliteMeasurementProcessor::tecCalibEnabled() const {
  if (!setupValid_) return -1;
  return setup_.aBytes[PosSetup::kSatTecCalibOffset] == 1 ? 1 : 0;
}

int SatelliteMeasurementProcessor::smoothWaitFull() const {
  if (!setupValid_) return -1;
  return field<std::uint32_t>(setup_, PosSetup::kSatSmoothWaitOffset) == 1 ? 1 : 0;
}

float SatelliteMeasurementProcessor::get_SatSignalLevel(SvIdType sv) const {
  if (!sv.isValidSi()) return 0;
  Locker<Mutex> lock(levelMutex_);
  return level_[SYS_SI_BASE_NUM[sv.sys] + sv.si];
}

bool SatelliteMeasurementProcessor::healthyOnly(SvIdType sv) const {
  if (!setupValid_) return true;
  const std::uint64_t mask = field<std::uint64_t>(setup_, PosSetup::kSatHealthCheckOffset + 8 * sv.sys);
  // A satellite whose almanac slot is not known yet is held to its health. Elsewhere the
  // tracking index is the slot; a GLONASS frequency index is not, and would pick another
  // satellite's bit.
  if (sv.sat == kSvUnknown && sv.sys == kSysGlonass) return true;
  const int bit = sv.sat != kSvUnknown ? sv.sat : sv.si;
  return bit >= 64 || ((mask >> bit) & 1u) != 0;
}

void SatelliteMeasurementProcessor::update_ChanNavData() {
  update_SetupData();
  if (pStore == nullptr) return;
  PVTEngineEpochDataType* e = pStore->epochData.GetPointer();
  if (e == nullptr) return;
  ChanData* chan = e->pChanData;
  time_ = e->rcvTime;
  e->pEpochSatData = &sat_;
  pStore->epochData.FreePointer(e);
  if (chan == nullptr || chan < Cdat || chan + kSlots > Cdat + kCdatChannels) return;

  const int base = static_cast<int>(chan - Cdat);
  locked_ = SatData::SatelliteListType{};
  sat_.uFilled = EpochSatCommonDataType::kFilled;
  for (float& l : levelNext_) l = 0;
  for (int i = 0; i < kSlots; ++i) update_ChanNavDataCycle(base + i);
  {
    Locker<Mutex> lock(levelMutex_);
    for (int g = 0; g < SYS_SI_TOTAL; ++g) level_[g] = levelNext_[g];
  }

  locked_.ulTimeTag = time_.ulTimeTag;
  locked_.bFlag = 1;
  pStore->lockedSatelliteList.Put(&locked_);
  ChanData::processTecCalibData(time_.ulTimeTag);
}

void SatelliteMeasurementProcessor::markEmpty(int channel, std::uint8_t sys) {
  ChanSatDataType& rec = sat_.chan[channel];
  rec = ChanSatDataType{};
  rec.sv.sys = sys;
  rec.uState = 0;
  SlotState& st = slot_[channel];
  st.lastSys = st.lastSi = 255;
}

bool SatelliteMeasurementProcessor::resolve(const ChanData& ch, ChanSatDataType& rec, bool& evalOrbit) {
  SvIdType sv;
  if (!chanSvId(ch.sysCode, ch.svNum, sv, evalOrbit)) return false;
  rec.sv = sv;
  return true;
}

void SatelliteMeasurementProcessor::reset_ChannelData(int channel) {
  if (channel < 0 || channel >= kChannels) return;
  ChanSatDataType& rec = sat_.chan[channel];
  rec = ChanSatDataType{};  // state reset, identity 255, no satellite
  SlotState& st = slot_[channel];
  st = SlotState{};
  Cdat[channel].resetSatellite();
}

void SatelliteMeasurementProcessor::update_ChanNavDataCycle(int channel) {
  if (channel < 0 || channel >= kChannels) return;
  ChanData& ch = Cdat[channel];
  ChanSatDataType& rec = sat_.chan[channel];
  const std::uint8_t sysByte = chanSignalSystem(ch.sysCode);
  if (ch.bDataPresent == 0) {
    markEmpty(channel, sysByte);
    return;
  }
  if (ch.sysCode == kChanLband) {
    markEmpty(channel, kSvUnknown);
    int beam = 0;
    float el = 0, az = 0;
    const std::int64_t f = kLbandBaseHz + kLbandStepHz * ch.svNum;
    if (satMeasLinks.lbandBeam(f, beam, el, az) && beam >= 0 && beam < ChanSatDataType::kNoBeam) {
      rec.uBeam = static_cast<std::uint8_t>(beam);
      rec.fElevation = el;
      rec.fAzimuth = az;
      rec.bVisible = 1;
    }
    return;
  }

  ChanSatDataType next{};
  bool evalOrbit = true;
  if (!resolve(ch, next, evalOrbit)) {
    markEmpty(channel, sysByte);
    return;
  }
  SvIdType sv = next.sv;

  // Another satellite in this channel: nothing of the last one may reach this one's TEC.
  SlotState& st = slot_[channel];
  const bool changed = st.lastSys != sv.sys || st.lastSi != sv.si;
  if (changed) reset_ChannelData(channel);
  rec = next;
  rec.uState = changed ? ChanSatDataType::kStateReset : 0;
  st.lastSys = sv.sys;
  st.lastSi = sv.si;

  float elev = 0, az = 0, thr = 0, var = 0;
  bool newChecked = false;
  if (SatVisibilityStoreInstance.get_SatelliteVisibilityData(&sv, &elev, &az, &thr, &var, &newChecked) != 0) {
    rec.sv.sat = sv.sat;
    rec.bVisible = 1;
    rec.fElevation = elev;
    rec.fAzimuth = az;
    rec.fThreshold = thr;
    rec.fVariance = var;
    rec.fVariance2 = var * 0.01f;
    rec.bNewChecked = newChecked ? 1 : 0;
  }

  if (evalOrbit) {
    std::uint16_t iod = kPolyNoIod;
    int dataType = 255;
    rec.uSatState = static_cast<std::uint8_t>(
        update_SatPosAndClockData(rec.sv, systemTime(time_, sv.sys), healthyOnly(rec.sv), iod, dataType, rec));
    copyGroupDelays(rec.sv, ch);
  } else {
    rec.uSatState = kPolyNoSet;
  }

  if (sv.si < 64) locked_.ullMask[sv.sys] |= std::uint64_t{1} << sv.si;
  float& level = levelNext_[SYS_SI_BASE_NUM[sv.sys] + sv.si];
  level = std::max(level, channelLevel(ch));

  ch.evaluateTEC(rec.sv, rec.bVisible ? rec.fElevation : -90.0, time_.ulTimeTag);
}

int SatelliteMeasurementProcessor::update_SatPosAndClockData(SvIdType sv, double t, bool healthy, std::uint16_t& iod,
                                                             int& dataType, ChanSatDataType& rec) {
  std::uint8_t status = kPolyNoSet;
  float accuracy = 0;
  double dt = 0;
  const SatData::PolynomEntryType* e =
      SatPolynomStoreInstance.get_PolynomData(sv, t, healthy, false, &status, &iod, &dataType, &accuracy, &dt);
  if (e == nullptr || status != kPolyOk) return status;
  PolynomHold hold(true);
  const double tau = dt - e->span / 2.0;
  for (int k = 0; k < 3; ++k) {
    const double c1 = e->coef[1][k], c2 = e->coef[2][k], c3 = e->coef[3][k], c4 = e->coef[4][k];
    rec.dPos[k] = (((c4 * tau + c3) * tau + c2) * tau + c1) * tau + e->coef[0][k];
    rec.dVel[k] = ((4 * c4 * tau + 3 * c3) * tau + 2 * c2) * tau + c1;
    rec.dAcc[k] = (12 * c4 * tau + 6 * c3) * tau + 2 * c2;
    // The debug switches mirror an axis to show an orbit fault's effect on every consumer alike.
    if (pSatData != nullptr && pSatData->bDebugInverseCoordinate(k)) {
      rec.dPos[k] = -rec.dPos[k];
      rec.dVel[k] = -rec.dVel[k];
      rec.dAcc[k] = -rec.dAcc[k];
    }
  }
  rec.dClock = e->clkOffset + static_cast<double>(e->clkDrift) * dt;
  rec.dRel = e->rel[0] + static_cast<double>(e->rel[1]) * tau;
  rec.fDrift = e->clkDrift;
  rec.fRelDrift = e->rel[1];
  rec.fAccuracy = accuracy;
  rec.dTime = t;
  rec.uIod = iod;
  rec.uDataType = static_cast<std::uint8_t>(dataType);
  return kPolyOk;
}

void SatelliteMeasurementProcessor::copyGroupDelays(SvIdType sv, ChanData& ch) {
  const SatData::TgdSetType* tgd = SatPolynomStoreInstance.get_TgdData(sv);
  if (tgd == nullptr) return;
  PolynomHold hold(true);
  for (int k = 0; k < kSignals; ++k) {
    ChanSigData* s = ch.sig(k);
    if (s == &SdatEmpty) continue;
    s->tgd = tgd->delay[k];
    s->bTgdIsc = tgd->source[k] == 2 ? 1 : 0;
  }
}

bool SatelliteMeasurementProcessor::compute_IonoFreePhase(const ChanData& ch, int slot, double& phaseTime,
                                                          bool& slip) {
  if (!setupValid_ || setup_.aBytes[PosSetup::kSatCombModeOffset] != 1) return false;
  const int channel = channelOf(ch);
  if (channel < 0 || slot < 0 || slot >= kSignals) return false;
  const ChanSigData* a = ch.sig(slot);
  if (!tracked(a)) return false;
  int partner = -1;
  for (int k = 0; k < kSignals && partner < 0; ++k)
    if (k != slot && tracked(ch.sig(k)) && ch.sig(k)->freq != a->freq) partner = k;
  if (partner < 0) return false;
  const ChanSigData* b = ch.sig(partner);

  const double f1 = a->freq, f2 = b->freq;
  const double p1 = a->phase / f1, p2 = b->phase / f2;
  if (f1 < f2) {
    const double r = f1 / f2;
    phaseTime = (2 * p2 - (1 + r * r) * p1) / (1 - r * r);
  } else {
    const double r = f2 / f1;
    phaseTime = ((1 + r * r) * p1 - 2 * r * r * p2) / (1 - r * r);
  }
  std::uint8_t& last = slot_[channel].partner[slot];
  slip = last != partner || (b->flags & ChanSigData::kPhaseReset) != 0;
  last = static_cast<std::uint8_t>(partner);
  return true;
}
