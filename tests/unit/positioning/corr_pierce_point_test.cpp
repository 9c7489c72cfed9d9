// Ionospheric pierce points of the correction request against two independent answers: a
// Cartesian ray-sphere intersection written here, and rtklib's ionppp (the same RTCA DO-229
// formula, run as the Debian library builds it; its longitude wrapped into -180..180).
#include <gtest/gtest.h>

#include <cmath>

#include "positioning/corrections/sat_corr_processor.h"

// rtklib, linked into this test only. No header ships; ionppp needs no time type, the library
// needs these three callbacks from its user.
extern "C" {
struct gtime_t {
  long time;
  double sec;
};
double ionppp(const double* pos, const double* azel, double re, double hion, double* posp);
int showmsg(const char*, ...) { return 0; }
void settspan(gtime_t, gtime_t) {}
void settime(gtime_t) {}
}

namespace {

constexpr double kPi = 3.141592653589793;
constexpr double kDeg = kPi / 180;
constexpr double kR = 6378136.3;
constexpr double kShell = 350000.0;
constexpr double kTolDeg = 2e-5;

struct Ipp {
  double lat, lon, obliquity;  // deg, deg, -
};

// The receiver on the sphere of radius R at (lat, lon); the ray leaves it at elevation e and
// azimuth a of the local horizon and meets the sphere of radius R + h.
Ipp raySphere(double lat, double lon, double e, double a, double h) {
  const double up[3] = {std::cos(lat) * std::cos(lon), std::cos(lat) * std::sin(lon), std::sin(lat)};
  const double east[3] = {-std::sin(lon), std::cos(lon), 0};
  const double north[3] = {-std::sin(lat) * std::cos(lon), -std::sin(lat) * std::sin(lon), std::cos(lat)};
  double p[3], d[3];
  for (int k = 0; k < 3; ++k) {
    p[k] = kR * up[k];
    d[k] = std::cos(e) * std::sin(a) * east[k] + std::cos(e) * std::cos(a) * north[k] + std::sin(e) * up[k];
  }
  const double pd = p[0] * d[0] + p[1] * d[1] + p[2] * d[2];
  const double t = -pd + std::sqrt(pd * pd - kR * kR + (kR + h) * (kR + h));
  double q[3];
  for (int k = 0; k < 3; ++k) q[k] = p[k] + t * d[k];
  const double rq = std::sqrt(q[0] * q[0] + q[1] * q[1] + q[2] * q[2]);
  const double cosZenith = (q[0] * d[0] + q[1] * d[1] + q[2] * d[2]) / rq;
  return {std::atan2(q[2], std::hypot(q[0], q[1])) / kDeg, std::atan2(q[1], q[0]) / kDeg, 1 / cosZenith};
}

// Difference of two longitudes (deg) folded into -180..180.
double lonDiff(double a, double b) {
  double d = std::fmod(a - b, 360.0);
  if (d > 180) d -= 360;
  if (d < -180) d += 360;
  return d;
}

Ipp ours(double latDeg, double lonDeg, float e, float a) {
  float lat = 0, lon = 0, obl = 0;
  compute_PiercePoint(latDeg * kDeg, lonDeg * kDeg, e, a, kShell, &lat, &lon, &obl);
  return {lat, lon, obl};
}

// Every latitude band with its edges (the published form switches branch beyond 70 deg), all
// azimuths, elevations from the horizon to the zenith; the angles are the floats the request
// carries, given to both answers alike.
TEST(PiercePoint, EqualsTheRaySphereIntersectionAndRtklib) {
  const double lats[] = {-89, -85, -80, -71.5, -70.5, -45, -10, 0, 30, 70.5, 71.5, 75, 80, 85, 89};
  const double lons[] = {0, 100, 179.5, -179.5};
  int rows = 0, rtklibNaN = 0;
  double worst = 0;
  for (double lat : lats)
    for (double lon : lons)
      for (int az = 0; az < 360; az += 3)
        for (int el = 0; el <= 90; el += 2) {
          const float e = static_cast<float>(el * kDeg), a = static_cast<float>(az * kDeg);
          const Ipp got = ours(lat, lon, e, a);
          const Ipp want = raySphere(lat * kDeg, lon * kDeg, e, a, kShell);
          ASSERT_TRUE(std::isfinite(got.lat) && std::isfinite(got.lon) && std::isfinite(got.obliquity));
          ASSERT_TRUE(got.lon >= -180 && got.lon < 180) << got.lon;
          ASSERT_NEAR(got.lat, want.lat, kTolDeg) << lat << " " << lon << " E " << el << " A " << az;
          // At the pole itself every longitude is the point.
          if (90 - std::fabs(want.lat) > 1e-6) {
            ASSERT_NEAR(lonDiff(got.lon, want.lon), 0, kTolDeg) << lat << " " << lon << " E " << el << " A " << az;
            worst = std::max(worst, std::fabs(lonDiff(got.lon, want.lon)));
          }
          ASSERT_NEAR(got.obliquity, want.obliquity, 1e-6);
          const double pos[3] = {lat * kDeg, lon * kDeg, 0}, azel[2] = {a, e};
          double pp[2];
          const double f = ionppp(pos, azel, kR, kShell, pp);
          ASSERT_NEAR(got.obliquity, f, 1e-6);
          if (!std::isfinite(pp[1])) {
            ++rtklibNaN;  // its asin argument passed 1 by rounding
            continue;
          }
          ASSERT_NEAR(got.lat, pp[0] / kDeg, kTolDeg);
          if (90 - std::fabs(want.lat) > 1e-6) {
            ASSERT_NEAR(lonDiff(got.lon, pp[1] / kDeg), 0, kTolDeg) << lat << " " << lon << " E " << el << " A " << az;
          }
          ++rows;
        }
  EXPECT_GT(rows, 200000);
  RecordProperty("rtklib_nan_rows", rtklibNaN);
  RecordProperty("worst_lon_error_udeg", static_cast<int>(worst * 1e6));
}

// The cases the published form gets wrong: outside -180..180 without the wrap, NaN at the pole
// and where rounding carries sin(psi) sin(A) / cos(lat_pp) past 1.
TEST(PiercePoint, WrappedAcrossThePoleAndNeverNaN) {
  struct Row {
    double lat, lon, el, az;
    double wantLat, wantLon;  // deg; NaN: from the ray-sphere intersection
  };
  const double n = std::nan("");
  const Row rows[] = {
      {80, 0, 5, 0, 85.7993, -180},  // across the pole: 180 is -180
      {80, 170, 5, 30, n, -81.6},    // 278.4 unwrapped
      {0, 179, 5, 90, n, -166.8},    // 193.2 unwrapped
      {90, 0, 90, 0, 90, 0},         // zenith from the pole
      {90, 0, 5, 123, n, n},
      {-90, 45, 30, 270, n, n},
      {89.9, 10, 89.9, 180, n, n},   // a ray through the pole
      {-80, -170, 5, 180, n, n},
      {0, -180, 90, 0, 0, -180},
      {0, 180, 90, 0, 0, -180},
      {45, 0, 0, 90, n, n},          // the horizon
  };
  for (const Row& r : rows) {
    const Ipp got = ours(r.lat, r.lon, static_cast<float>(r.el * kDeg), static_cast<float>(r.az * kDeg));
    const Ipp ray = raySphere(r.lat * kDeg, r.lon * kDeg, static_cast<float>(r.el * kDeg),
                              static_cast<float>(r.az * kDeg), kShell);
    SCOPED_TRACE(testing::Message() << r.lat << " " << r.lon << " E " << r.el << " A " << r.az);
    ASSERT_TRUE(std::isfinite(got.lat) && std::isfinite(got.lon) && std::isfinite(got.obliquity));
    EXPECT_TRUE(got.lon >= -180 && got.lon < 180) << got.lon;
    EXPECT_NEAR(got.lat, std::isnan(r.wantLat) ? ray.lat : r.wantLat, std::isnan(r.wantLat) ? kTolDeg : 1e-4);
    if (90 - std::fabs(ray.lat) > 1e-6) {
      EXPECT_NEAR(lonDiff(got.lon, std::isnan(r.wantLon) ? ray.lon : r.wantLon), 0,
                  std::isnan(r.wantLon) ? kTolDeg : 0.05);
    }
    if (!std::isnan(r.wantLon)) {
      EXPECT_NEAR(got.lon, r.wantLon, 0.05);
    }
  }
}

// The obliquity factor 1 / sqrt(1 - (R cos E / (R + h))^2): 1 at the zenith, R+h over the
// shell's tangent distance at the horizon.
TEST(PiercePoint, ObliquityFromTheHorizonToTheZenith) {
  const double k = kR / (kR + kShell);
  const double rows[][2] = {{90, 1.0}, {0, 1 / std::sqrt(1 - k * k)}, {30, 1 / std::sqrt(1 - 0.75 * k * k)}};
  for (const auto& r : rows) EXPECT_NEAR(ours(10, 10, static_cast<float>(r[0] * kDeg), 0).obliquity, r[1], 1e-6) << r[0];
}

}  // namespace
