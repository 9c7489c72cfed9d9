// Geodetic and Cartesian coordinates against GeographicLib's CartConvert run at test time and
// against IOGP Publication 373-7-2; random, extreme and non-finite input to every routine.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <limits>
#include <random>

#include "unit/positioning/geodesy_oracle.h"

using namespace geodesy_test;

TEST(GeodesyEllipsoid, DerivedParametersOfWgs84) {
    const EM::ELL_EXTPAR e = ellipsoid(DtmList::ELL_WE);
    // Published WGS 84 constants (NIMA TR8350.2, table 3.3).
    EXPECT_NEAR(e.b, 6356752.3142, 1e-4);
    EXPECT_NEAR(e.e2, 6.69437999014e-3, 1e-14);
    EXPECT_NEAR(e.ep2, 6.73949674228e-3, 1e-14);
    EXPECT_NEAR(e.e, 8.1819190842622e-2, 1e-13);
    const double ext[] = {EllExt.a, EllExt.b, EllExt.e, EllExt.e2, EllExt.ep, EllExt.ep2};
    const double got[] = {e.a, e.b, e.e, e.e2, e.ep, e.ep2};
    const double tol[] = {0, 1e-8, 1e-16, 1e-17, 1e-16, 1e-17};
    for (int k = 0; k < 6; ++k) EXPECT_NEAR(ext[k], got[k], tol[k]) << k;
}

TEST(GeodesyEllipsoid, GeodeticToCartesianAgreesWithGeographicLib) {
    std::mt19937 g(17);
    std::uniform_real_distribution<double> lat(-90.0, 90.0), lon(-180.0, 180.0), h(-1000.0, 20000.0);
    for (int ei : {DtmList::ELL_WE, DtmList::ELL_CD, DtmList::ELL_KA, DtmList::ELL_AA, DtmList::ELL_PE}) {
        SCOPED_TRACE(ei);
        const EM::ELL_EXTPAR e = ellipsoid(ei);
        const std::string args = " -p 9 -e " + num(e.a) + " 1/" + num(e.rf);
        const double fixed[3][3] = {{90.0, 10.0, 100.0}, {-90.0, 0.0, -50.0}, {0.0, 180.0, 0.0}};
        std::vector<std::array<double, 3>> blh;
        std::vector<std::string> lines, back;
        for (int i = 0; i < 60; ++i) {
            std::array<double, 3> p{lat(g), lon(g), h(g)};
            if (i < 3) p = {fixed[i][0], fixed[i][1], fixed[i][2]};
            blh.push_back(p);
            lines.push_back(num(p[0]) + " " + num(p[1]) + " " + num(p[2]));
        }
        const auto xyz = runTool("CartConvert" + args, lines);
        ASSERT_EQ(xyz.size(), blh.size());
        for (size_t i = 0; i < blh.size(); ++i) {
            double X, Y, Z;
            EM::BLH_XYZ(e, blh[i][0] * kDeg, blh[i][1] * kDeg, blh[i][2], X, Y, Z);
            EXPECT_NEAR(X, xyz[i][0], 1e-6);
            EXPECT_NEAR(Y, xyz[i][1], 1e-6);
            EXPECT_NEAR(Z, xyz[i][2], 1e-6);
            back.push_back(num(xyz[i][0]) + " " + num(xyz[i][1]) + " " + num(xyz[i][2]));
        }
        // Cartesian to geodetic: the one-step solution against GeographicLib's exact one.
        const auto geo = runTool("CartConvert -r" + args, back);
        ASSERT_EQ(geo.size(), blh.size());
        for (size_t i = 0; i < blh.size(); ++i) {
            double B, L, H;
            EM::XYZ_BLH(e, xyz[i][0], xyz[i][1], xyz[i][2], B, L, H);
            EXPECT_NEAR(B / kDeg, geo[i][0], 1e-9) << i;  // 0.1 mm
            const bool pole = std::fabs(geo[i][0]) >= 89.9999;
            EXPECT_NEAR(pole ? 0.0 : std::remainder(L / kDeg - geo[i][1], 360.0), 0.0, 1e-9) << i;
            EXPECT_NEAR(H, geo[i][2], 1e-4) << i;
        }
    }
}

TEST(GeodesyEllipsoid, IogpExamples) {
    // EPSG 9602, WGS 84: 53 deg 48' 33.820" N, 2 deg 07' 46.380" E, h = 73.0 m <->
    // X 3771793.968, Y 140253.342, Z 5124304.349.
    const double B = dms(53, 48, 33.820) * kDeg, L = dms(2, 7, 46.380) * kDeg;
    double X, Y, Z, b, l, h;
    EM::BLH_XYZ(EllExt, B, L, 73.0, X, Y, Z);
    EXPECT_NEAR(X, 3771793.968, 1e-3);
    EXPECT_NEAR(Y, 140253.342, 1e-3);
    EXPECT_NEAR(Z, 5124304.349, 1e-3);
    EM::XYZ_BLH(EllExt, 3771793.968, 140253.342, 5124304.349, b, l, h);
    EXPECT_NEAR(b, B, 1.6e-10);  // 1 mm
    EXPECT_NEAR(l, L, 1.6e-10);
    EXPECT_NEAR(h, 73.0, 1e-3);
    // EPSG 1032 / 9607, WGS 72 to WGS 84: tZ = +4.5 m, rZ = -0.554", dS = +0.219 ppm;
    // X 3657660.66, Y 255768.55, Z 5201382.11 -> X 3657660.78, Y 255778.43, Z 5201387.75.
    DtmList::DATUM_PARAMS_STORE s{"WGS72", 0, 0, 4.5, 0, 0, -0.554, 0.219};
    const double wgs72[3] = {3657660.66, 255768.55, 5201382.11}, wgs84[3] = {3657660.78, 255778.43, 5201387.75};
    for (bool full : {false, true}) {
        DtmList::DATUM_PARAMS_COMPUTE c;
        DtmList::transform(s, &c, DtmList::kStoredDatumToWgs84, full);
        double to84[3], to72[3];
        DatumConv::transInverse(false, c, wgs72, to84);
        DatumConv::transDirect(false, c, wgs84, to72);
        for (int k = 0; k < 3; ++k) {
            EXPECT_NEAR(to84[k], wgs84[k], 0.006);
            EXPECT_NEAR(to72[k], wgs72[k], 0.006);
        }
    }
}

