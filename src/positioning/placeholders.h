// Stand-ins for operations of parts not built yet. Each answers "not available"; the real
// implementation replaces them. Keep each user's stand-ins in its own block.

#pragma once

#include <cstdint>






// ==== Channel data ===========================================================================
struct SvIdType;
// ==== end of channel data ====================================================================

// ==== Satellite correction processor =========================================================
// The processor's stages not built yet are defined in placeholders.cpp, one each, as members of
// SatelliteCorrectionProcessor (positioning/corrections/sat_corr_processor.h): each publishes
// nothing and returns 0. The stage that gets built removes its definition there.
// ==== end of satellite correction processor ===================================================

// ==== Reference clock and base station =========================================================
namespace placeholder {
// RTCM 2 coder setting: base data from the smoothed code (1) or the raw code (0). Stand-in:
// -1, not available (raw code).
int rtcm2CodSmoothing();
}  // namespace placeholder
// ==== end of reference clock and base station ==================================================
