// Geodetic and Cartesian coordinates on a reference ellipsoid, and map projections.
// Angles in radians, lengths in metres.
#pragma once

#include <cstddef>
#include <cstdint>

#include "positioning/geodesy/dtm_list.h"

class EllMath {
public:
    struct ELL_EXTPAR {
        double a;    // semi-major axis
        double b;    // semi-minor axis
        double rf;   // inverse flattening
        double e;    // first eccentricity
        double e2;
        double ep;   // second eccentricity
        double ep2;
    };

    enum PrjType : int32_t {
        PRJ_TM = 1, PRJ_STER = 2, PRJ_TMS = 3, PRJ_LCC1SP = 4, PRJ_LCC2SP = 5, PRJ_LCCW = 6,
        PRJ_MC = 7, PRJ_CS = 8, PRJ_OS = 9, PRJ_DS = 10, PRJ_OM = 11
    };
    // Names of the projection types as the grid settings spell them, indexed by type (0 unused).
    static const char* const PrjTypeName[12];

    // Types 1, 2, 3, 7, 8, 9, 10.
    struct PRJ_PARAMS {
        int32_t type;
        int32_t spare;
        double lat0;    // latitude of origin (Mercator: of the standard parallel)
        double lon0;    // longitude of origin
        double k0;      // scale factor at the origin
        double FN;      // false northing
        double FE;      // false easting
    };
    // Types 4, 5, 6.
    struct LCC_PRJ_PARAMS {
        int32_t type;
        int32_t spare;
        double lat0, lon0, k0, FN, FE;
        double lat1;    // standard parallels (two-parallel form)
        double lat2;
    };
    // Type 11; FN and FE are the grid coordinates of the projection centre.
    struct OM_PRJ_PARAMS {
        int32_t type;
        int32_t spare;
        double latc, lonc;
        double alphac;  // azimuth of the initial line at the centre
        double gammac;  // angle from the rectified to the skew grid
        double kc;      // scale factor on the initial line
        double FN, FE;
    };

    struct UTM_EXTPAR {
        PRJ_PARAMS p;
        ELL_EXTPAR ell;
        double A, b2, b4, b6, M0;
        int32_t south;  // south-orientated: westing and southing
        int32_t spare;
    };
    struct STER_EXTPAR {
        PRJ_PARAMS p;
        ELL_EXTPAR ell;
        double m0, sinChi0, cosChi0, kPolar;
        int32_t kind;   // 0 oblique, 1 equatorial, 2 north polar, 3 south polar
        int32_t ok;
    };
    struct LCC_EXTPAR {
        LCC_PRJ_PARAMS p;
        ELL_EXTPAR ell;
        double n, F, r0;
        int32_t west;
        int32_t ok;
    };
    struct MC_EXTPAR {
        PRJ_PARAMS p;
        ELL_EXTPAR ell;
        double k;
    };
    struct CS_EXTPAR {
        PRJ_PARAMS p;
        ELL_EXTPAR ell;
        double M0;
    };
    struct OS_EXTPAR {
        PRJ_PARAMS p;
        ELL_EXTPAR ell;
        double R, n, c, sinChi0, cosChi0;
        int32_t ok;
        int32_t spare;
    };
    struct DS_EXTPAR {
        PRJ_PARAMS p;
        ELL_EXTPAR ell;
        double alpha, R, sinB0, cosB0, K;
    };
    struct OM_EXTPAR {
        OM_PRJ_PARAMS p;
        ELL_EXTPAR ell;
        double A, B, H, sinG0, cosG0, lambda0, uc, vPoleN, vPoleS, sinGc, cosGc;
        int32_t ok;
        int32_t spare;
    };

    struct ANY_PRJ_PARAMS {
        int32_t type;
        int32_t spare;
        union {
            PRJ_PARAMS prj;
            LCC_PRJ_PARAMS lcc;
            OM_PRJ_PARAMS om;
        };
    };
    struct ANY_PRJ_EXTPAR {
        int32_t type;
        int32_t spare;
        union {
            UTM_EXTPAR utm;
            STER_EXTPAR ster;
            LCC_EXTPAR lcc;
            MC_EXTPAR mc;
            CS_EXTPAR cs;
            OS_EXTPAR os;
            DS_EXTPAR ds;
            OM_EXTPAR om;
        };
    };

