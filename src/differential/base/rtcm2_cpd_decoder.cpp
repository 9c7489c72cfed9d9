#include "differential/base/rtcm2_cpd_decoder.h"

#include <cmath>
#include <cstring>
#include <type_traits>

#include "platform/debug.h"
#include "positioning/antdb/ant_db.h"
#include "settings/debug_selectors.h"
#include "settings/rcv_settings.h"

RtcmCpdDecoder rtcmCpdClient;

namespace {
constexpr std::int64_t kHourMs = CpdEpochId::kHourMs;
constexpr int kFreqL1 = 0, kFreqL2 = 2;
constexpr int kBands = 3;
// Time-offset system codes of message 37.
constexpr int kCodeGps = 0, kCodeGlonass = 1;
constexpr int kDebugOffset = 37;  // rtcm_dbi: print each GPS-GLONASS offset taken

int freqOf(const RTCM_RTK_HEAD& h) { return h.freqBits >> 2 & 3; }
bool freqValid(int f) { return f == kFreqL1 || f == kFreqL2; }
}  // namespace

RtcmCpdDecoder::RtcmCpdDecoder(CpdMeasBuf* buf) : buf_(buf) {
  std::memset(uDecodedSysSlotCurrNum, 0, sizeof uDecodedSysSlotCurrNum);
  std::memset(uDecodedSysSlotLastNum, 0, sizeof uDecodedSysSlotLastNum);
}

int RtcmCpdDecoder::flags2slot(int index) {
  // F = 0: C/A and P code on L1; F = 2: L2 for both; F = 1 and 3 carry no signal of ours.
  static constexpr int kTable[8] = {CpdSvMeas::kCA, CpdSvMeas::kP1, kNoSlot,         kNoSlot,
                                    CpdSvMeas::kP2, CpdSvMeas::kP2, kNoSlot,         kNoSlot};
  return index >= 0 && index < 8 ? kTable[index] : kNoSlot;
}

double RtcmCpdDecoder::continuePhase(double phase, double previous) {
  const double d = phase - previous;
  const double k = std::floor(0.4 + std::fabs(d) / kPhaseWrap);
  return d < 0.0 ? phase + k * kPhaseWrap : phase - k * kPhaseWrap;
}

bool RtcmCpdDecoder::prepare(const RTCM_RTK_HEAD& head, std::uint8_t lastFlags, int kind, int& sys) {
  sys = ((mode_ & kModeGlo) && (lastFlags & RTCM_RTK_HEAD::kGlonass)) ? CpdSv::kGlonass : CpdSv::kGps;
  // Microseconds within the hour reach 3.6e9: rounded in 64 bits.
  const std::int64_t ms = roundedMs(head.time);
  const long t = static_cast<long>(ms % kHourMs);
  if (cur_ != nullptr && !times.update(sys, t)) stopEpoch();
  if (cur_ == nullptr) {
    if (!freqValid(freqOf(head))) return false;
    CpdMeasBuf* b = buf();
    if (b == nullptr) return false;
    cur_ = obtainMeas(b, this, kCpdRtcm);
    if (cur_ == nullptr) return false;
    mask_ = 0;
    times.resetAndUpdate(sys, t);
    etSetTimeDeltas(times);
  }
  cur_->type = kind;
  cur_->timeResidual[sys] = static_cast<std::int32_t>(static_cast<std::int64_t>(head.time) - 1000 * ms);
  if (sys == CpdSv::kGps) mask_ |= std::uint64_t{1} << kGpsSeenBit;
  return true;
}

