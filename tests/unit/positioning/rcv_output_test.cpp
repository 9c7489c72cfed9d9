#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <random>

#include "positioning/geodesy/datum_in_use.h"
#include "positioning/geodesy/dk_national_grid.h"
#include "positioning/geoid/geoid_gps.h"
#include "unit/positioning/geoid_test_access.h"
#include "positioning/rcv_output.h"
#include "settings/rcv_settings.h"
#include "unit/positioning/geodesy_oracle.h"

using namespace geodesy_test;
using Dat = NavTask::DATUM_IN_USE;

namespace {

Dat datum(const char* name) {
    Dat d{};
    EXPECT_TRUE(assignDatum(name, &d)) << name;
    return d;
}

POS_GEO geo(double latDeg, double lonDeg, double h = 100.0) { return POS_GEO{latDeg * kDeg, lonDeg * kDeg, h, 0, 0, 0}; }

struct Globals {
    Globals() { reset(); }
    ~Globals() { reset(); }
    static void reset() {
        mapID = gridSys = geoidSys = 0;
        UserPrjExt = {};
        GotPrjExt = {};
        GotMapPrj = nullptr;
        LocExt = {};
        Local = {};
        RcvSet.gridZone = 0;
        RcvSet.fixedUndOn = 0;
        RcvSet.fixedUnd = 0;
    }
};

// GeoConvert in a forced zone (0: UPS); rows of easting, northing.
std::vector<std::vector<double>> geoConvert(int zone, const std::vector<std::array<double, 2>>& pts) {
    // In slices: the whole input goes on one command line.
    std::vector<std::vector<double>> rows;
    for (size_t at = 0; at < pts.size(); at += 1000) {
        std::vector<std::string> lines;
        for (size_t k = at; k < pts.size() && k < at + 1000; ++k) lines.push_back(num(pts[k][0]) + " " + num(pts[k][1]));
        const auto part = runTool("GeoConvert -u -p 4 -z " + std::to_string(zone), lines);
        rows.insert(rows.end(), part.begin(), part.end());
    }
    return rows;
}

}  // namespace

// 10,000 points over UTM's band, every longitude including both ends, against GeoConvert in the zone we chose.
TEST(RcvOutputGrid, UtmAgreesWithGeoConvertInTheSameZone) {
    Globals g;
    const Dat w = datum("W84");
    std::mt19937 r(7);
    std::uniform_real_distribution<double> lat(-80.5, 84.5), lon(-180.0, 180.0);
    std::map<int, std::vector<std::array<double, 2>>> byZone;
    std::map<int, std::vector<std::array<double, 3>>> ours;
    for (int i = 0; i < 10000; ++i) {
        double B = lat(r), L = i % 500 == 0 ? 180.0 : (i % 500 == 1 ? -180.0 : lon(r));
        if (B <= -80.5) B = -80.4999;
        double grid[3];
        int zone = 0;
        ASSERT_TRUE(RCV_OUTPUT::BLH_UTM(w, geo(B, L), grid, &zone)) << B << " " << L;
        ASSERT_TRUE(zone >= 1 && zone <= 60) << L;
        byZone[zone].push_back({B, L});
        ours[zone].push_back({grid[0], grid[1], B});
    }
    EXPECT_FALSE(byZone[1].empty());
    for (const auto& [zone, pts] : byZone) {
        const auto ref = geoConvert(zone, pts);
        ASSERT_EQ(ref.size(), pts.size()) << zone;
        for (size_t k = 0; k < pts.size(); ++k) {
            const double n = ref[k][1] - (ours[zone][k][2] < 0 ? 10000000.0 : 0.0);
            EXPECT_NEAR(ours[zone][k][0], n, 1e-3) << zone << " " << pts[k][0] << " " << pts[k][1];
            EXPECT_NEAR(ours[zone][k][1], ref[k][0], 1e-3) << zone << " " << pts[k][0] << " " << pts[k][1];
        }
    }
}

