// RTCM 3 frames with their CRC made right, taken as the receiver's base data: every observation,
// station, bias and network message reaches the RTCM 3 base decoder and the network store, which
// build base epochs and network corrections from them. Every GPS satellite has an orbit about the
// time of the observation seeds, so that ranges without their whole milliseconds are completed.
#include "base_epochs.h"
#include "base_orbits.h"
#include "differential/base/cpd_meas_buf.h"
#include "differential/nrtk/nrtk_store.h"
#include "positioning/chan_data.h"
#include "rtcm3_frames.h"
#include "rtcm3_seeds.h"
#include "settings/rcv_settings.h"
#include "settings/rtcm_settings.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::writeRtcm3SeedsIfAsked();
  cpdClientsInit();
  rtcmNrtkInit();
  fuzz::rtcm3Start();
  fuzz::openBaseEpochs();
  // The port is the base's, as a mode change to rtcm3 makes it: its stations are taken.
  cpdBufsModeChange(InPorts::dec2io_[fuzz::kRtcm3Port], InPort::M_CMD, InPort::M_RTCM3);
  fuzz::publishGpsOrbits(fuzz::rtcm3seeds::kObsTowMs / 1000.0);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const fuzz::CurrentInput current(data, size);
  const fuzz::Rtcm3Stream s = fuzz::rtcm3Settings(data, size);
  const std::vector<std::uint8_t> fixed = fuzz::rtcm3FixCrcs(s.data, s.size);
  fuzz::rtcm3Feed(fixed.data(), fixed.size());
  return 0;
}
