// The NavIC L5 decoder against the IRNSS SPS ICD 1.1 layout: subframes, almanac, UTC and
// ionosphere messages encoded by the test's own encoder from the ICD tables, decoded into the
// store, compared with the raw values times the ICD scale factors; the decoder's own rules
// (pairing by toc/toe, alert, message ids, GNSS ids); random and truncated input.
#include <gtest/gtest.h>

#include <random>

#include "../../../tools/gnss_board_sim/sim_navic.h"
#include "unit/navigation_data/cnav_calls.h"
#include "navic_test_util.h"
#include "unit/own_process.h"

using namespace irntest;

namespace {

double sc(long long raw, int pow2) { return std::ldexp(static_cast<double>(raw), -pow2); }

// Every field near the top of its range with its sign bit set where it has one, so that a
// field read one bit off or unsigned shows.
Ephemeris sample() {
  Ephemeris f;
  f.wn = 205, f.af0 = -1234567, f.af1 = -321, f.af2 = -5, f.ura = 2, f.toc = 1000, f.tgd = -4, f.dn = 1717;
  f.iodec = 161, f.cuc = 1234, f.cus = -5432, f.cic = -777, f.cis = 99, f.crc = 3758, f.crs = -13979, f.idot = -1500;
  f.m0 = -123456789, f.toe = 1000, f.e = 8516000, f.sqrtA = 3404381000LL, f.omega0 = 1710000000;
  f.omega = -1700000000, f.omegaDot = -1200000, f.i0 = 348000000;
  return f;
}

void feedPair(Harness& h, int prn, const Ephemeris& f, long long towc = 100, int alert = 0) {
  h.feed(irn(prn), encodeSubframe1(f, towc, alert, 1));
  h.feed(irn(prn), encodeSubframe2(f, towc + 1));
}

}  // namespace

TEST_OWN(NavicL5Decoder, SubframesOneAndTwoFollowTheIcdPositionsAndScales) {
  Harness h;
  const Ephemeris f = sample();
  feedPair(h, 3, f, 1234);
  const ZRT_EPH_IRS* e = h.eph(irn(3), 16000, 205);
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(e->prn, 3);
  EXPECT_EQ(e->tow, 1234u * 12);
  EXPECT_EQ(e->flags, 0x01) << "autonav in bit 0, no alert";
  EXPECT_EQ(e->week, 205);
  EXPECT_EQ(e->ura, 2);
  EXPECT_EQ(e->iodec, 161);
  EXPECT_EQ(e->iodec2, 161);
  EXPECT_EQ(e->toc, 16000);
  EXPECT_EQ(e->toe, 16000u);
  EXPECT_EQ(e->health, 0);
  EXPECT_EQ(e->signals, 1);
  EXPECT_DOUBLE_EQ(e->af0, sc(f.af0, 31));
  EXPECT_FLOAT_EQ(e->af1, static_cast<float>(sc(f.af1, 43)));
  EXPECT_FLOAT_EQ(e->af2, static_cast<float>(sc(f.af2, 55)));
  EXPECT_FLOAT_EQ(e->tgd, static_cast<float>(sc(f.tgd, 31)));
  EXPECT_FLOAT_EQ(e->deltaN, static_cast<float>(sc(f.dn, 41)));
  EXPECT_FLOAT_EQ(e->cuc, static_cast<float>(sc(f.cuc, 28)));
  EXPECT_FLOAT_EQ(e->cus, static_cast<float>(sc(f.cus, 28)));
  EXPECT_FLOAT_EQ(e->cic, static_cast<float>(sc(f.cic, 28)));
  EXPECT_FLOAT_EQ(e->cis, static_cast<float>(sc(f.cis, 28)));
  EXPECT_FLOAT_EQ(e->crc, static_cast<float>(sc(f.crc, 4)));
  EXPECT_FLOAT_EQ(e->crs, static_cast<float>(sc(f.crs, 4)));
  EXPECT_FLOAT_EQ(e->idot, static_cast<float>(sc(f.idot, 43)));
  EXPECT_DOUBLE_EQ(e->M0, sc(f.m0, 31));
  EXPECT_DOUBLE_EQ(e->e, sc(f.e, 33));
  EXPECT_DOUBLE_EQ(e->sqrtA, sc(f.sqrtA, 19));
  EXPECT_DOUBLE_EQ(e->Omega0, sc(f.omega0, 31));
  EXPECT_DOUBLE_EQ(e->omega, sc(f.omega, 31));
  EXPECT_FLOAT_EQ(e->OmegaDot, static_cast<float>(sc(f.omegaDot, 41)));
  EXPECT_DOUBLE_EQ(e->i0, sc(f.i0, 31));
}

