// GLONASS FDMA strings in, store records out: the public test vectors against their expected
// values, the string timing rules, and random or cut input.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <map>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "unit/navigation_data/blank_image.h"
#include "glo_files.h"
#include "navigation_data/decoders/glonass_nav_decoder.h"
#include "navigation_data/orbits/glonass_eph.h"
#include "unit/own_process.h"

namespace {

using Str = std::vector<std::uint32_t>;

struct TypeCall {
  int slot, type;
};
std::vector<TypeCall> gTypes;

// Writes a field at string positions pos.. (position 1 the MSB of the first word), negative
// values in sign-and-magnitude as the ICD sends them.
void put(Str& w, int pos, int n, long long v) {
  unsigned long long raw = v < 0 ? (static_cast<unsigned long long>(-v) | (1ull << (n - 1))) : static_cast<unsigned long long>(v);
  for (int i = 0; i < n; ++i) {
    const int bit = pos - 1 + i;
    const bool one = (raw >> (n - 1 - i)) & 1u;
    const std::uint32_t m = 0x80000000u >> (bit % 32);
    w[static_cast<std::size_t>(bit / 32)] = one ? (w[static_cast<std::size_t>(bit / 32)] | m) : (w[static_cast<std::size_t>(bit / 32)] & ~m);
  }
}
long long q(double v, int pow2) { return std::llround(std::ldexp(v, pow2)); }

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
    navtest::blankImage();
    for (auto& d : GloNavDataDecoderPool) d.init_Object(store.get());
    gTypes.clear();
    satDataLinks.setGloSatType = [](int slot, int type) { gTypes.push_back({slot, type}); };
  }
  ~Harness() { satDataLinks.setGloSatType = nullptr; }
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

