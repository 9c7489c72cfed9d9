// Satellite visibility: the elevation-variance and threshold models against their formulas
// written here, elevation and azimuth against a local east-north-up computation, and the store's
// visibility step on almanacs built from real broadcast ephemerides (brdc1820.10n): the -3 deg
// publishing edge, the below-the-horizon test, the almanac's coarse polynomial, and the almanac
// position a day after its reference time against the next day's broadcast orbit (brdc1830.10n).
#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "nav_files.h"
#include "published_almanac.h"
#include "navigation_data/orbits/gps_orbit.h"
#include "navigation_data/orbits/sat_polynom.h"
#include "navigation_data/store/nav_nv_blocks.h"
#include "navigation_data/store/sat_data_store.h"
#include "navigation_data/store/sat_visibility.h"
#include "platform/file_nvm.h"
#include "unit/platform/temp_run_dir.h"

namespace {

constexpr double kPi = 3.141592653589793;
constexpr double kDeg = kPi / 180;
constexpr int kWeek = 1590;
constexpr double kToa = 345600 + 7200;  // 2010-07-01 02:00 GPS time
constexpr double kMuGps = 3.986005e14;

// ---- Models ----------------------------------------------------------------------------------

TEST(ElevBasedVar, DefaultModelSigmaByElevation) {
  struct Row {
    float e;
    double sigma;
  };
  const Row rows[] = {
      {-3.0f, 7.1 + 3.0 * 5.5}, {0.0f, 7.1 + 3.0 * 2.5}, {2.4f, 7.1 + 3.0 * 0.1},
      {2.5f, 0.5 + 0.33 * 20},  {10.0f, 0.5 + 0.33 * 12.5}, {22.4f, 0.5 + 0.33 * 0.1},
      {22.5f, 12.605071 / 22.5}, {45.0f, 12.605071 / 45}, {90.0f, 12.605071 / 90},
  };
  for (const Row& r : rows) {
    float thr, var;
    compute_ElevBasedVar(kSysGps, r.e, ElevVarSetup{}, &thr, &var);
    EXPECT_NEAR(var, r.sigma * r.sigma, 1e-5 * r.sigma * r.sigma) << r.e;
  }
}

TEST(ElevBasedVar, WeightedModelChosenBySetup) {
  struct Row {
    std::uint32_t mode, mode2;
    std::uint8_t screening;
    int sys;
    bool weighted;
  };
  const Row rows[] = {
      {4, 0, 0, kSysGps, true},  {4, 1, 0, kSysGlonass, true}, {1, 0, 1, kSysGps, true},
      {1, 0, 1, kSysGlonass, true}, {1, 1, 1, kSysGps, false}, {1, 0, 0, kSysGps, false},
      {0, 0, 1, kSysGps, false}, {2, 0, 1, kSysBeidou, false},
  };
  const double theta[2] = {6.9, 5.7}, a1[2] = {0.43, 0.9}, a0[2] = {0.15, 0.39};
  for (const Row& r : rows)
    for (float e : {2.5f, 22.5f, 90.0f}) {
      float thr, var;
      compute_ElevBasedVar(r.sys, e, ElevVarSetup{r.mode, r.mode2, r.screening}, &thr, &var);
      const int k = r.sys == kSysGlonass ? 1 : 0;
      const double s1 = a0[k] + a1[k] * std::exp(-e / theta[k]);
      const double s2 = 0.13 + 0.53 * std::exp(-e / 10.0);
      const double d = e < 22.5 ? 0.5 + 0.33 * (22.5 - e) : 12.605071 / e;
      const double want = r.weighted ? s1 * s1 + s2 * s2 : d * d;
      EXPECT_NEAR(var, want, 1e-5 * want) << r.mode << r.mode2 << int(r.screening) << " sys " << r.sys << " E " << e;
    }
}

// E in degrees, converted before the sine: 33 dB-Hz at the horizon, 48 from 48.6 deg up.
TEST(ElevBasedVar, SignalThresholdByElevation) {
  struct Row {
    float e;
    double thr;
  };
  const Row rows[] = {
      {-90.0f, 28}, {-20.0f, 28}, {-3.0f, 20 * (std::sin(-3 * kDeg) - 1) + 53}, {0.0f, 33},
      {30.0f, 43},  {45.0f, 20 * (std::sin(45 * kDeg) - 1) + 53}, {48.0f, 20 * (std::sin(48 * kDeg) - 1) + 53},
      {48.6f, 48},  {60.0f, 48}, {90.0f, 48},
  };
  for (const Row& r : rows) {
    float thr, var;
    compute_ElevBasedVar(kSysGps, r.e, ElevVarSetup{}, &thr, &var);
    EXPECT_NEAR(thr, r.thr, 1e-4) << r.e;
    EXPECT_EQ(compute_SignalThreshold(r.e), thr) << r.e;
  }
}

// ---- Elevation and azimuth ------------------------------------------------------------------

void geodeticToEcef(double lat, double lon, double h, double xyz[3]) {
  const double a = 6378137.0, f = 1 / 298.257223563, e2 = f * (2 - f);
  const double n = a / std::sqrt(1 - e2 * std::sin(lat) * std::sin(lat));
  xyz[0] = (n + h) * std::cos(lat) * std::cos(lon);
  xyz[1] = (n + h) * std::cos(lat) * std::sin(lon);
  xyz[2] = (n * (1 - e2) + h) * std::sin(lat);
}

RcvPositionType rcvAt(double latDeg, double lonDeg, double h) {
  RcvPositionType r{};
  r.lat = latDeg * kDeg, r.lon = lonDeg * kDeg, r.height = h;
  geodeticToEcef(r.lat, r.lon, h, r.xyz);
  return r;
}

// A point seen from the receiver at an ellipsoidal azimuth and elevation and a range.
void pointAt(const RcvPositionType& r, double azDeg, double elDeg, double range, double out[3]) {
  const double e = range * std::cos(elDeg * kDeg) * std::sin(azDeg * kDeg);
  const double n = range * std::cos(elDeg * kDeg) * std::cos(azDeg * kDeg);
  const double u = range * std::sin(elDeg * kDeg);
  const double sf = std::sin(r.lat), cf = std::cos(r.lat), sl = std::sin(r.lon), cl = std::cos(r.lon);
  out[0] = r.xyz[0] - sl * e - sf * cl * n + cf * cl * u;
  out[1] = r.xyz[1] + cl * e - sf * sl * n + cf * sl * u;
  out[2] = r.xyz[2] + cf * n + sf * u;
}

// The published elevation is geocentric: at the equator and the poles it is the ellipsoidal
// elevation; elsewhere the two differ by at most the angle between the ellipsoid normal and the
// radius (0.192 deg at 45 deg latitude). The azimuth is the ellipsoidal one everywhere.
TEST(SatelliteVisibility, ElevationAndAzimuthAgainstLocalFrame) {
  struct Row {
    double lat, lon, h, az, el;
    bool dip;
    double elTol;  // deg
    double dipDeg;
  };
  const double dip1000 = std::acos(6378136.3 / (6378136.3 + 1000)) / kDeg;
  const Row rows[] = {
      {0, 30, 0, 45, 30, false, 1e-6, 0},     {0, -120, 0, 200, 5, false, 1e-6, 0},
      {0, 10, 0, 270, -3, false, 1e-6, 0},    {0, 10, 0, 359, 60, false, 1e-6, 0},
      {45, 7, 0, 10, 40, false, 0.193, 0},    {-45, 170, 100, 120, 10, false, 0.193, 0},
      {60, -75, 0, 300, 75, false, 0.193, 0}, {0, 30, 1000, 45, 30, true, 1e-6, dip1000},
      {0, 30, -20, 45, 30, true, 1e-6, 0},    {0, 30, 1000, 45, 30, false, 1e-6, 0},
  };
  for (const Row& r : rows) {
    const RcvPositionType rcv = rcvAt(r.lat, r.lon, r.h);
    double sat[3], los[3];
    pointAt(rcv, r.az, r.el, 2.2e7, sat);
    float el, az;
    ASSERT_TRUE(compute_SatelliteVisibility(rcv, sat, r.dip, &el, &az, los)) << r.lat << " " << r.az;
    EXPECT_NEAR(el, r.el + r.dipDeg, r.elTol + 1e-5) << r.lat << " " << r.az;
    EXPECT_NEAR(az, r.az, 1e-4) << r.lat << " " << r.az;
    const double d[3] = {sat[0] - rcv.xyz[0], sat[1] - rcv.xyz[1], sat[2] - rcv.xyz[2]};
    for (int k = 0; k < 3; ++k) EXPECT_NEAR(los[k], d[k] / 2.2e7, 1e-12);
  }
}

TEST(SatelliteVisibility, ZenithClampedAndDegenerateGeometryRefused) {
  RcvPositionType pole = rcvAt(90, 0, 5000);
  const double above[3] = {0, 0, pole.xyz[2] + 2e7};
  float el = 0, az = 0;
  ASSERT_TRUE(compute_SatelliteVisibility(pole, above, true, &el, &az, nullptr));
  EXPECT_FLOAT_EQ(el, static_cast<float>(1.5707964 / kDeg));
  RcvPositionType centre{};
  EXPECT_FALSE(compute_SatelliteVisibility(centre, above, false, &el, &az, nullptr));
  EXPECT_FALSE(compute_SatelliteVisibility(pole, pole.xyz, false, &el, &az, nullptr));
}

// ---- The store's visibility step ------------------------------------------------------------

SvIdType gps(int prn) { return SvIdType{static_cast<std::uint8_t>(prn - 1), kSysGps, 0, static_cast<std::uint8_t>(prn - 1)}; }

// An almanac from a broadcast ephemeris: the mean-motion correction folded into the semi-major
// axis, the inclination as its offset from 0.3 semicircles.
ZRT_ALM_GPS almanacFrom(const ZRT_EPH_GPS& e) {
  ZRT_ALM_GPS a{};
  a.prn = e.prn;
  a.toa = static_cast<std::int32_t>(e.toe);
  a.week = static_cast<std::int16_t>(e.week % 1024);
  a.health = 0;
  a.rank = 1;  // not kept in the image
  const double A = e.sqrtA * e.sqrtA;
  const double n = std::sqrt(kMuGps / (A * A * A)) + e.deltaN * kPi;
  a.sqrtA = static_cast<float>(std::sqrt(std::cbrt(kMuGps / (n * n))));
  a.e = static_cast<float>(e.e);
  a.M0 = static_cast<float>(e.M0);
  a.Omega0 = static_cast<float>(e.Omega0);
  a.omega = static_cast<float>(e.omega);
  a.deltaI = static_cast<float>(e.i0 - 0.3);
  a.OmegaDot = e.OmegaDot;
  a.af0 = static_cast<float>(e.af0);
  a.af1 = e.af1;
  return a;
}

SatDataEpoch epochAt(double t, double monoSec) {
  SatDataEpoch ep;
  ep.time.valid = true;
  ep.time.cycleKnown[kSysGps] = true;
  ep.time.cycle[kSysGps] = kWeek;
  ep.time.sec[kSysGps] = t;
  ep.monoSec = monoSec;
  return ep;
}

using almpub::receiverSeeing;
using almpub::withReceiver;

class SatVisibilityStep : public TempRunDir {
 protected:
  void SetUp() override {
    TempRunDir::SetUp();
    FileNvmLoad();
    nav_nv::allocate_NvRamData();
    SatPolynomStoreInstance.Init();
    SatVisibilityStoreInstance.Init();
    for (const auto& r : navfiles::readRinex2Nav(navfiles::testdata("brdc1820.10n")))
      if (r.eph.toe == kToa) today[r.eph.prn] = r.eph;
    for (const auto& r : navfiles::readRinex2Nav(navfiles::testdata("brdc1830.10n")))
      if (r.eph.toe == kToa + 86400) tomorrow[r.eph.prn] = r.eph;
  }
  // A store holding the almanac of `prn` built from today's ephemeris; a first step at t gives
  // its almanac position.
  std::unique_ptr<SatelliteDataProcessor> storeWith(int prn, SatDataSetup setup, double t) {
    auto s = std::make_unique<SatelliteDataProcessor>();
    SatDataEpoch ep = epochAt(t, t);
    ep.setup = setup;
    s->update(ep);
    const ZRT_ALM_GPS a = almanacFrom(today[prn]);
    EXPECT_TRUE(s->update_AlmanacData(gps(prn), 255, &a, false));
    s->update(ep);
    return s;
  }
  // The position of `prn` at t by the almanac built from today's ephemeris, computed here.
  SatPosState almanacAt(int prn, double t) {
    SatPosState p;
    double clk = 0, drift = 0;
    p.has = compute_SatPosByGPSAlmData(t - kToa, kSysGps, almanacFrom(today[prn]), p.pos, p.vel, &clk, &drift);
    p.clock = clk, p.drift = drift;
    return p;
  }
  ZRT_EPH_GPS today[33] = {};
  ZRT_EPH_GPS tomorrow[33] = {};
};

// Every satellite's almanac position a day after its reference time lies within a few km of
// the next day's broadcast orbit.
TEST_F(SatVisibilityStep, AlmanacPositionOneDayOnAgainstBroadcastOrbit) {
  const double t = kToa + 86400;
  int compared = 0;
  for (int prn = 1; prn <= 32; ++prn) {
    if (today[prn].prn == 0 || tomorrow[prn].prn == 0 || today[prn].health != 0) continue;
    auto s = storeWith(prn, SatDataSetup{}, t);
    double pos[3], vel[3], rel;
    ASSERT_TRUE(compute_SatPositionByEphemeris(t, kSysGps, tomorrow[prn], pos, vel, &rel));
    SatPosState alm;
    ASSERT_TRUE(almpub::almanacPosition(*s, epochAt(t, t), kSysGps, prn - 1, pos, &alm)) << prn;
    const double d = std::sqrt((alm.pos[0] - pos[0]) * (alm.pos[0] - pos[0]) + (alm.pos[1] - pos[1]) * (alm.pos[1] - pos[1]) +
                               (alm.pos[2] - pos[2]) * (alm.pos[2] - pos[2]));
    EXPECT_LT(d, 5000) << "G" << prn;
    for (int k = 0; k < 3; ++k) EXPECT_NEAR(alm.vel[k], vel[k], 2.0) << "G" << prn;
    ++compared;
  }
  EXPECT_GT(compared, 25);
}

// Published at -3.0 deg, not at -3.01 deg unless tracked; the almanac's coarse polynomial
// carries the ephemeris-based visibility of a satellite without an ephemeris.
TEST_F(SatVisibilityStep, PublishedFromMinusThreeDegreesOrWhenTracked) {
  struct Row {
    double el;
    bool tracked;
    bool published;
  };
  const Row rows[] = {{-3.0, false, true}, {-3.01, false, false}, {-3.01, true, true},
                      {-30, true, true},   {-2.5, false, true},   {45, false, true}};
  const double t = kToa + 600;
  for (const Row& r : rows) {
    SatDataSetup setup;
    setup.almPolynom = 1;
    SatVisibilityStoreInstance.Init();
    auto s = storeWith(5, setup, t);
    const SatPosState alm = almanacAt(5, t);
    ASSERT_TRUE(alm.has);
    double rcv[3];
    receiverSeeing(alm.pos, r.el, rcv);
    SatDataEpoch ep = epochAt(t, t);
    ep.setup = setup;
    withReceiver(ep, rcv);
    ep.lockedValid = true;
    ep.locked[kSysGps] = r.tracked ? 1u << 4 : 0;
    s->update(ep);
    SatData::SatVisibilityType v;
    ASSERT_TRUE(SatVisibilityStoreInstance.TakeAlm(gps(5), &v));
    EXPECT_EQ(v.valid != 0, r.published) << r.el << " tracked " << r.tracked;
    if (r.published) {
      EXPECT_NEAR(v.elevation, r.el, 1e-4) << r.el;
      EXPECT_EQ(v.almId.sat, 4);
    }
    SvIdType id{4, kSysGps, 0, kSvUnknown};
    float el = 0, az = 0, thr = 0, var = 0;
    bool checked = true;
    const int valid = SatVisibilityStoreInstance.get_SatelliteVisibilityData(&id, &el, &az, &thr, &var, &checked);
    EXPECT_EQ(valid != 0, r.published) << r.el << " tracked " << r.tracked;
    if (valid != 0) {
      EXPECT_NEAR(el, r.el, 1e-3) << r.el;
      EXPECT_EQ(id.sat, 4);
      EXPECT_FALSE(checked);  // no ephemeris: nothing new from the broadcast
      SatData::SatVisibilityType e;
      ASSERT_TRUE(SatVisibilityStoreInstance.TakeEph(gps(5), &e));
      EXPECT_EQ(e.status, SatData::SatVisibilityType::kStatusNoEphemeris) << "placed by its almanac";
      float wantThr, wantVar;
      compute_ElevBasedVar(kSysGps, el, ElevVarSetup{}, &wantThr, &wantVar);
      EXPECT_EQ(thr, wantThr);
      EXPECT_EQ(var, wantVar);
    }
  }
}

// A satellite counts as tracked for 120 s after its last lock: the almanac's visibility at
// -30 deg is published until then (the satellite held still, only the receiver's clock moving).
TEST_F(SatVisibilityStep, TrackedFor120SecondsAfterItsLastLock) {
  const double t = kToa + 600;
  auto s = storeWith(5, SatDataSetup{}, t);
  double rcv[3];
  receiverSeeing(almanacAt(5, t).pos, -30, rcv);
  SatDataEpoch ep = epochAt(t, t);
  withReceiver(ep, rcv);
  ep.lockedValid = true;
  ep.locked[kSysGps] = 1u << 4;
  s->update(ep);
  ep.locked[kSysGps] = 1u << 3;  // another satellite's lock
  const struct { double after; bool tracked; } rows[] = {{0, true}, {119.5, true}, {120, false}, {300, false}};
  for (const auto& r : rows) {
    ep.monoSec = t + r.after;
    s->update(ep);
    SatData::SatVisibilityType v;
    ASSERT_TRUE(SatVisibilityStoreInstance.TakeAlm(gps(5), &v));
    EXPECT_EQ(v.valid != 0, r.tracked) << r.after << " s after the lock";
  }
}

// From a broadcast ephemeris: the elevation of the broadcast orbit, the polynomial's IOD, and
// new-and-checked once the ephemeris agreed with the almanac.
TEST_F(SatVisibilityStep, EphemerisVisibilityFromTheBroadcastOrbit) {
  const double t = kToa + 600;
  auto s = storeWith(5, SatDataSetup{}, t);
  ASSERT_TRUE(s->update_EphemerisData(gps(5), 0, &today[5], 77, true, false, false));
  const SatPosState alm = almanacAt(5, t);
  ASSERT_TRUE(alm.has);
  double rcv[3];
  receiverSeeing(alm.pos, 20, rcv);
  SvIdType id{4, kSysGps, 0, kSvUnknown};
  float el = 0, az = 0, thr = 0, var = 0;
  bool checked = false;
  for (double k = 1; k <= 3; ++k) {
    SatDataEpoch ep = epochAt(t + k, t + k);
    withReceiver(ep, rcv);
    s->update(ep);
    // Judged by the almanac's published visibility, which the first step with a receiver
    // position publishes only after the satellites: checked from the second step on.
    if (k == 1) {
      ASSERT_NE(SatVisibilityStoreInstance.get_SatelliteVisibilityData(&id, &el, &az, &thr, &var, &checked), 0);
      EXPECT_FALSE(checked);
    }
  }
  ASSERT_NE(SatVisibilityStoreInstance.get_SatelliteVisibilityData(&id, &el, &az, &thr, &var, &checked), 0);
  EXPECT_TRUE(checked);
  double pos[3], vel[3], rel;
  ASSERT_TRUE(compute_SatPositionByEphemeris(t + 3, kSysGps, today[5], pos, vel, &rel));
  const double d[3] = {pos[0] - rcv[0], pos[1] - rcv[1], pos[2] - rcv[2]};
  const double want = std::asin((d[0] * rcv[0] + d[1] * rcv[1] + d[2] * rcv[2]) /
                                (std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]) * 6378137.0)) / kDeg;
  EXPECT_NEAR(el, want, 1e-4);
  EXPECT_NEAR(el, 20, 0.05);  // the almanac is good to about a km
  SatData::SatVisibilityType v;
  SatData::PolynomSetType set;
  ASSERT_TRUE(SatVisibilityStoreInstance.TakeEph(gps(5), &v));
  ASSERT_TRUE(SatPolynomStoreInstance.Take(gps(5), &set));
  EXPECT_EQ(v.iod, set.entry[0].iod);
  EXPECT_NE(v.iod, kPolyNoIod);
  EXPECT_EQ(v.status, 0) << "the LNAV ephemeris, data type 0";
}

