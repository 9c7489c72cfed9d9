#include "differential/rtcm3/rtcm3_msm.h"

#include <bit>
#include <cmath>

#include "differential/rtcm3/rtcm3_coder.h"
#include "navigation_data/sv_id.h"
#include "positioning/signal_tables.h"

namespace {

constexpr double kLightMs = 299792.458;  // metres per light millisecond
constexpr int kRoughMaxMs = 254;         // 255 whole milliseconds marks "no range"

// Field widths of the cell values per message type (index 1..7).
struct MsmWidths {
  int pr, phase;          // 0 when the type does not carry the field
  double prUnit, phaseUnit;  // fields per millisecond
  bool rate, ext;         // rates and extended widths
};
constexpr MsmWidths kWidths[8] = {
    {0, 0, 0, 0, false, false},
    {15, 0, 0x1p24, 0, false, false},      // MSM1
    {0, 22, 0, 0x1p29, false, false},      // MSM2
    {15, 22, 0x1p24, 0x1p29, false, false},  // MSM3
    {15, 22, 0x1p24, 0x1p29, false, false},  // MSM4
    {15, 22, 0x1p24, 0x1p29, true, false},   // MSM5
    {20, 24, 0x1p29, 0x1p31, false, true},   // MSM6
    {20, 24, 0x1p29, 0x1p31, true, true},    // MSM7
};
constexpr int kRateBits = 15, kRoughRateBits = 14;

// Rounded half away from zero; false for a value no integer field can take.
bool roundField(double x, std::int64_t& v) {
  if (!std::isfinite(x) || std::fabs(x) > 0x1p40) return false;
  v = static_cast<std::int64_t>(x >= 0 ? x + 0.5 : x - 0.5);
  return true;
}
// A signed field of n bits, its most negative pattern kept for "invalid".
bool fits(std::int64_t v, int n) { return v >= -((std::int64_t{1} << (n - 1)) - 1) && v <= (std::int64_t{1} << (n - 1)) - 1; }

double limitOf(int n) { return static_cast<double>((std::int64_t{1} << (n - 1)) - 1); }

// What one slot of a satellite brings, before the range checks.
struct Candidate {
  int id = 0;
  double prMs = 0, phaseMs = 0, rate = 0;
  std::int32_t lock = 0;
  std::uint8_t cn0 = 0;
  bool keep = false;
};

}  // namespace

bool isMsmSupported(int number, int system, std::uint32_t ver) {
  if (ver != 0) return true;
  if (system == kSysGlonass) return number < 25;
  if (system == kSysBeidou) return !signalTableLinks.isBeiPhase3(number);
  return true;
}

int msmLockIndicator(std::int32_t ms) {
  if (ms < 32) return 0;
  for (int k = 1; k <= 14; ++k)
    if (ms < (std::int32_t{1} << (k + 5))) return k;
  return 15;
}

int msmLockIndicatorExt(std::int32_t ms) {
  if (ms < 0) return 1023;
  if (ms < 64) return ms;
  for (int n = 6; n <= 25; ++n)
    if (ms < (std::int32_t{1} << (n + 1))) return ((ms - (std::int32_t{1} << n)) >> (n - 5)) + 32 * (n - 4);
  return 704;
}

