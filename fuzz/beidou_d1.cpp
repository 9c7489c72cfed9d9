// BeiDou D1 subframes as the raw-data task hands them to the decoders: each chunk of the input
// names a satellite, a signal and a C/N0 and carries ten words (a shorter last chunk is a
// truncated unit). Every input starts from a healthy ephemeris of C06 (real subframes), so that
// the almanac, health and UTC pages are decoded too; the store takes what the decoders write.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "fuzz_support.h"
#include "navigation_data/decoders/beidou_d1_decoder.h"

namespace {

constexpr std::size_t kChunk = 3 + 40;

// Subframes 1-3 of C06, BDT week 810 (the public GNSSTk vectors).
const char* const kEphemeris[3] = {
    "E240550580000201952A11B0052F4EB41C109FEC1CDC2C2FE0215C0028C1FD1F80E1A8AE13D0",
    "E240950D818347397DA3277FC826506C705E9470E01072C17B891AD7F7D40CF2B933B50A9BC0",
    "E240D531831468201340A03C6D0016155FFE7D90DFFB2DB8993F363DCF4DEAD4E8D145AB4D00"};

void wordsOfHex(const char* hex, std::uint32_t w[10]) {
  for (int i = 0; i < 10; ++i) w[i] = 0;
  for (int i = 0; hex[i] != '\0' && i < 80; ++i) {
    const char c = hex[i];
    const std::uint32_t nib = static_cast<std::uint32_t>(c <= '9' ? c - '0' : c - 'A' + 10);
    w[i / 8] |= nib << (28 - 4 * (i % 8));
  }
}

void feed(SvIdType sv, std::uint8_t signal, float cn0, const std::uint32_t* w, int n, std::uint32_t tag) {
  const NavDecoderTime t{0, tag};
  if (CompD1NavDataDecoderType* d = get_CompD1NavDataDecoder(&t, &sv)) d->update(t, sv, signal, w, n, cn0);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::enterRunDir("beidou_d1");
  fuzz::noteDeliberateExits();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const fuzz::CurrentInput current(data, size);
  static std::uint32_t tag = 0;
  const SvIdType c06{5, kSysBeidou, 0, 5};
  std::uint32_t w[10];
  for (const char* hex : kEphemeris) {
    wordsOfHex(hex, w);
    feed(c06, 0, 45.0f, w, 10, ++tag);
  }
  for (std::size_t at = 0; at < size; at += kChunk) {
    const std::size_t left = size - at;
    const std::uint8_t* p = data + at;
    if (left < 3) break;
    const int words = static_cast<int>(left >= kChunk ? 10 : (left - 3) / 4);
    for (int i = 0; i < words; ++i)
      w[i] = static_cast<std::uint32_t>(p[3 + 4 * i]) << 24 | static_cast<std::uint32_t>(p[4 + 4 * i]) << 16 |
             static_cast<std::uint32_t>(p[5 + 4 * i]) << 8 | p[6 + 4 * i];
    // Satellite numbers beyond BeiDou's range and other systems come through as the task could
    // hand them: the decoder refuses them.
    const SvIdType sv{static_cast<std::uint8_t>(p[0] & 0x3F), static_cast<std::uint8_t>(p[0] & 0x80 ? kSysGps : kSysBeidou),
                      0, static_cast<std::uint8_t>(p[0] & 0x3F)};
    feed(sv, p[1], static_cast<float>(p[2]) * 0.25f, w, words, ++tag);
  }
  // Now and then the store's once-a-second step over what was written.
  if ((tag & 0x3F) == 0) {
    SatDataEpoch ep;
    ep.time.valid = true;
    ep.time.cycleKnown[kSysBeidou] = true;
    ep.time.cycle[kSysBeidou] = 810;
    ep.time.sec[kSysBeidou] = 345614 + (tag & 0xFFF);
    SatDataProcessorInstance.update(ep);
  }
  return 0;
}
