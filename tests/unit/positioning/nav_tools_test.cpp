#include "positioning/nav_tools.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr double kC = 299792458.0;
constexpr double kDeg = 3.14159265358979323846 / 180.0;

TEST(NavTools, CarrierLengthsOfTheIcds) {
  // GPS L1 and L2 whatever the frequency number; GLONASS ICD: G1 = 1602 + k * 0.5625 MHz,
  // G2 = 1246 + k * 0.4375 MHz, k = -7..+6.
  for (int k = -7; k <= 6; ++k) {
    EXPECT_NEAR(NavUtl::getCarrierLength(false, false, k), kC / 1575.42e6, 1e-15) << k;
    EXPECT_NEAR(NavUtl::getCarrierLength(false, true, k), kC / 1227.60e6, 1e-15) << k;
    EXPECT_DOUBLE_EQ(NavUtl::getCarrierLength(true, false, k), kC / ((1602.0 + k * 0.5625) * 1e6));
    EXPECT_DOUBLE_EQ(NavUtl::getCarrierLength(true, true, k), kC / ((1246.0 + k * 0.4375) * 1e6));
  }
}

// Points as CartConvert (GeographicLib, Debian geographiclib-tools) converts them: geocentric,
// or local east/north/up about an origin with `options` "-l lat lon h".
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

// The geocentric difference of two points rotated to north/east/up must equal the second point's
// local coordinates about the first, and rotate back; also when rotated in place.
TEST(NavTools, RotationMatchesGeographicLibLocalFrame) {
  if (std::system("command -v CartConvert >/dev/null 2>&1") != 0) {
    GTEST_SKIP() << "CartConvert not installed (scripts/setup installs it)";
  }
  const double origins[][3] = {{48.0, 11.4, 500}, {-33.9, 151.2, 40}, {-54.8, -68.3, 10},
                               {0.5, -0.5, 0},    {78.2, 15.6, 5},    {-89.5, 120.0, 2800},
                               {0.0, 0.0, 0},     {89.6, -179.9, 0}};
  const double offsets[][3] = {{0.1, 0.1, 100}, {-0.05, 0.2, -30}, {0.3, -0.4, 2000}};
  for (const auto& o : origins) {
    SCOPED_TRACE(testing::Message() << o[0] << " " << o[1]);
    std::ostringstream in, opt;
    in.precision(12);
    opt.precision(12);
    in << o[0] << ' ' << o[1] << ' ' << o[2] << "\\n";
    for (const auto& d : offsets)
      in << o[0] + d[0] << ' ' << o[1] + d[1] << ' ' << o[2] + d[2] << "\\n";
    opt << "-l " << o[0] << ' ' << o[1] << ' ' << o[2];
    const auto ecef = cartConvert("", in.str());
    const auto local = cartConvert(opt.str(), in.str());
    ASSERT_EQ(ecef.size(), 4u);
    ASSERT_EQ(local.size(), 4u);
    for (std::size_t i = 1; i < 4; ++i) {
      double d[3] = {ecef[i][0] - ecef[0][0], ecef[i][1] - ecef[0][1], ecef[i][2] - ecef[0][2]};
      const double neu[3] = {local[i][1], local[i][0], local[i][2]};
      double got[3], back[3];
      Geometry::XYZ_NEU(o[0] * kDeg, o[1] * kDeg, d, got, false);
      Geometry::XYZ_NEU(o[0] * kDeg, o[1] * kDeg, neu, back, true);
      for (int k = 0; k < 3; ++k) {
        EXPECT_NEAR(got[k], neu[k], 1e-6);
        EXPECT_NEAR(back[k], d[k], 1e-6);
      }
      Geometry::XYZ_NEU(o[0] * kDeg, o[1] * kDeg, d, d, false);
      for (int k = 0; k < 3; ++k) EXPECT_NEAR(d[k], got[k], 1e-9);
    }
  }
}

}  // namespace
