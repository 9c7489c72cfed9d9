// Lambert conformal conic (one and two standard parallels, west-orientated) and Mercator.
//
// Closed formulas of Snyder (USGS Professional Paper 1395, 1987, chapters 15 and 7), as EPSG
// methods 9801, 9802 and 9826 (conic) and 9804 and 9805 (Mercator by scale factor or by
// standard parallel) write them: no series is truncated, and the projection tests find them
// within 1 mm of PROJ's lcc and merc (70 degrees of latitude for Mercator).
#include <cmath>

#include "positioning/geodesy/ell_math.h"

namespace {
double lccT(const EllMath::ELL_EXTPAR& ell, double phi) {
    const double es = ell.e * std::sin(phi);
    return std::tan(M_PI / 4.0 - phi / 2.0) / std::pow((1.0 - es) / (1.0 + es), ell.e / 2.0);
}
double lccM(const EllMath::ELL_EXTPAR& ell, double phi) {
    const double s = std::sin(phi);
    return std::cos(phi) / std::sqrt(1.0 - ell.e2 * s * s);
}

void finishLcc(EllMath::LCC_EXTPAR& out, double mRef, double tRef) {
    const EllMath::ELL_EXTPAR& ell = out.ell;
    out.ok = 0;
    if (!std::isfinite(out.n) || std::fabs(out.n) < 1e-12 || tRef <= 0.0) return;
    out.F = mRef / (out.n * std::pow(tRef, out.n));
    // The radius of the origin carries the scale factor as every other radius does.
    out.r0 = ell.a * out.p.k0 * out.F * std::pow(lccT(ell, out.p.lat0), out.n);
    out.ok = std::isfinite(out.F) && std::isfinite(out.r0) ? 1 : 0;
}
}  // namespace

void EllMath::initLCC1SP(const ELL_EXTPAR& ell, const LCC_PRJ_PARAMS& in, LCC_EXTPAR& out) {
    out.p = in;
    out.ell = ell;
    out.west = 0;
    out.n = std::sin(in.lat0);
    out.F = out.r0 = 0.0;
    finishLcc(out, lccM(ell, in.lat0), lccT(ell, in.lat0));
}

void EllMath::initLCCW(const ELL_EXTPAR& ell, const LCC_PRJ_PARAMS& in, LCC_EXTPAR& out) {
    initLCC1SP(ell, in, out);
    out.west = 1;
}

void EllMath::initLCC2SP(const ELL_EXTPAR& ell, const LCC_PRJ_PARAMS& in, LCC_EXTPAR& out) {
    out.p = in;
    out.ell = ell;
    out.west = 0;
    out.F = out.r0 = 0.0;
    const double m1 = lccM(ell, in.lat1), m2 = lccM(ell, in.lat2);
    const double t1 = lccT(ell, in.lat1), t2 = lccT(ell, in.lat2);
    if (std::fabs(in.lat1 - in.lat2) < 1e-12)
        out.n = std::sin(in.lat1);
    else
        out.n = (std::log(m1) - std::log(m2)) / (std::log(t1) - std::log(t2));
    finishLcc(out, m1, t1);
}

bool EllMath::BLH_LCC(const LCC_EXTPAR& c, double B, double L, double& E, double& N) {
    if (!c.ok) return false;
    const double t = lccT(c.ell, B);
    const double r = t <= 0.0 ? 0.0 : c.ell.a * c.p.k0 * c.F * std::pow(t, c.n);
    if (!std::isfinite(r)) return false;
    const double theta = c.n * wrapPi(L - c.p.lon0);
    const double s = c.west ? -1.0 : 1.0;
    E = c.p.FE + s * r * std::sin(theta);
    N = c.p.FN + c.r0 - r * std::cos(theta);
    return true;
}

void EllMath::initMC(const ELL_EXTPAR& ell, const PRJ_PARAMS& in, MC_EXTPAR& out) {
    out.p = in;
    out.ell = ell;
    const double s = std::sin(in.lat0);
    // Scale on the equator: the scale factor at the origin (for an equatorial origin)
    // times the reduction of the standard parallel (for a factor of 1).
    out.k = in.k0 * std::cos(in.lat0) / std::sqrt(1.0 - ell.e2 * s * s);
}

bool EllMath::BLH_MC(const MC_EXTPAR& c, double B, double L, double& E, double& N) {
    if (std::fabs(B) >= M_PI / 2.0 - 1e-12) return false;
    const double s = std::sin(B), es = c.ell.e * s;
    E = c.p.FE + c.ell.a * c.k * wrapPi(L - c.p.lon0);
    N = c.p.FN + c.ell.a * c.k * (atanhSafe(s) - c.ell.e * atanhSafe(es));
    return true;
}
