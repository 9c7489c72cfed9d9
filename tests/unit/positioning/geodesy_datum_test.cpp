// Datum table, seven-parameter transformation and residual grid, checked against the
// published datum table and against PROJ's cct and cs2cs run at test time.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <sstream>
#include <tuple>

#include "positioning/geodesy/datum_in_use.h"
#include "unit/positioning/geodesy_oracle.h"

using namespace geodesy_test;
using Compute = DtmList::DATUM_PARAMS_COMPUTE;
using Store = DtmList::DATUM_PARAMS_STORE;

namespace {

// Datum codes in the receiver's table order.
const char* const kDatumOrder =
    "W84 P90 P90-R W72 ADI-M ADI-E ADI-F ADI-A ADI-C ADI-D ADI-B AFG ARF-M ARF-A ARF-H ARF-B ARF-C ARF-D ARF-E "
    "ARF-F ARF-G ARS-M ARS-A ARS-B PHA BID CAP CGE DAL EUR_F EUR_T LEH LIB MAS MER MIN-A MIN-B MPO NSD OEG PTB "
    "PTN SCK SRL VOR AIN-A AIN-B BAT EUR-H HKD HTN IND-B IND-I INF-A ING-A ING-B INH-A IDN KAN KEA NAH-A NAH-B "
    "NAH-C FAH QAT SOA TIL TOY-M TOY-A TOY-B TOY-C JGD11 AUA AUG E89 EST EUR-M EUR-A EUR-E EUR-G EUR-K EUR-B "
    "EUR-I EUR-J EUR-L EUR-C EUR-D EUS HJO IRL OGB-M OGB-A OGB-B OGB-C OGB-D MOD SPK-A SPK-B SPK-C SPK-D SPK-E "
    "SPK-F SPK-G SPK-0 CCD CAC NAS-C NAS-B NAS-A NAS-D NAS-V NAS-W NAS-Q NAS-R NAS-E NAS-F NAS-G NAS-H NAS-I "
    "NAS-J NAS-O NAS-P NAS-N NAS-T NAS-U NAS-L NAR-A NAR-E NAR-B NAR-C NAR-H NAR-D BOO CAI CHU COA PRP-M PRP-A "
    "PRP-B PRP-C PRP-D PRP-E PRP-F PRP-G PRP-H HIT SAN-M SAN-A SAN-B SAN-C SAN-D SAN-E SAN-F SAN-J SAN-G SAN-H "
    "SAN-I SAN-K SAN-L ZAN AIA ASC SHB BER DID FOT GRA ISG LCF ASM NAP FLO PLN POS PUR QUO SAO SAP SGM TDC ANO "
    "GAA IST KEG MIK REU AMA ATF TRN ASQ IBE CAO CHI GIZ EAS GEO GUA DOB JOH KUS LUZ-A LUZ-B MID OHA-M OHA-A "
    "OHA-B OHA-C OHA-D PIT SAE MVS ENW WAK BUR CAZ EUR-S GSE HEN HER IND-P PUK TAN VOI YAC";

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
    std::uniform_real_distribution<double> lat(-80.0, 80.0), lon(-180.0, 180.0), h(-100.0, 3000.0), v(-30.0, 30.0);
    std::vector<POS_CRT> out;
    for (int i = 0; i < n; ++i) {
        POS_CRT p{};
        EM::BLH_XYZ(EllExt, lat(g) * kDeg, lon(g) * kDeg, h(g), p.x, p.y, p.z);
        p.vx = v(g), p.vy = v(g), p.vz = v(g);
        out.push_back(p);
    }
    return out;
}

Store stored(const char* name, DtmList::ELL_PARAMS* ell = nullptr) {
    DtmList::ELL_PARAMS e;
    Store s{};
    int idx = -1;
    EXPECT_TRUE(DtmList::getDatum(name, ell ? ell : &e, &s, &idx)) << name;
    return s;
}
Compute computeFor(const char* name, bool full) {
    Compute c;
    DtmList::transform(stored(name), &c, DtmList::kStoredDatumToWgs84, full);
    return c;
}

