// Datum table, seven-parameter transformation and residual grid, checked against the
// published datum table and against PROJ's cct and cs2cs run at test time.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "positioning/geodesy/datum_conv.h"
#include "positioning/geodesy/datum_in_use.h"
#include "positioning/geodesy/ell_math.h"
#include "unit/positioning/geodesy_oracle.h"

using namespace geodesy_test;
using Compute = DtmList::DATUM_PARAMS_COMPUTE;
using Store = DtmList::DATUM_PARAMS_STORE;

namespace {

// Datum codes in the receiver's table order.
const char* const kDatumOrder[DtmList::DATUM_TOTAL] = {
"W84", "P90", "P90-R", "W72", "ADI-M", "ADI-E", "ADI-F", "ADI-A", "ADI-C", "ADI-D", "ADI-B", "AFG", 
"ARF-M", "ARF-A", "ARF-H", "ARF-B", "ARF-C", "ARF-D", "ARF-E", "ARF-F", "ARF-G", "ARS-M", "ARS-A", "ARS-B", 
"PHA", "BID", "CAP", "CGE", "DAL", "EUR_F", "EUR_T", "LEH", "LIB", "MAS", "MER", "MIN-A", 
"MIN-B", "MPO", "NSD", "OEG", "PTB", "PTN", "SCK", "SRL", "VOR", "AIN-A", "AIN-B", "BAT", 
"EUR-H", "HKD", "HTN", "IND-B", "IND-I", "INF-A", "ING-A", "ING-B", "INH-A", "IDN", "KAN", "KEA", 
"NAH-A", "NAH-B", "NAH-C", "FAH", "QAT", "SOA", "TIL", "TOY-M", "TOY-A", "TOY-B", "TOY-C", "JGD11", 
"AUA", "AUG", "E89", "EST", "EUR-M", "EUR-A", "EUR-E", "EUR-G", "EUR-K", "EUR-B", "EUR-I", "EUR-J", 
"EUR-L", "EUR-C", "EUR-D", "EUS", "HJO", "IRL", "OGB-M", "OGB-A", "OGB-B", "OGB-C", "OGB-D", "MOD", 
"SPK-A", "SPK-B", "SPK-C", "SPK-D", "SPK-E", "SPK-F", "SPK-G", "SPK-0", "CCD", "CAC", "NAS-C", "NAS-B", 
"NAS-A", "NAS-D", "NAS-V", "NAS-W", "NAS-Q", "NAS-R", "NAS-E", "NAS-F", "NAS-G", "NAS-H", "NAS-I", "NAS-J", 
"NAS-O", "NAS-P", "NAS-N", "NAS-T", "NAS-U", "NAS-L", "NAR-A", "NAR-E", "NAR-B", "NAR-C", "NAR-H", "NAR-D", 
"BOO", "CAI", "CHU", "COA", "PRP-M", "PRP-A", "PRP-B", "PRP-C", "PRP-D", "PRP-E", "PRP-F", "PRP-G", 
"PRP-H", "HIT", "SAN-M", "SAN-A", "SAN-B", "SAN-C", "SAN-D", "SAN-E", "SAN-F", "SAN-J", "SAN-G", "SAN-H", 
"SAN-I", "SAN-K", "SAN-L", "ZAN", "AIA", "ASC", "SHB", "BER", "DID", "FOT", "GRA", "ISG", 
"LCF", "ASM", "NAP", "FLO", "PLN", "POS", "PUR", "QUO", "SAO", "SAP", "SGM", "TDC", 
"ANO", "GAA", "IST", "KEG", "MIK", "REU", "AMA", "ATF", "TRN", "ASQ", "IBE", "CAO", 
"CHI", "GIZ", "EAS", "GEO", "GUA", "DOB", "JOH", "KUS", "LUZ-A", "LUZ-B", "MID", "OHA-M", 
"OHA-A", "OHA-B", "OHA-C", "OHA-D", "PIT", "SAE", "MVS", "ENW", "WAK", "BUR", "CAZ", "EUR-S", 
"GSE", "HEN", "HER", "IND-P", "PUK", "TAN", "VOI", "YAC", };

struct EllRow {
    const char* code;
    double a, rf;
};
const EllRow kEllipsoids[DtmList::ELL_TOTAL] = {
    {"AA", 6377563.396, 299.3249646}, {"AN", 6378160.0, 298.25},        {"BR", 6377397.155, 299.1528128},
    {"BN", 6377483.865, 299.1528128}, {"CC", 6378206.4, 294.9786982},   {"CD", 6378249.145, 293.465},
    {"EB", 6377298.556, 300.8017},    {"EA", 6377276.345, 300.8017},    {"EC", 6377301.243, 300.8017},
    {"EF", 6377309.613, 300.8017},    {"EE", 6377304.063, 300.8017},    {"ED", 6377295.664, 300.8017},
    {"RF", 6378137.0, 298.257222101}, {"HE", 6378200.0, 298.3},         {"HO", 6378270.0, 297.0},
    {"ID", 6378160.0, 298.247},       {"IN", 6378388.0, 297.0},         {"KA", 6378245.0, 298.3},
    {"AM", 6377340.189, 299.3249646}, {"FA", 6378155.0, 298.3},         {"SA", 6378160.0, 298.25},
    {"WD", 6378135.0, 298.26},        {"WE", 6378137.0, 298.257223563}, {"PE", 6378136.0, 298.257839303},
};

std::vector<POS_CRT> randomEcef(int n, unsigned seed) {
    std::mt19937 g(seed);
    std::uniform_real_distribution<double> lat(-80.0, 80.0), lon(-180.0, 180.0), h(-100.0, 3000.0),
        v(-30.0, 30.0);
    std::vector<POS_CRT> out;
    for (int i = 0; i < n; ++i) {
        POS_CRT p{};
        EllMath::BLH_XYZ(EllExt, lat(g) * kDeg, lon(g) * kDeg, h(g), p.x, p.y, p.z);
        p.vx = v(g);
        p.vy = v(g);
        p.vz = v(g);
        out.push_back(p);
    }
    return out;
}

Compute computeFor(const char* name, bool full) {
    DtmList::ELL_PARAMS ell;
    Store s;
    int idx = -1;
    EXPECT_TRUE(DtmList::getDatum(name, &ell, &s, &idx)) << name;
    Compute c;
    DtmList::transform(s, &c, DtmList::kStoredDatumToWgs84, full);
    return c;
}

// cct's Helmert step with the stored parameters takes the datum to WGS 84.
std::string helmert(const Store& s, bool full, bool inverse = false) {
    return std::string("cct -d 6 ") + (inverse ? "-I " : "") + "+proj=helmert +x=" + num(s.dx) + " +y=" + num(s.dy) + " +z=" + num(s.dz) +
           " +rx=" + num(s.rx) + " +ry=" + num(s.ry) + " +rz=" + num(s.rz) + " +s=" + num(s.scale) +
           " +convention=coordinate_frame" + (full ? " +exact" : "");
}

std::string xyzLine(double x, double y, double z) { return num(x) + " " + num(y) + " " + num(z) + " 0"; }

// Checks both directions of one parameter set against cct, under 1 mm.
void checkAgainstCct(const Store& s, bool full, unsigned seed) {
    SCOPED_TRACE(std::string(s.name) + (full ? " exact" : " small-angle"));
    Compute c;
    DtmList::transform(s, &c, DtmList::kStoredDatumToWgs84, full);
    const auto pts = randomEcef(6, seed);
    std::vector<std::string> lines;
    std::vector<POS_CRT> toDatum, toWgs;
    for (const auto& p : pts) {
        lines.push_back(xyzLine(p.x, p.y, p.z));
        POS_CRT d{}, w{};
        DatumConv::transDirect(false, c, p, &d);
        DatumConv::transInverse(false, c, p, &w);
        toDatum.push_back(d);
        toWgs.push_back(w);
    }
    const auto fwd = runTool(helmert(s, full), lines);      // datum -> WGS 84
    const auto inv = runTool(helmert(s, full, true), lines);  // WGS 84 -> datum
    ASSERT_EQ(fwd.size(), pts.size());
    ASSERT_EQ(inv.size(), pts.size());
    for (size_t i = 0; i < pts.size(); ++i) {
        EXPECT_NEAR(toWgs[i].x, fwd[i][0], 1e-3);
        EXPECT_NEAR(toWgs[i].y, fwd[i][1], 1e-3);
        EXPECT_NEAR(toWgs[i].z, fwd[i][2], 1e-3);
        EXPECT_NEAR(toDatum[i].x, inv[i][0], 1e-3);
        EXPECT_NEAR(toDatum[i].y, inv[i][1], 1e-3);
        EXPECT_NEAR(toDatum[i].z, inv[i][2], 1e-3);
    }
}

}  // namespace

