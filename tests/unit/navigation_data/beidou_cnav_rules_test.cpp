// The BeiDou B-CNAV decoders' and store's own rules, one table row per rule: the Ephemeris I/II
// pairing across the week's end, IODC/IODE, BDGIM scaling and acceptance, midi almanacs, the
// health gate of non-ephemeris data, B2b variants, the per-signal merge of group delays and
// health in the store, the group-delay fields and the health verdict; and random and truncated
// input.
#include <gtest/gtest.h>

#include <random>

#include "beidou_cnav_test_util.h"
#include "navigation_data/orbits/beidou_eph.h"

using namespace bcnavtest;

namespace {

constexpr int kPrn = 19;
constexpr long long kToe300 = 100;  // 30000 s
const SvIdType kSv = bds(kPrn);

// A plausible MEO ephemeris.
CnavFields meo() {
  CnavFields f;
  f.toe = kToe300, f.toc = kToe300, f.satType = 3;
  f.e = q(0.001, 34), f.i0 = q(0.3055, 32), f.m0 = q(0.25, 32), f.omega0 = q(-0.37, 32), f.omega = q(-0.36, 32);
  f.iodc = 0x1A5, f.iode = 0xA5;
  f.tgdB1Cp = 150, f.tgdB2ap = -90, f.iscB1Cd = -12, f.iscB2ad = -40, f.tgdB2b = 77;
  return f;
}

// Ephemeris I, Ephemeris II and type 30 of a B2a set, Ephemeris I sent at SOW count `sow`.
void feedB2a(Harness& h, const CnavFields& f, long long sow, const Bdgim& g = {}) {
  h.b2a(kSv, encodeB2a10(f, kPrn, sow, kBdtWeek));
  h.b2a(kSv, encodeB2a11(f, kPrn, (sow + 1) % 201600));
  h.b2a(kSv, encodeB2a30(f, kPrn, (sow + 2) % 201600, g));
}

const ZRT_EPH_CMP* stored(Harness& h) { return h.eph(kSv, kToe300 * 300 + 60); }

}  // namespace

// Ephemeris I and II pair only as neighbouring messages, folded either way across the week's
// end (201 600 counts of 3 s).
TEST(BeidouCnavRules, EphemerisPartsPairAcrossTheWeekEitherWay) {
  const struct { std::uint32_t eph1, eph2; bool adjacent; } rows[] = {
      {5, 6, true},       {6, 5, true},       {5, 7, false},      {5, 5, false},      {201599, 0, true},
      {0, 201599, true},  {201598, 0, false}, {100799, 0, false}, {0, 100799, false}, {100800, 100801, true},
  };
  for (const auto& r : rows)
    EXPECT_EQ(CompCNav2DataDecoderType::is_AdjacentSow(r.eph1, r.eph2), r.adjacent) << r.eph1 << " " << r.eph2;
}

TEST(BeidouCnavRules, APairAcrossTheWeekRolloverIsStoredInBothOrders) {
  for (bool eph2First : {false, true}) {
    Harness h;
    const CnavFields f = meo();
    if (eph2First) {
      h.b2a(kSv, encodeB2a11(f, kPrn, 201599));
      h.b2a(kSv, encodeB2a10(f, kPrn, 0, kBdtWeek));
    } else {
      h.b2a(kSv, encodeB2a10(f, kPrn, 201599, kBdtWeek));
      h.b2a(kSv, encodeB2a11(f, kPrn, 0));
    }
    h.b2a(kSv, encodeB2a30(f, kPrn, 1));
    ASSERT_NE(stored(h), nullptr) << "Ephemeris II first: " << eph2First;
    EXPECT_EQ(stored(h)->tow, 3u);
  }
}

// Parts of two sets wait for a matching neighbour instead of being dropped.
TEST(BeidouCnavRules, APartsPairThatIsNotAdjacentWaitsForTheNextMessage) {
  Harness h;
  const CnavFields f = meo();
  h.b2a(kSv, encodeB2a10(f, kPrn, 100, kBdtWeek));
  h.b2a(kSv, encodeB2a11(f, kPrn, 105));
  h.b2a(kSv, encodeB2a30(f, kPrn, 106));
  EXPECT_EQ(stored(h), nullptr);
  h.b2a(kSv, encodeB2a10(f, kPrn, 107, kBdtWeek));
  EXPECT_EQ(stored(h), nullptr) << "Ephemeris II of count 105 is not a neighbour of 107";
  h.b2a(kSv, encodeB2a11(f, kPrn, 108));
  EXPECT_NE(stored(h), nullptr);
}

