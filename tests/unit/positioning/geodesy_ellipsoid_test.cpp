// Geodetic and Cartesian coordinates against GeographicLib's CartConvert run at test time.
#include <gtest/gtest.h>

#include <cmath>
#include <array>
#include <random>
#include <string>
#include <vector>

#include "positioning/geodesy/ell_math.h"
#include "unit/positioning/geodesy_oracle.h"

using namespace geodesy_test;

namespace {
EllMath::ELL_EXTPAR ellipsoid(int i) {
    DtmList::ELL_PARAMS p;
    EXPECT_TRUE(DtmList::getEll(i, &p));
    EllMath::ELL_EXTPAR e;
    EllMath::setEllPar(p, &e);
    return e;
}
std::string cartConvert(const EllMath::ELL_EXTPAR& e, bool reverse) {
    return std::string("CartConvert ") + (reverse ? "-r " : "") + "-p 9 -e " + num(e.a) + " 1/" + num(e.rf);
}
}  // namespace

TEST(GeodesyEllipsoid, DerivedParametersOfWgs84) {
    const EllMath::ELL_EXTPAR e = ellipsoid(DtmList::ELL_WE);
    // Published WGS 84 constants (NIMA TR8350.2, table 3.3).
    EXPECT_NEAR(e.b, 6356752.3142, 1e-4);
    EXPECT_NEAR(e.e2, 6.69437999014e-3, 1e-14);
    EXPECT_NEAR(e.ep2, 6.73949674228e-3, 1e-14);
    EXPECT_NEAR(e.e, 8.1819190842622e-2, 1e-13);
    EXPECT_EQ(e.rf, 298.257223563);
    EXPECT_NEAR(EllExt.a, e.a, 0.0);
    EXPECT_NEAR(EllExt.b, e.b, 1e-8);
    EXPECT_NEAR(EllExt.e, e.e, 1e-16);
    EXPECT_NEAR(EllExt.e2, e.e2, 1e-17);
    EXPECT_NEAR(EllExt.ep, e.ep, 1e-16);
    EXPECT_NEAR(EllExt.ep2, e.ep2, 1e-17);
}

TEST(GeodesyEllipsoid, GeodeticToCartesianAgreesWithGeographicLib) {
    std::mt19937 g(17);
    std::uniform_real_distribution<double> lat(-90.0, 90.0), lon(-180.0, 180.0), h(-1000.0, 20000.0);
    for (int ei : {DtmList::ELL_WE, DtmList::ELL_CD, DtmList::ELL_KA, DtmList::ELL_AA, DtmList::ELL_PE}) {
        SCOPED_TRACE(ei);
        const EllMath::ELL_EXTPAR e = ellipsoid(ei);
        std::vector<std::array<double, 3>> blh;
        std::vector<std::string> lines;
        for (int i = 0; i < 60; ++i) {
            std::array<double, 3> p{lat(g), lon(g), h(g)};
            if (i == 0) p = {90.0, 10.0, 100.0};
            if (i == 1) p = {-90.0, 0.0, -50.0};
            if (i == 2) p = {0.0, 180.0, 0.0};
            blh.push_back(p);
            lines.push_back(num(p[0]) + " " + num(p[1]) + " " + num(p[2]));
        }
        const auto xyz = runTool(cartConvert(e, false), lines);
        ASSERT_EQ(xyz.size(), blh.size());
        std::vector<std::string> back;
        for (size_t i = 0; i < blh.size(); ++i) {
            double X, Y, Z;
            EllMath::BLH_XYZ(e, blh[i][0] * kDeg, blh[i][1] * kDeg, blh[i][2], X, Y, Z);
            EXPECT_NEAR(X, xyz[i][0], 1e-6);
            EXPECT_NEAR(Y, xyz[i][1], 1e-6);
            EXPECT_NEAR(Z, xyz[i][2], 1e-6);
            back.push_back(num(xyz[i][0]) + " " + num(xyz[i][1]) + " " + num(xyz[i][2]));
        }
        // Cartesian to geodetic: the one-step solution against GeographicLib's exact one.
        const auto geo = runTool(cartConvert(e, true), back);
        ASSERT_EQ(geo.size(), blh.size());
        for (size_t i = 0; i < blh.size(); ++i) {
            double B, L, H;
            EllMath::XYZ_BLH(e, xyz[i][0], xyz[i][1], xyz[i][2], B, L, H);
            EXPECT_NEAR(B / kDeg, geo[i][0], 1e-9) << i;  // 0.1 mm
            if (std::fabs(geo[i][0]) < 89.9999) {
                double dl = L / kDeg - geo[i][1];
                dl -= 360.0 * std::round(dl / 360.0);
                EXPECT_NEAR(dl, 0.0, 1e-9) << i;
            }
            EXPECT_NEAR(H, geo[i][2], 1e-4) << i;
        }
    }
}