// cct's Helmert step with the stored parameters takes the datum to WGS 84.
std::string helmert(const Store& s, bool full, bool inverse) {
    return std::string("cct -d 6 ") + (inverse ? "-I " : "") + "+proj=helmert +x=" + num(s.dx) + " +y=" + num(s.dy) +
           " +z=" + num(s.dz) + " +rx=" + num(s.rx) + " +ry=" + num(s.ry) + " +rz=" + num(s.rz) +
           " +s=" + num(s.scale) + " +convention=coordinate_frame" + (full ? " +exact" : "");
}

// Both directions of one parameter set against cct, under 1 mm. With `negated`, the same datum
// given by WGS 84-to-datum parameters (reversed clear) must give the same result.
void checkAgainstCct(const Store& s, bool full, unsigned seed, bool negated = false) {
    SCOPED_TRACE(std::string(s.name) + (full ? " exact" : " small-angle"));
    Store neg = s;
    neg.dx = -s.dx, neg.dy = -s.dy, neg.dz = -s.dz, neg.rx = -s.rx, neg.ry = -s.ry, neg.rz = -s.rz;
    neg.scale = -s.scale;
    Compute c[2];
    DtmList::transform(s, &c[0], DtmList::kStoredDatumToWgs84, full);
    DtmList::transform(neg, &c[1], false, full);
    const auto pts = randomEcef(6, seed);
    std::vector<std::string> lines;
    for (const auto& p : pts) lines.push_back(num(p.x) + " " + num(p.y) + " " + num(p.z) + " 0");
    const auto toWgs = runTool(helmert(s, full, false), lines);
    const auto toDatum = runTool(helmert(s, full, true), lines);
    ASSERT_EQ(toWgs.size(), pts.size());
    ASSERT_EQ(toDatum.size(), pts.size());
    for (int form = 0; form < (negated ? 2 : 1); ++form)
        for (size_t i = 0; i < pts.size(); ++i) {
            POS_CRT d{}, w{};
            DatumConv::transDirect(false, c[form], pts[i], &d);
            DatumConv::transInverse(false, c[form], pts[i], &w);
            const double ours[2][3] = {{w.x, w.y, w.z}, {d.x, d.y, d.z}};
            for (int k = 0; k < 3; ++k) {
                EXPECT_NEAR(ours[0][k], toWgs[i][k], 1e-3) << form;
                EXPECT_NEAR(ours[1][k], toDatum[i][k], 1e-3) << form;
            }
        }
}

}  // namespace

TEST(GeodesyDatumTable, MatchesThePublishedTables) {
    std::istringstream order(kDatumOrder);
    std::string name;
    for (int i = 0; i < DtmList::DATUM_TOTAL; ++i) {
        ASSERT_TRUE(order >> name);
        ASSERT_EQ(DtmList::Datum[i].name, name) << "row " << i;
        int idx = -1;
        ASSERT_TRUE(DtmList::getDatum(name.c_str(), nullptr, nullptr, &idx));
        EXPECT_EQ(idx, i) << name;
    }
    EXPECT_FALSE(order >> name);
    EXPECT_NE(std::strstr(DtmList::DataCredit, "GEOTRANS"), nullptr);
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
    // Shifts of NIMA TR8350.2 (datum to WGS 84) and the receiver's rotation blocks.
    struct Row {
        const char* name;
        double dx, dy, dz, rx, ry, rz, scale;
        const char* ell;
    };
    const Row rows[] = {
        {"W84", 0, 0, 0, 0, 0, 0, 0, "WE"},          {"P90", 0, 0, 0, 0, 0, 0, 0, "PE"},
        {"P90-R", 0, 0, 0, 0, 0, -0.343, 0, "PE"},   {"W72", 0, 0, 4.5, 0, 0, -0.554, 0.227, "WD"},
        {"E89", 0, 0, 0, 0, 0, 0, 0, "RF"},          {"SPK-0", 26.3, -132.6, -76.3, -0.22, -0.40, -0.90, -0.12, "KA"},
        {"ADI-M", -166, -15, 204, 0, 0, 0, 0, "CD"}, {"EUR_F", -130, -117, -151, 0, 0, 0, 0, "IN"},
        {"EUR_T", -112, -77, -145, 0, 0, 0, 0, "IN"}, {"TOY-M", -148, 507, 685, 0, 0, 0, 0, "BR"},
        {"JGD11", 0, 0, 0, 0, 0, 0, 0, "RF"},        {"NAS-C", -8, 160, 176, 0, 0, 0, 0, "CC"},
        {"NAR-C", 0, 0, 0, 0, 0, 0, 0, "RF"},        {"OGB-M", 375, -111, 431, 0, 0, 0, 0, "AA"},
        {"YAC", -155, 171, 37, 0, 0, 0, 0, "CC"},     {"EUR-M", -87, -98, -121, 0, 0, 0, 0, "IN"},
        {"CAP", -136, -108, -292, 0, 0, 0, 0, "CD"},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        const Store s = stored(r.name, &e);
        EXPECT_STREQ(s.name, r.name);
        EXPECT_STREQ(e.name, r.ell);
        const double got[] = {s.dx, s.dy, s.dz, s.rx, s.ry, s.rz, s.scale};
        const double want[] = {r.dx, r.dy, r.dz, r.rx, r.ry, r.rz, r.scale};
        for (int k = 0; k < 7; ++k) EXPECT_NEAR(got[k], want[k], k < 3 ? 1e-5 : 1e-6) << k;
    }
    int rotationRows = 0;
    for (const auto& d : DtmList::Datum) rotationRows += d.rot != nullptr;
    EXPECT_EQ(rotationRows, 5);
    // Names the RTCM and SLAS decoders hand over all resolve.
    for (const auto& set : cRtcmBaseDatumName)
        for (const char* n : set) EXPECT_TRUE(DtmList::getDatum(n, nullptr, nullptr, nullptr)) << n;
    for (const char* n : cSlasBaseDatumName) EXPECT_TRUE(DtmList::getDatum(n, nullptr, nullptr, nullptr)) << n;
}

