// What the RTCM 3 base-decoder tests share: a base buffer that keeps every published epoch, the
// receiver's and the rover's time set for one GPS epoch, and satellite geometry placed by hand.
#pragma once

#include <cmath>
#include <vector>

#include "differential/base/cpd_meas_buf.h"
#include "differential/base/cpd_utils.h"
#include "differential/base/rtcm3_cpd_decoder.h"
#include "positioning/chan_data.h"

namespace rtcm3cpdtest {

// The base buffer's consumer: a copy of each published epoch.
struct Published : CpdMeasBuf::Client {
  std::vector<CpdMeas> epochs;
  int resets = 0;
  void process(const CpdMeas& m) override { epochs.push_back(m); }
  void reset() override { ++resets; }
};

struct Base {
  Published pub;
  CpdAux aux;
  CpdMeasBufImp buf{kCpdBaseBufSize, &pub, &aux};
};

constexpr long kDayMs = 86400000L;
constexpr long kWeekMs = 7 * kDayMs;

// GLONASS time of day of a GPS time of week (GLONASS runs on UTC + 3 h).
inline long gloOfGps(long towMs, int leapSec) {
  return (((towMs - leapSec * 1000L + 3 * 3600000L) % kDayMs) + kDayMs) % kDayMs;
}

// The receiver and its rover epoch at GPS time `towMs`, tracking `svs`.
inline void roverAt(long towMs, int leapSec, const std::vector<CpdSv>& svs) {
  ChanMeasTime mt;
  mt.gpsMs = static_cast<std::int32_t>(towMs);
  mt.gloMs = static_cast<std::int32_t>(gloOfGps(towMs, leapSec));
  mt.valid = 3;
  ChanData::setMeasTime(mt);
  CpdMeasTimes t;
  for (int s = 0; s < CpdSv::kSysNum; ++s) t.time[s] = static_cast<std::int32_t>(towMs);
  t.time[CpdSv::kGlonass] = mt.gloMs;
  cpdSetTimesAndId(t, CpdEpochId(static_cast<std::int32_t>(towMs % CpdEpochId::kHourMs)));
  CpdSvSet set;
  for (const CpdSv& s : svs) set.add(s);
  cpdRecentSvs_.set(set);
}

// Every satellite straight above the station's z at the given geometric range, standing still,
// with the given clock.
struct PlacedUtils : CpdUtils {
  double range = 22000000.0;
  double clock = 0.0;  // s
  bool have = true;
  CpdCPos station{};
  int svPos(const CpdSv&, double, bool, CpdCPos& pos, CpdCVel& vel, double& clk, int) override {
    if (!have) return kNoData;
    pos = CpdCPos{station.x, station.y, station.z + range};
    vel = CpdCVel{};
    clk = clock;
    return kOk;
  }
  int getTimeCor(const CpdSv&, double, int, double& corr) override {
    if (!have) return kNoData;
    corr = clock;
    return kOk;
  }
  int getIssue(const CpdSv&, int&, int&, double) override { return kNoData; }
  CpdGPos xyz2geo(const CpdCPos&) override { return {}; }
};

}  // namespace rtcm3cpdtest
