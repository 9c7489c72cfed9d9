// Framing, parity and decoding speed of the RTCM 2 decoder over testglo.rtcm2 repeated to about
// 10 MB, in port-sized chunks, beside convbin (rtklib) converting the same bytes.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "differential/decoder_status.h"
#include "differential/rtcm2/rtcm2_decoder.h"
#include "fixtures/null_clients.h"

namespace {

const std::vector<unsigned char>& stream() {
  static const std::vector<unsigned char> s = [] {
    std::ifstream f(std::string(RX_SHARED_DIR) + "/testdata/rtcm2/testglo.rtcm2", std::ios::binary);
    const std::vector<unsigned char> one((std::istreambuf_iterator<char>(f)), {});
    std::vector<unsigned char> all;
    while (!one.empty() && all.size() < 10'000'000) all.insert(all.end(), one.begin(), one.end());
    return all;
  }();
  return s;
}

// Files the status and touches each record, as the RTCM 2 client will.
struct Client : NullRtcm2Client {
  long sats = 0;
  void updatePhase(const RTCM_RTK_PHASE& r, int) override { sats += r.head.count; }
  void updateRange(const RTCM_RTK_RANGE& r, int) override { sats += r.head.count; }
  void updateStatus(RTCM_DEC_STATUS& s, int port) override { DecSt.putStatus(port, s); }
} client;

void BM_Testglo(benchmark::State& state) {
  const std::vector<unsigned char>& data = stream();
  RTCM_Decoder& dec = RtcmDec[0];
  dec.initDecoder(&client);
  NAV_Decoder drv(&dec);
  const std::size_t chunk = static_cast<std::size_t>(state.range(0));
  for (auto _ : state) {
    for (std::size_t off = 0; off < data.size(); off += chunk)
      drv.putData(data.data() + off, static_cast<int>(std::min(chunk, data.size() - off)), InPorts::DEC_SER_A);
    benchmark::DoNotOptimize(client.sats);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * data.size()));
  state.counters["messages"] = dec.getStatus().messages;
}
BENCHMARK(BM_Testglo)->Arg(64)->Arg(4096)->Unit(benchmark::kMillisecond);

void BM_ConvbinSameStream(benchmark::State& state) {
  const std::vector<unsigned char>& data = stream();
  const std::string dir = "/tmp/rx_bench_rtcm2";
  if (std::system(("mkdir -p " + dir).c_str()) != 0) state.SkipWithError("no temporary directory");
  if (FILE* f = std::fopen((dir + "/in.rtcm2").c_str(), "wb")) {
    std::fwrite(data.data(), 1, data.size(), f);
    std::fclose(f);
  }
  const std::string cmd = "convbin -r rtcm2 -tr 2009/12/25 20:00:00 -o " + dir + "/out.obs " + dir + "/in.rtcm2 >/dev/null 2>&1";
  for (auto _ : state) benchmark::DoNotOptimize(std::system(cmd.c_str()));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * data.size()));
}
BENCHMARK(BM_ConvbinSameStream)->Iterations(2)->Unit(benchmark::kMillisecond);

}  // namespace