// Below the horizon: an elevation under -3 deg of the last 30 s, never for a tracked satellite.
TEST_F(SatVisibilityStep, UndergroundForThirtySecondsAfterItsLastElevation) {
  struct Row {
    double el;
    bool tracked;
    double ageSec;
    bool underground;
  };
  const Row rows[] = {{-3.01, false, 0, true}, {-3.01, false, 30, true}, {-3.01, false, 31, false},
                      {-3.0, false, 0, false}, {-3.01, true, 0, false},  {20, false, 0, false}};
  const double t = kToa + 600;
  for (const Row& r : rows) {
    auto s = storeWith(5, SatDataSetup{}, t);
    const SatPosState alm = almanacAt(5, t);
    ASSERT_TRUE(alm.has);
    double rcv[3];
    receiverSeeing(alm.pos, r.el, rcv);
    SatDataEpoch ep = epochAt(t, t);
    withReceiver(ep, rcv);
    ep.lockedValid = true;
    ep.locked[kSysGps] = r.tracked ? 1u << 4 : 0;
    s->update(ep);
    EXPECT_EQ(s->is_SatUnderground(gps(5), (t + r.ageSec) * 1000), r.underground)
        << r.el << " tracked " << r.tracked << " age " << r.ageSec;
  }
}

TEST_F(SatVisibilityStep, NotUndergroundWithoutAUsablePosition) {
  const double t = kToa + 600;
  auto s = storeWith(5, SatDataSetup{}, t);
  const SatPosState alm = almanacAt(5, t);
  ASSERT_TRUE(alm.has);
  double rcv[3];
  receiverSeeing(alm.pos, -40, rcv);
  SatDataEpoch ep = epochAt(t, t);
  withReceiver(ep, rcv);
  s->update(ep);
  ASSERT_TRUE(s->is_SatUnderground(gps(5), t * 1000));
  ep = epochAt(t + 1, t + 1);  // the position is no longer fresh
  s->update(ep);
  EXPECT_FALSE(s->is_SatUnderground(gps(5), (t + 1) * 1000));
}

