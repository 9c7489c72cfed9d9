// The KFK engine objects as built before main and reset by init_Object, and their place in the
// engine's wiring: the per-epoch road runs the measurement processor and sets the steady
// part's synchronous mode.
#include "positioning/engine/kfk_engine.h"

#include <gtest/gtest.h>

#include "positioning/chan_data.h"
#include "positioning/data_servers/pvt_data.h"
#include "positioning/engine/pvt_engine.h"
#include "positioning/engine/sat_meas_processor.h"
#include "unit/own_process.h"

namespace {

bool isIdentity(const MatrixDbl& m) {
  for (int i = 0; i < m.rows(); ++i)
    for (int j = 0; j < m.columns(); ++j)
      if (m[i][j] != (i == j ? 1.0 : 0.0)) return false;
  return true;
}

bool isZero(const MatrixDbl& m) {
  for (int i = 0; i < m.rows(); ++i)
    for (int j = 0; j < m.columns(); ++j)
      if (m[i][j] != 0.0) return false;
  return true;
}

TEST(KfkEngine, ObjectsHaveTheirShapes) {
  const KFKEngine& k = KFKEngineInstance;
  const KFKEngineSteadyPart& s = KFKEngineSteadyPartInstance;
  const struct { const char* name; const MatrixDbl* m; int rows, cols; } mats[] = {
      {"engine gain", &k.mGain, 8, 186},        {"engine extended covariance", &k.mExtCov, 10, 10},
      {"steady measurement covariance", &s.mMeasCov, 186, 186},
      {"steady state covariance", &s.mStateCov, 8, 8}, {"steady predicted covariance", &s.mStateCovPred, 8, 8},
      {"steady transition", &s.mTrans, 8, 8},   {"steady transition transposed", &s.mTransT, 8, 8},
      {"steady noise", &s.mNoise, 8, 8},        {"steady work A", &s.mWorkA, 8, 8},
      {"steady work B", &s.mWorkB, 8, 8},       {"steady gain", &s.mGain, 8, 186},
      {"steady design", &s.mDesign, 8, 186},    {"steady weighted design", &s.mDesignW, 8, 186},
      {"steady rotation A", &s.mRotA, 4, 4},    {"steady rotation B", &s.mRotB, 4, 4},
      {"steady rotation C", &s.mRotC, 4, 4},    {"steady rotation D", &s.mRotD, 4, 4},
      {"steady auxiliary", &s.mAux, 16, 3},     {"steady local A", &s.mLocA, 3, 3},
      {"steady local B", &s.mLocB, 3, 3},       {"tmp", &KFKSteady::tmp, 4, 4},
      {"CrtNoise", &KFKSteady::CrtNoise, 3, 3}, {"GeoNoise", &KFKSteady::GeoNoise, 3, 3},
      {"Q11", &KFKSteady::Q11, 3, 3},           {"Q12", &KFKSteady::Q12, 3, 3},
      {"Q22", &KFKSteady::Q22, 3, 3},           {"MaxCrtVel", &KFKSteady::MaxCrtVel, 3, 3},
      {"cm", &KFKSteady::cm, 4, 4},             {"cmt", &KFKSteady::cmt, 4, 4},
  };
  int n8x8 = 0;
  for (const auto& m : mats) {
    EXPECT_EQ(m.m->rows(), m.rows) << m.name;
    EXPECT_EQ(m.m->columns(), m.cols) << m.name;
    if (m.rows == 8 && m.cols == 8) ++n8x8;
  }
  EXPECT_EQ(n8x8, 7);
  const struct { const char* name; const DblArray* v; int n; } arrays[] = {
      {"engine extended state", &k.vExt, 10}, {"engine residuals", &k.vMeasRes, 186},
      {"engine weights", &k.vMeasW, 186},     {"engine state", &k.vState, 8},
      {"engine delta", &k.vDelta, 8},         {"engine prediction", &k.vPred, 8},
      {"engine previous", &k.vPrev, 8},       {"engine measurement variances", &k.dMeasVar, 186},
      {"steady A", &s.vMeasA, 186},           {"steady B", &s.vMeasB, 186},
      {"steady C", &s.vMeasC, 186},           {"steady D", &s.vMeasD, 186},
      {"steady state", &s.vState, 8},         {"steady aux A", &s.vAuxA, 16},
      {"steady aux B", &s.vAuxB, 16},         {"steady aux C", &s.vAuxC, 16},
      {"steady aux D", &s.vAuxD, 16},         {"steady weights", &s.dMeasW, 186},
      {"steady variances", &s.dMeasVar, 186}, {"q11 0", &KFKSteady::q11[0], 3},
      {"q11 1", &KFKSteady::q11[1], 3},       {"q11 2", &KFKSteady::q11[2], 3},
      {"MaxGeoVel", &KFKSteady::MaxGeoVel, 3},
  };
  for (const auto& a : arrays) EXPECT_EQ(a.v->size(), a.n) << a.name;
}

// The state as built is read first: in a process of its own, where no test before stepped the engine.
TEST(KfkEngine, InitObjectResetsToTheStartingState) {
  testproc::inOwnProcess([] {
    KFKEngine& k = KFKEngineInstance;
    KFKEngineSteadyPart& s = KFKEngineSteadyPartInstance;
    for (int pass = 0; pass < 2; ++pass) {
      SCOPED_TRACE(pass == 0 ? "as built" : "after init_Object");
      EXPECT_TRUE(isIdentity(s.mStateCov));
      EXPECT_TRUE(isIdentity(s.mStateCovPred));
      EXPECT_TRUE(isZero(s.mMeasCov));
      EXPECT_TRUE(isZero(s.mTrans));
      EXPECT_TRUE(isZero(k.mGain));
      EXPECT_TRUE(isZero(k.mExtCov));
      EXPECT_EQ(k.vState[3], 0.0);
      EXPECT_EQ(k.uSatMarker, 255);
      EXPECT_EQ(k.bEnable[0] + k.bEnable[1] + k.bEnable[2], 3);
      EXPECT_EQ(k.iCounter, -1);
      EXPECT_EQ(k.iListLen, 8);
      EXPECT_EQ(s.dScale[0], 1.0);
      EXPECT_EQ(s.dScale[1], 1.0);
      EXPECT_EQ(s.iMode, 3);
      EXPECT_EQ(s.iListLen, 8);
      EXPECT_EQ(s.iEpochMarker, -1000);
      EXPECT_EQ(s.iMarker, -1);
      EXPECT_FALSE(s.bSyncMode);
      // Scribble over everything, then reset.
      s.mStateCov[2][5] = 7, s.mStateCovPred[0][0] = 3, s.mMeasCov[185][185] = 1, s.mTrans[1][1] = 2;
      k.mGain[7][185] = 4, k.mExtCov[9][9] = 5, k.vState[3] = 6;
      k.uSatMarker = 3, k.bEnable[1] = 0, k.iCounter = 10, k.iListLen = 2;
      s.dScale[1] = 0.5, s.iMode = 0, s.iListLen = 1, s.iEpochMarker = 5, s.iMarker = 9, s.bSyncMode = true;
      s.init_Object();
      k.init_Object();
    }
    EXPECT_EQ(k.pStore, &PVTDataInstance);
    EXPECT_EQ(k.pSteady, &s);
    EXPECT_EQ(k.pEpochData, &PVTDataInstance.epochData);
    EXPECT_EQ(k.pSetup, &PVTDataInstance.kfkEngineSetup);
    EXPECT_EQ(k.pPosition, &PVTDataInstance.position);
    EXPECT_EQ(k.pVelocity, &PVTDataInstance.velocity);
    EXPECT_EQ(s.pSetup, &PVTDataInstance.kfkSteadyPartSetup);
  });
}

TEST(KfkEngine, SlowSemaphoreStartsNotGiven) { EXPECT_FALSE(kfkSlowSem.wait(0)); }

// ---- the engine's wiring ------------------------------------------------------------------------

TEST(PvtEngineWiring, PerEpochRoadRunsTheMeasurementProcessor) {
  PVTEngine& E = PVTEngineInstance;
  E.init_Object(&PVTDataInstance, &SatDataProcessorInstance);
  EXPECT_EQ(E.pMeas, &SatelliteMeasurementProcessorInstance);
  EXPECT_EQ(E.pKfk, &KFKEngineInstance);
  Cdat[2].bDataPresent = 1;
  Cdat[2].sysCode = kChanBeidou;
  Cdat[2].svNum = 7;
  NavTask::NAV_SOL sol;
  E.update(1000, true, &sol, Cdat);
  const PVTEngineEpochDataType* e = PVTDataInstance.epochData.GetPointer();
  ASSERT_EQ(e->pEpochSatData, &SatelliteMeasurementProcessorInstance.epochSatData());
  EXPECT_EQ(e->pEpochSatData->uFilled, EpochSatCommonDataType::kFilled);
  EXPECT_EQ(e->pEpochSatData->chan[2].sv.sys, kSysBeidou);
  EXPECT_EQ(e->pEpochSatData->chan[2].sv.si, 6);
}

TEST(PvtEngineWiring, SteadyPartSynchronousModeFollowsTheEpochInterval) {
  PVTEngine& E = PVTEngineInstance;
  E.init_Object(&PVTDataInstance, &SatDataProcessorInstance);
  const struct { long ms; std::uint8_t byte144; bool sync; } rows[] = {
      {100, 0, false}, {250, 0, false}, {251, 0, true}, {1000, 0, true},
      {100, 2, true},  {100, 1, false}, {1000, 1, true},
  };
  for (const auto& r : rows) {
    PosSetup::KFKEngineSetupType k;
    PosSetup::setDefaults(k);
    k.aBytes[144] = r.byte144;
    PVTDataInstance.kfkEngineSetup.Put(&k);
    NavTask::NAV_SOL sol;
    E.update(r.ms, false, &sol, nullptr);
    EXPECT_EQ(KFKEngineSteadyPartInstance.bSyncMode, r.sync) << r.ms << " " << int(r.byte144);
  }
}

}  // namespace
