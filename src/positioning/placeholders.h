// Stand-ins for operations of parts not built yet. Each answers "not available"; the real
// implementation replaces them. Keep each user's stand-ins in its own block.

#pragma once

#include <cstdint>

#include "navigation_data/store/nav_records.h"

// ---------------------------------------------------------------------------------------------
// Navigation-data store: stored UTC parameters and their update counters.
// Stands for SatelliteDataProcessor's restore_NvRamUtcDataGpsAlike, restore_NvRamUtcData,
// get_UtcUpdateCounter and get_UtcLastData. Answers "no stored data".
// ---------------------------------------------------------------------------------------------


namespace placeholder {

struct SatelliteDataProcessor {
  // Stored UTC parameters of system `sys` (0..6) copied into `rec`; null when none.
  static const ZRT_UTC_GPS* restore_NvRamUtcDataGpsAlike(int sys, ZRT_UTC_GPS* rec);
  static bool restore_NvRamUtcData(ZRT_UTC_GLN* rec);
  // Number of UTC updates of `sys` since start; 0 never.
  static unsigned get_UtcUpdateCounter(int sys);
  // Last UTC record of `sys` (ZRT_UTC_GPS, or ZRT_UTC_GLN for GLONASS); null when none.
  static const void* get_UtcLastData(int sys);
};

}  // namespace placeholder

// ---------------------------------------------------------------------------------------------
// Navigation solution (NavSol of the per-epoch driver): its GPS week (modulo 1024) and
// millisecond of week. Answers "no solution" (false).
// ---------------------------------------------------------------------------------------------
namespace placeholder {
bool navSolGpsTime(int& week, int& msOfWeek);
}


// ==== Data servers: receiver settings, NeQuick task ===========================================

// NeQuick task: posts the task's semaphore when a request was stored. Stand-in: no task, so
// nothing to wake.
void post_NequickSlowTask();
// ==== end of data servers ====================================================================

// ==== Channel data ===========================================================================
struct ChanData;
struct SvIdType;
namespace placeholder {
// SatelliteMeasurementProcessor::compute_IonoFreePhase (satellite measurement processor): the
// ionosphere-free phase of a signal. Stand-in: false, not available (the slot's own phase is
// used).
bool compute_IonoFreePhase(const ChanData& ch, int slot, double& phaseTime, bool& slip);
// The correction processor's ionosphere record of a satellite (SatData::IonoCorrectionType:
// correction, obliquity factor, valid byte). Stand-in: false, no valid record (TEC stays NaN).
bool satCorrIonoRecord(const SvIdType& sv, float& correction, float& obliquity);
// Satellite-processor setup: TEC calibration switch. Stand-in: -1, not available (no
// calibration runs).
int satProcTecCalibEnabled();
// Satellite-processor setup: smoothing waits until the counter reached its limit. Stand-in: -1,
// not available (no waiting).
int satProcSmoothWaitFull();
}  // namespace placeholder
// ==== end of channel data ====================================================================
