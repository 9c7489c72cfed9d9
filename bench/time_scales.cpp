// Cost of asking the time from any task, and of publishing an epoch's scales.
#include "positioning/time_scales.h"

#include <benchmark/benchmark.h>
#include <time.h>

namespace {

using INT_SCALES = RcvTimeScales::INT_SCALES;

void publish(int rcvMs) {
  timespec ts{};
  clock_gettime(CLOCK_REALTIME, &ts);
  SysTime t;
  t.assign(ts.tv_sec, ts.tv_nsec);
  TimeScales::epoch(t, rcvMs);
  INT_SCALES& s = TimeScales::startUpdate();
  s.ms[0] = 561618000;
  s.ms[1] = 54000000;
  s.flags[0] = s.flags[1] = 0x550;
  TimeScales::endUpdate(s, rcvMs);
}

// Keeps the published epoch younger than the 2 s limit.
void keepFresh(benchmark::State& state, unsigned& n) {
  if ((++n & 4095) == 0 && state.thread_index() == 0) publish(static_cast<int>(n));
}

void BM_NowScale(benchmark::State& state) {
  if (state.thread_index() == 0) publish(0);
  unsigned n = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(TimeScales::now(tsGps));
    keepFresh(state, n);
  }
}
BENCHMARK(BM_NowScale)->Threads(1)->Threads(4);

void BM_NowRecord(benchmark::State& state) {
  if (state.thread_index() == 0) publish(0);
  unsigned n = 0;
  INT_SCALES r;
  for (auto _ : state) {
    benchmark::DoNotOptimize(TimeScales::now(r));
    benchmark::ClobberMemory();
    keepFresh(state, n);
  }
}
BENCHMARK(BM_NowRecord)->Threads(1)->Threads(4);

void BM_PublishEpoch(benchmark::State& state) {
  int i = 0;
  for (auto _ : state) publish(++i);
}
BENCHMARK(BM_PublishEpoch);

}  // namespace
