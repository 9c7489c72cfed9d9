// Area of use and the residual grid of a received transformation.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "positioning/geodesy/datum_conv.h"

namespace {
constexpr double kDeg = M_PI / 180.0;
using Area = DtmList::DATA_USING_AREA;
using Res = DtmList::TRANSFORM_RESIDUALS;

// A residual field that varies linearly over the grid, so that bilinear interpolation
// reproduces it exactly anywhere inside.
double field(int comp, double y, double x) { return (comp + 1) * 0.5 + (comp + 2) * 0.25 * y - 0.125 * x; }

// Centre (0.5, 1.0) rad, spacing 0.25 rad in both directions: all binary fractions, so
// borders fall exactly.
Res makeGrid() {
    Res r;
    std::memset(&r, 0, sizeof r);
    r.area.lat = 0.5;
    r.area.lon = 1.0;
    r.area.extLat = 0.25f;
    r.area.extLon = 0.25f;
    r.base[0] = 0.01f;
    r.base[1] = -0.02f;
    r.base[2] = 0.5f;
    for (int row = 0; row < 4; ++row)
        for (int col = 0; col < 4; ++col)
            for (int c = 0; c < 3; ++c)
                r.grid[4 * row + col][c] = static_cast<float>(field(c, row - 1.5, col - 1.5));
    r.horPresent = 1;
    r.heightPresent = 1;
    return r;
}
}  // namespace

TEST(GeodesyArea, AcceptsAndRefusesPoints) {
    const Area a{50 * kDeg, 10 * kDeg, static_cast<float>(10 * kDeg), static_cast<float>(20 * kDeg)};
    struct Case {
        double lat, lon;
        int mode;
        bool inside;
    };
    const Case cases[] = {
        {50, 10, 0, true},      {55, 20, 0, true},       {55.9, 10, 0, true},   {56.1, 10, 0, false},
        {44.1, 10, 0, true},    {43.9, 10, 0, false},    {50, 21.9, 0, true},   {50, 22.1, 0, false},
        {50, -1.9, 0, true},    {50, -2.1, 0, false},    {50, 190, 0, false},   {50, -170, 0, false},
        {50, 10 + 360, 0, true}, {67.9, 10, 1, true},      {69, 10, 1, false},    {50, 45, 1, true},
        {50, -36, 1, false},    {NAN, 10, 0, false},
    };
    for (const auto& c : cases) {
        const double ll[2] = {c.lat * kDeg, c.lon * kDeg};
        EXPECT_EQ(DatumConv::checkDatArea(&a, ll, c.mode), c.inside) << c.lat << " " << c.lon << " " << c.mode;
    }
}

TEST(GeodesyArea, ZeroExtentIsUnlimitedAndTheDateLineWraps) {
    const Area none{0.3, 2.0, 0.0f, 0.0f};
    for (double lat : {-89.0, 0.0, 89.0})
        for (double lon : {-179.0, 0.0, 179.0}) {
            const double ll[2] = {lat * kDeg, lon * kDeg};
            EXPECT_TRUE(DatumConv::checkDatArea(&none, ll, 0));
            EXPECT_TRUE(DatumConv::checkDatArea(&none, ll, 1));
        }
    // A band across the date line, limited in longitude only.
    const Area pacific{0.0, 180 * kDeg, 0.0f, static_cast<float>(20 * kDeg)};
    const double in1[2] = {80 * kDeg, -172 * kDeg}, in2[2] = {-60 * kDeg, 171 * kDeg}, out[2] = {0, 0};
    EXPECT_TRUE(DatumConv::checkDatArea(&pacific, in1, 0));
    EXPECT_TRUE(DatumConv::checkDatArea(&pacific, in2, 0));
    EXPECT_FALSE(DatumConv::checkDatArea(&pacific, out, 0));
    EXPECT_FALSE(DatumConv::checkDatArea(nullptr, out, 0));
}

