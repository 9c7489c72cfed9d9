// Geodetic positions to the Danish national grids: the zones, their chains of steps, the datum
// step's band, and UTM zone 32 on ED50 against PROJ.
#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <random>

#include "positioning/geodesy/dk_grid_tables.h"
#include "positioning/geodesy/dk_national_grid.h"
#include "unit/positioning/geodesy_oracle.h"

using namespace geodesy_test;
using namespace DkGrid;

namespace {
struct Place { const char* name; double lat, lon; int zone; };
// Towns (degrees) and the national zone they lie in.
const Place kTowns[] = {
    {"Aarhus", 56.1572, 10.2107, 1},   {"Aalborg", 57.0488, 9.9217, 1}, {"Esbjerg", 55.4765, 8.4594, 1},
    {"Viborg", 56.4510, 9.4020, 1},    {"Skagen", 57.7209, 10.5839, 1}, {"Toender", 54.9331, 8.8667, 1},
    {"Copenhagen", 55.6761, 12.5683, 2}, {"Roskilde", 55.6415, 12.0803, 2}, {"Naestved", 55.2299, 11.7609, 2},
    {"Helsingoer", 56.0361, 12.6136, 2}, {"Koege", 55.4580, 12.1821, 2},
    {"Roenne", 55.1009, 14.7066, 3},   {"Nexoe", 55.0600, 15.1300, 3}, {"Aakirkeby", 55.0706, 14.9193, 3},
};

const DenmarkTM& utm32() {
    double N = 0.95, E = 0.16;
    EXPECT_TRUE(_Forward(&N, &E, 117));  // sets the projection up
    return _UTM32;
}

bool forward(const Place& p, int zone, double* N, double* E) {
    *N = p.lat * kDeg;
    *E = p.lon * kDeg;
    return _Forward(N, E, zone);
}

// Random zone-32 grid points well inside an area (100 m from its edges), as latitude and longitude.
std::vector<std::array<double, 2>> insideArea(const double* poly, int count, uint64_t seed) {
    double nLo = 1e9, nHi = -1e9, eLo = 1e9, eHi = -1e9;
    for (int i = 0; i < static_cast<int>(poly[0]); ++i) {
        nLo = std::min(nLo, poly[1 + 2 * i]), nHi = std::max(nHi, poly[1 + 2 * i]);
        eLo = std::min(eLo, poly[2 + 2 * i]), eHi = std::max(eHi, poly[2 + 2 * i]);
    }
    std::mt19937_64 rng(seed);
    std::uniform_real_distribution<double> n(nLo, nHi), e(eLo, eHi);
    std::vector<std::array<double, 2>> out;
    while (static_cast<int>(out.size()) < count) {
        double N = n(rng), E = e(rng);
        bool in = true;
        for (double dn : {-100.0, 0.0, 100.0})
            for (double de : {-100.0, 0.0, 100.0}) in = in && inpoly(poly, N + dn, E + de) > 0;
        if (!in) continue;
        if (!SpherTM_Inverse(&N, &E, utm32())) ADD_FAILURE() << "inverse";
        out.push_back({N, E});
    }
    return out;
}
}  // namespace

TEST(DkNationalGrid, ZonesAccepted) {
    for (int zone : {0, 4, 5, 74, 85, 106, 116, 118, -1, -117}) {
        double N = kTowns[0].lat * kDeg, E = kTowns[0].lon * kDeg;
        EXPECT_FALSE(_Forward(&N, &E, zone)) << zone;
        EXPECT_EQ(N, kTowns[0].lat * kDeg);
        EXPECT_EQ(E, kTowns[0].lon * kDeg);
    }
    // Each town in its own zone and, on land, in UTM; none of them where the Jylland and Sjaelland
    // areas overlap (Funen and the Belts).
    for (const auto& t : kTowns)
        for (int zone : {1, 2, 3, 117}) {
            double N, E;
            const bool ok = forward(t, zone, &N, &E);
            EXPECT_EQ(ok, zone == t.zone || zone == 117) << t.name << " zone " << zone;
            if (ok) {
                EXPECT_TRUE(std::isfinite(N) && std::isfinite(E) && std::fabs(N) < 7e6 && std::fabs(E) < 1e6);
            } else {
                EXPECT_EQ(N, t.lat * kDeg);
            }
        }
}

