#include "navigation_data/placeholders.h"

// ==== Satellite data store ===================================================================
namespace placeholder {
bool update_SignalHealthData(SvIdType, int) { return false; }

bool compute_SatPosByAlmanac(int, const void*, double, double[3], float[3], double*, double*) { return false; }
}  // namespace placeholder
// ==== end of satellite data store =============================================================
