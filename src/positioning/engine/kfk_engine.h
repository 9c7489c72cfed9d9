// The Kalman-filter engine and its steady part. On this board the GNSS board computes the
// solution itself, so these objects are state holders only: built with their full dimensions
// before any task runs and reset by init_Object, they keep the engine's object graph whole for
// the objects that point at them (the measurement processor). No filter step runs here.
#pragma once

#include <cstdint>

#include "platform/rtos.h"
#include "positioning/engine/matrix.h"

class PVTDataType;
class PVTEngineEpochDataServerType;
class KFKEngineSetupServerType;
class KFKSteadyPartSetupServerType;
class PositionDataServerType;
class VelocityDataServerType;

// Dimensions of the filter.
constexpr int kKfkMaxMeas = 186;     // measurements
constexpr int kKfkStates = 8;        // position, velocity and clock terms
constexpr int kKfkExtStates = 10;    // extended states
constexpr int kKfkSteadyAux = 16;    // auxiliary vectors of the steady part
constexpr int kKfkStateListLen = 8;  // entries of the state lists

class KFKEngineSteadyPart {
 public:
  explicit KFKEngineSteadyPart(PVTDataType* store);
  KFKEngineSteadyPart(const KFKEngineSteadyPart&) = delete;
  KFKEngineSteadyPart& operator=(const KFKEngineSteadyPart&) = delete;

  // Points at its setup server and clears the state: the scale factors to 1, the mode to 3, the
  // list length to 8, both state covariances to the identity, the epoch marker to -1000 and the
  // marker to -1. Construction clears the state the same way; the server pointer waits for the
  // start-up's call, when the store is sure to be built.
  void init_Object();

  KFKSteadyPartSetupServerType* pSetup = nullptr;

  VectorDbl vMeasA, vMeasB, vMeasC, vMeasD;  // 186 each
  VectorDbl vState;                          // 8
  VectorDbl vAuxA, vAuxB, vAuxC, vAuxD;      // 16 each
  MatrixDbl mMeasCov;                        // 186 x 186
  MatrixDbl mStateCov;                       // 8 x 8, covariance: identity after init_Object
  MatrixDbl mStateCovPred;                   // 8 x 8, covariance: identity after init_Object
  MatrixDbl mTrans, mTransT, mNoise, mWorkA, mWorkB;  // 8 x 8
  MatrixDbl mGain, mDesign, mDesignW;        // 8 x 186
  MatrixDiagDbl dMeasW, dMeasVar;            // 186-element diagonals
  MatrixDbl mRotA, mRotB, mRotC, mRotD;      // 4 x 4
  MatrixDbl mAux;                            // 16 x 3
  MatrixDbl mLocA, mLocB;                    // 3 x 3

  double dScale[2] = {};
  std::int32_t iMode = 0;
  std::int32_t iListLen = 0;
  std::int32_t iEpochMarker = 0;
  std::int32_t iMarker = 0;
  // Synchronous mode: the engine would run once per epoch (long epochs, or forced by the setup).
  bool bSyncMode = false;

 private:
  void reset();
  PVTDataType* store_ = nullptr;
};

class KFKEngine {
 public:
  KFKEngine(PVTDataType* store, KFKEngineSteadyPart* steady);
  KFKEngine(const KFKEngine&) = delete;
  KFKEngine& operator=(const KFKEngine&) = delete;

  // Points at the store's servers and clears every flag, counter and buffer: the satellite
  // marker to 255 (none), the three enable bytes to 1, the counter to -1 and the list length to
  // 8. Construction clears them the same way; the server pointers wait for the start-up's call.
  void init_Object();

  PVTDataType* pStore = nullptr;
  PVTEngineEpochDataServerType* pEpochData = nullptr;
  KFKEngineSetupServerType* pSetup = nullptr;
  PositionDataServerType* pPosition = nullptr;
  VelocityDataServerType* pVelocity = nullptr;
  KFKEngineSteadyPart* pSteady = nullptr;

  VectorDbl vExt;                           // 10
  VectorDbl vMeasRes, vMeasW;               // 186 each
  VectorDbl vState, vDelta, vPred, vPrev;   // 8 each
  MatrixDbl mGain;                          // 8 x 186
  MatrixDbl mExtCov;                        // 10 x 10
  MatrixDiagDbl dMeasVar;                   // 186-element diagonal

  std::uint8_t uSatMarker = 0;
  std::uint8_t bEnable[3] = {};
  std::uint8_t bReady = 0;
  std::int32_t iCounter = 0;
  std::int32_t iListLen = 0;
  std::uint32_t ulEpochs = 0;

 private:
  void reset();
};

extern KFKEngineSteadyPart KFKEngineSteadyPartInstance;
extern KFKEngine KFKEngineInstance;

// Reserved for the engine's slow task; nothing here waits on it or gives it.
extern BinSem kfkSlowSem;

// The steady part's file-scope work matrices.
namespace KFKSteady {
extern MatrixDbl tmp;          // 4 x 4
extern MatrixDbl CrtNoise;     // 3 x 3
extern MatrixDbl GeoNoise;     // 3 x 3
extern MatrixDiagDbl q11[3];   // 3 x 3 diagonals
extern MatrixDbl Q11, Q12, Q22;  // 3 x 3
extern MatrixDiagDbl MaxGeoVel;  // 3 x 3 diagonal
extern MatrixDbl MaxCrtVel;      // 3 x 3
extern MatrixDbl cm, cmt;        // 4 x 4
}  // namespace KFKSteady
