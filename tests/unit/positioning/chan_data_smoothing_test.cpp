// Carrier smoothing of the channel data: noise reduction, restart rules, limits, slot mapping.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "positioning/chan_data.h"
#include "positioning/placeholders.h"
#include "unit/positioning/chan_data_synth.h"

namespace {

using synth::kC;
using synth::kL1;

// Error of the smoothed L1 code against the true range plus the L1 delay, m.
double smError(const synth::Sat& s, int e) {
  return Cdat[s.ch].sig(0)->smCode * kC - (s.range(e) + s.delay1());
}

TEST(ChanSmoothing, NoiseFallsWithTheSquareRootOfTheCount) {
  // 91 independent channels, code noise 1 m, carrier noise 2 mm: after n epochs the smoothed
  // code is the mean of n code-minus-carrier samples plus the carrier, so its noise is
  // sigma / sqrt(n) (the carrier noise is negligible).
  const double sigma = 1.0;
  std::vector<synth::Sat> sats(kCdatPerInput);
  for (int i = 0; i < kCdatPerInput; ++i) {
    sats[i].ch = i;
    sats[i].dual = false;
    sats[i].codeSigma = sigma;
    sats[i].phaseSigma = 0.002;
    sats[i].rng.seed(1000 + i);
    sats[i].rangeRate = -800.0 + 17.0 * i;
    sats[i].map();
  }
  int e = 0;
  for (int n : {1, 4, 16, 64, 100}) {
    for (; e < n; ++e)
      for (auto& s : sats) s.epoch(e);
    double sum2 = 0.0;
    for (auto& s : sats) {
      ASSERT_EQ(Cdat[s.ch].sig(0)->smCnt, n);
      sum2 += smError(s, e - 1) * smError(s, e - 1);
    }
    const double rms = std::sqrt(sum2 / sats.size());
    // 91 samples estimate an RMS to about 7 %; allow 25 %.
    EXPECT_NEAR(rms / (sigma / std::sqrt(n)), 1.0, 0.25) << "after " << n << " epochs: rms " << rms;
  }
}

bool otherIonoFreePhase(const ChanData& ch, int slot, double& ph, bool& slip) {
  ph = ch.sig(slot)->phase / ch.sig(slot)->freq;
  slip = false;
  return true;
}

TEST(ChanSmoothing, RestartRules) {
  enum Event { None, Drop, PhaseReset, CodeJump50m, CodeJump5m, OtherPhaseSource, NoCarrier };
  const struct {
    const char* what;
    Event ev;
    int count;  // at the epoch of the event, or the one after a drop
  } cases[] = {
      {"steady", None, 31},
      {"one-epoch drop", Drop, 1},
      {"phase reset", PhaseReset, 1},
      {"code jump of 50 m after 30 epochs", CodeJump50m, 1},
      {"code jump of 5 m stays within the limit", CodeJump5m, 31},
      {"the phase comes from another source", OtherPhaseSource, 1},
      {"no carrier: the code stands unsmoothed", NoCarrier, 1},
  };
  int ch = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    synth::Sat s = synth::Sat::tracked(ch++, 30, false);
    ASSERT_EQ(Cdat[s.ch].sig(0)->smCnt, 30);
    const ChanSigData* sig = Cdat[s.ch].sig(0);
    switch (c.ev) {
      case Drop:
        Cdat[s.ch].initSlots();  // nothing tracked this epoch
        Cdat[s.ch].processAfter();
        EXPECT_EQ(sig->flags, 0);
        s.epoch(31);
        break;
      case PhaseReset:
        s.epoch(30, 0, 0, ChanSigData::kPhaseReset);
        EXPECT_EQ(sig->accPhaseTime, 0);
        break;
      case OtherPhaseSource:
        chanDataLinks.computeIonoFreePhase = otherIonoFreePhase;
        s.epoch(30);
        chanDataLinks.computeIonoFreePhase = placeholder::compute_IonoFreePhase;
        break;
      case NoCarrier:
        Cdat[s.ch].initSlots();
        s.fill(30);
        Cdat[s.ch].sig(0)->flags = ChanSigData::kValid;
        Cdat[s.ch].processAfter();
        break;
      default:
        s.epoch(30, c.ev == CodeJump50m ? 50.0 : c.ev == CodeJump5m ? 5.0 : 0.0);
        break;
    }
    EXPECT_EQ(sig->smCnt, c.count);
    if (c.count == 1) {
      // Restarted from the code as measured.
      EXPECT_DOUBLE_EQ(sig->smCode, sig->codeRaw);
      EXPECT_TRUE(c.ev == NoCarrier || sig->accuracy == 50.0f) << sig->accuracy;
    }
  }
}

