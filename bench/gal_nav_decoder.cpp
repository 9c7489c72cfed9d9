// Cost of the Galileo decoder per page: I/NAV words 1-5 in turn (every fifth completes an
// ephemeris: identity, store), the almanac words 7-10 (each almanac handed to the store), F/NAV
// pages 1-4, and a page dropped at its type.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "navigation_data/decoders/gal_nav_decoder.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// The public Galileo vectors by name as the decoder takes them: words wrapped into page pairs.
std::map<std::string, Bytes> vectors() {
  std::map<std::string, Bytes> out;
  std::ifstream f(std::string(RX_SHARED_DIR) + "/testdata/navmsg/gnsstk_nav_messages.csv");
  std::string line;
  while (std::getline(f, line)) {
    if (line.find(",Galileo,") == std::string::npos) continue;
    const std::string name = line.substr(0, line.find(','));
    std::size_t p = line.find("}\",") + 3;
    const int nbits = std::stoi(line.substr(p));
    p = line.find(',', p) + 1;
    const std::string hex = line.substr(p, line.find(',', p) - p);
    Bytes raw(hex.size() / 2 + 1, 0);
    for (std::size_t i = 0; i < hex.size(); ++i)
      raw[i / 2] = static_cast<std::uint8_t>(raw[i / 2] | std::stoi(hex.substr(i, 1), nullptr, 16) << (i % 2 ? 0 : 4));
    if (nbits != 128) {
      out[name] = raw;
      continue;
    }
    Bytes page(30, 0);
    auto bit = [&raw](int i) { return (raw[static_cast<std::size_t>(i / 8)] >> (7 - i % 8)) & 1; };
    auto set = [&page](int i, int v) { page[static_cast<std::size_t>(i / 8)] |= static_cast<std::uint8_t>(v << (7 - i % 8)); };
    for (int i = 0; i < 112; ++i) set(2 + i, bit(i));
    set(120, 1);
    for (int i = 0; i < 16; ++i) set(122 + i, bit(112 + i));
    out[name] = page;
  }
  return out;
}

struct Setup {
  std::map<std::string, Bytes> v = vectors();
  SvIdType sv{0, kSysGalileo, 0, 0};
  Setup() {
    SatDataProcessorInstance.init_Object();
    for (GalDataDecoder& d : GalDataDecoderInstance) d.init_Object(&SatDataProcessorInstance);
  }
  void feed(const Bytes& p, int navType, std::uint32_t ms) {
    const NavDecoderTime t{0, ms};
    get_GalDataDecoder(&t, &sv)->update_Galileo(t, p.data(), static_cast<int>(p.size()), sv, navType, ms);
  }
};

void BM_GalINavEphemerisWords(benchmark::State& state) {
  Setup s;
  const Bytes w[5] = {s.v.at("ephINAVGalWT1"), s.v.at("ephINAVGalWT2"), s.v.at("ephINAVGalWT3"),
                      s.v.at("ephINAVGalWT4"), s.v.at("ephINAVGalWT5")};
  std::uint32_t n = 0;
  for (auto _ : state) {
    s.feed(w[n % 5], kGalNavE1B, n * 2000);
    ++n;
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_GalINavEphemerisWords);

void BM_GalINavAlmanacWords(benchmark::State& state) {
  Setup s;
  for (const char* n : {"ephINAVGalWT1", "ephINAVGalWT2", "ephINAVGalWT3", "ephINAVGalWT4", "ephINAVGalWT5"})
    s.feed(s.v.at(n), kGalNavE1B, 0);
  const Bytes w[4] = {s.v.at("navINAVGalWT7"), s.v.at("navINAVGalWT8"), s.v.at("navINAVGalWT9"),
                      s.v.at("navINAVGalWT10")};
  std::uint32_t n = 0;
  for (auto _ : state) {
    s.feed(w[n % 4], kGalNavE1B, 1000 + n * 2);
    ++n;
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_GalINavAlmanacWords);

void BM_GalFNavEphemerisPages(benchmark::State& state) {
  Setup s;
  const Bytes p[4] = {s.v.at("navFNAVGalPT1"), s.v.at("navFNAVGalPT2"), s.v.at("navFNAVGalPT3"),
                      s.v.at("navFNAVGalPT4")};
  std::uint32_t n = 0;
  for (auto _ : state) {
    s.feed(p[n % 4], kGalNavE5a, n * 10000);
    ++n;
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_GalFNavEphemerisPages);

void BM_GalDroppedPage(benchmark::State& state) {
  Setup s;
  const Bytes zero(30, 0);  // word type 0: nothing to decode
  std::uint32_t n = 0;
  for (auto _ : state) s.feed(zero, kGalNavE1B, n++);
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_GalDroppedPage);

}  // namespace
