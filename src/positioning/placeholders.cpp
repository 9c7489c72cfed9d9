#include "positioning/placeholders.h"

// ---- Navigation-data store: stored UTC parameters and update counters ("no stored data") ----
namespace placeholder {

const ZRT_UTC_GPS* SatelliteDataProcessor::restore_NvRamUtcDataGpsAlike(int, ZRT_UTC_GPS*) {
  return nullptr;
}
bool SatelliteDataProcessor::restore_NvRamUtcData(ZRT_UTC_GLN*) { return false; }
unsigned SatelliteDataProcessor::get_UtcUpdateCounter(int) { return 0; }
const void* SatelliteDataProcessor::get_UtcLastData(int) { return nullptr; }

}  // namespace placeholder

// ---- Navigation solution time ("no solution") ----
namespace placeholder {
bool navSolGpsTime(int&, int&) { return false; }
}  // namespace placeholder



void post_NequickSlowTask() {}
// ==== end of data servers ====================================================================

// ==== Channel data ===========================================================================
namespace placeholder {
bool compute_IonoFreePhase(const ChanData&, int, double&, bool&) { return false; }
bool satCorrIonoRecord(const SvIdType&, float&, float&) { return false; }
int satProcTecCalibEnabled() { return -1; }
int satProcSmoothWaitFull() { return -1; }
}  // namespace placeholder
// ==== end of channel data ====================================================================
