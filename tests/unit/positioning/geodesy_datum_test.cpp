#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "positioning/geodesy/datum_in_use.h"
#include "unit/positioning/geodesy_oracle.h"

using namespace geodesy_test;
using Compute = DtmList::DATUM_PARAMS_COMPUTE;
using Store = DtmList::DATUM_PARAMS_STORE;

namespace {

std::vector<POS_CRT> randomEcef(int n, unsigned seed) {
    std::mt19937 g(seed);
    std::uniform_real_distribution<double> lat(-80.0, 80.0), lon(-180.0, 180.0), h(-100.0, 3000.0), v(-30.0, 30.0);
    std::vector<POS_CRT> out(n);
    for (POS_CRT& p : out) {
        EM::BLH_XYZ(EllExt, lat(g) * kDeg, lon(g) * kDeg, h(g), p.x, p.y, p.z);
        p.vx = v(g), p.vy = v(g), p.vz = v(g);
    }
    return out;
}

Store stored(const char* name, DtmList::ELL_PARAMS* ell = nullptr, int* idx = nullptr) {
    DtmList::ELL_PARAMS e;
    Store s{};
    EXPECT_TRUE(DtmList::getDatum(name, ell ? ell : &e, &s, idx)) << name;
    return s;
}

std::string helmert(const Store& s, bool full, bool inverse) {
    return std::string("cct -d 6 ") + (inverse ? "-I " : "") + "+proj=helmert +x=" + num(s.dx) + " +y=" + num(s.dy) +
           " +z=" + num(s.dz) + " +rx=" + num(s.rx) + " +ry=" + num(s.ry) + " +rz=" + num(s.rz) +
           " +s=" + num(s.scale) + " +convention=coordinate_frame" + (full ? " +exact" : "");
}


// Both ways under 1 mm, also given as WGS 84-to-datum parameters. PROJ inverts a small-angle matrix by its
// transpose, so small-angle sets keep to rotations of datum size.
TEST(GeodesyDatumConv, HelmertAgreesWithProjBothWays) {
    std::vector<Store> sets;
    for (const char* name : {"TOY-M", "NAS-C", "OGB-M", "P90-R", "W72", "SPK-0"}) sets.push_back(stored(name));
    std::mt19937 g(42);
    std::uniform_real_distribution<double> t(-500.0, 500.0), r(-1.0, 1.0), sc(-10.0, 10.0), big(-60.0, 60.0);
    for (int k = 0; k < 3; ++k) {
        Store s{};
        s.dx = t(g), s.dy = t(g), s.dz = t(g), s.rx = r(g), s.ry = r(g), s.rz = r(g), s.scale = sc(g);
        sets.push_back(s);
        s.rx = big(g), s.ry = big(g), s.rz = big(g), s.name[0] = 'B';  // exact form only
        sets.push_back(s);
    }
    unsigned seed = 1;
    for (const Store& s : sets)
        for (bool full : {false, true}) {
            if (s.name[0] == 'B' && !full) continue;
            SCOPED_TRACE(testing::Message() << s.name << " " << s.dx << (full ? " exact" : " small-angle"));
            Store neg = s;
            neg.dx = -s.dx, neg.dy = -s.dy, neg.dz = -s.dz, neg.rx = -s.rx, neg.ry = -s.ry, neg.rz = -s.rz;
            neg.scale = -s.scale;
            Compute c[2];
            DtmList::transform(s, &c[0], DtmList::kStoredDatumToWgs84, full);
            DtmList::transform(neg, &c[1], false, full);
            const auto pts = randomEcef(6, seed++);
            std::vector<std::string> lines;
            for (const auto& p : pts) lines.push_back(num(p.x) + " " + num(p.y) + " " + num(p.z) + " 0");
            const auto toWgs = runTool(helmert(s, full, false), lines);
            const auto toDatum = runTool(helmert(s, full, true), lines);
            ASSERT_TRUE(toWgs.size() == pts.size() && toDatum.size() == pts.size());
            for (int form = 0; form < (full || s.name[0] == 0 ? 1 : 2); ++form)  // negated: table datums
                for (size_t i = 0; i < pts.size(); ++i) {
                    POS_CRT d{}, w{};
                    DatumConv::transDirect(false, c[form], pts[i], &d);
                    DatumConv::transInverse(false, c[form], pts[i], &w);
                    const double err[] = {w.x - toWgs[i][0], w.y - toWgs[i][1], w.z - toWgs[i][2],
                                          d.x - toDatum[i][0], d.y - toDatum[i][1], d.z - toDatum[i][2]};
                    for (int k = 0; k < 6; ++k) EXPECT_LT(std::fabs(err[k]), 1e-3) << "form " << form << " " << k;
                }
        }
}

using Res = DtmList::TRANSFORM_RESIDUALS;

double field(int comp, double y, double x) { return (comp + 1) * 0.5 + (comp + 2) * 0.25 * y - 0.125 * x; }

Res makeGrid() {
    Res r;
    std::memset(&r, 0, sizeof r);
    r.area = {0.5, 1.0, 0.25f, 0.25f};
    r.base[0] = 0.01f, r.base[1] = -0.02f, r.base[2] = 0.5f;
    for (int i = 0; i < 48; ++i) r.grid[i / 3][i % 3] = static_cast<float>(field(i % 3, i / 12 - 1.5, i / 3 % 4 - 1.5));
    r.horPresent = r.heightPresent = 1;
    return r;
}
}  // namespace

