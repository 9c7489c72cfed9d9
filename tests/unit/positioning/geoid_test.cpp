// The geoid model: the built-in grid against the published EGM2008 data, the "GeMo" loader with the EGM96
// fixture against NGA's grid and test points, synthetic grids against known functions, hostile and
// cut-short files, interpolation at the seam and the poles, concurrent callers.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <limits>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "files/file_store.h"
#include "positioning/geoid/geoid_file.h"
#include "positioning/geoid/geoid_gps.h"
#include "settings/rcv_settings.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
constexpr double kDeg = M_PI / 180.0;
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN(), kInf = std::numeric_limits<double>::infinity();
const std::string kShared = std::string(RX_SHARED_DIR) + "/";
constexpr std::size_t kFields = 16 + 26;  // after "EGM96 0.5deg test fixture" and its NUL
constexpr const char* kEgm96 = "EGM96 0.5deg test fixture";

Bytes readBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

// 361 x 720 int16 little-endian centimetres, read independently of the receiver's code.
std::vector<int> readGridCm(const char* rel) {
  const Bytes b = readBytes(kShared + rel);
  std::vector<int> v(b.size() / 2);
  for (std::size_t i = 0; i < v.size(); ++i) v[i] = std::int16_t(std::uint16_t(b[2 * i] | (b[2 * i + 1] << 8)));
  return v;
}

void put32(Bytes& v, std::size_t at, std::int32_t x) {
  for (int i = 0; i < 4; ++i) v[at + i] = std::uint8_t(std::uint32_t(x) >> (8 * i));
}

// One in-memory file, handed out in reads of at most `chunk` bytes.
struct Mem {
  static inline const Bytes* data = nullptr;
  static inline std::int64_t pos = 0, chunk = 1 << 30;
};
bool loadMem(const Bytes& bytes) {
  Mem::data = &bytes;
  const GeoidFileIo io = {
      [](const char*, int) { return Mem::pos = 0, 3; },
      [](int, void* buf, int count) {
        const std::int64_t left = std::int64_t(Mem::data->size()) - Mem::pos;
        const auto n = std::max<std::int64_t>(0, std::min<std::int64_t>({left, count, Mem::chunk}));
        if (n > 0) std::memcpy(buf, Mem::data->data() + Mem::pos, std::size_t(n));
        return Mem::pos += n, int(n);
      },
      [](int, std::int32_t off) { return off >= 0 && (Mem::pos = off, true); },
      [](int) { return std::int32_t(Mem::pos); }, [](int) {}};
  Mem::pos = 0;
  return GeoidFileReader(io).doRead(3);
}

double h(double latDeg, double lonDeg) {
  double v = kNaN;
  EXPECT_TRUE(GeoidGPS::getHeight(latDeg * kDeg, lonDeg * kDeg, &v)) << latDeg << " " << lonDeg;
  return v;
}

std::string currentName() {
  double v;
  GeoidGPS::getHeight(0.0, 0.0, &v);  // takes the reporting copy
  char name[GeoidGPS::kNameLen] = "";
  GeoidGPS::getCurrent(nullptr, name, sizeof name);
  return name;
}

// Installs a grid given by its descriptor and a function of (row, column) in file units.
bool installGrid(const GeoidGPS::Descr& d, const std::function<std::int64_t(int, int)>& units, const char* name) {
  std::uint32_t n = 0;
  std::uint8_t* buf = GeoidGPS::setDescr(d, &n);
  if (!buf) return false;
  for (std::uint32_t at = 0; at < n; ++at)
    buf[at] = std::uint8_t(std::uint64_t(units(at / d.size / d.cols, at / d.size % d.cols)) >> (8 * (at % d.size)));
  return GeoidGPS::install(name);
}

