// The CNAV and CNAV-2 decoders rule by rule, on messages written here from IS-GPS-200
// section 30 and IS-GPS-800 section 3.5, and the CNAV orbit against the LNAV orbit of the same
// satellites from a day of broadcast ephemerides.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "cnav_test_util.h"
#include "lnav_test_util.h"
#include "navigation_data/orbits/gps_orbit.h"
#include "navigation_data/orbits/sat_polynom.h"
#include "navigation_data/orbits/sbas_qzss_eph.h"
#include "unit/own_process.h"

using namespace cnavtest;

namespace {

// Raw broadcast fields of one CNAV ephemeris (IS-GPS-200 Tables 30-I to 30-III units).
struct Raw {
  int wn = 2253, health = 0, top = 1782, uraEd = -2, toe = 1794, toc = 1794;
  std::int64_t dA = 1000, aDot = -300, dn0 = 20000, dn0Dot = 1000;
  std::int64_t m0 = 123456789, e = 90000000, omega = -987654321, omega0 = 555555555, i0 = 1300000000;
  std::int64_t dOmegaDot = 5000, idot = -300, cis = 40, cic = -40, crs = 3000, crc = 40000, cus = 5000, cuc = -5000;
  int ned0 = -3, ned1 = 2, ned2 = 3;
  std::int64_t af0 = 100000, af1 = -2000, af2 = 3;
  int tgd = -20, isc[4] = {5, 6, 7, 8};
};

Msg msg10(int prn, std::uint32_t towCount, const Raw& r) {
  Msg w = cnavHeader(prn, 10, towCount);
  putBits(w, 39, 13, r.wn), putBits(w, 52, 3, r.health), putBits(w, 55, 11, r.top), putBits(w, 66, 5, r.uraEd);
  putBits(w, 71, 11, r.toe), putBits(w, 82, 26, r.dA), putBits(w, 108, 25, r.aDot), putBits(w, 133, 17, r.dn0);
  putBits(w, 150, 23, r.dn0Dot), putBits(w, 173, 33, r.m0), putBits(w, 206, 33, r.e), putBits(w, 239, 33, r.omega);
  return w;
}
Msg msg11(int prn, std::uint32_t towCount, const Raw& r) {
  Msg w = cnavHeader(prn, 11, towCount);
  putBits(w, 39, 11, r.toe), putBits(w, 50, 33, r.omega0), putBits(w, 83, 33, r.i0), putBits(w, 116, 17, r.dOmegaDot);
  putBits(w, 133, 15, r.idot), putBits(w, 148, 16, r.cis), putBits(w, 164, 16, r.cic), putBits(w, 180, 24, r.crs);
  putBits(w, 204, 24, r.crc), putBits(w, 228, 21, r.cus), putBits(w, 249, 21, r.cuc);
  return w;
}
// The clock block shared by types 30 to 37.
Msg clockMsg(int prn, int type, std::uint32_t towCount, const Raw& r) {
  Msg w = cnavHeader(prn, type, towCount);
  putBits(w, 39, 11, r.top), putBits(w, 50, 5, r.ned0), putBits(w, 55, 3, r.ned1), putBits(w, 58, 3, r.ned2);
  putBits(w, 61, 11, r.toc), putBits(w, 72, 26, r.af0), putBits(w, 98, 20, r.af1), putBits(w, 118, 10, r.af2);
  return w;
}
Msg msg30(int prn, std::uint32_t towCount, const Raw& r) {
  Msg w = clockMsg(prn, 30, towCount, r);
  putBits(w, 128, 13, r.tgd);
  for (int k = 0; k < 4; ++k) putBits(w, 141 + 13 * k, 13, r.isc[k]);
  return w;
}

// A CNAV-2 frame: TOI, subframe 2 from the same raw fields (IS-GPS-800 Figure 3.5-1), and the
// page number of subframe 3.
Frame frame(int toi, int itow, const Raw& r, int page = 1) {
  Frame w{};
  putBits(w, 1, 9, toi), putBits(w, 10, 13, r.wn), putBits(w, 23, 8, itow), putBits(w, 31, 11, r.top);
  putBits(w, 42, 1, r.health), putBits(w, 43, 5, r.uraEd), putBits(w, 48, 11, r.toe), putBits(w, 59, 26, r.dA);
  putBits(w, 85, 25, r.aDot), putBits(w, 110, 17, r.dn0), putBits(w, 127, 23, r.dn0Dot), putBits(w, 150, 33, r.m0);
  putBits(w, 183, 33, r.e), putBits(w, 216, 33, r.omega), putBits(w, 249, 33, r.omega0), putBits(w, 282, 33, r.i0);
  putBits(w, 315, 17, r.dOmegaDot), putBits(w, 332, 15, r.idot), putBits(w, 347, 16, r.cis), putBits(w, 363, 16, r.cic);
  putBits(w, 379, 24, r.crs), putBits(w, 403, 24, r.crc), putBits(w, 427, 21, r.cus), putBits(w, 448, 21, r.cuc);
  putBits(w, 469, 5, r.ned0), putBits(w, 474, 3, r.ned1), putBits(w, 477, 3, r.ned2), putBits(w, 480, 26, r.af0);
  putBits(w, 506, 20, r.af1), putBits(w, 526, 10, r.af2), putBits(w, 536, 13, r.tgd), putBits(w, 549, 13, r.isc[0]);
  putBits(w, 562, 13, r.isc[1]), putBits(w, 618, 6, page);
  return w;
}

const SvIdType kG5{4, kSysGps, 0, 4};
const SvIdType kJ1{0, kSysQzss, 0, 0};

// Feeds types 10, 11 and 30 of one ephemeris, 12 s apart from TOW count `tow`.
void feedEph(Harness& h, SvIdType sv, const Raw& r, std::uint32_t tow = 88000) {
  const int prn = kNavFirstSatNumber[sv.sys] + sv.si;
  h.feed(sv, msg10(prn, tow, r));
  h.feed(sv, msg11(prn, tow + 2, r));
  h.feed(sv, msg30(prn, tow + 4, r));
}

// The URA index from the ICD's formulas (IS-GPS-200 30.3.3.1.1.4, 30.3.3.2.4) in a form of
// the test's own: the upper bound of each index, and NED growing from top.
int uraIndexByIcd(int ed, int ned0, int n1, int n2, double dt) {
  auto bound = [](int i) {
    const double b[31] = {0.01, 0.014, 0.024, 0.035, 0.049, 0.069, 0.094, 0.128, 0.177, 0.251, 0.359,
                          0.508, 0.71, 1.01, 1.43, 2.02, 2.86, 4.06, 5.76, 8.13, 11.48, 18.1, 33.94,
                          67.88, 135.76, 271.53, 543.06, 1086.12, 2172.23, 4344.46, 8600.0};
    return i <= -16 ? 20000.0 : b[i + 15];
  };
  while (dt > 302400) dt -= 604800;
  while (dt < -302400) dt += 604800;
  dt = std::max(dt, 0.0);
  double ned = bound(ned0) + dt / std::pow(2.0, 14 + n1);
  if (dt > 93600) ned += (dt - 93600) * (dt - 93600) / std::pow(2.0, 28 + n2);
  const double acc = std::hypot(bound(ed), ned);
  const double lnav[15] = {2.4, 3.4, 4.85, 6.85, 9.65, 13.65, 24, 48, 96, 192, 384, 768, 1536, 3072, 6144};
  int i = 0;
  while (i < 15 && !(lnav[i] > acc)) ++i;
  return i;
}

TEST_OWN(GpsCnavRules, EphemerisRecordFromTheThreeMessages) {
  const struct { SvIdType sv; double aRef; } rows[] = {{kG5, 26559710.0}, {kJ1, 42164200.0}};
  for (const auto& row : rows) {
    Harness h;
    Raw r;
    feedEph(h, row.sv, r);
    const ZRT_EPH_GPS* e = h.eph(row.sv, 1, r.toe * 300.0);
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->prn, kNavFirstSatNumber[row.sv.sys] + row.sv.si);
    EXPECT_EQ(e->tow, 88000u * 6);  // TOW count of type 10 x 6 s
    EXPECT_EQ(e->flags, 0x1014);
    EXPECT_EQ(e->week, 2253);  // all 13 bits
    EXPECT_EQ(e->iodc, 1794 % 256);
    EXPECT_EQ(e->iode, 1794 % 256);
    EXPECT_EQ(e->toc, 1794 * 300);
    EXPECT_EQ(e->toe, 1794u * 300);
    EXPECT_EQ(e->top, 1782u * 300);
    EXPECT_DOUBLE_EQ(e->sqrtA * e->sqrtA, row.aRef + 1000 / 512.0);
    EXPECT_DOUBLE_EQ(e->Adot, -300 / 2097152.0);
    EXPECT_FLOAT_EQ(e->OmegaDot, static_cast<float>(-2.6e-9 + 5000 * std::pow(2.0, -44)));
    EXPECT_FLOAT_EQ(e->deltaNdot, static_cast<float>(1000 * std::pow(2.0, -57)));
    EXPECT_DOUBLE_EQ(e->e, 90000000 * std::pow(2.0, -34));
    EXPECT_DOUBLE_EQ(e->omega, -987654321 * std::pow(2.0, -32));
    EXPECT_DOUBLE_EQ(e->af0, 100000 * std::pow(2.0, -35));
    EXPECT_FLOAT_EQ(e->crc, 40000 / 256.0f);
    EXPECT_EQ(e->uraEd, -2);
    EXPECT_EQ(e->uraNed0, -3);
    EXPECT_EQ(e->uraNed1, 2);
    EXPECT_EQ(e->uraNed2, 3);
    EXPECT_EQ(e->rawCheck, 65535);
    EXPECT_EQ(e->source, 2);  // signal number 1
    EXPECT_EQ(e->iscFlags, kIscFlagIsc1 | kIscFlagIsc2 | kIscFlagIsc3);
    EXPECT_FLOAT_EQ(e->tgd, -20 * std::pow(2.0f, -35));
    EXPECT_FLOAT_EQ(e->isc3, 7 * std::pow(2.0f, -35));
    // The record is used: plausible orbit, data type 1 of the store.
    EXPECT_TRUE(h.store->is_EphemerisValid(row.sv.sys, row.sv.si, 1, SatelliteDataProcessor::kLastStored));
  }
}

