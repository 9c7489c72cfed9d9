#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "gnss_link/meas_proc.h"
#include "positioning/rcv_time_scales.h"
#include "settings/rcv_settings.h"

namespace {

// 2024-06-01 (a Saturday), GPS week 2316 = 268 + 2 x 1024; GPS is 18 s ahead of UTC.
constexpr std::int32_t kSaturdayMs = 6 * 86400000;

void setEpoch(long t, std::int32_t flags = 0x570) {
  RcvTimeScales::INT_SCALES& s = RcvTimeScales::Req;
  s = RcvTimeScales::INT_SCALES{};
  s.ms[0] = kSaturdayMs + static_cast<std::int32_t>(t);
  s.weekDay[0] = 268;
  s.cycle[0] = 2;
  s.sysUtc[0] = 18;
  s.flags[0] = flags;
  s.ms[1] = static_cast<std::int32_t>((t - 18000 + 3 * 3600000) % 86400000);
  RcvTimeScales::rcvRefTime = 0;
}

struct Call {
  int step;
  std::string what;
};
std::vector<Call> g_log;
void record(int step, const char* what) { g_log.push_back({step, what ? what : ""}); }

class Chain : public ::testing::Test {
 protected:
  void SetUp() override { measProcSetTrace(record); }
  void TearDown() override { measProcSetTrace(nullptr); }

  static std::vector<std::string> run(long t) {
    g_log.clear();
    setEpoch(t);
    signalMeasReady();
    std::vector<std::string> names;
    for (const Call& c : g_log)
      if (!c.what.empty()) names.push_back(c.what);
    return names;
  }
  static int count(const std::vector<std::string>& v, const std::string& what) {
    return static_cast<int>(std::count(v.begin(), v.end(), what));
  }
};

TEST(MeasGrid, ZeroAndAnyIntervals) {
  const struct {
    long t;
    int n;
    bool on;
  } cases[] = {{0, -1, true},          {1234, -1, true},        {0, 0, false},         {43200000, 0, false},
               {43200000, 1000, true}, {43200100, 1000, false}, {43200100, 100, true}, {5, -7, false}};
  for (const auto& c : cases) EXPECT_EQ(measOnGrid(c.t, c.n), c.on) << c.t << " " << c.n;
}

// The intervals come from the receiver settings; zeros never divide. A position update rate of 0
// lets navigation run but withdraws its position from output.
TEST_F(Chain, ZeroIntervalsNeverDivide) {
  measProcLinks.navMain = [] { return 0; };
  const struct { int ms, pos, posRate, raw; bool prepare, nav, status8, noRaw; } cases[] = {
      {0, -1, -1, -1, false, false, false, true},  {-1, 0, -1, -1, true, false, false, false},
      {-1, -1, 0, -1, true, true, true, false},    {-1, -1, -1, 0, true, true, false, true},
      {1000, 1000, 1000, 1000, true, true, false, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.ms << " " << c.pos << " " << c.posRate << " " << c.raw);
    RcvSet.msInt = c.ms;
    RcvSet.posMsInt = c.pos;
    RcvSet.posUpdateRate = c.posRate;
    RcvSet.rawUpdateRate = c.raw;
    measProcSettingsLoaded();
    const auto e = run(43200000);
    EXPECT_EQ(count(e, "omPrepare") == 1, c.prepare);
    EXPECT_EQ(count(e, "omOutput") == 1, c.prepare);
    EXPECT_EQ(count(e, "navMain") == 1, c.nav);
    EXPECT_EQ(count(e, "status 8") == 1, c.status8);
    EXPECT_EQ(NavSol.status == NavTask::NAV_SOL::kNotForOutput, c.status8);
    EXPECT_EQ(count(e, "no raw") == 1, c.noRaw);
    if (c.status8) {
      EXPECT_EQ(navSol_Ant[1].status, NavTask::NAV_SOL::kNotForOutput);
      EXPECT_EQ(RcvOut.bOutPos, 0);
      EXPECT_EQ(rcvOut_Ant[0].bSolPresent, 1);  // the records saw the good status first
    }
  }
}

// Whatever scale words a damaged record (the "@@" container has no checksum) brings, the chain runs.
TEST_F(Chain, ExtremeScaleWordsStillRunTheChain) {
  const std::int32_t cases[][3] = {
      {INT32_MAX, INT32_MAX, INT32_MAX}, {INT32_MIN, INT32_MIN, INT32_MIN}, {1023, 2097152, 0}, {-1, -2097153, -1}};
  for (const auto& [weekDay, cycle, ms] : cases) {
    g_log.clear();
    setEpoch(43200000);
    RcvTimeScales::Req.weekDay[0] = weekDay;
    RcvTimeScales::Req.cycle[0] = cycle;
    RcvTimeScales::Req.ms[0] = ms;
    signalMeasReady();
    ASSERT_FALSE(g_log.empty());
    EXPECT_EQ(g_log.back().what, "alanVariance") << weekDay << " " << cycle;
  }
}

}  // namespace
