#include "differential/base/rtcm3_cpd_decoder.h"

#include <cmath>
#include <cstring>

#include "differential/base/code_diff_from_base.h"
#include "differential/rtcm3_base_params.h"
#include "differential/rtcm3_observations.h"
#include "differential/rtk_base.h"
#include "positioning/antdb/ant_db.h"
#include "positioning/chan_data.h"
#include "positioning/signal_tables.h"

CpdGloBias curCpdGloBias = {{0.0f, 0.0f, 0.0f, 0.0f}, -1, 0, {0, 0, 0}};
BaseBrandLinks baseBrandLinks;
Rtcm3CpdDecoder* rtcm3CpdClient = nullptr;

namespace {
constexpr std::uint16_t kObsSync = 0x0001;
constexpr std::uint16_t kObsGlonass = 0x0002;
constexpr std::uint16_t kObsAmbiguity = 0x0040;
constexpr std::uint16_t kObsOtherSystem = 0x0200;
constexpr std::uint8_t kL2Absent = kRtc3LegNoL2Range | kRtc3LegNoL2Phase;
constexpr std::uint8_t kRcvGpsValid = 1;
constexpr std::uint8_t kRcvGloValid = 2;
constexpr long kWeekMs = 604800000L;
constexpr long kBdsOffsetMs = 14000L;
// The wrap guard's margins: 3 % and 97 % of the modulus.
constexpr double kWrapLow = 0.03;
constexpr double kWrapHigh = 0.97;

// Carrier of a slot: GLONASS by its frequency channel, the others from the signal table.
double carrier(const CpdSv& sv, int slot) {
  return get_SvRatedFrequency(slot, sv.sys, sv.sys == CpdSv::kGlonass ? sv.num + 7 : sv.num);
}

double norm(double x, double y, double z) { return std::sqrt(x * x + y * y + z * z); }

void copyText(char (&dst)[CpdAux::kTextLen], const char* src) {
  std::memset(dst, 0, sizeof dst);
  if (src != nullptr) std::strncpy(dst, src, sizeof dst - 1);
}
}  // namespace

void CpdGloBias::clear() {
  for (float& b : bias) b = 0.0f;
  stationId = -1;
  mask = 0;
}

Rtcm3CpdDecoder::Rtcm3CpdDecoder(CpdMeasBuf* buf, CpdUtils& utils) : buf_(buf), nrtk_(buf), utils_(utils) {}

// ---- epochs -------------------------------------------------------------------------------------

bool Rtcm3CpdDecoder::prepare(const RTC3_OBS& obs, int& sys, long& time) const {
  ChanMeasTime rcv;
  ChanData::getMeasTime(rcv);
  if ((obs.flags & kObsOtherSystem) && !(obs.flags & kObsGlonass)) return false;
  sys = (obs.flags & kObsGlonass) ? CpdSv::kGlonass : CpdSv::kGps;
  if (!(rcv.valid & (sys == CpdSv::kGlonass ? kRcvGloValid : kRcvGpsValid))) return false;
  time = static_cast<long>(obs.time);
  return true;
}

bool Rtcm3CpdDecoder::prepareMsm(const RTC3_OBS& obs, int& sys, long& time) const {
  ChanMeasTime rcv;
  ChanData::getMeasTime(rcv);
  sys = obs.system;
  if (sys < 0 || sys >= CpdSv::kSysNum) return false;
  if (!(rcv.valid & (sys == CpdSv::kGlonass ? kRcvGloValid : kRcvGpsValid))) return false;
  time = static_cast<long>(obs.time);
  if (sys == CpdSv::kBeidou) time = bdsOntoGps(time, rcv.gpsMs);
  return true;
}

long Rtcm3CpdDecoder::bdsOntoGps(long bdsMs, long rcvGpsMs) {
  long d = (rcvGpsMs - bdsMs) % kWeekMs;
  if (d > kWeekMs / 2) d -= kWeekMs;
  if (d < -kWeekMs / 2) d += kWeekMs;
  // A stream already on GPS time may arrive seconds late; only a lag nearer 14 s is BeiDou time.
  if (d <= kBdsOffsetMs / 2) return bdsMs;
  return (bdsMs + kBdsOffsetMs) % kWeekMs;
}

