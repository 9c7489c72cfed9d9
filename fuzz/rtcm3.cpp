// RTCM 3 bytes as they arrive on a port in mode "rtcm3".
#include "rtcm3_frames.h"
#include "rtcm3_seeds.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::writeRtcm3SeedsIfAsked();
  fuzz::rtcm3Start();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const fuzz::CurrentInput current(data, size);
  fuzz::rtcm3Feed(data, size);
  return 0;
}
