// The native stream with every known message's checksum made right, so that the raw decoder's
// records are reached.
#include "native_seeds.h"
#include "native_stream.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::writeNativeSeedsIfAsked();
  fuzz::nativeStart("native_ck", false);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const fuzz::CurrentInput current(data, size);
  const std::vector<std::uint8_t> fixed = fuzz::nativeFixChecksums(data, size);
  fuzz::nativeFeed(fixed.data(), fixed.size());
  return 0;
}
