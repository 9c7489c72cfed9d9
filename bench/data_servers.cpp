// Cost of the positioning layer's exchange paths: a server put and take, a pool put and take,
// and a raw-ring append and read.
#include <benchmark/benchmark.h>

#include "positioning/data_servers/pvt_data.h"
#include "positioning/raw_nav_rings.h"

namespace {

void BM_PositionPut(benchmark::State& state) {
  PosData::PositionDataType p{-2694892.5, -4297405.0, 3854587.25, 0.6, -2.1, 12.5, 1};
  for (auto _ : state) {
    benchmark::DoNotOptimize(PVTDataInstance.position.Put(&p));
    p.dHeight += 0.001;
  }
}
BENCHMARK(BM_PositionPut);

void BM_PositionTake(benchmark::State& state) {
  PosData::PositionDataType p{-2694892.5, -4297405.0, 3854587.25, 0.6, -2.1, 12.5, 1};
  PVTDataInstance.position.Put(&p);
  PosData::PositionDataType out{};
  for (auto _ : state) {
    benchmark::DoNotOptimize(PVTDataInstance.position.Take(&out));
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_PositionTake);

// A pool put for one of 40 satellites sharing 91 records, then its take.
void BM_PoolPutTake(benchmark::State& state) {
  SatData::PolynomSetType r{};
  int prn = 1;
  for (auto _ : state) {
    SvIdType sv;
    svIdFromSiNumber(kSysGps, prn, sv);
    benchmark::DoNotOptimize(PVTDataInstance.satPolynom.Put(&sv, &r));
    benchmark::DoNotOptimize(PVTDataInstance.satPolynom.Take(&sv, &r));
    prn = prn == 32 ? 1 : prn + 1;
  }
}
BENCHMARK(BM_PoolPutTake);

void BM_GpsRingAppend(benchmark::State& state) {
  CorrData::GpsRawMessageType e{};
  e.uSv = 5;
  e.uCount = 10;
  e.iValid = 1;
  for (auto _ : state) {
    ++e.ulTime;
    benchmark::DoNotOptimize(updateGpsRawData(e));
  }
}
BENCHMARK(BM_GpsRingAppend);

void BM_GpsRingRead(benchmark::State& state) {
  CorrData::GpsRawMessageType e{};
  e.uCount = 10;
  e.iValid = 1;
  for (std::uint32_t i = 0; i < decltype(GpsRawMessageData)::kEntries; ++i) updateGpsRawData(e);
  const std::uint64_t oldest = GpsRawMessageData.appended() - decltype(GpsRawMessageData)::kEntries;
  RawNavReader r;
  r.ullNext = oldest;
  CorrData::GpsRawMessageType out{};
  for (auto _ : state) {
    // A full ring read over and over: every iteration copies one waiting entry out.
    if (!GpsRawMessageData.read(r, out)) r.ullNext = oldest;
    benchmark::DoNotOptimize(out);
  }
}
BENCHMARK(BM_GpsRingRead);

void BM_GpsRingAppendAndRead(benchmark::State& state) {
  CorrData::GpsRawMessageType e{};
  e.uCount = 10;
  e.iValid = 1;
  RawNavReader r;
  r.ullNext = GpsRawMessageData.appended();
  CorrData::GpsRawMessageType out{};
  for (auto _ : state) {
    updateGpsRawData(e);
    benchmark::DoNotOptimize(GpsRawMessageData.read(r, out));
  }
}
BENCHMARK(BM_GpsRingAppendAndRead);

}  // namespace
