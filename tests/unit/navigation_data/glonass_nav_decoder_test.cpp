// GLONASS FDMA strings in, store records out: the public test vectors against their expected
// values, the string timing rules, and random or cut input.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <map>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "navigation_data/decoders/glonass_nav_decoder.h"

namespace {

using Str = std::vector<std::uint32_t>;

// The GLONASS F/NAV strings of the public vectors by name, as their three 32-bit words.
std::map<std::string, Str> loadStrings() {
  std::ifstream in(std::string(RX_SHARED_DIR) + "/testdata/navmsg/gnsstk_nav_messages.csv");
  std::map<std::string, Str> out;
  std::string line;
  while (std::getline(in, line)) {
    if (line.find(",GLOFNav,") == std::string::npos) continue;
    const std::string name = line.substr(0, line.find(','));
    const std::size_t q = line.rfind("\",");
    std::stringstream rest(line.substr(q + 2));
    std::string field;
    std::getline(rest, field, ',');  // nbits
    std::getline(rest, field, ',');  // hex
    Str w(3, 0);
    for (int k = 0; k < 3; ++k) w[k] = static_cast<std::uint32_t>(std::stoul(field.substr(k * 8, 8), nullptr, 16));
    out[name] = w;
  }
  return out;
}

struct Harness {
  std::unique_ptr<SatelliteDataProcessor> store = std::make_unique<SatelliteDataProcessor>();
  SvIdType sv{8, kSysGlonass, 0, kSvUnknown};  // frequency number +1
  Harness() {
    for (auto& d : GloNavDataDecoderPool) d.init_Object(store.get());
  }
  void feed(const Str& w, std::uint32_t ms, float cn0 = 45) {
    const NavDecoderTime t{0, ms};
    get_GloNavDataDecoder(&t, &sv)->update(t, sv, 1, w.data(), static_cast<int>(w.size()), cn0);
  }
  const ZRT_EPH_GLN* eph(double sec) {
    SatDataEpoch ep;
    ep.time.valid = true;
    ep.time.sec[kSysGlonass] = sec;
    store->update(ep);
    const ExtEphRecord* r = store->get_EphLastData(kSysGlonass, sv.si, 0);
    return r ? reinterpret_cast<const ZRT_EPH_GLN*>(r->native) : nullptr;
  }
};

TEST(GloNavVectors, EphemerisStringsGiveTheExpectedValues) {
  auto s = loadStrings();
  ASSERT_EQ(s.size(), 8u);
  Harness h;
  for (int k = 1; k <= 5; ++k) h.feed(s["navFNAVGLOStr" + std::to_string(k)], 1000 + 2000 * k);
  const ZRT_EPH_GLN* e = h.eph(13500);
  ASSERT_NE(e, nullptr);
  // Expected values of the vector set (km, km/s, km/s^2; its clock bias is tauN as sent, where a
  // RINEX file lists -tauN).
  EXPECT_DOUBLE_EQ(e->pos[0], 10148.4248046875);
  EXPECT_DOUBLE_EQ(e->pos[1], 5279.21240234375);
  EXPECT_DOUBLE_EQ(e->pos[2], 22808.46533203125);
  EXPECT_DOUBLE_EQ(e->vel[0], -0.6433887481689453);
  EXPECT_DOUBLE_EQ(e->vel[1], 3.0522518157958984);
  EXPECT_DOUBLE_EQ(e->vel[2], -0.4191455841064453);
  EXPECT_FLOAT_EQ(e->acc[0], -9.313225746154785e-10f);
  EXPECT_FLOAT_EQ(e->acc[1], 9.313225746154785e-10f);
  EXPECT_FLOAT_EQ(e->acc[2], -1.862645149230957e-09f);
  EXPECT_DOUBLE_EQ(e->tauN, 0.00015267729759216309);
  EXPECT_DOUBLE_EQ(e->gammaN, 0);
  EXPECT_EQ(e->tb, 225u * 60);  // 225 minutes
  EXPECT_EQ(e->slot, 1);
  EXPECT_EQ(e->freqNum, 1);
  EXPECT_EQ(e->NT, 1274);
  EXPECT_EQ(e->FT, 1);
  EXPECT_EQ(e->En, 0);
  EXPECT_EQ(e->health, 0);
  EXPECT_FLOAT_EQ(e->dTauN, 8.381903171539307e-09f);
  EXPECT_EQ(e->flags & 3, 0);         // P1
  EXPECT_EQ((e->flags >> 2) & 1, 1);  // P2
  EXPECT_EQ((e->flags >> 3) & 1, 1);  // P3
  EXPECT_EQ((e->flags >> 11) & 1, 0); // P4
  EXPECT_EQ((e->flags >> 12) & 3, 1); // M: GLONASS-M
  EXPECT_EQ(e->flags & 0x80, 0x80);
  // The time-offset string: tauGPS.
  EXPECT_DOUBLE_EQ(e->tauGPS, -1.5832483768463135e-08);
}

TEST(GloNavVectors, AlmanacStringsGiveTheExpectedValues) {
  auto s = loadStrings();
  ZRT_ALM_GLN a;
  glo_DecodeAlmanac(s["navFNAVGLOStr6"].data(), s["navFNAVGLOStr7"].data(), 1274, 6, 0, a);
  constexpr double kPi = 3.141592653589793;
  EXPECT_EQ(a.slot, 1);
  EXPECT_EQ(a.freqNum, 1);
  EXPECT_EQ(a.health & 1, 1);  // Cn
  EXPECT_EQ(a.M, 1);
  EXPECT_FLOAT_EQ(a.tauN, 0.000152587890625f);
  EXPECT_NEAR(a.lambda * kPi, -0.5626653514189437, 1e-12);
  EXPECT_NEAR(a.dI * kPi, 0.020648819511929373, 1e-6);
  EXPECT_FLOAT_EQ(a.ecc, 0.00044727325439453125f);
  EXPECT_NEAR(a.omega * kPi, -0.7507877218707785, 1e-6);
  EXPECT_DOUBLE_EQ(a.tLambda, 2599.4375);
  EXPECT_FLOAT_EQ(a.dT, -2656.337890625f);
  EXPECT_FLOAT_EQ(a.dTdot, 0.00030517578125f);
}

TEST(GloNavRules, LateThirdStringClearsTheBlock) {
  auto s = loadStrings();
  struct Row {
    std::uint32_t gap3;
    bool stored;
  } rows[] = {{2000, true}, {3000, true}, {3500, false}};
  for (const Row& r : rows) {
    Harness h;
    std::uint32_t t = 1000;
    h.feed(s["navFNAVGLOStr1"], t);
    h.feed(s["navFNAVGLOStr2"], t += 2000);
    h.feed(s["navFNAVGLOStr3"], t += r.gap3);
    h.feed(s["navFNAVGLOStr4"], t += 2000);
    h.feed(s["navFNAVGLOStr5"], t += 2000);
    EXPECT_EQ(h.eph(13500) != nullptr, r.stored) << r.gap3;
  }
}

TEST(GloNavRules, FrequencyChannelOfTheAlmanac) {
  struct Row {
    int h, want;
  } rows[] = {{0, 0}, {1, 1}, {24, 24}, {25, -7}, {31, -1}};
  for (const Row& r : rows) {
    Str a(3, 0), b(3, 0);
    // HnA at positions 72-76 of the second half.
    const int first = 72 - 1;
    for (int i = 0; i < 5; ++i)
      if ((r.h >> (4 - i)) & 1) b[(first + i) / 32] |= 0x80000000u >> ((first + i) % 32);
    ZRT_ALM_GLN out;
    glo_DecodeAlmanac(a.data(), b.data(), 1, 1, 0, out);
    EXPECT_EQ(out.freqNum, r.want) << r.h;
    EXPECT_EQ(out.health & kGloAlmUnusable, kGloAlmUnusable);  // dT and e both zero
  }
}

TEST(GloNavRules, RandomAndCutStringsNeverBreakAnything) {
  Harness h;
  std::mt19937 rng(7);
  for (int i = 0; i < 20000; ++i) {
    Str w(3);
    for (auto& x : w) x = rng();
    const int n = static_cast<int>(rng() % 4);
    h.sv.si = static_cast<std::uint8_t>(rng() % 17);
    const NavDecoderTime t{0, static_cast<std::uint32_t>(i * 2000)};
    GloNavDataDecoderType* d = get_GloNavDataDecoder(&t, &h.sv);
    ASSERT_NE(d, nullptr);
    d->update(t, h.sv, 1, n == 0 ? nullptr : w.data(), n, 30);
  }
  h.sv.si = 8;
  h.eph(1000);
}

}  // namespace
