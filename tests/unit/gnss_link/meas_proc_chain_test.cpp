// The per-epoch chain seen from outside: the order of its 22 steps (through its call log), what
// runs on which epochs for the interval settings, the solution records, RTK availability and
// the main antenna input.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "settings/rcv_settings.h"
#include "gnss_link/lock_manager.h"
#include "gnss_link/meas_proc.h"
#include "positioning/chan_data.h"
#include "positioning/rcv_time_scales.h"

namespace {

// 2024-06-01 (a Saturday), GPS week 2316 = 268 + 2 x 1024; GPS is 18 s ahead of UTC.
constexpr std::int32_t kSaturdayMs = 6 * 86400000;

// The scales of an epoch at GPS ms of day `t`, as the time-scale record leaves them.
void setEpoch(long t) {
  RcvTimeScales::INT_SCALES& s = RcvTimeScales::Req;
  s = RcvTimeScales::INT_SCALES{};
  s.ms[0] = kSaturdayMs + static_cast<std::int32_t>(t);
  s.weekDay[0] = 268;
  s.cycle[0] = 2;
  s.sysUtc[0] = 18;
  s.flags[0] = 0x570;
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
  void SetUp() override {
    g_log.clear();
    measProcSetTrace(record);
  }
  void TearDown() override { measProcSetTrace(nullptr); }

  // Runs the chain on epochs t0, t0 + step, ... (n of them) and returns the calls by name.
  static std::vector<std::vector<std::string>> run(long t0, long step, int n) {
    std::vector<std::vector<std::string>> epochs;
    for (int i = 0; i < n; ++i) {
      g_log.clear();
      setEpoch(t0 + step * i);
      signalMeasReady();
      std::vector<std::string> names;
      for (const Call& c : g_log)
        if (!c.what.empty()) names.push_back(c.what);
      epochs.push_back(names);
    }
    return epochs;
  }
  static int count(const std::vector<std::string>& v, const std::string& what) {
    int n = 0;
    for (const auto& s : v) n += s == what;
    return n;
  }
};

TEST_F(Chain, StepsInOrderAndOncePerSecondWorkAt10Hz) {
  msInt = 1000;
  setEpoch(43200000);
  int prepare = 0, output = 0, nav = 0, after = 0, session = 0, pcf = 0, ledProc = 0, allan = 0;
  for (int i = 0; i < 20; ++i) {
    g_log.clear();
    setEpoch(43200000 + 100L * i);
    signalMeasReady();
    // Every step, each once, in increasing order.
    std::vector<int> steps;
    for (const Call& c : g_log)
      if (c.what.empty()) steps.push_back(c.step);
    ASSERT_EQ(steps.size(), 22u) << "epoch " << i;
    for (int k = 0; k < 22; ++k) EXPECT_EQ(steps[k], k + 1);
    int last = 0;
    for (const Call& c : g_log) {
      EXPECT_GE(c.step, last);
      last = c.step;
    }
    for (const Call& c : g_log) {
      prepare += c.what == "omPrepare";
      output += c.what == "omOutput";
      nav += c.what == "navMain";
      after += c.what == "ChanData::processAfter";
      session += c.what == "Session::run";
      pcf += c.what == "pcfSecond";
      ledProc += c.what == "SatLed::process";
      allan += c.what == "alanVariance";
    }
  }
  EXPECT_EQ(prepare, 2);
  EXPECT_EQ(output, 2);
  EXPECT_EQ(nav, 2);
  EXPECT_EQ(after, 2);
  EXPECT_EQ(session, 2);
  EXPECT_EQ(pcf, 2);
  EXPECT_EQ(ledProc, 20);
  EXPECT_EQ(allan, 20);
}

TEST_F(Chain, FixedOrderOfTheCallsOnAWholeSecond) {
  msInt = 1000;
  const auto e = run(43200000, 0, 1)[0];
  const std::vector<std::string> want = {
      "debPrintSlaveBuffers", "rtosAdjustTime", "Rtc::updateTime", "ChanData::setMeasTime",
      "ChanData::processAfter", "RcvOut", "SatLed::set", "SatLed::process", "PosLed::process",
      "omPrepare", "diffInitCoding", "spCheckOut", "navMain", "RCV_OUTPUT::computeParams",
      "baseMakeCoding", "NMEA_Output::makeStdOutput", "Session::run", "lrRotate",
      "FileButton::handlePended", "PowerButton::handlePended", "PosLed::set", "omOutput", "pcfSecond", "alanVariance"};
  std::vector<std::string> got;
  for (const auto& s : e)
    if (s != "status 8" && s != "no raw") got.push_back(s);
  EXPECT_EQ(got, want);
}

TEST(MeasGrid, ZeroAndAnyIntervals) {
  struct Case {
    long t;
    int n;
    bool on;
  } cases[] = {{0, -1, true},      {1234, -1, true},   {0, 0, false},     {43200000, 0, false},
               {43200000, 1000, true}, {43200100, 1000, false}, {43200100, 100, true}, {5, -7, false}};
  for (const Case& c : cases) EXPECT_EQ(measOnGrid(c.t, c.n), c.on) << c.t << " " << c.n;
}

TEST_F(Chain, ZeroIntervalsNeverDivide) {
  struct Case {
    int ms, pos, posRate, raw;
    bool prepare, nav, status8, noRaw;
  } cases[] = {
      {0, -1, -1, -1, false, false, false, true},
      {-1, 0, -1, -1, true, false, false, false},
      {-1, -1, 0, -1, true, true, true, false},
      {-1, -1, -1, 0, true, true, false, true},
      {1000, 1000, 1000, 1000, true, true, false, false},
  };
  for (const Case& c : cases) {
    msInt = c.ms;
    posMsInt = c.pos;
    posUpdateRate = c.posRate;
    rawUpdateRate = c.raw;
    const auto e = run(43200000, 0, 1)[0];
    EXPECT_EQ(count(e, "omPrepare") == 1, c.prepare) << c.ms << c.pos << c.posRate << c.raw;
    EXPECT_EQ(count(e, "omOutput") == 1, c.prepare);
    EXPECT_EQ(count(e, "navMain") == 1, c.nav);
    EXPECT_EQ(count(e, "status 8") == 1, c.status8);
    EXPECT_EQ(NavSol.status == NavTask::NAV_SOL::kNotForOutput, c.status8);
    EXPECT_EQ(count(e, "no raw") == 1, c.noRaw);
  }
}

TEST_F(Chain, NoPositionForOutputWithPosUpdateRateZeroThoughNavigationRuns) {
  posUpdateRate = 0;
  measProcLinks.navMain = [] { return 0; };
  const auto e = run(43200000, 100, 3);
  for (const auto& calls : e) EXPECT_EQ(count(calls, "navMain"), 1);
  EXPECT_EQ(NavSol.status, 8);
  EXPECT_EQ(navSol_Ant[0].status, 8);
  EXPECT_EQ(navSol_Ant[1].status, 8);
  EXPECT_EQ(RcvOut.bOutPos, 0);
  // The records saw the good status before it was withdrawn from output.
  EXPECT_EQ(rcvOut_Ant[0].bSolPresent, 1);
}

TEST_F(Chain, RawMeasurementsWithheldOffTheRawGrid) {
  ChanData::mapSlot(3, 1, 3 * kCdatSlots + 1);
  struct Case {
    int raw;
    long t;
    bool kept;
  } cases[] = {{-1, 43200100, true}, {1000, 43200000, true}, {1000, 43200100, false}, {0, 43200000, false}};
  for (const Case& c : cases) {
    rawUpdateRate = c.raw;
    Cdat[3].sig(1)->flags = ChanSigData::kValid | ChanSigData::kPhase;
    Cdat[3].bDataPresent = 1;
    run(c.t, 0, 1);
    EXPECT_EQ((Cdat[3].sig(1)->flags & ChanSigData::kValidA) != 0, c.kept) << c.raw << " " << c.t;
    EXPECT_EQ(Cdat[3].sig(1)->flags & ChanSigData::kPhase, ChanSigData::kPhase);
    EXPECT_EQ(Cdat[3].bDataPresent == 1, c.kept);
  }
}

TEST_F(Chain, SeparateSolutionsSelectTheirRecords) {
  run(43200000, 0, 1);
  EXPECT_EQ(pNavSol_Ant[0], &NavSol);
  EXPECT_EQ(pNavSol_Ant[1], &NavSol);
  EXPECT_EQ(rcvOut_Ant[1].pNavSol, &NavSol);
  measProcLinks.sepAntSolutions = [] { return true; };
  run(43200000, 0, 1);
  EXPECT_EQ(pNavSol_Ant[0], &navSol_Ant[0]);
  EXPECT_EQ(pNavSol_Ant[1], &navSol_Ant[1]);
  EXPECT_EQ(rcvOut_Ant[1].pNavSol, &navSol_Ant[1]);
  EXPECT_EQ(RcvOut.epoch.gpsMs, kSaturdayMs + 43200000);
}

bool g_allow1 = false, g_allow3 = false;
double g_dist = -1.0;
int g_limit = 0;
std::vector<std::string> g_events;

class Rtk : public Chain {
 protected:
  void SetUp() override {
    Chain::SetUp();
    LockMan::mainAntInputIdx = 0;
    g_allow1 = g_allow3 = false;
    g_dist = -1.0;
    g_limit = 0;
    g_events.clear();
    measProcLinks.rtkAllowType1 = [] { return g_allow1; };
    measProcLinks.rtkAllowType3 = [] { return g_allow3; };
    measProcLinks.rtkBaseDistance = [](double& d) {
      d = g_dist;
      return g_dist >= 0.0;
    };
    measProcLinks.rtkDistLimit = [](int& l) {
      l = g_limit;
      return g_limit > 0;
    };
    measProcLinks.event = [](const char* text) { g_events.push_back(text); };
  }
};

TEST_F(Rtk, AvailabilityByModeTypeAndSettings) {
  struct Case {
    int mode, type;
    bool allow1, allow3, avail;
  } cases[] = {
      {3, 2, false, false, false}, {4, 0, false, false, false}, {4, 2, false, false, true},
      {4, 1, false, false, true},  {5, 1, false, false, false}, {5, 1, true, false, true},
      {5, 3, false, false, false}, {5, 3, false, true, true},   {4, 3, true, false, false},
  };
  for (const Case& c : cases) {
    tPosMode = c.mode;
    solution.lSolType = c.type;
    solution.bHeadingAvailable = 1;
    g_allow1 = c.allow1;
    g_allow3 = c.allow3;
    run(43200000, 0, 1);
    EXPECT_EQ(rcvOut_Ant[0].bRtkAvail == 1, c.avail) << c.mode << " " << c.type;
    EXPECT_EQ(rcvOut_Ant[0].pRtkSol, &solution);
    EXPECT_EQ(rcvOut_Ant[0].bHeadingAvail, 1);
    EXPECT_EQ(RcvOut.bRtkAvail, rcvOut_Ant[0].bRtkAvail);
  }
}

TEST_F(Rtk, TooFarFromTheBaseClearsAvailabilityWithAnEvent) {
  tPosMode = 5;
  solution.lSolType = 2;
  struct Case {
    double dist;
    int limit;
    bool avail;
  } cases[] = {{999.0, 10, true}, {1000.0, 10, true}, {1000.5, 10, false}, {50000.0, 0, true}, {-1.0, 10, true}};
  for (const Case& c : cases) {
    g_dist = c.dist;
    g_limit = c.limit;
    g_events.clear();
    run(43200000, 0, 1);
    EXPECT_EQ(rcvOut_Ant[0].bRtkAvail == 1, c.avail) << c.dist << " " << c.limit;
    if (c.avail) {
      EXPECT_TRUE(g_events.empty());
    } else {
      ASSERT_EQ(g_events.size(), 1u);
      EXPECT_EQ(g_events[0], "OPT,DIST,RANGE");
    }
  }
}

TEST_F(Rtk, MainAntennaIndexKeptInRange) {
  tPosMode = 5;
  solution.lSolType = 2;
  measProcLinks.sepAntSolutions = [] { return true; };
  // Input 1 is the main one: its record carries the RTK solution and becomes RcvOut.
  LockMan::mainAntInputIdx = 1;
  run(43200000, 0, 1);
  EXPECT_EQ(rcvOut_Ant[1].bRtkAvail, 1);
  EXPECT_EQ(rcvOut_Ant[1].pRtkSol, &solution);
  EXPECT_EQ(RcvOut.pNavSol, &navSol_Ant[1]);
  EXPECT_EQ(RcvOut.bRtkAvail, 1);
  for (int idx : {2, 3, 255, 100000}) {
    LockMan::mainAntInputIdx = idx;
    run(43200000, 0, 1);
    for (const RCV_OUTPUT& r : rcvOut_Ant) {
      EXPECT_EQ(r.bRtkAvail, 0) << idx;
      EXPECT_EQ(r.pRtkSol, nullptr);
    }
    EXPECT_EQ(RcvOut.pNavSol, &navSol_Ant[0]);
    EXPECT_EQ(RcvOut.bRtkAvail, 0);
  }
}

TEST_F(Chain, IntervalsComeFromTheReceiverSettings) {
  RcvSet.msInt = 1000;
  RcvSet.posMsInt = 200;
  RcvSet.posUpdateRate = 0;
  RcvSet.rawUpdateRate = 5000;
  measProcSettingsLoaded();
  EXPECT_EQ(msInt, 1000);
  EXPECT_EQ(posMsInt, 200);
  EXPECT_EQ(posUpdateRate, 0);
  EXPECT_EQ(rawUpdateRate, 5000);
}

TEST_F(Chain, EpochRecordFromTheScales) {
  run(43200000, 0, 1);
  EXPECT_EQ(NavEpoch.rcvTime, kSaturdayMs + 43200000);
  EXPECT_EQ(NavEpoch.gpsWeek, 2316);
  EXPECT_EQ(NavEpoch.utcSec, 1717243182u);  // 2024-06-01 11:59:42 UTC
  EXPECT_EQ(NavEpoch.utcMs, (11 * 3600 + 59 * 60 + 42) * 1000);
  EXPECT_EQ(NavEpoch.date.year, 2024);
  EXPECT_EQ(NavEpoch.date.month, 6);
  EXPECT_EQ(NavEpoch.date.day, 1);
  EXPECT_EQ(NavEpoch.gpsGloMs, 18000 - 3 * 3600000);
  EXPECT_EQ(NavEpoch.gpsValid, NavTask::NAV_EPOCH::kTimeValid | NavTask::NAV_EPOCH::kUtcKnown);
  // GLONASS as the reference scale.
  setEpoch(43200000);
  RcvTimeScales::rcvRefTime = 1;
  signalMeasReady();
  EXPECT_EQ(NavEpoch.rcvTime, (43200000 - 18000 + 3 * 3600000) % 86400000);
}

// The "@@" container carries no checksum: whatever scale words a damaged record brings, the
// chain runs and the epoch record stays a plain (if meaningless) number.
TEST_F(Chain, ExtremeScaleWordsStillRunTheChain) {
  struct Words {
    std::int32_t weekDay, cycle, ms;
  };
  const Words cases[] = {
      {INT32_MAX, INT32_MAX, INT32_MAX},
      {INT32_MIN, INT32_MIN, INT32_MIN},
      {1023, 2097152, 0},
      {-1, -2097153, -1},
  };
  for (const Words& w : cases) {
    g_log.clear();
    setEpoch(43200000);
    RcvTimeScales::Req.weekDay[0] = w.weekDay;
    RcvTimeScales::Req.cycle[0] = w.cycle;
    RcvTimeScales::Req.ms[0] = w.ms;
    signalMeasReady();
    ASSERT_FALSE(g_log.empty());
    EXPECT_EQ(g_log.back().what, "alanVariance") << w.weekDay << " " << w.cycle;
  }
}

}  // namespace
