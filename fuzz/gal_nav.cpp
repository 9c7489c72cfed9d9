// The Galileo decoder over a run of raw pages of several satellites: each page is one type
// byte (navigation-data type in bits 0-1, Galileo time known in bit 2), one satellite byte,
// one length byte and that many page bytes, held on the heap at exactly their length.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "navigation_data/decoders/gal_nav_decoder.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static SatelliteDataProcessor* store = new SatelliteDataProcessor();
  store->init_Object();
  for (GalDataDecoder& d : GalDataDecoderInstance) d.init_Object(store);
  for (auto& set : GalDataDecoder::inavAlmSets) set = GalDataDecoder::AlmanacSet{255, {}};  // as at start
  std::uint32_t ms = 0;
  std::size_t at = 0;
  while (at + 3 <= size) {
    const std::uint8_t kind = data[at], sat = data[at + 1];
    std::size_t len = data[at + 2];
    at += 3;
    if (len > size - at) len = size - at;
    const std::vector<std::uint8_t> page(data + at, data + at + len);
    at += len;
    ms += 1000u + 49000u * (kind >> 7);  // now and then a gap that makes almanac parts stale
    const SvIdType sv{static_cast<std::uint8_t>(sat % 40), static_cast<std::uint8_t>(sat < 240 ? kSysGalileo : sat % 7), 0,
                      static_cast<std::uint8_t>(sat % 40)};
    const NavDecoderTime t{0, ms};
    if (GalDataDecoder* d = get_GalDataDecoder(&t, &sv))
      d->update_Galileo(t, page.data(), static_cast<int>(page.size()), sv, kind & 3,
                        (kind & 4) != 0 ? static_cast<std::int64_t>(ms) : -1);
  }
  return 0;
}
