// Channel data: carrier smoothing, ionospheric delay and TEC against first-order physics, TEC calibration.
#include "positioning/chan_data.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "platform/file_nvm.h"
#include "platform/nv_block.h"
#include "platform/ram_nvm.h"
#include "unit/platform/temp_run_dir.h"

namespace {

// First-order ionosphere (Klobuchar; Misra & Enge): code delayed, phase advanced by 40.3 TEC / f^2 m (TEC in el/m^2).
constexpr double kC = 299792458.0, kL1 = 1575.42e6, kL2 = 1227.60e6, kTecu = 1e16;
double delayOf(double tec, double f) { return 40.3 * tec / (f * f); }

// One GPS satellite on channel `ch`, L1 in slot 0 and L2 in slot 2, epochs 1 s apart.
struct Sat {
  int ch = 0;
  double range0 = 21.0e6, rangeRate = -350.0, slantTec = 20.0 * kTecu, codeSigma = 0.05, phaseSigma = 0.001;
  bool dual = true;
  std::mt19937 rng{12345};

  double range(int e) const { return range0 + rangeRate * e; }
  double delay1() const { return delayOf(slantTec, kL1); }
  SvIdType sv() const { return SvIdType{std::uint8_t(ch), kSysGps, 0, std::uint8_t(ch)}; }
  void map() const { ChanData::mapSlot(ch, 0, ch * kCdatSlots), ChanData::mapSlot(ch, 2, ch * kCdatSlots + 2); }
  void fill(int e, double jump1 = 0.0, double jump2 = 0.0, std::uint16_t extraFlags = 0) {
    std::normal_distribution<double> n(0.0, 1.0);
    for (int slot = 0; slot <= (dual ? 2 : 0); slot += 2) {
      const double f = slot ? kL2 : kL1, I = delayOf(slantTec, f);
      ChanSigData* s = Cdat[ch].sig(slot);
      s->code = (range(e) + I + codeSigma * n(rng) + (slot ? jump2 : jump1)) / kC;
      s->phase = (range(e) - I + phaseSigma * n(rng)) * f / kC + (slot ? -98765.0 : 123456.0);
      s->freq = f, s->cn0 = slot ? 40.0f : 45.0f, s->flags = ChanSigData::kValid | ChanSigData::kPhase | extraFlags;
    }
  }
  void epoch(int e, double jump1 = 0.0, double jump2 = 0.0, std::uint16_t extraFlags = 0) {
    Cdat[ch].initSlots();
    fill(e, jump1, jump2, extraFlags);
    Cdat[ch].processAfter();
  }
  static Sat tracked(int channel, int epochs, bool dual = true, double sigma = 0.05) {
    Sat s;
    s.ch = channel, s.dual = dual, s.codeSigma = sigma;
    s.map();
    for (int e = 0; e < epochs; ++e) s.epoch(e);
    return s;
  }
};

double smError(const Sat& s, int e) { return Cdat[s.ch].sig(0)->smCode * kC - (s.range(e) + s.delay1()); }

// Code noise 1 m falls to sigma / sqrt(n) (the mean of n code-minus-carrier samples); 91 channels give the RMS to 7 %.
TEST(ChanSmoothing, NoiseFallsWithTheSquareRootOfTheCount) {
  std::vector<Sat> sats(kCdatPerInput);
  for (int i = 0; i < kCdatPerInput; ++i) {
    sats[i].ch = i, sats[i].dual = false, sats[i].codeSigma = 1.0, sats[i].phaseSigma = 0.002;
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
    EXPECT_NEAR(std::sqrt(sum2 / sats.size()) * std::sqrt(n), 1.0, 0.25) << "after " << n << " epochs";
  }
}

TEST(ChanSmoothing, RestartRules) {
  enum Event { None, Drop, PhaseReset, CodeJump50m, CodeJump5m, OtherPhaseSource, NoCarrier };
  const struct { const char* what; Event ev; int count; } cases[] = {  // count at the event (after a drop)
      {"steady", None, 31}, {"one-epoch drop", Drop, 1}, {"phase reset", PhaseReset, 1},
      {"code jump of 50 m", CodeJump50m, 1}, {"code jump of 5 m stays within the limit", CodeJump5m, 31},
      {"the phase comes from another source", OtherPhaseSource, 1}, {"no carrier: the code stands", NoCarrier, 1}};
  int ch = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Sat s = Sat::tracked(ch++, 30, false);
    const ChanSigData* sig = Cdat[s.ch].sig(0);
    ASSERT_EQ(sig->smCnt, 30);
    if (c.ev == Drop) {
      Cdat[s.ch].initSlots();  // nothing tracked this epoch
      Cdat[s.ch].processAfter();
      EXPECT_EQ(sig->flags, 0);
      s.epoch(31);
    } else if (c.ev == OtherPhaseSource) {
      chanDataLinks.computeIonoFreePhase = [](const ChanData& cd, int slot, double& ph, bool& slip) {
        ph = cd.sig(slot)->phase / cd.sig(slot)->freq, slip = false;
        return true;
      };
      s.epoch(30);
      chanDataLinks.computeIonoFreePhase = nullptr;
    } else if (c.ev == NoCarrier) {
      Cdat[s.ch].initSlots();
      s.fill(30);
      Cdat[s.ch].sig(0)->flags = ChanSigData::kValid;
      Cdat[s.ch].processAfter();
    } else {
      s.epoch(30, c.ev == CodeJump50m ? 50.0 : c.ev == CodeJump5m ? 5.0 : 0.0, 0.0,
              c.ev == PhaseReset ? ChanSigData::kPhaseReset : 0);
      EXPECT_TRUE(c.ev != PhaseReset || sig->accPhaseTime == 0);
    }
    EXPECT_EQ(sig->smCnt, c.count);
    EXPECT_TRUE(c.count != 1 || (sig->smCode == sig->codeRaw && (c.ev == NoCarrier || sig->accuracy == 50.0f)));
  }
}

