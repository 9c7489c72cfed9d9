// The BeiDou B-CNAV decoders (B1C, B2a, B2b) as the raw-data task hands them messages: each chunk
// of the input names the decoder, the B2b component, the satellite, the B1C second of hour and
// a word count, then carries that many words (a chunk cut by the input's end is a truncated
// message). The decoders write into the store, whose once-a-second step runs now and then.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "fuzz_support.h"
#include "navigation_data/decoders/beidou_b2b_decoder.h"
#include "navigation_data/decoders/beidou_cnav1_decoder.h"
#include "navigation_data/decoders/beidou_cnav2_decoder.h"

namespace {
std::uint64_t g_healthMask = 0;
}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::enterRunDir("beidou_cnav");
  fuzz::noteDeliberateExits();
  navDecoderLinks.b2bSource = [] { return 3; };
  navDecoderLinks.healthCheckSats = [](int) { return g_healthMask; };
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const fuzz::CurrentInput current(data, size);
  static std::uint32_t tag = 0;
  std::size_t at = 0;
  while (at + 4 <= size) {
    const std::uint8_t kind = data[at], si = data[at + 1], soh = data[at + 2], count = data[at + 3];
    at += 4;
    // Exactly the chunk's words on the heap: a read past them is caught.
    std::vector<std::uint32_t> words;
    for (int k = 0; k < count && at + 4 <= size; ++k, at += 4)
      words.push_back(std::uint32_t{data[at]} << 24 | std::uint32_t{data[at + 1]} << 16 |
                      std::uint32_t{data[at + 2]} << 8 | data[at + 3]);
    g_healthMask = (kind & 8) != 0 ? ~std::uint64_t{0} : 0;
    // Satellite numbers beyond BeiDou's range and other systems come through as the task could
    // hand them: the decoders refuse them.
    const SvIdType sv{si, static_cast<std::uint8_t>(kind & 0x80 ? kSysGps : kSysBeidou), 0, si};
    const NavDecoderTime t{0, ++tag};
    const std::uint32_t* w = words.empty() ? nullptr : words.data();
    const int n = static_cast<int>(words.size());
    switch (kind & 3) {
      case 0:
        if (auto* d = get_CompCNav1DataDecoder(&t, &sv)) d->update(t, sv, w, n, soh);
        break;
      case 1:
        if (auto* d = get_CompCNav2DataDecoder(&t, &sv)) d->update(t, sv, w, n);
        break;
      default:
        if (auto* d = get_CompCNav2bDataDecoder(&t, &sv)) d->update(t, sv, w, n, (kind & 4) != 0);
        break;
    }
  }
  if ((tag & 0x3F) == 0) {
    SatDataEpoch ep;
    ep.time.valid = true;
    ep.time.cycleKnown[kSysBeidou] = true;
    ep.time.cycle[kSysBeidou] = 897;
    ep.time.sec[kSysBeidou] = 30000 + (tag & 0xFFF);
    SatDataProcessorInstance.update(ep);
  }
  return 0;
}
