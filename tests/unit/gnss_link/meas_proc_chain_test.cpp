#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <map>
#include <numeric>
#include <string>
#include <tuple>
#include <vector>

#include "unit/gnss_link/chain_calls.h"
#include "unit/gnss_link/native_test_util.h"
#include "unit/platform/leds_outside.h"
#include "unit/platform/temp_run_dir.h"
#include "gnss_link/lock_manager.h"
#include "gnss_link/meas_proc.h"
#include "platform/leds.h"
#include "platform/rtos_time.h"
#include "positioning/chan_data.h"
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

// The navigation step as the chain sees it: noted, and no solution.
int noteNavMain() {
  chaincalls::note("navMain");
  return 3;
}

// One epoch of the chain at receiver time t: the calls it made into the layers around it, in order.
std::vector<std::string> runEpoch(long t) {
  setEpoch(t);
  chaincalls::open();
  signalMeasReady();
  chaincalls::close();
  return chaincalls::notes();
}

class Chain : public ::testing::Test {
 protected:
  void SetUp() override {
    ntest::emptyMeasProcLinks();
    measProcLinks.navMain = noteNavMain;
  }
  void TearDown() override {
    chaincalls::close();
    ntest::emptyMeasProcLinks();
  }

  static std::vector<std::string> run(long t) { return runEpoch(t); }
  static int count(const std::vector<std::string>& v, const std::string& what) {
    return static_cast<int>(std::count(v.begin(), v.end(), what));
  }
};

TEST_F(Chain, StepsInOrderAndOncePerSecondWorkAt10Hz) {
  msInt = 1000;
  std::map<std::string, int> counts;
  // Both input records get their output parameters each epoch.
  const std::vector<std::string> second = {
      "omPrepare",      "diffInitCoding", "navMain",     "RCV_OUTPUT::computeParams", "RCV_OUTPUT::computeParams",
      "baseMakeCoding", "omOutput",       "alanVariance"};
  const std::vector<std::string> between = {"diffInitCoding", "RCV_OUTPUT::computeParams", "RCV_OUTPUT::computeParams",
                                            "baseMakeCoding", "alanVariance"};
  for (int i = 0; i < 20; ++i) {
    const std::vector<std::string> names = run(43200000 + 100L * i);
    EXPECT_EQ(names, i % 10 == 0 ? second : between) << "epoch " << i;
    for (const auto& n : names) ++counts[n];
  }
  for (const auto& [what, n] : std::map<std::string, int>{{"omPrepare", 2}, {"navMain", 2}, {"alanVariance", 20}})
    EXPECT_EQ(counts[what], n) << what;
}

// The base coders: their plans are made after the output manager marked the due messages, and
// they code after positioning, once each per epoch.
TEST_F(Chain, BaseCodingPlansThenCodesOncePerEpoch) {
  msInt = 1000;
  for (int i = 0; i < 3; ++i) {
    const std::vector<std::string> names = run(43200000 + 1000L * i);
    const auto at = [&](const char* w) { return std::find(names.begin(), names.end(), w) - names.begin(); };
    EXPECT_EQ(std::tuple(count(names, "diffInitCoding"), count(names, "baseMakeCoding")), std::tuple(1, 1)) << i;
    EXPECT_LT(at("omPrepare"), at("diffInitCoding")) << i;
    EXPECT_LT(at("diffInitCoding"), at("navMain")) << i;
    EXPECT_LT(at("navMain"), at("baseMakeCoding")) << i;
  }
}

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
  measProcLinks.navMain = [] {
    chaincalls::note("navMain");
    return 0;
  };
  const struct {
    int ms, pos, posRate, raw;
    bool prepare, nav, status8, noRaw;
  } cases[] = {
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
    // A channel with data: the raw step withdraws it when raw data is not output this epoch.
    Cdat[0].bDataPresent = 1;
    auto e = run(43200000);
    if (NavSol.status == NavTask::NAV_SOL::kNotForOutput) e.push_back("status 8");
    if (Cdat[0].bDataPresent == 0) e.push_back("no raw");
    EXPECT_EQ(count(e, "omPrepare") == 1, c.prepare);
    EXPECT_EQ(count(e, "omOutput") == 1, c.prepare);
    EXPECT_EQ(count(e, "navMain") == 1, c.nav);
    EXPECT_EQ(count(e, "status 8") == 1, c.status8);
    EXPECT_EQ(NavSol.status == NavTask::NAV_SOL::kNotForOutput, c.status8);
    EXPECT_EQ(count(e, "no raw") == 1, c.noRaw);
    if (c.status8) {
      EXPECT_EQ(navSol_Ant[1].status, NavTask::NAV_SOL::kNotForOutput);
      EXPECT_EQ(RcvOut.sol.bOutPos, 0);
      EXPECT_EQ(rcvOut_Ant[0].bSolPresent, 1);  // the records saw the good status first
    }
  }
}

