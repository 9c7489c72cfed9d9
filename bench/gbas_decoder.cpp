// Throughput of the GBAS stream decoder, fed in chunks the size a port delivers: a stream of
// good messages (framed, checked and decoded into the GBAS servers) and noise with both formats'
// block identifiers sprinkled in (framing and rejection only).
#include <benchmark/benchmark.h>

#include <cstring>
#include <random>
#include <vector>

#include "differential/gbas_decoder.h"
#include "positioning/data_servers/pvt_data.h"
#include "positioning/gbas/gbas_data_decoder.h"
#include "positioning/gbas/gbas_dec_utility.h"

namespace {

void prepare() {
  // The correction processor's setup holds no record before the program's start writes one.
  PosSetup::CorrProcessorSetupType s;
  if (PVTDataInstance.corrProcessorSetup.Take(&s) == 0) PosSetup::setDefaults(s);
  const std::uint16_t format = GbasDecoder::kFormatDo246;
  std::memcpy(s.aBytes + GbasDecoder::kSetupFormatOffset, &format, sizeof format);
  PVTDataInstance.corrProcessorSetup.Put(&s);
  for (GbasDataDecoder& d : GbasDataDecoderInstance) d.init_Object(&PVTDataInstance);
  PosData::RcvTimeDataType t{};
  t.gps.ulMs = 349300500;
  t.gps.uStatus[0] = 1;
  PVTDataInstance.rcvTime.Put(&t);
}

// A type 1 message of 18 GPS satellites (215 bytes), as received.
std::vector<std::uint8_t> type1Message() {
  std::vector<std::uint8_t> m(215, 0);
  m[0] = GbasDecUtility::reverseByte(170);
  m[1] = 0x30;  // station "BELL"
  m[2] = 0xCA;
  m[3] = 0x10;
  m[4] = GbasDecUtility::reverseByte(1);
  m[5] = GbasDecUtility::reverseByte(215);
  m[8] = 0x48;  // 18 measurement blocks (the count field sent least significant bit first)
  for (int i = 0; i < 18; ++i) {
    m[13 + 11 * i] = GbasDecUtility::reverseByte(static_cast<std::uint8_t>(i + 1));
    m[13 + 11 * i + 6] = 0x20;  // sigma_pr_gnd code 4
  }
  const std::uint32_t crc = GbasDecUtility::crc32q(m.data(), 211);
  for (int k = 0; k < 4; ++k) m[211 + k] = static_cast<std::uint8_t>(crc >> (24 - 8 * k));
  return m;
}

void run(benchmark::State& state, const std::vector<std::uint8_t>& data) {
  prepare();
  GbasDecoder dec;
  const std::size_t chunk = static_cast<std::size_t>(state.range(0));
  for (auto _ : state) {
    for (std::size_t off = 0; off < data.size(); off += chunk)
      dec.process(data.data() + off, static_cast<int>(std::min(chunk, data.size() - off)), 0);
    benchmark::DoNotOptimize(dec.status().messages);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * data.size()));
  state.counters["messages"] = dec.status().messages;
}

void BM_GoodType1Stream(benchmark::State& state) {
  static const std::vector<std::uint8_t> data = [] {
    const std::vector<std::uint8_t> m = type1Message();
    std::vector<std::uint8_t> d;
    while (d.size() < (1u << 20)) d.insert(d.end(), m.begin(), m.end());
    return d;
  }();
  run(state, data);
}

void BM_NoiseWithBlockIdentifiers(benchmark::State& state) {
  static const std::vector<std::uint8_t> data = [] {
    std::vector<std::uint8_t> d(1u << 20);
    std::mt19937 rng(54);
    for (auto& b : d) {
      const std::uint32_t r = rng();
      b = (r & 0x700) == 0 ? ((r & 0x800) ? 0x55 : 0x99) : static_cast<std::uint8_t>(r);
    }
    return d;
  }();
  run(state, data);
}

}  // namespace

BENCHMARK(BM_GoodType1Stream)->Arg(64)->Arg(1024);
BENCHMARK(BM_NoiseWithBlockIdentifiers)->Arg(64)->Arg(1024);