TEST(GeodesyEllipsoid, IogpGeographicToGeocentricExample) {
    // IOGP Guidance Note 7-2, geographic/geocentric conversions (EPSG 9602), WGS 84:
    // 53 deg 48' 33.820" N, 2 deg 07' 46.380" E, h = 73.0 m <-> X 3771793.968, Y 140253.342, Z 5124304.349.
    const double B = (53 + 48 / 60.0 + 33.820 / 3600) * kDeg, L = (2 + 7 / 60.0 + 46.380 / 3600) * kDeg;
    double X, Y, Z;
    EllMath::BLH_XYZ(EllExt, B, L, 73.0, X, Y, Z);
    EXPECT_NEAR(X, 3771793.968, 1e-3);
    EXPECT_NEAR(Y, 140253.342, 1e-3);
    EXPECT_NEAR(Z, 5124304.349, 1e-3);
    double b, l, h;
    EllMath::XYZ_BLH(EllExt, 3771793.968, 140253.342, 5124304.349, b, l, h);
    EXPECT_NEAR(b, B, 1.6e-10);  // 1 mm
    EXPECT_NEAR(l, L, 1.6e-10);
    EXPECT_NEAR(h, 73.0, 1e-3);
}

TEST(GeodesyEllipsoid, RoundTripOverTheWholeEarth) {
    std::mt19937 g(5);
    std::uniform_real_distribution<double> lat(-90.0, 90.0), lon(-180.0, 180.0), h(-5000.0, 50000.0);
    for (int i = 0; i < 2000; ++i) {
        const double B = lat(g) * kDeg, L = lon(g) * kDeg, H = h(g);
        double X, Y, Z, b, l, hh;
        EllMath::BLH_XYZ(EllExt, B, L, H, X, Y, Z);
        EllMath::XYZ_BLH(EllExt, X, Y, Z, b, l, hh);
        EXPECT_NEAR(b, B, 1e-10);
        EXPECT_NEAR(hh, H, 1e-3);
        EXPECT_NEAR(std::cos(B) * std::remainder(l - L, 2 * M_PI), 0.0, 1e-12);
    }
}

TEST(GeodesyEllipsoid, LocalGridRotatesScalesShiftsAndTilts) {
    EllMath::LOCAL_PARAMS lp{};
    lp.uO = 1000.0;
    lp.vO = -500.0;
    lp.k = 1.0001;
    lp.alpha = 90.0;
    lp.t1 = 1e-5;
    lp.t2 = -2e-5;
    lp.H0 = 3.0;
    double u, v, H;
    EllMath::Grid_Local(lp, 100.0, 200.0, 50.0, u, v, H);
    EXPECT_NEAR(u, 1000.0 - 200.0 * 1.0001, 1e-9);
    EXPECT_NEAR(v, -500.0 + 100.0 * 1.0001, 1e-9);
    EXPECT_NEAR(H, 50.0 + 3.0 + 1e-3 - 4e-3, 1e-12);
    lp.alpha = 0.0;
    lp.k = 1.0;
    EllMath::Grid_Local(lp, 100.0, 200.0, 50.0, u, v, H);
    EXPECT_DOUBLE_EQ(u, 1100.0);
    EXPECT_DOUBLE_EQ(v, -300.0);
}
