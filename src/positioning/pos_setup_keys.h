// The keys of the engine setups under /par/pos/, each stored in its setup's block of the
// settings image at once (init,/par/ brings back the factory setups):
//   elmode, elm, minsnr, meas             elevation mode and mask, the lowest signal-to-noise
//                                         value, the measurements used
//   sys/<system>, systime/<system>        systems in use, the time system of their measurements
//   navdata/<system>, navdata/source      navigation-data type used per system, and its source
//   almdata, almdata/source               almanac polynomials, and the almanac's source
//   datum/<system>                        the datum of each system's orbits
//   eph/dblchk, alm/maxage/<system>       ephemeris double check, almanac age limit (days)
//   ura/mask/<system>, ura/check/<system>, dvs/check/<system>   accuracy limit and check masks
//   bei/cnav3/dec                         BeiDou B-CNAV3 decoding
//   hold/..., gps<sys>, fix/..., alt, clkdft, clkref   the position engines' fixed values
//   pdop, hrms, vrms, trms, vhrms, vvrms, vtrms         the LMS engine's solution limits
//   iono/..., tec/calib, wd/..., cd/...   the correction stages (corr_setup_keys.h)
// <system> is one of gps, glo, gal, sbas, qzss, comp, irnss.
#pragma once

#include "command/reply.h"
#include "command/zr_list.h"
#include "positioning/setup_keys.h"

// The keys of the satellite-processor setup and of the engine heads.
extern const SetupKeys::Table posSetupKeyTable;

// A set or a print of a path of the position area among these keys and those of the correction
// stages; CMD_WRONG_1ST when neither holds it.
int posSetupKeysSet(const char* path, const ZRNamedNode* v);
int posSetupKeysPrint(const char* path, Reply& re);
