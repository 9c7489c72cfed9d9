// Cost of one RTCM 3 transformation message applied: read, collected and, when the set is whole,
// stored as the received datum (with the projection prepared when one belongs to the set).
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "differential/rtcm3_transform.h"

namespace {

using Bytes = std::vector<unsigned char>;

struct Writer {
  Bytes b;
  int bits = 0;
  void put(std::int64_t v, int n) {
    for (int i = n - 1; i >= 0; --i, ++bits) {
      if (bits % 8 == 0) b.push_back(0);
      if ((static_cast<std::uint64_t>(v) >> i) & 1u) b.back() |= static_cast<unsigned char>(0x80u >> (bits % 8));
    }
  }
  void q(double v, double res, int n) { put(std::llround(v / res), n); }
};

// A 1021 (Helmert, MGI from ETRS89) announcing `indicator`.
Bytes msg1021(unsigned indicator) {
  Writer w;
  w.put(1021, 12);
  w.put(0, 5);
  w.put(0, 5);
  w.put(7, 8);
  w.put(indicator, 10);
  w.put(0, 5 + 4 + 2);
  w.q(48.0 * 3600, 2, 19);
  w.q(16.0 * 3600, 2, 20);
  w.q(4.0 * 3600, 2, 14);
  w.q(6.0 * 3600, 2, 14);
  for (double d : {-577.326, -90.129, -463.919}) w.q(d, 0.001, 23);
  for (double r : {5.137, 1.474, 5.297}) w.q(r, 0.00002, 32);
  w.q(-2.4232, 0.00001, 25);
  w.q(8137.0, 0.001, 24);
  w.q(6752.314, 0.001, 25);
  w.q(7397.155, 0.001, 24);
  w.q(6078.963, 0.001, 25);
  w.put(0, 6);
  return w.b;
}

Bytes msg1025() {
  Writer w;
  w.put(1025, 12);
  w.put(7, 8);
  w.put(1, 6);
  w.put(0, 34);
  w.q(15.0, 0.000000011, 35);
  w.put(660000000, 30);
  w.q(500000.0, 0.001, 36);
  w.put(0, 35);
  return w.b;
}

bool apply(const Bytes& p) {
  BitReader br(p.data(), 8 * static_cast<int>(p.size()));
  br.reset(8 * static_cast<int>(p.size()), 12);
  return RTC3_CoordTransf::apply(p[0] << 4 | p[1] >> 4, br, 1);
}

// A Helmert-only set: every 1021 stores the datum.
void BM_Rtcm3_1021_Store(benchmark::State& state) {
  RTC3_CoordTransf::clearGotTransData();
  const Bytes p = msg1021(0);
  std::int64_t ok = 0;
  for (auto _ : state) ok += apply(p) ? 1 : 0;
  state.counters["applied"] = static_cast<double>(ok);
}

// A set announcing a UTM projection: each 1025 after its 1021 stores datum and projection.
void BM_Rtcm3_1021_1025_Pair(benchmark::State& state) {
  RTC3_CoordTransf::clearGotTransData();
  const Bytes p = msg1021(1u << 7), u = msg1025();
  std::int64_t ok = 0;
  for (auto _ : state) ok += (apply(p) && apply(u)) ? 1 : 0;
  state.counters["pairs"] = static_cast<double>(ok);
}

}  // namespace

BENCHMARK(BM_Rtcm3_1021_Store);
BENCHMARK(BM_Rtcm3_1021_1025_Pair);
