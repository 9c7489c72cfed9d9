// "GE" messages from outside through the native reader and the record decoder into the
// satellite data store: 32 GPS ephemerides whose content changes every round, so that each one
// is stored (the store takes an external record only when its content is new).
#include <benchmark/benchmark.h>

#include <bit>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "gnss_link/zrt_alm_decoder.h"
#include "gnss_link/zrt_decoder.h"

namespace {

std::string le(std::uint64_t v, int bytes) {
  std::string s;
  for (int i = 0; i < bytes; ++i) s += static_cast<char>((v >> (8 * i)) & 0xFF);
  return s;
}
std::string f32(float f) { return le(std::bit_cast<std::uint32_t>(f), 4); }
std::string f64(double d) { return le(std::bit_cast<std::uint64_t>(d), 8); }

std::string frame(const std::string& body) {
  char hdr[8];
  std::snprintf(hdr, sizeof hdr, "GE%03X", static_cast<unsigned>(body.size() + 1));
  std::string m = std::string(hdr) + body;
  unsigned c = 0;
  for (unsigned char b : m) c = (((c ^ b) << 2) | ((c ^ b) >> 6)) & 0xFFu;
  return m + static_cast<char>(c);
}

std::string ge(int prn, int round) {
  std::string b(1, static_cast<char>(prn));
  b += le(345600, 4) + '\0' + le(static_cast<std::uint16_t>(round & 0x3FF), 2) + le(345600, 4) + le(1590, 2) + '\0' + '\0';
  b += f32(-1.9e-8f) + f32(0) + f32(-4e-12f) + f32(-1.36e-4f) + le(static_cast<std::uint16_t>(round & 0xFF), 2) +
       le(345600, 4);
  b += f64(5154.8) + f64(0.0048) + f64(0.97 + 1e-6 * round) + f64(0.93) + f64(0.307) + f64(0.28);
  for (float v : {1.5e-9f, -2.6e-9f, -5.5e-11f, 278.4f, -89.75f, -4.76e-6f, 5.46e-6f, 5.6e-9f, -9.3e-8f}) b += f32(v);
  return frame(b);
}

void BM_GeThroughTheStore(benchmark::State& state) {
  static ZrtDecoder dec;
  static ZrtAlmDecoder alm;
  alm.setHandlers(dec.filter());
  int round = 0;
  std::vector<std::string> msgs;
  for (auto _ : state) {
    state.PauseTiming();
    msgs.clear();
    ++round;
    for (int prn = 1; prn <= 32; ++prn) msgs.push_back(ge(prn, round));
    state.ResumeTiming();
    for (const std::string& m : msgs) dec.process(m.data(), static_cast<int>(m.size()));
  }
  state.SetItemsProcessed(state.iterations() * 32);
  state.counters["us_per_GE"] = benchmark::Counter(static_cast<double>(state.iterations() * 32),
                                                   benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
  state.counters["taken"] = static_cast<double>(alm.counters().taken);
}
BENCHMARK(BM_GeThroughTheStore);

}  // namespace

BENCHMARK_MAIN();
