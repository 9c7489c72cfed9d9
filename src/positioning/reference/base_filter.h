// Averages the receiver's own fixes into a base position: a mean weighted by each axis's
// accuracy over a target count of fixes (180 until the measurement-interval logic sets the count
// that spans the base-averaging time), started again after a 6-s gap or a jump of more than 5 km.
#pragma once

#include <atomic>
#include <cstdint>

class BaseFilter {
 public:
  static constexpr int kTarget = 180;
  static constexpr std::uint32_t kGapSec = 6;
  static constexpr double kMaxJump2 = 25000000.0;  // (5 km)^2

  BaseFilter() { init(); }
  // Starts the average again: sums, count and done cleared. The target stays what setTarget
  // last made it, so a restart averages over the same time as the first run.
  void init();
  // The base-averaging time (s) and the count of fixes that spans it at the current interval;
  // a count below 1 is refused.
  bool setTarget(int seconds, int count);
  int target() const { return target_; }
  int targetSeconds() const { return target2_; }
  // Adds one fix (pos in m, per-axis rms in m, weightSwitch 0.0: do not add); `nowSec` is the
  // monotonic second of the fix. True once the average is complete.
  bool average(const double pos[3], double weightSwitch, const double rms[3], std::uint32_t nowSec);
  // The mean when complete; returns done.
  bool getAvrPos(double out[3]) const;
  int count() const { return count_; }

 private:
  int count_ = 0;
  // Set by the measurement-interval logic in the background task while fixes come in.
  std::atomic<int> target_{kTarget};
  std::atomic<int> target2_{kTarget};
  double sum_[3] = {};
  double weight_[3] = {};
  double mean_[3] = {};
  std::uint32_t lastSec_ = 0;
  bool done_ = false;
};

extern BaseFilter BaseFlt;
