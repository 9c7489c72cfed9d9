// Rules of the national-grid polynomial transformation: system codes, rectangles, polygons, the
// there-and-back check, and the published polygon of System 34 Sjaelland in both systems.
#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <sstream>

#include "positioning/geodesy/dk_grid_polynomial.h"
#include "positioning/geodesy/dk_grid_tables.h"

using namespace DkGrid;

namespace {
const std::string kData = std::string(RX_SHARED_DIR) + "/data/dkgrid/";

// Rows of a CSV of the public tables, comment lines and the header left out.
std::vector<std::vector<std::string>> csvRows(const std::string& name) {
    std::ifstream f(kData + name + ".csv");
    EXPECT_TRUE(f.good()) << name;
    std::vector<std::vector<std::string>> rows;
    bool header = true;
    for (std::string line; std::getline(f, line);) {
        if (line.empty() || line[0] == '#') continue;
        if (header) {
            header = false;
            continue;
        }
        std::vector<std::string> cells;
        std::istringstream ls(line);
        for (std::string c; std::getline(ls, c, ',');) cells.push_back(c);
        rows.push_back(cells);
    }
    return rows;
}
std::vector<double> csvTable(const std::string& name) {
    std::vector<double> v;
    for (const auto& r : csvRows(name)) v.push_back(std::atof(r.at(1).c_str()));
    return v;
}

struct Out {
    double N = -7.0, E = -7.0;
    bool untouched() const { return N == -7.0 && E == -7.0; }
};
int run(double N, double E, int code, int dir, Out* o) { return tcts_u(N, E, &o->N, &o->E, code, dir); }

// The rectangles, as the receiver's table gives them.
struct RectRow { int code, dir; double nLo, nHi, eLo, eHi; };
const RectRow kRects[] = {
    {1, 1, 6e6, 6.5e6, 300000, 700000},         {1, -1, -32000, 468000, 95000, 495000},
    {2, 1, 6e6, 6.315e6, 550000, 775000},       {2, -1, -43894, 280862, 31610, 248251},
    {3, 1, 6.006e6, 6.2e6, 800000, 1e6},        {3, -1, -50000, 150000, -56000, 150000},
};

struct PolyRow { const char* name; const double* poly; int code, dir; };
const PolyRow kPolygons[] = {
    {"P_tcj", P_tcj, 1, 1},       {"P_s34j", P_s34j, 1, -1}, {"P_tcs", P_tcs, 2, 1},     {"P_s34s", P_s34s, 2, -1},
    {"P_tcbo", P_tcbo, 3, 1},     {"P_s45b", P_s45b, 3, -1}, {"P_tcla", P_tcla, 117, 1}, {"P_tcla", P_tcla, 117, -1},
    {"P_tcbo", P_tcbo, 117, 1},   {"P_tcbo", P_tcbo, 117, -1},
};
}  // namespace

// trlib publishes the Sjaelland polygon in both systems: the forward set carries one onto the other.
TEST(DkGridPolynomial, SjaellandPolygonLandsOnItsSystem34Vertices) {
    const auto tc = csvTable("P_tcs"), s34 = csvTable("P_s34s");
    ASSERT_EQ(tc.size(), 17u);
    ASSERT_EQ(s34.size(), 17u);
    for (int i = 0; i < 8; ++i) {
        Out o;
        ASSERT_EQ(run(tc[1 + 2 * i], tc[2 + 2 * i], 2, 1, &o), kTctsOk) << i;
        EXPECT_NEAR(o.N, s34[1 + 2 * i], 0.1) << "vertex " << i;
        EXPECT_NEAR(o.E, s34[2 + 2 * i], 0.1) << "vertex " << i;
    }
}

// The evaluations recorded with the data, each forward set at the vertices of its area.
TEST(DkGridPolynomial, AgreesWithTheRecordedEvaluations) {
    const std::map<std::string, int> codeOf = {
        {"C_ttj", 1}, {"C_tts", 2}, {"C_ttb", 3}, {"C_ttu_l", 117}, {"C_ttu_b", 117}};
    const auto rows = csvRows("derived_eval_checks");
    ASSERT_EQ(rows.size(), 40u);
    for (const auto& r : rows) {
        const double inN = std::atof(r[2].c_str()), inE = std::atof(r[3].c_str());
        SCOPED_TRACE(r[0] + " " + r[2] + " " + r[3]);
        Out o;
        ASSERT_EQ(run(inN, inE, codeOf.at(r[0]), 1, &o), kTctsOk);
        // The recorded inputs of the centre rows are rounded to the millimetre.
        EXPECT_NEAR(o.N, std::atof(r[4].c_str()), 2e-3);
        EXPECT_NEAR(o.E, std::atof(r[5].c_str()), 2e-3);
        if (codeOf.at(r[0]) != 117 || inpoly(r[0] == "C_ttu_l" ? P_tcla : P_tcbo, o.N, o.E) < 0) continue;
        Out back;
        ASSERT_EQ(run(o.N, o.E, 117, -1, &back), kTctsOk);
        EXPECT_NEAR(back.N, std::atof(r[6].c_str()), 2e-3);
        EXPECT_NEAR(back.E, std::atof(r[7].c_str()), 2e-3);
    }
}

