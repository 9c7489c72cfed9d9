// Cost of the GLONASS L3 decoder per string: a frame of strings 1 to 5 of one satellite in turn,
// so every fifth string completes an ephemeris pair (identity and the store) and the time
// parameters once the ephemeris is stored.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "navigation_data/decoders/glonass_l3_decoder.h"

namespace {

void put(std::vector<std::uint32_t>& w, int pos, int n, long long v) {
  const unsigned long long raw =
      v < 0 ? (static_cast<unsigned long long>(-v) | (1ull << (n - 1))) : static_cast<unsigned long long>(v);
  for (int i = 0; i < n; ++i) {
    const int bit = pos - 1 + i;
    if ((raw >> (n - 1 - i)) & 1u) w[static_cast<std::size_t>(bit / 32)] |= 0x80000000u >> (bit % 32);
  }
}

std::vector<std::uint32_t> string(int type) {
  std::vector<std::uint32_t> w(10, 0);
  put(w, 21, 3, type);
  if (type == 1) {
    put(w, 57, 5, 5);
    put(w, 65, 17, 37800);
    put(w, 97, 29, -123456789);
    put(w, 162, 32, 987654321);
  } else if (type == 2) {
    put(w, 58, 32, -1000000000);
    put(w, 90, 32, 800000000);
    put(w, 122, 32, 1200000000);
    put(w, 154, 30, -50000000);
    put(w, 184, 30, 60000000);
  }
  return w;
}

void BM_GloL3DecodeString(benchmark::State& st) {
  std::vector<std::uint32_t> s[5];
  for (int k = 0; k < 5; ++k) s[k] = string(k + 1);
  for (auto& d : GloL3NavDataDecoderPool) d.init_Object(&SatDataProcessorInstance);
  SvIdType sv{9, kSysGlonass, 0, kSvUnknown};
  std::uint32_t t = 0, ts = 0;
  int k = 0;
  for (auto _ : st) {
    std::vector<std::uint32_t>& w = s[k];
    w[0] &= ~0x1FFu, w[1] &= 0x03FFFFFFu;  // TS at bits 24-38
    w[0] |= (ts >> 6) & 0x1FFu, w[1] |= (ts & 0x3Fu) << 26;
    const NavDecoderTime tm{0, t += 3000};
    get_GloL3NavDataDecoder(&tm, &sv)->update(tm, sv, 4, w.data(), 10);
    k = (k + 1) % 5;
    ts = (ts + 1) % 28800;
  }
}
BENCHMARK(BM_GloL3DecodeString);

}  // namespace