TEST(RcvOutputGrid, UtmZonesAtTheEdgesAndLongitude180WrapsToZone1) {
    Globals g;
    const Dat w = datum("W84");
    struct Row { double lon; int zone; } rows[] = {
        {-180.0, 1}, {-174.000001, 1}, {-174.0, 2}, {-0.000001, 30}, {0.0, 31}, {179.999999, 60}, {180.0, 1}};
    for (const auto& row : rows) {
        double grid[3];
        int zone = 0;
        ASSERT_TRUE(RCV_OUTPUT::BLH_UTM(w, geo(10, row.lon), grid, &zone));
        EXPECT_EQ(zone, row.zone) << row.lon;
    }
}

// 10,000 points of both polar caps against GeoConvert's UPS.
TEST(RcvOutputGrid, UpsAgreesWithGeoConvert) {
    Globals g;
    const Dat w = datum("W84");
    std::mt19937 r(11);
    std::uniform_real_distribution<double> north(83.5000001, 90.0), south(-90.0, -79.5000001), lon(-180.0, 180.0);
    std::vector<std::array<double, 2>> pts;
    std::vector<std::array<double, 2>> ours;
    for (int i = 0; i < 10000; ++i) {
        const double B = i % 2 ? north(r) : south(r), L = lon(r);
        double grid[3];
        int west = -1;
        ASSERT_TRUE(RCV_OUTPUT::BLH_UPS(w, geo(B, L), grid, &west)) << B << " " << L;
        EXPECT_EQ(west, L < 0 ? 1 : 0);
        pts.push_back({B, L});
        ours.push_back({grid[0], grid[1]});
    }
    pts.push_back({-85.0, 30.0});
    double grid[3];
    ASSERT_TRUE(RCV_OUTPUT::BLH_UPS(w, geo(-85, 30), grid, nullptr));
    ours.push_back({grid[0], grid[1]});
    EXPECT_NEAR(grid[1], 2277728.6957, 1e-3);  // not turned by 180 degrees
    EXPECT_NEAR(grid[0], 2481040.2117, 1e-3);
    const auto ref = geoConvert(0, pts);
    ASSERT_EQ(ref.size(), pts.size());
    for (size_t k = 0; k < pts.size(); ++k) {
        EXPECT_NEAR(ours[k][0], ref[k][1], 1e-3) << pts[k][0] << " " << pts[k][1];
        EXPECT_NEAR(ours[k][1], ref[k][0], 1e-3) << pts[k][0] << " " << pts[k][1];
    }
}

// Latitude edges of the two grids, the western flag, and refusals of unusable input.
TEST(RcvOutputGrid, LatitudeEdgesFlagsAndRefusals) {
    Globals g;
    const Dat w = datum("W84");
    struct Row { double lat, lon; bool utm, ups; int upsWest; } rows[] = {
        {84.5, 10, false, true, 0},   {83.5, 10, true, false, 0},  {-80.5, 10, false, true, 0},
        {-79.5, 10, true, false, 0},  {84.4999, 10, true, true, 0}, {-80.4999, 10, true, true, 0},
        {-79.5001, 10, true, true, 0}, {83.5001, 10, true, true, 0}, {89.0, -0.000001, false, true, 1},
        {-89.0, 0.0, false, true, 0}, {NAN, 10, false, false, 0},   {10, NAN, false, false, 0},
        {1e300, 10, false, false, 0}, {85, 1e300, false, false, 0}, {-85, -INFINITY, false, false, 0},
        {95, 10, false, false, 0}};
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::Message() << row.lat << " " << row.lon);
        double grid[3] = {7, 7, 7};
        int zone = 0;
        EXPECT_EQ(RCV_OUTPUT::BLH_UTM(w, geo(row.lat, row.lon), grid, &zone), row.utm);
        int west = -1;
        EXPECT_EQ(RCV_OUTPUT::BLH_UPS(w, geo(row.lat, row.lon), grid, &west), row.ups);
        if (row.ups) {
            EXPECT_EQ(west, row.upsWest);
        }
        // Through computeGrid: the flags and a refusal's zeros and height.
        for (int m : {1, 2}) {
            mapID = m, gridSys = 1;
            GRID_FLAGS f;
            const bool ok = RCV_OUTPUT::computeGrid(false, w, geo(row.lat, row.lon, 55.0), grid, &f);
            EXPECT_EQ(ok, m == 1 ? row.utm : row.ups);
            EXPECT_EQ(f.utm, m == 1 && row.utm);
            EXPECT_EQ(f.ups, m == 2 && row.ups);
            if (!ok) {
                EXPECT_TRUE(grid[0] == 0 && grid[1] == 0 && grid[2] == 55.0);
            } else {
                EXPECT_TRUE(std::isfinite(grid[0]) && std::isfinite(grid[1]) && grid[2] == 55.0);
            }
        }
    }
}

