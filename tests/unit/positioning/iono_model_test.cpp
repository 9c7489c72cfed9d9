#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "positioning/corrections/iono_model.h"
#include "rtklib_tropo_oracle.h"

extern "C" {
// rtklib: the broadcast Klobuchar delay at L1 (m); pos latitude, longitude (rad), height; azel rad.
double ionmodel(gtime_t t, const double* ion, const double* pos, const double* azel);
double time2gpst(gtime_t t, int* week);
}

namespace {

constexpr double kDeg = M_PI / 180.0;
constexpr double kC = 299792458.0;

ZRT_ION_GPS model(const double (&ion)[8]) {
  ZRT_ION_GPS m{};
  for (int i = 0; i < 4; ++i) {
    m.alpha[i] = static_cast<float>(ion[i]);
    m.beta[i] = static_cast<float>(ion[4 + i]);
  }
  m.valid = 1;
  return m;
}

// rtklib fed the parameters as the record holds them (floats).
double oracle(const ZRT_ION_GPS& m, gtime_t t, const double pos[3], double az, double el) {
  double ion[8];
  for (int i = 0; i < 4; ++i) ion[i] = m.alpha[i], ion[4 + i] = m.beta[i];
  const double azel[2] = {az, el};
  return ionmodel(t, ion, pos, azel);
}

double tow(gtime_t t) {
  int week = 0;
  return time2gpst(t, &week);
}

constexpr double kIon1[8] = {0.2e-7, -0.8e-8, -0.5e-7, 0.1e-6, 0.2e6, 0.2e6, -0.1e6, -0.1e7};
constexpr double kIon2[8] = {0.2e-7, -0.8e-8, -0.5e-7, 0.1e-6, 0, 0, 0, 0};

// The published case: 2007-01-16 01:00 GPST, 35 N 140 E 100 m, azimuth 60, elevation 75.
TEST(KlobucharGps, PublishedCase) {
  float c = 0, v = 0;
  IonoModel::compute_KlobIonoModelCorrection(false, 176400.0, 35 * kDeg, 140 * kDeg, 75.0f, 60.0f, model(kIon1), 1.0f,
                                             c, v);
  EXPECT_NEAR(c, -6.73590532099438, 1e-4);
}

// The library's test inputs (three epochs, two models, three places, four directions), each
// against the library.
TEST(KlobucharGps, LibraryTestInputsAgainstLibrary) {
  const double e[3][6] = {{2007, 1, 16, 1, 0, 0}, {2007, 1, 16, 13, 0, 0}, {2007, 1, 16, 22, 0, 0}};
  const double pos[3][3] = {{35 * kDeg, 140 * kDeg, 100}, {-80 * kDeg, -170 * kDeg, 1000}, {10 * kDeg, 30 * kDeg, 0}};
  const double azel[4][2] = {{60, 75}, {190, 3}, {350, 60}, {0, 90}};
  struct Row {
    int t, ion, pos, dir;
  };
  const Row rows[] = {{0, 1, 0, 0}, {1, 1, 0, 0}, {2, 1, 0, 0}, {0, 1, 1, 0}, {0, 1, 2, 0},
                      {0, 1, 0, 1}, {0, 1, 0, 2}, {0, 1, 0, 3}, {0, 2, 0, 0}};
  for (const Row& r : rows) {
    const gtime_t t = epoch2time(e[r.t]);
    const ZRT_ION_GPS m = model(r.ion == 1 ? kIon1 : kIon2);
    float c = 0, v = 0;
    IonoModel::compute_KlobIonoModelCorrection(false, tow(t), pos[r.pos][0], pos[r.pos][1],
                                               static_cast<float>(azel[r.dir][1]), static_cast<float>(azel[r.dir][0]),
                                               m, 1.0f, c, v);
    EXPECT_NEAR(c, -oracle(m, t, pos[r.pos], azel[r.dir][0] * kDeg, azel[r.dir][1] * kDeg), 1e-4)
        << r.t << r.ion << r.pos << r.dir;
  }
}

TEST(KlobucharGps, SweepAgainstLibrary) {
  std::mt19937 g(7);
  std::uniform_real_distribution<double> u(0.0, 1.0);
  const double ep[6] = {2021, 3, 1, 0, 0, 0};
  const gtime_t t0 = epoch2time(ep);
  for (int i = 0; i < 10000; ++i) {
    const double ion[8] = {(u(g) * 2 - 0.5) * 3e-8, (u(g) * 2 - 1) * 2e-8, (u(g) * 2 - 1) * 1e-7, (u(g) * 2 - 1) * 1e-7,
                           u(g) * 1.5e5,            (u(g) * 2 - 1) * 2e5,  (u(g) * 2 - 1) * 2e5,  (u(g) * 2 - 1) * 1e6};
    const ZRT_ION_GPS m = model(ion);
    gtime_t t = t0;
    t.time += static_cast<std::time_t>(u(g) * 604800);
    const double pos[3] = {(u(g) * 2 - 1) * 89 * kDeg, (u(g) * 2 - 1) * 180 * kDeg, 0};
    const float el = static_cast<float>(0.5 + u(g) * 89.5), az = static_cast<float>(u(g) * 360);
    float c = 0, v = 0;
    IonoModel::compute_KlobIonoModelCorrection(false, tow(t), pos[0], pos[1], el, az, m, 1.0f, c, v);
    ASSERT_NEAR(c, -oracle(m, t, pos, az * kDeg, el * kDeg), 1e-4) << i;
  }
}

TEST(KlobucharGps, FrequencyRatioScalesCorrectionAndVariance) {
  const ZRT_ION_GPS m = model(kIon1);
  const float k = static_cast<float>(std::pow(1575.42 / 1176.45, 2));
  float c1, v1, c5, v5;
  IonoModel::compute_KlobIonoModelCorrection(true, 176400.0, 35 * kDeg, 140 * kDeg, 30.0f, 60.0f, m, 1.0f, c1, v1);
  IonoModel::compute_KlobIonoModelCorrection(true, 176400.0, 35 * kDeg, 140 * kDeg, 30.0f, 60.0f, m, k, c5, v5);
  EXPECT_NEAR(c5, c1 * std::pow(1575.42 / 1176.45, 2), 1e-5 * std::fabs(c5));
  EXPECT_NEAR(v5, v1 * std::pow(1575.42 / 1176.45, 4), 1e-5 * v5);
}

// The DO-229 bound by geomagnetic latitude, whole and a fifth. Looking straight up from a
// longitude where the geomagnetic term vanishes, the geomagnetic latitude is the receiver's; at
// night the delay is 5 ns times the obliquity, well under the bound.
TEST(KlobucharGps, VarianceBoundByGeomagneticLatitude) {
  struct Row {
    double lat;  // deg
    double tau;  // m
  };
  const Row rows[] = {{10, 9}, {-10, 9}, {19.99, 9}, {20.01, 4.5}, {30, 4.5}, {-54.99, 4.5}, {55.01, 6}, {60, 6}};
  // A period of 72000 s: local midnight is night everywhere.
  const ZRT_ION_GPS m = model({0.2e-7, -0.8e-8, -0.5e-7, 0.1e-6, 72000, 0, 0, 0});
  for (const Row& r : rows) {
    const double psi = 0.0137 / (0.5 + 0.11) - 0.022;
    const double lonSc = 1.617 - 0.5 - psi / std::cos(r.lat * kDeg);
    for (bool full : {true, false}) {
      float c = 0, v = 0;
      // Local time 43200 lam + t = 0 h: night.
      const double t = std::fmod(10 * 86400.0 - 43200.0 * (lonSc + psi / std::cos(r.lat * kDeg)), 86400.0);
      IonoModel::compute_KlobIonoModelCorrection(full, t, r.lat * kDeg, lonSc * M_PI, 90.0f, 90.0f, m, 1.0f, c, v);
      const double b = (full ? 1.0 : 0.2) * r.tau;
      EXPECT_NEAR(c, -5e-9 * kC * (1 + 16 * std::pow(0.03, 3)), 1e-5) << r.lat;
      EXPECT_NEAR(v, b * b, 1e-4 * b * b) << r.lat << full;
    }
  }
}

// A large delay's 20 % exceeds the fifth bound.
TEST(KlobucharGps, VarianceNotBelowTwentyPercentOfDelay) {
  float c = 0, v = 0;
  IonoModel::compute_KlobIonoModelCorrection(false, 176400.0, 35 * kDeg, 140 * kDeg, 5.0f, 60.0f, model(kIon1), 1.0f, c,
                                             v);
  EXPECT_NEAR(v, 0.04 * c * c, 1e-4 * v);
}

// ---- BeiDou form ----

ZRT_ION_GPS bdsModel(double a0, double b0) {
  ZRT_ION_GPS m{};
  m.alpha[0] = static_cast<float>(a0), m.alpha[1] = 2e-8f, m.alpha[2] = -6e-8f, m.alpha[3] = 1e-7f;
  m.beta[0] = static_cast<float>(b0), m.beta[1] = 3e4f, m.beta[2] = -1e5f, m.beta[3] = 2e5f;
  m.valid = 1;
  return m;
}

TEST(KlobucharBds, VerticalDelaySymmetricInLatitude) {
  const ZRT_ION_GPS m = bdsModel(3e-8, 9e4);
  for (double phi : {0.05, 0.1, 0.2, 0.3, 0.45})
    for (double t : {30000.0, 45000.0, 50400.0, 60000.0})
      EXPECT_EQ(IonoModel::bdsKlobVerticalDelay(m, t, phi), IonoModel::bdsKlobVerticalDelay(m, t, -phi));
}

TEST(KlobucharBds, CosineWithinQuarterPeriodElseNight) {
  struct Row {
    double b0, dt, expectA4;  // dt from 50400 s as a share of A4; expected (clamped) period
  };
  const Row rows[] = {{9e4, 0.0, 9e4},       {9e4, 0.2499, 9e4},   {9e4, 0.25, 9e4},     {9e4, -0.25, 9e4},
                      {9e4, 0.3, 9e4},       {3e5, 0.2, 172800.0}, {3e5, 0.25, 172800.0}, {1e4, 0.2, 72000.0},
                      {1e4, -0.25, 72000.0}, {-1e5, 0.1, 72000.0}};
  for (const Row& r : rows) {
    ZRT_ION_GPS m = bdsModel(3e-8, r.b0);
    for (int i = 1; i < 4; ++i) m.beta[i] = 0, m.alpha[i] = 0;
    const double t = 50400.0 + r.dt * r.expectA4;
    const double want = std::fabs(r.dt) >= 0.25 ? 5e-9 : 5e-9 + double{m.alpha[0]} * std::cos(2 * M_PI * r.dt);
    EXPECT_NEAR(IonoModel::bdsKlobVerticalDelay(m, t, 0.2), want, 1e-15) << r.b0 << " " << r.dt;
    if (std::fabs(r.dt) >= 0.25) {
      EXPECT_EQ(IonoModel::bdsKlobVerticalDelay(m, t, 0.2), 5e-9);
    }
  }
}

TEST(KlobucharBds, NegativeAmplitudeIsNight) {
  ZRT_ION_GPS m = bdsModel(-3e-8, 9e4);
  m.alpha[1] = m.alpha[2] = m.alpha[3] = 0;
  EXPECT_EQ(IonoModel::bdsKlobVerticalDelay(m, 50400.0, 0.1), 5e-9);
}

// Zenith at longitude 0: the pierce point is the receiver and local time the time given; at night
// the slant delay is exactly 5 ns times the obliquity of the 375 km shell.
TEST(KlobucharBds, NightSlantIsFiveNanosecondsTimesObliquity) {
  const ZRT_ION_GPS m = bdsModel(3e-8, 9e4);
  const double ratio = 6378.0 / (6378.0 + 375.0);
  float c = 0, v = 0;
  IonoModel::compute_BdsKlobIonoModelCorrection(false, 3600.0, 0.3, 0.0, 90.0f, 0.0f, m, 1.0f, c, v);
  EXPECT_NEAR(c, -5e-9 * kC / std::sqrt(1 - std::pow(ratio * std::cos(M_PI / 2), 2)), 1e-6);
  // A 30-degree ray: the pierce point from the ICD's spherical triangle, computed here.
  const double e = 30 * kDeg, a = 120 * kDeg, lat = 40 * kDeg, lon = 116 * kDeg;
  const double psi = M_PI / 2 - e - std::asin(ratio * std::cos(e));
  const double phiM = std::asin(std::sin(lat) * std::cos(psi) + std::cos(lat) * std::sin(psi) * std::cos(a));
  const double lamM = lon + std::asin(std::sin(psi) * std::sin(a) / std::cos(phiM));
  const double tl = std::fmod(43200 * lamM / M_PI + 20000.0, 86400.0);
  const double want = IonoModel::bdsKlobVerticalDelay(m, tl, phiM / M_PI) /
                      std::sqrt(1 - std::pow(ratio * std::cos(e), 2)) * kC;
  IonoModel::compute_BdsKlobIonoModelCorrection(false, 20000.0, lat, lon, 30.0f, 120.0f, m, 1.0f, c, v);
  EXPECT_NEAR(c, -want, 1e-5);
}

}  // namespace
