// Every map projection against PROJ's cct, and the transverse Mercator against
// GeographicLib's exact TransverseMercatorProj, both run at test time.
#include <gtest/gtest.h>

#include <cmath>
#include <array>
#include <random>
#include <string>
#include <vector>

#include "positioning/geodesy/ell_math.h"
#include "unit/positioning/geodesy_oracle.h"

using namespace geodesy_test;
using EM = EllMath;

namespace {
EM::ELL_EXTPAR ellipsoid(int i) {
    DtmList::ELL_PARAMS p;
    EXPECT_TRUE(DtmList::getEll(i, &p));
    EM::ELL_EXTPAR e;
    EM::setEllPar(p, &e);
    return e;
}
std::string ellArgs(const EM::ELL_EXTPAR& e) { return " +a=" + num(e.a) + " +rf=" + num(e.rf); }

EM::ANY_PRJ_PARAMS prj(int type, double lat0, double lon0, double k0, double FN, double FE) {
    EM::ANY_PRJ_PARAMS p{};
    p.type = type;
    p.prj = {type, 0, lat0 * kDeg, lon0 * kDeg, k0, FN, FE};
    return p;
}
EM::ANY_PRJ_PARAMS lcc(int type, double lat0, double lon0, double k0, double FN, double FE, double lat1,
                       double lat2) {
    EM::ANY_PRJ_PARAMS p{};
    p.type = type;
    p.lcc = {type, 0, lat0 * kDeg, lon0 * kDeg, k0, FN, FE, lat1 * kDeg, lat2 * kDeg};
    return p;
}
EM::ANY_PRJ_PARAMS om(double latc, double lonc, double alpha, double gamma, double kc, double FN, double FE) {
    EM::ANY_PRJ_PARAMS p{};
    p.type = EM::PRJ_OM;
    p.om = {EM::PRJ_OM, 0, latc * kDeg, lonc * kDeg, alpha * kDeg, gamma * kDeg, kc, FN, FE};
    return p;
}

struct Case {
    const char* what;
    int ell;
    EM::ANY_PRJ_PARAMS params;
    std::string proj;  // PROJ operation, ellipsoid added
    double lat0, lat1, lon0, lon1;  // area of the test points, degrees
};

// Projects a grid of points with both and compares, under 1 mm.
void checkCase(const Case& c) {
    SCOPED_TRACE(c.what);
    const EM::ELL_EXTPAR e = ellipsoid(c.ell);
    EM::ANY_PRJ_EXTPAR x;
    EM::initProj(e, c.params, x);
    std::vector<std::string> lines;
    std::vector<std::array<double, 2>> ours;
    const int n = 7;
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j) {
            const double lat = c.lat0 + (c.lat1 - c.lat0) * i / (n - 1);
            const double lon = c.lon0 + (c.lon1 - c.lon0) * j / (n - 1);
            double E = NAN, N = NAN;
            ASSERT_TRUE(EM::BLH_Proj(x, lat * kDeg, lon * kDeg, E, N)) << lat << " " << lon;
            ours.push_back({E, N});
            lines.push_back(num(lon) + " " + num(lat) + " 0 0");
        }
    const auto ref = runTool("cct -d 6 " + c.proj + ellArgs(e), lines);
    ASSERT_EQ(ref.size(), ours.size());
    for (size_t k = 0; k < ours.size(); ++k) {
        EXPECT_NEAR(ours[k][0], ref[k][0], 1e-3) << lines[k];
        EXPECT_NEAR(ours[k][1], ref[k][1], 1e-3) << lines[k];
    }
}
}  // namespace

TEST(GeodesyProjection, TransverseMercatorAgreesWithProj) {
    const Case cases[] = {
        {"UTM 32N", DtmList::ELL_WE, prj(EM::PRJ_TM, 0, 9, 0.9996, 0, 500000),
         "+proj=tmerc +lat_0=0 +lon_0=9 +k_0=0.9996 +x_0=500000 +y_0=0", 40, 62, 6, 12},
        {"UTM 19S", DtmList::ELL_WE, prj(EM::PRJ_TM, 0, -69, 0.9996, 10000000, 500000),
         "+proj=tmerc +lat_0=0 +lon_0=-69 +k_0=0.9996 +x_0=500000 +y_0=10000000", -55, -5, -72, -66},
        {"British grid", DtmList::ELL_AA, prj(EM::PRJ_TM, 49, -2, 0.9996012717, -100000, 400000),
         "+proj=tmerc +lat_0=49 +lon_0=-2 +k_0=0.9996012717 +x_0=400000 +y_0=-100000", 49.5, 60, -5.5, 1.5},
        {"southern origin", DtmList::ELL_CD, prj(EM::PRJ_TM, -30, 25, 1.0, 1000, 2000),
         "+proj=tmerc +lat_0=-30 +lon_0=25 +k_0=1 +x_0=2000 +y_0=1000", -35, -22, 22, 28},
        {"across the date line", DtmList::ELL_IN, prj(EM::PRJ_TM, 0, 177, 0.9996, 0, 500000),
         "+proj=tmerc +lat_0=0 +lon_0=177 +k_0=0.9996 +x_0=500000 +y_0=0", -20, 20, 175, 182},
    };
    for (const auto& c : cases) checkCase(c);
}

