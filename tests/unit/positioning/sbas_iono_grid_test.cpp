// SBAS ionosphere grid at the pierce point: the grid numbering against RTCA DO-229D's bands,
// every cell rule reproducing a field linear in latitude and longitude exactly, the polar rule
// against DO-229D's formula, the GIVE variances against DO-229D's sigma^2_GIVE with the MT10
// degradation, and the slant delay of GPS and GLONASS signals.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <map>
#include <set>
#include <vector>

#include "positioning/data_servers/pvt_data.h"
#include "positioning/sbas/sbas_corr_generator.h"

namespace {

using G = SbasCorrGenerator;
using Field = std::function<double(int lat, int lon)>;

constexpr int kNow = 200000000;  // ms of week
const SvIdType kSource{2, 3, 0, 2};

// v = 12 + 0.025 lat + 0.025 lon (m): whole 0.125 m at every grid point, so the broadcast
// values carry it exactly.
double plane(double lat, double lon) { return 12.0 + 0.025 * lat + 0.025 * lon; }

struct Grid {
  bool extNorth = false, extSouth = false;
  std::set<int> bands;  // bands 0..8 to fill (at most 8 bands fit a source's pool)
  std::vector<std::pair<int, int>> missing;  // points left out
  std::vector<std::pair<int, int>> notMonitored, doNotUse;
  Field field = [](int lat, int lon) { return plane(lat, lon); };
  int givei = 4;
  int ageMs = 10000;
};

bool listed(const std::vector<std::pair<int, int>>& l, int lat, int lon) {
  for (const auto& p : l)
    if (p.first == lat && p.second == lon) return true;
  return false;
}

void putPoint(int n, int lat, int lon, const Grid& g) {
  SBASData::IonoCorrectionType c;
  c.init();
  int delay = static_cast<int>(std::lround(g.field(lat, lon) / 0.125));
  int givei = g.givei;
  if (listed(g.notMonitored, lat, lon)) givei = 15;
  if (listed(g.doNotUse, lat, lon)) delay = 511;
  c.set_Correction(delay, givei);
  c.set_ReadyGridData(kSource);
  c.set_ReadyIonoCorr(kSource);
  SBASData::set_TimeTag(c.ulGridTime, kNow - 60000);
  SBASData::set_TimeTag(c.ulCorrTime, kNow - g.ageMs);
  ASSERT_EQ(PVTDataInstance.sbasIonoCorrection[0].Put((n - 1) % 201, (n - 1) / 201, &c, -1, -1), 1);
}

void fill(const Grid& g) {
  PVTDataInstance.sbasIonoCorrection[0].Init();
  for (int lat = -85; lat <= 85; lat += 5)
    for (int lon = -180; lon < 180; lon += 5) {
      if (listed(g.missing, lat, lon)) continue;
      const int n = G::get_GridPointNumber(lat, lon, false);
      if (n > 0 && g.bands.count((n - 1) / 201) != 0) putPoint(n, lat, lon, g);
      const bool ext = lat >= 60 ? g.extNorth : lat <= -60 ? g.extSouth : false;
      const int e = ext ? G::get_GridPointNumber(lat, lon, true) : 0;
      if (e > 0) putPoint(e, lat, lon, g);
    }
}

std::set<int> bandsAround(double lon) {
  const int b = static_cast<int>(std::floor((lon + 180.0) / 40.0)) % 9;
  return {(b + 8) % 9, b, (b + 1) % 9};
}

G generator(bool precision = true, const SBASData::DegradationDataType* mt10 = nullptr) {
  PosSetup::CorrProcessorSetupType s;
  PosSetup::setDefaults(s);
  const std::uint32_t mode = 2;
  std::memcpy(s.aBytes + SBASData::kSetupSbasModeOffset, &mode, 4);
  SBASData::IonoCorrectionType::set_DataTimeout(&s);  // delays 600 s, masks 1200 s
  G g(&PVTDataInstance);
  g.set_IonoSource(0, kSource, kNow, precision, mt10);
  return g;
}

// ---- the grid numbering ------------------------------------------------------------------------

TEST(SbasIonoGridTables, BandsHoldDo229Counts) {
  std::map<int, int> perBand;
  std::set<int> seen;
  for (int lat = -85; lat <= 85; lat += 5)
    for (int lon = -180; lon < 180; lon += 5)
      for (bool ext : {false, true}) {
        const int n = G::get_GridPointNumber(lat, lon, ext);
        if (n == 0 || (ext && std::abs(lat) < 60)) continue;
        if (seen.insert(n).second) ++perBand[(n - 1) / 201];
      }
  const int counts[11] = {201, 201, 201, 201, 201, 201, 201, 201, 200, 192, 192};
  for (int b = 0; b < 11; ++b) EXPECT_EQ(perBand[b], counts[b]) << "band " << b;
}

// Grid points of DO-229D's band tables: (band, IGP number 1-based, latitude, longitude).
TEST(SbasIonoGridTables, NamedPointsOfTheBands) {
  struct {
    int band, igp, lat, lon;
  } rows[] = {
      {0, 1, -75, -180},  {0, 28, 85, -180},  {0, 29, -55, -175}, {0, 51, 55, -175},  {0, 52, -75, -170},
      {0, 201, 55, -145}, {1, 1, -85, -140},  {1, 28, 75, -140},  {2, 1, -75, -100},  {3, 1, -75, -60},
      {4, 1, -75, -20},   {5, 1, -75, 20},    {6, 1, -75, 60},    {7, 1, -75, 100},   {8, 1, -75, 140},
      {8, 200, 55, 175},  {6, 201, 55, 95},   {9, 1, 60, -180},   {9, 72, 60, 175},   {9, 73, 65, -180},
      {9, 108, 65, 170},  {9, 145, 75, -180}, {9, 181, 85, -180}, {9, 192, 85, 150},  {10, 1, -60, -180},
      {10, 181, -85, -170}, {10, 192, -85, 160},
  };
  for (const auto& r : rows)
    EXPECT_EQ(G::get_GridPointNumber(r.lat, r.lon, r.band >= 9), r.band * 201 + r.igp)
        << "band " << r.band << " IGP " << r.igp;
  // Rows and places without a grid point.
  const int none[][3] = {{60, 0, 0}, {70, 10, 0}, {80, 0, 1}, {65, 5, 0}, {85, 10, 0}, {-85, -180, 0},
                         {90, 0, 0}, {-90, 0, 1}, {52, 0, 0}, {50, 3, 0}, {65, 5, 1}};
  for (const auto& p : none) EXPECT_EQ(G::get_GridPointNumber(p[0], p[1], p[2] != 0), 0) << p[0] << "/" << p[1];
  // Longitudes wrap either way.
  EXPECT_EQ(G::get_GridPointNumber(30, 180, false), G::get_GridPointNumber(30, -180, false));
  EXPECT_EQ(G::get_GridPointNumber(30, -185, false), G::get_GridPointNumber(30, 175, false));
  EXPECT_EQ(G::get_GridPointNumber(30, 905, false), G::get_GridPointNumber(30, -175, false));
}

// ---- planar fields -----------------------------------------------------------------------------

struct PlaneRow {
  const char* name;
  float lat, lon;
  bool extNorth, extSouth;
  std::vector<std::pair<int, int>> missing;
  int cellLat, cellLon;  // spans of the cell that must serve (0: not checked)
};

TEST(SbasIonoGrid, EveryCellRuleReproducesAPlane) {
  const PlaneRow rows[] = {
      {"5x5", 32.3f, 17.8f, false, false, {}, 5, 5},
      {"5x5 south-west", -12.6f, -77.2f, false, false, {}, 5, 5},
      {"5x5 on the equator", 0.0f, 101.0f, false, false, {}, 5, 5},
      {"10x10 for a 5x5 with two corners out", 52.2f, 12.4f, false, false, {{50, 10}, {55, 15}}, 10, 10},
      {"10x10 placed to the west", 31.0f, 11.0f, false, false, {{30, 10}, {35, 15}, {40, 10}}, 10, 10},
      {"10x10 above 55 without band 9", 58.0f, 23.0f, false, false, {}, 10, 10},
      {"10x10 above 65 without band 9", 70.1f, 100.3f, false, false, {}, 10, 10},
      {"10x10 below -55 without band 10", -63.7f, -41.2f, false, false, {}, 10, 10},
      {"5x5 above 55 with band 9", 57.5f, 33.3f, true, false, {}, 5, 5},
      {"5x10 with band 9", 62.2f, 44.4f, true, false, {}, 5, 10},
      {"5x10 with band 9 at 75", 74.9f, -170.5f, true, false, {}, 5, 10},
      {"5x10 with band 10", -68.0f, 12.0f, false, true, {}, 5, 10},
      {"10x10 of the extra bands", 66.0f, 44.0f, true, false, {{65, 40}, {70, 50}}, 10, 10},
      {"virtual cell 90 degrees", 80.0f, 33.0f, false, false, {}, 10, 10},
      {"virtual cell 30 degrees", 81.5f, -47.0f, true, false, {}, 10, 10},
      {"virtual cell south", -78.0f, 12.5f, false, false, {}, 10, 10},
      {"virtual cell south 30 degrees", -83.0f, 141.0f, false, true, {}, 10, 10},
  };
  for (const PlaneRow& r : rows) {
    Grid g;
    g.extNorth = r.extNorth, g.extSouth = r.extSouth;
    g.bands = bandsAround(r.lon);
    g.missing = r.missing;
    fill(g);
    G gen = generator();
    G::IonoCellType cell;
    ASSERT_TRUE(gen.compute_IonoVertical(r.lat, r.lon, cell)) << r.name;
    EXPECT_NEAR(cell.fDelay, plane(r.lat, r.lon), 1e-6) << r.name;
    EXPECT_NEAR(cell.fAge, 10.0, 1e-3) << r.name;
    const float dLat = std::fabs(cell.point[2].fLat - cell.point[0].fLat);
    const float dLon = std::fmod(cell.point[1].fLon - cell.point[0].fLon + 360.0f, 360.0f);
    if (r.cellLat != 0) {
      EXPECT_TRUE(dLat == r.cellLat && dLon == r.cellLon) << r.name << ": " << dLat << " x " << dLon;
    }
  }
}

// One corner gone each time, the pierce point inside the triangle of the other three.
TEST(SbasIonoGrid, TriangleInEachOrientation) {
  struct {
    const char* name;
    std::pair<int, int> gone;
    float lat, lon;
    int missingCorner;
  } rows[] = {
      {"north-east gone", {35, 15}, 31.0f, 11.0f, 2},
      {"north-west gone", {35, 10}, 31.0f, 14.0f, 3},
      {"south-west gone", {30, 10}, 34.0f, 14.0f, 0},
      {"south-east gone", {30, 15}, 34.0f, 11.0f, 1},
  };
  for (const auto& r : rows) {
    Grid g;
    g.bands = bandsAround(r.lon);
    g.missing = {r.gone};
    fill(g);
    G gen = generator();
    G::IonoCellType cell;
    ASSERT_TRUE(gen.compute_IonoVertical(r.lat, r.lon, cell)) << r.name;
    EXPECT_NEAR(cell.fDelay, plane(r.lat, r.lon), 1e-6) << r.name;
    EXPECT_EQ(cell.point[r.missingCorner].bUsable, 0) << r.name;
    EXPECT_EQ(cell.point[0].fLat + 5.0f, cell.point[2].fLat) << r.name;  // the 5x5 cell served
  }
}

// Only three grid points in reach: inside their triangle a value, outside none.
TEST(SbasIonoGrid, ThreeCornersAroundAnOutsidePointGiveNothing) {
  Grid g;
  PVTDataInstance.sbasIonoCorrection[0].Init();
  for (auto [lat, lon] : {std::pair{30, 10}, std::pair{30, 15}, std::pair{35, 10}})
    putPoint(G::get_GridPointNumber(lat, lon, false), lat, lon, g);
  G gen = generator();
  G::IonoCellType cell;
  EXPECT_TRUE(gen.compute_IonoVertical(31.0f, 11.0f, cell));
  EXPECT_NEAR(cell.fDelay, plane(31, 11), 1e-6);
  EXPECT_FALSE(gen.compute_IonoVertical(34.0f, 14.0f, cell));
  EXPECT_FALSE(gen.compute_IonoVertical(32.6f, 12.6f, cell));  // just past the diagonal
  EXPECT_TRUE(gen.compute_IonoVertical(32.4f, 12.4f, cell));   // just before it
}

// GIVEI 15 and the delay 511 make a corner unusable though it is in the mask.
TEST(SbasIonoGrid, NotMonitoredAndDoNotUseCornersAreLeftOut) {
  for (bool dnu : {false, true}) {
    Grid g;
    PVTDataInstance.sbasIonoCorrection[0].Init();
    const std::pair<int, int> pts[] = {{30, 10}, {30, 15}, {35, 15}, {35, 10}};
    (dnu ? g.doNotUse : g.notMonitored).push_back({35, 15});
    for (auto [lat, lon] : pts) putPoint(G::get_GridPointNumber(lat, lon, false), lat, lon, g);
    G gen = generator();
    G::IonoCellType cell;
    ASSERT_TRUE(gen.compute_IonoVertical(31.0f, 11.0f, cell)) << dnu;
    EXPECT_TRUE(cell.point[2].bAvailable == 1 && cell.point[2].bUsable == 0) << dnu;
    EXPECT_NEAR(cell.fDelay, plane(31, 11), 1e-6);
    EXPECT_FALSE(gen.compute_IonoVertical(34.0f, 14.0f, cell)) << dnu;
  }
}

// Bounds take the rule of the lower latitude: the cell's rows tell which rule served.
TEST(SbasIonoGrid, LatitudeBoundsTakeTheLowerRule) {
  struct {
    const char* name;
    float lat;
    bool ext;
    int row1, row2;
  } rows[] = {
      {"55", 55.0f, false, 50, 55},         {"55 south", -55.0f, false, -55, -50},
      {"just above 55", 55.01f, false, 55, 65}, {"60 without band 9", 60.0f, false, 55, 65},
      {"60 with band 9", 60.0f, true, 55, 60},  {"just above 60 with band 9", 60.01f, true, 60, 65},
      {"65 without band 9", 65.0f, false, 55, 65}, {"75 without band 9", 75.0f, false, 65, 75},
      {"75 with band 9", 75.0f, true, 70, 75},  {"85", 85.0f, false, 75, 85},
      {"85 south with band 10", -85.0f, true, -85, -75},
  };
  for (const auto& r : rows) {
    Grid g;
    g.extNorth = g.extSouth = r.ext;
    g.bands = bandsAround(40.0);
    fill(g);
    G gen = generator();
    G::IonoCellType cell;
    ASSERT_TRUE(gen.compute_IonoVertical(r.lat, 41.0f, cell)) << r.name;
    EXPECT_TRUE(cell.point[0].fLat == r.row1 && cell.point[2].fLat == r.row2)
        << r.name << ": " << cell.point[0].fLat << ".." << cell.point[2].fLat;
    EXPECT_NEAR(cell.fDelay, plane(r.lat, 41.0), 1e-6) << r.name;
  }
}

// Above 85 degrees, DO-229D A.4.4.10.3: with lon3 the 85-degree point west of the pierce point,
// y = (|lat| - 85) / 10 and x = (lon - lon3) / 90 (1 - 2y) + y; the points at lon3, lon3 + 90,
// lon3 + 180 and lon3 + 270 weigh (1 - x)(1 - y), x (1 - y), x y and (1 - x) y.
TEST(SbasIonoGrid, PolarCellsFollowTheDo229Formula) {
  const double north[4] = {10.0, 12.5, 14.0, 16.25};  // at -180, -90, 0, 90
  const double south[4] = {20.0, 21.5, 23.0, 24.75};  // at -140, -50, 40, 130
  Grid g;
  g.field = [&](int lat, int lon) {
    if (lat == 85) return north[(lon + 180) / 90];
    if (lat == -85) return south[(lon + 140) / 90];
    return 30.0;
  };
  g.bands = {0, 1, 2, 3, 4, 5, 6, 7};  // the eight 85-degree points, the most a source's pool holds
  fill(g);
  struct {
    float lat, lon;
  } rows[] = {{87.0f, 20.0f}, {86.0f, -179.0f}, {89.5f, 95.0f}, {85.5f, -90.0f}, {-88.0f, -100.0f},
              {-86.2f, 175.0f}, {-89.9f, 0.0f}};
  for (const auto& r : rows) {
    const bool s = r.lat < 0;
    const double* v = s ? south : north;
    const double first = s ? -140 : -180;
    const double d = std::fmod(r.lon - first + 720.0, 360.0);
    const int i3 = static_cast<int>(d / 90.0);
    const double y = (std::fabs(r.lat) - 85.0) / 10.0;
    const double x = (d - 90.0 * i3) / 90.0 * (1 - 2 * y) + y;
    const double expect = (1 - x) * (1 - y) * v[i3] + x * (1 - y) * v[(i3 + 1) % 4] + x * y * v[(i3 + 2) % 4] +
                          (1 - x) * y * v[(i3 + 3) % 4];
    G gen = generator();
    G::IonoCellType cell;
    ASSERT_TRUE(gen.compute_IonoVertical(r.lat, r.lon, cell)) << r.lat << "/" << r.lon;
    EXPECT_NEAR(cell.fDelay, expect, 1e-5) << r.lat << "/" << r.lon;
  }
  // At the pole every longitude meets the mean of the four.
  for (float lon : {-180.0f, -33.0f, 0.0f, 121.0f, 179.99f}) {
    G gen = generator();
    G::IonoCellType cell;
    ASSERT_TRUE(gen.compute_IonoVertical(90.0f, lon, cell));
    EXPECT_NEAR(cell.fDelay, (north[0] + north[1] + north[2] + north[3]) / 4, 1e-5) << lon;
    ASSERT_TRUE(gen.compute_IonoVertical(-90.0f, lon, cell));
    EXPECT_NEAR(cell.fDelay, (south[0] + south[1] + south[2] + south[3]) / 4, 1e-5) << lon;
  }
}

// On the date line and past it either way, with a field that is smooth across it.
TEST(SbasIonoGrid, SeamAndOutOfRangePointsStayInRange) {
  Grid g;
  g.field = [](int lat, int) { return 12.0 + 0.025 * lat; };
  g.bands = {8, 0, 1};
  g.extNorth = g.extSouth = true;
  fill(g);
  const float pts[][2] = {{30.0f, 179.9f},  {30.0f, -180.0f}, {30.0f, 180.0f}, {-42.0f, 185.0f},
                          {12.0f, -181.0f}, {12.0f, 540.5f},  {62.0f, 179.0f}, {-70.0f, -179.5f},
                          {80.0f, 178.0f},  {-80.0f, -178.0f}, {88.0f, 179.99f}, {-88.0f, -179.99f}};
  for (const auto& p : pts) {
    G gen = generator();
    G::IonoCellType cell;
    ASSERT_TRUE(gen.compute_IonoVertical(p[0], p[1], cell)) << p[0] << "/" << p[1];
    if (std::fabs(p[0]) <= 85.0f) {
      EXPECT_NEAR(cell.fDelay, 12.0 + 0.025 * p[0], 1e-5) << p[0] << "/" << p[1];
    }
    EXPECT_TRUE(cell.fLon >= -180.0f && cell.fLon < 180.0f);
  }
  G gen = generator();
  G::IonoCellType cell;
  for (float lat : {90.01f, -95.0f, NAN, INFINITY}) EXPECT_FALSE(gen.compute_IonoVertical(lat, 0.0f, cell));
  EXPECT_FALSE(gen.compute_IonoVertical(10.0f, NAN, cell));
}

// ---- variances ---------------------------------------------------------------------------------

// DO-229D table A-17: sigma^2_GIVE (m^2) by GIVEI 0..14.
constexpr double kSigma2Give[15] = {0.0084, 0.0333, 0.0749, 0.1331, 0.2079, 0.2994, 0.4075, 0.5322,
                                    0.6735, 0.8315, 1.1974, 1.8709, 3.3260, 20.7870, 187.0826};

// Four decimals, or four significant digits for the large values.
double fourDigits(double v) { return std::max(0.5e-4, 5e-4 * v); }

TEST(SbasIonoVariance, GiveTableEqualsDo229) {
  for (int i = 0; i < 15; ++i) {
    const double s = G::fTableSigmaGIVE[i];
    EXPECT_NEAR(s * s, kSigma2Give[i], fourDigits(kSigma2Give[i])) << "GIVEI " << i;
    Grid g;
    g.givei = i;
    g.bands = bandsAround(12.0);
    fill(g);
    G gen = generator(true);
    G::IonoCellType cell;
    ASSERT_TRUE(gen.compute_IonoVertical(31.0f, 12.0f, cell));
    EXPECT_NEAR(cell.fVar, kSigma2Give[i], fourDigits(kSigma2Give[i])) << "GIVEI " << i;
    G soft = generator(false);
    ASSERT_TRUE(soft.compute_IonoVertical(31.0f, 12.0f, cell));
    EXPECT_NEAR(cell.fVar, G::fTableSoftSigmaGIVE[i] * G::fTableSoftSigmaGIVE[i], 1e-6) << "GIVEI " << i;
  }
}

// eps_iono = C_iono_step floor(t / I_iono) + C_iono_ramp t, combined by RSS_iono.
TEST(SbasIonoVariance, Mt10DegradationByRssIono) {
  struct {
    const char* name;
    int rss;
    float step, interval, ramp;
    int ageS;
    bool precision;
  } rows[] = {
      {"RSS 1", 1, 0.05f, 60.0f, 0.001f, 130, true},
      {"RSS 0", 0, 0.05f, 60.0f, 0.001f, 130, true},
      {"RSS 0, one step", 0, 0.2f, 100.0f, 0.0005f, 100, true},
      {"RSS 1, interval 0 counts as 1 s", 1, 0.01f, 0.0f, 0.0f, 7, true},
      {"not precision: no MT10 term", 0, 0.05f, 60.0f, 0.001f, 130, false},
  };
  for (const auto& r : rows) {
    Grid g;
    g.givei = 9;
    g.ageMs = r.ageS * 1000;
    g.bands = bandsAround(12.0);
    fill(g);
    SBASData::DegradationDataType m;
    m.init();
    m.uRssIono = static_cast<std::uint8_t>(r.rss);
    m.fCionoStep = r.step, m.fIiono = r.interval, m.fCionoRamp = r.ramp;
    G gen = generator(r.precision, &m);
    G::IonoCellType cell;
    ASSERT_TRUE(gen.compute_IonoVertical(31.0f, 12.0f, cell)) << r.name;
    const double sigma = r.precision ? 0.9119 : G::fTableSoftSigmaGIVE[9];
    const double interval = r.interval < 1 ? 1.0 : r.interval;
    const double eps = r.precision ? r.step * std::floor(r.ageS / interval) + r.ramp * r.ageS : 0.0;
    const double expect = r.rss == 1 ? sigma * sigma + eps * eps : (sigma + eps) * (sigma + eps);
    EXPECT_NEAR(cell.fVar, expect, 1e-4 * expect) << r.name;
  }
}

// ---- slant delay -------------------------------------------------------------------------------

// The grid's L1 delay scaled once to the satellite's signal: GLONASS L1 by (1575.42 / f)^2.
TEST(SbasIonoSlant, ScaledByObliquityAndFrequencyOnce) {
  Grid g;
  g.bands = bandsAround(12.0);
  fill(g);
  G gen = generator(true);
  struct {
    const char* name;
    SvIdType sv;
    double f;
  } rows[] = {
      {"GPS L1", SvIdType{4, 0, 0, 4}, 1575.42e6},
      {"GLONASS k -7", SvIdType{0, 1, 0, 3}, 1602e6 - 7 * 562500.0},
      {"GLONASS k +6", SvIdType{13, 1, 0, 9}, 1602e6 + 6 * 562500.0},
  };
  for (const auto& r : rows) {
    CorrData::RequestSatDataType s{};
    s.svId = r.sv;
    s.fIppLat = 31.0f, s.fIppLon = 12.0f, s.fObliquity = 1.8f;
    G::IonoResultType out;
    ASSERT_TRUE(gen.compute_IonoCorrection(s, out)) << r.name;
    const double k = (1575.42e6 / r.f) * (1575.42e6 / r.f);
    EXPECT_EQ(out.bValid, 1);
    EXPECT_NEAR(out.fDelay, -plane(31, 12) * 1.8 * k, 1e-5) << r.name;
    EXPECT_NEAR(out.fVar, 0.456 * 0.456 * 1.8 * 1.8 * k * k, 1e-5) << r.name;
  }
  CorrData::RequestSatDataType s{};
  s.svId = SvIdType{4, 0, 0, 4};
  s.fIppLat = 31.0f, s.fIppLon = 12.0f, s.fObliquity = 0.0f;
  G::IonoResultType out;
  EXPECT_FALSE(gen.compute_IonoCorrection(s, out));
  s.fObliquity = 1.0f, s.fIppLat = 89.0f;  // no polar points filled
  EXPECT_FALSE(gen.compute_IonoCorrection(s, out));
  EXPECT_EQ(out.bValid, 0);
}

// Grid points of another source, or with a stale mask or delay, are not taken.
TEST(SbasIonoGrid, OnlyFreshDataOfTheCurrentSource) {
  // The time-outs of a broadcast service (600 s for the delays), not what a test before set.
  PosSetup::CorrProcessorSetupType setup{};
  const std::uint32_t broadcastMode = 1;
  std::memcpy(setup.aBytes + SBASData::kSetupSbasModeOffset, &broadcastMode, sizeof broadcastMode);
  SBASData::IonoCorrectionType::set_DataTimeout(&setup);
  ASSERT_EQ(SBASData::IonoCorrectionType::get_IonoCorrTimeout(), 600.0);
  Grid g;
  g.bands = bandsAround(12.0);
  fill(g);
  G other(&PVTDataInstance);
  other.set_IonoSource(0, SvIdType{5, 3, 0, 5}, kNow, true, nullptr);
  G::IonoCellType cell;
  EXPECT_FALSE(other.compute_IonoVertical(31.0f, 12.0f, cell));
  G late(&PVTDataInstance);
  late.set_IonoSource(0, kSource, kNow + 700000, true, nullptr);  // delays past 600 s
  EXPECT_FALSE(late.compute_IonoVertical(31.0f, 12.0f, cell));
  G bad(&PVTDataInstance);
  bad.set_IonoSource(12, kSource, kNow, true, nullptr);
  EXPECT_FALSE(bad.compute_IonoVertical(31.0f, 12.0f, cell));
  EXPECT_FALSE(G(nullptr).compute_IonoVertical(31.0f, 12.0f, cell));
}

}  // namespace
