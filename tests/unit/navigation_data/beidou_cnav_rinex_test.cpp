// BeiDou B-CNAV against a real multi-GNSS broadcast file (2023-03-12, BDT week 897): every CNV1
// record of the file is encoded into a B1C frame and every CNV2 record into B2a messages 10, 11
// and 30 by the test's own encoders, decoded, stored and compared field by field with the
// file; the orbits of the stored records are compared with the B-CNAV user algorithm
// (BDS-SIS-ICD-B1C 1.0 7.8.2) written here from the file's values in its own form.
#include <gtest/gtest.h>

#include "beidou_cnav_test_util.h"
#include "navigation_data/orbits/beidou_eph.h"
#include "navigation_data/orbits/gps_orbit.h"

using namespace bcnavtest;

namespace {

const std::string kFile = std::string(RX_SHARED_DIR) + "/testdata/nav/BRD400DLR_S_20230710000_01D_MN.rnx.gz";

// The B-CNAV orbit of a RINEX record at BDT second t: A and n move with Adot and delta-n-dot.
void icdPosition(const RinexCnav& r, double t, double out[3]) {
  const double* v = r.v;
  const double mu = 3.986004418e14, we = 7.2921150e-5;
  const double A0 = v[kSqrtA] * v[kSqrtA];
  double tk = t - v[kToe];
  if (tk > 302400) tk -= 604800;
  if (tk < -302400) tk += 604800;
  const double Ak = A0 + v[kAdot] * tk;
  const double n0 = std::sqrt(mu / (A0 * A0 * A0));
  const double nA = n0 + v[kDn0] + 0.5 * v[kDn0Dot] * tk;
  const double M = v[kM0] + nA * tk;
  double E = M;
  for (int i = 0; i < 60; ++i) E = M + v[kE] * std::sin(E);
  const double e = v[kE];
  const double nu = std::atan2(std::sqrt(1 - e * e) * std::sin(E), std::cos(E) - e);
  const double phi = nu + v[kOmega];
  const double u = phi + v[kCus] * std::sin(2 * phi) + v[kCuc] * std::cos(2 * phi);
  const double rad = Ak * (1 - e * std::cos(E)) + v[kCrs] * std::sin(2 * phi) + v[kCrc] * std::cos(2 * phi);
  const double inc = v[kI0] + v[kIdot] * tk + v[kCis] * std::sin(2 * phi) + v[kCic] * std::cos(2 * phi);
  const double x = rad * std::cos(u), y = rad * std::sin(u);
  const double Om = v[kOmega0] + (v[kOmegaDot] - we) * tk - we * v[kToe];
  out[0] = x * std::cos(Om) - y * std::cos(inc) * std::sin(Om);
  out[1] = x * std::sin(Om) + y * std::cos(inc) * std::cos(Om);
  out[2] = y * std::sin(inc);
}

double half(int pow2) { return std::ldexp(0.5, -pow2) * 1.0000001; }

struct Decoded {
  RinexCnav rinex;
  ZRT_EPH_CMP rec;
};

// Feeds one record as its signal's messages; the store's record after a step near toe.
const ZRT_EPH_CMP* feed(Harness& h, const RinexCnav& r) {
  const CnavFields f = fieldsOf(r);
  const auto ttm = static_cast<long long>(r.v[kTtm]);
  if (r.type == "CNV1") {
    h.b1c(bds(r.prn), encodeB1c(f, kBdtWeek, static_cast<int>(ttm / 3600)), static_cast<int>(ttm % 3600 / 18));
  } else {
    const long long sow = ttm / 3;
    h.b2a(bds(r.prn), encodeB2a10(f, r.prn, sow, kBdtWeek));
    h.b2a(bds(r.prn), encodeB2a11(f, r.prn, sow + 1));
    h.b2a(bds(r.prn), encodeB2a30(f, r.prn, sow + 2));
  }
  return h.eph(bds(r.prn), r.v[kToe] + 60);
}

// Whether the record's orbit size fits the broadcast difference from its type's reference
// axis: a few of the file's CNV2 records name the GEO type for a MEO orbit, which no message
// can carry.
bool broadcastable(const RinexCnav& r) {
  const CnavFields f = fieldsOf(r);
  return f.dA >= -(1ll << 25) && f.dA < (1ll << 25);
}

std::vector<Decoded> decodeAll(const std::string& type) {
  std::vector<Decoded> out;
  for (const RinexCnav& r : readRinexCnav(kFile)) {
    if (r.type != type || !broadcastable(r)) continue;
    // A harness per record: each record is judged alone, not merged with the other signal's.
    Harness h;
    const ZRT_EPH_CMP* e = feed(h, r);
    if (e == nullptr) {
      ADD_FAILURE() << "C" << r.prn << " " << r.type << " toc " << r.tocSow;
      continue;
    }
    out.push_back({r, *e});
  }
  return out;
}

void expectFileValues(const Decoded& d) {
  const double* v = d.rinex.v;
  const ZRT_EPH_CMP& e = d.rec;
  SCOPED_TRACE("C" + std::to_string(d.rinex.prn) + " " + d.rinex.type + " toc " + std::to_string(d.rinex.tocSow));
  EXPECT_EQ(e.prn, d.rinex.prn);
  EXPECT_EQ(e.week, kBdtWeek);
  EXPECT_EQ(e.toe, static_cast<std::uint32_t>(v[kToe]));
  EXPECT_EQ(e.toc, d.rinex.tocSow);
  EXPECT_EQ(e.iodc, static_cast<int>(v[kIodc]));
  EXPECT_EQ(e.iode, static_cast<int>(v[kIode]));
  EXPECT_EQ(e.health & 3, static_cast<int>(v[kHealth]));
  if (v[kSismai] >= 0) {
    EXPECT_EQ(e.urai, static_cast<int>(v[kSismai]));
  }
  EXPECT_EQ((e.flags >> 2) & 3, static_cast<int>(v[kSatType]));
  EXPECT_NE(e.flags & kBeidouEphFlagCnav, 0);
  EXPECT_NEAR(e.af0, v[kAf0], half(34));
  EXPECT_NEAR(e.af1, v[kAf1], half(50) + 1e-7 * std::fabs(v[kAf1]));
  EXPECT_NEAR(e.af2, v[kAf2], half(66) + 1e-7 * std::fabs(v[kAf2]));
  EXPECT_NEAR(e.sqrtA, v[kSqrtA], 1e-6);
  EXPECT_NEAR(e.e, v[kE], half(34));
  const double rad = kBdsPi * half(32);
  EXPECT_NEAR(e.M0 * kBdsPi, v[kM0], rad);
  EXPECT_NEAR(e.Omega0 * kBdsPi, v[kOmega0], rad);
  EXPECT_NEAR(e.i0 * kBdsPi, v[kI0], rad);
  EXPECT_NEAR(e.omega * kBdsPi, v[kOmega], rad);
  EXPECT_NEAR(e.deltaN * kBdsPi, v[kDn0], kBdsPi * half(44) + 1e-7 * std::fabs(v[kDn0]));
  EXPECT_NEAR(e.deltaNdot * kBdsPi, v[kDn0Dot], kBdsPi * half(57) + 1e-7 * std::fabs(v[kDn0Dot]));
  EXPECT_NEAR(e.OmegaDot * kBdsPi, v[kOmegaDot], kBdsPi * half(44) + 1e-7 * std::fabs(v[kOmegaDot]));
  EXPECT_NEAR(e.idot * kBdsPi, v[kIdot], kBdsPi * half(44) + 1e-7 * std::fabs(v[kIdot]));
  EXPECT_NEAR(e.Adot, v[kAdot], half(21));
  EXPECT_NEAR(e.crs, v[kCrs], half(8));
  EXPECT_NEAR(e.crc, v[kCrc], half(8));
  for (const auto& [got, want] : {std::pair{e.cuc, v[kCuc]}, {e.cus, v[kCus]}, {e.cic, v[kCic]}, {e.cis, v[kCis]}})
    EXPECT_NEAR(got, want, half(30) + 1e-7 * std::fabs(want));
  EXPECT_NEAR(e.tgd1, v[kTgdB1Cp], half(34) + 1e-6 * std::fabs(v[kTgdB1Cp]));
  EXPECT_NEAR(e.tgd2, v[kTgdB2ap], half(34) + 1e-6 * std::fabs(v[kTgdB2ap]));
}

}  // namespace

