// Every carrier NCO rate, turned back into a frequency with exact integer arithmetic, must give the
// published carrier to the hertz.
#include <gtest/gtest.h>

#include <unistd.h>

#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
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
  }
  static void plan(int vco, int ref) {
    clockSettings().vcoDiv_FSX = vco;
    clockSettings().refDiv_FS = ref;
    chanInitOnce();
  }
  // Runs f in a child whose standard output goes to its standard error, as a death test reads
  // it; a halt for good sleeps until the alarm ends the child.
  template <class F>
  [[noreturn]] static void haltsAfter(F f) {
    std::fflush(stdout);
    ::dup2(2, 1);
    ::alarm(2);
    f();
    std::_Exit(0);
  }
};

TEST_F(FreqPlan, ClockConstantsAndZeroDividers) {
  plan(100, 3);  // 2^15 >= 16666 cycles a tick; 3 * 32768 / 100 MHz = 983.04 us
  EXPECT_EQ((std::vector<long long>{afrq_Hz, CyclesInTickPow, TICK1E9, TICKuS}), (std::vector<long long>{33333333, 15, 98304, 983}));
  plan(60, 1);
  EXPECT_EQ(ths00, 2100);        // 1400 * 60e6 * 25e-9
  EXPECT_EQ(SEARCH_SCX, 18325);  // 256 * 2^32 / 60e6 = 18325.2
  plan(40, 1);
  EXPECT_EQ(afrq_Hz, 40000000);
  // A stored zero (a damaged image) keeps the last good plan instead of dividing by it.
  clockSettings().refDiv_FS = 0;
  const std::string out = stdoutOf(chanInitOnce);
  EXPECT_NE(out.find("Wrong clock dividers 40/0"), std::string::npos) << out;
  EXPECT_EQ(TICK1E9D, 40000);
}

TEST_F(FreqPlan, EveryCarrierRebuildsToItsIcdFrequency) {
  for (int vco : {60, 40, 80, 50}) {
    plan(vco, 1);
    int seen = 0;
    for (const Icd& b : kIcd) {
      for (int k = b.stepHz ? -7 : 0; k <= (b.stepHz ? 7 : 0); ++k, ++seen) {
        SCOPED_TRACE(testing::Message() << vco << " MHz, index " << b.index << ", letter " << k);
        ASSERT_EQ(freqEntryCount(b.index), b.stepHz ? 15 : 1);
        const FreqEntry* e = &freqEntries[freqEntryFirst(b.index) + (b.stepHz ? k + 7 : 0)];
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
  }
}

TEST_F(FreqPlan, SpectrumChannelsInMegahertz) {
  plan(60, 1);
  EXPECT_EQ(omniStarSpecChan, 4);
  EXPECT_EQ(omniStarSpecBand, 18);
  for (int ch = kWideSpecChannels; ch < kSpecChannels; ++ch) EXPECT_EQ(spFrqZero[ch], 0.0);
  // Each wideband channel spans its path's sampled band, 60 MHz from its zero frequency, and
  // holds the published carriers of the bands on that path.
  for (const Icd& b : kIcd) {
    const FreqEntry* e = &freqEntries[freqEntryFirst(b.index) + (b.stepHz ? 7 : 0)];
    if (e->path >= kWideSpecChannels) continue;
    const double mhz = static_cast<double>(b.hz) * 1e-6;
    EXPECT_GE(mhz - 7 * b.stepHz * 1e-6, spFrqZero[e->path]) << b.index;
    EXPECT_LT(mhz + 7 * b.stepHz * 1e-6, spFrqZero[e->path] + 60.0) << b.index;
  }
  EXPECT_DOUBLE_EQ(spFrqZero[0], 1550.0);  // 1580 - 30 MHz
  clockSettings().l1CentFrq = 0.0f;  // damaged: the path stays on 1580 MHz
  plan(60, 1);
  EXPECT_DOUBLE_EQ(spFrqZero[0], 1550.0);
}

TEST_F(FreqPlan, UnrepresentablePllDataHalts) {
  plan(60, 1);
  NcoTriple t{};
  CodesCalcArgs a{};
  a.base = 1575420000;
  a.a = a.c = a.e = a.h = a.divisor = a.multiplier = 1;
  a.b = 4294967311;  // a prime above 2^32: the reduced denominator cannot fit
  a.shift = 32;
  a.clkDiv = 60;
  bool ok = true;
  EXPECT_NE(stdoutOf([&] { codesCalc(a, t, nullptr, ok); }).find(" ERROR SIMP. NUMBER > 32 BITS "), std::string::npos);
  EXPECT_FALSE(ok);
  // 16 MHz cannot clock a 10.23 Mchip/s code: its code NCO rate needs more than 31 bits.
  ::testing::FLAGS_gtest_death_test_style = "threadsafe";
  EXPECT_EXIT(haltsAfter([] { plan(16, 1); }), ::testing::KilledBySignal(SIGALRM), "Wrong 1 PLL data ");
  EXPECT_EXIT(haltsAfter([] { fatalErrInitOnce(3, 0); }), ::testing::KilledBySignal(SIGALRM), "^Wrong 3 PLL data 0\\.\n$");
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
