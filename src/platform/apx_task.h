// The background task APPX: wakes on apxSem or every 100 ms, stamps the software watchdog, keeps
// the settings image saved and checks the real-time clock and the time daemon every 5 s. The
// positioning layer adds its slow duties through the hook lists.
#pragma once

#include <atomic>
#include <cstdint>

#include "platform/hook.h"
#include "platform/rtos.h"

extern CountSem apxSem;
// Software-watchdog stamp (timerGet) of the last cycle.
extern std::atomic<std::uint32_t> swdLastTime_;
// Set once the first cycle has completed.
extern std::atomic<bool> apxProcActive;

// Where a hook runs in the cycle; `nowUs` is the cycle's timerGet().
enum ApxStage : int {
  kApxCycle,     // after the watchdog stamp, before the 5-s housekeeping (navigation duties)
  kApxFiveSec,   // with the 5-s housekeeping, after the clock checks
  kApxAfterSave, // after the settings image save
  kApxStageCount
};
extern HookList<void(std::uint32_t nowUs)> apxHooks[kApxStageCount];
using ApxHook = void (*)(std::uint32_t nowUs);
// Appends a hook to a stage (up to 16 per stage); false when full.
bool apxHookAdd(ApxStage stage, ApxHook hook);

// Creates and starts the task once; true on success.
bool apxProcInit(int priority);

// One cycle's duties after the wait (what the task runs; callable from tests).
void apxCycle();
// The same at a given reading of the microsecond count (a test clock).
void apxCycle(std::uint32_t nowUs);
