// Cost of the GLONASS decoder per string (every fifth completes an ephemeris: identity, check
// value, ghost scan and the store) and of one Runge-Kutta step and one polynomial slide.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "navigation_data/decoders/glonass_nav_decoder.h"
#include "navigation_data/orbits/glonass_eph.h"

namespace {

std::map<std::string, std::vector<std::uint32_t>> strings() {
  std::map<std::string, std::vector<std::uint32_t>> out;
  std::ifstream f(std::string(RX_SHARED_DIR) + "/testdata/navmsg/gnsstk_nav_messages.csv");
  std::string line;
  while (std::getline(f, line)) {
    if (line.find(",GLOFNav,") == std::string::npos) continue;
    const std::string name = line.substr(0, line.find(','));
    std::size_t p = line.find("}\",");
    p = line.find(',', p + 3) + 1;
    std::vector<std::uint32_t> w(3);
    for (int k = 0; k < 3; ++k) w[k] = static_cast<std::uint32_t>(std::stoul(line.substr(p + 8 * k, 8), nullptr, 16));
    out[name] = w;
  }
  return out;
}

void BM_GloDecodeString(benchmark::State& st) {
  auto s = strings();
  for (auto& d : GloNavDataDecoderPool) d.init_Object(&SatDataProcessorInstance);
  SvIdType sv{8, kSysGlonass, 0, kSvUnknown};
  std::uint32_t t = 0;
  int k = 1;
  for (auto _ : st) {
    const NavDecoderTime tm{0, t += 2000};
    get_GloNavDataDecoder(&tm, &sv)->update(tm, sv, 1, s["navFNAVGLOStr" + std::to_string(k)].data(), 3, 45);
    k = k % 5 + 1;
  }
}
BENCHMARK(BM_GloDecodeString);

ZRT_EPH_GLN example() {
  ZRT_EPH_GLN e{};
  e.tb = 11700;
  e.pos[0] = 7003.008789, e.pos[1] = -12206.626953, e.pos[2] = 21280.765625;
  e.vel[0] = 0.7835417, e.vel[1] = 2.8042530, e.vel[2] = 1.3525150;
  e.tauN = 1e-5;
  return e;
}

void BM_GloRungeKuttaStep(benchmark::State& st) {
  GloIntegState s = glo_InitialState(example());
  for (auto _ : st) {
    compute_SolutionEquationSet_RKM(s, 30);
    compute_SolutionEquationSet_RKM(s, -30);
    benchmark::DoNotOptimize(s);
  }
}
BENCHMARK(BM_GloRungeKuttaStep);

void BM_GloPolynomPerSecond(benchmark::State& st) {
  const ZRT_EPH_GLN e = example();
  PolyNodeRing ring;
  bool computed = false;
  SatData::PolynomEntryType entry{};
  double t = e.tb - 900;
  for (auto _ : st) {
    update_GloSatellitePolynom(e, t, ring, computed, entry);
    t += 1;
    if (t > e.tb + 900) t = e.tb - 900, computed = false;
  }
}
BENCHMARK(BM_GloPolynomPerSecond);

}  // namespace
