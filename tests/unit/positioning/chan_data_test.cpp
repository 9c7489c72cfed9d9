#include "positioning/chan_data.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "platform/file_nvm.h"
#include "platform/nv_block.h"
#include "platform/ram_nvm.h"
#include "unit/platform/image_block.h"
#include "unit/platform/temp_run_dir.h"
#include "fixtures/fresh_channels.h"

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

// Every channel and signal record as built: no smoothing or ionosphere a test before left.
struct ChanSmoothing : ::testing::Test {
  void SetUp() override { postest::freshChannels(); }
};

double smError(const Sat& s, int e) { return Cdat[s.ch].sig(0)->smCode * kC - (s.range(e) + s.delay1()); }

// Code noise 1 m falls to sigma / sqrt(n) (the mean of n code-minus-carrier samples); 91 channels give the RMS to 7 %.
TEST_F(ChanSmoothing, NoiseFallsWithTheSquareRootOfTheCount) {
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

TEST_F(ChanSmoothing, RestartRules) {
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

// The correction processor's ionosphere record: a rough model of the delay and the obliquity factor.
float g_obliquity[kCdatChannels], g_modelCorr[kCdatChannels];
int g_calib = 0;
bool fakeIonoRecord(const SvIdType& sv, float& corr, float& obliquity) {
  return corr = g_modelCorr[sv.sat], obliquity = g_obliquity[sv.sat], true;
}

// The calibration as its settings block (8334) holds it, where a restart reads it; and the writes
// of the settings image (only the calibration writes in these tests).
TecCalibBlock storedCalib() {
  TecCalibBlock b{};
  EXPECT_TRUE(imagetest::readImageBlock(8334, &b, sizeof b));
  return b;
}
std::uint32_t imageWrites() { return RamNvm::changes(); }

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
  // The fakes read tables indexed by this test's channels: a test after it must not reach them.
  void TearDown() override {
    chanDataLinks.ionoRecord = nullptr;
    chanDataLinks.tecCalibEnabled = nullptr;
    TempRunDir::TearDown();
  }
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
  for (bool full : {false, true}) {
    const double d = Cdat[full].delay();
    Cdat[full].invalidateIon(full);
    EXPECT_TRUE(Cdat[full].ifSmCount() == 0 && Cdat[full].delayValid() == !full) << full;
    EXPECT_EQ(Cdat[full].delay(), full ? 0.0 : d);
  }
}

// The delay rate is the change since the delay it is compared with over the time between them:
// after a gap of g epochs (shorter than the 5 s the delay is held) the first rate is the slope,
// not g + 2 times it. Filters of length 1 pass each epoch's exact delay through.
TEST(ChanIonoRate, FirstRateAfterAGapIsTheSlopeOverTheElapsedTime) {
  postest::freshChannels();  // no slot mapping or signal of a test before
  const std::uint16_t keep[2] = {ChanData::xMaxSmCnt, ChanData::xTecMaxSmCnt};
  ChanData::xMaxSmCnt = ChanData::xTecMaxSmCnt = 1;
  const double tecPerSec = 0.05 * kTecu;  // 0.0081 m/s of L1 delay
  const double slope = delayOf(tecPerSec, kL1);
  const struct { int gap; } rows[] = {{0}, {1}, {2}, {3}};
  for (const auto& r : rows) {
    SCOPED_TRACE(r.gap);
    Sat s;
    s.ch = 40 + r.gap, s.codeSigma = s.phaseSigma = 0.0;
    s.map();
    Cdat[s.ch].invalidateIon(true);
    Cdat[s.ch].setSmoothLength(0, 1), Cdat[s.ch].setSmoothLength(1, 1);
    int e = 0;
    auto at = [&](int k) { s.slantTec = 15.0 * kTecu + tecPerSec * k; s.epoch(k); };
    for (; e < 10; ++e) at(e);
    ASSERT_TRUE(Cdat[s.ch].delayRateValid());
    EXPECT_NEAR(Cdat[s.ch].delayRate(), slope, 1e-6) << "before the gap";
    for (int k = 0; k < r.gap; ++k, ++e) {
      Cdat[s.ch].initSlots();  // nothing tracked
      Cdat[s.ch].processAfter();
    }
    ASSERT_EQ(Cdat[s.ch].delayValid(), true) << "held through the gap";
    at(e++);  // the signals return: the ionosphere-free code starts again, no estimate
    at(e++);
    EXPECT_NEAR(Cdat[s.ch].delay(), s.delay1(), 1e-6);
    EXPECT_NEAR(Cdat[s.ch].delayRate(), slope, 1e-6) << "first rate after the gap";
    Cdat[s.ch].setSmoothLength(0, 60), Cdat[s.ch].setSmoothLength(1, 60);
  }
  ChanData::xMaxSmCnt = keep[0], ChanData::xTecMaxSmCnt = keep[1];
}

// The file holds 32-bit seconds, 4 spare bytes, seven means, seven deviations; a flipped bit clears the block.
TEST_F(TecCalib, SurvivesARestartInItsLaidOutBlockAndACorruptBlockIsCleared) {
  for (int i = 0; i < 100; ++i) {
    ChanData::updateTecCalibData(kSysGps, 1000 * i, 1.25 + 0.01 * (i % 5));
    ChanData::updateTecCalibData(kSysQzss, 1000 * i, -0.75);
  }
  ChanData::processTecCalibData(100000);
  const TecCalibBlock before = storedCalib();
  ASSERT_TRUE(std::fabs(before.mean[kSysGps] - 1.27) < 1e-12 && before.dev[kSysGps] > 0.0);
  restart();
  const TecCalibBlock after = storedCalib();
  EXPECT_EQ(std::memcmp(&after, &before, sizeof before), 0);
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
  EXPECT_EQ(storedCalib().mean[kSysGps], 0.0);
}

}  // namespace

