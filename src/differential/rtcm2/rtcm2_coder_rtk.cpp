// RTK observables (18, 19) and corrections (20, 21) of the RTCM 2 coder.
#include <algorithm>
#include <cmath>

#include "differential/rtcm2/rtcm2_coder.h"

namespace {

constexpr long kHourMs = 3600000;
constexpr int kZCycle = 6000;                // modified Z-counts per hour
constexpr long kZUs = 600000;                // µs per Z-count
constexpr double kPrMax = 85899345.9;        // 32 bits of 0.02 m
constexpr double kPhaseWrap = 16777216.0;    // 2^24 cycles: the field's range
constexpr double kCorrPhaseMax = 32768.0;    // 24 bits of 1/256 cycle
constexpr double kSmallPrc = 655.34, kSmallRrc = 0.254;
constexpr double kLargePrc = 10485.44, kLargeRrc = 4.064;
constexpr int kSlotP1 = 1, kSlotP2 = 2;

long roundHalfAway(double x) { return static_cast<long>(x >= 0 ? x + 0.5 : x - 0.5); }

struct Planned {
  int type, sys, freq, first, count;
};

}  // namespace

int RTCM_Coder::rtkSats(int sys, int slot, const RTK_DATA_SV** out, int max) const {
  if (rtk_ == nullptr || slot < 0 || slot >= kBaseSignals || !rtk_->bValid[sys]) return 0;
  const int entries = std::min<int>(rtk_->uSatCount, kBaseSats);
  const int limit = rtk_->uCountRtcm2[sys];
  int seen = 0, n = 0;
  for (int i = 0; i < entries && seen < limit && n < max; ++i) {
    const RTK_DATA_SV& sv = rtk_->sat[i];
    if (sv.uSystem != sys) continue;
    ++seen;
    if (sv.slot[slot].bPresent) out[n++] = &sv;
  }
  return n;
}

void RTCM_Coder::countMsgNum() {
  for (int sys = 0; sys < 2; ++sys)
    for (int f = 0; f < 2; ++f) {
      const RTK_DATA_SV* sv[kBaseSats];
      const bool on = sys == kSysGps || set_.glo;
      const int n = on ? rtkSats(sys, f == 0 ? set_.l1Set : set_.l2Set, sv, kBaseSats) : 0;
      rtkMsgs_[sys][f] = (n + kRtkMaxSats - 1) / kRtkMaxSats;
    }
}

int RTCM_Coder::rtkTime(int sys, int& z) const {
  if (rtk_ == nullptr || !rtk_->bValid[sys]) return -1;
  const long t = static_cast<long>(rtk_->ulTime[sys] % kHourMs);
  z = static_cast<int>(t / 600);
  const double clock = std::isfinite(rtk_->dClock[sys]) ? rtk_->dClock[sys] : 0.0;
  long us = 1000 * (t - 600L * z) + static_cast<long>(std::trunc(-clock / 299.792458));
  // A clock offset carries the time of measurement into the neighbouring Z-count.
  while (us < 0) {
    z = z == 0 ? kZCycle - 1 : z - 1;
    us += kZUs;
  }
  while (us >= kZUs) {
    z = z == kZCycle - 1 ? 0 : z + 1;
    us -= kZUs;
  }
  return static_cast<int>(us);
}

int RTCM_Coder::lossCount(int sys, int number, int freq, std::uint32_t lock) {
  const int s = sys & 1, n = std::clamp(number, 0, 32), f = freq & 1;
  if (lock < lastLock_[s][n][f]) loss_[s][n][f] = static_cast<std::uint8_t>((loss_[s][n][f] + 1) & 0x1F);
  lastLock_[s][n][f] = lock;
  return loss_[s][n][f];
}

