// The RTK engine shell. The RTK solution itself comes from the GNSS board; this program keeps the
// engine object a filter would work on (stores, matrices, receivers, baselines), builds and
// resets it, and gives the base projection and the RTK settings what they share with it: the
// reset requests, the noise terms from cpdParams and the epoch buffers.
#pragma once

#include <cstdint>
#include <memory>

#include "differential/base/cpd_meas.h"
#include "differential/rtk/cpd_params.h"
#include "differential/rtk/rtk_matrix.h"
#include "differential/rtk/rtk_slots.h"
#include "differential/rtk/rtk_sync.h"

class CpdMeasBuf;
class CpdUtils;

constexpr int kRtkChannels = 44;
constexpr int kRtkObs = 2 * kRtkChannels;  // double-differenced observations
constexpr int NUMBL = 2;                   // baselines

// Reset-request codes.
constexpr std::uint8_t kRtkResetCmr = 13;       // the CMR client's RTK reset
constexpr std::uint8_t kRtkResetSettings = 14;  // the settings' reset and full reset
constexpr std::uint8_t kRtkResetBase = 15;      // a new base station or base decoder

// One measurement store of the engine.
struct EngStore {
  CpdMeas meas;
  std::int32_t count = 0;
};

// Per satellite slot and signal slot the engine's signal state; counters start at 6.
struct EngSigState {
  static constexpr std::int32_t kStartCount = 6;
  std::int32_t count[kRtkSlots][kRtkSigNum];
  EngSigState();
};

// One receiver: per-channel state and the antenna offset the base projection adds.
class Receiver {
 public:
  static constexpr double kChanStart = 100.0;
  Receiver(int channels, int signals, int type);
  Receiver(const Receiver&) = delete;
  Receiver& operator=(const Receiver&) = delete;

  int channels() const { return channels_; }
  int signals() const { return signals_; }
  int type() const { return type_; }
  double chanState(int ch) const { return state_[ch]; }
  float antOffs[3] = {0.0f, 0.0f, 0.0f};  // m

 private:
  int channels_, signals_, type_;
  std::unique_ptr<double[]> state_;
};

// The noise terms of one baseline.
struct RtkNoise {
  double phVar0 = 0.0, phVar3 = 0.0;          // squares of the phase rms of slots 0 and 3
  double phVar0x07 = 0.0, phVar3x07 = 0.0;    // the same times 0.7
  double phVar0x3 = 0.0, phVar3x3 = 0.0;      // the same times 3
  double codeVar2 = 0.0;                      // twice the square of slot 0's code rms
  double c005 = 0.0, c099 = 0.0, c001 = 0.0, c09 = 0.0;
  double phWeight = 0.0;                      // 1 / square of slot 0's phase rms
};

// The observation weights of one baseline.
struct RtkWeights {
  double phase = 0.0;  // 1 / (k sigma_phi)^2
  double code = 0.0;   // 1 / sigma_rho^2
};

// One baseline.
class BLine {
 public:
  static constexpr float kLimitStart = 10.0f;
  BLine(int channels, int dims, int number);
  BLine(const BLine&) = delete;
  BLine& operator=(const BLine&) = delete;

  int channels() const { return channels_; }
  int dims() const { return dims_; }
  int number() const { return number_; }

  std::int32_t counters[4] = {};
  std::uint8_t flags[4] = {};
  float limit[2] = {0.0f, 0.0f};
  Mat cov{3, 3};
  Mat trans{3, 3};
  RtkNoise noise;

 private:
  int channels_, dims_, number_;
};

class Engine {
 public:
  static constexpr int kEngines = 2;
  static constexpr int kStores = 4;
  static constexpr int kReceivers = 3;

  explicit Engine(CpdUtils& utils);
  Engine(const Engine&) = delete;
  Engine& operator=(const Engine&) = delete;

  // Resets a baseline (0..NUMBL-1; nothing for another): registration (with rest_opt above 0),
  // counters and flags, limits, matrices, noise terms and weights from cpdParams.
  void Reset(int bl);
  void ResetWeight();
  // Copies the current systems' inter-system weights into alpha (_ALPHAT with
  // cpdParams.dblchkWeight set, else ALPHAT), only entries initRtkSysTables filled.
  void SetAlpha();
  void rtkInit_();
  // Factor k of the phase weight of a baseline: 3.0 for baseline 1 when bit 0 of the
  // receiver-settings byte is set and either double-check flag is, else 1.0.
  static double phaseWeightFactor(int bl, std::uint8_t rcvByte, const CpdParams& p);
  static RtkNoise noiseOf(const CpdParams& p);
  static RtkWeights weightsOf(int bl, std::uint8_t rcvByte, const CpdParams& p);

  CpdUtils& utils;
  CpdMeas work;
  EngStore store[kStores];
  EngSigState sigState[kEngines];

  LMat l3[3]{LMat(3), LMat(3), LMat(3)};
  Mat v3a{3, 1}, v3b{3, 1}, m33{3, 3}, v3c{3, 1};
  LMat wL{kRtkObs};  // weights
  Mat o1{kRtkObs, 1}, o2{kRtkObs, 1}, wM{kRtkObs, kRtkObs};  // wM: weights
  LMat lState{RtkChan::kMaxState};
  Mat g3{3, kRtkObs};
  LMat lo1{kRtkObs}, lo2{kRtkObs};
  Mat c1{kRtkChannels, 1}, c2{kRtkChannels, 1};
  Mat s1{RtkChan::kMaxState, 1, 1}, s2{RtkChan::kMaxState, 1, 1};
  Mat big{kRtkObs, kRtkObs};
  Mat chanV{kRtkChannels, 1}, obsV{kRtkObs, 1}, stateV{RtkChan::kMaxState, 1};

  std::unique_ptr<Receiver> rcv[kReceivers];
  std::unique_ptr<BLine> bline[NUMBL];
  RtkWeights weights[NUMBL];
  double alpha[RtkChan::kMaxSys][2] = {};
  std::uint8_t Registered[NUMBL] = {};

  std::uint8_t resetReq[kEngines] = {};   // reset-request flag
  std::uint8_t resetCode[kEngines] = {};  // kRtkResetCmr, kRtkResetSettings, kRtkResetBase
  std::int32_t epochCount[4] = {};
  std::uint8_t eng2bl[kEngines] = {};
  std::uint8_t one = 0;
  std::int32_t numBl = 0;
  std::uint8_t dblchkWeight = 0;  // copied from cpdParams at init
  std::int32_t tune[kEngines] = {};  // heading tuning words, zeroed by the hd/tune key

  CpdMeasBuf* baseBuf = nullptr;
  CpdMeasBuf* rovBuf[2] = {};
};

extern Engine rtkEngine;
extern Engine* Eng;

// The base-projection container, defined with the base projection.
class BaseProContainer;
extern BaseProContainer BPC;

extern Cpd::Solution cpdSolution;
extern std::int32_t nEpochHard;
extern std::uint32_t tstart;  // monotonic seconds at init
extern bool bRtkFromRover;
extern const double ang_thr;  // 5 degrees in radians

// Start-up step once the base and rover buffers exist.
void rtkInit();
// Start-up step of the filter; nothing to do.
void filterInit();
