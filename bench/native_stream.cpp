// Throughput of the native stream reader (parser and filter) on a stream shaped like the GNSS
// board's: per epoch a start marker, raw records, measurement and navigation messages, a text
// reply now and then, and the end marker.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <random>
#include <string>

#include "gnss_link/zrt_decoder.h"

namespace {

std::string frame(const char* id, const std::string& payload, bool hex = false) {
  char hdr[8];
  std::snprintf(hdr, sizeof hdr, "%.2s%03X", id, static_cast<unsigned>(payload.size() + (hex ? 2 : 1)));
  std::string m = std::string(hdr) + payload;
  unsigned c = 0;
  for (unsigned char b : m) {
    c ^= b;
    c = ((c << 2) | (c >> 6)) & 0xFF;
  }
  if (hex) {
    char h[3];
    std::snprintf(h, sizeof h, "%02X", c);
    m += h;
  } else {
    m += static_cast<char>(c);
  }
  return m;
}

std::string le32(std::uint32_t v) {
  return std::string{static_cast<char>(v), static_cast<char>(v >> 8), static_cast<char>(v >> 16),
                     static_cast<char>(v >> 24)};
}

// `epochs` epochs at 10 Hz; `corruptEvery` > 0 spoils one message in that many.
std::string makeStream(int epochs, int corruptEvery) {
  std::mt19937 rng(7);
  auto bytes = [&rng](int n) {
    std::string s(static_cast<std::size_t>(n), '\0');
    for (auto& c : s) c = static_cast<char>(rng());
    return s;
  };
  struct Kind {
    const char* id;
    int len;
    bool hex;
  };
  // Sizes of a 40-satellite, dual-frequency epoch.
  const Kind kinds[] = {{"@@", 97, false},  {"@@", 620, false}, {"@@", 860, false}, {"SI", 40, false},
                        {"rc", 320, false}, {"r1", 320, false}, {"r2", 320, false}, {"PC", 320, false},
                        {"cp", 160, false}, {"DC", 80, false},  {"EL", 40, false},  {"AZ", 40, false},
                        {"PG", 30, false},  {"VG", 18, false},  {"SS", 12, false},  {"DL", 40, true}};
  std::string s;
  int n = 0;
  for (int e = 0; e < epochs; ++e) {
    const std::uint32_t t = 100000u + 100u * static_cast<std::uint32_t>(e);
    s += frame("~~", le32(t)) + "\r\n";
    for (const Kind& k : kinds) {
      std::string m = frame(k.id, bytes(k.len), k.hex);
      if (corruptEvery > 0 && ++n % corruptEvery == 0) m[m.size() / 2] ^= 0x10;
      s += m + "\r\n";
    }
    if (e % 10 == 0) s += "RE002%%\r\n";
    s += frame("::", le32(t) + std::string(4, '\0')) + "\r\n";
  }
  return s;
}

struct Counter : ZrtMsgClient {
  long msgs = 0;
  long epochs = 0;
  void endOfEpoch(long) override { ++epochs; }
  static bool h(ZrtMsgClient* c, const ZRFMessage&) {
    ++static_cast<Counter*>(c)->msgs;
    return true;
  }
};

void run(benchmark::State& state, int corruptEvery) {
  const std::string s = makeStream(200, corruptEvery);
  const int chunk = static_cast<int>(state.range(0));
  ZrtDecoder d;
  Counter c;
  for (const char* id : {"@@", "SI", "rc", "r1", "r2", "PC", "cp", "DC", "EL", "AZ", "PG", "VG", "SS", "DL"}) {
    d.filter().setHandler(id, &c, &Counter::h);
  }
  for (auto _ : state) {
    for (std::size_t i = 0; i < s.size(); i += static_cast<std::size_t>(chunk)) {
      d.process(s.data() + i, static_cast<int>(std::min<std::size_t>(static_cast<std::size_t>(chunk), s.size() - i)));
    }
    benchmark::DoNotOptimize(c.msgs);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(s.size()));
  state.counters["msgs/epoch"] = static_cast<double>(c.msgs) / static_cast<double>(std::max(1L, c.epochs));
  state.counters["bad"] = static_cast<double>(d.bad());
}

void BM_NativeStreamClean(benchmark::State& state) { run(state, 0); }
void BM_NativeStreamOneInHundredCorrupt(benchmark::State& state) { run(state, 100); }

}  // namespace

BENCHMARK(BM_NativeStreamClean)->Arg(4096)->Arg(64)->Arg(1);
BENCHMARK(BM_NativeStreamOneInHundredCorrupt)->Arg(4096);
