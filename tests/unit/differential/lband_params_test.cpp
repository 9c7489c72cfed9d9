// L-band demodulator parameters: the PLL placed among the beams that fit one sample band, the
// channels it enables and the zero frequencies of the L-band spectrum channels, checked against
// the worked numbers of the service's channel plan and against the formulas written out here.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "differential/lband/omnistar_params.h"
#include "differential/lband/ts_decoder.h"
#include "settings/rcv_settings.h"
#include "unit/own_process.h"

namespace {

constexpr int kChan = 4;   // where the frequency plan puts the L-band's first spectrum channel
constexpr int kBand = 18;  // and its first band

bool g_osc10 = false;
int g_recomputes = 0;
std::vector<int> g_replanned;

struct BeamAt {
  int slot;
  int frequency;
  int rate;
};

// A fresh parameter set at the chosen oscillator, then a service-state record with these beams
// in this order, decoder channel c, scanning as given.
void fresh(bool osc10) {
  g_osc10 = osc10;
  lbandLinks.isOsc10Mhz = [] { return g_osc10; };
  lbandLinks.spReComputeParams = [](int c) {
    ++g_recomputes;
    g_replanned.push_back(c);
  };
  omniStarInitOnXce();
  omniStarSpecChan = kChan;
  omniStarSpecBand = kBand;
  TSDecoder = TerrastarDataDecoder();  // the board's beams and states of a test before go
  TSDecoder.init();
  omniStarInitParams();
  g_recomputes = 0;
  g_replanned.clear();
}

void record(const std::vector<BeamAt>& beams, int c, bool scanning = true, int used = -1) {
  if (TSDecoder.getBeamScanningMode() != scanning) TSDecoder.setBeamScanningMode(scanning);
  TSBoardState st{};
  for (float& e : st.elevation) e = -100.0f;
  for (const BeamAt& b : beams) {
    st.beam[b.slot].frequency = b.frequency;
    st.beam[b.slot].rate = b.rate;
    st.beam[b.slot].enabled = 1;
    st.order[st.orderCount++] = static_cast<std::uint8_t>(b.slot);
  }
  st.usedBeam = used;
  st.decoderChannel = c;
  TSDecoder.takeBoardState(st);
  strOmniCfg.decoderChannel = c;
  omniStarComputeParams();
}

// The skip count and the narrow channel's zero frequency written from the formula.
int skipOf(double smpl, int rate) {
  const int s = static_cast<int>(0.1 * smpl * 8064.0 / (rate * 16384.0));
  return s == 0 ? 1 : s;
}
double narrowZero(double smpl, int f, int rate) { return f * 1e-6 - smpl * 5e-7 / skipOf(smpl, rate); }

TEST(LbandParams, SampleClockFollowsTheOscillator) {
  const struct {
    bool osc10;
    double smpl, nco;
  } rows[] = {{false, 156250.0, 27487.790694}, {true, 78125.0, 54975.581389}};
  for (const auto& r : rows) {
    fresh(r.osc10);
    EXPECT_EQ(omniStarFs, 128);
    EXPECT_DOUBLE_EQ(omniStarSmplFrq, r.smpl) << r.osc10;
    EXPECT_NEAR(omniStarKCodeNco, r.nco, 1e-6) << r.osc10;
    for (int i = 0; i < 3; ++i) EXPECT_EQ(specBand[kChan + i], kBand + i);
    EXPECT_EQ(specBand[kChan + 3], kBand + 7);
  }
}

TEST(LbandParams, WorkedCasesOfThePllAndTheSpectrumChannels) {
  struct Row {
    const char* name;
    bool osc10;
    std::vector<BeamAt> beams;
    int c;
    bool scanning;
    int used;
    int pll;
    int en[3];
    double zero[4];  // MHz; NAN: anything but 0
  };
  const Row rows[] = {
      {"three beams, channel 0",
       false,
       {{0, 1545855000, 1200}, {1, 1545845000, 1200}, {2, 1545865000, 1200}},
       0,
       true,
       -1,
       1545859500,
       {2, 2, 2},
       {1545.8419791666, 1545.8319791666, 1545.8519791666, 1545.781375}},
      {"scanning off: only the beam in use",
       false,
       {{0, 1545855000, 1200}, {1, 1545845000, 1200}},
       0,
       false,
       0,
       1545859500,
       {2, 0, 0},
       {1545.8419791666, 0.0, 0.0, 1545.781375}},
      {"78125 Hz, channel 0: one beam fits",
       true,
       {{0, 1545825000, 1200}, {1, 1545905000, 1200}, {2, 1545865000, 1200}},
       0,
       true,
       -1,
       1545829500,
       {2, 0, 0},
       {1545.825 - 0.0390625 / 3, 0.0, 0.0, 1545.8295 - 0.0390625}},
      {"78125 Hz, channel 1: positions 1 and 2 fit",
       true,
       {{0, 1545825000, 1200}, {1, 1545905000, 1200}, {2, 1545865000, 1200}},
       1,
       true,
       -1,
       1545885000,
       {0, 2, 2},
       {1545.825 - 0.0390625 / 3, 1545.905 - 0.0390625 / 3, 0.0, 1545.885 - 0.0390625}},
      {"no beam at position 0", false, {}, 0, true, -1, 0, {0, 0, 0}, {0.0, 0.0, 0.0, 0.0}},
      // the board's channel outside the three positions, or on an empty one, is position 0
      {"channel 7 taken as 0",
       false,
       {{0, 1545855000, 1200}, {1, 1545845000, 1200}, {2, 1545865000, 1200}},
       7,
       true,
       -1,
       1545859500,
       {2, 2, 2},
       {1545.8419791666, 1545.8319791666, 1545.8519791666, 1545.781375}},
      {"channel -1 taken as 0",
       true,
       {{0, 1545825000, 1200}, {1, 1545905000, 1200}, {2, 1545865000, 1200}},
       -1,
       true,
       -1,
       1545829500,
       {2, 0, 0},
       {1545.825 - 0.0390625 / 3, 0.0, 0.0, 1545.8295 - 0.0390625}},
      {"channel on an empty position taken as 0",
       false,
       {{0, 1545855000, 1200}},
       2,
       true,
       -1,
       1545859500,
       {2, 0, 0},
       {1545.8419791666, 0.0, 0.0, 1545.781375}},
      // a rate of 0 from the board: no narrow channel, the PLL still placed
      // the PLL moved past the 32-bit frequency: none placed
      {"beam at 2147480000 Hz", false, {{0, 2147480000, 1200}}, 0, true, -1, 0, {0, 0, 0}, {0.0, 0.0, 0.0, 0.0}},
      {"rate 0", false, {{0, 1545855000, 0}}, 0, true, -1, 1545859500, {2, 0, 0}, {0.0, 0.0, 0.0, 1545.781375}},
  };
  for (const Row& r : rows) {
    fresh(r.osc10);
    // a previous state to clear: every channel on
    for (int k = 0; k < 4; ++k) spFrqZero[kChan + k] = 1.0;
    record(r.beams, r.c, r.scanning, r.used);
    EXPECT_EQ(omniStarPllFrq, r.pll) << r.name;
    for (int i = 0; i < 3; ++i) EXPECT_EQ(omniStarChanEn[i], r.en[i]) << r.name << " position " << i;
    for (int k = 0; k < 4; ++k) EXPECT_NEAR(spFrqZero[kChan + k], r.zero[k], 1e-9) << r.name << " channel " << k;
    EXPECT_EQ(g_replanned, (std::vector<int>{kChan, kChan + 1, kChan + 2, kChan + 3})) << r.name;
    EXPECT_EQ(omniStarFrqChanged, 0) << r.name;
  }
}

TEST(LbandParams, NarrowChannelsFollowTheFormula) {
  fresh(false);
  const int rates[3] = {4800, 600, 300};
  record({{0, 1545855000, rates[0]}, {1, 1545845000, rates[1]}, {2, 1545865000, rates[2]}}, 0);
  const int f[3] = {1545855000, 1545845000, 1545865000};
  for (int i = 0; i < 3; ++i)
    EXPECT_NEAR(spFrqZero[kChan + i], narrowZero(156250.0, f[i], rates[i]), 1e-9) << rates[i];
}

TEST(LbandParams, TheSameRecordChangesNothing) {
  fresh(false);
  const std::vector<BeamAt> beams = {{0, 1545855000, 1200}, {1, 1545845000, 1200}, {2, 1545865000, 1200}};
  record(beams, 0);
  g_recomputes = 0;
  spFrqZero[kChan] = 123.0;  // would be overwritten by a recomputation
  record(beams, 0);
  EXPECT_EQ(g_recomputes, 0);
  EXPECT_EQ(spFrqZero[kChan], 123.0);
  EXPECT_EQ(omniStarPllFrq, 1545859500);
  // another channel among the enabled ones changes nothing either; a frequency does
  record(beams, 1);
  EXPECT_EQ(g_recomputes, 0);
  record({{0, 1545855000, 1200}, {1, 1545845000, 1200}, {2, 1545905000, 1200}}, 1);
  EXPECT_EQ(g_recomputes, 4);
}

TEST(LbandParams, SkipCountsOfTheServiceRates) {
  const struct {
    int rate;
    int skip156, skip78;
  } rows[] = {{4800, 1, 1}, {2400, 3, 1}, {1200, 6, 3}, {600, 12, 6}, {300, 25, 12}};
  for (const auto& r : rows) {
    fresh(false);
    EXPECT_EQ(omniStarGetSkipSmpl(omniStarGetSmpl(r.rate)), r.skip156) << r.rate;
    fresh(true);
    EXPECT_EQ(omniStarGetSkipSmpl(omniStarGetSmpl(r.rate)), r.skip78) << r.rate;
  }
}

TEST(LbandParams, SkipOfSamplesAndSamplesOfLargeOrNoRates) {
  const struct {
    double samples;
    int skip;
  } skips[] = {{9.99, 1}, {64.09, 6}, {10.0, 1}, {19.99, 1}, {20.0, 2}, {0.0, 1}, {-30.0, 1}, {1e12, 2147483647}};
  for (const auto& s : skips) EXPECT_EQ(omniStarGetSkipSmpl(s.samples), s.skip) << s.samples;
  fresh(false);
  // rate x 16384 passes 2^31 from 131072 bit/s: the samples stay the formula's
  const int rates[] = {131071, 131072, 200000, 2147483647};
  for (int r : rates) EXPECT_NEAR(omniStarGetSmpl(r), 156250.0 * 8064.0 / (16384.0 * r), 1e-15) << r;
  EXPECT_EQ(omniStarGetSmpl(0), 0.0);
  EXPECT_EQ(omniStarGetSmpl(-1200), 0.0);
}

struct CpuRow {
  const char* name;
  bool before, on;
  int setting;  // cpu/num: 0..4, 5 auto
  int cpus, after;
};

int g_cpus = 0;

TEST(LbandParams, ModeSwitchMovesTheProcessorCount) {
  const CpuRow rows[] = {
      {"on with auto and 4 in use", false, true, 5, 4, 3},
      {"on with 4 and 4 in use", false, true, 4, 4, 3},
      {"on with 3 set", false, true, 3, 4, 4},
      {"the mode it has", true, true, 5, 4, 4},
      {"off with auto and 3 in use", true, false, 5, 3, 4},
      {"off with auto and 2 in use", true, false, 5, 2, 2},
      {"on with auto and 2 in use", false, true, 5, 2, 2},
      {"off with 0 set", true, false, 0, 3, 3},
  };
  lbandLinks.getCpuNum = [] { return g_cpus; };
  lbandLinks.setCpuNum = [](int n) { g_cpus = n; };
  for (const CpuRow& r : rows) {
    RcvSet.cpuNum = 0;  // the mode taken without touching the count
    EXPECT_EQ(lbandSetMode(r.before), 0);
    RcvSet.cpuNum = static_cast<std::uint8_t>(r.setting);
    g_cpus = r.cpus;
    EXPECT_EQ(lbandSetMode(r.on), 0) << r.name;
    EXPECT_EQ(g_cpus, r.after) << r.name;
  }
}

// The first call of the process: in a process of its own.
TEST(LbandParams, FirstCallTakesTheStoredMode) {
  testproc::inOwnProcess([] {
    lbandLinks.getCpuNum = [] { return g_cpus; };
    lbandLinks.setCpuNum = [](int n) { g_cpus = n; };
    RcvSet.lbandMode = 1;
    RcvSet.cpuNum = 5;
    g_cpus = 4;
    lbandSetMode(true);  // the stored mode is on already: nothing to move
    EXPECT_EQ(g_cpus, 4);
  });
}

TEST(LbandParams, RandomRecordsKeepWithinTheTable) {
  std::mt19937 rng(84);
  for (int osc = 0; osc < 2; ++osc) {
    fresh(osc == 1);
    for (int n = 0; n < 3000; ++n) {
      TSBoardState st{};
      for (int i = 0; i < TSBoardState::kSlots; ++i) {
        st.beam[i].frequency = static_cast<std::int32_t>(rng());
        st.beam[i].rate = static_cast<std::int32_t>(rng() % 3 == 0 ? rng() : rng() % 5000);
        st.beam[i].enabled = static_cast<std::uint8_t>(rng() & 1);
        st.order[i] = static_cast<std::uint8_t>(rng() % 24);
        st.elevation[i] = static_cast<float>(static_cast<int>(rng() % 200) - 100);
      }
      st.orderCount = static_cast<int>(rng() % 40) - 4;
      st.usedBeam = static_cast<int>(rng() % 40) - 8;
      st.decoderChannel = static_cast<int>(rng() % 12) - 4;
      TSDecoder.takeBoardState(st);
      if (rng() & 1) TSDecoder.setBeamScanningMode(rng() & 1);
      strOmniCfg.decoderChannel = st.decoderChannel;
      omniStarComputeParams();
      for (int i = 0; i < 3; ++i) EXPECT_TRUE(omniStarChanEn[i] == 0 || omniStarChanEn[i] == 2);
      for (int k = 0; k < 4; ++k) EXPECT_TRUE(std::isfinite(spFrqZero[kChan + k]));
    }
  }
}

}  // namespace
