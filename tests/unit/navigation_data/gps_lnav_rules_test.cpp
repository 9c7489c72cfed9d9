// The LNAV decoder's rules: week widening, the subframe-time window, issue-of-data agreement,
// pool eviction, the ghost check, the waiting UTC page, almanac sets and outputs, the
// correction table, and input that is random or cut short.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "../../../tools/gnss_board_sim/sim_lnav.h"
#include "lnav_test_util.h"
#include "unit/own_process.h"

using namespace lnavtest;

namespace {

SvIdType gps(int prn) { return SvIdType{static_cast<std::uint8_t>(prn - 1), kSysGps, 0, static_cast<std::uint8_t>(prn - 1)}; }

Words sf(const Harness& h, int k) { return h.vec.at("ephLNAVGPSSF" + std::to_string(k)).w; }
void feedEph(Harness& h, SvIdType sv, float cn0 = 45.0f, std::uint8_t signal = 0) {
  for (int k = 1; k <= 3; ++k) h.feed(sv, sf(h, k), cn0, signal);
}
const ZRT_ALM_GPS* alm(Harness& h, int prn) { return h.alm(kSysGps, prn - 1); }

Words withTow(Words w, std::uint32_t tow) {
  putBits(w, 31, 17, tow);
  return w;
}

TEST_OWN(GpsLnavRules, FullWeekNumber) {
  const struct { int ref, shortWeek, want; } rows[] = {
      {1023, 0, 0}, {128, 255, 1023}, {129, 0, 256}, {200, 70, 326},  // 70 - 200 = -130: next cycle
      {128, 254, 254}, {200, 73, 73}, {200, 72, 328},                  // +126 and -127 stay, -128 wraps
      {0, 0, 0}, {1000, 231, 999}, {1000, 20, 20},                     // 1044 taken modulo 1024
  };
  for (const auto& r : rows) EXPECT_EQ(getFullWeekNum(r.ref, r.shortWeek), r.want) << r.ref << " " << r.shortWeek;
}

// Subframe time = HOW count x 6 - 6 s, kept within 0..604800 s; the HOW alert bit reaches the store.
TEST_OWN(GpsLnavRules, SubframeTimeWindowAndAlertFlag) {
  const struct { std::uint32_t tow; int alert; bool stored; } rows[] = {
      {0, 0, false}, {1, 0, true}, {100801, 1, true}, {100802, 0, false}, {131071, 0, false}};
  for (const auto& r : rows) {
    Harness h;
    const SvIdType sv = gps(3 + static_cast<int>(&r - rows));
    for (int k = 1; k <= 3; ++k) {
      Words w = withTow(sf(h, k), r.tow);
      putBits(w, 48, 1, static_cast<std::uint64_t>(r.alert));
      h.feed(sv, w);
    }
    EXPECT_EQ(h.eph(sv) != nullptr, r.stored) << r.tow;
    if (r.stored) {
      EXPECT_EQ(h.store->get_AlertFlag(sv, 0), r.alert != 0) << r.tow;
    }
  }
}

// IODC's low byte must equal both IODEs; a disagreeing block is cleared whole.
TEST_OWN(GpsLnavRules, IssueOfDataDisagreementClearsBlock) {
  Harness h;
  Words bad = sf(h, 1);
  putBits(bad, 211, 8, 75);
  h.feed(gps(7), bad), h.feed(gps(7), sf(h, 2)), h.feed(gps(7), sf(h, 3));
  EXPECT_EQ(h.eph(gps(7)), nullptr);
  h.feed(gps(7), sf(h, 1));
  EXPECT_EQ(h.eph(gps(7)), nullptr);  // subframes 2 and 3 went with the cleared block
  h.feed(gps(7), sf(h, 2)), h.feed(gps(7), sf(h, 3));
  ASSERT_NE(h.eph(gps(7)), nullptr);
  EXPECT_EQ(h.eph(gps(7))->iodc, 74);
}

// Once a satellite has an ephemeris, a new one replaces it only when it came twice alike.
TEST_OWN(GpsLnavRules, NewEphemerisNeedsARepeat) {
  Harness h;
  feedEph(h, gps(9));
  Words s[3] = {sf(h, 1), sf(h, 2), sf(h, 3)};
  putBits(s[0], 211, 8, 75), putBits(s[1], 61, 8, 75), putBits(s[2], 271, 8, 75);
  for (const Words& w : s) h.feed(gps(9), w);
  EXPECT_EQ(h.eph(gps(9))->iode, 74);
  for (const Words& w : s) h.feed(gps(9), w);
  EXPECT_EQ(h.eph(gps(9))->iode, 75);
}

// With the pool full, a new satellite takes the object updated longest ago (unsigned tag
// difference, so across the tag's wrap); equal ages go to the lowest position.
TEST_OWN(GpsLnavRules, PoolEvictionTakesOldest) {
  const struct { std::uint32_t now; int oldIdx; std::uint32_t oldTag; std::uint32_t otherTag; int want; } rows[] = {
      {1000, 5, 10, 500, 5}, {1000, 23, 10, 500, 23}, {1000, 0, 500, 500, 0},
      {5, 9, 0xFFFFFFF0u, 1, 9}, {1000, 9, 500, 500, 0},
  };
  Harness h;
  const Words zero{};
  for (const auto& r : rows) {
    for (int i = 0; i < GpsNavDataDecoderType::kPoolSize; ++i) {
      GpsNavDataDecoderPool[i].reset();
      const SvIdType sv = gps(i + 1);
      GpsNavDataDecoderPool[i].update(NavDecoderTime{0, i == r.oldIdx ? r.oldTag : r.otherTag}, sv, 0, zero.data(), 10, 0);
    }
    const NavDecoderTime t{0, r.now};
    const SvIdType fresh = gps(30), own = gps(4);
    EXPECT_EQ(get_GpsNavDataDecoder(&t, &fresh)->get_PoolIndex(), r.want) << &r - rows;
    EXPECT_EQ(get_GpsNavDataDecoder(&t, &own)->get_PoolIndex(), 3);
    GpsNavDataDecoderPool[17].reset();
    EXPECT_EQ(get_GpsNavDataDecoder(&t, &fresh)->get_PoolIndex(), 17);  // a free object before any eviction
  }
}

// Satellite A holds an ephemeris; B (tracked on signal 0) then completes the same one.
TEST_OWN(GpsLnavRules, GhostCheckRestartsTheWeaker) {
  enum Who { kNone, kA, kB };
  const struct { float cn0A, cn0B; bool same; Who reset; bool bStored; } rows[] = {
      {30, 20, true, kB, false}, {30, 30, true, kA, true}, {30, 35, true, kA, true},
      {10, 9, true, kNone, true},  // A at 10.0 counts as untracked; B not above 40
      {8, 40, true, kNone, true},  {8, 40.5f, true, kA, true}, {30, 20, false, kNone, true},
  };
  for (const auto& r : rows) {
    Harness h;
    const SvIdType a = gps(5), b = gps(6);
    feedEph(h, a, r.cn0A, 2);
    Words s2 = sf(h, 2);
    if (!r.same) putBits(s2, 121, 24, 12345);  // another M0
    h.feed(b, sf(h, 1), r.cn0B), h.feed(b, s2, r.cn0B), h.feed(b, sf(h, 3), r.cn0B);
    const auto row = &r - rows;
    ASSERT_EQ(gResets.size(), r.reset == kNone ? 0u : 1u) << row;
    if (r.reset != kNone) {
      EXPECT_EQ(gResets[0].sv, r.reset == kA ? a : b) << row;
      EXPECT_EQ(gResets[0].mask, r.reset == kA ? 0x04 : 0x01) << row;
    }
    // A's ephemerides go when A is the one restarted; B's never were stored.
    ASSERT_EQ(gEphResets.size(), r.reset == kA ? 1u : 0u) << row;
    EXPECT_EQ(h.eph(b) != nullptr, r.bStored) << row;
  }
}

// The 16-bit check value, computed here bit by bit from words 3-10 of subframes 1-3 (CCITT
// polynomial, MSB first, start 0, each byte masked and bit-reversed).
TEST_OWN(GpsLnavRules, EphemerisCheckValue) {
  Harness h;
  const std::uint32_t keep[3][8] = {{0x000003, 0, 0, 0, 0x0000FF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFC},
                                    {0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFF00},
                                    {0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFC}};
  std::uint16_t crc = 0;
  for (int s = 0; s < 3; ++s)
    for (int word = 3; word <= 10; ++word)
      for (int byte = 0; byte < 3; ++byte) {
        const std::uint32_t d = getBits(sf(h, s + 1), (word - 1) * 30 + 1, 24) & keep[s][word - 3];
        for (int bit = 0; bit < 8; ++bit) {  // reversed: the byte's LSB goes first
          const int in = static_cast<int>(d >> (16 - 8 * byte + bit) & 1);
          const bool top = ((crc >> 15) & 1) != (in != 0);
          crc = static_cast<std::uint16_t>(top ? (crc << 1) ^ 0x1021 : crc << 1);
        }
      }
  feedEph(h, gps(8));
  ASSERT_EQ(gGbasCrc.size(), 1u);
  EXPECT_EQ(gGbasCrc[0], crc);
  EXPECT_EQ(h.eph(gps(8))->rawCheck, crc);
}

// A UTC page waits until a subframe other than 4 arrives; while it waits, a page with an equal
// or earlier reference time from any satellite is ignored.
TEST_OWN(GpsLnavRules, UtcPageWaitsForALaterOne) {
  const struct { int tot1, tot2; int wantA0; } rows[] = {{40, 40, 1}, {40, 39, 1}, {40, 41, 2}};
  for (const auto& r : rows) {
    Harness h;
    feedEph(h, gps(1)), feedEph(h, gps(2));
    Words p1 = h.vec.at("pg56LNAVGPS").w, p2 = p1;
    putBits(p1, 219, 8, static_cast<std::uint64_t>(r.tot1)), putBits(p1, 211, 8, 1);
    putBits(p2, 219, 8, static_cast<std::uint64_t>(r.tot2)), putBits(p2, 211, 8, 2);
    h.feed(gps(1), p1), h.feed(gps(2), p2), h.feed(gps(2), sf(h, 1));
    const auto* u = static_cast<const ZRT_UTC_GPS*>(h.store->get_UtcLastData(kSysGps));
    ASSERT_NE(u, nullptr);
    EXPECT_DOUBLE_EQ(u->A0, std::ldexp(r.wantA0, -30)) << &r - rows;
    putBits(p1, 219, 8, 3), putBits(p1, 211, 8, 3);  // once processed, any page is taken
    h.feed(gps(1), p1), h.feed(gps(1), sf(h, 2));
    EXPECT_EQ(u->tot, 3u * 4096);
  }
}

// GPS and QZSS pages wait each in their own system's block: a QZSS page with a later reference
// time, in the same subframe as a GPS page, does not displace it, and each system's UTC is
// stored.
TEST_OWN(GpsLnavRules, UtcPagesOfGpsAndQzssWaitApart) {
  const SvIdType qzs{0, kSysQzss, 0, 0};
  const struct { int gpsTot, qzssTot; } rows[] = {{40, 41}, {41, 40}, {40, 40}};
  for (const auto& r : rows) {
    Harness h;
    feedEph(h, gps(1)), feedEph(h, qzs);
    Words g = h.vec.at("pg56LNAVGPS").w, q = h.vec.at("pg56LNAVQZSS").w;
    putBits(g, 219, 8, static_cast<std::uint64_t>(r.gpsTot)), putBits(g, 211, 8, 1);
    putBits(q, 219, 8, static_cast<std::uint64_t>(r.qzssTot)), putBits(q, 211, 8, 2);
    h.feed(gps(1), g), h.feed(qzs, q), h.feed(gps(1), sf(h, 1)), h.feed(qzs, sf(h, 1));
    const auto* ug = static_cast<const ZRT_UTC_GPS*>(h.store->get_UtcLastData(kSysGps));
    const auto* uq = static_cast<const ZRT_UTC_GPS*>(h.store->get_UtcLastData(kSysQzss));
    ASSERT_NE(ug, nullptr) << &r - rows;
    ASSERT_NE(uq, nullptr) << &r - rows;
    EXPECT_EQ(ug->tot, static_cast<std::uint32_t>(r.gpsTot) * 4096) << &r - rows;
    EXPECT_EQ(std::lround(std::ldexp(ug->A0, 30)) & 0xFF, 1) << &r - rows;
    EXPECT_EQ(uq->tot, static_cast<std::uint32_t>(r.qzssTot) * 4096) << &r - rows;
    EXPECT_EQ(std::lround(std::ldexp(uq->A0, 30)) & 0xFF, 2) << &r - rows;
  }
}

// Almanac weeks: from page 51 widened against the satellite's week (845); without it the week
// of the toa nearest the time of sending: toa half a week or more ahead is last week's, more
// than half a week behind is next week's.
TEST_OWN(GpsLnavRules, AlmanacWeekWithoutPage51) {
  const struct { int toa; std::uint32_t tow; int week; } rows[] = {
      {75, 801, 844}, {75, 802, 845}, {0, 50401, 845}, {0, 50402, 846}};  // two toas: two sets
  for (const auto& r : rows) {
    Harness h;
    feedEph(h, gps(1));
    Words p = withTow(h.vec.at("almLNAVGPS25").w, r.tow);
    putBits(p, 91, 8, static_cast<std::uint64_t>(r.toa));
    h.feed(gps(1), p);
    ASSERT_NE(alm(h, 25), nullptr) << r.tow;
    EXPECT_EQ(alm(h, 25)->week, r.week) << r.tow;
    EXPECT_EQ(alm(h, 25)->spare1[0], 7) << "week, health and configuration unknown";
  }
}

// Two sets: a page finds the set of its toa or a free one; a third toa is dropped unless a
// page 51 with a later reference time takes over the older set.
TEST_OWN(GpsLnavRules, AlmanacSetsAndPage51) {
  Harness h;
  feedEph(h, gps(1));
  std::uint32_t tow = 100;
  auto page = [&](int toa, int sv) {
    Words p = withTow(h.vec.at("almLNAVGPS25").w, ++tow);
    putBits(p, 63, 6, static_cast<std::uint64_t>(sv)), putBits(p, 91, 8, static_cast<std::uint64_t>(toa));
    h.feed(gps(1), p);
  };
  auto page51 = [&](int toa, int wna) {
    Words p = withTow(h.vec.at("pg51LNAVGPS").w, ++tow);
    putBits(p, 69, 8, static_cast<std::uint64_t>(toa)), putBits(p, 77, 8, static_cast<std::uint64_t>(wna));
    h.feed(gps(1), p);
  };
  page(10, 20), page(20, 21), page(30, 22);
  ASSERT_NE(alm(h, 20), nullptr);
  ASSERT_NE(alm(h, 21), nullptr);
  EXPECT_EQ(alm(h, 22), nullptr);  // no set for a third toa
  page51(10, 77), page51(20, 77);
  page51(5, 77);  // older than both sets: dropped
  page(5, 22);
  EXPECT_EQ(alm(h, 22), nullptr);
  page51(30, 77);  // later: takes over the set of toa 10
  page(30, 22);
  ASSERT_NE(alm(h, 22), nullptr);
  EXPECT_EQ(alm(h, 22)->toa, 30 * 4096);
  EXPECT_EQ(alm(h, 22)->week, 845);
  EXPECT_EQ(alm(h, 22)->spare1[0], 4);  // week and health of 1-24 known, configuration not
  ASSERT_NE(alm(h, 10), nullptr);  // page 51 gives PRN 10 a health of 63: out without its page
  EXPECT_EQ(alm(h, 10)->health, 128);
  EXPECT_EQ(alm(h, 10)->sqrtA, 0.0f);
  EXPECT_EQ(alm(h, 11), nullptr);
  page(20, 23);
  EXPECT_NE(alm(h, 23), nullptr);  // the set of toa 20 stayed
}

// GPS almanacs go to the store only where the receiver's GPS PRN table holds the PRN.
TEST_OWN(GpsLnavRules, AlmanacNeedsPrnTableEntry) {
  const struct { int entry; bool stored; } rows[] = {{25, true}, {0, false}, {24, false}};
  for (const auto& r : rows) {
    Harness h;
    gPrnTable[24] = r.entry;
    feedEph(h, gps(1));
    h.feed(gps(1), h.vec.at("almLNAVGPS25").w);
    EXPECT_EQ(alm(h, 25) != nullptr, r.stored) << r.entry;
  }
}

// The correction table: subframe 4 page 13 (SV ID 52) with the table time from subframe 2
// (toe 7200 s rounded up to 2 h, less 900 s x AODO); entries only for satellites holding it.
TEST_OWN(GpsLnavRules, CorrectionTable) {
  const struct { int svId, availability, aodo; bool out; } rows[] = {
      {52, 0, 3, true}, {52, 1, 3, false}, {52, 0, 31, false}, {13, 0, 3, false}};
  for (const auto& r : rows) {
    Harness h;
    Words s2 = sf(h, 2);
    putBits(s2, 288, 5, static_cast<std::uint64_t>(r.aodo));
    for (int prn : {1, 2, 4}) h.feed(gps(prn), sf(h, 1)), h.feed(gps(prn), s2), h.feed(gps(prn), sf(h, 3));
    Words p = withTow(h.vec.at("almLNAVGPS25").w, 20);
    putBits(p, 63, 6, static_cast<std::uint64_t>(r.svId));
    putBits(p, 69, 2, static_cast<std::uint64_t>(r.availability));
    for (int k = 0; k < 30; ++k) {  // ERD k = k - 15, packed over the data bits
      const int d = 2 * 24 + 10 + 6 * k;
      for (int i = 0; i < 6; ++i)
        putBits(p, (d + i) / 24 * 30 + (d + i) % 24 + 1, 1, static_cast<std::uint64_t>((k - 15) >> (5 - i) & 1));
    }
    h.feed(gps(1), p);
    ASSERT_EQ(gNmct.size(), r.out ? 1u : 0u) << &r - rows;
    if (!r.out) continue;
    EXPECT_EQ(gNmct[0].ulTime, 7200u - 900u * 3 + 845u * 604800u);
    EXPECT_EQ(gNmct[0].uSv, 1);
    for (int j = 0; j < 31; ++j) EXPECT_EQ(gNmct[0].iErd[j], j == 0 ? -15 : j == 2 ? -13 : 0) << j;
  }
}

// The simulator's table, encoded apart from the decoder (AODO in subframe 2, the ERDs of page 13
// packed across the parity bits): the satellites whose subframe 2 names the same table get their
// ERD, the others (an earlier toe) 0, and the last entry (PRN 32, which page 13 has no room for) 0.
TEST_OWN(GpsLnavRules, SimulatorsCorrectionTable) {
  Harness h;
  std::map<int, sim::LnavEph> first;
  for (const sim::LnavEph& e : sim::readRinexGpsNav(std::string(RX_SHARED_DIR) + "/testdata/nav/brdc1820.10n"))
    first.emplace(e.prn, e);
  ASSERT_GE(first.size(), 20u);
  // Every third satellite's subframe 2 names the table of two hours before, which the others replace.
  const double toe = first.begin()->second.toe;
  for (auto& [prn, e] : first) e.toe = prn % 3 == 0 ? toe - 7200 : toe;
  const auto upright = [](const sim::Subframe& s) {
    Words w{};
    for (int i = 1; i <= 300; ++i) putBits(w, i, 1, s.get(i, 1));
    return w;
  };
  for (const auto& [prn, e] : first)
    for (int id = 1; id <= 3; ++id) h.feed(gps(prn), upright(sim::lnavSubframe(e, id, static_cast<std::uint32_t>(toe / 6) + id)));
  int tx = 0;  // a healthy transmitter: pages follow a healthy ephemeris only
  for (const auto& [prn, e] : first)
    if (tx == 0 && e.health == 0 && e.toe == toe) tx = prn;
  h.feed(gps(tx), upright(sim::lnavAlmPage(sim::LnavAlmanac{}, 4, 52, static_cast<std::uint32_t>(toe / 6) + 4)));
  ASSERT_EQ(gNmct.size(), 1u);
  const std::int64_t table = (static_cast<std::int64_t>(toe) + 7199) / 7200 * 7200 - 900 * sim::kLnavAodo;
  EXPECT_EQ(gNmct[0].ulTime, table + 604800 * (static_cast<std::int64_t>(first.at(tx).week) % 1024));
  EXPECT_EQ(gNmct[0].uSv, tx);
  int j = 0;
  for (int prn = 1; prn <= 32; ++prn) {
    if (prn == tx) continue;
    const auto it = first.find(prn);
    const bool holds = j < 30 && it != first.end() && it->second.toe == toe;
    EXPECT_EQ(gNmct[0].iErd[j], holds ? sim::lnavNmctErd(j) : 0) << "PRN " << prn;
    ++j;
  }
}

// Random words, random identities and short units never crash and never reach past the unit.
TEST_OWN(GpsLnavRules, RandomAndTruncatedInput) {
  Harness h;
  std::mt19937 rng(19);
  feedEph(h, gps(1));
  feedEph(h, SvIdType{0, kSysQzss, 0, 0});
  for (int i = 0; i < 30000; ++i) {
    const int n = static_cast<int>(rng() % 11);
    std::vector<std::uint32_t> w(static_cast<std::size_t>(n));
    for (auto& x : w) x = rng();
    if (n == 10 && (i & 1)) {  // a plausible header reaches the page decoders
      w[1] = (w[1] & 0xC000001Fu) | (rng() % 100000) << 13 | (4 + rng() % 2) << 8;
    }
    const SvIdType sv{static_cast<std::uint8_t>(rng() % 40), static_cast<std::uint8_t>(i % 3 ? (i % 2 ? 0 : 4) : rng() % 256), 0, 0};
    const NavDecoderTime t{0, static_cast<std::uint32_t>(i)};
    if (GpsNavDataDecoderType* d = get_GpsNavDataDecoder(&t, &sv)) {
      d->update(t, sv, static_cast<std::uint8_t>(rng()), n ? w.data() : nullptr, n, static_cast<float>(rng() % 60));
    }
  }
  SUCCEED();
}

}  // namespace
