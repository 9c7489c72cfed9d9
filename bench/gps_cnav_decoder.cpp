// Cost of the CNAV decoders per unit: CNAV types 10, 11 and 30 in turn (every third completes
// an ephemeris: record, accuracy index, identity and the store), and one CNAV-2 frame (a whole
// ephemeris each time, the store finding it unchanged).
#include <benchmark/benchmark.h>

#include <array>
#include <cstdint>
#include <fstream>
#include <map>
#include <string>

#include "navigation_data/decoders/gps_cnav2_decoder.h"
#include "navigation_data/decoders/gps_cnav_decoder.h"

namespace {

// The public CNAV / CNAV-2 vectors by name, MSB first in 32-bit words.
std::map<std::string, std::array<std::uint32_t, 28>> vectors() {
  std::map<std::string, std::array<std::uint32_t, 28>> out;
  std::ifstream f(std::string(RX_SHARED_DIR) + "/testdata/navmsg/gnsstk_nav_messages.csv");
  std::string line;
  while (std::getline(f, line)) {
    if (line.find(",CNav,") == std::string::npos && line.find(",CNav2,") == std::string::npos) continue;
    const std::string name = line.substr(0, line.find(','));
    std::size_t p = line.find("}\",");
    const int nbits = std::stoi(line.substr(p + 3));
    p = line.find(',', p + 3) + 1;
    std::array<std::uint32_t, 28> w{};
    for (int i = 0; i < (nbits + 3) / 4; ++i) {
      const auto nib = static_cast<std::uint32_t>(std::stoi(line.substr(p + static_cast<std::size_t>(i), 1), nullptr, 16));
      w[static_cast<std::size_t>(i / 8)] |= nib << (28 - 4 * (i % 8));
    }
    out[name] = w;
  }
  return out;
}

void BM_CnavEphemerisMessages(benchmark::State& state) {
  const auto v = vectors();
  for (GpsCNavDataDecoderType& d : GpsCNavDataDecoderPool) d.init_Object(&SatDataProcessorInstance);
  const SvIdType sv{0, kSysGps, 0, 0};
  const std::array<std::uint32_t, 28>* m[3] = {&v.at("msg10CNAVGPSL2"), &v.at("msg11CNAVGPSL2"), &v.at("msg30CNAVGPSL2")};
  std::uint32_t n = 0;
  for (auto _ : state) {
    const NavDecoderTime t{0, n};
    get_GpsCNavDataDecoder(&t, &sv)->update(t, sv, 1, m[n % 3]->data(), 10);
    ++n;
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_CnavEphemerisMessages);

void BM_Cnav2Frame(benchmark::State& state) {
  const auto v = vectors();
  for (GpsCNav2DataDecoderType& d : GpsCNav2DataDecoderPool) d.init_Object(&SatDataProcessorInstance);
  const SvIdType sv{3, kSysGps, 0, 3};
  const auto& f = v.at("sf123p1CNAV2GPS");
  std::uint32_t n = 0;
  for (auto _ : state) {
    const NavDecoderTime t{0, n++};
    get_GpsCNav2DataDecoder(&t, &sv)->update(t, sv, 0, f.data(), 28);
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_Cnav2Frame);

}  // namespace