// The coarse polynomial: the almanac position at its middle, its velocity as the slope; flags
// from the almanac's health and the setup's second satellite mask; only where the setup asks.
TEST_F(SatVisibilityStep, AlmanacPolynomialPublishedForSatelliteWithoutEphemeris) {
  struct Row {
    std::uint8_t almPolynom;
    bool healthMaskBit;
    std::uint8_t health;
    std::uint8_t status;
    std::uint8_t flags;
  };
  const Row rows[] = {
      {0, false, 0, kPolyNoSet, 0},
      {1, false, 0, kPolyOk, kPolyFlagAlmChecked},
      {1, true, 0, kPolyInvalid, kPolyFlagAlmChecked | kPolyFlagInvalid},
      {1, false, 1, kPolyOk, kPolyFlagAlmChecked | kPolyFlagAlmUnhealthy},
  };
  const double t = kToa + 600;
  for (const Row& r : rows) {
    SatPolynomStoreInstance.Init();
    SatDataSetup setup;
    setup.almPolynom = r.almPolynom;
    if (!r.healthMaskBit) setup.satMasks[1][kSysGps] &= ~(1ull << 6);
    auto s = std::make_unique<SatelliteDataProcessor>();
    SatDataEpoch ep = epochAt(t, t);
    ep.setup = setup;
    s->update(ep);
    ZRT_ALM_GPS a = almanacFrom(today[7]);
    a.health = r.health;
    ASSERT_TRUE(s->update_AlmanacData(gps(7), 255, &a, false));
    s->update(ep);  // the almanac position
    ep = epochAt(t + 1, t + 1);
    ep.setup = setup;
    s->update(ep);  // the polynomial from it

    SatData::PolynomSetType set;
    const bool has = SatPolynomStoreInstance.Take(gps(7), &set);
    EXPECT_EQ(has, r.almPolynom != 0) << int(r.almPolynom);
    if (!has) continue;
    const SatData::PolynomEntryType& e = set.entry[0];
    EXPECT_EQ(e.flags, r.flags) << int(r.health) << r.healthMaskBit;
    EXPECT_EQ(e.iod, 0);
    EXPECT_EQ(e.span, 120.0f);
    EXPECT_EQ(e.accuracy, 1e6f);
    EXPECT_EQ(set.entry[1].iod, kPolyNoIod);
    double p0[3], v0[3], clk, drift;
    float vf[3];
    ASSERT_TRUE(compute_SatPosByGPSAlmData(t - kToa, kSysGps, a, p0, vf, &clk, &drift));
    EXPECT_NEAR(e.clkOffset, clk, 1e-9);
    // Built at t + 1 from the position of t + 1 (the slot's step runs after the satellites',
    // so it is the position of t propagated): the reference is t.
    EXPECT_NEAR(e.refTime, t, 1e-6);
    double pos[3], vel[3];
    eval_Polynom(e, 10.0, pos, vel, nullptr);
    for (int k = 0; k < 3; ++k) {
      v0[k] = vf[k];
      EXPECT_NEAR(pos[k], p0[k] + v0[k] * 10, 1e-3) << k;
      EXPECT_NEAR(vel[k], v0[k], 1e-3) << k;
    }
    std::uint8_t status = 255;
    std::uint16_t iod = kPolyNoIod;
    int dataType;
    float acc;
    double dt;
    const auto* got = SatPolynomStoreInstance.get_PolynomData(gps(7), t + 1, false, false, &status, &iod, &dataType, &acc, &dt);
    if (got != nullptr) SatPolynomStoreInstance.free_PolynomData();
    EXPECT_EQ(status, r.status) << int(r.health) << r.healthMaskBit;
  }
}

