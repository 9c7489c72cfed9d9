// NavIC against a real multi-GNSS broadcast file (2023-03-12, week 2253): every NavIC record
// of the file is encoded into subframes 1 and 2 by the test's own encoder, decoded, stored,
// and compared field by field with the file; the stored records' orbits (the shared Kepler
// code, and the store's polynomials) are compared with the IRNSS ICD's algorithm written here
// in its own form (ICD 1.1 table 22, with its constants).
#include <gtest/gtest.h>

#include "published_almanac.h"
#include "navic_test_util.h"
#include "navigation_data/orbits/gps_orbit.h"
#include "navigation_data/orbits/navic_eph.h"
#include "navigation_data/orbits/sat_polynom.h"
#include "unit/own_process.h"

using namespace irntest;

namespace {

const std::string kFile = std::string(RX_SHARED_DIR) + "/testdata/nav/BRD400DLR_S_20230710000_01D_MN.rnx.gz";

int uraIndexOf(double metres) {
  const double table[15] = {2.0, 2.8, 4.0, 5.7, 8.0, 11.3, 16.0, 32.0, 64.0, 128.0, 256.0, 512.0, 1024.0, 2048.0, 4096.0};
  for (int i = 0; i < 15; ++i)
    if (metres <= table[i]) return i;
  return 15;
}

Ephemeris fromRinex(const RinexIrn& r) {
  const double* v = r.v;
  auto sc = [](double rad) { return rad / kIcdPi; };
  Ephemeris f;
  f.wn = static_cast<long long>(v[kWeek]) % 1024;
  f.af0 = q(v[kAf0], 31), f.af1 = q(v[kAf1], 43), f.af2 = q(v[kAf2], 55);
  f.ura = uraIndexOf(v[kUra]);
  f.toc = r.tocSow / 16;
  f.tgd = q(v[kTgd], 31);
  f.dn = q(sc(v[kDn]), 41);
  f.iodec = static_cast<long long>(v[kIodec]);
  f.l5 = (static_cast<int>(v[kHealth]) >> 1) & 1, f.s = static_cast<int>(v[kHealth]) & 1;
  f.cuc = q(v[kCuc], 28), f.cus = q(v[kCus], 28), f.cic = q(v[kCic], 28), f.cis = q(v[kCis], 28);
  f.crc = q(v[kCrc], 4), f.crs = q(v[kCrs], 4), f.idot = q(sc(v[kIdot]), 43);
  f.m0 = q(sc(v[kM0]), 31), f.toe = static_cast<long long>(v[kToe]) / 16, f.e = q(v[kE], 33);
  f.sqrtA = q(v[kSqrtA], 19), f.omega0 = q(sc(v[kOmega0]), 31), f.omega = q(sc(v[kOmega]), 31);
  f.omegaDot = q(sc(v[kOmegaDot]), 41), f.i0 = q(sc(v[kI0]), 31);
  return f;
}

// IRNSS SPS ICD 1.1 table 22: the user algorithm for ephemeris, with the ICD's constants.
void icdPosition(const ZRT_EPH_IRS& e, double t, double out[3]) {
  const double mu = 3.986005e14, we = 7.2921151467e-5, pi = kIcdPi;
  const double A = e.sqrtA * e.sqrtA;
  double tk = t - e.toe;
  if (tk > 302400) tk -= 604800;
  if (tk < -302400) tk += 604800;
  const double n = std::sqrt(mu / (A * A * A)) + e.deltaN * pi;
  const double M = e.M0 * pi + n * tk;
  double E = M;
  for (int i = 0; i < 50; ++i) E = M + e.e * std::sin(E);
  const double nu = std::atan2(std::sqrt(1 - e.e * e.e) * std::sin(E), std::cos(E) - e.e);
  const double phi = nu + e.omega * pi;
  const double u = phi + e.cus * std::sin(2 * phi) + e.cuc * std::cos(2 * phi);
  const double r = A * (1 - e.e * std::cos(E)) + e.crs * std::sin(2 * phi) + e.crc * std::cos(2 * phi);
  const double i = e.i0 * pi + e.idot * pi * tk + e.cis * std::sin(2 * phi) + e.cic * std::cos(2 * phi);
  const double x = r * std::cos(u), y = r * std::sin(u);
  const double Om = e.Omega0 * pi + (e.OmegaDot * pi - we) * tk - we * e.toe;
  out[0] = x * std::cos(Om) - y * std::cos(i) * std::sin(Om);
  out[1] = x * std::sin(Om) + y * std::cos(i) * std::cos(Om);
  out[2] = y * std::sin(i);
}

double half(int pow2) { return std::ldexp(0.5, -pow2) * 1.0000001; }

struct Decoded {
  RinexIrn rinex;
  ZRT_EPH_IRS rec;
};

std::vector<Decoded> decodeAll(Harness& h) {
  std::vector<Decoded> out;
  for (const RinexIrn& r : readRinexIrn(kFile)) {
    const Ephemeris f = fromRinex(r);
    h.feed(irn(r.prn), encodeSubframe1(f, r.tocSow / 12));
    h.feed(irn(r.prn), encodeSubframe2(f, r.tocSow / 12 + 1));
    const ZRT_EPH_IRS* e = h.eph(irn(r.prn), r.v[kToe] + 60);
    if (e == nullptr) {
      ADD_FAILURE() << "I" << r.prn << " " << r.tocSow;
      continue;
    }
    out.push_back({r, *e});
  }
  return out;
}

}  // namespace