class GeoidModel : public ::testing::Test {
 protected:
  void SetUp() override {
    GeoidGPS::reset();
    Mem::chunk = 1 << 30;
    cm_ = readGridCm("data/geoid/egm2008_05deg_hybrid_720x361_int16_cm.bin");
    ASSERT_EQ(cm_.size(), 720u * 361u);
    fixture_ = readBytes(kShared + "testdata/geoid/egm96_05deg_fixture.gemo");
    ASSERT_EQ(fixture_.size(), 128u + 720u * 361u * 2u + 290u);
  }
  double node(int r, int c) const { return cm_[std::size_t(r) * 720 + std::size_t((c % 720 + 720) % 720)] * 0.01; }
  // The built-in grid in use, as after reading settings without a geoid file.
  void expectBuiltIn(const std::string& what) {
    EXPECT_TRUE(GeoidGPS::isValid() && currentName() == "Default EGM2008" && GeoidGPS::getElem(0) == 14.90) << what;
    EXPECT_NEAR(h(16.775833, -3.009444), 28.79, 0.01) << what;
  }
  std::vector<int> cm_;
  Bytes fixture_;
};
using GeoidFile = GeoidModel;

TEST_F(GeoidModel, BuiltInGridIsThePublishedEgm2008) {
  double v = 1.0;
  EXPECT_FALSE(GeoidGPS::isValid() || GeoidGPS::getHeight(0.3, 0.1, &v) || GeoidGPS::getCurrent(nullptr, nullptr, 0));
  EXPECT_EQ(GeoidGPS::getHeight(0.3, 0.1), 0.0);  // last height, none yet
  GeoidGPS::useBuiltIn();
  EXPECT_EQ(currentName(), "Default EGM2008");
  for (int r = 0; r < 361; ++r)
    for (int c = 0; c < 720; ++c) {
      ASSERT_EQ(GeoidGPS::getElem(r * 720 + c), node(r, c)) << r << " " << c;
      ASSERT_NEAR(h(90.0 - 0.5 * r, 0.5 * c), node(r, c), 1e-9) << r << " " << c;  // bicubic through nodes
    }
  EXPECT_TRUE(std::isnan(GeoidGPS::getElem(-1)) && std::isnan(GeoidGPS::getElem(720 * 361)));
  // NGA's EGM2008 value at Timbuktu (16:46:33N 3:00:34W) is 28.788 m from the full model; a 0.5 degree grid
  // in whole centimetres misses a few centimetres of shorter wavelengths there.
  const double lat = 16 + 46 / 60.0 + 33 / 3600.0, lon = -(3 + 34 / 3600.0);
  EXPECT_NEAR(h(lat, lon), 28.788, 0.05);
  EXPECT_NEAR(h(lat, lon + 360.0), 28.788, 0.05);
  for (double l : {-180.0, -0.25, 0.0, 45.0, 359.75})
    EXPECT_TRUE(h(90.0, l) == node(0, 0) && h(-90.0, l) == node(360, 719)) << l;
  EXPECT_FALSE(GeoidGPS::getHeight(91.0 * kDeg, 0.0, &v) || GeoidGPS::getHeight(kNaN, 0.0, &v) ||
               GeoidGPS::getHeight(0.0, kInf, &v));
}

// Near a pole the bicubic stencil reaches over it to the nodes on the opposite meridian, so a smooth
// function on the sphere is reproduced to the order of the method. A grid that fills the buffer to its
// last byte keeps every stencil near either pole and the seam inside it (the sanitizer would stop a read
// past the end).
TEST_F(GeoidModel, BicubicAcrossThePolesMirrorsAndStaysInBounds) {
  auto f = [](double latDeg, double lonDeg) {
    const double la = latDeg * kDeg, lo = lonDeg * kDeg;
    return 50.0 * std::sin(la) + 30.0 * std::cos(la) * std::cos(lo) - 20.0 * std::cos(la) * std::sin(lo);
  };
  const GeoidGPS::Descr sphere = {4, 1, 1e-6, 0.0, 0.0, 90.0, 1.0, 1.0, 360, 181};
  ASSERT_TRUE(installGrid(sphere, [&](int r, int c) { return std::llround(f(90.0 - r, c) * 1e6); }, "sphere"));
  for (double lat : {89.7, 89.3, 88.6, -88.6, -89.3, -89.7})
    for (double lon = 0.0; lon < 360.0; lon += 17.5) EXPECT_NEAR(h(lat, lon), f(lat, lon), 2e-5) << lat << " " << lon;
  EXPECT_NEAR(h(90.0, 123.0), 50.0, 1e-6);
  EXPECT_NEAR(h(-90.0, 123.0), -50.0, 1e-6);
  const GeoidGPS::Descr full = {2, 1, 0.01, 0.0, 0.0, 90.0, 360.0 / 650, 180.0 / 399, 650, 400};
  ASSERT_EQ(std::uint64_t(full.rows) * full.cols * full.size, GeoidGPS::kGridBytes);
  ASSERT_TRUE(installGrid(full, [](int r, int c) { return (r * 37 + c * 11) % 2000 - 1000; }, "full"));
  for (double lat : {89.99, 89.8, 89.6, -89.6, -89.8, -89.99, 90.0, -90.0})
    for (double lon : {0.0, 0.1, 180.0, 359.5, 359.9, 359.999999})  // cubic weights add up to at most 1.25
      EXPECT_LE(std::fabs(h(lat, lon)), 10.0 * 1.25 * 1.25 + 1e-9) << lat << " " << lon;
}

