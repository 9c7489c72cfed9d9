#include "navigation_data/placeholders.h"

// ==== Satellite data store ===================================================================
namespace placeholder {
bool update_SignalHealthData(SvIdType, int) { return false; }
bool update_SatellitePolynomDataByAlmanac(SvIdType) { return false; }

bool update_SatPositionByAlmanac(SvIdType, double, SatPosState&) { return false; }
bool update_EphemerisVisibilityData(SvIdType, const double[3]) { return false; }
bool update_AlmanacVisibilityData(SvIdType, const double[3]) { return false; }
bool is_SatUnderground(SvIdType) { return false; }
}  // namespace placeholder
// ==== end of satellite data store =============================================================
