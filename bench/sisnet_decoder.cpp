// Throughput of the SISNeT stream decoder, fed in chunks the size a port delivers: a stream of
// good lines (unpacked, checked and decoded by the SBAS decoder) and random text with line starts
// sprinkled in (synchronisation and rejection only).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <random>
#include <string>

#include "differential/sisnet_decoder.h"
#include "platform/crc.h"
#include "positioning/data_servers/pvt_data.h"
#include "positioning/engine/pvt_engine.h"

namespace {

void prepare() {
  PVTEngineInstance.init_Object(&PVTDataInstance, nullptr);
  PosData::RcvTimeDataType t{};
  t.gps.ulMs = 108119000;
  t.gps.uWeek = 1481;
  t.gps.uStatus[0] = 1;
  PVTDataInstance.rcvTime.Put(&t);
}

// A fast-correction message (MT2) with a spread of values, as one packed line.
std::string mt2Line() {
  std::uint8_t m[32] = {0x53, 0x08};  // preamble, type 2
  for (int i = 2; i < 28; ++i) m[i] = static_cast<std::uint8_t>(i * 37);
  m[28] &= 0xC0;
  const std::uint32_t crc = crc24q(0, m, 226);
  for (int i = 0; i < 24; ++i)
    if ((crc >> (23 - i)) & 1u) m[(226 + i) / 8] = static_cast<std::uint8_t>(m[(226 + i) / 8] | (0x80u >> ((226 + i) % 8)));
  std::uint8_t x = 0;
  for (std::uint8_t b : m) x ^= b;
  std::string s = "*MSG,1481,108118,";
  static const char* digits = "0123456789ABCDEF";
  for (int i = 0; i < 63; ++i) s += digits[(m[i / 2] >> (i % 2 == 0 ? 4 : 0)) & 0xF];
  char tail[8];
  std::snprintf(tail, sizeof tail, "*%02X\n", x);
  return s + tail;
}

void run(benchmark::State& state, const std::string& data) {
  prepare();
  SisnetDataDecoder dec;
  const std::size_t chunk = static_cast<std::size_t>(state.range(0));
  const auto* p = reinterpret_cast<const std::uint8_t*>(data.data());
  for (auto _ : state) {
    for (std::size_t off = 0; off < data.size(); off += chunk)
      dec.process(p + off, static_cast<int>(std::min(chunk, data.size() - off)), 0);
    benchmark::DoNotOptimize(dec.status().messages);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * data.size()));
  state.counters["messages"] = dec.status().messages;
}

void BM_GoodLines(benchmark::State& state) {
  std::string s;
  const std::string l = mt2Line();
  while (s.size() < 64 * 1024) s += l;
  run(state, s);
}
BENCHMARK(BM_GoodLines)->Arg(64)->Arg(1024);

void BM_Noise(benchmark::State& state) {
  std::mt19937 rng(7);
  std::string s;
  while (s.size() < 64 * 1024) {
    const std::uint32_t r = rng();
    s += (r & 0x3F) == 0 ? std::string("\n*MSG,") : std::string(1, static_cast<char>(r >> 24));
  }
  run(state, s);
}
BENCHMARK(BM_Noise)->Arg(1024);

}  // namespace