TEST_OWN(NavicRinex, EveryRecordDecodesToTheFileValues) {
  Harness h;
  const auto all = decodeAll(h);
  EXPECT_GT(all.size(), 250u);
  for (const Decoded& d : all) {
    const double* v = d.rinex.v;
    const ZRT_EPH_IRS& e = d.rec;
    const double pi = kIcdPi;
    SCOPED_TRACE("I" + std::to_string(d.rinex.prn) + " " + std::to_string(d.rinex.tocSow));
    EXPECT_EQ(e.prn, d.rinex.prn);
    EXPECT_EQ(e.toc, d.rinex.tocSow);
    EXPECT_EQ(e.toe, static_cast<std::uint32_t>(v[kToe]));
    EXPECT_EQ(e.week, static_cast<int>(v[kWeek]) % 1024);
    EXPECT_EQ(e.iodec, static_cast<int>(v[kIodec]));
    EXPECT_EQ(e.health, static_cast<int>(v[kHealth]));
    EXPECT_DOUBLE_EQ(get_NavicEphemerisAccuracy(e.ura), v[kUra]);
    EXPECT_NEAR(e.af0, v[kAf0], half(31));
    EXPECT_NEAR(e.af1, v[kAf1], half(43) + 1e-7 * std::fabs(v[kAf1]));
    EXPECT_NEAR(e.af2, v[kAf2], half(55));
    EXPECT_NEAR(e.tgd, v[kTgd], half(31) + 1e-7 * std::fabs(v[kTgd]));
    EXPECT_NEAR(e.sqrtA, v[kSqrtA], half(19));
    EXPECT_NEAR(e.e, v[kE], half(33));
    for (const auto& [got, want] : {std::pair{e.M0, v[kM0]}, {e.Omega0, v[kOmega0]}, {e.i0, v[kI0]}, {e.omega, v[kOmega]}})
      EXPECT_NEAR(got * pi, want, half(31) * pi + 1e-12);
    EXPECT_NEAR(e.deltaN * pi, v[kDn], half(41) * pi + 1e-7 * std::fabs(v[kDn]));
    EXPECT_NEAR(e.OmegaDot * pi, v[kOmegaDot], half(41) * pi + 1e-7 * std::fabs(v[kOmegaDot]));
    EXPECT_NEAR(e.idot * pi, v[kIdot], half(43) * pi + 1e-7 * std::fabs(v[kIdot]));
    for (const auto& [got, want] : {std::pair{e.crc, v[kCrc]}, {e.crs, v[kCrs]}})
      EXPECT_NEAR(got, want, half(4) + 1e-7 * std::fabs(want));
    for (const auto& [got, want] : {std::pair{e.cuc, v[kCuc]}, {e.cus, v[kCus]}, {e.cic, v[kCic]}, {e.cis, v[kCis]}})
      EXPECT_NEAR(got, want, half(28) + 1e-7 * std::fabs(want));
    EXPECT_EQ(e.signals, 1);
  }
}

// The shared Kepler code against the ICD algorithm over two hours either side of toe, for a
// record of every satellite in the file (GEO and IGSO).
TEST_OWN(NavicRinex, OrbitsMatchTheIcdAlgorithm) {
  Harness h;
  bool seen[15] = {};
  int sats = 0;
  for (const Decoded& d : decodeAll(h)) {
    const int prn = d.rinex.prn;
    if (prn < 1 || prn > 14 || seen[prn]) continue;
    seen[prn] = true;
    ++sats;
    EXPECT_TRUE(is_NavicEphemerisPlausible(d.rec)) << "I" << prn;
    ZRT_EPH_GPS g;
    to_GpsLayoutEphemeris(d.rec, g);
    for (double dt = -7200; dt <= 7200; dt += 1800) {
      const double t = d.rec.toe + dt;
      double mine[3], icd[3], vel[3], rel = 0;
      ASSERT_TRUE(compute_SatPositionByEphemeris(t, kSysNavic, g, mine, vel, &rel));
      icdPosition(d.rec, t, icd);
      for (int k = 0; k < 3; ++k) EXPECT_NEAR(mine[k], icd[k], 1e-3) << "I" << prn << " dt " << dt << " axis " << k;
      double ahead[3], behind[3];
      icdPosition(d.rec, t + 0.5, ahead);
      icdPosition(d.rec, t - 0.5, behind);
      for (int k = 0; k < 3; ++k) EXPECT_NEAR(vel[k], ahead[k] - behind[k], 1e-3) << "I" << prn << " velocity " << k;
    }
  }
  EXPECT_EQ(sats, 4) << "I02, I03, I06, I09 in the file";
}