// Squares count from the south-west; beyond the outer grid points the value of the nearest border point.
TEST(GeodesyResidualGrid, SquaresInterpolationAndTheMargin) {
    Res r = makeGrid();
    const double squares[][3] = {{-1, -1, 0}, {-1, 0, 1}, {-1, 1, 2},  {0, -1, 3},     {0, 0, 4},     {0, 1, 5},
                                 {1, -1, 6},  {1, 0, 7},  {1, 1, 8},   {-0.5, 0, 1},   {0, 0.5, 4},   {0.5, 0.5, 4},
                                 {-1.5, -1.5, 0}, {1.5, 1.5, 8}, {1.6, 0, 9}, {0, -1.6, 9}};  // y, x in spacings
    for (const auto& c : squares) {
        const double ll[2] = {r.area.lat + c[0] * 0.25, r.area.lon + c[1] * 0.25};
        EXPECT_EQ(DatumConv::getGridSquaresIdx(&r.area, ll), int(c[2])) << c[0] << " " << c[1];
    }
    for (double y = -1.75; y <= 1.76; y += 0.1)
        for (double x = -1.75; x <= 1.76; x += 0.1) {
            const double ll[2] = {r.area.lat + y * 0.25, r.area.lon + x * 0.25};
            const double ny = std::clamp(y, -1.5, 1.5), nx = std::clamp(x, -1.5, 1.5);
            double out[3];
            ASSERT_TRUE(DatumConv::correctTransformation(&r, ll, out)) << y << " " << x;
            for (int k = 0; k < 3; ++k)
                EXPECT_NEAR(out[k], r.base[k] + field(k, ny, nx), 1e-6) << y << " " << x << " comp " << k;
            const int sq = DatumConv::getGridSquaresIdx(&r.area, ll);
            const double bilinear = DatumConv::getBiLinearIntrp(&r, ll, sq, 2);
            EXPECT_TRUE(ny != y || nx != x || std::fabs(bilinear - field(2, y, x)) < 1e-6);
        }
    const double far[2] = {r.area.lat + 1.9 * 0.25, r.area.lon}, in[2] = {r.area.lat, r.area.lon};
    EXPECT_EQ(DatumConv::getBiLinearIntrp(&r, in, 9, 0), 0.0);
    double out[3] = {7, 8, 9};
    EXPECT_FALSE(DatumConv::correctTransformation(&r, far, out));
    EXPECT_FALSE(DatumConv::correctTransformation(nullptr, in, out));
    r.area.extLon = 0.0f;
    EXPECT_FALSE(DatumConv::correctTransformation(&r, in, out));
    EXPECT_TRUE(out[0] == 7 && out[1] == 8 && out[2] == 9);
    for (int hor = 0; hor < 2; ++hor) {
        r = makeGrid();
        r.horPresent = hor, r.heightPresent = !hor;
        ASSERT_TRUE(DatumConv::correctTransformation(&r, in, out));
        for (int k = 0; k < 3; ++k) EXPECT_NEAR(out[k], (k < 2) == hor ? r.base[k] + field(k, 0, 0) : 0.0, 1e-6) << k;
    }
}

