// Stand-ins for operations of parts not built yet. Each answers "not available"; the real
// implementation replaces it. Keep each user's stand-ins in its own block.
#pragma once

#include <cstdint>

// ==== Correction-decoder task ================================================================
// Base-epoch buffers (`cpdBufs`, not built yet): the decoder port whose chunk is being decoded,
// which decides whether its base data may feed the base buffer. Stand-ins: nothing is kept.
#include "platform/ports/in_port.h"
void cpdBufsSetBasePort(InPorts::DecPortIndex port);
void cpdBufsClearBasePort();
// ==== end of the correction-decoder task's stand-ins =========================================

// ==== RTCM 3 client ==========================================================================
// Base-epoch buffers (`cpdBufs`): whether the chunk in progress comes from the base port.
// Stand-in: false, no base port is known.
bool cpdBufsMatchBasePort(int baseIdx);
// ==== end of the RTCM 3 client's stand-ins ===================================================
