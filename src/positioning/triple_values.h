// Positions as set values: a Cartesian "{x,y,z}" (m) or a geodetic "{lat,lon,alt}" (degrees,
// m) on WGS 84, each item optionally named as the print names it ("{x=..,y=..,z=..}"), read into
// both forms at once; and plain lists of numbers.
#pragma once

#include "command/zr_list.h"

// The numbers of a list of exactly `n` items (names, where given, as in `names`; null: any
// name is refused). 0, or the command result code: 6 no value, 7 not such a list.
int readNumbers(const ZRNamedNode* v, int n, const char* const* names, double* out);

// A Cartesian position: xyz as given, blh (radians, m) derived. All zeros is "none" and gives
// zeros in both forms; otherwise the point must lie within 20 km of the ellipsoid (5 else).
int readXyz(const ZRNamedNode* v, double xyz[3], double blh[3]);
// A geodetic position (degrees, m): latitude -90..90, longitude -180..180, height -20 km..20 km
// (5 else); blh in radians and xyz derived. All zeros is "none" as above.
int readGeo(const ZRNamedNode* v, double xyz[3], double blh[3]);
