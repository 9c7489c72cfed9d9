#include "positioning/sys_clock.h"

#include "positioning/rcv_time_scales.h"
#include "positioning/time_scales.h"

namespace {
// GPS time runs 19 s behind TAI.
constexpr int kTaiMinusGps = 19;
// Bit of the GPS scale's validity word: the receiver time is exact.
constexpr int kExactBit = 0x80;
}  // namespace

unsigned char isExact_ = 0;
float rms_ = 1000.0f;
float extrapTime_ = 0.0f;

void sysClockInitOnce() {
  isExact_ = 0;
  rms_ = 1000.0f;
  extrapTime_ = 0.0f;
}

void sysClockStoreOffs(int, long, double, double, float rms, float extrapTime, bool valid) {
  if (!valid) return;
  if (!isExact_) {
    RcvTimeScales::INT_SCALES s;
    TimeScales::now(s);
    if (s.flags[0] & kExactBit) isExact_ = 1;
  }
  rms_ = rms;
  extrapTime_ = extrapTime;
}

bool sysClockIsExact() { return isExact_ != 0; }
float sysClockGetRms() { return rms_; }
float sysClockGetExtrapTime() { return extrapTime_; }

bool sysClockGetUtcOffs(int& offset, int& leapWarning) {
  RcvTimeScales::INT_SCALES s;
  RcvTimeScales::getReq(s);
  leapWarning = RcvTimeScales::leapWarning.load();
  if (s.flags[0] & (RcvTimeScales::kUtcKnown | RcvTimeScales::kUtcKnown2)) {
    offset = s.sysUtc[0] + kTaiMinusGps;
    return true;
  }
  offset = kTaiMinusGps;
  return false;
}