// Five built-in datums through the Helmert inverse and the datum ellipsoid, against cct, and the
// velocity only rotated and scaled.
TEST(RcvOutputDatum, GlobPos2LocAgreesWithProj) {
    for (const char* name : {"TOY-M", "NAS-C", "OGB-M", "P90-R", "SPK-0"}) {
        SCOPED_TRACE(name);
        const Dat d = datum(name);
        DtmList::ELL_PARAMS e;
        DtmList::DATUM_PARAMS_STORE s{};
        int idx;
        ASSERT_TRUE(DtmList::getDatum(name, &e, &s, &idx));
        std::mt19937 r(3);
        std::uniform_real_distribution<double> lat(-70, 70), lon(-180, 180), h(-50, 2000), v(-20, 20);
        std::vector<std::string> lines;
        std::vector<POS_GEO> ours;
        std::vector<POS_CRT> locs, ins;
        for (int i = 0; i < 8; ++i) {
            POS_CRT w{};
            EM::BLH_XYZ(EllExt, lat(r) * kDeg, lon(r) * kDeg, h(r), w.x, w.y, w.z);
            w.vx = v(r), w.vy = v(r), w.vz = v(r);
            POS_CRT lc;
            POS_GEO lg;
            double rh = 1;
            bool rp = true;
            ASSERT_TRUE(RCV_OUTPUT::GlobPos2Loc(d, w, &lc, &lg, &rh, &rp));
            EXPECT_FALSE(rp);
            ours.push_back(lg);
            locs.push_back(lc);
            ins.push_back(w);
            lines.push_back(num(w.x) + " " + num(w.y) + " " + num(w.z) + " 0");
        }
        const auto ref = runTool("cct -d 12 +proj=pipeline +step +inv +proj=helmert +x=" + num(s.dx) + " +y=" + num(s.dy) +
                                     " +z=" + num(s.dz) + " +rx=" + num(s.rx) + " +ry=" + num(s.ry) + " +rz=" +
                                     num(s.rz) + " +s=" + num(s.scale) +
                                     " +convention=coordinate_frame +step +inv +proj=cart +a=" + num(d.ell.a) +
                                     " +rf=" + num(d.ell.rf),
                                 lines);
        ASSERT_EQ(ref.size(), ours.size());
        const double scale = 1.0 - s.scale * 1e-6;
        for (size_t k = 0; k < ours.size(); ++k) {
            EXPECT_NEAR(ours[k].lon / kDeg, ref[k][0], 1e-8);  // 1e-8 degrees is about 1 mm
            EXPECT_NEAR(ours[k].lat / kDeg, ref[k][1], 1e-8);
            EXPECT_NEAR(ours[k].h, ref[k][2], 1e-3);
            const double vin = std::hypot(ins[k].vx, ins[k].vy, ins[k].vz);
            EXPECT_NEAR(std::hypot(locs[k].vx, locs[k].vy, locs[k].vz), vin * scale, 1e-6);
            EXPECT_NEAR(std::hypot(ours[k].vn, ours[k].ve, ours[k].vu), vin * scale, 1e-6);
            if (s.rx == 0 && s.ry == 0 && s.rz == 0) {
                EXPECT_NEAR(locs[k].vx, ins[k].vx * scale, 1e-9);
            }
        }
    }
}

