// Stand-ins for operations of parts not built yet. Each answers "not available"; the real
// implementation replaces them. Keep each user's stand-ins in its own block.

#pragma once

#include <cstdint>

#include "navigation_data/sv_id.h"

// ==== Satellite data store ===================================================================
namespace placeholder {
// The satellite's signal health records. False: nothing built.
bool update_SignalHealthData(SvIdType id, int dataType);

// The almanac orbit of SBAS, whose almanac record has no orbit of its own yet: position (m),
// velocity (m/s), clock (s) and drift (s/s) `dt` seconds after the almanac's reference time. False: no position.
bool compute_SatPosByAlmanac(int sys, const void* rec, double dt, double pos[3], float vel[3],
                             double* clock, double* drift);
}  // namespace placeholder
// ==== end of satellite data store =============================================================
