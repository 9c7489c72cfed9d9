// Task MEAT: reads the GNSS board's stream on port 9 and, at the end of every good epoch, runs
// the per-epoch chain in its fixed order (time record, clock steering, channel post-processing,
// navigation, output parameters, base coding, NMEA, sessions, log rotation, buttons, scheduled
// output, once-a-second log-store work, clock-stability statistics). Later steps rely on the
// order: navigation sees the channel data already post-processed, outputs see the solution of
// the same epoch.
#pragma once

#include <cstdint>

#include "gnss_link/raw_records.h"
#include "platform/hook.h"
#include "positioning/engine/nav_main.h"
#include "positioning/engine/nav_sol.h"
#include "positioning/rcv_output.h"
#include "positioning/rcv_time_scales.h"

// NavEpoch, NavSol and the per-input records are the navigation step's (positioning/engine/nav_main.h).
extern RCV_OUTPUT RcvOut;
extern RCV_OUTPUT rcvOut_Ant[2];
extern RTK_SOL rtkSolOut;  // the RTK solution as the output reads it

// Intervals in ms, mirrors of the receiver settings; -1 lets every epoch through.
extern int msInt;
extern int posMsInt;
extern int posUpdateRate;
extern int rawUpdateRate;
// Prints the receiver time of every epoch.
extern bool bDebugPosTime;

// Takes the intervals from the receiver settings (run after every load of the settings).
void measProcSettingsLoaded();

// t is on the grid of n: n is -1 (any), or a positive n divides t. A zero or other negative n
// puts no epoch on the grid.
bool measOnGrid(long t, int n);

// Starts task MEAT once; true when it runs.
bool measProcInit(int priority);
// The task: waits up to 60 s for the board, then restarts the receiver after 10 s of silence.
void* measProc(void*);
// The per-epoch chain, called by the raw decoder once per good epoch in task MEAT.
void signalMeasReady();
// The satellites of an antenna input's channels (from channel `first`, kCdatPerInput of them) in
// the navigation layer's systems and numbers, with their signal state, for the RTK marking.
void measProcMarkChans(int first, RTK_MARK_CHAN* out);
// Debug hook on the board's buffers.
void debPrintSlaveBuffers();

// What the chain takes from parts that own the answers. Empty, each answers "not available"
// (false, nothing done, solution status 3); start-up points them at the real code.
struct MeasProcLinks {
  // The receiver setting for separate solutions per antenna input.
  Hook<bool()> sepAntSolutions{"gnss_link", "measProcLinks.sepAntSolutions"};
  // Receiver settings admitting RTK solutions of type 1 outside mode 4, and of type 3.
  Hook<bool()> rtkAllowType1{"gnss_link", "measProcLinks.rtkAllowType1"};
  Hook<bool()> rtkAllowType3{"gnss_link", "measProcLinks.rtkAllowType3"};
  // Rover-base distance in m; false when unknown.
  Hook<bool(double& metres)> rtkBaseDistance{"gnss_link", "measProcLinks.rtkBaseDistance"};
  // Configured distance limit in units of 100 m; false when none.
  Hook<bool(int& hundredMetres)> rtkDistLimit{"gnss_link", "measProcLinks.rtkDistLimit"};
  // Posts a receiver event text.
  Hook<void(const char* text)> event{"gnss_link", "measProcLinks.event"};
  // Position LED in RTK modes: the setting flag and interval (ms); false when not available.
  Hook<bool(bool& flag, int& intervalMs)> posLedRtkSettings{"gnss_link", "measProcLinks.posLedRtkSettings"};
  // Navigation step: the solution status.
  Hook<int()> navMain{"gnss_link", "measProcLinks.navMain", 3};
  // The rover's epoch to the carrier-phase side (its buffers, epoch times and satellites).
  Hook<void()> roverMeas{"gnss_link", "measProcLinks.roverMeas"};
};
extern MeasProcLinks measProcLinks;
