// Cost of one RTCM 3 ephemeris message read into its native record and filed into the store.
// Each satellite's message alternates with a copy whose clock term differs in its last bit, so
// the store takes a new ephemeris every time instead of dropping a repeat.
#include <benchmark/benchmark.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "differential/rtcm3_ephemeris.h"
#include "navigation_data/store/sat_data_store.h"

namespace {

using Bytes = std::vector<unsigned char>;

// Payloads (message number first) of the recording's messages of one number, each twice.
std::vector<Bytes> payloads(int msg, int clockLastBit) {
  std::ifstream f(std::string(RX_SHARED_DIR) + "/testdata/rtcm3/testglo.rtcm3", std::ios::binary);
  const Bytes d{std::istreambuf_iterator<char>(f), {}};
  std::vector<Bytes> out;
  for (std::size_t i = 0; i + 6 <= d.size();) {
    const std::size_t len = (d[i + 1] & 3u) << 8 | d[i + 2];
    if (d[i] != 0xD3 || i + len + 6 > d.size()) {
      ++i;
      continue;
    }
    Bytes p(d.begin() + static_cast<long>(i + 3), d.begin() + static_cast<long>(i + 3 + len));
    if ((p[0] << 4 | p[1] >> 4) == msg) {
      out.push_back(p);
      p[static_cast<std::size_t>(clockLastBit / 8)] ^= static_cast<unsigned char>(0x80u >> (clockLastBit % 8));
      out.push_back(p);
    }
    i += len + 6;
  }
  return out;
}

void run(benchmark::State& state, int msg, int clockLastBit) {
  const std::vector<Bytes> ps = payloads(msg, clockLastBit);
  SatDataProcessorInstance.init_Object();
  std::size_t k = 0;
  std::int64_t taken = 0;
  for (auto _ : state) {
    const Bytes& p = ps[k];
    k = k + 1 == ps.size() ? 0 : k + 1;
    BitReader br(p.data(), 8 * static_cast<int>(p.size()));
    br.reset(8 * static_cast<int>(p.size()), 12);
    taken += rtcm3_StoreEphemeris(msg, br, SatDataProcessorInstance) ? 1 : 0;
  }
  state.counters["taken"] = static_cast<double>(taken);
}

// Last bit of af0 (1019) and of tauN (1020) in the payload.
void BM_Gps1019(benchmark::State& state) { run(state, 1019, 12 + 6 + 10 + 4 + 2 + 14 + 8 + 16 + 8 + 16 + 22 - 1); }
void BM_Glonass1020(benchmark::State& state) {
  run(state, 1020, 12 + 6 + 5 + 1 + 1 + 2 + 12 + 1 + 1 + 7 + 3 * (24 + 27 + 5) + 1 + 11 + 2 + 1 + 22 - 1);
}

}  // namespace

BENCHMARK(BM_Gps1019);
BENCHMARK(BM_Glonass1020);
