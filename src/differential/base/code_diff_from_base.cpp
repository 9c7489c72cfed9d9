#include "differential/base/code_diff_from_base.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "differential/base/cpd_utils.h"
#include "navigation_data/store/sat_data_store.h"
#include "positioning/data_servers/pvt_data.h"
#include "positioning/engine/pvt_engine.h"
#include "settings/rcv_settings.h"

CodeDiffFromBase CodeDiffFromBaseInstance;

namespace {

constexpr double kC = 299792458.0;
// Earth rotation rate over the speed of light (7.2921151467e-5 rad/s / c): the Sagnac term of a
// range computed in the frame of reception.
constexpr double kOmegaOverC = 2.4323877909897254e-13;
constexpr std::int64_t kWeekMs = 604800000;
constexpr double kPrcUnits = 50.0;  // the correction record counts 0.02 m

// The correction setup's base offset for a system: the offset (m, Earth-fixed) when the
// system's bit is set, else false.
bool baseOffsetCorrection(int sys, double off[3]) {
  if (sys < 0 || sys >= CpdSv::kSysNum) return false;
  PosSetup::CorrProcessorSetupType s;
  if (PVTDataInstance.corrProcessorSetup.Take(&s) == 0) return false;
  if (((s.aBytes[PosSetup::kCorrBaseOffsetSysOffset] >> sys) & 1u) == 0) return false;
  for (int k = 0; k < 3; ++k) {
    std::int16_t mm = 0;
    std::memcpy(&mm, s.aBytes + PosSetup::kCorrBaseOffsetOffset + 2 * k, sizeof mm);
    off[k] = mm * 0.001;
  }
  return true;
}

void resetRec(CodeDiffFromBase::SmFilterRec& r) {
  r.offset = 0.0;
  r.slip = 0;
  r.count = 0;
}

// D the code-phase disagreement in m. The score saturates: a wrapped score would pass a jump of
// 2,560 m as a clean sample.
void slipTest(CodeDiffFromBase::SmFilterRec& r, double D) {
  const int k = static_cast<int>(std::fabs(D) / CodeDiffFromBase::kJumpM);
  int s = r.slip;
  if (D > 0.0) {
    if (s < 0 || D < CodeDiffFromBase::kJumpM) s = 0;
    else s = std::min(s + k, 127);
  } else {
    if (s < 1 && D <= -CodeDiffFromBase::kJumpM) s = std::max(s - k, -128);
    else s = 0;
  }
  r.slip = static_cast<std::int8_t>(s);
}

void update(CodeDiffFromBase::SmFilterRec& r, int len, double R, double P, double& S, double& D) {
  r.count = static_cast<std::uint16_t>(std::min(r.count + 1, len));
  r.offset = ((R - P) + (r.count - 1) * r.offset) / r.count;
  S = r.offset + P;
  D = (S - R) * kC;
}

}  // namespace

CodeDiffFromBase::CodeDiffFromBase() { init(); }

void CodeDiffFromBase::init() {
  for (auto& sat : RtkDataSmFilter)
    for (SmFilterRec& r : sat) r = SmFilterRec{0.0, 0, 0, 0, kNoSlot};
  SatCorr.init();
  StationData.init();
  SourceStateData = RTCMData::SourceStateDataType{};
}

std::uint8_t CodeDiffFromBase::quality(int len, int count) {
  if (len <= 0) return 0;
  const long q = static_cast<long>(len - count) * 255 / len;
  return static_cast<std::uint8_t>(std::clamp(q, 0L, 255L));
}

bool CodeDiffFromBase::smooth(SmFilterRec& r, int len, int slot, double range, double phase, std::int32_t now,
                              double& S) {
  if (len != 0 && phase == 0.0) return false;
  const double R = range / kC;
  const double P = phase / kC;
  double D = 0.0;
  const std::int32_t age = static_cast<std::int32_t>(static_cast<std::uint32_t>(now) -
                                                     static_cast<std::uint32_t>(r.lastTime));
  const bool fresh = age >= 0 && age < kStaleMs && r.slot == slot;
  r.lastTime = now;
  if (fresh) {
    if (len == 0) {
      S = R;
      return true;
    }
    S = P + r.offset;
    D = (S - R) * kC;
    if (r.count < kFreeCount || std::fabs(D) < kJumpM) update(r, len, R, P, S, D);
    slipTest(r, D);
  } else {
    r.slot = static_cast<std::uint8_t>(slot);
    resetRec(r);
    S = R;
    if (len == 0) return true;
    update(r, len, R, P, S, D);
    slipTest(r, D);
  }
  if (r.slip != 0) {
    if (std::abs(r.slip) > kSlipLimit) resetRec(r);
    return false;
  }
  return r.count >= kMinCount;
}

