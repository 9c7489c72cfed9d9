// Cost of the navigation step per epoch (one antenna input; two with separate solutions), of one
// background cycle of the navigation duties, and of the LNAV parity check on a subframe it drops.
#include <benchmark/benchmark.h>

#include "navigation_data/store/sat_data_store.h"
#include "positioning/chan_data.h"
#include "positioning/data_servers/pvt_data.h"
#include "positioning/engine/apx_nav.h"
#include "positioning/engine/nav_main.h"
#include "positioning/engine/pvt_engine.h"

namespace {

void setUp() {
  PVTEngineInstance.init_Object(&PVTDataInstance, &SatDataProcessorInstance);
  for (ChanData& c : Cdat) c.bDataPresent = 1;
  PVTEngineEpochDataType* e = PVTDataInstance.epochData.GetPointer();
  e->board.bSolAln = 1;
  e->board.solAln.uFlag2 = 1;
  for (int i = 0; i < kBoardChannels; ++i) e->board.chan[i].uState = static_cast<std::uint8_t>(i % 3 == 0 ? 0 : 1);
  PVTDataInstance.epochData.FreePointer(e);
}

void BM_NavMainOneInput(benchmark::State& state) {
  setUp();
  NavMainInputs in;
  for (auto _ : state) benchmark::DoNotOptimize(navMain(in));
}
BENCHMARK(BM_NavMainOneInput);

void BM_NavMainSeparateInputs(benchmark::State& state) {
  setUp();
  NavMainInputs in;
  in.mainInput = 1;
  in.twoInputs = true;
  in.separate = true;
  for (auto _ : state) benchmark::DoNotOptimize(navMain(in));
}
BENCHMARK(BM_NavMainSeparateInputs);

void BM_ApxNavCycle(benchmark::State& state) {
  setUp();
  std::uint32_t now = 0;
  for (auto _ : state) apxNav.cycle(now += 100001);
}
BENCHMARK(BM_ApxNavCycle);

void BM_LnavParityDrop(benchmark::State& state) {
  setUp();
  NavTask::NAV_SOL sol;
  sol.epoch.timeTag = 6000;
  PVTEngineInstance.update(100, true, &sol, nullptr);
  std::uint32_t words[10] = {0x22C34D21, 0x29D4, 0x34D44000, 0x91B1DE7, 0x1C33746E,
                             0x2F701369, 0x39F53CB5, 0x128070A8, 0x3FF454, 0x3EAFC2F1};  // last word spoiled
  const SvIdType sv{3, kSysGps, 0, 3};
  for (auto _ : state) benchmark::DoNotOptimize(PVTEngineInstance.update_GpsDataTask(words, 10, &sv, 0, 40.0f));
}
BENCHMARK(BM_LnavParityDrop);

}  // namespace
