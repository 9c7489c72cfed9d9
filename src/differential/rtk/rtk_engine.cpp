// The engine object and the globals built with it. Everything the engine's constructor reads
// is ready before any dynamic initialisation: cpdParams is constinit, the selectors and rest_opt
// are constant-initialised integers, and the slot tables are plain arrays.
#include "differential/rtk/rtk_engine.h"

#include <cstdio>

#include "differential/base/cpd_meas_buf.h"
#include "differential/base/cpd_utils.h"
#include "platform/mono_clock.h"
#include "settings/debug_selectors.h"
#include "settings/rcv_settings.h"

int fast_rtk_dbi = 0;
int mult_dbi = 0;
int rest_opt = 0;

RtkSync rtkSync;

EngSigState::EngSigState() {
  for (auto& s : count)
    for (std::int32_t& c : s) c = kStartCount;
}

Receiver::Receiver(int channels, int signals, int type)
    : channels_(channels), signals_(signals), type_(type), state_(new double[channels > 0 ? channels : 1]) {
  for (int i = 0; i < channels_; ++i) state_[i] = kChanStart;
}

BLine::BLine(int channels, int dims, int number) : channels_(channels), dims_(dims), number_(number) {}

// ---- noise terms and weights ----------------------------------------------------------------------
RtkNoise Engine::noiseOf(const CpdParams& p) {
  RtkNoise n;
  const double ph0 = p.slot[0].phaseRms * p.slot[0].phaseRms;
  const double ph3 = p.slot[3].phaseRms * p.slot[3].phaseRms;
  n.phVar0 = ph0;
  n.phVar3 = ph3;
  n.phVar0x07 = 0.7 * ph0;
  n.phVar3x07 = 0.7 * ph3;
  n.phVar0x3 = 3.0 * ph0;
  n.phVar3x3 = 3.0 * ph3;
  n.codeVar2 = 2.0 * p.slot[0].codeRms * p.slot[0].codeRms;
  n.c005 = 0.05;
  n.c099 = 0.99;
  n.c001 = 0.01;
  n.c09 = 0.9;
  n.phWeight = 1.0 / ph0;
  return n;
}

double Engine::phaseWeightFactor(int bl, std::uint8_t rcvByte, const CpdParams& p) {
  const bool dbl = p.dblchk || p.dblchkWeight != 0;
  return bl == 1 && (rcvByte & 1u) != 0 && dbl ? 3.0 : 1.0;
}

RtkWeights Engine::weightsOf(int bl, std::uint8_t rcvByte, const CpdParams& p) {
  const double k = phaseWeightFactor(bl, rcvByte, p);
  const double sp = k * p.slot[0].phaseRms;
  const double sc = p.slot[0].codeRms;
  return RtkWeights{1.0 / (sp * sp), 1.0 / (sc * sc)};
}

// ---- the engine ---------------------------------------------------------------------------------
Engine::Engine(CpdUtils& u) : utils(u) {
  rcv[0] = std::make_unique<Receiver>(kRtkChannels, kRtkSigNum, 1);
  rcv[1] = std::make_unique<Receiver>(kRtkChannels, kRtkSigNum, 2);
  rcv[2] = std::make_unique<Receiver>(kRtkChannels, kRtkSigNum, 2);
  for (int b = 0; b < NUMBL; ++b) bline[b] = std::make_unique<BLine>(kRtkChannels, 2, b);
  for (int b = 0; b < NUMBL; ++b) Reset(b);
  // The system list first: the alpha copy and the state matrix follow it.
  RtkChan::defaultUsableSys();
  RtkChan::assignUsableSys_z(0);
  RtkChan::assignUsableSys_z(1);
  initRtkSysTables();
  lState.Reset(RtkChan::curStateNum);
  SetAlpha();
  ResetWeight();
}

void Engine::Reset(int bl) {
  if (bl < 0 || bl >= NUMBL) return;
  if (rest_opt > 0) Registered[bl] = 0;
  BLine& b = *bline[bl];
  for (std::int32_t& c : b.counters) c = 0;
  for (std::uint8_t& f : b.flags) f = 0;
  for (float& l : b.limit) l = BLine::kLimitStart;
  b.cov.Zero();
  b.cov.Ident();
  b.trans.Zero();
  b.trans.Ident();
  b.noise = noiseOf(cpdParams);
  weights[bl] = weightsOf(bl, RcvSet.bl1PhaseWeight, cpdParams);
  if (fast_rtk_dbi > 0 || rtk_cpd_dbi == 1) std::printf(" SLOW RESET bl %d %f\r\n", bl, MonoClock::ms() / 1000.0);
}

void Engine::ResetWeight() {
  wL.Zero();
  wM.Zero();
}

void Engine::SetAlpha() {
  const auto& table = cpdParams.dblchkWeight != 0 ? _ALPHAT : ALPHAT;
  // Only the current systems' entries were filled; the first system is the reference.
  const int n = RtkChan::curSysNum < RtkChan::kMaxSys ? RtkChan::curSysNum : RtkChan::kMaxSys;
  for (int i = 1; i < n; ++i) {
    alpha[i][0] = table[i][0];
    alpha[i][1] = table[i][1];
  }
}

void Engine::rtkInit_() {
  eng2bl[0] = 0;
  eng2bl[1] = 1;
  one = 1;
  numBl = NUMBL;
  dblchkWeight = cpdParams.dblchkWeight;
  if (fast_rtk_dbi >= 1 || mult_dbi >= 1) std::printf("init_ %d %d NUMBL %d\n", eng2bl[0], eng2bl[1], numBl);
}

Engine rtkEngine(CpdUtilsInstance);
Engine* Eng = &rtkEngine;

Cpd::Solution cpdSolution;
std::int32_t nEpochHard = 0;
std::uint32_t tstart = 0;
bool bRtkFromRover = false;
const double ang_thr = 5.0 / 57.29577951308232;

void rtkInit() {
  nEpochHard = 0;
  tstart = MonoClock::sec();
  for (std::int32_t& c : Eng->epochCount) c = 0;
  Eng->baseBuf = pBaseMeasBuf;
  for (int i = 0; i < 2; ++i) Eng->rovBuf[i] = pRovMeasBuf[i];
  Eng->rtkInit_();
}

void filterInit() {}

// ---- synchronisation ------------------------------------------------------------------------------
bool waitForAmb(int eng) {
  if (eng < 0 || eng >= RtkSync::kEngines) return false;
  rtkSync.ambReady[eng].lock();
  return true;
}

bool ambRelease(int eng) {
  if (eng < 0 || eng >= RtkSync::kEngines) return false;
  rtkSync.ambReady[eng].unlock();
  return true;
}

void waitForProj(int) { rtkSync.projReady.lock(); }
void projRelease(int) { rtkSync.projReady.unlock(); }

void SlowRelease(int i) {
  if (i >= 0 && i < 2) rtkSync.sSlow[i].post();
}
