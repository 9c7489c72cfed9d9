#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "gnss_link/freq_plan.h"
#include "settings/rcv_settings.h"

namespace {

using i128 = __int128;

// Published carrier frequencies, Hz (GPS, GLONASS, Galileo, BeiDou, NavIC ICDs).
struct Icd {
  int index;
  std::int64_t hz;      // carrier (GLONASS FDMA: letter 0)
  std::int64_t stepHz;  // GLONASS letter spacing
};
// G1 = 1602 + k * 0.5625 MHz, L1, B1I, E6, B3I, G2 = 1246 + k * 0.4375 MHz, L2, E5b, G3, E5 (AltBOC centre) twice,
// L5 / E5a / B2a, B1-2, NavIC S.
constexpr Icd kIcd[] = {{0, 1602000000, 562500}, {1, 1575420000, 0},  {2, 1561098000, 0},  {3, 1278750000, 0},
                        {4, 1268520000, 0},      {5, 1246000000, 437500}, {6, 1227600000, 0}, {7, 1207140000, 0},
                        {8, 1202025000, 0},      {9, 1191795000, 0},  {10, 1191795000, 0}, {11, 1176450000, 0},
                        {12, 1589742000, 0},     {13, 2492028000, 0}};

// Chip rates of the main code per frequency index (ICDs), chips/s.
constexpr std::int64_t kChips[kFrqIdxNum] = {511000,   1023000,  2046000,  5115000,  10230000,
                                             511000,   1023000,  10230000, 10230000, 10230000,
                                             10230000, 10230000, 2046000,  1023000};

template <class F>
std::string stdoutOf(F f) {
  testing::internal::CaptureStdout();
  f();
  return testing::internal::GetCapturedStdout();
}

class FreqPlan : public ::testing::Test {
 protected:
  void SetUp() override {
    rcvSetDefaults(RcvSet);
    clockSettingsDefaults();
    freqPlanSetHaltHook(recordHalt);
    halts = 0;
  }
  void TearDown() override { freqPlanSetHaltHook(nullptr); }
  static void plan(int vco, int ref) {
    clockSettings().vcoDiv_FSX = vco;
    clockSettings().refDiv_FS = ref;
    chanInitOnce();
  }
  static void recordHalt(int, int) { ++halts; }
  static inline int halts = 0;
};

TEST_F(FreqPlan, ClockConstantsAndZeroDividers) {
  plan(100, 3);  // 2^15 >= 16666 cycles a tick; 3 * 32768 / 100 MHz = 983.04 us
  EXPECT_EQ((std::vector<long long>{afrq_Hz, CyclesInTickPow, TICK1E9, TICKuS}), (std::vector<long long>{33333333, 15, 98304, 983}));
  plan(60, 1);
  EXPECT_EQ(ths00, 2100);        // 1400 * 60e6 * 25e-9
  EXPECT_EQ(SEARCH_SCX, 18325);  // 256 * 2^32 / 60e6 = 18325.2
  EXPECT_FALSE(freqPlanSetDividers(0, 1) || freqPlanSetDividers(60, 0) || freqPlanSetDividers(-60, 1));
  EXPECT_EQ(clockSettings().vcoDiv_FSX * 100 + clockSettings().refDiv_FS, 6001);
  EXPECT_TRUE(freqPlanSetDividers(40, 1));
  EXPECT_EQ(afrq_Hz, 40000000);
  // A stored zero (a damaged image) keeps the last good plan instead of dividing by it.
  clockSettings().refDiv_FS = 0;
  const std::string out = stdoutOf(chanInitOnce);
  EXPECT_NE(out.find("Wrong clock dividers 40/0"), std::string::npos) << out;
  EXPECT_EQ(TICK1E9D, 40000);
  EXPECT_EQ(halts, 0);
}

TEST_F(FreqPlan, EveryCarrierRebuildsToItsIcdFrequency) {
  for (int vco : {60, 40, 80, 50}) {
    plan(vco, 1);
    ASSERT_EQ(halts, 0);
    int seen = 0;
    for (const Icd& b : kIcd) {
      for (int k = b.stepHz ? -7 : 0; k <= (b.stepHz ? 7 : 0); ++k, ++seen) {
        SCOPED_TRACE(testing::Message() << vco << " MHz, index " << b.index << ", letter " << k);
        const FreqEntry* e = freqEntry(b.index, k);
        ASSERT_NE(e, nullptr);
        // carrier = lo + wraps * fs + rate * fs / 2^32, fs = vco MHz, all exact; the intermediate
        // frequency in kHz likewise, folded into the sampled band.
        const i128 ifHz = static_cast<i128>(b.hz + k * b.stepHz) - e->loHz - static_cast<i128>(e->wraps) * afrq_Hz;
        EXPECT_TRUE(ifHz * (i128{1} << 32) * e->carr.den ==
                    (static_cast<i128>(e->carr.i) * e->carr.den + e->carr.rem) * vco * 1000000);
        EXPECT_LT(e->carr.rem, e->carr.den);
        EXPECT_TRUE((static_cast<i128>(e->ifKHz.i) * e->ifKHz.den + e->ifKHz.rem) * 1000 == ifHz * e->ifKHz.den);
        EXPECT_TRUE(2 * ifHz >= -afrq_Hz && 2 * ifHz < afrq_Hz);
        // Code NCO: chips per sample, 2^32 a chip.
        EXPECT_TRUE(static_cast<i128>(kChips[b.index]) * (i128{1} << 32) * e->code.den ==
                    (static_cast<i128>(e->code.i) * e->code.den + e->code.rem) * vco * 1000000);
      }
    }
    EXPECT_EQ(seen, kFreqEntries);
    EXPECT_EQ(freqEntry(0, 8), nullptr);
  }
}

TEST_F(FreqPlan, RandomFractionsSplitExactlyOrAreRefused) {
  std::mt19937_64 rng(20261206);
  NcoTriple t{};
  int good = 0;
  for (int n = 0; n < 4000; ++n) {
    const int shiftN = static_cast<int>(rng() % 64), shiftD = static_cast<int>(rng() % 64);
    std::int64_t num = static_cast<std::int64_t>(rng()) >> shiftN;
    std::int64_t den = static_cast<std::int64_t>(rng()) >> shiftD;
    bool ok = false;
    const std::string out = stdoutOf([&] { ok = simp(num, den, t); });
    EXPECT_EQ(out.empty(), ok);
    if (!ok) continue;
    ++good;
    ASSERT_LT(t.rem, t.den);
    // (i + rem / den) == num / den  <=>  (i * den + rem) * |den0| == sign * num * den.
    const i128 lhs = (static_cast<i128>(t.i) * t.den + t.rem) * (den < 0 ? -static_cast<i128>(den) : den);
    const i128 rhs = static_cast<i128>(num) * (den < 0 ? -1 : 1) * t.den;
    EXPECT_TRUE(lhs == rhs) << num << "/" << den;
  }
  EXPECT_GT(good, 20);
}

TEST_F(FreqPlan, RandomCodesCalcArgumentsNeverBreakIt) {
  plan(60, 1);
  std::mt19937_64 rng(7);
  auto any = [&] { return static_cast<std::int64_t>(rng()) >> (rng() % 64); };
  for (int n = 0; n < 4000; ++n) {
    CodesCalcArgs a{any(), any(), any(), any(), any(), any(), any(), any(), any(), any(),
                    (rng() & 1) != 0, static_cast<int>(rng() % 4), any(), static_cast<int>(rng() % 48) - 4,
                    any(), 0, 0};
    NcoTriple r{}, k{};
    bool ok = false;
    stdoutOf([&] { codesCalc(a, r, (rng() & 1) ? &k : nullptr, ok); });
    EXPECT_TRUE(!ok || r.rem < r.den);
  }
}

}  // namespace