bool CodeDiffFromBase::convert(std::uint16_t stationId, int slot, double range, double phase, const CpdSv& sv,
                               long time, const CpdCPos* stationPos) {
  PosData::RcvTimeDataType rt{};
  if (stationPos == nullptr || PVTDataInstance.rcvTime.Take(&rt) == 0) return false;
  const int si = cpdutil::svIndex(sv);
  if (si < 0 || slot < 0 || slot >= kSlots) return false;
  SvIdType id = SatDataProcessorInstance.get_EphSvId(sv.sys, si);
  int satSlot = 0;
  if (!id.find_SatSlot(satSlot) || satSlot >= kSats) return false;

  const int len = RcvSet.codeSmoothLen;
  SmFilterRec& r = RtkDataSmFilter[satSlot][slot];
  double S = 0.0;
  if (!smooth(r, len, slot, range, phase, static_cast<std::int32_t>(rt.ulTimeTag), S)) return false;
  if (RcvSet.codeCorrFromBase == 0) return false;

  double pos[3], vel[3], clk = 0.0;
  std::uint16_t iod = 0;
  if (!cpdutil::satState(sv, static_cast<double>(time) / 1000.0 - S, false, CpdUtils::kAnyIod, pos, vel, clk, iod))
    return false;
  const CpdCPos& st = *stationPos;
  const double d[3] = {st.x - pos[0], st.y - pos[1], st.z - pos[2]};
  const double geo = std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
  const double rho = geo + (pos[0] * st.y - st.x * pos[1]) * kOmegaOverC;
  double prc = rho - (S + clk) * kC;
  double off[3];
  if (geo > 0.0 && baseOffsetCorrection(sv.sys, off))
    prc -= (off[0] * -d[0] + off[1] * -d[1] + off[2] * -d[2]) / geo;

  // Tags run on the satellite system's own time, as the correction readers count it.
  std::int64_t tagMs = time;
  if (sv.sys == CpdSv::kBeidou) tagMs -= static_cast<std::int64_t>(cpdutil::kBdsGpsOffset * 1000.0);
  if (sv.sys != CpdSv::kGlonass && sv.sys != CpdSv::kSbas) tagMs = ((tagMs % kWeekMs) + kWeekMs) % kWeekMs;
  const int tag = static_cast<int>(tagMs);

  const int src = get_RtcmSourceIndex(static_cast<std::uint32_t>(time), stationId);
  SourceStateData = RTCMData::SourceStateDataType{};
  SourceStateData.bValid = 1;
  SourceStateData.uStationId = stationId;
  SourceStateData.fScale = 1.0f;
  SourceStateData.uFlags = 0;
  SourceStateData.set_Time(sv.sys, tag);
  PVTDataInstance.rtcmSourceState.Put(src, &SourceStateData);

  RtcmSatCorrectionServerType& corr = PVTDataInstance.rtcmSatCorrection[src];
  if (corr.Take(&id, &SatCorr) == 0) SatCorr.init();
  const bool had = (SatCorr.uSlotReady[slot] & RTCMData::SatCorrectionType::kRangeCode0) != 0 &&
                   SatCorr.uStationId == stationId;
  const RTCMData::SatCorrectionType::RangeCorrType old = SatCorr.range[slot][0];
  // Another station's record is cleared before anything of this one goes in.
  SatCorr.set_ReadyRangeCorr(stationId, slot, 0);
  if (had && old.uIod != static_cast<std::uint8_t>(iod)) SatCorr.previous[slot][0] = old;
  RTCMData::SatCorrectionType::RangeCorrType& cur = SatCorr.range[slot][0];
  // In 0.02 m plus a half unit, as the correction stores of RTCM 2 messages count it; its reader
  // scales the float as it stands.
  cur.fPrc = static_cast<float>(prc * kPrcUnits + 0.5);
  cur.fRrc = 0.0f;
  cur.uIod = static_cast<std::uint8_t>(iod);
  cur.uUdre = quality(len, r.count);
  RTCMData::set_TimeTag(SatCorr.ulRangeTime[slot][0], tag);
  SatCorr.uSlotFlags[slot] = static_cast<std::uint16_t>((slot << RTCMData::SatCorrectionType::kSignalShift) &
                                                         RTCMData::SatCorrectionType::kSignalMask);
  corr.Put(&id, &SatCorr);

  RtcmStationDataServerType& sta = PVTDataInstance.rtcmStationData[src];
  sta.Take(&StationData);
  StationData.set_ReadyCoordinate(stationId);
  StationData.dPos[0] = st.x;
  StationData.dPos[1] = st.y;
  StationData.dPos[2] = st.z;
  StationData.uSystem = sv.sys;
  RTCMData::set_TimeTag(StationData.ulCoordinateTime, tag);
  sta.Put(&StationData);
  return true;
}

bool convertCpdMeasToCodeDiffCorr(unsigned short stationId, int slot, double range, double phase, const CpdSv& sv,
                                  long time, const CpdCPos* stationPos) {
  return CodeDiffFromBaseInstance.convert(stationId, slot, range, phase, sv, time, stationPos);
}
