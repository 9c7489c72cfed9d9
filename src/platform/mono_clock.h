// Monotonic clocks of the process.
#pragma once

#include <cstdint>

class MonoClock {
 public:
  // Milliseconds since the process started.
  static std::uint32_t ms();
  // Whole monotonic seconds plus 1000000, so that "never" (0) is far from every real stamp.
  // Only differences carry meaning.
  static std::uint32_t sec();
  // Called at each GNSS epoch; keeps sec() from ever going backwards between epochs.
  static void refresh();
};

// Monotonic microseconds as a wrapping 32-bit count: compare by unsigned difference only.
std::uint32_t timerGet();