// Stored parameters take the datum to WGS 84 (X_wgs84 = X_datum + d): transDirect subtracts.
TEST(GeodesyDatumConv, AssignDatumFillsTheRecordAndTheDirectionIsFixed) {
    NavTask::DATUM_IN_USE d;
    std::memset(&d, 0x33, sizeof d);
    ASSERT_TRUE(assignDatum("W84", &d));
    EXPECT_STREQ(d.name, "W84");
    EXPECT_TRUE(d.ell.a == EllExt.a && d.ell.e2 == EllExt.e2 && d.prm.dx == 0.0 && !d.res && !d.area);
    ASSERT_TRUE(assignDatum("TOY-M", &d));
    EXPECT_STREQ(d.name, "TOY-M");
    EXPECT_DOUBLE_EQ(d.ell.a, 6377397.155);
    const double p[3] = {-3959000.0, 3352000.0, 3697000.0}, shift[3] = {-148.0, 507.0, 685.0};
    double w[3], t[3];
    DatumConv::transInverse(false, d.prm, p, w);
    DatumConv::transDirect(false, d.prm, p, t);
    for (int k = 0; k < 3; ++k) EXPECT_TRUE(w[k] == p[k] + shift[k] && t[k] == p[k] - shift[k]) << k;
    const NavTask::DATUM_IN_USE before = d;
    EXPECT_FALSE(assignDatum("NONE", &d));
    EXPECT_EQ(std::memcmp(&before, &d, sizeof d), 0);
}

TEST(GeodesyArea, AcceptsAndRefusesPoints) {
    const DtmList::DATA_USING_AREA areas[] = {
        {50 * kDeg, 10 * kDeg, static_cast<float>(10 * kDeg), static_cast<float>(20 * kDeg)},
        {0.3, 2.0, 0.0f, 0.0f},                                   // zero extent: unlimited
        {0.0, 180 * kDeg, 0.0f, static_cast<float>(20 * kDeg)},  // a band across the date line
    };
    const struct { int area; double lat, lon; int mode; bool inside; } cases[] = {
        {0, 50, 10, 0, true},    {0, 55, 20, 0, true},    {0, 55.9, 10, 0, true},   {0, 56.1, 10, 0, false},
        {0, 44.1, 10, 0, true},  {0, 43.9, 10, 0, false}, {0, 50, 21.9, 0, true},   {0, 50, 22.1, 0, false},
        {0, 50, -1.9, 0, true},  {0, 50, -2.1, 0, false}, {0, 50, 190, 0, false},   {0, 50, -170, 0, false},
        {0, 50, 370, 0, true},   {0, 67.9, 10, 1, true},  {0, 69, 10, 1, false},    {0, 50, 45, 1, true},
        {0, 50, -36, 1, false},  {0, NAN, 10, 0, false},  {1, -89, -179, 0, true},  {1, 89, 179, 1, true},
        {1, 0, 0, 0, true},      {2, 80, -172, 0, true},  {2, -60, 171, 0, true},   {2, 0, 0, 0, false},
    };
    for (const auto& c : cases) {
        const double ll[2] = {c.lat * kDeg, c.lon * kDeg};
        EXPECT_EQ(DatumConv::checkDatArea(&areas[c.area], ll, c.mode), c.inside)
            << c.area << ": " << c.lat << " " << c.lon << " mode " << c.mode;
    }
    const double ll[2] = {0, 0};
    EXPECT_FALSE(DatumConv::checkDatArea(nullptr, ll, 0));
}

// The small-angle set is inverted exactly, not by its transpose.
TEST(GeodesyDatumConv, SmallAngleInverseIsExact) {
    const auto pts = randomEcef(12, 3);
    std::mt19937 g(9);
    std::uniform_real_distribution<double> t(-500.0, 500.0), r(-60.0, 60.0), sc(-20.0, 20.0);
    for (int k = 0; k < 50; ++k) {
        Store s{};
        s.dx = t(g), s.dy = t(g), s.dz = t(g), s.rx = r(g), s.ry = r(g), s.rz = r(g), s.scale = sc(g);
        Compute c;
        DtmList::transform(s, &c, k % 2 == 0, k % 4 < 2);
        for (const auto& p : pts) {
            POS_CRT d{}, w{};
            DatumConv::transInverse(false, c, p, &d), DatumConv::transDirect(false, c, d, &w);
            EXPECT_LT(std::fabs(w.x - p.x) + std::fabs(w.y - p.y) + std::fabs(w.z - p.z), 1e-6);
        }
    }
}