TEST(GeodesyProjection, SouthOrientatedTransverseMercatorGivesWestingAndSouthing) {
    // PROJ's wsu axes negate after adding the false origin; passing the negated false
    // origin gives W = FE - x and S = FN - y.
    const Case cases[] = {
        {"Lo29", DtmList::ELL_WE, prj(EM::PRJ_TMS, 0, 29, 1.0, 0, 0),
         "+proj=tmerc +lat_0=0 +lon_0=29 +k_0=1 +x_0=0 +y_0=0 +axis=wsu", -34, -22, 27.5, 30.5},
        {"with false origin", DtmList::ELL_WE, prj(EM::PRJ_TMS, 0, 31, 1.0, 2000, 1000),
         "+proj=tmerc +lat_0=0 +lon_0=31 +k_0=1 +x_0=-1000 +y_0=-2000 +axis=wsu", -30, -22, 29.5, 32.5},
    };
    for (const auto& c : cases) checkCase(c);
}

TEST(GeodesyProjection, TransverseMercatorWithinThreeAndAHalfDegreesAgreesWithExactTm) {
    std::mt19937 g(23);
    std::uniform_real_distribution<double> lat(-84.0, 84.0), dl(-3.5, 3.5);
    for (int ei : {DtmList::ELL_WE, DtmList::ELL_BR, DtmList::ELL_CD}) {
        SCOPED_TRACE(ei);
        const EM::ELL_EXTPAR e = ellipsoid(ei);
        const double lon0 = 15.0, k0 = 0.9996;
        EM::ANY_PRJ_EXTPAR x;
        EM::initProj(e, prj(EM::PRJ_TM, 0, lon0, k0, 0, 0), x);
        std::vector<std::string> lines;
        std::vector<std::array<double, 2>> ours;
        for (int i = 0; i < 200; ++i) {
            double la = lat(g), lo = lon0 + dl(g);
            if (i < 4) {
                la = i < 2 ? 0.0 : -0.0001;
                lo = lon0 + (i % 2 ? 3.5 : -3.5);
            }
            double E, N;
            ASSERT_TRUE(EM::BLH_Proj(x, la * kDeg, lo * kDeg, E, N));
            ours.push_back({E, N});
            lines.push_back(num(la) + " " + num(lo));
        }
        const auto ref = runTool("TransverseMercatorProj -p 6 -l " + num(lon0) + " -k " + num(k0) + " -e " +
                                     num(e.a) + " 1/" + num(e.rf),
                                 lines);
        ASSERT_EQ(ref.size(), ours.size());
        for (size_t k = 0; k < ours.size(); ++k) {
            EXPECT_NEAR(ours[k][0], ref[k][0], 1e-3) << lines[k];
            EXPECT_NEAR(ours[k][1], ref[k][1], 1e-3) << lines[k];
        }
    }
}

