#include "positioning/placeholders.h"


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

// ==== Satellite data store step ===============================================================
namespace placeholder {
bool apxSlowPosition(double[3], double&) { return false; }
}  // namespace placeholder
// ==== end of satellite data store step ========================================================
