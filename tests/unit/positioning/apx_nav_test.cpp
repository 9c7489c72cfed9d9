// The background task's navigation duties against a test clock: the 100-ms, 1-s and 5-s periods
// hold across the wrap of the 32-bit microsecond count, a raw message appended to a ring reaches
// its decoder within one cycle, and the position is stored at most every 10 s of receiver time,
// never from an invalid solution, and on across a week rollover.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "../navigation_data/lnav_test_util.h"
#include "navigation_data/decoders/gps_lnav_decoder.h"
#include "navigation_data/store/sat_data_store.h"
#include "platform/apx_task.h"
#include "platform/file_nvm.h"
#include "platform/nv_block.h"
#include "platform/rtos.h"
#include "positioning/data_servers/pvt_data.h"
#include "positioning/engine/apx_nav.h"
#include "positioning/engine/last_position.h"
#include "positioning/engine/nav_main.h"
#include "positioning/engine/pvt_engine.h"
#include "unit/platform/temp_run_dir.h"
#include "unit/own_process.h"

namespace {

int g_searches = 0;
bool countSearch() { return ++g_searches, true; }
int g_fiveSec = 0;

// A clock that starts 0.25 s before the wrap and steps by `step` us.
std::vector<std::uint32_t> clock(std::uint32_t step, int n) {
  std::vector<std::uint32_t> t;
  std::uint32_t now = 0xFFFFFFFFu - 250000u;
  for (int i = 0; i < n; ++i, now += step) t.push_back(now);
  return t;
}

TEST_OWN(ApxNav, PeriodsHoldAcrossTheMicrosecondWrap) {
  struct Row {
    std::uint32_t step;  // us between cycles
    int cycles;
    int searches;        // 100-ms duty (more than 100000 us since the last)
    int seconds;         // 1-s duty
  };
  const Row rows[] = {
      {100001, 31, 30, 3},  // every cycle past 100 ms; a second every 10th cycle
      {100000, 31, 15, 2},  // exactly 100 ms is not more: every other cycle; 1 s needs 11 steps
      {50000, 41, 13, 1},   // 2 s: every third cycle (150 ms); 1 s after 21 steps
      {250000, 13, 12, 2},  // 3 s
  };
  apxNavLinks.satSearch = countSearch;
  for (const Row& r : rows) {
    apxNav = ApxNav{};
    g_searches = 0;
    int seconds = 0;
    std::uint32_t mag = 0;
    bool first = true;
    for (std::uint32_t now : clock(r.step, r.cycles)) {
      apxNav.cycle(now);
      if (!first && apxNav.magRunTime != mag) ++seconds;
      first = false;
      mag = apxNav.magRunTime;
    }
    EXPECT_EQ(g_searches, r.searches) << "step " << r.step;
    EXPECT_EQ(seconds, r.seconds) << "step " << r.step;
  }
}

class ApxStore : public TempRunDir {
 protected:
  void SetUp() override {
    TempRunDir::SetUp();
    FileNvmLoad();
    ASSERT_TRUE(lastPositionNvAlloc());
    apxNav = ApxNav{};
  }
};

TEST_F(ApxStore, FiveSecondHousekeepingAcrossTheWrap) {
  static bool added = apxHookAdd(kApxFiveSec, [](std::uint32_t) { ++g_fiveSec; });
  ASSERT_TRUE(added);
  g_fiveSec = 0;
  // 100 ms cycles for 21 s straddling the wrap: 5 s is passed 4 times (each after 51 steps).
  for (std::uint32_t now : clock(100000, 211)) apxCycle(now);
  EXPECT_EQ(g_fiveSec, 4);
}

TEST_OWN(ApxNav, ARingMessageReachesItsDecoderWithinOneCycle) {
  PVTEngineInstance.init_Object(&PVTDataInstance, &SatDataProcessorInstance);
  NavTask::NAV_SOL sol;
  sol.epoch.gpsWeek = 1590;
  sol.epoch.timeTag = 6000;
  PVTEngineInstance.update(100, true, &sol, nullptr);
  lnavtest::Words sf = lnavtest::header(1, 100);
  lnavtest::addParity(sf);
  CorrData::GpsRawMessageType e{};
  e.uSv = 17;
  e.uCount = 10;
  for (int w = 0; w < 10; ++w) e.ulWords[w] = lnavtest::getBits(sf, 1 + 30 * w, 30);
  auto decoderOf17 = [] {
    for (GpsNavDataDecoderType* d : GpsNavDataDecoderType::pDecoderPointer)
      if (d != nullptr && d->get_SvId().sys == kSysGps && d->get_SvId().si == 16) return true;
    return false;
  };
  ASSERT_FALSE(decoderOf17());
  GpsRawMessageData.append(e);
  apxNav = ApxNav{};
  apxNav.cycle(12345);
  EXPECT_TRUE(decoderOf17());
}

TEST_F(ApxStore, PositionStoredAtMostEveryTenSecondsAndNeverInvalid) {
  struct Row {
    std::int64_t rcvMs;  // the 64-bit receiver time of the slow copy
    int msOfWeek;        // the week's millisecond, rolling over at the end of the week
    bool valid;          // the solution of the copy
    bool stored;
  };
  const Row rows[] = {
      {1000000, 604790000, true, true},    // the first one (last stored at -10)
      {1005000, 604795000, true, false},   // 5 s later
      {1011000, 604801000 % 604800000, true, true},  // 11 s: the week rolled over, still stored
      {1021000, 11000, true, false},       // exactly 10 s is not more
      {1021001, 11001, false, false},      // a later invalid solution is never stored
      {1030000, 20000, false, false},
      {1040000, 30000, true, true},
  };
  double x = 1;
  for (const Row& r : rows) {
    {
      PosLock lock;
      NavSol.pos.bValid = r.valid ? 1 : 0;
      NavSol.pos.dXyz[0] = x;
    }
    const std::uint32_t before = apxNav.storedCount;
    // The copy as the 100-ms duty takes it, with the time scales of the moment.
    apxNav.validSlow = NavSol.pos.bValid;
    if (apxNav.validSlow) {
      apxNav.PosSlow = NavSol.pos;
      apxNav.timeSlow.rcvTime = r.rcvMs;
      apxNav.timeSlow.ms[0] = r.msOfWeek;
    }
    apxNav.storePosition();
    EXPECT_EQ(apxNav.storedCount - before, r.stored ? 1u : 0u) << "at " << r.rcvMs;
    NavTask::NAV_POS got{};
    ASSERT_TRUE(nv_readPosition(&got));
    if (r.stored) {
      EXPECT_EQ(got.dXyz[0], x) << "at " << r.rcvMs;
    }
    x += 1;
  }
}

TEST_F(ApxStore, WithoutAValidSolutionTheSlowCopyKeepsTheLastPosition) {
  {
    PosLock lock;
    NavSol.pos.bValid = 1;
    NavSol.pos.dXyz[0] = 42;
  }
  apxNav.cycle(0);
  apxNav.cycle(200000);
  double xyz[3], t = 0;
  ASSERT_TRUE(apxSlowPosition(xyz, t));
  EXPECT_EQ(xyz[0], 42);
  {
    PosLock lock;
    NavSol.pos.bValid = 0;
    NavSol.pos.dXyz[0] = 7;
  }
  apxNav.cycle(400000);
  EXPECT_EQ(apxNav.validSlow, 0);
  ASSERT_TRUE(apxSlowPosition(xyz, t));
  EXPECT_EQ(xyz[0], 42);
  // A stored position comes back at the next start as the slow copy's.
  NavTask::NAV_POS p{};
  p.bValid = 1;
  p.dXyz[0] = 5;
  ASSERT_TRUE(nv_writePosition(&p));
  apxNav = ApxNav{};
  navDataInitOnce();
  ASSERT_TRUE(apxSlowPosition(xyz, t));
  EXPECT_EQ(xyz[0], 5);
}

}  // namespace