void Rtcm3CpdDecoder::nextEpochByTime(int sys, long time) {
  if (cur_ != nullptr && !times_.update(sys, time)) releaseEpoch();
  if (cur_ == nullptr) startEpoch(sys, time);
}

void Rtcm3CpdDecoder::startEpoch(int sys, long time) {
  cur_ = obtainMeas(buf_, this, kCpdRtcm3);
  prevSync_ = 0;
  times_.resetAndUpdate(sys, time);
  etSetTimeDeltas(times_);
}

void Rtcm3CpdDecoder::update(const RTC3_OBS& obs) {
  int sys = 0;
  long time = 0;
  if (!prepare(obs, sys, time)) return;
  nextEpochByTime(sys, time);
  fillBuffer(obs, sys, time, cur_);
  const std::uint8_t sync = (obs.flags & kObsSync) ? 1 : 0;
  if (cur_ != nullptr && (!sync || prevSync_)) releaseEpoch();
  prevSync_ = sync;
}

void Rtcm3CpdDecoder::updateMSM(const RTC3_OBS& obs) {
  int sys = 0;
  long time = 0;
  if (!prepareMsm(obs, sys, time)) return;
  nextEpochByTime(sys, time);
  fillMsmBuffer(obs, sys, time, cur_);
  if (!(obs.flags & kObsSync) && cur_ != nullptr) releaseEpoch();
}

void Rtcm3CpdDecoder::releaseEpoch() {
  cpdCountsEpochClosed();
  if (cur_ == nullptr) return;
  if (finishEpoch(*cur_) && antKnown_)
    releaseMeas(buf_, cur_);
  else
    reclaimMeas(buf_, cur_);
}

bool Rtcm3CpdDecoder::finishEpoch(CpdMeas& meas) {
  if (!etSetEpochId(times_, meas)) return false;
  meas.baseMsgInfo = rtc3BaseMsgNum.valid ? rtc3BaseMsgNum.delta : 0;
  if (refPos_.valid) refPos_.valid = 2;
  meas.refPos = refPos_;
  meas.stationId = stationId_;
  meas.status = 1;
  return true;
}

bool Rtcm3CpdDecoder::phaseAligned() const {
  switch (flags_ & 3) {
    case 1: return true;
    case 2: return false;
    default: return brand_ != 0 && baseBrandLinks.phasesAligned(brand_);
  }
}

void Rtcm3CpdDecoder::keep(CpdMeas* meas, const CpdSvMeas& m) {
  if (meas == nullptr || !cpdRecentSvs_.has(m.sv.id)) return;
  CpdSvMeas* e = meas->addSv(m.sv);
  if (e == nullptr) return;
  for (int k = 0; k < CpdSvMeas::kSlotNum; ++k) e->slot[k] = m.slot[k];
  e->iod = m.iod;
}

// ---- filling ------------------------------------------------------------------------------------

