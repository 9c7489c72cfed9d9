// Cost of satellite visibility and of the celestial mathematics: one satellite's elevation,
// azimuth, variance and threshold; the store's once-a-second step with 32 GPS almanacs, their
// positions, coarse polynomials and both visibilities; and the Earth orientation with the Sun and
// the Moon of one epoch.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <memory>

#include "navigation_data/store/sat_data_store.h"
#include "navigation_data/store/sat_visibility.h"
#include "positioning/geodesy/celestial_math.h"

namespace {

SvIdType gps(int si) { return SvIdType{static_cast<std::uint8_t>(si), kSysGps, 0, static_cast<std::uint8_t>(si)}; }

void BM_SatelliteVisibility(benchmark::State& state) {
  const RcvPositionType rcv{{4027893.0, 307045.0, 4919475.0}, 0.8453, 0.0760, 100};
  double sat[3] = {15600e3, 7540e3, 20140e3};
  float el, az, thr, var;
  double los[3];
  for (auto _ : state) {
    sat[0] += 1;
    compute_SatelliteVisibility(rcv, sat, false, &el, &az, los);
    compute_ElevBasedVar(kSysGps, el, ElevVarSetup{}, &thr, &var);
    benchmark::DoNotOptimize(var);
  }
}
BENCHMARK(BM_SatelliteVisibility);

// The whole step with visibility: 32 almanacs, a fresh receiver position, coarse polynomials on.
void BM_OnceASecondUpdateWithVisibility(benchmark::State& state) {
  auto s = std::make_unique<SatelliteDataProcessor>();
  SatDataEpoch ep;
  ep.time.valid = true;
  ep.time.cycleKnown[kSysGps] = true;
  ep.time.cycle[kSysGps] = 1590;
  ep.time.sec[kSysGps] = 352800;
  ep.monoSec = 1;
  ep.setup.almPolynom = static_cast<std::uint8_t>(state.range(0));
  s->update(ep);
  for (int k = 0; k < 32; ++k) {
    ZRT_ALM_GPS a{};
    a.prn = static_cast<std::uint8_t>(k + 1);
    a.toa = 352800;
    a.week = 1590 % 1024;
    a.rank = 1;
    a.sqrtA = 5153.6f;
    a.e = 0.01f;
    a.deltaI = 0.0128f;
    a.Omega0 = static_cast<float>((k % 6) / 3.0 - 1);
    a.M0 = static_cast<float>(k / 16.0 - 1);
    a.OmegaDot = -2.6e-9f;
    s->update_AlmanacData(gps(k), 255, &a, false);
  }
  ep.positionFresh = true;
  ep.rcvPos[0] = 4027893.0, ep.rcvPos[1] = 307045.0, ep.rcvPos[2] = 4919475.0;
  ep.rcvLlh[0] = 0.8453, ep.rcvLlh[1] = 0.0760, ep.rcvLlh[2] = 100;
  double t = 352800;
  for (auto _ : state) {
    ep.monoSec += 1;
    ep.time.sec[kSysGps] = ++t;
    s->update(ep);
  }
}
BENCHMARK(BM_OnceASecondUpdateWithVisibility)->Arg(0)->Arg(1);

void BM_CelestialUpdateSunMoon(benchmark::State& state) {
  CelestialMath cm;
  GREGORIAN_EPOCH g{};
  g.year = 2026, g.month = 12, g.day = 7, g.hour = 6;
  PosData::CelestialPositionDataType sun{}, moon{};
  int s = 0;
  for (auto _ : state) {
    g.second = s++ % 60;
    cm.update(g);
    cm.update_SunPos(&sun);
    cm.update_MoonPos(&moon);
    benchmark::DoNotOptimize(sun.dEarthFixed[0] + moon.dEarthFixed[0]);
  }
}
BENCHMARK(BM_CelestialUpdateSunMoon);

}  // namespace