TEST(GeodesyEllipsoid, LocalGridRotatesScalesShiftsAndTilts) {
    EM::LOCAL_PARAMS lp{};
    lp.uO = 1000.0, lp.vO = -500.0, lp.k = 1.0001, lp.alpha = 90.0, lp.t1 = 1e-5, lp.t2 = -2e-5, lp.H0 = 3.0;
    double u, v, H;
    EM::Grid_Local(lp, 100.0, 200.0, 50.0, u, v, H);
    EXPECT_NEAR(u, 1000.0 - 200.0 * 1.0001, 1e-9);
    EXPECT_NEAR(v, -500.0 + 100.0 * 1.0001, 1e-9);
    EXPECT_NEAR(H, 50.0 + 3.0 + 1e-3 - 4e-3, 1e-12);
    lp.alpha = 0.0, lp.k = 1.0;
    EM::Grid_Local(lp, 100.0, 200.0, 50.0, u, v, H);
    EXPECT_DOUBLE_EQ(u, 1100.0);
    EXPECT_DOUBLE_EQ(v, -300.0);
}

// Nothing may crash or read outside its tables (the sanitizer build checks), and refusals leave
// outputs alone.
namespace {
double pick(std::mt19937& g) {
    constexpr double inf = std::numeric_limits<double>::infinity();
    static const double specials[] = {0.0,  -0.0,   M_PI / 2, -M_PI / 2, M_PI, -M_PI,
                                      1e-300, 1e300, -1e300, std::numeric_limits<double>::quiet_NaN(), inf, -inf};
    std::uniform_int_distribution<int> which(0, 3), idx(0, std::size(specials) - 1);
    std::uniform_real_distribution<double> small(-4.0, 4.0), big(-1e7, 1e7);
    switch (which(g)) {
        case 0: return specials[idx(g)];
        case 1: return big(g);
        default: return small(g);
    }
}
}  // namespace

TEST(GeodesyRobustness, ProjectionsSurviveAnyParametersAndPoints) {
    std::mt19937 g(1234);
    std::uniform_int_distribution<int> type(-1, 13), ellIdx(0, DtmList::ELL_TOTAL - 1);
    for (int k = 0; k < 3000; ++k) {
        const EM::ELL_EXTPAR e = ellipsoid(ellIdx(g));
        EM::ANY_PRJ_PARAMS p;
        std::memset(&p, 0, sizeof p);
        p.type = type(g);
        p.om = {p.type, 0, pick(g), pick(g), pick(g), pick(g), pick(g), pick(g), pick(g)};
        if (k % 2) p.prj.k0 = 1.0;
        EM::ANY_PRJ_EXTPAR x;
        std::memset(&x, 0, sizeof x);
        EM::initProj(e, p, x);
        for (int i = 0; i < 5; ++i) {
            double E = 3.0, N = 4.0;
            const double B = pick(g), L = pick(g);
            EXPECT_TRUE(EM::BLH_Proj(x, B, L, E, N) || (E == 3.0 && N == 4.0));
        }
    }
}

TEST(GeodesyRobustness, ConversionsAndGridSurviveAnyInput) {
    std::mt19937 g(99);
    for (int k = 0; k < 5000; ++k) {
        double B, L, H, X, Y, Z;
        EM::XYZ_BLH(EllExt, pick(g), pick(g), pick(g), B, L, H);
        EM::BLH_XYZ(EllExt, pick(g), pick(g), pick(g), X, Y, Z);
        DtmList::TRANSFORM_RESIDUALS r;
        std::memset(&r, 0, sizeof r);
        r.area = {pick(g), pick(g), static_cast<float>(pick(g)), static_cast<float>(pick(g))};
        r.horPresent = r.heightPresent = 1;
        const double ll[2] = {pick(g), pick(g)};
        double out[3] = {1, 2, 3};
        DatumConv::correctTransformation(&r, ll, out);
        DatumConv::checkDatArea(&r.area, ll, k % 3);
        const int sq = DatumConv::getGridSquaresIdx(&r.area, ll);
        EXPECT_TRUE(sq >= 0 && sq <= 9);
        DatumConv::getBiLinearIntrp(&r, ll, k % 12 - 1, k % 4);
    }
}
