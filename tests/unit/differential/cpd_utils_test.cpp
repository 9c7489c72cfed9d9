// Satellite and geometry services of the carrier-phase model against independent truths: the
// geodetic rows come from PROJ's cs2cs (WGS 84, geocentric), the orbits from the direct broadcast (Kepler)
// evaluation of brdc1820.10n, the satellite clock as IS-GPS-200 20.3.3.3.3.1 has it.
#include <gtest/gtest.h>

#include <cmath>
#include <map>

#include "unit/navigation_data/orbit_formulas.h"
#include "differential/base/cpd_utils.h"
#include "navigation_data/orbits/gps_orbit.h"
#include "navigation_data/orbits/sat_polynom.h"
#include "navigation_data/store/sat_data_store.h"
#include "fixtures/nav_files.h"

namespace {

constexpr double kDeg = 3.14159265358979323846 / 180.0;

struct GeoRow {
  double lat, lon, h;  // deg, deg, m
  double x, y, z;      // cs2cs +proj=longlat +datum=WGS84 +to +proj=geocent +datum=WGS84
};
const GeoRow kGeo[] = {
    {50.25, 10.5, 300, 4018282.51202, 744744.64304, 4880847.71238},
    {-33.5, -75.125, 1200.5, 1367004.78618, -5146617.86143, -3500996.88837},
    {0.01, 179.9, -20, -6378107.18908, 11131.90835, 1105.73926},
    {89.9, 0, 5000, 11178.11881, 0.0, 6361742.55949},
    {35.7, -120.3, 0, -2616224.82321, -4477132.20273, 3701210.93590},
    {-85.2, 139.7, 2500, -408561.99827, 346485.77171, -6336800.06559},
};

TEST(CpdUtils, GeodeticConversionMatchesCs2cs) {
  for (const GeoRow& r : kGeo) {
    SCOPED_TRACE(testing::Message() << r.lat << " " << r.lon << " " << r.h);
    const CpdGPos g = CpdUtilsInstance.xyz2geo(CpdCPos{r.x, r.y, r.z});
    EXPECT_NEAR(g.lat, r.lat * kDeg, 1e-4 / 6.4e6);
    EXPECT_NEAR(g.lon, r.lon * kDeg, 1e-4 / 6.4e6 / std::max(std::cos(r.lat * kDeg), 1e-3));
    EXPECT_NEAR(g.h, r.h, 1e-4);
  }
}

class CpdUtilsStore : public testing::Test {
 protected:
  void SetUp() override {
    SatPolynomStoreInstance.Init();
    SatDataProcessorInstance.init_Object();
  }
  void TearDown() override {
    SatPolynomStoreInstance.Init();
    SatDataProcessorInstance.init_Object();
  }
  // A hand-made entry: x = 1000 m/s x tau + 7e6 with tau counted from the span's middle,
  // clock 1e-4 s + 1e-9 x dt, no relativistic part.
  static SatData::PolynomSetType linearSet(double refTime, std::uint16_t iod) {
    SatData::PolynomSetType set{};
    SatData::PolynomEntryType& e = set.entry[0];
    e.coef[0][0] = 7e6;
    e.coef[1][0] = 1000.0;
    e.coef[0][1] = 2e7;
    e.coef[0][2] = -1e7;
    e.refTime = refTime;
    e.clkOffset = 1e-4;
    e.clkDrift = 1e-9f;
    e.span = 60.0f;
    e.iod = iod;
    e.flags = kPolyFlagAlmChecked;  // SBAS entries are used only once the almanac agreed
    set.entry[1].iod = kPolyNoIod;
    return set;
  }
};

// The polynomials of the first healthy records of the day, then the broadcast evaluation at
// points over each span: the satellite's own time t, system time t - dt_sv.
TEST_F(CpdUtilsStore, GpsPositionAndClockMatchTheBroadcastOrbit) {
  const auto recs = navfiles::readRinex2Nav(navfiles::testdata("brdc1820.10n"));
  ASSERT_GE(recs.size(), 100u);
  std::map<int, ZRT_EPH_GPS> first;
  for (const auto& r : recs)
    if (r.eph.health == 0 && !first.count(r.eph.prn)) first[r.eph.prn] = r.eph;
  ASSERT_GE(first.size(), 25u);
  int checked = 0;
  for (const auto& [prn, eph] : first) {
    SCOPED_TRACE(testing::Message() << "G" << prn);
    PolyNodeRing ring;
    bool computed = false;
    SatData::PolynomSetType set{};
    const double t0 = eph.toe + 30.0;
    ASSERT_TRUE(update_SatellitePolynom(kSysGps, eph, t0, ring, computed, set.entry[0]));
    set.entry[0].iod = eph.iode;
    set.entry[1].iod = kPolyNoIod;
    const SvIdType id{static_cast<std::uint8_t>(prn - 1), kSysGps, 0, static_cast<std::uint8_t>(prn - 1)};
    ASSERT_TRUE(SatPolynomStoreInstance.Put(id, &set));
    const CpdSv sv = CpdSv::make(CpdSv::kGps, prn);
    const SatData::PolynomEntryType& e = set.entry[0];
    for (double f : {0.0, 0.25, 0.5, 0.75, 1.0}) {
      const double t = e.refTime + f * e.span;
      CpdCPos pos;
      CpdCVel vel;
      double clk = 0.0;
      ASSERT_EQ(CpdUtilsInstance.svPos(sv, t, false, pos, vel, clk, CpdUtils::kAnyIod), CpdUtils::kOk) << f;
      double p[3], v[3], rel = 0.0;
      const double c0 = compute_SatClockByEphemeris(t, kSysGps, eph);
      ASSERT_TRUE(compute_SatPositionByEphemeris(t - c0, kSysGps, eph, p, v, &rel));
      const double clock = c0 + rel;
      ASSERT_TRUE(compute_SatPositionByEphemeris(t - clock, kSysGps, eph, p, v, &rel));
      EXPECT_NEAR(clk, clock, 1e-11) << f;
      EXPECT_NEAR(pos.x, p[0], 5e-3) << f;
      EXPECT_NEAR(pos.y, p[1], 5e-3) << f;
      EXPECT_NEAR(pos.z, p[2], 5e-3) << f;
      EXPECT_NEAR(vel.x, v[0], 1e-3) << f;
      double corr = 0.0;
      ASSERT_EQ(CpdUtilsInstance.getTimeCor(sv, t, eph.iode, corr), CpdUtils::kOk);
      EXPECT_NEAR(corr, clock, 1e-11);
      ++checked;
    }
    int iode = 0, iodc = 0;
    ASSERT_EQ(CpdUtilsInstance.getIssue(sv, iode, iodc, t0), CpdUtils::kOk);
    EXPECT_EQ(iode, eph.iode);
    EXPECT_EQ(iodc, eph.iode);  // no second entry: the first one's
  }
  EXPECT_GE(checked, 125);
}

// BeiDou polynomials run on BeiDou time, 14 s behind the GPS-based time the callers pass; SBAS
// polynomials on the time of day.
struct ShiftRow {
  const char* name;
  int sys, num, si;
  double refTime;  // of the entry, in the polynomials' time
  double t;        // asked, GPS-based
  double dtWant;   // t's offset from refTime in the polynomials' time
};
const ShiftRow kShift[] = {
    {"GPS", CpdSv::kGps, 5, 4, 345600.0, 345630.0, 30.0},
    {"BeiDou 14 s back", CpdSv::kBeidou, 12, 11, 345600.0, 345644.0, 30.0},
    {"BeiDou at the window's start", CpdSv::kBeidou, 12, 11, 345600.0, 345614.0, 0.0},
    {"BeiDou across the week start", CpdSv::kBeidou, 30, 29, 604790.0, 10.0, 6.0},
    {"Galileo on GPS time", CpdSv::kGalileo, 11, 10, 1000.0, 1040.0, 40.0},
    {"QZSS on GPS time", CpdSv::kQzss, 194, 1, 2000.0, 2010.0, 10.0},
    {"SBAS modulo a day", CpdSv::kSbas, 126, 6, 3600.0, 4 * 86400.0 + 3650.0, 50.0},
};

TEST_F(CpdUtilsStore, TimesReachThePolynomialsOnTheirOwnScale) {
  for (const ShiftRow& r : kShift) {
    SCOPED_TRACE(r.name);
    SatPolynomStoreInstance.Init();
    const SatData::PolynomSetType set = linearSet(r.refTime, 17);
    ASSERT_TRUE(SatPolynomStoreInstance.Put(SvIdType{static_cast<std::uint8_t>(r.si), static_cast<std::uint8_t>(r.sys), 0, 255}, &set));
    const CpdSv sv = CpdSv::make(r.sys, r.num);
    ASSERT_NE(sv.id, 0);
    CpdCPos pos;
    CpdCVel vel;
    double clk = 0.0;
    ASSERT_EQ(CpdUtilsInstance.svPos(sv, r.t, false, pos, vel, clk, CpdUtils::kAnyIod), CpdUtils::kOk);
    const double wantClk = 1e-4 + static_cast<double>(1e-9f) * r.dtWant;
    EXPECT_NEAR(clk, wantClk, 1e-17);
    EXPECT_NEAR(pos.x, 7e6 + 1000.0 * (r.dtWant - wantClk - 30.0), 1e-6);
    EXPECT_NEAR(vel.x, 1000.0, 1e-9);
    EXPECT_EQ(pos.y, 2e7);
    double corr = 0.0;
    ASSERT_EQ(CpdUtilsInstance.getTimeCor(sv, r.t, 17, corr), CpdUtils::kOk);
    EXPECT_NEAR(corr, wantClk, 1e-17);
  }
}

TEST_F(CpdUtilsStore, MissingAlertedOrForeignDataGivesFourAndWritesNothing) {
  const SatData::PolynomSetType set = linearSet(1000.0, 33);
  const SvIdType id{4, kSysGps, 0, 4};
  ASSERT_TRUE(SatPolynomStoreInstance.Put(id, &set));
  const CpdSv sv = CpdSv::make(CpdSv::kGps, 5);
  struct Row {
    const char* name;
    CpdSv sv;
    double t;
    int iod;
    bool alert;
  };
  const Row rows[] = {
      {"no record for the satellite", CpdSv::make(CpdSv::kGps, 6), 1010.0, -1, false},
      {"outside the fit span", sv, 1200.0, -1, false},
      {"another issue of data", sv, 1010.0, 34, false},
      {"alert flag", sv, 1010.0, -1, true},
      {"number outside the system", CpdSv{CpdSv::kGps, 33, 0}, 1010.0, -1, false},
      {"no system", CpdSv{CpdSv::kNone, 1, 0}, 1010.0, -1, false},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    SatDataProcessorInstance.set_AlertFlag(id, 0, r.alert);
    CpdCPos pos{1, 2, 3};
    CpdCVel vel{4, 5, 6};
    double clk = 7.0, corr = 8.0;
    EXPECT_EQ(CpdUtilsInstance.svPos(r.sv, r.t, false, pos, vel, clk, r.iod), CpdUtils::kNoData);
    EXPECT_EQ(CpdUtilsInstance.getTimeCor(r.sv, r.t, r.iod, corr), CpdUtils::kNoData);
    EXPECT_EQ(pos.x, 1.0);
    EXPECT_EQ(vel.z, 6.0);
    EXPECT_EQ(clk, 7.0);
    EXPECT_EQ(corr, 8.0);
  }
  SatDataProcessorInstance.set_AlertFlag(id, 0, false);
  int iode = 5, iodc = 6;
  EXPECT_EQ(CpdUtilsInstance.getIssue(CpdSv::make(CpdSv::kGps, 6), iode, iodc, 1010.0), CpdUtils::kNoData);
  EXPECT_EQ(iode, 5);
  EXPECT_EQ(iodc, 6);
}

}  // namespace