int msmPlan(const NAVCOD_RTK_DATA& rtk, const RTC3_COD_SETTINGS& set, int type, int system, MsmSat out[kMsmMaxSats]) {
  if (type < 1 || type > 7 || system < 0 || system >= SYS_NUM) return 0;
  const MsmWidths& w = kWidths[type];
  const int entries = rtk.uSatCount < kBaseSats ? rtk.uSatCount : kBaseSats;
  const int limit = rtk.uCountRtcm3[system];
  int seen = 0, n = 0;
  for (int i = 0; i < entries && seen < limit; ++i) {
    const RTK_DATA_SV& sv = rtk.sat[i];
    if (sv.uSystem != system) continue;
    ++seen;
    // An id outside the mask (a GLONASS slot not known yet, a number below the system's first)
    // would shift the 64-bit mask out of range.
    const int satId = sv.uNumber - SYS_SAT_MIN[system] + 1;
    if (satId < 1 || satId > kMsmMaxSats || !isMsmSupported(sv.uNumber, system, set.ver)) continue;

    Candidate cand[kBaseSignals];
    int ncand = 0;
    std::uint32_t idsSeen = 0;
    for (int slot = 0; slot < kBaseSignals; ++slot) {
      const RTK_DATA_SLOT& d = sv.slot[slot];
      if (set.msm[slot] == 0 || d.bPresent == 0) continue;
      const int id = getMsmSignalIdx(slot, sv.uNumber, system);
      if (id < 1 || id > kMsmSignalIds || (idsSeen >> (id - 1) & 1u) != 0) continue;
      if (ignoreMsmCell(slot, sv.uNumber, system) != 0) continue;
      float shift = 0.0f;
      if (getMsmSlotIdx(id, system, false, shift) != slot) continue;
      Candidate& c = cand[ncand];
      c.id = id;
      c.prMs = d.dCode / kLightMs;
      c.phaseMs = (d.dPhase + shift + getMsmCompatPhaseOffset(slot, sv.uNumber, system, -1)) / kLightMs;
      c.rate = d.dRate;
      c.lock = static_cast<std::int32_t>(d.ulLock);
      c.cn0 = d.uCn0;
      // Every field the type carries must hold a value: a cell never carries an invalid marker.
      c.keep = std::isfinite(c.prMs) && c.prMs > 0 && (w.phase == 0 || std::isfinite(c.phaseMs)) &&
               (!w.rate || std::isfinite(c.rate));
      if (!c.keep) continue;
      idsSeen |= 1u << (id - 1);
      ++ncand;
    }

    // The rough range and rate are the means over the cells kept; a cell its fine fields cannot
    // reach from them is dropped and the means taken again without it.
    MsmSat s{};
    bool changed = true;
    while (changed) {
      changed = false;
      s.ncell = 0;
      double prSum = 0, rateSum = 0;
      int kept = 0;
      for (int k = 0; k < ncand; ++k)
        if (cand[k].keep) prSum += cand[k].prMs, rateSum += cand[k].rate, ++kept;
      if (kept == 0) break;
      std::int64_t rough = 0, roughRate = 0;
      // Rounded as a whole in 2^-10 ms: a remainder that rounds up carries into the whole ms.
      if (!roundField(prSum / kept * 1024.0, rough) || rough < 0 || (rough >> 10) > kRoughMaxMs) break;
      if (w.rate && (!roundField(rateSum / kept, roughRate) || !fits(roughRate, kRoughRateBits))) break;
      s.rough = static_cast<std::int32_t>(rough);
      s.roughRate = static_cast<std::int32_t>(roughRate);
      const double roughMs = static_cast<double>(rough) / 1024.0;
      const double meanMs = prSum / kept, meanRate = rateSum / kept;
      // The cell farthest from the means goes first (of equals the later slot, so the primary
      // signal stays), and the means are taken again.
      int worst = -1;
      double worstExcess = 1.0;
      for (int k = 0; k < ncand; ++k) {
        Candidate& c = cand[k];
        if (!c.keep) continue;
        const double excess = std::fmax(
            w.pr == 0 ? 0 : std::fabs(c.prMs - meanMs) * w.prUnit / limitOf(w.pr),
            std::fmax(w.phase == 0 ? 0 : std::fabs(c.phaseMs - meanMs) * w.phaseUnit / limitOf(w.phase),
                      !w.rate ? 0 : std::fabs(c.rate - meanRate) * 10000.0 / limitOf(kRateBits)));
        std::int64_t pr = 0, ph = 0, rt = 0;
        const bool ok = (w.pr == 0 || (roundField((c.prMs - roughMs) * w.prUnit, pr) && fits(pr, w.pr))) &&
                        (w.phase == 0 || (roundField((c.phaseMs - roughMs) * w.phaseUnit, ph) && fits(ph, w.phase))) &&
                        (!w.rate || (roundField((c.rate - static_cast<double>(roughRate)) * 10000.0, rt) && fits(rt, kRateBits)));
        if (!ok) {
          if (worst < 0 || excess >= worstExcess * (1 - 1e-6)) worst = k, worstExcess = excess;
          continue;
        }
        MsmCell& cell = s.cell[s.ncell++];
        cell.id = static_cast<std::uint8_t>(c.id);
        cell.finePr = static_cast<std::int32_t>(pr);
        cell.finePhase = static_cast<std::int32_t>(ph);
        cell.fineRate = static_cast<std::int32_t>(rt);
        cell.lock = static_cast<std::uint16_t>(w.ext ? msmLockIndicatorExt(c.lock) : msmLockIndicator(c.lock));
        cell.cnr = static_cast<std::uint16_t>(w.ext ? c.cn0 * 4 : c.cn0 >> 2);
      }
      if (worst >= 0) {
        cand[worst].keep = false;
        changed = true;
      }
    }
    // A satellite without a cell stays out of the mask and out of the count.
    if (s.ncell == 0) continue;
    // Cells in ascending signal id.
    for (int a = 1; a < s.ncell; ++a)
      for (int b = a; b > 0 && s.cell[b - 1].id > s.cell[b].id; --b) {
        const MsmCell t = s.cell[b];
        s.cell[b] = s.cell[b - 1];
        s.cell[b - 1] = t;
      }
    for (int k = 0; k < s.ncell; ++k) s.sigMask |= 0x80000000u >> (s.cell[k].id - 1);
    s.satId = static_cast<std::uint8_t>(satId);
    const int fcn = sv.cGloFreq + 7;
    s.ext = static_cast<std::uint8_t>(system == kSysGlonass ? (fcn >= 0 && fcn <= 13 ? fcn : 15) : 0);
    // Into place by satellite id; a repeated id keeps its first entry.
    int at = n;
    while (at > 0 && out[at - 1].satId > s.satId) --at;
    if (at > 0 && out[at - 1].satId == s.satId) continue;
    if (n == kMsmMaxSats) continue;  // cannot happen with unique ids 1..64
    for (int k = n; k > at; --k) out[k] = out[k - 1];
    out[at] = s;
    ++n;
  }
  return n;
}

