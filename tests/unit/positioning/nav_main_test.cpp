// The navigation step seen from outside: which antenna input's solution NavSol ends with, what
// the per-input records and channels receive, the status of a failed update, the clock output
// conversion's table, the projection defaults, and a reader holding both position locks never
// seeing half a solution.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>

#include "navigation_data/store/sat_data_store.h"
#include "positioning/chan_data.h"
#include "positioning/data_servers/pvt_data.h"
#include "positioning/engine/nav_main.h"
#include "positioning/engine/pvt_engine.h"
#include "positioning/rcv_time_scales.h"
#include "positioning/sys_clock.h"
#include "positioning/time_scales.h"
#include "unit/fixed_scales.h"

namespace {

void putDouble(std::uint32_t* w, double d) { std::memcpy(w, &d, sizeof d); }

// The board's standalone solution of the epoch: a valid position (x, x, x) or none; one used
// satellite on channel `usedChan` (-1: none) of the 182 board channels.
void boardEpoch(bool valid, double x, int usedChan) {
  PVTEngineEpochDataType* e = PVTDataInstance.epochData.GetPointer();
  BoardEpochPart& b = e->board;
  b.bSolAln = valid ? 1 : 0;
  b.solAln.uFlag2 = valid ? 1 : 0;
  for (int k = 0; k < 3; ++k) putDouble(&b.solAln.ulPos88[0][0] + 2 * k, x);
  for (int i = 0; i < kBoardChannels; ++i) b.chan[i].uState = 1;
  if (usedChan >= 0) {
    b.chan[usedChan].uState = 0;
    b.chan[usedChan].uSatByte[0] = 0;
    b.chan[usedChan].uSatByte[1] = 5;
    // As the raw decoder copies them to the channel: GPS G05.
    Cdat[usedChan].sysCode = 0;
    Cdat[usedChan].svNum = 5;
  }
  PVTDataInstance.epochData.FreePointer(e);
}

void initEngine() {
  PVTEngineInstance.init_Object(&PVTDataInstance, &SatDataProcessorInstance);
  for (ChanData& c : Cdat) c.bDataPresent = 1;
  NavEpoch = NavTask::NAV_EPOCH{};
  NavEpoch.gpsMs = 1000;
}

TEST(NavMain, OneInputLeavesTheOtherInputAndThePerInputRecordsAlone) {
  initEngine();
  boardEpoch(true, 7.0, 3);
  std::memset(static_cast<void*>(navSol_Ant), 0x5A, sizeof navSol_Ant);
  NavTask::NAV_SOL before[2];
  std::memcpy(static_cast<void*>(before), navSol_Ant, sizeof before);
  const std::uint32_t changes = Cdat[91].navStatusChanges();
  const int status1 = Cdat[91].navStatus();
  NavMainInputs in;
  in.mainInput = 0;
  EXPECT_EQ(navMain(in), NavTask::NAV_SOL::kGood);
  EXPECT_EQ(NavSol.pos.dXyz[0], 7.0);
  EXPECT_EQ(NavSol.epoch.gpsMs, 1000);
  EXPECT_EQ(std::memcmp(static_cast<void*>(before), navSol_Ant, sizeof before), 0);
  EXPECT_EQ(Cdat[91].navStatusChanges(), changes);
  EXPECT_EQ(Cdat[91].navStatus(), status1);
}

TEST(NavMain, SeparateSolutionsWithMainInputOneEndWithInputOnesSolution) {
  initEngine();
  // Input 1's channel 2 is the used one: only input 1's solution lists a satellite.
  boardEpoch(true, 9.0, 91 + 2);
  NavMainInputs in;
  in.mainInput = 1;
  in.twoInputs = true;
  in.separate = true;
  EXPECT_EQ(navMain(in), NavTask::NAV_SOL::kGood);
  EXPECT_EQ(navSol_Ant[1].uNumUsed, 1);
  EXPECT_EQ(navSol_Ant[0].uNumUsed, 0);
  EXPECT_EQ(NavSol.uNumUsed, 1);
  EXPECT_EQ(NavSol.uUsedChan[0], 2);
  // The engine's epoch record is the main input's again.
  PVTEngineEpochDataType* e = PVTDataInstance.epochData.GetPointer();
  EXPECT_EQ(e->pChanData, &Cdat[91]);
  PVTDataInstance.epochData.FreePointer(e);
  // And the other way round.
  in.mainInput = 0;
  navMain(in);
  EXPECT_EQ(NavSol.uNumUsed, 0);
  EXPECT_EQ(navSol_Ant[1].uNumUsed, 1);
}

TEST(NavMain, TwoInputsWithoutSeparateSolutionsMarkTheOtherInputsChannels) {
  initEngine();
  boardEpoch(true, 1.0, 91 + 4);
  NavMainInputs in;
  in.mainInput = 0;
  in.twoInputs = true;
  EXPECT_EQ(navMain(in), NavTask::NAV_SOL::kGood);
  for (int c = 91; c < 182; ++c) ASSERT_EQ(Cdat[c].navStatus(), 4) << c;
  // The main input's solution only: input 1's satellite is not in it.
  EXPECT_EQ(NavSol.uNumUsed, 0);
}

// The input left out after the main one keeps the main input's solution and its status: with a
// second antenna tracked the receiver still reports its position.
TEST(NavMain, TheInputLeftOutKeepsTheMainInputsGoodSolution) {
  const struct {
    int mainInput;
    bool twoInputs, separate, valid;
    int status;
  } rows[] = {
      {0, true, false, true, NavTask::NAV_SOL::kGood},  {1, true, false, true, NavTask::NAV_SOL::kGood},
      {0, false, false, true, NavTask::NAV_SOL::kGood}, {0, true, true, true, NavTask::NAV_SOL::kGood},
      {0, true, false, false, NavTask::NAV_SOL::kNotComputed},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(testing::Message() << "main " << r.mainInput << " two " << r.twoInputs << " sep " << r.separate);
    initEngine();
    boardEpoch(r.valid, 5.0, -1);
    NavEpoch.gpsMs = 3000;
    NavMainInputs in;
    in.mainInput = r.mainInput;
    in.twoInputs = r.twoInputs;
    in.separate = r.separate;
    EXPECT_EQ(navMain(in), r.status);
    EXPECT_EQ(NavSol.status, r.status);
    EXPECT_EQ(NavSol.epoch.gpsMs, 3000);
    if (r.valid) {
      EXPECT_EQ(NavSol.pos.dXyz[0], 5.0);
    }
  }
}

TEST(NavMain, AFailedUpdateLeavesStatusThree) {
  initEngine();
  boardEpoch(false, 0.0, -1);
  NavMainInputs in;
  EXPECT_EQ(navMain(in), NavTask::NAV_SOL::kNotComputed);
  EXPECT_EQ(NavSol.status, NavTask::NAV_SOL::kNotComputed);
  // Without the engine's objects nothing is computed either.
  PVTEngineInstance.init_Object(nullptr, nullptr);
  EXPECT_EQ(navMain(in), NavTask::NAV_SOL::kNotComputed);
}

TEST(NavMain, SolutionTimesForTheDecodersAndTheReceivedStores) {
  initEngine();
  boardEpoch(true, 1.0, -1);
  NavEpoch.gpsValid = NavTask::NAV_EPOCH::kTimeValid;
  NavEpoch.gpsWeek = 1590;
  NavEpoch.gpsMs = 349200000;
  NavEpoch.dateSource = 0;
  NavEpoch.date = GREGORIAN_EPOCH{2010, 7, 1, 4, 182, 1, 2, 3, 0.0};
  navMain(NavMainInputs{});
  int week = 0, ms = 0;
  ASSERT_TRUE(navSolGpsTime(week, ms));
  EXPECT_EQ(week, 1590 % 1024);
  EXPECT_EQ(ms, 349200000);
  std::uint8_t cal[5] = {};
  ASSERT_TRUE(navSolCalendar(cal));
  const std::uint8_t want[5] = {7, 1, 1, 2, 3};
  EXPECT_EQ(std::memcmp(cal, want, 5), 0);
  NavEpoch.gpsValid = 0;
  NavEpoch.dateSource = -1;
  navMain(NavMainInputs{});
  EXPECT_FALSE(navSolGpsTime(week, ms));
  EXPECT_FALSE(navSolCalendar(cal));
}

// The clock quality of step 7 comes from the board's clock block of the epoch: stored (and the
// receiver time judged exact from the GPS scale's bit 7) only when both its offset and its drift
// are valid; the block carries no RMS, so the store keeps the one it had.
TEST(NavMain, ClockQualityFromTheBoardsClockBlock) {
  struct Row {
    const char* what;
    bool clock, drift;
    int gpsFlags;
    bool wantExact;
  };
  const Row rows[] = {
      {"offset and drift, GPS time exact", true, true, 0xC0, true},
      {"offset and drift, GPS time not exact", true, true, 0x40, false},
      {"offset without drift", true, false, 0xC0, false},
      {"drift without offset", false, true, 0xC0, false},
      {"no clock block", false, false, 0xC0, false},
  };
  int rcvMs = 0;
  for (const Row& r : rows) {
    SCOPED_TRACE(r.what);
    RcvTimeScales::INT_SCALES s{};
    s.flags[0] = r.gpsFlags;
    testscales::publishFixed(s, ++rcvMs);
    sysClockInitOnce();
    initEngine();
    boardEpoch(true, 1.0, -1);
    PVTEngineEpochDataType* e = PVTDataInstance.epochData.GetPointer();
    e->board.solAln.tv271.uFlag[0] = e->board.solAln.tv271.uFlag[1] = r.clock ? 1 : 0;
    e->board.solAln.ov297.uFlag[0] = e->board.solAln.ov297.uFlag[1] = r.drift ? 1 : 0;
    PVTDataInstance.epochData.FreePointer(e);
    navMain(NavMainInputs{});
    EXPECT_EQ(sysClockIsExact(), r.wantExact);
    EXPECT_EQ(sysClockGetRms(), 1000.0f) << "the board's clock block carries no RMS";
  }
}

// ---- clock output ---------------------------------------------------------------------------

TEST(NavClockOut, TruthTable) {
  struct Row {
    std::uint32_t flags;
    std::uint8_t outFlags[2];
    double offset[2], drift[2];  // -1: left as it was (9)
  };
  // offset 1, drift 2, offset2 10, drift2 20; the output starts at 9 everywhere.
  const Row rows[] = {
      {0x000000, {0, 0}, {9, 9}, {9, 9}},           // not valid: flags cleared only
      {0x000301, {0, 0}, {9, 9}, {9, 9}},           // flag bytes set, still not valid
      {0x010000, {0, 1}, {9, 1}, {9, 2}},           // first flag 0: second pair, flags 0 and valid
      {0x050000, {0, 5}, {9, 1}, {9, 2}},
      {0x050200, {0, 5}, {9, 1}, {9, 2}},           // second flag alone changes nothing
      {0x010001, {1, 0}, {1, 9}, {2, 9}},           // first flag: first pair, no second
      {0x010007, {1, 0}, {1, 9}, {2, 9}},
      {0x010301, {1, 3}, {1, 11}, {2, 22}},         // both: second pair is the sum
  };
  for (const Row& r : rows) {
    NavTask::NAV_CLOCK c;
    c.flags = r.flags;
    c.offset = 1, c.drift = 2, c.offset2 = 10, c.drift2 = 20;
    NavTask::NAV_CLOCK_OUT o;
    o.flags[0] = o.flags[1] = 9;
    o.offset[0] = o.offset[1] = o.drift[0] = o.drift[1] = 9;
    NavTask::convertNavClk2Out(c, o);
    EXPECT_EQ(o.flags[0], r.outFlags[0]) << std::hex << r.flags;
    EXPECT_EQ(o.flags[1], r.outFlags[1]) << std::hex << r.flags;
    for (int k = 0; k < 2; ++k) {
      EXPECT_EQ(o.offset[k], r.offset[k]) << std::hex << r.flags << " pair " << k;
      EXPECT_EQ(o.drift[k], r.drift[k]) << std::hex << r.flags << " pair " << k;
    }
  }
}

TEST(NavInit, ProjectionDefaultsAndWgs84) {
  EllMath::ANY_PRJ_PARAMS p;
  std::memset(&p, 0x7F, sizeof p);
  initAnyPrjParams(p);
  EXPECT_EQ(p.type, 1);
  EXPECT_EQ(p.prj.type, 1);
  EXPECT_EQ(p.prj.k0, 1.0);
  EXPECT_EQ(p.prj.FN, 0.0);
  EXPECT_EQ(p.prj.FE, 0.0);
  navInitOnce();
  EXPECT_STREQ(navGlobals.wgs84.name, "W84");
  EXPECT_EQ(navGlobals.ell.a, 6378137.0);
  EXPECT_NEAR(navGlobals.ell.rf, 298.257223563, 1e-9);
  EXPECT_STREQ(navGlobals.userDatum.name, "W84");
  EXPECT_EQ(navGlobals.userProj.prj.k0, 1.0);
}

// ---- the locks --------------------------------------------------------------------------------

// The writer's epochs carry position (k, k, k) at millisecond k, each a good solution; a reader
// holding both locks must always see the status, the three coordinates and the epoch of one and
// the same finished step. The step marks the record "not computed" while it works on it, so a
// reader let in mid-step sees that status too.
TEST(NavLocks, AReaderHoldingBothLocksNeverSeesATornSolution) {
  initEngine();
  // Until the writer's first epoch NavSol holds what an earlier test of the process left (a
  // solution of position 1 at millisecond 1000): a reader scheduled ahead of the writer would
  // count that as torn. Epoch 0 makes the record one of the writer's own before the reader starts.
  boardEpoch(true, 0, -1);
  NavEpoch.gpsMs = 0;
  ASSERT_EQ(navMain(NavMainInputs{}), NavTask::NAV_SOL::kGood);
  std::atomic<bool> stop{false};
  std::atomic<int> torn{0};
  std::atomic<int> reads{0};
  std::thread reader([&] {
    while (!stop.load()) {
      PosLock lock;
      const double x = NavSol.pos.dXyz[0];
      if (NavSol.status != NavTask::NAV_SOL::kGood || NavSol.pos.bValid == 0 || NavSol.pos.dXyz[1] != x ||
          NavSol.pos.dXyz[2] != x || NavSol.epoch.gpsMs != static_cast<std::int32_t>(x))
        ++torn;
      ++reads;
    }
  });
  for (int k = 1; k <= 2000 || reads.load() < 100; ++k) {
    boardEpoch(true, k, -1);
    NavEpoch.gpsMs = k;
    navMain(NavMainInputs{});
  }
  stop = true;
  reader.join();
  EXPECT_EQ(torn.load(), 0);
}

}  // namespace
