// The position settings under /par/pos/ (the output filter's filt/ and the RTK settings' pd/ are
// areas of their own, printed inside this one):
//   mode                         position mode: sp, wd, gb, cd, pf, pd, pp
//   sol/sep                      separate solutions per antenna input
//   sol/rtk1, sol/rtk3           RTK solutions of type 1 (outside pf) and of type 3 output
//   sol/dist                     rover-base distance limit of the RTK output, km (0: none)
//   sol/midpt                    the mid-point of a heading baseline is output
//   sol/code                     the code solution is output in the RTK modes
//   avg/start                    base-position averaging started (on while it runs)
//   avg/time                     averaging time, s
//   ref/mode                     reference-position mode: known, shift, base
//   ref/known/{xyz,geo}          the known reference position, entered in either form
//   ref/meas/{xyz,geo}           the measured one (the last average)
//   src/mode, src/{xyz,geo}      position source: the engine's own, or the fixed position given
//   base/needpos                 base output only in epochs with a valid position
//   att/hdg, att/pitch           offsets of the baseline heading and pitch, degrees
//   cnav/dec                     GPS and QZSS CNAV and CNAV-2 decoding on or off
//   datum, grid/..., geoid/...   output datum, grid and geoid (output_grid_keys.h)
//   elm, sys/..., iono/..., ...  the engine setups' keys (pos_setup_keys.h)
// Every value is kept in the receiver settings (the datum in the navigation settings), those of
// the engine setups in their own blocks.
#pragma once

// Registers the area "pos"; false when the prefix is taken or the table full.
bool registerPosArea();

// After every load of the settings and after init,/par/: stored values no key could give are
// brought back to their defaults, the grid and the base's reference position are made live,
// averaging stops.
void posSettingsLoaded();

// The engine's CNAV decoding switch set from the stored choice: the engine's start sets it on,
// so the start-up applies the stored choice again after it.
void posApplyCnavDecoding();
