// Stand-ins for operations of parts not built yet. Each answers "not available"; the real
// implementation replaces them. Keep each user's stand-ins in its own block.

#pragma once

#include <cstdint>

#include "navigation_data/sv_id.h"

struct SatPosState;

// ==== Satellite data store ===================================================================
namespace placeholder {
// Orbit products not built yet: the satellite's signal health and the coarse polynomial from
// its almanac. Each answers false: nothing built.
bool update_SignalHealthData(SvIdType id, int dataType);
bool update_SatellitePolynomDataByAlmanac(SvIdType id);

// Almanac positions and visibility. False: no position, nothing published; a satellite is
// never known to be below the horizon.
bool update_SatPositionByAlmanac(SvIdType almId, double monoMs, SatPosState& out);
bool update_EphemerisVisibilityData(SvIdType id, const double rcvPos[3]);
bool update_AlmanacVisibilityData(SvIdType almId, const double rcvPos[3]);
bool is_SatUnderground(SvIdType id);
}  // namespace placeholder
// ==== end of satellite data store =============================================================
