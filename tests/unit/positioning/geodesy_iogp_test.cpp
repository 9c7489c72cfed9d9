// Worked examples of IOGP Publication 373-7-2 (Geomatics Guidance Note 7, part 2).
// Each example prints its results to the cm (or mm); the check allows half of the last
// printed digit plus 1 mm.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "positioning/geodesy/datum_conv.h"
#include "positioning/geodesy/ell_math.h"

using EM = EllMath;

namespace {
constexpr double kDeg = M_PI / 180.0;
constexpr double kUsFt = 1200.0 / 3937.0;

double dms(double d, double m, double s) { return (std::fabs(d) + m / 60.0 + s / 3600.0) * (d < 0 ? -1 : 1); }

EM::ELL_EXTPAR ell(double a, double rf) {
    DtmList::ELL_PARAMS p{};
    std::strcpy(p.name, "X");
    p.a = a;
    p.rf = rf;
    EM::ELL_EXTPAR e;
    EM::setEllPar(p, &e);
    return e;
}
EM::ELL_EXTPAR table(int i) {
    DtmList::ELL_PARAMS p;
    EXPECT_TRUE(DtmList::getEll(i, &p));
    EM::ELL_EXTPAR e;
    EM::setEllPar(p, &e);
    return e;
}

struct Example {
    const char* name;
    EM::ELL_EXTPAR ell;
    EM::ANY_PRJ_PARAMS prj;
    double lat, lon;   // degrees
    double E, N;       // as printed, in the example's unit
    double unit;       // metres per printed unit
    double halfDigit;  // half of the last printed digit, in the printed unit
};

EM::ANY_PRJ_PARAMS prj(int type, double lat0, double lon0, double k0, double FN, double FE) {
    EM::ANY_PRJ_PARAMS p{};
    p.type = type;
    p.prj = {type, 0, lat0 * kDeg, lon0 * kDeg, k0, FN, FE};
    return p;
}
}  // namespace

