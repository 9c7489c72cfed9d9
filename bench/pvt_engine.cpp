// Cost of the position engine's roads: one epoch through update (receiver time, 91 channels,
// the solution), a full GPS ring drained through the dispatch, and the LNAV repack.
#include <benchmark/benchmark.h>

#include "navigation_data/store/sat_data_store.h"
#include "positioning/chan_data.h"
#include "positioning/engine/pvt_engine.h"

namespace {

void BM_EpochUpdate(benchmark::State& state) {
  PVTEngineInstance.init_Object(&PVTDataInstance, &SatDataProcessorInstance);
  PVTEngineEpochDataType* e = PVTDataInstance.epochData.GetPointer();
  e->board.bSolAln = 1;
  e->board.solAln.uFlag2 = 1;
  for (int i = 0; i < kCdatPerInput; ++i) {
    Cdat[i].bDataPresent = 1;
    e->board.chan[i].uSatByte[0] = static_cast<std::uint8_t>(i % 7);
    e->board.chan[i].uSatByte[1] = static_cast<std::uint8_t>(i % 13);
    e->board.chan[i].uState = i % 5 == 0 ? 22 : 0;
  }
  NavTask::NAV_SOL sol;
  sol.epoch.gpsWeek = 2300;
  for (auto _ : state) {
    sol.epoch.gpsMs += 100;
    benchmark::DoNotOptimize(PVTEngineInstance.update(100, true, &sol, Cdat));
  }
}
BENCHMARK(BM_EpochUpdate);

// 79 LNAV subframes (a full ring) read and handed to the dispatch per iteration.
void BM_GpsRingDrain(benchmark::State& state) {
  PVTEngineInstance.init_Object(&PVTDataInstance, &SatDataProcessorInstance);
  NavTask::NAV_SOL sol;
  PVTEngineInstance.update(100, true, &sol, Cdat);  // a receiver-time record
  CorrData::GpsRawMessageType g{};
  g.uCount = 10;
  for (auto _ : state) {
    state.PauseTiming();
    for (int i = 0; i < 79; ++i) {
      g.uSv = static_cast<std::uint8_t>(1 + i % 32);
      GpsRawMessageData.append(g);
    }
    state.ResumeTiming();
    PVTEngineInstance.update_RawNavDataFromBoardDec();
  }
  state.SetItemsProcessed(state.iterations() * 79);
}
BENCHMARK(BM_GpsRingDrain);

void BM_RepackLnav(benchmark::State& state) {
  std::uint32_t in[10], out[10];
  for (int i = 0; i < 10; ++i) in[i] = 0x22C34D21u + 977u * i;
  for (auto _ : state) {
    repack_Buffer(10, 2, in, out);
    benchmark::DoNotOptimize(out);
    in[0] ^= 1;
  }
}
BENCHMARK(BM_RepackLnav);

}  // namespace
