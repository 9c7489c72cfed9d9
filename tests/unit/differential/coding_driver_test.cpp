// The coders' driver: the base station's output masks are rebuilt every epoch from what the
// coders ask for, so a mask of an earlier epoch never lingers.
#include "differential/coding_driver.h"

#include <gtest/gtest.h>

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

}  // namespace
