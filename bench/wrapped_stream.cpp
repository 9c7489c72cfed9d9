// The RTCM 3 recording wrapped in a native-mode port's stream: native reader, wrapped-stream
// router and the target port's RTCM 3 decoder, beside the same RTCM 3 bytes fed straight to that
// decoder, both in port-sized chunks.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include "differential/decoder_status.h"
#include "differential/input_decoders.h"
#include "differential/rtcm3_decoder.h"
#include "gnss_link/sensor/nmea_decoder.h"
#include "fixtures/null_clients.h"
#include "gnss_link/wrapped/azrt_decoder.h"
#include "gnss_link/zrt_decoder.h"

namespace {

constexpr int kChunk = 1024;
constexpr int kTarget = IOP_SER_C;

std::string recording() {
  std::ifstream f(std::string(RX_SHARED_DIR) + "/testdata/rtcm3/uscl00chl0.rtcm3", std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(f), {});
}

unsigned ck8(const std::string& s) {
  unsigned c = 0;
  for (unsigned char b : s) c = (((c ^ b) << 2) | ((c ^ b) >> 6)) & 0xFFu;
  return c;
}

// Stream 'R' in wrapped messages of up to 1000 payload bytes.
std::string wrapped(const std::string& rec) {
  std::string out;
  for (std::size_t at = 0; at < rec.size(); at += 1000) {
    const std::string piece = rec.substr(at, 1000);
    char head[8];
    std::snprintf(head, sizeof head, ">>%03X", static_cast<unsigned>(piece.size() + 3));
    std::string m = head + std::string("R") + piece;
    char hh[3];
    std::snprintf(hh, sizeof hh, "%02X", ck8(m));
    out += m + hh;
  }
  return out;
}

struct StatusClient : NullRtcm3Client {
  void updateStatus(RTC3_DEC_STATUS& s, int port) override { DecSt.putStatus(port, s); }
} client;

class IdlePort : public InPort {
 public:
  explicit IdlePort(int index) : InPort(index) { InPorts::ports_[index] = this; }
  int read(void*, int, int) override { return 0; }
};

template <class Feed>
void feedChunks(const std::string& s, Feed&& feed) {
  for (std::size_t at = 0; at < s.size(); at += kChunk)
    feed(s.data() + at, static_cast<int>(std::min<std::size_t>(kChunk, s.size() - at)));
}

void BM_WrappedThroughRouter(benchmark::State& state) {
  static const std::string rec = recording();
  static const std::string stream = wrapped(rec);
  static IdlePort target(kTarget);
  static ZrtDecoder zd;
  static AzrtDecoder az;
  static bool ready = [] {
    InDecs::init();
    target.setMode(InPort::M_RTCM3);
    zd.parser().setForeignBounds(3, 1536);
    az.init(IOP_SER_A, zd.filter());
    az.setParam(0, AzrtParams{'R', 13, static_cast<std::uint8_t>(kTarget)});
    return true;
  }();
  (void)ready;
  RTC3_Decoder& dec = Rtcm3Dec[InPorts::io2dec_[kTarget]];
  dec.initDecoder(&client);
  for (auto _ : state) {
    feedChunks(stream, [](const char* d, int n) { zd.process(d, n); });
    benchmark::DoNotOptimize(dec.getStatus().goodFrames);
  }
  // Counted as the RTCM 3 bytes carried, so that both figures compare the same payload.
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * rec.size()));
  state.counters["wrapped_bytes"] = static_cast<double>(stream.size());
}

void BM_RawToRtcm3Decoder(benchmark::State& state) {
  static const std::string rec = recording();
  RTC3_Decoder& dec = Rtcm3Dec[InPorts::io2dec_[kTarget]];
  dec.initDecoder(&client);
  NAV_Decoder drv(&dec);
  for (auto _ : state) {
    feedChunks(rec, [&](const char* d, int n) {
      drv.putData(reinterpret_cast<const unsigned char*>(d), n, static_cast<InPorts::DecPortIndex>(InPorts::io2dec_[kTarget]));
    });
    benchmark::DoNotOptimize(dec.getStatus().goodFrames);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * rec.size()));
}

BENCHMARK(BM_WrappedThroughRouter);
BENCHMARK(BM_RawToRtcm3Decoder);

}  // namespace