// check(): the four parts and one toe in all three; a disagreeing block is cleared whole.
TEST_OWN(GpsCnavRules, BlockNeedsFourPartsOfOneToe) {
  const struct { const char* what; int skip; int toe11, toc; bool stored; } rows[] = {
      {"complete", -1, 1794, 1794, true},
      {"no type 10", 0, 1794, 1794, false},
      {"no type 11", 1, 1794, 1794, false},
      {"no type 30 (clock and delays)", 2, 1794, 1794, false},
      {"type 11 of another toe", -1, 1800, 1794, false},
      {"clock of another toc", -1, 1794, 1800, false},
  };
  for (const auto& row : rows) {
    Harness h;
    Raw r;
    Raw r11 = r;
    r11.toe = row.toe11;
    Raw rc = r;
    rc.toc = row.toc;
    if (row.skip != 0) h.feed(kG5, msg10(5, 100, r));
    if (row.skip != 1) h.feed(kG5, msg11(5, 102, r11));
    if (row.skip != 2) h.feed(kG5, msg30(5, 104, rc));
    EXPECT_EQ(h.count(kG5, 1) != 0, row.stored) << row.what;
    if (!row.stored && row.skip < 0) {
      // The whole block went: a matching type 11 and clock alone do not complete it.
      h.feed(kG5, msg11(5, 106, r));
      h.feed(kG5, msg30(5, 108, r));
      EXPECT_EQ(h.count(kG5, 1), 0) << row.what;
      h.feed(kG5, msg10(5, 110, r));
      EXPECT_NE(h.count(kG5, 1), 0) << row.what;
    }
  }
  // The first copy of a part wins; a clock from type 33 serves as well as from type 30.
  Harness h;
  Raw a, b;
  b.m0 = 1;
  h.feed(kG5, msg10(5, 100, a));
  h.feed(kG5, msg10(5, 101, b));
  h.feed(kG5, clockMsg(5, 33, 102, a));
  h.feed(kG5, msg11(5, 103, a));
  EXPECT_EQ(h.count(kG5, 1), 0);  // group delays only come with type 30
  h.feed(kG5, msg30(5, 104, b));
  const ZRT_EPH_GPS* e = h.eph(kG5, 1, a.toe * 300.0);
  ASSERT_NE(e, nullptr);
  EXPECT_DOUBLE_EQ(e->M0, a.m0 * std::pow(2.0, -32));
}

