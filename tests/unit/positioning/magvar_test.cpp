// Magnetic declination against NOAA's published test values of WMM2020 and WMM2025 (declination
// to its 0.01 deg rounding, X, Y, Z to 1 nT), the day of the year and the model a calendar date
// picks, the freshness verdict, nothing computed without a date, and finite fields at the poles
// and over random positions.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "platform/file_nvm.h"
#include "platform/mono_clock.h"
#include "positioning/engine/apx_nav.h"
#include "positioning/engine/last_position.h"
#include "positioning/engine/nav_main.h"
#include "positioning/geodesy/magvar.h"
#include "positioning/time_scales.h"
#include "unit/own_process.h"
#include "unit/platform/temp_run_dir.h"

namespace {

constexpr double kDeg = M_PI / 180.0;
const std::string kWmm = std::string(RX_SHARED_DIR) + "/data/wmm/";

struct Point {
  int line;
  double year, hKm, lat, lon;
  double d;           // published declination, deg (NaN: not given)
  double x, y, z;     // nT (NaN: not given)
};

double cell(const std::string& s) { return s.empty() ? NAN : std::stod(s); }

// Whitespace table, '#' comments; column indexes of year, h, lat, lon, D, X, Y, Z.
std::vector<Point> readTable(const std::string& file, const int col[8]) {
  std::vector<Point> out;
  std::ifstream in(kWmm + file);
  std::string ln;
  for (int no = 1; std::getline(in, ln); ++no) {
    if (ln.empty() || ln[0] == '#') continue;
    std::istringstream ss(ln);
    std::vector<double> f;
    for (std::string w; ss >> w;) f.push_back(w == "NaN" ? NAN : std::stod(w));
    double v[8];
    for (int i = 0; i < 8; ++i) v[i] = col[i] < 0 ? NAN : f.at(col[i]);
    out.push_back({no, v[0], v[1], v[2], v[3], v[4], v[5], v[6], v[7]});
  }
  return out;
}

// year,height_km,lat_deg,lon_deg,D_deg,I_deg,H_nT,X_nT,Y_nT,Z_nT,F_nT; empty = not quoted.
std::vector<Point> readPartialCsv(const std::string& file) {
  std::vector<Point> out;
  std::ifstream in(kWmm + file);
  std::string ln;
  for (int no = 1; std::getline(in, ln); ++no) {
    if (ln.empty() || ln[0] == '#' || ln[0] == 'y') continue;
    std::vector<std::string> c;
    std::stringstream ss(ln);
    for (std::string w; std::getline(ss, w, ',');) c.push_back(w);
    c.resize(11);
    out.push_back({no, cell(c[0]), cell(c[1]), cell(c[2]), cell(c[3]), cell(c[4]), cell(c[7]),
                   cell(c[8]), cell(c[9])});
  }
  return out;
}

double angleDiff(double a, double b) { return std::remainder(a - b, 360.0); }

// The field at a decimal year, with the model of its whole year (the published test values give
// the year so).
MagVar::Field fieldAt(double lat, double lon, double h, double year) {
  const int model = MagVar::modelFor(static_cast<int>(std::floor(year)));
  return magVar.field(model, lat, lon, h, year - MagVar::Models[model].epoch);
}

class MagVarModel : public ::testing::Test {
 protected:
  void SetUp() override { magvarInitOnce(); }

