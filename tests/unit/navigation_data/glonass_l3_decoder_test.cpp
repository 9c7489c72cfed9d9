// GLONASS L3 strings built here field by field (the board's repacked layout: 3-bit type at bits
// 21-23, TS at 24-38, 32-bit coordinates at 2^-16 km) in, store records out: the pairing of
// strings by TS across midnight, the accuracy indexes and the FT index, the time parameters, and
// random or cut input.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <random>
#include <vector>

#include "unit/navigation_data/blank_image.h"
#include "navigation_data/decoders/glonass_l3_decoder.h"
#include "navigation_data/orbits/glonass_eph.h"
#include "unit/own_process.h"

namespace {

using Str = std::vector<std::uint32_t>;

// Writes `raw` (already in its on-air form) at string bits pos.., bit 1 the MSB of word 0.
void putRaw(Str& w, int pos, int n, unsigned long long raw) {
  for (int i = 0; i < n; ++i) {
    const int bit = pos - 1 + i;
    const std::uint32_t m = 0x80000000u >> (bit % 32);
    auto& word = w[static_cast<std::size_t>(bit / 32)];
    word = ((raw >> (n - 1 - i)) & 1u) ? (word | m) : (word & ~m);
  }
}
// Signed values go out as sign and magnitude.
void put(Str& w, int pos, int n, long long v) {
  putRaw(w, pos, n, v < 0 ? (static_cast<unsigned long long>(-v) | (1ull << (n - 1))) : static_cast<unsigned long long>(v));
}

Str header(int type, std::uint32_t ts, bool alert = false, bool ignore = false) {
  Str w(10, 0);
  putRaw(w, 21, 3, static_cast<unsigned>(type));
  putRaw(w, 24, 15, ts);
  putRaw(w, 39, 1, alert);
  putRaw(w, 40, 1, ignore);
  return w;
}

struct Eph {
  int N4 = 7, NT = 1234, slot = 5, tb = 37800, age1 = 2, age2 = 3;
  unsigned idx1 = 17, idx2 = 3;  // raw 5-bit fields: 17 is -1 (0.9 m), 3 is +3 (4 m)
  long long tau = -123456789, gamma = -2345, beta = 1000, clk7 = -33, tauC = 987654321, tauCRate = -4000;
  long long tauGPS = 1500000, tauGPSRate = -7;
  long long pos[3] = {-1000000000, 800000000, 1200000000};  // 2^-16 km
  long long vel[3] = {-50000000, 60000000, -7000000};       // 2^-26 km/s
  long long acc[3] = {-300, 200, 511};                       // 2^-35 km/s^2
};

Str string1(const Eph& e, std::uint32_t ts, bool alert = false) {
  Str w = header(1, ts, alert);
  putRaw(w, 41, 5, static_cast<unsigned>(e.N4));
  putRaw(w, 46, 11, static_cast<unsigned>(e.NT));
  putRaw(w, 57, 5, static_cast<unsigned>(e.slot));
  putRaw(w, 62, 3, 5);
  putRaw(w, 65, 17, static_cast<unsigned>(e.tb));
  putRaw(w, 82, 8, static_cast<unsigned>(e.age1));
  putRaw(w, 90, 2, 2);
  putRaw(w, 92, 5, e.idx1);
  put(w, 97, 29, e.tau);
  put(w, 126, 16, e.gamma);
  put(w, 142, 13, e.beta);
  put(w, 155, 7, e.clk7);
  put(w, 162, 32, e.tauC);
  put(w, 194, 13, e.tauCRate);
  put(w, 207, 22, e.tauGPS);
  put(w, 229, 22, e.tauGPSRate);
  return w;
}

Str string2(const Eph& e, std::uint32_t ts, bool alert = false, unsigned kp = 2) {
  Str w = header(2, ts, alert);
  putRaw(w, 41, 8, static_cast<unsigned>(e.age2));
  putRaw(w, 49, 2, 1);
  putRaw(w, 51, 5, e.idx2);
  putRaw(w, 56, 2, 3);
  for (int k = 0; k < 3; ++k) {
    put(w, 58 + 32 * k, 32, e.pos[k]);
    put(w, 154 + 30 * k, 30, e.vel[k]);
    put(w, 244 + 10 * k, 10, e.acc[k]);
  }
  putRaw(w, 274, 2, kp);
  return w;
}

Str string4(std::uint32_t ts) {
  Str w = header(4, ts);
  putRaw(w, 41, 5, 8);     // N4
  putRaw(w, 46, 11, 1300); // NA
  put(w, 240, 17, -1234);  // B1
  put(w, 257, 10, 100);    // B2
  put(w, 267, 8, -5);
  return w;
}
Str string5(std::uint32_t ts) {
  Str w = header(5, ts);
  putRaw(w, 223, 7, 40);  // 2.5
  putRaw(w, 230, 9, 300);
  putRaw(w, 239, 9, 7);
  putRaw(w, 269, 8, 0xA5);
  return w;
}

struct IonoCall {
  int si;
  float c0;
  int c1, c2;
};
std::vector<IonoCall> gIono;

struct Harness {
  std::unique_ptr<SatelliteDataProcessor> store = std::make_unique<SatelliteDataProcessor>();
  SvIdType sv{9, kSysGlonass, 0, kSvUnknown};
  std::uint32_t ms = 1000;
  Harness() {
    navtest::blankImage();
    for (auto& d : GloL3NavDataDecoderPool) d.init_Object(store.get());
    gIono.clear();
    navDecoderLinks.glonassIono = [](SvIdType sv, float c0, std::uint16_t c1, std::uint16_t c2) {
      gIono.push_back({sv.si, c0, c1, c2});
    };
  }
  ~Harness() { navDecoderLinks.glonassIono = nullptr; }
  void feed(const Str& w, int words = 10) {
    const NavDecoderTime t{0, ms += 3000};
    get_GloL3NavDataDecoder(&t, &sv)->update(t, sv, 4, w.data(), words);
  }
  // The store serves a record only near its time: read at the records' tb.
  const ZRT_EPH_GLN* eph() {
    SatDataEpoch ep;
    ep.time.valid = true;
    ep.time.sec[kSysGlonass] = 37800;
    store->update(ep);
    const ExtEphRecord* r = store->get_EphLastData(kSysGlonass, sv.si, 1);
    return r ? reinterpret_cast<const ZRT_EPH_GLN*>(r->native) : nullptr;
  }
  const ZRT_UTC_GLN* utc() const { return static_cast<const ZRT_UTC_GLN*>(store->get_UtcLastData(kSysGlonass)); }
};

TEST_OWN(GloL3Decoder, PairOfStringsGivesTheEphemerisRecord) {
  Harness h;
  Eph e;
  h.feed(string1(e, 1000));
  EXPECT_EQ(h.eph(), nullptr);
  h.feed(string2(e, 1001));
  const ZRT_EPH_GLN* r = h.eph();
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(r->slot, 5);
  EXPECT_EQ(r->freqNum, 2);
  EXPECT_EQ(r->tk, 3000u);
  EXPECT_EQ(r->tkRaw, 1000);
  EXPECT_EQ(r->tb, 37800u);
  EXPECT_EQ(r->NT, 1234);
  EXPECT_EQ(r->N4, 7);
  EXPECT_DOUBLE_EQ(r->tauN, -123456789.0 / 34359738368.0);
  EXPECT_DOUBLE_EQ(r->gammaN, -2345.0 / 35184372088832.0);
  EXPECT_FLOAT_EQ(r->beta, static_cast<float>(1000.0 / 36028797018963968.0));
  EXPECT_FLOAT_EQ(r->dTauN, static_cast<float>(-33.0 / 4294967296.0));
  EXPECT_DOUBLE_EQ(r->tauC, 987654321.0 / 2147483648.0);
  EXPECT_FLOAT_EQ(r->tauCRate, static_cast<float>(-4000.0 / 562949953421312.0));
  EXPECT_DOUBLE_EQ(r->tauGPS, 1500000.0 / 1073741824.0);
  EXPECT_DOUBLE_EQ(r->pos[0], -1000000000.0 / 65536.0);
  EXPECT_DOUBLE_EQ(r->pos[1], 800000000.0 / 65536.0);
  EXPECT_DOUBLE_EQ(r->pos[2], 1200000000.0 / 65536.0);
  EXPECT_DOUBLE_EQ(r->vel[0], -50000000.0 / 67108864.0);
  EXPECT_DOUBLE_EQ(r->vel[2], -7000000.0 / 67108864.0);
  EXPECT_FLOAT_EQ(r->acc[0], static_cast<float>(-300.0 / 34359738368.0));
  EXPECT_FLOAT_EQ(r->acc[2], static_cast<float>(511.0 / 34359738368.0));
  EXPECT_EQ(r->accIdx[0], -1);
  EXPECT_EQ(r->accIdx[1], 3);
  EXPECT_EQ(r->En, 3);
  EXPECT_EQ(r->age2, 3);
  EXPECT_EQ(r->FT, 4);  // sqrt(0.9^2 + 4^2) = 4.1 m: first entry above is 5 m
  EXPECT_EQ(r->health, 0);
  EXPECT_EQ(r->crc16, 65535);
  EXPECT_EQ(r->signals, 4 | kGloSignalL3);
  EXPECT_EQ(r->flags, 5 | 2 << 3 | 1 << 5 | 3 << 7);
  EXPECT_NEAR(get_GloEphemerisAccuracy(*r), std::hypot(0.9 + 9.0, 4.0 + 9.0), 1e-4);
}

// The second string must carry the TS after the first's, the day's last TS followed by 0.
TEST_OWN(GloL3Decoder, StringsArePairedByTheirTs) {
  struct Row {
    std::uint32_t ts1, ts2;
    bool stored;
  } rows[] = {
      {10, 11, true},  {10, 12, false},   {10, 10, false}, {11, 10, false},   {28799, 0, true},
      {28799, 1, false}, {0, 28799, false}, {28800, 1, false}, {32767, 0, false}, {28798, 28799, true},
  };
  for (const Row& row : rows) {
    Harness h;
    Eph e;
    h.feed(string1(e, row.ts1));
    h.feed(string2(e, row.ts2));
    EXPECT_EQ(h.eph() != nullptr, row.stored) << row.ts1 << " " << row.ts2;
  }
}

TEST_OWN(GloL3Decoder, MismatchedPairIsForgottenAndTheNextPairCounts) {
  Harness h;
  Eph e;
  h.feed(string1(e, 10));
  h.feed(string2(e, 12));  // clears the pair
  h.feed(string2(e, 11));  // its string 1 is gone
  EXPECT_EQ(h.eph(), nullptr);
  h.feed(string2(e, 20));  // a string 2 before its string 1 is of no use
  h.feed(string1(e, 20));
  h.feed(string2(e, 21));
  EXPECT_NE(h.eph(), nullptr);
}

TEST_OWN(GloL3Decoder, TsFollowsModuloTheDay) {
  struct Row {
    std::uint32_t a, b, steps;
    bool follows;
  } rows[] = {{0, 1, 1, true},        {28799, 0, 1, true},   {28798, 0, 2, true}, {28799, 1, 2, true},
              {28799, 0, 2, false},   {5, 7, 2, true},       {5, 7, 1, false},    {28800, 28801, 1, false},
              {28799, 28800, 1, false}, {65535 % 32768, 0, 1, false}};
  for (const Row& r : rows) EXPECT_EQ(glo_L3TsFollows(r.a, r.b, r.steps), r.follows) << r.a << " " << r.b;
}

TEST_OWN(GloL3Decoder, FtIndexOfTheCombinedAccuracy) {
  struct Row {
    double acc;
    int ft;
  } rows[] = {{0.0, 0}, {0.9, 0}, {1.0, 1}, {2.2, 2}, {2.5, 3}, {15.9, 9}, {16.0, 10}, {511.9, 14}, {512.0, 15}, {600, 15}, {20000, 15}};
  for (const Row& r : rows) EXPECT_EQ(glo_L3FtIndex(r.acc), r.ft) << r.acc;
}

// The accuracy indexes are sign and magnitude: 16 + k is -k, so 16 is -0 (1 m) and no index
// reads as 0 m.
TEST_OWN(GloL3Decoder, AccuracyIndexesAndFtOfDecodedStrings) {
  struct Row {
    unsigned raw1, raw2;
    int idx1, idx2, ft;
  } rows[] = {
      {17, 31, -1, -15, 0},  // 0.9 and 0.01 m: 0.90006 m
      {1, 22, 1, -6, 2},     // 2 and 0.3 m: 2.02 m
      {14, 10, 14, 10, 15},  // 512 and 32 m: 513 m
      {15, 0, 15, 0, 15},    // no prediction
      {16, 16, 0, 0, 1},     // 1 and 1 m: 1.41 m
  };
  for (const Row& row : rows) {
    Harness h;
    Eph e;
    e.idx1 = row.raw1, e.idx2 = row.raw2;
    h.feed(string1(e, 100));
    h.feed(string2(e, 101));
    const ZRT_EPH_GLN* r = h.eph();
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->accIdx[0], row.idx1);
    EXPECT_EQ(r->accIdx[1], row.idx2);
    EXPECT_EQ(r->FT, row.ft) << row.raw1 << " " << row.raw2;
    EXPECT_GT(get_GloEphemerisAccuracy(*r), 0.0f);
  }
}