// IODE equals the low eight bits of IODC, else the five parts start again.
TEST(BeidouCnavRules, IodeMustMatchTheLowBitsOfIodc) {
  const struct { long long iodc, iode; bool kept; } rows[] = {
      {0x1A5, 0xA5, true}, {0x1A5, 0xA6, false}, {0x0A5, 0xA5, true}, {0x2A5, 0xA4, false}, {0, 0, true}};
  for (const auto& r : rows) {
    Harness h;
    CnavFields f = meo();
    f.iodc = r.iodc, f.iode = r.iode;
    feedB2a(h, f, 1000);
    const ZRT_EPH_CMP* e = stored(h);
    ASSERT_EQ(e != nullptr, r.kept) << std::hex << r.iodc << " " << r.iode;
    if (e != nullptr) {
      EXPECT_EQ(e->iodc, r.iodc);
      EXPECT_EQ(e->iode, r.iode);
    }
  }
  // After a mismatch the clock alone does not complete a set: Ephemeris I and II come again.
  Harness h;
  CnavFields f = meo();
  f.iode = 0xA6;
  feedB2a(h, f, 1000);
  f.iode = 0xA5;
  h.b2a(kSv, encodeB2aClock(f, kPrn, 31, 1003));
  h.b2a(kSv, encodeB2a30(f, kPrn, 1004));
  EXPECT_EQ(stored(h), nullptr);
  feedB2a(h, f, 1010);
  EXPECT_NE(stored(h), nullptr);
}

// Every clock type gives the clock and IODC at its own place.
TEST(BeidouCnavRules, EveryClockTypeCompletesTheSet) {
  for (int type : {31, 32, 33, 34}) {
    Harness h;
    CnavFields f = meo();
    feedB2a(h, f, 2000);
    f.a0 = 123456, f.toc = kToe300 + 1;
    h.b2a(kSv, encodeB2aClock(f, kPrn, type, 2003));
    const ZRT_EPH_CMP* e = stored(h);
    ASSERT_NE(e, nullptr) << type;
    EXPECT_EQ(e->toc, (kToe300 + 1) * 300) << type;
    EXPECT_DOUBLE_EQ(e->af0, std::ldexp(123456.0, -34)) << type;
  }
}

// A message naming another PRN than its satellite's is dropped.
TEST(BeidouCnavRules, AB2aMessageOfAnotherPrnIsDropped) {
  Harness h;
  const CnavFields f = meo();
  h.b2a(kSv, encodeB2a10(f, kPrn + 1, 10, kBdtWeek));
  h.b2a(kSv, encodeB2a11(f, kPrn + 1, 11));
  h.b2a(kSv, encodeB2a30(f, kPrn + 1, 12));
  EXPECT_EQ(stored(h), nullptr);
}

TEST(BeidouCnavRules, TheSemiMajorAxisIsTheTypesReferencePlusTheDifference) {
  const struct { long long satType, dA; double sqrtA; } rows[] = {
      {3, 0, std::sqrt(27906100.0)}, {2, 0, std::sqrt(42162200.0)}, {1, 0, std::sqrt(42162200.0)},
      {3, 512, std::sqrt(27906101.0)}, {3, -(1 << 25), std::sqrt(27906100.0 - 65536.0)}};
  for (const auto& r : rows) {
    CnavFields f = meo();
    f.satType = r.satType, f.dA = r.dA;
    const B1cFrame w = encodeB1c(f, kBdtWeek, 8);
    CompCNavDataDecoderType::CNavEphemerisRawDataType raw{};
    raw.decodeEphemeris1(w.data(), 40);
    ZRT_EPH_CMP e;
    raw.process(kBdtWeek, e);
    EXPECT_DOUBLE_EQ(e.sqrtA, r.sqrtA) << r.satType << " " << r.dA;
    EXPECT_EQ((e.flags >> 2) & 3, r.satType);
  }
}

