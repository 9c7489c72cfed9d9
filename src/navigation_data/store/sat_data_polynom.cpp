// The store's orbit products of each satellite: the polynomial of every stored record, the
// group delays, the set the per-epoch users read, and the satellite position from it.
#include <cmath>

#include "navigation_data/orbits/galileo_eph.h"
#include "navigation_data/orbits/beidou_eph.h"
#include "navigation_data/orbits/glonass_eph.h"
#include "navigation_data/orbits/gps_orbit.h"
#include "navigation_data/orbits/navic_eph.h"
#include "navigation_data/orbits/sbas_qzss_eph.h"
#include "navigation_data/orbits/sat_polynom.h"
#include "navigation_data/store/sat_data_store.h"

namespace {
// A satellite's bit in one of the setup's masks. A satellite whose almanac slot is not known
// yet (a GLONASS frequency no ephemeris or almanac has tied to a slot) is held to every check:
// its bit reads as set.
bool maskBit(const std::uint64_t (&masks)[kSatMaskKinds][SYS_NUM], int kind, int sys, int sat) {
  if (sat < 0 || sat >= SYS_SAT_NUM[sys]) return true;
  return ((masks[kind][sys] >> sat) & 1u) != 0;
}

SatData::PolynomEntryType noEntry() {
  SatData::PolynomEntryType e{};
  e.iod = kPolyNoIod;
  return e;
}
}  // namespace

bool SatelliteDataProcessor::update_SatellitePolynom(int sys, int si, int dataType, int recIdx) {
  if (!has_KeplerOrbit(sys) && sys != kSysSbas && sys != kSysGlonass) return false;
  const WhichRecord which = recIdx == 0 ? kNewest : kPrevious;
  if (!time_.valid || !is_EphemerisValid(sys, si, dataType, which)) return false;
  // The almanac and mask bits are those of the satellite's own slot; a GLONASS frequency index
  // is no slot, so an unlinked GLONASS record has none.
  const int sat = almSlotOf(sys, si);
  bool almReady = false, almHealthy = false;
  if (sat < SYS_SAT_NUM[sys]) {
    almReady = is_AlmanacReady(sys, sat);
    almHealthy = alm_[SYS_SAT_BASE_NUM[sys] + sat].healthy;
  }
  Locker<Mutex> lock(ephMutex_);
  EphSlot& s = eph_[ephSlotOf(sys, si, dataType)];
  ExtEphRecord* r = s.rec[recIdx == 0 ? s.newest : s.previous];
  if (r == nullptr || !r->valid) return false;
  if (sys == kSysGlonass) {
    GloIntegState start;
    const bool converted = gloExt_.Take(r, start);
    if (!update_GloSatellitePolynom(*reinterpret_cast<const ZRT_EPH_GLN*>(r->native), time_.sec[sys], r->nodes,
                                    r->polyComputed, r->entry, converted ? &start : nullptr))
      return false;
  } else if (sys == kSysSbas) {
    build_SbasPolynomEntry(*reinterpret_cast<const ZRT_EPH_SBA*>(r->native), r->entry);
    r->polyComputed = true;
  } else if (sys == kSysGalileo) {
    const auto& gal = *reinterpret_cast<const ZRT_EPH_GAL*>(r->native);
    if (!::update_SatellitePolynom(sys, to_GpsTypeEphemeris(gal), time_.sec[sys], r->nodes, r->polyComputed, r->entry))
      return false;
    const double acc = get_GalEphemerisAccuracy(gal.sisa);
    r->entry.accuracy = static_cast<float>(acc * acc);
  } else if (sys == kSysBeidou) {
    const auto& cmp = *reinterpret_cast<const ZRT_EPH_CMP*>(r->native);
    ZRT_EPH_GPS gps;
    to_GpsLayoutEphemeris(cmp, gps);
    if (!::update_SatellitePolynom(sys, gps, time_.sec[sys], r->nodes, r->polyComputed, r->entry)) return false;
    const double acc = get_BeidouEphemerisAccuracy(cmp.urai);
    r->entry.accuracy = static_cast<float>(acc * acc);
  } else if (sys == kSysNavic) {
    const auto& irs = *reinterpret_cast<const ZRT_EPH_IRS*>(r->native);
    ZRT_EPH_GPS gps;
    to_GpsLayoutEphemeris(irs, gps);
    if (!::update_SatellitePolynom(sys, gps, time_.sec[sys], r->nodes, r->polyComputed, r->entry)) return false;
    const double acc = get_NavicEphemerisAccuracy(irs.ura);
    r->entry.accuracy = static_cast<float>(acc * acc);
  } else if (!::update_SatellitePolynom(sys, *reinterpret_cast<const ZRT_EPH_GPS*>(r->native), time_.sec[sys],
                                        r->nodes, r->polyComputed, r->entry)) {
    return false;
  }
  SatData::PolynomEntryType& e = r->entry;
  e.iod = r->iod;
  e.dataType = static_cast<std::uint8_t>(dataType);
  e.recordIndex = static_cast<std::uint8_t>(recIdx);
  e.flags = 0;
  // Written so that a NaN accuracy or limit counts as too large.
  if (maskBit(setup_.satMasks, kMaskUraCheck, sys, sat) && !(std::sqrt(e.accuracy) <= setup_.uraLimit[sys]))
    e.flags |= kPolyFlagInvalid;
  if (!healthyAsScreened(sys, dataType, *r) && maskBit(setup_.satMasks, kMaskHealthUse, sys, sat)) e.flags |= kPolyFlagUnhealthy;
  if (!maskBit(setup_.satMasks, kMaskAlmanacWait, sys, sat)) e.flags |= kPolyFlagAlmChecked;
  if (almReady) {
    e.flags |= kPolyFlagAlmChecked;
    if (!almHealthy) e.flags |= kPolyFlagAlmUnhealthy;
  } else if (sys == kSysGlonass && r->almMarked) {
    // The almanac is gone or no longer ready: the health it marked on the buffer still holds.
    e.flags |= kPolyFlagAlmChecked;
    if (!r->almCn) e.flags |= kPolyFlagAlmUnhealthy;
  }
  if (sys == kSysGlonass && glo_NoTimeShift(*reinterpret_cast<const ZRT_EPH_GLN*>(r->native), r->almMarked))
    e.flags |= kPolyFlagGloNoShift;
  return true;
}