bool RTCM_Coder::codeRtk(int kind, bool combined) {
  if (rtk_ == nullptr) return false;
  const int first = combined ? (kind & ~1) : kind;
  const int last = combined ? (kind | 1) : kind;
  Planned plan[64];
  int np = 0;
  for (int sys : {kSysGps, kSysGlonass}) {
    if (sys == kSysGlonass && !set_.glo) continue;
    for (int f = 0; f < 2; ++f) {
      const RTK_DATA_SV* sv[kBaseSats];
      const int n = rtkSats(sys, f == 0 ? set_.l1Set : set_.l2Set, sv, kBaseSats);
      for (int k = first; k <= last; ++k)
        for (int at = 0; at < n && np < 64; at += kRtkMaxSats)
          plan[np++] = {rtcmTypeOfKind[k], sys, f, at, std::min(n - at, kRtkMaxSats)};
    }
  }
  // Within one system and frequency the types alternate message by message, so that a reader
  // holding one epoch at a time sees each satellite's observables together.
  std::stable_sort(plan, plan + np, [](const Planned& a, const Planned& b) {
    if (a.sys != b.sys) return a.sys < b.sys;
    if (a.freq != b.freq) return a.freq < b.freq;
    return a.first < b.first;
  });
  bool any = false;
  for (int i = 0; i < np; ++i) {
    const Planned& p = plan[i];
    const RTK_DATA_SV* sv[kBaseSats];
    const int n = rtkSats(p.sys, p.freq == 0 ? set_.l1Set : set_.l2Set, sv, kBaseSats);
    int z = 0;
    const int us = rtkTime(p.sys, z);
    if (us < 0 || p.first >= n) continue;
    const int slot = p.freq == 0 ? set_.l1Set : set_.l2Set;
    const std::uint32_t more = i + 1 < np ? 1 : 0;
    beginMessage(p.type, z);
    const int header = words_.bits;
    std::uint32_t freqField = p.freq == 0 ? 0 : 8;
    if (p.type == 19) freqField |= rtk_->uRtcm2Smoothing & 3u;
    words_.put(freqField, 4);
    words_.put(static_cast<std::uint32_t>(us), 20);
    for (int j = p.first; j < p.first + p.count && j < n; ++j) {
      const RTK_DATA_SV& s = *sv[j];
      const RTK_DATA_SLOT& d = s.slot[slot];
      const std::uint32_t flags =
          more << 2 | (slot == kSlotP1 || slot == kSlotP2 ? 2u : 0u) | (p.sys == kSysGlonass ? 1u : 0u);
      const std::uint32_t id = s.uNumber & 0x1Fu;
      const int loss = lossCount(p.sys, s.uNumber, p.freq, d.ulLock);
      if (p.type == 18) {
        if (!std::isfinite(d.dPhase2)) continue;
        double c = std::fmod(-d.dPhase2, kPhaseWrap);
        if (c >= kPhaseWrap / 2) c -= kPhaseWrap;
        if (c < -kPhaseWrap / 2) c += kPhaseWrap;
        words_.put(flags, 3);
        words_.put(id, 5);
        words_.put(std::min<std::uint32_t>(d.uPhaseQuality, 7), 3);
        words_.put(static_cast<std::uint32_t>(loss), 5);
        words_.put(static_cast<std::uint32_t>(static_cast<std::int64_t>(std::llround(c * 256.0))), 32);
      } else if (p.type == 19) {
        const bool bad = !(d.dCode2 >= 0 && d.dCode2 <= kPrMax);
        words_.put(flags, 3);
        words_.put(id, 5);
        words_.put(bad ? 15u : d.uQuality & 0x0Fu, 4);
        words_.put(d.uFifteen & 0x0Fu, 4);
        words_.put(bad ? 0u : static_cast<std::uint32_t>(std::llround(d.dCode2 * 50.0)), 32);
      } else if (p.type == 20) {
        const double c = d.fComputedMinusPhase;
        // A correction the 24-bit field cannot hold would wrap: the satellite is left out.
        if (!d.bComputed || !std::isfinite(c) || std::fabs(c) >= kCorrPhaseMax) continue;
        words_.put(flags, 3);
        words_.put(id, 5);
        words_.put(s.uIssue, 8);
        words_.put(static_cast<std::uint32_t>(loss), 5);
        words_.put(std::min<std::uint32_t>(d.uPhaseQuality, 7), 3);
        words_.putSigned(roundHalfAway(c * 256.0), 24);
      } else {
        const double prc = d.fComputedMinusCode, rrc = d.fComputedMinusRate;
        if (!d.bComputed || !std::isfinite(prc) || !std::isfinite(rrc)) continue;
        bool large = false;
        long fp = 0, fr = 0;
        if (std::fabs(prc) <= kSmallPrc && std::fabs(rrc) <= kSmallRrc) {
          fp = roundHalfAway(prc / 0.02), fr = roundHalfAway(rrc / 0.002);
        } else if (std::fabs(prc) <= kLargePrc && std::fabs(rrc) <= kLargeRrc) {
          large = true, fp = roundHalfAway(prc / 0.32), fr = roundHalfAway(rrc / 0.032);
        } else {
          large = true, fp = -32768, fr = -128;  // "do not use", never a wrapped value
        }
        words_.put(flags, 3);
        words_.put(id, 5);
        words_.put(large ? 1 : 0, 1);
        words_.put(d.uQuality & 0x0Fu, 4);
        words_.put((d.uFifteen / 2u) & 7u, 3);
        words_.put(s.uIssue, 8);
        words_.putSigned(fp, 16);
        words_.putSigned(fr, 8);
      }
    }
    if (words_.bits == header + 24) {
      // Every satellite was left out: nothing to send, and the header's sequence is taken back.
      seq_ = (seq_ + 7) & 7;
      continue;
    }
    if (!endMessage()) return any;
    any = true;
  }
  return any;
}
