// Geoid heights from the built-in grid: one call per output position and per station.
#include <benchmark/benchmark.h>

#include <cmath>

#include "positioning/geoid/geoid_gps.h"

namespace {

constexpr double kDeg = 3.14159265358979323846 / 180.0;

void runHeights(benchmark::State& state) {
  double lat = -80.0, lon = 0.0, sum = 0.0;
  for (auto _ : state) {
    sum += GeoidGPS::getHeight(lat * kDeg, lon * kDeg);
    lat += 0.37;
    if (lat > 80.0) lat -= 160.0;
    lon += 1.13;
    if (lon > 360.0) lon -= 360.0;
  }
  benchmark::DoNotOptimize(sum);
}

void BM_GeoidBicubic(benchmark::State& state) {
  GeoidGPS::useBuiltIn();
  runHeights(state);
}
BENCHMARK(BM_GeoidBicubic);

void BM_GeoidBilinear(benchmark::State& state) {
  // The built-in grid's layout, interpolated bilinearly.
  const GeoidGPS::Descr d = {2, 0, 0.01, 0.0, 0.0, 90.0, 0.5, 0.5, 720, 361};
  std::uint32_t n = 0;
  if (std::uint8_t* buf = GeoidGPS::setDescr(d, &n)) {
    for (std::uint32_t i = 0; i < n; ++i) buf[i] = std::uint8_t(i * 31);
    GeoidGPS::install("bilinear");
  }
  runHeights(state);
  GeoidGPS::useBuiltIn();
}
BENCHMARK(BM_GeoidBilinear);

void BM_GeoidBicubicThreads(benchmark::State& state) {
  if (state.thread_index() == 0) GeoidGPS::useBuiltIn();
  runHeights(state);
}
BENCHMARK(BM_GeoidBicubicThreads)->Threads(2);

}  // namespace
