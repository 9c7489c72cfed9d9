// NavIC L5 subframes as the raw-data task hands them to the decoders: each chunk of the input
// names a satellite, a signal and a C/N0 and carries ten words (a shorter last chunk is a
// truncated unit). Every input starts from a healthy ephemeris of I02 (its 00:00 broadcast of
// 2023-03-12), so that the messages of subframes 3 and 4 reach the store beside it.
#include <cstddef>
#include <cstdint>

#include "fuzz_support.h"
#include "navigation_data/decoders/navic_l5_decoder.h"

namespace {

constexpr std::size_t kChunk = 3 + 40;

const char* const kEphemeris[2] = {
    "8B0000A0CD0E7B17FC200000003F0009DD000003B2DE9FBFF9FFF91D5EDABC197000000000000000",
    "8B000129A7573DA00000040F5EFF2BAB808503AA0E95F1B60173FF6AB14A46478000000000000000"};

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
  if (IrnssL5NavDataDecoderType* d = get_IrnssL5NavDataDecoder(&t, &sv)) d->update(t, sv, signal, w, n, cn0);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::enterRunDir("navic_l5");
  fuzz::noteDeliberateExits();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const fuzz::CurrentInput current(data, size);
  static std::uint32_t tag = 0;
  const SvIdType i02{1, kSysNavic, 0, 1};
  std::uint32_t w[10];
  for (const char* hex : kEphemeris) {
    wordsOfHex(hex, w);
    feed(i02, 0, 45.0f, w, 10, ++tag);
  }
  for (std::size_t at = 0; at < size; at += kChunk) {
    const std::size_t left = size - at;
    const std::uint8_t* p = data + at;
    if (left < 3) break;
    const int words = static_cast<int>(left >= kChunk ? 10 : (left - 3) / 4);
    for (int i = 0; i < words; ++i)
      w[i] = static_cast<std::uint32_t>(p[3 + 4 * i]) << 24 | static_cast<std::uint32_t>(p[4 + 4 * i]) << 16 |
             static_cast<std::uint32_t>(p[5 + 4 * i]) << 8 | p[6 + 4 * i];
    // Satellite numbers beyond NavIC's range and other systems come through as the task could
    // hand them: the decoder refuses them.
    const SvIdType sv{static_cast<std::uint8_t>(p[0] & 0x1F), static_cast<std::uint8_t>(p[0] & 0x80 ? kSysGps : kSysNavic),
                      0, static_cast<std::uint8_t>(p[0] & 0x1F)};
    feed(sv, p[1], static_cast<float>(p[2]) * 0.25f, w, words, ++tag);
  }
  // Now and then the store's once-a-second step over what was written.
  if ((tag & 0x3F) == 0) {
    SatDataEpoch ep;
    ep.time.valid = true;
    ep.time.cycleKnown[kSysNavic] = true;
    ep.time.cycle[kSysNavic] = 205;
    ep.time.sec[kSysNavic] = 60 + (tag & 0xFFF);
    SatDataProcessorInstance.update(ep);
  }
  return 0;
}
