#include "positioning/engine/kfk_engine.h"

#include "positioning/data_servers/pvt_data.h"

namespace {

constexpr bool kFast = false;
constexpr bool kSlow = true;  // the measurement-sized storage: large and rarely touched here

void clear(VectorDbl& v) {
  for (int i = 0; i < v.allocatedSize(); ++i) v[i] = 0.0;
}
void clear(MatrixDbl& m) {
  for (int i = 0; i < m.allocatedRows(); ++i)
    for (int j = 0; j < m.allocatedColumns(); ++j) m[i][j] = 0.0;
}
void clear(MatrixDiagDbl& d) {
  for (int i = 0; i < d.allocatedSize(); ++i) d[i] = 0.0;
}
void identity(MatrixDbl& m) {
  clear(m);
  for (int i = 0; i < m.allocatedRows() && i < m.allocatedColumns(); ++i) m[i][i] = 1.0;
}

}  // namespace

// ---- steady part ----------------------------------------------------------------------------

KFKEngineSteadyPart::KFKEngineSteadyPart(PVTDataType* store)
    : vMeasA(kKfkMaxMeas, kSlow),
      vMeasB(kKfkMaxMeas, kSlow),
      vMeasC(kKfkMaxMeas, kSlow),
      vMeasD(kKfkMaxMeas, kSlow),
      vState(kKfkStates, kFast),
      vAuxA(kKfkSteadyAux, kFast),
      vAuxB(kKfkSteadyAux, kFast),
      vAuxC(kKfkSteadyAux, kFast),
      vAuxD(kKfkSteadyAux, kFast),
      mMeasCov(kKfkMaxMeas, kKfkMaxMeas, kSlow),
      mStateCov(kKfkStates, kKfkStates, kFast),
      mStateCovPred(kKfkStates, kKfkStates, kFast),
      mTrans(kKfkStates, kKfkStates, kFast),
      mTransT(kKfkStates, kKfkStates, kFast),
      mNoise(kKfkStates, kKfkStates, kFast),
      mWorkA(kKfkStates, kKfkStates, kFast),
      mWorkB(kKfkStates, kKfkStates, kFast),
      mGain(kKfkStates, kKfkMaxMeas, kSlow),
      mDesign(kKfkStates, kKfkMaxMeas, kSlow),
      mDesignW(kKfkStates, kKfkMaxMeas, kSlow),
      dMeasW(kKfkMaxMeas, kSlow),
      dMeasVar(kKfkMaxMeas, kSlow),
      mRotA(4, 4, kFast),
      mRotB(4, 4, kFast),
      mRotC(4, 4, kFast),
      mRotD(4, 4, kFast),
      mAux(kKfkSteadyAux, 3, kFast),
      mLocA(3, 3, kFast),
      mLocB(3, 3, kFast),
      store_(store) {
  reset();
}

void KFKEngineSteadyPart::init_Object() {
  if (store_ != nullptr) pSetup = &store_->kfkSteadyPartSetup;
  reset();
}

void KFKEngineSteadyPart::reset() {
  for (VectorDbl* v : {&vMeasA, &vMeasB, &vMeasC, &vMeasD, &vState, &vAuxA, &vAuxB, &vAuxC, &vAuxD}) clear(*v);
  for (MatrixDbl* m : {&mMeasCov, &mTrans, &mTransT, &mNoise, &mWorkA, &mWorkB, &mGain, &mDesign, &mDesignW,
                       &mRotA, &mRotB, &mRotC, &mRotD, &mAux, &mLocA, &mLocB})
    clear(*m);
  clear(dMeasW);
  clear(dMeasVar);
  identity(mStateCov);
  identity(mStateCovPred);
  dScale[0] = dScale[1] = 1.0;
  iMode = 3;
  iListLen = kKfkStateListLen;
  iEpochMarker = -1000;
  iMarker = -1;
  bSyncMode = false;
}

// ---- engine ---------------------------------------------------------------------------------

KFKEngine::KFKEngine(PVTDataType* store, KFKEngineSteadyPart* steady)
    : pStore(store),
      pSteady(steady),
      vExt(kKfkExtStates, kFast),
      vMeasRes(kKfkMaxMeas, kFast),
      vMeasW(kKfkMaxMeas, kFast),
      vState(kKfkStates, kFast),
      vDelta(kKfkStates, kFast),
      vPred(kKfkStates, kFast),
      vPrev(kKfkStates, kFast),
      mGain(kKfkStates, kKfkMaxMeas, kFast),
      mExtCov(kKfkExtStates, kKfkExtStates, kFast),
      dMeasVar(kKfkMaxMeas, kFast) {
  reset();
}

void KFKEngine::init_Object() {
  if (pStore != nullptr) {
    pEpochData = &pStore->epochData;
    pSetup = &pStore->kfkEngineSetup;
    pPosition = &pStore->position;
    pVelocity = &pStore->velocity;
  }
  reset();
}

void KFKEngine::reset() {
  for (VectorDbl* v : {&vExt, &vMeasRes, &vMeasW, &vState, &vDelta, &vPred, &vPrev}) clear(*v);
  clear(mGain);
  clear(mExtCov);
  clear(dMeasVar);
  uSatMarker = 255;
  bEnable[0] = bEnable[1] = bEnable[2] = 1;
  bReady = 0;
  iCounter = -1;
  iListLen = kKfkStateListLen;
  ulEpochs = 0;
}

// Built in this order before main: the steady part's work matrices, the steady part, the engine.
namespace KFKSteady {
MatrixDbl tmp(4, 4, kFast);
MatrixDbl CrtNoise(3, 3, kFast);
MatrixDbl GeoNoise(3, 3, kFast);
MatrixDiagDbl q11[3] = {MatrixDiagDbl(3, kFast), MatrixDiagDbl(3, kFast), MatrixDiagDbl(3, kFast)};
MatrixDbl Q11(3, 3, kFast), Q12(3, 3, kFast), Q22(3, 3, kFast);
MatrixDiagDbl MaxGeoVel(3, kFast);
MatrixDbl MaxCrtVel(3, 3, kFast);
MatrixDbl cm(4, 4, kFast), cmt(4, 4, kFast);
}  // namespace KFKSteady

KFKEngineSteadyPart KFKEngineSteadyPartInstance(&PVTDataInstance);
KFKEngine KFKEngineInstance(&PVTDataInstance, &KFKEngineSteadyPartInstance);

BinSem kfkSlowSem(false);
