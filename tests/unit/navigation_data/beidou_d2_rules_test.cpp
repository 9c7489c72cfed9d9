// The D2 decoder's rules, one table row each, on pages built by the test's own encoder: the
// ephemeris page set (order and gaps), the differential and grid switches of subframe 2, the
// BDID mapping of UDRE indices and corrections, the frame pairing of subframes 2 and 3, the grid
// page to block mapping; then the pool and random and truncated input.
#include <gtest/gtest.h>

#include <random>
#include <set>

#include "beidou_d2_test_util.h"
#include "unit/own_process.h"

using namespace bdsd2;
using bdstest::bds;

namespace {

constexpr long long kSow = 345600;

bdstest::D1Ephemeris geoEphemeris() {
  bdstest::D1Ephemeris f;
  f.wn = 810, f.toc = kSow / 8, f.toe = kSow / 8, f.urai = 2, f.aode = 1, f.aodc = 3;
  f.sqrtA = bdstest::q(6493.4142, 19), f.e = bdstest::q(0.0006, 33), f.i0 = bdstest::q(0.0274, 31);
  f.m0 = -1234567890, f.omega0 = 987654321, f.omega = -555555555, f.omegaDot = -77777, f.idot = -1234;
  f.cuc = -70000, f.cus = 60000, f.cic = -113, f.cis = 43, f.crc = 15711, f.crs = -32361, f.dn = -4321;
  f.a0 = -2296000, f.a1 = 654321, f.a2 = -3, f.tgd1 = -56, f.tgd2 = -101;
  f.alpha[0] = 7, f.alpha[1] = -8, f.beta[0] = 11, f.beta[3] = -7;
  return f;
}

// A GEO with a healthy ephemeris taken, so that subframes 2, 3 and 5 are decoded.
struct Geo : Harness {
  SvIdType sv = bds(3);
  explicit Geo(SvIdType s = bds(3)) : sv(s) {
    pages(sv, encodeD2(geoEphemeris(), kSow - 30));
    gUdre.clear(), gCorr.clear(), gGrid.clear();
  }
  void sf2(std::uint32_t bdid, int pnum, int index, int dt, long long sow = kSow, int satH2 = 0,
           const int* udrei = nullptr) {
    int u[18];
    for (int k = 0; k < 18; ++k) u[k] = udrei ? udrei[k] : k % 14;
    feed2(sv, encodeSubframe2(pnum, satH2, bdid, u, index, dt, sow));
  }
  void sf3(int i1, int dt1, int i2, int dt2, long long sow = kSow) { feed2(sv, encodeSubframe3(i1, dt1, i2, dt2, sow)); }
};

std::uint32_t maskOf(std::initializer_list<int> prns) {
  std::uint32_t m = 0;
  for (int p : prns) m |= 1u << (30 - p);
  return m;
}

}  // namespace

// ---- ephemeris page set ---------------------------------------------------------------------

TEST_OWN(BeidouD2Rules, TenPagesInOrderGiveTheRecordWithTheD2Flag) {
  Harness h;
  const bdstest::D1Ephemeris f = geoEphemeris();
  h.pages(bds(3), encodeD2(f, kSow));
  const ZRT_EPH_CMP* r = h.eph(bds(3), kSow + 60, 810);
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(r->flags, 128);
  EXPECT_EQ(r->prn, 3);
  EXPECT_EQ(r->toe, static_cast<std::uint32_t>(kSow));
  EXPECT_DOUBLE_EQ(r->M0, std::ldexp(static_cast<double>(f.m0), -31));
  EXPECT_DOUBLE_EQ(r->omega, std::ldexp(static_cast<double>(f.omega), -31));
  EXPECT_DOUBLE_EQ(r->e, std::ldexp(static_cast<double>(f.e), -33));
  EXPECT_DOUBLE_EQ(r->i0, std::ldexp(static_cast<double>(f.i0), -31));
  EXPECT_FLOAT_EQ(r->OmegaDot, static_cast<float>(std::ldexp(static_cast<double>(f.omegaDot), -43)));
  EXPECT_FLOAT_EQ(r->cuc, static_cast<float>(std::ldexp(static_cast<double>(f.cuc), -31)));
  EXPECT_FLOAT_EQ(r->cic, static_cast<float>(std::ldexp(static_cast<double>(f.cic), -31)));
  EXPECT_FLOAT_EQ(r->af1, static_cast<float>(std::ldexp(static_cast<double>(f.a1), -50)));
  EXPECT_FLOAT_EQ(r->idot, static_cast<float>(std::ldexp(static_cast<double>(f.idot), -43)));
  EXPECT_EQ(r->aodc, 3);
  EXPECT_EQ(r->urai, 2);
  EXPECT_EQ(bdstest::gIonCount, 1);
  EXPECT_FLOAT_EQ(bdstest::gIon.alpha[1], static_cast<float>(-8 * 0x1p-27));
}