// BDGIM in TECu (1/8 per count): alpha1, alpha3, alpha4 unsigned, alpha5 a negated magnitude,
// alpha2 and alpha6-9 signed; ignored while alpha1-alpha4 are all zero; every signal marks the
// record valid, B2b's too.
TEST(BeidouCnavRules, BdgimScalingAcceptanceAndValidByte) {
  const Bdgim raw{{1023, 0xFF, 0xFF, 200, 8, 0x80, 1, 0x7F, 0xFE}};
  const float want[9] = {127.875f, -0.125f, 31.875f, 25.0f, -1.0f, -16.0f, 0.125f, 15.875f, -0.25f};
  for (int signal : {8, 32, 64}) {
    Harness h;
    const CnavFields f = meo();
    if (signal == 8) {
      Page3 p;
      p.type = 1;
      p.iono = raw;
      h.b1c(kSv, encodeB1c(f, kBdtWeek, 8, p), 3);
    } else if (signal == 32) {
      feedB2a(h, f, 3000, raw);
    } else {
      h.b2b(kSv, encodeB2b30(f, 30000, kBdtWeek, raw));
    }
    ASSERT_EQ(gIono.size(), 1u) << signal;
    const ZRT_ION_CMP& ion = gIono[0];
    for (int k = 0; k < 9; ++k) EXPECT_FLOAT_EQ(ion.alpha[k], want[k]) << "signal " << signal << " alpha" << k + 1;
    EXPECT_EQ(ion.signal, signal);
    EXPECT_EQ(ion.valid, 1) << signal;
    EXPECT_EQ(ion.satIdx, kPrn - 1);
  }
  const struct { Bdgim g; bool taken; } rows[] = {
      {{{0, 0, 0, 0, 5, 5, 5, 5, 5}}, false}, {{{1, 0, 0, 0, 0, 0, 0, 0, 0}}, true},
      {{{0, 1, 0, 0, 0, 0, 0, 0, 0}}, true},  {{{0, 0, 1, 0, 0, 0, 0, 0, 0}}, true},
      {{{0, 0, 0, 1, 0, 0, 0, 0, 0}}, true}};
  for (const auto& r : rows) {
    Harness h;
    feedB2a(h, meo(), 3000, r.g);
    EXPECT_EQ(gIono.size(), r.taken ? 1u : 0u);
  }
}

// A satellite in the setup's health-check mask gives its almanac and BDGIM only while HS and
// DIF are 0; any other satellite always.
TEST(BeidouCnavRules, NonEphemerisDataOfAMaskedUnhealthySatelliteIsSkipped) {
  const struct { bool masked; long long hs, dif, sif; bool taken; } rows[] = {
      {false, 1, 1, 0, true}, {true, 0, 0, 1, true}, {true, 1, 0, 0, false}, {true, 0, 1, 0, false}, {true, 2, 0, 0, false}};
  MidiAlmanac a;
  a.prn = 7, a.satType = 2, a.wna = 897 % 8192, a.toa = 20, a.sqrtA = q(6493.0, 4), a.di = q(0.01, 14);
  for (const auto& r : rows) {
    for (int signal : {8, 32}) {
      Harness h;
      gHealthMask = r.masked ? 1ull << (kPrn - 1) : 0;
      CnavFields f = meo();
      f.hs = r.hs, f.dif = r.dif, f.sif = r.sif;
      if (signal == 8) {
        Page3 p;
        p.type = 4;
        p.alm = a;
        h.b1c(kSv, encodeB1c(f, kBdtWeek, 8, p), 3);
        p.type = 1;
        p.iono = Bdgim{{100, 0, 0, 0, 0, 0, 0, 0, 0}};
        h.b1c(kSv, encodeB1c(f, kBdtWeek, 8, p), 4);
      } else {
        h.b2a(kSv, encodeB2a40(f, kPrn, 500, a));
        feedB2a(h, f, 501, Bdgim{{100, 0, 0, 0, 0, 0, 0, 0, 0}});
      }
      EXPECT_EQ(h.store->get_AlmLastData(kSysBeidou, 6) != nullptr, r.taken) << "signal " << signal << " hs " << r.hs;
      EXPECT_EQ(gIono.size(), r.taken ? 1u : 0u) << "signal " << signal << " hs " << r.hs;
    }
  }
}

