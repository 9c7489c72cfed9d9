// The calendar form of a time, shared by the time scales and the users of calendar epochs.
#pragma once

#include <cstddef>
#include <cstdint>

// Calendar form of a time.
struct GREGORIAN_EPOCH {
  std::int32_t year;       // e.g. 2024
  std::int32_t month;      // 1..12
  std::int32_t day;        // 1..31
  std::int32_t dayOfWeek;  // Monday 1 .. Sunday 7
  std::int32_t dayOfYear;  // 1..366
  std::int32_t hour;
  std::int32_t minute;
  std::int32_t second;
  double fraction;  // of the second, 0 <= f < 1
};
static_assert(sizeof(GREGORIAN_EPOCH) == 40);
static_assert(offsetof(GREGORIAN_EPOCH, fraction) == 32);
