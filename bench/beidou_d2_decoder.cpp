// Cost of the BeiDou D2 decoder per subframe and of the BeiDou correction generator: the ten
// ephemeris pages in turn (every tenth completes an ephemeris), a subframe 2 and 3 pair of
// frame 1 (16 UDRE indices and three corrections taken and put through the servers), a grid
// page (one block), and one generator update over 30 requested BeiDou satellites.
#include <benchmark/benchmark.h>

#include <array>
#include <cstdint>
#include <fstream>
#include <map>
#include <memory>
#include <string>

#include "main/hooks.h"
#include "navigation_data/decoders/beidou_d2_decoder.h"
#include "positioning/corrections/comp_corr_generator.h"

namespace {

using Words = std::array<std::uint32_t, 10>;

// The public D2 vectors by name: 300 bits, MSB first, in ten 32-bit words.
std::map<std::string, Words> vectors() {
  std::map<std::string, Words> out;
  std::ifstream f(std::string(RX_SHARED_DIR) + "/testdata/navmsg/gnsstk_nav_messages.csv");
  std::string line;
  while (std::getline(f, line)) {
    if (line.find(",D2Nav,") == std::string::npos) continue;
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

std::string pageName(int sf, int p) {
  return "navD2SF" + std::to_string(sf) + "p" + (p < 10 ? "00" : p < 100 ? "0" : "") + std::to_string(p);
}

struct Setup {
  std::map<std::string, Words> v = vectors();
  SvIdType sv{0, kSysBeidou, 0, 0};
  Setup() {
    wireNavigationData();
    for (CompD2NavDataDecoderType& d : CompD2NavDataDecoderInstance) d.init_Object(&SatDataProcessorInstance);
  }
  void feed(const Words& w, std::uint32_t tag) {
    const NavDecoderTime t{0, tag};
    get_CompD2NavDataDecoder(&t, &sv)->update(t, sv, 0, w.data(), 10, 45.0f);
  }
  void ephemeris() {
    for (int p = 1; p <= 10; ++p) feed(v.at(pageName(1, p)), 0);
  }
};

void BM_D2EphemerisPages(benchmark::State& state) {
  Setup s;
  Words pages[10];
  for (int p = 1; p <= 10; ++p) pages[p - 1] = s.v.at(pageName(1, p));
  std::uint32_t n = 0;
  for (auto _ : state) {
    s.feed(pages[n % 10], n);
    ++n;
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_D2EphemerisPages);

void BM_D2Subframe2And3(benchmark::State& state) {
  Setup s;
  s.ephemeris();
  const Words sf2 = s.v.at(pageName(2, 1)), sf3 = s.v.at(pageName(3, 1));
  std::uint32_t n = 0;
  for (auto _ : state) {
    s.feed(sf2, ++n);
    s.feed(sf3, ++n);
  }
  state.SetItemsProcessed(state.iterations() * 2);
}
BENCHMARK(BM_D2Subframe2And3);

void BM_D2GridPage(benchmark::State& state) {
  Setup s;
  s.ephemeris();
  s.feed(s.v.at(pageName(2, 1)), 0);
  const Words page = s.v.at(pageName(5, 65));
  std::uint32_t n = 0;
  for (auto _ : state) s.feed(page, ++n);
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_D2GridPage);

void BM_CompCorrGeneratorUpdate(benchmark::State& state) {
  Setup s;
  s.ephemeris();
  for (int p = 1; p <= 6; ++p) {
    s.feed(s.v.at(pageName(2, p)), 0);
    s.feed(s.v.at(pageName(3, p)), 0);
  }
  for (int p = 1; p <= 13; ++p) s.feed(s.v.at(pageName(5, p)), 0);
  for (int p = 61; p <= 73; ++p) s.feed(s.v.at(pageName(5, p)), 0);
  auto req = std::make_unique<CorrData::CorrectionRequestType>();
  auto wd = std::make_unique<SBASData::CorrectionRequestType>();
  req->rcvTime.bds.ulMs = 345700000;
  req->rcvTime.ulTimeTag = 0;
  req->uCount = 30;
  for (int i = 0; i < 30; ++i) {
    CorrData::RequestSatDataType& r = req->sat[i];
    r.svId = SvIdType{static_cast<std::uint8_t>(i), kSysBeidou, 0, static_cast<std::uint8_t>(i)};
    r.fIppLat = 20.0f + static_cast<float>(i);
    r.fIppLon = 95.0f + 1.3f * static_cast<float>(i);
    r.fObliquity = 1.5f;
  }
  wd->pRequest = req.get();
  for (auto _ : state) {
    CompCorrGeneratorInstance.update(wd.get());
    benchmark::DoNotOptimize(wd->source[0].iono[0].fDelay);
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_CompCorrGeneratorUpdate);

}  // namespace