// The midi almanac of B1C page 4 and B2a type 40 in the store's almanac of its PRN.
TEST(BeidouCnavRules, MidiAlmanacFieldsAndScales) {
  MidiAlmanac a;
  a.prn = 30, a.satType = 3, a.wna = 897, a.toa = 37, a.e = 300, a.di = -200, a.sqrtA = 82500, a.omega0 = -12345;
  a.omegaDot = -500, a.omega = 23456, a.m0 = -3210, a.af0 = -1000, a.af1 = 300, a.health = 0;
  for (int signal : {8, 32}) {
    Harness h;
    h.step(37 * 4096.0);
    if (signal == 8) {
      Page3 p;
      p.type = 4;
      p.alm = a;
      h.b1c(kSv, encodeB1c(meo(), kBdtWeek, 42, p), 3);
    } else {
      h.b2a(kSv, encodeB2a40(meo(), kPrn, 50000, a));
    }
    const auto* r = static_cast<const ZRT_ALM_CMP*>(h.store->get_AlmLastData(kSysBeidou, 29));
    ASSERT_NE(r, nullptr) << signal;
    EXPECT_EQ(r->prn, 30);
    EXPECT_EQ(r->toa, 37 * 4096);
    EXPECT_EQ(r->week, 897);
    EXPECT_EQ(r->satType, 3);
    EXPECT_EQ(r->signal, signal);
    EXPECT_EQ(r->flags, 0);
    EXPECT_FLOAT_EQ(r->sqrtA, 82500 / 16.0f);
    EXPECT_FLOAT_EQ(r->e, std::ldexp(300.0f, -16));
    EXPECT_FLOAT_EQ(r->deltaI, std::ldexp(-200.0f, -14));
    EXPECT_FLOAT_EQ(r->Omega0, std::ldexp(-12345.0f, -15));
    EXPECT_FLOAT_EQ(r->OmegaDot, std::ldexp(-500.0f, -33));
    EXPECT_FLOAT_EQ(r->omega, std::ldexp(23456.0f, -15));
    EXPECT_FLOAT_EQ(r->M0, std::ldexp(-3210.0f, -15));
    EXPECT_FLOAT_EQ(r->af0, std::ldexp(-1000.0f, -20));
    EXPECT_FLOAT_EQ(r->af1, std::ldexp(300.0f, -37));
  }
}

// B2b: the setup chooses the component; the delay goes to the field of the component that
// brought it; DIF/SIF/AIF in the extension byte, HS as health; IODE and IODC must agree.
TEST(BeidouCnavRules, B2bVariantsAndRecord) {
  const struct { int source; bool variant; bool taken; } rows[] = {
      {0, false, false}, {0, true, false}, {1, false, true}, {1, true, false},
      {2, false, false}, {2, true, true},  {3, false, true}, {3, true, true}, {7, true, true}};
  for (const auto& r : rows) {
    EXPECT_EQ(CompCNav2bDataDecoderType::is_VariantSelected(r.source, r.variant), r.taken);
    Harness h;
    gB2bSource = r.source;
    CnavFields f = meo();
    f.iode = f.iodc = 9, f.dif = 0, f.sif = 1, f.aif = 1, f.sismai = 3, f.hs = 1;
    h.b2b(kSv, encodeB2b10(f, 30000), r.variant);
    h.b2b(kSv, encodeB2b30(f, 30003, kBdtWeek), r.variant);
    const ZRT_EPH_CMP* e = stored(h);
    ASSERT_EQ(e != nullptr, r.taken) << r.source << " " << r.variant;
    if (e == nullptr) continue;
    EXPECT_EQ(e->tow, 30003u);
    EXPECT_EQ(e->week, kBdtWeek);
    EXPECT_EQ(e->health, 1);
    EXPECT_EQ(e->b2bIf, kBeidouB2bSif | kBeidouB2bAif);
    EXPECT_EQ(e->urai, 3);
    EXPECT_EQ(e->signals, kBeidouSignalB2b);
    const float delay = std::ldexp(77.0f, -34);
    EXPECT_EQ(e->flags & 0xEF00, r.variant ? kBeidouCnavB2bPilot : kBeidouCnavB2bData);
    EXPECT_FLOAT_EQ(r.variant ? e->b2bDelay2 : e->b2bDelay1, delay);
    EXPECT_FALSE(is_BeidouCnavEphemerisHealthy(*e)) << "AIF set";
  }
  Harness h;
  CnavFields f = meo();
  f.iode = 9, f.iodc = 8;
  h.b2b(kSv, encodeB2b10(f, 30000));
  h.b2b(kSv, encodeB2b30(f, 30003, kBdtWeek));
  f.iodc = 9;
  h.b2b(kSv, encodeB2b30(f, 30006, kBdtWeek));
  EXPECT_EQ(stored(h), nullptr) << "the mismatch emptied both parts";
  h.b2b(kSv, encodeB2b10(f, 30009));
  EXPECT_NE(stored(h), nullptr);
}

