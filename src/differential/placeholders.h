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

// ==== Code corrections from base observations ================================================
// The per-system base-offset correction of the correction setup (switch and offset vector, m,
// ECEF), not built yet. Stand-in: false, no offset for any system.
namespace placeholder {
bool baseOffsetCorrection(int sys, double off[3]);
// The satellite data store's debug switch that negates one ECEF axis (0..2) of every satellite
// position (`bDebugInverseCoordinate`), not built yet. Stand-in: false, no axis negated.
bool bDebugInverseCoordinate(int axis);
}  // namespace placeholder
// ==== end of the code corrections' stand-ins =================================================
