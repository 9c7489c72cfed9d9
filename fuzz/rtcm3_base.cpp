// RTCM 3 frames with their CRC made right, taken as the receiver's base data: every observation,
// station and bias message reaches the RTCM 3 base decoder, which builds base epochs from them.
#include "differential/base/cpd_meas_buf.h"
#include "positioning/chan_data.h"
#include "rtcm3_frames.h"
#include "settings/rcv_settings.h"
#include "settings/rtcm_settings.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  cpdClientsInit();
  fuzz::rtcm3Start();
  // Any port and any station feed the base; the receiver's time and rover epoch are known, so
  // that epochs open, fill and close.
  RcvSet.refPort = -2;
  RtcmSet.cmrDec.inUse = -1;
  ChanMeasTime mt;
  mt.gpsMs = 0;
  mt.gloMs = 0;
  mt.valid = 3;
  ChanData::setMeasTime(mt);
  CpdMeasTimes t;
  for (std::int32_t& s : t.time) s = 0;
  cpdSetTimesAndId(t, CpdEpochId(0));
  CpdSvSet all;
  for (int id = 1; id <= CpdSv::kMaxId; ++id) {
    CpdSv s;
    if (CpdSv::fromId(id, s)) all.add(s);
  }
  cpdRecentSvs_.set(all);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const fuzz::CurrentInput current(data, size);
  const std::vector<std::uint8_t> fixed = fuzz::rtcm3FixCrcs(data, size);
  fuzz::rtcm3Feed(fixed.data(), fixed.size());
  return 0;
}
