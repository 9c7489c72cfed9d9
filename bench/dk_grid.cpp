// Cost of one position in the Danish national grids: the zone-32 projection alone, one polynomial
// step, and the whole forward transformation of each zone.
#include <benchmark/benchmark.h>

#include <cmath>

#include "positioning/geodesy/dk_national_grid.h"

namespace {
constexpr double kDeg = M_PI / 180.0;

// Aarhus, Copenhagen, Roenne.
double latOf(int zone) { return (zone == 2 ? 55.6761 : zone == 3 ? 55.1009 : 56.1572) * kDeg; }
double lonOf(int zone) { return (zone == 2 ? 12.5683 : zone == 3 ? 14.7066 : 10.2107) * kDeg; }

void BM_SpherTM_Forward(benchmark::State& st) {
    double n0 = 0.95, e0 = 0.16;
    DkGrid::_Forward(&n0, &e0, 117);
    double lat = latOf(1);
    for (auto _ : st) {
        double N = lat, E = lonOf(1);
        benchmark::DoNotOptimize(DkGrid::SpherTM_Forward(&N, &E, DkGrid::_UTM32));
        benchmark::DoNotOptimize(N + E);
        lat += 1e-12;
    }
}
BENCHMARK(BM_SpherTM_Forward);

void BM_tcts_u(benchmark::State& st) {
    const int code = static_cast<int>(st.range(0));
    double N = code == 3 ? 6121000.0 : 6140000.0, E = code == 3 ? 864000.0 : 588000.0, n, e;
    for (auto _ : st) {
        benchmark::DoNotOptimize(DkGrid::tcts_u(N, E, &n, &e, code, 1));
        benchmark::DoNotOptimize(n + e);
        N += 1e-6;
    }
}
BENCHMARK(BM_tcts_u)->Arg(1)->Arg(2)->Arg(3)->Arg(117);

void BM_Forward(benchmark::State& st) {
    const int zone = static_cast<int>(st.range(0));
    double lat = latOf(zone);
    for (auto _ : st) {
        double N = lat, E = lonOf(zone);
        benchmark::DoNotOptimize(DkGrid::_Forward(&N, &E, zone));
        benchmark::DoNotOptimize(N + E);
        lat += 1e-12;
    }
}
BENCHMARK(BM_Forward)->Arg(1)->Arg(2)->Arg(3)->Arg(117);
}  // namespace