TEST_OWN(GloL3Decoder, IgnoreBitChangesOnlyTheAlertFlag) {
  Harness h;
  Eph e;
  Str s1 = string1(e, 50, true);
  putRaw(s1, 40, 1, 1);
  h.feed(s1);
  EXPECT_TRUE(h.store->get_AlertFlag(h.sv, 1));
  h.feed(string2(e, 51));
  EXPECT_EQ(h.eph(), nullptr);
  EXPECT_FALSE(h.store->get_AlertFlag(h.sv, 1));
}

TEST_OWN(GloL3Decoder, AlertBitMarksTheEphemerisUnhealthy) {
  for (int which = 1; which <= 2; ++which) {
    Harness h;
    Eph e;
    h.feed(string1(e, 50, which == 1));
    h.feed(string2(e, 51, which == 2));
    ASSERT_NE(h.eph(), nullptr);
    EXPECT_EQ(h.eph()->health, 1);
  }
}

void frame(Harness& h, const Eph& e, std::uint32_t ts1, std::uint32_t ts2, std::uint32_t ts4, std::uint32_t ts5,
           bool alert1 = false) {
  h.feed(string1(e, ts1, alert1));
  h.feed(string2(e, ts2));
  h.feed(header(3, ts2 + 1));
  h.feed(string4(ts4));
  h.feed(string5(ts5));
}

