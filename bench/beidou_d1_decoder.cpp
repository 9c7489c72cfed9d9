// Cost of the BeiDou D1 decoder per subframe: subframes 1-3 in turn (every third completes an
// ephemeris: identity, ghost scan over the pool, the store and the Klobuchar model), and an
// almanac page (shared sets, preference order, the store).
#include <benchmark/benchmark.h>

#include <array>
#include <cstdint>
#include <fstream>
#include <map>
#include <string>

#include "navigation_data/decoders/beidou_d1_decoder.h"

namespace {

using Words = std::array<std::uint32_t, 10>;

// The public D1 vectors by name: 300 bits, MSB first, in ten 32-bit words.
std::map<std::string, Words> vectors() {
  std::map<std::string, Words> out;
  std::ifstream f(std::string(RX_SHARED_DIR) + "/testdata/navmsg/gnsstk_nav_messages.csv");
  std::string line;
  while (std::getline(f, line)) {
    if (line.find(",D1Nav,") == std::string::npos) continue;
    const std::string name = line.substr(0, line.find(','));
    std::size_t p = line.find("}\",");
    p = line.find(',', p + 3) + 1;  // past nbits
    Words w{};
    for (int i = 0; i < 75; ++i) {
      const auto nib = static_cast<std::uint32_t>(std::stoi(line.substr(p + static_cast<std::size_t>(i), 1), nullptr, 16));
      w[static_cast<std::size_t>(i / 8)] |= nib << (28 - 4 * (i % 8));
    }
    out[name] = w;
  }
  return out;
}

struct Setup {
  std::map<std::string, Words> v = vectors();
  SvIdType sv{5, kSysBeidou, 0, 5};
  Setup() {
    for (CompD1NavDataDecoderType& d : CompD1NavDataDecoderInstance) d.init_Object(&SatDataProcessorInstance);
  }
  void feed(const Words& w, std::uint32_t tag) {
    const NavDecoderTime t{0, tag};
    get_CompD1NavDataDecoder(&t, &sv)->update(t, sv, 0, w.data(), 10, 45.0f);
  }
};

void BM_D1EphemerisSubframes(benchmark::State& state) {
  Setup s;
  const Words sf[3] = {s.v.at("ephD1NAVSF1"), s.v.at("ephD1NAVSF2"), s.v.at("ephD1NAVSF3")};
  std::uint32_t n = 0;
  for (auto _ : state) {
    s.feed(sf[n % 3], n);
    ++n;
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_D1EphemerisSubframes);

void BM_D1AlmanacPage(benchmark::State& state) {
  Setup s;
  for (const char* name : {"ephD1NAVSF1", "ephD1NAVSF2", "ephD1NAVSF3", "almD1NAVSF5p8"}) s.feed(s.v.at(name), 0);
  const Words page = s.v.at("almD1NAVSF4p1");
  std::uint32_t n = 0;
  for (auto _ : state) s.feed(page, ++n);
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_D1AlmanacPage);

}  // namespace
