// The BeiDou D1 decoder's own rules and the store's BeiDou rules, a row per rule and edge.
#include <gtest/gtest.h>

#include <random>

#include "beidou_test_util.h"
#include "navigation_data/orbits/beidou_eph.h"
#include "unit/own_process.h"

using namespace bdstest;

namespace {

D1Ephemeris baseEph(long long toe = 345600, long long sqrtA = 0, long long satH1 = 0) {
  D1Ephemeris f;
  f.wn = 810;
  f.toc = f.toe = toe / 8;
  f.sqrtA = sqrtA != 0 ? sqrtA : q(6493.4, 19);
  f.i0 = q(0.3, 31);
  f.e = q(0.01, 33);
  f.m0 = 12345;
  f.omega = 777;
  f.omega0 = -4242;
  f.satH1 = satH1;
  f.alpha[0] = 7;
  return f;
}

void feedEph(Harness& h, int prn, const D1Ephemeris& f, long long sow1, float cn0 = 45.0f, const int gaps[2] = nullptr) {
  auto sf = encodeD1(f, sow1);
  if (gaps != nullptr) {
    sf[1] = encodeD1(f, sow1 + gaps[0] - 6)[1];
    sf[2] = encodeD1(f, sow1 + gaps[0] + gaps[1] - 12)[2];
  }
  for (const Words& w : sf) h.feed(bds(prn), w, cn0);
}

D1Almanac alm(long long toa, long long sqrtA = 0) {
  D1Almanac a;
  a.sqrtA = sqrtA != 0 ? sqrtA : std::llround(5282.5 * 2048);
  a.e = 100, a.di = 1000, a.toa = toa, a.m0 = 5, a.omega = 6, a.omega0 = 7;
  return a;
}

std::uint16_t almCount(Harness& h, int sat) { return h.store->get_AlmUpdateCounter(kSysBeidou, sat); }

}  // namespace

TEST_OWN(BeidouStoreRules, AccuracyByUraIndex) {
  const struct { int index; double metres; } rows[] = {
      {0, 2.0}, {1, 2.8}, {2, 4.0}, {3, 5.7}, {4, 8.0}, {5, 11.3}, {6, 16.0}, {7, 32.0}, {8, 64.0}, {9, 128.0},
      {10, 256.0}, {11, 512.0}, {12, 1024.0}, {13, 2048.0}, {14, 4096.0}, {15, 20000.0},
      {16, 0.0},   // only a malformed external record carries it: 0 m, kept on purpose
      {255, 0.0}};
  for (const auto& r : rows) EXPECT_EQ(get_BeidouEphemerisAccuracy(r.index), r.metres) << r.index;
}

TEST_OWN(BeidouStoreRules, PlausibilityAndHealth) {
  const struct { const char* name; double sqrtA, i0; bool plausible; } rows[] = {
      {"GEO near the equator", 6493.0, 0.02, true},
      {"GEO at the inclination limit", 6493.0, 0.1, true},
      {"IGSO", 6493.4, 0.305, true},
      {"MEO", 5282.6, 0.31, true},
      {"MEO just inside the inclination window", 5282.6, 0.399, true},
      {"MEO just outside it", 5282.6, 0.401, false},
      {"MEO inclined 0.45", 5282.6, 0.45, false},
      {"inclined 0.15 is neither", 6493.0, 0.15, false},
      {"negative GEO inclination", 6493.0, -0.05, true},
      {"sqrt(A) at the upper edge", 6493.4 + 1500, 0.3, true},
      {"sqrt(A) beyond both", 8000.0, 0.3, false},
      {"sqrt(A) below both", 3600.0, 0.3, false},
      {"sqrt(A) NaN", std::nan(""), 0.3, false},
      {"inclination NaN", 5282.6, std::nan(""), false},
  };
  for (const auto& r : rows) {
    ZRT_EPH_CMP e{};
    e.sqrtA = r.sqrtA;
    e.i0 = r.i0;
    EXPECT_EQ(is_BeidouEphemerisPlausible(e), r.plausible) << r.name;
  }
  ZRT_EPH_CMP e{};
  EXPECT_TRUE(is_BeidouEphemerisHealthy(e));
  e.health = 1;
  EXPECT_FALSE(is_BeidouEphemerisHealthy(e));
}