// The LNAV-shaped URA index: NED grows linearly, squared beyond 93600 s, across the week.
TEST_OWN(GpsCnavRules, UraIndexWithSquaredNed2Term) {
  const struct { int ed, ned0, n1, n2; double dt; int want; } rows[] = {
      {-2, -3, 2, 3, 0, 0},            // 1.01 and 0.71 m
      {0, 0, 0, 0, 93600, 4},          // 2.02 and 2.02 + 5.71 m: only the linear term
      {0, 0, 0, 0, 93601, 4},          // the squared term starts at zero
      {0, 0, 0, 0, 93600 + 36000, 6},  // + (36000 s)^2 / 2^28 = 4.8 m (linear in it: index 5)
      {0, 0, 0, 0, 93600 + 60000, 7},
      {0, 0, 7, 7, 93600 + 36000, 1},  // the smallest rates: 2.9 m
      {5, 5, 0, 0, 0, 6},              // 11.48 m each
      {-16, 0, 0, 0, 0, 15},           // no accuracy prediction
      {0, -16, 0, 0, 0, 15},
      {15, 0, 0, 0, 0, 15},            // 8600 m: above every bound
      {0, 0, 0, 0, -604800 + 93600 + 36000, 6},  // top in the week before
      {0, 0, 0, 0, -3600, 1},          // before top: no growth (2.86 m)
  };
  for (const auto& r : rows) {
    EXPECT_EQ(get_CnavUraIndex(r.ed, r.ned0, r.n1, r.n2, r.dt), r.want) << r.dt;
    EXPECT_EQ(get_CnavUraIndex(r.ed, r.ned0, r.n1, r.n2, r.dt), uraIndexByIcd(r.ed, r.ned0, r.n1, r.n2, r.dt));
  }
  // Through the decoder: top of the week before, the record time 12 s into the next week.
  Harness h;
  Raw r;
  r.top = 1758, r.toe = r.toc = 18, r.uraEd = 0, r.ned0 = 0, r.ned1 = 0, r.ned2 = 0;
  feedEph(h, kG5, r, 2);
  const ZRT_EPH_GPS* e = h.eph(kG5, 1, 5400);
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(e->ura, uraIndexByIcd(0, 0, 0, 0, 12 + 604800 - 527400));
}