TEST(RcvOutputDatum, W84IsTheIdentityAndTheVelocityIsNorthEastUp) {
    const Dat d = datum("W84");
    const double B = 48.1 * kDeg, L = 11.6 * kDeg;
    POS_CRT w{};
    EM::BLH_XYZ(EllExt, B, L, 520.0, w.x, w.y, w.z);
    // 3 m/s north, 4 m/s east, 1 m/s up from the published rotation.
    const double n[3] = {-std::sin(B) * std::cos(L), -std::sin(B) * std::sin(L), std::cos(B)};
    const double e[3] = {-std::sin(L), std::cos(L), 0};
    const double u[3] = {std::cos(B) * std::cos(L), std::cos(B) * std::sin(L), std::sin(B)};
    w.vx = 3 * n[0] + 4 * e[0] + u[0], w.vy = 3 * n[1] + 4 * e[1] + u[1], w.vz = 3 * n[2] + 4 * e[2] + u[2];
    POS_CRT lc;
    POS_GEO lg;
    ASSERT_TRUE(RCV_OUTPUT::GlobPos2Loc(d, w, &lc, &lg, nullptr, nullptr));
    EXPECT_NEAR(lg.lat, B, 1e-12);
    EXPECT_NEAR(lg.lon, L, 1e-12);
    EXPECT_NEAR(lg.h, 520.0, 1e-6);
    EXPECT_NEAR(lg.vn, 3, 1e-9);
    EXPECT_NEAR(lg.ve, 4, 1e-9);
    EXPECT_NEAR(lg.vu, 1, 1e-9);
    EXPECT_NEAR(lc.x, w.x, 1e-6);
    w.x = NAN;
    EXPECT_FALSE(RCV_OUTPUT::GlobPos2Loc(d, w, &lc, &lg, nullptr, nullptr));
}

// The received datum: its area of use, and the residual grid with the height apart or added.
TEST(RcvOutputDatum, ReceivedDatumAreaAndResiduals) {
    Dat d = datum("W84");
    std::strcpy(d.name, "GOT");
    const double B = 0.5, L = 1.0;  // rad
    POS_CRT w{};
    EM::BLH_XYZ(EllExt, B, L, 100.0, w.x, w.y, w.z);
    DtmList::DATA_USING_AREA area{B, L, 0.01f, 0.01f}, away{B + 0.2, L, 0.01f, 0.01f};
    DtmList::TRANSFORM_RESIDUALS res{};
    res.area = {B, L, 0.002f, 0.002f};
    res.base[0] = 1e-7f, res.base[1] = -2e-7f, res.base[2] = 0.25f;
    res.horPresent = res.heightPresent = 1;
    DtmList::TRANSFORM_RESIDUALS far = res;
    far.area.lat = B + 0.2;
    struct Row {
        const DtmList::DATA_USING_AREA* area;
        const DtmList::TRANSFORM_RESIDUALS* res;
        int separate;
        bool valid;
        double dLat, dLon, dH, resH;
        bool resPresent;
    } rows[] = {
        {nullptr, nullptr, 0, false, 0, 0, 0, 0, false},       // no area of use
        {&away, nullptr, 0, false, 0, 0, 0, 0, false},         // outside it
        {&area, nullptr, 0, true, 0, 0, 0, 0, false},          // no residuals: uncorrected
        {&area, &res, 0, true, 1e-7, -2e-7, 0.25, 0, false},   // height added
        {&area, &res, 1, true, 1e-7, -2e-7, 0, 0.25, true},    // height apart
        {&area, &far, 0, false, 0, 0, 0, 0, false},            // corrector yields nothing
    };
    for (const Row& row : rows) {
        d.area = row.area;
        d.res = row.res;
        d.separateResidualHeight = static_cast<uint8_t>(row.separate);
        POS_CRT lc{};
        POS_GEO lg{};
        double rh = -1;
        bool rp = true;
        ASSERT_EQ(RCV_OUTPUT::GlobPos2Loc(d, w, &lc, &lg, &rh, &rp), row.valid) << &row - rows;
        if (!row.valid) continue;
        EXPECT_NEAR(lg.lat, B + row.dLat, 1e-11);
        EXPECT_NEAR(lg.lon, L + row.dLon, 1e-11);
        EXPECT_NEAR(lg.h, 100.0 + row.dH, 1e-5);
        EXPECT_EQ(rp, row.resPresent);
        if (row.resPresent) {
            EXPECT_NEAR(rh, row.resH, 1e-6);
        }
        double X, Y, Z;  // Cartesian follows the corrected geodetic position
        EM::BLH_XYZ(d.ell, lg.lat, lg.lon, lg.h, X, Y, Z);
        EXPECT_NEAR(lc.x, X, 1e-6);
        EXPECT_NEAR(lc.z, Z, 1e-6);
    }
    // A separate height needs the residual set's height too.
    res.heightPresent = 0;
    d.area = &area, d.res = &res, d.separateResidualHeight = 1;
    POS_CRT lc;
    POS_GEO lg;
    bool rp = true;
    ASSERT_TRUE(RCV_OUTPUT::GlobPos2Loc(d, w, &lc, &lg, nullptr, &rp));
    EXPECT_FALSE(rp);
}