TEST(GeodesyDatumTable, HoldsEveryDatumInTableOrder) {
    for (int i = 0; i < DtmList::DATUM_TOTAL; ++i) {
        ASSERT_STREQ(DtmList::Datum[i].name, kDatumOrder[i]) << "row " << i;
        int idx = -1;
        Store s;
        DtmList::ELL_PARAMS e;
        ASSERT_TRUE(DtmList::getDatum(kDatumOrder[i], &e, &s, &idx));
        EXPECT_EQ(idx, i) << kDatumOrder[i];
    }
    EXPECT_NE(std::strstr(DtmList::DataCredit, "GEOTRANS"), nullptr);
}

TEST(GeodesyDatumTable, EllipsoidsMatchThePublishedValues) {
    for (int i = 0; i < DtmList::ELL_TOTAL; ++i) {
        DtmList::ELL_PARAMS e;
        ASSERT_TRUE(DtmList::getEll(i, &e));
        EXPECT_STREQ(e.name, kEllipsoids[i].code);
        EXPECT_EQ(e.a, kEllipsoids[i].a);
        EXPECT_EQ(e.rf, kEllipsoids[i].rf);
    }
    DtmList::ELL_PARAMS e{};
    EXPECT_FALSE(DtmList::getEll(24, &e));
    EXPECT_FALSE(DtmList::getEll(-1, &e));
}

