// Dual-frequency ionospheric delay and TEC of the channel data against the first-order
// ionosphere physics stated in chan_data_synth.h.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "positioning/chan_data.h"
#include "positioning/placeholders.h"
#include "unit/positioning/chan_data_synth.h"

namespace {

using synth::kL1;
using synth::kTecu;

// The correction processor's ionosphere record of the test: a model that knows the delay only
// roughly, and the obliquity factor of the satellite's elevation.
float g_obliquity[kCdatChannels];
float g_modelCorr[kCdatChannels];
bool fakeIonoRecord(const SvIdType& sv, float& corr, float& obliquity) {
  corr = g_modelCorr[sv.sat];
  obliquity = g_obliquity[sv.sat];
  return true;
}
int calibOff() { return 0; }

class ChanIono : public ::testing::Test {
 protected:
  void SetUp() override {
    chanDataLinks.ionoRecord = fakeIonoRecord;
    chanDataLinks.tecCalibEnabled = calibOff;
  }
};

TEST_F(ChanIono, DelayAndTecOfSyntheticSatellites) {
  // Eight satellites with vertical TEC from 3 to 90 TECU under obliquity factors 1.0 to 2.8;
  // code noise 5 cm, carrier noise 1 mm, 600 epochs with smoothing limits of 600. Slots 1 and
  // 3-5 are not tracked, which must not disturb the ionosphere estimate.
  ChanData::xMaxSmCnt = 600;
  ChanData::xTecMaxSmCnt = 600;
  const double vtec[] = {3.0, 10.0, 20.0, 35.0, 50.0, 65.0, 80.0, 90.0};
  const float F[] = {1.0f, 1.2f, 1.5f, 1.8f, 2.0f, 2.3f, 2.6f, 2.8f};
  std::vector<synth::Sat> sats(8);
  for (int i = 0; i < 8; ++i) {
    sats[i].ch = i;
    sats[i].slantTec = vtec[i] * F[i] * kTecu;
    sats[i].rangeRate = -700.0 + 190.0 * i;
    sats[i].range0 = 20.2e6 + 0.5e6 * i;
    sats[i].rng.seed(77 + i);
    sats[i].map();
    g_obliquity[i] = F[i];
    g_modelCorr[i] = static_cast<float>(-1.3 * sats[i].delay1());
  }
  const int N = 600;
  for (int e = 0; e < N; ++e) {
    for (auto& s : sats) {
      s.epoch(e);
      Cdat[s.ch].evaluateTEC(s.sv(), 50.0, e * 1000LL);
    }
  }
  for (int i = 0; i < 8; ++i) {
    SCOPED_TRACE(vtec[i]);
    const ChanData& c = Cdat[i];
    ASSERT_TRUE(c.delayValid());
    ASSERT_EQ(c.ifSmCount(), N);
    EXPECT_NEAR(c.delay(), sats[i].delay1(), 0.05);
    EXPECT_NEAR(c.tec(), vtec[i], 0.1);
    EXPECT_TRUE(c.delayRateValid());
    EXPECT_NEAR(c.delayRate(), 0.0, 0.002);
    // The smoothed ionosphere-free code is the geometric range.
    EXPECT_NEAR(c.ifSmCode() * synth::kC, sats[i].range(N - 1), 0.05);
  }
}

TEST_F(ChanIono, DelayRateFollowsAChangingIonosphere) {
  // The slant TEC grows by 0.01 TECU/s: the L1 delay by 40.3e14 / f1^2 m/s, about 1.6 mm/s.
  synth::Sat s;
  s.map();
  const double rate = 0.01 * kTecu;
  for (int e = 0; e < 400; ++e) {
    s.slantTec = 15.0 * kTecu + rate * e;
    s.epoch(e);
  }
  const double wantRate = synth::delayOf(rate, kL1);
  ASSERT_TRUE(Cdat[0].delayRateValid());
  EXPECT_NEAR(Cdat[0].delayRate(), wantRate, 0.3 * wantRate);
}

TEST_F(ChanIono, TecIsNanWithoutItsInputs) {
  const struct { const char* what; bool dual, record; std::uint8_t sys; } cases[] = {
      {"single frequency", false, true, kSysGps},
      {"no ionosphere record", true, false, kSysGps},
      {"satellite without a system", true, true, kSvUnknown},
  };
  int ch = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    synth::Sat s;
    s.ch = ch++;
    s.dual = c.dual;
    s.map();
    g_obliquity[s.ch] = 1.0f;
    chanDataLinks.ionoRecord = c.record ? fakeIonoRecord : placeholder::satCorrIonoRecord;
    SvIdType sv = s.sv();
    sv.sys = c.sys;
    for (int e = 0; e < 20; ++e) {
      s.epoch(e);
      Cdat[s.ch].evaluateTEC(sv, 60.0, e * 1000LL);
    }
    EXPECT_TRUE(std::isnan(Cdat[s.ch].tec()));
  }
}

TEST_F(ChanIono, InvalidationKeepsTheDelayForItsHoldTimeUnlessFull) {
  for (bool full : {false, true}) {
    SCOPED_TRACE(full);
    ChanData& c = Cdat[synth::Sat::tracked(full ? 1 : 0, 20).ch];
    ASSERT_TRUE(c.delayValid());
    const double d = c.delay();
    c.invalidateIon(full);
    EXPECT_EQ(c.ifSmCount(), 0);
    // The hold time is seconds; a test runs far inside it.
    EXPECT_EQ(c.delayValid(), !full);
    EXPECT_EQ(c.delay(), full ? 0.0 : d);
  }
}

}  // namespace
