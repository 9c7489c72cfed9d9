// Cost of the NavIC L5 decoder per subframe: subframes 1 and 2 in turn (every second completes
// an ephemeris: identity, ghost scan over the pool, the store), and an almanac message (the
// store's almanac rules).
#include <benchmark/benchmark.h>

#include <array>
#include <cstdint>

#include "navigation_data/decoders/navic_l5_decoder.h"

namespace {

using Words = std::array<std::uint32_t, 10>;

// Subframes 1 and 2 of I02 (2023-03-12 00:00), and an almanac message for I03.
const char* const kSubframe1 = "8B0000A0CD0E7B17FC200000003F0009DD000003B2DE9FBFF9FFF91D5EDABC197000000000000000";
const char* const kSubframe2 = "8B000129A7573DA00000040F5EFF2BAB808503AA0E95F1B60173FF6AB14A46478000000000000000";
const char* const kAlmanac = "8B0001B0733402085DC385EE03F0632BA5430BDC00B71B02CED3020C7FD0FE400800000000000000";

Words ofHex(const char* hex) {
  Words w{};
  for (int i = 0; hex[i] != '\0' && i < 80; ++i) {
    const char c = hex[i];
    const auto nib = static_cast<std::uint32_t>(c <= '9' ? c - '0' : c - 'A' + 10);
    w[static_cast<std::size_t>(i / 8)] |= nib << (28 - 4 * (i % 8));
  }
  return w;
}

struct Setup {
  SvIdType sv{1, kSysNavic, 0, 1};
  Setup() {
    for (IrnssL5NavDataDecoderType& d : IrnssL5NavDataDecoderInstance) d.init_Object(&SatDataProcessorInstance);
  }
  void feed(const Words& w, std::uint32_t tag) {
    const NavDecoderTime t{0, tag};
    get_IrnssL5NavDataDecoder(&t, &sv)->update(t, sv, 0, w.data(), 10, 45.0f);
  }
};

void BM_NavicEphemerisSubframes(benchmark::State& state) {
  Setup s;
  const Words sf[2] = {ofHex(kSubframe1), ofHex(kSubframe2)};
  std::uint32_t n = 0;
  for (auto _ : state) {
    s.feed(sf[n % 2], n);
    ++n;
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_NavicEphemerisSubframes);

void BM_NavicAlmanacMessage(benchmark::State& state) {
  Setup s;
  const Words msg = ofHex(kAlmanac);
  std::uint32_t n = 0;
  for (auto _ : state) s.feed(msg, ++n);
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_NavicAlmanacMessage);

}  // namespace
