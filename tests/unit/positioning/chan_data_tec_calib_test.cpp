// TEC calibration: its statistics, its block in the settings image, and when the block is
// written.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "platform/file_nvm.h"
#include "platform/nv_block.h"
#include "platform/ram_nvm.h"
#include "positioning/chan_data.h"
#include "unit/platform/temp_run_dir.h"
#include "unit/positioning/chan_data_synth.h"

namespace {

class TecCalib : public TempRunDir {
 protected:
  void SetUp() override {
    TempRunDir::SetUp();
    FileNvmLoad();
    ASSERT_TRUE(ChanData::allocate_NvRamTecCalibData());
    ChanData::restore_NvRamTecCalibData();
  }
  static void reload() {
    NvBlock::resetLayout();
    ASSERT_TRUE(FileNvmLoad());
    ASSERT_TRUE(ChanData::allocate_NvRamTecCalibData());
    ChanData::restore_NvRamTecCalibData();
  }
  // A restart: the image file is saved, memory forgets, the file is read back.
  static void restart() {
    ASSERT_TRUE(FileNvmSave(0, true));
    NvBlock::resetLayout();
    RamNvm::blank();
    ASSERT_TRUE(ChanData::allocate_NvRamTecCalibData());
    ChanData::restore_NvRamTecCalibData();
    for (double m : ChanData::tecCalib().mean) ASSERT_EQ(m, 0.0);  // nothing valid when blank
    reload();
  }
  // Where the block's contents lie in the image file.
  static std::uint32_t blockOffset() {
    NvBlock::resetLayout();
    NvBlock find;
    EXPECT_TRUE(find.allocate(sizeof(TecCalibBlock), 8334, true));
    return find.imageOffset() + NvBlock::kHeaderSize;
  }
};

TEST_F(TecCalib, MeansAndDeviationsPerSystem) {
  std::mt19937 rng(4711);
  std::normal_distribution<double> n(0.0, 1.0);
  const struct { int sys, count; double bias, sigma; } sets[] = {
      {kSysGps, 500, 2.35, 0.12}, {kSysGlonass, 200, -1.10, 0.30}, {kSysBeidou, 50, 0.40, 0.05}};
  std::vector<double> x[SYS_NUM];
  const std::int64_t t0 = 3600000;
  for (const auto& s : sets) {
    for (int i = 0; i < s.count; ++i) {
      x[s.sys].push_back(s.bias + s.sigma * n(rng));
      ChanData::updateTecCalibData(s.sys, t0 + i * 1000, x[s.sys].back());
    }
  }
  ChanData::updateTecCalibData(7, t0, 5.0);  // no such system: ignored
  ChanData::updateTecCalibData(-1, t0, 5.0);
  ChanData::processTecCalibData(t0 + 499500);
  const TecCalibBlock& b = ChanData::tecCalib();
  EXPECT_EQ(b.seconds, 499);
  for (int sys = 0; sys < SYS_NUM; ++sys) {
    SCOPED_TRACE(sys);
    // Mean and standard deviation by the two-pass formula.
    double mean = 0.0, var = 0.0;
    for (double v : x[sys]) mean += v / x[sys].size();
    for (double v : x[sys]) var += (v - mean) * (v - mean) / x[sys].size();
    EXPECT_NEAR(b.mean[sys], mean, 1e-12);
    EXPECT_NEAR(b.dev[sys], std::sqrt(var), 1e-9);
  }
}

TEST_F(TecCalib, ConstantSamplesGiveZeroDeviationNotNan) {
  // Constants for which sum(x^2)/n - mean^2, summed as the calibration sums, rounds below zero:
  // there the plain formula takes the square root of a negative number.
  const int n = 50;
  std::vector<double> negatives;
  for (int i = 1; i < 2000 && negatives.size() < 3; ++i) {
    const double v = 0.1 + 0.0137 * i;
    double s = 0.0, s2 = 0.0;
    for (int k = 0; k < n; ++k) {
      s += v;
      s2 += v * v;
    }
    if (s2 / n - (s / n) * (s / n) < 0.0) negatives.push_back(v);
  }
  ASSERT_FALSE(negatives.empty());
  std::int64_t t = 0;
  for (double v : negatives) {
    SCOPED_TRACE(v);
    ChanData::clearTecCalibData();
    for (int k = 0; k < n; ++k) ChanData::updateTecCalibData(kSysGalileo, t += 1000, v);
    ChanData::processTecCalibData(t);
    EXPECT_EQ(ChanData::tecCalib().dev[kSysGalileo], 0.0);
    EXPECT_NEAR(ChanData::tecCalib().mean[kSysGalileo], v, 1e-12);
  }
}

TEST_F(TecCalib, SurvivesARestartInItsLaidOutBlockAndACorruptBlockIsCleared) {
  for (int i = 0; i < 100; ++i) {
    ChanData::updateTecCalibData(kSysGps, 1000 * i, 1.25 + 0.01 * (i % 5));
    ChanData::updateTecCalibData(kSysQzss, 1000 * i, -0.75);
  }
  ChanData::processTecCalibData(100000);
  const TecCalibBlock before = ChanData::tecCalib();
  ASSERT_NEAR(before.mean[kSysGps], 1.27, 1e-12);
  ASSERT_GT(before.dev[kSysGps], 0.0);
  restart();
  EXPECT_EQ(std::memcmp(&ChanData::tecCalib(), &before, sizeof before), 0);

  // The file holds the block as laid out: seconds, 4 spare bytes, seven means, seven deviations.
  std::string img = readFile(".gnss.nvm");
  const std::uint32_t off = blockOffset();
  ASSERT_GE(img.size(), off + sizeof(TecCalibBlock));
  std::int32_t seconds;
  double gpsMean, qzssMean, gpsDev;
  std::memcpy(&seconds, img.data() + off, 4);
  std::memcpy(&gpsMean, img.data() + off + 8 + 8 * kSysGps, 8);
  std::memcpy(&qzssMean, img.data() + off + 8 + 8 * kSysQzss, 8);
  std::memcpy(&gpsDev, img.data() + off + 64 + 8 * kSysGps, 8);
  EXPECT_EQ(seconds, 100);
  EXPECT_DOUBLE_EQ(gpsMean, before.mean[kSysGps]);
  EXPECT_DOUBLE_EQ(qzssMean, -0.75);
  EXPECT_DOUBLE_EQ(gpsDev, before.dev[kSysGps]);

  img[off + 8] ^= 0x40;  // a bit of the GPS mean
  writeFile(".gnss.nvm", img);
  reload();
  EXPECT_EQ(ChanData::tecCalib().mean[kSysGps], 0.0);
}

TEST_F(TecCalib, TheBlockIsWrittenOnlyOnRealChangesAndAtMostEveryTenSeconds) {
  // One sample a second, alternating 4.0 +- 0.1: the mean soon stands still at 4.0 (and the
  // deviation at 0.1); then nothing is written and the image stays unchanged. Then the samples
  // move to 5.0: the block follows again, never twice within ten seconds.
  const std::uint32_t writes0 = ChanData::tecCalibWrites();
  std::uint32_t changesAt300 = 0, writesAt300 = 0, lastWrites = writes0, writesAfterMove = 0;
  std::int64_t lastWriteAt = -1;
  for (int s = 0; s < 700; ++s) {
    const std::int64_t t = 1000LL * s;
    ChanData::updateTecCalibData(kSysGps, t, s < 600 ? 4.0 + (s % 2 ? -0.1 : 0.1) : 5.0);
    ChanData::processTecCalibData(t);
    if (ChanData::tecCalibWrites() != lastWrites) {
      EXPECT_TRUE(lastWriteAt < 0 || t - lastWriteAt >= kNvmSavePeriodMs) << t;
      lastWriteAt = t;
      lastWrites = ChanData::tecCalibWrites();
      writesAfterMove += s >= 600;
    }
    if (s == 300) {
      changesAt300 = RamNvm::changes();
      writesAt300 = ChanData::tecCalibWrites();
    }
    if (s == 599) {
      EXPECT_EQ(RamNvm::changes(), changesAt300);
      EXPECT_EQ(ChanData::tecCalibWrites(), writesAt300);
    }
  }
  EXPECT_GE(writesAt300 - writes0, 2u);
  EXPECT_LE(writesAt300 - writes0, 31u);
  EXPECT_GE(writesAfterMove, 5u);
  EXPECT_LE(writesAfterMove, 10u);
  // A change held back goes out once its ten seconds are over, even without a new sample; then
  // what was written matches what is computed, to the write step.
  ChanData::processTecCalibData(lastWriteAt + kNvmSavePeriodMs - 1);
  EXPECT_EQ(ChanData::tecCalibWrites(), lastWrites);
  ChanData::processTecCalibData(lastWriteAt + kNvmSavePeriodMs);
  EXPECT_EQ(ChanData::tecCalibWrites(), lastWrites + 1);
  const TecCalibBlock now = ChanData::tecCalib();
  restart();
  EXPECT_NEAR(ChanData::tecCalib().mean[kSysGps], now.mean[kSysGps], 0.001);
  EXPECT_NEAR(ChanData::tecCalib().dev[kSysGps], now.dev[kSysGps], 0.001);
}

// The whole road: dual-frequency channels, the ionosphere record and the calibration switch.
float g_corr = 0.0f;
int g_enabled = 1;
bool fakeRecord(const SvIdType&, float& corr, float& obliquity) {
  corr = g_corr;
  obliquity = 1.0f;
  return true;
}
int fakeEnabled() { return g_enabled; }

TEST_F(TecCalib, EvaluateTecCalibratesAboveFortyFiveDegreesAndRemovesTheBias) {
  chanDataLinks.ionoRecord = fakeRecord;
  chanDataLinks.tecCalibEnabled = fakeEnabled;
  synth::Sat s;
  s.slantTec = 30.0 * synth::kTecu;
  s.map();
  // The model sees 25 TECU: the samples are measured minus modelled delay (5 TECU on L1).
  g_corr = static_cast<float>(-synth::delayOf(25.0 * synth::kTecu, synth::kL1));
  for (int e = 0; e < 300; ++e) {
    s.epoch(e);
    // Below 45 degrees nothing is sampled.
    Cdat[0].evaluateTEC(s.sv(), e < 100 ? 30.0 : 60.0, 1000LL * e);
    ChanData::processTecCalibData(1000LL * e);
  }
  const TecCalibBlock& b = ChanData::tecCalib();
  EXPECT_NEAR(b.mean[kSysGps], synth::delayOf(5.0 * synth::kTecu, synth::kL1), 0.05);
  EXPECT_EQ(b.seconds, 199);  // calibration began with the first sample at 100 s
  EXPECT_NEAR(Cdat[0].tec(), 25.0, 0.5);

  // Switched off: the running calibration ends; switched on again it starts over.
  g_enabled = 0;
  s.epoch(300);
  Cdat[0].evaluateTEC(s.sv(), 60.0, 300000);
  g_enabled = 1;
  s.epoch(301);
  Cdat[0].evaluateTEC(s.sv(), 60.0, 301000);
  ChanData::processTecCalibData(305000);
  EXPECT_EQ(ChanData::tecCalib().seconds, 4);
}

}  // namespace