// Between 359.5 and 360 degrees the interpolation runs across the seam into column 0.
TEST_F(GeoidModel, SeamWrapsForBothInterpolations) {
  GeoidGPS::useBuiltIn();
  const int r = 147;  // 16.5 N, where columns 718..1 differ
  const double lat = 90.0 - 0.5 * r;
  ASSERT_GT(std::fabs(node(r, 719) - node(r, 0)), 0.05);
  // Cubic Lagrange weights halfway between two nodes: -1/16, 9/16, 9/16, -1/16.
  const double mid = (-node(r, 718) + 9 * node(r, 719) + 9 * node(r, 0) - node(r, 1)) / 16.0;
  for (double lon : {359.75, -0.25, -720.25}) EXPECT_NEAR(h(lat, lon), mid, 1e-9) << lon;
  EXPECT_NEAR(h(lat, 359.5), node(r, 719), 1e-9);
  EXPECT_NEAR(h(lat, 360.0), node(r, 0), 1e-9);
  EXPECT_NEAR(h(lat, 359.9999999), h(lat, 0.0), 1e-5);
  const GeoidGPS::Descr d = {2, 0, 0.01, 0.0, 0.0, 90.0, 0.5, 0.5, 720, 361};
  ASSERT_TRUE(installGrid(d, [&](int rr, int c) { return cm_[std::size_t(rr) * 720 + c]; }, "bilinear"));
  EXPECT_NEAR(h(lat, 359.75), 0.5 * (node(r, 719) + node(r, 0)), 1e-9);
  EXPECT_NEAR(h(lat - 0.25, 359.75), 0.25 * (node(r, 719) + node(r, 0) + node(r + 1, 719) + node(r + 1, 0)), 1e-9);
  for (int c = 0; c < 720; c += 7) EXPECT_NEAR(h(lat, 0.5 * c), node(r, c), 1e-9);
}

// A regional grid across the prime meridian: 350 E .. 10 E, 60 N .. 50 N at 1 degree. Outside it there is
// no height and the last one stands.
TEST_F(GeoidModel, RegionalGridRefusesPointsOutside) {
  const GeoidGPS::Descr d = {2, 0, 0.001, 5.0, 350.0, 60.0, 1.0, 1.0, 21, 11};
  ASSERT_TRUE(installGrid(d, [](int r, int c) { return 100 * c - 30 * r + 2 * r * c; }, "region"));
  auto f = [](double lat, double lon) {  // bilinear in (row, column): reproduced exactly
    const double c = lon >= 350.0 ? lon - 350.0 : lon + 10.0, r = 60.0 - lat;
    return 5.0 + 0.001 * (100 * c - 30 * r + 2 * r * c);
  };
  const double inside[][2] = {{55.5, 355.25}, {50.0, 10.0}, {60.0, 350.0}, {52.3, -3.7}, {59.9, 0.0}, {50.0, 350.0}};
  for (const auto& p : inside)
    EXPECT_NEAR(h(p[0], p[1]), f(p[0], p[1] < 0 ? p[1] + 360 : p[1]), 1e-9) << p[0] << " " << p[1];
  const double last = GeoidGPS::getHeight(55.0 * kDeg, 0.0);
  const double outside[][2] = {{60.01, 0.0}, {49.99, 0.0}, {55.0, 10.01}, {55.0, 349.99}, {55.0, 180}, {-55.0, 0}};
  for (const auto& p : outside) {
    double v = 1234.0;
    EXPECT_FALSE(GeoidGPS::getHeight(p[0] * kDeg, p[1] * kDeg, &v)) << p[0] << " " << p[1];
    EXPECT_TRUE(v == 1234.0 && GeoidGPS::getHeight(p[0] * kDeg, p[1] * kDeg) == last);
  }
}