void Rtcm3CpdDecoder::fillBuffer(const RTC3_OBS& obs, int sys, long time, CpdMeas* meas) {
  if (meas != nullptr) {
    meas->type = CpdMeas::kObservations;
    meas->timeResidual[sys] = 0;
    meas->phaseAligned = phaseAligned() ? 1 : 0;
  }
  const bool amb = (obs.flags & kObsAmbiguity) != 0;
  const double modulus = sys == CpdSv::kGlonass ? kGloLegacyL : kLightMs;
  const CpdCPos station{refPos_.x, refPos_.y, refPos_.z};
  const int count = obs.numSat < kRtc3ObsMaxSat ? obs.numSat : kRtc3ObsMaxSat;
  for (int i = 0; i < count; ++i) {
    const RTC3_LEGACY_SAT& s = obs.legacy[i];
    const int num = cpdSvId(sys, s.sat);
    if (num == -100) continue;
    CpdSvMeas m;
    m.clear();
    m.sv = CpdSv::make(sys, num);
    if (m.sv.id == 0) continue;
    const double A = amb ? s.ambiguity * modulus : 0.0;
    const int l1 = (s.flags & kRtc3LegL1PCode) ? CpdSvMeas::kP1 : CpdSvMeas::kCA;
    const double f1 = carrier(m.sv, l1);
    cpdCountDecoded(sys, l1);
    CpdMeasSlot& a = m.slot[l1];
    a.range = A + s.pr1;
    a.flags = CpdMeasSlot::kRange;
    if (!(s.flags & kRtc3LegNoL1Phase)) {
      a.phase = amb ? (a.range + s.phase1) / kC * f1 : s.phase1;
      a.flags |= CpdMeasSlot::kPhase;
    }
    int l2 = -1;
    if ((s.flags & kL2Absent) != kL2Absent) {
      l2 = ((s.flags >> kRtc3LegL2CodeShift) & 3) == 0 ? CpdSvMeas::kL2C : CpdSvMeas::kP2;
      const double f2 = carrier(m.sv, l2);
      cpdCountDecoded(sys, l2);
      CpdMeasSlot& b = m.slot[l2];
      // Without the ambiguity too the L2 range is kept on the L1 one, so that completing the
      // ranges adds the same whole milliseconds to both.
      if (!(s.flags & kRtc3LegNoL2Range)) {
        b.range = A + s.pr1 + s.pr2;
        b.flags |= CpdMeasSlot::kRange;
      }
      if (!(s.flags & kRtc3LegNoL2Phase)) {
        b.phase = amb ? (A + s.pr1 + s.phase2) / kC * f2 : s.phase2;
        b.flags |= CpdMeasSlot::kPhase;
      }
    }
    if (!amb && restoreMeas(m, time, refPos_, false, utils_) == kNotRestored) continue;
    for (int slot : {l1, l2}) {
      if (slot < 0 || !(m.slot[slot].flags & CpdMeasSlot::kRange)) continue;
      const CpdMeasSlot& c = m.slot[slot];
      const double phaseM = (c.flags & CpdMeasSlot::kPhase) ? c.phase * kC / carrier(m.sv, slot) : 0.0;
      convertCpdMeasToCodeDiffCorr(0, slot, c.range, phaseM, m.sv, time, refPos_.valid ? &station : nullptr);
    }
    keep(meas, m);
  }
}

void Rtcm3CpdDecoder::fillMsmBuffer(const RTC3_OBS& obs, int sys, long time, CpdMeas* meas) {
  if (meas != nullptr) {
    meas->type = CpdMeas::kObservations;
    meas->timeResidual[sys] = 0;
    meas->phaseAligned = 0;
  }
  const bool amb = (obs.flags & kObsAmbiguity) != 0;
  const CpdCPos station{refPos_.x, refPos_.y, refPos_.z};
  const int countSys = sysNav2Cdat(sys);
  const int count = obs.numSat < kRtc3ObsMaxSat ? obs.numSat : kRtc3ObsMaxSat;
  for (int i = 0; i < count; ++i) {
    const RTC3_MSM_SAT& s = obs.msm[i];
    const int num = cpdSvId(sys, s.sat);
    if (num == -100) continue;
    CpdSvMeas m;
    m.clear();
    m.sv = CpdSv::make(sys, num);
    if (m.sv.id == 0) continue;
    const double A = amb ? s.intMs * kLightMs : 0.0;
    bool any = false;
    for (int k = 0; k < kRtc3MsmSlots && k < CpdSvMeas::kSlotNum; ++k) {
      const RTC3_MSM_SIG& g = s.sig[k];
      if (!(g.flags & (kRtc3MsmRangeValid | kRtc3MsmPhaseValid))) continue;
      const double f = carrier(m.sv, k);
      if (f <= 1.0) continue;
      CpdMeasSlot& c = m.slot[k];
      if (g.flags & kRtc3MsmRangeValid) {
        c.range = A + g.pr;
        c.flags |= CpdMeasSlot::kRange;
      }
      if (g.flags & kRtc3MsmPhaseValid) {
        c.phase = (A + g.phase) * f / kC;
        c.flags |= CpdMeasSlot::kPhase;
      }
      cpdCountDecoded(countSys, k);
      any = true;
    }
    if (!any) continue;
    if (!amb && restoreMeas(m, time, refPos_, true, utils_) == kNotRestored) continue;
    for (int k = 0; k < CpdSvMeas::kSlotNum; ++k) {
      const CpdMeasSlot& c = m.slot[k];
      if (!(c.flags & CpdMeasSlot::kRange) || c.range <= 0.0) continue;
      const double phaseM = (c.flags & CpdMeasSlot::kPhase) ? c.phase * kC / carrier(m.sv, k) : 0.0;
      convertCpdMeasToCodeDiffCorr(obs.stationId, k, c.range, phaseM, m.sv, time,
                                   refPos_.valid ? &station : nullptr);
    }
    keep(meas, m);
  }
}

