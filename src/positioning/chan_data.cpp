// Channel records, slot mapping and carrier smoothing of each signal.
#include "positioning/chan_data.h"

#include <cmath>
#include <limits>


namespace {
constexpr double kLight = 299792458.0;  // m/s
// Epochs during which a smoothing error is not yet trusted and the accuracy has a floor.
constexpr int kWarmUp = 10;

void clearFilter(LeakyFilter& f) {
  f.mean = 0.0;
  f.count = 0;
  f.total = 0;
}

void setFilterLength(LeakyFilter& f, int n) { f.setLength(n < 1 ? 1 : n); }
}  // namespace

ChanSigData Sdat[kCdatRecords];
ChanSigData SdatD[kCdatRecords];
ChanSigData SdatP1[kCdatRecords];
ChanSigData SdatEmpty;

int ChanData::iSmMaxWrnCount = 12;
double ChanData::fSmCorrLimit = 10.0;
std::uint16_t ChanData::xMaxSmCnt = 100;
std::uint16_t ChanData::xTecMaxSmCnt = 300;
int ChanData::nDoppMode = 2;
int ChanData::iUpdateRate = 1000;
int ChanData::xMaxIonAge = 5;
bool ChanData::bPutSmoothed = false;

ChanDataLinks chanDataLinks;

// Built after the signal records above (same unit, so in this order).
ChanData Cdat[kCdatChannels];

namespace {
ChanMeasTime g_meas;
ChanMeasTime g_measPrev;
}  // namespace

ChanData::ChanData() : tec_(std::numeric_limits<double>::quiet_NaN()) {
  for (int i = 0; i < kCdatSlots; ++i) {
    cur_[i] = pri_[i] = sec_[i] = &SdatEmpty;
  }
  setFilterLength(ifFilt_, curTecMaxSmCnt_);
  setFilterLength(ifAccFilt_, curTecMaxSmCnt_);
  setFilterLength(delayFilt_, smLen_[0]);
  setFilterLength(rateFilt_, smLen_[1]);
  ionAgeLimit_ = xMaxIonAge;
}

void ChanData::mapSlot(int channel, int slot, int index) {
  if (channel < 0 || channel >= kCdatChannels || slot < 0 || slot >= kCdatSlots) return;
  if (index < 0 || index >= kCdatRecords) return;
  ChanData& c = Cdat[channel];
  c.cur_[slot] = c.pri_[slot] = &Sdat[index];
}

void ChanData::initSlots() {
  processBefore();
  inUse_ = 0;
  bestSlot_ = 255;
  for (ChanSigData* s : cur_) {
    if (s == &SdatEmpty) continue;
    s->flags = 0;
    s->bNew = 0;
    s->bInUse = 0;
  }
}

void ChanData::processBefore() {
  const std::uint16_t lim = xMaxSmCnt ? xMaxSmCnt : 1;
  for (ChanSigData* s : cur_) {
    if (s == &SdatEmpty || s->smMax == lim) continue;
    // A longer limit must not mix the old short average into the new long one.
    if (lim > s->smMax) {
      clearFilter(s->smFilt);
      clearFilter(s->accFilt);
      s->smCnt = 0;
    }
    s->smMax = lim;
    setFilterLength(s->smFilt, lim);
    setFilterLength(s->accFilt, lim);
    if (s->smCnt > lim) s->smCnt = lim;
  }
  curMaxSmCnt_ = lim;

  const std::uint16_t tecLim = xTecMaxSmCnt ? xTecMaxSmCnt : 1;
  if (tecLim != curTecMaxSmCnt_) {
    if (tecLim > curTecMaxSmCnt_) {
      clearFilter(ifFilt_);
      clearFilter(ifAccFilt_);
    }
    curTecMaxSmCnt_ = tecLim;
    setFilterLength(ifFilt_, tecLim);
    setFilterLength(ifAccFilt_, tecLim);
  }
}

void ChanData::restartSmoothing(ChanSigData& s, double phTime) {
  clearFilter(s.smFilt);
  clearFilter(s.accFilt);
  setFilterLength(s.smFilt, s.smMax);
  setFilterLength(s.accFilt, s.smMax);
  int n = 0;
  s.smFilt.update(s.codeRaw - phTime, n);
  s.smCnt = 1;
  s.smCode = s.codeRaw;
  s.phTime = phTime;
  s.accuracy = 50.0f;
  s.smSteps = 0;
  s.bRestart = 0;
}

void ChanData::resetSlot(int slot) {
  if (slot < 0 || slot >= kCdatSlots) return;
  ChanSigData* s = cur_[slot];
  // Only a signal that was being followed takes the ionosphere estimate down with it: a slot
  // that is simply not tracked must not restart it every epoch.
  bool live = false;
  if (s != &SdatEmpty) {
    live = s->bRestart == 0 && s->phSrc != 0;
    s->flags = 0;
    s->accPhaseTime = 0;
    s->smSteps = 0;
    s->phSrc = 0;
    clearFilter(s->smFilt);
    clearFilter(s->accFilt);
    s->smCnt = 1;
    s->smCode = s->code;
    s->accuracy = 50.0f;
    // The carrier cannot be trusted across the gap: the next valid epoch starts afresh.
    s->bRestart = 1;
  }
  if (slot <= 2 && live) invalidateIon(false);
}