TEST(GeodesyProjection, StereographicAgreesWithProj) {
    const Case cases[] = {
        {"north polar", DtmList::ELL_WE, prj(EM::PRJ_STER, 90, 0, 0.994, 2000000, 2000000),
         "+proj=stere +lat_0=90 +lon_0=0 +k_0=0.994 +x_0=2000000 +y_0=2000000", 80, 89.99, -180, 180},
        {"south polar", DtmList::ELL_WE, prj(EM::PRJ_STER, -90, 0, 0.994, 2000000, 2000000),
         "+proj=stere +lat_0=-90 +lon_0=0 +k_0=0.994 +x_0=2000000 +y_0=2000000", -89.99, -78, -180, 180},
        {"south polar turned", DtmList::ELL_IN, prj(EM::PRJ_STER, -90, 140, 1.0, 100, 300),
         "+proj=stere +lat_0=-90 +lon_0=140 +k_0=1 +x_0=300 +y_0=100", -89, -60, 100, 170},
        {"oblique north", DtmList::ELL_BR, prj(EM::PRJ_STER, 52, 5, 0.9999, 463000, 155000),
         "+proj=stere +lat_0=52 +lon_0=5 +k_0=0.9999 +x_0=155000 +y_0=463000", 49, 55, 1, 9},
        {"oblique south", DtmList::ELL_WE, prj(EM::PRJ_STER, -35, 150, 1.0, 0, 0),
         "+proj=stere +lat_0=-35 +lon_0=150 +k_0=1 +x_0=0 +y_0=0", -40, -30, 145, 155},
        {"equatorial", DtmList::ELL_WE, prj(EM::PRJ_STER, 0, 10, 0.9999, 50, 60),
         "+proj=stere +lat_0=0 +lon_0=10 +k_0=0.9999 +x_0=60 +y_0=50", -8, 8, 4, 16},
    };
    for (const auto& c : cases) checkCase(c);
}

TEST(GeodesyProjection, PolarOriginMapsItsPoleToTheFalseOrigin) {
    const EM::ELL_EXTPAR e = ellipsoid(DtmList::ELL_WE);
    for (double lat0 : {90.0, -90.0}) {
        EM::ANY_PRJ_EXTPAR x;
        EM::initProj(e, prj(EM::PRJ_STER, lat0, 0, 0.994, 2000000, 2000000), x);
        double E = 0, N = 0;
        ASSERT_TRUE(EM::BLH_Proj(x, lat0 * kDeg, 1.0, E, N)) << lat0;
        EXPECT_EQ(E, 2000000.0);
        EXPECT_EQ(N, 2000000.0);
        // The opposite pole lies at infinity.
        E = N = 7.0;
        EXPECT_FALSE(EM::BLH_Proj(x, -lat0 * kDeg, 0.0, E, N));
        EXPECT_EQ(E, 7.0);
        EXPECT_EQ(N, 7.0);
    }
    // An oblique origin still refuses both poles and leaves the outputs alone.
    EM::ANY_PRJ_EXTPAR x;
    EM::initProj(e, prj(EM::PRJ_STER, 60, 10, 1.0, 0, 0), x);
    for (double pole : {90.0, -90.0}) {
        double E = 7.0, N = 7.0;
        EXPECT_FALSE(EM::BLH_Proj(x, pole * kDeg, 0.0, E, N));
        EXPECT_EQ(E, 7.0);
        EXPECT_EQ(N, 7.0);
    }
}

TEST(GeodesyProjection, LambertConicAgreesWithProj) {
    const Case cases[] = {
        {"1SP Jamaica", DtmList::ELL_CC, lcc(EM::PRJ_LCC1SP, 18, -77, 1.0, 150000, 250000, 0, 0),
         "+proj=lcc +lat_1=18 +lat_0=18 +lon_0=-77 +k_0=1 +x_0=250000 +y_0=150000", 17.5, 18.6, -78.5, -76},
        {"1SP south", DtmList::ELL_WE, lcc(EM::PRJ_LCC1SP, -30, 135, 0.9999, 2000000, 1000000, 0, 0),
         "+proj=lcc +lat_1=-30 +lat_0=-30 +lon_0=135 +k_0=0.9999 +x_0=1000000 +y_0=2000000", -38, -22, 128, 142},
        {"2SP Texas with scale", DtmList::ELL_CC,
         lcc(EM::PRJ_LCC2SP, 27.833333333333333, -99, 0.9999, 100, 600000, 28.383333333333333, 30.283333333333333),
         "+proj=lcc +lat_0=27.833333333333333 +lon_0=-99 +lat_1=28.383333333333333 +lat_2=30.283333333333333 "
         "+k_0=0.9999 +x_0=600000 +y_0=100",
         26, 31, -101, -94},
        {"2SP south", DtmList::ELL_RF, lcc(EM::PRJ_LCC2SP, -32, 135, 1.0, 0, 0, -28, -36),
         "+proj=lcc +lat_0=-32 +lon_0=135 +lat_1=-28 +lat_2=-36 +x_0=0 +y_0=0", -40, -24, 125, 145},
        {"west-orientated", DtmList::ELL_IN, lcc(EM::PRJ_LCCW, 55, 10, 0.9999, 50000, 100000, 0, 0),
         "+proj=lcc +lat_1=55 +lat_0=55 +lon_0=10 +k_0=0.9999 +x_0=-100000 +y_0=50000 +axis=wnu", 52, 58, 5, 15},
    };
    for (const auto& c : cases) checkCase(c);
}