// The chain's output step fills both input records from the navigation solution and copies the
// main one into RcvOut; an epoch without a solution leaves no position.
TEST_F(Chain, OutputRecordsFollowTheNavigationStep) {
  RcvSet.msInt = RcvSet.posMsInt = RcvSet.posUpdateRate = RcvSet.rawUpdateRate = 1000;
  measProcSettingsLoaded();
  static bool good;
  measProcLinks.navMain = [] {
    chaincalls::note("navMain");
    NavSol.pos = NavTask::NAV_POS{};
    NavSol.pos.dXyz[0] = 4193000.0, NavSol.pos.dXyz[1] = 800000.0, NavSol.pos.dXyz[2] = 4724000.0;
    NavSol.pos.bValid = good ? 1 : 0;
    return good ? 0 : 3;
  };
  for (bool g : {true, false, true}) {
    good = g;
    const auto e = run(43200000);
    EXPECT_LT(std::find(e.begin(), e.end(), "navMain") - e.begin(),
              std::find(e.begin(), e.end(), "RCV_OUTPUT::computeParams") - e.begin());
    for (const RCV_OUTPUT& r : rcvOut_Ant) {
      EXPECT_EQ(r.sol.isPosValid(), g);
      EXPECT_EQ(r.sol.source, g ? SOL_OUTPUT::kSrcNavSol : SOL_OUTPUT::kSrcEpoch);
    }
    EXPECT_EQ(RcvOut.sol.isPosValid(), g);
    if (g) {
      EXPECT_NEAR(RcvOut.sol.PosWgsXYZ.x, 4193000.0, 1e-9);
    }
  }
}

struct RtkSettings {
  bool allow1, allow3;
  double dist;
  int limit, main;
} g_rtk;
std::vector<std::string> g_events;

