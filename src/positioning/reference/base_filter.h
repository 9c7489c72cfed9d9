// Averages the receiver's own fixes into a base position: a mean weighted by each axis's
// accuracy over 180 fixes, started again after a 6-s gap or a jump of more than 5 km.
#pragma once

#include <cstdint>

class BaseFilter {
 public:
  static constexpr int kTarget = 180;
  static constexpr std::uint32_t kGapSec = 6;
  static constexpr double kMaxJump2 = 25000000.0;  // (5 km)^2

  BaseFilter() { init(); }
  void init();
  // Adds one fix (pos in m, per-axis rms in m, weightSwitch 0.0: do not add); `nowSec` is the
  // monotonic second of the fix. True once the average is complete.
  bool average(const double pos[3], double weightSwitch, const double rms[3], std::uint32_t nowSec);
  // The mean when complete; returns done.
  bool getAvrPos(double out[3]) const;
  int count() const { return count_; }

 private:
  int count_ = 0;
  int target_ = kTarget;
  int target2_ = kTarget;
  double sum_[3] = {};
  double weight_[3] = {};
  double mean_[3] = {};
  std::uint32_t lastSec_ = 0;
  bool done_ = false;
};

extern BaseFilter BaseFlt;
