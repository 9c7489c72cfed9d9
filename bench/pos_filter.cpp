// Cost of one epoch of the output position filter: the speed, then the fix, as the output
// parameters feed them, with the running mean and with the adaptive weight.
#include <benchmark/benchmark.h>

#include <random>

#include "positioning/reference/pos_filter.h"

namespace {

void BM_PosFilterEpoch(benchmark::State& st) {
  PosFilter f;
  f.setWeight(st.range(0) != 0);
  f.setSpdMode(true);
  std::mt19937 rng(3);
  std::normal_distribution<double> noise(0.0, 1.5);
  double fixes[64][3], rms[64], speed[64];
  for (int i = 0; i < 64; ++i) {
    for (int k = 0; k < 3; ++k) fixes[i][k] = 4027894.0 + noise(rng);
    rms[i] = 1.0 + 0.1 * noise(rng) * noise(rng);
    speed[i] = 2.0 + 0.1 * noise(rng);
  }
  std::uint32_t t = 1000000;
  int i = 0;
  for (auto _ : st) {
    f.putVelocity(speed[i & 63]);
    double out[3], rmsOut = 0;
    int n = 0;
    benchmark::DoNotOptimize(f.putPosition(rms[i & 63], fixes[i & 63], rmsOut, out, n, t));
    benchmark::DoNotOptimize(out);
    ++i;
    t += (i & 7) == 0;
  }
}
BENCHMARK(BM_PosFilterEpoch)->Arg(0)->Arg(1);

}  // namespace