TEST(GeodesyProjection, TwoParallelLambertOriginCarriesTheScaleFactor) {
    // The false origin maps to (FE, FN) whatever the scale factor.
    const EM::ELL_EXTPAR e = ellipsoid(DtmList::ELL_CC);
    EM::ANY_PRJ_EXTPAR x;
    EM::initProj(e, lcc(EM::PRJ_LCC2SP, 27.8333, -99, 0.9996, 123.0, 456.0, 28.3833, 30.2833), x);
    double E, N;
    ASSERT_TRUE(EM::BLH_Proj(x, 27.8333 * kDeg, -99 * kDeg, E, N));
    EXPECT_NEAR(E, 456.0, 1e-6);
    EXPECT_NEAR(N, 123.0, 1e-6);
}

TEST(GeodesyProjection, MercatorAgreesWithProj) {
    const Case cases[] = {
        {"standard parallel", DtmList::ELL_KA, prj(EM::PRJ_MC, 42, 51, 1.0, 0, 0),
         "+proj=merc +lat_ts=42 +lon_0=51 +x_0=0 +y_0=0", 35, 55, 45, 58},
        {"scale factor", DtmList::ELL_BR, prj(EM::PRJ_MC, 0, 110, 0.997, 900000, 3900000),
         "+proj=merc +lon_0=110 +k_0=0.997 +x_0=3900000 +y_0=900000", -12, 8, 95, 140},
        {"southern", DtmList::ELL_WE, prj(EM::PRJ_MC, -20, -50, 1.0, 10, 20),
         "+proj=merc +lat_ts=-20 +lon_0=-50 +x_0=20 +y_0=10", -70, -1, -80, -20},
    };
    for (const auto& c : cases) checkCase(c);
}

TEST(GeodesyProjection, CassiniAgreesWithProj) {
    const Case cases[] = {
        {"Trinidad", DtmList::ELL_CD, prj(EM::PRJ_CS, 10.441666666666666, -61.333333333333333, 1.0, 325000, 430000),
         "+proj=cass +lat_0=10.441666666666666 +lon_0=-61.333333333333333 +x_0=430000 +y_0=325000", 9.8, 11.2,
         -62, -60.5},
        {"southern", DtmList::ELL_WE, prj(EM::PRJ_CS, -33, 18, 1.0, 0, 0),
         "+proj=cass +lat_0=-33 +lon_0=18 +x_0=0 +y_0=0", -34.5, -31.5, 17, 19},
    };
    for (const auto& c : cases) checkCase(c);
}

TEST(GeodesyProjection, ObliqueAndDoubleStereographicAgreeWithProj) {
    for (int type : {EM::PRJ_OS, EM::PRJ_DS}) {
        const Case cases[] = {
            {"Netherlands", DtmList::ELL_BR, prj(type, 52.15616055555555, 5.38763888888889, 0.9999079, 463000, 155000),
             "+proj=sterea +lat_0=52.15616055555555 +lon_0=5.38763888888889 +k=0.9999079 +x_0=155000 +y_0=463000",
             50.5, 53.8, 3, 7.5},
            {"southern", DtmList::ELL_WE, prj(type, -34, 19, 1.0, 100, 200),
             "+proj=sterea +lat_0=-34 +lon_0=19 +k=1 +x_0=200 +y_0=100", -38, -26, 14, 24},
            {"equator crossing", DtmList::ELL_IN, prj(type, -2, 30, 0.9999, 0, 0),
             "+proj=sterea +lat_0=-2 +lon_0=30 +k=0.9999 +x_0=0 +y_0=0", -6, 3, 27, 33},
        };
        for (const auto& c : cases) checkCase(c);
    }
}