    struct LOCAL_PARAMS {
        double reserved[6];
        double uO, vO;  // origin shift
        double k;       // scale
        double alpha;   // rotation, degrees
        double t1, t2;  // height tilt per unit of u and v
        double H0;      // height offset
    };

    static void setEllPar(const DtmList::ELL_PARAMS& in, ELL_EXTPAR* out);
    // WGS 84, the ellipsoid of every received base position, prepared once.
    static const ELL_EXTPAR& wgs84();
    static void BLH_XYZ(const ELL_EXTPAR& ell, double B, double L, double H, double& X, double& Y, double& Z);
    static void XYZ_BLH(const ELL_EXTPAR& ell, double X, double Y, double Z, double& B, double& L, double& H);

    static void initProj(const ELL_EXTPAR& ell, const ANY_PRJ_PARAMS& in, ANY_PRJ_EXTPAR& out);
    // Easting first; false (outputs untouched) for an unprepared type or a point the
    // projection cannot map.
    static bool BLH_Proj(const ANY_PRJ_EXTPAR& prj, double B, double L, double& E, double& N);
    static void Grid_Local(const LOCAL_PARAMS& lp, double u, double v, double H, double& uOut, double& vOut,
                           double& HOut);

    static void initUTM(const ELL_EXTPAR& ell, const PRJ_PARAMS& in, UTM_EXTPAR& out, bool south = false);
    // Northing first.
    static void BLH_UTM(const UTM_EXTPAR& prj, double B, double L, double& N, double& E);
    static void initSTER(const ELL_EXTPAR& ell, const PRJ_PARAMS& in, STER_EXTPAR& out);
    static bool BLH_Stereo(const STER_EXTPAR& prj, double B, double L, double& E, double& N);
    static void initLCC1SP(const ELL_EXTPAR& ell, const LCC_PRJ_PARAMS& in, LCC_EXTPAR& out);
    static void initLCC2SP(const ELL_EXTPAR& ell, const LCC_PRJ_PARAMS& in, LCC_EXTPAR& out);
    static void initLCCW(const ELL_EXTPAR& ell, const LCC_PRJ_PARAMS& in, LCC_EXTPAR& out);
    static bool BLH_LCC(const LCC_EXTPAR& prj, double B, double L, double& E, double& N);
    static void initMC(const ELL_EXTPAR& ell, const PRJ_PARAMS& in, MC_EXTPAR& out);
    static bool BLH_MC(const MC_EXTPAR& prj, double B, double L, double& E, double& N);
    static void initCS(const ELL_EXTPAR& ell, const PRJ_PARAMS& in, CS_EXTPAR& out);
    static bool BLH_CS(const CS_EXTPAR& prj, double B, double L, double& E, double& N);
    static void initOS(const ELL_EXTPAR& ell, const PRJ_PARAMS& in, OS_EXTPAR& out);
    static bool BLH_OS(const OS_EXTPAR& prj, double B, double L, double& E, double& N);
    static void initDS(const ELL_EXTPAR& ell, const PRJ_PARAMS& in, DS_EXTPAR& out);
    static bool BLH_DS(const DS_EXTPAR& prj, double B, double L, double& E, double& N);
    static void initOM(const ELL_EXTPAR& ell, const OM_PRJ_PARAMS& in, OM_EXTPAR& out);
    static bool BLH_OM(const OM_EXTPAR& prj, double B, double L, double& E, double& N);

    // Helpers shared by the projections.
    static double wrapPi(double a);
    static double atanhSafe(double x);
};

static_assert(sizeof(EllMath::ELL_EXTPAR) == 56);
static_assert(sizeof(EllMath::PRJ_PARAMS) == 48);
static_assert(sizeof(EllMath::LCC_PRJ_PARAMS) == 64);
static_assert(sizeof(EllMath::OM_PRJ_PARAMS) == 64);
static_assert(offsetof(EllMath::ANY_PRJ_PARAMS, prj) == 8);
// The conic record starts as the common one, so either may fill an LCC projection.
static_assert(offsetof(EllMath::LCC_PRJ_PARAMS, FE) == offsetof(EllMath::PRJ_PARAMS, FE));
static_assert(sizeof(EllMath::ANY_PRJ_PARAMS) == 72);
static_assert(sizeof(EllMath::LOCAL_PARAMS) == 104);

// Derived parameters of the WGS 84 ellipsoid, ready before any static constructor runs.
extern EllMath::ELL_EXTPAR EllExt;
