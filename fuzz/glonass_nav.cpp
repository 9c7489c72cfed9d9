// The GLONASS FDMA decoder over any sequence of strings: each 15 bytes of the input are the
// tracking index (any byte, so out-of-range ones too), the time step to the string (ms, two bytes)
// and the string's three words, fed to the pool as the receiver does, with the store behind it.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "fuzz_support.h"
#include "navigation_data/decoders/glonass_nav_decoder.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static bool once = [] {
    fuzz::enterRunDir("glonass_nav");
    fuzz::noteDeliberateExits();
    return true;
  }();
  (void)once;
  fuzz::CurrentInput current(data, size);
  for (auto& d : GloNavDataDecoderPool) d.init_Object(&SatDataProcessorInstance);
  GloNavDataDecoderType::reset_SharedData();
  std::uint32_t ms = 0;
  constexpr std::size_t kRecord = 15;
  for (std::size_t i = 0; i + kRecord <= size; i += kRecord) {
    const std::uint8_t* r = data + i;
    const SvIdType sv{r[0], kSysGlonass, 0, kSvUnknown};
    ms += static_cast<std::uint32_t>(r[1] | r[2] << 8);
    std::uint32_t w[3];
    std::memcpy(w, r + 3, sizeof w);
    const NavDecoderTime t{0, ms};
    if (GloNavDataDecoderType* d = get_GloNavDataDecoder(&t, &sv)) d->update(t, sv, 1, w, 3, 40.0f);
  }
  // The tail shorter than a record: a cut string.
  const std::size_t tail = size % kRecord;
  if (tail > 3) {
    std::uint32_t w[3] = {};
    std::memcpy(w, data + size - tail + 3, tail - 3 < sizeof w ? tail - 3 : sizeof w);
    const SvIdType sv{data[size - tail], kSysGlonass, 0, kSvUnknown};
    const NavDecoderTime t{0, ms};
    if (GloNavDataDecoderType* d = get_GloNavDataDecoder(&t, &sv)) d->update(t, sv, 1, w, static_cast<int>((tail - 3) / 4), 40.0f);
  }
  return 0;
}