TEST(ChanSmoothing, IonosphereFreeJumpOverSevenMetresOrALostFrequencyRestartsItsSmoothing) {
  // A jump of the L2 code by x moves the ionosphere-free code by x * f2^2/(f2^2 - f1^2), about
  // 1.55 x: 5 m on L2 is 7.7 m, 4 m is 6.2 m. Neither restarts the L2 code smoothing (10 m).
  const struct { double l2Jump; bool l2Lost; int ifCount; } cases[] = {
      {5.0, false, 1}, {-5.0, false, 1}, {4.0, false, 31}, {0.0, false, 31}, {0, true, 0}};
  int ch = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.l2Jump << (c.l2Lost ? " L2 lost" : ""));
    synth::Sat s = synth::Sat::tracked(ch++, 30);
    ASSERT_EQ(Cdat[s.ch].ifSmCount(), 30);
    const std::uint16_t inval = Cdat[s.ch].ionInvalidations();
    s.dual = !c.l2Lost;
    s.epoch(30, 0.0, c.l2Jump);
    EXPECT_EQ(Cdat[s.ch].ifSmCount(), c.ifCount);
    EXPECT_EQ(Cdat[s.ch].sig(2)->smCnt, c.l2Lost ? 1 : 31);
    if (c.ifCount == 1) {
      EXPECT_FLOAT_EQ(Cdat[s.ch].ifAccuracy(), 7.0f);
      EXPECT_EQ(Cdat[s.ch].ionInvalidations(), inval + 1);
    }
    EXPECT_EQ(Cdat[s.ch].ionInvalidations() > inval, c.ifCount <= 1);
    EXPECT_EQ(Cdat[s.ch].ionChanged(), c.ifCount <= 1);
  }
}

TEST(ChanSmoothing, RaisingALimitClearsTheSumsLoweringKeepsThem) {
  const struct {
    bool tec;  // the ionosphere-free limit, else the code limit
    std::uint16_t newLimit;
    int count;
  } cases[] = {{false, 200, 1}, {false, 20, 20}, {false, 100, 31}, {true, 600, 1}, {true, 10, 10}};
  int ch = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << (c.tec ? "TEC " : "code ") << c.newLimit);
    ChanData::xMaxSmCnt = 100;
    ChanData::xTecMaxSmCnt = 300;
    synth::Sat s = synth::Sat::tracked(ch++, 30, c.tec, c.tec ? 0.05 : 1.0);
    (c.tec ? ChanData::xTecMaxSmCnt : ChanData::xMaxSmCnt) = c.newLimit;
    s.epoch(30);
    const ChanSigData* sig = Cdat[s.ch].sig(0);
    if (c.tec) {
      EXPECT_EQ(Cdat[s.ch].ifSmCount(), c.count);
      EXPECT_EQ(Cdat[s.ch].tecMaxSmCnt(), c.newLimit);
      continue;
    }
    EXPECT_EQ(sig->smCnt, c.count);
    EXPECT_EQ(sig->smMax, c.newLimit);
    EXPECT_EQ(Cdat[s.ch].maxSmCnt(), c.newLimit);
    if (c.count == 1) {
      EXPECT_DOUBLE_EQ(sig->smCode, sig->codeRaw);
    } else {
      EXPECT_NE(sig->smCode, sig->codeRaw);
      EXPECT_NEAR(smError(s, 30), 0.0, 0.6);
    }
  }
  // A jump limit of 0 must not turn every difference into a restart.
  ChanData::fSmCorrLimit = 0.0;
  EXPECT_GT(Cdat[synth::Sat::tracked(ch, 30, false).ch].sig(0)->smCnt, 1);
}

TEST(ChanSmoothing, PutSmoothedChoosesTheOutputCode) {
  for (bool put : {false, true}) {
    SCOPED_TRACE(put);
    ChanData::bPutSmoothed = put;
    const ChanSigData* sig = Cdat[synth::Sat::tracked(put ? 1 : 0, 20, false, 1.0).ch].sig(0);
    EXPECT_EQ(sig->smCnt, 20);  // smoothing runs either way
    EXPECT_NE(sig->smCode, sig->codeRaw);
    EXPECT_DOUBLE_EQ(sig->code, put ? sig->smCode : sig->codeRaw);
  }
}