// Every vertex of every area passes the there-and-back check (within 0.04 m) and is in its area.
// Vertices 2 and 3 of the Sjaelland area in System 34 lie east of the reverse rectangle's easting
// limit of 31610 m, and are refused there.
TEST(DkGridPolynomial, EveryVertexGoesThereAndBack) {
    for (const auto& p : kPolygons) {
        for (int i = 0; i < static_cast<int>(p.poly[0]); ++i) {
            const double N = p.poly[1 + 2 * i], E = p.poly[2 + 2 * i];
            SCOPED_TRACE(testing::Message() << p.name << " code " << p.code << " dir " << p.dir << " vertex " << i);
            Out o;
            const int r = run(N, E, p.code, p.dir, &o);
            if (p.poly == P_s34s && (i == 2 || i == 3)) {
                EXPECT_EQ(r, kTctsOutsideRect);
                EXPECT_LT(E, 31610.0);
                continue;
            }
            ASSERT_EQ(r, kTctsOk);
            // UTM moves a vertex by metres at most, the national systems by hundreds of kilometres.
            const double moved = std::hypot(o.N - N, o.E - E);
            EXPECT_TRUE(p.code == 117 ? moved < 15.0 : moved > 1e5) << moved;
            Out back;
            const int rb = run(o.N, o.E, p.code, -p.dir, &back);
            // Areas of the two directions are drawn separately and differ by about a metre.
            ASSERT_TRUE(rb == kTctsOk || rb == kTctsOutsidePolygon || rb == kTctsOutsideRect) << rb;
            if (p.code == 117 && inpoly(p.poly, o.N, o.E) < 0) {
                // Moved off the land: UTM hands it back as it is.
                EXPECT_TRUE(rb == kTctsOk && back.N == o.N && back.E == o.E);
            } else if (rb == kTctsOk) {
                EXPECT_NEAR(back.N, N, kTctsTolerance);
                EXPECT_NEAR(back.E, E, kTctsTolerance);
            }
        }
    }
}

// Limits are inclusive: on a side the rectangle holds, a metre beyond it refuses with -3.
TEST(DkGridPolynomial, NationalRectangles) {
    for (const auto& r : kRects) {
        const double nMid = (r.nLo + r.nHi) / 2, eMid = (r.eLo + r.eHi) / 2;
        const struct { double N, E; } on[] = {{r.nLo, eMid}, {r.nHi, eMid}, {nMid, r.eLo}, {nMid, r.eHi}},
                                     off[] = {{r.nLo - 1, eMid}, {r.nHi + 1, eMid}, {nMid, r.eLo - 1}, {nMid, r.eHi + 1}};
        const int codes[3][3] = {{1, 74, 106}, {2, 83, 115}, {3, 66, 98}};
        for (int code : codes[r.code - 1])
            for (int k = 0; k < 4; ++k) {
                SCOPED_TRACE(testing::Message() << "code " << code << " dir " << r.dir << " side " << k);
                Out o;
                EXPECT_NE(run(on[k].N, on[k].E, code, r.dir, &o), kTctsOutsideRect);
                Out o2;
                EXPECT_EQ(run(off[k].N, off[k].E, code, r.dir, &o2), kTctsOutsideRect);
                EXPECT_TRUE(o2.untouched());
            }
    }
}

