// NeQuick G pieces against independent truth: the ionisation-level rules, MODIP at the grid's
// nodes (read from the published text grid) and at the reference implementation's unit-test
// points, the solar zenith angle and layer amplitudes of those unit tests, the third-order
// interpolation on cubics, and the decimal universal time of a request.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <vector>

#include "positioning/corrections/epstein.h"
#include "positioning/corrections/nequick_task.h"

namespace {

constexpr double kDeg = 3.14159265358979323846 / 180.0;

double sunspot(double az) { return std::sqrt(167273.0 + (az - 63.7) * 1123.6) - 408.99; }

// Az = a0 + a1 mu + a2 mu^2 held to 0 .. 400; all-zero coefficients mean a0 = 63.7.
TEST(NeQuickIonisationLevel, ClampsAndDefaultAsTheRulesSay) {
  const struct {
    const char* name;
    float a0, a1, a2;
    double lat, lon;
    double az, azr;  // NaN: from the formula at the point's MODIP
    float keptA0;
  } rows[] = {
      {"all zero: 63.7", 0.f, 0.f, 0.f, 40.0, 10.0, 63.7, sunspot(63.7), 63.7f},
      {"450 held to 400", 450.f, 0.f, 0.f, 0.0, 0.0, 400.0, 329.3457501841557, 450.f},
      {"negative held to 0", -5.f, 0.f, 0.f, 0.0, 0.0, 0.0, -99.63635124181906, -5.f},
      {"quadratic in MODIP", 236.831641f, -0.39362878f, 0.00402826613f, 82.49, 297.66, NAN, NAN, 236.831641f},
      {"only a2 set: no default", 0.f, 0.f, 0.01f, 40.0, 10.0, NAN, NAN, 0.f},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.name);
    float ai[3] = {r.a0, r.a1, r.a2};
    const NeQuickIonisationLevelType lv = compute_NeQuickIonisationLevel(ai, r.lat * kDeg, r.lon * kDeg);
    const double mu = get_NeQuickModip(r.lat, r.lon);
    EXPECT_DOUBLE_EQ(lv.dModip, mu);
    const double az = std::isnan(r.az) ? ai[0] + ai[1] * mu + ai[2] * mu * mu : r.az;
    EXPECT_NEAR(lv.dAz, az, 1e-5);  // the kept a0 is a float
    EXPECT_NEAR(lv.dAzr, std::isnan(r.azr) ? sunspot(az) : r.azr, 1e-5);
    EXPECT_FLOAT_EQ(ai[0], r.keptA0);
  }
}

// MODIP at the reference implementation's unit-test points (1e-5 degree), at the poles and
// beyond, and on both sides of the +-180 degree seam.
TEST(NeQuickModip, ReferencePointsPolesAndSeam) {
  const struct {
    double lon, lat, modip;
  } rows[] = {{297.65954, 82.49429, 76.28407}, {307.19404, 5.25218, 19.52877},  {355.75034, 40.42916, 47.85769},
              {40.19439, -2.99591, -23.31631}, {166.66933, -77.83835, -71.81130}, {141.13283, 39.13517, 46.48742},
              {204.54366, 19.80135, 33.05457}, {115.88525, -31.80197, -51.37982}, {0.0, 90.0, 90.0},
              {123.0, -90.0, -90.0},           {10.0, 91.0, 90.0},               {10.0, -95.0, -90.0}};
  for (const auto& r : rows) {
    EXPECT_NEAR(get_NeQuickModip(r.lat, r.lon), r.modip, 1e-5) << r.lon << " " << r.lat;
    EXPECT_NEAR(get_NeQuickModip(r.lat, r.lon - 360.0), r.modip, 1e-5) << "same place one turn west";
  }
  for (double lat : {-89.9, -60.0, -12.5, 0.0, 33.3, 75.0, 89.9}) {
    SCOPED_TRACE(lat);
    EXPECT_NEAR(get_NeQuickModip(lat, 180.0), get_NeQuickModip(lat, -180.0), 1e-9);
    EXPECT_NEAR(get_NeQuickModip(lat, 179.9999), get_NeQuickModip(lat, -179.9999), 1e-3);
  }
}