// Page sequences: (page number, SOW offset s) in arrival order; stored or not.
struct PageRow {
  const char* name;
  std::vector<std::pair<int, int>> seq;
  bool stored;
};

TEST_OWN(BeidouD2Rules, PageOrderAndGaps) {
  auto regular = [](int gapAfter, int gap) {
    std::vector<std::pair<int, int>> v;
    int t = 0;
    for (int p = 1; p <= 10; ++p) {
      v.push_back({p, t});
      t += p == gapAfter ? gap : 3;
    }
    return v;
  };
  const PageRow rows[] = {
      {"3 s apart", regular(0, 3), true},
      {"4 s between pages 4 and 5", regular(4, 4), true},
      {"6 s between pages 4 and 5 discards the set", regular(4, 6), false},
      {"page 5 before page 4 in time", {{1, 0}, {2, 3}, {3, 6}, {4, 12}, {5, 9}, {6, 15}, {7, 18}, {8, 21}, {9, 24}, {10, 27}},
       false},
      {"pages 2-10 before page 1: page 1 clears them", {{2, 0}, {3, 3}, {4, 6}, {5, 9}, {6, 12}, {7, 15}, {8, 18}, {9, 21}, {10, 24}, {1, 27}},
       false},
      {"page 7 missing", {{1, 0}, {2, 3}, {3, 6}, {4, 9}, {5, 12}, {6, 15}, {8, 21}, {9, 24}, {10, 27}}, false},
      {"a repeated page 3 keeps the first copy", {{1, 0}, {2, 3}, {3, 6}, {3, 7}, {4, 9}, {5, 12}, {6, 15}, {7, 18}, {8, 21}, {9, 24}, {10, 27}},
       true},
  };
  for (const PageRow& row : rows) {
    SCOPED_TRACE(row.name);
    Harness h;
    const SvIdType sv = bds(2 + static_cast<int>(&row - rows));
    const auto p = encodeD2(geoEphemeris(), kSow);
    for (const auto& [number, dt] : row.seq) {
      bdstest::Words w = p[static_cast<std::size_t>(number - 1)];
      // The SOW field rewritten to the row's time.
      const long long sow = kSow + dt;
      bdstest::DataStream d;
      d.w = w;
      for (int i = 0; i < 20; ++i) bdstest::putBit(d.w, i < 8 ? 19 + i : 31 + i - 8, static_cast<int>((sow >> (19 - i)) & 1));
      h.feed2(sv, d.w);
    }
    EXPECT_EQ(h.eph(sv, kSow + 60, 810) != nullptr, row.stored);
  }
}

TEST_OWN(BeidouD2Rules, AnUnhealthyEphemerisStopsSubframes2And5) {
  bdstest::D1Ephemeris f = geoEphemeris();
  f.satH1 = 1;
  Harness h;
  h.pages(bds(4), encodeD2(f, kSow - 30));
  int u[18] = {};
  h.feed2(bds(4), encodeSubframe2(1, 0, maskOf({1, 2, 3}), u, 0, 5, kSow));
  h.feed2(bds(4), encodeSubframe3(0, 1, 0, 2, kSow));
  EXPECT_TRUE(gUdre.empty());
  EXPECT_TRUE(gCorr.empty());
}

// ---- subframe 2 switches and the BDID mapping ---------------------------------------------------

TEST_OWN(BeidouD2Rules, HealthBitsOfSubframe2SwitchDifferentialAndGrid) {
  struct Row {
    int satH2;
    bool diff, grid;
  } rows[] = {{0, true, true}, {1, true, false}, {2, false, true}, {3, false, false}};
  for (const Row& r : rows) {
    SCOPED_TRACE(r.satH2);
    Geo g;
    g.sf2(maskOf({1, 2, 3}), 1, 0, 5, kSow, r.satH2);
    g.sf3(0, 1, 0, 2);
    EXPECT_EQ(g.decoder(g.sv)->is_DiffDataEnabled(), r.diff);
    EXPECT_EQ(g.decoder(g.sv)->is_IonoGridEnabled(), r.grid);
    EXPECT_EQ(gUdre.size(), r.diff ? 3u : 0u);
    EXPECT_EQ(gCorr.size(), r.diff ? 3u : 0u);
    int d[13] = {}, gi[13] = {};
    g.feed2(g.sv, encodeGridPage(5, d, gi, kSow + 3));
    EXPECT_EQ(gGrid.size(), r.grid ? 1u : 0u);
  }
}