// Neither an accepted nor a refused descriptor touches the grid in use before install.
TEST_F(GeoidModel, DescriptorValidation) {
  const struct { const char* what; GeoidGPS::Descr d; bool accepted; } cases[] = {
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
      {"infinite offset", {2, 1, 0.01, kInf, 0, 90, 0.5, 0.5, 10, 10}, false},
  };
  GeoidGPS::useBuiltIn();
  const double before = h(16.8, 357.0);
  for (const auto& c : cases) {
    std::uint32_t n = 0xdeadbeef;
    const std::uint8_t* buf = GeoidGPS::setDescr(c.d, &n);
    EXPECT_EQ(buf != nullptr, c.accepted) << c.what;
    EXPECT_EQ(n, buf ? std::uint32_t(c.d.rows) * std::uint32_t(c.d.cols) * c.d.size : 0xdeadbeefu) << c.what;
    EXPECT_TRUE(h(16.8, 357.0) == before && currentName() == "Default EGM2008") << c.what;
    GeoidGPS::cancelLoad();
  }
  EXPECT_FALSE(GeoidGPS::install("nothing pending"));
}

// Heights from several tasks at once equal the heights computed alone.
TEST_F(GeoidModel, ConcurrentCallersGetTheirOwnHeights) {
  GeoidGPS::useBuiltIn();
  std::vector<std::pair<double, double>> pts;
  std::vector<double> alone;
  for (int i = 0; i < 4000; ++i) {
    pts.emplace_back(-89.9 + 179.8 * ((i * 7919) % 4000) / 4000.0, (i * 104729 % 36000) / 100.0);
    alone.push_back(h(pts.back().first, pts.back().second));
  }
  std::atomic<int> bad{0};
  auto worker = [&](int start) {
    for (std::size_t k = 0; k < 3 * pts.size(); ++k) {
      const std::size_t i = (k + std::size_t(start)) % pts.size();
      double v;
      bad += !GeoidGPS::getHeight(pts[i].first * kDeg, pts[i].second * kDeg, &v) || v != alone[i];
    }
  };
  std::thread a(worker, 0), b(worker, 1333), c(worker, 2666);
  a.join(), b.join(), c.join();
  EXPECT_EQ(bad.load(), 0);
}

// The fixture holds NGA's EGM96 grid; it loads also in small read pieces and with its trailer cut short.
// NGA's EGM96 test values come from the spherical-harmonic synthesis: the 0.5 degree grid holds every second
// node of the 15' grid in whole centimetres; where the geoid is smooth at the 55 km scale (the Mississippi
// valley, the prime meridian) 5 cm holds, elsewhere the grid misses shorter wavelengths and 25 cm is allowed.
TEST_F(GeoidFile, Egm96FixtureMatchesNgaGridAndTestPoints) {
  const std::vector<int> cm = readGridCm("data/geoid/egm96_05deg_720x361_int16_cm.bin");
  ASSERT_EQ(cm.size(), 720u * 361u);
  const double points[][4] = {
      {38.6281550, 269.7791550, -31.628, 0.05}, {-14.6212170, 305.0211140, -2.969, 0.25},
      {46.8743190, 102.4487290, -43.575, 0.25}, {-23.6174460, 133.8747120, 15.871, 0.25},
      {38.6254730, 359.9995000, 50.066, 0.05},  {-0.4667440, 0.0023000, 17.329, 0.05},
  };
  const std::int64_t variants[][2] = {{1 << 30, 0}, {997, 0}, {1 << 30, 100}, {1 << 30, 290}};  // chunk, cut
  for (const auto& v : variants) {
    Mem::chunk = v[0];
    GeoidGPS::reset();
    ASSERT_TRUE(loadMem(Bytes(fixture_.begin(), fixture_.end() - v[1]))) << v[0] << " " << v[1];
    EXPECT_EQ(currentName(), kEgm96);
    for (std::size_t i = 0; i < cm.size(); i += v[0] == 997 ? 1 : 997)
      ASSERT_NEAR(GeoidGPS::getElem(int(i)), cm[i] * 0.01, 1e-12) << i;
    for (const auto& p : points) {
      EXPECT_NEAR(h(p[0], p[1]), p[2], p[3]) << p[0] << " " << p[1];
      EXPECT_NEAR(h(p[0], p[1] - 360.0), p[2], p[3]) << p[0] << " " << p[1];
    }
  }
}