// A point in the North Sea off Jylland: outside the area, so no grid, and the inputs kept.
TEST(DkNationalGrid, SeaOutsideJyllandGivesNoGrid) {
    double tN, tE, lat = 6200000, lon = 430000;
    EXPECT_EQ(tcts_u(lat, lon, &tN, &tE, 1, 1), kTctsOutsidePolygon);
    ASSERT_TRUE(SpherTM_Inverse(&lat, &lon, utm32()));
    double N = lat, E = lon;
    EXPECT_FALSE(_Forward(&N, &E, 1));
    EXPECT_EQ(N, lat);
    EXPECT_EQ(E, lon);
    // Still a UTM position there: outside the land the zone-32 grid is taken as it is.
    EXPECT_TRUE(_Forward(&N, &E, 117));
    EXPECT_NEAR(N, 6200000, 1e-5);
    EXPECT_NEAR(E, 430000, 1e-5);
    // Further out, where the land's polynomial no longer inverts, the same.
    N = 6200000, E = 400000;
    ASSERT_TRUE(SpherTM_Inverse(&N, &E, utm32()));
    ASSERT_TRUE(_Forward(&N, &E, 117));
    EXPECT_NEAR(N, 6200000, 1e-5);
    EXPECT_NEAR(E, 400000, 1e-5);
}

// Zone 117 is the zone-32 grid of the position taken once to UTM on ED50: within the step's
// metres of PROJ's UTM zone 32 on the International ellipsoid.
TEST(DkNationalGrid, Zone117IsOneStepFromTheProjection) {
    std::vector<std::array<double, 2>> pts;
    for (const auto& t : kTowns) pts.push_back({t.lat * kDeg, t.lon * kDeg});
    for (const auto& p : insideArea(P_tcla, 300, 117)) pts.push_back(p);
    for (const auto& p : insideArea(P_tcbo, 50, 118)) pts.push_back(p);
    std::vector<std::string> lines;
    for (const auto& p : pts) lines.push_back(num(p[1] / kDeg) + " " + num(p[0] / kDeg) + " 0 0");
    const auto ref = runTool("cct -d 6 +proj=utm +zone=32 +ellps=intl", lines);
    ASSERT_EQ(ref.size(), pts.size());
    double most = 0.0;
    for (size_t i = 0; i < pts.size(); ++i) {
        double N = pts[i][0], E = pts[i][1];
        ASSERT_TRUE(_Forward(&N, &E, 117)) << lines[i];
        double n = pts[i][0], e = pts[i][1], sN, sE;
        ASSERT_TRUE(SpherTM_Forward(&n, &e, utm32()));
        ASSERT_EQ(tcts_u(n, e, &sN, &sE, 117, 1), kTctsOk);
        EXPECT_EQ(N, sN);
        EXPECT_EQ(E, sE);
        const double off = std::hypot(E - ref[i][0], N - ref[i][1]);
        EXPECT_LT(off, 15.0) << lines[i];
        most = std::max(most, off);
    }
    EXPECT_GT(most, 1.0);  // the step is there
}

// Zones 1, 2 and 3 come back through the reverse sets and the inverse projection within 0.04 m.
TEST(DkNationalGrid, NationalZonesComeBack) {
    const struct { int zone; const double* area; int count; } zones[] = {{1, P_tcj, 300}, {2, P_tcs, 300},
                                                                         {3, P_tcbo, 100}};
    for (const auto& z : zones) {
        int back = 0;
        for (const auto& p : insideArea(z.area, z.count, 1000 + z.zone)) {
            double N = p[0], E = p[1];
            ASSERT_TRUE(_Forward(&N, &E, z.zone)) << z.zone << " " << p[0] << " " << p[1];
            // Where the datum step leaves the position (zone 3 takes none).
            double bLat = p[0], bLon = p[1];
            if (z.zone != 3) {
                ASSERT_TRUE(BLHToED50(&bLat, &bLon, false));
            }
            // The receiver's table limits System 34 Sjaelland eastings to 31610 m and more going back.
            if (z.zone == 2 && E < 31610) continue;
            double n, e;
            ASSERT_EQ(tcts_u(N, E, &n, &e, z.zone, -1), kTctsOk) << N << " " << E;
            if (z.zone != 3) {
                ASSERT_EQ(tcts_u(n, e, &n, &e, 117, 1), kTctsOk);
            }
            ASSERT_TRUE(SpherTM_Inverse(&n, &e, utm32()));
            EXPECT_LT(std::fabs(n - bLat) * 6.38e6, kTctsTolerance) << z.zone << " " << p[0] << " " << p[1];
            EXPECT_LT(std::fabs(e - bLon) * 6.38e6 * std::cos(bLat), kTctsTolerance) << z.zone;
            ++back;
        }
        EXPECT_GT(back, z.count / 2) << z.zone;
    }
}

