// Every output grid the pos/grid/ keys choose, seen from outside through the output record's
// debug line (selector 197: grid northing, easting, height, ..., WGS 84 latitude and longitude),
// with the board simulator's sky and solution at its site:
//   - each user projection type against PROJ's cct on the same parameters and the position the
//     same line prints (WGS 84 ellipsoid, the output datum W84);
//   - the local grid: the stereographic projection of loc/prj by cct, then the plane similarity and
//     height tilt of loc/par computed here from their published form;
//   - the Danish national grids at a site in Jylland: zone 117 within the ED50 step of PROJ's UTM
//     zone 32 on the International ellipsoid, zone 1 a System 34 Jylland position of its own.
#include <cmath>
#include <cstdio>
#include <sstream>
#include <vector>

#include "e2e/harness.h"
#include "e2e/tools.h"

namespace e2e {
namespace {

const std::string kNav = std::string(RX_SHARED_DIR) + "/testdata/nav/brdc1820.10n";
constexpr double kDeg = M_PI / 180.0;
// The line prints the grid in cm and the position to 1e-9 degrees (0.1 mm).
constexpr double kGridTol = 0.011;

using Line = OutputLine;

// The first number pair (or triple) cct prints for one point.
std::vector<double> cct(const std::string& proj, double lat, double lon) {
  char point[64];
  std::snprintf(point, sizeof point, "%.11f %.11f 0 0", lon, lat);
  return toolNumbers(std::string("echo ") + point + " | cct -d 5 " + proj);
}

const std::string kWgs84 = " +ellps=WGS84";

struct PrjRow {
  const char* key;   // pos/grid/prj
  const char* proj;  // the same projection for cct (false origin included)
};
// Around the site (50 N, 10 E): every type of the key, parameters off the site so that no term
// vanishes. PROJ's turned axes negate after adding the false origin, so the south- and
// west-orientated rows give it the false origin negated.
const PrjRow kPrjRows[] = {
    {"{TMS,0,9,0.9996,1000,2000}", "+proj=tmerc +axis=wsu +lat_0=0 +lon_0=9 +k_0=0.9996 +x_0=-2000 +y_0=-1000"},
    {"{STER,49,11,0.9999,100,200}", "+proj=stere +lat_0=49 +lon_0=11 +k_0=0.9999 +x_0=200 +y_0=100"},
    {"{LCC1SP,49,11,0.9999,100,200,0,0}", "+proj=lcc +lat_1=49 +lat_0=49 +lon_0=11 +k_0=0.9999 +x_0=200 +y_0=100"},
    {"{LCC2SP,48,11,1,100,200,49,51}", "+proj=lcc +lat_0=48 +lon_0=11 +lat_1=49 +lat_2=51 +x_0=200 +y_0=100"},
    {"{LCCW,49,11,0.9999,100,200,0,0}",
     "+proj=lcc +axis=wnu +lat_1=49 +lat_0=49 +lon_0=11 +k_0=0.9999 +x_0=-200 +y_0=100"},
    {"{MC,42,11,1,100,200}", "+proj=merc +lat_ts=42 +lon_0=11 +x_0=200 +y_0=100"},
    {"{CS,49,11,1,100,200}", "+proj=cass +lat_0=49 +lon_0=11 +x_0=200 +y_0=100"},
    {"{OS,49,11,0.9999,100,200}", "+proj=sterea +lat_0=49 +lon_0=11 +k_0=0.9999 +x_0=200 +y_0=100"},
    {"{DS,49,11,0.9999,100,200}", "+proj=sterea +lat_0=49 +lon_0=11 +k_0=0.9999 +x_0=200 +y_0=100"},
    {"{OM,49,11,30,30,0.9999,100,200}",
     "+proj=omerc +lat_0=49 +lonc=11 +alpha=30 +gamma=30 +k_0=0.9999 +x_0=200 +y_0=100"},
};

class OutputGrids : public Rx {
 public:
  void must(const std::string& line) { ASSERT_EQ(ask("%g%" + line), re("%g%")) << line; }
};

TEST_F(OutputGrids, EveryUserProjectionAndTheLocalGridAgreeWithProj) {
  ASSERT_NO_FATAL_FAILURE(startSim({"--nav", kNav, "--sky"}));
  ASSERT_NO_FATAL_FAILURE(start());
  ASSERT_NO_FATAL_FAILURE(must("set,/par/rtk/dbi/temp,197"));
  ASSERT_NO_FATAL_FAILURE(must("set,/par/pos/grid/type,prj"));
  for (const PrjRow& r : kPrjRows) {
    SCOPED_TRACE(r.key);
    ASSERT_NO_FATAL_FAILURE(must(std::string("set,/par/pos/grid/prj,") + r.key));
    const Line l = nextOutputLine();
    ASSERT_NEAR(l.wlat, 50.0, 1e-6);
    const std::vector<double> ref = cct(r.proj + kWgs84, l.wlat, l.wlon);
    ASSERT_GE(ref.size(), 2u) << "cct (PROJ) is required";
    EXPECT_NEAR(l.e, ref[0], kGridTol);
    EXPECT_NEAR(l.n, ref[1], kGridTol);
    EXPECT_NEAR(l.h, l.walt, kGridTol);
  }

  // The local grid: stereographic plane coordinates (u northing, v easting) moved, scaled, turned
  // and given a tilted height: u' = uO + (u cos a - v sin a) k, v' = vO + (v cos a + u sin a) k,
  // H' = H + H0 + t1 u + t2 v.
  const double uO = 1000, vO = 2000, k = 1.0001, a = 30.0, t1 = 0.001, t2 = 0.002, h0 = 5;
  ASSERT_NO_FATAL_FAILURE(must("set,/par/pos/grid/loc/prj,{49,11,0.9999,100,200}"));
  ASSERT_NO_FATAL_FAILURE(must("set,/par/pos/grid/loc/par,{1000,2000,1.0001,30,0.001,0.002,5}"));
  ASSERT_NO_FATAL_FAILURE(must("set,/par/pos/grid/type,loc"));
  const Line l = nextOutputLine();
  const std::vector<double> st =
      cct("+proj=stere +lat_0=49 +lon_0=11 +k_0=0.9999 +x_0=200 +y_0=100" + kWgs84, l.wlat, l.wlon);
  ASSERT_GE(st.size(), 2u);
  const double u = st[1], v = st[0], c = std::cos(a * kDeg), s = std::sin(a * kDeg);
  EXPECT_NEAR(l.n, uO + (c * u - s * v) * k, kGridTol);
  EXPECT_NEAR(l.e, vO + (c * v + s * u) * k, kGridTol);
  EXPECT_NEAR(l.h, l.walt + h0 + t1 * u + t2 * v, kGridTol);

  // None again: the record holds no grid.
  ASSERT_NO_FATAL_FAILURE(must("set,/par/pos/grid/type,none"));
  const Line none = nextOutputLine();
  EXPECT_EQ(none.n, 0.0);
  EXPECT_EQ(none.e, 0.0);
}

TEST_F(OutputGrids, DanishNationalGridsAtASiteInJylland) {
  // Aarhus: System 34 Jylland and UTM zone 32 both hold it.
  ASSERT_NO_FATAL_FAILURE(startSim({"--nav", kNav, "--sky", "--site", "56.1572,10.2107,50"}));
  ASSERT_NO_FATAL_FAILURE(start());
  ASSERT_NO_FATAL_FAILURE(must("set,/par/rtk/dbi/temp,197"));
  // The national grid serves positions near the user projection's central meridian.
  ASSERT_NO_FATAL_FAILURE(must("set,/par/pos/grid/prj,{TM,0,9,0.9996,0,500000}"));
  ASSERT_NO_FATAL_FAILURE(must("set,/par/pos/grid/type,nat"));
  ASSERT_NO_FATAL_FAILURE(must("set,/par/pos/grid/zone,117"));
  Line l = nextOutputLine();
  ASSERT_NEAR(l.wlat, 56.1572, 1e-6);
  const std::vector<double> utm = cct("+proj=utm +zone=32 +ellps=intl", l.wlat, l.wlon);
  ASSERT_GE(utm.size(), 2u) << "cct (PROJ) is required";
  // The zone-32 grid on ED50 lies within the datum step's metres of the plain projection.
  const double off = std::hypot(l.e - utm[0], l.n - utm[1]);
  EXPECT_LT(off, 15.0) << l.n << " " << l.e << " PROJ " << utm[1] << " " << utm[0];
  const Line z117 = l;

  // System 34 Jylland: its own plane, some 200 km from zone 32's origin.
  ASSERT_NO_FATAL_FAILURE(must("set,/par/pos/grid/zone,1"));
  l = nextOutputLine();
  EXPECT_GT(l.n, 100000.0);
  EXPECT_LT(l.n, 400000.0);
  EXPECT_GT(l.e, 100000.0);
  EXPECT_LT(l.e, 400000.0);
  EXPECT_GT(std::fabs(l.n - z117.n), 1000.0);

  // Sjaelland and Bornholm do not hold the site: no grid.
  for (const char* zone : {"2", "3"}) {
    ASSERT_NO_FATAL_FAILURE(must(std::string("set,/par/pos/grid/zone,") + zone));
    l = nextOutputLine();
    EXPECT_EQ(l.n, 0.0) << zone;
    EXPECT_EQ(l.e, 0.0) << zone;
  }
  // Far from the user projection's central meridian the national grid serves nothing.
  ASSERT_NO_FATAL_FAILURE(must("set,/par/pos/grid/zone,1"));
  ASSERT_NO_FATAL_FAILURE(must("set,/par/pos/grid/prj,{TM,0,21,0.9996,0,500000}"));
  l = nextOutputLine();
  EXPECT_EQ(l.n, 0.0);
  EXPECT_EQ(l.e, 0.0);
}

}  // namespace
}  // namespace e2e