TEST(BeidouCnavRinex, EveryB1cRecordDecodesToTheFileValues) {
  const auto all = decodeAll("CNV1");
  ASSERT_EQ(all.size(), 634u);
  for (const Decoded& d : all) {
    expectFileValues(d);
    const ZRT_EPH_CMP& e = d.rec;
    EXPECT_NEAR(e.iscB1Cd, d.rinex.v[kIscB1Cd], half(34));
    EXPECT_EQ(e.signals, kBeidouSignalB1C);
    EXPECT_EQ(e.flags & 0xEF00, kBeidouCnavMarkB1C);
    // The frame's time: the hour of the week and the 18-s frame of the hour.
    const auto ttm = static_cast<std::uint32_t>(d.rinex.v[kTtm]);
    EXPECT_EQ(e.tow, ttm - ttm % 18);
  }
}

TEST(BeidouCnavRinex, EveryB2aRecordDecodesToTheFileValues) {
  const auto all = decodeAll("CNV2");
  ASSERT_GT(all.size(), 650u);
  for (const Decoded& d : all) {
    expectFileValues(d);
    const ZRT_EPH_CMP& e = d.rec;
    EXPECT_NEAR(e.iscB2ad, d.rinex.v[kIscB2ad], half(34));
    EXPECT_EQ(e.signals, kBeidouSignalB2a);
    EXPECT_EQ(e.flags & 0xEF00, kBeidouCnavMarkB2a);
    // Written with type 30, two counts after Ephemeris I.
    EXPECT_EQ(e.tow, static_cast<std::uint32_t>(d.rinex.v[kTtm]) / 3 * 3 + 6);
  }
}