// Health byte: L5 flag in bit 1, S in bit 0; the store takes the L5 flag and the alert bit.
TEST_OWN(NavicL5Decoder, HealthFlagsReachTheRecordAndTheStoreUsesL5) {
  struct Row {
    int l5, s, alert;
    std::uint8_t health;
    std::uint16_t flags;
    bool healthy;
  } rows[] = {{0, 0, 0, 0, 1, true}, {1, 0, 0, 2, 1, false}, {0, 1, 0, 1, 1, true}, {1, 1, 0, 3, 1, false},
              {0, 0, 1, 0, 0x21, false}};
  for (const Row& r : rows) {
    Harness h;
    Ephemeris f = sample();
    f.l5 = r.l5, f.s = r.s;
    feedPair(h, 5, f, 100, r.alert);
    const ExtEphRecord* x = h.ext(irn(5), 16000);
    ASSERT_NE(x, nullptr);
    const auto* e = reinterpret_cast<const ZRT_EPH_IRS*>(x->native);
    EXPECT_EQ(e->health, r.health) << r.l5 << r.s;
    EXPECT_EQ(e->flags, r.flags);
    EXPECT_EQ(x->healthy, r.healthy) << r.l5 << r.s << r.alert;
  }
}

TEST_OWN(NavicL5Decoder, PairIsWrittenOnlyWhenTocEqualsToe) {
  Harness h;
  Ephemeris f = sample();
  Ephemeris other = f;
  other.toe = 1001;
  h.feed(irn(2), encodeSubframe1(f, 100));
  h.feed(irn(2), encodeSubframe2(other, 101));
  EXPECT_EQ(h.eph(irn(2), 16000), nullptr) << "toc 16000 against toe 16016";
  // A later subframe 2 replaces the earlier one and completes the set.
  h.feed(irn(2), encodeSubframe2(f, 102));
  const ZRT_EPH_IRS* e = h.eph(irn(2), 16000);
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(e->toe, 16000u);
  // Subframe 2 first, then subframe 1: order does not matter.
  Harness g;
  g.feed(irn(4), encodeSubframe2(f, 101));
  g.feed(irn(4), encodeSubframe1(f, 102));
  EXPECT_NE(g.eph(irn(4), 16000), nullptr);
}

TEST_OWN(NavicL5Decoder, OtherSystemsShortUnitsAndOutOfRangeIndexesAreIgnored) {
  Harness h;
  const Ephemeris f = sample();
  const SvIdType gps{2, kSysGps, 0, 2};
  const NavDecoderTime t{0, 0};
  IrnssL5NavDataDecoderInstance[0].update(t, gps, 0, encodeSubframe1(f, 1).data(), 10, 45);
  IrnssL5NavDataDecoderInstance[0].update(t, gps, 0, encodeSubframe2(f, 2).data(), 10, 45);
  const SvIdType far{14, kSysNavic, 0, 14};
  IrnssL5NavDataDecoderInstance[0].update(t, far, 0, encodeSubframe1(f, 1).data(), 10, 45);
  IrnssL5NavDataDecoderInstance[0].update(t, far, 0, encodeSubframe2(f, 2).data(), 10, 45);
  h.feed(irn(3), encodeSubframe1(f, 1), 45, 9);
  h.feed(irn(3), encodeSubframe2(f, 2), 45, 9);
  for (int si = 0; si < 14; ++si) EXPECT_EQ(h.ext(irn(si + 1), 16000), nullptr) << si;
}

