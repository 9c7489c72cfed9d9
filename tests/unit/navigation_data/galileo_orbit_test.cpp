// Galileo ephemerides of a day (I/NAV and F/NAV records of a RINEX 4 file), sent as words and
// pages through the decoder into the store: the shared orbit code's positions and clocks with
// Galileo's constants against OS SIS ICD 5.1.1 (Table 60 algorithm, mu 3.986004418e14, F
// -4.442807309e-10) and 5.1.4 evaluated here.
#include <gtest/gtest.h>

#include <set>

#include "published_almanac.h"
#include "unit/navigation_data/orbit_formulas.h"
#include "gal_test_util.h"
#include "navigation_data/orbits/gps_orbit.h"

using namespace galtest;

namespace {

struct Truth {
  double pos[3], clock;
};

// The ICD's user algorithm, written in its own order: mean motion, Kepler by fixed point,
// corrections of the second harmonics, then the rotation into ECEF.
Truth icd(const ZRT_EPH_GAL& e, double t) {
  const double mu = 3.986004418e14, we = 7.2921151467e-5, F = -4.442807309e-10, pi = kGalPi;
  const double A = e.sqrtA * e.sqrtA;
  double tk = t - e.toe;
  if (tk > 302400) tk -= 604800;
  if (tk < -302400) tk += 604800;
  const double n = std::sqrt(mu / (A * A * A)) + e.deltaN * pi;
  const double M = e.M0 * pi + n * tk;
  double E = M;
  for (int i = 0; i < 60; ++i) E = M + e.e * std::sin(E);
  const double nu = 2 * std::atan(std::sqrt((1 + e.e) / (1 - e.e)) * std::tan(E / 2));
  const double phi = nu + e.omega * pi;
  const double s2 = std::sin(2 * phi), c2 = std::cos(2 * phi);
  const double u = phi + e.cus * s2 + e.cuc * c2;
  const double r = A * (1 - e.e * std::cos(E)) + e.crs * s2 + e.crc * c2;
  const double i = e.i0 * pi + e.idot * pi * tk + e.cis * s2 + e.cic * c2;
  const double Om = e.Omega0 * pi + (e.OmegaDot * pi - we) * tk - we * e.toe;
  const double x = r * std::cos(u), y = r * std::sin(u);
  Truth out;
  out.pos[0] = x * std::cos(Om) - y * std::cos(i) * std::sin(Om);
  out.pos[1] = x * std::sin(Om) + y * std::cos(i) * std::cos(Om);
  out.pos[2] = y * std::sin(i);
  double dt = t - e.toc;
  if (dt > 302400) dt -= 604800;
  if (dt < -302400) dt += 604800;
  out.clock = e.af0 + e.af1 * dt + e.af2 * dt * dt + F * e.e * e.sqrtA * std::sin(E);
  return out;
}

const std::vector<RinexGal>& records() {
  static const std::vector<RinexGal> r =
      readRinexGal(std::string(RX_SHARED_DIR) + "/testdata/nav/BRD400DLR_S_20230710000_01D_MN.rnx.gz");
  return r;
}

// Sends a record as words or pages; the decoded ephemeris as the store keeps it.
const ZRT_EPH_GAL* decodeRecord(Harness& h, const RinexGal& r) {
  const SvIdType sv = gal(r.svid);
  const auto tow = static_cast<std::uint32_t>(std::fmod(r.v[kTtm], 604800.0));
  if (r.fnav) {
    for (const Bytes& p : encodeFNav(r, tow)) h.feed(sv, p, kGalNavE5a, tow);
  } else {
    for (const Bytes& w : encodeINav(r, tow)) h.feed(sv, pagePair(w), kGalNavE1B, tow);
  }
  return h.eph(sv, r.fnav ? 1 : 0, r.v[kToe]);
}

TEST(GalileoOrbit, EveryRecordOfTheDayMatchesTheIcdUnderAMillimetre) {
  const auto& recs = records();
  ASSERT_GT(recs.size(), 5000u);
  Harness h;
  int checked = 0;
  std::set<int> svids;
  for (const RinexGal& r : recs) {
    const ZRT_EPH_GAL* e = decodeRecord(h, r);
    ASSERT_NE(e, nullptr) << "E" << r.svid << " toe " << r.v[kToe];
    ASSERT_EQ(e->iodNav, static_cast<int>(r.v[kIod]));
    ASSERT_NEAR(e->sqrtA, r.v[kSqrtA], 1e-6);
    const ZRT_EPH_GPS g = to_GpsTypeEphemeris(*e);
    for (double dt : {-14400.0, -3600.0, 0.0, 5400.0, 14400.0}) {
      const double t = std::fmod(e->toe + dt + 604800.0, 604800.0);
      double pos[3], vel[3], rel = 0;
      ASSERT_TRUE(compute_SatPositionByEphemeris(t, kSysGalileo, g, pos, vel, &rel));
      const Truth want = icd(*e, t);
      for (int k = 0; k < 3; ++k) ASSERT_NEAR(pos[k], want.pos[k], 1e-3) << "E" << r.svid << " t " << t;
      ASSERT_NEAR(compute_SatClockByEphemeris(t, kSysGalileo, g) + rel, want.clock, 1e-12) << "E" << r.svid;
    }
    ++checked;
    svids.insert(r.svid);
  }
  EXPECT_EQ(checked, static_cast<int>(recs.size()));
  EXPECT_TRUE(svids.count(14) && svids.count(18));
}

// E14 and E18 fly on eccentric orbits (e about 0.16): Kepler's equation needs its full
// iteration and Galileo's own mu; a GPS mu would move them by metres.
TEST(GalileoOrbit, EccentricE14AndE18) {
  Harness h;
  int checked = 0;
  for (const RinexGal& r : records()) {
    if (r.svid != 14 && r.svid != 18) continue;
    const ZRT_EPH_GAL* e = decodeRecord(h, r);
    ASSERT_NE(e, nullptr);
    ASSERT_GT(e->e, 0.15);
    const ZRT_EPH_GPS g = to_GpsTypeEphemeris(*e);
    for (double dt = -14400; dt <= 14400; dt += 1800) {
      const double t = std::fmod(e->toe + dt + 604800.0, 604800.0);
      double pos[3], vel[3], rel = 0;
      ASSERT_TRUE(compute_SatPositionByEphemeris(t, kSysGalileo, g, pos, vel, &rel));
      const Truth want = icd(*e, t);
      for (int k = 0; k < 3; ++k) ASSERT_NEAR(pos[k], want.pos[k], 1e-3) << "E" << r.svid << " t " << t;
      double gpsMu[3], v2[3], rel2 = 0;
      compute_SatPositionByEphemeris(t, kSysGps, g, gpsMu, v2, &rel2);
      if (dt != 0) {
        EXPECT_GT(std::hypot(gpsMu[0] - pos[0], gpsMu[1] - pos[1], gpsMu[2] - pos[2]), 0.1);
      }
    }
    ++checked;
  }
  EXPECT_GT(checked, 100);
}

// The store's polynomial of a decoded ephemeris follows the orbit, and its accuracy is the
// SISA's.
TEST(GalileoOrbit, StorePolynomialFromADecodedEphemeris) {
  Harness h;
  for (const RinexGal& r : records()) {
    if (r.svid != 1 || r.fnav) continue;
    const ZRT_EPH_GAL* e = decodeRecord(h, r);
    ASSERT_NE(e, nullptr);
    SatData::PolynomSetType set{};
    ASSERT_TRUE(SatPolynomStoreInstance.Take(gal(1), &set));
    const SatData::PolynomEntryType& p = set.entry[0];
    ASSERT_NE(p.iod, kPolyNoIod);
    EXPECT_EQ(p.iod, static_cast<int>(r.v[kIod]));
    EXPECT_FLOAT_EQ(std::sqrt(p.accuracy), static_cast<float>(get_GalEphemerisAccuracy(e->sisa)));
    double pos[3], vel[3], clk = 0;
    eval_Polynom(p, 0.0, pos, vel, &clk);
    const Truth want = icd(*e, p.refTime);
    for (int k = 0; k < 3; ++k) EXPECT_NEAR(pos[k], want.pos[k], 1.0);
    // The group delays of an I/NAV record: E1/E5b reference.
    EXPECT_EQ(set.tgd.source[kGalTgdRef], 2);
    EXPECT_FLOAT_EQ(set.tgd.delay[kGalTgdRef], e->bgdE1E5b);
    return;
  }
  FAIL() << "no I/NAV record of E01";
}

// An I/NAV almanac of the public vectors (E19, toa 517200 s) decoded into the store; its
// position one hour on against the ICD's almanac formulas (i = 56 deg + delta i, A from the
// nominal 29 600 km).
TEST(GalileoOrbit, AlmanacPositionInTheStore) {
  const auto v = loadVectors();
  Harness h;
  for (const char* n : {"ephINAVGalWT1", "ephINAVGalWT2", "ephINAVGalWT3", "ephINAVGalWT4", "ephINAVGalWT5",
                        "navINAVGalWT7", "navINAVGalWT8"}) {
    const Vector& x = v.at(n);
    h.feed(gal(1), x.page, x.navType, x.sow);
  }
  const auto* a = static_cast<const ZRT_ALM_GAL*>(h.store->get_AlmLastData(kSysGalileo, 18));
  ASSERT_NE(a, nullptr);
  const double t = 517200 + 3600;
  SatDataEpoch ep;
  ep.time.valid = true;
  ep.time.sec[kSysGalileo] = t;
  const double mu = 3.986004418e14, we = 7.2921151467e-5, pi = kGalPi;
  const double sqrtA = a->sqrtA;
  const double A = sqrtA * sqrtA, dt = t - a->toa - a->af0;
  const double M = a->M0 * pi + std::sqrt(mu / (A * A * A)) * dt;
  double E = M;
  for (int i = 0; i < 30; ++i) E = M + a->e * std::sin(E);
  const double u = std::atan2(std::sqrt(1 - a->e * a->e) * std::sin(E), std::cos(E) - a->e) + a->omega * pi;
  const double r = A * (1 - a->e * std::cos(E)), inc = (56.0 / 180.0 + a->deltaI) * pi;
  const double Om = a->Omega0 * pi + (a->OmegaDot * pi - we) * dt - we * a->toa;
  const double x = r * std::cos(u), y = r * std::sin(u);
  const double want[3] = {x * std::cos(Om) - y * std::cos(inc) * std::sin(Om),
                          x * std::sin(Om) + y * std::cos(inc) * std::cos(Om), y * std::sin(inc)};
  SatPosState p;
  ASSERT_TRUE(almpub::almanacPosition(*h.store, ep, kSysGalileo, 18, want, &p));
  for (int k = 0; k < 3; ++k) EXPECT_NEAR(p.pos[k], want[k], 1.0) << k;
}

}  // namespace
