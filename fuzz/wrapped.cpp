// A native-mode port's stream with wrapped data and foreign lines: the first 12 bytes choose the
// port's three routing parameters (id low, id high, mode, target port), the rest is the stream,
// fed in port-sized chunks through the native reader, the wrapped-stream router and the
// transducer sentence input.
#include <cstddef>
#include <cstdint>

#include "fuzz_support.h"
#include "gnss_link/sensor/nmea_decoder.h"
#include "gnss_link/wrapped/azrt_decoder.h"
#include "gnss_link/zrt_decoder.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::enterRunDir("wrapped");
  fuzz::noteDeliberateExits();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const fuzz::CurrentInput current(data, size);
  static ZrtDecoder dec;
  static AzrtDecoder az;
  static NmeaDecoder nmea;
  static const bool bound = [] {
    dec.parser().setForeignBounds(3, 1536);
    az.init(IOP_SER_A, dec.filter());
    az.setFurther(&nmea);
    return true;
  }();
  (void)bound;
  if (size < 12) return 0;
  for (int i = 0; i < AzrtParamSet::kCount; ++i) {
    const std::uint8_t* p = data + 4 * i;
    const auto id = static_cast<std::int16_t>(p[0] | p[1] << 8);
    az.setParam(i, AzrtParams{id, static_cast<std::uint8_t>(p[2] % (AzrtParams::kMaxMode + 1)), p[3]});
  }
  dec.reset();
  fuzz::inChunks(data + 12, size - 12, fuzz::kPortChunk, [](const std::uint8_t* d, std::size_t n) {
    dec.process(d, static_cast<int>(n));
  });
  return 0;
}
