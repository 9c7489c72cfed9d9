// Broadcast ionosphere model cost per call: the GPS-form Klobuchar correction (with its DO-229
// variance) beside rtklib's ionmodel (delay only) on the same 10 000 inputs, the BeiDou form,
// and BDGIM.
#include <benchmark/benchmark.h>

#include <cmath>
#include <ctime>
#include <random>
#include <vector>

#include "positioning/corrections/iono_model.h"

extern "C" {
struct gtime_t {
  std::time_t time;
  double sec;
};
gtime_t epoch2time(const double* ep);
double time2gpst(gtime_t t, int* week);
double ionmodel(gtime_t t, const double* ion, const double* pos, const double* azel);
int showmsg(const char*, ...) { return 0; }
void settime(gtime_t) {}
void settspan(gtime_t, gtime_t) {}
}

namespace {

constexpr double kDeg = 3.14159265358979323846 / 180.0;
constexpr int kInputs = 10000;

struct Input {
  gtime_t t;
  double tow;
  double pos[3];
  double azel[2];  // rad
  float az, el;    // deg
};

const std::vector<Input>& inputs() {
  static const std::vector<Input> v = [] {
    std::vector<Input> r(kInputs);
    std::mt19937 g(11);
    std::uniform_real_distribution<double> u(0.0, 1.0);
    const double ep[6] = {2021, 3, 1, 0, 0, 0};
    for (Input& in : r) {
      in.t = epoch2time(ep);
      in.t.time += static_cast<std::time_t>(u(g) * 604800);
      int week = 0;
      in.tow = time2gpst(in.t, &week);
      in.pos[0] = (u(g) * 2 - 1) * 85 * kDeg;
      in.pos[1] = (u(g) * 2 - 1) * 180 * kDeg;
      in.pos[2] = 0;
      in.el = static_cast<float>(1 + u(g) * 89);
      in.az = static_cast<float>(u(g) * 360);
      in.azel[0] = in.az * kDeg;
      in.azel[1] = in.el * kDeg;
    }
    return r;
  }();
  return v;
}

const double kIon[8] = {0.2e-7, -0.8e-8, -0.5e-7, 0.1e-6, 0.2e6, 0.2e6, -0.1e6, -0.1e7};

ZRT_ION_GPS model() {
  ZRT_ION_GPS m{};
  for (int i = 0; i < 4; ++i) m.alpha[i] = static_cast<float>(kIon[i]), m.beta[i] = static_cast<float>(kIon[4 + i]);
  m.valid = 1;
  return m;
}

void BM_Klobuchar(benchmark::State& state) {
  const auto& in = inputs();
  const ZRT_ION_GPS m = model();
  for (auto _ : state) {
    for (const Input& x : in) {
      float c, v;
      IonoModel::compute_KlobIonoModelCorrection(false, x.tow, x.pos[0], x.pos[1], x.el, x.az, m, 1.0f, c, v);
      benchmark::DoNotOptimize(c);
      benchmark::DoNotOptimize(v);
    }
  }
  state.SetItemsProcessed(state.iterations() * kInputs);
}

void BM_RtklibIonmodel(benchmark::State& state) {
  const auto& in = inputs();
  for (auto _ : state) {
    for (const Input& x : in) benchmark::DoNotOptimize(ionmodel(x.t, kIon, x.pos, x.azel));
  }
  state.SetItemsProcessed(state.iterations() * kInputs);
}

void BM_KlobucharBds(benchmark::State& state) {
  const auto& in = inputs();
  const ZRT_ION_GPS m = model();
  for (auto _ : state) {
    for (const Input& x : in) {
      float c, v;
      IonoModel::compute_BdsKlobIonoModelCorrection(false, x.tow, x.pos[0], x.pos[1], x.el, x.az, m, 1.0f, c, v);
      benchmark::DoNotOptimize(c);
    }
  }
  state.SetItemsProcessed(state.iterations() * kInputs);
}

void BM_Bdgim(benchmark::State& state) {
  const auto& in = inputs();
  ZRT_ION_CMP m{};
  const float a[9] = {13.82642069f, -1.78004616f, 5.172f, 3.1303094f, -4.58961329f,
                      0.32483867f, -0.07802383f, 1.2431259f, 0.37763627f};
  for (int i = 0; i < 9; ++i) m.alpha[i] = a[i];
  m.valid = 1;
  for (auto _ : state) {
    for (const Input& x : in) {
      float c, v;
      IonoModel::compute_BDGlobalIonoModelCorrection(x.pos[0], x.pos[1], x.el, x.az, 59158.7, &m, 1575.42e6, c, v);
      benchmark::DoNotOptimize(c);
    }
  }
  state.SetItemsProcessed(state.iterations() * kInputs);
}

BENCHMARK(BM_Klobuchar);
BENCHMARK(BM_RtklibIonmodel);
BENCHMARK(BM_KlobucharBds);
BENCHMARK(BM_Bdgim);

}  // namespace
