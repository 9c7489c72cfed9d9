// The "/par/base/" texts of RTCM 3 message 1029, as the message decoder hands them over (the
// string with its 8-bit length, at most 255 bytes, unterminated).
#include <cstddef>
#include <cstdint>

#include "differential/rtcm3_base_params.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  // The first byte stands for the decoder's good-frame count.
  const int goodFrames = data[0];
  const std::size_t len = size - 1 > 255 ? 255 : size - 1;
  // A copy of just the text, so that any read past it is caught.
  char* text = new char[len];
  for (std::size_t i = 0; i < len; ++i) text[i] = static_cast<char>(data[1 + i]);
  rtc3ParseBaseParam(text, static_cast<int>(len), goodFrames);
  delete[] text;
  return 0;
}
