// Resets of the RTK engine asked for by the settings and by the CMR client: a reset request
// (flag and code) for an engine, and the base projections of its baseline emptied under the
// engine's locks (projection lock, then the engine's ambiguity lock; released in reverse). The
// caller must not hold either lock.
#pragma once

#include <cstdint>

// Set when the correction side is to reset too; cleared by whoever serves it.
extern int rtcm_reset;

// Reset request `code` (kRtkResetCmr, kRtkResetSettings, kRtkResetBase) for engine 0 or 1;
// nothing for another.
void rtkRequestReset(int eng, std::uint8_t code);
// The request, then every base projection of the engine's baseline idle (engine 1 has none).
void rtkResetEngine(int eng, std::uint8_t code);