// The shared Kepler code with the record's Adot and delta-n-dot against the B-CNAV algorithm
// over two hours either side of toe, for every CNV1 record at 06:00.
TEST(BeidouCnavRinex, OrbitsMatchTheIcdAlgorithm) {
  int checked = 0;
  for (const Decoded& d : decodeAll("CNV1")) {
    if (d.rinex.tocSow != 6 * 3600) continue;
    ZRT_EPH_GPS g;
    to_GpsLayoutEphemeris(d.rec, g);
    for (double dt = -7200; dt <= 7200; dt += 1800) {
      const double t = d.rec.toe + dt;
      double mine[3], icd[3], vel[3], rel = 0;
      ASSERT_TRUE(compute_SatPositionByEphemeris(t, kSysBeidou, g, mine, vel, &rel));
      icdPosition(d.rinex, t, icd);
      // The file's values are rounded to the broadcast units first: a few centimetres at most.
      for (int k = 0; k < 3; ++k) EXPECT_NEAR(mine[k], icd[k], 0.05) << "C" << d.rinex.prn << " dt " << dt << " axis " << k;
    }
    ++checked;
  }
  EXPECT_GT(checked, 20);
}

// Through the store: the satellite's polynomial from its B1C record agrees with the algorithm
// (one record of each satellite whose accuracy index lets the default setup use it).
TEST(BeidouCnavRinex, PolynomialsFromTheStoreMatchTheIcd) {
  int checked = 0;
  bool done[64] = {};
  for (const RinexCnav& r : readRinexCnav(kFile)) {
    if (r.type != "CNV1" || r.v[kSismai] < 0 || r.v[kSismai] > 4 || done[r.prn]) continue;
    done[r.prn] = true;
    Harness h;
    const auto ttm = static_cast<long long>(r.v[kTtm]);
    h.b1c(bds(r.prn), encodeB1c(fieldsOf(r), kBdtWeek, static_cast<int>(ttm / 3600)), static_cast<int>(ttm % 3600 / 18));
    const double t0 = r.v[kToe] + 300;
    h.step(t0);
    ASSERT_NE(h.eph(bds(r.prn), t0), nullptr);
    std::uint8_t status = 0;
    std::uint16_t iod = kPolyNoIod;
    int dataType = -1;
    float acc = 0;
    double dt = 0;
    const auto* p =
        SatPolynomStoreInstance.get_PolynomData(bds(r.prn), t0 + 20, false, false, &status, &iod, &dataType, &acc, &dt);
    ASSERT_NE(p, nullptr) << "C" << r.prn << " status " << int(status);
    double pos[3], vel[3];
    eval_Polynom(*p, dt, pos, vel, nullptr);
    const int type = dataType;
    SatPolynomStoreInstance.free_PolynomData();
    EXPECT_EQ(type, 1) << "C" << r.prn;
    double icd[3];
    icdPosition(r, t0 + 20, icd);
    for (int k = 0; k < 3; ++k) EXPECT_NEAR(pos[k], icd[k], 0.1) << "C" << r.prn << " axis " << k;
    ++checked;
  }
  EXPECT_GT(checked, 20);
}