// The 13-bit pattern -4096 is a delay not broadcast: no value and no presence mark; a TGD so
// marked gives no group delays at all.
TEST_OWN(GpsCnavRules, DelaysNotBroadcast) {
  const struct { const char* what; int tgd, i0, i1, i2; std::uint8_t cnav, cnav2; } rows[] = {
      {"all broadcast", -20, 5, 6, 7, kIscFlagIsc1 | kIscFlagIsc2 | kIscFlagIsc3, kIscFlagCnav2Isc2},
      {"TGD absent", -4096, 5, 6, 7, kIscFlagNoTgd | kIscFlagIsc1 | kIscFlagIsc2 | kIscFlagIsc3,
       kIscFlagNoTgd | kIscFlagCnav2Isc2},
      {"first ISC absent", -20, -4096, 6, 7, kIscFlagIsc2 | kIscFlagIsc3, kIscFlagCnav2Isc2},
      {"second ISC absent", -20, 5, -4096, 7, kIscFlagIsc1 | kIscFlagIsc3, 0},
      {"third ISC absent", -20, 5, 6, -4096, kIscFlagIsc1 | kIscFlagIsc2, kIscFlagCnav2Isc2},
      {"-4095 is a value", -4095, 5, 6, 7, kIscFlagIsc1 | kIscFlagIsc2 | kIscFlagIsc3, kIscFlagCnav2Isc2},
  };
  for (const auto& row : rows) {
    Harness h;
    Raw r;
    r.tgd = row.tgd, r.isc[0] = row.i0, r.isc[1] = row.i1, r.isc[2] = row.i2;
    feedEph(h, kG5, r);
    h.feed(kG5, frame(10, 48, r));
    const ZRT_EPH_GPS* c1 = h.eph(kG5, 1, r.toe * 300.0);
    const ZRT_EPH_GPS* c2 = h.eph(kG5, 2, r.toe * 300.0);
    ASSERT_TRUE(c1 != nullptr && c2 != nullptr) << row.what;
    EXPECT_EQ(c1->iscFlags, row.cnav) << row.what;
    EXPECT_EQ(c2->iscFlags, row.cnav2) << row.what;
    const float want = row.tgd == -4096 ? 0.0f : static_cast<float>(std::ldexp(row.tgd, -35));
    EXPECT_EQ(c1->tgd, want) << row.what;
    EXPECT_EQ(c2->tgd, want) << row.what;
    EXPECT_EQ(c2->isc1, row.i0 == -4096 ? 0.0f : static_cast<float>(std::ldexp(row.i0, -35))) << row.what;
    for (const ZRT_EPH_GPS* e : {c1, c2}) {
      SatData::TgdSetType set{};
      update_SatelliteTgd(*e, e == c1 ? 1 : 2, set);
      float d[6] = {};
      std::uint8_t s[6] = {};
      update_QzssTgd(*e, e == c1 ? 1 : 2, d, s);
      // 36 m of false delay from an absent TGD would show in field 1 (GPS) and 0 (QZSS).
      EXPECT_EQ(set.source[1], row.tgd == -4096 ? 0 : 2) << row.what;
      EXPECT_EQ(s[0], row.tgd == -4096 ? 0 : 2) << row.what;
    }
  }
}

