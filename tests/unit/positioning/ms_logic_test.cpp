// The measurement-interval logic: step divisors, smoothing counts and the base averager's target
// for the intervals of the rows below, each computed here from the published rule.
#include <gtest/gtest.h>

#include "positioning/chan_data.h"
#include "positioning/engine/ms_logic.h"
#include "positioning/reference/base_filter.h"
#include "settings/nav_settings.h"
#include "settings/rcv_settings.h"

namespace {

struct Smoothing {
  int smi = 100, ionoSmi = 300, tecSmi = 300, baseAvg = 180, ionoMinSmi = 30;
};

void settings(const Smoothing& s) {
  rcvSetDefaults(RcvSet);
  navSetDefaults(NavSet);
  RcvSet.smi = static_cast<std::uint16_t>(s.smi);
  RcvSet.ionoSmi = static_cast<std::uint16_t>(s.ionoSmi);
  RcvSet.tecSmi = static_cast<std::uint16_t>(s.tecSmi);
  RcvSet.baseAvg = static_cast<std::uint16_t>(s.baseAvg);
  NavSet.ionoMinSmi = static_cast<std::uint16_t>(s.ionoMinSmi);
}

TEST(MsLogic, DivisorsAndIntervals) {
  struct Row {
    int ms, sec;
    int I, div100, D;
  };
  const Row rows[] = {
      {20, 1000, 20, 20, 1000},   {30, 1000, 30, 10, 10},
      {1000, 1000, 1000, 100, 1000}, {100, 250, 100, 100, 200},
      {-1, 1000, 1000, 100, 1000}, {-7, 1000, 1000, 100, 1000},
      {1, 1000, 5, 5, 1000},      {4, 1000, 5, 5, 1000},
      {7, 1000, 5, 5, 1000},      {50, 30, 50, 50, 50},
      {200, 0, 200, 100, 5},      {200, -1, 200, 100, 5},
      {35, 1000, 35, 5, 20},      {125, 1000, 125, 25, 1000},
      {2000, 1000, 2000, 100, 1000},
  };
  for (const Row& r : rows) {
    settings({});
    ASSERT_TRUE(msLogicInit(r.ms, r.sec)) << r.ms;
    const MsLogicPendedType p = msLogicPended;
    EXPECT_EQ(p.pended, 0);
    EXPECT_EQ(p.msInt, r.ms);
    EXPECT_EQ(p.msIntApplied, r.I) << r.ms;
    EXPECT_EQ(p.div100, r.div100) << r.ms;
    EXPECT_EQ(p.div1000, r.D) << r.ms << " " << r.sec;
    EXPECT_EQ(ChanData::iUpdateRate, r.I) << r.ms;
  }
}

// 30 ms with a second interval of 1000: J = 990, whose largest 5-multiple divisor shared with
// 1000 is 10.
TEST(MsLogic, SecondIntervalRoundedToTheMeasurementInterval) {
  settings({});
  ASSERT_TRUE(msLogicInit(30, 1000));
  EXPECT_EQ(msLogicPended.div1000, 10);
}

TEST(MsLogic, SmoothingCountsAndBaseTarget) {
  struct Row {
    const char* name;
    Smoothing s;
    int ms, sec;
    int maxSm, chanSm, ionoMin, tec, target, targetSec;
  };
  const Row rows[] = {
      {"factory at 1 s", {}, -1, 1000, 100, 300, 30, 300, 180, 180},
      {"200 ms, D 1000", {}, 200, 1000, 500, 1500, 150, 1500, 180, 180},
      {"200 ms, D 200", {}, 200, 200, 500, 1500, 150, 1500, 900, 180},
      {"3600 s at 50 ms saturates", {3600, 3600, 3600, 180, 3600}, 50, 1000, 65535, 65535, 65535, 65535, 180, 180},
      {"tec 0 gives 1, smi 0 gives 1", {0, 0, 0, 180, 0}, 100, 1000, 1, 1, 0, 1, 180, 180},
      {"integer division; J 900 gives D 100", {7, 7, 7, 180, 7}, 300, 1000, 23, 23, 23, 23, 1800, 180},
      {"averaging 0 takes 180 s", {100, 300, 300, 0, 30}, 100, 500, 1000, 3000, 300, 3000, 360, 180},
      {"averaging 60 s at D 500", {100, 300, 300, 60, 30}, 100, 500, 1000, 3000, 300, 3000, 120, 60},
  };
  for (const Row& r : rows) {
    settings(r.s);
    ASSERT_TRUE(msLogicInit(r.ms, r.sec)) << r.name;
    EXPECT_EQ(ChanData::xMaxSmCnt, r.maxSm) << r.name;
    EXPECT_EQ(Cdat[0].smoothLength(0), r.chanSm) << r.name;
    EXPECT_EQ(Cdat[kCdatPerInput - 1].smoothLength(1), r.chanSm) << r.name;
    EXPECT_EQ(NavSet.ionoMinSmiCnt, r.ionoMin) << r.name;
    EXPECT_EQ(ChanData::xTecMaxSmCnt, r.tec) << r.name;
    EXPECT_EQ(BaseFlt.target(), r.target) << r.name;
    EXPECT_EQ(BaseFlt.targetSeconds(), r.targetSec) << r.name;
  }
}

TEST(MsLogic, ZeroIsRefusedAndChangesNothing) {
  settings({});
  ASSERT_TRUE(msLogicInit(200, 200));
  const MsLogicPendedType before = msLogicPended;
  RcvSet.smi = 10;
  EXPECT_FALSE(msLogicInit(0, 1000));
  const MsLogicPendedType after = msLogicPended;
  EXPECT_EQ(after.msInt, before.msInt);
  EXPECT_EQ(after.msIntApplied, 200);
  EXPECT_EQ(ChanData::xMaxSmCnt, 500);
  EXPECT_EQ(ChanData::iUpdateRate, 200);
  EXPECT_EQ(BaseFlt.target(), 900);
}

TEST(MsLogic, TheCycleAppliesOnlyAPendingChange) {
  settings({});
  ASSERT_TRUE(msLogicInit(100, 1000));
  EXPECT_EQ(ChanData::xMaxSmCnt, 1000);
  RcvSet.smi = 50;
  msLogic();  // nothing pending: the count stays
  EXPECT_EQ(ChanData::xMaxSmCnt, 1000);
  ASSERT_TRUE(msLogicInit(100, 1000));
  EXPECT_EQ(ChanData::xMaxSmCnt, 500);
}

TEST(MsLogic, DeriveCountsUsesTheSameRule) {
  struct Row {
    int minSmi, ms, cnt;
  };
  for (const Row& r : {Row{30, -1, 30}, Row{30, 0, 30}, Row{30, 70, 428}, Row{3600, 50, 65535}, Row{0, 100, 0}}) {
    NavTask::NAV_SETTINGS s{};
    s.ionoMinSmi = static_cast<std::uint16_t>(r.minSmi);
    navSetDeriveCounts(s, r.ms);
    EXPECT_EQ(s.ionoMinSmiCnt, r.cnt) << r.minSmi << " " << r.ms;
  }
}

// After a restart (a gap or a jump) the averager still needs the count the interval logic set,
// not the 180 of its construction.
TEST(MsLogic, AveragerRestartKeepsTheDerivedTarget) {
  settings({});
  ASSERT_TRUE(msLogicInit(200, 200));
  ASSERT_EQ(BaseFlt.target(), 900);
  BaseFilter& f = BaseFlt;
  f.init();
  const double p[3] = {4027894.0, 307046.0, 4919475.0}, one[3] = {1, 1, 1};
  std::uint32_t t = 100;
  for (int i = 0; i < 10; ++i) ASSERT_FALSE(f.average(p, 1, one, t++));
  t += 6;  // a gap restarts
  EXPECT_FALSE(f.average(p, 1, one, t));
  EXPECT_EQ(f.count(), 0);
  for (int i = 1; i < 900; ++i) ASSERT_FALSE(f.average(p, 1, one, t++)) << i;
  EXPECT_TRUE(f.average(p, 1, one, t));
  EXPECT_EQ(f.count(), 900);
  EXPECT_EQ(f.target(), 900);
}

}  // namespace
