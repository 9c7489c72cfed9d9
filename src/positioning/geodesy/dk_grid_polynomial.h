// Two-dimensional polynomial transformations between the zone-32 grid on ED50 and the Danish
// national systems (System 34 Jylland and Sjaelland, System 45 Bornholm, UTM zone 32 on ED50),
// each limited to its area by a rectangle and a polygon and checked by evaluating there and back.
#pragma once

namespace DkGrid {

// Results of tcts_u.
enum : int {
    kTctsOk = 0,
    kTctsOutsidePolygon = -1,  // national systems only
    kTctsMismatch = -2,        // the reverse set misses the input by more than kTctsTolerance
    kTctsOutsideRect = -3,     // national systems, and any system for a coordinate that is not finite
    kTctsBadCode = 1,
};
inline constexpr double kTctsTolerance = 0.04;  // metres

// System codes: 1, 74, 106 System 34 Jylland; 2, 83, 115 System 34 Sjaelland; 3, 66, 98 System 45
// Bornholm; 4, 85, 117 UTM zone 32 on ED50. direction > 0 from the zone-32 grid to the system,
// < 0 back; 0 is outside every system. Outputs are written only with kTctsOk. UTM outside its
// rectangle or polygon gives the input back with kTctsOk, so that the grid stays continuous.
int tcts_u(double N, double E, double* Nout, double* Eout, int code, int direction);

// Polygon table (vertex count, then northing, easting per vertex): 1 inside or on the boundary,
// -1 outside.
int inpoly(const double* poly, double N, double E);

}  // namespace DkGrid
