// What the base-data fuzz targets set before the first input: any port and any station feed the
// base, and the receiver's time and a rover epoch tracking every satellite are known, so that base
// epochs open, fill and close.
#pragma once

#include <cstdint>

#include "differential/base/cpd_meas_buf.h"
#include "positioning/chan_data.h"
#include "settings/rcv_settings.h"
#include "settings/rtcm_settings.h"

namespace fuzz {

inline void openBaseEpochs() {
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
}

}  // namespace fuzz
