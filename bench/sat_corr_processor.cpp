// Cost of one epoch of the satellite correction processor with 91 satellites in view (95
// visibility records, the 91 highest requested): setups, time-outs, position and time with the
// Sun and the Moon, the request with its pierce points, and the stages built so far; and the
// request alone, and one pierce point.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>

#include "navigation_data/store/sat_visibility.h"
#include "positioning/corrections/sat_corr_processor.h"

namespace {

constexpr double kDeg = 3.141592653589793 / 180;

void readyEpoch(int visible) {
  PVTDataType& d = PVTDataInstance;
  d.lmsEngineSetup.Init();
  d.satProcessorSetup.Init();
  d.corrProcessorSetup.Init();
  PosData::RcvTimeDataType t{};
  t.ulTimeTag = 1000;
  t.bCalendarValid = 1;
  t.calendar = GREGORIAN_EPOCH{2010, 7, 1, 4, 182, 12, 0, 0, 0.0};
  d.rcvTime.Put(&t);
  PosData::PositionDataType p{};
  p.dLat = 50 * kDeg, p.dLon = 10 * kDeg, p.dHeight = 300;
  const double r = 6378437.0;
  p.dX = r * std::cos(p.dLat) * std::cos(p.dLon), p.dY = r * std::cos(p.dLat) * std::sin(p.dLon);
  p.dZ = r * std::sin(p.dLat), p.bValid = 1;
  d.position.Put(&p);
  PosData::VelocityDataType v{};
  v.bValid = 1;
  d.velocity.Put(&v);
  SatVisibilityStoreInstance.Init();
  int n = 0;
  for (int sys = 0; sys < SYS_NUM && n < visible; ++sys)
    for (int si = 0; si < SYS_SI_NUM[sys] && n < visible; ++si, ++n) {
      SatData::SatVisibilityType s{};
      s.valid = 1;
      s.elevation = static_cast<float>((n * 37) % 95) * 0.9f;
      s.azimuth = static_cast<float>((n * 53) % 360);
      s.los[2] = 1;
      s.variance = 4;
      SatVisibilityStoreInstance.PutEph(SvIdType{static_cast<std::uint8_t>(si), static_cast<std::uint8_t>(sys), 0, 0},
                                        &s);
    }
}

void BM_CorrectionEpoch91(benchmark::State& state) {
  readyEpoch(95);
  std::uint32_t now = 0;
  for (auto _ : state) benchmark::DoNotOptimize(SatCorrProcessorInstance.update(now += 1000));
  state.counters["requested"] = SatCorrProcessorInstance.work().request.uCount;
}
BENCHMARK(BM_CorrectionEpoch91)->Unit(benchmark::kMicrosecond);

void BM_CorrectionRequest91(benchmark::State& state) {
  readyEpoch(95);
  SatCorrProcessorInstance.update(0);
  for (auto _ : state) {
    SatCorrProcessorInstance.prepare_CorrectionRequest();
    benchmark::DoNotOptimize(SatCorrProcessorInstance.work().request.uCount);
  }
}
BENCHMARK(BM_CorrectionRequest91)->Unit(benchmark::kMicrosecond);

void BM_PiercePoint(benchmark::State& state) {
  float lat, lon, obl, az = 0;
  for (auto _ : state) {
    az += 0.01f;
    compute_PiercePoint(50 * kDeg, 10 * kDeg, 0.3f, az, kIppShellHeight, &lat, &lon, &obl);
    benchmark::DoNotOptimize(lon);
  }
}
BENCHMARK(BM_PiercePoint);

}  // namespace