// The store merges the records of the signals: a B1C record after a B2a record keeps the
// stored ISC_B2ad and the B2a health flags; a repeat that brings nothing new is not a change;
// another value of a delay both carry is.
TEST(BeidouCnavRules, TheStoreMergesSignalsAndKeepsTheStoredIscB2ad) {
  Harness h;
  CnavFields f = meo();
  f.aif = 1;  // B2a's own AIF: unusable while B2a contributes
  feedB2a(h, f, 3000);
  const std::uint16_t afterB2a = h.counter(kSv);
  ASSERT_NE(stored(h), nullptr);
  EXPECT_FALSE(h.store->is_EphemerisHealthy(kSysBeidou, kSv.si, 1, SatelliteDataProcessor::kNewest));
  CnavFields b1c = meo();
  b1c.aif = 0;
  h.b1c(kSv, encodeB1c(b1c, kBdtWeek, 8), 100);
  const ZRT_EPH_CMP* e = stored(h);
  ASSERT_NE(e, nullptr);
  EXPECT_NE(h.counter(kSv), afterB2a) << "ISC_B1Cd is new";
  EXPECT_FLOAT_EQ(e->iscB2ad, std::ldexp(-40.0f, -34));
  EXPECT_FLOAT_EQ(e->iscB1Cd, std::ldexp(-12.0f, -34));
  EXPECT_EQ(e->flags & 0x0F00, kBeidouCnavMarkB1C | kBeidouCnavMarkB2a);
  EXPECT_EQ(e->signals, kBeidouSignalB1C | kBeidouSignalB2a);
  EXPECT_EQ(e->health & kBeidouHealthB2aAif, kBeidouHealthB2aAif) << "B2a's flags kept";
  EXPECT_FALSE(h.store->is_EphemerisHealthy(kSysBeidou, kSv.si, 1, SatelliteDataProcessor::kNewest));
  const std::uint16_t afterB1c = h.counter(kSv);
  h.b1c(kSv, encodeB1c(b1c, kBdtWeek, 8), 101);
  EXPECT_EQ(h.counter(kSv), afterB1c) << "nothing new";
  b1c.tgdB1Cp = 151;
  h.b1c(kSv, encodeB1c(b1c, kBdtWeek, 8), 102);
  EXPECT_NE(h.counter(kSv), afterB1c) << "TGD_B1Cp changed";
  EXPECT_FLOAT_EQ(stored(h)->tgd1, std::ldexp(151.0f, -34));
}

