#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <random>

#include "positioning/nav_tools.h"
#include "unit/positioning/geodesy_oracle.h"

using namespace geodesy_test;

namespace {

TEST(NavTools, RotationMatchesGeographicLibLocalFrame) {
    const double origins[][3] = {{48.0, 11.4, 500}, {-33.9, 151.2, 40}, {-54.8, -68.3, 10}, {0.5, -0.5, 0},
                                 {78.2, 15.6, 5},   {-89.5, 120.0, 2800}, {0.0, 0.0, 0},    {89.6, -179.9, 0}};
    const double offsets[][3] = {{0, 0, 0}, {0.1, 0.1, 100}, {-0.05, 0.2, -30}, {0.3, -0.4, 2000}};
    for (const auto& o : origins) {
        std::vector<std::string> lines;
        for (const auto& d : offsets)
            lines.push_back(num(o[0] + d[0]) + " " + num(o[1] + d[1]) + " " + num(o[2] + d[2]));
        const auto ecef = runTool("CartConvert -p 9", lines), local = runTool("CartConvert -p 9 -l " + lines[0], lines);
        ASSERT_TRUE(ecef.size() == 4 && local.size() == 4);
        for (std::size_t i = 1; i < 4; ++i) {
            double d[3] = {ecef[i][0] - ecef[0][0], ecef[i][1] - ecef[0][1], ecef[i][2] - ecef[0][2]}, got[3], back[3];
            const double neu[3] = {local[i][1], local[i][0], local[i][2]};
            Geometry::XYZ_NEU(o[0] * kDeg, o[1] * kDeg, d, got, false);
            Geometry::XYZ_NEU(o[0] * kDeg, o[1] * kDeg, neu, back, true);
            Geometry::XYZ_NEU(o[0] * kDeg, o[1] * kDeg, d, d, false);
            for (int k = 0; k < 3; ++k)
                EXPECT_TRUE(std::fabs(got[k] - neu[k]) < 1e-6 && std::fabs(d[k] - got[k]) < 1e-9 &&
                            std::fabs(back[k] - (ecef[i][k] - ecef[0][k])) < 1e-6) << lines[i] << " about " << lines[0];
        }
    }
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
        const auto geo = runTool("CartConvert -r" + args, back);
        ASSERT_EQ(geo.size(), blh.size());
        for (size_t i = 0; i < blh.size(); ++i) {
            double B, L, H;
            EM::XYZ_BLH(e, xyz[i][0], xyz[i][1], xyz[i][2], B, L, H);
            const double dL = std::fabs(geo[i][0]) >= 89.9999 ? 0.0 : std::remainder(L / kDeg - geo[i][1], 360.0);
            EXPECT_TRUE(std::fabs(B / kDeg - geo[i][0]) < 1e-9 && std::fabs(dL) < 1e-9 &&
                        std::fabs(H - geo[i][2]) < 1e-4)
                << back[i] << ": " << B / kDeg << " " << L / kDeg << " " << H;
        }
    }
}

// Random, extreme and non-finite input: no memory error, and refusals leave outputs alone.
double pick(std::mt19937& g) {
    constexpr double inf = std::numeric_limits<double>::infinity();
    static const double specials[] = {0.0,  -0.0,   M_PI / 2, -M_PI / 2, M_PI, -M_PI,
                                      1e-300, 1e300, -1e300, std::numeric_limits<double>::quiet_NaN(), inf, -inf};
    std::uniform_int_distribution<int> which(0, 3), idx(0, std::size(specials) - 1);
    std::uniform_real_distribution<double> small(-4.0, 4.0), big(-1e7, 1e7);
    const int w = which(g);
    return w == 0 ? specials[idx(g)] : w == 1 ? big(g) : small(g);
}

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

}  // namespace
