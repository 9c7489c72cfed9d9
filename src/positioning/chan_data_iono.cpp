// Dual-frequency ionospheric delay of a channel, its TEC, and the per-system TEC calibration kept
// in the settings image.
#include <cmath>
#include <cstring>
#include <limits>

#include "platform/file_nvm.h"
#include "platform/mono_clock.h"
#include "platform/nv_block.h"
#include "positioning/chan_data.h"

namespace {
constexpr double kLight = 299792458.0;  // m/s
constexpr int kWarmUp = 10;
// An ionosphere-free code this far (m) from its smoothed value means a jump: start again.
constexpr double kIonJump = 7.0;
// A delay this far (m) from the filtered one is a new track, not a change.
constexpr double kDelayJump = 15.0;
// 1 / (40.3 x 1e16): metres of delay times f^2 to TEC units.
constexpr double kTecPerMetreHz2 = 2.4813895781637715e-18;
constexpr double kCalibElevation = 45.0;  // deg
// A calibration change smaller than this (m, about 0.006 TECU on L1) is not worth a write.
constexpr double kCalibWriteStep = 0.001;

constexpr std::uint16_t kTecCalibBlockId = 8334;

void clearFilter(LeakyFilter& f) {
  f.mean = 0.0;
  f.count = 0;
  f.total = 0;
}
void setFilterLength(LeakyFilter& f, int n) { f.setLength(n < 1 ? 1 : n); }

// Running calibration: per system the sums of x and x^2 and the sample count.
struct CalibSums {
  double sum[SYS_NUM];
  double sum2[SYS_NUM];
  std::uint32_t n[SYS_NUM];
};

NvBlock g_calibNv;
CalibSums g_sums{};
std::int64_t g_calibBegin = -1;  // ms; -1: no calibration running
TecCalibBlock g_calib{};         // as last computed
TecCalibBlock g_calibStored{};   // as last written to the block
bool g_calibWritten = false;     // written in this run
std::int64_t g_calibWriteMs = 0;

bool differs(const TecCalibBlock& a, const TecCalibBlock& b) {
  for (int i = 0; i < SYS_NUM; ++i) {
    if (std::fabs(a.mean[i] - b.mean[i]) > kCalibWriteStep) return true;
    if (std::fabs(a.dev[i] - b.dev[i]) > kCalibWriteStep) return true;
  }
  return false;
}

void writeCalib() {
  if (!g_calibNv.isAllocated()) return;
  g_calibNv.update(&g_calib, sizeof g_calib);
  g_calibStored = g_calib;
}
}  // namespace

bool ChanData::slotGood(int slot) const {
  const ChanSigData* s = cur_[slot];
  return s != &SdatEmpty && (s->flags & ChanSigData::kValid) == ChanSigData::kValid &&
         (s->flags & ChanSigData::kPhase) && s->freq > 1.0;
}

void ChanData::restartIon(double ifCode, double ifPhase) {
  clearFilter(ifFilt_);
  clearFilter(ifAccFilt_);
  setFilterLength(ifFilt_, curTecMaxSmCnt_);
  setFilterLength(ifAccFilt_, curTecMaxSmCnt_);
  int n = 0;
  ifFilt_.update(ifCode - ifPhase, n);
  ifSmCode_ = ifCode;
  ifAccuracy_ = 7.0f;
}

void ChanData::invalidateIon(bool full) {
  const bool had = ifFilt_.count > 0 || delayValid_;
  clearFilter(ifFilt_);
  clearFilter(ifAccFilt_);
  ifSmCode_ = 0.0;
  if (had) {
    ++ionInvalid_;
    ionChanged_ = 1;
  }
  const std::uint32_t age = MonoClock::sec() - delayTime_;
  if (!full && delayValid_ && age < static_cast<std::uint32_t>(ionAgeLimit_)) return;
  clearFilter(delayFilt_);
  clearFilter(rateFilt_);
  delay_ = 0.0;
  delayRate_ = 0.0;
  delayValid_ = false;
  rateValid_ = false;
}

