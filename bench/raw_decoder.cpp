// Throughput of the GNSS board's stream through the native reader and the raw record decoder,
// for an epoch as a busy board sends it: time scales and power, both solutions, 40 satellites
// with their channel states, 120 signal measurements, 12 navigation-word messages.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "gnss_link/raw_decoder.h"
#include "gnss_link/zrt_decoder.h"

namespace {

std::string le(std::uint64_t v, int bytes) {
  std::string s;
  for (int i = 0; i < bytes; ++i) s += static_cast<char>(i < 8 ? (v >> (8 * i)) & 0xFF : 0);
  return s;
}

std::string frame(const char* id, const std::string& body, bool ck) {
  char hdr[8];
  std::snprintf(hdr, sizeof hdr, "%.2s%03X", id, static_cast<unsigned>(body.size() + (ck ? 1 : 0)));
  std::string m = std::string(hdr) + body;
  if (ck) {
    unsigned c = 0;
    for (unsigned char b : m) {
      c = (c ^ b) & 0xFF;
      c = ((c << 2) | (c >> 6)) & 0xFF;
    }
    m += static_cast<char>(c);
  }
  return m;
}

std::string rec(int type, const std::string& d) { return std::string(1, static_cast<char>(type)) + le(d.size(), 2) + d; }

constexpr std::int32_t kEpoch = 43218000;

std::string tsRecord() {
  std::string r = le(0, 8) + le(3600, 4) + le(0, 12);
  const std::int32_t gps[9] = {0, 561618000, 268, 2, 18, -100000, 0, 0, 0x570};
  const std::int32_t glo[9] = {0, 54000000, 152, 8, 10800, -100000, 0, 0, 0x570};
  for (std::int32_t v : gps) r += le(static_cast<std::uint32_t>(v), 4);
  for (std::int32_t v : glo) r += le(static_cast<std::uint32_t>(v), 4);
  return r + '\0';
}

std::string epochStream() {
  std::string s = frame("~~", le(kEpoch, 4), true);
  s += frame("@@", rec(8, tsRecord()) + rec(1, std::string(50, '\1')), false);
  s += frame("@@", rec(4, std::string(1453, '\0')), false);
  s += frame("@@", rec(5, std::string(870, '\0')), false);
  std::string sat = le(15, 1) + le(40, 1);
  for (int ch = 0; ch < 40; ++ch) sat += le(ch, 1) + le(0, 1) + le(ch + 1, 1) + le(0, 2) + le(1, 1) + std::string(9, '\2');
  s += frame("@@", rec(7, sat), false);
  std::string cs = le(0, 1) + le(40, 1) + le(1, 1);
  for (int ch = 0; ch < 40; ++ch) cs += le(ch, 1) + le(1, 1) + std::string(12, '\3');
  s += frame("@@", rec(10, cs), false);
  for (int part = 0; part < 4; ++part) {
    std::string sm = le(0, 1) + le(30, 1);
    for (int i = 0; i < 30; ++i) {
      const int n = part * 30 + i;
      sm += le(n % 3, 1) + le(n / 3, 1) + le(4, 4) + std::string(40, '\4') + le(0, 4);
    }
    s += frame("@@", rec(11, sm), false);
  }
  for (int k = 0; k < 12; ++k) {
    std::string b = le(k + 1, 1) + le(6000, 4) + le(0, 1) + le(10, 1) + std::string(40, '\5') + le(0, 1);
    s += frame("gd", b, true);
  }
  s += frame("::", le(kEpoch, 4) + "\1\2\3\4", true);
  return s;
}

void noChain() {}

void BM_RawDecoderEpoch(benchmark::State& state) {
  static ZrtDecoder dec;
  static ZrtRawDecoder raw;
  raw.setHandlers(dec.filter());
  raw.setMeasReady(&noChain);
  const std::string s = epochStream();
  const std::uint32_t before = raw.counters().chainRuns;
  for (auto _ : state) {
    dec.process(s.data(), static_cast<int>(s.size()));
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(s.size()));
  state.SetItemsProcessed(state.iterations());
  state.counters["epoch_bytes"] = static_cast<double>(s.size());
  // 1.0 when every epoch was decoded whole and handed on.
  state.counters["chains_per_epoch"] =
      static_cast<double>(raw.counters().chainRuns - before) / static_cast<double>(state.iterations());
}
BENCHMARK(BM_RawDecoderEpoch);

}  // namespace

BENCHMARK_MAIN();