// Only a valid almanac gives a position: ready, usable (an orbit of the system) and of a
// satellite in use; any other leaves no position that could judge the satellite's ephemeris.
TEST_F(SatVisibilityStep, AlmanacPositionOnlyFromAValidAlmanac) {
  const double t = kToa + 600;
  const struct {
    const char* name;
    char marker;
    float sqrtA;     // 0: the orbit's own
    bool inUse;
    double age;      // s after toa of the step
    bool position;
  } rows[] = {
      {"valid", 0, 0, true, 600, true},
      {"marked as no almanac", '?', 0, true, 600, false},
      {"sqrt A 1501 off", 0, 5153.0f + 1501, true, 600, false},
      {"sqrt A 1499 off", 0, 5153.0f + 1499, true, 600, true},
      {"satellite not in use", 0, 0, false, 600, false},
      {"older than the age limit", 0, 0, true, 30 * 86400 + 1, false},
      {"at the age limit", 0, 0, true, 30 * 86400, true},
  };
  for (const auto& r : rows) {
    TearDown();  // a settings image of the row's own: no almanac restored from the last row
    SetUp();
    SatDataSetup setup;
    if (!r.inUse) setup.satMasks[kMaskInUse][kSysGps] &= ~(1ull << 4);
    auto s = std::make_unique<SatelliteDataProcessor>();
    SatDataEpoch ep = epochAt(kToa + std::fmod(r.age, 604800.0), t);
    ep.time.cycle[kSysGps] = kWeek + static_cast<int>(r.age / 604800);
    ep.setup = setup;
    s->update(ep);
    ZRT_ALM_GPS a = almanacFrom(today[5]);
    a.rank = 0;  // kept in the image: its week counts
    a.marker = static_cast<std::uint8_t>(r.marker);
    if (r.sqrtA != 0) a.sqrtA = r.sqrtA;
    ASSERT_TRUE(s->update_AlmanacData(gps(5), 255, &a, false)) << r.name;
    // Where the satellite is by its own orbit: a position of the store's shows in what it publishes.
    double near[3], clk, drift;
    float vel[3];
    ASSERT_TRUE(compute_SatPosByGPSAlmData(r.age, kSysGps, almanacFrom(today[5]), near, vel, &clk, &drift));
    SatPosState alm;
    EXPECT_EQ(almpub::almanacPosition(*s, ep, kSysGps, 4, near, &alm), r.position) << r.name;
  }
}

// A satellite whose almanac goes loses its almanac position and visibility.
TEST_F(SatVisibilityStep, AlmanacClearedWithItsDependentData) {
  const double t = kToa + 600;
  auto s = storeWith(5, SatDataSetup{}, t);
  const SatPosState alm = almanacAt(5, t);
  ASSERT_TRUE(alm.has);
  double rcv[3];
  receiverSeeing(alm.pos, 30, rcv);
  SatDataEpoch ep = epochAt(t, t);
  withReceiver(ep, rcv);
  s->update(ep);
  SatData::SatVisibilityType v;
  ASSERT_TRUE(SatVisibilityStoreInstance.TakeAlm(gps(5), &v));
  ASSERT_NE(v.valid, 0);
  ep.clearAllAlm = true;
  s->update(ep);
  ASSERT_TRUE(SatVisibilityStoreInstance.TakeAlm(gps(5), &v));
  EXPECT_EQ(v.valid, 0);
}

}  // namespace
