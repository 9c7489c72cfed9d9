// Base epochs through the base buffer into the projection step: synthetic observations built
// from real orbits (brdc1820.10n, range evaluated here after IS-GPS-200) plus an ambiguity and a
// base clock drift, paired with rover epochs of the same id; what the models reach against that
// truth, the decimation, the position-mode gate, the reference choice and clock jumps.
#include "differential/rtk/rtk_engine.h"
#include "differential/rtk/rtk_sync.h"
#include "unit/differential/base_pro_test_util.h"
#include "unit/own_process.h"

namespace {

using namespace bptest;

// Per satellite: phase less the range A + D t cycles, code less the range B + D lambda t metres
// (t from kT0); a base clock jump of j seconds at tj moves the base's epoch by j.
struct Truth {
  double D = 1.6;
  double jump = 0.0, tj = 1e30;
  std::map<int, double> A, B;
  std::map<int, std::uint8_t> elev;

  double shift(double T) const { return T >= tj ? jump : 0.0; }
  double phaseLine(int prn, double T) const { return A.at(prn) + D * (T - shift(T) - kT0) + kL1 * shift(T); }
  double codeLine(int prn, double T) const { return B.at(prn) + D * kLambda1 * (T - shift(T) - kT0) + kC * shift(T); }
};

class BaseProChain : public testing::Test {
 protected:
  void SetUp() override {
    setUpChain();
    newFeed();
    for (int prn : feed_.prns()) {
      truth_.A[prn] = 1000.0 * prn + 0.37 * prn;
      truth_.B[prn] = 20.0 * prn - 300.0;
      truth_.elev[prn] = static_cast<std::uint8_t>(10 + prn);
    }
  }
  void TearDown() override { SatPolynomStoreInstance.Init(); }
  // A fresh store and orbit feed (the feed only goes forward in time).
  void restart() {
    setUpChain();
    newFeed();
  }
  BaseOf base_{kCpdRtcm3, 21};

  void newFeed() {
    feed_ = OrbitFeed();
    for (const auto& [prn, e] : recordsAt(kT0 + 300.0)) feed_.add(e);
  }

  std::vector<SvObs> observe(double T, const std::vector<int>& prns) const {
    std::vector<SvObs> v;
    for (int prn : prns) {
      const ZRT_EPH_GPS& e = feed_.eph(prn);
      double code = 2.2e7;
      for (int k = 0; k < 3; ++k) code = gpsRange(e, T, code, kBase) + truth_.codeLine(prn, T);
      SvObs o;
      o.sv = CpdSv::make(CpdSv::kGps, prn);
      o.code = code;
      o.phase = gpsRange(e, T, code, kBase) / kLambda1 + truth_.phaseLine(prn, T);
      o.elev = truth_.elev.at(prn);
      v.push_back(o);
    }
    return v;
  }
  void run(double T, const std::vector<int>& prns, bool withRover = true) {
    feed_.refresh(T);
    runEpoch(T, observe(T, prns), withRover, CpdMeas::kObservations, base_);
  }
  // The absolute phase model of a satellite (own plus reference) projected to t, less the truth.
  double phaseError(int prn, double T, double ahead) const {
    const int slot = prn - 1;
    const BasePro* p = BPC.at(0, slot);
    if (p == nullptr) return 1e9;
    BasePro own = *p;
    own.Proj(hourMs(T) / 1000.0 + ahead, 0);
    double v = own.Fi[0];
    const int r = BPC.ref[0];
    if (r != bpro::kNoSlot && r != slot) {
      BasePro ref = *BPC.at(0, r);
      ref.Proj(hourMs(T) / 1000.0 + ahead, 0);
      v += ref.Fi[0];
    }
    return v - truth_.phaseLine(prn, T + ahead);
  }
  double codeError(int prn, double T) {
    BasePro* p = BPC.at(0, prn - 1);
    if (p == nullptr) return 1e9;
    const std::vector<SvObs> o = observe(T, {prn});
    return p->ProjRRo(hourMs(T) / 1000.0, 0) - o[0].code;
  }

