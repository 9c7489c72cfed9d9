// The store's visibility step: satellite positions from the almanac, the coarse polynomial an
// almanac gives a satellite without an ephemeris, elevation and azimuth from the polynomial and
// from the almanac position, and the below-the-horizon test that holds back the polynomials of
// satellites nobody can see.
#include <cmath>

#include "navigation_data/orbits/beidou_eph.h"
#include "navigation_data/orbits/galileo_eph.h"
#include "navigation_data/orbits/glonass_eph.h"
#include "navigation_data/orbits/gps_orbit.h"
#include "navigation_data/orbits/navic_eph.h"
#include "navigation_data/orbits/sbas_qzss_eph.h"
#include "navigation_data/store/sat_data_store.h"

namespace {
constexpr double kFreshPositionMs = 60000;  // a satellite position this old still counts
constexpr double kUndergroundAgeMs = 30000;  // an elevation this old still decides the horizon
constexpr double kAlmPolySpan = 120;         // s
constexpr float kAlmPolyAccuracy = 1e6f;     // m^2

bool gpsAlmLayout(int sys) { return sys == kSysGps || sys == kSysQzss; }

// A stamp 0 to maxAgeMs old.
bool recent(double stampMs, double nowMs, double maxAgeMs) {
  return stampMs >= 0 && nowMs - stampMs >= 0 && nowMs - stampMs <= maxAgeMs;
}

bool fresh(const SatPosState& p, double nowMs) { return p.has && nowMs - p.timeMs < kFreshPositionMs; }
}  // namespace

bool SatelliteDataProcessor::is_SatUnderground(SvIdType id, double nowMs) const {
  if (!id.isValidSi() || tracked_[SYS_SI_BASE_NUM[id.sys] + id.si] || !rcvUsable_) return false;
  const LastElev& e = ephElev_[SYS_SI_BASE_NUM[id.sys] + id.si];
  if (recent(e.timeMs, nowMs, kUndergroundAgeMs) && e.elev < kVisibleElevMinDeg) return true;
  const int sat = id.sat != kSvUnknown ? id.sat : almSlotOf(id.sys, id.si);
  if (sat >= SYS_SAT_NUM[id.sys]) return false;
  const LastElev& a = almElev_[SYS_SAT_BASE_NUM[id.sys] + sat];
  return recent(a.timeMs, nowMs, kUndergroundAgeMs) && a.elev < kVisibleElevMinDeg;
}

int SatelliteDataProcessor::almSlotOf(int sys, int si) const {
  const int linked = ephId_[SYS_SI_BASE_NUM[sys] + si].sat;
  if (linked != kSvUnknown) return linked;
  return sys != kSysGlonass && si < SYS_SAT_NUM[sys] ? si : kSvUnknown;
}

bool SatelliteDataProcessor::update_SatPositionByAlmanac(int sys, int sat, double nowMs) {
  const int a = SYS_SAT_BASE_NUM[sys] + sat;
  SatPosState& out = almPos_[a];
  const double dt = almanacAge(sys, sat);
  double pos[3], clock = 0, drift = 0;
  float vel[3];
  bool ok;
  if (gpsAlmLayout(sys))
    ok = compute_SatPosByGPSAlmData(dt, sys, *reinterpret_cast<const ZRT_ALM_GPS*>(alm_[a].rec), pos, vel,
                                    &clock, &drift);
  else if (sys == kSysGalileo)
    ok = compute_SatPosByGPSAlmData(dt, sys, to_GpsTypeAlmanac(*reinterpret_cast<const ZRT_ALM_GAL*>(alm_[a].rec)),
                                    pos, vel, &clock, &drift);
  else if (sys == kSysBeidou)
    ok = compute_BeidouSatPosByAlmanac(*reinterpret_cast<const ZRT_ALM_CMP*>(alm_[a].rec), dt, pos, vel, &clock,
                                       &drift);
  else if (sys == kSysNavic)
    ok = compute_NavicSatPosByAlmanac(*reinterpret_cast<const ZRT_ALM_IRS*>(alm_[a].rec), dt, pos, vel, &clock,
                                      &drift);
  else if (sys == kSysGlonass)
    ok = compute_GloSatPosByAlmanac(*reinterpret_cast<const ZRT_ALM_GLN*>(alm_[a].rec), dt, pos, vel, &clock, &drift);
  else
    ok = compute_SbasSatPosByAlmanac(*reinterpret_cast<const ZRT_ALM_SBA*>(alm_[a].rec), pos, vel, &clock, &drift);
  if (!ok) {
    out.has = false;
    return false;
  }
  for (int k = 0; k < 3; ++k) {
    if (!bDebugInverseCoordinate(k)) continue;
    pos[k] = -pos[k];
    vel[k] = -vel[k];
  }
  satDataLinks.positionToRcvFrame(sys, pos, vel);
  for (int k = 0; k < 3; ++k) {
    out.pos[k] = pos[k];
    out.vel[k] = vel[k];
  }
  out.clock = clock;
  out.drift = drift;
  out.timeMs = nowMs;
  out.has = true;
  return true;
}

