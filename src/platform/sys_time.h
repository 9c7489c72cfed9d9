// Wall-clock time as the platform keeps it: whole seconds and a nanosecond part that is kept
// within -500,000,000 .. 499,999,999 so that the seconds are the nearest whole second.
#pragma once

#include <cstdint>

struct SysTime {
  std::int32_t sec = 0;
  std::int32_t nsec = 0;

  void assign(std::int64_t s, std::int64_t ns);
  // (this - other) in milliseconds.
  std::int64_t deltaMs(const SysTime& other) const;
};
