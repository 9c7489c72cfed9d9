// Random, extreme and non-finite input to the geodesy routines: nothing may crash or
// read outside its tables (the sanitizer build checks), and refusals leave outputs alone.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>

#include "positioning/geodesy/datum_conv.h"
#include "positioning/geodesy/ell_math.h"

using EM = EllMath;

namespace {
double pick(std::mt19937& g) {
    static const double specials[] = {0.0,
                                      -0.0,
                                      M_PI / 2,
                                      -M_PI / 2,
                                      M_PI,
                                      -M_PI,
                                      1e-300,
                                      1e300,
                                      -1e300,
                                      std::numeric_limits<double>::quiet_NaN(),
                                      std::numeric_limits<double>::infinity(),
                                      -std::numeric_limits<double>::infinity()};
    std::uniform_int_distribution<int> which(0, 3);
    std::uniform_int_distribution<int> idx(0, std::size(specials) - 1);
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
        DtmList::ELL_PARAMS ep;
        ASSERT_TRUE(DtmList::getEll(ellIdx(g), &ep));
        EM::ELL_EXTPAR e;
        EM::setEllPar(ep, &e);
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
            if (!EM::BLH_Proj(x, B, L, E, N)) {
                EXPECT_EQ(E, 3.0);
                EXPECT_EQ(N, 4.0);
            }
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
        r.horPresent = 1;
        r.heightPresent = 1;
        const double ll[2] = {pick(g), pick(g)};
        double out[3] = {1, 2, 3};
        DatumConv::correctTransformation(&r, ll, out);
        DatumConv::checkDatArea(&r.area, ll, k % 3);
        const int sq = DatumConv::getGridSquaresIdx(&r.area, ll);
        EXPECT_GE(sq, 0);
        EXPECT_LE(sq, 9);
        DatumConv::getBiLinearIntrp(&r, ll, k % 12 - 1, k % 4);
    }
}
