// Cost of one DFMC message through the decoder pool: an MT32 publishing one satellite's
// corrections, an MT34 changing the DFREIs of the 92 slots of a full mask, and an MT31.
#include <benchmark/benchmark.h>

#include <cstdint>

#include "positioning/data_servers/pvt_data.h"
#include "positioning/sbas/dfmc_sbas_data_decoder.h"

namespace {

void put(std::uint8_t* b, int pos, int n, std::uint32_t v) {
  for (int i = 0; i < n; ++i) {
    const int bit = pos + 9 + i;
    if ((v >> (n - 1 - i)) & 1u) b[bit / 8] |= static_cast<std::uint8_t>(0x80u >> (bit % 8));
  }
}

struct Messages {
  std::uint8_t mask[32] = {0x57, 0xC0};  // type 31
  std::uint8_t mt32[32] = {0x58, 0x00};
  std::uint8_t mt34[32] = {0x58, 0x80};
  Messages() {
    for (int p = 1; p <= 110; ++p) put(mask, p, 1, 1);
    put(mask, 215, 2, 1);
    put(mt32, 1, 8, 5);
    put(mt32, 19, 11, 300);
    put(mt32, 209, 4, 3);
    for (int i = 0; i < 92; ++i) put(mt34, 1 + 2 * i, 2, i % 3);
    put(mt34, 213, 2, 1);
  }
};

PosData::RcvTimeDataType at(std::uint32_t ms) {
  PosData::RcvTimeDataType t{};
  t.gps.ulMs = ms;
  t.gps.uWeek = 2300;
  t.gps.uStatus[0] = 1;
  return t;
}

void BM_DfmcCorrectionMessage(benchmark::State& state) {
  const Messages m;
  const SvIdType geo{30, kSysSbas, 0, 30};  // no settings block
  DFMC_SbasDataDecoder& d = DFMC_SbasDataDecoderInstance[0];
  d.init_Object(&PVTDataInstance, nullptr);
  d.update(at(100000), geo, m.mask);
  std::uint32_t ms = 101000;
  for (auto _ : state) {
    benchmark::DoNotOptimize(d.update(at(ms), geo, m.mt32));
    ms = ms >= 500000 ? 101000 : ms + 1000;
  }
}

void BM_DfmcDfreChangeMessage(benchmark::State& state) {
  const Messages m;
  const SvIdType geo{31, kSysSbas, 0, 31};
  DFMC_SbasDataDecoder& d = DFMC_SbasDataDecoderInstance[1];
  d.init_Object(&PVTDataInstance, nullptr);
  d.update(at(100000), geo, m.mask);
  std::uint8_t mt32[32];
  // Every satellite of the mask with corrections and a DFREI, refreshed each round.
  std::uint32_t ms = 101000;
  for (auto _ : state) {
    state.PauseTiming();
    for (int s = 1; s <= 110; ++s) {
      for (int i = 0; i < 32; ++i) mt32[i] = m.mt32[i];
      mt32[1] = static_cast<std::uint8_t>(s >> 2);
      mt32[2] = static_cast<std::uint8_t>((s & 3) << 6);
      d.update(at(ms), geo, mt32);
    }
    state.ResumeTiming();
    benchmark::DoNotOptimize(d.update(at(ms), geo, m.mt34));
    ms = ms >= 500000 ? 101000 : ms + 1000;
  }
}

void BM_DfmcPrnMaskMessage(benchmark::State& state) {
  const Messages m;
  const SvIdType geo{30, kSysSbas, 0, 30};
  DFMC_SbasDataDecoder& d = DFMC_SbasDataDecoderInstance[2];
  d.init_Object(&PVTDataInstance, nullptr);
  std::uint32_t ms = 100000;
  for (auto _ : state) {
    benchmark::DoNotOptimize(d.update(at(ms), geo, m.mask));
    ms = ms >= 500000 ? 100000 : ms + 1000;
  }
}

}  // namespace

BENCHMARK(BM_DfmcCorrectionMessage);
BENCHMARK(BM_DfmcDfreChangeMessage);
BENCHMARK(BM_DfmcPrnMaskMessage);
