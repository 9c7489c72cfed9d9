#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "gnss_link/allan_monitor.h"
#include "platform/debug.h"
#include "positioning/chan_data.h"

namespace {

constexpr double kL1 = 1575.42e6;
// Debug lines go to standard error; what the monitor has printed since the last clear.
std::string g_printed;
std::string printed() {
  g_printed += ::testing::internal::GetCapturedStderr();
  ::testing::internal::CaptureStderr();
  return g_printed;
}
void clearPrinted() {
  printed();
  g_printed.clear();
}

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
    allanState = AllanState{};
    g_printed.clear();
    ::testing::internal::CaptureStderr();
  }
  void TearDown() override { ::testing::internal::GetCapturedStderr(); }
};

TEST_F(Allan, FiguresOfKnownSeries) {
  track(9, 1, 2, 48.0f, -1);  // GLONASS, frequency number -1
  // Constant frequency: no figure, one line a minute.
  setY(9, 2, 100.0);
  epochs(0, 60000, 7012);
  EXPECT_TRUE(allanState.valid);
  EXPECT_EQ(allanState.result, kAllanNoFigure);
  EXPECT_NE(printed().find("svE AL"), std::string::npos) << g_printed;

  // One epoch in the block (N = 1): no figure instead of a division by zero.
  allanState = AllanState{};
  setY(9, 2, 5.0);
  alanVarianceAt(0, 7012);
  setY(9, 2, 6.0);
  alanVarianceAt(60000, 7012);
  EXPECT_TRUE(allanState.valid);
  EXPECT_EQ(allanState.result, kAllanNoFigure);

  // y alternates +a, -a: every difference is +-2a (the first from the value when chosen), their
  // sum over an even count 0, so the variance is N (2a)^2 / (2 (N - 1)) with N = 600.
  allanState = AllanState{};
  clearPrinted();
  const double a = 0.001;
  setY(9, 2, a);
  alanVarianceAt(0, 12);
  for (int i = 1; i <= 600; ++i) {
    setY(9, 2, i % 2 ? -a : a);
    alanVarianceAt(100L * i, 12);
  }
  ASSERT_TRUE(allanState.valid);
  EXPECT_NEAR(allanState.result, 50.0 * std::sqrt(600.0 * 4 * a * a / (2 * 599.0)), 1e-6);
  EXPECT_EQ(printed(), "");  // printed only for 7000..7099
}

// The selector's tens digit names the satellite system (0 GPS, 1 GLONASS, 2 Galileo, 3 SBAS,
// 4 QZSS, 5 BeiDou, 6 NavIC); the board names a channel's system by its own code (0 GPS,
// 1 GLONASS, 2 SBAS, 3 Galileo, 4 BeiDou, 5 QZSS, 6 NavIC, 7 L-band), and a QZSS satellite on its
// SBAS signal by SBAS PRN 183..189. Each row tracks one channel and asks for one system: the
// channel is chosen, and its line names that system, only when the two are the same satellite
// system.
TEST_F(Allan, SelectorNamesTheSatelliteSystemNotTheBoardsCode) {
  const struct {
    const char* what;
    int code, number, selector;
    bool chosen;
  } rows[] = {
      {"Galileo E11 on code 3, system 2", 3, 11, 7020, true},
      {"Galileo asked as code 3: SBAS", 3, 11, 7030, false},
      {"SBAS S127 on code 2, system 3", 2, 127, 7030, true},
      {"SBAS asked as code 2: Galileo", 2, 127, 7020, false},
      {"BeiDou C23 on code 4, system 5", 4, 23, 7050, true},
      {"BeiDou asked as code 4: QZSS", 4, 23, 7040, false},
      {"QZSS J02 on code 5, system 4", 5, 194, 7040, true},
      {"QZSS L1S on SBAS PRN 184 is QZSS", 2, 184, 7040, true},
      {"NavIC I05 on code 6, system 6", 6, 5, 7060, true},
      {"GLONASS k = -7, system 1", 1, -7, 7010, true},
      {"GLONASS without frequency number", 1, 9, 7010, false},
      {"L-band beam is no satellite system", 7, 3, 7070, false},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.what);
    allanState = AllanState{};
    clearPrinted();
    for (int ch = 0; ch < kCdatPerInput; ++ch) Cdat[ch].sysCode = 9;
    track(5, r.code, 0, 48.0f, r.number);
    setY(5, 0, 1.0);
    epochs(0, 60000, r.selector);
    EXPECT_EQ(allanState.chan, r.chosen ? 5 : -1);
    const std::string sys = " sys=" + std::to_string(r.selector / 10 % 10) + " sig=0\n";
    EXPECT_EQ(printed().find(sys) != std::string::npos, r.chosen) << g_printed;
  }
}

}  // namespace