TEST(GeodesyDatumTable, TellingRowsCarryTheirShiftsAndEllipsoids) {
    struct Row {
        const char* name;
        double dx, dy, dz, rx, ry, rz, scale;
        const char* ell;
    };
    // Shifts of NIMA TR8350.2 (datum to WGS 84) and the receiver's rotation blocks.
    const Row rows[] = {
        {"W84", 0, 0, 0, 0, 0, 0, 0, "WE"},
        {"P90", 0, 0, 0, 0, 0, 0, 0, "PE"},
        {"P90-R", 0, 0, 0, 0, 0, -0.343, 0, "PE"},
        {"W72", 0, 0, 4.5, 0, 0, -0.554, 0.227, "WD"},
        {"E89", 0, 0, 0, 0, 0, 0, 0, "RF"},
        {"SPK-0", 26.3, -132.6, -76.3, -0.22, -0.40, -0.90, -0.12, "KA"},
        {"ADI-M", -166, -15, 204, 0, 0, 0, 0, "CD"},
        {"EUR_F", -130, -117, -151, 0, 0, 0, 0, "IN"},
        {"EUR_T", -112, -77, -145, 0, 0, 0, 0, "IN"},
        {"TOY-M", -148, 507, 685, 0, 0, 0, 0, "BR"},
        {"JGD11", 0, 0, 0, 0, 0, 0, 0, "RF"},
        {"NAS-C", -8, 160, 176, 0, 0, 0, 0, "CC"},
        {"NAR-C", 0, 0, 0, 0, 0, 0, 0, "RF"},
        {"OGB-M", 375, -111, 431, 0, 0, 0, 0, "AA"},
        {"YAC", -155, 171, 37, 0, 0, 0, 0, "CC"},
        {"EUR-M", -87, -98, -121, 0, 0, 0, 0, "IN"},
        {"CAP", -136, -108, -292, 0, 0, 0, 0, "CD"},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        DtmList::ELL_PARAMS e;
        Store s;
        int idx;
        ASSERT_TRUE(DtmList::getDatum(r.name, &e, &s, &idx));
        EXPECT_STREQ(s.name, r.name);
        EXPECT_STREQ(e.name, r.ell);
        EXPECT_NEAR(s.dx, r.dx, 1e-5);
        EXPECT_NEAR(s.dy, r.dy, 1e-5);
        EXPECT_NEAR(s.dz, r.dz, 1e-5);
        EXPECT_NEAR(s.rx, r.rx, 1e-6);
        EXPECT_NEAR(s.ry, r.ry, 1e-6);
        EXPECT_NEAR(s.rz, r.rz, 1e-6);
        EXPECT_NEAR(s.scale, r.scale, 1e-6);
    }
    int rotationRows = 0;
    for (const auto& d : DtmList::Datum) rotationRows += d.rot != nullptr;
    EXPECT_EQ(rotationRows, 5);
}

