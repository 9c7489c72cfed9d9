// The "GeMo" geoid file loader: the EGM96 fixture against NGA's grid and test points, synthetic
// files of every element width against known functions, hostile and cut-short files.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <cmath>
#include <cstring>
#include <functional>
#include <random>
#include <thread>
#include <vector>

#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "settings/rcv_settings.h"
#include "files/file_store.h"
#include "geoid_test_util.h"
#include "positioning/geoid/geoid_file.h"
#include "positioning/geoid/geoid_gps.h"

using geoidtest::kDeg;
using geoidtest::loadMem;
using geoidtest::makeGemo;
using geoidtest::put32;

namespace {

constexpr const char* kFixture = "testdata/geoid/egm96_05deg_fixture.gemo";
constexpr const char* kEgm96 = "data/geoid/egm96_05deg_720x361_int16_cm.bin";
constexpr std::size_t kFixtureFields = 16 + 26;  // after "EGM96 0.5deg test fixture" and its NUL

int posixOpen(const char* name, int) { return ::open(name, O_RDONLY | O_CLOEXEC); }
int posixRead(int h, void* buf, int n) { return int(::read(h, buf, std::size_t(n))); }
bool posixSeek(int h, std::int32_t off) { return ::lseek(h, off, SEEK_SET) == off; }
std::int32_t posixTell(int h) { return std::int32_t(::lseek(h, 0, SEEK_CUR)); }
void posixClose(int h) { ::close(h); }
const GeoidFileIo kPosixIo = {posixOpen, posixRead, posixSeek, posixTell, posixClose};

double height(double latDeg, double lonDeg) {
  double v = std::nan("");
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

class GeoidFile : public ::testing::Test {
 protected:
  void SetUp() override {
    GeoidGPS::reset();
    geoidtest::MemFile::maxChunk = 1 << 30;
    fixture_ = geoidtest::readBytes(geoidtest::sharedPath(kFixture));
    ASSERT_EQ(fixture_.size(), 128u + 720u * 361u * 2u + 290u);
  }
  // The built-in grid in use, as after reading settings without a geoid file.
  void expectBuiltIn(const char* what) {
    EXPECT_TRUE(GeoidGPS::isValid()) << what;
    EXPECT_EQ(currentName(), "Default EGM2008") << what;
    EXPECT_EQ(GeoidGPS::getElem(0), 14.90) << what;  // EGM2008 at the north pole
    EXPECT_NEAR(height(16.775833, -3.009444), 28.79, 0.01) << what;
  }
  std::vector<std::uint8_t> fixture_;
};

TEST_F(GeoidFile, FixtureReproducesEgm96Nodes) {
  GeoidGPS::useBuiltIn();
  GeoidFileReader reader(kPosixIo);
  ASSERT_TRUE(reader.readFrom(geoidtest::sharedPath(kFixture).c_str()));
  EXPECT_TRUE(GeoidGPS::isValid());
  EXPECT_EQ(currentName(), "EGM96 0.5deg test fixture");
  GeoidGPS::Descr d{};
  ASSERT_TRUE(GeoidGPS::getCurrent(&d, nullptr, 0));
  EXPECT_EQ(d.size, 2);
  EXPECT_EQ(d.interp, 1);
  EXPECT_EQ(d.rows, 361);
  EXPECT_EQ(d.cols, 720);
  EXPECT_NEAR(d.lat0, 90.0, 1e-12);
  EXPECT_NEAR(d.lon0, 0.0, 1e-12);
  EXPECT_NEAR(d.dLat, 0.5, 1e-12);
  EXPECT_NEAR(d.dLon, 0.5, 1e-12);
  EXPECT_NEAR(d.scale, 0.01, 1e-15);
  const std::vector<int> cm = geoidtest::readGridCm(kEgm96);
  ASSERT_EQ(cm.size(), 720u * 361u);
  for (std::size_t i = 0; i < cm.size(); ++i) ASSERT_NEAR(GeoidGPS::getElem(int(i)), cm[i] * 0.01, 1e-12) << i;
}

// NGA's EGM96 test values (spherical-harmonic synthesis). The 0.5 degree grid holds every
// second node of the 15' grid, in whole centimetres: where the geoid is smooth at the 55 km
// scale (the first point, in the Mississippi valley, and the two on the prime meridian) 5 cm
// holds; elsewhere the grid misses structure of shorter wavelength and 25 cm is what it allows.
struct TestPoint {
  double lat, lon, n, tol;
};
const TestPoint kEgm96Points[] = {
    {38.6281550, 269.7791550, -31.628, 0.05}, {-14.6212170, 305.0211140, -2.969, 0.25},
    {46.8743190, 102.4487290, -43.575, 0.25}, {-23.6174460, 133.8747120, 15.871, 0.25},
    {38.6254730, 359.9995000, 50.066, 0.05},  {-0.4667440, 0.0023000, 17.329, 0.05},
};

TEST_F(GeoidFile, FixtureMeetsEgm96TestPoints) {
  ASSERT_TRUE(loadMem(fixture_));
  for (const TestPoint& p : kEgm96Points) {
    EXPECT_NEAR(height(p.lat, p.lon), p.n, p.tol) << p.lat << " " << p.lon;
    EXPECT_NEAR(height(p.lat, p.lon - 360.0), p.n, p.tol) << p.lat << " " << p.lon;
  }
}

TEST_F(GeoidFile, ReadsThatReturnSmallPiecesStillLoad) {
  geoidtest::MemFile::maxChunk = 997;
  ASSERT_TRUE(loadMem(fixture_));
  EXPECT_EQ(currentName(), "EGM96 0.5deg test fixture");
}

TEST_F(GeoidFile, TrailerCutShortStillLoads) {
  std::vector<std::uint8_t> f(fixture_.begin(), fixture_.end() - 100);
  ASSERT_TRUE(loadMem(f));
  f.resize(fixture_.size() - 290);
  ASSERT_TRUE(loadMem(f));
}

// A change to the fixture, applied to a copy.
struct Hostile {
  const char* what;
  std::function<void(std::vector<std::uint8_t>&)> edit;
};

void setL(std::vector<std::uint8_t>& f, std::int32_t l) { put32(f, 8, l); }
void setField(std::vector<std::uint8_t>& f, std::size_t rel, std::int32_t v) { put32(f, kFixtureFields + rel, v); }

const Hostile kHostile[] = {
    {"magic", [](auto& f) { f[3] = 'X'; }},
    {"version 02", [](auto& f) { f[13] = '2'; }},
    {"header length 16", [](auto& f) { setL(f, 16); }},
    {"header length 0", [](auto& f) { setL(f, 0); }},
    {"header length -1", [](auto& f) { setL(f, -1); }},
    {"header length INT32_MIN", [](auto& f) { setL(f, INT32_MIN); }},
    {"header length 17", [](auto& f) { setL(f, 17); }},
    {"header length shorter than the fields", [](auto& f) { setL(f, 75); }},
    {"header length past the end", [](auto& f) { setL(f, 0x7fffffff); }},
    {"header length leaves the grid short", [](auto& f) { setL(f, 1000); }},
    {"name without NUL", [](auto& f) { std::memset(f.data() + 16, 'A', 112); setL(f, 2000); }},
    {"name of 256 characters",
     [](auto& f) {
       f.insert(f.begin() + 16, 300, 'n');
       f[16 + 256] = 0;
       setL(f, 428);
     }},
    {"name of 255 characters in a short header",
     [](auto& f) {
       f.insert(f.begin() + 16, 300, 'n');
       f[16 + 255] = 0;
       setL(f, 305);
     }},
    {"0 bytes per value", [](auto& f) { f[kFixtureFields] = 0; }},
    {"5 bytes per value", [](auto& f) { f[kFixtureFields] = 5; }},
    {"value format 3", [](auto& f) { f[kFixtureFields + 33] = 3; }},
    {"negative rows", [](auto& f) { setField(f, 17, -361); }},
    {"negative columns", [](auto& f) { setField(f, 21, -720); }},
    {"both negative, product positive", [](auto& f) { setField(f, 17, -361); setField(f, 21, -720); }},
    {"zero rows", [](auto& f) { setField(f, 17, 0); }},
    {"rows x cols x 2 wraps 32 bits", [](auto& f) { setField(f, 17, 65536); setField(f, 21, 32768); }},
    {"rows INT32_MIN", [](auto& f) { setField(f, 17, INT32_MIN); }},
    {"721 columns", [](auto& f) { setField(f, 21, 721); }},
    {"latitude step 0", [](auto& f) { setField(f, 25, 0); }},
    {"longitude step 0", [](auto& f) { setField(f, 29, 0); }},
    {"negative latitude step", [](auto& f) { setField(f, 25, -1800000); }},
    {"north edge 91 degrees", [](auto& f) { setField(f, 9, 91 * 3600000); }},
    {"west edge -1 degree", [](auto& f) { setField(f, 13, -3600000); }},
    {"grid cut short", [](auto& f) { f.resize(128 + 519840 - 1); }},
    {"grid missing", [](auto& f) { f.resize(128); }},
};

TEST_F(GeoidFile, HostileFilesLeaveTheBuiltInGrid) {
  GeoidGPS::useBuiltIn();
  for (const Hostile& h : kHostile) {
    std::vector<std::uint8_t> f = fixture_;
    h.edit(f);
    EXPECT_FALSE(loadMem(f)) << h.what;
    expectBuiltIn(h.what);
  }
}

TEST_F(GeoidFile, RefusedFileKeepsALoadedModel) {
  ASSERT_TRUE(loadMem(fixture_));
  std::vector<std::uint8_t> f = fixture_;
  setField(f, 25, 0);
  EXPECT_FALSE(loadMem(f));
  EXPECT_EQ(currentName(), "EGM96 0.5deg test fixture");
  EXPECT_NEAR(height(38.6281550, 269.7791550), -31.628, 0.05);
}

// The load buffer holds the loaded model, so a second load that fails while filling it falls back
// to the built-in grid, never to a half-read one.
TEST_F(GeoidFile, ShortReloadFallsBackToTheBuiltInGrid) {
  ASSERT_TRUE(loadMem(fixture_));
  std::vector<std::uint8_t> f(fixture_.begin(), fixture_.begin() + 128 + 1000);
  EXPECT_FALSE(loadMem(f));
  expectBuiltIn("short reload");
}

TEST_F(GeoidFile, EveryTruncationIsRefused) {
  GeoidGPS::useBuiltIn();
  for (std::size_t n = 0; n < 128 + 520; ++n) {
    std::vector<std::uint8_t> f(fixture_.begin(), fixture_.begin() + std::ptrdiff_t(n));
    ASSERT_FALSE(loadMem(f)) << n;
  }
  expectBuiltIn("truncations");
}

TEST_F(GeoidFile, RandomHeadersCauseNoHarm) {
  GeoidGPS::useBuiltIn();
  std::mt19937 rng(20261206);
  for (int i = 0; i < 3000; ++i) {
    std::vector<std::uint8_t> f(rng() % 700);
    for (auto& b : f) b = std::uint8_t(rng());
    if (f.size() >= 16 && (i % 2) == 0) {
      std::memcpy(f.data(), "GeMo", 4);
      f[12] = '0';
      f[13] = '1';
      put32(f, 8, std::int32_t(17 + rng() % 700));
    }
    ASSERT_FALSE(loadMem(f)) << i;
  }
  expectBuiltIn("random");
}

TEST_F(GeoidFile, MutatedFixtureHeadersLoadOrChangeNothing) {
  GeoidGPS::useBuiltIn();
  std::mt19937 rng(7);
  std::vector<std::uint8_t> f = fixture_;
  for (int i = 0; i < 400; ++i) {
    std::copy(fixture_.begin(), fixture_.begin() + 128, f.begin());
    for (int k = 0; k < 1 + int(rng() % 3); ++k) f[rng() % 128] = std::uint8_t(rng());
    const std::string before = currentName();
    if (!loadMem(f)) {
      // A loaded model may give way to the built-in grid (see ShortReload...), nothing else.
      ASSERT_TRUE(GeoidGPS::isValid()) << i;
      const std::string after = currentName();
      ASSERT_TRUE(after == before || after == "Default EGM2008") << i << " " << after;
    }
  }
}

// Synthetic files: element widths 1 to 4, both interpolations, regional grids. The bicubic
// four-point Lagrange scheme reproduces any polynomial of degree 3 in each direction, and the
// bilinear one any bilinear function, so interior heights have an exact truth.
struct Synthetic {
  const char* what;
  geoidtest::GemoFields fields;
  double scaleM, offsetM;
  std::function<std::int64_t(int r, int c)> p;          // file units at node (r, c)
  std::function<double(double y, double x)> pAt;        // the same function between nodes
};

const Synthetic kSynthetic[] = {
    {"1 byte bicubic",
     {"one", 1, 1234500, 1000000, 45 * 3600000, 10 * 3600000, 5, 5, 900000, 900000, 2, 128},
     0.01, 12.345,
     [](int r, int c) { return std::int64_t(-50 + 3 * c - 2 * r + c * r - r * r + c * c * c); },
     [](double r, double c) { return -50 + 3 * c - 2 * r + c * r - r * r + c * c * c; }},
    {"2 bytes bicubic",
     {"two", 2, -500000, 1000000000, 70 * 3600000, 355 * 3600000, 30, 40, 1800000, 1800000, 0, 128},
     0.01, -5.0,
     [](int r, int c) { return std::int64_t(-15000 + 200 * c - 100 * r + 2 * r * c - 3 * r * r + r * r * r - c * c); },
     [](double r, double c) { return -15000 + 200 * c - 100 * r + 2 * r * c - 3 * r * r + r * r * r - c * c; }},
    {"3 bytes bicubic",
     {"three", 3, 0, 1000000000, -10 * 3600000, 100 * 3600000, 20, 25, 3600000, 1800000, 2, 128},
     1e-4, 0.0,
     [](int r, int c) { return std::int64_t(-3000000 + 100 * c * c * c + 50 * r * r * c - 70000 * r + 12345); },
     [](double r, double c) { return -3000000 + 100 * c * c * c + 50 * r * r * c - 70000 * r + 12345; }},
    {"4 bytes bicubic",
     {"four", 4, 100000, 1000000000, 80 * 3600000, 0, 30, 40, 1800000, 3600000, 2, 128},
     1e-6, 1.0,
     [](int r, int c) { return std::int64_t(-2000000000 + 50000LL * c * c * c + 30000LL * r * r * r - 7LL * r * c * c); },
     [](double r, double c) { return -2000000000 + 50000.0 * c * c * c + 30000.0 * r * r * r - 7.0 * r * c * c; }},
    {"1 byte bilinear",
     {"one linear", 1, -1000000, 2000000, 30 * 3600000, 20 * 3600000, 9, 12, 900000, 900000, 1, 128},
     0.02, -10.0,
     [](int r, int c) { return std::int64_t(-100 + 15 * c + 20 * r - 2 * r * c); },
     [](double r, double c) { return -100 + 15 * c + 20 * r - 2 * r * c; }},
    {"2 bytes bilinear",
     {"two linear", 2, 0, 1000000000, -30 * 3600000, 350 * 3600000, 12, 30, 1800000, 1800000, 1, 200},
     0.01, 0.0,
     [](int r, int c) { return std::int64_t(1000 - 50 * c + 70 * r - 3 * r * c); },
     [](double r, double c) { return 1000 - 50 * c + 70 * r - 3 * r * c; }},
    {"4 bytes bilinear",
     {"four linear", 4, 0, 2000000000, 60 * 3600000, 5 * 3600000, 10, 10, 3600000, 3600000, 1, 128},
     2e-6, 0.0,
     [](int r, int c) { return std::int64_t(-2100000000LL + 400000000LL * r + 3000000LL * c - 10000000LL * r * c); },
     [](double r, double c) { return -2100000000.0 + 400000000.0 * r + 3000000.0 * c - 10000000.0 * r * c; }},
};

TEST_F(GeoidFile, SyntheticFilesReproduceKnownFunctions) {
  std::mt19937 rng(1);
  for (const Synthetic& s : kSynthetic) {
    const geoidtest::GemoFields& g = s.fields;
    std::vector<std::int64_t> vals;
    for (int r = 0; r < g.rows; ++r)
      for (int c = 0; c < g.cols; ++c) vals.push_back(s.p(r, c));
    ASSERT_TRUE(loadMem(makeGemo(g, vals))) << s.what;
    EXPECT_EQ(currentName(), g.name) << s.what;
    for (std::size_t i = 0; i < vals.size(); ++i) {
      const double want = s.offsetM + s.scaleM * double(vals[i]);
      ASSERT_NEAR(GeoidGPS::getElem(int(i)), want, 1e-9 * (1.0 + std::fabs(want))) << s.what << " " << i;
    }
    const double lat0 = g.latMas / 3.6e6, lon0 = g.lonMas / 3.6e6, dLat = g.dLatMas / 3.6e6, dLon = g.dLonMas / 3.6e6;
    const bool cubic = g.formatCode != 1;
    std::uniform_real_distribution<double> ux(cubic ? 1.0 : 0.0, cubic ? g.cols - 2.0 : g.cols - 1.0);
    std::uniform_real_distribution<double> uy(cubic ? 1.0 : 0.0, cubic ? g.rows - 2.0 : g.rows - 1.0);
    for (int k = 0; k < 300; ++k) {
      const double x = ux(rng), y = uy(rng);
      const double want = s.offsetM + s.scaleM * s.pAt(y, x);
      EXPECT_NEAR(height(lat0 - y * dLat, lon0 + x * dLon), want, 1e-7 * (1.0 + std::fabs(want)))
          << s.what << " x " << x << " y " << y;
    }
    // Outside the regional grid there is no height.
    double v;
    EXPECT_FALSE(GeoidGPS::getHeight((lat0 + dLat) * kDeg, (lon0 + dLon) * kDeg, &v)) << s.what;
    EXPECT_FALSE(GeoidGPS::getHeight((lat0 - g.rows * dLat) * kDeg, (lon0 + dLon) * kDeg, &v)) << s.what;
    EXPECT_FALSE(GeoidGPS::getHeight((lat0 - dLat) * kDeg, (lon0 + g.cols * dLon) * kDeg, &v)) << s.what;
  }
}

TEST_F(GeoidFile, SettingsWithoutAFileUseTheBuiltInGrid) {
  // The settings stand-in names no file.
  geoidSettingsRead();
  expectBuiltIn("no file configured");
  EXPECT_FALSE(GeoidFileReader(kPosixIo).readFrom());
  EXPECT_FALSE(GeoidFileReader(kPosixIo).readFrom(""));
  expectBuiltIn("empty name");
}

TEST_F(GeoidFile, MissingFileKeepsTheBuiltInGrid) {
  EXPECT_FALSE(GeoidGPS::isValid());
  EXPECT_FALSE(GeoidFileReader(kPosixIo).readFrom("/nonexistent/geoid.gemo"));
  expectBuiltIn("missing file");
}

// The file named in the receiver settings, read from the log store through the store's guard.
TEST_F(GeoidFile, FileNamedInTheSettingsLoadsFromTheLogStore) {
  char tmpl[] = "/tmp/rx_geoid_XXXXXX";
  ASSERT_NE(mkdtemp(tmpl), nullptr);
  char old[512];
  ASSERT_NE(getcwd(old, sizeof old), nullptr);
  ASSERT_EQ(chdir(tmpl), 0);
  ASSERT_EQ(mkdir(kLogDir, 0755), 0);
  {
    int fd = ::open((std::string(kLogDir) + "/egm96.gemo").c_str(), O_WRONLY | O_CREAT, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::write(fd, fixture_.data(), fixture_.size()), ssize_t(fixture_.size()));
    ::close(fd);
  }
  std::snprintf(RcvSet.geoidFile, sizeof RcvSet.geoidFile, "%s", "egm96.gemo");
  geoidRead();
  const std::string loaded = currentName();
  // A name the store refuses, and a missing file, leave the grid in use as it was.
  std::snprintf(RcvSet.geoidFile, sizeof RcvSet.geoidFile, "%s", "../egm96.gemo");
  geoidRead();
  const std::string afterBadName = currentName();
  RcvSet.geoidFile[0] = 0;
  geoidSettingsRead();
  const std::string noFile = currentName();
  std::system((std::string("rm -rf ") + tmpl).c_str());
  ASSERT_EQ(chdir(old), 0);
  EXPECT_EQ(loaded.rfind("EGM96", 0), 0u) << loaded;
  EXPECT_EQ(afterBadName, loaded);
  GeoidGPS::reset();
  RcvSet.geoidFile[0] = 0;
  geoidSettingsRead();
  expectBuiltIn("no file configured");
  EXPECT_NE(noFile, loaded);
}

// Heights asked while the loader replaces the model are those of one model or the other.
TEST_F(GeoidFile, HeightsDuringReloadsComeFromAWholeModel) {
  GeoidGPS::useBuiltIn();
  const double lat = 38.6281550, lon = 269.7791550;
  const double builtIn = height(lat, lon);
  ASSERT_TRUE(loadMem(fixture_));
  const double egm96 = height(lat, lon);
  ASSERT_NE(builtIn, egm96);
  std::atomic<int> finished{0}, bad{0};
  auto reader = [&] {
    for (int k = 0; k < 20000; ++k) {
      double v;
      if (!GeoidGPS::getHeight(lat * kDeg, lon * kDeg, &v) || (v != builtIn && v != egm96)) ++bad;
    }
    ++finished;
  };
  std::thread a(reader), b(reader);
  int loads = 0;
  while (finished < 2) {
    EXPECT_TRUE(loadMem(fixture_));
    ++loads;
  }
  a.join();
  b.join();
  EXPECT_EQ(bad.load(), 0) << loads << " loads";
}

}  // namespace