TEST_OWN(NavicL5Decoder, AlmanacMessageFollowsTheIcd) {
  Harness h;
  Almanac a;
  a.wna = 205, a.e = 130, a.toa = 6000, a.i0 = -2000000, a.omegaDot = -1000, a.sqrtA = 13298000, a.omega0 = -4000000;
  a.omega = 3000000, a.m0 = -5000000, a.af0 = -1000, a.af1 = -3, a.prn = 9, a.isc = -7;
  h.feed(irn(2), encodeAlmanac(a, 50));
  const ZRT_ALM_IRS* r = h.alm(8);
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(r->prn, 9);
  EXPECT_EQ(r->week, 205);
  EXPECT_EQ(r->toa, 6000 * 16);
  EXPECT_FLOAT_EQ(r->e, static_cast<float>(sc(a.e, 21)));
  EXPECT_FLOAT_EQ(r->i0, static_cast<float>(sc(a.i0, 23)));
  EXPECT_FLOAT_EQ(r->OmegaDot, static_cast<float>(sc(a.omegaDot, 38)));
  EXPECT_FLOAT_EQ(r->sqrtA, static_cast<float>(sc(a.sqrtA, 11)));
  EXPECT_FLOAT_EQ(r->Omega0, static_cast<float>(sc(a.omega0, 23)));
  EXPECT_FLOAT_EQ(r->omega, static_cast<float>(sc(a.omega, 23)));
  EXPECT_FLOAT_EQ(r->M0, static_cast<float>(sc(a.m0, 23)));
  EXPECT_FLOAT_EQ(r->af0, static_cast<float>(sc(a.af0, 20)));
  EXPECT_FLOAT_EQ(r->af1, static_cast<float>(sc(a.af1, 38)));
  EXPECT_FLOAT_EQ(r->isc, static_cast<float>(sc(a.isc, 31)));
  EXPECT_EQ(r->flags, 0);
}

// Which messages change the store: almanac PRN range, the alert bit, message ids.
TEST_OWN(NavicL5Decoder, MessageRules) {
  struct Row {
    const char* what;
    int id, prn, alert, subframeId;
    bool stored;
  } rows[] = {{"PRN 1", 7, 1, 0, 2, true},        {"PRN 14", 7, 14, 0, 3, true},
              {"PRN 0: no slot", 7, 0, 0, 2, false}, {"PRN 15: no slot", 7, 15, 0, 2, false},
              {"alert", 7, 5, 1, 2, false},        {"message 8", 8, 5, 0, 2, false}};
  for (const Row& r : rows) {
    Harness h;
    Almanac a;
    a.sqrtA = 13298000, a.prn = r.prn, a.toa = 10;
    Words w = encodeAlmanac(a, 50);
    put(w, 31, 6, r.id);
    put(w, 26, 1, r.alert);
    put(w, 28, 2, r.subframeId);
    h.feed(irn(1), w);
    int found = 0;
    for (int sat = 0; sat < 14; ++sat) found += h.alm(sat) != nullptr;
    EXPECT_EQ(found, r.stored ? 1 : 0) << r.what;
  }
}

