// Stereographic projections: polar and oblique on the ellipsoid ("STER"), and the
// oblique and double stereographic on the conformal sphere ("OS", "DS").
//
// STER: Snyder's ellipsoidal stereographic through the conformal latitude (USGS Professional
// Paper 1395, 1987, chapter 21), the polar case as EPSG method 9810 (variant A). OS: EPSG
// method 9809 (oblique stereographic, the Gauss conformal sphere of radius sqrt(rho0 nu0)).
// DS: the same double projection in the Gauss-Schreiber form (constants alpha, b0 and K).
// All are closed formulas; the projection tests find them within 1 mm of PROJ's stere and
// sterea (polar caps to 0.01 degree of the pole, up to 12 degrees around an oblique origin).
#include <cmath>

#include "positioning/geodesy/ell_math.h"

namespace {
constexpr double kPoleTol = 1e-12;

double conformalLat(double e, double phi) {
    const double es = e * std::sin(phi);
    return 2.0 * std::atan(std::tan(M_PI / 4.0 + phi / 2.0) * std::pow((1.0 - es) / (1.0 + es), e / 2.0)) -
           M_PI / 2.0;
}

double polarT(double e, double phi) {
    const double s = std::sin(phi), es = e * s;
    return std::sqrt((1.0 - s) / (1.0 + s) * std::pow((1.0 + es) / (1.0 - es), e));
}
}  // namespace

void EllMath::initSTER(const ELL_EXTPAR& ell, const PRJ_PARAMS& in, STER_EXTPAR& out) {
    out.p = in;
    out.ell = ell;
    out.m0 = out.sinChi0 = out.cosChi0 = out.kPolar = 0.0;
    out.ok = 1;
    const double e = ell.e;
    if (in.lat0 <= -M_PI / 2.0 + kPoleTol || in.lat0 >= M_PI / 2.0 - kPoleTol) {
        out.kind = in.lat0 > 0.0 ? 2 : 3;
        out.kPolar = 2.0 * ell.a * in.k0 / std::sqrt(std::pow(1.0 + e, 1.0 + e) * std::pow(1.0 - e, 1.0 - e));
        return;
    }
    const double s = std::sin(in.lat0);
    out.m0 = std::cos(in.lat0) / std::sqrt(1.0 - ell.e2 * s * s);
    const double chi0 = conformalLat(e, in.lat0);
    out.sinChi0 = std::sin(chi0);
    out.cosChi0 = std::cos(chi0);
    out.kind = std::fabs(in.lat0) <= kPoleTol ? 1 : 0;
    if (out.m0 == 0.0) out.ok = 0;
}

bool EllMath::BLH_Stereo(const STER_EXTPAR& c, double B, double L, double& E, double& N) {
    if (!c.ok) return false;
    double dl = wrapPi(L - c.p.lon0);
    const double cB = std::cos(B);
    double x, y;
    if (c.kind >= 2) {
        // South-polar origin: mirror latitude and longitude, then turn the result back.
        const bool southOrigin = c.kind == 3;
        const double phi = southOrigin ? -B : B;
        if (southOrigin) dl = -dl;
        double rho;
        if (cB <= kPoleTol) {
            if (phi < 0.0) return false;  // the pole opposite the origin lies at infinity
            rho = 0.0;                    // the origin's own pole is the projection centre
        } else {
            rho = c.kPolar * polarT(c.ell.e, phi);
        }
        x = rho * std::sin(dl);
        y = -rho * std::cos(dl);
        if (southOrigin) {
            x = -x;
            y = -y;
        }
    } else {
        if (cB <= kPoleTol) return false;
        const double chi = conformalLat(c.ell.e, B);
        const double sc = std::sin(chi), cc = std::cos(chi), cdl = std::cos(dl);
        if (c.kind == 1) {
            const double den = 1.0 + cc * cdl;
            if (den <= 1e-15) return false;
            const double A = 2.0 * c.ell.a * c.p.k0 / den;
            x = A * cc * std::sin(dl);
            y = A * sc;
        } else {
            const double den = c.cosChi0 * (1.0 + c.sinChi0 * sc + c.cosChi0 * cc * cdl);
            if (den <= 1e-15) return false;
            const double A = 2.0 * c.ell.a * c.p.k0 * c.m0 / den;
            x = A * cc * std::sin(dl);
            y = A * (c.cosChi0 * sc - c.sinChi0 * cc * cdl);
        }
    }
    E = c.p.FE + x;
    N = c.p.FN + y;
    return true;
}

