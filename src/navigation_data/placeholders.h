// Stand-ins for operations of parts not built yet. Each answers "not available"; the real
// implementation replaces them. Keep each user's stand-ins in its own block.

#pragma once

#include <cstdint>

#include "navigation_data/sv_id.h"

struct SatPosState;

// ==== Satellite data store ===================================================================
namespace placeholder {
// Navigation data in the settings image. Restores answer false (no block); stores and clears
// answer false (nothing kept for the next start).
bool restore_NvRamEphemerisData(SvIdType id, int dataType, void* rec);
bool store_NvRamEphemerisData(SvIdType id, int dataType, const void* rec);
bool clear_NvRamEphemerisData(SvIdType id);
bool restore_NvRamAlmanacData(SvIdType id, void* rec);
bool store_NvRamAlmanacData(SvIdType id, const void* rec);
bool restore_NvRamGloMflags(std::uint8_t tables[2][30]);

// Orbit code: the polynomial entry of one record (0 newest, 1 previous), the satellite's group
// delays and signal health, the coarse polynomial from the almanac, and the publication of the
// satellite's polynomial set. Each answers false: nothing built, nothing published.
bool update_SatellitePolynom(SvIdType id, int dataType, int recordIndex);
bool update_SatelliteTgdData(SvIdType id, int dataType);
bool update_SignalHealthData(SvIdType id, int dataType);
bool update_SatellitePolynomDataByAlmanac(SvIdType id);
bool publish_SatPolynomSet(SvIdType id);
bool clear_EphemerisDependentData(SvIdType id);

// Satellite positions and visibility. False: no position, nothing published; a satellite is
// never known to be below the horizon.
bool update_SatPositionByPolynom(SvIdType id, double monoMs, SatPosState& out);
bool update_SatPositionByAlmanac(SvIdType almId, double monoMs, SatPosState& out);
bool update_EphemerisVisibilityData(SvIdType id, const double rcvPos[3]);
bool update_AlmanacVisibilityData(SvIdType almId, const double rcvPos[3]);
bool is_SatUnderground(SvIdType id);
}  // namespace placeholder
// ==== end of satellite data store =============================================================