// Differential corrections: type 34 at once, types 13 and 14 when their issues agree; the
// target satellite from its number.
TEST_OWN(GpsCnavRules, DifferentialCorrections) {
  const struct { int number; bool applied; SvIdType target; } targets[] = {
      {5, true, {4, kSysGps, 0, 4}},   {32, true, {31, kSysGps, 0, 31}}, {193, true, {0, kSysQzss, 0, 0}},
      {199, true, {6, kSysQzss, 0, 6}}, {0, false, {}},                  {33, false, {}},
      {150, false, {}},                 {200, false, {}},
  };
  for (const auto& t : targets) {
    Harness h;
    Raw r;
    Msg w = clockMsg(5, 34, 100, r);
    putBits(w, 128, 11, 100), putBits(w, 139, 11, 101), putBits(w, 150, 1, 1);
    putBits(w, 151, 8, t.number), putBits(w, 159, 13, -7), putBits(w, 172, 8, 3), putBits(w, 180, 5, -2);
    putBits(w, 185, 8, 255);
    const Handed out = h.feed(kG5, w);
    ASSERT_EQ(out.dcCount, t.applied ? 1 : 0) << t.number;
    if (!t.applied) continue;
    EXPECT_EQ(out.dcSv[0], t.target) << t.number;
    EXPECT_EQ(out.dc[0].topD, 30000u);
    EXPECT_EQ(out.dc[0].tod, 30300u);
    EXPECT_EQ(out.dc[0].txSat, 5);
    EXPECT_EQ(out.dc[0].flags, 0x07);  // valid, DC data type 1, clock part
    EXPECT_FLOAT_EQ(out.dc[0].daf0, -7 * std::pow(2.0f, -35));
    EXPECT_FLOAT_EQ(out.dc[0].daf1, 3 * std::pow(2.0f, -51));
  }
  // Types 13 and 14: six clock and two orbit packets, 255 ending a list; unequal top_D waits.
  Harness h;
  Msg c = cnavHeader(5, 13, 100);
  putBits(c, 39, 11, 10), putBits(c, 50, 11, 11);
  for (int k = 0; k < 6; ++k) putBits(c, 62 + 35 * k, 8, k < 3 ? 1 + k : 255);
  Msg e = cnavHeader(5, 14, 101);
  putBits(e, 39, 11, 12), putBits(e, 50, 11, 11);
  putBits(e, 62, 8, 194), putBits(e, 70, 14, -100), putBits(e, 137, 12, 512), putBits(e, 155, 8, 255);
  EXPECT_EQ(h.feed(kG5, c).dcCount, 0);
  EXPECT_EQ(h.feed(kG5, e).dcCount, 0);  // another top_D: the clock part is dropped
  putBits(c, 39, 11, 12);
  const Handed out = h.feed(kG5, c);
  ASSERT_EQ(out.dcCount, 4);
  EXPECT_EQ(out.dcSv[2], (SvIdType{2, kSysGps, 0, 2}));
  EXPECT_EQ(out.dcSv[3], (SvIdType{1, kSysQzss, 0, 1}));
  EXPECT_EQ(out.dc[3].flags, 0x09);  // valid, DC data type 0, orbit part
  EXPECT_FLOAT_EQ(out.dc[3].dAlpha, -100 * std::pow(2.0f, -34));
  EXPECT_FLOAT_EQ(out.dc[3].dA, 1.0f);
  EXPECT_EQ(h.feed(kG5, c).dcCount, 0);  // used up: needs an orbit part again

  // CNAV-2 page 5: one packet of each, needing nothing else.
  Harness h2;
  Raw r;
  Frame f = frame(5, 48, r, 5);
  putBits(f, 624, 11, 7), putBits(f, 635, 11, 8), putBits(f, 646, 1, 0);
  putBits(f, 647, 8, 255), putBits(f, 681, 8, 193), putBits(f, 717, 15, -3);
  const Handed o2 = h2.feed(kG5, f);
  ASSERT_EQ(o2.dcCount, 1);
  EXPECT_EQ(o2.dcSv[0], kJ1);
  EXPECT_EQ(o2.dc[0].topD, 2100u);
  EXPECT_FLOAT_EQ(o2.dc[0].dGamma, -3 * std::pow(2.0f, -32));
}

