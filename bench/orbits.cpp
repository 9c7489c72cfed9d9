// Cost of a satellite position and clock from the broadcast orbit (the Kepler solution), of a
// polynomial build and of one polynomial evaluation, the step per-epoch users take instead.
#include <benchmark/benchmark.h>

#include "navigation_data/orbits/gps_orbit.h"
#include "navigation_data/orbits/sat_polynom.h"

namespace {

// G02 of 2010-07-01 00:00 (toe 345600), as broadcast.
ZRT_EPH_GPS record() {
  constexpr double pi = 3.141592653589793;
  ZRT_EPH_GPS e{};
  e.prn = 2, e.toe = 345600, e.toc = 345600, e.af0 = 0.269108917564e-03, e.af1 = 0.318323145621e-11f;
  e.crs = 41.4375f, e.deltaN = static_cast<float>(0.525557597442e-08 / pi), e.M0 = 0.165772167412e+01 / pi;
  e.cuc = 0.232271850109e-05f, e.e = 0.960697804112e-02, e.cus = 0.617466866970e-05f, e.sqrtA = 0.515359739113e+04;
  e.cic = -0.558793544769e-08f, e.Omega0 = -0.127458719764e+01 / pi, e.cis = 0.167638063431e-06f;
  e.i0 = 0.939349150611 / pi, e.crc = 249.9375f, e.omega = 0.309739903949e+01 / pi;
  e.OmegaDot = static_cast<float>(-0.838784952606e-08 / pi), e.idot = static_cast<float>(-0.232152526369e-10 / pi);
  return e;
}

void BM_KeplerPositionAndClock(benchmark::State& st) {
  const ZRT_EPH_GPS e = record();
  double t = 340000, p[3], v[3], rel;
  for (auto _ : st) {
    compute_SatPositionByEphemeris(t, kSysGps, e, p, v, &rel);
    const double dt = fold_CycleTime(t - e.toc, kSysGps);
    benchmark::DoNotOptimize(e.af0 + (e.af1 + static_cast<double>(e.af2) * dt) * dt + rel);
    benchmark::DoNotOptimize(p);
    t += 0.37;
  }
}
BENCHMARK(BM_KeplerPositionAndClock);

// A first build: three orbit evaluations and the fit.
void BM_PolynomBuild(benchmark::State& st) {
  const ZRT_EPH_GPS e = record();
  PolyNodeRing ring;
  SatData::PolynomEntryType entry{};
  double t = 340000;
  for (auto _ : st) {
    bool computed = false;
    update_SatellitePolynom(kSysGps, e, t, ring, computed, entry);
    benchmark::DoNotOptimize(entry);
    t += 1;
  }
}
BENCHMARK(BM_PolynomBuild);

// The once-a-second step of a running polynomial (a node or a rebuild at most).
void BM_PolynomSlide(benchmark::State& st) {
  const ZRT_EPH_GPS e = record();
  PolyNodeRing ring;
  SatData::PolynomEntryType entry{};
  bool computed = false;
  double t = 340000;
  for (auto _ : st) {
    update_SatellitePolynom(kSysGps, e, t, ring, computed, entry);
    benchmark::DoNotOptimize(entry);
    t += 1;
  }
}
BENCHMARK(BM_PolynomSlide);

void BM_PolynomEval(benchmark::State& st) {
  const ZRT_EPH_GPS e = record();
  PolyNodeRing ring;
  SatData::PolynomEntryType entry{};
  bool computed = false;
  update_SatellitePolynom(kSysGps, e, 340000, ring, computed, entry);
  double dt = 0, p[3], v[3], clk;
  for (auto _ : st) {
    eval_Polynom(entry, dt, p, v, &clk);
    benchmark::DoNotOptimize(p);
    benchmark::DoNotOptimize(clk);
    dt = dt > 60 ? 0 : dt + 0.37;
  }
}
BENCHMARK(BM_PolynomEval);

}  // namespace