TEST(DkGridPolynomial, CodesAndDirections) {
    // A point inside every zone-32 area of Jylland and Sjaelland (Funen), and one on Bornholm.
    const double fN = 6140000, fE = 588000, bN = 6121000, bE = 864000;
    const struct { int code, dir; double N, E; int status; const char* what; } rows[] = {
        {5, 1, fN, fE, kTctsBadCode, "code 5"},          {0, 1, fN, fE, kTctsBadCode, "code 0"},
        {118, 1, fN, fE, kTctsBadCode, "code 118"},      {-117, 1, fN, fE, kTctsBadCode, "code -117"},
        {73, 1, fN, fE, kTctsBadCode, "code 73"},        {5, 1, NAN, fE, kTctsBadCode, "code 5 NaN"},
        {1, 0, fN, fE, kTctsOutsideRect, "Jylland dir 0"}, {2, 0, fN, fE, kTctsOutsideRect, "Sjaelland dir 0"},
        {3, 0, bN, bE, kTctsOutsideRect, "Bornholm dir 0"}, {1, 1, fN, fE, kTctsOk, "Jylland"},
        {2, 1, fN, fE, kTctsOk, "Sjaelland"},            {3, 1, bN, bE, kTctsOk, "Bornholm"},
        {3, 1, fN, fE, kTctsOutsideRect, "Funen in Bornholm"},
        {1, 1, 6200000, 430000, kTctsOutsidePolygon, "North Sea off Jylland"},
        {1, 1, 6200000, 400000, kTctsMismatch, "far North Sea: the sets do not invert there"},
        {2, 1, 6100000, 560000, kTctsOutsidePolygon, "west of the Sjaelland area"},
        {3, 1, 6130000, 856000, kTctsOutsidePolygon, "sea west of Bornholm"},
        {2, -1, 150000, 120000, kTctsOk, "Sjaelland backwards"},
        {117, 1, NAN, fE, kTctsOutsideRect, "UTM northing NaN: refused, not handed back"},
        {117, -1, fN, INFINITY, kTctsOutsideRect, "UTM easting infinite"},
        {117, 0, -INFINITY, fE, kTctsOutsideRect, "UTM direction 0, infinite"},
        {1, 1, fN, NAN, kTctsOutsideRect, "Jylland NaN"},
    };
    for (const auto& r : rows) {
        Out o;
        EXPECT_EQ(run(r.N, r.E, r.code, r.dir, &o), r.status) << r.what;
        EXPECT_EQ(o.untouched(), r.status != kTctsOk) << r.what;
    }
    // The three codes of a system are one system.
    const int aliases[][3] = {{1, 74, 106}, {2, 83, 115}, {3, 66, 98}, {4, 85, 117}};
    for (const auto& a : aliases) {
        const double N = a[0] == 3 ? bN : fN, E = a[0] == 3 ? bE : fE;
        Out o0, o1, o2;
        ASSERT_EQ(run(N, E, a[0], 1, &o0), kTctsOk) << a[0];
        ASSERT_EQ(run(N, E, a[1], 1, &o1), kTctsOk) << a[1];
        ASSERT_EQ(run(N, E, a[2], 1, &o2), kTctsOk) << a[2];
        EXPECT_TRUE(o0.N == o1.N && o0.N == o2.N && o0.E == o1.E && o0.E == o2.E) << a[0];
    }
}

// UTM keeps the grid continuous: outside its rectangle or its polygon the input comes back with 0.
TEST(DkGridPolynomial, UtmOutsideItsAreaIsUnchanged) {
    const struct { double N, E; int dir; bool moved; const char* what; } rows[] = {
        {6140000, 588000, 1, true, "Funen, land part"},
        {6140000, 588000, -1, true, "Funen backwards"},
        {6121000, 864000, 1, true, "Bornholm part"},
        {6121000, 864000, -1, true, "Bornholm part backwards"},
        {6140000, 588000, 0, false, "direction 0"},
        {5999999, 588000, 1, false, "south of the land rectangle"},
        {6500001, 588000, 1, false, "north of it"},
        {6140000, 299999, 1, false, "west of it"},
        {6140000, 775000, 1, false, "775 km east: neither part"},
        {6140000, 790000, 1, false, "between the parts"},
        {6005999, 864000, 1, false, "south of the Bornholm part"},
        {6121000, 1000001, 1, false, "east of it"},
        {6200000, 400000, 1, false, "far North Sea, inside the rectangle (the sets do not invert there)"},
        {6450000, 350000, -1, false, "Skagerrak backwards"},
        {6180000, 820000, 1, false, "Baltic north-west of Bornholm"},
    };
    for (const auto& r : rows) {
        Out o;
        ASSERT_EQ(run(r.N, r.E, 117, r.dir, &o), kTctsOk) << r.what;
        const double moved = std::hypot(o.N - r.N, o.E - r.E);
        if (r.moved) {
            EXPECT_TRUE(moved > 0.01 && moved < 15.0) << r.what << " " << moved;
        } else {
            EXPECT_TRUE(o.N == r.N && o.E == r.E) << r.what;
        }
    }
}

