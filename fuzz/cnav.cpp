// The GPS/QZSS CNAV and CNAV-2 decoders, one message or frame per input, into the satellite
// data store: whatever the bits say, and however few words there are.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "fuzz_support.h"
#include "navigation_data/decoders/gps_cnav2_decoder.h"
#include "navigation_data/decoders/gps_cnav_decoder.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const bool once = [] {
    fuzz::enterRunDir("cnav");
    fuzz::noteDeliberateExits();
    return true;
  }();
  (void)once;
  fuzz::CurrentInput current(data, size);
  // Two bytes of who sent it (bit 0 CNAV-2, bit 1 QZSS, the rest the tracking index, which may
  // be out of range) and the signal number, then the words of the message.
  if (size < 2) return 0;
  const bool cnav2 = (data[0] & 1) != 0;
  const SvIdType sv{static_cast<std::uint8_t>(data[0] >> 2), static_cast<std::uint8_t>(data[0] & 2 ? kSysQzss : kSysGps), 0,
                    static_cast<std::uint8_t>(data[0] >> 2)};
  // Exactly the input's words on the heap (message bit 1 the top bit of the first byte): a read
  // past them is caught.
  std::vector<std::uint32_t> words((size - 2) / 4);
  for (std::size_t k = 0; k < words.size(); ++k) {
    const std::uint8_t* b = data + 2 + 4 * k;
    words[k] = std::uint32_t{b[0]} << 24 | std::uint32_t{b[1]} << 16 | std::uint32_t{b[2]} << 8 | b[3];
  }
  static std::uint32_t tag = 0;
  const NavDecoderTime t{0, ++tag};
  const int n = static_cast<int>(words.size());
  const std::uint32_t* w = words.empty() ? nullptr : words.data();
  if (cnav2) {
    if (GpsCNav2DataDecoderType* d = get_GpsCNav2DataDecoder(&t, &sv)) d->update(t, sv, data[1], w, n);
  } else if (GpsCNavDataDecoderType* d = get_GpsCNavDataDecoder(&t, &sv)) {
    d->update(t, sv, data[1], w, n);
  }
  return 0;
}
