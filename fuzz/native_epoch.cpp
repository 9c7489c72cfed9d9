// The native stream (checksums made right) through the raw decoder and, after each good epoch,
// the whole per-epoch chain: time scales, clock steering, channel data, outputs.
#include "native_seeds.h"
#include "native_stream.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::writeNativeSeedsIfAsked();
  fuzz::nativeStart("native_epoch", true);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const fuzz::CurrentInput current(data, size);
  const std::vector<std::uint8_t> fixed = fuzz::nativeFixChecksums(data, size);
  fuzz::nativeFeed(fixed.data(), fixed.size());
  return 0;
}