TEST(GeodesyResidualGrid, SquareSearchCountsFromTheSouthWestAndBordersGoFirst) {
    const Res r = makeGrid();
    struct Case {
        double y, x;  // in grid spacings from the centre
        int square;
    };
    const Case cases[] = {
        {-1, -1, 0}, {-1, 0, 1}, {-1, 1, 2}, {0, -1, 3}, {0, 0, 4}, {0, 1, 5}, {1, -1, 6}, {1, 0, 7},
        {1, 1, 8},   {-0.5, 0, 1}, {0, 0.5, 4}, {0.5, 0.5, 4}, {-1.5, -1.5, 0}, {1.5, 1.5, 8},
        {1.6, 0, 9}, {0, -1.6, 9},
    };
    for (const auto& c : cases) {
        const double ll[2] = {r.area.lat + c.y * 0.25, r.area.lon + c.x * 0.25};
        EXPECT_EQ(DatumConv::getGridSquaresIdx(&r.area, ll), c.square) << c.y << " " << c.x;
    }
}

TEST(GeodesyResidualGrid, InterpolatesBilinearlyInsideEverySquare) {
    const Res r = makeGrid();
    for (double y = -1.45; y <= 1.45; y += 0.1)
        for (double x = -1.45; x <= 1.45; x += 0.1) {
            const double ll[2] = {r.area.lat + y * 0.25, r.area.lon + x * 0.25};
            double out[3];
            ASSERT_TRUE(DatumConv::correctTransformation(&r, ll, out));
            EXPECT_NEAR(out[0], r.base[0] + field(0, y, x), 1e-6) << y << " " << x;
            EXPECT_NEAR(out[1], r.base[1] + field(1, y, x), 1e-6);
            EXPECT_NEAR(out[2], r.base[2] + field(2, y, x), 1e-6);
            const int sq = DatumConv::getGridSquaresIdx(&r.area, ll);
            EXPECT_NEAR(DatumConv::getBiLinearIntrp(&r, ll, sq, 2), field(2, y, x), 1e-6);
        }
    const double ll[2] = {0.5, 1.0};
    EXPECT_EQ(DatumConv::getBiLinearIntrp(&r, ll, 9, 0), 0.0);
}

TEST(GeodesyResidualGrid, MarginTakesTheNearestBorderValue) {
    const Res r = makeGrid();
    // Points beyond the outer grid points but inside the 10 % margin of the area test.
    struct Case {
        double y, x, ny, nx;  // point and the nearest border point, in spacings
    };
    const Case cases[] = {
        {-1.7, -1.7, -1.5, -1.5}, {-1.7, 0.2, -1.5, 0.2}, {0.3, 1.75, 0.3, 1.5},
        {1.7, -0.4, 1.5, -0.4},   {1.75, 1.75, 1.5, 1.5}, {-0.2, -1.8, -0.2, -1.5},
    };
    for (const auto& c : cases) {
        const double ll[2] = {r.area.lat + c.y * 0.25, r.area.lon + c.x * 0.25};
        double out[3];
        ASSERT_TRUE(DatumConv::correctTransformation(&r, ll, out)) << c.y << " " << c.x;
        for (int k = 0; k < 3; ++k)
            EXPECT_NEAR(out[k], r.base[k] + field(k, c.ny, c.nx), 1e-6) << c.y << " " << c.x << " comp " << k;
    }
}

TEST(GeodesyResidualGrid, OutsideOrUnsetLeavesTheOutputUntouched) {
    Res r = makeGrid();
    const double far[2] = {r.area.lat + 1.9 * 0.25, r.area.lon};
    double out[3] = {7, 8, 9};
    EXPECT_FALSE(DatumConv::correctTransformation(&r, far, out));
    EXPECT_EQ(out[0], 7);
    EXPECT_EQ(out[2], 9);
    const double in[2] = {r.area.lat, r.area.lon};
    r.area.extLon = 0.0f;
    EXPECT_FALSE(DatumConv::correctTransformation(&r, in, out));
    EXPECT_EQ(out[1], 8);
    EXPECT_FALSE(DatumConv::correctTransformation(nullptr, in, out));

    // Only the parts that are present are filled; the rest are zero.
    r = makeGrid();
    r.horPresent = 0;
    ASSERT_TRUE(DatumConv::correctTransformation(&r, in, out));
    EXPECT_EQ(out[0], 0.0);
    EXPECT_EQ(out[1], 0.0);
    EXPECT_NEAR(out[2], r.base[2] + field(2, 0, 0), 1e-6);
    r.horPresent = 1;
    r.heightPresent = 0;
    ASSERT_TRUE(DatumConv::correctTransformation(&r, in, out));
    EXPECT_NEAR(out[0], r.base[0] + field(0, 0, 0), 1e-6);
    EXPECT_EQ(out[2], 0.0);
}
