// Stand-ins for operations of parts not built yet. Each answers "not available"; the real
// implementation replaces them. Keep each user's stand-ins in its own block.

#pragma once

#include <cstdint>

#include "navigation_data/sv_id.h"

// ==== Satellite data store ===================================================================
namespace placeholder {
// The satellite's signal health records. False: nothing built.
bool update_SignalHealthData(SvIdType id, int dataType);
}  // namespace placeholder
// ==== end of satellite data store =============================================================
