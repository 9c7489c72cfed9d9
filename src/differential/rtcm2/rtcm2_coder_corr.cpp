// Code corrections (1, 9, 31, 34, 41, 42) and ionosphere (15, 44) of the RTCM 2 coder.
#include <algorithm>
#include <cmath>

#include "differential/rtcm2/rtcm2_coder.h"

namespace {

constexpr long kHourMs = 3600000;
constexpr long kHalfHourMs = 1800000;
// Scale limits of the correction fields (0.02 m / 0.002 m/s, then 0.32 m / 0.032 m/s).
constexpr double kSmallPrc = 655.34, kSmallRrc = 0.254;
constexpr double kLargePrc = 10485.44, kLargeRrc = 4.064;
// The "do not use" patterns of the pseudorange and range-rate fields.
constexpr long kPrcDoNotUse = -32768, kRrcDoNotUse = -128;
constexpr int kIonoMaxSats = 20;
constexpr double kIonoDelayMax = 163.83;  // 14 bits of 0.01 m
constexpr long kIonoRateMax = 8191;
// The rate field counts 0.05 cm/min.
constexpr double kIonoRateUnit = 0.0005 / 60.0;
constexpr std::uint32_t kIonoRateBad = 8192;

long roundHalfAway(double x) { return static_cast<long>(x >= 0 ? x + 0.5 : x - 0.5); }

long foldHalfHour(long dt) {
  dt %= kHourMs;
  if (dt > kHalfHourMs) dt -= kHourMs;
  if (dt < -kHalfHourMs) dt += kHourMs;
  return dt;
}

int udreOf(float sigma) {
  if (sigma <= 1.0f) return 0;
  if (sigma <= 4.0f) return 1;
  if (sigma <= 8.0f) return 2;
  return 3;
}

// The identity field of the GNSS messages (8 bits).
int gnssId(int sys, int number) {
  if (sys == kSysSbas) return number - 100;
  if (sys == kSysQzss) return (number + 64) & 0xFF;
  return number;
}

}  // namespace

int RTCM_Coder::gatherCorrections(int sys, long zMs, CodeCorr* out, int max) const {
  if (dif_ == nullptr) return 0;
  const int entries = std::min<int>(dif_->uSatCount, kBaseSats);
  const long dt = foldHalfHour(zMs - static_cast<long>(dif_->ulTime[sys] % kHourMs));
  int n = 0;
  for (int i = 0; i < entries && n < max; ++i) {
    const NAVCOD_DIF_SV& s = dif_->sat[i];
    if (s.uSystem != sys || (s.uMask & 1) == 0) continue;
    const NAVCOD_DIF_SIGNAL& g = s.sig[0];
    const double prc = g.fPrc + g.fRrc * (static_cast<double>(dt) / 1000.0);
    const double rrc = g.fRrc;
    if (!std::isfinite(prc) || !std::isfinite(rrc)) continue;
    CodeCorr c{};
    c.sys = sys;
    c.number = s.uNumber;
    c.id = sys == kSysGps || sys == kSysGlonass ? s.uNumber & 0x1F : gnssId(sys, s.uNumber);
    c.udre = udreOf(g.fSigma);
    c.iod = s.uIssue;
    const double ap = std::fabs(prc), ar = std::fabs(rrc);
    if (ap <= kSmallPrc && ar <= kSmallRrc) {
      c.large = false;
      c.prc = roundHalfAway(prc / 0.02);
      c.rrc = roundHalfAway(rrc / 0.002);
    } else if (ap <= kLargePrc && ar <= kLargeRrc) {
      c.large = true;
      c.prc = roundHalfAway(prc / 0.32);
      c.rrc = roundHalfAway(rrc / 0.032);
    } else {
      // Beyond either scale the fields would wrap into a plausible wrong value.
      c.large = true;
      c.prc = kPrcDoNotUse;
      c.rrc = kRrcDoNotUse;
    }
    out[n++] = c;
  }
  return n;
}

void RTCM_Coder::putCodeCorrection(const CodeCorr& c) {
  words_.put(c.large ? 1 : 0, 1);
  words_.put(static_cast<std::uint32_t>(c.udre), 2);
  words_.put(static_cast<std::uint32_t>(c.id), 5);
  words_.putSigned(c.prc, 16);
  words_.putSigned(c.rrc, 8);
  words_.put(static_cast<std::uint32_t>(c.iod), 8);
}