// MSM1-7 of one system: the part of its satellites that starts at the next-part index.
bool RTC3_Coder::codeMsm(int type, int sys) {
  if (rtk_ == nullptr) return false;
  const int total = msmPlan(*rtk_, set_, type, sys, msm_);
  partTotal_ = total;
  if (partNext_ >= total) return false;

  // Satellites of this part: each widens the signal mask; stop before the satellites or the
  // cells (satellites x signals) would exceed 64.
  std::uint32_t sigMask = 0;
  int first = partNext_, count = 0;
  for (int k = first; k < total; ++k) {
    const std::uint32_t m = sigMask | msm_[k].sigMask;
    const int nsig = std::popcount(m);
    if (count + 1 > kMsmMaxSats || (count + 1) * nsig > kMsmMaxCells) break;
    sigMask = m;
    ++count;
  }
  int sigIds[kMsmSignalIds];
  int nsig = 0;
  for (int id = 1; id <= kMsmSignalIds; ++id)
    if (sigMask & (0x80000000u >> (id - 1))) sigIds[nsig++] = id;

  partSent_ += count;
  partNext_ += count;
  if (partSent_ >= partTotal_ && msmLeft_ > 0) --msmLeft_;
  const std::uint32_t multiple = msmLeft_ > 0 ? 1 : 0;

  bw_.write(stationId(), 12);
  if (sys == kSysGlonass)
    bw_.write((rtk_->uDayOfWeek & 7u) << 27 | (rtk_->ulTime[kSysGlonass] & 0x7FFFFFFu), 30);
  else
    bw_.write(rtk_->ulTime[sys] & 0x3FFFFFFFu, 30);
  // Multiple-message bit, IODS, reserved, clock steering, external clock, divergence-free
  // smoothing and smoothing interval.
  bw_.write(multiple << 18 | (rtk_->bClockCorrected ? 1u : 0u) << 6 | (rtk_->bSetup ? 1u : 0u) << 3 |
                (rtk_->uRtcm3Smoothing & 7u),
            19);
  std::uint64_t satMask = 0;
  for (int k = first; k < first + count; ++k) satMask |= std::uint64_t{1} << (64 - msm_[k].satId);
  bw_.write(satMask, 64);
  bw_.write(sigMask, 32);
  for (int k = first; k < first + count; ++k)
    for (int j = 0; j < nsig; ++j) bw_.write(msm_[k].sigMask >> (32 - sigIds[j]) & 1u, 1);

  const bool full = type >= 4, withRate = type == 5 || type == 7, ext = type >= 6;
  const int end = first + count;
  if (full)
    for (int k = first; k < end; ++k) bw_.write(static_cast<std::uint32_t>(msm_[k].rough >> 10), 8);
  if (withRate)
    for (int k = first; k < end; ++k) bw_.write(msm_[k].ext, 4);
  for (int k = first; k < end; ++k) bw_.write(static_cast<std::uint32_t>(msm_[k].rough) & 0x3FFu, 10);
  if (withRate)
    for (int k = first; k < end; ++k) bw_.writeSigned(msm_[k].roughRate, 14);

  // Signal data, field by field over the cells in satellite order.
  const auto cells = [&](auto&& put) {
    for (int k = first; k < end; ++k)
      for (int c = 0; c < msm_[k].ncell; ++c) put(msm_[k].cell[c]);
  };
  const int prBits = ext ? 20 : 15, phaseBits = ext ? 24 : 22;
  if (type != 2) cells([&](const MsmCell& c) { bw_.writeSigned(c.finePr, prBits); });
  if (type >= 2) {
    cells([&](const MsmCell& c) { bw_.writeSigned(c.finePhase, phaseBits); });
    cells([&](const MsmCell& c) { bw_.write(c.lock, ext ? 10 : 4); });
    cells([&](const MsmCell&) { bw_.write(0, 1); });  // half-cycle ambiguity
  }
  if (full) cells([&](const MsmCell& c) { bw_.write(c.cnr, ext ? 10 : 6); });
  if (withRate) cells([&](const MsmCell& c) { bw_.writeSigned(c.fineRate, 15); });
  return true;
}