TEST(GeodesyDatumTable, UnknownNameWritesNothing) {
    for (const char* n : {"w84", "XYZ", "", "W84 ", "EUR_F2"}) {
        DtmList::ELL_PARAMS e;
        Store s;
        std::memset(&e, 0x5a, sizeof e);
        std::memset(&s, 0x5a, sizeof s);
        int idx = 77;
        EXPECT_FALSE(DtmList::getDatum(n, &e, &s, &idx)) << n;
        EXPECT_EQ(idx, 77);
        EXPECT_EQ(reinterpret_cast<unsigned char*>(&e)[3], 0x5a);
        EXPECT_EQ(reinterpret_cast<unsigned char*>(&s)[40], 0x5a);
    }
    EXPECT_FALSE(DtmList::getDatum(nullptr, nullptr, nullptr, nullptr));
}

TEST(GeodesyDatumConv, HelmertAgreesWithProjBothWays) {
    std::vector<std::tuple<Store, bool, unsigned, bool>> sets;
    unsigned seed = 1;
    for (const char* n : {"ADI-M", "EUR_F", "TOY-M", "NAS-C", "OGB-M", "YAC", "AUA", "CAP", "HKD", "IND-B", "SAN-M",
                          "GEO", "P90-R", "W72", "SPK-0", "E89"}) {
        sets.emplace_back(stored(n), false, seed++, true);
        sets.emplace_back(stored(n), true, seed++, false);
    }
    // Small-angle sets keep to rotations of datum size (up to 1"): PROJ inverts the small-angle
    // matrix by its transpose, which misses the exact inverse by about |w|^2 |X| (1.5 mm at 1.5").
    // Large rotations only with the exact matrix.
    std::mt19937 g(42);
    std::uniform_real_distribution<double> t(-500.0, 500.0), r(-1.0, 1.0), sc(-10.0, 10.0), big(-60.0, 60.0);
    for (unsigned k = 0; k < 8; ++k) {
        Store s{};
        std::snprintf(s.name, sizeof s.name, "H%u", k);
        s.dx = t(g), s.dy = t(g), s.dz = t(g), s.rx = r(g), s.ry = r(g), s.rz = r(g), s.scale = sc(g);
        sets.emplace_back(s, false, 100 + k, false);
        sets.emplace_back(s, true, 200 + k, false);
        s.rx = big(g), s.ry = big(g), s.rz = big(g);
        sets.emplace_back(s, true, 300 + k, false);
    }
    for (const auto& [s, full, sd, neg] : sets) checkAgainstCct(s, full, sd, neg);
}