// GPS-to-GNSS offsets: CNAV keeps GNSS IDs 1 to 3, CNAV-2 only 1 and 2; 0 is no data.
TEST_OWN(GpsCnavRules, TimeOffsetsByGnssId) {
  for (int id = 0; id < 8; ++id) {
    Harness h;
    Raw r;
    Msg w = clockMsg(5, 35, 100, r);
    putBits(w, 128, 16, 216), putBits(w, 144, 13, 2044), putBits(w, 157, 3, id);
    putBits(w, 160, 16, -224), putBits(w, 176, 13, 34), putBits(w, 189, 7, -1);
    const Handed out = h.feed(kG5, w);
    EXPECT_EQ(out.offset, id >= 1 && id <= 3) << id;
    if (out.offset) {
      EXPECT_EQ(out.off.gnssId, id);
      EXPECT_EQ(out.off.tGgto, 3456u);
      EXPECT_EQ(out.off.wnGgto, 2044);
      EXPECT_DOUBLE_EQ(out.off.A0, -224 * std::pow(2.0, -35));
      EXPECT_FLOAT_EQ(out.off.A1, 34 * std::pow(2.0f, -51));
      EXPECT_FLOAT_EQ(out.off.A2, -std::pow(2.0f, -68));
      EXPECT_EQ(out.offsetSys, kSysGps);
    }
    Frame f = frame(5, 48, r, 2);
    putBits(f, 624, 3, id), putBits(f, 627, 16, 216), putBits(f, 643, 13, 2044), putBits(f, 656, 16, -224);
    EXPECT_EQ(h.feed(kJ1, f).offset, id == 1 || id == 2) << id;
  }
}

// CNAV-2 time of week: 7200 s per ITOW, 18 s per TOI; the last frame of the week and beyond.
TEST_OWN(GpsCnavRules, Cnav2FrameTime) {
  EXPECT_EQ(GpsCNav2DataDecoderType::frameTimeOfWeek(83, 399), 604782u);
  const struct { int itow, toi; bool kept; std::uint32_t tow; } rows[] = {
      {83, 399, true, 604782}, {48, 0, true, 345600}, {0, 1, true, 18}, {84, 0, false, 0}, {255, 511, false, 0},
  };
  for (const auto& row : rows) {
    Harness h;
    Raw r;
    h.feed(kG5, frame(row.toi, row.itow, r, 6));  // page 6: the ephemeris comes all the same
    ASSERT_EQ(h.count(kG5, 2) != 0, row.kept) << row.itow;
    if (!row.kept) continue;
    const ZRT_EPH_GPS* e = h.eph(kG5, 2, r.toe * 300.0);
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->tow, row.tow);
    EXPECT_EQ(e->toc, r.toe * 300);  // no toc of its own
    EXPECT_EQ(e->iodc, r.toe % 256);
  }
}

// A CNAV TOW count beyond the week, units of another system or too short, and random bits.
TEST_OWN(GpsCnavRules, BadAndRandomInput) {
  Harness h;
  Raw r;
  h.feed(kG5, msg10(5, 100800 + 1, r));  // 604806 s
  h.feed(kG5, msg11(5, 102, r));
  h.feed(kG5, msg30(5, 104, r));
  EXPECT_EQ(h.count(kG5, 1), 0);
  const NavDecoderTime t{0, 0};
  const SvIdType glo{3, kSysGlonass, 0, 3}, bad{32, kSysGps, 0, 32};
  const Msg m = msg10(5, 100, r);
  GpsCNavDataDecoderPool[0].update(t, glo, 0, m.data(), 10);
  GpsCNavDataDecoderPool[0].update(t, bad, 0, m.data(), 10);
  GpsCNavDataDecoderPool[0].update(t, kG5, 0, m.data(), 9);
  GpsCNavDataDecoderPool[0].update(t, kG5, 0, nullptr, 10);
  const Frame f = frame(1, 1, r);
  GpsCNav2DataDecoderPool[0].update(t, kG5, 0, f.data(), 27);
  EXPECT_EQ(h.count(kG5, 2), 0);
  std::mt19937 rng(28);
  for (int n = 0; n < 3000; ++n) {
    Frame w;
    for (auto& x : w) x = rng();
    Msg v;
    for (std::size_t k = 0; k < v.size(); ++k) v[k] = w[k];
    putBits(v, 15, 6, 10 + n % 28);  // mostly known types
    const SvIdType sv{static_cast<std::uint8_t>(rng() % 40), static_cast<std::uint8_t>(n % 2 ? kSysGps : kSysQzss), 0, 0};
    h.feed(sv, v, static_cast<std::uint32_t>(n));
    h.feed(sv, w, static_cast<std::uint32_t>(n));
  }
  SUCCEED();
}

