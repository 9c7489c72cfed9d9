#include "positioning/reference/pos_filter.h"

#include <cmath>

PosFilter PosFilt;

void PosFilter::init() {
  Locker<Mutex> l(mu_);
  maxDel_ = kMaxDel;
  num_ = kNum;
  err_ = LeakyFilter();
  err_.setLength(kErrLen);
  vel_ = LeakyFilter();
  vel_.setLength(kSpdNum);
  spdMax_ = kSpdMax;
  adaptive_ = 0;
  spdMode_ = 0;
  count_ = 0;
  lastSec_ = 0;
  active_ = 1;
  for (double& p : pos_) p = 0;
}

void PosFilter::apply(const RcvPosFilt& f) {
  setNum(f.num);
  setMaxDel(f.maxdel);
  setSpdNum(f.spdnum);
  setSpdMax(f.spdmax);
  setWeight(f.weight != 0);
  setSpdMode(f.spdmode != 0);
}

void PosFilter::resetLocked() {
  for (double& p : pos_) p = 0;
  count_ = 0;
  err_.count = 0;
  int n = 0;
  err_.update(kResetRms, n);
}

void PosFilter::reset() {
  Locker<Mutex> l(mu_);
  resetLocked();
}

void PosFilter::putVelocity(double speed) {
  Locker<Mutex> l(mu_);
  if (!std::isfinite(speed)) return;
  int n = 0;
  const double m = vel_.update(speed, n);
  active_ = 1;
  if (spdMode_ && n >= vel_.length && m < spdMax_) active_ = 0;
}

void PosFilter::update(const double pos[3], double w) {
  if (count_ < num_) ++count_;
  for (int i = 0; i < 3; ++i) {
    if (w != 0)
      pos_[i] = w * pos[i] + (1 - w) * pos_[i];
    else
      pos_[i] = (pos[i] + (count_ - 1) * pos_[i]) / count_;
  }
}

bool PosFilter::putPosition(double rms, const double pos[3], double& rmsOut, double posOut[3], int& countOut,
                            std::uint32_t nowSec) {
  Locker<Mutex> l(mu_);
  if (nowSec - lastSec_ > static_cast<std::uint32_t>(maxDel_)) {
    resetLocked();
    vel_.count = 0;
    vel_.mean = 0;
  }
  lastSec_ = nowSec;
  // An rms of 0 or one that is no number says nothing of this fix: it takes full weight and
  // stays out of the error filter, whose mean would otherwise divide by 0 or turn to NaN.
  const bool rmsUsable = std::isfinite(rms) && rms > 0;
  double w = 0;
  if (adaptive_) {
    if (!rmsUsable) {
      w = 1;
    } else {
      w = err_.mean / (10 * rms);
      if (w > 1) {
        err_.count = 0;
        int n = 0;
        err_.update(rms, n);
        w = 1;
      } else if (w < kMinWeight) {
        w = kMinWeight;
      }
    }
  }
  update(pos, w);
  int n = err_.count;
  if (rmsUsable) err_.update(rms, n);
  if (active_) {
    rmsOut = err_.mean;
    for (int i = 0; i < 3; ++i) posOut[i] = pos_[i];
  } else {
    rmsOut = rms;
    for (int i = 0; i < 3; ++i) posOut[i] = pos[i];
  }
  countOut = n;
  return active_ != 0;
}

PosFilter::Settings PosFilter::settings() const {
  Locker<Mutex> l(mu_);
  return Settings{num_, maxDel_, vel_.length, spdMax_, adaptive_ != 0, spdMode_ != 0};
}

bool PosFilter::setNum(int n) {
  if (n < 1 || n > kNumMax) return false;
  Locker<Mutex> l(mu_);
  num_ = static_cast<std::int16_t>(n);
  if (count_ > num_) count_ = num_;
  return true;
}

bool PosFilter::setMaxDel(int s) {
  if (s < 1 || s > kMaxDelMax) return false;
  Locker<Mutex> l(mu_);
  maxDel_ = static_cast<std::int16_t>(s);
  return true;
}

bool PosFilter::setSpdNum(int n) {
  if (n < 1 || n > kNumMax) return false;
  Locker<Mutex> l(mu_);
  vel_.setLength(n);
  if (vel_.count > n) vel_.count = n;
  return true;
}

bool PosFilter::setSpdMax(float v) {
  if (!(v >= static_cast<float>(kSpdMaxMin) && v <= static_cast<float>(kSpdMaxMax))) return false;
  Locker<Mutex> l(mu_);
  spdMax_ = v;
  return true;
}

void PosFilter::setWeight(bool on) {
  Locker<Mutex> l(mu_);
  adaptive_ = on ? 1 : 0;
}

void PosFilter::setSpdMode(bool on) {
  Locker<Mutex> l(mu_);
  spdMode_ = on ? 1 : 0;
}
