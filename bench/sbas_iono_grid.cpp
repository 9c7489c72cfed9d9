// Cost of the SBAS ionosphere at one pierce point: a 5 x 5 square cell, a triangle after a
// missing corner with its fall-back placements, a polar cell; and the per-epoch expiry pass over
// every SBAS server.
#include <benchmark/benchmark.h>

#include <cmath>

#include "positioning/data_servers/pvt_data.h"
#include "positioning/sbas/sbas_corr_generator.h"

namespace {

constexpr int kNow = 200000000;
const SvIdType kSource{2, 3, 0, 2};

void fillBands(int skipLat, int skipLon) {
  PVTDataInstance.sbasIonoCorrection[0].Init();
  for (int lat = -85; lat <= 85; lat += 5)
    for (int lon = -180; lon < 180; lon += 5) {
      if (lat == skipLat && lon == skipLon) continue;
      const int n = SbasCorrGenerator::get_GridPointNumber(lat, lon, false);
      if (n == 0 || (n - 1) / 201 > 7) continue;
      SBASData::IonoCorrectionType c;
      c.init();
      c.set_Correction(80 + lat / 5, 5);
      c.set_ReadyGridData(kSource);
      c.set_ReadyIonoCorr(kSource);
      SBASData::set_TimeTag(c.ulGridTime, kNow - 60000);
      SBASData::set_TimeTag(c.ulCorrTime, kNow - 10000);
      PVTDataInstance.sbasIonoCorrection[0].Put((n - 1) % 201, (n - 1) / 201, &c, -1, -1);
    }
}

void run(benchmark::State& state, float lat, float lon, int skipLat, int skipLon) {
  fillBands(skipLat, skipLon);
  SbasCorrGenerator g(&PVTDataInstance);
  g.set_IonoSource(0, kSource, kNow, true, nullptr);
  CorrData::RequestSatDataType s{};
  s.svId = SvIdType{4, 0, 0, 4};
  s.fIppLat = lat, s.fIppLon = lon, s.fObliquity = 1.5f;
  SbasCorrGenerator::IonoResultType out;
  for (auto _ : state) {
    benchmark::DoNotOptimize(g.compute_IonoCorrection(s, out));
    benchmark::DoNotOptimize(out);
  }
}

void BM_SbasIonoSquare(benchmark::State& state) { run(state, 32.3f, 17.8f, 0, 0); }
void BM_SbasIonoTriangleAfterMissingCorner(benchmark::State& state) { run(state, 34.0f, 14.0f, 30, 10); }
void BM_SbasIonoPolar(benchmark::State& state) { run(state, 87.0f, 20.0f, 0, 0); }

void BM_SbasExpiryPass(benchmark::State& state) {
  fillBands(0, 0);
  int now = kNow;
  for (auto _ : state) benchmark::DoNotOptimize(SBASData::clear_ExpiredServers(&PVTDataInstance, now += 100));
}

}  // namespace

BENCHMARK(BM_SbasIonoSquare);
BENCHMARK(BM_SbasIonoTriangleAfterMissingCorner);
BENCHMARK(BM_SbasIonoPolar);
BENCHMARK(BM_SbasExpiryPass);
