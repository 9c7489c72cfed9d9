// Exact transverse Mercator of Poder and Engsager (Krueger's series in the third flattening to
// the fourth order, summed by Clenshaw over the complex spherical coordinates), as used for the
// Danish national grids. With n about 1/600 the truncated terms stay below a micrometre within
// the projection's band. Angles in radians, lengths in metres.
#pragma once

#include <cstddef>

// The projection's constants, in the order the receiver keeps them.
struct DenmarkTM {
    double lon0;    // central meridian
    double k0;      // scale factor on it
    double FN;      // false northing
    double FE;      // false easting
    double n;       // third flattening
    double cgb[4];  // Gaussian to geodetic latitude
    double cbg[4];  // geodetic to Gaussian latitude
    double Qn;      // meridian quadrant, scaled, over pi/2
    double Zb;      // northing offset of the latitude of origin
    double utg[4];  // ellipsoidal to spherical normalised northing/easting
    double gtu[4];  // spherical to ellipsoidal
};
static_assert(sizeof(DenmarkTM) == 23 * sizeof(double));
static_assert(offsetof(DenmarkTM, cgb) == 5 * sizeof(double));
static_assert(offsetof(DenmarkTM, Qn) == 13 * sizeof(double));
static_assert(offsetof(DenmarkTM, gtu) == 19 * sizeof(double));

namespace DkGrid {

// |normalised easting| the projection accepts: about 5300 km from the central meridian, well
// past any use of the zone yet short of the series' own limit of 150 degrees (2.623395162778).
inline constexpr double kCeMax = 0.8349968168864;

// false (object untouched) for parameters no ellipsoid or projection can have.
bool InitDenmarkTM(DenmarkTM* tm, double a, double rf, double lon0, double k0, double FN, double FE, double lat0);
// In: latitude in *N, longitude in *E; out: northing, easting. false leaves both untouched.
bool SpherTM_Forward(double* N, double* E, const DenmarkTM& tm);
// In: northing in *N, easting in *E; out: latitude, longitude. false leaves both untouched.
bool SpherTM_Inverse(double* N, double* E, const DenmarkTM& tm);

// B + sum p[k] sin(2(k+1)B), k < count.
double gatg(const double* p, int count, double B);
// sum a[k] sin((k+1)(re + i im)), k < count: the real part in *R and the imaginary part in *I;
// returns *R.
double clenshaw(const double* a, int count, double re, double im, double* R, double* I);

}  // namespace DkGrid