// Through the store: the polynomial published for each satellite agrees with the ICD position.
TEST_OWN(NavicRinex, PolynomialsFromTheStoreMatchTheIcd) {
  Harness h;
  int checked = 0;
  bool seen[15] = {};
  for (const RinexIrn& r : readRinexIrn(kFile)) {
    if (r.prn < 1 || r.prn > 14 || seen[r.prn] || r.tocSow < 7200) continue;
    seen[r.prn] = true;
    const Ephemeris f = fromRinex(r);
    h.feed(irn(r.prn), encodeSubframe1(f, r.tocSow / 12));
    h.feed(irn(r.prn), encodeSubframe2(f, r.tocSow / 12 + 1));
    const double t0 = r.v[kToe] + 300;
    const ZRT_EPH_IRS* e = h.eph(irn(r.prn), t0);
    ASSERT_NE(e, nullptr);
    std::uint8_t status = 0;
    std::uint16_t iod = kPolyNoIod;
    int dataType = -1;
    float acc = 0;
    double dt = 0;
    const auto* p = SatPolynomStoreInstance.get_PolynomData(irn(r.prn), t0 + 20, false, false, &status, &iod,
                                                            &dataType, &acc, &dt);
    ASSERT_NE(p, nullptr) << "I" << r.prn << " status " << int(status);
    double pos[3], vel[3];
    eval_Polynom(*p, dt, pos, vel, nullptr);
    const float accuracy = acc;
    SatPolynomStoreInstance.free_PolynomData();
    double icd[3];
    icdPosition(*e, t0 + 20, icd);
    for (int k = 0; k < 3; ++k) EXPECT_NEAR(pos[k], icd[k], 0.01) << "I" << r.prn << " axis " << k;
    EXPECT_EQ(iod, static_cast<int>(r.v[kIodec]));
    const double ura = get_NavicEphemerisAccuracy(e->ura);
    EXPECT_FLOAT_EQ(accuracy, static_cast<float>(ura * ura));
    ++checked;
  }
  EXPECT_EQ(checked, 4);
}

// An almanac made of a satellite's broadcast elements sits where its ephemeris puts it, within
// the few kilometres the harmonic terms account for; the store computes it for the slot.
TEST_OWN(NavicRinex, AlmanacPositionsFollowTheOrbit) {
  Harness h;
  h.step(0, 205);
  int checked = 0;
  bool done[15] = {};
  for (const Decoded& d : decodeAll(h)) {
    const int prn = d.rinex.prn;
    if (prn < 1 || prn > 14 || done[prn] || d.rinex.tocSow < 7200) continue;
    done[prn] = true;
    const ZRT_EPH_IRS& e = d.rec;
    ZRT_ALM_IRS a{};
    a.prn = static_cast<std::uint8_t>(prn);
    a.toa = static_cast<std::int32_t>(e.toe);
    a.week = static_cast<std::int16_t>(e.week);
    a.sqrtA = static_cast<float>(e.sqrtA), a.e = static_cast<float>(e.e), a.M0 = static_cast<float>(e.M0);
    a.omega = static_cast<float>(e.omega), a.Omega0 = static_cast<float>(e.Omega0);
    a.OmegaDot = e.OmegaDot, a.i0 = static_cast<float>(e.i0);
    ASSERT_TRUE(h.store->update_AlmanacData(irn(prn), 0, &a, false)) << "I" << prn;
    SatDataEpoch ep;
    ep.time.valid = true;
    ep.time.sec[kSysNavic] = e.toe + 1800.0;
    ep.time.cycleKnown[kSysNavic] = true;
    ep.time.cycle[kSysNavic] = 205;
    ep.monoSec = 1;
    double icd[3];
    icdPosition(e, e.toe + 1800.0, icd);
    SatPosState p;
    ASSERT_TRUE(almpub::almanacPosition(*h.store, ep, kSysNavic, prn - 1, icd, &p)) << "I" << prn;
    EXPECT_LT(std::hypot(p.pos[0] - icd[0], p.pos[1] - icd[1], p.pos[2] - icd[2]), 5000) << "I" << prn;
    ++checked;
  }
  EXPECT_EQ(checked, 4);
}