TEST_OWN(BeidouStoreRules, GroupDelaysAndAlmanacRules) {
  ZRT_EPH_CMP e{};
  e.tgd1 = 8.2e-9f;
  e.tgd2 = -1.9e-9f;
  float delay[6] = {};
  std::uint8_t source[6] = {};
  update_BeidouTgd(e, 0, delay, source);
  EXPECT_EQ(delay[0], 8.2e-9f);
  EXPECT_EQ(delay[1], -1.9e-9f);
  EXPECT_EQ(source[0], 2);
  EXPECT_EQ(source[1], 2);
  EXPECT_EQ(source[2], 0);

  const struct { const char* name; int weekIn, toaIn, weekStored, toaStored; bool taken; } rows[] = {
      {"later toa", 810, 86016, 810, 81920, true},
      {"same reference time", 810, 81920, 810, 81920, false},
      {"earlier toa", 810, 77824, 810, 81920, false},
      {"next week", 811, 0, 810, 600000, true},
      {"across the 1024-week rollover", 0, 0, 1023, 600000, true},
      {"1023 after 0 is older", 1023, 600000, 0, 0, false},
  };
  for (const auto& r : rows) {
    ZRT_ALM_CMP in{}, st{};
    in.week = static_cast<std::int16_t>(r.weekIn), in.toa = r.toaIn;
    st.week = static_cast<std::int16_t>(r.weekStored), st.toa = r.toaStored;
    EXPECT_EQ(accept_BeidouAlmanac(in, &st), r.taken) << r.name;
    EXPECT_TRUE(accept_BeidouAlmanac(in, nullptr)) << r.name;
  }
  ZRT_ALM_CMP a{};
  for (const auto& [sqrtA, usable] : {std::pair{6493.4f, true}, {5153.0f, true}, {5282.5f, true}, {7994.0f, false},
                                      {3652.0f, false}}) {
    a.sqrtA = sqrtA;
    EXPECT_EQ(is_BeidouAlmanacUsable(a), usable) << sqrtA;
  }
}

// The store keeps a BeiDou ephemeris 7260 s either side of toe.
TEST_OWN(BeidouStoreRules, ValiditySpan) {
  Harness h;
  feedEph(h, 6, baseEph(345600), 345600);
  for (const auto& [dt, ready] : {std::pair{0, true}, {7260, true}, {-7260, true}, {7261, false}, {-7261, false}}) {
    h.step(345600 + dt, 810);
    EXPECT_EQ(h.store->is_EphemerisReady(kSysBeidou, 5, 0, SatelliteDataProcessor::kNewest), ready) << dt;
  }
  h.step(345600, 810);
  EXPECT_TRUE(h.store->is_EphemerisValid(kSysBeidou, 5, 0, SatelliteDataProcessor::kNewest));
  EXPECT_TRUE(h.store->is_EphemerisHealthy(kSysBeidou, 5, 0, SatelliteDataProcessor::kNewest));
}

TEST_OWN(BeidouD1Rules, SubframeSpacing) {
  const struct { const char* name; int gap2, gap3; bool stored; } rows[] = {
      {"6 s apart", 6, 6, true},
      {"7 s apart", 7, 7, true},
      {"subframe 3 12 s after subframe 2", 6, 12, false},
      {"subframe 2 8 s after subframe 1", 8, 6, false},
      {"subframe 2 before subframe 1", -6, 6, false},
  };
  for (const auto& r : rows) {
    Harness h;
    const int gaps[2] = {r.gap2, r.gap3};
    feedEph(h, 6, baseEph(345600 + 3600 * (&r - rows)), 345600, 45.0f, gaps);
    EXPECT_EQ(h.eph(bds(6), 345600 + 3600 * (&r - rows), 810) != nullptr, r.stored) << r.name;
  }
  // A set discarded for its spacing: the next subframe 1 starts it again.
  Harness h;
  const int late[2] = {6, 12};
  feedEph(h, 6, baseEph(), 345600, 45.0f, late);
  EXPECT_EQ(h.eph(bds(6), 345600, 810), nullptr);
  feedEph(h, 6, baseEph(), 345630);
  EXPECT_NE(h.eph(bds(6), 345600, 810), nullptr);
}

TEST_OWN(BeidouD1Rules, FrameIdsOutsideOneToFiveAreIgnored) {
  for (int fraId : {0, 6, 7}) {
    Harness h;
    auto sf = encodeD1(baseEph(), 345600);
    h.feed(bds(6), sf[0]);
    Words odd = sf[1];
    for (int b = 0; b < 3; ++b) putBit(odd, 16 + b, (fraId >> (2 - b)) & 1);
    h.feed(bds(6), odd);
    h.feed(bds(6), sf[2]);
    EXPECT_EQ(h.eph(bds(6), 345600, 810), nullptr) << fraId;
  }
}

