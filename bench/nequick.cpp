// NeQuick G slant TEC over the reference validation rows (../shared/data/nequick/benchmark*):
// microseconds per ray and the density evaluations each ray takes.
#include <benchmark/benchmark.h>

#include <fstream>
#include <string>
#include <vector>

#include "positioning/corrections/nequick_task.h"

namespace {

constexpr double kDeg = 3.14159265358979323846 / 180.0;

std::vector<CorrData::NeModelDataType> loadRows() {
  std::vector<CorrData::NeModelDataType> out;
  for (const char* name : {"benchmarkHigh", "benchmarkMid", "benchmarkLow", "benchmarkHighExpanded",
                           "benchmarkMidExpanded", "benchmarkLowExpanded"}) {
    std::ifstream f(std::string(RX_SHARED_DIR) + "/data/nequick/" + name);
    float a[3];
    if (!(f >> a[0] >> a[1] >> a[2])) continue;
    double month, ut, lon1, lat1, h1, lon2, lat2, h2, stec;
    while (f >> month >> ut >> lon1 >> lat1 >> h1 >> lon2 >> lat2 >> h2 >> stec) {
      CorrData::NeModelDataType r{};
      float ai[3] = {a[0], a[1], a[2]};
      const NeQuickIonisationLevelType lv = compute_NeQuickIonisationLevel(ai, lat1 * kDeg, lon1 * kDeg);
      r.dAz = lv.dAz, r.dAzr = lv.dAzr, r.dModip = lv.dModip;
      r.calendar.month = static_cast<int>(month), r.calendar.hour = static_cast<int>(ut);
      r.iModelType = kNeModelNeQuick;
      r.dRcvLat = lat1 * kDeg, r.dRcvLon = lon1 * kDeg, r.dRcvHeight = h1;
      r.dSatLat = lat2 * kDeg, r.dSatLon = lon2 * kDeg, r.dSatHeight = h2;
      out.push_back(r);
    }
  }
  return out;
}

void BM_NeQuickSlantTec(benchmark::State& state) {
  const std::vector<CorrData::NeModelDataType> rows = loadRows();
  if (rows.empty()) {
    state.SkipWithError("no benchmark rows");
    return;
  }
  std::size_t i = 0;
  long evaluations = 0, rays = 0;
  for (auto _ : state) {
    NeIntegratorType stats{};
    benchmark::DoNotOptimize(compute_NeModelSlantTEC(rows[i], &stats));
    evaluations += stats.evaluations;
    ++rays;
    i = i + 1 == rows.size() ? 0 : i + 1;
  }
  state.counters["densities_per_ray"] = static_cast<double>(evaluations) / static_cast<double>(rays);
  state.counters["rows"] = static_cast<double>(rows.size());
}
BENCHMARK(BM_NeQuickSlantTec)->Unit(benchmark::kMicrosecond);

void BM_GlonassModelSlantTec(benchmark::State& state) {
  std::vector<CorrData::NeModelDataType> rows = loadRows();
  if (rows.empty()) {
    state.SkipWithError("no benchmark rows");
    return;
  }
  for (auto& r : rows) {
    r.iModelType = kNeModelGlonass;
    r.uDayOfYear = static_cast<std::uint16_t>(r.calendar.month * 30.5 - 15);
    r.fGlonass[0] = 1.0f, r.fGlonass[1] = 10.0f, r.fGlonass[2] = 120.0f;
  }
  std::size_t i = 0;
  long evaluations = 0, rays = 0;
  for (auto _ : state) {
    NeIntegratorType stats{};
    benchmark::DoNotOptimize(compute_NeModelSlantTEC(rows[i], &stats));
    evaluations += stats.evaluations;
    ++rays;
    i = i + 1 == rows.size() ? 0 : i + 1;
  }
  state.counters["densities_per_ray"] = static_cast<double>(evaluations) / static_cast<double>(rays);
}
BENCHMARK(BM_GlonassModelSlantTec)->Unit(benchmark::kMicrosecond);

}  // namespace