TEST_OWN(BeidouD2Rules, TwentyFlaggedSatellitesGiveEighteenUdreIndices) {
  Geo g;
  std::uint32_t mask = 0;
  for (int p = 2; p <= 30; p += 1)
    if (p != 7 && p <= 21) mask |= 1u << (30 - p);  // 2-6, 8-21: 19 ... and 30
  mask |= 1u << 0;                                   // satellite 30: the 20th
  int udrei[18];
  for (int k = 0; k < 18; ++k) udrei[k] = (k * 5) % 16;
  g.sf2(mask, 1, 0, 5, kSow, 0, udrei);
  ASSERT_EQ(gUdre.size(), 18u);
  std::vector<int> want;
  for (int p = 2; p <= 21; ++p)
    if (p != 7) want.push_back(p);
  for (std::size_t k = 0; k < 18; ++k) {
    EXPECT_EQ(gUdre[k].prn, want[k]) << k;
    EXPECT_EQ(gUdre[k].udrei, udrei[k]) << k;
    EXPECT_EQ(gUdre[k].timeMs, kSow * 1000) << k;
  }
  // Page 6 covers flagged 16-18; page 7 would cover 19-21, beyond the 18 that count.
  g.sf3(1, 2, 3, 4);
  gCorr.clear();
  g.sf2(mask, 6, 9, 100, kSow + 3);
  g.sf3(10, 200, 11, 300, kSow + 3);
  ASSERT_EQ(gCorr.size(), 3u);
  EXPECT_EQ(gCorr[0].prn, want[15]);
  EXPECT_EQ(gCorr[2].prn, want[17]);
  EXPECT_EQ(gCorr[2].dt, 300);
  EXPECT_EQ(gCorr[2].index, 11);
  gCorr.clear();
  g.sf2(mask, 7, 9, 100, kSow + 6);
  g.sf3(10, 200, 11, 300, kSow + 6);
  EXPECT_TRUE(gCorr.empty()) << "page 7: flagged satellites 19-21";
}

TEST_OWN(BeidouD2Rules, CorrectionRows) {
  struct Row {
    const char* name;
    int pnum;
    int dt[3];
    long long sf3Sow;  // offset of subframe 3's frame
    std::vector<int> prns;  // corrected satellites, in order
  } rows[] = {
      {"page 1: flagged 1-3", 1, {10, -20, 4095}, 0, {4, 9, 11}},
      {"page 2: flagged 4-6", 2, {1, 2, 3}, 0, {15, 20, 30}},
      {"-4096 skips its entry", 1, {-4096, 5, -4096}, 0, {9}},
      {"subframe 3 of another frame", 1, {1, 2, 3}, 3, {}},
      {"page 3 beyond the six flagged", 3, {1, 2, 3}, 0, {}},
      {"page 0", 0, {1, 2, 3}, 0, {}},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    Geo g;
    g.sf2(maskOf({4, 9, 11, 15, 20, 30}), r.pnum, 7, r.dt[0]);
    EXPECT_TRUE(gCorr.empty()) << "subframe 2 waits for its subframe 3";
    g.sf3(8, r.dt[1], 9, r.dt[2], kSow + r.sf3Sow);
    ASSERT_EQ(gCorr.size(), r.prns.size());
    for (std::size_t i = 0; i < r.prns.size(); ++i) {
      EXPECT_EQ(gCorr[i].prn, r.prns[i]);
      EXPECT_EQ(gCorr[i].timeMs, kSow * 1000);
      EXPECT_EQ(gCorr[i].geo, 3);
    }
  }
}

TEST_OWN(BeidouD2Rules, ALoneSubframe3IsDroppedWhenTheNextFramesPairArrives) {
  Geo g;
  g.sf2(maskOf({1, 2, 3}), 1, 0, 5, kSow);
  // Subframe 3 of frame kSow lost; frame kSow + 3 pairs normally.
  g.sf2(maskOf({1, 2, 3}), 1, 0, 6, kSow + 3);
  EXPECT_TRUE(gCorr.empty());
  g.sf3(0, 7, 0, 8, kSow + 3);
  ASSERT_EQ(gCorr.size(), 3u);
  EXPECT_EQ(gCorr[0].dt, 6);
  EXPECT_EQ(gCorr[0].timeMs, (kSow + 3) * 1000);
  // A subframe 3 without a differential-enabled subframe 2 before it is not taken.
  gCorr.clear();
  Geo fresh(bds(5));
  fresh.sf3(0, 7, 0, 8, kSow);
  fresh.sf2(maskOf({1, 2, 3}), 1, 0, 6, kSow);
  EXPECT_TRUE(gCorr.empty());
}

