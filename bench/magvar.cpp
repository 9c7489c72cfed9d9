// Cost of one magnetic declination (calcHelpMagVar: date, degree-12 synthesis, store), which the
// background task runs once a second, and of the freshness read of every epoch.
#include <benchmark/benchmark.h>

#include <cmath>

#include "positioning/geodesy/magvar.h"

namespace {
constexpr double kDeg = M_PI / 180.0;

RcvTimeScales::INT_SCALES scales2026() {
  RcvTimeScales::INT_SCALES s{};
  // 2026-03-01 12:00 GPS: seconds since 6 January 1980 as week and ms of week.
  const long long gps = 1772366400LL - 315964800LL;
  s.weekDay[0] = static_cast<int>(gps / 604800);
  s.ms[0] = static_cast<int>(gps % 604800 * 1000);
  s.flags[0] = RcvTimeScales::kTimeValid;
  return s;
}

void BM_calcHelpMagVar(benchmark::State& st) {
  magvarInitOnce();
  NavTask::NAV_POS p{};
  p.dBlh[0] = 55.7 * kDeg;
  p.dBlh[1] = 12.6 * kDeg;
  p.dBlh[2] = 40.0;
  p.bValid = 1;
  const RcvTimeScales::INT_SCALES s = scales2026();
  std::uint32_t sec = 1000000;
  for (auto _ : st) {
    calcHelpMagVar(p, s, ++sec);
    p.dBlh[0] += 1e-9;
  }
  float v = 0;
  calcMagVar(&v);
  benchmark::DoNotOptimize(v);
}
BENCHMARK(BM_calcHelpMagVar)->Unit(benchmark::kMicrosecond);

void BM_calcMagVar(benchmark::State& st) {
  float v = 0;
  for (auto _ : st) benchmark::DoNotOptimize(calcMagVar(&v));
}
BENCHMARK(BM_calcMagVar);
}  // namespace