namespace {

// The task is declared with a 2048-byte stack, below any thread's minimum: it must still start
// and run its duties (the satellite-data step included) on the stack the task layer gives it.
// Runs in a child of its own, which ends with the task still running (as the program does).
[[noreturn]] void runTask() {
  PVTEngineInstance.init_Object(&PVTDataInstance, &SatDataProcessorInstance);
  if (!apxHookAdd(kApxCycle, apxNavDuty)) std::_Exit(2);
  // The once-a-second duty clears the in-epoch corrections flag (its handshake).
  PVTEngineInstance.set_InEpochCorrections();
  if (!apxProcInit(26)) std::_Exit(3);
  for (int i = 0; i < 300 && (!apxProcActive.load() || PVTEngineInstance.inEpochCorrections()); ++i)
    Task::sleep(10);  // at most 3 s
  std::fprintf(stderr, "cycles %s, second duty %s\n", apxProcActive.load() ? "ran" : "never ran",
               PVTEngineInstance.inEpochCorrections() ? "never ran" : "ran");
  std::_Exit(apxProcActive.load() && !PVTEngineInstance.inEpochCorrections() ? 0 : 1);
}

TEST_F(ApxStore, TheTaskRunsItsDutiesDespiteItsSmallDeclaredStack) {
  ::testing::FLAGS_gtest_death_test_style = "threadsafe";
  EXPECT_EXIT(runTask(), ::testing::ExitedWithCode(0), "cycles ran, second duty ran");
}

}  // namespace