// The datum step works within about 6 degrees of 12 E; beyond, the position stays and no grid
// can be given. Its grid form is zone 117; its geodetic form maps onto it through PROJ.
TEST(DkNationalGrid, BLHToED50Band) {
    const double lat = 56.0 * kDeg, c = 0.2094499822148315, h = 0.1047092831441478;
    const struct { double lon; bool inBand; } rows[] = {
        {c, true},          {c - h + 1e-9, true}, {c + h - 1e-9, true}, {c - h - 1e-9, false}, {c + h + 1e-9, false},
        {c - h, false},     {c + h, false},       {c + 2 * M_PI, true}, {c - 6 * M_PI, true},  {c + M_PI, false},
        {-c, false},        {0.0, false},
    };
    for (const auto& r : rows) {
        double la = lat, lo = r.lon;
        EXPECT_TRUE(BLHToED50(&la, &lo, false)) << r.lon;
        if (!r.inBand) {
            EXPECT_TRUE(la == lat && lo == r.lon) << r.lon;
        }
        double gN = lat, gE = r.lon;
        EXPECT_EQ(BLHToED50(&gN, &gE, true), r.inBand) << r.lon;
        if (r.inBand) {
            double zN = lat, zE = r.lon;
            ASSERT_TRUE(_Forward(&zN, &zE, 117));
            EXPECT_EQ(gN, zN);
            EXPECT_EQ(gE, zE);
        } else {
            EXPECT_TRUE(gN == lat && gE == r.lon);
        }
    }
    std::vector<std::string> lines;
    std::vector<std::array<double, 2>> grid;
    for (const auto& t : kTowns) {
        double la = t.lat * kDeg, lo = t.lon * kDeg, N = la, E = lo;
        ASSERT_TRUE(BLHToED50(&la, &lo, false)) << t.name;
        ASSERT_TRUE(_Forward(&N, &E, 117));
        lines.push_back(num(lo / kDeg) + " " + num(la / kDeg) + " 0 0");
        grid.push_back({N, E});
    }
    const auto ref = runTool("cct -d 6 +proj=utm +zone=32 +ellps=intl", lines);
    ASSERT_EQ(ref.size(), grid.size());
    for (size_t i = 0; i < grid.size(); ++i) {
        EXPECT_NEAR(ref[i][1], grid[i][0], 1e-3) << kTowns[i].name;
        EXPECT_NEAR(ref[i][0], grid[i][1], 1e-3) << kTowns[i].name;
    }
}

// Random inputs to every entry point: refused with the inputs kept, or a finite answer.
TEST(DkNationalGrid, RandomInputs) {
    std::mt19937_64 rng(0x57);
    std::uniform_real_distribution<double> lat(-2.0, 2.0), lon(-1e7, 1e7), dk(0.94, 1.01), dkLon(0.1, 0.3);
    const int zones[] = {1, 2, 3, 117, 4, 0};
    for (int i = 0; i < 60000; ++i) {
        double a, b;
        switch (i % 4) {
            case 0: a = std::bit_cast<double>(rng()), b = std::bit_cast<double>(rng()); break;
            case 1: a = lat(rng), b = lon(rng); break;
            case 2: a = dk(rng), b = dkLon(rng); break;
            default: a = (rng() & 1) ? NAN : dk(rng), b = (rng() & 1) ? INFINITY : -1e308; break;
        }
        const auto same = [&](double x, double y) {
            return std::bit_cast<uint64_t>(x) == std::bit_cast<uint64_t>(a) &&
                   std::bit_cast<uint64_t>(y) == std::bit_cast<uint64_t>(b);
        };
        for (int zone : zones) {
            double N = a, E = b;
            if (_Forward(&N, &E, zone)) {
                ASSERT_TRUE(std::isfinite(N) && std::isfinite(E)) << a << " " << b << " zone " << zone;
            } else {
                ASSERT_TRUE(same(N, E)) << zone;
            }
        }
        for (bool toGrid : {false, true}) {
            double N = a, E = b;
            if (BLHToED50(&N, &E, toGrid)) {
                ASSERT_TRUE(std::isfinite(N) && std::isfinite(E)) << a << " " << b;
            } else {
                ASSERT_TRUE(same(N, E));
            }
        }
    }
}
