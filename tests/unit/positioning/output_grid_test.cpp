// The output grid settings made live: each grid type's pair of map identifier and grid system,
// the stored values no key can give brought back to their defaults, and a grid chosen by the keys
// giving the output record PROJ's coordinates (UTM, a user transverse Mercator and Lambert conic,
// both on the output datum's ellipsoid, the local grid over its oblique stereographic
// projection), the received grid only with a received projection, the national grid within its
// window of the projection's central meridian.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "command/result_codes.h"
#include "positioning/engine/nav_main.h"
#include "positioning/geodesy/datum_in_use.h"
#include "positioning/output_grid.h"
#include "positioning/pos_keys.h"
#include "positioning/rcv_output.h"
#include "settings/nav_settings.h"
#include "settings/rcv_settings.h"
#include "unit/param_calls.h"
#include "unit/positioning/geodesy_oracle.h"

namespace {

using geodesy_test::kDeg;
using geodesy_test::runTool;

TEST(OutputGrid, EachTypeHasItsPairAndBack) {
  const struct {
    OutGrid g;
    std::int16_t mapId, gridSys;
  } rows[] = {
      {OutGrid::kNone, 0, 0},     {OutGrid::kUtm, 1, 1},     {OutGrid::kUps, 2, 1},      {OutGrid::kNational, 1, 2},
      {OutGrid::kLocal, 2, 3},    {OutGrid::kUserPrj, 3, 2}, {OutGrid::kReceived, 3, 4},
  };
  for (const auto& r : rows) {
    std::int16_t m = -1, s = -1;
    outGridPair(r.g, m, s);
    EXPECT_EQ(m, r.mapId) << static_cast<int>(r.g);
    EXPECT_EQ(s, r.gridSys) << static_cast<int>(r.g);
    EXPECT_EQ(outGridOf(m, s), r.g);
  }
  EXPECT_EQ(outGridOf(2, 2), OutGrid::kCount);
  EXPECT_EQ(outGridOf(0, 1), OutGrid::kCount);
}

TEST(OutputGrid, StoredValuesNoKeyGivesAreBroughtBack) {
  const struct {
    std::int16_t mapId, gridSys;
    std::int32_t prjType;
    std::uint16_t zone;
    OutGrid g;
    std::int32_t prjAfter;
    std::uint16_t zoneAfter;
  } rows[] = {
      {1, 1, 1, 1, OutGrid::kUtm, 1, 1},         {3, 4, 11, 117, OutGrid::kReceived, 11, 117},
      {2, 2, 12, 4, OutGrid::kNone, 0, 0},       {7, 9, 0, 116, OutGrid::kNone, 0, 0},
      {2, 3, -1, 3, OutGrid::kLocal, 0, 3},
  };
  for (const auto& r : rows) {
    RCV_SETTINGS s{};
    rcvSetDefaults(s);
    s.grid.mapId = r.mapId, s.grid.gridSys = r.gridSys, s.grid.prjType = r.prjType, s.gridZone = r.zone;
    outputGridBound(s);
    EXPECT_EQ(outGridOf(s.grid.mapId, s.grid.gridSys), r.g) << r.mapId << "," << r.gridSys;
    EXPECT_EQ(s.grid.prjType, r.prjAfter);
    EXPECT_EQ(s.gridZone, r.zoneAfter);
  }
}

class OutputGridKeys : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { registerPosArea(); }
  void SetUp() override {
    navInitOnce();
    navSetDatumDefaultsHook(navDatumDefaults);
    rcvSetDefaults(RcvSet);
    navSetDefaults(NavSet);
    GotPrjExt = {};
  }
  void TearDown() override {
    rcvSetDefaults(RcvSet);
    navSetDefaults(NavSet);
    outputGridApply();
  }
  // The grid of a position given in the output datum, as the output record computes it once the
  // keys' grid is live.
  static bool grid(double latDeg, double lonDeg, double h, double out[3], GRID_FLAGS* f = nullptr) {
    outputGridPoll();
    const NavTask::DATUM_IN_USE dat = outputDatumSetting();
    const POS_GEO g{latDeg * kDeg, lonDeg * kDeg, h, 0, 0, 0};
    GRID_FLAGS flags;
    const bool ok = RCV_OUTPUT::computeGrid(true, dat, g, out, &flags);
    if (f != nullptr) *f = flags;
    return ok;
  }
};