TEST(BeidouCnavRules, MergeTable) {
  ZRT_EPH_CMP base{};
  base.flags = kBeidouEphFlagCnav;
  auto rec = [&](std::uint16_t marks, std::uint8_t signals, float v, std::uint8_t health = 0, std::uint8_t b2bIf = 0) {
    ZRT_EPH_CMP e = base;
    e.flags = static_cast<std::uint16_t>(e.flags | marks);
    e.signals = signals;
    e.tgd1 = e.tgd2 = e.iscB1Cd = e.iscB2ad = e.b2bDelay1 = e.b2bDelay2 = v;
    e.health = health;
    e.b2bIf = b2bIf;
    return e;
  };
  const struct {
    const char* name;
    ZRT_EPH_CMP stored, incoming;
    bool changed;
    std::uint16_t marks;
    std::uint8_t signals;
  } rows[] = {
      {"same B1C again", rec(kBeidouCnavMarkB1C, 8, 1), rec(kBeidouCnavMarkB1C, 8, 1), false, kBeidouCnavMarkB1C, 8},
      {"B1C delay changed", rec(kBeidouCnavMarkB1C, 8, 1), rec(kBeidouCnavMarkB1C, 8, 2), true, kBeidouCnavMarkB1C, 8},
      {"B2a after B1C", rec(kBeidouCnavMarkB1C, 8, 1), rec(kBeidouCnavMarkB2a, 32, 1), true, 0x0F00, 40},
      {"B1C after B1C+B2a", rec(0x0F00, 40, 1), rec(kBeidouCnavMarkB1C, 8, 1), false, 0x0F00, 40},
      {"B2b pilot after data", rec(kBeidouCnavB2bData, 64, 1), rec(kBeidouCnavB2bPilot, 64, 1), true, 0x6000, 64},
      {"B1C health changed", rec(kBeidouCnavMarkB1C, 8, 1, 0), rec(kBeidouCnavMarkB1C, 8, 1, 0x80), true, kBeidouCnavMarkB1C, 8},
      {"HS changed", rec(kBeidouCnavMarkB2a, 32, 1, 0), rec(kBeidouCnavMarkB2a, 32, 1, 1), true, kBeidouCnavMarkB2a, 32},
      {"B2b flags changed", rec(kBeidouCnavB2bData, 64, 1, 0, 0), rec(kBeidouCnavB2bData, 64, 1, 0, 4), true, kBeidouCnavB2bData, 64},
      {"B1C after B2b", rec(kBeidouCnavB2bData, 64, 1, 0, 4), rec(kBeidouCnavMarkB1C, 8, 1), true, 0x2700, 72},
  };
  for (const auto& r : rows) {
    ZRT_EPH_CMP m = r.incoming;
    EXPECT_EQ(update_CnavTgdIsc(r.stored, m), r.changed) << r.name;
    EXPECT_EQ(m.flags & 0x6F00, r.marks) << r.name;
    EXPECT_EQ(m.signals, r.signals) << r.name;
  }
  // What the new record lacks comes from the stored one: B2a's flags, B2b's byte, its delays.
  ZRT_EPH_CMP m = rec(kBeidouCnavMarkB1C, 8, 5, 0x20);
  update_CnavTgdIsc(rec(kBeidouCnavMarkB2a | kBeidouCnavB2bData, 96, 7, 0x9C, 5), m);
  EXPECT_EQ(m.health, 0x20 | 0x1C) << "B1C's own flags, B2a's taken over";
  EXPECT_EQ(m.b2bIf, 5);
  EXPECT_FLOAT_EQ(m.iscB2ad, 7);
  EXPECT_FLOAT_EQ(m.b2bDelay1, 7);
  EXPECT_FLOAT_EQ(m.iscB1Cd, 5);
  EXPECT_FLOAT_EQ(m.tgd1, 5);
}

// Group delays of a B-CNAV record, each into its signal's field.
TEST(BeidouCnavRules, GroupDelayFields) {
  const struct { const char* name; std::uint16_t marks; float b1c, b2a, b2b; } rows[] = {
      {"B1C", kBeidouCnavMarkB1C, 10 + 0.5f * 3, 20, NAN},
      {"B2a", kBeidouCnavMarkB2a, 10, 20 + 0.5f * 4, NAN},
      {"B1C and B2a", 0x0F00, 10 + 1.5f, 22, NAN},
      {"B2b data", kBeidouCnavB2bData, NAN, NAN, 5},
      {"B2b pilot", kBeidouCnavB2bPilot, NAN, NAN, 6},
      {"B2b both", kBeidouCnavB2bData | kBeidouCnavB2bPilot, NAN, NAN, 5.5f},
  };
  for (const auto& r : rows) {
    ZRT_EPH_CMP e{};
    e.flags = static_cast<std::uint16_t>(kBeidouEphFlagCnav | r.marks);
    e.tgd1 = 10, e.tgd2 = 20, e.iscB1Cd = 3, e.iscB2ad = 4, e.b2bDelay1 = 5, e.b2bDelay2 = 6;
    float delay[6] = {};
    std::uint8_t source[6] = {};
    update_BeidouTgd(e, 1, delay, source);
    const struct { int field; float want; } cells[] = {
        {kBeidouTgdFieldB1C, r.b1c}, {kBeidouTgdFieldB2a, r.b2a}, {kBeidouTgdFieldB2b, r.b2b}};
    for (const auto& c : cells) {
      if (std::isnan(c.want)) {
        EXPECT_EQ(source[c.field], 0) << r.name << " field " << c.field;
      } else {
        EXPECT_EQ(source[c.field], 2) << r.name << " field " << c.field;
        EXPECT_FLOAT_EQ(delay[c.field], c.want) << r.name << " field " << c.field;
      }
    }
    EXPECT_EQ(source[0] + source[1], 0) << r.name << ": the D1 fields stay";
  }
}