// Hostile edits of the fixture, every truncation of its start, random headers and random edits of the
// header: refused with the built-in grid still in use, or loaded; never a memory error. A refused file keeps
// a loaded model, but one that fails while filling the load buffer falls back to the built-in grid.
TEST_F(GeoidFile, BadFilesAreRefusedAndTheGridInUseStays) {
  auto setL = [](Bytes& f, std::int32_t l) { put32(f, 8, l); };
  auto setField = [](Bytes& f, std::size_t rel, std::int32_t v) { put32(f, kFields + rel, v); };
  const std::pair<const char*, std::function<void(Bytes&)>> hostile[] = {
      {"magic", [](auto& f) { f[3] = 'X'; }},
      {"version 02", [](auto& f) { f[13] = '2'; }},
      {"header length 16", [&](auto& f) { setL(f, 16); }},
      {"header length 0", [&](auto& f) { setL(f, 0); }},
      {"header length -1", [&](auto& f) { setL(f, -1); }},
      {"header length INT32_MIN", [&](auto& f) { setL(f, INT32_MIN); }},
      {"header length 17", [&](auto& f) { setL(f, 17); }},
      {"header length shorter than the fields", [&](auto& f) { setL(f, 75); }},
      {"header length past the end", [&](auto& f) { setL(f, 0x7fffffff); }},
      {"header length leaves the grid short", [&](auto& f) { setL(f, 1000); }},
      {"name without NUL", [&](auto& f) { std::memset(f.data() + 16, 'A', 112), setL(f, 2000); }},
      {"name of 256", [&](auto& f) { f.insert(f.begin() + 16, 300, 'n'), f[16 + 256] = 0, setL(f, 428); }},
      {"name of 255, header 305", [&](auto& f) { f.insert(f.begin() + 16, 300, 'n'), f[16 + 255] = 0, setL(f, 305); }},
      {"5 bytes per value", [](auto& f) { f[kFields] = 5; }},
      {"value format 3", [](auto& f) { f[kFields + 33] = 3; }},
      {"both negative, product positive", [&](auto& f) { setField(f, 17, -361), setField(f, 21, -720); }},
      {"rows x cols x 2 wraps 32 bits", [&](auto& f) { setField(f, 17, 65536), setField(f, 21, 32768); }},
      {"latitude step 0", [&](auto& f) { setField(f, 25, 0); }},
      {"grid cut short", [](auto& f) { f.resize(128 + 519840 - 1); }},
      {"grid missing", [](auto& f) { f.resize(128); }},
  };
  GeoidGPS::useBuiltIn();
  for (const auto& [what, edit] : hostile) {
    Bytes f = fixture_;
    edit(f);
    EXPECT_FALSE(loadMem(f)) << what;
    expectBuiltIn(what);
  }
  for (std::size_t n = 0; n < 128 + 520; ++n)
    ASSERT_FALSE(loadMem(Bytes(fixture_.begin(), fixture_.begin() + std::ptrdiff_t(n)))) << n;
  std::mt19937 rng(20261206);
  for (int i = 0; i < 3000; ++i) {
    Bytes f(rng() % 700);
    for (auto& b : f) b = std::uint8_t(rng());
    if (f.size() >= 16 && (i % 2) == 0) {
      std::memcpy(f.data(), "GeMo", 4);
      f[12] = '0', f[13] = '1';
      setL(f, std::int32_t(17 + rng() % 700));
    }
    ASSERT_FALSE(loadMem(f)) << i;
  }
  expectBuiltIn("truncations and random headers");
  ASSERT_TRUE(loadMem(fixture_));
  Bytes f = fixture_;
  setField(f, 25, 0);
  EXPECT_FALSE(loadMem(f));
  EXPECT_EQ(currentName(), kEgm96);
  EXPECT_NEAR(h(38.6281550, 269.7791550), -31.628, 0.05);
  EXPECT_FALSE(loadMem(Bytes(fixture_.begin(), fixture_.begin() + 128 + 1000)));
  expectBuiltIn("short reload");
  rng.seed(7);
  for (int i = 0; i < 400; ++i) {
    std::copy(fixture_.begin(), fixture_.begin() + 128, f.begin());
    for (int k = 0; k < 1 + int(rng() % 3); ++k) f[rng() % 128] = std::uint8_t(rng());
    const std::string before = currentName();
    ASSERT_TRUE(loadMem(f) || (GeoidGPS::isValid() && (currentName() == before || currentName() == "Default EGM2008")))
        << i;
  }
}

