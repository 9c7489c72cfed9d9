// The GNSS board's time scales published so that every "now" reads them as they are: their epoch
// is stamped an hour after the clock reads (as if the clock had since been stepped back), and the
// time scales advance no time from an epoch that lies ahead of the clock.
#pragma once

#include "platform/rtos_time.h"
#include "positioning/time_scales.h"

namespace testscales {

inline void publishFixed(const RcvTimeScales::INT_SCALES& s, int rcvMs) {
  SysTime t;
  rtosTimeGet(t);
  t.sec += 3600;
  TimeScales::epoch(t, rcvMs);
  TimeScales::endUpdate(s, rcvMs);
}

}  // namespace testscales
