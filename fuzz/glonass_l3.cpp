// The GLONASS L3 decoder over any sequence of strings: each 43 bytes of the input are the
// tracking index (any byte, so out-of-range ones too), the time step to the string (ms, two bytes)
// and the string's ten words, fed to the pool as the receiver does, with the store behind it.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "fuzz_support.h"
#include "navigation_data/decoders/glonass_l3_decoder.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static bool once = [] {
    fuzz::enterRunDir("glonass_l3");
    fuzz::noteDeliberateExits();
    return true;
  }();
  (void)once;
  fuzz::CurrentInput current(data, size);
  for (auto& d : GloL3NavDataDecoderPool) d.init_Object(&SatDataProcessorInstance);
  std::uint32_t ms = 0;
  constexpr std::size_t kRecord = 43;
  for (std::size_t i = 0; i + kRecord <= size; i += kRecord) {
    const std::uint8_t* r = data + i;
    const SvIdType sv{r[0], kSysGlonass, 0, kSvUnknown};
    ms += static_cast<std::uint32_t>(r[1] | r[2] << 8);
    std::uint32_t w[10];
    std::memcpy(w, r + 3, sizeof w);
    const NavDecoderTime t{0, ms};
    if (GloL3NavDataDecoderType* d = get_GloL3NavDataDecoder(&t, &sv)) d->update(t, sv, 4, w, 10);
  }
  // The tail shorter than a record: a cut string, exactly its whole words on the heap.
  const std::size_t tail = size % kRecord;
  if (tail > 3) {
    std::vector<std::uint32_t> w((tail - 3) / 4);
    if (!w.empty()) std::memcpy(w.data(), data + size - tail + 3, w.size() * 4);
    const SvIdType sv{data[size - tail], kSysGlonass, 0, kSvUnknown};
    const NavDecoderTime t{0, ms};
    if (GloL3NavDataDecoderType* d = get_GloL3NavDataDecoder(&t, &sv))
      d->update(t, sv, 4, w.empty() ? nullptr : w.data(), static_cast<int>(w.size()));
  }
  return 0;
}