// Element widths 1 to 4, both interpolations, regional grids. The bicubic four-point Lagrange scheme
// reproduces any polynomial of degree 3 in each direction, the bilinear one any bilinear function.
TEST_F(GeoidFile, SyntheticFilesReproduceKnownFunctions) {
  const struct {
    const char* name;
    int bytes;
    std::int32_t offset, scale;  // file units: 1e-5 m; 1e-8 / 1e-11 / 1e-13 / 1e-15 m by bytes
    std::int32_t latMas, lonMas, rows, cols, dLatMas, dLonMas;  // north-west corner, milliarcseconds
    std::uint8_t format;                                        // 1 bilinear, other bicubic
    std::int32_t headerLen;
    double scaleM, offsetM;
    double (*f)(double r, double c);  // file units at (row, column), integral at the nodes
  } files[] = {
      {"one", 1, 1234500, 1000000, 45 * 3600000, 10 * 3600000, 5, 5, 900000, 900000, 2, 128, 0.01, 12.345,
       [](double r, double c) { return -50 + 3 * c - 2 * r + c * r - r * r + c * c * c; }},
      {"two", 2, -500000, 1000000000, 70 * 3600000, 355 * 3600000, 30, 40, 1800000, 1800000, 0, 128, 0.01, -5.0,
       [](double r, double c) { return -15000 + 200 * c - 100 * r + 2 * r * c - 3 * r * r + r * r * r - c * c; }},
      {"three", 3, 0, 1000000000, -10 * 3600000, 100 * 3600000, 20, 25, 3600000, 1800000, 2, 128, 1e-4, 0.0,
       [](double r, double c) { return -3000000 + 100 * c * c * c + 50 * r * r * c - 70000 * r + 12345; }},
      {"four", 4, 100000, 1000000000, 80 * 3600000, 0, 30, 40, 1800000, 3600000, 2, 128, 1e-6, 1.0,
       [](double r, double c) { return -2000000000 + 50000.0 * c * c * c + 30000.0 * r * r * r - 7.0 * r * c * c; }},
      {"two linear", 2, 0, 1000000000, -30 * 3600000, 350 * 3600000, 12, 30, 1800000, 1800000, 1, 200, 0.01, 0.0,
       [](double r, double c) { return 1000 - 50 * c + 70 * r - 3 * r * c; }},
      {"four linear", 4, 0, 2000000000, 60 * 3600000, 5 * 3600000, 10, 10, 3600000, 3600000, 1, 128, 2e-6, 0.0,
       [](double r, double c) { return -2100000000.0 + 400000000.0 * r + 3000000.0 * c - 10000000.0 * r * c; }},
  };
  std::mt19937 rng(1);
  for (const auto& s : files) {
    SCOPED_TRACE(s.name);
    Bytes v(std::size_t(s.headerLen), 0);
    std::memcpy(v.data(), "GeMo", 4);
    put32(v, 8, s.headerLen);
    v[12] = '0', v[13] = '1';
    std::memcpy(v.data() + 16, s.name, std::strlen(s.name) + 1);
    const std::size_t at = 16 + std::strlen(s.name) + 1;
    v[at] = std::uint8_t(s.bytes);
    const std::int32_t fields[] = {s.offset, s.scale, s.latMas, s.lonMas, s.rows, s.cols, s.dLatMas, s.dLonMas};
    for (int k = 0; k < 8; ++k) put32(v, at + 1 + 4 * k, fields[k]);
    v[at + 33] = s.format;
    for (int i = 0; i < s.rows * s.cols * s.bytes; ++i)
      v.push_back(std::uint8_t(std::int64_t(s.f(i / s.bytes / s.cols, i / s.bytes % s.cols)) >> (8 * (i % s.bytes))));
    v.insert(v.end(), 290, 0);
    ASSERT_TRUE(loadMem(v));
    EXPECT_EQ(currentName(), s.name);
    for (int i = 0; i < s.rows * s.cols; ++i) {
      const double want = s.offsetM + s.scaleM * s.f(i / s.cols, i % s.cols);
      ASSERT_NEAR(GeoidGPS::getElem(i), want, 1e-9 * (1.0 + std::fabs(want))) << i;
    }
    const double lat0 = s.latMas / 3.6e6, lon0 = s.lonMas / 3.6e6, dLat = s.dLatMas / 3.6e6, dLon = s.dLonMas / 3.6e6;
    const double edge = s.format != 1 ? 1.0 : 0.0;  // the cubic stencil needs a node on each side
    std::uniform_real_distribution<double> ux(edge, s.cols - 1 - edge), uy(edge, s.rows - 1 - edge);
    for (int k = 0; k < 300; ++k) {
      const double x = ux(rng), y = uy(rng), want = s.offsetM + s.scaleM * s.f(y, x);
      EXPECT_NEAR(h(lat0 - y * dLat, lon0 + x * dLon), want, 1e-7 * (1.0 + std::fabs(want))) << x << " " << y;
    }
  }
}