TEST(GeodesyDatumTable, UnknownNameWritesNothing) {
    const char* bad[] = {"w84", "XYZ", "", "W84 ", "EUR_F2"};
    for (const char* n : bad) {
        DtmList::ELL_PARAMS e;
        std::memset(&e, 0x5a, sizeof e);
        Store s;
        std::memset(&s, 0x5a, sizeof s);
        int idx = 77;
        EXPECT_FALSE(DtmList::getDatum(n, &e, &s, &idx)) << n;
        EXPECT_EQ(idx, 77);
        EXPECT_EQ(reinterpret_cast<unsigned char*>(&e)[3], 0x5a);
        EXPECT_EQ(reinterpret_cast<unsigned char*>(&s)[40], 0x5a);
    }
    EXPECT_FALSE(DtmList::getDatum(nullptr, nullptr, nullptr, nullptr));
}

TEST(GeodesyDatumTransform, ConvertsArcSecondsAndKeepsFlags) {
    Store s{};
    std::strcpy(s.name, "T");
    s.rx = 1.0;
    s.ry = -2.0;
    s.rz = 3600.0;
    s.scale = 1.5;
    Compute c;
    DtmList::transform(s, &c, false, true);
    EXPECT_DOUBLE_EQ(c.rx, 4.84813681109536e-6);
    EXPECT_DOUBLE_EQ(c.ry, -2.0 * 4.84813681109536e-6);
    EXPECT_NEAR(c.rz, M_PI / 180.0, 1e-15);
    EXPECT_DOUBLE_EQ(c.sinRz, std::sin(c.rz));
    EXPECT_DOUBLE_EQ(c.cosRy, std::cos(c.ry));
    EXPECT_EQ(c.scale, 1.5);
    EXPECT_EQ(c.reversed, 0);
    EXPECT_EQ(c.full, 1);
    DtmList::transform(s, &c);
    EXPECT_EQ(c.reversed, 1);
    EXPECT_EQ(c.full, 0);
}

TEST(GeodesyDatumConv, TableDatumsAgreeWithProjBothWays) {
    const char* names[] = {"ADI-M", "EUR_F", "TOY-M", "NAS-C", "OGB-M", "YAC",   "AUA",  "CAP",
                           "HKD",   "IND-B", "SAN-M", "GEO",   "P90-R", "W72",   "SPK-0", "E89"};
    unsigned seed = 1;
    for (const char* n : names) {
        DtmList::ELL_PARAMS e;
        Store s;
        int idx;
        ASSERT_TRUE(DtmList::getDatum(n, &e, &s, &idx));
        checkAgainstCct(s, false, seed++);
        checkAgainstCct(s, true, seed++);
    }
}

TEST(GeodesyDatumConv, RandomHelmertSetsAgreeWithProjBothWays) {
    std::mt19937 g(42);
    // Small-angle sets keep to rotations of datum size (up to 1"): PROJ inverts the small-angle
    // matrix by its transpose, which misses the exact inverse by about |w|^2 |X| (1.5 mm at 1.5").
    std::uniform_real_distribution<double> t(-500.0, 500.0), r(-1.0, 1.0), sc(-10.0, 10.0), big(-60.0, 60.0);
    for (int k = 0; k < 8; ++k) {
        Store s{};
        std::snprintf(s.name, sizeof s.name, "H%d", k);
        s.dx = t(g);
        s.dy = t(g);
        s.dz = t(g);
        s.rx = r(g);
        s.ry = r(g);
        s.rz = r(g);
        s.scale = sc(g);
        checkAgainstCct(s, false, 100 + k);
        checkAgainstCct(s, true, 200 + k);
        // Large rotations only with the exact matrix.
        s.rx = big(g);
        s.ry = big(g);
        s.rz = big(g);
        checkAgainstCct(s, true, 300 + k);
    }
}