// Two-pass mean and deviation; constants whose sum(x^2)/n - mean^2 rounds below zero give a deviation of 0.
TEST_F(TecCalib, MeansAndDeviationsPerSystem) {
  std::mt19937 rng(4711);
  std::normal_distribution<double> n(0.0, 1.0);
  const struct { int sys, count; double bias, sigma; } sets[] = {
      {kSysGps, 500, 2.35, 0.12}, {kSysGlonass, 200, -1.10, 0.30}, {kSysBeidou, 50, 0.40, 0.05}};
  std::vector<double> x[SYS_NUM];
  for (const auto& s : sets)
    for (int i = 0; i < s.count; ++i) {
      x[s.sys].push_back(s.bias + s.sigma * n(rng));
      ChanData::updateTecCalibData(s.sys, 3600000 + i * 1000, x[s.sys].back());
    }
  ChanData::updateTecCalibData(7, 3600000, 5.0), ChanData::updateTecCalibData(-1, 3600000, 5.0);  // ignored
  ChanData::processTecCalibData(3600000 + 499500);
  EXPECT_EQ(storedCalib().seconds, 499);
  for (int sys = 0; sys < SYS_NUM; ++sys) {
    double mean = 0.0, var = 0.0;
    for (double v : x[sys]) mean += v / x[sys].size();
    for (double v : x[sys]) var += (v - mean) * (v - mean) / x[sys].size();
    EXPECT_NEAR(storedCalib().mean[sys], mean, 1e-12) << sys;
    EXPECT_NEAR(storedCalib().dev[sys], std::sqrt(var), 1e-9) << sys;
  }
  int found = 0;
  std::int64_t t = 0;
  for (int i = 1; i < 2000 && found < 3; ++i) {
    const double v = 0.1 + 0.0137 * i;
    double s = 0.0, s2 = 0.0;
    for (int k = 0; k < 50; ++k) s += v, s2 += v * v;
    if (s2 / 50 - (s / 50) * (s / 50) >= 0.0) continue;
    ++found, ChanData::clearTecCalibData();
    for (int k = 0; k < 50; ++k) ChanData::updateTecCalibData(kSysGalileo, t += 1000, v);
    ChanData::processTecCalibData(t);
    EXPECT_EQ(storedCalib().dev[kSysGalileo], 0.0) << v;
    EXPECT_NEAR(storedCalib().mean[kSysGalileo], v, 1e-12) << v;
  }
  EXPECT_GT(found, 0);
}

// 4.0 +- 0.1 alternating: the mean stands still and nothing is written; at 5.0 the block follows, at most every
// 10 s, and a change held back goes out when its 10 s are over.
TEST_F(TecCalib, TheBlockIsWrittenOnlyOnRealChangesAndAtMostEveryTenSeconds) {
  const std::uint32_t writes0 = imageWrites();
  std::uint32_t changesAt300 = 0, writesAt300 = 0, lastWrites = writes0, writesAfterMove = 0;
  std::int64_t lastWriteAt = -1;
  for (int s = 0; s < 700; ++s) {
    const std::int64_t t = 1000LL * s;
    ChanData::updateTecCalibData(kSysGps, t, s < 600 ? 4.0 + (s % 2 ? -0.1 : 0.1) : 5.0);
    ChanData::processTecCalibData(t);
    if (imageWrites() != lastWrites) {
      EXPECT_TRUE(lastWriteAt < 0 || t - lastWriteAt >= kNvmSavePeriodMs) << t;
      lastWriteAt = t, lastWrites = imageWrites(), writesAfterMove += s >= 600;
    }
    if (s == 300) changesAt300 = RamNvm::changes(), writesAt300 = imageWrites();
    EXPECT_TRUE(s != 599 || (RamNvm::changes() == changesAt300 && imageWrites() == writesAt300));
  }
  EXPECT_TRUE(writesAt300 - writes0 >= 2u && writesAt300 - writes0 <= 31u) << writesAt300 - writes0;
  EXPECT_TRUE(writesAfterMove >= 5u && writesAfterMove <= 10u) << writesAfterMove;
  ChanData::processTecCalibData(lastWriteAt + kNvmSavePeriodMs - 1);
  EXPECT_EQ(imageWrites(), lastWrites);
  ChanData::processTecCalibData(lastWriteAt + kNvmSavePeriodMs);
  EXPECT_EQ(imageWrites(), lastWrites + 1);
  const TecCalibBlock now = storedCalib();
  restart();  // what was written matches what is computed, to the write step
  EXPECT_NEAR(storedCalib().mean[kSysGps], now.mean[kSysGps], 0.001);
  EXPECT_NEAR(storedCalib().dev[kSysGps], now.dev[kSysGps], 0.001);
}

TEST_F(ChanSmoothing, AJumpLimitOfZeroRestartsNothing) {
  ChanData::fSmCorrLimit = 0.0;
  EXPECT_GT(Cdat[Sat::tracked(0, 30, false).ch].sig(0)->smCnt, 1);
}
