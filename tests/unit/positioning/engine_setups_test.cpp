// Engine setups and RTCM station records in the settings image: defaults, repair, restart.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <type_traits>

#include "platform/file_nvm.h"
#include "positioning/data_servers/pvt_data.h"
#include "unit/platform/temp_run_dir.h"

namespace {

PVTDataType& D = PVTDataInstance;

const NvBlock& block(int i) {
  const NvBlock* setups[] = {&D.satProcessorSetup.nvBlock(), &D.corrProcessorSetup.nvBlock(),
                             &D.lmsEngineSetup.nvBlock(), &D.kfkEngineSetup.nvBlock(),
                             &D.kfkSteadyPartSetup.nvBlock()};
  return i < 5 ? *setups[i] : D.rtcmStationData[i - 5].nvBlock();
}

template <class T>
T at(int b, unsigned off) {
  T v{};
  EXPECT_TRUE(block(b).read(&v, sizeof v, off)) << "block " << b << " offset " << off;
  return v;
}

// Defaults from the tables of the records (and the published WGS 84 and PZ-90 ellipsoids).
struct Expect {
  int block;
  unsigned off;
  char type;  // b u8, h i16, H u16, I u32, f f32, d f64
  double value;
} const kDefaults[] = {
    {0, 8, 'f', 5.0}, {0, 116, 'h', 6}, {0, 128, 'I', 0x1D}, {0, 144, 'I', 0x10}, {0, 159, 'b', 255},
    {0, 184, 'b', 4}, {0, 236, 'I', 0x7FFFFFFF}, {0, 373, 'b', 5}, {0, 2346, 'b', 0}, {0, 2412, 'h', 30},
    {0, 2552, 'I', 0x3FFF}, {0, 2576, 'f', 0.05}, {0, 384 + 104, 'd', 6356752.314245}, {0, 664 + 8, 'd', 6378136.0},
    {0, 664 + 16, 'd', 298.257839303}, {1, 32, 'I', 268435455}, {1, 120, 'I', 0x20202020},
    {1, 160, 'f', 1.4901161e-08}, {1, 192, 'b', 255}, {1, 336, 'd', 11.694678421549668}, {2, 137, 'b', 127},
    {2, 172, 'f', 555.6}, {2, 224, 'd', -6378136.3}, {3, 148, 'I', 2}, {3, 152, 'b', 2}, {4, 4, 'f', 0.0001},
    {4, 4 + 24 * 7 + 8, 'f', 10.0}, {4, 4 + 24 * 8 + 20, 'f', 20.0}, {4, 240, 'b', 3}, {9, 0, 'H', 65535},
};

void expectDefaults() {
  for (const Expect& e : kDefaults) {
    const double v = e.type == 'b'   ? at<std::uint8_t>(e.block, e.off)
                     : e.type == 'h' ? at<std::int16_t>(e.block, e.off)
                     : e.type == 'H' ? at<std::uint16_t>(e.block, e.off)
                     : e.type == 'I' ? at<std::uint32_t>(e.block, e.off)
                     : e.type == 'f' ? at<float>(e.block, e.off)
                                     : at<double>(e.block, e.off);
    EXPECT_NEAR(v, e.value, 1e-6 * (1.0 + std::abs(e.value))) << "block " << e.block << " offset " << e.off;
  }
}

class EngineSetups : public TempRunDir {
 protected:
  void SetUp() override { TempRunDir::SetUp(), startUp(false); }
  // What the start-up does with the image: load the file, lay out the blocks, restore.
  static void startUp(bool fileSaved = true) {
    NvBlock::resetLayout();
    RamNvm::blank();
    ASSERT_EQ(FileNvmLoad(), fileSaved);
    D.allocate_NvRamData();
    D.restore_NvRamData();
  }
  // Every record changed in its last byte (a station in its id) through the settings' road.
  static void changeAll(std::uint8_t mark) {
    auto change = [&](auto& server) {
      auto* r = server.GetPointer();
      r->aBytes[sizeof r->aBytes - 1] = mark, server.Put(r);
    };
    change(D.satProcessorSetup), change(D.corrProcessorSetup), change(D.lmsEngineSetup);
    change(D.kfkEngineSetup), change(D.kfkSteadyPartSetup);
    for (int s = 0; s < 5; ++s) {
      RTCMData::StationDataType st{};
      st.uStationId = static_cast<std::uint16_t>(mark + s), D.rtcmStationData[s].Put(&st);
    }
  }
  static bool changed(int b, std::uint8_t mark) {
    return b >= 5 ? at<std::uint16_t>(b, 0) == mark + b - 5 : at<std::uint8_t>(b, block(b).size() - 1) == mark;
  }
};

TEST_F(EngineSetups, EmptyImageGetsTheDefaultsInAllTenBlocks) {
  for (int b = 0; b < 10; ++b) EXPECT_TRUE(block(b).isValid() && block(b).id() == 2191 + b) << b;
  expectDefaults();
}

TEST_F(EngineSetups, DamagedBlockAloneGoesBackToItsDefaults) {
  for (int bad = 0; bad < 10; ++bad) {
    SCOPED_TRACE(bad);
    changeAll(0x40 + bad);
    RamNvm::image()[block(bad).imageOffset() + NvBlock::kHeaderSize + 3] ^= 0x5A;  // no other task runs
    ASSERT_TRUE(FileNvmSave(0, true));
    testing::internal::CaptureStderr();
    startUp();
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_NE(said.find("(block " + std::to_string(2191 + bad) + ") damaged: factory defaults restored"),
              std::string::npos) << said;
    for (int b = 0; b < 10; ++b) EXPECT_EQ(changed(b, 0x40 + bad), b != bad) << b;
  }
}

TEST_F(EngineSetups, SetupsSurviveARestartAndTheResetRestoresTheDefaults) {
  changeAll(0x99);
  ASSERT_TRUE(FileNvmSave(0, true) && exists(".gnss.nvm"));
  startUp();
  for (int b = 0; b < 10; ++b) EXPECT_TRUE(changed(b, 0x99)) << b;
  D.init_SetupData();
  ASSERT_TRUE(FileNvmSave(0, true));
  startUp();
  expectDefaults();
}

// A setup server that holds no record yet (as built, before the start-up restores it) hands out
// none in place; once it holds one, that record.
template <class Server>
void expectInPlaceOnlyOnceHeld() {
  auto server = std::make_unique<Server>();
  EXPECT_EQ(server->GetPointer(), nullptr);
  std::remove_pointer_t<decltype(server->GetPointer())> rec{};
  server->Put(&rec);
  EXPECT_NE(server->GetPointer(), nullptr);
}

TEST(EngineSetupServers, InPlaceAccessOnlyOnceARecordIsHeld) {
  expectInPlaceOnlyOnceHeld<SatProcessorSetupServerType>();
  expectInPlaceOnlyOnceHeld<CorrProcessorSetupServerType>();
  expectInPlaceOnlyOnceHeld<LMSEngineSetupServerType>();
  expectInPlaceOnlyOnceHeld<KFKEngineSetupServerType>();
  expectInPlaceOnlyOnceHeld<KFKSteadyPartSetupServerType>();
}

TEST(Meteo, ConvertsToTheStoredTripleAndBack) {
  // t (C), h (%), p (hPa), stored temperature (K), vapour pressure (hPa; < 0: round trip only)
  const double kCases[][5] = {{20.0, 50.0, 1010.0, 293.15, 11.694678421549668},
                              {-30.0, 80.0, 850.0, 243.15, -1}, {45.0, 5.0, 1050.0, 318.15, -1}};
  for (const auto& c : kCases) {
    PosSetup::MeteoDataType m{};
    PosSetup::convertMeteo(c[0], c[1], c[2], m);
    EXPECT_TRUE(m.pressure == c[2] && std::abs(m.temperature - c[3]) < 1e-12);
    EXPECT_TRUE(c[4] < 0 || std::abs(m.vapour - c[4]) < 1e-12) << m.vapour;
    double t = 0, h = 0, p = 0;
    PosSetup::convertMeteo(m, t, h, p);
    EXPECT_TRUE(std::abs(t - c[0]) < 1e-9 && std::abs(h - c[1]) < 1e-9 && p == c[2]) << t << " " << h;
  }
}

}  // namespace
