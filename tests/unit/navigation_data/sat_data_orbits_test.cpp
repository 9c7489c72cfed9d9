// The store with its orbit products: broadcast GPS ephemerides become published polynomials
// that follow the orbit, and a restart through the settings image gives back every kept record
// and the same polynomials to the bit.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <memory>

#include "fixtures/nav_files.h"
#include "navigation_data/orbits/gps_orbit.h"
#include "navigation_data/orbits/sat_polynom.h"
#include "navigation_data/store/nav_nv_blocks.h"
#include "navigation_data/store/sat_data_store.h"
#include "platform/file_nvm.h"
#include "unit/platform/temp_run_dir.h"

namespace {

constexpr std::size_t kPolyBytes = offsetof(SatData::PolynomEntryType, flags) + 1;

constexpr int kWeek = 1590;
constexpr double kToe = 345600 + 7200;  // 2010-07-01 02:00, the records used
constexpr double kT = kToe + 600;       // the epoch of the checks

SvIdType gps(int prn) { return SvIdType{static_cast<std::uint8_t>(prn - 1), kSysGps, 0, static_cast<std::uint8_t>(prn - 1)}; }

SatDataEpoch epochAt(double t) {
  SatDataEpoch ep;
  ep.time.valid = true;
  ep.time.cycleKnown[kSysGps] = true;
  ep.time.cycle[kSysGps] = kWeek;
  ep.time.sec[kSysGps] = t;
  ep.monoSec = t;
  return ep;
}

struct Published {
  std::uint8_t status;
  SatData::PolynomEntryType entry;
  double dt;
};

Published read(int prn, double t) {
  Published p{};
  std::uint16_t iod = kPolyNoIod;
  int dataType;
  float acc;
  const auto* e = SatPolynomStoreInstance.get_PolynomData(gps(prn), t, false, false, &p.status, &iod, &dataType, &acc, &p.dt);
  if (e != nullptr) {
    p.entry = *e;
    SatPolynomStoreInstance.free_PolynomData();
  }
  return p;
}

class SatDataOrbits : public TempRunDir {
 protected:
  void SetUp() override {
    TempRunDir::SetUp();
    FileNvmLoad();
    nav_nv::allocate_NvRamData();
    SatPolynomStoreInstance.Init();
    for (const auto& r : navfiles::readRinex2Nav(navfiles::testdata("brdc1820.10n")))
      if (r.eph.toe == kToe) recs[r.eph.prn] = r.eph;
  }
  std::unique_ptr<SatelliteDataProcessor> fresh() {
    auto s = std::make_unique<SatelliteDataProcessor>();
    s->update(epochAt(kT - 1));  // takes the setup before any record
    return s;
  }
  ZRT_EPH_GPS recs[33] = {};
};

// The healthy satellites get a polynomial that follows the broadcast orbit within 5 mm; the
// unhealthy G01 (health 63, data flagged bad) gets none.
TEST_F(SatDataOrbits, BroadcastEphemeridesBecomePublishedPolynomials) {
  auto s = fresh();
  int stored = 0;
  for (int prn = 1; prn <= 32; ++prn)
    if (recs[prn].prn != 0) stored += s->update_EphemerisData(gps(prn), 0, &recs[prn], 100u + prn, true, false, false);
  ASSERT_GT(stored, 25);
  for (double t = kT; t < kT + 180; t += 1) {
    s->update(epochAt(t));
    for (int prn = 1; prn <= 32; ++prn) {
      if (recs[prn].prn == 0) continue;
      const Published p = read(prn, t);
      const bool usable = recs[prn].health == 0;
      ASSERT_EQ(p.status, usable ? kPolyOk : kPolyNoSet) << "G" << prn << " t " << t;
      if (!usable) continue;
      EXPECT_EQ(p.entry.iod, static_cast<std::uint16_t>(recs[prn].iodc));
      double pp[3], pk[3];
      eval_Polynom(p.entry, p.dt, pp, nullptr, nullptr);
      compute_SatPositionByEphemeris(t, kSysGps, recs[prn], pk, nullptr, nullptr);
      ASSERT_LT(std::hypot(pp[0] - pk[0], pp[1] - pk[1], pp[2] - pk[2]), 5e-3) << "G" << prn << " t " << t;
    }
  }
  // The group delays of LNAV: TGD as the reference.
  const auto* tgd = SatPolynomStoreInstance.get_TgdData(gps(2));
  ASSERT_NE(tgd, nullptr);
  EXPECT_EQ(tgd->delay[1], recs[2].tgd);
  SatPolynomStoreInstance.free_PolynomData();
}

// A restart restores the ephemerides of data type 0, the almanacs and the UTC parameters, and
// the polynomials after it are those before, to the bit. CNAV (data type 1) and GLONASS
// ephemerides are not kept. The almanac is G01's, which has no polynomial: an almanac restored
// after the ephemerides rebuilds its satellite's polynomial one epoch later, from other nodes.
TEST_F(SatDataOrbits, RestartRestoresTheKeptRecordsAndTheSamePolynomials) {
  ZRT_ALM_GPS alm{};
  alm.prn = 1, alm.toa = 319488, alm.week = kWeek % 1024, alm.sqrtA = 5153.7f, alm.e = 0.01f, alm.rank = 2;
  ZRT_UTC_GPS utc{};
  utc.A0 = -0.838190317154e-08, utc.A1 = -2.13162820728e-14f, utc.tot = 503808, utc.WNt = 566 % 256, utc.dtLS = 15;
  ZRT_EPH_GLN gln{};
  gln.slot = 3, gln.freqNum = 5;
  Published before[33];
  {
    auto s = fresh();
    for (int prn = 1; prn <= 32; ++prn)
      if (recs[prn].prn != 0) s->update_EphemerisData(gps(prn), 0, &recs[prn], 100u + prn, true, false, false);
    ZRT_EPH_GPS cnav = recs[2];
    cnav.flags = kEphFlagCnavParams;
    ASSERT_TRUE(s->update_EphemerisData(gps(2), 1, &cnav, 7, true, false, false));
    ASSERT_TRUE(s->update_EphemerisData(SvIdType{12, kSysGlonass, 0, 2}, 0, &gln, 9, true, false, false));
    ASSERT_TRUE(s->update_AlmanacData(gps(1), 255, &alm, false));
    ASSERT_TRUE(s->update_UtcData(kSysGps, 0, &utc));
    SatDataEpochResult res;
    s->update(epochAt(kT), &res);
    // Taken at the receiver time of its arrival, the epoch before.
    EXPECT_NEAR(res.deltaTime.utc[kSysGps].dOffset, utc.A0 + static_cast<double>(utc.A1) * (kT - 1 - 503808.0), 1e-18);
    for (int prn = 1; prn <= 32; ++prn) before[prn] = read(prn, kT);
    ASSERT_TRUE(FileNvmSave(0, true));
  }
  FileNvmLoad();
  nav_nv::allocate_NvRamData();
  SatPolynomStoreInstance.Init();
  auto s = std::make_unique<SatelliteDataProcessor>();
  s->update(epochAt(kT));
  int compared = 0;
  for (int prn = 1; prn <= 32; ++prn) {
    const Published after = read(prn, kT);
    ASSERT_EQ(after.status, before[prn].status) << "G" << prn;
    if (after.status != kPolyOk) continue;
    // Every field up to the last; the tail padding holds whatever the memory held.
    EXPECT_EQ(std::memcmp(&after.entry, &before[prn].entry, kPolyBytes), 0) << "G" << prn;
    EXPECT_EQ(after.dt, before[prn].dt);
    ++compared;
  }
  EXPECT_GT(compared, 25);
  EXPECT_GT(s->get_EphUpdateCounter(kSysGps, 1, 0), 0);
  EXPECT_EQ(s->get_EphUpdateCounter(kSysGps, 1, 1), 0);       // CNAV not kept
  EXPECT_EQ(s->get_EphUpdateCounter(kSysGlonass, 12, 0), 0);  // GLONASS not restored
  const void* a = s->get_AlmLastData(kSysGps, 0);
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(std::memcmp(a, &alm, sizeof alm - 1), 0);
  const void* u = s->get_UtcLastData(kSysGps);
  ASSERT_NE(u, nullptr);
  EXPECT_EQ(std::memcmp(u, &utc, sizeof utc - 1), 0);
  ZRT_UTC_GPS alike{};
  EXPECT_NE(s->restore_NvRamUtcDataGpsAlike(kSysGps, &alike), nullptr);
  EXPECT_EQ(alike.A0, utc.A0);
}

// The clear-all requests drop the records and their kept copies: a restart brings back only what
// was not cleared, and the UTC parameters always.
TEST_F(SatDataOrbits, ClearAllRequestsDropTheKeptCopiesToo) {
  ZRT_ALM_GPS alm{};
  alm.prn = 1, alm.toa = 319488, alm.week = kWeek % 1024, alm.sqrtA = 5153.7f, alm.e = 0.01f, alm.rank = 2;
  ZRT_UTC_GPS utc{};
  utc.tot = 503808, utc.WNt = 566 % 256, utc.dtLS = 15;
  const struct {
    const char* name;
    bool clearEph, clearAlm;
  } rows[] = {{"nothing cleared", false, false}, {"ephemerides", true, false}, {"almanacs", false, true}, {"both", true, true}};
  for (const auto& r : rows) {
    TearDown();  // a run directory and settings image of the row's own
    SetUp();
    {
      auto s = fresh();
      ASSERT_TRUE(s->update_EphemerisData(gps(2), 0, &recs[2], 102, true, false, false));
      ASSERT_TRUE(s->update_AlmanacData(gps(1), 255, &alm, false));
      ASSERT_TRUE(s->update_UtcData(kSysGps, 0, &utc));
      SatDataEpoch ep = epochAt(kT);
      ep.clearAllEph = r.clearEph;
      ep.clearAllAlm = r.clearAlm;
      s->update(ep);
      EXPECT_EQ(s->get_EphLastData(kSysGps, 1, 0) == nullptr, r.clearEph) << r.name;
      EXPECT_EQ(s->get_AlmLastData(kSysGps, 0) == nullptr, r.clearAlm) << r.name;
      // Served once: the next step keeps what arrives.
      ASSERT_TRUE(s->update_AlmanacData(gps(3), 255, &alm, false));
      s->update(epochAt(kT + 1));
      EXPECT_NE(s->get_AlmLastData(kSysGps, 2), nullptr) << r.name;
      ASSERT_TRUE(FileNvmSave(0, true));
    }
    FileNvmLoad();
    nav_nv::allocate_NvRamData();
    auto s = std::make_unique<SatelliteDataProcessor>();
    s->update(epochAt(kT + 2));
    EXPECT_EQ(s->get_EphLastData(kSysGps, 1, 0) == nullptr, r.clearEph) << r.name << " after a restart";
    EXPECT_EQ(s->get_AlmLastData(kSysGps, 0) == nullptr, r.clearAlm) << r.name << " after a restart";
    EXPECT_NE(s->get_AlmLastData(kSysGps, 2), nullptr) << r.name << " after a restart";
    EXPECT_NE(s->get_UtcLastData(kSysGps), nullptr) << r.name << " after a restart";
  }
}

// The GPS almanac that wins a slot, and the one that is kept but not used.
TEST_F(SatDataOrbits, GpsAlmanacRules) {
  auto s = fresh();
  ZRT_ALM_GPS a{};
  a.prn = 9, a.toa = 1000, a.week = 566, a.sqrtA = 5153.7f, a.rank = 2;
  const struct { const char* what; std::int32_t toa; std::uint8_t rank, marker; bool taken, ready; } rows[] = {
      {"first", 1000, 2, 0, true, true},
      {"same again", 1000, 2, 0, false, true},
      {"higher rank, newer", 5000, 4, 0, false, true},
      {"newer", 1001, 2, 0, true, true},
      {"lower rank, older", 10, 0, 0, true, true},
      {"marked without almanac", 20, 0, '?', true, true},
  };
  for (const auto& r : rows) {
    a.toa = r.toa, a.rank = r.rank, a.marker = r.marker;
    EXPECT_EQ(s->update_AlmanacData(gps(9), 255, &a, false) != 0, r.taken) << r.what;
  }
  const auto* last = static_cast<const ZRT_ALM_GPS*>(s->get_AlmLastData(kSysGps, 8));
  ASSERT_NE(last, nullptr);
  EXPECT_EQ(last->marker, '?');
}

// A polynomial whose ephemeris accuracy exceeds the system's limit (10 m) is invalid where the
// URA check is asked for the satellite; the accuracy read out is the square of the URA.
TEST_F(SatDataOrbits, UraLimitMarksPolynomialsInvalid) {
  const struct { const char* what; std::int8_t ura; bool check; std::uint8_t status; float acc; } rows[] = {
      {"8 m", 4, true, kPolyOk, 64.f},
      {"11.3 m", 5, true, kPolyInvalid, 0},
      {"no accuracy", 15, true, kPolyInvalid, 0},
      {"negative index: no accuracy", -1, true, kPolyInvalid, 0},
      {"11.3 m, not checked", 5, false, kPolyOk, 11.3f * 11.3f},
  };
  for (const auto& r : rows) {
    SatPolynomStoreInstance.Init();
    auto s = fresh();
    ZRT_EPH_GPS e = recs[2];
    e.ura = r.ura;
    ASSERT_TRUE(s->update_EphemerisData(gps(2), 0, &e, 5, true, false, false));
    SatDataEpoch ep = epochAt(kT);
    if (!r.check) ep.setup.satMasks[3][kSysGps] &= ~(1ull << 1);
    s->update(ep);
    std::uint8_t status;
    std::uint16_t iod = kPolyNoIod;
    int dataType;
    float acc = 0;
    double dt;
    if (SatPolynomStoreInstance.get_PolynomData(gps(2), kT, false, false, &status, &iod, &dataType, &acc, &dt) != nullptr)
      SatPolynomStoreInstance.free_PolynomData();
    EXPECT_EQ(status, r.status) << r.what;
    EXPECT_NEAR(acc, r.acc, 1e-3) << r.what;
  }
}

// An ephemeris whose orbit cannot be a GPS orbit is kept but never gives a polynomial.
TEST_F(SatDataOrbits, ImplausibleEphemerisIsKeptButNotUsed) {
  auto s = fresh();
  ZRT_EPH_GPS e = recs[2];
  e.sqrtA = 6700;
  ASSERT_TRUE(s->update_EphemerisData(gps(2), 0, &e, 5, true, false, false));
  s->update(epochAt(kT));
  EXPECT_NE(s->get_EphLastData(kSysGps, 1, 0), nullptr);
  EXPECT_EQ(read(2, kT).status, kPolyNoSet);
}

}  // namespace