// An L2 code jump x moves the ionosphere-free code by 1.55 x: 5 m restarts it (7.7 m > 7 m), 4 m does not.
TEST(ChanSmoothing, IonosphereFreeJumpOverSevenMetresOrALostFrequencyRestartsItsSmoothing) {
  const struct { double l2Jump; bool l2Lost; int ifCount; } cases[] = {
      {5.0, false, 1}, {-5.0, false, 1}, {4.0, false, 31}, {0.0, false, 31}, {0, true, 0}};
  int ch = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.l2Jump << (c.l2Lost ? " L2 lost" : ""));
    Sat s = Sat::tracked(ch++, 30);
    ASSERT_EQ(Cdat[s.ch].ifSmCount(), 30);
    const std::uint16_t inval = Cdat[s.ch].ionInvalidations();
    s.dual = !c.l2Lost;
    s.epoch(30, 0.0, c.l2Jump);
    EXPECT_TRUE(Cdat[s.ch].ifSmCount() == c.ifCount && Cdat[s.ch].sig(2)->smCnt == (c.l2Lost ? 1 : 31));
    EXPECT_TRUE(c.ifCount != 1 || Cdat[s.ch].ifAccuracy() == 7.0f);
    const int added = Cdat[s.ch].ionInvalidations() - inval;
    EXPECT_TRUE(c.ifCount == 1 ? added == 1 : c.ifCount == 0 ? added > 0 : added == 0) << added;
    EXPECT_EQ(Cdat[s.ch].ionChanged(), c.ifCount <= 1);
  }
}

// The correction processor's ionosphere record: a rough model of the delay and the obliquity factor.
float g_obliquity[kCdatChannels], g_modelCorr[kCdatChannels];
int g_calib = 0;
bool fakeIonoRecord(const SvIdType& sv, float& corr, float& obliquity) {
  return corr = g_modelCorr[sv.sat], obliquity = g_obliquity[sv.sat], true;
}

class ChanIono : public TempRunDir {
 protected:
  void SetUp() override {
    TempRunDir::SetUp();
    chanDataLinks.ionoRecord = fakeIonoRecord;
    chanDataLinks.tecCalibEnabled = [] { return g_calib; };
    FileNvmLoad();
    ASSERT_TRUE(ChanData::allocate_NvRamTecCalibData());
    ChanData::restore_NvRamTecCalibData();
  }
  // The image file is saved, memory forgets, the file is read back.
  static void restart(bool save = true) {
    ASSERT_TRUE(!save || FileNvmSave(0, true));
    ChanData::clearTecCalibData();
    NvBlock::resetLayout();
    RamNvm::blank();
    ASSERT_TRUE(FileNvmLoad() && ChanData::allocate_NvRamTecCalibData());
    ChanData::restore_NvRamTecCalibData();
  }
};
using TecCalib = ChanIono;