TEST_OWN(GloNavVectors, EphemerisStringsGiveTheExpectedValues) {
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

TEST_OWN(GloNavVectors, AlmanacStringsGiveTheExpectedValues) {
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

TEST_OWN(GloNavVectors, AlmanacOrbitMeetsTheEphemerisOfTheSameSatellite) {
  // Slot 1's almanac and its ephemeris of the same day (NA = NT = 1274): the almanac orbit at tb
  // lies within the few kilometres an almanac is good for, and so does its velocity.
  auto s = loadStrings();
  Harness h;
  for (int k = 1; k <= 5; ++k) h.feed(s["navFNAVGLOStr" + std::to_string(k)], 1000 + 2000 * k);
  const ZRT_EPH_GLN* e = h.eph(13500);
  ASSERT_NE(e, nullptr);
  ZRT_ALM_GLN a;
  glo_DecodeAlmanac(s["navFNAVGLOStr6"].data(), s["navFNAVGLOStr7"].data(), 1274, 6, 0, a);
  double pos[3];
  float vel[3];
  ASSERT_TRUE(compute_GloSatPosByAlmanac(a, e->tb - a.tLambda, pos, vel, nullptr, nullptr));
  double d2 = 0, v2 = 0;
  for (int k = 0; k < 3; ++k) {
    d2 += std::pow(pos[k] - e->pos[k] * 1000, 2);
    v2 += std::pow(vel[k] - e->vel[k] * 1000, 2);
  }
  std::printf("almanac against ephemeris: %.0f m, %.2f m/s\n", std::sqrt(d2), std::sqrt(v2));
  EXPECT_LT(std::sqrt(d2), 5000.0);
  EXPECT_LT(std::sqrt(v2), 1.0);
}

TEST_OWN(GloNavRules, LateThirdStringClearsTheBlock) {
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

TEST_OWN(GloNavRules, FrequencyChannelOfTheAlmanac) {
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

// One frame's strings 1 to 5 of a state vector as the ICD lays them out.
struct EphIn {
  double pos[3], vel[3], acc[3];  // km, km/s, km/s^2
  double tauN, gammaN;
  int tbIndex, NT = 100, n = 2, FT = 3, En = 1, NA = 100, N4 = 5, P3 = 0, M = 1, Bn = 0;
};
std::vector<Str> encodeFrame(const EphIn& e) {
  std::vector<Str> out(5, Str(3, 0));
  for (int k = 0; k < 5; ++k) put(out[static_cast<std::size_t>(k)], 2, 4, k + 1);
  for (int k = 0; k < 3; ++k) {
    Str& w = out[static_cast<std::size_t>(k)];
    put(w, 22, 24, q(e.vel[k], 20));
    put(w, 46, 5, q(e.acc[k], 30));
    put(w, 51, 27, q(e.pos[k], 11));
  }
  put(out[1], 6, 3, e.Bn);
  put(out[1], 10, 7, e.tbIndex);
  put(out[2], 6, 1, e.P3);
  put(out[2], 7, 11, q(e.gammaN, 40));
  put(out[3], 6, 22, q(e.tauN, 30));
  put(out[3], 33, 5, e.En);
  put(out[3], 53, 4, e.FT);
  put(out[3], 60, 11, e.NT);
  put(out[3], 71, 5, e.n);
  put(out[3], 76, 2, e.M);
  put(out[4], 6, 11, e.NA);
  put(out[4], 50, 5, e.N4);
  return out;
}

TEST_OWN(GloNavRinex, StringsOfARinexRecordDecodeToItsFields) {
  // brdc0910.09g, R02 at 2009-04-01 00:15 UTC (tb 03:15 Moscow time): the file lists -tauN.
  EphIn in{{9364.73925781, -15908.7973633, -17614.3896484},
           {-0.267867088318, 2.39853191376, -2.30765628815},
           {0, 0.186264514923e-8, 0.186264514923e-8},
           -0.206762924790e-4,
           -0.272848410532e-11,
           13};
  Harness h;
  h.sv.si = 8;  // frequency +1 as the file says
  std::uint32_t t = 1000;
  for (const Str& w : encodeFrame(in)) h.feed(w, t += 2000);
  const ZRT_EPH_GLN* e = h.eph(13 * 900);
  ASSERT_NE(e, nullptr);
  for (int k = 0; k < 3; ++k) {
    EXPECT_NEAR(e->pos[k], in.pos[k], 0.5 / 2048) << k;
    EXPECT_NEAR(e->vel[k], in.vel[k], 0.5 / 1048576.0) << k;
    EXPECT_NEAR(e->acc[k], in.acc[k], 1e-12) << k;
  }
  EXPECT_NEAR(-e->tauN, 0.206762924790e-4, 1e-12);
  EXPECT_NEAR(e->gammaN, -0.272848410532e-11, 1e-15);
  EXPECT_EQ(e->tb, 11700u);
  EXPECT_EQ(e->slot, 2);
  EXPECT_EQ(e->freqNum, 1);
  EXPECT_EQ(e->NT, 100);
  EXPECT_EQ(e->FT, 3);
  EXPECT_EQ(e->En, 1);
  ASSERT_FALSE(gTypes.empty());
  EXPECT_EQ(gTypes.back().slot, 2);
  EXPECT_EQ(gTypes.back().type, 1);
}

TEST_OWN(GloNavRinex, EveryRecordOfTheDayThroughItsStrings) {
  // Each state vector of the file sent as strings 1 to 5 (twice: a new tb is stored once
  // confirmed) comes out of the store as the file lists it; the file keeps -tauN.
  const auto brdc = glofiles::readRinex2Glo(navfiles::testdata("brdc0910.09g"));
  Harness h;
  std::uint32_t t = 1000;
  int checked = 0;
  for (const auto& b : brdc) {
    const ZRT_EPH_GLN& r = b.eph;
    if (r.freqNum < -7 || r.freqNum > 7 || !is_GloEphemerisValid(r) || r.tb % 900 != 0) continue;
    EphIn in{{r.pos[0], r.pos[1], r.pos[2]}, {r.vel[0], r.vel[1], r.vel[2]}, {r.acc[0], r.acc[1], r.acc[2]},
             r.tauN, r.gammaN, static_cast<int>(r.tb / 900)};
    in.n = r.slot;
    in.Bn = r.health ? 4 : 0;
    in.En = r.En;
    h.sv.si = static_cast<std::uint8_t>(r.freqNum + 7);
    for (int rep = 0; rep < 2; ++rep)
      for (const Str& w : encodeFrame(in)) h.feed(w, t += 2000);
    const ZRT_EPH_GLN* e = h.eph(r.tb);
    ASSERT_NE(e, nullptr) << "R" << b.slot << " tb " << r.tb;
    for (int k = 0; k < 3; ++k) {
      ASSERT_NEAR(e->pos[k], r.pos[k], 0.5 / 2048) << "R" << b.slot;
      ASSERT_NEAR(e->vel[k], r.vel[k], 0.5 / 1048576.0) << "R" << b.slot;
      ASSERT_NEAR(e->acc[k], r.acc[k], 0.5 / 1073741824.0) << "R" << b.slot;
    }
    ASSERT_NEAR(e->tauN, r.tauN, 0.5 / 1073741824.0) << "R" << b.slot;
    ASSERT_NEAR(e->gammaN, r.gammaN, 0.5 / 1099511627776.0) << "R" << b.slot;
    ASSERT_EQ(e->tb, r.tb);
    ASSERT_EQ(e->slot, r.slot);
    ASSERT_EQ(e->freqNum, r.freqNum);
    ASSERT_EQ(e->health, r.health ? 1 : 0);
    ASSERT_EQ(e->En, r.En);
    ++checked;
  }
  EXPECT_GT(checked, 600);
}

TEST_OWN(GloNavRinex, ImplausibleStateVectorsAreNotStored) {
  struct Row {
    double radius, speed;
    bool stored;
  } rows[] = {{25500, 3, true}, {18999, 3, false}, {25500, 4.1, false}, {25500, 1.9, false}};
  for (const Row& r : rows) {
    EphIn in{{0, 0, r.radius}, {r.speed, 0, 0}, {0, 0, 0}, 1e-5, 0, 13};
    Harness h;
    std::uint32_t t = 1000;
    for (const Str& w : encodeFrame(in)) h.feed(w, t += 2000);
    EXPECT_EQ(h.eph(11700) != nullptr, r.stored) << r.radius << " " << r.speed;
  }
}

TEST_OWN(GloNavRinex, ANewStateVectorReplacesTheStoredOneOnceSeenTwice) {
  EphIn in{{0, 0, 25500}, {3, 0, 0}, {0, 0, 0}, 1e-5, 0, 13};
  Harness h;
  std::uint32_t t = 1000;
  auto frame = [&](int tbIndex) {
    in.tbIndex = tbIndex;
    for (const Str& w : encodeFrame(in)) h.feed(w, t += 2000);
  };
  frame(13);  // the first of an empty slot is taken at once
  ASSERT_NE(h.eph(11700), nullptr);
  EXPECT_EQ(h.eph(11700)->tb, 11700u);
  frame(14);  // a new tb heard once: not yet
  EXPECT_EQ(h.eph(12600)->tb, 11700u);
  frame(14);  // heard again with the same check value: confirmed
  EXPECT_EQ(h.eph(12600)->tb, 12600u);
}

// A healthy ephemeris first, then the almanac strings of the next frame.
struct FrameRun {
  Harness h;
  std::map<std::string, Str> s = loadStrings();
  std::uint32_t t = 1000;
  void frame(const Str* str3 = nullptr) {
    for (int k = 1; k <= 5; ++k) {
      const Str& w = k == 3 && str3 != nullptr ? *str3 : s["navFNAVGLOStr" + std::to_string(k)];
      h.feed(w, t += 2000);
    }
  }
};

TEST_OWN(GloNavFrame, AlmanacOfTheNextFrameReachesTheStoreAndLinksItsFrequency) {
  FrameRun f;
  f.frame();
  ASSERT_EQ(f.h.store->get_AlmLastData(kSysGlonass, 0), nullptr);
  f.frame();
  f.h.feed(f.s["navFNAVGLOStr6"], f.t += 2000);
  f.h.feed(f.s["navFNAVGLOStr7"], f.t += 2000);
  const auto* a = static_cast<const ZRT_ALM_GLN*>(f.h.store->get_AlmLastData(kSysGlonass, 0));
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(a->slot, 1);
  EXPECT_DOUBLE_EQ(a->tLambda, 2599.4375);
  EXPECT_EQ(a->NA, 1274);
  EXPECT_EQ(f.h.store->get_SvIdx(kSysGlonass, 0), 8);  // frequency +1
  // Slot 1 is a GLONASS-M by its ephemeris and by its almanac: both tables tell the registry.
  int calls = 0;
  for (const TypeCall& c : gTypes) calls += c.slot == 1 && c.type == 1;
  EXPECT_EQ(calls, 2);
}

// Orbital slots 16 to 24 (frames 4 and 5 of the superframe) are stored as slots 1 to 15 are: the
// almanac under its own slot, linked to its frequency, its satellite type told to the registry.
TEST_OWN(GloNavFrame, AlmanacOfEverySlotNumberReachesTheStore) {
  for (int slot : {1, 15, 16, 20, 24}) {
    FrameRun f;
    f.frame();
    f.frame();
    Str first = f.s["navFNAVGLOStr6"];
    put(first, 9, 5, slot);  // nA
    f.h.feed(first, f.t += 2000);
    f.h.feed(f.s["navFNAVGLOStr7"], f.t += 2000);
    const auto* a = static_cast<const ZRT_ALM_GLN*>(f.h.store->get_AlmLastData(kSysGlonass, slot - 1));
    ASSERT_NE(a, nullptr) << "slot " << slot;
    EXPECT_EQ(a->slot, slot);
    EXPECT_DOUBLE_EQ(a->tLambda, 2599.4375) << "slot " << slot;
    EXPECT_EQ(f.h.store->get_SvIdx(kSysGlonass, slot - 1), 8) << "slot " << slot;  // frequency +1
    bool told = false;
    for (const TypeCall& c : gTypes) told = told || c.slot == slot;
    EXPECT_TRUE(told) << "slot " << slot;
  }
}

TEST_OWN(GloNavFrame, AlmanacStringsBeforeAHealthyEphemerisAreIgnored) {
  FrameRun f;
  for (int k = 4; k <= 7; ++k) f.h.feed(f.s["navFNAVGLOStr" + std::to_string(k)], f.t += 2000);
  f.frame();  // the ephemeris completes only now
  EXPECT_EQ(f.h.store->get_AlmLastData(kSysGlonass, 0), nullptr);
}

TEST_OWN(GloNavFrame, AlmanacHalvesTooLateAfterStringFiveAreDropped) {
  struct Row {
    std::uint32_t gap;
    bool stored;
  } rows[] = {{2000, true}, {3000, true}, {3001, false}};
  for (const Row& r : rows) {
    FrameRun f;
    f.frame();
    f.frame();
    f.h.feed(f.s["navFNAVGLOStr6"], f.t += r.gap);
    f.h.feed(f.s["navFNAVGLOStr7"], f.t += 2000);
    EXPECT_EQ(f.h.store->get_AlmLastData(kSysGlonass, 0) != nullptr, r.stored) << r.gap;
  }
}

TEST_OWN(GloNavFrame, StringFourteenFeedsTheTimeParametersOnlyWithoutAFifthAlmanac) {
  struct Row {
    int p3;
    bool utc;
  } rows[] = {{0, true}, {1, false}};
  for (const Row& r : rows) {
    FrameRun f;
    Str s3 = f.s["navFNAVGLOStr3"];
    put(s3, 6, 1, r.p3);
    f.frame(&s3);
    f.frame(&s3);
    f.h.feed(f.s["navFNAVGLOStr14"], f.t += 18000);
    const auto* u = static_cast<const ZRT_UTC_GLN*>(f.h.store->get_UtcLastData(kSysGlonass));
    ASSERT_EQ(u != nullptr, r.utc) << r.p3;
    if (u == nullptr) continue;
    EXPECT_FLOAT_EQ(u->B1, -0.6728515625f);
    EXPECT_FLOAT_EQ(u->B2, -0.0006561279296875f);
    EXPECT_EQ(u->leapNotice, 1);
    EXPECT_EQ(u->NT, 1274);
    EXPECT_EQ(u->NA, 1274);
    EXPECT_DOUBLE_EQ(u->tauGPS, -1.5832483768463135e-08);
  }
}

TEST_OWN(GloNavFrame, FourYearNumberFollowsTheAlmanacDay) {
  struct Row {
    int NA, NT, want;
  } rows[] = {{1400, 600, 4}, {1331, 600, 4}, {1330, 600, 5}, {10, 740, 5}, {10, 741, 6}};
  for (const Row& r : rows) {
    EphIn in{{0, 0, 25500}, {3, 0, 0}, {0, 0, 0}, 1e-5, 0, 13};
    in.NA = r.NA, in.NT = r.NT, in.N4 = 5;
    Harness h;
    std::uint32_t t = 1000;
    for (int frame = 0; frame < 2; ++frame)
      for (const Str& w : encodeFrame(in)) h.feed(w, t += 2000);
    Str s14(3, 0);
    put(s14, 2, 4, 14);
    h.feed(s14, t += 18000);
    const auto* u = static_cast<const ZRT_UTC_GLN*>(h.store->get_UtcLastData(kSysGlonass));
    ASSERT_NE(u, nullptr) << r.NA;
    EXPECT_EQ(u->N4, r.want) << r.NA << " " << r.NT;
  }
}

std::vector<SvIdType> gReset;
std::vector<SvIdType> gDropped;

TEST_OWN(GloNavGhost, TheWeakerCopyOfAStateVectorIsTheGhost) {
  struct Row {
    float firstCn0, secondCn0;
    bool secondStored, firstDropped, secondReset;
  } rows[] = {
      {45, 30, false, false, true},  // a weaker twin of a tracked satellite: not stored, reset
      {30, 45, true, true, false},   // a stronger one: the first is the ghost
      {8, 30, true, false, false},   // the first not tracked and the second not strong: both kept
      {8, 41, true, true, false},    // ... unless the second is strong
  };
  auto s = loadStrings();
  for (const Row& r : rows) {
    Harness h;
    gReset.clear(), gDropped.clear();
    navDecoderLinks.satResetRequest = [](SvIdType sv, std::uint8_t, std::uint8_t) { gReset.push_back(sv); };
    navDecoderLinks.ephemerisReset = [](SvIdType sv) { gDropped.push_back(sv); };
    std::uint32_t t = 1000;
    for (int k = 1; k <= 5; ++k) h.feed(s["navFNAVGLOStr" + std::to_string(k)], t += 2000, r.firstCn0);
    h.sv.si = 3;
    for (int k = 1; k <= 5; ++k) h.feed(s["navFNAVGLOStr" + std::to_string(k)], t += 2000, r.secondCn0);
    EXPECT_EQ(h.eph(13500) != nullptr, r.secondStored) << r.firstCn0 << "/" << r.secondCn0;
    EXPECT_EQ(!gDropped.empty() && gDropped[0].si == 8, r.firstDropped) << r.firstCn0 << "/" << r.secondCn0;
    EXPECT_EQ(!gReset.empty() && gReset[0].si == 3, r.secondReset) << r.firstCn0 << "/" << r.secondCn0;
    navDecoderLinks.satResetRequest = nullptr;
    navDecoderLinks.ephemerisReset = nullptr;
  }
}

TEST_OWN(GloNavRules, RandomAndCutStringsNeverBreakAnything) {
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
