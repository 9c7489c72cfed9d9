#include "gnss_link/board_settings_funcs.h"

#include <gtest/gtest.h>

#include "settings/rcv_settings.h"

namespace {

TEST(BoardSettingsFuncs, ProcessorCountAndDspFrequencies) {
  const struct {
    int n;
    bool lband;
    int rc, count;
  } cases[] = {{3, false, 0, 3}, {1, false, 3, 3}, {2, false, 3, 3}, {4, false, 0, 4},
               {4, true, 5, 4},  {5, true, 0, 3},  {5, false, 0, 4}, {0, false, 0, 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.n);
    RcvSet.lbandMode = c.lband ? 1 : 0;
    EXPECT_EQ(cpuSetNum(c.n), c.rc);
    EXPECT_EQ(getCpuNum(), c.count);
  }
  for (int khz : {100999, 120000, 80000}) EXPECT_EQ(checkDspFrq(khz), 1) << khz;
  for (int khz : {90000, 79999, 0}) EXPECT_EQ(checkDspFrq(khz), -1) << khz;
}

}  // namespace