// Vertical TEC 3 to 90 TECU under obliquity 1.0 to 2.8; untracked slots 1 and 3-5 must not disturb the estimate.
TEST_F(ChanIono, DelayAndTecOfSyntheticSatellites) {
  ChanData::xMaxSmCnt = ChanData::xTecMaxSmCnt = 600;
  const double vtec[] = {3.0, 10.0, 20.0, 35.0, 50.0, 65.0, 80.0, 90.0};
  const float F[] = {1.0f, 1.2f, 1.5f, 1.8f, 2.0f, 2.3f, 2.6f, 2.8f};
  std::vector<Sat> sats(8);
  for (int i = 0; i < 8; ++i) {
    sats[i].ch = i, sats[i].slantTec = vtec[i] * F[i] * kTecu;
    sats[i].rangeRate = -700.0 + 190.0 * i, sats[i].range0 = 20.2e6 + 0.5e6 * i;
    sats[i].rng.seed(77 + i);
    sats[i].map();
    g_obliquity[i] = F[i], g_modelCorr[i] = static_cast<float>(-1.3 * sats[i].delay1());
  }
  const int N = 600;
  for (int e = 0; e < N; ++e)
    for (auto& s : sats) s.epoch(e), Cdat[s.ch].evaluateTEC(s.sv(), 50.0, e * 1000LL);
  for (int i = 0; i < 8; ++i) {
    SCOPED_TRACE(vtec[i]);
    const ChanData& c = Cdat[i];
    ASSERT_TRUE(c.delayValid() && c.delayRateValid() && c.ifSmCount() == N);
    EXPECT_NEAR(c.delay(), sats[i].delay1(), 0.05);
    EXPECT_NEAR(c.tec(), vtec[i], 0.1);
    EXPECT_NEAR(c.delayRate(), 0.0, 0.002);
    EXPECT_NEAR(c.ifSmCode() * kC, sats[i].range(N - 1), 0.05);  // the ionosphere-free code is the range
  }
  // Full invalidation drops the delay at once, otherwise it is kept for its hold time (seconds).
  for (bool full : {false, true}) {
    const double d = Cdat[full].delay();
    Cdat[full].invalidateIon(full);
    EXPECT_TRUE(Cdat[full].ifSmCount() == 0 && Cdat[full].delayValid() == !full) << full;
    EXPECT_EQ(Cdat[full].delay(), full ? 0.0 : d);
  }
}

// Samples above 45 degrees are measured minus modelled delay (25 of 30 TECU); off and on again starts over.
TEST_F(TecCalib, EvaluateTecCalibratesAboveFortyFiveDegreesAndRemovesTheBias) {
  g_calib = 1;
  Sat s;
  s.slantTec = 30.0 * kTecu;
  s.map();
  g_modelCorr[0] = static_cast<float>(-delayOf(25.0 * kTecu, kL1)), g_obliquity[0] = 1.0f;
  for (int e = 0; e < 300; ++e) {
    s.epoch(e);
    Cdat[0].evaluateTEC(s.sv(), e < 100 ? 30.0 : 60.0, 1000LL * e);
    ChanData::processTecCalibData(1000LL * e);
  }
  EXPECT_NEAR(ChanData::tecCalib().mean[kSysGps], delayOf(5.0 * kTecu, kL1), 0.05);
  EXPECT_EQ(ChanData::tecCalib().seconds, 199);  // from the first sample at 100 s
  EXPECT_NEAR(Cdat[0].tec(), 25.0, 0.5);
  for (int e = 300; e < 302; ++e) g_calib = e - 300, s.epoch(e), Cdat[0].evaluateTEC(s.sv(), 60.0, 1000LL * e);
  ChanData::processTecCalibData(305000);
  EXPECT_EQ(ChanData::tecCalib().seconds, 4);
}

// The file holds 32-bit seconds, 4 spare bytes, seven means, seven deviations; a flipped bit clears the block.
TEST_F(TecCalib, SurvivesARestartInItsLaidOutBlockAndACorruptBlockIsCleared) {
  for (int i = 0; i < 100; ++i) {
    ChanData::updateTecCalibData(kSysGps, 1000 * i, 1.25 + 0.01 * (i % 5));
    ChanData::updateTecCalibData(kSysQzss, 1000 * i, -0.75);
  }
  ChanData::processTecCalibData(100000);
  const TecCalibBlock before = ChanData::tecCalib();
  ASSERT_TRUE(std::fabs(before.mean[kSysGps] - 1.27) < 1e-12 && before.dev[kSysGps] > 0.0);
  restart();
  EXPECT_EQ(std::memcmp(&ChanData::tecCalib(), &before, sizeof before), 0);
  std::string img = readFile(".gnss.nvm");
  NvBlock::resetLayout();
  NvBlock find;
  ASSERT_TRUE(find.allocate(sizeof(TecCalibBlock), 8334, true));
  const std::uint32_t off = find.imageOffset() + NvBlock::kHeaderSize;
  ASSERT_GE(img.size(), off + sizeof(TecCalibBlock));
  std::int32_t seconds;
  double v[3];
  std::memcpy(&seconds, img.data() + off, 4);
  for (int k = 0; k < 3; ++k)  // GPS mean, QZSS mean, GPS deviation
    std::memcpy(&v[k], img.data() + off + (k == 2 ? 64 : 8) + 8 * (k == 1 ? kSysQzss : kSysGps), 8);
  EXPECT_TRUE(seconds == 100 && v[0] == before.mean[kSysGps] && v[1] == -0.75 && v[2] == before.dev[kSysGps]);
  img[off + 8] ^= 0x40;  // a bit of the GPS mean
  writeFile(".gnss.nvm", img);
  restart(false);
  EXPECT_EQ(ChanData::tecCalib().mean[kSysGps], 0.0);
}

}  // namespace