// National grid: a zone, a valid datum position and the 6-degree window round the user projection.
TEST(RcvOutputGrid, NationalGridWindowZoneAndValidity) {
    Globals g;
    const Dat w = datum("W84");
    mapID = 1, gridSys = 2;
    const double lon0 = 9 * kDeg, win = 0.10471975511965978;
    UserPrjExt.utm.p.lon0 = lon0;
    double edge = lon0 + win;
    while (edge - lon0 > win) edge = std::nextafter(edge, 0.0);
    struct Row { int zone; bool valid; double lat, lon; bool ok; } rows[] = {
        {117, true, 55.7 * kDeg, 12.5 * kDeg, true},  {117, false, 55.7 * kDeg, 12.5 * kDeg, false},
        {0, true, 55.7 * kDeg, 12.5 * kDeg, false},   {3, true, 55.1 * kDeg, edge, true},
        {3, true, 55.1 * kDeg, edge + 1e-9, false},   {1, true, 56.2 * kDeg, 9.5 * kDeg, true},
        {2, true, 55.5 * kDeg, 11.8 * kDeg, true},    {1, true, NAN, 9.5 * kDeg, false}};
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << row.zone << " " << row.lat << " " << row.lon);
        RcvSet.gridZone = static_cast<uint16_t>(row.zone);
        double grid[3];
        GRID_FLAGS f;
        const POS_GEO p{row.lat, row.lon, 40.0, 0, 0, 0};
        ASSERT_EQ(RCV_OUTPUT::computeGrid(row.valid, w, p, grid, &f), row.ok);
        if (!row.ok) {
            EXPECT_TRUE(grid[0] == 0 && grid[1] == 0 && f.natZone == 0);
            continue;
        }
        double N = row.lat, E = row.lon;
        ASSERT_TRUE(DkGrid::_Forward(&N, &E, row.zone));
        EXPECT_EQ(grid[0], N);
        EXPECT_EQ(grid[1], E);
        EXPECT_EQ(grid[2], 40.0);
        EXPECT_EQ(f.natZone, row.zone);
        EXPECT_FALSE(f.utm || f.ups || f.local);
    }
}

