// The background task's navigation duties, run every APPX cycle after the watchdog stamp: every
// 100 ms a slow copy of the last valid position (for readers that must not touch the per-epoch
// records) and, at most every 10 s of receiver time, the stored position; every cycle the raw
// navigation messages of the rings to their decoders; every second the satellite-data and
// correction steps. Periods are unsigned differences of the wrapping microsecond count.
#pragma once

#include <cstdint>

#include "platform/hook.h"
#include "positioning/engine/nav_sol.h"
#include "positioning/rcv_time_scales.h"

class ApxNav {
 public:
  static constexpr std::uint32_t satPer = 100000;      // us
  static constexpr std::uint32_t kMagPerUs = 1000000;  // us
  static constexpr std::int64_t kSaveEverySec = 10;

  // One cycle at `nowUs` (timerGet).
  void cycle(std::uint32_t nowUs);

  // The slow copy, under posMutex.
  std::uint8_t validSlow = 0;
  NavTask::NAV_POS PosSlow{};
  RcvTimeScales::INT_SCALES timeSlow{};
  std::uint32_t frqTime = 0;  // MonoClock::sec of the copy
  std::uint32_t posTime = 0;

  // Period marks, set at the first cycle.
  std::uint32_t satRunTime = 0;
  std::uint32_t magRunTime = 0;
  bool started = false;
  // Receiver-time seconds of the last stored position (-10: none yet).
  std::int64_t lastStoredSec = -kSaveEverySec;
  std::uint32_t storedCount = 0;

  // The 100-ms duty's parts: the copy from NavSol, and the stored position.
  void slowCopy();
  void storePosition();
};
extern ApxNav apxNav;

// The GLONASS bias calibration was stored anew: the background task notes it in the receiver
// settings at its next second. Set by the calibration's owner, taken (and cleared) here.
void gloCalibSetChanged();
bool gloCalibChanged();

// The hook of the background task's cycle stage.
void apxNavDuty(std::uint32_t nowUs);

// Start-up: clears the per-satellite navigation-data update counters; the position stored in the
// settings seeds the slow copy (the satellite data store sees it for its visibility) and the
// engine's initial position.
void navDataInitOnce();
// Start-up, after navDataInitOnce: the magnetic declination at the stored position, when one is
// stored and the clock gives a date.
void magvarStartOnce();

// The slow copy's position (m) and its monotonic second; false while no valid position was seen.
bool apxSlowPosition(double xyz[3], double& posTimeSec);

// What the duties ask of the layers above: the lock manager's satellite search.
struct ApxNavLinks {
  Hook<bool()> satSearch{"positioning", "apxNavLinks.satSearch"};
};
extern ApxNavLinks apxNavLinks;