int RTCM_Coder::sortPartialData(int table, CodeCorr* c, int n, int keep, long zMs) const {
  if (n <= keep) return n;
  double prio[kBaseSats];
  int order[kBaseSats];
  for (int i = 0; i < n; ++i) {
    order[i] = i;
    const SentCorr& s = sent_[table][c[i].sys][c[i].number & 63];
    if (!s.valid) {
      prio[i] = 1e9;
      continue;
    }
    const double dt = static_cast<double>(foldHalfHour(zMs - s.timeMs)) / 1000.0;
    const double predicted = s.prc * (s.large ? 0.32 : 0.02) + s.rrc * (s.large ? 0.032 : 0.002) * dt;
    const double now = c[i].prc * (c[i].large ? 0.32 : 0.02);
    prio[i] = std::fabs(now - predicted);
  }
  std::stable_sort(order, order + n, [&](int a, int b) { return prio[a] > prio[b]; });
  CodeCorr tmp[kBaseSats];
  for (int i = 0; i < keep; ++i) tmp[i] = c[order[i]];
  for (int i = 0; i < keep; ++i) c[i] = tmp[i];
  return keep;
}

void RTCM_Coder::rememberSent(int table, const CodeCorr* c, int n, long zMs) {
  for (int i = 0; i < n; ++i) {
    SentCorr& s = sent_[table][c[i].sys][c[i].number & 63];
    s.valid = c[i].prc != kPrcDoNotUse;
    s.large = c[i].large;
    s.prc = c[i].prc;
    s.rrc = c[i].rrc;
    s.timeMs = zMs;
  }
}

bool RTCM_Coder::codeCorrections(int kind) {
  const bool glo = kind == kRtcmMsg31 || kind == kRtcmMsg34;
  const bool partial = kind == kRtcmMsg9 || kind == kRtcmMsg34;
  const int type = rtcmTypeOfKind[kind];
  const int z = zCount(glo);
  if (z < 0) return false;
  const long zMs = static_cast<long>(z) * 600;
  CodeCorr c[kBaseSats];
  int n = gatherCorrections(glo ? kSysGlonass : kSysGps, zMs, c, kBaseSats);
  if (n == 0) return false;
  if (partial) {
    n = sortPartialData(0, c, n, kPartialSats, zMs);
    rememberSent(0, c, n, zMs);
  }
  // A full set beyond 18 satellites continues in a following message: the word count has 5 bits.
  bool any = false;
  for (int first = 0; first < n; first += kFullMaxSats) {
    const int m = std::min(n - first, kFullMaxSats);
    beginMessage(type, z);
    for (int i = 0; i < m; ++i) putCodeCorrection(c[first + i]);
    words_.fillPattern();
    if (!endMessage()) break;
    any = true;
  }
  return any;
}

bool RTCM_Coder::codeGnssCorrections(int kind) {
  const bool partial = kind == kRtcmMsg42;
  const int z = zCount(false);
  if (z < 0) return false;
  const long zMs = static_cast<long>(z) * 600;
  bool any = false;
  for (int sys = 0; sys < SYS_NUM; ++sys) {
    CodeCorr c[kBaseSats];
    int n = gatherCorrections(sys, zMs, c, kBaseSats);
    if (n == 0) continue;
    if (partial) {
      n = sortPartialData(1, c, n, kPartialSats, zMs);
      rememberSent(1, c, n, zMs);
    }
    for (int first = 0; first < n; first += kFullMaxSats) {
      const int m = std::min(n - first, kFullMaxSats);
      beginMessage(rtcmTypeOfKind[kind], z);
      words_.put(static_cast<std::uint32_t>(sys), 4);
      words_.put(0, 4);
      words_.put(0, 16);  // the rest of the system word
      for (int i = 0; i < m; ++i) {
        const CodeCorr& k = c[first + i];
        // One scale only: the fine one, with the "do not use" value beyond it.
        const double prc = k.prc == kPrcDoNotUse ? 1e9 : k.prc * (k.large ? 0.32 : 0.02);
        const double rrc = k.prc == kPrcDoNotUse ? 1e9 : k.rrc * (k.large ? 0.032 : 0.002);
        words_.put(static_cast<std::uint32_t>(k.id), 8);
        words_.put(static_cast<std::uint32_t>(k.udre), 2);
        words_.put(static_cast<std::uint32_t>(k.iod), 8);
        words_.putSigned(std::fabs(prc) > kSmallPrc ? kPrcDoNotUse : roundHalfAway(prc / 0.02), 16);
        // Range rate in 0.008 m/s over 6 bits.
        const long r = roundHalfAway(rrc / 0.008);
        words_.putSigned(r < -31 || r > 31 ? -32 : r, 6);
      }
      words_.fillPattern();
      if (!endMessage()) return any;
      any = true;
    }
  }
  return any;
}