// UTC from bits 37-128 of both messages, whatever GNSS the offset part names; the offset to
// GPS (id 0) is kept until replaced, other ids leave it as it was.
// The UTC parameters are shared by every decoder for the life of the program: each part runs from
// its start, in a process of its own.
TEST(NavicL5Decoder, UtcAndGnssOffsetMessages) {
  Utc u;
  u.a0utc = -1000, u.a1utc = 300, u.a2utc = -2, u.dtls = 18, u.t0utc = 5000, u.wnoutc = 205, u.wnlsf = 137;
  u.dn = 7, u.dtlsf = 18, u.a0 = 2000, u.a1 = -100, u.a2 = 3, u.t0 = 5100, u.wn = 205;
  struct Row {
    int id, gnssId;
    bool offset;
  } rows[] = {{9, 0, true}, {26, 0, true}, {26, 7, false}, {26, 3, false}, {9, 1, false}};
  for (const Row& r : rows) {
    testproc::inOwnProcess([&] {
      Harness h;
      Utc m = u;
      m.gnssId = r.gnssId;
      h.feed(irn(1), encodeUtc(r.id, m, 60));
      const ZRT_UTC_IRS* g = h.utc();
      ASSERT_NE(g, nullptr) << r.id << " " << r.gnssId;
      EXPECT_DOUBLE_EQ(g->A0, sc(u.a0utc, 35));
      EXPECT_FLOAT_EQ(g->A1, static_cast<float>(sc(u.a1utc, 51)));
      EXPECT_FLOAT_EQ(g->A2, static_cast<float>(sc(u.a2utc, 68)));
      EXPECT_EQ(g->tot, 5000u * 16);
      EXPECT_EQ(g->WNt, 205);
      EXPECT_EQ(g->dtLS, 18);
      EXPECT_EQ(g->dtLSF, 18);
      EXPECT_EQ(g->WN_LSF, 137);
      EXPECT_EQ(g->DN, 7);
      EXPECT_EQ(g->gnssId, r.offset ? 0 : 255);
      if (r.offset) {
        EXPECT_FLOAT_EQ(g->gnssA0, static_cast<float>(sc(u.a0, 35)));
        EXPECT_FLOAT_EQ(g->gnssA1, static_cast<float>(sc(u.a1, 51)));
        EXPECT_FLOAT_EQ(g->gnssA2, static_cast<float>(sc(u.a2, 68)));
        EXPECT_EQ(g->gnssT0, 5100u * 16);
        EXPECT_EQ(g->gnssWeek, 205);
      }
    });
  }
  // A GPS offset stays while later messages name other systems.
  testproc::inOwnProcess([&] {
    Harness h;
    h.feed(irn(1), encodeUtc(9, u, 60));
    Utc m = u;
    m.gnssId = 2, m.a0 = 7777, m.dtls = 19;
    h.feed(irn(1), encodeUtc(26, m, 70));
    ASSERT_NE(h.utc(), nullptr);
    EXPECT_EQ(h.utc()->dtLS, 19);
    EXPECT_FLOAT_EQ(h.utc()->gnssA0, static_cast<float>(sc(u.a0, 35)));
  });
  // In alert, nothing.
  testproc::inOwnProcess([&] {
    Harness a;
    Words w = encodeUtc(9, u, 60);
    put(w, 26, 1, 1);
    a.feed(irn(1), w);
    EXPECT_EQ(a.utc(), nullptr);
  });
}

// Message 14 fills the target's CNAV-shaped correction record: both parts valid, DC data type 0,
// t0D in both reference times; a PRN outside the constellation, or a satellite in alert, none.
TEST(NavicL5Decoder, DifferentialCorrectionMessage) {
  DiffCorr d;
  d.daf0 = -4095, d.daf1 = 127, d.udra = -3, d.dAlpha = -8191, d.dBeta = 8000, d.dGamma = -16383, d.dI = 2047;
  d.dOmega = -2047, d.dA = -2000, d.udraRate = 5, d.iodec = 77, d.t0d = 37799;
  for (const auto& [prn, alert, kept] : {std::tuple{9, 0, true}, {14, 0, true}, {0, 0, false}, {15, 0, false}, {9, 1, false}}) {
    const int p = prn, al = alert;
    const bool k = kept;
    testproc::inOwnProcess([&] {
      Harness h;
      d.prn = p;
      Words w = encodeDiffCorr(d, 80);
      put(w, 26, 1, al);
      cnavcalls::take();
      h.feed(irn(2), w);
      const cnavcalls::Calls handed = cnavcalls::take();
      ASSERT_EQ(handed.dc.size(), k ? 1u : 0u) << p << " " << al;
      if (!k) return;
      EXPECT_EQ(handed.dc[0].first, irn(p));
      const NavData::GpsCnavDCDataType& c = handed.dc[0].second;
      EXPECT_EQ(c.flags, 0x0D);
      EXPECT_EQ(c.topD, 37799u * 16);
      EXPECT_EQ(c.tod, 37799u * 16);
      const std::pair<float, double> fields[] = {{c.daf0, sc(d.daf0, 35)},   {c.daf1, sc(d.daf1, 51)}, {c.dAlpha, sc(d.dAlpha, 35)},
                                                 {c.dBeta, sc(d.dBeta, 35)}, {c.dGamma, sc(d.dGamma, 32)}, {c.dI, sc(d.dI, 32)},
                                                 {c.dOmega, sc(d.dOmega, 32)}, {c.dA, sc(d.dA, 9)}};
      for (const auto& [got, want] : fields) EXPECT_FLOAT_EQ(got, static_cast<float>(want));
    });
  }
}

