// RTCM 3 frames with their CRC made right, taken as the receiver's base data: every observation,
// station and bias message reaches the RTCM 3 base decoder, which builds base epochs from them.
#include "base_epochs.h"
#include "differential/base/cpd_meas_buf.h"
#include "positioning/chan_data.h"
#include "rtcm3_frames.h"
#include "rtcm3_seeds.h"
#include "settings/rcv_settings.h"
#include "settings/rtcm_settings.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::writeRtcm3SeedsIfAsked();
  cpdClientsInit();
  fuzz::rtcm3Start();
  fuzz::openBaseEpochs();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const fuzz::CurrentInput current(data, size);
  const std::vector<std::uint8_t> fixed = fuzz::rtcm3FixCrcs(data, size);
  fuzz::rtcm3Feed(fixed.data(), fixed.size());
  return 0;
}