TEST_OWN(BeidouD1Rules, PagesWaitForAHealthyEphemeris) {
  const struct { const char* name; bool eph; int satH1; bool taken; } rows[] = {
      {"no ephemeris yet", false, 0, false}, {"unhealthy ephemeris", true, 1, false}, {"healthy", true, 0, true}};
  for (const auto& r : rows) {
    Harness h;
    if (r.eph) feedEph(h, 6, baseEph(345600, 0, r.satH1), 345600);
    h.feed(bds(6), encodeAlmanacPage(4, 3, alm(20), 345618));
    h.feed(bds(6), encodeUtcPage(4, 4, 61, -7, 0, 6, 345624));
    EXPECT_EQ(almCount(h, 2) > 0, r.taken) << r.name;
    EXPECT_EQ(h.utc() != nullptr, r.taken) << r.name;
  }
}

TEST_OWN(BeidouD1Rules, EmptyPagesAreIgnored) {
  Harness h;
  feedEph(h, 6, baseEph(), 345600);
  Words empty = header(4, 345618).put(0, 1).put(3, 7).w;  // data bits from bit 61 all zero
  h.feed(bds(6), empty);
  EXPECT_EQ(almCount(h, 2), 0);
  Words ones = empty;
  for (int word = 3; word <= 10; ++word)
    for (int b = 0; b < 22; ++b) putBit(ones, (word - 1) * 30 + b + 1, 1);
  h.feed(bds(6), ones);
  EXPECT_EQ(almCount(h, 2), 0) << "one repeated byte value";
  h.feed(bds(6), encodeAlmanacPage(4, 3, alm(20), 345624));
  EXPECT_EQ(almCount(h, 2), 1);
}

// Satellite 5 in two sets (toa 20 with its page 8, toa 21 without): one write per subframe, from
// the set with page 8; a second decoder in the same subframe writes nothing more.
TEST_OWN(BeidouD1Rules, OneAlmanacWritePerSubframeFromThePreferredSet) {
  Harness h;
  feedEph(h, 6, baseEph(), 345600);
  feedEph(h, 7, baseEph(345600, q(6493.5, 19)), 345600);
  const int health[11] = {};
  h.feed(bds(6), encodePage8(health, 42, 20, 345618));
  h.feed(bds(6), encodeAlmanacPage(4, 5, alm(21, std::llround(5282.0 * 2048)), 345624));
  EXPECT_EQ(almCount(h, 4), 1);
  h.feed(bds(6), encodeAlmanacPage(4, 5, alm(20), 345630));
  EXPECT_EQ(almCount(h, 4), 1) << "toa 20 is not newer than the stored 21 by the store's rule";
  h.feed(bds(7), encodeAlmanacPage(4, 5, alm(20), 345630));
  EXPECT_EQ(almCount(h, 4), 1) << "same subframe count: the other decoder does not write it again";
}

// With all ten sets holding page 8s newer than a page, that page is dropped; a newer one takes
// the oldest set.
TEST_OWN(BeidouD1Rules, Page8OlderThanEverySetIsDropped) {
  Harness h;
  feedEph(h, 6, baseEph(), 345600);
  const int health[11] = {88, 88, 88, 88, 88, 88, 88, 88, 88, 88, 88};
  long long sow = 345618;
  for (int k = 0; k < 10; ++k) h.feed(bds(6), encodePage8(health, 42, 100 + k, sow += 6));
  h.feed(bds(6), encodeAlmanacPage(5, 1, alm(50), sow += 6));
  EXPECT_EQ(almCount(h, 24), 0) << "no set for toa 50: page dropped";
  h.feed(bds(6), encodePage8(health, 41, 200, sow += 6));
  h.feed(bds(6), encodeAlmanacPage(5, 1, alm(200), sow += 6));
  EXPECT_EQ(almCount(h, 24), 0) << "an older page 8 took no set";
  h.feed(bds(6), encodePage8(health, 43, 10, sow += 6));
  h.feed(bds(6), encodeAlmanacPage(5, 1, alm(10), sow += 6));
  h.step(static_cast<double>(sow), 811);
  ASSERT_EQ(almCount(h, 24), 1) << "a newer page 8 replaced the oldest set";
  const ZRT_ALM_CMP* a = h.alm(24);
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(a->health, 88);
  EXPECT_EQ(a->week, 811);
  EXPECT_EQ(a->flags, 0);
}