TEST_OWN(GloL3Decoder, TimeParametersFollowAHealthyEphemeris) {
  Harness h;
  Eph e;
  h.feed(string4(98));
  h.feed(string5(99));
  frame(h, e, 100, 101, 103, 104);  // the ephemeris comes with string 2: too late for this frame
  EXPECT_EQ(h.utc(), nullptr);
  ASSERT_EQ(gIono.size(), 1u);  // string 5 of the frame, after the ephemeris
  EXPECT_EQ(gIono[0].si, 9);
  EXPECT_FLOAT_EQ(gIono[0].c0, 2.5f);
  EXPECT_EQ(gIono[0].c1, 300);
  EXPECT_EQ(gIono[0].c2, 7);
  frame(h, e, 200, 201, 203, 204);
  const ZRT_UTC_GLN* u = h.utc();
  ASSERT_NE(u, nullptr);
  EXPECT_DOUBLE_EQ(u->tauGPS, 1500000.0 / 1073741824.0);
  EXPECT_DOUBLE_EQ(u->tauC, 987654321.0 / 2147483648.0);
  EXPECT_FLOAT_EQ(u->tauCRate, static_cast<float>(-4000.0 / 2147483648.0));
  EXPECT_FLOAT_EQ(u->tauGPSRate, static_cast<float>(-7.0 / 1073741824.0));
  EXPECT_EQ(u->NA, 1300);
  EXPECT_EQ(u->N4, 8);
  EXPECT_FLOAT_EQ(u->B1, static_cast<float>(-1234.0 / 65536.0));
  EXPECT_FLOAT_EQ(u->B2, static_cast<float>(100.0 / 65536.0));
  EXPECT_FLOAT_EQ(u->b3, static_cast<float>(-5.0 / 65536.0));
  EXPECT_EQ(u->leapNotice, 2);
  EXPECT_EQ(u->str5Field, 0xA5);
  EXPECT_EQ(u->l3, 1);
}

