// Cost of the QZSS L1S sub-metre augmentation: one MT50 of 14 corrections decoded and published
// for the nearest station (the message rate is one a second per source), and the generator's
// station block for a request of 30 satellites (once per correction epoch).
#include <benchmark/benchmark.h>

#include <array>
#include <cstdint>

#include "positioning/data_servers/pvt_data.h"
#include "positioning/engine/pvt_engine.h"
#include "positioning/slas/slas_corr_generator.h"
#include "positioning/slas/slas_data_decoder.h"

namespace {

using Msg = std::array<std::uint8_t, 32>;

void put(Msg& m, int pos, int bits, std::uint32_t v) {
  for (int i = 0; i < bits; ++i) {
    const int bit = pos - 1 + 14 + i;
    if (((v >> (bits - 1 - i)) & 1u) != 0) m[bit / 8] |= static_cast<std::uint8_t>(0x80u >> (bit % 8));
  }
}

Msg message(int type) {
  Msg m{};
  m[0] = 0x53;
  m[1] = static_cast<std::uint8_t>(type << 2);
  return m;
}

PosData::RcvTimeDataType timeAt(std::uint32_t ms) {
  PosData::RcvTimeDataType t{};
  t.ulTimeTag = ms;
  t.qzss.ulMs = ms;
  t.qzss.uStatus[0] = 1;
  return t;
}

const SvIdType kSource{3, kSysQzss, 0, 3};
PosData::PositionDataType user() {
  PosData::PositionDataType p{};
  p.dX = -3763568.36;
  p.dY = 3763568.36;
  p.dZ = 3637866.91;
  p.bValid = 1;
  return p;
}

// Mask 1 of GPS 1..23, IOD set 0 over all of them, station 2 near the user.
void prepare(std::uint32_t ms) {
  for (SlasDataDecoder& d : SlasDataDecoderInstance) d.init_Object(&PVTDataInstance);
  Msg m48 = message(48), m49 = message(49), m47 = message(47);
  put(m48, 1, 2, 1);
  put(m48, 3, 23, 0x7FFFFF);
  put(m49, 3, 23, 0x7FFFFF);
  for (int k = 0; k < 23; ++k) put(m49, 26 + 8 * k, 8, static_cast<std::uint32_t>(k + 1));
  put(m49, 210, 2, 1);
  put(m47, 1, 6, 2);
  put(m47, 7, 15, 2002);
  put(m47, 22, 15, 4000);
  put(m47, 37, 6, 2);
  for (int i = 1; i < 5; ++i) put(m47, 1 + 42 * i, 6, 63);
  const PosData::RcvTimeDataType t = timeAt(ms);
  SlasDataDecoder* d = get_SlasDataDecoder(t, kSource);
  d->update(t, user(), kSource, 48, m48.data());
  d->update(t, user(), kSource, 49, m49.data());
  d->update(t, user(), kSource, 47, m47.data());
}

Msg correctionMessage() {
  Msg m = message(50);
  put(m, 1, 2, 1);
  put(m, 5, 6, 2);
  put(m, 12, 23, 0x7FFE00);  // slots 0..13
  for (int i = 0; i < 14; ++i) put(m, 35 + 12 * i, 12, static_cast<std::uint32_t>(i * 7));
  return m;
}

void BM_Mt50DecodeAndPublish(benchmark::State& state) {
  std::uint32_t ms = 100000000;
  prepare(ms);
  const Msg m = correctionMessage();
  for (auto _ : state) {
    ms += 1000;
    const PosData::RcvTimeDataType t = timeAt(ms);
    benchmark::DoNotOptimize(get_SlasDataDecoder(t, kSource)->update(t, user(), kSource, 50, m.data()));
    if (ms > 100000000 + 3000000) {
      state.PauseTiming();
      ms = 100000000;
      prepare(ms);
      state.ResumeTiming();
    }
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_Mt50DecodeAndPublish);

CorrData::CorrectionRequestType gRequest;
RTCMData::CorrectionRequestType gAnswer;

void BM_GeneratorStationBlock30Sats(benchmark::State& state) {
  const std::uint32_t ms = 100000000;
  prepare(ms);
  const Msg m = correctionMessage();
  const PosData::RcvTimeDataType t = timeAt(ms + 1000);
  get_SlasDataDecoder(t, kSource)->update(t, user(), kSource, 50, m.data());
  gRequest.rcvTime = t;
  gRequest.uCount = 30;
  for (int i = 0; i < 30; ++i) {
    gRequest.sat[i].svId = SvIdType{static_cast<std::uint8_t>(i % 32), kSysGps, 0, static_cast<std::uint8_t>(i % 32)};
    gRequest.sat[i].dLos[0] = 0.6;
    gRequest.sat[i].dLos[2] = 0.8;
    gRequest.sat[i].fElevation = static_cast<float>(5 + 2 * i);
    gRequest.sat[i].fObliquity = 1.5f;
  }
  gAnswer.pRequest = &gRequest;
  for (auto _ : state) {
    SlasCorrGeneratorInstance.update(&gAnswer);
    benchmark::DoNotOptimize(gAnswer.uStationCount);
  }
  state.SetItemsProcessed(state.iterations() * 30);
}
BENCHMARK(BM_GeneratorStationBlock30Sats);

}  // namespace
