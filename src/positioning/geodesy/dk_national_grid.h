// Geodetic positions to the Danish national grids: System 34 Jylland (zone 1) and Sjaelland
// (zone 2), System 45 Bornholm (zone 3) and UTM zone 32 on ED50 (zone 117).
#pragma once

#include "positioning/geodesy/denmark_tm.h"
#include "positioning/geodesy/dk_grid_polynomial.h"

namespace DkGrid {

// Zone 32 on the International ellipsoid, set up on first use; initUTM32 tells it is ready.
extern DenmarkTM _UTM32;
extern bool initUTM32;

// Latitude and longitude of the position in *N and *E (radians); true with the grid northing
// and easting (metres) in their place. Zones 1, 2, 3 and 117; false leaves both untouched.
bool _Forward(double* N, double* E, int zone);

// Datum step to ED50 through the zone-32 grid, for longitudes within about 6 degrees of 12 E;
// further away the position stays as it is. With toGrid set the result is the UTM zone 32
// northing and easting on ED50 (and false where that cannot be given), otherwise the ED50
// latitude and longitude. false leaves both untouched.
bool BLHToED50(double* lat, double* lon, bool toGrid);

}  // namespace DkGrid
