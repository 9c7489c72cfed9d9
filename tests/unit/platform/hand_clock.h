// The host's hand-driven machine clock (platform/rtos_time.h) as tests drive it: frozen at the
// machine's present reading, then moved on by hand, so that epochs a second apart need no waiting.
#pragma once

#include <time.h>

#include <cstdint>

#include "platform/rtos_time.h"

namespace handclock {

inline std::int64_t readNs(clockid_t id) {
  timespec ts;
  clock_gettime(id, &ts);
  return static_cast<std::int64_t>(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

// Freezes the machine clock at its present reading (on) or lets it run again (off).
inline void manual(bool on) {
  if (on && !rtosHostHandClock.on) {
    rtosHostHandClock.realNs = readNs(CLOCK_REALTIME);
    rtosHostHandClock.monoNs = readNs(CLOCK_MONOTONIC);
  }
  rtosHostHandClock.on = on;
}

inline void advance(std::int64_t ns) {
  rtosHostHandClock.realNs += ns;
  rtosHostHandClock.monoNs += ns;
}

}  // namespace handclock