// Local polar stereographic grid then the plane Helmert of the local parameters (from its formula),
// against cct's stereographic.
TEST(RcvOutputGrid, LocalStereographicGrid) {
    Globals g;
    const Dat w = datum("W84");
    mapID = 2, gridSys = 3;
    EM::PRJ_PARAMS p{EM::PRJ_STER, 0, 90 * kDeg, -45 * kDeg, 0.994, 2000000, 2000000};
    EM::initSTER(EllExt, p, LocExt);
    Local.uO = 120.0, Local.vO = -30.0, Local.k = 1.0001, Local.alpha = 1.5, Local.t1 = 1e-5, Local.t2 = -2e-5,
    Local.H0 = 3.0;
    const double pts[][2] = {{72.0, -40.0}, {80.0, 10.0}, {66.0, -60.0}};
    std::vector<std::string> lines;
    std::vector<std::array<double, 3>> ours;
    for (const auto& q : pts) {
        double grid[3];
        GRID_FLAGS f;
        ASSERT_TRUE(RCV_OUTPUT::computeGrid(true, w, geo(q[0], q[1], 50.0), grid, &f));
        EXPECT_TRUE(f.local);
        EXPECT_FALSE(RCV_OUTPUT::computeGrid(false, w, geo(q[0], q[1], 50.0), grid, &f));
        EXPECT_FALSE(f.local);
        ASSERT_TRUE(RCV_OUTPUT::computeGrid(true, w, geo(q[0], q[1], 50.0), grid, &f));
        ours.push_back({grid[0], grid[1], grid[2]});
        lines.push_back(num(q[1]) + " " + num(q[0]) + " 0 0");
    }
    const auto ref = runTool("cct -d 6 +proj=stere +lat_0=90 +lon_0=-45 +k_0=0.994 +x_0=2000000 +y_0=2000000 +ellps=WGS84",
                             lines);
    ASSERT_EQ(ref.size(), ours.size());
    const double a = 1.5 * kDeg;
    for (size_t k = 0; k < ours.size(); ++k) {
        const double N = ref[k][1], E = ref[k][0];
        EXPECT_NEAR(ours[k][0], 120.0 + (std::cos(a) * N - std::sin(a) * E) * 1.0001, 2e-3);
        EXPECT_NEAR(ours[k][1], -30.0 + (std::cos(a) * E + std::sin(a) * N) * 1.0001, 2e-3);
        EXPECT_NEAR(ours[k][2], 50.0 + 3.0 + 1e-5 * N - 2e-5 * E, 1e-4);
    }
}

// User transverse Mercator against cct; the received projection only with "GOT"; other systems refused.
TEST(RcvOutputGrid, UserAndReceivedProjections) {
    Globals g;
    const Dat w = datum("W84");
    mapID = 3, gridSys = 2;
    EM::initProj(EllExt, prj(EM::PRJ_TM, 10.0, 25.0, 0.9999, -100000.0, 300000.0), UserPrjExt);
    const double pts[][2] = {{10.0, 25.0}, {35.5, 27.2}, {-12.0, 21.0}};
    std::vector<std::string> lines;
    std::vector<std::array<double, 2>> ours;
    for (const auto& q : pts) {
        double grid[3];
        GRID_FLAGS f;
        ASSERT_TRUE(RCV_OUTPUT::computeGrid(true, w, geo(q[0], q[1], 9.0), grid, &f));
        EXPECT_EQ(grid[2], 9.0);
        ours.push_back({grid[0], grid[1]});
        lines.push_back(num(q[1]) + " " + num(q[0]) + " 0 0");
        EXPECT_FALSE(RCV_OUTPUT::computeGrid(false, w, geo(q[0], q[1], 9.0), grid, &f));  // no datum position
    }
    const auto ref = runTool("cct -d 6 +proj=tmerc +lat_0=10 +lon_0=25 +k_0=0.9999 +x_0=300000 +y_0=-100000 +ellps=WGS84",
                             lines);
    ASSERT_EQ(ref.size(), ours.size());
    for (size_t k = 0; k < ours.size(); ++k) {
        EXPECT_NEAR(ours[k][0], ref[k][1], 1e-3);
        EXPECT_NEAR(ours[k][1], ref[k][0], 1e-3);
    }
    // Received projection: refused without it or for another datum; plane residuals added.
    Dat got = w;
    std::strcpy(got.name, "GOT");
    double grid[3];
    GRID_FLAGS f;
    gridSys = 4;
    EXPECT_FALSE(RCV_OUTPUT::computeGrid(true, got, geo(35.5, 27.2), grid, &f));
    GotPrjExt = UserPrjExt;
    EXPECT_FALSE(RCV_OUTPUT::computeGrid(true, w, geo(35.5, 27.2), grid, &f));
    ASSERT_TRUE(RCV_OUTPUT::computeGrid(true, got, geo(35.5, 27.2, 9.0), grid, &f));
    EXPECT_NEAR(grid[0], ref[1][1], 1e-3);
    DtmList::TRANSFORM_RESIDUALS res{};
    res.area = {35.5 * kDeg, 27.2 * kDeg, 0.001f, 0.001f};
    res.base[0] = 0.5f, res.base[1] = -0.25f, res.base[2] = 0.125f;
    res.horPresent = res.heightPresent = 1;
    GotMapPrj = &res;
    for (int separate : {0, 1}) {
        got.separateResidualHeight = static_cast<uint8_t>(separate);
        ASSERT_TRUE(RCV_OUTPUT::computeGrid(true, got, geo(35.5, 27.2, 9.0), grid, &f));
        EXPECT_NEAR(grid[0], ref[1][1] + 0.5, 1e-3);
        EXPECT_NEAR(grid[1], ref[1][0] - 0.25, 1e-3);
        EXPECT_EQ(grid[2], separate ? 9.0 : 9.125);
        EXPECT_EQ(f.resPresent, separate == 1);
        if (separate) {
            EXPECT_EQ(f.resHeight, 0.125);
        }
    }
    for (int sys : {0, 3, 5}) {
        gridSys = sys;
        EXPECT_FALSE(RCV_OUTPUT::computeGrid(true, got, geo(35.5, 27.2, 9.0), grid, &f)) << sys;
        EXPECT_EQ(grid[2], 9.0);
    }
    mapID = 0, gridSys = 1;
    EXPECT_FALSE(RCV_OUTPUT::computeGrid(true, got, geo(35.5, 27.2, 9.0), grid, &f));
}