void EllMath::initOS(const ELL_EXTPAR& ell, const PRJ_PARAMS& in, OS_EXTPAR& out) {
    out.p = in;
    out.ell = ell;
    out.spare = 0;
    const double e = ell.e, e2 = ell.e2;
    const double s0 = std::sin(in.lat0), c0 = std::cos(in.lat0);
    const double w = 1.0 - e2 * s0 * s0;
    const double rho0 = ell.a * (1.0 - e2) / (w * std::sqrt(w));
    const double nu0 = ell.a / std::sqrt(w);
    out.R = std::sqrt(rho0 * nu0);
    out.n = std::sqrt(1.0 + e2 * c0 * c0 * c0 * c0 / (1.0 - e2));
    const double psi0 = atanhSafe(s0) - e * atanhSafe(e * s0);
    const double w1 = std::exp(2.0 * out.n * psi0);
    const double sinChi1 = (w1 - 1.0) / (w1 + 1.0);
    const double cc = (out.n + s0) * (1.0 - sinChi1) / ((out.n - s0) * (1.0 + sinChi1));
    out.ok = (std::isfinite(cc) && cc > 0.0 && out.n - s0 > 1e-12) ? 1 : 0;
    out.c = out.ok ? 0.5 * std::log(cc) : 0.0;
    const double chi0 = 2.0 * std::atan(std::exp(out.c + out.n * psi0)) - M_PI / 2.0;
    out.sinChi0 = std::sin(chi0);
    out.cosChi0 = std::cos(chi0);
    if (out.cosChi0 <= kPoleTol) out.ok = 0;
}

bool EllMath::BLH_OS(const OS_EXTPAR& c, double B, double L, double& E, double& N) {
    if (!c.ok) return false;
    const double s = std::sin(B);
    // Isometric latitude; odd in B, so southern points mirror northern ones.
    const double psi = atanhSafe(s) - c.ell.e * atanhSafe(c.ell.e * s);
    const double chi = 2.0 * std::atan(std::exp(c.c + c.n * psi)) - M_PI / 2.0;
    const double lam = c.n * wrapPi(L - c.p.lon0);
    const double sc = std::sin(chi), cc = std::cos(chi);
    const double sh1 = std::sin((chi - std::asin(c.sinChi0)) / 2.0), sh2 = std::sin(lam / 2.0);
    const double h = sh1 * sh1 + c.cosChi0 * cc * sh2 * sh2;
    if (h >= 1.0 - 1e-15) return false;  // antipode of the origin
    // rho sin A and rho cos A with rho = 2 R k0 sqrt(h / (1 - h)) and sin s = 2 sqrt(h (1 - h)),
    // written without the division by sin s, which vanishes at the origin.
    const double rk = c.R * c.p.k0 / (1.0 - h);
    E = c.p.FE + rk * cc * std::sin(lam);
    N = c.p.FN + rk * (sc - (1.0 - 2.0 * h) * c.sinChi0) / c.cosChi0;
    return true;
}

void EllMath::initDS(const ELL_EXTPAR& ell, const PRJ_PARAMS& in, DS_EXTPAR& out) {
    out.p = in;
    out.ell = ell;
    const double e = ell.e, e2 = ell.e2;
    const double s0 = std::sin(in.lat0), c0 = std::cos(in.lat0);
    const double w = 1.0 - e2 * s0 * s0;
    const double M0 = ell.a * (1.0 - e2) / (w * std::sqrt(w));
    const double N0 = ell.a / std::sqrt(w);
    out.alpha = std::sqrt(1.0 + e2 * c0 * c0 * c0 * c0 / (1.0 - e2));
    out.R = std::sqrt(M0 * N0);
    const double b0 = std::asin(s0 / out.alpha);
    out.sinB0 = std::sin(b0);
    out.cosB0 = std::cos(b0);
    out.K = std::tan(M_PI / 4.0 + b0 / 2.0) /
            (std::pow(std::tan(M_PI / 4.0 + in.lat0 / 2.0), out.alpha) *
             std::pow((1.0 - e * s0) / (1.0 + e * s0), out.alpha * e / 2.0));
}

bool EllMath::BLH_DS(const DS_EXTPAR& c, double B, double L, double& E, double& N) {
    if (!std::isfinite(c.K)) return false;
    const double e = c.ell.e, es = e * std::sin(B);
    const double w = 2.0 * (std::atan(c.K * std::pow(std::tan(M_PI / 4.0 + B / 2.0), c.alpha) *
                                      std::pow((1.0 - es) / (1.0 + es), c.alpha * e / 2.0)) -
                            M_PI / 4.0);
    const double lam = c.alpha * wrapPi(L - c.p.lon0);
    const double sw = std::sin(w), cw = std::cos(w), cl = std::cos(lam);
    const double den = 1.0 + c.sinB0 * sw + c.cosB0 * cw * cl;
    if (den <= 1e-15) return false;
    const double k = 2.0 * c.R * c.p.k0 / den;
    N = c.p.FN + k * (c.cosB0 * sw - c.sinB0 * cw * cl);
    E = c.p.FE + k * cw * std::sin(lam);
    return true;
}
