// Transverse Mercator (normal and south-orientated) and Cassini-Soldner.
//
// Transverse Mercator: the Gauss-Krueger series in Redfearn's form (Survey Review 9, 1948, as
// printed by Thomas, USC&GS Special Publication 251, 1952) to l^7 in easting and l^6 in
// northing, on Helmert's meridian arc in the third flattening to n^4; the south-orientated
// grid is EPSG method 9808. Cassini-Soldner: Snyder (USGS Professional Paper 1395, 1987,
// chapter 13; EPSG method 9806) on the meridian arc series in e^2 to e^6 (Snyder 3-21). Both
// stay within 1 mm of PROJ's tmerc and cass over the bands the projection tests cover (up to
// 5 degrees from the central meridian for TM, 1 degree for Cassini).
#include <cmath>

#include "positioning/geodesy/ell_math.h"

namespace {
// Meridian arc from the equator, scaled by k0.
double tmArc(const EllMath::UTM_EXTPAR& u, double phi) {
    return u.p.k0 * u.A *
           (phi + u.b2 * std::sin(2.0 * phi) + u.b4 * std::sin(4.0 * phi) + u.b6 * std::sin(6.0 * phi));
}

double csArc(const EllMath::ELL_EXTPAR& ell, double phi) {
    const double e2 = ell.e2, e4 = e2 * e2, e6 = e4 * e2;
    return ell.a * ((1.0 - e2 / 4.0 - 3.0 * e4 / 64.0 - 5.0 * e6 / 256.0) * phi -
                    (3.0 * e2 / 8.0 + 3.0 * e4 / 32.0 + 45.0 * e6 / 1024.0) * std::sin(2.0 * phi) +
                    (15.0 * e4 / 256.0 + 45.0 * e6 / 1024.0) * std::sin(4.0 * phi) -
                    (35.0 * e6 / 3072.0) * std::sin(6.0 * phi));
}
}  // namespace

void EllMath::initUTM(const ELL_EXTPAR& ell, const PRJ_PARAMS& in, UTM_EXTPAR& out, bool south) {
    out.p = in;
    out.ell = ell;
    const double n = 1.0 / (2.0 * ell.rf - 1.0);
    const double n2 = n * n, n3 = n2 * n, n4 = n2 * n2;
    out.A = ell.a * (1.0 - n) * (1.0 - n2) * (1.0 + 9.0 / 4.0 * n2 + 225.0 / 64.0 * n4);
    out.b2 = -3.0 / 2.0 * n + 9.0 / 16.0 * n3;
    out.b4 = 15.0 / 16.0 * n2 - 15.0 / 32.0 * n4;
    out.b6 = -35.0 / 48.0 * n3;
    out.M0 = 0.0;
    out.M0 = in.lat0 == 0.0 ? 0.0 : tmArc(out, in.lat0);
    out.south = south ? 1 : 0;
    out.spare = 0;
}

void EllMath::BLH_UTM(const UTM_EXTPAR& u, double B, double L, double& N, double& E) {
    const double sB = std::sin(B), cB = std::cos(B);
    const double t = std::tan(B), t2 = t * t, t4 = t2 * t2;
    const double eta2 = u.ell.ep2 * cB * cB, eta4 = eta2 * eta2;
    const double l = wrapPi(L - u.p.lon0) * cB, l2 = l * l;
    const double nu = u.p.k0 * u.ell.a / std::sqrt(1.0 - u.ell.e2 * sB * sB);
    const double y = tmArc(u, B) - u.M0 +
                     nu * t * l2 / 2.0 *
                         (1.0 + (5.0 - t2 + 9.0 * eta2 + 4.0 * eta4) * l2 / 12.0 +
                          (61.0 - 58.0 * t2 + t4 + 270.0 * eta2 - 330.0 * t2 * eta2) * l2 * l2 / 360.0);
    const double x = nu * l *
                     (1.0 + (1.0 - t2 + eta2) * l2 / 6.0 +
                      (5.0 - 18.0 * t2 + t4 + 14.0 * eta2 - 58.0 * t2 * eta2) * l2 * l2 / 120.0 +
                      (61.0 - 479.0 * t2 + 179.0 * t4 - t4 * t2) * l2 * l2 * l2 / 5040.0);
    if (u.south) {
        // South-orientated grid: westing and southing both grow away from the false origin.
        N = u.p.FN - y;
        E = u.p.FE - x;
    } else {
        N = u.p.FN + y;
        E = u.p.FE + x;
    }
}

void EllMath::initCS(const ELL_EXTPAR& ell, const PRJ_PARAMS& in, CS_EXTPAR& out) {
    out.p = in;
    out.ell = ell;
    out.M0 = csArc(ell, in.lat0);
}

bool EllMath::BLH_CS(const CS_EXTPAR& c, double B, double L, double& E, double& N) {
    const double sB = std::sin(B), cB = std::cos(B);
    double tB = 0.0, T = 0.0;
    if (cB > 1.57e-7) {
        tB = std::tan(B);
        T = tB * tB;
    }
    const double A = wrapPi(L - c.p.lon0) * cB, A2 = A * A;
    const double G = c.ell.e2 * cB * cB / (1.0 - c.ell.e2);
    const double nu = c.ell.a / std::sqrt(1.0 - c.ell.e2 * sB * sB);
    E = c.p.FE + nu * (A - T * A * A2 / 6.0 - (8.0 - T + 8.0 * G) * T * A * A2 * A2 / 120.0);
    N = c.p.FN - c.M0 + csArc(c.ell, B) + nu * tB * (A2 / 2.0 + (5.0 - T + 6.0 * G) * A2 * A2 / 24.0);
    return true;
}
