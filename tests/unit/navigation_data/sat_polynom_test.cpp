// Satellite polynomials against the direct Kepler orbit, their sliding rebuilds, the read
// statuses with the lock they leave, and the group-delay set.
#include "unit/navigation_data/orbit_formulas.h"
#include "navigation_data/orbits/sat_polynom.h"

#include <gtest/gtest.h>

#include <cmath>

#include "fixtures/nav_files.h"
#include "navigation_data/orbits/gps_orbit.h"

namespace {

double dist(const double a[3], const double b[3]) {
  return std::hypot(a[0] - b[0], a[1] - b[1], a[2] - b[2]);
}

void kepler(const ZRT_EPH_GPS& e, double t, double p[3], double* clock) {
  double rel;
  compute_SatPositionByEphemeris(t, kSysGps, e, p, nullptr, &rel);
  *clock = compute_SatClockByEphemeris(t, kSysGps, e) + rel;
}

// Over [-0.1, 1.1] of its span the polynomial stays within 5 mm and 1e-12 s of the orbit.
TEST(SatPolynom, MatchesKeplerOverTheFitWindow) {
  const auto recs = navfiles::readRinex2Nav(navfiles::testdata("brdc1820.10n"));
  double worstPos = 0, worstClk = 0;
  for (std::size_t i = 0; i < recs.size(); i += 7) {
    const ZRT_EPH_GPS& e = recs[i].eph;
    for (double start : {-7200.0, -1234.5, 0.0, 5000.0}) {
      PolyNodeRing ring;
      bool computed = false;
      SatData::PolynomEntryType entry{};
      ASSERT_TRUE(update_SatellitePolynom(kSysGps, e, e.toe + start, ring, computed, entry));
      ASSERT_TRUE(computed);
      EXPECT_FLOAT_EQ(entry.span, 60.f);
      for (double f = -0.1; f <= 1.1001; f += 0.025) {
        const double dt = f * entry.span;
        double p[3], q[3], c, k;
        eval_Polynom(entry, dt, p, nullptr, &c);
        kepler(e, entry.refTime + dt, q, &k);
        worstPos = std::max(worstPos, dist(p, q));
        worstClk = std::max(worstClk, std::fabs(c - k));
      }
    }
  }
  EXPECT_LT(worstPos, 5e-3);
  EXPECT_LT(worstClk, 1e-12);
}

// Two hours at 1 Hz: the entry always covers the epoch, stays on the orbit, and a rebuild moves
// the position the users see by less than 5 mm.
TEST(SatPolynom, SlidingNodesRebuildWithoutJumps) {
  const auto recs = navfiles::readRinex2Nav(navfiles::testdata("brdc1820.10n"));
  const ZRT_EPH_GPS& e = recs[5].eph;
  PolyNodeRing ring;
  bool computed = false;
  SatData::PolynomEntryType entry{}, before{};
  int rebuilds = 0;
  double worst = 0, worstJump = 0;
  for (int s = 0; s <= 7200; ++s) {
    const double t = e.toe - 3600.0 + s;
    before = entry;
    const PolyNodeRing ringBefore = ring;
    ASSERT_TRUE(update_SatellitePolynom(kSysGps, e, t, ring, computed, entry));
    // Once running, one orbit evaluation (one new node) per call at most.
    int newNodes = 0;
    for (const auto& n : ring.node) {
      bool known = false;
      for (const auto& o : ringBefore.node) known = known || o.t == n.t;
      newNodes += known ? 0 : 1;
    }
    if (s > 0) {
      ASSERT_LE(newNodes, 1) << s;
    }
    const double dt = t - entry.refTime;
    ASSERT_GE(dt, -0.1 * entry.span) << s;
    ASSERT_LE(dt, 1.1 * entry.span) << s;
    double p[3], q[3], c, k;
    eval_Polynom(entry, dt, p, nullptr, &c);
    kepler(e, t, q, &k);
    worst = std::max(worst, dist(p, q));
    if (s > 0 && before.refTime != entry.refTime) {
      ++rebuilds;
      double o[3];
      eval_Polynom(before, t - before.refTime, o, nullptr, nullptr);
      worstJump = std::max(worstJump, dist(o, p));
    }
  }
  EXPECT_LT(worst, 5e-3);
  EXPECT_LT(worstJump, 5e-3);
  EXPECT_NEAR(rebuilds, 7200 / 30, 2);
}

// A fresh set: entry 0 IOD 10 healthy, entry 1 IOD 11; reference time 1000 s, span 60 s.
SatData::PolynomSetType makeSet(std::uint8_t flags0) {
  SatData::PolynomSetType s{};
  for (int k = 0; k < 2; ++k) {
    s.entry[k].refTime = 1000, s.entry[k].span = 60, s.entry[k].accuracy = 4;
    s.entry[k].iod = static_cast<std::uint16_t>(10 + k);
    s.entry[k].dataType = static_cast<std::uint8_t>(k);
    s.entry[k].flags = kPolyFlagAlmChecked;
  }
  s.entry[0].flags = flags0;
  s.tgd.delay[1] = 5e-9f;
  return s;
}

bool lockFree() {
  if (!SatPolynomStore::mutex.tryLock()) return false;
  SatPolynomStore::mutex.unlock();
  return true;
}

TEST(SatPolynom, ReadStatusesAndTheLockTheyLeave) {
  const std::uint8_t ok = kPolyFlagAlmChecked;
  const struct {
    const char* what;
    int sys;
    bool put;
    std::uint8_t flags0;
    std::uint16_t iodIn;
    bool healthyOnly, gloShift;
    double t;
    std::uint8_t status;
    std::uint16_t iodOut;
  } rows[] = {
      {"no set", kSysGps, false, ok, 65535, false, false, 1010, 29, 65535},
      {"first entry", kSysGps, true, ok, 65535, false, false, 1010, 0, 10},
      {"entry by IOD", kSysGps, true, ok, 11, false, false, 1010, 0, 11},
      {"no such IOD", kSysGps, true, ok, 12, false, false, 1010, 5, 65535},
      {"unhealthy, healthy only", kSysGps, true, ok | kPolyFlagUnhealthy, 65535, true, false, 1010, 6, 10},
      {"unhealthy allowed", kSysGps, true, ok | kPolyFlagUnhealthy, 65535, false, false, 1010, 0, 10},
      {"GLONASS almanac check missing", kSysGlonass, true, 0, 65535, false, false, 1010, 9, 10},
      {"GLONASS almanac unhealthy", kSysGlonass, true, ok | kPolyFlagAlmUnhealthy, 65535, false, false, 1010, 10, 10},
      {"SBAS almanac check missing", kSysSbas, true, 0, 65535, false, false, 1010, 9, 10},
      {"GPS needs no almanac check", kSysGps, true, 0, 65535, false, false, 1010, 0, 10},
      {"invalid", kSysGps, true, ok | kPolyFlagInvalid, 65535, false, false, 1010, 12, 10},
      {"dt -0.1 span", kSysGps, true, ok, 65535, false, false, 994, 0, 10},
      {"dt below -0.1 span", kSysGps, true, ok, 65535, false, false, 993.99, 18, 10},
      {"dt 1.1 span", kSysGps, true, ok, 65535, false, false, 1066, 0, 10},
      {"dt above 1.1 span", kSysGps, true, ok, 65535, false, false, 1066.01, 18, 10},
      {"SBAS 1.5 times wider", kSysSbas, true, ok, 65535, false, false, 991, 0, 10},
      {"SBAS beyond", kSysSbas, true, ok, 65535, false, false, 990.9, 18, 10},
      {"GLONASS shift of 1 s", kSysGlonass, true, ok, 65535, false, true, 1065.5, 18, 10},
      {"GLONASS no shift wanted", kSysGlonass, true, ok | kPolyFlagGloNoShift, 65535, false, true, 1065.5, 0, 10},
  };
  for (const auto& r : rows) {
    SatPolynomStore store;
    const SvIdType id{3, static_cast<std::uint8_t>(r.sys), 0, 3};
    SatData::PolynomSetType set = makeSet(r.flags0);
    if (r.put) {
      ASSERT_TRUE(store.Put(id, &set));
    }
    std::uint8_t status = 99;
    std::uint16_t iod = r.iodIn;
    int dataType = -1;
    float acc = 0;
    double dt = 0;
    const auto* e = store.get_PolynomData(id, r.t, r.healthyOnly, r.gloShift, &status, &iod, &dataType, &acc, &dt);
    EXPECT_EQ(status, r.status) << r.what;
    EXPECT_EQ(iod, r.iodOut) << r.what;
    EXPECT_EQ(e != nullptr, r.status == 0) << r.what;
    EXPECT_EQ(lockFree(), r.status != 0) << r.what;
    if (r.status == 0) {
      EXPECT_EQ(acc, 4.f) << r.what;
      store.free_PolynomData();
      EXPECT_TRUE(lockFree()) << r.what;
    }
    // The variant without the time test.
    iod = r.iodIn;
    e = store.get_PolynomData(id, r.healthyOnly, &status, &iod, &dataType);
    const bool timeOnly = r.status == 18;
    EXPECT_EQ(status, timeOnly ? 0 : r.status) << r.what;
    if (r.status == 5) {
      EXPECT_EQ(iod, r.iodIn) << r.what;  // only the variant with the time gives the IOD back as none
    }
    EXPECT_EQ(lockFree(), status != 0) << r.what;
    if (status == 0) store.free_PolynomData();
  }
}

TEST(SatPolynom, IssueOfDataAndGroupDelaySetsLeaveTheLockRight) {
  SatPolynomStore store;
  const SvIdType id{4, kSysGps, 0, 4};
  std::uint16_t iod[2];
  EXPECT_EQ(store.get_IssueOfData(id, 1010, iod), 29);
  EXPECT_EQ(store.get_TgdData(id), nullptr);
  EXPECT_TRUE(lockFree());
  SatData::PolynomSetType set = makeSet(kPolyFlagAlmChecked | kPolyFlagInvalid);
  set.entry[1].refTime = 2000;
  store.Put(id, &set);
  EXPECT_EQ(store.get_IssueOfData(id, 1010, iod), 0);
  EXPECT_EQ(iod[0], 65535);  // invalid
  EXPECT_EQ(iod[1], 65535);  // not at this time
  EXPECT_EQ(store.get_IssueOfData(id, 2010, iod), 0);
  EXPECT_EQ(iod[1], 11);
  EXPECT_TRUE(lockFree());
  const auto* tgd = store.get_TgdData(id);
  ASSERT_NE(tgd, nullptr);
  EXPECT_FALSE(lockFree());
  EXPECT_EQ(tgd->delay[1], 5e-9f);
  store.free_PolynomData();
  EXPECT_TRUE(lockFree());
  {
    std::uint8_t status;
    std::uint16_t i = 65535;
    int dtp;
    float acc;
    double dt;
    set.entry[0].flags = kPolyFlagAlmChecked;
    store.Put(id, &set);
    PolynomHold hold(store.get_PolynomData(id, 1010, false, false, &status, &i, &dtp, &acc, &dt) != nullptr);
    EXPECT_FALSE(lockFree());
  }
  EXPECT_TRUE(lockFree());
}

TEST(SatPolynom, PolynomValidWithin600sOfItsMiddle) {
  SatData::PolynomEntryType e{};
  e.refTime = 604790, e.span = 60, e.iod = 3;
  const struct { double t; bool valid; } rows[] = {{604820, true}, {605420 - 604800, true}, {605421 - 604800, false},
                                                   {604220, true}, {604219, false}};
  for (const auto& r : rows) EXPECT_EQ(SatPolynomStore::is_PolynomValid(e, kSysGps, r.t), r.valid) << r.t;
  e.iod = kPolyNoIod;
  EXPECT_FALSE(SatPolynomStore::is_PolynomValid(e, kSysGps, 604820));
}

TEST(SatPolynom, GroupDelaysPerDataType) {
  const float tgd = 4e-9f, i1 = 1e-9f, i2 = 2e-9f, i3 = 3e-9f;
  const float g1 = 1.6469444f * tgd, g5 = 1.7932702f * tgd;
  const struct {
    const char* what;
    int dataType;
    std::uint8_t isc;
    float d[6];
    std::uint8_t src[6];
  } rows[] = {
      {"LNAV", 0, 0, {tgd, tgd, g1, g1, g5, tgd}, {1, 2, 2, 1, 1, 1}},
      {"CNAV without ISC", 1, 0, {tgd, tgd, g1, g1, g5, tgd}, {1, 2, 2, 1, 1, 1}},
      {"CNAV with ISC", 1, kIscFlagIsc1 | kIscFlagIsc2 | kIscFlagIsc3, {tgd - i1, tgd, g1, tgd - i2, tgd - i3, tgd}, {2, 2, 2, 2, 2, 1}},
      // CNAV-2 marks ISC L1CD in bit 5 of the flag byte; bit 3 is CNAV's L2C mark.
      {"CNAV-2 with ISC2", 2, kIscFlagCnav2Isc2, {tgd, tgd, g1, g1, g5, tgd - i2}, {1, 2, 2, 1, 1, 2}},
      {"CNAV-2 with the CNAV L2C mark only", 2, kIscFlagIsc2, {tgd, tgd, g1, g1, g5, tgd}, {1, 2, 2, 1, 1, 1}},
      // TGD not broadcast: no delay at all, not even TGD - ISC.
      {"CNAV without TGD", 1, kIscFlagNoTgd | kIscFlagIsc1 | kIscFlagIsc2, {0, 0, 0, 0, 0, 0}, {0, 0, 0, 0, 0, 0}},
      {"CNAV-2 without TGD", 2, kIscFlagNoTgd | kIscFlagCnav2Isc2, {0, 0, 0, 0, 0, 0}, {0, 0, 0, 0, 0, 0}},
  };
  for (const auto& r : rows) {
    ZRT_EPH_GPS e{};
    e.tgd = tgd, e.isc1 = i1, e.isc2 = i2, e.isc3 = i3, e.iscFlags = r.isc;
    SatData::TgdSetType set{};
    update_SatelliteTgd(e, r.dataType, set);
    for (int f = 0; f < 6; ++f) {
      EXPECT_FLOAT_EQ(set.delay[f], r.d[f]) << r.what << " field " << f;
      EXPECT_EQ(set.source[f], r.src[f]) << r.what << " field " << f;
    }
    // A later LNAV record does not overwrite what a broadcast correction gave.
    update_SatelliteTgd(e, 0, set);
    for (int f = 0; f < 6; ++f)
      if (r.src[f] == 2) {
        EXPECT_FLOAT_EQ(set.delay[f], r.d[f]) << r.what << " kept field " << f;
      }
  }
}

}  // namespace
