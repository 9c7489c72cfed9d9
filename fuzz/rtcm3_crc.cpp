// RTCM 3 frames with their CRC made right, so that every frame reaches its message decoder, under
// an input's settings (rtcm3_frames.h).
#include "rtcm3_frames.h"
#include "rtcm3_seeds.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::writeRtcm3SeedsIfAsked();
  fuzz::rtcm3WithNativeInput();
  fuzz::rtcm3Start();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const fuzz::CurrentInput current(data, size);
  const fuzz::Rtcm3Stream s = fuzz::rtcm3Settings(data, size);
  const std::vector<std::uint8_t> fixed = fuzz::rtcm3FixCrcs(s.data, s.size);
  fuzz::rtcm3Feed(fixed.data(), fixed.size());
  return 0;
}
