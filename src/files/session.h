// Scheduled logging sessions as the per-epoch driver sees them. Sessions are defined by the
// session settings; none are defined until that store exists, so nothing is ever due.
#pragma once

#include <cstdint>

class Session {
 public:
  // Start of the next scheduled session (s since 2000-01-01 UTC); true when one is fully defined.
  static bool nextTime(std::uint32_t& time);
  // Once per whole second: starts and ends the sessions that are due.
  static void run();
};