TEST(GeodesyIogp, ProjectionExamples) {
    const double clarke1858a = 20926348.0, clarke1858b = 20855233.0;  // Clarke's feet
    const double link = 0.66;                                          // Clarke's feet per link

    EM::ANY_PRJ_PARAMS texas{};
    texas.type = EM::PRJ_LCC2SP;
    texas.lcc = {EM::PRJ_LCC2SP, 0,   dms(27, 50, 0) * kDeg, -99 * kDeg,           1.0, 0.0, 2000000 * kUsFt,
                 dms(28, 23, 0) * kDeg, dms(30, 17, 0) * kDeg};
    EM::ANY_PRJ_PARAMS jamaica{};
    jamaica.type = EM::PRJ_LCC1SP;
    jamaica.lcc = {EM::PRJ_LCC1SP, 0, 18 * kDeg, -77 * kDeg, 1.0, 150000, 250000, 0, 0};
    EM::ANY_PRJ_PARAMS borneo{};
    borneo.type = EM::PRJ_OM;
    borneo.om = {EM::PRJ_OM, 0, 4 * kDeg, 115 * kDeg, dms(53, 18, 56.9537) * kDeg, dms(53, 7, 48.3685) * kDeg,
                 0.99984, 442857.65, 590476.87};
    const EM::ANY_PRJ_PARAMS rd =
        prj(EM::PRJ_OS, dms(52, 9, 22.178), dms(5, 23, 15.5), 0.9999079, 463000, 155000);
    EM::ANY_PRJ_PARAMS rdDouble = rd;
    rdDouble.type = rdDouble.prj.type = EM::PRJ_DS;

    const Example examples[] = {
        // EPSG 9807, OSGB 1936 / British National Grid (results of the series of the JHS formula).
        {"transverse Mercator", table(DtmList::ELL_AA), prj(EM::PRJ_TM, 49, -2, 0.9996012717, -100000, 400000),
         dms(50, 30, 0), dms(0, 30, 0), 577274.98, 69740.49, 1.0, 0.005},
        // EPSG 9801, JAD69 / Jamaica National Grid.
        {"Lambert 1SP", table(DtmList::ELL_CC), jamaica, dms(17, 55, 55.80), -dms(76, 56, 37.26), 255966.58,
         142493.51, 1.0, 0.005},
        // EPSG 9802, NAD27 / Texas South Central, US survey feet.
        {"Lambert 2SP", table(DtmList::ELL_CC), texas, dms(28, 30, 0), -96, 2963503.91, 254759.80, kUsFt, 0.005},
        // EPSG 9804, Makassar / NEIEZ.
        {"Mercator A", table(DtmList::ELL_BR), prj(EM::PRJ_MC, 0, 110, 0.997, 900000, 3900000), -3, 120,
         5009726.58, 569150.82, 1.0, 0.005},
        // EPSG 9805, Pulkovo 1942 / Mercator Caspian Sea.
        {"Mercator B", table(DtmList::ELL_KA), prj(EM::PRJ_MC, 42, 51, 1.0, 0, 0), 53, 53, 165704.29, 5171848.07,
         1.0, 0.005},
        // EPSG 9806, Trinidad 1903 / Trinidad Grid, Clarke 1858 in Clarke's feet, results in links.
        {"Cassini-Soldner", ell(clarke1858a, clarke1858a / (clarke1858a - clarke1858b)),
         prj(EM::PRJ_CS, dms(10, 26, 30), -dms(61, 20, 0), 1.0, 325000 * link, 430000 * link), 10, -62, 66644.94,
         82536.22, link, 0.005},
        // EPSG 9809, Amersfoort / RD New.
        {"oblique stereographic", table(DtmList::ELL_BR), rd, 53, 6, 196105.283, 557057.739, 1.0, 0.0005},
        {"double stereographic", table(DtmList::ELL_BR), rdDouble, 53, 6, 196105.283, 557057.739, 1.0, 0.0005},
        // EPSG 9810, WGS 84 / UPS North.
        {"polar stereographic A", table(DtmList::ELL_WE), prj(EM::PRJ_STER, 90, 0, 0.994, 2000000, 2000000), 73,
         44, 3320416.75, 632668.43, 1.0, 0.005},
        // EPSG 9815, Timbalai 1948 / RSO Borneo (m).
        {"Hotine oblique Mercator B", table(DtmList::ELL_EB), borneo, dms(5, 23, 14.1129), dms(115, 48, 19.8196),
         679245.73, 596562.78, 1.0, 0.005},
    };
    for (const auto& x : examples) {
        SCOPED_TRACE(x.name);
        EM::ANY_PRJ_EXTPAR ext;
        EM::initProj(x.ell, x.prj, ext);
        double E, N;
        ASSERT_TRUE(EM::BLH_Proj(ext, x.lat * kDeg, x.lon * kDeg, E, N));
        const double tol = x.halfDigit + 0.001 / x.unit;
        EXPECT_NEAR(E / x.unit, x.E, tol);
        EXPECT_NEAR(N / x.unit, x.N, tol);
    }
}

TEST(GeodesyIogp, CoordinateFrameRotationExample) {
    // EPSG 1032 / 9607, WGS 72 to WGS 84: tZ = +4.5 m, rZ = -0.554", dS = +0.219 ppm;
    // X 3657660.66, Y 255768.55, Z 5201382.11 -> X 3657660.78, Y 255778.43, Z 5201387.75.
    DtmList::DATUM_PARAMS_STORE s{};
    std::strcpy(s.name, "WGS72");
    s.dz = 4.5;
    s.rz = -0.554;
    s.scale = 0.219;
    for (bool full : {false, true}) {
        DtmList::DATUM_PARAMS_COMPUTE c;
        DtmList::transform(s, &c, DtmList::kStoredDatumToWgs84, full);
        const double in[3] = {3657660.66, 255768.55, 5201382.11};
        double out[3];
        DatumConv::transInverse(false, c, in, out);
        EXPECT_NEAR(out[0], 3657660.78, 0.006);
        EXPECT_NEAR(out[1], 255778.43, 0.006);
        EXPECT_NEAR(out[2], 5201387.75, 0.006);
        const double printed[3] = {3657660.78, 255778.43, 5201387.75};
        DatumConv::transDirect(false, c, printed, out);
        EXPECT_NEAR(out[0], in[0], 0.006);
        EXPECT_NEAR(out[1], in[1], 0.006);
        EXPECT_NEAR(out[2], in[2], 0.006);
    }
}
