// Navigation records from native messages: the input is a run of units, each one byte choosing
// the message, one byte of body length and that many body bytes; each unit is framed with a
// right checksum and fed through a native reader to the record decoder, so that every handler
// meets bodies of every length, on the heap, where a read past the end is caught.
#include <cstddef>
#include <cstdint>

#include "gnss_link/zrt_alm_decoder.h"
#include "gnss_link/zrt_decoder.h"
#include "native_units.h"

namespace {
const char* const kIds[] = {"IP", "GE", "GA", "UO", "IO", "NE", "NA", "NU", "EN", "EA", "EU", "WE", "WA", "WU", "QE",
                            "QA", "QU", "QI", "CN", "CA", "CU", "CI", "IE", "IA", "IU", "II", "gC", "g1", "g3", "g2"};
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static ZrtDecoder dec;
  static ZrtAlmDecoder alm;
  static const bool bound = (alm.setHandlers(dec.filter()), true);
  (void)bound;
  fuzz::feedNativeUnits(dec, kIds, data, size);
  return 0;
}