// ---- grid pages ---------------------------------------------------------------------------------

TEST_OWN(BeidouD2Rules, GridPagesToBlocks) {
  struct Row {
    int page, block;
  } rows[] = {{1, 0}, {2, 1}, {13, 12}, {61, 13}, {62, 14}, {73, 25}, {14, -1}, {60, -1}, {74, -1}, {101, -1}, {0, -1}};
  Geo g;
  g.sf2(maskOf({1}), 1, 0, 0);
  for (const Row& r : rows) {
    SCOPED_TRACE(r.page);
    gGrid.clear();
    int d[13], gi[13];
    for (int k = 0; k < 13; ++k) d[k] = (r.page * 7 + k * 37) % 512, gi[k] = k;
    g.feed2(g.sv, encodeGridPage(r.page, d, gi, kSow + 3));
    if (r.block < 0) {
      EXPECT_TRUE(gGrid.empty());
      continue;
    }
    ASSERT_EQ(gGrid.size(), 1u);
    EXPECT_EQ(gGrid[0].block, r.block);
    for (int k = 0; k < 13; ++k) EXPECT_EQ(gGrid[0].points[static_cast<std::size_t>(k)], d[k] << 4 | gi[k]) << k;
  }
}

// ---- pool, identities, hostile input ------------------------------------------------------------

TEST_OWN(BeidouD2Rules, PoolOfFiveEachWithItsSourceNumber) {
  Harness h;
  std::set<int> numbers;
  for (int prn : {1, 2, 3, 4, 5}) {
    CompD2NavDataDecoderType* d = h.decoder(bds(prn), static_cast<std::uint32_t>(prn));
    ASSERT_NE(d, nullptr);
    h.feed2(bds(prn), encodeD2(geoEphemeris(), kSow)[0], 45.0f, 0, static_cast<std::uint32_t>(prn));
    EXPECT_EQ(gLastStateSource, d->get_SourceNumber());
    numbers.insert(d->get_SourceNumber());
  }
  EXPECT_EQ(numbers, (std::set<int>{0, 1, 2, 3, 4}));
  // A sixth GEO takes the decoder updated longest ago (C01's).
  EXPECT_EQ(h.decoder(bds(59), 100)->get_SvId().si, 0);
}

TEST_OWN(BeidouD2Rules, RefusedUnits) {
  Harness h;
  const auto p = encodeD2(geoEphemeris(), kSow);
  const NavDecoderTime t{0, 1};
  CompD2NavDataDecoderType& d = CompD2NavDataDecoderInstance[0];
  d.update(t, SvIdType{2, kSysGps, 0, 2}, 0, p[0].data(), 10, 45.0f);
  d.update(t, SvIdType{63, kSysBeidou, 0, 63}, 0, p[0].data(), 10, 45.0f);
  d.update(t, bds(3), 0, p[0].data(), 9, 45.0f);
  d.update(t, bds(3), 0, nullptr, 10, 45.0f);
  EXPECT_EQ(gStates, 0);
  EXPECT_EQ(d.get_SvId().si, kSvUnknown);
}

TEST_OWN(BeidouD2Rules, RandomAndTruncatedInputStaysSound) {
  Geo g;
  std::mt19937 rng(2023);
  std::uniform_int_distribution<std::uint32_t> any;
  for (int n = 0; n < 20000; ++n) {
    bdstest::Words w;
    for (auto& x : w) x = any(rng);
    // Half the units look like D2 subframes with a plausible FraID and page.
    if (n % 2 == 0) {
      for (int b = 16; b < 19; ++b) bdstest::putBit(w, b, static_cast<int>((n / 2 % 5 + 1) >> (18 - b) & 1));
    }
    const SvIdType sv = n % 7 == 0 ? bds(static_cast<int>(any(rng) % 63) + 1) : g.sv;
    const int words = n % 11 == 0 ? static_cast<int>(any(rng) % 10) : 10;
    const NavDecoderTime t{0, static_cast<std::uint32_t>(n)};
    if (CompD2NavDataDecoderType* d = get_CompD2NavDataDecoder(&t, &sv))
      d->update(t, sv, static_cast<std::uint8_t>(any(rng) % 40), w.data(), words, 45.0f);
  }
  for (const Grid& x : gGrid) EXPECT_TRUE(x.block >= 0 && x.block < 26);
  for (const Udre& x : gUdre) EXPECT_TRUE(x.prn >= 1 && x.prn <= 30 && x.udrei < 16);
  for (const Corr& x : gCorr) EXPECT_TRUE(x.prn >= 1 && x.prn <= 30 && x.dt != -4096 && x.dt >= -4095 && x.dt <= 4095);
  g.step(kSow, 810);
}
