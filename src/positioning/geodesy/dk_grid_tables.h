// Polynomial sets and area polygons of the Danish national grids, generated at build time from
// the public tables (tools/gen/dkgrid.py); the sizes here are checked by the generator and by the
// compiler against the generated definitions.
//
// A set: value 0 is the degree g; then (g+1)(g+2)/2 northing coefficients, the northing reference,
// as many easting coefficients and the easting reference. A polygon: the vertex count, then the
// vertices as (northing, easting).
#pragma once

namespace DkGrid {

// System 34 Jylland to the auxiliary zone-32 grid and back.
extern const double C_jtt[213];
extern const double C_ttj[213];
// System 34 Sjaelland.
extern const double C_stt[113];
extern const double C_tts[113];
// System 45 Bornholm.
extern const double C_btt[59];
extern const double C_ttb[59];
// UTM zone 32 on ED50, land part and Bornholm part.
extern const double C_utt_l[275];
extern const double C_ttu_l[275];
extern const double C_utt_b[33];
extern const double C_ttu_b[33];

// Areas in each system's own coordinates (s34j, s34s, s45b) and in the zone-32 grid (tc...).
extern const double P_s34j[17];
extern const double P_tcj[17];
extern const double P_s34s[17];
extern const double P_tcs[17];
extern const double P_s45b[9];
extern const double P_tcbo[9];
extern const double P_tcla[23];

}  // namespace DkGrid
