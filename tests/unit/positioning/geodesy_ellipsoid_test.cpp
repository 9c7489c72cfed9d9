// Geodetic and Cartesian coordinates against GeographicLib's CartConvert run at test time and against
// IOGP Publication 373-7-2; random, extreme and non-finite input to every routine.
#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <random>

#include "unit/positioning/geodesy_oracle.h"

using namespace geodesy_test;

TEST(GeodesyEllipsoid, DerivedParametersOfWgs84) {
    const EM::ELL_EXTPAR e = ellipsoid(DtmList::ELL_WE);
    // NIMA TR8350.2, table 3.3.
    EXPECT_NEAR(e.b, 6356752.3142, 1e-4);
    EXPECT_NEAR(e.e2, 6.69437999014e-3, 1e-14);
    EXPECT_NEAR(e.ep2, 6.73949674228e-3, 1e-14);
    EXPECT_NEAR(e.e, 8.1819190842622e-2, 1e-13);
}

TEST(GeodesyEllipsoid, GeodeticToCartesianAndBackAgreeWithGeographicLib) {
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
            blh.push_back(i < 3 ? std::array<double, 3>{fixed[i][0], fixed[i][1], fixed[i][2]}
                                : std::array<double, 3>{lat(g), lon(g), h(g)});
            lines.push_back(num(blh[i][0]) + " " + num(blh[i][1]) + " " + num(blh[i][2]));
        }
        const auto xyz = runTool("CartConvert" + args, lines);
        ASSERT_EQ(xyz.size(), blh.size());
        for (size_t i = 0; i < blh.size(); ++i) {
            double X, Y, Z;
            EM::BLH_XYZ(e, blh[i][0] * kDeg, blh[i][1] * kDeg, blh[i][2], X, Y, Z);
            EXPECT_TRUE(std::fabs(X - xyz[i][0]) < 1e-6 && std::fabs(Y - xyz[i][1]) < 1e-6 &&
                        std::fabs(Z - xyz[i][2]) < 1e-6) << lines[i];
            back.push_back(num(xyz[i][0]) + " " + num(xyz[i][1]) + " " + num(xyz[i][2]));
        }
        // The one-step solution against GeographicLib's exact one: 0.1 mm.
        const auto geo = runTool("CartConvert -r" + args, back);
        ASSERT_EQ(geo.size(), blh.size());
        for (size_t i = 0; i < blh.size(); ++i) {
            double B, L, H;
            EM::XYZ_BLH(e, xyz[i][0], xyz[i][1], xyz[i][2], B, L, H);
            const double dL = std::fabs(geo[i][0]) >= 89.9999 ? 0.0 : std::remainder(L / kDeg - geo[i][1], 360.0);
            EXPECT_TRUE(std::fabs(B / kDeg - geo[i][0]) < 1e-9 && std::fabs(dL) < 1e-9 && std::fabs(H - geo[i][2]) < 1e-4)
                << back[i] << ": " << B / kDeg << " " << L / kDeg << " " << H;
        }
    }
}

TEST(GeodesyEllipsoid, IogpExamples) {
    // EPSG 9602, WGS 84: 53 deg 48' 33.820" N, 2 deg 07' 46.380" E, h = 73.0 m <-> X 3771793.968,
    // Y 140253.342, Z 5124304.349.
    const double B = dms(53, 48, 33.820) * kDeg, L = dms(2, 7, 46.380) * kDeg, xyz[3] = {3771793.968, 140253.342, 5124304.349};
    double X[3], b, l, h;
    EM::BLH_XYZ(EllExt, B, L, 73.0, X[0], X[1], X[2]);
    for (int k = 0; k < 3; ++k) EXPECT_NEAR(X[k], xyz[k], 1e-3);
    EM::XYZ_BLH(EllExt, xyz[0], xyz[1], xyz[2], b, l, h);
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
}

// Nothing may crash or read outside its tables (the sanitizer build checks), and refusals leave outputs
// alone.
namespace {
double pick(std::mt19937& g) {
    constexpr double inf = std::numeric_limits<double>::infinity();
    static const double specials[] = {0.0,  -0.0,   M_PI / 2, -M_PI / 2, M_PI, -M_PI,
                                      1e-300, 1e300, -1e300, std::numeric_limits<double>::quiet_NaN(), inf, -inf};
    std::uniform_int_distribution<int> which(0, 3), idx(0, std::size(specials) - 1);
    std::uniform_real_distribution<double> small(-4.0, 4.0), big(-1e7, 1e7);
    const int w = which(g);
    return w == 0 ? specials[idx(g)] : w == 1 ? big(g) : small(g);
}
}  // namespace

TEST(GeodesyRobustness, ProjectionsConversionsAndGridSurviveAnyInput) {
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
    g.seed(99);
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
