// The GNSS board's L-band service-state record ("@@" type 13) through the native input and the
// raw decoder into the service's beams and the demodulator parameters. The first byte picks the
// beam scanning mode, the oscillator, whether the record's first beams become the usable ones and
// its first beam's name the user's beam (both stored in the service's settings block, laid out
// and read as at start) and the record's length (whole or cut); the rest is the record's body.
// Each beam's visibility is then read as the measurement processor and the prints read it.
// A first byte 0x20..0x3F takes the other road, the service's settings: the next 512 bytes are its
// stored block as a start finds it in the settings image (valid, or with its valid mark cleared
// when the byte's bit 3 is set), read as at start; the rest are command lines run as the parser
// runs them against the service's keys ("set,/par/terrastar/...", "print,/par/terrastar/...").
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "../tools/gnss_board_sim/sim_native.h"
#include "command/input_parser.h"
#include "differential/lband/omnistar_params.h"
#include "differential/lband/ts_commands.h"
#include "differential/lband/ts_decoder.h"
#include "native_stream.h"
#include "platform/nv_block.h"
#include "platform/ram_nvm.h"

namespace {
constexpr std::size_t kRecord = 862;
bool g_osc10 = false;

std::string factoryBlock();

// The seeds: the simulator's record (three beams, one of them in use), under first bytes that
// switch scanning, the oscillator, the usable beams and the user's beam.
fuzz::NamedSeeds lbandSeeds() {
  fuzz::NamedSeeds seeds;
  for (const unsigned mode : {0x00u, 0x07u, 0x0Cu, 0x1Du}) {
    char name[16];
    std::snprintf(name, sizeof name, "record-%02x", mode);
    seeds.emplace_back(name, std::string(1, static_cast<char>(mode)) + sim::trstRecord(false));
  }
  // The settings: the factory block, then every key set and the area printed; the same block with
  // its mark cleared.
  const std::string keys =
      "set,/par/terrastar/beam/scan/num,4\nset,/par/terrastar/beam/scan/timeout,120\n"
      "set,/par/terrastar/beam/scan/mode,on\nset,/par/terrastar/beam/scan/reset,on\n"
      "set,/par/terrastar/beam/usable,0x1fe\nset,/par/terrastar/beam/usable/3,off\n"
      "set,/par/terrastar/beam/userdef/mode,on\nset,/par/terrastar/beam/userdef/data,{1545855000,1200,MYB,M,-15.5,1}\n"
      "set,/par/terrastar/beam/userbeam,IOR\nset,/par/terrastar/station/select/1,{10,20}\n"
      "set,/par/terrastar/station/select/2,all\nset,/par/terrastar/debug/output/wadiff,on\n"
      "set,/par/terrastar/debug/time/mode,on\nset,/par/terrastar/debug/time/value,12h30m15s\n"
      "set,/par/terrastar/debug/date/mode,on\nset,/par/terrastar/debug/date/value,01.06.2024\n"
      "print,/par/terrastar\n";
  seeds.emplace_back("settings", std::string(1, '\x20') + factoryBlock() + keys);
  seeds.emplace_back("settings-cleared", std::string(1, '\x28') + factoryBlock() + "print,/par/terrastar\n");
  return seeds;
}

// The service's stored block in the settings image (its header); null before it is laid out.
std::uint8_t* storedBlock() {
  std::uint8_t* img = RamNvm::image();
  for (std::uint32_t o = RamNvm::kHeaderSize; o + NvBlock::kHeaderSize <= RamNvm::kSize;) {
    const unsigned id = img[o] | img[o + 1] << 8;
    const std::uint32_t len = img[o + 2] | img[o + 3] << 8 | static_cast<std::uint32_t>(img[o + 4]) << 16;
    if (id == 0 && len == 0) return nullptr;
    if (id == TerrastarDataDecoder::kNvId) return len == sizeof(TSParametersNvBlock) ? img + o : nullptr;
    o += NvBlock::kHeaderSize + len + (img[o + 5] & 1);
  }
  return nullptr;
}

// The block's data as the factory values leave it.
std::string factoryBlock() {
  TerrastarDataDecoder d;
  if (!d.allocateNvRam()) std::exit(1);
  d.initNvParameters(false);
  d.writeNvRam();
  RamNvmLock l;
  const std::uint8_t* b = storedBlock();
  if (b == nullptr) std::exit(1);
  return std::string(reinterpret_cast<const char*>(b + NvBlock::kHeaderSize), sizeof(TSParametersNvBlock));
}

// The settings road: the block as stored, read as at start, then the command lines.
void settingsRoad(const std::uint8_t* data, std::size_t size, bool markCleared) {
  constexpr std::size_t kBlock = sizeof(TSParametersNvBlock);
  {
    RamNvmLock l;
    std::uint8_t* h = storedBlock();
    if (h == nullptr) std::abort();
    std::uint8_t* d = h + NvBlock::kHeaderSize;
    const std::size_t n = size < kBlock ? size : kBlock;
    std::memcpy(d, data, n);
    std::memset(d + n, 0, kBlock - n);
    std::uint8_t x = 0;
    for (std::size_t i = 0; i < kBlock; ++i) x ^= d[i];
    d[kBlock] = x;
    h[5] = static_cast<std::uint8_t>(markCleared ? h[5] & 0x7F : h[5] | 0x80);
  }
  TSDecoder.readNvRam();
  if (size <= kBlock) return;
  const char* text = reinterpret_cast<const char*>(data + kBlock);
  const std::size_t len = size - kBlock;
  Locker<Mutex> hold(printMutex);
  for (std::size_t i = 0; i < len;) {
    const char* nl = static_cast<const char*>(std::memchr(text + i, '\n', len - i));
    const std::size_t n = nl != nullptr ? static_cast<std::size_t>(nl - (text + i)) : len - i;
    newParse(text + i, static_cast<int>(n));
    i += n + 1;
  }
}
}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::writeSeedsIfAsked(lbandSeeds);
  fuzz::nativeStart("lband", false);
  lbandLinks.isOsc10Mhz = [] { return g_osc10; };
  if (!TSDecoder.allocateNvRam()) std::abort();
  TSDecoder.readNvRam();
  TSDecoder.init();
  if (!registerTerrastarArea()) std::abort();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const fuzz::CurrentInput current(data, size);
  if (size < 1) return 0;
  const std::uint8_t mode = data[0];
  if ((mode & 0xE0) == 0x20) {
    settingsRoad(data + 1, size - 1, (mode & 8) != 0);
    return 0;
  }
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
