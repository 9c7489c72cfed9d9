// The navigation step of an epoch (navMain) and the records it publishes: the epoch's times
// (NavEpoch), the navigation solution (NavSol), its per-antenna copies, and the two position
// locks every reader of them takes, posMutex before posFaMutex.
#pragma once

#include <atomic>
#include <cstdint>

#include "platform/rtos.h"
#include "positioning/data_servers/pos_data_types.h"
#include "positioning/engine/nav_sol.h"
#include "positioning/geodesy/datum_in_use.h"
#include "positioning/geodesy/ell_math.h"

extern NavTask::NAV_EPOCH NavEpoch;
extern NavTask::NAV_SOL NavSol;
// One record per antenna input, written only while separate solutions are kept.
extern NavTask::NAV_SOL navSol_Ant[2];
// The record each input's outputs read (the per-epoch driver points them).
extern NavTask::NAV_SOL* pNavSol_Ant[2];

// Guard NavSol, the per-input copies and the background task's slow position copy. Always
// posMutex first; PosLock takes both in that order and gives them back together.
extern Mutex posMutex;
extern Mutex posFaMutex;
class PosLock {
 public:
  PosLock() {
    posMutex.lock();
    posFaMutex.lock();
  }
  ~PosLock() {
    posFaMutex.unlock();
    posMutex.unlock();
  }
  PosLock(const PosLock&) = delete;
  PosLock& operator=(const PosLock&) = delete;
};

// A whole copy of a solution record (NavSol or an input's own), taken under both locks: a
// position message on a native port writes NavSol's position from that port's task, so a
// reader outside the step must not take the fields one by one.
NavTask::NAV_SOL navSolCopy(const NavTask::NAV_SOL& rec);

// What the step asks of the layers around it for one epoch.
struct NavMainInputs {
  int mainInput = 0;       // main antenna input (0 or 1; anything else counts as 0)
  bool twoInputs = false;  // both inputs are tracked
  bool separate = false;   // separate solutions per input
  long intervalMs = -1;    // the position interval
};

// One epoch's navigation step; returns the NavSol status (0 a solution, 3 none).
int navMain(const NavMainInputs& in);

// The navigation globals navInitOnce sets up.
struct NavGlobals {
  NavTask::DATUM_IN_USE wgs84{};         // "W84"
  EllMath::ELL_EXTPAR ell{};             // the navigation layer's ellipsoid (WGS 84)
  NavTask::DATUM_IN_USE userDatum{};     // default user datum: WGS 84
  EllMath::ANY_PRJ_PARAMS userProj{};    // default projection: scale 1, no offsets
  double fixedPos[3] = {0, 0, 0};        // fixed-position defaults: none
  std::uint8_t fixedPosValid = 0;
  bool ready = false;
};
extern NavGlobals navGlobals;
void navInitOnce();

// setSmoothInt lives with the channel data (positioning/chan_data.h).

namespace NavTask {
// A clock estimate: flags bits 0-7 first flag byte, 8-15 second flag byte, 16-23 valid byte.
struct NAV_CLOCK {
  std::uint32_t flags = 0;
  double offset = 0, drift = 0;    // s, s/s
  double offset2 = 0, drift2 = 0;  // the second system's difference
};
// Its output form: two flag bytes and two (offset, drift) pairs.
struct NAV_CLOCK_OUT {
  std::uint8_t flags[2] = {0, 0};
  double offset[2] = {0, 0};
  double drift[2] = {0, 0};
};
void convertNavClk2Out(const NAV_CLOCK& clock, NAV_CLOCK_OUT& out);
}  // namespace NavTask

// Both kinds 1, scale 1, offsets 0.
void initAnyPrjParams(EllMath::ANY_PRJ_PARAMS& p);

// The solution's GPS week (modulo 1024) and millisecond of week; false without a valid GPS time.
bool navSolGpsTime(int& week, int& msOfWeek);
// Calendar time of the solution: month, day, hour, minute, second; false without a date.
bool navSolCalendar(std::uint8_t out[5]);