bool RTCM_Coder::code15() {
  if (ion_ == nullptr || !ion_->bReady) return false;
  bool any = false;
  for (int sys : {kSysGps, kSysGlonass}) {
    if (!ion_->bValid[sys]) continue;
    const NAVCOD_IONO_SV* sv[kIonoMaxSats];
    int n = 0;
    bool tooMany = false;
    const int entries = std::min<int>(ion_->uSatCount, kBaseSats);
    for (int i = 0; i < entries; ++i) {
      if (ion_->sat[i].uSystem != sys) continue;
      if (n == kIonoMaxSats) {
        tooMany = true;
        break;
      }
      sv[n++] = &ion_->sat[i];
    }
    if (n == 0 || tooMany) continue;
    beginMessage(15, static_cast<int>((ion_->ulTime[sys] % kHourMs) / 600));
    for (int i = 0; i < n; ++i) {
      const double delay = sv[i]->fDelay;
      const long rate = std::isfinite(sv[i]->fRate) ? roundHalfAway(sv[i]->fRate / kIonoRateUnit) : kIonoRateMax + 1;
      const bool bad = !(delay >= 0 && delay <= kIonoDelayMax) || rate > kIonoRateMax || rate < -kIonoRateMax;
      words_.put(sys == kSysGlonass ? 1 : 0, 1);
      words_.put(sv[i]->uNumber & 0x1Fu, 5);
      words_.put(bad ? 0u : static_cast<std::uint32_t>(roundHalfAway(delay * 100.0)), 14);
      words_.put(bad ? kIonoRateBad : static_cast<std::uint32_t>(rate) & 0x3FFF, 14);
      words_.put(0, 2);
    }
    if (n % 2 == 1) words_.put(0xAA, 12);
    if (!endMessage()) return any;
    any = true;
  }
  return any;
}

bool RTCM_Coder::code44() {
  if (ion_ == nullptr || !ion_->bReady) return false;
  bool any = false;
  for (int sys = 0; sys < SYS_NUM; ++sys) {
    if (!ion_->bValid[sys]) continue;
    const NAVCOD_IONO_SV* sv[kIonoMaxSats];
    int n = 0;
    const int entries = std::min<int>(ion_->uSatCount, kBaseSats);
    for (int i = 0; i < entries && n < kIonoMaxSats; ++i)
      if (ion_->sat[i].uSystem == sys) sv[n++] = &ion_->sat[i];
    if (n == 0) continue;
    beginMessage(44, static_cast<int>((ion_->ulTime[sys] % kHourMs) / 600));
    words_.put(static_cast<std::uint32_t>(sys), 4);
    words_.put(0, 20);
    for (int i = 0; i < n; ++i) {
      const double delay = sv[i]->fDelay;
      const long rate = std::isfinite(sv[i]->fRate) ? roundHalfAway(sv[i]->fRate / kIonoRateUnit) : kIonoRateMax + 1;
      const bool bad = !(delay >= 0 && delay <= kIonoDelayMax) || rate > kIonoRateMax || rate < -kIonoRateMax;
      words_.put(static_cast<std::uint32_t>(gnssId(sys, sv[i]->uNumber)) & 0xFF, 8);
      words_.put(bad ? 0u : static_cast<std::uint32_t>(roundHalfAway(delay * 100.0)), 14);
      words_.put(bad ? kIonoRateBad : static_cast<std::uint32_t>(rate) & 0x3FFF, 14);
    }
    if (n % 2 == 1) words_.put(0xAA, 12);
    if (!endMessage()) return any;
    any = true;
  }
  return any;
}
