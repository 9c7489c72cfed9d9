// Troposphere stage cost per satellite: models 1 (UNB3, Black) and 4 (UNB3, Niell) beside rtklib's
// DO-229 model and Niell mapping on the same inputs. The epoch's zenith part (meteo, zenith
// delays, mapping coefficients) is timed on its own; rtklib's DO-229 function keeps its zenith
// delays per position, so its per-satellite figure likewise holds the mapping only.
#include <benchmark/benchmark.h>

#include <cmath>
#include <ctime>

#include "positioning/corrections/troposphere_model.h"

extern "C" {
struct gtime_t {
  std::time_t time;
  double sec;
};
gtime_t epoch2time(const double* ep);
double sbstropcorr(gtime_t time, const double* pos, const double* azel, double* var);
double tropmapf(gtime_t time, const double* pos, const double* azel, double* mapfw);
int showmsg(const char*, ...) { return 0; }
void settime(gtime_t) {}
void settspan(gtime_t, gtime_t) {}
}

namespace {

constexpr double kDeg = 3.14159265358979323846 / 180.0;
constexpr int kSats = 32;
constexpr double kLat = 47.3, kHeight = 420.0;
constexpr int kDay = 152;

double elevation(int i) { return 4.0 + 86.0 * i / (kSats - 1); }

gtime_t epoch() {
  const double ep[6] = {2021, 6, 1, 0, 0, 0};
  return epoch2time(ep);
}

CorrData::TropoModelDataType prepare(std::uint32_t type) {
  CorrData::MeteoDataType m{};
  CorrData::TropoModelDataType d{};
  TropoModel::compute_MeteoData(kLat * kDeg, kDay, type, m);
  TropoModel::compute_TropoModelData(type, kHeight, m, d);
  TropoModel::prepare_MappingFunctionData(kLat * kDeg, kDay, m, d);
  return d;
}

void perSatellite(benchmark::State& state, std::uint32_t type) {
  const CorrData::TropoModelDataType d = prepare(type);
  double sum = 0.0;
  for (auto _ : state) {
    for (int i = 0; i < kSats; ++i) {
      double c = 0, r = 0, v = 0;
      TropoModel::compute_TropoModelCorrection(d, kHeight, 1.0, elevation(i), c, r, v);
      sum += c + r + v;
    }
  }
  benchmark::DoNotOptimize(sum);
  state.SetItemsProcessed(state.iterations() * kSats);
}

void BM_Model1PerSatellite(benchmark::State& state) { perSatellite(state, 1); }
BENCHMARK(BM_Model1PerSatellite);
void BM_Model4PerSatellite(benchmark::State& state) { perSatellite(state, 4); }
BENCHMARK(BM_Model4PerSatellite);

void BM_Model1EpochSetup(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(prepare(1));
}
BENCHMARK(BM_Model1EpochSetup);
void BM_Model4EpochSetup(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(prepare(4));
}
BENCHMARK(BM_Model4EpochSetup);

void BM_RtklibSbstropcorrPerSatellite(benchmark::State& state) {
  const gtime_t t = epoch();
  const double pos[3] = {kLat * kDeg, 0.2, kHeight};
  double sum = 0.0;
  for (auto _ : state) {
    for (int i = 0; i < kSats; ++i) {
      const double azel[2] = {0.0, elevation(i) * kDeg};
      double var = 0.0;
      sum += sbstropcorr(t, pos, azel, &var) + var;
    }
  }
  benchmark::DoNotOptimize(sum);
  state.SetItemsProcessed(state.iterations() * kSats);
}
BENCHMARK(BM_RtklibSbstropcorrPerSatellite);

// Niell's mapping alone (rtklib interpolates its coefficients on every call), the zenith delays
// of model 4 applied by the caller.
void BM_RtklibTropmapfPerSatellite(benchmark::State& state) {
  const gtime_t t = epoch();
  const double pos[3] = {kLat * kDeg, 0.2, kHeight};
  const CorrData::TropoModelDataType d = prepare(4);
  double sum = 0.0;
  for (auto _ : state) {
    for (int i = 0; i < kSats; ++i) {
      const double azel[2] = {0.0, elevation(i) * kDeg};
      double mw = 0.0;
      const double mh = tropmapf(t, pos, azel, &mw);
      sum += mh * d.dZHD + mw * d.dZWD;
    }
  }
  benchmark::DoNotOptimize(sum);
  state.SetItemsProcessed(state.iterations() * kSats);
}
BENCHMARK(BM_RtklibTropmapfPerSatellite);

}  // namespace