TEST_OWN(GloL3Decoder, TimeParametersNeedTheirTsSteps) {
  struct Row {
    std::uint32_t ts1, ts2, ts4, ts5;
    bool stored;
  } rows[] = {
      {200, 201, 203, 204, true},     {200, 201, 204, 205, false},  {200, 201, 203, 205, false},
      {28798, 28799, 1, 2, true},     {28799, 0, 2, 3, true},        {28797, 28798, 0, 1, true},
      {28797, 28798, 28800, 1, false},
  };
  for (const Row& row : rows) {
    Harness h;
    Eph e;
    frame(h, e, 100, 101, 103, 104);
    // A new ephemeris pair of this frame keeps the stored, healthy one standing.
    h.feed(string1(e, row.ts1));
    h.feed(string2(e, row.ts2));
    h.feed(string4(row.ts4));
    h.feed(string5(row.ts5));
    EXPECT_EQ(h.utc() != nullptr, row.stored) << row.ts1 << " " << row.ts4;
  }
}

TEST_OWN(GloL3Decoder, UnhealthyEphemerisFeedsNoTimeParameters) {
  Harness h;
  Eph e;
  frame(h, e, 100, 101, 103, 104, true);
  frame(h, e, 200, 201, 203, 204, true);
  EXPECT_EQ(h.utc(), nullptr);
  EXPECT_TRUE(gIono.empty());
}