TEST(GeodesyDatumConv, DirectTakesWgs84ToTheDatumInGeographicCoordinates) {
    // cs2cs reads +towgs84 as the datum-to-WGS 84 shift, as NIMA TR8350.2 publishes it.
    const char* names[] = {"EUR-M", "NAS-C", "TOY-M", "CAP", "ARF-M", "AUA"};
    const double pts[][2] = {{52.5, 13.4}, {-33.9, 18.4}, {35.7, 139.7}, {40.0, -100.0}, {-25.0, 135.0}};
    for (const char* n : names) {
        SCOPED_TRACE(n);
        DtmList::ELL_PARAMS e;
        Store s;
        int idx;
        ASSERT_TRUE(DtmList::getDatum(n, &e, &s, &idx));
        Compute c;
        DtmList::transform(s, &c);
        EllMath::ELL_EXTPAR de;
        EllMath::setEllPar(e, &de);
        const std::string ellipsoid = " +a=" + num(e.a) + " +rf=" + num(e.rf);
        const std::string tw = " +towgs84=" + num(s.dx) + "," + num(s.dy) + "," + num(s.dz);
        std::vector<std::string> lines;
        for (const auto& p : pts) lines.push_back(num(p[0]) + " " + num(p[1]) + " 0");
        const auto toDatum = runTool("cs2cs -f %.12f EPSG:4326 +to +proj=longlat" + ellipsoid + tw + " +type=crs", lines);
        std::vector<std::string> back;
        for (const auto& p : pts) back.push_back(num(p[1]) + " " + num(p[0]) + " 0");
        const auto toWgs = runTool("cs2cs -f %.12f +proj=longlat" + ellipsoid + tw + " +type=crs +to +proj=longlat +datum=WGS84 +type=crs", back);
        ASSERT_EQ(toDatum.size(), std::size(pts));
        ASSERT_EQ(toWgs.size(), std::size(pts));
        for (size_t i = 0; i < std::size(pts); ++i) {
            // WGS 84 -> datum.
            POS_CRT w{}, d{};
            EllMath::BLH_XYZ(EllExt, pts[i][0] * kDeg, pts[i][1] * kDeg, 0.0, w.x, w.y, w.z);
            DatumConv::transDirect(false, c, w, &d);
            double B, L, H;
            EllMath::XYZ_BLH(de, d.x, d.y, d.z, B, L, H);
            EXPECT_NEAR(L / kDeg, toDatum[i][0], 1e-8);
            EXPECT_NEAR(B / kDeg, toDatum[i][1], 1e-8);
            // Datum -> WGS 84.
            EllMath::BLH_XYZ(de, pts[i][0] * kDeg, pts[i][1] * kDeg, 0.0, d.x, d.y, d.z);
            DatumConv::transInverse(false, c, d, &w);
            EllMath::XYZ_BLH(EllExt, w.x, w.y, w.z, B, L, H);
            EXPECT_NEAR(L / kDeg, toWgs[i][0], 1e-8);
            EXPECT_NEAR(B / kDeg, toWgs[i][1], 1e-8);
        }
    }
}

TEST(GeodesyDatumConv, DirectionConventionIsFixedBothWays) {
    // Stored parameters take the datum to WGS 84: X_wgs84 = X_datum + d.
    const Compute c = computeFor("OGB-M", false);
    const double p[3] = {3980000.0, -10000.0, 4970000.0};
    double w[3], d[3];
    DatumConv::transInverse(false, c, p, w);
    EXPECT_DOUBLE_EQ(w[0], p[0] + 375.0);
    EXPECT_DOUBLE_EQ(w[1], p[1] - 111.0);
    EXPECT_DOUBLE_EQ(w[2], p[2] + 431.0);
    DatumConv::transDirect(false, c, p, d);
    EXPECT_DOUBLE_EQ(d[0], p[0] - 375.0);
    EXPECT_DOUBLE_EQ(d[1], p[1] + 111.0);
    EXPECT_DOUBLE_EQ(d[2], p[2] - 431.0);

    // The same datum given by WGS 84-to-datum parameters (reversed clear) gives the same result.
    for (const char* n : {"OGB-M", "W72", "SPK-0"}) {
        SCOPED_TRACE(n);
        DtmList::ELL_PARAMS e;
        Store s;
        int idx;
        ASSERT_TRUE(DtmList::getDatum(n, &e, &s, &idx));
        Store neg = s;
        neg.dx = -s.dx;
        neg.dy = -s.dy;
        neg.dz = -s.dz;
        neg.rx = -s.rx;
        neg.ry = -s.ry;
        neg.rz = -s.rz;
        neg.scale = -s.scale;
        Compute a, b;
        DtmList::transform(s, &a, true, false);
        DtmList::transform(neg, &b, false, false);
        for (const auto& q : randomEcef(20, 7)) {
            const double in[3] = {q.x, q.y, q.z};
            double ra[3], rb[3];
            DatumConv::transDirect(false, a, in, ra);
            DatumConv::transDirect(false, b, in, rb);
            for (int k = 0; k < 3; ++k) EXPECT_NEAR(ra[k], rb[k], 1e-3);
            DatumConv::transInverse(false, a, in, ra);
            DatumConv::transInverse(false, b, in, rb);
            for (int k = 0; k < 3; ++k) EXPECT_NEAR(ra[k], rb[k], 1e-3);
        }
    }
}