TEST(GeodesyProjection, ObliqueMercatorAgreesWithProj) {
    const Case cases[] = {
        {"Borneo", DtmList::ELL_EB, om(4, 115, 53.31582047222222, 53.13010236111111, 0.99984, 442857.65, 590476.87),
         "+proj=omerc +lat_0=4 +lonc=115 +alpha=53.31582047222222 +gamma=53.13010236111111 +k_0=0.99984 "
         "+x_0=590476.87 +y_0=442857.65",
         1, 7, 110, 119},
        {"southern", DtmList::ELL_IN, om(-18.9, 46.43722916666667, 18.9, 18.9, 0.9995, 800000, 400000),
         "+proj=omerc +lat_0=-18.9 +lonc=46.43722916666667 +alpha=18.9 +gamma=18.9 +k_0=0.9995 +x_0=400000 "
         "+y_0=800000",
         -25, -12, 43, 50},
        {"Alaska-like", DtmList::ELL_RF, om(57, -133.66666666666667, -36.86989764583333, -36.86989764583333, 0.9999,
                                            -5000000, 5000000),
         "+proj=omerc +lat_0=57 +lonc=-133.66666666666667 +alpha=-36.86989764583333 +gamma=-36.86989764583333 "
         "+k_0=0.9999 +x_0=5000000 +y_0=-5000000",
         54, 60, -141, -129},
    };
    for (const auto& c : cases) checkCase(c);
}

TEST(GeodesyProjection, UnknownTypePreparesNothingAndProjectsNothing) {
    const EM::ELL_EXTPAR e = ellipsoid(DtmList::ELL_WE);
    for (int type : {0, 12, -1}) {
        EM::ANY_PRJ_PARAMS p = prj(EM::PRJ_TM, 0, 0, 1, 0, 0);
        p.type = type;
        EM::ANY_PRJ_EXTPAR x{};
        EM::initProj(e, p, x);
        EXPECT_EQ(x.type, type);
        double E = 5, N = 6;
        EXPECT_FALSE(EM::BLH_Proj(x, 0.5, 0.5, E, N));
        EXPECT_EQ(E, 5);
        EXPECT_EQ(N, 6);
    }
}

TEST(GeodesyProjection, TransverseMercatorOnTheCentralMeridian) {
    // At the central meridian the easting is FE and the northing FN + M(phi) - M0.
    const EM::ELL_EXTPAR e = ellipsoid(DtmList::ELL_WE);
    EM::ANY_PRJ_EXTPAR x0, x;
    EM::initProj(e, prj(EM::PRJ_TM, 0, 9, 0.9996, 0, 500000), x0);
    EM::initProj(e, prj(EM::PRJ_TM, 30, 9, 0.9996, 77, 500000), x);
    for (double lat : {-60.0, -10.0, 0.0, 30.0, 45.0, 80.0}) {
        double E0, N0, E, N;
        ASSERT_TRUE(EM::BLH_Proj(x0, lat * kDeg, 9 * kDeg, E0, N0));
        ASSERT_TRUE(EM::BLH_Proj(x, lat * kDeg, 9 * kDeg, E, N));
        EXPECT_EQ(E0, 500000.0);
        EXPECT_EQ(E, 500000.0);
        double M30, dummy;
        EM::BLH_Proj(x0, 30 * kDeg, 9 * kDeg, dummy, M30);
        EXPECT_NEAR(N, 77.0 + N0 - M30, 1e-8);
    }
    // BLH_UTM itself returns the northing first.
    double N, E;
    EM::BLH_UTM(x.utm, 31 * kDeg, 10 * kDeg, N, E);
    double E2, N2;
    EM::BLH_Proj(x, 31 * kDeg, 10 * kDeg, E2, N2);
    EXPECT_EQ(N, N2);
    EXPECT_EQ(E, E2);
}

TEST(GeodesyProjection, OsIsometricLatitudeIsOddInLatitude) {
    EXPECT_DOUBLE_EQ(EM::atanhSafe(-0.5), -EM::atanhSafe(0.5));
    EXPECT_NEAR(EM::atanhSafe(-0.3), std::atanh(-0.3), 1e-15);
    EXPECT_EQ(EM::atanhSafe(1.0), HUGE_VAL);
    EXPECT_EQ(EM::atanhSafe(-1.0), -HUGE_VAL);
    // An origin on the equator maps mirrored latitudes to mirrored northings.
    const EM::ELL_EXTPAR e = ellipsoid(DtmList::ELL_WE);
    EM::ANY_PRJ_EXTPAR x;
    EM::initProj(e, prj(EM::PRJ_OS, 0, 20, 1.0, 0, 0), x);
    for (double lat : {0.5, 5.0, 20.0}) {
        double En, Nn, Es, Ns;
        ASSERT_TRUE(EM::BLH_Proj(x, lat * kDeg, 22 * kDeg, En, Nn));
        ASSERT_TRUE(EM::BLH_Proj(x, -lat * kDeg, 22 * kDeg, Es, Ns));
        EXPECT_NEAR(Es, En, 1e-6);
        EXPECT_NEAR(Ns, -Nn, 1e-6);
    }
}
