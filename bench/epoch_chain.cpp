// Cost of the per-epoch chain as built (signalMeasReady): 182 channels with six tracked signals
// each, post-processed on the measurement grid, then every later step of the chain. The
// measurements the decoder writes each epoch are filled outside the timing.
#include <benchmark/benchmark.h>

#include "gnss_link/meas_proc.h"
#include "positioning/chan_data.h"
#include "positioning/rcv_time_scales.h"

namespace {

constexpr double kC = 299792458.0;
constexpr double kFreq[kCdatSlots] = {1575.42e6, 1575.42e6, 1227.60e6, 1227.60e6, 1176.45e6, 1176.45e6};

void mapAll() {
  for (int ch = 0; ch < kCdatChannels; ++ch)
    for (int slot = 0; slot < kCdatSlots; ++slot) ChanData::mapSlot(ch, slot, ch * kCdatSlots + slot);
}

void fill(int epoch) {
  for (int ch = 0; ch < kCdatChannels; ++ch) {
    Cdat[ch].initSlots();
    Cdat[ch].bDataPresent = 1;
    Cdat[ch].sysCode = static_cast<std::uint8_t>(ch % 7);
    const double range = 20.0e6 + 1.0e4 * ch + (-600.0 + 7.0 * ch) * epoch * 0.1;
    const double iono = 40.3 * 25e16;
    for (int slot = 0; slot < kCdatSlots; ++slot) {
      ChanSigData* s = Cdat[ch].sig(slot);
      const double f = kFreq[slot];
      s->code = (range + iono / (f * f)) / kC;
      s->phase = (range - iono / (f * f)) * f / kC + 1000.0 * slot;
      s->doppler = 600.0 - 7.0 * ch;
      s->freq = f;
      s->cn0 = 40.0f + slot;
      s->flags = ChanSigData::kValid | ChanSigData::kPhase;
    }
  }
}

// GPS time of day `t` on 2024-06-01, UTC known.
void setEpoch(long t) {
  RcvTimeScales::INT_SCALES& s = RcvTimeScales::Req;
  s.ms[0] = 6 * 86400000 + static_cast<std::int32_t>(t % 86400000);
  s.weekDay[0] = 268;
  s.cycle[0] = 2;
  s.sysUtc[0] = 18;
  s.flags[0] = 0x570;
  s.ms[1] = static_cast<std::int32_t>((t - 18000 + 3 * 3600000) % 86400000);
}

// Epochs `stepMs` apart with measurement interval `ms`; per epoch.
void run(benchmark::State& state, long stepMs, int ms) {
  mapAll();
  msInt = ms;
  long t = 43200000;
  int epoch = 0;
  for (auto _ : state) {
    state.PauseTiming();
    fill(epoch++);
    setEpoch(t);
    t += stepMs;
    state.ResumeTiming();
    signalMeasReady();
  }
  state.SetItemsProcessed(state.iterations());
}

// Every epoch a whole second: every step runs.
void BM_EpochChainWholeSecond(benchmark::State& state) { run(state, 1000, -1); }
// 10 Hz epochs with a 1000 ms measurement interval: the mean over the second.
void BM_EpochChain10HzMsInt1000(benchmark::State& state) { run(state, 100, 1000); }

// The output values of both antenna inputs (182 channels, 91 used on each, a velocity).
void BM_RcvOutputComputeParams(benchmark::State& state) {
  fill(0);
  NavTask::NAV_SOL sol[2];
  for (int a = 0; a < 2; ++a) {
    sol[a].pos.dXyz[0] = 4193000.0, sol[a].pos.dXyz[1] = 800000.0, sol[a].pos.dXyz[2] = 4724000.0;
    sol[a].pos.dVel[0] = 1.0, sol[a].pos.dVel[1] = 2.0;
    sol[a].pos.bValid = sol[a].pos.bVelValid = sol[a].pos.bAccValid = 1;
    sol[a].uNumUsed = NavTask::NAV_SOL::kMaxSats;
    for (int k = 0; k < NavTask::NAV_SOL::kMaxSats; ++k) sol[a].uUsedChan[k] = static_cast<std::uint8_t>(a * 91 + k);
    rcvOut_Ant[a].pNavSol = &sol[a];
    rcvOut_Ant[a].bSolPresent = 1;
    rcvOut_Ant[a].chanBase = a * kCdatPerInput;
  }
  for (auto _ : state) {
    rcvOut_Ant[0].computeParams();
    rcvOut_Ant[1].computeParams();
    benchmark::DoNotOptimize(rcvOut_Ant[1].sol.course);
  }
}

// The same with an RTK solution on the main input: covariances rotated, both bases converted,
// every one of its 91 channels an RTK satellite to mark (the used-channel list is full already).
void BM_RcvOutputComputeParamsRtk(benchmark::State& state) {
  fill(0);
  NavTask::NAV_SOL sol[2];
  static RTK_SOL rtk;
  static RTK_MARK_CHAN chans[kCdatPerInput];
  rtk.state = 2;
  rtk.bPosKnown = rtk.bVelPresent = 1;
  const double x[3] = {4193000.0, 800000.0, 4724000.0};
  for (int i = 0; i < 3; ++i) rtk.rover[i] = x[i], rtk.base[i] = x[i] - 40.0, rtk.baseline[i] = 40.0;
  rtk.posCov[0] = rtk.posCov[3] = rtk.posCov[5] = 1e-4;
  rtk.velCov[0] = rtk.velCov[3] = rtk.velCov[5] = 1e-4;
  rtk.cof[0] = rtk.cof[4] = rtk.cof[7] = rtk.cof[9] = 1.0;
  rtk.satCount[0][0] = 8;
  for (int k = 1; k < RTK_SOL::kUseEntries; ++k) rtk.use[k] = 1;
  for (int k = 0; k < kCdatPerInput; ++k) chans[k] = {1, 0, static_cast<std::int16_t>(1 + k % 32), 0};
  for (int a = 0; a < 2; ++a) {
    sol[a].pos.dXyz[0] = x[0], sol[a].pos.dXyz[1] = x[1], sol[a].pos.dXyz[2] = x[2];
    sol[a].pos.bValid = sol[a].pos.bVelValid = sol[a].pos.bAccValid = 1;
    rcvOut_Ant[a].pNavSol = &sol[a];
    rcvOut_Ant[a].bSolPresent = 1;
    rcvOut_Ant[a].chanBase = a * kCdatPerInput;
  }
  rcvOut_Ant[0].bRtkAvail = rcvOut_Ant[0].bHeadingAvail = 1;
  rcvOut_Ant[0].pRtkSol = &rtk;
  rcvOut_Ant[0].pChans = chans;
  rcvOut_Ant[0].nChans = kCdatPerInput;
  for (auto _ : state) {
    sol[0].uNumUsed = sol[1].uNumUsed = 0;
    rcvOut_Ant[0].computeParams();
    rcvOut_Ant[1].computeParams();
    benchmark::DoNotOptimize(rcvOut_Ant[0].sol.heading);
  }
  rcvOut_Ant[0].pRtkSol = nullptr;
  rcvOut_Ant[0].pChans = nullptr;
  rcvOut_Ant[0].bRtkAvail = rcvOut_Ant[0].bHeadingAvail = 0;
}

BENCHMARK(BM_RcvOutputComputeParams)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RcvOutputComputeParamsRtk)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_EpochChainWholeSecond)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_EpochChain10HzMsInt1000)->Unit(benchmark::kMicrosecond);

}  // namespace
