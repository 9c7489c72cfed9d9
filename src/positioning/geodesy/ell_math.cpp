#include "positioning/geodesy/ell_math.h"

#include <cmath>

namespace {
constexpr double csqrt(double x) {
    double r = x > 1.0 ? x : 1.0;
    for (int i = 0; i < 100; ++i) r = 0.5 * (r + x / r);
    return r;
}
constexpr EllMath::ELL_EXTPAR makeExt(double a, double rf) {
    const double b = a * (1.0 - 1.0 / rf);
    const double d = a * a - b * b;
    return {a, b, rf, csqrt(d) / a, d / (a * a), csqrt(d) / b, d / (b * b)};
}
}  // namespace

constinit EllMath::ELL_EXTPAR EllExt = makeExt(6378137.0, 298.257223563);

const char* const EllMath::PrjTypeName[12] = {"",       "TM", "STER", "TMS", "LCC1SP", "LCC2SP",
                                              "LCCW", "MC", "CS",   "OS",  "DS",     "OM"};

double EllMath::wrapPi(double a) {
    if (a > M_PI || a < -M_PI) a = std::remainder(a, 2.0 * M_PI);
    return a;
}

double EllMath::atanhSafe(double x) {
    if (x >= 1.0) return HUGE_VAL;
    if (x <= -1.0) return -HUGE_VAL;
    return 0.5 * std::log((1.0 + x) / (1.0 - x));
}

void EllMath::setEllPar(const DtmList::ELL_PARAMS& in, ELL_EXTPAR* out) {
    const double a = in.a, rf = in.rf;
    const double b = a * (1.0 - 1.0 / rf);
    const double d = a * a - b * b;
    out->a = a;
    out->b = b;
    out->rf = rf;
    out->e = std::sqrt(d) / a;
    out->e2 = d / (a * a);
    out->ep = std::sqrt(d) / b;
    out->ep2 = d / (b * b);
}

const EllMath::ELL_EXTPAR& EllMath::wgs84() {
    static const ELL_EXTPAR e = [] {
        ELL_EXTPAR x{};
        setEllPar(DtmList::ELL_PARAMS{"W84", 6378137.0, 298.257223563}, &x);
        return x;
    }();
    return e;
}

void EllMath::BLH_XYZ(const ELL_EXTPAR& ell, double B, double L, double H, double& X, double& Y, double& Z) {
    const double sB = std::sin(B), cB = std::cos(B);
    const double N = ell.a / std::sqrt(1.0 - ell.e2 * sB * sB);
    X = (N + H) * cB * std::cos(L);
    Y = (N + H) * cB * std::sin(L);
    Z = (N * (1.0 - ell.e2) + H) * sB;
}

void EllMath::XYZ_BLH(const ELL_EXTPAR& ell, double X, double Y, double Z, double& B, double& L, double& H) {
    const double p = std::sqrt(X * X + Y * Y);
    const double theta = std::atan2(ell.a * Z, ell.b * p);
    const double st = std::sin(theta), ct = std::cos(theta);
    L = std::atan2(Y, X);
    B = std::atan2(Z + ell.ep2 * ell.b * st * st * st, p - ell.e2 * ell.a * ct * ct * ct);
    const double sB = std::sin(B);
    const double N = ell.a / std::sqrt(1.0 - ell.e2 * sB * sB);
    const double zz = Z + ell.e2 * N * sB;
    H = std::sqrt(p * p + zz * zz) - N;
}

void EllMath::initProj(const ELL_EXTPAR& ell, const ANY_PRJ_PARAMS& in, ANY_PRJ_EXTPAR& out) {
    out.type = in.type;
    switch (in.type) {
        case PRJ_TM: initUTM(ell, in.prj, out.utm, false); break;
        case PRJ_TMS: initUTM(ell, in.prj, out.utm, true); break;
        case PRJ_STER: initSTER(ell, in.prj, out.ster); break;
        case PRJ_LCC1SP: initLCC1SP(ell, in.lcc, out.lcc); break;
        case PRJ_LCC2SP: initLCC2SP(ell, in.lcc, out.lcc); break;
        case PRJ_LCCW: initLCCW(ell, in.lcc, out.lcc); break;
        case PRJ_MC: initMC(ell, in.prj, out.mc); break;
        case PRJ_CS: initCS(ell, in.prj, out.cs); break;
        case PRJ_OS: initOS(ell, in.prj, out.os); break;
        case PRJ_DS: initDS(ell, in.prj, out.ds); break;
        case PRJ_OM: initOM(ell, in.om, out.om); break;
        default: break;
    }
}

bool EllMath::BLH_Proj(const ANY_PRJ_EXTPAR& prj, double B, double L, double& E, double& N) {
    if (!std::isfinite(B) || !std::isfinite(L) || std::fabs(B) > M_PI / 2.0) return false;
    switch (prj.type) {
        case PRJ_TM:
        case PRJ_TMS: {
            double n, e;
            BLH_UTM(prj.utm, B, L, n, e);
            E = e;
            N = n;
            return true;
        }
        case PRJ_STER: return BLH_Stereo(prj.ster, B, L, E, N);
        case PRJ_LCC1SP:
        case PRJ_LCC2SP:
        case PRJ_LCCW: return BLH_LCC(prj.lcc, B, L, E, N);
        case PRJ_MC: return BLH_MC(prj.mc, B, L, E, N);
        case PRJ_CS: return BLH_CS(prj.cs, B, L, E, N);
        case PRJ_OS: return BLH_OS(prj.os, B, L, E, N);
        case PRJ_DS: return BLH_DS(prj.ds, B, L, E, N);
        case PRJ_OM: return BLH_OM(prj.om, B, L, E, N);
        default: return false;
    }
}

void EllMath::Grid_Local(const LOCAL_PARAMS& lp, double u, double v, double H, double& uOut, double& vOut,
                         double& HOut) {
    const double al = lp.alpha * 0.017453292519943295;
    const double ca = std::cos(al), sa = std::sin(al);
    uOut = lp.uO + (ca * u - sa * v) * lp.k;
    vOut = lp.vO + (ca * v + sa * u) * lp.k;
    HOut = H + lp.H0 + lp.t1 * u + lp.t2 * v;
}