  void check(const std::vector<Point>& pts, const char* file, std::size_t minRows) {
    ASSERT_GE(pts.size(), minRows) << file;
    for (const Point& p : pts) {
      const MagVar::Field f = fieldAt(p.lat * kDeg, p.lon * kDeg, p.hKm * 1000.0, p.year);
      const std::string where = std::string(file) + ":" + std::to_string(p.line);
      if (!std::isnan(p.d)) {
        EXPECT_LE(std::fabs(angleDiff(MagVar::declinationDeg(f), p.d)), 0.01 + 1e-9) << where;
      }
      if (!std::isnan(p.x)) { EXPECT_NEAR(f.x, p.x, 1.0) << where; }
      if (!std::isnan(p.y)) { EXPECT_NEAR(f.y, p.y, 1.0) << where; }
      if (!std::isnan(p.z)) { EXPECT_NEAR(f.z, p.z, 1.0) << where; }
    }
  }
};

TEST_F(MagVarModel, Wmm2020OfficialTestValues) {
  // Date, height, lat, lon, D, I, H, X, Y, Z, ...
  const int col[8] = {0, 1, 2, 3, 4, 7, 8, 9};
  check(readTable("WMM2020_TEST_VALUES.txt", col), "WMM2020_TEST_VALUES.txt", 100);
}

TEST_F(MagVarModel, Wmm2025OfficialTestValues) {
  // Date, height, lat, lon, X, Y, Z, H, F, I, D, ...
  const int col[8] = {0, 1, 2, 3, 10, 4, 5, 6};
  check(readTable("WMM2025_TEST_VALUES.txt", col), "WMM2025_TEST_VALUES.txt", 12);
}

TEST_F(MagVarModel, Wmm2025QuotedRowsOfTheHundredPointTable) {
  check(readPartialCsv("WMM2025_TEST_VALUES_100pt_partial.csv"),
        "WMM2025_TEST_VALUES_100pt_partial.csv", 20);
}

// The geographic poles take the order-1 limit for the east component: the field there joins the
// field a hair away (same longitude, so the same axes).
TEST_F(MagVarModel, PolesJoinTheirNeighbourhood) {
  struct Row { double lat, lon, hKm, year; };
  const Row rows[] = {{90, 0, 0, 2022.5}, {-90, 0, 0, 2022.5}, {90, 137, 50, 2027.0},
                      {-90, -60, 100, 2029.9}, {90, -180, -1, 2025.0}};
  for (const Row& r : rows) {
    const MagVar::Field at = fieldAt(r.lat * kDeg, r.lon * kDeg, r.hKm * 1e3, r.year);
    const double near = (r.lat > 0 ? r.lat - 1e-7 : r.lat + 1e-7) * kDeg;
    const MagVar::Field nb = fieldAt(near, r.lon * kDeg, r.hKm * 1e3, r.year);
    EXPECT_TRUE(std::isfinite(at.x) && std::isfinite(at.y) && std::isfinite(at.z)) << r.lat;
    EXPECT_NEAR(at.x, nb.x, 0.1) << r.lat << " " << r.lon;
    EXPECT_NEAR(at.y, nb.y, 0.1) << r.lat << " " << r.lon;
    EXPECT_NEAR(at.z, nb.z, 0.1) << r.lat << " " << r.lon;
    EXPECT_TRUE(std::isfinite(MagVar::declinationDeg(at)));
  }
}

TEST_F(MagVarModel, RandomPositionsGiveFiniteFields) {
  std::mt19937 rng(20261207);
  std::uniform_real_distribution<double> lat(-90, 90), lon(-180, 180), h(-1000, 100000),
      year(2015, 2035);
  for (int i = 0; i < 10000; ++i) {
    const MagVar::Field f = fieldAt(lat(rng) * kDeg, lon(rng) * kDeg, h(rng), year(rng));
    ASSERT_TRUE(std::isfinite(f.x) && std::isfinite(f.y) && std::isfinite(f.z)) << i;
    // The main field is between about 20000 and 70000 nT at these heights.
    const double t = std::sqrt(f.x * f.x + f.y * f.y + f.z * f.z);
    ASSERT_GT(t, 15000.0) << i;
    ASSERT_LT(t, 70000.0) << i;
  }
}

// ---- dates -----------------------------------------------------------------------------------

// Days from 2000-01-01 of a proleptic Gregorian date.
long daysSince2000(int y, int m, int d) {
  y -= m <= 2;
  const long era = (y >= 0 ? y : y - 399) / 400;
  const long yoe = y - era * 400;
  const long doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468 - 10957;
}

// Scales at noon of the date: GPS scale when `gps`, GLONASS when `glo` (time-valid bit each).
RcvTimeScales::INT_SCALES scalesAt(int y, int m, int d, bool gps = true, bool glo = false) {
  RcvTimeScales::INT_SCALES s{};
  const std::int64_t t = daysSince2000(y, m, d) * 86400 + 43200;
  const std::int64_t g = t - RcvTimeScales::to1_1_2000[0];
  s.weekDay[0] = static_cast<std::int32_t>(g / 604800);
  s.ms[0] = static_cast<std::int32_t>(g % 604800 * 1000);
  const std::int64_t r = t - RcvTimeScales::to1_1_2000[1];
  s.weekDay[1] = static_cast<std::int32_t>(r / 86400);
  s.ms[1] = static_cast<std::int32_t>(r % 86400 * 1000);
  s.flags[0] = gps ? RcvTimeScales::kTimeValid : 0;
  s.flags[1] = glo ? RcvTimeScales::kTimeValid : 0;
  return s;
}

TEST(MagVarDate, DayOfYearFromTheMonthTableWithoutLeapDay) {
  struct Row { int y, m, d, doy; };
  const Row rows[] = {
      {2026, 1, 1, 1},   {2026, 7, 1, 182}, {2026, 12, 31, 365}, {2026, 3, 1, 60},
      {2024, 1, 1, 1},   {2024, 7, 1, 182}, {2024, 3, 1, 60},    {2024, 12, 31, 365},
      {2024, 2, 29, 60}, {2025, 2, 28, 59},
  };
  for (const Row& r : rows) {
    GREGORIAN_EPOCH g{};
    ASSERT_TRUE(MagVar::dateOf(scalesAt(r.y, r.m, r.d), g));
    ASSERT_EQ(g.year * 10000 + g.month * 100 + g.day, r.y * 10000 + r.m * 100 + r.d);
    EXPECT_EQ(MagVar::dayOfYear(g), r.doy) << r.y << "-" << r.m << "-" << r.d;
  }
  GREGORIAN_EPOCH bad{};
  bad.month = 13;
  EXPECT_EQ(MagVar::dayOfYear(bad), 0);
}

TEST(MagVarDate, ADateNeedsAValidScaleGpsFirst) {
  struct Row { bool gps, glo, found; };
  const Row rows[] = {{true, false, true}, {false, true, true}, {true, true, true},
                      {false, false, false}};
  for (const Row& r : rows) {
    GREGORIAN_EPOCH g{};
    EXPECT_EQ(MagVar::dateOf(scalesAt(2026, 3, 1, r.gps, r.glo), g), r.found) << r.gps << r.glo;
    // GLONASS gives Moscow time: noon UTC is still the same day.
    if (r.found) {
      EXPECT_EQ(g.year * 10000 + g.month * 100 + g.day, 20260301);
    }
  }
  // Zero words that claim validity are no date (before 2000).
  RcvTimeScales::INT_SCALES z{};
  z.flags[0] = RcvTimeScales::kTimeValid;
  GREGORIAN_EPOCH g{};
  EXPECT_FALSE(MagVar::dateOf(z, g));
}

TEST(MagVarDate, EachModelCoversItsFiveYears) {
  struct Row { int year, model; };
  const Row rows[] = {{2015, 0}, {2020, 0}, {2024, 0}, {2025, 1}, {2029, 1}, {2030, 1}, {2040, 1}};
  for (const Row& r : rows) EXPECT_EQ(MagVar::modelFor(r.year), r.model) << r.year;
  EXPECT_EQ(MagVar::Models[0].epoch, 2020);
  EXPECT_EQ(MagVar::Models[1].epoch, 2025);
}

// ---- the stored declination --------------------------------------------------------------

NavTask::NAV_POS posAt(double latDeg, double lonDeg, double h) {
  NavTask::NAV_POS p{};
  p.dBlh[0] = latDeg * kDeg;
  p.dBlh[1] = lonDeg * kDeg;
  p.dBlh[2] = h;
  p.bValid = 1;
  return p;
}

TEST_F(MagVarModel, TheDatePicksTheModelOfItsSpan) {
  struct Row { int y, m, d, model; };
  // dt counts from the picked model's epoch: doy / 365 into the year.
  const Row rows[] = {{2026, 3, 1, 1}, {2024, 12, 31, 0}, {2025, 1, 1, 1}, {2031, 6, 1, 1},
                      {2021, 7, 1, 0}};
  const NavTask::NAV_POS p = posAt(80, 0, 0);
  for (const Row& r : rows) {
    ASSERT_TRUE(magVar.compute(p, scalesAt(r.y, r.m, r.d), 1000000));
    GREGORIAN_EPOCH g{};
    ASSERT_TRUE(MagVar::dateOf(scalesAt(r.y, r.m, r.d), g));
    const double dt0 = (r.y - 2020) + MagVar::dayOfYear(g) / 365.0;
    const double dt1 = (r.y - 2025) + MagVar::dayOfYear(g) / 365.0;
    const double d0 = MagVar::declinationDeg(magVar.field(0, p.dBlh[0], p.dBlh[1], 0, dt0));
    const double d1 = MagVar::declinationDeg(magVar.field(1, p.dBlh[0], p.dBlh[1], 0, dt1));
    ASSERT_GT(std::fabs(d0 - d1), 0.02) << r.y;  // the two models tell apart here
    EXPECT_NEAR(magVar.declination.load(), r.model == 0 ? d0 : d1, 1e-4) << r.y;
  }
}

// End to end against a published point: 80 N 0 E at sea level, 2027.5 (2 July, doy 183 of the
// table: 0.0014 year later, 0.001 deg at its 0.53 deg a year).
TEST_F(MagVarModel, StoredDeclinationOfAPublishedPointInRadians) {
  magVar.compute(posAt(80, 0, 0), scalesAt(2027, 7, 2), MonoClock::sec());
  float rad = 0;
  EXPECT_TRUE(calcMagVar(&rad));
  EXPECT_NEAR(rad / kDeg, 2.59, 0.01);
}

TEST_F(MagVarModel, FreshBelowFiveSecondsValueEitherWay) {
  MagVar mv;
  mv.initOnce();
  const std::uint32_t t0 = 1000321;
  // Before any computation: the clock starts far from 0.
  float v = 1;
  EXPECT_FALSE(mv.get(&v, MonoClock::sec()));
  EXPECT_FALSE(mv.get(&v, t0));
  EXPECT_EQ(v, 0.0f);
  ASSERT_TRUE(mv.compute(posAt(45, 10, 300), scalesAt(2026, 5, 10), t0));
  const float stored = mv.declination.load() * static_cast<float>(kDeg);
  struct Row { std::uint32_t after; bool fresh; };
  const Row rows[] = {{0, true}, {1, true}, {4, true}, {5, false}, {6, false}, {3600, false}};
  for (const Row& r : rows) {
    v = 99;
    EXPECT_EQ(mv.get(&v, t0 + r.after), r.fresh) << r.after;
    EXPECT_FLOAT_EQ(v, stored) << r.after;
  }
  EXPECT_NE(stored, 0.0f);
}

TEST(MagVarGlobal, BeforeAnyComputationNotFresh) {
  magvarInitOnce();
  magVar.compTime = 0;
  magVar.declination = 0;
  float v = 1;
  EXPECT_FALSE(calcMagVar(&v));
  EXPECT_EQ(v, 0.0f);
}

TEST(MagVarGlobal, NothingComputedBeforeInitialisation) {
  MagVar mv;
  EXPECT_FALSE(mv.compute(posAt(45, 10, 0), scalesAt(2026, 5, 10), 1000100));
  EXPECT_EQ(mv.compTime.load(), 0u);
}

TEST_F(MagVarModel, WithoutADateOrAPositionTheStoredValueStays) {
  MagVar mv;
  mv.initOnce();
  ASSERT_TRUE(mv.compute(posAt(45, 10, 0), scalesAt(2026, 5, 10), 1000100));
  const float dec = mv.declination.load();
  NavTask::NAV_POS nanPos = posAt(45, 10, 0);
  nanPos.dBlh[2] = NAN;
  NavTask::NAV_POS infPos = posAt(45, 10, 0);
  infPos.dBlh[0] = INFINITY;
  struct Row { NavTask::NAV_POS pos; RcvTimeScales::INT_SCALES s; };
  const Row rows[] = {
      {posAt(-60, 100, 0), scalesAt(2026, 5, 10, false, false)},  // no valid scale
      {posAt(-60, 100, 0), RcvTimeScales::INT_SCALES{}},          // nothing at all
      {nanPos, scalesAt(2026, 5, 10)},
      {infPos, scalesAt(2026, 5, 10)},
  };
  for (const Row& r : rows) {
    EXPECT_FALSE(mv.compute(r.pos, r.s, 1000200));
    EXPECT_EQ(mv.compTime.load(), 1000100u);
    EXPECT_EQ(mv.declination.load(), dec);
  }
}

// ---- wiring: start-up at the stored position, and the background task's second ---------------

class MagVarStart : public TempRunDir {
 protected:
  void SetUp() override {
    TempRunDir::SetUp();
    FileNvmLoad();
    ASSERT_TRUE(lastPositionNvAlloc());
    magvarInitOnce();
    magVar.compTime = 0;
  }
};
// Each test runs from the program's start, in a process of its own: no epoch published, the
// start reads the scales the clock seeded.

TEST_F(MagVarStart, StoredPositionComputedOnlyWithAClockDate) {
  testproc::inOwnProcess([&] {
    NavTask::NAV_POS p = posAt(80, 0, 0);
    ASSERT_TRUE(nv_writePosition(&p));
    // Start-up without a valid time: nothing.
    RcvTimeScales::Req = RcvTimeScales::INT_SCALES{};
    magvarStartOnce();
    EXPECT_EQ(magVar.compTime.load(), 0u);
    // The real-time clock seeded the scales.
    RcvTimeScales::Req = scalesAt(2027, 7, 2);
    const std::uint32_t before = MonoClock::sec();
    magvarStartOnce();
    EXPECT_GE(magVar.compTime.load(), before);
    EXPECT_NEAR(magVar.declination.load(), 2.59, 0.01);
  });
}

TEST_F(MagVarStart, NoStoredPositionNothingComputed) {
  testproc::inOwnProcess([&] {
    NavTask::NAV_POS p = posAt(80, 0, 0);
    p.bValid = 0;
    ASSERT_TRUE(nv_writePosition(&p));
    RcvTimeScales::Req = scalesAt(2027, 7, 2);
    magvarStartOnce();
    EXPECT_EQ(magVar.compTime.load(), 0u);
  });
}

TEST(MagVarApx, OnceASecondFromAValidSlowCopy) {
  magvarInitOnce();
  struct Row { bool valid; bool computed; };
  const Row rows[] = {{false, false}, {true, true}};
  for (const Row& r : rows) {
    // Each row from the program's start (a process of its own): no epoch published.
    testproc::inOwnProcess([&] {
      magVar.compTime = 0;
      apxNav = ApxNav{};
      NavSol.pos = posAt(80, 0, 0);
      NavSol.pos.bValid = r.valid;
      apxNav.timeSlow = scalesAt(2027, 7, 2);  // no epoch published: the copy keeps this time
      apxNav.cycle(5000);                      // marks the periods
      apxNav.cycle(5000 + 900000);             // the 100-ms copy, not yet the second
      EXPECT_EQ(magVar.compTime.load(), 0u) << "before the second";
      apxNav.cycle(5000 + 1000001);
      EXPECT_EQ(magVar.compTime.load(), r.computed ? apxNav.posTime : 0u) << r.valid;
      if (r.computed) {
        EXPECT_NEAR(magVar.declination.load(), 2.59, 0.01);
      }
    });
  }
}

}  // namespace