bool SatelliteDataProcessor::update_SatelliteTgdData(int sys, int si, int dataType) {
  if (sys != kSysGps && sys != kSysQzss && sys != kSysSbas && sys != kSysGalileo && sys != kSysBeidou &&
      sys != kSysGlonass && sys != kSysNavic)
    return false;
  Locker<Mutex> lock(ephMutex_);
  const EphSlot& s = eph_[ephSlotOf(sys, si, dataType)];
  const ExtEphRecord* r = chosen(s, kNewest);
  if (r == nullptr) return false;
  SatData::TgdSetType& set = polySet_.tgd;
  if (sys == kSysGlonass) {
    update_GloTgd(dataType, set);
  } else if (sys == kSysSbas) {
    update_SbasTgd(dataType, set.delay, set.source);
  } else if (sys == kSysGalileo) {
    // The E1/E5b pair of I/NAV unless a setting asks for E1/E5a (none does yet).
    update_GalTgd(*reinterpret_cast<const ZRT_EPH_GAL*>(r->native), dataType, false, set.delay, set.source);
  } else if (sys == kSysBeidou) {
    update_BeidouTgd(*reinterpret_cast<const ZRT_EPH_CMP*>(r->native), dataType, set.delay, set.source);
  } else if (sys == kSysNavic) {
    update_NavicTgd(*reinterpret_cast<const ZRT_EPH_IRS*>(r->native), dataType, set.delay, set.source);
  } else if (sys == kSysQzss) {
    update_QzssTgd(*reinterpret_cast<const ZRT_EPH_QZS*>(r->native), dataType, set.delay, set.source);
  } else {
    update_SatelliteTgd(*reinterpret_cast<const ZRT_EPH_GPS*>(r->native), dataType, set);
  }
  return true;
}

// The working set is that of the satellite the step is at.
bool SatelliteDataProcessor::update_SignalHealthData(int sys, int /*si*/, int dataType) {
  if (dataType < 0 || dataType >= SYS_DATA_TYPES_NUM[sys]) return false;
  polySet_.health.type[dataType] = SatData::SignalHealthType{SatData::kSignalHealthNone, 0};
  return true;
}

// The primary data type's two records give the set's entries; one not built has no IOD.
bool SatelliteDataProcessor::fill_SatPolynomSet(int sys, int si) {
  const int g = SYS_SI_BASE_NUM[sys] + si;
  const int primary = primary_[g];
  if (primary == 255) return false;
  bool any = false;
  {
    Locker<Mutex> lock(ephMutex_);
    const EphSlot& s = eph_[ephSlotOf(sys, si, primary)];
    for (int k = 0; k < 2; ++k) {
      const ExtEphRecord* r = s.valid ? s.rec[k == 0 ? s.newest : s.previous] : nullptr;
      const bool built = r != nullptr && r->valid && r->plausible && r->polyComputed;
      polySet_.entry[k] = built ? r->entry : noEntry();
      if (built) satDataLinks.polynomToRcvFrame(sys, polySet_.entry[k]);
      any = any || built;
    }
  }
  return any;
}

bool SatelliteDataProcessor::publish_SatPolynomSet(int sys, int si) {
  if (!fill_SatPolynomSet(sys, si)) return false;
  return SatPolynomStoreInstance.Put(get_EphSvId(sys, si), &polySet_);
}

void SatelliteDataProcessor::clear_PolynomSet() {
  polySet_ = SatData::PolynomSetType{};
  polySet_.entry[0] = polySet_.entry[1] = noEntry();
}

void SatelliteDataProcessor::clear_EphemerisDependentData(int sys, int si) {
  const int g = SYS_SI_BASE_NUM[sys] + si;
  clear_PolynomSet();
  SatPolynomStoreInstance.Put(get_EphSvId(sys, si), nullptr);
  ephElev_[g].timeMs = -1;
  SatVisibilityStoreInstance.PutEph(get_EphSvId(sys, si), nullptr);
}

bool SatelliteDataProcessor::update_SatPositionByPolynom(int sys, int si, double nowMs, SatPosState& out) {
  const int g = SYS_SI_BASE_NUM[sys] + si;
  const SatData::PolynomEntryType& e = polySet_.entry[0];
  const double t = time_.sec[sys];
  // Without an ephemeris the set holds the almanac's polynomial as built this step.
  const bool filled = primary_[g] == 255 ? e.iod != kPolyNoIod : fill_SatPolynomSet(sys, si);
  if (!time_.valid || !filled || !SatPolynomStore::is_PolynomValid(e, sys, t)) {
    out.has = false;
    return false;
  }
  double vel[3];
  eval_Polynom(e, fold_CycleTime(t - e.refTime, sys), out.pos, vel, nullptr);
  for (int k = 0; k < 3; ++k) {
    const double sign = bDebugInverseCoordinate(k) ? -1.0 : 1.0;
    out.pos[k] *= sign;
    out.vel[k] = static_cast<float>(sign * vel[k]);
  }
  out.timeMs = nowMs;
  out.has = true;
  return true;
}