void ChanData::resetSatellite() {
  for (ChanSigData* s : cur_) {
    if (s == &SdatEmpty) continue;
    s->bRestart = 1;
    s->tgd = 0.0f;
    s->bTgdIsc = 0;
  }
  invalidateIon(true);
}

void ChanData::setNavStatus(int status) {
  if (status != navStatus_) ++navStatusChanges_;
  navStatus_ = static_cast<std::uint8_t>(status);
}

void ChanData::smoothSlot(int slot, ChanSigData& s) {
  if (!(s.flags & ChanSigData::kPhase) || !(s.freq > 1.0)) {
    // Without a carrier the code stands as measured, and smoothing starts over later.
    clearFilter(s.smFilt);
    s.smCnt = 1;
    s.smCode = s.codeRaw;
    s.accPhaseTime = 0;
    s.phSrc = 0;
    s.bRestart = 1;
    return;
  }

  const std::int16_t rank = static_cast<std::int16_t>(100 * (slot + 1));
  bool reset = s.bRestart || (s.flags & ChanSigData::kPhaseReset);
  double ph = 0.0;
  bool slip = false;
  std::int16_t src = rank;
  if (chanDataLinks.computeIonoFreePhase(*this, slot, ph, slip)) {
    src = static_cast<std::int16_t>(rank + 1);
    reset = reset || slip;
  } else {
    ph = s.phase / s.freq;
  }
  // A different phase source is a different carrier: its cycle count says nothing of the last.
  if (s.phSrc != src) reset = true;
  s.phSrc = src;
  s.accPhaseTime = (s.flags & ChanSigData::kPhaseReset) || reset ? 0 : s.accPhaseTime + iUpdateRate;

  if (reset) {
    restartSmoothing(s, ph);
    if (bPutSmoothed) s.code = s.smCode;
    return;
  }

  const double predicted = s.smFilt.mean + ph;
  const double jump = (s.codeRaw - predicted) * kLight;
  if (!(s.smCnt > kWarmUp && std::fabs(jump) > fSmCorrLimit)) {
    int n = 0;
    s.smFilt.update(s.codeRaw - ph, n);
    s.smCnt = static_cast<std::uint16_t>(n);
  }
  s.phTime = ph;
  s.smCode = s.smFilt.mean + ph;
  if (chanDataLinks.smoothWaitFull() == 1 && s.smCnt < s.smMax) s.smCode = s.codeRaw;

  if (bPutSmoothed) s.code = s.smCode;

  const double diff = (s.smCode - s.codeRaw) * kLight;
  double v = std::fabs(diff);
  if (s.smCnt <= kWarmUp) v = std::fmax(v, 5.0 - 0.25 * s.smCnt);
  int n = 0;
  s.accuracy = static_cast<float>(s.accFilt.update(v, n));

  const double steps = fSmCorrLimit > 0.0 ? std::trunc(diff / fSmCorrLimit) : 0.0;
  s.smSteps = static_cast<std::int16_t>(std::fmax(-32767.0, std::fmin(32767.0, steps)));
  if (s.smSteps != 0) {
    restartSmoothing(s, ph);
    if (bPutSmoothed) s.code = s.smCode;
  }
}

void ChanData::processAfter() {
  for (int slot = 0; slot < kCdatSlots; ++slot) {
    ChanSigData* s = cur_[slot];
    if ((s->flags & ChanSigData::kValid) != ChanSigData::kValid || s == &SdatEmpty) {
      resetSlot(slot);
      continue;
    }
    ++inUse_;
    if (bestSlot_ == 255 || s->cn0 > cur_[bestSlot_]->cn0) bestSlot_ = static_cast<std::uint8_t>(slot);
    s->bNew = 1;
    s->bInUse = 1;
    s->codeRaw = s->code;
    smoothSlot(slot, *s);
  }
  processIonoDel();
}

void ChanData::setMeasTime(const ChanMeasTime& epoch) {
  g_measPrev = g_meas;
  g_meas = epoch;
}

void ChanData::getMeasTime(ChanMeasTime& epoch) { epoch = g_meas; }

void setSmoothInt(bool perChannel, int n) {
  if (!perChannel) {
    const std::uint16_t v = static_cast<std::uint16_t>(n & 0xFFFF);
    ChanData::xMaxSmCnt = v ? v : 1;
    return;
  }
  const int v = n ? n : 1;
  for (int i = 0; i < kCdatPerInput; ++i) {
    Cdat[i].setSmoothLength(0, v);
    Cdat[i].setSmoothLength(1, v);
  }
}