namespace {

// The orbit plausibility test runs only for satellites whose bit the setup's "dvs/check" mask
// sets: without it an orbit that cannot be a GPS orbit, or an LNAV record flagged "all data bad"
// (health bit 5), still gives a polynomial.
TEST_F(SatDataOrbits, PlausibilityTestOnlyWhereTheSetupAsksIt) {
  const struct {
    const char* what;
    double sqrtA;  // 0: the record's own
    std::uint8_t health;
    bool asked;
    std::uint8_t status;
  } rows[] = {
      {"good orbit, asked", 0, 0, true, kPolyOk},
      {"sqrt A 6700, asked", 6700, 0, true, kPolyNoSet},
      {"sqrt A 6700, not asked", 6700, 0, false, kPolyOk},
      {"sqrt A 5153 + 1500, asked", 5153.0 + 1500, 0, true, kPolyOk},
      {"sqrt A 5153 + 1501, asked", 5153.0 + 1501, 0, true, kPolyNoSet},
      {"all data bad, asked", 0, 0x20, true, kPolyNoSet},
      {"all data bad, not asked", 0, 0x20, false, kPolyOk},
  };
  for (const auto& r : rows) {
    SatPolynomStoreInstance.Init();
    SatDataEpoch ep = epochAt(kT);
    if (!r.asked) ep.setup.satMasks[kMaskDvsCheck][kSysGps] &= ~(1ull << 1);
    auto s = std::make_unique<SatelliteDataProcessor>();
    s->update(ep);
    ZRT_EPH_GPS e = recs[2];
    if (r.sqrtA != 0) e.sqrtA = r.sqrtA;
    e.health = r.health;
    ASSERT_TRUE(s->update_EphemerisData(gps(2), 0, &e, 5, true, false, false)) << r.what;
    s->update(ep);
    EXPECT_EQ(read(2, kT).status, r.status) << r.what;
  }
}

}  // namespace