TEST(ChanSlots, UnmappedSlotsLeaveTheSharedEmptyRecordAloneAndMappingIsChecked) {
  unsigned char before[sizeof(ChanSigData)];
  std::memcpy(before, &SdatEmpty, sizeof before);
  for (int e = 0; e < 3; ++e) {
    for (ChanData& c : Cdat) {
      c.initSlots();
      c.processAfter();
    }
  }
  EXPECT_EQ(std::memcmp(&SdatEmpty, before, sizeof before), 0);
  EXPECT_EQ(Cdat[5].bestSlot(), 255);
  EXPECT_EQ(Cdat[5].inUse(), 0);
  EXPECT_EQ(Cdat[5].navStatus(), ChanData::nsNotProcessed);
  EXPECT_TRUE(std::isnan(Cdat[5].tec()));

  // Out of range: nothing is mapped. A secondary record fills only an empty slot.
  ChanData::mapSlot(-1, 0, 0);
  ChanData::mapSlot(kCdatChannels, 0, 0);
  ChanData::mapSlot(0, kCdatSlots, 0);
  ChanData::mapSlot(0, 0, kCdatRecords);
  ChanData::mapSlotD(0, 0, -1);
  EXPECT_EQ(Cdat[0].sig(0), &SdatEmpty);

  ChanData::mapSlotD(3, 1, 7);
  EXPECT_EQ(Cdat[3].sig(1), &SdatD[7]);
  ChanData::mapSlot(3, 1, 9);  // the primary takes over
  EXPECT_EQ(Cdat[3].sig(1), &Sdat[9]);
  ChanData::mapSlotD(3, 1, 8);  // the slot is mapped already: current stays
  EXPECT_EQ(Cdat[3].sig(1), &Sdat[9]);
  EXPECT_EQ(Cdat[3].sigSecondary(1), &SdatD[8]);
  ChanData::mapSlotP1(4, 5);
  EXPECT_EQ(Cdat[4].sig(5), &SdatP1[4 * kCdatSlots + 5]);
}

TEST(ChanSlots, BestSlotIsTheStrongestValidSignal) {
  for (int slot = 0; slot < kCdatSlots; ++slot) ChanData::mapSlot(2, slot, 2 * kCdatSlots + slot);
  const float cn0[kCdatSlots] = {40, 0, 47, 45, 47.5f, 30};
  const bool valid[kCdatSlots] = {true, false, true, true, false, true};
  Cdat[2].initSlots();
  for (int slot = 0; slot < kCdatSlots; ++slot) {
    ChanSigData* s = Cdat[2].sig(slot);
    s->cn0 = cn0[slot];
    s->code = 0.07;
    s->freq = kL1;
    s->flags = valid[slot] ? ChanSigData::kValid : ChanSigData::kValidA;  // one bit is not enough
  }
  Cdat[2].processAfter();
  EXPECT_EQ(Cdat[2].bestSlot(), 2);
  EXPECT_EQ(Cdat[2].inUse(), 4);
  EXPECT_EQ(Cdat[2].sig(4)->bInUse, 0);
  EXPECT_EQ(Cdat[2].sig(3)->bInUse, 1);
  EXPECT_EQ(Cdat[2].sig(3)->bNew, 1);
  Cdat[2].initSlots();
  EXPECT_EQ(Cdat[2].bestSlot(), 255);
  EXPECT_EQ(Cdat[2].sig(3)->bInUse, 0);
}

TEST(ChanSettings, SetSmoothInt) {
  const struct {
    bool perChannel;
    int n, common, length;  // xMaxSmCnt and the lengths of channels 0..90 after the call
  } cases[] = {
      {false, 250, 250, 60},        {false, 0, 1, 60},        {false, 0x10000, 1, 60},
      {false, 0x12345, 0x2345, 60}, {true, 120, 0x2345, 120}, {true, 0, 0x2345, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.n);
    setSmoothInt(c.perChannel, c.n);
    EXPECT_EQ(ChanData::xMaxSmCnt, c.common);
    for (int i : {0, 45, 90}) {
      EXPECT_EQ(Cdat[i].smoothLength(0), c.length);
      EXPECT_EQ(Cdat[i].smoothLength(1), c.length);
    }
    // The second antenna input keeps its own.
    EXPECT_EQ(Cdat[91].smoothLength(0), 60);
    EXPECT_EQ(Cdat[181].smoothLength(1), 60);
  }
}

}  // namespace
