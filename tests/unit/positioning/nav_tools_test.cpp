#include "positioning/nav_tools.h"

#include "unit/positioning/geodesy_oracle.h"

using namespace geodesy_test;

namespace {

constexpr double kC = 299792458.0;

// GPS L1 and L2 whatever the frequency number; GLONASS ICD: G1 = 1602 + k * 0.5625 MHz,
// G2 = 1246 + k * 0.4375 MHz, k = -7..+6.
TEST(NavTools, CarrierLengthsOfTheIcds) {
  for (int k = -7; k <= 6; ++k) {
    EXPECT_NEAR(NavUtl::getCarrierLength(false, false, k), kC / 1575.42e6, 1e-15) << k;
    EXPECT_NEAR(NavUtl::getCarrierLength(false, true, k), kC / 1227.60e6, 1e-15) << k;
    EXPECT_DOUBLE_EQ(NavUtl::getCarrierLength(true, false, k), kC / ((1602.0 + k * 0.5625) * 1e6));
    EXPECT_DOUBLE_EQ(NavUtl::getCarrierLength(true, true, k), kC / ((1246.0 + k * 0.4375) * 1e6));
  }
}

// The geocentric difference of two points rotated to north/east/up equals the second point's local
// coordinates about the first (CartConvert -l), and rotates back; also when rotated in place.
TEST(NavTools, RotationMatchesGeographicLibLocalFrame) {
  const double origins[][3] = {{48.0, 11.4, 500}, {-33.9, 151.2, 40}, {-54.8, -68.3, 10}, {0.5, -0.5, 0},
                               {78.2, 15.6, 5},   {-89.5, 120.0, 2800}, {0.0, 0.0, 0},    {89.6, -179.9, 0}};
  const double offsets[][3] = {{0, 0, 0}, {0.1, 0.1, 100}, {-0.05, 0.2, -30}, {0.3, -0.4, 2000}};
  for (const auto& o : origins) {
    SCOPED_TRACE(testing::Message() << o[0] << " " << o[1]);
    std::vector<std::string> lines;
    for (const auto& d : offsets) lines.push_back(num(o[0] + d[0]) + " " + num(o[1] + d[1]) + " " + num(o[2] + d[2]));
    const auto ecef = runTool("CartConvert -p 9", lines);
    const auto local = runTool("CartConvert -p 9 -l " + lines[0], lines);
    ASSERT_TRUE(ecef.size() == 4 && local.size() == 4);
    for (std::size_t i = 1; i < 4; ++i) {
      double d[3] = {ecef[i][0] - ecef[0][0], ecef[i][1] - ecef[0][1], ecef[i][2] - ecef[0][2]};
      const double neu[3] = {local[i][1], local[i][0], local[i][2]};
      double got[3], back[3];
      Geometry::XYZ_NEU(o[0] * kDeg, o[1] * kDeg, d, got, false);
      Geometry::XYZ_NEU(o[0] * kDeg, o[1] * kDeg, neu, back, true);
      Geometry::XYZ_NEU(o[0] * kDeg, o[1] * kDeg, d, d, false);
      for (int k = 0; k < 3; ++k)
        EXPECT_TRUE(std::fabs(got[k] - neu[k]) < 1e-6 && std::fabs(back[k] - (ecef[i][k] - ecef[0][k])) < 1e-6 &&
                    std::fabs(d[k] - got[k]) < 1e-9) << i << " " << k;
    }
  }
}

}  // namespace