TEST(GeodesyDatumConv, RoundTripsCloseForEveryDatum) {
    const auto pts = randomEcef(12, 3);
    for (int full = 0; full < 2; ++full) {
        for (int i = 0; i < DtmList::DATUM_TOTAL; ++i) {
            const Compute c = computeFor(DtmList::Datum[i].name, full != 0);
            for (const auto& p : pts) {
                POS_CRT d{}, w{};
                DatumConv::transDirect(true, c, p, &d);
                DatumConv::transInverse(true, c, d, &w);
                EXPECT_NEAR(w.x, p.x, 1e-6) << DtmList::Datum[i].name;
                EXPECT_NEAR(w.y, p.y, 1e-6);
                EXPECT_NEAR(w.z, p.z, 1e-6);
                EXPECT_NEAR(w.vx, p.vx, 1e-9);
                EXPECT_NEAR(w.vy, p.vy, 1e-9);
                EXPECT_NEAR(w.vz, p.vz, 1e-9);
            }
        }
    }
    // Random sets with rotations of up to a minute of arc, small-angle and exact.
    std::mt19937 g(9);
    std::uniform_real_distribution<double> t(-500.0, 500.0), r(-60.0, 60.0), sc(-20.0, 20.0);
    for (int k = 0; k < 50; ++k) {
        Store s{};
        s.dx = t(g), s.dy = t(g), s.dz = t(g), s.rx = r(g), s.ry = r(g), s.rz = r(g), s.scale = sc(g);
        Compute c;
        DtmList::transform(s, &c, k % 2 == 0, k % 4 < 2);
        for (const auto& p : pts) {
            POS_CRT d{}, w{};
            DatumConv::transInverse(false, c, p, &d);
            DatumConv::transDirect(false, c, d, &w);
            EXPECT_NEAR(w.x, p.x, 1e-6);
            EXPECT_NEAR(w.y, p.y, 1e-6);
            EXPECT_NEAR(w.z, p.z, 1e-6);
        }
    }
}

TEST(GeodesyDatumConv, Wgs84IsTheIdentity) {
    for (int full = 0; full < 2; ++full) {
        DatumConv::bUseFullTransformation = static_cast<uint8_t>(full);
        const Compute c = computeFor("W84", false);
        for (const auto& p : randomEcef(20, 11)) {
            POS_CRT d{}, w{};
            DatumConv::transDirect(true, c, p, &d);
            DatumConv::transInverse(true, c, p, &w);
            EXPECT_EQ(std::memcmp(&d, &p, sizeof p), 0);
            EXPECT_EQ(std::memcmp(&w, &p, sizeof p), 0);
        }
    }
    DatumConv::bUseFullTransformation = 0;
}

