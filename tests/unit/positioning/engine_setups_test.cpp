#include <gtest/gtest.h>

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

class EngineSetups : public TempRunDir {
 protected:
  void SetUp() override { TempRunDir::SetUp(), startUp(false); }
  static void startUp(bool fileSaved = true) {
    NvBlock::resetLayout();
    RamNvm::blank();
    ASSERT_EQ(FileNvmLoad(), fileSaved);
    D.allocate_NvRamData();
    D.restore_NvRamData();
  }
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
  for (int b = 0; b < 10; ++b) EXPECT_FALSE(changed(b, 0x99)) << b;
}

}  // namespace
