// The GNSS board's L-band service-state record ("@@" type 13) through the native input and the
// raw decoder into the service's beams and the demodulator parameters. The first byte picks the
// beam scanning mode, the oscillator, whether the record's first beams become the usable ones and
// its first beam's name the user's beam (both stored in the service's settings block, laid out
// and read as at start) and the record's length (whole or cut); the rest is the record's body.
// Each beam's visibility is then read as the measurement processor and the prints read it.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "../tools/gnss_board_sim/sim_native.h"
#include "differential/lband/omnistar_params.h"
#include "differential/lband/ts_decoder.h"
#include "native_stream.h"

namespace {
constexpr std::size_t kRecord = 862;
bool g_osc10 = false;

// The seeds: the simulator's record (three beams, one of them in use), under first bytes that
// switch scanning, the oscillator, the usable beams and the user's beam.
fuzz::NamedSeeds lbandSeeds() {
  fuzz::NamedSeeds seeds;
  for (const unsigned mode : {0x00u, 0x07u, 0x0Cu, 0x1Du}) {
    char name[16];
    std::snprintf(name, sizeof name, "record-%02x", mode);
    seeds.emplace_back(name, std::string(1, static_cast<char>(mode)) + sim::trstRecord(false));
  }
  return seeds;
}
}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::writeSeedsIfAsked(lbandSeeds);
  fuzz::nativeStart("lband", false);
  lbandLinks.isOsc10Mhz = [] { return g_osc10; };
  if (!TSDecoder.allocateNvRam()) std::abort();
  TSDecoder.readNvRam();
  TSDecoder.init();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const fuzz::CurrentInput current(data, size);
  if (size < 1) return 0;
  const std::uint8_t mode = data[0];
  g_osc10 = (mode & 2) != 0;
  omniStarInitOnXce();
  omniStarSpecChan = 4;
  omniStarSpecBand = 18;
  omniStarInitParams();
  if (TSDecoder.getBeamScanningMode() != ((mode & 1) != 0)) TSDecoder.setBeamScanningMode((mode & 1) != 0);
  // Whole records mostly; now and then one cut short or too long, which the reader refuses.
  std::size_t len = kRecord;
  if ((mode & 0xF0) == 0xF0) len = size - 1;
  std::string body(1, '\x0D');
  body += static_cast<char>(len & 0xFF);
  body += static_cast<char>(len >> 8);
  std::string rec(reinterpret_cast<const char*>(data + 1), size - 1 < len ? size - 1 : len);
  rec.resize(len, '\0');
  body += rec;
  if (body.size() > 0xFFF) return 0;
  char head[6];
  std::snprintf(head, sizeof head, "@@%03X", static_cast<unsigned>(body.size()));
  const std::string msg = head + body;
  fuzz::nativeFeed(reinterpret_cast<const std::uint8_t*>(msg.data()), msg.size());
  if (mode & 4) {
    std::uint64_t mask = 0;
    for (std::size_t i = 0; i < 8 && i < rec.size(); ++i) mask = mask << 8 | static_cast<unsigned char>(rec[i]);
    TSDecoder.setUsableBeams(mask);
  }
  for (int slot = 0; slot < 16; ++slot) {
    TSBeam b{};
    float elevation = 0.0f;
    if (!TSDecoder.getBeamInfo(slot, (mode & 16) != 0, &b, &elevation)) continue;
    int number = 0;
    float el = 0.0f, az = 0.0f;
    TSDecoder.getBeamVisibleData(b.frequency, number, el, az);
    if ((mode & 8) && slot == 0) TSDecoder.setUserBeamName(b.name);
  }
  for (int i = 0; i < TSDecoder.getOrderedBeamNum(); ++i) {
    const char* name = nullptr;
    float lon = 0.0f, level = 0.0f;
    TSDecoder.getOrderedBeam(i, &name, &lon, &level);
  }
  return 0;
}