TEST_OWN(GloL3Decoder, ForeignShortAndNullInputIsDropped) {
  Harness h;
  Eph e;
  const Str s1 = string1(e, 10), s2 = string2(e, 11);
  const NavDecoderTime t{0, 5000};
  GloL3NavDataDecoderType& d = GloL3NavDataDecoderPool[0];
  d.update(t, SvIdType{9, kSysGps, 0, kSvUnknown}, 4, s1.data(), 10);
  d.update(t, SvIdType{200, kSysGlonass, 0, kSvUnknown}, 4, s1.data(), 10);
  d.update(t, h.sv, 4, nullptr, 10);
  d.update(t, h.sv, 4, s1.data(), 8);
  d.update(t, h.sv, 4, s2.data(), 10);
  EXPECT_EQ(h.eph(), nullptr);
  d.update(t, h.sv, 4, s1.data(), 9);  // nine words reach the last field
  d.update(t, h.sv, 4, s2.data(), 9);
  EXPECT_NE(h.eph(), nullptr);
}

TEST_OWN(GloL3Decoder, PoolOfSixGivesASeventhSatelliteTheOldestObject) {
  Harness h;
  GloL3NavDataDecoderType* first[6];
  for (int k = 0; k < 6; ++k) {
    const SvIdType sv{static_cast<std::uint8_t>(k), kSysGlonass, 0, kSvUnknown};
    const NavDecoderTime t{0, 1000u + static_cast<std::uint32_t>(k)};
    first[k] = get_GloL3NavDataDecoder(&t, &sv);
    first[k]->update(t, sv, 4, header(3, 1).data(), 10);
  }
  const SvIdType again{3, kSysGlonass, 0, kSvUnknown}, seventh{12, kSysGlonass, 0, kSvUnknown};
  const NavDecoderTime t{0, 2000};
  EXPECT_EQ(get_GloL3NavDataDecoder(&t, &again), first[3]);
  EXPECT_EQ(get_GloL3NavDataDecoder(&t, &seventh), first[0]);
}

TEST_OWN(GloL3Decoder, RandomAndCutStringsNeverBreakAnything) {
  Harness h;
  std::mt19937 rng(32);
  for (int i = 0; i < 20000; ++i) {
    Str w(10);
    for (auto& x : w) x = rng();
    if (i % 3 == 0) putRaw(w, 21, 3, 1 + rng() % 5);
    if (i % 5 == 0) putRaw(w, 40, 1, 0);
    h.sv.si = static_cast<std::uint8_t>(rng() % 40);
    h.feed(w, static_cast<int>(rng() % 11));
  }
  for (int si = 0; si < SYS_SI_NUM[kSysGlonass]; ++si) {
    const ExtEphRecord* r = h.store->get_EphLastData(kSysGlonass, si, 1);
    if (r != nullptr) {
      EXPECT_NE(reinterpret_cast<const ZRT_EPH_GLN*>(r->native)->signals & kGloSignalL3, 0);
    }
  }
}

}  // namespace