// At each node of the published text grid the interpolation gives the node's value.
TEST(NeQuickModip, NodesOfThePublishedGrid) {
  std::ifstream f(std::string(RX_SHARED_DIR) + "/data/nequick/modipNeQG_wrapped.asc");
  std::vector<double> v;
  double x;
  while (f >> x) v.push_back(x);
  ASSERT_EQ(v.size(), 39u * 39u);
  for (int row = 2; row <= 36; ++row)      // -85 .. 85 degrees
    for (int col = 1; col <= 36; ++col) {  // -180 .. 170 degrees
      const double lat = -95.0 + 5.0 * row, lon = -190.0 + 10.0 * col;
      ASSERT_NEAR(get_NeQuickModip(lat, lon), v[row * 39 + col], 1e-9) << lat << " " << lon;
    }
}

// The third-order interpolation reproduces any cubic through its four samples.
TEST(NeQuickInterpolation, ExactOnCubics) {
  const double c[][4] = {{1, 0, 0, 0}, {0.5, -2, 3, 0.25}, {-7, 1, -1, 2}};
  for (const auto& p : c) {
    auto f = [&](double t) { return ((p[3] * t + p[2]) * t + p[1]) * t + p[0]; };
    const double z[4] = {f(-1), f(0), f(1), f(2)};
    for (double x : {0.0, 0.25, 0.5, 0.9, 1.0}) EXPECT_NEAR(get_3thOrderInterp(z, x), f(x), 1e-12) << x;
  }
}

// Effective solar zenith angle at the reference implementation's unit-test points (April).
TEST(NeQuickSolar, EffectiveZenithAngleOfTheReferencePoints) {
  const struct {
    double lon, lat, ut, chi;
  } rows[] = {{297.438315, 82.481346, 0.0, 82.978526},
              {139.790965, 26.595660, 0.833333, 30.664744},
              {298.035128, 82.566581, 12.0, 76.209610},
              {260.236348, 35.803032, 23.833333, 74.148769},
              {114.989502, -50.092818, 23.833333, 83.933196}};
  for (const auto& r : rows)
    EXPECT_NEAR(compute_NeQuickSolarZenithAngle(4, r.ut, r.lat * kDeg, r.lon), r.chi, 1e-5) << r.lon;
}

// Layer amplitudes of the reference implementation's unit tests: with and without an F1 layer.
TEST(NeQuickLayers, AmplitudesOfTheReferenceCases) {
  const struct {
    double NmF2, hmF2, B2bot, foF1, NmF1, hmF1, B1bot, NmE, hmE, BEtop, A1, A2, A3;
  } rows[] = {{5.361596779, 412.551921084, 45.987213389, 3.373571683, 1.411242252, 266.275960542, 73.137980271,
               0.720021557, 120.0, 73.137980271, 21.446387117, 1.310172197, 2.182239112},
              {5.107156754, 429.080085583, 46.507547598, 0.0, 0.0, 274.540042792, 77.270021396, 0.466645104, 120.0,
               77.270021396, 20.428627016, 0.0, 1.760670936}};
  for (const auto& r : rows) {
    NeQuickLayersType l{};
    l.NmF2 = r.NmF2, l.hmF2 = r.hmF2, l.B2bot = r.B2bot, l.foF1 = r.foF1, l.NmF1 = r.NmF1, l.hmF1 = r.hmF1;
    l.B1bot = r.B1bot, l.NmE = r.NmE, l.hmE = r.hmE, l.BEtop = r.BEtop;
    compute_NeQuickAmplitudes(l);
    EXPECT_NEAR(l.A1, r.A1, 1e-5);
    EXPECT_NEAR(l.A2, r.A2, 1e-5);
    EXPECT_NEAR(l.A3, r.A3, 1e-5);
  }
}