// Page 7 serves the set of the last page 8; health is the low 8 bits of the 9-bit field.
TEST_OWN(BeidouD1Rules, HealthPages) {
  Harness h;
  feedEph(h, 6, baseEph(), 345600);
  int h7[19] = {};
  h7[2] = 0x1FF;
  h.feed(bds(6), encodePage7(h7, 345618));  // before any page 8: ignored
  h.feed(bds(6), encodeAlmanacPage(4, 3, alm(20), 345624));
  h.step(345624, 810);
  ASSERT_NE(h.alm(2), nullptr);
  EXPECT_EQ(h.alm(2)->flags, 3);
  const int h8[11] = {};
  h.feed(bds(6), encodePage8(h8, 42, 21, 345630));
  h.feed(bds(6), encodePage7(h7, 345636));
  h.feed(bds(6), encodeAlmanacPage(4, 3, alm(21), 345642));
  h.step(345642, 810);
  ASSERT_NE(h.alm(2), nullptr);
  EXPECT_EQ(h.alm(2)->health, 0xFF);
  EXPECT_EQ(h.alm(2)->flags, 0);
}

// Without page 8 the almanac week is the one nearest the toa: a toa more than half a week after
// the subframe lies in the previous week, more than half a week before it in the next.
TEST_OWN(BeidouD1Rules, AlmanacWeekWithoutPage8) {
  const struct { long long sow; int toa; int week; } rows[] = {
      {345618, 84, 810},        // 344064 s: same week
      {6, 147, 809},            // 602112 s ahead of the subframe: last week's
      {604794, 1, 811},         // 4096 s, 600698 s behind: next week's
      {302400, 147, 810},       // 299712 s ahead: same week
  };
  for (const auto& r : rows) {
    Harness h;
    feedEph(h, 6, baseEph(345600), r.sow > 12 ? r.sow - 12 : 0);
    h.feed(bds(6), encodeAlmanacPage(4, 3, alm(r.toa), r.sow + 6));
    ASSERT_EQ(almCount(h, 2), 1) << r.sow;
    h.step(static_cast<double>(r.toa) * 4096, r.week);
    const ZRT_ALM_CMP* a = h.alm(2);
    ASSERT_NE(a, nullptr) << r.sow;
    EXPECT_EQ(a->week, r.week) << r.sow;
  }
}

TEST_OWN(BeidouD1Rules, GhostCheck) {
  const struct { const char* name; float otherCn0, myCn0; bool resetMe, resetOther; } rows[] = {
      {"weaker twin of a tracked satellite", 45, 30, true, false},
      {"stronger twin of a tracked satellite", 30, 45, false, true},
      {"untracked other, strong twin", 8, 41, false, true},
      {"untracked other, middling twin", 8, 35, false, false},
  };
  for (const auto& r : rows) {
    Harness h;
    feedEph(h, 7, baseEph(), 345600, r.otherCn0);
    feedEph(h, 6, baseEph(), 345630, r.myCn0);
    const bool me = !gResets.empty() && gResets[0].sv == bds(6);
    const bool other = !gResets.empty() && gResets[0].sv == bds(7);
    EXPECT_EQ(me, r.resetMe) << r.name;
    EXPECT_EQ(other, r.resetOther) << r.name;
    EXPECT_EQ(!gEphResets.empty(), r.resetOther) << r.name;
    EXPECT_EQ(h.eph(bds(6), 345600, 810) != nullptr, !r.resetMe) << r.name;
  }
}

// A decoder taken over by another satellite starts afresh: half a set of the first one is lost.
TEST_OWN(BeidouD1Rules, AnotherSatelliteResetsTheDecoder) {
  Harness h;
  auto sf = encodeD1(baseEph(), 345600);
  CompD1NavDataDecoderType& d = CompD1NavDataDecoderInstance[0];
  const NavDecoderTime t{0, 0};
  d.update(t, bds(6), 0, sf[0].data(), 10, 45);
  d.update(t, bds(6), 1, sf[1].data(), 10, 45);
  d.update(t, bds(8), 0, sf[2].data(), 10, 45);
  EXPECT_EQ(d.get_SvId(), bds(8));
  EXPECT_EQ(h.eph(bds(6), 345600, 810), nullptr);
  EXPECT_EQ(h.eph(bds(8), 345600, 810), nullptr);
  for (const Words& w : sf) d.update(t, bds(8), 2, w.data(), 10, 45);
  const ZRT_EPH_CMP* e = h.eph(bds(8), 345600, 810);
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(e->signals, 4);
  EXPECT_EQ(gIonCount, 1);
}

