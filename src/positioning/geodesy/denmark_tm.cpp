// Exact transverse Mercator: K. Poder and K. Engsager, "Some conformal mappings and
// transformations for geodesy and topographic cartography" (KMS, 1998), with the series of
// L. Krueger (1912) in the third flattening as given in C. F. F. Karney, "Transverse Mercator
// with an accuracy of a few nanometers" (J. Geodesy 85, 2011), truncated after n^4.
#include "positioning/geodesy/denmark_tm.h"

#include <cmath>

namespace DkGrid {
namespace {
constexpr double kPi = 3.14159265358979323846;
constexpr double kHalfPi = kPi / 2.0;

bool finite(double a, double b) { return std::isfinite(a) && std::isfinite(b); }
}  // namespace

double gatg(const double* p, int count, double B) {
    // Clenshaw: h_k = p_k + 2 cos 2B h_{k+1} - h_{k+2}; the sum is h_1 sin 2B.
    const double twoCos2B = 2.0 * std::cos(2.0 * B);
    double h = 0.0, h1 = 0.0, h2 = 0.0;
    for (int k = count - 1; k >= 0; --k) {
        h = p[k] + twoCos2B * h1 - h2;
        h2 = h1;
        h1 = h;
    }
    return B + h * std::sin(2.0 * B);
}

double clenshaw(const double* a, int count, double re, double im, double* R, double* I) {
    // The same recurrence in complex arithmetic: 2 cos z = r + i i_, sin z = sr + i si.
    const double sinR = std::sin(re), cosR = std::cos(re);
    const double sinhI = std::sinh(im), coshI = std::cosh(im);
    const double r = 2.0 * cosR * coshI, i = -2.0 * sinR * sinhI;
    double hr = 0.0, hi = 0.0, hr1 = 0.0, hi1 = 0.0, hr2, hi2;
    for (int k = count - 1; k >= 0; --k) {
        hr2 = hr1;
        hi2 = hi1;
        hr1 = hr;
        hi1 = hi;
        hr = a[k] + r * hr1 - i * hi1 - hr2;
        hi = i * hr1 + r * hi1 - hi2;
    }
    const double sr = sinR * coshI, si = cosR * sinhI;
    *R = sr * hr - si * hi;
    *I = sr * hi + si * hr;
    return *R;
}

bool InitDenmarkTM(DenmarkTM* tm, double a, double rf, double lon0, double k0, double FN, double FE, double lat0) {
    if (!(a > 0.0 && rf > 1.0 && k0 > 0.0) || !finite(a, rf) || !finite(lon0, k0) || !finite(FN, FE) ||
        !(std::fabs(lat0) <= kHalfPi))
        return false;
    DenmarkTM t{};
    const double f = 1.0 / rf;
    const double n = f / (2.0 - f), n2 = n * n, n3 = n2 * n, n4 = n2 * n2;
    t.lon0 = lon0;
    t.k0 = k0;
    t.FN = FN;
    t.FE = FE;
    t.n = n;
    // Gaussian (conformal) latitude to geodetic latitude and back.
    t.cgb[0] = n * (2.0 + n * (-2.0 / 3.0 + n * (-2.0 + n * (116.0 / 45.0))));
    t.cgb[1] = n2 * (7.0 / 3.0 + n * (-8.0 / 5.0 + n * (-227.0 / 45.0)));
    t.cgb[2] = n3 * (56.0 / 15.0 + n * (-136.0 / 35.0));
    t.cgb[3] = n4 * (4279.0 / 630.0);
    t.cbg[0] = n * (-2.0 + n * (2.0 / 3.0 + n * (4.0 / 3.0 + n * (-82.0 / 45.0))));
    t.cbg[1] = n2 * (5.0 / 3.0 + n * (-16.0 / 15.0 + n * (-13.0 / 9.0)));
    t.cbg[2] = n3 * (-26.0 / 15.0 + n * (34.0 / 21.0));
    t.cbg[3] = n4 * (1237.0 / 630.0);
    t.Qn = k0 * a / (1.0 + n) * (1.0 + n2 / 4.0 + n4 / 64.0);
    // Krueger's beta (ellipsoidal to spherical, negated) and alpha (spherical to ellipsoidal).
    t.utg[0] = n * (-0.5 + n * (2.0 / 3.0 + n * (-37.0 / 96.0 + n * (1.0 / 360.0))));
    t.utg[1] = n2 * (-1.0 / 48.0 + n * (-1.0 / 15.0 + n * (437.0 / 1440.0)));
    t.utg[2] = n3 * (-17.0 / 480.0 + n * (37.0 / 840.0));
    t.utg[3] = n4 * (-4397.0 / 161280.0);
    t.gtu[0] = n * (0.5 + n * (-2.0 / 3.0 + n * (5.0 / 16.0 + n * (41.0 / 180.0))));
    t.gtu[1] = n2 * (13.0 / 48.0 + n * (-3.0 / 5.0 + n * (557.0 / 1440.0)));
    t.gtu[2] = n3 * (61.0 / 240.0 + n * (-103.0 / 140.0));
    t.gtu[3] = n4 * (49561.0 / 161280.0);
    // The false northing less the true northing of the latitude of origin.
    const double Z = gatg(t.cbg, 4, lat0);
    double dN, dE;
    t.Zb = FN - t.Qn * (Z + clenshaw(t.gtu, 4, 2.0 * Z, 0.0, &dN, &dE));
    *tm = t;
    return true;
}

bool SpherTM_Forward(double* N, double* E, const DenmarkTM& tm) {
    const double lat = *N, lon = *E;
    if (!finite(lat, lon) || !(std::fabs(lat) <= kHalfPi)) return false;
    double Cn = gatg(tm.cbg, 4, lat);
    double Ce = std::remainder(lon - tm.lon0, 2.0 * kPi);
    // Gaussian latitude and longitude to the complex spherical latitude of the transverse sphere.
    const double sinCn = std::sin(Cn), cosCn = std::cos(Cn), sinCe = std::sin(Ce), cosCe = std::cos(Ce);
    Cn = std::atan2(sinCn, cosCe * cosCn);
    Ce = std::atan2(sinCe * cosCn, std::hypot(sinCn, cosCn * cosCe));
    // ln tan(pi/4 + Ce/2), in the form that keeps its precision near zero.
    Ce = std::asinh(std::tan(Ce));
    double dCn, dCe;
    Cn += clenshaw(tm.gtu, 4, 2.0 * Cn, 2.0 * Ce, &dCn, &dCe);
    Ce += dCe;
    if (!(std::fabs(Ce) <= kCeMax)) return false;
    const double north = tm.Zb + tm.Qn * Cn, east = tm.FE + tm.Qn * Ce;
    if (!finite(north, east)) return false;
    *N = north;
    *E = east;
    return true;
}

bool SpherTM_Inverse(double* N, double* E, const DenmarkTM& tm) {
    if (!finite(*N, *E) || !(tm.Qn > 0.0)) return false;
    double Cn = (*N - tm.Zb) / tm.Qn, Ce = (*E - tm.FE) / tm.Qn;
    if (!(std::fabs(Ce) <= kCeMax) || !std::isfinite(Cn)) return false;
    double dCn, dCe;
    Cn += clenshaw(tm.utg, 4, 2.0 * Cn, 2.0 * Ce, &dCn, &dCe);
    Ce += dCe;
    Ce = std::atan(std::sinh(Ce));
    // Complex spherical latitude back to Gaussian latitude and longitude.
    const double sinCn = std::sin(Cn), cosCn = std::cos(Cn), sinCe = std::sin(Ce), cosCe = std::cos(Ce);
    const double lon = std::atan2(sinCe, cosCe * cosCn);
    const double gauss = std::atan2(sinCn * cosCe, std::hypot(sinCe, cosCe * cosCn));
    const double lat = gatg(tm.cgb, 4, gauss);
    const double lonOut = std::remainder(lon + tm.lon0, 2.0 * kPi);
    if (!finite(lat, lonOut)) return false;
    *N = lat;
    *E = lonOut;
    return true;
}

}  // namespace DkGrid
