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

void epochs(long t0, long t1, int selector) {
  for (long t = t0; t <= t1; t += 100) alanVarianceAt(t, selector);
}

class Allan : public ::testing::Test {
 protected:
  void SetUp() override {
    alanReset();
    debSetSink(sink);
  }
  void TearDown() override { debSetSink(nullptr); }
};

TEST_F(Allan, FiguresOfKnownSeries) {
  track(9, 1, 2, 48.0f, 12);
  // Constant frequency: no figure, one line a minute.
  setY(9, 2, 100.0);
  epochs(0, 60000, 7012);
  EXPECT_TRUE(alanState().valid);
  EXPECT_EQ(alanState().result, kAllanNoFigure);
  EXPECT_NE(g_debug.find("svE AL"), std::string::npos) << g_debug;

  // One epoch in the block (N = 1): no figure instead of a division by zero.
  alanReset();
  setY(9, 2, 5.0);
  alanVarianceAt(0, 7012);
  setY(9, 2, 6.0);
  alanVarianceAt(60000, 7012);
  EXPECT_TRUE(alanState().valid);
  EXPECT_EQ(alanState().result, kAllanNoFigure);

  // y alternates +a, -a: every difference is +-2a (the first from the value when chosen), their
  // sum over an even count 0, so the variance is N (2a)^2 / (2 (N - 1)) with N = 600.
  alanReset();
  g_debug.clear();
  const double a = 0.001;
  setY(9, 2, a);
  alanVarianceAt(0, 12);
  for (int i = 1; i <= 600; ++i) {
    setY(9, 2, i % 2 ? -a : a);
    alanVarianceAt(100L * i, 12);
  }
  ASSERT_TRUE(alanState().valid);
  EXPECT_NEAR(alanState().result, 50.0 * std::sqrt(600.0 * 4 * a * a / (2 * 599.0)), 1e-6);
  EXPECT_EQ(g_debug, "");  // printed only for 7000..7099
}

}  // namespace