// Rows of keys and a position; PROJ's proj gives the easting and northing expected.
TEST_F(OutputGridKeys, TheChosenGridGivesProjsCoordinates) {
  const struct {
    const char* name;
    std::vector<std::pair<const char*, const char*>> sets;
    double lat, lon;
    const char* proj;  // PROJ's definition of the same grid
  } rows[] = {
      {"UTM", {{"grid/type", "utm"}}, 50, 10, "+proj=utm +zone=32 +ellps=WGS84"},
      {"user TM", {{"grid/prj", "{TM,0,9,0.9996,0,500000}"}, {"grid/type", "prj"}}, 50, 10,
       "+proj=tmerc +lat_0=0 +lon_0=9 +k=0.9996 +x_0=500000 +y_0=0 +ellps=WGS84"},
      {"user TM on the datum's ellipsoid",
       {{"datum", "EUR_F"}, {"grid/prj", "{TM,0,9,0.9996,0,500000}"}, {"grid/type", "prj"}}, 50, 10,
       "+proj=tmerc +lat_0=0 +lon_0=9 +k=0.9996 +x_0=500000 +y_0=0 +ellps=intl"},
      {"user Lambert 2SP",
       {{"grid/type", "prj"}, {"grid/prj", "{LCC2SP,46.5,3,1,6600000,700000,49,44}"}}, 48.8566, 2.3522,
       "+proj=lcc +lat_1=49 +lat_2=44 +lat_0=46.5 +lon_0=3 +x_0=700000 +y_0=6600000 +ellps=WGS84"},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.name);
    rcvSetDefaults(RcvSet);
    navSetDefaults(NavSet);
    for (const auto& [k, v] : r.sets) ASSERT_EQ(partest::set(std::string("pos/") + k, v), CMD_OK) << k;
    double g[3];
    ASSERT_TRUE(grid(r.lat, r.lon, 123.0, g));
    const auto want = runTool(std::string("proj -f %.6f ") + r.proj,
                              {geodesy_test::num(r.lon) + " " + geodesy_test::num(r.lat)});
    ASSERT_EQ(want.size(), 1u);
    EXPECT_NEAR(g[1], want[0][0], 1e-3) << "easting";
    EXPECT_NEAR(g[0], want[0][1], 1e-3) << "northing";
    EXPECT_EQ(g[2], 123.0);
  }
}

// The local grid: PROJ's oblique stereographic about (55 N, 12 E), then the local grid's shift,
// scale, rotation and height tilt as their definition gives them.
TEST_F(OutputGridKeys, LocalGridOverItsStereographicProjection) {
  ASSERT_EQ(partest::set("pos/grid/loc/prj", "{55,12,1,0,0}"), CMD_OK);
  ASSERT_EQ(partest::set("pos/grid/loc/par", "{100,200,1.5,90,0.001,0,10}"), CMD_OK);
  ASSERT_EQ(partest::set("pos/grid/type", "loc"), CMD_OK);
  const auto st = runTool("proj -f %.6f +proj=stere +lat_0=55 +lon_0=12 +k=1 +x_0=0 +y_0=0 +ellps=WGS84", {"12.5 55.7"});
  ASSERT_EQ(st.size(), 1u);
  const double E = st[0][0], N = st[0][1];
  double g[3];
  GRID_FLAGS f;
  ASSERT_TRUE(grid(55.7, 12.5, 50.0, g, &f));
  EXPECT_TRUE(f.local);
  // u' = uO + (u cos a - v sin a) k, v' = vO + (v cos a + u sin a) k with (u, v) = (N, E), a = 90.
  EXPECT_NEAR(g[0], 100.0 - 1.5 * E, 2e-3);
  EXPECT_NEAR(g[1], 200.0 + 1.5 * N, 2e-3);
  EXPECT_NEAR(g[2], 50.0 + 10.0 + 0.001 * N, 1e-6);
}

TEST_F(OutputGridKeys, ReceivedGridOnlyWithAReceivedProjectionInTheReceivedDatum) {
  ASSERT_EQ(partest::set("pos/grid/type", "got"), CMD_OK);
  double g[3];
  EXPECT_FALSE(grid(50, 10, 0, g));
  EXPECT_EQ(gridSys, 4);
  EXPECT_EQ(mapID, 3);
  // A projection received: its type becomes the map identifier.
  NavTask::DATUM_IN_USE w{};
  assignDatum("W84", &w);
  EllMath::ANY_PRJ_PARAMS p{};
  p.type = EllMath::PRJ_TM;
  p.prj = EllMath::PRJ_PARAMS{EllMath::PRJ_TM, 0, 0, 9 * kDeg, 0.9996, 0, 500000};
  EllMath::initProj(w.ell, p, GotPrjExt);
  ASSERT_EQ(partest::set("pos/grid/type", "got"), CMD_OK);
  outputGridPoll();
  EXPECT_EQ(mapID, 1);
  EXPECT_FALSE(grid(50, 10, 0, g)) << "the output datum is not the received one";
}

// The national grid serves positions within 6 degrees of the user projection's central meridian
// (55.5 N, 10 E lies in the grid's zone 1).
TEST_F(OutputGridKeys, NationalGridWithinItsWindow) {
  ASSERT_EQ(partest::set("pos/grid/type", "nat"), CMD_OK);
  const struct {
    int zone;
    const char* prj;
    bool national;
  } rows[] = {
      {1, "{TM,0,9,0.9996,0,500000}", true},    {1, "{TM,0,4.01,0.9996,0,500000}", true},
      {1, "{TM,0,3.99,0.9996,0,500000}", false}, {1, "{TM,0,15.99,0.9996,0,500000}", true},
      {1, "{TM,0,16.01,0.9996,0,500000}", false}, {0, "{TM,0,9,0.9996,0,500000}", false},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(testing::Message() << "zone " << r.zone << " " << r.prj);
    ASSERT_EQ(partest::set("pos/grid/zone", std::to_string(r.zone)), CMD_OK);
    ASSERT_EQ(partest::set("pos/grid/prj", r.prj), CMD_OK);
    double g[3];
    GRID_FLAGS f;
    EXPECT_EQ(grid(55.5, 10, 0, g, &f), r.national);
    EXPECT_EQ(f.natZone, r.national ? r.zone : 0);
  }
}

}  // namespace
