#include "positioning/data_servers/rtcm_data_types.h"

#include "positioning/data_servers/pvt_data.h"
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
    health[s] = HealthType{};
    ulHealthTime[s] = 0;
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

void SatCorrectionType::set_ReadyHealthStatus(int station, int slot) {
  if (!validSlot(slot)) return;
  takeStation(station);
  uSlotReady[slot] |= kHealth;
}

namespace {
// Clears `bit` of `flags` unless the tag is fresh; true when it was set.
template <class T>
bool expire(T& flags, T bit, int system, int now, TimeTag tag, double timeout) {
  if ((flags & bit) == 0 || is_FreshTimeTag(system, now, tag, timeout)) return false;
  flags = static_cast<T>(flags & ~bit);
  return true;
}
}  // namespace

bool SatCorrectionType::clear_ExpiredData(int system, int now) {
  bool any = false;
  for (int s = 0; s < kCorrSlots; ++s) {
    // Health comes in its own messages, each code's correction in its own: each ages by its tag.
    any |= expire<std::uint8_t>(uSlotReady[s], kHealth, system, now, ulHealthTime[s], kHealthTimeout);
    any |= expire<std::uint8_t>(uSlotReady[s], kRangeCode0, system, now, ulRangeTime[s][0], dRangeTimeout);
    any |= expire<std::uint8_t>(uSlotReady[s], kRangeCode1, system, now, ulRangeTime[s][1], dRangeTimeout);
  }
  any |= expire<std::uint8_t>(uFlags, kDeltaRangeReady, system, now, ulDeltaRangeTime, dRangeTimeout);
  any |= expire<std::uint8_t>(uFlags, kIonoReady, system, now, ulIonoTime, dIonoTimeout);
  return any;
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

void StationDataType::set_ReadyCoordinate(int station) {
  takeStation(station);
  uFlags |= kCoordinateReady;
}

bool StationDataType::clear_ExpiredData(int system, int now) {
  bool any = expire<std::uint16_t>(uFlags, kCoordinateReady, system, now, ulCoordinateTime, kCoordinateTimeout);
  any |= expire<std::uint16_t>(uFlags, kDatumReady, system, now, ulDatumTime, kDatumTimeout);
  return any;
}

// ---- Source state --------------------------------------------------------------------------------

void SourceStateDataType::set_Time(int system, std::int64_t ms) {
  uTimeSystem = static_cast<std::uint8_t>(system >= 0 && system < 7 ? system : 0);
  set_TimeTag(ulTime, ms >= 0 && ms <= 0x7FFFFFFF ? static_cast<int>(ms) : -1);
}

namespace {
double sourceTimeout() {
  const double range = SatCorrectionType::get_RangeCorrTimeout(), iono = SatCorrectionType::get_IonoCorrTimeout();
  return range > iono ? range : iono;
}
}  // namespace

bool SourceStateDataType::is_Heard(int now) const {
  return is_FreshTimeTag(uTimeSystem, now, ulTime, sourceTimeout());
}

bool SourceStateDataType::clear_ExpiredData(int now) {
  if ((ulTime & 1u) == 0 || is_Heard(now)) return false;
  clear_TimeTag(ulTime);
  return true;
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

bool TSSatCorrectionType::clear_ExpiredData(int system, int now) {
  bool any = false;
  bool anyClock = false;
  for (int s = 0; s < kTSClockSources; ++s)
    anyClock = anyClock || is_FreshTimeTag(system, now, ulClockTime[s], kClockTimeout);
  if (!anyClock && (uReady & kClockReady) != 0) {
    uReady &= static_cast<std::uint8_t>(~kClockReady);
    any = true;
  }
  for (int s = 0; s < kTSOrbitSets; ++s)
    any |= expire<std::uint8_t>(uReady, static_cast<std::uint8_t>(kOrbitReady0 << s), system, now, ulOrbitTime[s],
                                kOrbitTimeout);
  return any;
}

// ---- The sweep -----------------------------------------------------------------------------------

namespace {

// The epoch's time of each system (ms of its week, GLONASS and SBAS of its day), false while the
// system's scale is not known.
bool systemNow(const PosData::RcvTimeDataType& t, int system, int& now) {
  const PosData::RcvTimeDataType::SysTime* s[] = {&t.gps, &t.glo, &t.gal, &t.sbas, &t.qzss, &t.bds, &t.irn};
  if (system < 0 || system >= 7 || s[system]->uStatus[0] == 0) return false;
  now = static_cast<int>(s[system]->ulMs);
  return true;
}

// The records are aged in place under the class mutex: a decoder putting a new record meanwhile
// is never overwritten by the old one.
template <class Server>
int expirePool(Server& server, const PosData::RcvTimeDataType& t) {
  int cleared = 0;
  DataBufferServerType& pool = server.buffer();
  Locker<Mutex> lock(Server::mutex);
  for (int slot = 0; slot < SYS_SAT_TOTAL && slot < pool.slots(); ++slot) {
    SvIdType sv;
    int now = 0;
    DataBufferHeaderType* h = pool.find_Locked(slot);
    if (h == nullptr || !svIdFromSatSlot(slot, sv) || !systemNow(t, sv.sys, now)) continue;
    auto* r = reinterpret_cast<typename Server::RecordType*>(h);
    if (r->clear_ExpiredData(sv.sys, now)) ++cleared;
  }
  return cleared;
}

}  // namespace

int clear_ExpiredServers(PVTDataType* store, const PosData::RcvTimeDataType& t) {
  if (store == nullptr) return 0;
  int cleared = 0;
  for (int s = 0; s < kRtcmSources; ++s) {
    cleared += expirePool(store->rtcmSatCorrection[s], t);
    StationDataType st;
    int now = 0;
    store->rtcmStationData[s].Take(&st);
    // The station record is stored in the settings image: it is written only when it changes.
    if (systemNow(t, st.uSystem, now) && st.clear_ExpiredData(st.uSystem, now)) {
      store->rtcmStationData[s].Put(&st);
      ++cleared;
    }
  }
  for (int s = 0; s < kRtcmSources; ++s) {
    SourceStateDataType st;
    int now = 0;
    if (store->rtcmSourceState.Take(s, &st) == 0 || !systemNow(t, st.uTimeSystem, now) || !st.clear_ExpiredData(now))
      continue;
    store->rtcmSourceState.Put(s, &st);
    ++cleared;
  }
  cleared += expirePool(store->rtcmTsSatCorrection, t);
  return cleared;
}

}  // namespace RTCMData
