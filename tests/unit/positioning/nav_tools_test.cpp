#include "positioning/nav_tools.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr double kC = 299792458.0;
constexpr double kDeg = 3.14159265358979323846 / 180.0;

TEST(NavTools, GpsCarrierLengths) {
  EXPECT_NEAR(NavUtl::getCarrierLength(false, false, 0), kC / 1575.42e6, 1e-15);
  EXPECT_NEAR(NavUtl::getCarrierLength(false, true, 0), kC / 1227.60e6, 1e-15);
  // The frequency number means nothing for GPS.
  EXPECT_EQ(NavUtl::getCarrierLength(false, false, -7), NavUtl::getCarrierLength(false, false, 6));
}

TEST(NavTools, GlonassCarrierLengthsFollowTheChannel) {
  // GLONASS ICD: G1 = 1602 + k * 0.5625 MHz, G2 = 1246 + k * 0.4375 MHz, k = -7..+6.
  for (int k = -7; k <= 6; ++k) {
    EXPECT_DOUBLE_EQ(NavUtl::getCarrierLength(true, false, k), kC / ((1602.0 + k * 0.5625) * 1e6)) << k;
    EXPECT_DOUBLE_EQ(NavUtl::getCarrierLength(true, true, k), kC / ((1246.0 + k * 0.4375) * 1e6)) << k;
  }
  EXPECT_DOUBLE_EQ(NavUtl::getCarrierLength(true, false, -7), kC / 1598062500.0);
}

TEST(NavTools, AxesAtKnownPlaces) {
  const double x[3] = {1, 0, 0}, y[3] = {0, 1, 0}, z[3] = {0, 0, 1};
  double out[3];
  // On the equator at Greenwich: X is up, Y east, Z north.
  Geometry::XYZ_NEU(0, 0, x, out, false);
  EXPECT_NEAR(out[2], 1.0, 1e-15);
  Geometry::XYZ_NEU(0, 0, y, out, false);
  EXPECT_NEAR(out[1], 1.0, 1e-15);
  Geometry::XYZ_NEU(0, 0, z, out, false);
  EXPECT_NEAR(out[0], 1.0, 1e-15);
  // At the north pole Z is up; at 90 deg east, -X is east.
  Geometry::XYZ_NEU(90 * kDeg, 0, z, out, false);
  EXPECT_NEAR(out[2], 1.0, 1e-15);
  Geometry::XYZ_NEU(0, 90 * kDeg, x, out, false);
  EXPECT_NEAR(out[1], -1.0, 1e-15);
}

TEST(NavTools, InverseUndoesForward) {
  const double v[3] = {1234.5, -987.25, 4321.125};
  for (double lat : {-89.0, -33.9, 0.0, 47.3, 89.99}) {
    for (double lon : {-179.0, -70.6, 0.0, 11.5, 151.2}) {
      double neu[3], back[3];
      Geometry::XYZ_NEU(lat * kDeg, lon * kDeg, v, neu, false);
      Geometry::XYZ_NEU(lat * kDeg, lon * kDeg, neu, back, true);
      for (int i = 0; i < 3; ++i) EXPECT_NEAR(back[i], v[i], 1e-9);
      EXPECT_NEAR(std::hypot(neu[0], neu[1], neu[2]), std::hypot(v[0], v[1], v[2]), 1e-9);
      double inPlace[3] = {v[0], v[1], v[2]};
      Geometry::XYZ_NEU(lat * kDeg, lon * kDeg, inPlace, inPlace, false);
      for (int i = 0; i < 3; ++i) EXPECT_NEAR(inPlace[i], neu[i], 1e-9);
    }
  }
}

// GeographicLib's CartConvert (Debian geographiclib-tools) as the independent truth: the
// geocentric difference of two points rotated to north/east/up must equal the point's local
// east/north/up coordinates about the first.
std::vector<std::vector<double>> cartConvert(const std::string& options, const std::string& input) {
  std::vector<std::vector<double>> rows;
  const std::string cmd = "printf '%b' '" + input + "' | CartConvert -p 9 " + options;
  FILE* p = popen(cmd.c_str(), "r");
  if (p == nullptr) return rows;
  char line[256];
  while (std::fgets(line, sizeof line, p) != nullptr) {
    std::istringstream ss(line);
    std::vector<double> v(3);
    if (ss >> v[0] >> v[1] >> v[2]) rows.push_back(v);
  }
  pclose(p);
  return rows;
}

TEST(NavTools, RotationMatchesGeographicLibLocalFrame) {
  struct Origin {
    double lat, lon, h;
  };
  const Origin origins[] = {{48.0, 11.4, 500}, {-33.9, 151.2, 40}, {-54.8, -68.3, 10},
                            {0.5, -0.5, 0},    {78.2, 15.6, 5},    {-89.5, 120.0, 2800}};
  const double offsets[][3] = {{0.1, 0.1, 100}, {-0.05, 0.2, -30}, {0.3, -0.4, 2000}};
  if (std::system("command -v CartConvert >/dev/null 2>&1") != 0) {
    GTEST_SKIP() << "CartConvert not installed (scripts/setup installs it)";
  }
  for (const Origin& o : origins) {
    std::ostringstream in;
    in.precision(12);
    in << o.lat << ' ' << o.lon << ' ' << o.h << "\\n";
    for (const auto& d : offsets) in << o.lat + d[0] << ' ' << o.lon + d[1] << ' ' << o.h + d[2] << "\\n";
    const auto ecef = cartConvert("", in.str());
    ASSERT_EQ(ecef.size(), 4u);
    std::ostringstream opt;
    opt.precision(12);
    opt << "-l " << o.lat << ' ' << o.lon << ' ' << o.h;
    const auto local = cartConvert(opt.str(), in.str());
    ASSERT_EQ(local.size(), 4u);
    for (std::size_t i = 1; i < 4; ++i) {
      const double d[3] = {ecef[i][0] - ecef[0][0], ecef[i][1] - ecef[0][1], ecef[i][2] - ecef[0][2]};
      double neu[3];
      Geometry::XYZ_NEU(o.lat * kDeg, o.lon * kDeg, d, neu, false);
      EXPECT_NEAR(neu[0], local[i][1], 1e-6) << o.lat << " " << o.lon;  // north = local y
      EXPECT_NEAR(neu[1], local[i][0], 1e-6) << o.lat << " " << o.lon;  // east = local x
      EXPECT_NEAR(neu[2], local[i][2], 1e-6) << o.lat << " " << o.lon;  // up = local z
      const double enuBack[3] = {local[i][1], local[i][0], local[i][2]};
      double xyz[3];
      Geometry::XYZ_NEU(o.lat * kDeg, o.lon * kDeg, enuBack, xyz, true);
      for (int k = 0; k < 3; ++k) EXPECT_NEAR(xyz[k], d[k], 1e-6);
    }
  }
}

}  // namespace
