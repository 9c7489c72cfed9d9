// GeoidGPS: the built-in grid against the published EGM2008 data, interpolation at the seam and
// the poles, regional grids, descriptor validation and concurrent callers.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <thread>
#include <vector>

#include "geoid_test_util.h"
#include "positioning/geoid/geoid_gps.h"

using geoidtest::kDeg;

namespace {

constexpr const char* kEgm2008 = "data/geoid/egm2008_05deg_hybrid_720x361_int16_cm.bin";

class GeoidModel : public ::testing::Test {
 protected:
  void SetUp() override {
    GeoidGPS::reset();
    cm_ = geoidtest::readGridCm(kEgm2008);
    ASSERT_EQ(cm_.size(), 720u * 361u);
  }
  double node(int r, int c) const { return cm_[std::size_t(r) * 720 + std::size_t((c % 720 + 720) % 720)] * 0.01; }
  static double h(double latDeg, double lonDeg) {
    double v = std::numeric_limits<double>::quiet_NaN();
    EXPECT_TRUE(GeoidGPS::getHeight(latDeg * kDeg, lonDeg * kDeg, &v)) << latDeg << " " << lonDeg;
    return v;
  }
  std::vector<int> cm_;
};

// Installs a grid given by its descriptor and a function of (row, column) in file units.
bool installGrid(const GeoidGPS::Descr& d, const std::function<std::int64_t(int, int)>& units, const char* name) {
  std::uint32_t n = 0;
  std::uint8_t* buf = GeoidGPS::setDescr(d, &n);
  if (!buf) return false;
  std::size_t at = 0;
  for (int r = 0; r < d.rows; ++r)
    for (int c = 0; c < d.cols; ++c) {
      const std::uint64_t u = std::uint64_t(units(r, c));
      for (int i = 0; i < d.size; ++i) buf[at++] = std::uint8_t(u >> (8 * i));
    }
  EXPECT_EQ(at, n);
  return GeoidGPS::install(name);
}

TEST_F(GeoidModel, InvalidUntilTheBuiltInGridIsDeclared) {
  double v = 1.0;
  EXPECT_FALSE(GeoidGPS::isValid());
  EXPECT_FALSE(GeoidGPS::getHeight(0.3, 0.1, &v));
  EXPECT_EQ(GeoidGPS::getHeight(0.3, 0.1), 0.0);  // last height, none yet
  EXPECT_FALSE(GeoidGPS::getCurrent(nullptr, nullptr, 0));
  GeoidGPS::useBuiltIn();
  EXPECT_TRUE(GeoidGPS::isValid());
}

TEST_F(GeoidModel, BuiltInNodesEqualThePublishedGrid) {
  GeoidGPS::useBuiltIn();
  int lo = 0, hi = 0;
  for (int r = 0; r < 361; ++r)
    for (int c = 0; c < 720; ++c) {
      const int i = r * 720 + c;
      ASSERT_EQ(GeoidGPS::getElem(i), 0.01 * cm_[std::size_t(i)]) << r << " " << c;
      lo = std::min(lo, cm_[std::size_t(i)]);
      hi = std::max(hi, cm_[std::size_t(i)]);
    }
  EXPECT_TRUE(std::isnan(GeoidGPS::getElem(-1)));
  EXPECT_TRUE(std::isnan(GeoidGPS::getElem(720 * 361)));
  EXPECT_EQ(lo, -10686);  // the data's documented range
  EXPECT_EQ(hi, 8563);
}

TEST_F(GeoidModel, BicubicPassesThroughEveryNode) {
  GeoidGPS::useBuiltIn();
  for (int r = 0; r < 361; ++r)
    for (int c = 0; c < 720; ++c) ASSERT_NEAR(h(90.0 - 0.5 * r, 0.5 * c), node(r, c), 1e-9) << r << " " << c;
}

TEST_F(GeoidModel, ReportsTheBuiltInModel) {
  GeoidGPS::useBuiltIn();
  h(10, 10);
  GeoidGPS::Descr d{};
  char name[GeoidGPS::kNameLen];
  ASSERT_TRUE(GeoidGPS::getCurrent(&d, name, sizeof name));
  EXPECT_STREQ(name, "Default EGM2008");
  EXPECT_EQ(d.size, 2);
  EXPECT_EQ(d.interp, 1);
  EXPECT_EQ(d.cols, 720);
  EXPECT_EQ(d.rows, 361);
  EXPECT_EQ(d.lat0, 90.0);
  EXPECT_EQ(d.dLat, 0.5);
}

// NGA's published EGM2008 value at Timbuktu (16:46:33N 3:00:34W) is 28.788 m, from the full
// spherical-harmonic model. A 0.5 degree grid (about 55 km) stored in whole centimetres cannot
// carry the geoid's shorter wavelengths; in the flat Sahel they amount to a few centimetres, so
// 5 cm is what the grid allows there (rounding of the nodes alone is up to 5 mm).
TEST_F(GeoidModel, PublishedEgm2008PointTimbuktu) {
  GeoidGPS::useBuiltIn();
  const double lat = 16 + 46 / 60.0 + 33 / 3600.0, lon = -(3 + 0 / 60.0 + 34 / 3600.0);
  EXPECT_NEAR(h(lat, lon), 28.788, 0.05);
  EXPECT_NEAR(h(lat, lon + 360.0), 28.788, 0.05);
}

TEST_F(GeoidModel, PolesReturnTheirNodes) {
  GeoidGPS::useBuiltIn();
  for (double lon : {-180.0, -0.25, 0.0, 45.0, 359.75}) {
    EXPECT_EQ(h(90.0, lon), node(0, 0));
    EXPECT_EQ(h(-90.0, lon), node(360, 719));
  }
  double v;
  EXPECT_FALSE(GeoidGPS::getHeight(91.0 * kDeg, 0.0, &v));
  EXPECT_FALSE(GeoidGPS::getHeight(std::nan(""), 0.0, &v));
  EXPECT_FALSE(GeoidGPS::getHeight(0.0, std::numeric_limits<double>::infinity(), &v));
}

// Near a pole the bicubic stencil reaches over it; the nodes there are the ones on the opposite
// meridian. A smooth function on the sphere is then reproduced to the order of the method.
TEST_F(GeoidModel, BicubicAcrossThePolesFollowsASmoothFunction) {
  auto f = [](double latDeg, double lonDeg) {
    const double la = latDeg * kDeg, lo = lonDeg * kDeg;
    return 50.0 * std::sin(la) + 30.0 * std::cos(la) * std::cos(lo) - 20.0 * std::cos(la) * std::sin(lo);
  };
  const GeoidGPS::Descr d = {4, 1, 1e-6, 0.0, 0.0, 90.0, 1.0, 1.0, 360, 181};
  ASSERT_TRUE(installGrid(d, [&](int r, int c) { return std::llround(f(90.0 - r, c) * 1e6); }, "sphere"));
  for (double lat : {89.7, 89.3, 88.6, -88.6, -89.3, -89.7})
    for (double lon = 0.0; lon < 360.0; lon += 17.5) EXPECT_NEAR(h(lat, lon), f(lat, lon), 2e-5) << lat << " " << lon;
  EXPECT_NEAR(h(90.0, 123.0), 50.0, 1e-6);
  EXPECT_NEAR(h(-90.0, 123.0), -50.0, 1e-6);
}

// A grid that fills the buffer to its last byte, pole to pole: every stencil near either pole
// and the seam stays inside it (the sanitizer build would stop on a read past the end).
TEST_F(GeoidModel, FullBufferGridStaysInBounds) {
  const GeoidGPS::Descr d = {2, 1, 0.01, 0.0, 0.0, 90.0, 360.0 / 650, 180.0 / 399, 650, 400};
  ASSERT_EQ(std::uint64_t(d.rows) * d.cols * d.size, GeoidGPS::kGridBytes);
  ASSERT_TRUE(installGrid(d, [](int r, int c) { return (r * 37 + c * 11) % 2000 - 1000; }, "full"));
  for (double lat : {89.99, 89.8, 89.6, -89.6, -89.8, -89.99, 90.0, -90.0})
    for (double lon : {0.0, 0.1, 180.0, 359.5, 359.9, 359.999999})
      // The 1-D cubic weights add up to at most 1.25 in magnitude.
      EXPECT_LE(std::fabs(h(lat, lon)), 10.0 * 1.25 * 1.25 + 1e-9) << lat << " " << lon;
}

// Between 359.5 and 360 degrees the interpolation runs across the seam into column 0.
TEST_F(GeoidModel, SeamInterpolatesAcrossZeroDegrees) {
  GeoidGPS::useBuiltIn();
  const int r = 147;  // 16.5 N, where columns 718..1 differ
  const double lat = 90.0 - 0.5 * r;
  ASSERT_GT(std::fabs(node(r, 719) - node(r, 0)), 0.05);
  // Cubic Lagrange weights halfway between two nodes: -1/16, 9/16, 9/16, -1/16.
  const double mid = (-node(r, 718) + 9 * node(r, 719) + 9 * node(r, 0) - node(r, 1)) / 16.0;
  EXPECT_NEAR(h(lat, 359.75), mid, 1e-9);
  EXPECT_NEAR(h(lat, -0.25), mid, 1e-9);
  EXPECT_NEAR(h(lat, 359.5), node(r, 719), 1e-9);
  EXPECT_NEAR(h(lat, 360.0), node(r, 0), 1e-9);
  EXPECT_NEAR(h(lat, 359.9999999), h(lat, 0.0), 1e-5);
  EXPECT_NEAR(h(lat, -720.25), mid, 1e-9);
}

TEST_F(GeoidModel, BilinearSeamAndNodes) {
  const GeoidGPS::Descr d = {2, 0, 0.01, 0.0, 0.0, 90.0, 0.5, 0.5, 720, 361};
  ASSERT_TRUE(installGrid(d, [&](int r, int c) { return cm_[std::size_t(r) * 720 + c]; }, "bilinear"));
  const int r = 147;
  const double lat = 90.0 - 0.5 * r;
  EXPECT_NEAR(h(lat, 359.75), 0.5 * (node(r, 719) + node(r, 0)), 1e-9);
  EXPECT_NEAR(h(lat - 0.25, 359.75),
              0.25 * (node(r, 719) + node(r, 0) + node(r + 1, 719) + node(r + 1, 0)), 1e-9);
  for (int c = 0; c < 720; c += 7) EXPECT_NEAR(h(lat, 0.5 * c), node(r, c), 1e-9);
}

// A regional grid across the prime meridian: 350 E .. 10 E, 60 N .. 50 N at 1 degree.
TEST_F(GeoidModel, RegionalGridRefusesPointsOutside) {
  const GeoidGPS::Descr d = {2, 0, 0.001, 5.0, 350.0, 60.0, 1.0, 1.0, 21, 11};
  ASSERT_TRUE(installGrid(d, [](int r, int c) { return 100 * c - 30 * r + 2 * r * c; }, "region"));
  auto f = [](double lat, double lon) {  // bilinear in (row, column): reproduced exactly
    const double c = lon >= 350.0 ? lon - 350.0 : lon + 10.0, r = 60.0 - lat;
    return 5.0 + 0.001 * (100 * c - 30 * r + 2 * r * c);
  };
  struct P { double lat, lon; };
  for (P p : {P{55.5, 355.25}, P{50.0, 10.0}, P{60.0, 350.0}, P{52.3, -3.7}, P{59.9, 0.0}, P{50.0, 350.0}})
    EXPECT_NEAR(h(p.lat, p.lon), f(p.lat, p.lon < 0 ? p.lon + 360 : p.lon), 1e-9) << p.lat << " " << p.lon;
  const double last = GeoidGPS::getHeight(55.0 * kDeg, 0.0);
  for (P p : {P{60.01, 0.0}, P{49.99, 0.0}, P{55.0, 10.01}, P{55.0, 349.99}, P{55.0, 180.0}, P{-55.0, 0.0}}) {
    double v = 1234.0;
    EXPECT_FALSE(GeoidGPS::getHeight(p.lat * kDeg, p.lon * kDeg, &v)) << p.lat << " " << p.lon;
    EXPECT_EQ(v, 1234.0);
    EXPECT_EQ(GeoidGPS::getHeight(p.lat * kDeg, p.lon * kDeg), last);
  }
}

struct DescrCase {
  const char* what;
  GeoidGPS::Descr d;
  bool accepted;
};

const double kNaN = std::numeric_limits<double>::quiet_NaN();
const DescrCase kDescrCases[] = {
    {"built-in", {2, 1, 0.01, 0, 0, 90, 0.5, 0.5, 720, 361}, true},
    {"bilinear", {2, 0, 0.01, 0, 0, 90, 0.5, 0.5, 720, 361}, true},
    {"721 x 361 x 2", {2, 1, 0.01, 0, 0, 90, 0.5, 0.5, 721, 361}, false},
    {"400 x 400 x 4", {4, 1, 0.01, 0, 0, 90, 0.5, 0.5, 400, 400}, false},
    {"interpolation 2", {2, 2, 0.01, 0, 0, 90, 0.5, 0.5, 10, 10}, false},
    {"size 0", {0, 1, 0.01, 0, 0, 90, 0.5, 0.5, 10, 10}, false},
    {"size 5", {5, 1, 0.01, 0, 0, 90, 0.5, 0.5, 10, 10}, false},
    {"latitude 90.5", {2, 1, 0.01, 0, 0, 90.5, 0.5, 0.5, 10, 10}, false},
    {"latitude -91", {2, 1, 0.01, 0, 0, -91, 0.5, 0.5, 10, 10}, false},
    {"longitude -1", {2, 1, 0.01, 0, -1, 90, 0.5, 0.5, 10, 10}, false},
    {"longitude 361", {2, 1, 0.01, 0, 361, 90, 0.5, 0.5, 10, 10}, false},
    {"latitude step 0", {2, 1, 0.01, 0, 0, 90, 0.5, 0.0, 10, 10}, false},
    {"longitude step 0", {2, 1, 0.01, 0, 0, 90, 0.0, 0.5, 10, 10}, false},
    {"latitude step negative", {2, 1, 0.01, 0, 0, 90, 0.5, -0.5, 10, 10}, false},
    {"latitude step 181", {2, 1, 0.01, 0, 0, 90, 0.5, 181, 10, 10}, false},
    {"longitude step 361", {2, 1, 0.01, 0, 0, 90, 361, 0.5, 10, 10}, false},
    {"negative rows", {2, 1, 0.01, 0, 0, 90, 0.5, 0.5, 720, -361}, false},
    {"negative columns", {2, 1, 0.01, 0, 0, 90, 0.5, 0.5, -720, 361}, false},
    {"both negative", {2, 1, 0.01, 0, 0, 90, 0.5, 0.5, -720, -361}, false},
    {"zero rows", {2, 1, 0.01, 0, 0, 90, 0.5, 0.5, 720, 0}, false},
    {"one column", {2, 1, 0.01, 0, 0, 90, 0.5, 0.5, 1, 100}, false},
    {"rows x cols x 4 wraps 32 bits", {4, 1, 0.01, 0, 0, 90, 0.5, 0.5, 65536, 16384}, false},
    {"rows x cols wraps 32 bits", {1, 1, 0.01, 0, 0, 90, 0.5, 0.5, 65536, 65537}, false},
    {"largest sizes", {4, 1, 0.01, 0, 0, 90, 0.5, 0.5, 0x7fffffff, 0x7fffffff}, false},
    {"NaN latitude", {2, 1, 0.01, 0, 0, kNaN, 0.5, 0.5, 10, 10}, false},
    {"NaN step", {2, 1, 0.01, 0, 0, 90, kNaN, 0.5, 10, 10}, false},
    {"NaN scale", {2, 1, kNaN, 0, 0, 90, 0.5, 0.5, 10, 10}, false},
    {"infinite offset", {2, 1, 0.01, std::numeric_limits<double>::infinity(), 0, 90, 0.5, 0.5, 10, 10}, false},
};

TEST_F(GeoidModel, DescriptorValidation) {
  GeoidGPS::useBuiltIn();
  const double before = h(16.8, 357.0);
  for (const DescrCase& c : kDescrCases) {
    std::uint32_t n = 0xdeadbeef;
    std::uint8_t* buf = GeoidGPS::setDescr(c.d, &n);
    EXPECT_EQ(buf != nullptr, c.accepted) << c.what;
    if (buf) {
      EXPECT_EQ(n, std::uint32_t(c.d.rows) * std::uint32_t(c.d.cols) * c.d.size) << c.what;
    } else {
      EXPECT_EQ(n, 0xdeadbeefu) << c.what;
    }
    // Neither an accepted nor a refused descriptor touches the grid in use before install.
    EXPECT_TRUE(GeoidGPS::isValid()) << c.what;
    EXPECT_EQ(h(16.8, 357.0), before) << c.what;
    char name[GeoidGPS::kNameLen];
    ASSERT_TRUE(GeoidGPS::getCurrent(nullptr, name, sizeof name));
    EXPECT_STREQ(name, "Default EGM2008") << c.what;
    GeoidGPS::cancelLoad();
  }
  EXPECT_FALSE(GeoidGPS::install("nothing pending"));
}

// Heights from several tasks at once equal the heights computed alone.
TEST_F(GeoidModel, ConcurrentCallersGetTheirOwnHeights) {
  GeoidGPS::useBuiltIn();
  std::vector<std::pair<double, double>> pts;
  for (int i = 0; i < 4000; ++i) pts.emplace_back(-89.9 + 179.8 * ((i * 7919) % 4000) / 4000.0, (i * 104729 % 36000) / 100.0);
  std::vector<double> alone;
  for (auto& p : pts) alone.push_back(h(p.first, p.second));
  std::atomic<int> bad{0};
  auto worker = [&](int start) {
    for (int rep = 0; rep < 3; ++rep)
      for (std::size_t k = 0; k < pts.size(); ++k) {
        const std::size_t i = (k + std::size_t(start)) % pts.size();
        double v;
        if (!GeoidGPS::getHeight(pts[i].first * kDeg, pts[i].second * kDeg, &v) || v != alone[i]) ++bad;
      }
  };
  std::thread a(worker, 0), b(worker, 1333), c(worker, 2666);
  a.join();
  b.join();
  c.join();
  EXPECT_EQ(bad.load(), 0);
}

}  // namespace