// The verdict looks only at the flags of the signals that contributed.
TEST(BeidouCnavRules, HealthVerdictPerContributingSignal) {
  const struct { std::uint8_t signals, health, b2bIf; bool healthy; } rows[] = {
      {8, 0, 0, true},     {8, 0x20, 0, false}, {8, 0x80, 0, false}, {8, 0x40, 0, true},  {8, 0x14, 0, true},
      {32, 0x04, 0, false}, {32, 0x10, 0, false}, {32, 0x08, 0, true}, {32, 0xA0, 0, true}, {40, 0xA0, 0, false},
      {64, 0, 1, false},   {64, 0, 4, false},   {64, 0, 2, true},    {64, 0xFF, 0, true}, {8, 0, 5, true},
      {8, 0x03, 0, true},
  };
  for (const auto& r : rows) {
    ZRT_EPH_CMP e{};
    e.signals = r.signals, e.health = r.health, e.b2bIf = r.b2bIf;
    EXPECT_EQ(is_BeidouCnavEphemerisHealthy(e), r.healthy)
        << int(r.signals) << " " << int(r.health) << " " << int(r.b2bIf);
  }
}

// B1C: the frame's time is the hour of the week and the second of the hour; frames whose hour
// or second of hour lies beyond the week are dropped.
TEST(BeidouCnavRules, B1cTimeOfWeek) {
  const struct { int how, soh; bool kept; std::uint32_t tow; } rows[] = {
      {0, 0, true, 0}, {8, 199, true, 8 * 3600 + 199 * 18}, {90, 199, true, 327582}, {168, 0, false, 0},
      {8, 200, false, 0}, {8, -1, false, 0}};
  for (const auto& r : rows) {
    Harness h;
    h.b1c(kSv, encodeB1c(meo(), kBdtWeek, r.how), r.soh);
    const ZRT_EPH_CMP* e = stored(h);
    ASSERT_EQ(e != nullptr, r.kept) << r.how << " " << r.soh;
    if (e != nullptr) {
      EXPECT_EQ(e->tow, r.tow);
    }
  }
}

// Random words of every length and cut real messages: nothing breaks, a cut one is dropped.
TEST(BeidouCnavRules, RandomAndTruncatedInput) {
  Harness h;
  std::mt19937 rng(30);
  std::array<std::uint32_t, 40> w{};
  for (int round = 0; round < 3000; ++round) {
    for (auto& x : w) x = rng();
    const int n = static_cast<int>(rng() % 32);
    const auto si = static_cast<std::uint8_t>(rng() % 70);
    const SvIdType sv{si, static_cast<std::uint8_t>(rng() % 8), 0, si};
    const NavDecoderTime t{0, static_cast<std::uint32_t>(round)};
    gB2bSource = static_cast<int>(rng() % 4);
    if (auto* d = get_CompCNav1DataDecoder(&t, &sv)) d->update(t, sv, w.data(), n, static_cast<int>(rng() % 220) - 10);
    if (auto* d = get_CompCNav2DataDecoder(&t, &sv)) d->update(t, sv, w.data(), n);
    if (auto* d = get_CompCNav2bDataDecoder(&t, &sv)) d->update(t, sv, w.data(), n, (rng() & 1) != 0);
    if (round % 200 == 0) h.step(rng() % 604800);
  }
  Harness cut;
  const CnavFields f = meo();
  cut.b1c(kSv, encodeB1c(f, kBdtWeek, 8), 3, 27);
  cut.b2a(kSv, encodeB2a10(f, kPrn, 10, kBdtWeek), 8);
  cut.b2a(kSv, encodeB2a11(f, kPrn, 11), 8);
  cut.b2a(kSv, encodeB2a30(f, kPrn, 12), 8);
  cut.b2b(kSv, encodeB2b10(f, 30000), false, 14);
  cut.b2b(kSv, encodeB2b30(f, 30003, kBdtWeek), false, 14);
  EXPECT_EQ(stored(cut), nullptr);
  cut.b2a(kSv, encodeB2a10(f, kPrn, 13, kBdtWeek), 9);
  cut.b2a(kSv, encodeB2a11(f, kPrn, 14), 9);
  cut.b2a(kSv, encodeB2a30(f, kPrn, 15), 9);
  EXPECT_NE(stored(cut), nullptr) << "whole messages are taken";
}
