// Synchronisation of the RTK engine shell: the ambiguity lock of each engine, the one lock of the
// base-projection container and the slow-step semaphores.
//
// Lock order where two are held: the projection lock first, then the engine's ambiguity lock;
// released in reverse. The base-projection step takes the projection lock only.
#pragma once

#include "platform/rtos.h"

struct RtkSync {
  static constexpr int kEngines = 2;
  Mutex ambReady[kEngines];
  Mutex projReady;
  Mutex sFast;  // kept; nothing takes it
  BinSem sSlow[2];
};

extern RtkSync rtkSync;

// Ambiguity lock of engine 0 or 1; false (nothing taken or released) for another number.
bool waitForAmb(int eng);
bool ambRelease(int eng);
// The one projection lock, whatever engine or baseline number is given.
void waitForProj(int n);
void projRelease(int n);
// Posts slow-step semaphore 0 or 1; nothing for another number.
void SlowRelease(int i);

// Debug selectors the shell reads (plain globals, 0 at every start). rtk_cpd_dbi lives with the
// settings' debug selectors.
extern int fast_rtk_dbi;
extern int mult_dbi;
// RTK reset option 0..2 (history setting "rtkreset"); above 0 a baseline reset also clears the
// baseline's registration.
extern int rest_opt;