template <class Msg>
void RtcmCpdDecoder::take(const Msg& m, Kind kind) {
  const int count = m.head.count < kRtcmRtkMaxSats ? m.head.count : kRtcmRtkMaxSats;
  const std::uint8_t last = count > 0 ? m.sat[count - 1].flags : 0;
  const bool corrections = kind == kDelPhase20 || kind == kDelRange21;
  int sys = 0;
  if (!prepare(m.head, last, corrections ? CpdMeas::kCorrections : CpdMeas::kObservations, sys)) return;
  const int f = freqOf(m.head);
  for (int i = 0; i < count; ++i) {
    const auto& r = m.sat[i];
    const int slot = flags2slot(((r.flags & RTCM_RTK_HEAD::kPCode) ? 1 : 0) | f << 1);
    if (slot == kNoSlot) continue;
    const int num = cpdSvId(sys, r.satId);
    if (num == -100) continue;
    const CpdSv sv = CpdSv::make(sys, num);
    if (sv.id == 0 || !cpdRecentSvs_.has(sv.id)) continue;
    CpdSvMeas* me = cur_->addSv(sv);
    if (me == nullptr) break;
    CpdMeasSlot& s = me->slot[slot];
    if (kind == kPhase18) {
      double phase = -static_cast<double>(r.value);
      if (hasPrev_ && prev_.type == CpdMeas::kObservations) {
        const CpdSvMeas* p = prev_.find(sv);
        if (p != prev_.end() && (p->slot[slot].flags & CpdMeasSlot::kPhase)) phase = continuePhase(phase, p->slot[slot].phase);
      }
      s.phase = phase;
      s.flags |= CpdMeasSlot::kPhase;
      mask_ |= std::uint64_t{1} << maskBit(sys, slot, 1);
      cpdCountDecoded(sys, slot);
    } else if (kind == kRange19) {
      s.range = static_cast<double>(r.value);
      s.flags |= CpdMeasSlot::kRange;
      mask_ |= std::uint64_t{1} << maskBit(sys, slot, 0);
    } else {
      if constexpr (std::is_same_v<std::decay_t<decltype(r)>, RTCM_RTK_DEL_SAT>) me->iod = r.iod;
      if (kind == kDelPhase20) {
        s.phase = static_cast<double>(r.value);
        s.flags |= CpdMeasSlot::kPhase;
        mask_ |= std::uint64_t{1} << maskBit(sys, slot, 1);
        cpdCountDecoded(sys, slot);
      } else {
        s.range = static_cast<double>(r.value);
        s.flags |= CpdMeasSlot::kRange;
        mask_ |= std::uint64_t{1} << maskBit(sys, slot, 0);
      }
    }
  }
  if (cur_ != nullptr && freqValid(f)) stopEpochByFlags(last);
}

void RtcmCpdDecoder::updatePhase(const RTCM_RTK_PHASE& m) { take(m, kPhase18); }
void RtcmCpdDecoder::updateRange(const RTCM_RTK_RANGE& m) { take(m, kRange19); }
void RtcmCpdDecoder::updateDelPhase(const RTCM_RTK_DEL_PHASE& m) { take(m, kDelPhase20); }
void RtcmCpdDecoder::updateDelRange(const RTCM_RTK_DEL_RANGE& m) { take(m, kDelRange21); }

void RtcmCpdDecoder::stopEpochByFlags(std::uint8_t lastFlags) {
  const bool more = (lastFlags & RTCM_RTK_HEAD::kMultiple) != 0;
  if ((mode_ & kModeEoe) && !more) {
    stopEpoch();
    return;
  }
  // RTCM 2 carries GPS and GLONASS on two bands only, so an epoch never holds every bit of the
  // mask: it is complete once it holds what the previous finished epoch held. A kind split over
  // several messages (more to follow) or a kind the previous epoch lacked keeps it open; the
  // first epoch has nothing to compare with and closes when the next one starts.
  if ((mode_ & kModeFull) && !more && prevMask_ != 0 && mask_ == prevMask_) stopEpoch();
}

void RtcmCpdDecoder::stopEpoch() {
  if (cur_ == nullptr) return;
  cpdCountsEpochClosed();
  CpdMeasBuf* b = buf();
  const std::uint64_t collected = mask_;
  if (finishEpoch(*cur_)) {
    prev_ = *cur_;
    hasPrev_ = true;
    prevMask_ = collected;
    releaseMeas(b, cur_);
  } else {
    reclaimMeas(b, cur_);
  }
}

