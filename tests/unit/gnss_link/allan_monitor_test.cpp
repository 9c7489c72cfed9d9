// The clock-stability monitor: choice of the channel by the debug selector, the 60-second
// blocks, the figure for known frequency series, and selectors and intervals that name nothing.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "gnss_link/allan_monitor.h"
#include "platform/debug.h"
#include "positioning/chan_data.h"

namespace {

constexpr double kL1 = 1575.42e6;
std::string g_debug;
void sink(const char* text, int len) { g_debug.append(text, static_cast<std::size_t>(len)); }

// Channel `ch` tracks system `sys` with a carrier in `slot` at level `cn0`.
void track(int ch, int sys, int slot, float cn0, int sv) {
  ChanData::mapSlot(ch, slot, ch * kCdatSlots + slot);
  Cdat[ch].sysCode = static_cast<std::uint8_t>(sys);
  Cdat[ch].svNum = static_cast<std::int16_t>(sv);
  ChanSigData* s = Cdat[ch].sig(slot);
  s->flags = ChanSigData::kValid | ChanSigData::kPhase;
  s->freq = kL1;
  s->cn0 = cn0;
  s->doppler = 0.0;
}
// Doppler that makes the scaled frequency y = f / 15 equal `y` (f the range rate, m/s).
void setY(int ch, int slot, double y) { Cdat[ch].sig(slot)->doppler = y * 15.0 * kL1 / 300000000.0; }

class Allan : public ::testing::Test {
 protected:
  void SetUp() override {
    alanReset();
    g_debug.clear();
    debSetSink(sink);
  }
  void TearDown() override { debSetSink(nullptr); }
};

TEST_F(Allan, SelectorPicksSystemAndSignalWithTheBestLevel) {
  track(4, 1, 2, 40.0f, 7);
  track(9, 1, 2, 48.0f, 12);
  track(11, 0, 2, 55.0f, 3);   // other system
  track(12, 1, 1, 56.0f, 20);  // other signal
  alanVarianceAt(0, 7012);
  EXPECT_EQ(alanState().chan, 9);
  EXPECT_EQ(alanState().sys, 1);
  EXPECT_EQ(alanState().sig, 2);
}

TEST_F(Allan, ConstantFrequencyGivesNoFigureAndPrintsEveryMinute) {
  track(9, 1, 2, 48.0f, 12);
  setY(9, 2, 100.0);
  long t = 0;
  for (int i = 0; i <= 600; ++i, t += 100) alanVarianceAt(t, 7012);  // 60 s after the first
  EXPECT_TRUE(alanState().valid);
  EXPECT_EQ(alanState().result, kAllanNoFigure);
  EXPECT_NE(g_debug.find("svE AL*e9=1000000000000.00 T= 0"), std::string::npos) << g_debug;
  EXPECT_NE(g_debug.find("sv=12 msint=100 snr=48 sys=1 sig=2\n"), std::string::npos) << g_debug;
  // Another minute, another line.
  for (int i = 0; i < 600; ++i, t += 100) alanVarianceAt(t, 7012);
  std::size_t lines = 0;
  for (std::size_t p = 0; (p = g_debug.find("svE AL", p)) != std::string::npos; ++p) ++lines;
  EXPECT_EQ(lines, 2u);
}

TEST_F(Allan, AlternatingFrequencyGivesItsFigure) {
  // y alternates +a, -a: every difference is +-2a, the sum over an even count is 0, so the
  // variance is N (2a)^2 / (2 (N - 1)) with N = 600 differences in the minute.
  const double a = 0.001;
  track(9, 1, 2, 48.0f, 12);
  setY(9, 2, a);
  alanVarianceAt(0, 12);  // chosen here: the first difference starts from this value
  for (int i = 1; i <= 600; ++i) {
    setY(9, 2, i % 2 ? -a : a);
    alanVarianceAt(100L * i, 12);
  }
  ASSERT_TRUE(alanState().valid);
  const double n = 600.0;
  EXPECT_NEAR(alanState().result, 50.0 * std::sqrt(n * 4 * a * a / (2 * (n - 1))), 1e-6);
  // Outside 7000..7099 nothing is printed.
  EXPECT_EQ(g_debug, "");
}

TEST_F(Allan, SelectorDigitsOutsideTheTablesChooseNothing) {
  for (int ch = 0; ch < 10; ++ch) {
    for (int slot = 0; slot < kCdatSlots; ++slot) track(ch, ch % 8, slot, 50.0f, ch);
  }
  for (int sel : {7006, 7009, 7086, 7080, 7095, 7099, -1}) {
    alanReset();
    alanVarianceAt(0, sel);
    alanVarianceAt(100, sel);
    EXPECT_EQ(alanState().chan, -1) << sel;
  }
  alanReset();
  alanVarianceAt(0, 7075);
  EXPECT_EQ(alanState().chan, 7);
}

TEST_F(Allan, OneEpochPerBlockHasNoFigureInsteadOfADivisionByZero) {
  track(9, 1, 2, 48.0f, 12);
  setY(9, 2, 5.0);
  alanVarianceAt(0, 7012);
  setY(9, 2, 6.0);
  alanVarianceAt(60000, 7012);  // N = 60000 / 60000 = 1
  EXPECT_TRUE(alanState().valid);
  EXPECT_EQ(alanState().result, kAllanNoFigure);
  EXPECT_FALSE(std::isnan(alanState().result));
}

TEST_F(Allan, LostSignalWeakSignalOrNewSelectorForgetTheChannel) {
  track(9, 1, 2, 48.0f, 12);
  alanVarianceAt(0, 7012);
  ASSERT_EQ(alanState().chan, 9);
  Cdat[9].sig(2)->flags = 0;
  alanVarianceAt(100, 7012);
  EXPECT_EQ(alanState().chan, -1);
  EXPECT_FALSE(alanState().valid);

  // Below 45 dB-Hz the channel is kept for its block, then dropped.
  track(9, 1, 2, 40.0f, 12);
  alanReset();
  long t = 0;
  for (int i = 0; i <= 600; ++i, t += 100) alanVarianceAt(t, 7012);
  EXPECT_EQ(alanState().chan, -1);

  // A new selector takes effect at the end of the block.
  track(9, 1, 2, 50.0f, 12);
  alanReset();
  alanVarianceAt(0, 7012);
  for (int i = 1; i < 600; ++i) alanVarianceAt(100L * i, 7013);
  EXPECT_EQ(alanState().chan, 9);
  alanVarianceAt(60000, 7013);
  EXPECT_EQ(alanState().chan, -1);
}

}  // namespace
