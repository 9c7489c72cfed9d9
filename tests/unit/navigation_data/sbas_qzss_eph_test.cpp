// SBAS and QZSS store rules: each plausibility and health edge, the SBAS time of a record,
// the SBAS polynomial and its fit window, and the group-delay table of both systems.
#include "unit/navigation_data/blank_image.h"
#include "navigation_data/orbits/sbas_qzss_eph.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "navigation_data/orbits/sat_polynom.h"
#include "navigation_data/store/sat_data_store.h"
#include "navigation_data/store/sat_visibility.h"

namespace {

// Every test starts from a blank settings image: no record a test before kept there comes back.
struct SbasQzssEph : ::testing::Test {
  void SetUp() override { navtest::blankImage(); }
};

TEST_F(SbasQzssEph, SbasRadiusWindow) {
  const struct { double r; bool ok; } rows[] = {
      {4.215e7, true}, {5.215e7, true}, {5.215e7 + 1, false}, {3.215e7, true}, {3.215e7 - 1, false}, {0, false}};
  for (const auto& row : rows) {
    for (int axis = 0; axis < 3; ++axis) {
      ZRT_EPH_SBA e{};
      ZRT_ALM_SBA a{};
      e.pos[axis] = a.pos[axis] = (axis == 1 ? -row.r : row.r);
      EXPECT_EQ(is_SbasEphemerisPlausible(e), row.ok) << row.r;
      EXPECT_EQ(is_SbasAlmanacUsable(a), row.ok) << row.r;
    }
  }
  const struct { std::uint8_t health; bool healthy; } h[] = {{0, true}, {1, false}, {2, true}, {3, false}};
  for (const auto& row : h) {
    ZRT_ALM_SBA a{};
    a.health = row.health;
    EXPECT_EQ(is_SbasAlmanacHealthy(a), row.healthy) << int(row.health);
  }
}

TEST_F(SbasQzssEph, QzssPlausibilityAndHealth) {
  const struct { double i0, sqrtA; std::uint8_t health; bool plausible, healthy; } rows[] = {
      {0.05, 6493.4, 0, true, true},   {0.2, 6493.4, 0, true, true},    {0.5, 6493.4, 0, false, true},
      {-0.05, 6493.4, 0, true, true},  {0.1, 6493.4, 0, true, true},    {0.12, 6493.4, 0, false, true},
      {0.34, 6493.4, 0, true, true},   {-0.2, 6493.4, 0, false, true},  {0.25, 7993.4, 0, true, true},
      {0.25, 7993.5, 0, false, true},  {0.25, 4993.3, 0, false, true},  {0.25, 6493.4, 32, false, true},
      {0.25, 6493.4, 1, true, true},   {0.25, 6493.4, 2, true, false},  {0.25, 6493.4, 16, true, false},
  };
  for (const auto& r : rows) {
    ZRT_EPH_QZS e{};
    e.i0 = r.i0, e.sqrtA = r.sqrtA, e.health = r.health;
    EXPECT_EQ(is_QzssEphemerisPlausible(e), r.plausible) << r.i0 << " " << r.sqrtA << " " << int(r.health);
    EXPECT_EQ(is_QzssEphemerisHealthy(e), r.healthy) << int(r.health);
  }
  const struct { std::uint8_t marker; std::int8_t config; float sqrtA; bool usable; } alm[] = {
      {0, 0, 6493.4f, true}, {'?', 0, 6493.4f, false}, {0, -1, 6493.4f, false}, {0, 0, 4993.0f, false}, {0, 1, 7993.0f, true}};
  for (const auto& r : alm) {
    ZRT_ALM_GPS a{};
    a.marker = r.marker, a.config = r.config, a.sqrtA = r.sqrtA;
    EXPECT_EQ(is_QzssAlmanacUsable(a), r.usable) << r.sqrtA << " " << int(r.config);
  }
}

// Day number and second of day of reception; the cycle (day) of t0, one less when t0 lies half
// a day or more ahead of the reception, one more when more than half a day behind.
TEST_F(SbasQzssEph, SbasRecordTime) {
  const struct { std::uint32_t tow, t0; int day, sod, cycle; } rows[] = {
      {3 * 86400 + 3600, 3000, 15774, 3600, 1438},   {3 * 86400 + 100, 86000, 15774, 100, 1437},
      {3 * 86400 + 86000, 100, 15774, 86000, 1439},  {3 * 86400 + 100, 43300, 15774, 100, 1437},
      {3 * 86400 + 43300, 100, 15774, 43300, 1438},  {3 * 86400 + 43301, 100, 15774, 43301, 1439},
  };
  for (const auto& r : rows) {
    ZRT_EPH_SBA e{};
    e.week = 2253, e.tow = r.tow, e.t0 = r.t0;
    const SbasRecordTime t = get_SbasRecordTime(e);
    EXPECT_EQ(t.day, r.day);
    EXPECT_EQ(t.secOfDay, r.sod);
    EXPECT_EQ(t.cycle, r.cycle) << r.tow << " " << r.t0;
  }
}

// An SBAS state stored and published: read 54 s before to 594 s after the start of its span
// (t0 - 180 s), it gives the broadcast second-order propagation (DO-229 A.4.4.11) computed
// here, with the accuracy of its URA index.
TEST_F(SbasQzssEph, SbasPolynomialThroughTheStore) {
  const struct { std::uint8_t ura; float accuracy; } uras[] = {{0, 4.0f}, {14, 4096.0f * 4096.0f}, {15, 4e8f}, {16, 0}};
  const float aGf1 = -2e-9f;  // large enough that a clock referred to the wrong time shows
  for (const auto& u : uras) {
    ZRT_EPH_SBA e{};
    e.prn = 129, e.ura = u.ura, e.t0 = 5000, e.week = 2253, e.tow = 86400 + 4990;
    e.pos[0] = 4.1e7, e.pos[1] = -8.5e6, e.pos[2] = 1.2e5;
    e.vel[0] = 1.5f, e.vel[1] = -0.25f, e.vel[2] = 3.0f;
    e.acc[0] = 1.25e-4f, e.acc[1] = -2.5e-5f, e.acc[2] = 5e-6f;
    e.aGf0 = 1.5e-6f, e.aGf1 = aGf1;
    const SvIdType sv{9, kSysSbas, 0, 9};
    SatDataEpoch ep;
    ep.time.valid = true;
    ep.time.cycleKnown[kSysSbas] = true;
    ep.time.cycle[kSysSbas] = 2253 * 7 + 1;
    ep.time.sec[kSysSbas] = 5000;
    ep.setup.satMasks[2][kSysSbas] = 0;  // no almanac to wait for
    ep.setup.satMasks[3][kSysSbas] = 0;  // nor an accuracy limit
    SatPolynomStoreInstance.Init();
    auto store = std::make_unique<SatelliteDataProcessor>();
    store->update(ep);
    ASSERT_TRUE(store->update_EphemerisData(sv, 0, &e, 1, true, false, false));
    store->update(ep);
    const struct { double t; std::uint8_t status; } reads[] = {
        {4766, kPolyOk}, {4765.99, kPolyOutsideFit}, {5000, kPolyOk}, {5414, kPolyOk}, {5414.01, kPolyOutsideFit}};
    for (const auto& r : reads) {
      std::uint8_t status = 255;
      std::uint16_t iod = kPolyNoIod;
      int dataType = -1;
      float accuracy = -1;
      double dt = 0;
      const SatData::PolynomEntryType* p =
          SatPolynomStoreInstance.get_PolynomData(sv, r.t, false, false, &status, &iod, &dataType, &accuracy, &dt);
      ASSERT_EQ(status, r.status) << r.t << " ura " << int(u.ura);
      if (p == nullptr) continue;
      const SatData::PolynomEntryType entry = *p;
      SatPolynomStoreInstance.free_PolynomData();
      EXPECT_FLOAT_EQ(accuracy, u.accuracy);
      double pos[3], vel[3], clock = 0;
      eval_Polynom(entry, dt, pos, vel, &clock);
      const double s = r.t - e.t0;
      for (int ax = 0; ax < 3; ++ax) EXPECT_NEAR(pos[ax], e.pos[ax] + e.vel[ax] * s + 0.5 * e.acc[ax] * s * s, 1e-6) << r.t;
      EXPECT_NEAR(clock, e.aGf0 + static_cast<double>(e.aGf1) * s, 1e-18) << r.t;  // aGf0 holds at t0
    }
  }
}

// With the setup's accuracy screening on, an SBAS record of URA index 15 ("no accuracy
// prediction") or more is unhealthy; 14 is not.
TEST_F(SbasQzssEph, AccuracyScreeningOfSbasRecords) {
  const struct { std::uint8_t ura; bool screening; std::uint8_t status; } rows[] = {
      {14, true, kPolyOk}, {15, true, kPolyUnhealthy}, {16, true, kPolyUnhealthy}, {15, false, kPolyOk}};
  for (const auto& r : rows) {
    ZRT_EPH_SBA e{};
    e.prn = 129, e.ura = r.ura, e.t0 = 5000, e.week = 2253, e.tow = 86400 + 4990;
    e.pos[0] = 4.1e7, e.pos[1] = -8.5e6, e.pos[2] = 1.2e5;
    const SvIdType sv{9, kSysSbas, 0, 9};
    SatDataEpoch ep;
    ep.time.valid = true;
    ep.time.cycleKnown[kSysSbas] = true;
    ep.time.cycle[kSysSbas] = 2253 * 7 + 1;
    ep.time.sec[kSysSbas] = 5000;
    ep.setup.satMasks[kMaskAlmanacWait][kSysSbas] = 0;
    ep.setup.satMasks[kMaskUraCheck][kSysSbas] = 0;
    ep.setup.elevVar.weightMode = r.screening ? 1 : 0;
    ep.setup.elevVar.accScreening = 1;
    SatPolynomStoreInstance.Init();
    auto store = std::make_unique<SatelliteDataProcessor>();
    store->update(ep);
    ASSERT_TRUE(store->update_EphemerisData(sv, 0, &e, 1, true, false, false));
    store->update(ep);
    std::uint8_t status = 255;
    std::uint16_t iod = kPolyNoIod;
    int dataType = -1;
    float accuracy = -1;
    double dt = 0;
    if (SatPolynomStoreInstance.get_PolynomData(sv, 5000, true, false, &status, &iod, &dataType, &accuracy, &dt))
      SatPolynomStoreInstance.free_PolynomData();
    EXPECT_EQ(status, r.status) << int(r.ura) << " " << r.screening;
  }
}

// The SBAS almanac's position is the broadcast one as it stands, its clock 0.
TEST_F(SbasQzssEph, SbasAlmanacPositionAsBroadcast) {
  ZRT_ALM_SBA a{};
  a.pos[0] = 4.1e7, a.pos[1] = -8.5e6, a.pos[2] = 1.2e5;
  a.vel[0] = 1.5f, a.vel[1] = -0.25f, a.vel[2] = 3.0f;
  double pos[3], clock = 1, drift = 1;
  float vel[3];
  ASSERT_TRUE(compute_SbasSatPosByAlmanac(a, pos, vel, &clock, &drift));
  for (int k = 0; k < 3; ++k) {
    EXPECT_EQ(pos[k], a.pos[k]) << k;
    EXPECT_EQ(vel[k], a.vel[k]) << k;
  }
  EXPECT_EQ(clock, 0.0);
  EXPECT_EQ(drift, 0.0);
  a.pos[1] = std::nan("");
  EXPECT_FALSE(compute_SbasSatPosByAlmanac(a, pos, vel, &clock, &drift));
}

// In the store an SBAS almanac gives its satellite a position, an almanac visibility and the
// almanac check the satellite's ephemeris polynomial waits for: none without an almanac, the
// polynomial refused as unhealthy by an almanac with health bit 0 set, usable with a healthy one.
TEST_F(SbasQzssEph, SbasAlmanacGivesPositionVisibilityAndItsCheck) {
  const SvIdType sv{9, kSysSbas, 0, 9};
  ZRT_EPH_SBA e{};
  e.prn = 129, e.ura = 2, e.t0 = 5000, e.week = 2253, e.tow = 86400 + 4990;
  e.pos[0] = 4.1e7, e.pos[1] = -8.5e6, e.pos[2] = 1.2e5;
  ZRT_ALM_SBA a{};
  a.prn = 129, a.week = 2253, a.toa = 86400 + 4000;
  a.pos[0] = e.pos[0] + 2000, a.pos[1] = e.pos[1], a.pos[2] = e.pos[2];
  const struct {
    const char* name;
    bool almanac;
    std::uint8_t health;
    std::uint8_t status;
  } rows[] = {{"no almanac", false, 0, kPolyAlmCheckMissing},
              {"healthy almanac", true, 0, kPolyOk},
              {"unhealthy almanac", true, 1, kPolyAlmUnhealthy}};
  for (const auto& r : rows) {
    SatDataEpoch ep;
    ep.time.valid = true;
    ep.time.cycleKnown[kSysSbas] = ep.time.cycleKnown[kSysGps] = true;
    ep.time.cycle[kSysSbas] = 2253 * 7 + 1;
    ep.time.sec[kSysSbas] = 5000;
    ep.time.cycle[kSysGps] = 2253;
    ep.time.sec[kSysGps] = 86400 + 5000;
    ep.monoSec = 100;
    ep.setup.satMasks[kMaskUraCheck][kSysSbas] = 0;
    // A receiver on the equator under the satellite.
    ep.positionFresh = true;
    ep.rcvPos[0] = 6378137.0 * 4.1e7 / std::hypot(4.1e7, 8.5e6), ep.rcvPos[1] = -6378137.0 * 8.5e6 / std::hypot(4.1e7, 8.5e6);
    ep.rcvLlh[1] = std::atan2(ep.rcvPos[1], ep.rcvPos[0]);
    SatPolynomStoreInstance.Init();
    SatVisibilityStoreInstance.Init();
    auto store = std::make_unique<SatelliteDataProcessor>();
    store->update(ep);
    ASSERT_TRUE(store->update_EphemerisData(sv, 0, &e, 1, true, false, false)) << r.name;
    a.health = r.health;
    if (r.almanac) {
      ASSERT_TRUE(store->update_AlmanacData(sv, 255, &a, false)) << r.name;
    }
    store->update(ep);
    SatData::SatVisibilityType v;
    ASSERT_TRUE(SatVisibilityStoreInstance.TakeAlm(sv, &v));
    EXPECT_EQ(v.valid != 0, r.almanac) << r.name;
    if (r.almanac) {
      for (int k = 0; k < 3; ++k) EXPECT_NEAR(v.satPos[k], a.pos[k], 1e-6) << r.name;
      EXPECT_GT(v.elevation, 80.0f) << r.name;
    }
    std::uint8_t status = 255;
    std::uint16_t iod = kPolyNoIod;
    int dataType = -1;
    float accuracy = -1;
    double dt = 0;
    if (SatPolynomStoreInstance.get_PolynomData(sv, 5000, false, false, &status, &iod, &dataType, &accuracy, &dt))
      SatPolynomStoreInstance.free_PolynomData();
    EXPECT_EQ(status, r.status) << r.name;
  }
}

// In the store: plausibility and health as above, and an ephemeris ready for 360 s (SBAS) or
// 14520 s (QZSS) either side of its reference time.
TEST_F(SbasQzssEph, StoreTakesSbasAndQzssRecords) {
  const struct { std::uint8_t sys; double i0OrRadius; std::uint8_t health; double dt; bool valid, healthy; } rows[] = {
      {kSysQzss, 0.25, 0, 14520, true, true},   {kSysQzss, 0.25, 0, -14520, true, true},
      {kSysQzss, 0.25, 0, 14521, false, true},  {kSysQzss, 0.5, 0, 0, false, true},
      {kSysQzss, 0.25, 2, 0, true, false},      {kSysQzss, 0.25, 32, 0, false, true},
      {kSysSbas, 4.2e7, 0, 360, true, true},    {kSysSbas, 4.2e7, 0, -361, false, true},
      {kSysSbas, 5.3e7, 0, 0, false, true},
  };
  for (const auto& r : rows) {
    auto store = std::make_unique<SatelliteDataProcessor>();
    alignas(8) std::uint8_t rec[kMaxEphRecordSize] = {};
    double ref = 0;
    if (r.sys == kSysQzss) {
      auto& e = *reinterpret_cast<ZRT_EPH_QZS*>(rec);
      e.prn = 193, e.toe = 7200, e.tow = 7000, e.week = 200, e.sqrtA = 6493.4, e.i0 = r.i0OrRadius, e.health = r.health;
      ref = e.toe;
    } else {
      auto& e = *reinterpret_cast<ZRT_EPH_SBA*>(rec);
      e.prn = 129, e.t0 = 5000, e.week = 2253, e.tow = 86400 + 4990, e.pos[2] = r.i0OrRadius;
      ref = e.t0;
    }
    const SvIdType sv{r.sys == kSysQzss ? std::uint8_t{0} : std::uint8_t{9}, r.sys, 0, 0};
    ASSERT_TRUE(store->update_EphemerisData(sv, 0, rec, 1, true, false, false));
    SatDataEpoch ep;
    ep.time.valid = true;
    ep.time.sec[r.sys] = ref + r.dt;
    store->update(ep);
    EXPECT_EQ(store->is_EphemerisValid(r.sys, sv.si, 0, SatelliteDataProcessor::kNewest), r.valid) << &r - rows;
    EXPECT_EQ(store->is_EphemerisHealthy(r.sys, sv.si, 0, SatelliteDataProcessor::kNewest), r.healthy) << &r - rows;
  }
  // SBAS UTC: the store keeps the first 34 bytes.
  auto store = std::make_unique<SatelliteDataProcessor>();
  std::uint8_t utc[40];
  for (int k = 0; k < 40; ++k) utc[k] = static_cast<std::uint8_t>(k + 1);
  ASSERT_TRUE(store->update_UtcData(kSysSbas, 0, utc));
  const auto* kept = static_cast<const std::uint8_t*>(store->get_UtcLastData(kSysSbas));
  EXPECT_EQ(kept[33], 34);
  EXPECT_EQ(kept[34], 0);
}

// Group delays: field by field, the value (in TGD units, or TGD - ISC) and its source.
TEST_F(SbasQzssEph, GroupDelays) {
  const float tgd = -4e-9f, isc2 = 1e-9f, isc3 = 2e-9f;
  constexpr double kNone = 99, kIsc2 = 100, kIsc3 = 101;  // pseudo factors: untouched, TGD - ISC
  const struct { int dataType; std::uint8_t isc; double factor[6]; int src[6]; } rows[] = {
      {0, 0, {1, kNone, kGamma6, kGamma1, kGamma5, 1}, {2, 0, 1, 1, 1, 1}},
      {1, 0, {1, 0, kGamma6, kGamma1, kGamma5, 1}, {2, 1, 1, 1, 1, 1}},
      {1, kIscFlagIsc2 | kIscFlagIsc3, {1, 0, kGamma6, kIsc2, kIsc3, 1}, {2, 1, 1, 2, 2, 1}},
      {1, kIscFlagIsc3, {1, 0, kGamma6, kGamma1, kIsc3, 1}, {2, 1, 1, 1, 2, 1}},
      {2, kIscFlagCnav2Isc2, {1, kNone, kGamma6, kGamma1, kGamma5, kIsc2}, {2, 0, 1, 1, 1, 2}},
      {2, 0, {1, kNone, kGamma6, kGamma1, kGamma5, 1}, {2, 0, 1, 1, 1, 1}},
      // TGD not broadcast: nothing derived from it (CNAV's L2 field is a plain 0).
      {1, kIscFlagNoTgd | kIscFlagIsc2, {kNone, 0, kNone, kNone, kNone, kNone}, {0, 1, 0, 0, 0, 0}},
      {2, kIscFlagNoTgd | kIscFlagCnav2Isc2, {kNone, kNone, kNone, kNone, kNone, kNone}, {0, 0, 0, 0, 0, 0}},
  };
  for (const auto& r : rows) {
    ZRT_EPH_QZS e{};
    e.tgd = tgd, e.isc2 = isc2, e.isc3 = isc3, e.iscFlags = r.isc;
    float d[6] = {};
    std::uint8_t s[6] = {};
    update_QzssTgd(e, r.dataType, d, s);
    for (int f = 0; f < 6; ++f) {
      const double want = r.factor[f] == kNone ? 0.0 : r.factor[f] == kIsc2 ? tgd - isc2 : r.factor[f] == kIsc3 ? tgd - isc3 : r.factor[f] * tgd;
      EXPECT_FLOAT_EQ(d[f], static_cast<float>(want)) << "type " << r.dataType << " field " << f;
      EXPECT_EQ(s[f], r.src[f]) << "type " << r.dataType << " field " << f;
    }
  }
  // A broadcast value stays when a derived one follows; a broadcast one replaces it.
  ZRT_EPH_QZS e{};
  e.tgd = tgd;
  float d[6] = {0, 0, 0, 7e-9f, 0, 0};
  std::uint8_t s[6] = {0, 0, 0, 2, 0, 0};
  update_QzssTgd(e, 0, d, s);
  EXPECT_FLOAT_EQ(d[3], 7e-9f);
  e.iscFlags = kIscFlagIsc2, e.isc2 = isc2;
  update_QzssTgd(e, 1, d, s);
  EXPECT_FLOAT_EQ(d[3], tgd - isc2);

  float sd[6] = {1, 1, 1, 1, 1, 1};
  std::uint8_t ss[6] = {1, 1, 1, 1, 1, 1};
  update_SbasTgd(1, sd, ss);
  EXPECT_FLOAT_EQ(sd[0], 1.0f);
  update_SbasTgd(0, sd, ss);
  const float wantD[6] = {0, 1, 1, 1, 0, 1};
  const std::uint8_t wantS[6] = {2, 1, 1, 1, 2, 1};
  for (int f = 0; f < 6; ++f) {
    EXPECT_EQ(sd[f], wantD[f]) << f;
    EXPECT_EQ(ss[f], wantS[f]) << f;
  }
}

}  // namespace
