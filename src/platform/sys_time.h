// Wall-clock time as the platform keeps it: whole seconds and a nanosecond part that is kept
// within -500,000,000 .. 499,999,999 so that the seconds are the nearest whole second. The
// seconds are 64-bit: a 32-bit count wraps on 2038-01-19, and every date a GNSS board can give
// (GPS week 8191 is in 2137) must read back as itself.
#pragma once

#include <cstdint>

struct SysTime {
  std::int64_t sec = 0;
  std::int32_t nsec = 0;

  void assign(std::int64_t s, std::int64_t ns);
  // (this - other) in milliseconds.
  std::int64_t deltaMs(const SysTime& other) const;
};