TEST(GeodesyDatumConv, VelocityIsRotatedAndScaledNeverShifted) {
    for (const char* n : {"SPK-0", "W72", "ADI-M"}) {
        for (int full = 0; full < 2; ++full) {
            SCOPED_TRACE(std::string(n) + (full ? " exact" : " small"));
            const Compute c = computeFor(n, full != 0);
            for (const auto& p : randomEcef(10, 5)) {
                POS_CRT d{};
                DatumConv::transDirect(true, c, p, &d);
                // The transformation is affine: a velocity maps as the difference of two positions.
                POS_CRT q = p;
                q.x += p.vx;
                q.y += p.vy;
                q.z += p.vz;
                POS_CRT dq{};
                DatumConv::transDirect(false, c, q, &dq);
                EXPECT_NEAR(d.vx, dq.x - d.x, 1e-7);
                EXPECT_NEAR(d.vy, dq.y - d.y, 1e-7);
                EXPECT_NEAR(d.vz, dq.z - d.z, 1e-7);
                if (std::strcmp(n, "ADI-M") == 0) {
                    EXPECT_EQ(d.vx, p.vx);
                    EXPECT_EQ(d.vy, p.vy);
                    EXPECT_EQ(d.vz, p.vz);
                }
                POS_CRT noVel{};
                noVel.vx = 123.0;
                DatumConv::transDirect(false, c, p, &noVel);
                EXPECT_EQ(noVel.vx, 123.0);
            }
        }
    }
}

TEST(GeodesyDatumConv, P90RSmallAngleMovesOnlyXAndYByTheRzTerm) {
    const Compute c = computeFor("P90-R", false);
    const double rz = static_cast<double>(-0.343f) * 4.84813681109536e-6;
    const double p[3] = {-2700000.0, 4300000.0, 3850000.0};
    double w[3];
    DatumConv::transInverse(false, c, p, w);  // PZ-90 to WGS 84
    EXPECT_NEAR(w[0], p[0] + rz * p[1], 1e-9);
    EXPECT_NEAR(w[1], p[1] - rz * p[0], 1e-9);
    EXPECT_EQ(w[2], p[2]);
}

TEST(GeodesyDatumConv, AssignDatumFillsTheRecord) {
    NavTask::DATUM_IN_USE d;
    std::memset(&d, 0x33, sizeof d);
    ASSERT_TRUE(assignDatum("W84", &d));
    EXPECT_STREQ(d.name, "W84");
    EXPECT_DOUBLE_EQ(d.ell.a, EllExt.a);
    EXPECT_DOUBLE_EQ(d.ell.b, EllExt.b);
    EXPECT_DOUBLE_EQ(d.ell.e, EllExt.e);
    EXPECT_DOUBLE_EQ(d.ell.e2, EllExt.e2);
    EXPECT_DOUBLE_EQ(d.ell.ep2, EllExt.ep2);
    EXPECT_EQ(d.prm.dx, 0.0);
    EXPECT_EQ(d.prm.scale, 0.0);
    EXPECT_EQ(d.res, nullptr);
    EXPECT_EQ(d.area, nullptr);

    ASSERT_TRUE(assignDatum("TOY-M", &d));
    EXPECT_STREQ(d.name, "TOY-M");
    EXPECT_DOUBLE_EQ(d.ell.a, 6377397.155);
    const double p[3] = {-3959000.0, 3352000.0, 3697000.0};
    double w[3];
    DatumConv::transInverse(false, d.prm, p, w);
    EXPECT_DOUBLE_EQ(w[1], p[1] + 507.0);

    NavTask::DATUM_IN_USE before = d;
    EXPECT_FALSE(assignDatum("NONE", &d));
    EXPECT_EQ(std::memcmp(&before, &d, sizeof d), 0);
}

TEST(GeodesyDatumConv, BaseDatumNamesResolveAndTransformsMayRunInPlace) {
    for (const auto& set : cRtcmBaseDatumName)
        for (const char* n : set) EXPECT_TRUE(DtmList::getDatum(n, nullptr, nullptr, nullptr)) << n;
    for (const char* n : cSlasBaseDatumName) EXPECT_TRUE(DtmList::getDatum(n, nullptr, nullptr, nullptr)) << n;
    EXPECT_STREQ(cRtcmBaseDatumName[0][1], "P90-R");
    EXPECT_STREQ(cRtcmBaseDatumName[1][1], "P90");

    for (bool full : {false, true}) {
        const Compute c = computeFor("SPK-0", full);
        for (const auto& p : randomEcef(5, 21)) {
            POS_CRT out{}, same = p;
            DatumConv::transDirect(true, c, p, &out);
            DatumConv::transDirect(true, c, same, &same);
            EXPECT_EQ(std::memcmp(&out, &same, sizeof out), 0);
            DatumConv::transInverse(true, c, p, &out);
            same = p;
            DatumConv::transInverse(true, c, same, &same);
            EXPECT_EQ(std::memcmp(&out, &same, sizeof out), 0);
        }
    }
}