// The simulator's message 14 (each field a value of its own, none zero) read by the decoder: every
// correction of the target, at the scale the layout gives, in the record it hands on.
TEST(NavicL5Decoder, TheSimulatorsDifferentialCorrectionsComeBackFromTheDecoder) {
  for (int target : {1, 7, 14}) {
    testproc::inOwnProcess([&] {
      Harness h;
      const std::vector<std::uint32_t> bits = sim::navicDcSubframe(target, 33, 37799 * 16, 3, 4000, 2).words(10);
      Words w{};
      std::copy(bits.begin(), bits.end(), w.begin());
      cnavcalls::take();
      h.feed(irn(2), w);
      const cnavcalls::Calls handed = cnavcalls::take();
      ASSERT_EQ(handed.dc.size(), 1u) << target;
      EXPECT_EQ(handed.dc[0].first, irn(target));
      const NavData::GpsCnavDCDataType& c = handed.dc[0].second;
      const sim::NavicDc d = sim::navicDcOf(target);
      EXPECT_EQ(c.tod, 37799u * 16);
      const std::pair<float, double> fields[] = {{c.daf0, sc(d.daf0, 35)},   {c.daf1, sc(d.daf1, 51)}, {c.dAlpha, sc(d.dAlpha, 35)},
                                                 {c.dBeta, sc(d.dBeta, 35)}, {c.dGamma, sc(d.dGamma, 32)}, {c.dI, sc(d.dI, 32)},
                                                 {c.dOmega, sc(d.dOmega, 32)}, {c.dA, sc(d.dA, 9)}};
      for (const auto& [got, want] : fields) {
        EXPECT_NE(want, 0.0);
        EXPECT_FLOAT_EQ(got, static_cast<float>(want)) << target;
      }
    });
  }
}

TEST_OWN(NavicL5Decoder, IonosphereMessageGoesToTheKlobucharServer) {
  Harness h;
  feedPair(h, 6, sample());
  Words w = message(11, 300);
  const long long alpha[4] = {-3, 17, -60, 100}, beta[4] = {12, -9, 80, -128};
  for (int k = 0; k < 4; ++k) put(w, 175 + 8 * k, 8, alpha[k]), put(w, 207 + 8 * k, 8, beta[k]);
  h.feed(irn(6), w);
  ASSERT_EQ(gIonCount, 1);
  EXPECT_EQ(gIonSys, kSysNavic);
  const int aPow[4] = {30, 27, 24, 24}, bPow[4] = {11, 14, 16, 16};
  for (int k = 0; k < 4; ++k) {
    EXPECT_FLOAT_EQ(gIon.alpha[k], static_cast<float>(sc(alpha[k], aPow[k]))) << k;
    EXPECT_FLOAT_EQ(gIon.beta[k], static_cast<float>(std::ldexp(static_cast<double>(beta[k]), bPow[k]))) << k;
  }
  EXPECT_EQ(gIon.tow, 3600u);
  EXPECT_EQ(gIon.week, 205);
  EXPECT_EQ(gIon.satIdx, 5);
}

// The same ephemeris from two satellites: the weaker one is reset, once.
TEST_OWN(NavicL5Decoder, GhostSatelliteIsReset) {
  Harness h;
  feedPair(h, 1, sample());
  h.feed(irn(2), encodeSubframe1(sample(), 100), 30);
  h.feed(irn(2), encodeSubframe2(sample(), 101), 30);
  EXPECT_EQ(gResetCount, 1);
  EXPECT_EQ(h.ext(irn(2), 16000), nullptr) << "the weaker twin is not stored";
}

TEST_OWN(NavicL5Decoder, RandomAndTruncatedInputNeverCrashes) {
  Harness h;
  std::mt19937 rng(31);
  for (int i = 0; i < 20000; ++i) {
    Words w{};
    for (auto& x : w) x = static_cast<std::uint32_t>(rng());
    const int prn = 1 + static_cast<int>(rng() % 14);
    h.feed(irn(prn), w, static_cast<float>(rng() % 60), 1 + static_cast<int>(rng() % 10));
  }
  h.step(1000);
  SUCCEED();
}
