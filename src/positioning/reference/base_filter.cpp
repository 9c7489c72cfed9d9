#include "positioning/reference/base_filter.h"

BaseFilter BaseFlt;

void BaseFilter::init() {
  count_ = 0;
  for (int i = 0; i < 3; ++i) sum_[i] = weight_[i] = mean_[i] = 0;
  lastSec_ = 0;
  done_ = false;
}

bool BaseFilter::average(const double pos[3], double weightSwitch, const double rms[3], std::uint32_t nowSec) {
  if (done_) return true;
  if (count_ > 0) {
    if (nowSec - lastSec_ >= kGapSec) {
      init();
      return false;
    }
    double d2 = 0;
    for (int i = 0; i < 3; ++i) d2 += (pos[i] - mean_[i]) * (pos[i] - mean_[i]);
    if (d2 > kMaxJump2) {
      init();
      return false;
    }
  }
  if (weightSwitch == 0.0) return false;
  for (int i = 0; i < 3; ++i) {
    const double w = rms[i] > 0 ? 1.0 / rms[i] : 1.0;
    sum_[i] += w * pos[i];
    weight_[i] += w;
    mean_[i] = sum_[i] / weight_[i];
  }
  ++count_;
  lastSec_ = nowSec;
  if (count_ >= target_) done_ = true;
  return done_;
}

bool BaseFilter::setTarget(int seconds, int count) {
  if (count < 1) return false;
  target2_ = seconds;
  target_ = count;
  return true;
}

bool BaseFilter::getAvrPos(double out[3]) const {
  if (done_)
    for (int i = 0; i < 3; ++i) out[i] = mean_[i];
  return done_;
}
