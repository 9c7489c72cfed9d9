// The engine setups and RTCM station records in their settings-image blocks: factory defaults on
// an empty image, repair of a damaged block, survival across a restart through the image file.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "platform/file_nvm.h"
#include "platform/nv_block.h"
#include "platform/ram_nvm.h"
#include "positioning/data_servers/pvt_data.h"
#include "unit/platform/temp_run_dir.h"

namespace {

PVTDataType& D = PVTDataInstance;
constexpr int kBlocks = 10;

const NvBlock& block(int i) {
  switch (i) {
    case 0: return D.satProcessorSetup.nvBlock();
    case 1: return D.corrProcessorSetup.nvBlock();
    case 2: return D.lmsEngineSetup.nvBlock();
    case 3: return D.kfkEngineSetup.nvBlock();
    case 4: return D.kfkSteadyPartSetup.nvBlock();
    default: return D.rtcmStationData[i - 5].nvBlock();
  }
}

// A value the block holds at a byte offset, read as the given type.
template <class T>
T at(int b, unsigned off) {
  T v{};
  EXPECT_TRUE(block(b).read(&v, sizeof v, off)) << "block " << b << " offset " << off;
  return v;
}

class EngineSetups : public TempRunDir {
 protected:
  void SetUp() override {
    TempRunDir::SetUp();
    startUp(false);
  }
  // What the start-up does with the image: load the file, lay out the blocks, restore.
  static void startUp(bool fileSaved = true) {
    NvBlock::resetLayout();
    RamNvm::blank();
    ASSERT_EQ(FileNvmLoad(), fileSaved);
    D.allocate_NvRamData();
    D.restore_NvRamData();
  }
  // Every record made to differ from its defaults by one byte (a station by its id).
  static void changeAll(std::uint8_t mark) {
    auto change = [&](auto& server) {
      auto* r = server.GetPointer();
      r->aBytes[sizeof r->aBytes - 1] = mark;
      server.Put(r);
    };
    change(D.satProcessorSetup), change(D.corrProcessorSetup), change(D.lmsEngineSetup);
    change(D.kfkEngineSetup), change(D.kfkSteadyPartSetup);
    for (int s = 0; s < 5; ++s) {
      RTCMData::StationDataType st{};
      st.uStationId = static_cast<std::uint16_t>(mark + s);
      D.rtcmStationData[s].Put(&st);
    }
  }
  // Whether block b holds the change of changeAll (else its defaults).
  static bool changed(int b, std::uint8_t mark) {
    if (b >= 5) return at<std::uint16_t>(b, 0) == mark + b - 5;
    return at<std::uint8_t>(b, block(b).size() - 1) == mark;
  }
};

// Defaults from the tables of the setup records (and the published ellipsoids of the datums).
struct Expect {
  int block;
  unsigned off;
  char type;  // b u8, h i16, H u16, I u32, f f32, d f64
  double value;
};
const Expect kDefaults[] = {
    {0, 8, 'f', 5.0},           {0, 108, 'f', 30.0},        {0, 112, 'I', 39},
    {0, 116, 'h', 6},           {0, 120, 'I', 0x3F},        {0, 128, 'I', 0x1D},
    {0, 144, 'I', 0x10},        {0, 151, 'b', 1},           {0, 159, 'b', 255},
    {0, 184, 'b', 4},           {0, 196, 'I', 0},           {0, 200, 'I', 0x3FFFFFFF},
    {0, 236, 'I', 0x7FFFFFFF},  {0, 248, 'I', 32767},       {0, 373, 'b', 5},
    {0, 382, 'b', 255},         {0, 2346, 'b', 0},          {0, 2349, 'b', 1},
    {0, 2372, 'I', 6},          {0, 2392, 'I', 1},          {0, 2412, 'h', 30},
    {0, 2440, 'f', 10.0},       {0, 2552, 'I', 0x3FFF},     {0, 2576, 'f', 0.05},
    {0, 2592, 'I', 1},
    // datum blocks: WGS 84 (a, b) for GPS, PZ-90 (a, 1/f) for GLONASS
    {0, 384 + 8, 'd', 6378137.0},  {0, 384 + 104, 'd', 6356752.314245},
    {0, 664 + 8, 'd', 6378136.0},  {0, 664 + 16, 'd', 298.257839303},
    {1, 24, 'I', 65535},        {1, 32, 'I', 268435455},    {1, 56, 'I', 0xFFFFFFFF},
    {1, 96, 'H', 1200},         {1, 120, 'I', 0x20202020},  {1, 160, 'f', 1.4901161e-08},
    {1, 184, 'f', -196608.0},   {1, 192, 'b', 255},         {1, 252, 'f', 63.7},
    {1, 292, 'f', 102.0},       {1, 320, 'd', 1010.0},      {1, 328, 'd', 293.15},
    {1, 336, 'd', 11.694678421549668},                      {1, 368, 'I', 6},
    {2, 2, 'b', 1},             {2, 137, 'b', 127},         {2, 160, 'H', 3},
    {2, 172, 'f', 555.6},       {2, 200, 'f', 1.5},         {2, 224, 'd', -6378136.3},
    {2, 240, 'I', 10000},       {3, 4, 'I', 1},             {3, 137, 'b', 127},
    {3, 148, 'I', 2},           {3, 152, 'b', 2},           {4, 0, 'I', 2},
    {4, 4, 'f', 0.0001},        {4, 4 + 24 * 3 + 8, 'f', 5.0},
    {4, 4 + 24 * 7 + 8, 'f', 10.0},  {4, 4 + 24 * 8 + 20, 'f', 20.0},
    {4, 228, 'f', 45.0},        {4, 240, 'b', 3},           {5, 0, 'H', 65535},
    {9, 0, 'H', 65535},         {9, 2, 'I', 0},
};

double read(const Expect& e) {
  switch (e.type) {
    case 'b': return at<std::uint8_t>(e.block, e.off);
    case 'h': return at<std::int16_t>(e.block, e.off);
    case 'H': return at<std::uint16_t>(e.block, e.off);
    case 'I': return at<std::uint32_t>(e.block, e.off);
    case 'f': return at<float>(e.block, e.off);
    default: return at<double>(e.block, e.off);
  }
}

TEST_F(EngineSetups, EmptyImageGetsTheDefaultsInAllTenBlocks) {
  for (int b = 0; b < kBlocks; ++b) {
    EXPECT_TRUE(block(b).isValid()) << b;
    EXPECT_EQ(block(b).id(), 2191 + b);
  }
  for (const Expect& e : kDefaults) {
    const double tol = e.type == 'f' ? 1e-6 * (1.0 + std::abs(e.value)) : 1e-6;
    EXPECT_NEAR(read(e), e.value, tol) << "block " << e.block << " offset " << e.off;
  }
  EXPECT_NE(D.satProcessorSetup.GetPointer(), nullptr);
}

TEST_F(EngineSetups, DamagedBlockAloneGoesBackToItsDefaults) {
  for (int bad = 0; bad < kBlocks; ++bad) {
    SCOPED_TRACE(bad);
    changeAll(0x40 + bad);
    ASSERT_TRUE(FileNvmSave(0, true));
    {
      RamNvmLock lock;
      RamNvm::image()[block(bad).imageOffset() + NvBlock::kHeaderSize + 3] ^= 0x5A;
    }
    ASSERT_TRUE(FileNvmSave(0, true));
    startUp();
    for (int b = 0; b < kBlocks; ++b) EXPECT_EQ(changed(b, 0x40 + bad), b != bad) << b;
    EXPECT_TRUE(block(bad).isValid());
    if (bad == 1) {
      EXPECT_DOUBLE_EQ(at<double>(1, 320), 1010.0);
    }
  }
}

TEST_F(EngineSetups, SetupsSurviveARestartAndTheResetRestoresTheDefaults) {
  changeAll(0x99);
  ASSERT_TRUE(FileNvmSave(0, true));
  ASSERT_TRUE(exists(".gnss.nvm"));
  startUp();
  for (int b = 0; b < kBlocks; ++b) EXPECT_TRUE(changed(b, 0x99)) << b;
  EXPECT_EQ(D.satProcessorSetup.GetPointer()->aBytes[2599], 0x99);

  D.init_SetupData();
  ASSERT_TRUE(FileNvmSave(0, true));
  startUp();
  for (int b = 0; b < kBlocks; ++b) EXPECT_FALSE(changed(b, 0x99)) << b;
  for (const Expect& e : kDefaults) EXPECT_NEAR(read(e), e.value, 1e-4) << e.block << " " << e.off;
}

TEST(Meteo, ConvertsToTheStoredTripleAndBack) {
  struct Case {
    double t, h, p, storedT, vapour;  // vapour < 0: only the round trip is checked
  } const kCases[] = {
      {20.0, 50.0, 1010.0, 293.15, 11.694678421549668},
      {0.0, 100.0, 1013.25, 273.15, 6.11},  // the Magnus formula's saturation value at 0 C
      {-30.0, 80.0, 850.0, 243.15, -1},
      {45.0, 5.0, 1050.0, 318.15, -1},
  };
  for (const Case& c : kCases) {
    PosSetup::MeteoDataType m{};
    PosSetup::convertMeteo(c.t, c.h, c.p, m);
    EXPECT_DOUBLE_EQ(m.pressure, c.p);
    EXPECT_DOUBLE_EQ(m.temperature, c.storedT);
    if (c.vapour >= 0) {
      EXPECT_NEAR(m.vapour, c.vapour, 1e-12);
    }
    double t = 0, h = 0, p = 0;
    PosSetup::convertMeteo(m, t, h, p);
    EXPECT_NEAR(t, c.t, 1e-9);
    EXPECT_NEAR(h, c.h, 1e-9);
    EXPECT_DOUBLE_EQ(p, c.p);
  }
}

}  // namespace
