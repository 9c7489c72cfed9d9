// Cost of the channel data's per-epoch work: every one of the 182 channels with six signals
// tracked, carrier phase on all of them and two frequencies for the ionosphere.
#include <benchmark/benchmark.h>

#include "positioning/chan_data.h"

namespace {

constexpr double kC = 299792458.0;
constexpr double kFreq[kCdatSlots] = {1575.42e6, 1575.42e6, 1227.60e6,
                                      1227.60e6, 1176.45e6, 1176.45e6};

void mapAll() {
  for (int ch = 0; ch < kCdatChannels; ++ch)
    for (int slot = 0; slot < kCdatSlots; ++slot)
      ChanData::mapSlot(ch, slot, ch * kCdatSlots + slot);
}

// What the decoder writes into a channel each epoch.
void fill(int ch, int epoch) {
  const double range = 20.0e6 + 1.0e4 * ch + (-600.0 + 7.0 * ch) * epoch;
  const double iono = 40.3 * 25e16;
  for (int slot = 0; slot < kCdatSlots; ++slot) {
    ChanSigData* s = Cdat[ch].sig(slot);
    const double f = kFreq[slot];
    const double noise = 0.3 * (((epoch * 7 + ch * 13 + slot * 5) % 11) - 5) / 5.0;
    s->code = (range + iono / (f * f) + noise) / kC;
    s->phase = (range - iono / (f * f)) * f / kC + 1000.0 * slot;
    s->freq = f;
    s->cn0 = 40.0f + slot;
    s->flags = ChanSigData::kValid | ChanSigData::kPhase;
  }
}

// The channel data's part of an epoch: the slots re-initialised at the start, the
// measurements written, and the after-epoch processing of every channel.
void BM_ChanDataEpoch(benchmark::State& state) {
  mapAll();
  int epoch = 0;
  for (auto _ : state) {
    for (int ch = 0; ch < kCdatChannels; ++ch) {
      Cdat[ch].initSlots();
      fill(ch, epoch);
    }
    for (ChanData& c : Cdat) c.processAfter();
    ++epoch;
    benchmark::ClobberMemory();
  }
  state.SetLabel("182 channels x 6 signals");
}
BENCHMARK(BM_ChanDataEpoch)->Unit(benchmark::kMicrosecond);

// processAfter alone: the measurements are written outside the timed part.
void BM_ProcessAfter(benchmark::State& state) {
  mapAll();
  int epoch = 0;
  for (auto _ : state) {
    state.PauseTiming();
    for (int ch = 0; ch < kCdatChannels; ++ch) {
      Cdat[ch].initSlots();
      fill(ch, epoch);
    }
    state.ResumeTiming();
    for (ChanData& c : Cdat) c.processAfter();
    ++epoch;
    benchmark::ClobberMemory();
  }
  state.SetLabel("182 channels x 6 signals");
}
BENCHMARK(BM_ProcessAfter)->Unit(benchmark::kMicrosecond);

}  // namespace