// A satellite heard on B2a and then B1C: the store's record holds both signals' delays, and the
// group-delay set the measurement users read has the B1C and B2a delays of the file's values.
TEST(BeidouCnavRinex, BothSignalsGroupDelaysReachTheDelaySet) {
  std::vector<RinexCnav> cnv1, cnv2;
  for (const RinexCnav& r : readRinexCnav(kFile)) {
    if (!broadcastable(r) || r.v[kSismai] < 0 || r.v[kSismai] > 4) continue;
    (r.type == "CNV1" ? cnv1 : cnv2).push_back(r);
  }
  int checked = 0;
  for (const RinexCnav& b1c : cnv1) {
    for (const RinexCnav& b2a : cnv2) {
      if (b2a.prn != b1c.prn || b2a.tocSow != b1c.tocSow || b2a.v[kToe] != b1c.v[kToe]) continue;
      Harness h;
      ASSERT_NE(feed(h, b2a), nullptr);
      const ZRT_EPH_CMP* e = feed(h, b1c);
      ASSERT_NE(e, nullptr);
      const std::string at = "C" + std::to_string(b1c.prn) + " toc " + std::to_string(b1c.tocSow);
      EXPECT_EQ(e->signals, kBeidouSignalB1C | kBeidouSignalB2a) << at;
      EXPECT_NEAR(e->iscB2ad, b2a.v[kIscB2ad], half(34)) << at << ": kept from the B2a record";
      EXPECT_NEAR(e->iscB1Cd, b1c.v[kIscB1Cd], half(34)) << at;
      h.step(b1c.v[kToe] + 61);
      const SatData::TgdSetType* set = SatPolynomStoreInstance.get_TgdData(bds(b1c.prn));
      ASSERT_NE(set, nullptr) << at;
      const SatData::TgdSetType tgd = *set;
      SatPolynomStoreInstance.free_PolynomData();
      EXPECT_EQ(tgd.source[kBeidouTgdFieldB1C], 2) << at;
      EXPECT_EQ(tgd.source[kBeidouTgdFieldB2a], 2) << at;
      EXPECT_NEAR(tgd.delay[kBeidouTgdFieldB1C], b1c.v[kTgdB1Cp] + 0.5 * b1c.v[kIscB1Cd], 2 * half(34)) << at;
      EXPECT_NEAR(tgd.delay[kBeidouTgdFieldB2a], b2a.v[kTgdB2ap] + 0.5 * b2a.v[kIscB2ad], 2 * half(34)) << at;
      ++checked;
      break;
    }
    if (checked >= 20) break;
  }
  EXPECT_GE(checked, 10);
}
