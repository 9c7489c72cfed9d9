// Stand-ins for operations of parts not built yet. Each answers "not available"; the real
// implementation replaces them. Keep each user's stand-ins in its own block.
#pragma once


// ---- Set handlers of the areas the GNSS board shares (lock/, spectr/, calib/, dev/pps/,
// dev/event/), used by the board link until the lock manager, spectrum, GLONASS bias and
// PPS/event work register their own. Stands for lockcSet, spcSet, calibcSet, ppscSet, evcSet:
// a set is accepted without a local copy, so that it reaches the board (which owns the
// setting) through the forwarding step; a print answers "wrong 1st parameter" (no local
// value). Registered late in the start-up, so that an area whose real handler registered
// during the start-up keeps it; remove each stand-in when its area is built.
void m2sBoardAreaStandInsInitOnce();
// ---- end of the board link's stand-ins ---------------------------------------------------------