// The file named in the receiver settings, read from the log store through the store's guard. No file
// named, a missing file and a name the store refuses leave the grid in use as it was.
TEST_F(GeoidFile, FileNamedInTheSettingsLoadsFromTheLogStore) {
  geoidSettingsRead();  // the settings name no file
  expectBuiltIn("no file configured");
  EXPECT_FALSE(GeoidFileReader().readFrom() || GeoidFileReader().readFrom("") ||
               GeoidFileReader().readFrom("/nonexistent/geoid.gemo"));
  expectBuiltIn("missing file");
  char dir[] = "/tmp/rx_geoid_XXXXXX", old[512];
  ASSERT_TRUE(mkdtemp(dir) != nullptr && getcwd(old, sizeof old) != nullptr && chdir(dir) == 0);
  ASSERT_EQ(mkdir(kLogDir, 0755), 0);
  std::ofstream(std::string(kLogDir) + "/egm96.gemo", std::ios::binary)
      .write(reinterpret_cast<const char*>(fixture_.data()), std::streamsize(fixture_.size()));
  std::string names[3];
  for (int i = 0; i < 3; ++i) {
    const char* name = i == 0 ? "egm96.gemo" : i == 1 ? "../egm96.gemo" : "";
    std::snprintf(RcvSet.geoidFile, sizeof RcvSet.geoidFile, "%s", name);
    i < 2 ? geoidRead() : geoidSettingsRead();
    names[i] = currentName();
  }
  std::system((std::string("rm -rf ") + dir).c_str());
  ASSERT_EQ(chdir(old), 0);
  EXPECT_EQ(names[0], kEgm96);
  EXPECT_EQ(names[1], names[0]);
  EXPECT_NE(names[2], names[0]);
}

// Heights asked while the loader replaces the model are those of one model or the other.
TEST_F(GeoidFile, HeightsDuringReloadsComeFromAWholeModel) {
  GeoidGPS::useBuiltIn();
  const double lat = 38.6281550, lon = 269.7791550, builtIn = h(lat, lon);
  ASSERT_TRUE(loadMem(fixture_));
  const double egm96 = h(lat, lon);
  ASSERT_NE(builtIn, egm96);
  std::atomic<int> finished{0}, bad{0};
  auto reader = [&] {
    for (int k = 0; k < 20000; ++k) {
      double v;
      bad += !GeoidGPS::getHeight(lat * kDeg, lon * kDeg, &v) || (v != builtIn && v != egm96);
    }
    ++finished;
  };
  std::thread a(reader), b(reader);
  int loads = 0;
  for (; finished < 2; ++loads) EXPECT_TRUE(loadMem(fixture_));
  a.join(), b.join();
  EXPECT_EQ(bad.load(), 0) << loads << " loads";
}

}  // namespace