TEST_OWN(BeidouD1Rules, RandomAndTruncatedInputNeverHarm) {
  Harness h;
  std::mt19937 rng(27);
  std::uniform_int_distribution<std::uint32_t> bits;
  for (int i = 0; i < 20000; ++i) {
    Words w;
    for (auto& x : w) x = bits(rng);
    const int prn = 1 + static_cast<int>(bits(rng) % 63);
    h.feed(bds(prn), w, static_cast<float>(bits(rng) % 60), static_cast<std::uint8_t>(bits(rng) % 40));
  }
  // Random pages of subframes 4 and 5 reach the page decoders once the satellites have a
  // healthy ephemeris.
  for (int prn = 6; prn <= 14; ++prn) feedEph(h, prn, baseEph(345600, q(6493.0 + prn, 19)), 345600);
  for (int i = 0; i < 20000; ++i) {
    Words w;
    for (auto& x : w) x = bits(rng);
    const int fraId = 4 + static_cast<int>(bits(rng) % 2);
    for (int b = 0; b < 3; ++b) putBit(w, 16 + b, (fraId >> (2 - b)) & 1);
    const int page = 1 + static_cast<int>(bits(rng) % 24);
    for (int b = 0; b < 7; ++b) putBit(w, 44 + b, (page >> (6 - b)) & 1);
    h.feed(bds(6 + static_cast<int>(bits(rng) % 9)), w);
    if (i % 1000 == 0) h.step(bits(rng) % 604800, 810);
  }
  // Short, null, other systems and indices out of range are refused before any bit is read.
  Words w = encodeD1(baseEph(), 345600)[0];
  CompD1NavDataDecoderType& d = CompD1NavDataDecoderInstance[0];
  const NavDecoderTime t{0, 0};
  d.update(t, bds(6), 0, w.data(), 9, 45);
  d.update(t, bds(6), 0, nullptr, 10, 45);
  d.update(t, SvIdType{5, kSysGps, 0, 5}, 0, w.data(), 10, 45);
  d.update(t, SvIdType{63, kSysBeidou, 0, 63}, 0, w.data(), 10, 45);
  h.step(345600, 810);
  SUCCEED();
}

// An almanac's health comes from the preferred set whose health page has arrived: with two
// page 8s, the newer one's.
TEST_OWN(BeidouD1Rules, HealthFromThePreferredSet) {
  Harness h;
  feedEph(h, 6, baseEph(), 345600);
  int older[11] = {}, newer[11] = {};
  older[5] = 5, newer[5] = 0x107;  // satellite 25; 9 bits, the record keeps the low 8
  h.feed(bds(6), encodePage8(older, 42, 20, 345618));
  h.feed(bds(6), encodePage8(newer, 42, 21, 345624));
  h.feed(bds(6), encodeAlmanacPage(5, 1, alm(20), 345630));
  h.step(345630, 810);
  const ZRT_ALM_CMP* a = h.alm(24);
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(a->health, 7);
  EXPECT_EQ(a->toa, 20 * 4096);
}

// The pool: a satellite keeps its decoder; a new one takes a free decoder, and with all 25 in use
// the one updated longest ago.
TEST_OWN(BeidouD1Rules, DecoderPool) {
  Harness h;
  NavDecoderTime t{0, 0};
  CompD1NavDataDecoderType* first = nullptr;
  for (int prn = 1; prn <= CompD1NavDataDecoderType::kPoolSize; ++prn) {
    t.ulTimeTag = static_cast<std::uint32_t>(prn * 100);
    const SvIdType sv = bds(prn);
    CompD1NavDataDecoderType* d = get_CompD1NavDataDecoder(&t, &sv);
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->get_SvId().si, kSvUnknown) << prn;
    d->update(t, sv, 0, encodeD1(baseEph(), 345600)[0].data(), 10, 45);
    if (prn == 1) first = d;
  }
  const SvIdType again = bds(1);
  EXPECT_EQ(get_CompD1NavDataDecoder(&t, &again), first);
  const SvIdType extra = bds(40);
  t.ulTimeTag = 100000;
  EXPECT_EQ(get_CompD1NavDataDecoder(&t, &extra), first) << "C01 was updated longest ago";
}
