// The last position in the settings image: one block after the position engine's blocks,
// rewritten by the background task at most every 10 s.
#pragma once

#include "positioning/engine/nav_sol.h"

// Lays out the block (start-up, after the engine's blocks); true when it exists.
bool lastPositionNvAlloc();
bool nv_writePosition(const NavTask::NAV_POS* pos);
// The stored position; false when none is stored.
bool nv_readPosition(NavTask::NAV_POS* pos);