// With every pool object in use a new satellite takes the one updated longest ago, the lowest
// pool position on equal ages (CNAV pool of 24, CNAV-2 pool of 29).
TEST_OWN(GpsCnavRules, PoolTakesTheObjectUpdatedLongestAgo) {
  const struct { int oldest; std::uint32_t oldTag; int want; } rows[] = {{7, 10, 7}, {7, 50, 0}, {20, 0, 20}};
  for (const auto& row : rows) {
    Harness h;
    Raw r;
    for (int k = 0; k < 29; ++k) {
      const SvIdType sv{static_cast<std::uint8_t>(k), kSysGps, 0, static_cast<std::uint8_t>(k)};
      const std::uint32_t tag = k == row.oldest ? row.oldTag : 50;
      if (k < 24) h.feed(sv, clockMsg(k + 1, 36, 100, r), tag);
      h.feed(sv, frame(1, 1, r), tag);
    }
    const NavDecoderTime t{0, 200};
    const SvIdType j{0, kSysQzss, 0, 0};
    EXPECT_EQ(get_GpsCNavDataDecoder(&t, &j)->get_SvId().si, row.want) << row.oldTag;
    EXPECT_EQ(get_GpsCNav2DataDecoder(&t, &j)->get_SvId().si, row.want) << row.oldTag;
    const SvIdType own{3, kSysGps, 0, 3};
    EXPECT_EQ(get_GpsCNavDataDecoder(&t, &own)->get_SvId(), own);
  }
}

// The alert flag of every message goes to the store (data type 1).
TEST_OWN(GpsCnavRules, AlertFlag) {
  Harness h;
  Raw r;
  Msg w = clockMsg(5, 36, 100, r);
  putBits(w, 38, 1, 1);
  h.feed(kG5, w);
  EXPECT_TRUE(h.store->get_AlertFlag(kG5, 1));
  EXPECT_FALSE(h.store->get_AlertFlag(kG5, 0));
  putBits(w, 38, 1, 0);
  h.feed(kG5, w);
  EXPECT_FALSE(h.store->get_AlertFlag(kG5, 1));
}

