// The GNSS board's native stream into the port's native input and the raw decoder.
#include "native_stream.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::nativeStart("native", false);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const fuzz::CurrentInput current(data, size);
  fuzz::nativeFeed(data, size);
  return 0;
}