// The Epstein layer: a quarter of its amplitude at the peak, symmetric about it, and the
// published form elsewhere.
TEST(Epstein, PeakSymmetryAndForm) {
  EXPECT_DOUBLE_EQ(get_Epstein(8.0, 300.0, 50.0, 300.0), 2.0);
  EXPECT_DOUBLE_EQ(get_Epstein(8.0, 300.0, 50.0, 250.0), get_Epstein(8.0, 300.0, 50.0, 350.0));
  const double e = std::exp(1.5);
  EXPECT_NEAR(get_Epstein(3.0, 100.0, 20.0, 130.0), 3.0 * e / ((1 + e) * (1 + e)), 1e-15);
  EXPECT_EQ(get_Epstein(3.0, 0.0, 1.0, 1e6), 3.0 * 5.5406e34 / ((1 + 5.5406e34) * (1 + 5.5406e34)));
  EXPECT_TRUE(std::isfinite(get_Epstein(3.0, 0.0, 1.0, -1e6)));
}

// Universal time comes from the request's calendar epoch to the second (not the whole hour);
// an unusable calendar gives none.
TEST(NeQuickTime, DecimalHoursFromTheCalendar) {
  const struct {
    int month, hour, minute, second;
    double fraction;
    bool ok;
    double ut;
  } rows[] = {{4, 10, 30, 36, 0.0, true, 10.51},   {12, 0, 0, 0, 0.0, true, 0.0},
              {1, 23, 59, 59, 0.5, true, 23.9998611111}, {0, 10, 0, 0, 0.0, false, 0},
              {13, 10, 0, 0, 0.0, false, 0},        {5, 24, 0, 0, 0.0, false, 0},
              {5, 10, 60, 0, 0.0, false, 0},        {5, 10, 0, 0, 1.0, false, 0}};
  for (const auto& r : rows) {
    CorrData::NeModelDataType q{};
    q.calendar.month = r.month, q.calendar.hour = r.hour, q.calendar.minute = r.minute;
    q.calendar.second = r.second, q.calendar.fraction = r.fraction;
    int month = 0;
    double ut = -1;
    EXPECT_EQ(get_NeQuickTime(q, month, ut), r.ok) << r.month << " " << r.hour << ":" << r.minute;
    if (r.ok) {
      EXPECT_EQ(month, r.month);
      EXPECT_NEAR(ut, r.ut, 1e-9);
    }
  }
}

// A request at 06:59 is integrated at 6.98 h: its TEC lies next to the 07:00 value, not the
// 06:00 one (near sunrise the hour alone is tens of per cent off).
TEST(NeQuickTime, MinutesChangeTheTecNearSunrise) {
  CorrData::NeModelDataType q{};
  float ai[3] = {236.831641f, -0.39362878f, 0.00402826613f};
  const NeQuickIonisationLevelType lv = compute_NeQuickIonisationLevel(ai, 40.0 * kDeg, 0.0);
  q.dAz = lv.dAz, q.dAzr = lv.dAzr, q.iModelType = kNeModelNeQuick;
  q.calendar.month = 4;
  q.dRcvLat = 40.0 * kDeg, q.dRcvLon = 0.0, q.dRcvHeight = 50.0;
  q.dSatLat = 45.0 * kDeg, q.dSatLon = 5.0 * kDeg, q.dSatHeight = 20200e3;
  auto tecAt = [&](int h, int m) {
    q.calendar.hour = h, q.calendar.minute = m;
    return compute_NeModelSlantTEC(q);
  };
  const double t6 = tecAt(6, 0), t659 = tecAt(6, 59), t7 = tecAt(7, 0);
  EXPECT_GT(std::fabs(t659 - t6) / t6, 0.1);
  EXPECT_LT(std::fabs(t7 - t659) / t7, 0.02);
}

}  // namespace