// Fixed, received (both height types), model and no source; separation = datum h - WGS 84 h + undulation.
TEST(RcvOutputGeoid, SourcesAndSeparation) {
    Globals g;
    Dat d = datum("W84");
    const POS_GEO wgs = geo(47.0, 8.0, 500.0), loc = geo(47.0, 8.0, 497.5);
    double modelN = 0;
    GeoidGPS::useBuiltIn();
    ASSERT_TRUE(GeoidGPS::getHeight(wgs.lat, wgs.lon, &modelN));
    struct Row { bool model, fixed; int htype; bool recv; bool ok; int sys; double und, sep; } rows[] = {
        {true, true, 2, true, true, 2, 12.5, 10.0},          // fixed wins
        {false, true, 0, false, true, 2, 12.5, 10.0},
        {true, false, 2, true, true, 4, 30.0, 27.5},         // received undulation
        {true, false, 1, true, true, 4, 32.5, 30.0},         // received separation
        {false, false, 1, true, true, 4, 32.5, 30.0},
        {true, false, 0, true, true, 1, modelN, modelN - 2.5},   // other height type: the model
        {false, false, 0, true, false, 0, 0, 0},             // ... only a valid one
        {true, false, 2, false, true, 1, modelN, modelN - 2.5},
        {false, false, 2, false, false, 0, 0, 0}};
    for (const Row& row : rows) {
        SCOPED_TRACE(&row - rows);
        GeoidTestAccess::reset();
        if (row.model) GeoidGPS::useBuiltIn();
        RcvSet.fixedUndOn = row.fixed;
        RcvSet.fixedUnd = 12.5f;
        d.heightType = static_cast<uint8_t>(row.htype);
        geoidSys = 0;
        double und = -9, sep = -9;
        ASSERT_EQ(RCV_OUTPUT::computeGeoid(d, wgs, loc, 30.0, row.recv, &und, &sep), row.ok);
        EXPECT_EQ(geoidSys, row.sys);
        EXPECT_NEAR(und, row.und, 1e-9);
        EXPECT_NEAR(sep, row.sep, 1e-9);
    }
    GeoidTestAccess::reset();
}
