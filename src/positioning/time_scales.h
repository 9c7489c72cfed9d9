// Publication of the GNSS board's time scales once per epoch, and the current time of a scale
// for any task: the published milliseconds plus the real-time clock's progress since the epoch.
#pragma once

#include "platform/sys_time.h"
#include "positioning/rcv_time_scales.h"

class TimeScales {
 public:
  using INT_SCALES = RcvTimeScales::INT_SCALES;

  // Longest extrapolation from the published epoch; beyond it the time stands at the epoch's.
  static constexpr long kMaxElapsedMs = 2000;

  // A GNSS epoch begins: `t` is its real-time-clock time, `rcvMs` its receiver ms of day.
  static void epoch(const SysTime& t, int rcvMs);
  // The record the decoder fills for this epoch, starting as a copy of Req.
  static INT_SCALES& startUpdate();
  // Makes `s` the scales of the epoch (Req) and publishes it when `rcvMs` matches the pending
  // epoch; the pending epoch is used up either way.
  static void endUpdate(const INT_SCALES& s, int rcvMs);

  // Current ms of week (GPS) or day (GLONASS, Moscow time), not wrapped; -1 while the scale is
  // not valid. Epochs that stop coming leave the last one's time, not advanced.
  static long now(tSvTimeType k);
  // The published scales advanced to now (not advanced when the epoch is older than
  // kMaxElapsedMs). False before the first epoch is published: the copy is then all zero.
  static bool now(INT_SCALES& s);
};