TEST(GeodesyDatumConv, DirectTakesWgs84ToTheDatumInGeographicCoordinates) {
    // cs2cs reads +towgs84 as the datum-to-WGS 84 shift, as NIMA TR8350.2 publishes it.
    const double pts[][2] = {{52.5, 13.4}, {-33.9, 18.4}, {35.7, 139.7}, {40.0, -100.0}, {-25.0, 135.0}};
    for (const char* n : {"EUR-M", "NAS-C", "TOY-M", "CAP", "ARF-M", "AUA"}) {
        SCOPED_TRACE(n);
        DtmList::ELL_PARAMS e;
        const Store s = stored(n, &e);
        Compute c;
        DtmList::transform(s, &c);
        EM::ELL_EXTPAR de;
        EM::setEllPar(e, &de);
        const std::string datum = "+proj=longlat +a=" + num(e.a) + " +rf=" + num(e.rf) + " +towgs84=" + num(s.dx) +
                                  "," + num(s.dy) + "," + num(s.dz) + " +type=crs";
        std::vector<std::string> latLon, lonLat;
        for (const auto& p : pts) latLon.push_back(num(p[0]) + " " + num(p[1]) + " 0");
        for (const auto& p : pts) lonLat.push_back(num(p[1]) + " " + num(p[0]) + " 0");
        const auto toDatum = runTool("cs2cs -f %.12f EPSG:4326 +to " + datum, latLon);
        const auto toWgs = runTool("cs2cs -f %.12f " + datum + " +to +proj=longlat +datum=WGS84 +type=crs", lonLat);
        ASSERT_EQ(toDatum.size(), std::size(pts));
        ASSERT_EQ(toWgs.size(), std::size(pts));
        for (size_t i = 0; i < std::size(pts); ++i) {
            POS_CRT w{}, d{};
            double B, L, H;
            EM::BLH_XYZ(EllExt, pts[i][0] * kDeg, pts[i][1] * kDeg, 0.0, w.x, w.y, w.z);
            DatumConv::transDirect(false, c, w, &d);
            EM::XYZ_BLH(de, d.x, d.y, d.z, B, L, H);
            EXPECT_NEAR(L / kDeg, toDatum[i][0], 1e-8);
            EXPECT_NEAR(B / kDeg, toDatum[i][1], 1e-8);
            EM::BLH_XYZ(de, pts[i][0] * kDeg, pts[i][1] * kDeg, 0.0, d.x, d.y, d.z);
            DatumConv::transInverse(false, c, d, &w);
            EM::XYZ_BLH(EllExt, w.x, w.y, w.z, B, L, H);
            EXPECT_NEAR(L / kDeg, toWgs[i][0], 1e-8);
            EXPECT_NEAR(B / kDeg, toWgs[i][1], 1e-8);
        }
    }
}

