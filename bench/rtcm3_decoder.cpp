// Frame checking and decoding speed of the RTCM 3 decoder over the recordings, fed in chunks
// the size a serial or network port delivers.
#include <benchmark/benchmark.h>

#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "differential/decoder_status.h"
#include "differential/rtcm3_decoder.h"

namespace {

std::vector<unsigned char> load(const std::string& name) {
  std::ifstream f(std::string(RX_SHARED_DIR) + "/testdata/rtcm3/" + name, std::ios::binary);
  return std::vector<unsigned char>(std::istreambuf_iterator<char>(f), {});
}

// Files the status as the real client does, so that its cost is counted.
struct StatusClient : RTC3_Decoder_Client {
  void updateStatus(RTC3_DEC_STATUS& s, int port) override { DecSt.putStatus(port, s); }
} client;

void run(benchmark::State& state, const std::vector<unsigned char>& data) {
  RTC3_Decoder& dec = Rtcm3Dec[0];
  dec.initDecoder(&client);
  NAV_Decoder drv(&dec);
  const int chunk = static_cast<int>(state.range(0));
  for (auto _ : state) {
    for (std::size_t off = 0; off < data.size(); off += chunk)
      drv.putData(data.data() + off, static_cast<int>(std::min<std::size_t>(chunk, data.size() - off)), 0);
    benchmark::DoNotOptimize(dec.getStatus().goodFrames);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * data.size()));
  state.counters["frames"] = dec.getStatus().goodFrames;
}

void BM_Recording(benchmark::State& state, const char* name) { run(state, load(name)); }

void BM_NoiseWithPreambles(benchmark::State& state) {
  static std::vector<unsigned char> noise = [] {
    std::vector<unsigned char> n(1 << 20);
    std::mt19937 rng(5);
    for (unsigned char& c : n) c = static_cast<unsigned char>(rng());
    return n;
  }();
  run(state, noise);
}

}  // namespace

BENCHMARK_CAPTURE(BM_Recording, testglo, "testglo.rtcm3")->Arg(512)->Arg(4096);
BENCHMARK_CAPTURE(BM_Recording, uscl00chl0, "uscl00chl0.rtcm3")->Arg(512)->Arg(4096);
BENCHMARK_CAPTURE(BM_Recording, msm3, "msm3.rtcm3")->Arg(512);
BENCHMARK_CAPTURE(BM_Recording, mixed, "mixed-with-nmea-ubx.bin")->Arg(512);
BENCHMARK(BM_NoiseWithPreambles)->Arg(4096);
