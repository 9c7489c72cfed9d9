// Cost of the LNAV decoder per subframe: subframes 1-3 in turn (every third completes an
// ephemeris: identity, check value, ghost scan over the pool and the store), almanac pages
// (each one handed to the store), and units dropped at the header.
#include <benchmark/benchmark.h>

#include <array>
#include <cstdint>
#include <fstream>
#include <map>
#include <string>

#include "navigation_data/decoders/gps_lnav_decoder.h"

namespace {

using Words = std::array<std::uint32_t, 10>;

// The public LNAV vectors by name: 300 bits, MSB first, in ten 32-bit words.
std::map<std::string, Words> vectors() {
  std::map<std::string, Words> out;
  std::ifstream f(std::string(RX_SHARED_DIR) + "/testdata/navmsg/gnsstk_nav_messages.csv");
  std::string line;
  while (std::getline(f, line)) {
    if (line.find(",LNav,") == std::string::npos) continue;
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
  SvIdType sv{3, kSysGps, 0, 3};
  Setup() {
    navDecoderLinks.gpsPrnEntry = [](int k) { return k + 1; };
    for (GpsNavDataDecoderType& d : GpsNavDataDecoderPool) d.init_Object(&SatDataProcessorInstance);
  }
  void feed(const Words& w, std::uint32_t tag) {
    const NavDecoderTime t{0, tag};
    get_GpsNavDataDecoder(&t, &sv)->update(t, sv, 0, w.data(), 10, 45.0f);
  }
};

void BM_LnavEphemerisSubframes(benchmark::State& state) {
  Setup s;
  const Words sf[3] = {s.v.at("ephLNAVGPSSF1"), s.v.at("ephLNAVGPSSF2"), s.v.at("ephLNAVGPSSF3")};
  std::uint32_t n = 0;
  for (auto _ : state) {
    s.feed(sf[n % 3], n);
    ++n;
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_LnavEphemerisSubframes);

void BM_LnavAlmanacPage(benchmark::State& state) {
  Setup s;
  for (const char* n : {"ephLNAVGPSSF1", "ephLNAVGPSSF2", "ephLNAVGPSSF3"}) s.feed(s.v.at(n), 0);
  Words page = s.v.at("almLNAVGPS25");
  std::uint32_t tow = 10;
  for (auto _ : state) {
    // A new HOW count each time, so that every page goes out to the store.
    page[0] = (page[0] & ~0x3u) | (tow >> 15);
    page[1] = (page[1] & 0x0001FFFFu) | (tow & 0x7FFF) << 17;
    s.feed(page, tow);
    tow = tow >= 100000 ? 10 : tow + 1;
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_LnavAlmanacPage);

void BM_LnavDroppedUnit(benchmark::State& state) {
  Setup s;
  const Words zero{};  // HOW count 0: dropped after the header
  std::uint32_t n = 0;
  for (auto _ : state) s.feed(zero, n++);
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_LnavDroppedUnit);

}  // namespace