  OrbitFeed feed_;
  Truth truth_;
};

struct RateRow {
  const char* name;
  double step;     // s between base epochs
  int experiod;    // ms
  double codeTol;  // m
};
const RateRow kRates[] = {
    {"1 Hz", 1.0, 1000, 0.1},
    {"0.2 Hz, experiod 0 (every 5 s)", 5.0, 0, 1.0},
};

// Phase and code less the range are lines: after 60 updates the phase projection 1.5 s ahead
// and the projected code are on them.
TEST_F(BaseProChain, LinearSignalsAreProjected) {
  testproc::inOwnProcess([&] {
    for (const RateRow& row : kRates) {
      SCOPED_TRACE(row.name);
      restart();
      RcvSet.rtk.experiod = row.experiod;
      const std::vector<int> prns = feed_.prns();
      double T = kT0;
      for (int k = 0; k < 61; ++k, T += row.step) run(T, prns);
      T -= row.step;
      for (int prn : prns) {
        SCOPED_TRACE(testing::Message() << "G" << prn);
        ASSERT_NE(BPC.at(0, prn - 1), nullptr);
        EXPECT_EQ(BPC.at(0, prn - 1)->cnt[0], 60);
        EXPECT_NEAR(phaseError(prn, T, 1.5), 0.0, 1e-3);
        // The code model carries the range itself; its bend is left to the acceleration state.
        EXPECT_NEAR(codeError(prn, T), 0.0, row.codeTol);
      }
    }
  });
}

struct DecimationRow {
  const char* name;
  int experiod;
  int posMode;
  int updates;  // of a satellite's L1 model after 21 epochs at 1 Hz from id 0
};
const DecimationRow kDecimations[] = {
    {"every epoch", 1000, 4, 20},
    {"experiod 0: every 5 s", 0, 5, 4},
    {"experiod 2000", 2000, 6, 10},
    {"experiod -1: never", -1, 4, -1},
    {"position mode cd: never", 1000, 3, -1},
    {"position mode sp: never", 1000, 0, -1},
};

TEST_F(BaseProChain, DecimationAndPositionMode) {
  testproc::inOwnProcess([&] {
    for (const DecimationRow& row : kDecimations) {
      SCOPED_TRACE(row.name);
      restart();
      RcvSet.rtk.experiod = row.experiod;
      tPosMode = row.posMode;
      const int prn = feed_.prns().front();
      for (int k = 0; k <= 20; ++k) run(kT0 + k, {prn});
      const BasePro* p = BPC.at(0, prn - 1);
      if (row.updates < 0) {
        EXPECT_EQ(p, nullptr);
        for (const BasePro& m : BPC.bp) EXPECT_EQ(m.slot, bpro::kNoSlot);
      } else {
        ASSERT_NE(p, nullptr);
        EXPECT_EQ(p->cnt[0], row.updates);
      }
    }
  });
}

// The slow step is signalled on the afperiod grid, and only in the phase position modes.
TEST_F(BaseProChain, SlowStepOnTheAfperiodGrid) {
  testproc::inOwnProcess([&] {
    struct Row {
      const char* name;
      int posMode, afperiod;
      double T;
      bool posted;
    } rows[] = {
        {"on the grid", 4, 1000, kT0 + 3.0, true},
        {"off the grid", 4, 2000, kT0 + 3.0, false},
        {"on the 5 s grid", 5, 5000, kT0 + 5.0, true},
        {"mode cd", 3, 1000, kT0 + 3.0, false},
    };
    const int prn = feed_.prns().front();
    for (const Row& row : rows) {
      SCOPED_TRACE(row.name);
      restart();
      rtkSync.sSlow[0].wait(0);
      tPosMode = row.posMode;
      RcvSet.rtk.afperiod = row.afperiod;
      bRtkFromRover = true;
      run(row.T, {prn}, false);  // no rover epoch: the projection skips, the grid does not
      EXPECT_EQ(bRtkFromRover, !row.posted);
      EXPECT_EQ(rtkSync.sSlow[0].wait(0), row.posted);
    }
  });
}

// With diffext the satellite highest in the rover's sky becomes the reference once its model
// has four updates; it keeps the role down to 0.9 of the highest elevation.
TEST_F(BaseProChain, ReferenceKeptAtNinetyFivePercentLostAtEightyFive) {
  testproc::inOwnProcess([&] {
    RcvSet.rtk.diffext = 1;
    const std::vector<int> all = feed_.prns();
    const std::vector<int> prns(all.begin(), all.begin() + 4);
    const int a = prns[0], b = prns[1];
    for (int prn : prns) truth_.elev[prn] = 30;
    truth_.elev[a] = 60;
    double T = kT0;
    // The choice is made before the epoch's own update: the sixth epoch sees four updates.
    for (int k = 0; k < 5; ++k, T += 1.0) run(T, prns);
    EXPECT_EQ(BPC.ref[0], bpro::kNoSlot);
    run(T, prns);
    T += 1.0;
    EXPECT_EQ(BPC.ref[0], a - 1);
    struct Row {
      const char* name;
      std::uint8_t elevA, elevB;
      int ref;
    } rows[] = {
        {"both high, a higher", 60, 59, a - 1}, {"a at 0.95 of b", 57, 60, a - 1},     {"a at 0.9 of b", 54, 60, a - 1},
        {"a at 0.85 of b", 51, 60, b - 1},      {"a back up: b stays", 60, 60, b - 1},
    };
    for (const auto& row : rows) {
      SCOPED_TRACE(row.name);
      truth_.elev[a] = row.elevA;
      truth_.elev[b] = row.elevB;
      run(T, prns);
      EXPECT_EQ(BPC.ref[0], row.ref);
      for (int prn : prns) EXPECT_NEAR(phaseError(prn, T, 1.5), 0.0, 5e-3) << "G" << prn;
      T += 1.0;
    }
    // Without diffext the reference is dropped and every model becomes absolute again.
    RcvSet.rtk.diffext = 0;
    run(T, prns);
    EXPECT_EQ(BPC.ref[0], bpro::kNoSlot);
    for (int prn : prns) EXPECT_NEAR(phaseError(prn, T, 1.5), 0.0, 5e-3) << "G" << prn;
  });
}

struct ChainJumpRow {
  const char* name;
  int diffext;
  double ms;
};
const ChainJumpRow kChainJumps[] = {
    {"absolute models, 1 ms", 0, 1.0},
    {"absolute models, -1 ms", 0, -1.0},
    {"with a reference, 1 ms: cancels", 1, 1.0},
    {"with a reference, 20 ms: cancels", 1, 20.0},
};

// A base clock jump: from the epoch after it on, every projection (own model plus reference)
// follows the jumped signals.
TEST_F(BaseProChain, BaseClockJump) {
  testproc::inOwnProcess([&] {
    for (const ChainJumpRow& row : kChainJumps) {
      SCOPED_TRACE(row.name);
      restart();
      RcvSet.rtk.diffext = row.diffext;
      truth_.jump = 0.0;
      const std::vector<int> all = feed_.prns();
      const std::vector<int> prns(all.begin(), all.begin() + 6);
      double T = kT0;
      for (int k = 0; k < 30; ++k, T += 1.0) run(T, prns);
      if (row.diffext) {
        EXPECT_NE(BPC.ref[0], bpro::kNoSlot);
      }
      truth_.jump = row.ms / 1000.0;
      truth_.tj = T;
      for (int k = 0; k < 5; ++k, T += 1.0) {
        run(T, prns);
        if (k == 0) continue;
        for (int prn : prns) {
          EXPECT_NEAR(phaseError(prn, T, 1.5), 0.0, 1e-3) << "G" << prn << " epoch " << k;
          EXPECT_EQ(BPC.at(0, prn - 1)->st[0], 1);
        }
      }
    }
  });
}

// A signal the screening idled starts again with the next base epoch, with its own geometric
// term: the epoch it starts in only sets the model's time, the next one takes the measurement
// less the range of that epoch.
TEST_F(BaseProChain, AnIdledSignalStartsAgainOnItsLine) {
  testproc::inOwnProcess([&] {
    const std::vector<int> all = feed_.prns();
    const std::vector<int> prns(all.begin(), all.begin() + 6);
    double T = kT0;
    for (int k = 0; k < 10; ++k, T += 1.0) run(T, prns);
    for (int prn : prns) {
      SCOPED_TRACE(testing::Message() << "G" << prn);
      BasePro* p = BPC.at(0, prn - 1);
      ASSERT_NE(p, nullptr);
      p->Reset(0);
      run(T, prns);
      EXPECT_EQ(p->st[0], 1);
      EXPECT_EQ(p->cnt[0], 0);
      T += 1.0;
      run(T, prns);
      EXPECT_EQ(p->cnt[0], 1);
      EXPECT_NEAR(phaseError(prn, T, 0.0), 0.0, 1e-3);
      T += 1.0;
    }
    for (int k = 0; k < 20; ++k, T += 1.0) run(T, prns);
    for (int prn : prns) {
      EXPECT_EQ(BPC.at(0, prn - 1)->st[0], 1) << "G" << prn;
      EXPECT_NEAR(phaseError(prn, T - 1.0, 1.5), 0.0, 1e-3) << "G" << prn;
    }
  });
}

// A base epoch whose id no rover epoch has is skipped; the models stay as they were.
TEST_F(BaseProChain, NoRoverEpochNoChange) {
  testproc::inOwnProcess([&] {
    const std::vector<int> prns = {feed_.prns().front()};
    for (int k = 0; k < 5; ++k) run(kT0 + k, prns);
    const BasePro before = *BPC.at(0, prns[0] - 1);
    run(kT0 + 5, prns, false);
    const BasePro& after = *BPC.at(0, prns[0] - 1);
    EXPECT_EQ(after.cnt[0], before.cnt[0]);
    EXPECT_EQ(after.Fi[0], before.Fi[0]);
    EXPECT_EQ(after.T[0], before.T[0]);
  });
}

struct NewBaseRow {
  const char* name;
  BaseOf next;
  double ambiguity;  // cycles the next base's carriers differ by
  bool restarts;
};
// After RTCM 3 from station 21.
const NewBaseRow kNewBases[] = {
    {"same decoder, same station", {kCpdRtcm3, 21}, 0.0, false},
    {"same decoder, station not named yet", {kCpdRtcm3, -1}, 0.0, false},
    {"same decoder, another station", {kCpdRtcm3, 22}, 860000.25, true},
    {"CMR, same station number", {kCpdCmr, 21}, -123456.5, true},
    {"RTCM 2, carriers modulo 2^24", {kCpdRtcm, 22}, 860000.25, true},
    {"own format", {kCpdOwnFormat, 0}, 7.75, true},
    {"RTCM 2 naming no station yet", {kCpdRtcm, -1}, 860000.25, true},
};

// A base epoch of another station or from another decoder restarts the projection: its models
// start afresh on the new carriers (with the engine asked for a reset), where the old models
// would read the other ambiguities as a jump of the base's clock. The same base keeps them.
TEST_F(BaseProChain, NewBaseRestartsTheModels) {
  testproc::inOwnProcess([&] {
    for (const NewBaseRow& row : kNewBases) {
      SCOPED_TRACE(row.name);
      restart();
      Eng->resetReq[0] = 0;
      Eng->resetCode[0] = 0;
      base_ = {kCpdRtcm3, 21};
      const std::vector<int> all = feed_.prns();
      const std::vector<int> prns(all.begin(), all.begin() + 6);
      const std::map<int, double> A = truth_.A;
      double T = kT0;
      for (int k = 0; k < 10; ++k, T += 1.0) run(T, prns);
      base_ = row.next;
      for (int prn : prns) truth_.A[prn] = A.at(prn) + row.ambiguity;
      run(T, prns);
      EXPECT_EQ(Eng->resetReq[0], row.restarts ? 1 : 0);
      EXPECT_EQ(Eng->resetCode[0], row.restarts ? kRtkResetBase : 0);
      for (int prn : prns) {
        ASSERT_NE(BPC.at(0, prn - 1), nullptr) << "G" << prn;
        EXPECT_EQ(BPC.at(0, prn - 1)->cnt[0], row.restarts ? 0 : 10) << "G" << prn;
      }
      T += 1.0;
      for (int k = 0; k < 10; ++k, T += 1.0) run(T, prns);
      T -= 1.0;
      for (int prn : prns) {
        EXPECT_EQ(BPC.at(0, prn - 1)->st[0], 1) << "G" << prn;
        EXPECT_EQ(BPC.at(0, prn - 1)->cnt[0], row.restarts ? 10 : 20) << "G" << prn;
        EXPECT_NEAR(phaseError(prn, T, 1.5), 0.0, 1e-3) << "G" << prn;
      }
    }
  });
}

}  // namespace