// Every datum, both forms: round trips close, in place equals out of place, a velocity maps as
// the difference of two positions (rotated and scaled, never shifted), WGS 84 is the identity.
TEST(GeodesyDatumConv, RoundTripsAndVelocitiesForEveryDatum) {
    const auto pts = randomEcef(12, 3);
    for (int full = 0; full < 2; ++full) {
        DatumConv::bUseFullTransformation = static_cast<uint8_t>(full);
        for (int i = 0; i < DtmList::DATUM_TOTAL; ++i) {
            SCOPED_TRACE(DtmList::Datum[i].name);
            const Compute c = computeFor(DtmList::Datum[i].name, full != 0);
            const bool shiftOnly = DtmList::Datum[i].rot == nullptr;
            for (const auto& p : pts) {
                POS_CRT d{}, w{}, same = p, q = p, dq{}, noVel{};
                DatumConv::transDirect(true, c, p, &d);
                DatumConv::transDirect(true, c, same, &same);
                EXPECT_EQ(std::memcmp(&d, &same, sizeof d), 0);
                DatumConv::transInverse(true, c, d, &w);
                DatumConv::transInverse(true, c, same, &same);
                EXPECT_EQ(std::memcmp(&w, &same, sizeof w), 0);
                const double got[] = {w.x, w.y, w.z, w.vx, w.vy, w.vz}, want[] = {p.x, p.y, p.z, p.vx, p.vy, p.vz};
                for (int k = 0; k < 6; ++k) EXPECT_NEAR(got[k], want[k], k < 3 ? 1e-6 : 1e-9);
                EXPECT_TRUE(i != 0 || (std::memcmp(&d, &p, sizeof p) == 0 && std::memcmp(&w, &p, sizeof p) == 0));
                q.x += p.vx, q.y += p.vy, q.z += p.vz;
                noVel.vx = 123.0;
                DatumConv::transDirect(false, c, q, &dq);
                DatumConv::transDirect(false, c, p, &noVel);
                EXPECT_EQ(noVel.vx, 123.0);
                EXPECT_NEAR(d.vx, dq.x - noVel.x, 1e-7);
                EXPECT_NEAR(d.vy, dq.y - noVel.y, 1e-7);
                EXPECT_NEAR(d.vz, dq.z - noVel.z, 1e-7);
                EXPECT_TRUE(!shiftOnly || (d.vx == p.vx && d.vy == p.vy && d.vz == p.vz));
            }
        }
    }
    DatumConv::bUseFullTransformation = 0;
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

// Stored parameters take the datum to WGS 84 (X_wgs84 = X_datum + d): transDirect subtracts.
TEST(GeodesyDatumConv, AssignDatumFillsTheRecordAndTheDirectionIsFixed) {
    NavTask::DATUM_IN_USE d;
    std::memset(&d, 0x33, sizeof d);
    ASSERT_TRUE(assignDatum("W84", &d));
    EXPECT_STREQ(d.name, "W84");
    const double ell[][2] = {{d.ell.a, EllExt.a}, {d.ell.b, EllExt.b}, {d.ell.e, EllExt.e}, {d.ell.e2, EllExt.e2},
                             {d.ell.ep2, EllExt.ep2}};
    for (const auto& v : ell) EXPECT_DOUBLE_EQ(v[0], v[1]);
    EXPECT_TRUE(d.prm.dx == 0.0 && d.prm.scale == 0.0 && d.res == nullptr && d.area == nullptr);
    ASSERT_TRUE(assignDatum("TOY-M", &d));
    EXPECT_STREQ(d.name, "TOY-M");
    EXPECT_DOUBLE_EQ(d.ell.a, 6377397.155);
    const double p[3] = {-3959000.0, 3352000.0, 3697000.0}, shift[3] = {-148.0, 507.0, 685.0};
    double w[3], t[3];
    DatumConv::transInverse(false, d.prm, p, w);
    DatumConv::transDirect(false, d.prm, p, t);
    for (int k = 0; k < 3; ++k) {
        EXPECT_DOUBLE_EQ(w[k], p[k] + shift[k]);
        EXPECT_DOUBLE_EQ(t[k], p[k] - shift[k]);
    }
    const NavTask::DATUM_IN_USE before = d;
    EXPECT_FALSE(assignDatum("NONE", &d));
    EXPECT_EQ(std::memcmp(&before, &d, sizeof d), 0);
}

namespace {
using Area = DtmList::DATA_USING_AREA;
using Res = DtmList::TRANSFORM_RESIDUALS;

// A residual field linear over the grid, so that bilinear interpolation reproduces it exactly.
double field(int comp, double y, double x) { return (comp + 1) * 0.5 + (comp + 2) * 0.25 * y - 0.125 * x; }

// Centre (0.5, 1.0) rad, spacing 0.25 rad: all binary fractions, so borders fall exactly.
Res makeGrid() {
    Res r;
    std::memset(&r, 0, sizeof r);
    r.area = {0.5, 1.0, 0.25f, 0.25f};
    r.base[0] = 0.01f, r.base[1] = -0.02f, r.base[2] = 0.5f;
    for (int row = 0; row < 4; ++row)
        for (int col = 0; col < 4; ++col)
            for (int c = 0; c < 3; ++c) r.grid[4 * row + col][c] = static_cast<float>(field(c, row - 1.5, col - 1.5));
    r.horPresent = r.heightPresent = 1;
    return r;
}
}  // namespace

TEST(GeodesyArea, AcceptsAndRefusesPoints) {
    const Area areas[] = {
        {50 * kDeg, 10 * kDeg, static_cast<float>(10 * kDeg), static_cast<float>(20 * kDeg)},
        {0.3, 2.0, 0.0f, 0.0f},                                   // zero extent: unlimited
        {0.0, 180 * kDeg, 0.0f, static_cast<float>(20 * kDeg)},  // a band across the date line
    };
    struct Case {
        int area;
        double lat, lon;
        int mode;
        bool inside;
    };
    const Case cases[] = {
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

TEST(GeodesyResidualGrid, SquareSearchCountsFromTheSouthWestAndBordersGoFirst) {
    const Res r = makeGrid();
    struct Case {
        double y, x;  // in grid spacings from the centre
        int square;
    };
    const Case cases[] = {
        {-1, -1, 0}, {-1, 0, 1},  {-1, 1, 2},    {0, -1, 3},     {0, 0, 4},        {0, 1, 5},
        {1, -1, 6},  {1, 0, 7},   {1, 1, 8},     {-0.5, 0, 1},   {0, 0.5, 4},      {0.5, 0.5, 4},
        {-1.5, -1.5, 0}, {1.5, 1.5, 8}, {1.6, 0, 9}, {0, -1.6, 9},
    };
    for (const auto& c : cases) {
        const double ll[2] = {r.area.lat + c.y * 0.25, r.area.lon + c.x * 0.25};
        EXPECT_EQ(DatumConv::getGridSquaresIdx(&r.area, ll), c.square) << c.y << " " << c.x;
    }
}

// Inside, bilinear in every square; in the margin beyond the outer grid points, the value at the
// nearest border point.
TEST(GeodesyResidualGrid, InterpolatesInsideAndTakesTheBorderValueInTheMargin) {
    const Res r = makeGrid();
    for (double y = -1.75; y <= 1.76; y += 0.1)
        for (double x = -1.75; x <= 1.76; x += 0.1) {
            const double ll[2] = {r.area.lat + y * 0.25, r.area.lon + x * 0.25};
            const double ny = std::clamp(y, -1.5, 1.5), nx = std::clamp(x, -1.5, 1.5);
            double out[3];
            ASSERT_TRUE(DatumConv::correctTransformation(&r, ll, out)) << y << " " << x;
            for (int k = 0; k < 3; ++k)
                EXPECT_NEAR(out[k], r.base[k] + field(k, ny, nx), 1e-6) << y << " " << x << " comp " << k;
            if (ny == y && nx == x) {
                const int sq = DatumConv::getGridSquaresIdx(&r.area, ll);
                EXPECT_NEAR(DatumConv::getBiLinearIntrp(&r, ll, sq, 2), field(2, y, x), 1e-6);
            }
        }
    const double ll[2] = {0.5, 1.0};
    EXPECT_EQ(DatumConv::getBiLinearIntrp(&r, ll, 9, 0), 0.0);
}

TEST(GeodesyResidualGrid, OutsideOrUnsetLeavesTheOutputUntouched) {
    Res r = makeGrid();
    const double far[2] = {r.area.lat + 1.9 * 0.25, r.area.lon}, in[2] = {r.area.lat, r.area.lon};
    double out[3] = {7, 8, 9};
    EXPECT_FALSE(DatumConv::correctTransformation(&r, far, out));
    r.area.extLon = 0.0f;
    EXPECT_FALSE(DatumConv::correctTransformation(&r, in, out));
    EXPECT_FALSE(DatumConv::correctTransformation(nullptr, in, out));
    EXPECT_TRUE(out[0] == 7 && out[1] == 8 && out[2] == 9);
    // Only the parts that are present are filled; the rest are zero.
    r = makeGrid();
    r.horPresent = 0;
    ASSERT_TRUE(DatumConv::correctTransformation(&r, in, out));
    EXPECT_TRUE(out[0] == 0.0 && out[1] == 0.0);
    EXPECT_NEAR(out[2], r.base[2] + field(2, 0, 0), 1e-6);
    r.horPresent = 1;
    r.heightPresent = 0;
    ASSERT_TRUE(DatumConv::correctTransformation(&r, in, out));
    EXPECT_NEAR(out[0], r.base[0] + field(0, 0, 0), 1e-6);
    EXPECT_EQ(out[2], 0.0);
}
