// Frame checking and decoding speed of the RTCM 3 decoder over the recordings, fed in chunks
// the size a serial or network port delivers.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>

#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "differential/decoder_status.h"
#include "differential/rtcm3_decoder.h"
#include "differential/rtcm3_observations.h"
#include "fixtures/null_clients.h"

namespace {

std::vector<unsigned char> load(const std::string& name) {
  std::ifstream f(std::string(RX_SHARED_DIR) + "/testdata/rtcm3/" + name, std::ios::binary);
  return std::vector<unsigned char>(std::istreambuf_iterator<char>(f), {});
}

// Files the status as the real client does, so that its cost is counted.
struct StatusClient : NullRtcm3Client {
  void updateStatus(RTC3_DEC_STATUS& s, int port) override { DecSt.putStatus(port, s); }
} client;

void run(benchmark::State& state, const std::vector<unsigned char>& data) {
  RTC3_Decoder& dec = Rtcm3Dec[0];
  dec.initDecoder(&client);
  NAV_Decoder drv(&dec);
  const int chunk = static_cast<int>(state.range(0));
  for (auto _ : state) {
    for (std::size_t off = 0; off < data.size(); off += chunk)
      drv.putData(data.data() + off, static_cast<int>(std::min<std::size_t>(chunk, data.size() - off)), InPorts::DEC_SER_A);
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

// Observations go to a client that touches each record, as the base-station decoder would.
struct ObsClient : StatusClient {
  long sats = 0;
  void updateRtkData(const RTC3_OBS& o, int) override { sats += o.numSat; }
  void updateMsmData(const RTC3_OBS& o, int) override { sats += o.numSat; }
} obsClient;

// The two observation recordings repeated to about 10 MB.
const std::vector<unsigned char>& observationStream() {
  static const std::vector<unsigned char> s = [] {
    std::vector<unsigned char> one = load("testglo.rtcm3");
    const std::vector<unsigned char> u = load("uscl00chl0.rtcm3");
    one.insert(one.end(), u.begin(), u.end());
    std::vector<unsigned char> all;
    while (all.size() < 10'000'000) all.insert(all.end(), one.begin(), one.end());
    return all;
  }();
  return s;
}

void BM_ObservationStream(benchmark::State& state) {
  const std::vector<unsigned char>& data = observationStream();
  RTC3_Decoder& dec = Rtcm3Dec[0];
  dec.initDecoder(&obsClient);
  NAV_Decoder drv(&dec);
  for (auto _ : state) {
    for (std::size_t off = 0; off < data.size(); off += 4096)
      drv.putData(data.data() + off, static_cast<int>(std::min<std::size_t>(4096, data.size() - off)), InPorts::DEC_SER_A);
    benchmark::DoNotOptimize(obsClient.sats);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * data.size()));
}

// convbin (rtklib) turning the same 10 MB into RINEX, timed on the wall clock beside ours.
void BM_ConvbinSameStream(benchmark::State& state) {
  const std::vector<unsigned char>& data = observationStream();
  const std::string dir = "/tmp/rx_bench_rtcm3_obs";
  if (std::system(("mkdir -p " + dir).c_str()) != 0) state.SkipWithError("no temporary directory");
  if (FILE* f = std::fopen((dir + "/in.rtcm3").c_str(), "wb")) {
    std::fwrite(data.data(), 1, data.size(), f);
    std::fclose(f);
  }
  const std::string cmd = "convbin -r rtcm3 -v 3.04 -tr 2024/03/20 16:00:00 -o " + dir + "/out.obs " + dir + "/in.rtcm3 >/dev/null 2>&1";
  for (auto _ : state) benchmark::DoNotOptimize(std::system(cmd.c_str()));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * data.size()));
  if (std::system(("rm -rf " + dir).c_str()) != 0) state.SkipWithError("temporary directory left");
}

// One MSM7 message (GPS, of the caster recording) framed and decoded.
void BM_Msm7Message(benchmark::State& state) {
  const std::vector<unsigned char> all = load("uscl00chl0.rtcm3");
  std::vector<unsigned char> frame;
  for (std::size_t i = 0; i + 6 <= all.size();) {
    const std::size_t len = (all[i + 1] & 3u) << 8 | all[i + 2];
    if ((all[i + 3] << 4 | all[i + 4] >> 4) == 1077) frame.assign(all.begin() + i, all.begin() + i + len + 6);
    i += len + 6;
  }
  RTC3_Decoder& dec = Rtcm3Dec[0];
  dec.initDecoder(&obsClient);
  NAV_Decoder drv(&dec);
  obsClient.sats = 0;
  for (auto _ : state) drv.putData(frame.data(), static_cast<int>(frame.size()), InPorts::DEC_SER_A);
  state.counters["satellites"] = static_cast<double>(obsClient.sats) / static_cast<double>(state.iterations());
}

}  // namespace

BENCHMARK(BM_ObservationStream)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ConvbinSameStream)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);
BENCHMARK(BM_Msm7Message)->Unit(benchmark::kMicrosecond);

BENCHMARK_CAPTURE(BM_Recording, testglo, "testglo.rtcm3")->Arg(512)->Arg(4096);
BENCHMARK_CAPTURE(BM_Recording, uscl00chl0, "uscl00chl0.rtcm3")->Arg(512)->Arg(4096);
BENCHMARK_CAPTURE(BM_Recording, msm3, "msm3.rtcm3")->Arg(512);
BENCHMARK_CAPTURE(BM_Recording, mixed, "mixed-with-nmea-ubx.bin")->Arg(512);
BENCHMARK(BM_NoiseWithPreambles)->Arg(4096);