TEST_F(Chain, RtkAvailabilityAndMainAntennaInput) {
  measProcLinks.sepAntSolutions = [] { return true; };
  measProcLinks.rtkAllowType1 = [] { return g_rtk.allow1; };
  measProcLinks.rtkAllowType3 = [] { return g_rtk.allow3; };
  measProcLinks.rtkBaseDistance = [](double& d) { return (d = g_rtk.dist) >= 0.0; };
  measProcLinks.rtkDistLimit = [](int& l) { return (l = g_rtk.limit) > 0; };
  measProcLinks.event = [](const char* text) { g_events.push_back(text); };
  const struct {
    int mode, type;
    RtkSettings set;
    bool avail, event;
  } cases[] = {
      {3, 2, {0, 0, -1, 0, 0}, 0, 0},     {4, 0, {0, 0, -1, 0, 0}, 0, 0},      {4, 2, {0, 0, -1, 0, 0}, 1, 0},
      {5, 3, {0, 0, -1, 0, 0}, 0, 0},     {5, 3, {0, 1, -1, 0, 0}, 1, 0},      {4, 3, {1, 0, -1, 0, 0}, 0, 0},
      {5, 2, {0, 0, 999, 10, 0}, 1, 0},   {5, 2, {0, 0, 1000, 10, 0}, 1, 0},   {5, 2, {0, 0, 1000.5, 10, 0}, 0, 1},
      {5, 2, {0, 0, -1, 0, 2}, 0, 0},     {5, 2, {0, 0, -1, 0, 3}, 0, 0},      {5, 2, {0, 0, -1, 0, 255}, 0, 0},
      {5, 2, {0, 0, -1, 0, 1}, 1, 0},     {5, 1, {1, 0, -1, 0, 0}, 1, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "mode " << c.mode << " type " << c.type << " dist " << c.set.dist
                                    << " main " << c.set.main);
    tPosMode = c.mode;
    solution.lSolType = c.type;
    solution.bHeadingAvailable = 1;
    g_rtk = c.set;
    LockMan::mainAntInputIdx = c.set.main;
    g_events.clear();
    run(43200000);
    const int m = c.set.main == 1 ? 1 : 0;
    EXPECT_EQ(rcvOut_Ant[1].pNavSol, &navSol_Ant[1]);
    EXPECT_EQ(rcvOut_Ant[m].bRtkAvail == 1, c.avail);
    EXPECT_EQ(RcvOut.bRtkAvail == 1, c.avail);
    EXPECT_EQ(RcvOut.pNavSol, &navSol_Ant[m]);
    EXPECT_EQ(g_events, c.event ? std::vector<std::string>{"OPT,DIST,RANGE"} : std::vector<std::string>{});
    // The other record has none, also when it was the main one the epoch before.
    for (const RCV_OUTPUT& r : rcvOut_Ant) {
      const bool main = &r == &rcvOut_Ant[m] && c.set.main < 2;
      EXPECT_EQ(r.pRtkSol, main ? &rtkSolOut : nullptr) << &r - rcvOut_Ant;
      EXPECT_EQ(r.bHeadingAvail, main) << &r - rcvOut_Ant;
      EXPECT_TRUE(main || r.bRtkAvail == 0) << &r - rcvOut_Ant;
    }
  }
}

TEST_F(Chain, EpochRecordFromTheScales) {
  run(43200000);
  EXPECT_EQ(NavEpoch.rcvTime, kSaturdayMs + 43200000);
  EXPECT_EQ(NavEpoch.gpsWeek, 2316);
  EXPECT_EQ(NavEpoch.utcSec, 1717243182);  // 2024-06-01 11:59:42 UTC
  EXPECT_EQ(NavEpoch.utcMs, (11 * 3600 + 59 * 60 + 42) * 1000);
  EXPECT_EQ((std::vector{NavEpoch.date.year, NavEpoch.date.month, NavEpoch.date.day}), (std::vector{2024, 6, 1}));
  EXPECT_EQ(NavEpoch.gpsGloMs, 18000 - 3 * 3600000);
  EXPECT_EQ(NavEpoch.gpsValid, NavTask::NAV_EPOCH::kTimeValid | NavTask::NAV_EPOCH::kUtcKnown);
  EXPECT_EQ(RcvOut.epoch.gpsMs, kSaturdayMs + 43200000);
  // GLONASS as the reference scale.
  setEpoch(43200000);
  RcvTimeScales::rcvRefTime = 1;
  signalMeasReady();
  EXPECT_EQ(NavEpoch.rcvTime, (43200000 - 18000 + 3 * 3600000) % 86400000);
}

