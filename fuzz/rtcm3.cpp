// RTCM 3 bytes as they arrive on a port in mode "rtcm3", or in mode "auto" (native, CMR, RTCM 2
// and RTCM 3 decoders on the same bytes) under an input's settings (rtcm3_frames.h).
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
  fuzz::rtcm3Feed(s.data, s.size);
  return 0;
}
