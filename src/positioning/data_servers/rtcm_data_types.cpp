#include "positioning/data_servers/rtcm_data_types.h"

#include "positioning/data_servers/tag_age.h"

namespace RTCMData {

namespace {
bool validTag(TimeTag tag) { return (tag & 1u) != 0; }
bool validSlot(int slot) { return slot >= 0 && slot < kCorrSlots; }
bool validCode(int code) { return code == 0 || code == 1; }
}  // namespace

void set_TimeTag(TimeTag& tag, int ms) {
  if (ms < 0) {
    clear_TimeTag(tag);
    return;
  }
  tag = (static_cast<std::uint32_t>(ms) << 1) | 1u;
}

double get_TimeTagAge(int system, int now, TimeTag tag) {
  if (!validTag(tag)) return kInvalidTagAge;
  const double cycle = (system >= 0 && system < 7) ? SYS_CYCLE_SEC[system] : SYS_CYCLE_SEC[0];
  return TagAge::foldedSeconds(static_cast<std::int64_t>(now) - (tag >> 1), cycle);
}

double get_TSClockModulus(int system) {
  if (system == kSysGps) return kTSClockWrapGpsMm * 0.001;
  if (system == kSysGlonass) return kTSClockWrapGloMm * 0.001;
  return 0.0;
}

bool is_FreshTimeTag(int system, int now, TimeTag tag, double timeout) {
  const double age = get_TimeTagAge(system, now, tag);
  return age <= timeout && age >= -kMaxTagLead;
}

// ---- RTCM 2 code corrections -------------------------------------------------------------------

void SatCorrectionType::init() {
  uStationId = 65535;
  uFlags = 0;
  for (int s = 0; s < kCorrSlots; ++s) {
    uSlotReady[s] = 0;
    ulRangeTime[s][0] = ulRangeTime[s][1] = 0;
  }
  ulDeltaRangeTime = 0;
  ulIonoTime = 0;
  for (int s = 0; s < kCorrSlots; ++s) {
    uSlotFlags[s] = 0;
    range[s][0] = range[s][1] = previous[s][0] = previous[s][1] = RangeCorrType{};
  }
  delta = RangeCorrType{};
  fIono = fIonoRate = 0.0f;
  uIonoUdre = 0;
  bIonoGnssUdre = 0;
}

void SatCorrectionType::set_DataTimeout(std::uint16_t rangeTimeout, std::uint16_t ionoTimeout) {
  dRangeTimeout = rangeTimeout;
  dIonoTimeout = ionoTimeout;
}

bool SatCorrectionType::is_ReadyRangeCorr(int system, int now, int slot, int code) const {
  if (!validSlot(slot) || !validCode(code)) return false;
  if ((uSlotReady[slot] & (code == 0 ? kRangeCode0 : kRangeCode1)) == 0) return false;
  return is_FreshTimeTag(system, now, ulRangeTime[slot][code], dRangeTimeout);
}

bool SatCorrectionType::is_ReadyDeltaRangeCorr(int system, int now) const {
  return (uFlags & kDeltaRangeReady) != 0 && is_FreshTimeTag(system, now, ulDeltaRangeTime, dRangeTimeout);
}

bool SatCorrectionType::is_ReadyIonoCorr(int system, int now) const {
  return (uFlags & kIonoReady) != 0 && is_FreshTimeTag(system, now, ulIonoTime, dIonoTimeout);
}

void SatCorrectionType::takeStation(int station) {
  if (station == uStationId) return;
  init();
  uStationId = static_cast<std::uint16_t>(station);
}

void SatCorrectionType::set_ReadyRangeCorr(int station, int slot, int code) {
  if (!validSlot(slot) || !validCode(code)) return;
  takeStation(station);
  uSlotReady[slot] |= code == 0 ? kRangeCode0 : kRangeCode1;
}

void SatCorrectionType::set_ReadyDeltaRangeCorr(int station) {
  takeStation(station);
  uFlags |= kDeltaRangeReady;
}

void SatCorrectionType::set_ReadyIonoCorr(int station) {
  takeStation(station);
  uFlags |= kIonoReady;
}

void SatCorrectionType::set_ReadyHealthStatus(int station, int slot) {
  if (!validSlot(slot)) return;
  takeStation(station);
  uSlotReady[slot] |= kHealth;
}

void SatCorrectionType::clear_ExpiredData(int system, int now) {
  for (int s = 0; s < kCorrSlots; ++s) {
    // Health is sent with the range corrections and shares the first code's tag.
    if (!is_FreshTimeTag(system, now, ulRangeTime[s][0], kHealthTimeout)) uSlotReady[s] &= ~kHealth;
    for (int c = 0; c < 2; ++c)
      if (!is_FreshTimeTag(system, now, ulRangeTime[s][c], dRangeTimeout))
        uSlotReady[s] &= static_cast<std::uint8_t>(~(c == 0 ? kRangeCode0 : kRangeCode1));
  }
  if (!is_FreshTimeTag(system, now, ulDeltaRangeTime, dRangeTimeout)) uFlags &= ~kDeltaRangeReady;
  if (!is_FreshTimeTag(system, now, ulIonoTime, dIonoTimeout)) uFlags &= ~kIonoReady;
}

// ---- Reference station -------------------------------------------------------------------------

void StationDataType::takeStation(int station) {
  if (station == uStationId) return;
  init();
  uStationId = static_cast<std::uint16_t>(station);
}

bool StationDataType::is_ReadyCoordinate(int system, int now) const {
  return (uFlags & kCoordinateReady) != 0 && is_FreshTimeTag(system, now, ulCoordinateTime, kCoordinateTimeout);
}

bool StationDataType::is_ReadyDatum(int system, int now) const {
  return (uFlags & kDatumReady) != 0 && is_FreshTimeTag(system, now, ulDatumTime, kDatumTimeout);
}

void StationDataType::set_ReadyCoordinate(int station) {
  takeStation(station);
  uFlags |= kCoordinateReady;
}

void StationDataType::set_ReadyDatum(int station) {
  takeStation(station);
  uFlags |= kDatumReady;
}

void StationDataType::clear_ExpiredData(int system, int now) {
  if (!is_FreshTimeTag(system, now, ulCoordinateTime, kCoordinateTimeout)) uFlags &= ~kCoordinateReady;
  if (!is_FreshTimeTag(system, now, ulDatumTime, kDatumTimeout)) uFlags &= ~kDatumReady;
}

// ---- State-space corrections -------------------------------------------------------------------

void TSSatCorrectionType::init() {
  uReady = 0;
  uReserved = 0;
  for (int s = 0; s < kTSClockSources; ++s) {
    uClockId[s] = 65535;
    ulClockTime[s] = 0;
  }
  for (int s = 0; s < kTSOrbitSets; ++s) {
    ulOrbitTime[s] = 0;
    iIssue[s] = -1;
    for (int k = 0; k < 3; ++k) fOrbit[s][k] = fOrbitRate[s][k] = 0.0f;
  }
  for (std::uint32_t& c : ulClock) c = 0;
  fClockOffset = 0.0f;
  uStepId = 65535;
  uCodeBiasMask = uPhaseBiasMask = 0;
  for (int s = 0; s < kCorrSlots; ++s) fCodeBias[s] = fPhaseBias[s] = 0.0f;
}

bool TSSatCorrectionType::is_ReadyClockCorr(int system, int now, int source) const {
  if (source < 0 || source >= kTSClockSources || (uReady & kClockReady) == 0) return false;
  return uClockId[source] != 65535 && is_FreshTimeTag(system, now, ulClockTime[source], kClockTimeout);
}

bool TSSatCorrectionType::is_ReadyOrbitCorr(int system, int now, int set) const {
  if (set < 0 || set >= kTSOrbitSets || (uReady & (kOrbitReady0 << set)) == 0) return false;
  return is_FreshTimeTag(system, now, ulOrbitTime[set], kOrbitTimeout);
}

void TSSatCorrectionType::set_ReadyClockCorr(int id, int source) {
  if (source < 0 || source >= kTSClockSources) return;
  uClockId[source] = static_cast<std::uint16_t>(id);
  uReady |= kClockReady;
}

void TSSatCorrectionType::set_ReadyOrbitCorr(int set) {
  if (set < 0 || set >= kTSOrbitSets) return;
  uReady |= static_cast<std::uint8_t>(kOrbitReady0 << set);
}

void TSSatCorrectionType::clear_ExpiredData(int system, int now) {
  bool anyClock = false;
  for (int s = 0; s < kTSClockSources; ++s)
    anyClock = anyClock || is_FreshTimeTag(system, now, ulClockTime[s], kClockTimeout);
  if (!anyClock) uReady &= ~kClockReady;
  for (int s = 0; s < kTSOrbitSets; ++s)
    if (!is_FreshTimeTag(system, now, ulOrbitTime[s], kOrbitTimeout))
      uReady &= static_cast<std::uint8_t>(~(kOrbitReady0 << s));
}

}  // namespace RTCMData