// A day of GPS broadcast ephemerides with both LNAV and CNAV records: each CNAV record, encoded
// into types 10, 11 and 30 and decoded, gives the orbit of the LNAV record nearest in toe
// (within an hour), both through the product's orbit code, at both toes.
TEST_OWN(GpsCnavRules, CnavOrbitAgreesWithLnav) {
  std::vector<std::string> lines;
  if (FILE* p = popen(("gzip -dc '" + std::string(RX_SHARED_DIR) + "/testdata/nav/BRD400DLR_S_20230710000_01D_MN.rnx.gz'").c_str(), "r")) {
    char buf[256];
    while (fgets(buf, sizeof buf, p)) lines.emplace_back(buf);
    pclose(p);
  }
  ASSERT_GT(lines.size(), 1000u);
  const auto lnav = lnavtest::readRinexNav(std::string(RX_SHARED_DIR) + "/testdata/nav/BRD400DLR_S_20230710000_01D_MN.rnx.gz", 'G');
  ASSERT_GT(lnav.size(), 300u);
  auto num = [](const std::string& s, std::size_t at) {
    return at + 19 <= s.size() ? std::strtod(s.substr(at, 19).c_str(), nullptr) : 0.0;
  };
  std::vector<double> dist;
  for (std::size_t i = 0; i + 9 < lines.size(); ++i) {
    if (lines[i].rfind("> EPH G", 0) != 0 || lines[i].find("CNAV") == std::string::npos) continue;
    const std::string& l0 = lines[i + 1];
    const int prn = std::stoi(l0.substr(1, 2));
    double v[36] = {};
    for (int k = 0; k < 3; ++k) v[k] = num(l0, 23 + 19 * static_cast<std::size_t>(k));
    for (int l = 0; l < 8; ++l)
      for (int k = 0; k < 4; ++k) v[3 + 4 * l + k] = num(lines[i + 2 + static_cast<std::size_t>(l)], 4 + 19 * static_cast<std::size_t>(k));
    const int hh = std::stoi(l0.substr(15, 2)), mi = std::stoi(l0.substr(18, 2));
    const int toe = hh * 3600 + mi * 60;  // 2023-03-12 is the first day of GPS week 2253
    if (toe % 300 != 0) continue;
    const lnavtest::RinexEph* best = nullptr;
    for (const auto& e : lnav)
      if (e.prn == prn && (best == nullptr || std::abs(e.tocSow - toe) < std::abs(best->tocSow - toe))) best = &e;
    if (best == nullptr || std::abs(best->tocSow - toe) > 3600) continue;
    const double pi = kGpsPi;
    Raw r;
    r.toe = r.toc = toe / 300;
    r.top = static_cast<int>(v[11]) / 300;
    r.dA = q(v[10] * v[10] - 26559710.0, 9), r.aDot = q(v[3], 21);
    r.crs = q(v[4], 8), r.dn0 = q(v[5] / pi, 44), r.m0 = q(v[6] / pi, 32), r.cuc = q(v[7], 30), r.e = q(v[8], 34);
    r.cus = q(v[9], 30), r.cic = q(v[12], 30), r.omega0 = q(v[13] / pi, 32), r.cis = q(v[14], 30);
    r.i0 = q(v[15] / pi, 32), r.crc = q(v[16], 8), r.omega = q(v[17] / pi, 32);
    r.dOmegaDot = q(v[18] / pi + 2.6e-9, 44), r.idot = q(v[19] / pi, 44), r.dn0Dot = q(v[20] / pi, 57);
    r.af0 = q(v[0], 35), r.af1 = q(v[1], 48), r.af2 = q(v[2], 60);
    Harness h;
    const SvIdType sv{static_cast<std::uint8_t>(prn - 1), kSysGps, 0, static_cast<std::uint8_t>(prn - 1)};
    feedEph(h, sv, r, static_cast<std::uint32_t>((toe + 604800 - 3600) % 604800 / 6));
    const ZRT_EPH_GPS* c = h.eph(sv, 1, toe);
    ASSERT_NE(c, nullptr) << prn << " " << toe;
    ZRT_EPH_GPS l{};
    const double* b = best->v;
    l.toe = static_cast<std::uint32_t>(b[lnavtest::kToe]), l.sqrtA = b[lnavtest::kSqrtA], l.e = b[lnavtest::kE];
    l.M0 = b[lnavtest::kM0] / pi, l.Omega0 = b[lnavtest::kOmega0] / pi, l.i0 = b[lnavtest::kI0] / pi;
    l.omega = b[lnavtest::kOmega] / pi, l.deltaN = static_cast<float>(b[lnavtest::kDn] / pi);
    l.OmegaDot = static_cast<float>(b[lnavtest::kOmegaDot] / pi), l.idot = static_cast<float>(b[lnavtest::kIdot] / pi);
    l.cuc = static_cast<float>(b[lnavtest::kCuc]), l.cus = static_cast<float>(b[lnavtest::kCus]);
    l.cic = static_cast<float>(b[lnavtest::kCic]), l.cis = static_cast<float>(b[lnavtest::kCis]);
    l.crc = static_cast<float>(b[lnavtest::kCrc]), l.crs = static_cast<float>(b[lnavtest::kCrs]);
    ZRT_EPH_GPS direct{};
    direct.flags = kEphFlagCnavParams, direct.toe = static_cast<std::uint32_t>(toe), direct.sqrtA = v[10];
    direct.Adot = v[3], direct.deltaN = static_cast<float>(v[5] / pi), direct.M0 = v[6] / pi, direct.e = v[8];
    direct.cuc = static_cast<float>(v[7]), direct.cus = static_cast<float>(v[9]), direct.cic = static_cast<float>(v[12]);
    direct.Omega0 = v[13] / pi, direct.cis = static_cast<float>(v[14]), direct.i0 = v[15] / pi;
    direct.crs = static_cast<float>(v[4]), direct.crc = static_cast<float>(v[16]), direct.omega = v[17] / pi;
    direct.OmegaDot = static_cast<float>(v[18] / pi), direct.idot = static_cast<float>(v[19] / pi);
    direct.deltaNdot = static_cast<float>(v[20] / pi);
    for (const double t : {static_cast<double>(toe), static_cast<double>(best->tocSow)}) {
      double pc[3], pl[3];
      ASSERT_TRUE(compute_SatPositionByEphemeris(t, kSysGps, *c, pc, nullptr, nullptr));
      ASSERT_TRUE(compute_SatPositionByEphemeris(t, kSysGps, l, pl, nullptr, nullptr));
      const double d = std::hypot(pc[0] - pl[0], pc[1] - pl[1], pc[2] - pl[2]);
      dist.push_back(d);
      EXPECT_LT(d, 3.0) << "G" << prn << " toe " << toe << " t " << t;
      // The decoded record against the file's own values: what the decoder adds is quantization.
      double pr[3];
      ASSERT_TRUE(compute_SatPositionByEphemeris(t, kSysGps, direct, pr, nullptr, nullptr));
      EXPECT_LT(std::hypot(pc[0] - pr[0], pc[1] - pr[1], pc[2] - pr[2]), 0.01) << "G" << prn << " toe " << toe;
    }
  }
  // Both broadcasts are fits of their own: a few satellites' uploads differ by up to ~2.6 m
  // on this day, most by decimetres.
  ASSERT_GT(dist.size(), 600u);
  std::sort(dist.begin(), dist.end());
  EXPECT_LT(dist[dist.size() / 2], 0.3);
  EXPECT_LT(dist[dist.size() * 99 / 100], 2.0);
}

}  // namespace
