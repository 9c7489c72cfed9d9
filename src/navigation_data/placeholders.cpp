#include "navigation_data/placeholders.h"

// ==== Satellite data store ===================================================================
namespace placeholder {
bool restore_NvRamEphemerisData(SvIdType, int, void*) { return false; }
bool store_NvRamEphemerisData(SvIdType, int, const void*) { return false; }
bool clear_NvRamEphemerisData(SvIdType) { return false; }
bool restore_NvRamAlmanacData(SvIdType, void*) { return false; }
bool store_NvRamAlmanacData(SvIdType, const void*) { return false; }
bool restore_NvRamGloMflags(std::uint8_t[2][30]) { return false; }

bool update_SatellitePolynom(SvIdType, int, int) { return false; }
bool update_SatelliteTgdData(SvIdType, int) { return false; }
bool update_SignalHealthData(SvIdType, int) { return false; }
bool update_SatellitePolynomDataByAlmanac(SvIdType) { return false; }
bool publish_SatPolynomSet(SvIdType) { return false; }
bool clear_EphemerisDependentData(SvIdType) { return false; }

bool update_SatPositionByPolynom(SvIdType, double, SatPosState&) { return false; }
bool update_SatPositionByAlmanac(SvIdType, double, SatPosState&) { return false; }
bool update_EphemerisVisibilityData(SvIdType, const double[3]) { return false; }
bool update_AlmanacVisibilityData(SvIdType, const double[3]) { return false; }
bool is_SatUnderground(SvIdType) { return false; }
}  // namespace placeholder
// ==== end of satellite data store =============================================================
