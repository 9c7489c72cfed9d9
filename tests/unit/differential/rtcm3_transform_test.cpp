// RTCM 3 transformation sets (1021-1027) against PROJ's cct on the same parameters, the
// collection rules of a set, and cut or random messages.
#include "differential/rtcm3_transform.h"

#include <cmath>
#include <cstring>
#include <random>

#include "rtcm3_test_util.h"
#include "positioning/geodesy/got_datum.h"
#include "positioning/rcv_output.h"
#include "settings/nav_settings.h"

namespace {
using rtcm3test::Bytes;
using rtcm3test::Field;
constexpr double kAs = 4.84813681109536e-6;
constexpr double kDeg = M_PI / 180.0;

// EPSG:1618 (MGI to WGS 84) in the direction RTCM sends it: WGS 84 / GRS80 to Bessel 1841.
struct Set {
  int sysId = 7;
  unsigned indicator = 0;  // DF148, 10 bits
  double latV = 48.0 * 3600, lonV = 16.0 * 3600, extLatV = 4.0 * 3600, extLonV = 6.0 * 3600;
  double dx = -577.326, dy = -90.129, dz = -463.919;
  double r1 = 5.137, r2 = 1.474, r3 = 5.297, ds = -2.4232;
  double xp = 0, yp = 0, zp = 0;
  double aS = 6378137.0, bS = 6356752.314, aT = 6377397.155, bT = 6356078.963;
  int height = 0;
};
const char* kHelmert =
    "+proj=helmert +x=-577.326 +y=-90.129 +z=-463.919 +rx=5.137 +ry=1.474 +rz=5.297 +s=-2.4232 "
    "+convention=coordinate_frame";
const char* kBessel = "+a=6377397.155 +b=6356078.963";

std::uint64_t q(double v, double res) { return static_cast<std::uint64_t>(std::llround(v / res)); }
void name(std::vector<Field>& f, const std::string& s) {
  f.emplace_back(s.size(), 5);
  for (unsigned char c : s) f.emplace_back(c, 8);
}

Bytes msgParams(const Set& s, bool badekas) {
  std::vector<Field> f{{badekas ? 1022u : 1021u, 12}};
  name(f, "ETRS89");
  name(f, "MGI");
  f.insert(f.end(), {{static_cast<std::uint64_t>(s.sysId), 8}, {s.indicator, 10}, {0, 5}, {1, 4},
                     {static_cast<std::uint64_t>(s.height), 2}, {q(s.latV, 2), 19}, {q(s.lonV, 2), 20},
                     {q(s.extLatV, 2), 14}, {q(s.extLonV, 2), 14}, {q(s.dx, 0.001), 23}, {q(s.dy, 0.001), 23},
                     {q(s.dz, 0.001), 23}, {q(s.r1, 0.00002), 32}, {q(s.r2, 0.00002), 32},
                     {q(s.r3, 0.00002), 32}, {q(s.ds, 0.00001), 25}});
  if (badekas) f.insert(f.end(), {{q(s.xp, 0.001), 35}, {q(s.yp, 0.001), 35}, {q(s.zp, 0.001), 35}});
  f.insert(f.end(), {{q(s.aS - 6370000, 0.001), 24}, {q(s.bS - 6350000, 0.001), 25},
                     {q(s.aT - 6370000, 0.001), 24}, {q(s.bT - 6350000, 0.001), 25}, {1, 3}, {2, 3}});
  return rtcm3test::payload(f);
}
constexpr double kP = 0.000000011;
// 1025: type, origin (deg), scale field, FE, FN.
Bytes msg1025(int sysId, int type, double lat0, double lon0, std::uint64_t sno, double fe, double fn) {
  return rtcm3test::payload({{1025, 12}, {static_cast<std::uint64_t>(sysId), 8}, {static_cast<std::uint64_t>(type), 6},
                             {q(lat0, kP), 34}, {q(lon0, kP), 35}, {sno, 30}, {q(fe, 0.001), 36}, {q(fn, 0.001), 35}});
}
Bytes msg1026(int sysId, double lat0, double lon0, double lat1, double lat2, double fe, double fn) {
  return rtcm3test::payload({{1026, 12}, {static_cast<std::uint64_t>(sysId), 8}, {4, 6}, {q(lat0, kP), 34},
                             {q(lon0, kP), 35}, {q(lat1, kP), 34}, {q(lat2, kP), 34}, {q(fe, 0.001), 36},
                             {q(fn, 0.001), 35}});
}
Bytes msg1027(int sysId, double latc, double lonc, double az, double dGamma, std::uint64_t sil, double fe, double fn) {
  return rtcm3test::payload({{1027, 12}, {static_cast<std::uint64_t>(sysId), 8}, {7, 6}, {1, 1}, {q(latc, kP), 34},
                             {q(lonc, kP), 35}, {q(az, kP), 35}, {q(dGamma, kP), 26}, {sil, 30},
                             {q(fe, 0.001), 36}, {q(fn, 0.001), 35}});
}
// 1023 / 1024 with every residual the same.
Bytes msgGrid(int msg, int sysId, std::int64_t lat0, std::int64_t lon0, unsigned dLat, unsigned dLon, int meanN, int meanE,
              int meanH, int resN, int resE, int resH) {
  const bool plane = msg == 1024;
  std::vector<Field> f{{static_cast<std::uint64_t>(msg), 12}, {static_cast<std::uint64_t>(sysId), 8}, {1, 1}, {1, 1},
                       {static_cast<std::uint64_t>(lat0), plane ? 25 : 21}, {static_cast<std::uint64_t>(lon0), plane ? 26 : 22},
                       {dLat, 12}, {dLon, 12}, {static_cast<std::uint64_t>(meanN), plane ? 10 : 8},
                       {static_cast<std::uint64_t>(meanE), plane ? 10 : 8}, {static_cast<std::uint64_t>(meanH), 15}};
  for (int i = 0; i < 16; ++i)
    f.insert(f.end(), {{static_cast<std::uint64_t>(resN), 9}, {static_cast<std::uint64_t>(resE), 9},
                       {static_cast<std::uint64_t>(resH), 9}});
  f.insert(f.end(), {{0, 2}, {0, 2}, {0, 3}, {0, 3}, {60000, 16}});
  return rtcm3test::payload(f);
}

bool feed(const Bytes& p) {
  BitReader br(p.data(), 8 * static_cast<int>(p.size()));
  br.reset(8 * static_cast<int>(p.size()), 12);
  return RTC3_CoordTransf::apply(p[0] << 4 | p[1] >> 4, br, 17);
}

NavTask::DATUM_IN_USE& current() { return *reinterpret_cast<NavTask::DATUM_IN_USE*>(NavSet.datum); }

struct Fresh {
  Fresh() {
    assignDatum("W84", &current());
    gridSys = 4;
    mapID = 0;
    RTC3_CoordTransf::clearGotTransData();
  }
  ~Fresh() {
    gridSys = 0;
    mapID = 0;
    assignDatum("W84", &current());
    RTC3_CoordTransf::clearGotTransData();
  }
};

// Output of the received datum for a WGS 84 point: locGeo, grid (N, E, h); false when invalid.
bool output(double latDeg, double lonDeg, double h, POS_GEO& geo, double grid[3], POS_CRT* crt = nullptr) {
  POS_CRT w{}, loc{};
  EllMath::BLH_XYZ(EllExt, latDeg * kDeg, lonDeg * kDeg, h, w.x, w.y, w.z);
  double rh;
  bool rp;
  if (!RCV_OUTPUT::GlobPos2Loc(GotDatum.datum, w, &loc, &geo, &rh, &rp)) return false;
  if (crt) *crt = loc;
  if (grid == nullptr) return true;
  return RCV_OUTPUT::BLH_Proj(GotDatum.datum, geo, grid, &rh, &rp);
}

// cct's three output numbers for one WGS 84 point through `pipeline`.
std::vector<double> cct(const std::string& pipeline, double latDeg, double lonDeg, double h) {
  EXPECT_EQ(access("/usr/bin/cct", X_OK), 0) << "cct (Debian proj-bin) is required: run scripts/setup";
  char in[128];
  std::snprintf(in, sizeof in, "%.10f %.10f %.4f 0", lonDeg, latDeg, h);
  std::istringstream out(rtcm3test::run(std::string("echo '") + in + "' | cct -d 6 +proj=pipeline +step +proj=cart " +
                                        "+ellps=WGS84 +step " + pipeline + " 2>/dev/null"));
  std::vector<double> v(3, NAN);
  out >> v[0] >> v[1] >> v[2];
  return v;
}
std::string toBessel(const std::string& prj) {
  return std::string(kHelmert) + " +step +inv +proj=cart " + kBessel + (prj.empty() ? "" : " +step " + prj + " " + kBessel);
}

TEST(Rtcm3Transform, HelmertWithUtmMatchesCct) {
  Fresh f;
  Set s;
  s.indicator = 1u << 7;  // 1025
  ASSERT_TRUE(feed(msgParams(s, false)));
  EXPECT_EQ(GotPrjExt.type, 0) << "the set is not whole before its projection";
  ASSERT_TRUE(feed(msg1025(7, 1, 0.0, 15.0, 660000000, 500000.0, 0.0)));
  ASSERT_EQ(GotPrjExt.type, EllMath::PRJ_TM);
  EXPECT_NEAR(GotPrjExt.utm.p.k0, 0.9996, 1e-12) << "scale = (993000 + field x 1e-5) ppm";
  EXPECT_EQ(mapID, EllMath::PRJ_TM);
  POS_GEO geo;
  double g[3];
  ASSERT_TRUE(output(48.2, 16.37, 200.0, geo, g));
  const auto t = cct(toBessel("+proj=utm +zone=33"), 48.2, 16.37, 200.0);
  EXPECT_NEAR(g[1], t[0], 1e-3);
  EXPECT_NEAR(g[0], t[1], 1e-3);
  EXPECT_NEAR(g[2], t[2], 1e-3);
  EXPECT_FALSE(output(40.0, 16.37, 200.0, geo, g)) << "outside the area of validity";
  EXPECT_FALSE(output(48.2, 25.0, 200.0, geo, g));
}

TEST(Rtcm3Transform, MolodenskiBadekasMatchesCct) {
  Fresh f;
  Set s;
  s.xp = 4157222.543;
  s.yp = 664789.307;
  s.zp = 4774952.099;
  ASSERT_TRUE(feed(msgParams(s, true)));
  POS_GEO geo;
  POS_CRT crt;
  ASSERT_TRUE(output(48.2, 16.37, 200.0, geo, nullptr, &crt));
  std::istringstream out(rtcm3test::run(
      "echo '16.37 48.2 200 0' | cct -d 6 +proj=pipeline +step +proj=cart +ellps=WGS84 +step +proj=molobadekas "
      "+x=-577.326 +y=-90.129 +z=-463.919 +rx=5.137 +ry=1.474 +rz=5.297 +s=-2.4232 +px=4157222.543 "
      "+py=664789.307 +pz=4774952.099 +convention=coordinate_frame 2>/dev/null"));
  double x = NAN, y = NAN, z = NAN;
  out >> x >> y >> z;
  EXPECT_NEAR(crt.x, x, 1e-3);
  EXPECT_NEAR(crt.y, y, 1e-3);
  EXPECT_NEAR(crt.z, z, 1e-3);
}

TEST(Rtcm3Transform, ConicAndObliqueMercatorMatchCct) {
  struct Row {
    const char* what;
    Bytes prj;
    unsigned indicator;
    std::string proj;
  } rows[] = {
      {"1026 LCC 2SP", msg1026(7, 47.5, 13.333333333, 46.0, 49.0, 400000.0, 400000.0), 1u << 6,
       "+proj=lcc +lat_0=47.5 +lon_0=13.333333333 +lat_1=46 +lat_2=49 +x_0=400000 +y_0=400000"},
      {"1027 oblique Mercator", msg1027(7, 47.0, 16.0, 30.0, 0.2, 700000000, 600000.0, 200000.0), 1u << 5,
       "+proj=omerc +lat_0=47 +lonc=16 +alpha=30 +gamma=30.2 +k=1 +x_0=600000 +y_0=200000"},
  };
  for (const Row& r : rows) {
    Fresh f;
    Set s;
    s.indicator = r.indicator;
    ASSERT_TRUE(feed(msgParams(s, false))) << r.what;
    ASSERT_TRUE(feed(r.prj)) << r.what;
    POS_GEO geo;
    double g[3];
    ASSERT_TRUE(output(48.2, 16.37, 200.0, geo, g)) << r.what;
    const auto t = cct(toBessel(r.proj), 48.2, 16.37, 200.0);
    EXPECT_NEAR(g[1], t[0], 1e-3) << r.what;
    EXPECT_NEAR(g[0], t[1], 1e-3) << r.what;
  }
}

// The grid's corrections are added whole inside it and nowhere else.
TEST(Rtcm3Transform, ResidualGridsMoveTheOutputInside) {
  POS_GEO plain, moved;
  double gp[3], gm[3];
  {
    Fresh f;
    Set s;
    s.indicator = 1u << 7;
    feed(msgParams(s, false));
    feed(msg1025(7, 1, 0.0, 15.0, 660000000, 500000.0, 0.0));
    ASSERT_TRUE(output(48.2, 16.37, 200.0, plain, gp));
  }
  {  // 1023: mean +0.1", residual +0.006", mean height +0.1 m, height residual +0.05 m
    Fresh f;
    Set s;
    s.indicator = 1u << 9;
    feed(msgParams(s, false));
    ASSERT_TRUE(feed(msgGrid(1023, 7, std::llround(48.2 * 7200), std::llround(16.37 * 7200), 120, 120, 100, -50, 10,
                             200, 0, 50)));
    ASSERT_NE(GotDatum.datum.res, nullptr);
    ASSERT_TRUE(output(48.2, 16.37, 200.0, moved, nullptr));
    EXPECT_NEAR(moved.lat - plain.lat, 0.106 * kAs, 1e-12);
    EXPECT_NEAR(moved.lon - plain.lon, -0.050 * kAs, 1e-12);
    EXPECT_NEAR(moved.h - plain.h, 0.15, 1e-6);
    POS_GEO far;
    if (output(46.5, 16.37, 200.0, far, nullptr)) {
      POS_GEO ref;
      Fresh g;
      Set s2;
      feed(msgParams(s2, false));
      ASSERT_TRUE(output(46.5, 16.37, 200.0, ref, nullptr));
      EXPECT_NEAR(far.lat, ref.lat, 1e-12) << "no correction outside the grid";
    }
  }
  {  // 1024: mean N +0.1 m, residual N +0.2 m, mean E -0.3 m, mean height +0.1 m
    Fresh f;
    Set s;
    s.indicator = (1u << 8) | (1u << 7);
    feed(msgParams(s, false));
    feed(msg1025(7, 1, 0.0, 15.0, 660000000, 500000.0, 0.0));
    ASSERT_TRUE(feed(msgGrid(1024, 7, std::llround(gp[0] / 10), std::llround(gp[1] / 10), 100, 100, 10, -30, 10, 200,
                             0, 0)));
    ASSERT_NE(GotMapPrj, nullptr);
    ASSERT_TRUE(output(48.2, 16.37, 200.0, moved, gm));
    EXPECT_NEAR(gm[0] - gp[0], 0.3, 1e-5);
    EXPECT_NEAR(gm[1] - gp[1], -0.3, 1e-5);
    EXPECT_NEAR(gm[2] - gp[2], 0.1, 1e-5);
    double gf[3];
    ASSERT_TRUE(output(47.0, 16.37, 200.0, moved, gf));
    POS_GEO r;
    double gr[3];
    Fresh g;
    Set s2;
    s2.indicator = 1u << 7;
    feed(msgParams(s2, false));
    feed(msg1025(7, 1, 0.0, 15.0, 660000000, 500000.0, 0.0));
    ASSERT_TRUE(output(47.0, 16.37, 200.0, r, gr));
    EXPECT_DOUBLE_EQ(gf[0], gr[0]) << "no correction outside the grid";
  }
}

TEST(Rtcm3Transform, CollectionRules) {
  const Bytes utm = msg1025(7, 1, 0.0, 15.0, 660000000, 500000.0, 0.0);
  struct Row {
    const char* what;
    unsigned indicator;
    double bS;
    std::vector<Bytes> after;  // messages after the 1021
    unsigned stores;           // projection stores counted (grid system 4)
    bool gotBessel;            // "GOT" holds the received ellipsoid at the end
  } rows[] = {
      {"Helmert alone is a whole set", 0, 6356752.314, {}, 0, true},
      {"reserved DF148 bits do not block the set", 0x1F, 6356752.314, {}, 0, true},
      {"announced 1025 waits for it", 1u << 7, 6356752.314, {}, 0, false},
      {"announced 1025 stores on it", 1u << 7, 6356752.314, {utm}, 1, true},
      {"a second 1025 stores again", 1u << 7, 6356752.314, {utm, utm}, 2, true},
      {"a 1021 again does not complete without a new 1025", 1u << 7, 6356752.314, {utm, Bytes{}}, 1, true},
      {"a projection of another system is ignored", 1u << 7, 6356752.314,
       {msg1025(8, 1, 0.0, 15.0, 660000000, 500000.0, 0.0)}, 0, false},
      {"1023 announced but 1025 sent", 1u << 9, 6356752.314, {utm}, 0, false},
      {"a source ellipsoid 0.3 m off stores nothing", 0, 6356752.614, {}, 0, false},
      {"projection type 12 is refused", 1u << 7, 6356752.314, {msg1025(7, 12, 0, 15, 660000000, 5e5, 0)}, 0, false},
      {"projection type 63 is refused", 1u << 7, 6356752.314, {msg1025(7, 63, 0, 15, 660000000, 5e5, 0)}, 0, false},
      {"projection type 0 is refused", 1u << 7, 6356752.314, {msg1025(7, 0, 0, 15, 660000000, 5e5, 0)}, 0, false},
      {"1025 with the two-parallel conic's type is refused", 1u << 7, 6356752.314,
       {msg1025(7, 4, 0, 15, 660000000, 5e5, 0)}, 0, false},
      {"1025 with the oblique Mercator's type is refused", 1u << 7, 6356752.314,
       {msg1025(7, 7, 0, 15, 660000000, 5e5, 0)}, 0, false},
      {"1025 Cassini-Soldner is taken", 1u << 7, 6356752.314, {msg1025(7, 6, 47, 15, 700000000, 5e5, 0)}, 1, true},
  };
  for (const Row& r : rows) {
    Fresh f;
    Set s;
    s.indicator = r.indicator;
    s.bS = r.bS;
    const Bytes params = msgParams(s, false);
    const std::uint32_t before = prjChangeCnt;
    feed(params);
    for (const Bytes& m : r.after) feed(m.empty() ? params : m);
    EXPECT_EQ(prjChangeCnt - before, r.stores) << r.what;
    EXPECT_EQ(GotDatum.datum.ell.a == 6377397.155, r.gotBessel) << r.what;
  }
}

TEST(Rtcm3Transform, ReceivedDatumReplacesOnlyAChosenGot) {
  for (bool chosen : {false, true}) {
    Fresh f;
    if (chosen) assignDatum("GOT", &current());
    const std::uint32_t before = datumChangeCnt;
    feed(msgParams(Set{}, false));
    EXPECT_EQ(std::strcmp(current().name, chosen ? "GOT" : "W84"), 0);
    EXPECT_EQ(current().ell.a, chosen ? 6377397.155 : 6378137.0);
    EXPECT_EQ(datumChangeCnt - before, chosen ? 1u : 0u);
    NavTask::DATUM_IN_USE listed{};
    ASSERT_TRUE(assignDatum("GOT", &listed)) << "the datum list always holds the received datum";
    EXPECT_EQ(listed.ell.a, 6377397.155);
  }
}

TEST(Rtcm3Transform, ClearMakesGotACopyOfTheCurrentDatum) {
  Fresh f;
  feed(msgParams(Set{}, false));
  feed(msg1025(7, 1, 0.0, 15.0, 660000000, 500000.0, 0.0));
  RTC3_CoordTransf::clearGotTransData();
  const NavTask::DATUM_IN_USE& g = GotDatum.datum;
  EXPECT_STREQ(g.name, "GOT");
  EXPECT_EQ(g.ell.a, 6378137.0);
  EXPECT_EQ(g.prm.dx, 0.0);
  EXPECT_EQ(g.res, nullptr);
  EXPECT_EQ(GotPrjExt.type, 0);
  EXPECT_EQ(GotMapPrj, nullptr);
  EXPECT_EQ(RTC3_CoordTransf::Rtc3CoordTransData.sysId, 255);
  EXPECT_EQ(RTC3_CoordTransf::Rtc3CoordTransData.stationId, -1);
  POS_GEO geo;
  ASSERT_TRUE(output(10.0, 100.0, 50.0, geo, nullptr)) << "a copy of WGS 84 answers everywhere";
  EXPECT_NEAR(geo.lat, 10.0 * kDeg, 1e-12);
  // A current datum that is "GOT" itself keeps nothing of the dropped set it pointed into.
  assignDatum("GOT", &current());
  feed(msgParams(Set{}, false));
  RTC3_CoordTransf::clearGotTransData();
  EXPECT_EQ(current().area, nullptr);
  EXPECT_EQ(current().res, nullptr);
  EXPECT_FALSE(output(48.2, 16.37, 200.0, geo, nullptr)) << "no received set: no position in GOT";
}

TEST(Rtcm3Transform, Df148IsTenBitsMostSignificantFirst) {
  // A 5-bit DF148 would shift every later field: the Helmert values must read back whole.
  Set s;
  s.indicator = 0x3FF;
  const Bytes p = msgParams(s, false);
  BitReader br(p.data(), 8 * static_cast<int>(p.size()));
  br.reset(8 * static_cast<int>(p.size()), 12);
  RTC3_TRANSF_PARAMS t;
  ASSERT_TRUE(RTC3_CoordTransf::readParams(1021, br, t));
  EXPECT_EQ(t.indicator, 0x3FF);
  EXPECT_NEAR(t.dx, -577.326, 1e-9);
  EXPECT_NEAR(t.r3, 5.297, 1e-9);
  EXPECT_NEAR(t.ds, -2.4232, 1e-9);
  EXPECT_NEAR(t.bT, 6356078.963, 1e-6);
  EXPECT_EQ(br.bitsLeft() < 8, true);
}

TEST(Rtcm3Transform, RecordedResidualMessageReadsWhole) {
  const Bytes d = rtcm3test::readFile(rtcm3test::recording("mt1023.rtcm3"));
  ASSERT_GT(d.size(), 6u);
  const Bytes p(d.begin() + 3, d.end() - 3);
  BitReader br(p.data(), 8 * static_cast<int>(p.size()));
  br.reset(8 * static_cast<int>(p.size()), 12);
  RTC3_RESIDUALS r;
  ASSERT_TRUE(RTC3_CoordTransf::readResiduals(1023, br, r));
  EXPECT_EQ(r.sysId, 8);
  EXPECT_LT(br.bitsLeft(), 8) << "the layout fills the frame up to its padding";
}

TEST(Rtcm3Transform, CutAndRandomMessagesStoreNothing) {
  Set s;
  s.indicator = 0;
  const std::vector<Bytes> whole = {msgParams(s, false), msgParams(s, true),
                                    msgGrid(1023, 7, 0, 0, 10, 10, 1, 1, 1, 1, 1, 1),
                                    msgGrid(1024, 7, 0, 0, 10, 10, 1, 1, 1, 1, 1, 1),
                                    msg1025(7, 1, 0, 15, 660000000, 5e5, 0), msg1026(7, 47, 13, 46, 49, 4e5, 4e5),
                                    msg1027(7, 47, 16, 30, 0.5, 7e8, 6e5, 2e5)};
  for (const Bytes& w : whole) {
    for (std::size_t len = 2; len + 1 < w.size(); ++len) {
      Fresh f;
      Bytes cut(w.begin(), w.begin() + static_cast<long>(len));
      EXPECT_FALSE(feed(cut)) << (w[0] << 4 | w[1] >> 4) << " cut to " << len;
      EXPECT_EQ(GotDatum.datum.ell.a, 6378137.0);
    }
  }
  // Random payloads behind a good CRC through the decoder: nothing outside the record is touched.
  std::mt19937 rng(53);
  RTC3_Decoder& dec = Rtcm3Dec[1];
  rtcm3test::RecordingClient client;
  dec.initDecoder(&client);
  NAV_Decoder nd(&dec);
  Fresh f;
  for (int i = 0; i < 3000; ++i) {
    const int msg = 1021 + i % 7;
    Bytes p(1 + rng() % 120);
    for (auto& b : p) b = static_cast<unsigned char>(rng());
    if (p.size() < 2) p.resize(2);
    p[0] = static_cast<unsigned char>(msg >> 4);
    p[1] = static_cast<unsigned char>((msg & 15) << 4 | (p[1] & 15));
    const Bytes fr = rtcm3test::frameOf(p);
    nd.putData(fr.data(), static_cast<int>(fr.size()), static_cast<InPorts::DecPortIndex>(1));
  }
  EXPECT_GT(dec.getStatus().goodFrames, 0);
}

TEST(Rtcm3Transform, FramesReachTheSetThroughTheDecoder) {
  Fresh f;
  RTC3_Decoder& dec = Rtcm3Dec[1];
  rtcm3test::RecordingClient client;
  dec.initDecoder(&client);
  NAV_Decoder nd(&dec);
  const Bytes fr = rtcm3test::frameOf(msgParams(Set{}, false));
  nd.putData(fr.data(), static_cast<int>(fr.size()), static_cast<InPorts::DecPortIndex>(1));
  EXPECT_EQ(GotDatum.datum.ell.a, 6377397.155);
  EXPECT_EQ(RTC3_CoordTransf::Rtc3CoordTransData.sysId, 7);
}
}  // namespace
