// The coders' driver: the base station's output masks are rebuilt every epoch from what the
// coders ask for, so a mask of an earlier epoch never lingers.
#include "differential/coding_driver.h"

#include <gtest/gtest.h>

#include <cstring>

#include "differential/rtcm3/rtcm3_coder.h"
#include "positioning/base/base_data.h"
#include "settings/rtcm_settings.h"

namespace {

TEST(CodingDriver, MasksOfAnEarlierEpochAreCleared) {
  iRtcmOutput = BaseOutput::kRtk | BaseOutput::kCodeCorr | BaseOutput::kIono;
  iCmrOutput = BaseOutput::kRtk;
  iRtcm3Output = BaseOutput::kRtk;
  diffInitCoding();
  // No message of any coder is due (and no coder answers yet): nothing is prepared.
  EXPECT_EQ(iRtcmOutput, 0);
  EXPECT_EQ(iCmrOutput, 0);
  EXPECT_EQ(iRtcm3Output, 0);
  EXPECT_EQ(rtcmMode, 0) << "no RTCM 2 message due";
  baseMakeCoding();
  prepareCoding(0, 5);
}

// The output manager calls prepareCoding before each stream's messages: it arms the RTCM 3
// coder over the epoch's base data, so that without the data nothing goes out, and with the
// data but no observations the receiver description goes and the observations do not.
TEST(CodingDriver, PrepareCodingArmsTheRtcm3CoderOverTheEpochsData) {
  Rtcm3Cod.setSettings(RtcmSet.rtcm3Cod);
  bool flags[kRtc3MsgCount] = {};
  flags[kRtc3Msg1004] = flags[kRtc3Msg1033] = true;
  std::uint8_t buf[RTC3_Coder::kFrameBytes];
  struct Row {
    std::uint8_t ready, observations;
    bool want1004, want1033;
  };
  const Row rows[] = {{0, 0, false, false}, {0, 1, false, false}, {1, 0, false, true}};
  for (const Row& r : rows) {
    RtkDat = NAVCOD_RTK_DATA{};
    RtkDat.bReady = r.ready;
    RtkDat.uConstOne = r.observations;
    Rtcm3Cod.initCoding(flags, 1);
    EXPECT_EQ(Rtcm3Cod.buildMessage(kRtc3Msg1033, buf), 0) << "not armed before the stream";
    prepareCoding(0, 1);
    EXPECT_EQ(Rtcm3Cod.buildMessage(kRtc3Msg1004, buf) > 0, r.want1004) << int(r.ready);
    EXPECT_EQ(Rtcm3Cod.buildMessage(kRtc3Msg1033, buf) > 0, r.want1033) << int(r.ready);
  }
}

// The coder's settings come from the stored record and go back into it before a write.
TEST(CodingDriver, RtcmSettingsReachTheRtcm3CoderAndComeBack) {
  RTCM_SETTINGS s{};
  s.rtcm3Cod.stationId = 77;
  s.rtcm3Cod.l2c = 1;
  std::strcpy(s.rtcm3Cod.text, "base 77");
  diffRtcmSettingsApply(s);
  EXPECT_EQ(Rtcm3Cod.settings().stationId, 77);
  RTCM_SETTINGS back{};
  back.refId = 5;
  diffRtcmSettingsGather(back);
  EXPECT_EQ(std::memcmp(&back.rtcm3Cod, &s.rtcm3Cod, sizeof s.rtcm3Cod), 0);
  EXPECT_EQ(back.refId, 5) << "only the coder's own part is gathered";
}

}  // namespace