bool RtcmCpdDecoder::finishEpoch(CpdMeas& meas) {
  if (!etSetEpochId(times, meas)) return false;
  // A phase without a range of its own borrows the range of another signal of the satellite.
  for (int i = 0; i < meas.n; ++i) {
    CpdSvMeas& e = meas.sv[i];
    for (int s = 0; s < CpdSvMeas::kSlotNum; ++s) {
      CpdMeasSlot& x = e.slot[s];
      if (!(x.flags & CpdMeasSlot::kPhase) || (x.flags & CpdMeasSlot::kRange)) continue;
      for (int o = 0; o < CpdSvMeas::kSlotNum; ++o) {
        if (o == s || !(e.slot[o].flags & CpdMeasSlot::kRange)) continue;
        x.range = e.slot[o].range;
        x.flags |= CpdMeasSlot::kRange;
        if (e.sv.sys < CpdSv::kSysNum) mask_ |= std::uint64_t{1} << maskBit(e.sv.sys, s, 0);
        break;
      }
    }
  }
  if (!RcvSet.rtcm2NoFullBand) {
    bool band = false;
    for (int p = 0; p < CpdSv::kSysNum * kBands && !band; ++p) band = ((mask_ >> (2 * p)) & 3u) == 3u;
    if (!band) return false;
  }
  if (refPos.valid) refPos.valid = posFlag_ ? 2 : 1;
  meas.refPos = refPos;
  meas.virtRefPos = virtRefPos;
  meas.l2l1 = l2l1;
  meas.stationId = stationId;
  meas.sysTimeOffset[CpdSv::kGlonass] = gnssOffset_;
  meas.status = 1;
  return true;
}

void RtcmCpdDecoder::updateRefPos(const CpdCPos& pos, int id, bool arp) {
  refPos.set(pos);
  stationId = id;
  posFlag_ = arp ? 1 : 0;
}

void RtcmCpdDecoder::updateVirtCor(const MSG_TS_COR& m) { virtRefPos.set(CpdCPos{m.x, m.y, m.z}); }

void RtcmCpdDecoder::updateAntDef(const MSG_ANT_TYPE& m) {
  CpdMeasBuf* b = buf();
  if (b == nullptr) return;
  if (CpdAux* a = b->doObtainAux()) {
    a->antenna = antDataBase.find(m.desc[0] != 0 ? m.desc : "NULL_REL");
    b->doReleaseAux(a);
  }
}

void RtcmCpdDecoder::updateGnssOffset(const MSG_GNSS_OFFSET& m) {
  int a = m.system >> 3 & 7;
  int b = m.system & 7;
  double v = m.offset;
  if (a <= b) {
    const int t = a;
    a = b;
    b = t;
    v = -v;
  }
  if (a != kCodeGlonass || b != kCodeGps) return;
  gnssOffset_ = v;
  if (rtcm_dbi == kDebugOffset) debPrintfx(-1, " base GPS-GLONASS time offset %.9f\n", gnssOffset_);
}

void RtcmCpdDecoder::reset() {
  CpdMeasBuf* b = buf();
  if (cur_ != nullptr) reclaimMeas(b, cur_);
  if (b != nullptr) {
    if (CpdMeasBuf::Client* c = b->client()) c->reset();
    b->doClear();
  }
  hasPrev_ = false;
  prevMask_ = 0;
  times.reset();
  mask_ = 0;
  gnssOffset_ = 0.0;
  ++resets_;
}

void RtcmCpdDecoder::invalidateRefPos() {
  refPos.reset();
  virtRefPos.reset();
  stationId = -1;
  l2l1.type = CpdAntOffs::kNone;
  posFlag_ = 0;
}

void RtcmCpdDecoder::invalidateOtherInfo() {
  CpdMeasBuf* b = buf();
  if (b == nullptr) return;
  if (CpdAux* a = b->doObtainAux()) {
    a->antenna = AntDbDescr{};
    b->doReleaseAux(a);
  }
}