void ChanData::processIonoDel() {
  // Runs through epochs without an estimate, so that a rate after a gap spans the whole gap.
  if (ionSteps_ < 0xFFFF) ++ionSteps_;
  if (!slotGood(0) || !slotGood(2)) {
    invalidateIon(false);
    return;
  }
  const ChanSigData& a = *cur_[0];
  const ChanSigData& b = *cur_[2];
  const double f1 = a.freq;
  const double f2 = b.freq;
  if (f1 == f2) {
    invalidateIon(false);
    return;
  }
  const double k = f2 * f2 / (f2 * f2 - f1 * f1);
  const double p1 = a.phase / f1;
  const double p2 = b.phase / f2;
  const double ifPhase = p1 + (p2 - p1) * k;
  const double ifCode = a.codeRaw + (b.codeRaw - a.codeRaw) * k;

  if ((a.flags | b.flags) & ChanSigData::kPhaseReset) {
    invalidateIon(false);
    restartIon(ifCode, ifPhase);
    return;
  }
  if (ifFilt_.count == 0) {
    restartIon(ifCode, ifPhase);
    return;
  }

  setFilterLength(ifFilt_, curTecMaxSmCnt_);
  int n = 0;
  ifFilt_.update(ifCode - ifPhase, n);
  ifSmCode_ = ifPhase + ifFilt_.mean;

  const double diff = (ifSmCode_ - ifCode) * kLight;
  double v = std::fabs(diff);
  if (n <= kWarmUp) v = std::fmax(v, 5.0 - 0.25 * n);
  int m = 0;
  ifAccuracy_ = static_cast<float>(ifAccFilt_.update(v, m));

  if (std::fabs(diff) > kIonJump) {
    invalidateIon(false);
    restartIon(ifCode, ifPhase);
    return;
  }

  setFilterLength(delayFilt_, smLen_[0]);
  setFilterLength(rateFilt_, smLen_[1]);
  const double d = (a.smCode - ifSmCode_) * kLight;
  if (delayValid_ && std::fabs(d - delay_) > kDelayJump) {
    clearFilter(delayFilt_);
    clearFilter(rateFilt_);
    delayValid_ = false;
    rateValid_ = false;
    delayRate_ = 0.0;
  }
  if (!delayValid_) {
    delay_ = delayFilt_.update(d, m);
    delayValid_ = true;
  } else {
    const double prev = delay_;
    delay_ = delayFilt_.update(d, m);
    // The time elapsed since the delay it is compared with, not one epoch: after a gap the
    // change spans every epoch of it.
    const double dt = ionSteps_ * (iUpdateRate > 0 ? iUpdateRate : 1000) * 0.001;
    delayRate_ = rateFilt_.update((delay_ - prev) / dt, m);
    rateValid_ = true;
  }
  delayTime_ = MonoClock::sec();
  ionSteps_ = 0;
}

void ChanData::evaluateTEC(const SvIdType& sv, double elevDeg, std::int64_t timeMs) {
  tec_ = std::numeric_limits<double>::quiet_NaN();
  if (!delayValid_ || sv.sys >= SYS_NUM) return;
  float corr = 0.0f;
  float obliquity = 0.0f;
  if (!chanDataLinks.ionoRecord(sv, corr, obliquity)) return;
  if (chanDataLinks.tecCalibEnabled() == 1) {
    if (elevDeg >= kCalibElevation) updateTecCalibData(sv.sys, timeMs, delay_ + corr);
  } else {
    g_calibBegin = -1;
  }
  const double f1 = cur_[0]->freq;
  if (!(f1 > 1.0) || !(obliquity > 0.0f)) return;
  tec_ = (delay_ - g_calib.mean[sv.sys]) * f1 * f1 * kTecPerMetreHz2 / obliquity;
}

// ---- TEC calibration ----

bool ChanData::allocate_NvRamTecCalibData() {
  static_assert(sizeof(TecCalibBlock) == 120);
  return g_calibNv.allocate(sizeof(TecCalibBlock), kTecCalibBlockId, true);
}

void ChanData::restore_NvRamTecCalibData() {
  TecCalibBlock b{};
  if (g_calibNv.isValid() && g_calibNv.read(&b, sizeof b)) {
    bool sane = true;
    for (int i = 0; i < SYS_NUM; ++i) sane = sane && std::isfinite(b.mean[i]) && std::isfinite(b.dev[i]);
    if (sane) {
      g_calib = b;
      g_calibStored = b;
      return;
    }
  }
  clearTecCalibData();
}

void ChanData::clearTecCalibData() {
  g_calib = TecCalibBlock{};
  g_sums = CalibSums{};
  g_calibBegin = -1;
  writeCalib();
}

void ChanData::updateTecCalibData(int system, std::int64_t timeMs, double x) {
  if (system < 0 || system >= SYS_NUM || !std::isfinite(x)) return;
  if (g_calibBegin < 0) {
    g_sums = CalibSums{};
    g_calibBegin = timeMs < 0 ? 0 : timeMs;
  }
  g_sums.sum[system] += x;
  g_sums.sum2[system] += x * x;
  ++g_sums.n[system];
}

void ChanData::processTecCalibData(std::int64_t nowMs) {
  if (g_calibBegin < 0) return;
  TecCalibBlock b{};
  const std::int64_t sec = (nowMs - g_calibBegin) / 1000;
  b.seconds = static_cast<std::int32_t>(sec < 0 ? 0 : (sec > INT32_MAX ? INT32_MAX : sec));
  for (int i = 0; i < SYS_NUM; ++i) {
    const std::uint32_t n = g_sums.n[i];
    if (n == 0) continue;
    const double mean = g_sums.sum[i] / n;
    // Rounding can take the difference of the two large terms below zero for a steady signal.
    const double var = g_sums.sum2[i] / n - mean * mean;
    b.mean[i] = mean;
    b.dev[i] = var > 0.0 ? std::sqrt(var) : 0.0;
  }
  g_calib = b;

  // The block is written only when the calibration really moved, and no more often than the
  // settings image goes to storage, so that the image does not stay changed for ever.
  if (!differs(g_calib, g_calibStored)) return;
  const std::int64_t since = nowMs - g_calibWriteMs;
  if (g_calibWritten && since >= 0 && since < static_cast<std::int64_t>(kNvmSavePeriodMs)) return;
  writeCalib();
  g_calibWritten = true;
  g_calibWriteMs = nowMs;
}

