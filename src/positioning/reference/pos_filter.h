// Smooths the output position: a running mean over up to `num` fixes (or, with the adaptive
// weight, a blend weighted by how this fix's rms compares with the recent ones), started again
// after a gap in fixes. With the static pass-through on, raw fixes go out while the filtered
// speed says the receiver stands still.
#pragma once

#include "settings/rcv_settings.h"

#include <cstdint>

#include "platform/rtos.h"
#include "positioning/leaky_filter.h"

class PosFilter {
 public:
  static constexpr int kErrLen = 50;
  static constexpr int kSpdNum = 5;
  static constexpr std::int16_t kNum = 30;
  static constexpr std::int16_t kMaxDel = 10;  // s
  static constexpr float kSpdMax = 2.0f;       // m/s
  static constexpr double kResetRms = 1000000.0;
  static constexpr double kMinWeight = 0.001;
  // Ranges of the settings: a cap or length of 0 would divide the running means by 0, a gap or
  // threshold of 0 would only restart the filter each fix or never pass a raw fix.
  static constexpr int kNumMax = 32767;
  static constexpr int kMaxDelMax = 3600;   // s
  static constexpr double kSpdMaxMin = 0.01;  // m/s
  static constexpr double kSpdMaxMax = 1000.0;

  // The settings the /par/pos/filt/ keys read and write.
  struct Settings {
    std::int16_t num;     // count cap, 1 and more
    std::int16_t maxdel;  // reset gap, s
    int spdnum;           // velocity filter length, 1 and more
    float spdmax;         // speed threshold, m/s
    bool weight;          // adaptive weight
    bool spdmode;         // static pass-through
  };

  PosFilter() { init(); }
  // Factory settings, an empty filter.
  void init();
  // Clears the filtered position and count; the error filter starts again from 1,000,000.
  void reset();
  void putVelocity(double speed);
  // One fix (rms and position in m) at monotonic second `nowSec`: the output position, rms and
  // the error filter's count. True when the output is the filtered position, false when it is
  // the raw fix.
  bool putPosition(double rms, const double pos[3], double& rmsOut, double posOut[3], int& countOut,
                   std::uint32_t nowSec);

  Settings settings() const;
  // Each false (nothing changed) for a value out of its range.
  // Takes the stored settings; a value out of its range keeps the current one.
  void apply(const RcvPosFilt& f);
  bool setNum(int n);
  bool setMaxDel(int s);
  bool setSpdNum(int n);
  bool setSpdMax(float v);
  void setWeight(bool on);
  void setSpdMode(bool on);

 private:
  void resetLocked();
  // The filtered position takes the fix with weight w (0: the running mean over the count).
  void update(const double pos[3], double w);

  mutable Mutex mu_;
  LeakyFilter err_;
  LeakyFilter vel_;
  std::uint8_t adaptive_ = 0;
  std::int16_t count_ = 0;
  std::int16_t num_ = kNum;
  std::int16_t maxDel_ = kMaxDel;
  std::uint32_t lastSec_ = 0;
  double pos_[3] = {};
  float spdMax_ = kSpdMax;
  std::uint8_t spdMode_ = 0;
  std::uint8_t active_ = 1;
};

extern PosFilter PosFilt;
