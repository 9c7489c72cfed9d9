// The GPS and QZSS LNAV decoder: the input is a run of units, each four header bytes (tracking
// index, system, signal number, C/N0) and up to the 40 bytes of a subframe; a unit cut short
// reaches the decoder with exactly the words it has, on the heap, so a read past them is caught.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "navigation_data/decoders/gps_lnav_decoder.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  navDecoderLinks.gpsPrnEntry = [](int k) { return k + 1; };
  std::uint32_t tag = 0;
  for (std::size_t i = 0; i + 4 <= size;) {
    const SvIdType sv{static_cast<std::uint8_t>(data[i] % 40), static_cast<std::uint8_t>(data[i + 1] % 8), 0, 0};
    const std::uint8_t signal = data[i + 2];
    const float cn0 = data[i + 3] * 0.25f;
    i += 4;
    const std::size_t n = size - i < 40 ? (size - i) / 4 : 10;
    std::vector<std::uint32_t> words(n);
    for (std::size_t k = 0; k < n; ++k, i += 4)
      words[k] = std::uint32_t{data[i]} << 24 | std::uint32_t{data[i + 1]} << 16 | std::uint32_t{data[i + 2]} << 8 | data[i + 3];
    const NavDecoderTime t{0, tag += 6000};
    if (GpsNavDataDecoderType* d = get_GpsNavDataDecoder(&t, &sv))
      d->update(t, sv, signal, n ? words.data() : nullptr, static_cast<int>(n), cn0);
    if (n < 10) break;
  }
  return 0;
}
