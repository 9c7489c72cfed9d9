// The two-frequency carrier the measurement processor gives the channel smoothing, checked
// against synthetic measurements built from the first-order ionosphere (40.3 TEC / f^2, code
// delayed, carrier advanced), the setup switches it hands the channel data, and the channel
// reset that keeps a previous satellite's ionosphere out of the new one's TEC.
#include <gtest/gtest.h>

#include <cmath>

#include "positioning/chan_data.h"
#include "positioning/engine/sat_meas_processor.h"
#include "unit/own_process.h"
#include "fixtures/fresh_channels.h"

namespace {

SatelliteMeasurementProcessor& P = SatelliteMeasurementProcessorInstance;
constexpr double kC = 299792458.0;

void setup(std::uint8_t combMode, std::uint8_t tecCalib = 0, std::uint32_t smoothWait = 0) {
  PosSetup::SatProcessorSetupType s;
  PosSetup::setDefaults(s);
  s.aBytes[PosSetup::kSatCombModeOffset] = combMode;
  s.aBytes[PosSetup::kSatTecCalibOffset] = tecCalib;
  std::memcpy(s.aBytes + PosSetup::kSatSmoothWaitOffset, &smoothWait, sizeof smoothWait);
  PVTDataInstance.satProcessorSetup.Put(&s);
  P.update_SetupData();
}

// One signal of channel `ch` in `slot`: range rho (m), ionospheric term I (m Hz^2).
void signal(int ch, int slot, double f, double rho, double I, std::uint16_t flags = ChanSigData::kValid | ChanSigData::kPhase) {
  ChanData::mapSlot(ch, slot, ch * kCdatSlots + slot);
  ChanSigData* s = Cdat[ch].sig(slot);
  s->freq = f;
  s->code = (rho + I / (f * f)) / kC;
  s->phase = (rho - I / (f * f)) * f / kC;
  s->flags = flags;
}

constexpr double kL1 = 1575.42e6, kL2 = 1227.60e6, kL5 = 1176.45e6, kE5b = 1207.14e6;
constexpr double kB1 = 1561.098e6, kB3 = 1268.52e6, kG1 = 1602e6 - 3 * 0.5625e6, kG2 = 1246e6 - 3 * 0.4375e6;

// Channels as built, and every channel of the processor without a satellite.
struct SatMeasFixture : ::testing::Test {
  void SetUp() override {
    postest::freshChannels();
    for (int ch = 0; ch < SatelliteMeasurementProcessor::kChannels; ++ch) P.reset_ChannelData(ch);
  }
};
using IonoFreePhase = SatMeasFixture;
using SatMeasReset = SatMeasFixture;
using SatMeasSetup = SatMeasFixture;

// Both branches of the combination give range + I / f1^2 (f1: the asked signal's frequency):
// the code of that signal, so code minus carrier does not move with the ionosphere.
TEST_F(IonoFreePhase, GivesRangePlusTheSignalsOwnCodeDelay) {
  setup(1);
  const double rho = 2.2e7, I = 40.3 * 60e16;  // 60 TECU slant
  const struct { const char* what; int slot; double f; int other; double g; } rows[] = {
      {"GPS L1 with L2 (f1 > f2)", 0, kL1, 2, kL2}, {"GPS L2 with L1 (f1 < f2)", 2, kL2, 0, kL1},
      {"GPS L5 with L1", 4, kL5, 0, kL1},          {"Galileo E1 with E5b", 0, kL1, 3, kE5b},
      {"BeiDou B3 with B1", 2, kB3, 0, kB1},       {"GLONASS L1 with L2, k = -3", 0, kG1, 1, kG2},
  };
  int ch = 10;
  for (const auto& r : rows) {
    SCOPED_TRACE(r.what);
    signal(ch, r.slot, r.f, rho, I);
    signal(ch, r.other, r.g, rho, I);
    double ph = 0;
    bool slip = false;
    ASSERT_TRUE(P.compute_IonoFreePhase(Cdat[ch], r.slot, ph, slip));
    EXPECT_NEAR(ph * kC, rho + I / (r.f * r.f), 1e-4);
    EXPECT_NEAR(ph, Cdat[ch].sig(r.slot)->code, 1e-12);  // the code of the same signal
    ++ch;
  }
}

// Which partner is taken, and when there is none.
TEST_F(IonoFreePhase, PartnerRules) {
  const double rho = 2.0e7, I = 40.3 * 30e16;
  const std::uint16_t ok = ChanSigData::kValid | ChanSigData::kPhase;
  const struct {
    const char* what;
    std::uint8_t mode;
    double f1, f2, f3;            // slots 0, 1, 2; 0: slot not mapped
    std::uint16_t flags1, flags2; // of slots 1 and 2
    double partnerF;              // 0: false expected
  } rows[] = {
      {"combination off", 0, kL1, kL2, 0, ok, ok, 0},
      {"combination mode 2", 2, kL1, kL2, 0, ok, ok, 0},
      {"single frequency", 1, kL1, 0, 0, ok, ok, 0},
      {"same frequency only", 1, kL1, kL1, 0, ok, ok, 0},
      {"same frequency skipped for the next", 1, kL1, kL1, kL2, ok, ok, kL2},
      {"first other frequency wins", 1, kL1, kL5, kL2, ok, ok, kL5},
      {"partner not valid this epoch", 1, kL1, kL5, kL2, ChanSigData::kValidA | ChanSigData::kPhase, ok, kL2},
      {"partner without carrier", 1, kL1, kL5, kL2, ChanSigData::kValid, ok, kL2},
      {"partner with unknown frequency", 1, kL1, 1.0, kL2, ok, ok, kL2},
  };
  int ch = 20;
  for (const auto& r : rows) {
    SCOPED_TRACE(r.what);
    setup(r.mode);
    signal(ch, 0, r.f1, rho, I);
    if (r.f2 != 0) signal(ch, 1, r.f2, rho, I, r.flags1);
    if (r.f3 != 0) signal(ch, 2, r.f3, rho, I, r.flags2);
    double ph = -1;
    bool slip = false;
    const bool got = P.compute_IonoFreePhase(Cdat[ch], 0, ph, slip);
    EXPECT_EQ(got, r.partnerF != 0);
    if (got) {
      // range + I/f1^2 whoever the partner: tell the partner by the combination of the raw phases
      const double p1 = Cdat[ch].sig(0)->phase / r.f1;
      const double p2 = (rho - I / (r.partnerF * r.partnerF)) / kC;
      const double r2 = (r.partnerF / r.f1) * (r.partnerF / r.f1);
      EXPECT_NEAR(ph, ((1 + r2) * p1 - 2 * r2 * p2) / (1 - r2), 1e-12);
    } else {
      EXPECT_EQ(ph, -1);
    }
    ++ch;
  }
}

// Before the first setup of the process: in a process of its own.
TEST_F(IonoFreePhase, NothingBeforeTheFirstSetupNorForASignalNotTracked) {
  testproc::inOwnProcess([] {
    signal(30, 0, kL1, 2e7, 0);
    signal(30, 2, kL2, 2e7, 0);
    double ph = 0;
    bool slip = false;
    EXPECT_FALSE(P.compute_IonoFreePhase(Cdat[30], 0, ph, slip));
    setup(1);
    EXPECT_TRUE(P.compute_IonoFreePhase(Cdat[30], 0, ph, slip));
    Cdat[30].sig(0)->flags = ChanSigData::kValid;  // no carrier on the asked signal
    EXPECT_FALSE(P.compute_IonoFreePhase(Cdat[30], 0, ph, slip));
    EXPECT_FALSE(P.compute_IonoFreePhase(Cdat[30], 6, ph, slip));
    EXPECT_FALSE(P.compute_IonoFreePhase(Cdat[30], -1, ph, slip));
    ChanData outside;
    EXPECT_FALSE(P.compute_IonoFreePhase(outside, 0, ph, slip));
  });
}

// The slip flag: a new partner, or the partner's carrier restarted.
TEST_F(IonoFreePhase, SlipWhenThePartnerChangesOrRestarts) {
  setup(1);
  const std::uint16_t ok = ChanSigData::kValid | ChanSigData::kPhase;
  const struct { const char* what; std::uint16_t l2, l5; bool slip; } steps[] = {
      {"first partner", ok, 0, true},
      {"same partner", ok, 0, false},
      {"same partner again", ok, ok, false},
      {"partner's carrier restarted", ok | ChanSigData::kPhaseReset, ok, true},
      {"steady", ok, ok, false},
      {"partner lost, the next one takes over", 0, ok, true},
      {"the next one stays", 0, ok, false},
      {"the first one back", ok, ok, true},
  };
  const int ch = 40;
  signal(ch, 0, kL1, 2e7, 0);
  for (const auto& s : steps) {
    SCOPED_TRACE(s.what);
    signal(ch, 2, kL2, 2e7, 0, s.l2);
    signal(ch, 4, kL5, 2e7, 0, s.l5);
    double ph;
    bool slip = !s.slip;
    ASSERT_TRUE(P.compute_IonoFreePhase(Cdat[ch], 0, ph, slip));
    EXPECT_EQ(slip, s.slip);
  }
}

// Through the channel data: with the ionosphere growing 0.05 m/s the single-frequency smoothed
// code lags behind the code (carrier divergence); on the combination it follows it.
TEST_F(IonoFreePhase, SmoothingOnTheCombinationDoesNotDiverge) {
  chanDataLinks.computeIonoFreePhase = [](const ChanData& ch, int slot, double& ph, bool& slip) {
    return P.compute_IonoFreePhase(ch, slot, ph, slip);
  };
  for (std::uint8_t mode : {0, 1}) {
    setup(mode);
    const int ch = 50 + mode;
    double err = 0;
    for (int e = 0; e < 100; ++e) {
      const double rho = 2.1e7 - 300.0 * e, I = (5.0 + 0.05 * e) * kL1 * kL1;  // delay on L1: 5 m + 0.05 m/s
      Cdat[ch].initSlots();
      signal(ch, 0, kL1, rho, I);
      signal(ch, 2, kL2, rho, I);
      Cdat[ch].processAfter();
      err = (Cdat[ch].sig(0)->smCode - Cdat[ch].sig(0)->codeRaw) * kC;
    }
    if (mode == 1) {
      EXPECT_NEAR(err, 0.0, 1e-3);
    } else {
      EXPECT_LT(err, -4.0);  // about 2 x 0.05 m/s x 50 s behind
    }
  }
  chanDataLinks.computeIonoFreePhase = nullptr;
}

// ---- setup switches for the channel data ----------------------------------------------------------

// From before the first setup of the process: in a process of its own.
TEST_F(SatMeasSetup, SwitchesOfTheChannelData) {
  testproc::inOwnProcess([] {
    EXPECT_EQ(P.tecCalibEnabled(), -1);
    EXPECT_EQ(P.smoothWaitFull(), -1);
    const struct { std::uint8_t calib; std::uint32_t wait; int calibOut, waitOut; } rows[] = {
        {0, 0, 0, 0}, {1, 0, 1, 0}, {0, 1, 0, 1}, {2, 2, 0, 0}, {1, 1, 1, 1}, {255, 0x101, 0, 0}};
    for (const auto& r : rows) {
      setup(0, r.calib, r.wait);
      EXPECT_EQ(P.tecCalibEnabled(), r.calibOut) << int(r.calib);
      EXPECT_EQ(P.smoothWaitFull(), r.waitOut) << r.wait;
    }
    // The factory setup keeps all three off.
    PosSetup::SatProcessorSetupType s;
    PosSetup::setDefaults(s);
    EXPECT_EQ(s.aBytes[PosSetup::kSatCombModeOffset], 0);
    EXPECT_EQ(s.aBytes[PosSetup::kSatTecCalibOffset], 0);
    EXPECT_EQ(s.aBytes[PosSetup::kSatSmoothWaitOffset], 0);
  });
}

// ---- a satellite change resets the channel before its TEC ----------------------------------------

bool fakeIono(const SvIdType&, float& corr, float& obliquity) {
  corr = 0.0f, obliquity = 1.0f;
  return true;
}

void epochOf(int ch, int code, int prn, int e, double tecu) {
  Cdat[ch].bDataPresent = 1;
  Cdat[ch].sysCode = static_cast<std::uint8_t>(code);
  Cdat[ch].svNum = static_cast<std::int16_t>(prn);
  Cdat[ch].initSlots();
  const double I = 40.3 * tecu * 1e16;
  signal(ch, 0, kL1, 2.1e7 + 100.0 * e, I);
  signal(ch, 2, kL2, 2.1e7 + 100.0 * e, I);
  Cdat[ch].processAfter();
  PVTEngineEpochDataType* rec = PVTDataInstance.epochData.GetPointer();
  rec->pChanData = Cdat;
  rec->rcvTime.ulTimeTag = rec->rcvTime.gps.ulMs = rec->rcvTime.gal.ulMs = 1000u * e;
  P.update_ChanNavData();
}

TEST_F(SatMeasReset, ASatelliteChangeResetsTheChannelBeforeItsTec) {
  chanDataLinks.ionoRecord = fakeIono;
  setup(0);
  const struct { const char* what; int code, prn; bool reset; } rows[] = {
      {"same satellite", kChanGps, 5, false},
      {"another PRN", kChanGps, 6, true},
      {"same number, another system", kChanGalileo, 5, true},
      {"channel empty for an epoch, same satellite after", -1, 5, true},
  };
  int ch = 60;
  for (const auto& r : rows) {
    SCOPED_TRACE(r.what);
    for (int e = 0; e < 5; ++e) epochOf(ch, kChanGps, 5, e, 25.0);
    ASSERT_NEAR(Cdat[ch].tec(), 25.0, 1e-6);
    EXPECT_EQ(P.epochSatData().chan[ch].uState, 0);
    int e = 5;
    if (r.code < 0) {
      Cdat[ch].bDataPresent = 0;
      P.update_ChanNavData();
      EXPECT_EQ(P.epochSatData().chan[ch].uSatState, ChanSatDataType::kNoSatellite);
      epochOf(ch, kChanGps, r.prn, e++, 25.0);
    } else {
      epochOf(ch, r.code, r.prn, e++, 25.0);
    }
    const ChanSatDataType& rec = P.epochSatData().chan[ch];
    EXPECT_EQ(rec.uState, r.reset ? ChanSatDataType::kStateReset : 0);
    EXPECT_EQ(std::isnan(Cdat[ch].tec()), r.reset);
    // The next epoch starts the carrier smoothing and the ionosphere afresh.
    epochOf(ch, r.code < 0 ? kChanGps : r.code, r.prn, e++, 25.0);
    EXPECT_EQ(Cdat[ch].sig(0)->smCnt == 1, r.reset);
    EXPECT_EQ(P.epochSatData().chan[ch].uState, 0);
    epochOf(ch, r.code < 0 ? kChanGps : r.code, r.prn, e++, 25.0);
    EXPECT_NEAR(Cdat[ch].tec(), 25.0, 1e-6);
    ++ch;
  }
  chanDataLinks.ionoRecord = nullptr;
}

}  // namespace