// Whatever scale words a damaged record (the "@@" container has no checksum) brings, the chain runs.
TEST_F(Chain, ExtremeScaleWordsStillRunTheChain) {
  const std::int32_t cases[][3] = {
      {INT32_MAX, INT32_MAX, INT32_MAX}, {INT32_MIN, INT32_MIN, INT32_MIN}, {1023, 2097152, 0}, {-1, -2097153, -1}};
  for (const auto& [weekDay, cycle, ms] : cases) {
    setEpoch(43200000);
    RcvTimeScales::Req.weekDay[0] = weekDay;
    RcvTimeScales::Req.cycle[0] = cycle;
    RcvTimeScales::Req.ms[0] = ms;
    chaincalls::open();
    signalMeasReady();
    chaincalls::close();
    ASSERT_FALSE(chaincalls::notes().empty());
    EXPECT_EQ(chaincalls::notes().back(), "alanVariance") << weekDay << " " << cycle;
  }
}

TEST(MeasClock, OnlyAWholeSecondWithUtcSteers) {
  msInt = 1000;
  const struct {
    long t;
    std::int32_t flags;
    bool steps;
  } cases[] = {{43200100, 0x570, false}, {43200000, 0x560, false}, {43200000, 0x570, true}, {43200100, 0x570, false}};
  std::int64_t offset = rtosVirtualOffsetNs();
  for (const auto& c : cases) {
    rtosGnssEpoch(static_cast<int>(c.t));
    setEpoch(c.t, c.flags);
    signalMeasReady();
    EXPECT_EQ(rtosVirtualOffsetNs() != offset, c.steps) << c.t << " " << c.flags;
    offset = rtosVirtualOffsetNs();
  }
  // The clock (now, years after the epoch's date) was stepped to 2024-06-01 11:59:42 UTC.
  SysTime now;
  rtosTimeGet(now);
  EXPECT_NEAR(static_cast<double>(now.sec), 1717243182.0, 5.0);
}

}  // namespace

namespace {

// The chain with the status LEDs' lines in a run directory of its own.
class ChainLeds : public TempRunDir {
 protected:
  void SetUp() override {
    TempRunDir::SetUp();
    ASSERT_TRUE(standin::layOutGpio(".", {kLedPosGreenLine, kLedPosRedLine, kLedRecGreenLine, kLedRecRedLine}));
    ntest::emptyMeasProcLinks();
  }
  void TearDown() override {
    ntest::emptyMeasProcLinks();
    TempRunDir::TearDown();
  }
};

// The satellite pattern counts the channels with a measurement and their systems (one receiver
// clock each); the L-band channel and channels without data do not count.
TEST_F(ChainLeds, SatelliteColourFromMeasuredSatellitesAndTheirSystems) {
  RcvSet.msInt = RcvSet.posMsInt = RcvSet.posUpdateRate = RcvSet.rawUpdateRate = 1000;
  measProcSettingsLoaded();
  const struct {
    const char* systems;  // system code per channel with a measurement; '-' no data, 'L' L-band
    int color;            // shown at the second's start: 1 green, 2 red, 3 both
  } rows[] = {
      {"0001122", 3},          // n 7, m 3: k 5
      {"001122", 2},           // n 6, m 3: k 4
      {"0000112222", 1},       // n 10, m 3: k 8
      {"0001122---L7", 3},     // only the seven measured satellites count
      {"00000066", 3},         // n 8, m 2: k 7
      {"000000066", 1},        // n 9, m 2: k 8
      {"0000000", 3},          // n 7, m 1: k 7
      {"00000000", 1},         // n 8, m 1: k 8
  };
  for (const auto& r : rows) {
    for (ChanData& c : Cdat) c.bDataPresent = 0, c.sysCode = 0;
    int ch = 0;
    for (const char* p = r.systems; *p; ++p, ++ch) {
      Cdat[ch].bDataPresent = *p == '-' ? 0 : 1;
      Cdat[ch].sysCode = static_cast<std::uint8_t>(*p == 'L' ? 7 : *p == '-' ? 0 : *p - '0');
    }
    standin::ledsDark();
    runEpoch(43200000);
    EXPECT_EQ(standin::ledShown(kLedPos), r.color) << r.systems;
  }
  for (ChanData& c : Cdat) c.bDataPresent = 0;
}

}  // namespace
