// Cost of the satellite data store: storing an own and an external ephemeris (the external one
// hashes its content), and the once-a-second step over every satellite and almanac slot with the
// GPS pool full.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <memory>

#include "navigation_data/store/sat_data_store.h"

namespace {

SvIdType gps(int si) { return SvIdType{static_cast<std::uint8_t>(si), kSysGps, 0, static_cast<std::uint8_t>(si)}; }

void BM_StoreEphemeris(benchmark::State& state) {
  const bool external = state.range(0) != 0;
  auto s = std::make_unique<SatelliteDataProcessor>();
  ZRT_EPH_GPS e{};
  std::uint32_t k = 0;
  for (auto _ : state) {
    ++k;
    e.iodc = static_cast<std::int16_t>(k & 0x3FF);
    e.toe = k;  // new content every time
    benchmark::DoNotOptimize(s->update_EphemerisData(gps(static_cast<int>(k % 32)), 0, &e, k, true, external, false));
  }
}
BENCHMARK(BM_StoreEphemeris)->Arg(0)->Arg(1);

void BM_OnceASecondUpdate(benchmark::State& state) {
  auto s = std::make_unique<SatelliteDataProcessor>();
  ZRT_EPH_GPS e{};
  for (int k = 0; k < 56; ++k) {
    e.iodc = static_cast<std::int16_t>(k);
    s->update_EphemerisData(gps(k % 32), k / 32, &e, static_cast<std::uint32_t>(k + 1), true, false, false);
  }
  SatDataEpoch ep;
  ep.time.valid = true;
  ep.lockedValid = true;
  ep.locked[kSysGps] = 0xFFFFu;
  double t = 0;
  for (auto _ : state) {
    ep.monoSec = ++t;
    ep.time.sec[kSysGps] = t;
    s->update(ep);
  }
}
BENCHMARK(BM_OnceASecondUpdate);

}  // namespace