// ---- completing ranges --------------------------------------------------------------------------

int Rtcm3CpdDecoder::wholeModuli(double geometric, double measured, double modulus) {
  int n = static_cast<int>(std::floor(geometric / modulus));
  const double rem = geometric - n * modulus;
  if (rem < kWrapLow * modulus && measured > kWrapHigh * modulus) --n;
  else if (rem > kWrapHigh * modulus && measured < kWrapLow * modulus) ++n;
  return n;
}

int Rtcm3CpdDecoder::restoreMeas(CpdSvMeas& m, long timeMs, const CpdRefPos& ref, bool msm, CpdUtils& utils) {
  if (!ref.valid) return kNotRestored;
  const double t = static_cast<double>(timeMs) / 1000.0;
  CpdCPos p;
  CpdCVel v;
  double clk = 0.0, corr = 0.0;
  if (utils.svPos(m.sv, t, false, p, v, clk, CpdUtils::kAnyIod) != CpdUtils::kOk) return kNotRestored;
  if (utils.getTimeCor(m.sv, t, CpdUtils::kAnyIod, corr) != CpdUtils::kOk) return kNotRestored;
  // The clock term in metres, as the measured range carries it.
  const double clkM = corr * kC;
  double r = norm(p.x - ref.x, p.y - ref.y, p.z - ref.z);
  // Light time: where the satellite was when it sent.
  const double tau = (r - clkM) / kC;
  r = norm(p.x - v.x * tau - ref.x, p.y - v.y * tau - ref.y, p.z - v.z * tau - ref.z) - clkM;
  // Nothing farther than any orbit (NaN included) counts as a geometric range.
  if (!(r > 0.0 && r < 1.0e9)) return kNotRestored;

  const bool gloLegacy = !msm && m.sv.sys == CpdSv::kGlonass;
  const double L = gloLegacy ? kGloLegacyL : kLightMs;
  int first = -1;
  for (int k = 0; k < CpdSvMeas::kSlotNum && first < 0; ++k)
    if (m.slot[k].flags & CpdMeasSlot::kRange) first = k;
  double measured = 0.0;
  if (first >= 0) {
    measured = m.slot[first].range;
  } else {
    // A phase-only satellite (MSM2-3): its phase in metres decides.
    for (int k = 0; k < CpdSvMeas::kSlotNum && first < 0; ++k)
      if (m.slot[k].flags & CpdMeasSlot::kPhase) {
        first = k;
        measured = m.slot[k].phase * kC / carrier(m.sv, k);
      }
  }
  if (first < 0) return kNotRestored;
  const int n = wholeModuli(r, measured, L);
  const double add = n * L;

  if (!msm) {
    // The L1 range completed first: the phases are rebuilt on it.
    const double r1 = m.slot[first].range + add;
    for (int k = 0; k < CpdSvMeas::kSlotNum; ++k) {
      CpdMeasSlot& c = m.slot[k];
      if (c.flags & CpdMeasSlot::kRange) c.range += add;
      if (c.flags & CpdMeasSlot::kPhase) c.phase = (r1 + c.phase) / kC * carrier(m.sv, k);
    }
    return n;
  }
  const double limit = 2.0 * kLightMs;
  for (int k = 0; k < CpdSvMeas::kSlotNum; ++k) {
    CpdMeasSlot& c = m.slot[k];
    if ((c.flags & CpdMeasSlot::kRange) && c.range < limit) c.range += add;
    if (c.flags & CpdMeasSlot::kPhase) {
      const double f = carrier(m.sv, k);
      const double pm = c.phase * kC / f;
      if (pm < limit) c.phase = (pm + add) * f / kC;
    }
  }
  return n;
}

