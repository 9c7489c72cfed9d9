// Cost of the reference station's epoch: the reference clock, the RTK base data, the code
// corrections and the ionosphere data, for the 14-satellite sky of the unit tests and a sky of
// 60 satellites of four systems.
#include <benchmark/benchmark.h>

#include "fixtures/base_station_model.h"
#include "positioning/base/base_processing.h"

namespace {

using namespace basemodel;

std::vector<SkySat> bigSky() {
  std::vector<SkySat> sky;
  const int systems[4] = {kSysGps, kSysGlonass, kSysGalileo, kSysBeidou};
  for (int i = 0; i < 60; ++i) {
    const int sys = systems[i % 4];
    const int n = i / 4;
    sky.push_back({sys, n, sys == kSysGlonass ? n % 14 : n, 24.0 * i + 7.0, 5.0 + (i * 37) % 85, 1e-5 * (i % 5), 0.0});
  }
  return sky;
}

void runBase(benchmark::State& state, const std::vector<SkySat>& sky) {
  Station st(sky);
  RefClockProcessor proc(&PVTDataInstance, kTruthLinks);
  const double* pos[kRefPosRecords] = {st.truth.station, st.truth.station};
  BaseSettings s;
  s.rtcmOutput = BaseOutput::kRtk | BaseOutput::kCodeCorr | BaseOutput::kIono;
  s.rtcm3Output = BaseOutput::kRtk;
  st.epoch(1);
  for (auto _ : state) {
    baseModeProcessing(pos, st.truth.station, s, proc, kTruthLinks);
    benchmark::DoNotOptimize(RtkDat.bReady);
  }
  state.counters["sats"] = static_cast<double>(RtkDat.uSatCount);
}

void BM_BaseEpoch14(benchmark::State& state) { runBase(state, mixedSky()); }
void BM_BaseEpoch60(benchmark::State& state) { runBase(state, bigSky()); }
BENCHMARK(BM_BaseEpoch14);
BENCHMARK(BM_BaseEpoch60);

}  // namespace