namespace {

// With the setup's accuracy screening on, a record whose URA index is 8 (64 m) or more counts as
// unhealthy: the store calls it so and its polynomial is refused to a reader that asks for
// healthy ones, where the health check applies to the satellite.
TEST_F(SatDataOrbits, AccuracyScreeningMarksUraEightAndAboveUnhealthy) {
  const struct {
    std::int8_t ura;
    bool screening, healthChecked;
    bool healthy;
    std::uint8_t status;  // read for healthy polynomials only
  } rows[] = {
      {7, true, true, true, kPolyOk},          {8, true, true, false, kPolyUnhealthy},
      {8, false, true, true, kPolyOk},         {15, true, true, false, kPolyUnhealthy},
      {8, true, false, false, kPolyOk},        {0, true, true, true, kPolyOk},
  };
  for (const auto& r : rows) {
    SatPolynomStoreInstance.Init();
    SatDataEpoch ep = epochAt(kT);
    ep.setup.satMasks[kMaskUraCheck][kSysGps] = 0;  // no accuracy limit: the screening alone
    if (!r.healthChecked) ep.setup.satMasks[kMaskHealthUse][kSysGps] &= ~(1ull << 1);
    ep.setup.elevVar.weightMode = r.screening ? 1 : 0;
    ep.setup.elevVar.accScreening = 1;
    auto s = std::make_unique<SatelliteDataProcessor>();
    s->update(ep);
    ZRT_EPH_GPS e = recs[2];
    e.ura = r.ura;
    ASSERT_TRUE(s->update_EphemerisData(gps(2), 0, &e, 5, true, false, false));
    s->update(ep);
    const std::string what = "URA " + std::to_string(r.ura) + (r.screening ? " screened" : "");
    EXPECT_EQ(s->is_EphemerisHealthy(kSysGps, 1, 0, SatelliteDataProcessor::kNewest), r.healthy) << what;
    std::uint8_t status;
    std::uint16_t iod = kPolyNoIod;
    int dataType;
    float acc;
    double dt;
    if (SatPolynomStoreInstance.get_PolynomData(gps(2), kT, true, false, &status, &iod, &dataType, &acc, &dt))
      SatPolynomStoreInstance.free_PolynomData();
    EXPECT_EQ(status, r.status) << what;
  }
}

}  // namespace

namespace {

// The published set carries a signal-health record per data type: those of the valid data types
// (here LNAV and CNAV) reset to "none", the one without a record (CNAV-2) untouched.
TEST_F(SatDataOrbits, SignalHealthOfEachValidDataTypeResetToNone) {
  auto s = fresh();
  ZRT_EPH_GPS cnav = recs[2];
  cnav.flags = kEphFlagCnavParams;
  ASSERT_TRUE(s->update_EphemerisData(gps(2), 0, &recs[2], 5, true, false, false));
  ASSERT_TRUE(s->update_EphemerisData(gps(2), 1, &cnav, 6, true, false, false));
  s->update(epochAt(kT));
  SatData::PolynomSetType set;
  ASSERT_TRUE(SatPolynomStoreInstance.Take(gps(2), &set));
  const struct {
    int dataType;
    std::uint8_t health, flags;
  } rows[] = {{0, SatData::kSignalHealthNone, 0}, {1, SatData::kSignalHealthNone, 0}, {2, 0, 0}};
  for (const auto& r : rows) {
    EXPECT_EQ(set.health.type[r.dataType].health, r.health) << r.dataType;
    EXPECT_EQ(set.health.type[r.dataType].flags, r.flags) << r.dataType;
  }
}

}  // namespace
