// Cost of one SBAS L1 message through the decoder pool: a fast-correction message of 13
// satellites (publishing each with its range rate), a PRN mask, a long-term message of two
// satellites, an IGP band mask naming 201 grid points and a delay block of 15 of them.
#include <benchmark/benchmark.h>

#include <cstdint>

#include "positioning/data_servers/pvt_data.h"
#include "positioning/sbas/sbas_data_decoder.h"

namespace {

void put(std::uint8_t* b, int pos, int n, std::uint32_t v) {
  for (int i = 0; i < n; ++i) {
    const int bit = pos + 13 + i;
    if ((v >> (n - 1 - i)) & 1u) b[bit / 8] |= static_cast<std::uint8_t>(0x80u >> (bit % 8));
  }
}

struct Messages {
  std::uint8_t mask[32] = {0x53, 0x04};
  std::uint8_t mt7[32] = {0x53, 0x1C};
  std::uint8_t fast[32] = {0x53, 0x08};
  Messages() {
    for (int p = 1; p <= 32; ++p) put(mask, p, 1, 1);
    put(mask, 211, 2, 1);
    put(mt7, 5, 2, 1);
    for (int i = 0; i < 32; ++i) put(mt7, 9 + 4 * i, 4, 5);
    put(fast, 3, 2, 1);
    for (int i = 0; i < 13; ++i) put(fast, 5 + 12 * i, 12, static_cast<std::uint32_t>(8 * i));
  }
};

PosData::RcvTimeDataType at(std::uint32_t ms) {
  PosData::RcvTimeDataType t{};
  t.gps.ulMs = ms;
  t.gps.uWeek = 2300;
  t.gps.uStatus[0] = 1;
  return t;
}

void BM_SbasFastCorrectionMessage(benchmark::State& state) {
  const Messages m;
  const SvIdType geo{9, kSysSbas, 0, 9};
  SbasDataDecoder& d = SbasDataDecoderInstance[0];
  d.init_Object(&PVTDataInstance, nullptr);
  d.update(at(100000), geo, m.mask);
  d.update(at(101000), geo, m.mt7);
  std::uint32_t ms = 102000;
  for (auto _ : state) {
    benchmark::DoNotOptimize(d.update(at(ms), geo, m.fast));
    ms = ms >= 500000 ? 102000 : ms + 1000;
  }
}

void BM_SbasPrnMaskMessage(benchmark::State& state) {
  const Messages m;
  const SvIdType geo{30, kSysSbas, 0, 30};  // no settings block: decoding and slots alone
  SbasDataDecoder& d = SbasDataDecoderInstance[1];
  d.init_Object(&PVTDataInstance, nullptr);
  std::uint32_t ms = 100000;
  for (auto _ : state) {
    benchmark::DoNotOptimize(d.update(at(ms), geo, m.mask));
    ms = ms >= 500000 ? 100000 : ms + 1000;
  }
}

struct GridMessages {
  std::uint8_t mask[32] = {0x53, 0x04};
  std::uint8_t igp[32] = {0x53, 0x48};    // type 18
  std::uint8_t delay[32] = {0x53, 0x68};  // type 26
  std::uint8_t lt[32] = {0x53, 0x64};     // type 25
  GridMessages() {
    for (int p = 1; p <= 32; ++p) put(mask, p, 1, 1);
    put(mask, 211, 2, 1);
    put(igp, 1, 4, 9);
    put(igp, 5, 4, 2);
    for (int b = 0; b < 201; ++b) put(igp, 11 + b, 1, 1);
    put(delay, 1, 4, 2);
    put(delay, 5, 4, 3);
    for (int i = 0; i < 15; ++i) put(delay, 9 + 13 * i, 9, static_cast<std::uint32_t>(20 + i));
    for (int h = 0; h < 2; ++h) {
      const int p = 1 + 106 * h;
      put(lt, p, 1, 1);
      put(lt, p + 1, 6, static_cast<std::uint32_t>(3 + h));
      put(lt, p + 15, 11, 100);
      put(lt, p + 104, 2, 1);
    }
  }
};

void BM_SbasGridMessages(benchmark::State& state) {
  const GridMessages m;
  const SvIdType geo{10, kSysSbas, 0, 10};
  SbasDataDecoder& d = SbasDataDecoderInstance[2];
  d.init_Object(&PVTDataInstance, nullptr);
  d.update(at(100000), geo, m.mask);
  const std::uint8_t* msg = state.range(0) == 0 ? m.igp : (state.range(0) == 1 ? m.delay : m.lt);
  if (state.range(0) != 0) d.update(at(100500), geo, m.igp);
  std::uint32_t ms = 101000;
  for (auto _ : state) {
    benchmark::DoNotOptimize(d.update(at(ms), geo, msg));
    ms = ms >= 500000 ? 101000 : ms + 1000;
  }
}

}  // namespace

BENCHMARK(BM_SbasGridMessages)->Arg(0)->Arg(1)->Arg(2)->ArgNames({"igp_delay_lt"});
BENCHMARK(BM_SbasFastCorrectionMessage);
BENCHMARK(BM_SbasPrnMaskMessage);