TEST(DkGridPolynomial, Inpoly) {
    // An L: the notch at the upper right is outside.
    const double L[] = {6, 0, 0, 0, 10, 10, 10, 10, 5, 5, 5, 5, 0};
    const struct { double N, E; int in; } rows[] = {
        {2, 2, 1},     {2, 8, 1},     {8, 2, -1},    {8, 8, 1},    {5, 5, 1},      {0, 0, 1},      {10, 10, 1},
        {10, 0, -1},   {10, 4.99, -1}, {4.99, 0.5, 1},
        {0, 5, 1},     {7.5, 5, 1},   {5, 7.5, 1},   {-1, 5, -1},  {11, 5, -1},    {5, 11, -1},    {5, -0.01, -1},
        {5, -0.0005, 1}, {NAN, 5, -1}, {5, INFINITY, -1}, {-INFINITY, 5, -1},
    };
    for (const auto& r : rows) EXPECT_EQ(inpoly(L, r.N, r.E), r.in) << r.N << " " << r.E;
    const double two[] = {2, 0, 0, 1, 1};
    EXPECT_EQ(inpoly(two, 0.5, 0.5), -1);
    for (const auto& p : kPolygons) {
        EXPECT_EQ(inpoly(p.poly, p.poly[1], p.poly[2]), 1) << p.name;
        EXPECT_EQ(inpoly(p.poly, p.poly[1] + 1e6, p.poly[2]), -1) << p.name;
    }
}

// Random inputs: a defined result, outputs only with 0, never anything not finite.
TEST(DkGridPolynomial, RandomInputs) {
    std::mt19937_64 rng(57);
    std::uniform_real_distribution<double> nn(-1e5, 6.6e6), ee(-1e5, 1.1e6);
    const int codes[] = {1, 2, 3, 4, 74, 83, 66, 85, 106, 115, 98, 117, 5, 0, -1};
    for (int i = 0; i < 100000; ++i) {
        const double N = i % 4 ? nn(rng) : std::bit_cast<double>(rng()), E = i % 3 ? ee(rng) : std::bit_cast<double>(rng());
        const int code = codes[i % std::size(codes)], dir = static_cast<int>(rng() % 5) - 2;
        Out o;
        const int r = run(N, E, code, dir, &o);
        ASSERT_TRUE(r == 0 || r == -1 || r == -2 || r == -3 || r == 1) << r;
        if (r == kTctsOk) {
            ASSERT_TRUE(std::isfinite(o.N) && std::isfinite(o.E)) << N << " " << E;
        } else {
            ASSERT_TRUE(o.untouched());
        }
        const int in = inpoly(P_tcla, N, E);
        ASSERT_TRUE(in == 1 || in == -1);
    }
}

// The generator stops the build on a table of the wrong size and keeps the licence notice.
TEST(DkGridPolynomial, GeneratorChecksSizes) {
    namespace fs = std::filesystem;
    const fs::path gen = fs::path(__FILE__).parent_path() / "../../../tools/gen/dkgrid.py";
    ASSERT_TRUE(fs::exists(gen));
    const fs::path dir = fs::temp_directory_path() / ("dkgrid_gen_" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir / "data");
    for (const auto& e : fs::directory_iterator(kData)) fs::copy_file(e.path(), dir / "data" / e.path().filename());
    const std::string cmd = "python3 " + gen.string() + " --data " + (dir / "data").string() + " --out " +
                            (dir / "t.cpp").string() + " 2>/dev/null";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
    std::ifstream f(dir / "t.cpp");
    const std::string text((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    EXPECT_NE(text.find("Copyright (c) 2011, National Survey and Cadastre, Denmark"), std::string::npos);
    EXPECT_NE(text.find("Permission to use, copy, modify, and/or distribute this software"), std::string::npos);
    EXPECT_NE(text.find("const double C_ttu_l[275]"), std::string::npos);
    // One value short, then a polygon whose count disagrees with its length.
    const struct { const char* file; std::string drop; } bad[] = {{"C_stt.csv", "112,"}, {"P_s45b.csv", "8,"}};
    for (const auto& b : bad) {
        const fs::path p = dir / "data" / b.file;
        fs::permissions(p, fs::perms::owner_write, fs::perm_options::add);
        std::ifstream in(p);
        std::string kept, line;
        while (std::getline(in, line))
            if (line.rfind(b.drop, 0) != 0) kept += line + "\n";
        in.close();
        std::ofstream(p) << kept;
        EXPECT_NE(std::system(cmd.c_str()), 0) << b.file;
        fs::copy_file(fs::path(kData) / b.file, p, fs::copy_options::overwrite_existing);
    }
    fs::remove_all(dir);
}
