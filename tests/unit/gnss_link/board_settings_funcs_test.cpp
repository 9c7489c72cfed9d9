// Board-level properties set and read by the command interpreter.
#include "gnss_link/board_settings_funcs.h"

#include <gtest/gtest.h>

#include "settings/rcv_settings.h"

namespace {

TEST(BoardSettingsFuncs, DspFrequencies) {
  const struct {
    int hz;
    int want;
  } cases[] = {{100999, 1}, {90000, -1}, {120000, 1}, {80000, 1}, {79999, -1}, {0, -1}};
  for (const auto& c : cases) EXPECT_EQ(checkDspFrq(c.hz), c.want) << c.hz;
}

TEST(BoardSettingsFuncs, ProcessorCount) {
  const struct {
    int n;
    bool lband;
    int rc;
    int count;
  } cases[] = {{3, false, 0, 3}, {1, false, 3, 3}, {2, false, 3, 3}, {4, false, 0, 4}, {4, true, 5, 4},
               {5, true, 0, 3},  {5, false, 0, 4}, {0, false, 0, 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.n);
    RcvSet.lbandMode = c.lband ? 1 : 0;
    EXPECT_EQ(cpuSetNum(c.n), c.rc);
    EXPECT_EQ(getCpuNum(), c.count);
  }
}

TEST(BoardSettingsFuncs, FixedAnswersAndFlags) {
  EXPECT_EQ(setVcc1v8Down(true), 5);
  EXPECT_EQ(setVcc1v8Down(false), 0);
  EXPECT_EQ(setVcc0v9Down(true), 0);
  EXPECT_TRUE(rcvSupportNtClk());
  EXPECT_FALSE(rcvHasOnlyNtClk());
  EXPECT_FALSE(isOsc10Mhz());
  EXPECT_EQ(lpmGetDefault(), 1);
  EXPECT_EQ(lpmSet(true), 1);
  EXPECT_TRUE(lpmGet());
  setUseNT(1);
  EXPECT_EQ(getUseNT(), 1);
  EXPECT_EQ(cpuFrq(), 800);
  EXPECT_EQ(cpuFrqId(), 2);
  EXPECT_EQ(LogicChan::getTrackingTime(), 0);
}

}  // namespace