// A straight line through the almanac position: good to a few km over its two minutes, enough
// to search for the satellite and to judge its visibility, never to position with.
bool SatelliteDataProcessor::update_SatellitePolynomDataByAlmanac(int sys, int si, double nowMs) {
  const int sat = almSlotOf(sys, si);
  if (sat >= SYS_SAT_NUM[sys] || !time_.valid) return false;
  const int a = SYS_SAT_BASE_NUM[sys] + sat;
  const SatPosState& p = almPos_[a];
  if (!p.has) return false;
  SatData::PolynomEntryType e{};
  for (int k = 0; k < 3; ++k) {
    e.coef[0][k] = p.pos[k] + static_cast<double>(p.vel[k]) * (kAlmPolySpan / 2);
    e.coef[1][k] = p.vel[k];
  }
  e.refTime = time_.sec[sys] - (nowMs - p.timeMs) * 0.001;
  e.clkOffset = p.clock;
  e.clkDrift = static_cast<float>(p.drift);
  e.span = static_cast<float>(kAlmPolySpan);
  e.accuracy = kAlmPolyAccuracy;
  e.iod = 0;
  e.flags = kPolyFlagAlmChecked;
  if (!alm_[a].healthy) e.flags |= kPolyFlagAlmUnhealthy;
  if (((setup_.satMasks[kMaskHealthUse][sys] >> sat) & 1u) != 0) e.flags |= kPolyFlagInvalid;
  SatData::PolynomSetType& set = polySet_;
  set.entry[0] = e;
  set.entry[1] = SatData::PolynomEntryType{};
  set.entry[1].iod = kPolyNoIod;
  return true;
}

bool SatelliteDataProcessor::visibilityFor(SvIdType id, int sys, const SatPosState& pos, double nowMs,
                                           SatData::SatVisibilityType& v) const {
  v = SatData::SatVisibilityType{};
  const double age = (nowMs - pos.timeMs) * 0.001;
  double sat[3];
  for (int k = 0; k < 3; ++k) sat[k] = pos.pos[k] + pos.vel[k] * age;
  if (!compute_SatelliteVisibility(rcv_, sat, setup_.elevMode == 1, &v.elevation, &v.azimuth, v.los)) return false;
  compute_ElevBasedVar(sys, v.elevation, setup_.elevVar, &v.threshold, &v.variance);
  v.rcv = rcv_;
  for (int k = 0; k < 3; ++k) {
    v.satPos[k] = sat[k];
    v.satVel[k] = pos.vel[k];
  }
  v.almId = id;
  v.timeMs = nowMs;
  return true;
}

void SatelliteDataProcessor::update_EphemerisVisibilityData(int sys, int si, double nowMs) {
  if (!rcvUsable_) return;
  const int g = SYS_SI_BASE_NUM[sys] + si;
  SvIdType id = get_EphSvId(sys, si);
  id.sat = static_cast<std::uint8_t>(almSlotOf(sys, si));
  const SatPosState& p = ephPos_[g];
  SatData::SatVisibilityType v;
  if (!fresh(p, nowMs) || !visibilityFor(id, sys, p, nowMs, v)) {
    ephElev_[g].timeMs = -1;
    SatVisibilityStoreInstance.PutEph(id, nullptr);
    return;
  }
  ephElev_[g] = LastElev{v.elevation, nowMs};
  if (!tracked_[g] && v.elevation < kVisibleElevMinDeg) {
    SatVisibilityStoreInstance.PutEph(id, nullptr);
    return;
  }
  v.iod = polySet_.entry[0].iod;
  const int primary = primary_[g];
  v.status = static_cast<std::uint8_t>(primary);
  if (primary != 255) {
    Locker<Mutex> lock(ephMutex_);
    const ExtEphRecord* r = chosen(eph_[ephSlotOf(sys, si, primary)], kNewest);
    v.newChecked = r != nullptr && r->fromBroadcast && r->almChecked ? 1 : 0;
  }
  v.valid = 1;
  SatVisibilityStoreInstance.PutEph(id, &v);
}

void SatelliteDataProcessor::update_AlmanacVisibilityData(int sys, int sat, double nowMs) {
  if (!rcvUsable_) return;
  const int a = SYS_SAT_BASE_NUM[sys] + sat;
  SvIdType id = alm_[a].id;
  id.sys = static_cast<std::uint8_t>(sys);
  id.sat = static_cast<std::uint8_t>(sat);
  const SatPosState& p = almPos_[a];
  SatData::SatVisibilityType v;
  if (!fresh(p, nowMs) || !visibilityFor(id, sys, p, nowMs, v)) {
    almElev_[a].timeMs = -1;
    SatVisibilityStoreInstance.PutAlm(id, nullptr);
    return;
  }
  almElev_[a] = LastElev{v.elevation, nowMs};
  const bool tracked = id.si < SYS_SI_NUM[sys] && tracked_[SYS_SI_BASE_NUM[sys] + id.si];
  if (!tracked && v.elevation < kVisibleElevMinDeg) {
    SatVisibilityStoreInstance.PutAlm(id, nullptr);
    return;
  }
  v.valid = 1;
  SatVisibilityStoreInstance.PutAlm(id, &v);
}

void SatelliteDataProcessor::clear_AlmanacDependentData(int sys, int sat) {
  const int a = SYS_SAT_BASE_NUM[sys] + sat;
  almPos_[a].has = false;
  almPos_[a].timeMs = 0;
  almElev_[a].timeMs = -1;
  SvIdType id;
  id.sys = static_cast<std::uint8_t>(sys);
  id.sat = static_cast<std::uint8_t>(sat);
  SatVisibilityStoreInstance.PutAlm(id, nullptr);
}
