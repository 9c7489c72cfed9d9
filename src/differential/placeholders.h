// Stand-ins for operations of parts not built yet. Each answers "not available"; the real
// implementation replaces it. Keep each user's stand-ins in its own block.
#pragma once

#include <cstdint>

#include "positioning/reference/reference_pos.h"


// ==== RTCM 3 coder ===========================================================================
// The tilt-output switch of the receiver output parameters, not built yet. Stand-in: off.
namespace placeholder {
bool baseTiltOutput();
}  // namespace placeholder
// ==== end of the RTCM 3 coder's stand-ins ====================================================

