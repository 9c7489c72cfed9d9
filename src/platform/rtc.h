// The battery-backed real-time clock. It is set from GNSS time when an exact time is known and
// read at start before any satellite is tracked. The device is reached through the kernel's
// RTC interface (its seconds count under /sys/class/rtc/rtc0); on the host that is a file the
// tests or the user create under host/, and without it the clock reads as absent.
#pragma once

#include <cstdint>

class Rtc {
 public:
  // Reads the clock as UTC seconds since 1970; false when absent or unreadable.
  static bool read(std::int64_t& utcSec);
  // Takes an exact UTC time (seconds since 1970; 0 = no exact time at this epoch).
  static void updateTime(std::int64_t utcSec);
  // Periodic housekeeping (every 5 s): writes the clock when it strays from the exact time.
  static void update();
};