// ---- station data -------------------------------------------------------------------------------

void Rtcm3CpdDecoder::updateRefPos(const CpdCPos& pos, int stationId) {
  refPos_.set(pos);
  stationId_ = stationId;
  nrtk_.updateRefPos(pos, stationId);
}

void Rtcm3CpdDecoder::updateAntDesc(const char* name, int stationId) {
  if (buf_ != nullptr) {
    if (CpdAux* aux = buf_->doObtainAux()) {
      aux->antenna = antDataBase.find(name);
      antKnown_ = 1;
      buf_->doReleaseAux(aux);
    }
  }
  stationId_ = stationId;
}

void Rtcm3CpdDecoder::updateRcvDesc(const char* type, const char* version, const char* serial, int stationId) {
  if (buf_ != nullptr) {
    if (CpdAux* aux = buf_->doObtainAux()) {
      aux->stationId = stationId;
      copyText(aux->rcvType, type);
      copyText(aux->rcvVersion, version);
      copyText(aux->rcvSerial, serial);
      const int brand = baseBrandLinks.identify(aux->rcvType);
      brand_ = static_cast<std::uint8_t>(brand > 0 && brand < 256 ? brand : 0);
      baseBrandLinks.setDetected(brand_);
      buf_->doReleaseAux(aux);
    }
  }
  stationId_ = stationId;
}

void Rtcm3CpdDecoder::updateGloBias(const RTC3_GLO_BIAS& b, int stationId) {
  // With the user's switch off received biases are not used at all.
  if (!RTC3_Decoder::getSettings().gloBias) return;
  // Changed under the base buffer's record lock, as the RTK side reads it beside that record.
  CpdAux* aux = buf_ != nullptr ? buf_->doObtainAux() : nullptr;
  CpdGloBias& g = curCpdGloBias;
  const std::uint8_t mask = b.mask & 0x0F;
  if (stationId != g.stationId) {
    for (float& v : g.bias) v = 0.0f;
    g.mask = mask;
  } else {
    g.mask |= mask;
  }
  g.stationId = stationId;
  for (int i = 0; i < CpdGloBias::kValues; ++i)
    if (mask & (8 >> i)) g.bias[i] = b.bias[i];
  if (aux != nullptr) buf_->doReleaseAux(aux);
}

void Rtcm3CpdDecoder::invalidateRefPos() {
  refPos_.reset();
  stationId_ = -1;
  antKnown_ = 0;
  flags_ = 0;
}

void Rtcm3CpdDecoder::invalidateOtherInfo() {
  CpdAux* aux = buf_ != nullptr ? buf_->doObtainAux() : nullptr;
  if (aux != nullptr) {
    aux->antenna = AntDbDescr();
    aux->stationId = -1;
    copyText(aux->rcvType, "");
    copyText(aux->rcvVersion, "");
    copyText(aux->rcvSerial, "");
  }
  curCpdGloBias.clear();
  if (aux != nullptr) buf_->doReleaseAux(aux);
}

void Rtcm3CpdDecoder::reset() {
  if (cur_ != nullptr) reclaimMeas(buf_, cur_);
  if (buf_ != nullptr) {
    if (CpdMeasBuf::Client* c = buf_->client()) c->reset();
    buf_->doClear();
  }
  times_.reset();
  prevSync_ = 0;
  nrtk_.reset();
  ++resets_;
}

void rtcm3CpdClientInit() {
  static Rtcm3CpdDecoder decoder(pBaseMeasBuf);
  static Rtcm3CpdClient* table[1] = {&decoder};
  rtcm3CpdClient = &decoder;
  cpdBaseDecoders[kCpdRtcm3] = &decoder;
  rtkBaseDecoders.rtcm3 = &decoder;
  for (Rtcm3Client& c : rtcm3Client) c.setBaseDecoders(table);
}
