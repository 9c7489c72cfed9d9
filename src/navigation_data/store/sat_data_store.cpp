#include "navigation_data/store/sat_data_store.h"

#include <cmath>
#include <algorithm>
#include <cstring>

#include "navigation_data/crc_engine.h"
#include "navigation_data/orbits/galileo_eph.h"
#include "navigation_data/orbits/beidou_eph.h"
#include "navigation_data/orbits/glonass_eph.h"
#include "navigation_data/orbits/gps_records.h"
#include "navigation_data/orbits/navic_eph.h"
#include "navigation_data/orbits/sbas_qzss_eph.h"
#include "navigation_data/store/nav_nv_blocks.h"
#include "platform/exit.h"

SatelliteDataProcessor SatDataProcessorInstance;
SatDataLinks satDataLinks;

namespace {
// Record kinds whose fields the store reads; the others are kept whole until their systems'
// rules exist.
bool gpsLayout(int sys) { return sys == kSysGps || sys == kSysQzss; }
// Records with a reference time the store reads (the others are served while stored).
bool timedRecords(int sys) {
  return gpsLayout(sys) || sys == kSysSbas || sys == kSysGlonass || sys == kSysGalileo || sys == kSysBeidou ||
         sys == kSysNavic;
}

double fold(double dt, double whole) {
  const double half = whole / 2;
  dt = std::fmod(dt, whole);
  if (dt > half) dt -= whole;
  if (dt < -half) dt += whole;
  return dt;
}
}  // namespace

SatelliteDataProcessor::SatelliteDataProcessor() { init_Object(); }

void SatelliteDataProcessor::init_Object() {
  for (int i = 0; i < SYS_EPH_TOTAL; ++i) eph_[i] = EphSlot{};
  for (auto& p : pool_) p = PoolElem{};
  poolClock_ = 0;
  gloExt_.Init();
  for (auto& f : asFlag_) f = 1;
  for (int sys = 0; sys < SYS_NUM; ++sys) {
    for (int si = 0; si < SYS_SI_NUM[sys]; ++si)
      ephId_[SYS_SI_BASE_NUM[sys] + si] =
          SvIdType{static_cast<std::uint8_t>(si), static_cast<std::uint8_t>(sys), 127, kSvUnknown};
    for (int sat = 0; sat < SYS_SAT_NUM[sys]; ++sat) {
      AlmSlot& a = alm_[SYS_SAT_BASE_NUM[sys] + sat];
      a = AlmSlot{};
      a.id = SvIdType{static_cast<std::uint8_t>(sys == kSysGlonass ? 255 : sat),
                      static_cast<std::uint8_t>(sys), 127, static_cast<std::uint8_t>(sat)};
    }
    utc_[sys] = UtcSlot{};
    ephCounter_[sys] = almCounter_[sys] = 0;
  }
  setup_ = SatDataSetup{};
  debugInverse_.store(0, std::memory_order_relaxed);
  for (int sys = 0; sys < SYS_NUM; ++sys)
    for (int sat = 0; sat < SYS_SAT_NUM[sys]; ++sat)
      alm_[SYS_SAT_BASE_NUM[sys] + sat].span = 86400u * setup_.almAgeDays[sys];
  time_ = SatDataTime{};
  positionFresh_ = false;
  start_ = true;
  gloRestoreSuppressed_ = false;
  gloTypesRestored_ = false;
  for (int g = 0; g < SYS_SI_TOTAL; ++g) {
    primary_[g] = 255;
    lockSec_[g] = kNeverLocked;
    tracked_[g] = false;
    ephPos_[g] = SatPosState{};
  }
  for (auto& a : almPos_) a = SatPosState{};
  deltaTime_ = PosData::SatdataDeltaTimeType{};
  for (auto& d : cnavDc_) d = NavData::GpsCnavDCDataType{};
  for (auto& m : phase3_) m = 0;
  for (auto& h : hint_) h = TimeHint{};
}

void SatelliteDataProcessor::checkSi(int sys, int si) {
  if (sys < 0 || sys >= SYS_NUM || si < 0 || si >= SYS_SI_NUM[sys]) rxExitAtOnce(kExitBadSiIdentity);
}

void SatelliteDataProcessor::checkSat(int sys, int sat) {
  if (sys < 0 || sys >= SYS_NUM || sat < 0 || sat >= SYS_SAT_NUM[sys]) rxExitAtOnce(kExitBadSatIdentity);
}

int SatelliteDataProcessor::ephSlotOf(int sys, int si, int dataType) {
  if (sys < 0 || sys >= SYS_NUM || si < 0 || si >= SYS_SI_NUM[sys] || dataType < 0 ||
      dataType >= SYS_DATA_TYPES_NUM[sys])
    rxExitAtOnce(kExitBadEphSlot);
  return SYS_EPH_BASE_NUM[sys] + SYS_DATA_TYPES_NUM[sys] * si + dataType;
}

bool SatelliteDataProcessor::sourceAllows(std::uint8_t source, bool external) {
  if (source == 0) return false;
  if (source == 1) return !external;
  if (source == 2) return external;
  return true;
}

// External records carry no check value of their raw bits. Their identity is their content,
// without what changes on every repetition of the same ephemeris: the reception time, the
// restored-from-image flag and the decoder's check value and stream.
std::uint32_t SatelliteDataProcessor::contentCrc(const void* rec, int size) {
  static CalculationCRC crc(32, 0x814141ABu);
  std::uint8_t buf[kMaxEphRecordSize];
  std::memcpy(buf, rec, static_cast<std::size_t>(size));
  std::memset(buf + 4, 0, 4);
  if (size == static_cast<int>(sizeof(ZRT_EPH_GPS))) {
    buf[8] = static_cast<std::uint8_t>(buf[8] & ~kEphFlagRestored);
    std::memset(buf + 180, 0, 3);
  } else if (size == static_cast<int>(sizeof(ZRT_EPH_CMP))) {
    buf[8] = static_cast<std::uint8_t>(buf[8] & ~kEphFlagRestored);
    buf[offsetof(ZRT_EPH_CMP, signals)] = 0;
  } else if (size == static_cast<int>(sizeof(ZRT_EPH_IRS))) {
    buf[8] = static_cast<std::uint8_t>(buf[8] & ~kEphFlagRestored);
    buf[offsetof(ZRT_EPH_IRS, signals)] = 0;
  } else if (size == static_cast<int>(sizeof(ZRT_EPH_GAL))) {
    buf[offsetof(ZRT_EPH_GAL, flags)] = static_cast<std::uint8_t>(buf[offsetof(ZRT_EPH_GAL, flags)] & ~kEphFlagRestored);
  }
  return crc.ComputeCRC(buf, 0, (size - 1) * 8);  // checksum byte excluded
}

void SatelliteDataProcessor::clearPolyComputed(int sys) {
  for (int i = SYS_EPH_BASE_NUM[sys]; i < SYS_EPH_BASE_NUM[sys] + SYS_SI_NUM[sys] * SYS_DATA_TYPES_NUM[sys]; ++i)
    for (auto* r : eph_[i].rec)
      if (r != nullptr) r->polyComputed = false;
}

void SatelliteDataProcessor::set_Setup(const SatDataSetup& s) {
  {
    Locker<Mutex> lock(ephMutex_);
    for (int sys = 0; sys < SYS_NUM; ++sys) {
      if (s.typeInUse[sys] != setup_.typeInUse[sys]) {
        // Counting every slot makes the outputs resend what the new data type selects.
        for (int si = 0; si < SYS_SI_NUM[sys]; ++si)
          for (int dt = 0; dt < SYS_DATA_TYPES_NUM[sys]; ++dt) bump(eph_[ephSlotOf(sys, si, dt)].counter);
        bump(ephCounter_[sys]);
      }
      bool changed = s.signalMask[sys] != setup_.signalMask[sys] || s.sysTime[sys] != setup_.sysTime[sys] ||
                     s.elevMask != setup_.elevMask || s.elevMode != setup_.elevMode;
      for (int k = 0; k < kSatMaskKinds; ++k) changed = changed || s.satMasks[k][sys] != setup_.satMasks[k][sys];
      if (changed) clearPolyComputed(sys);
    }
  }
  for (int sys = 0; sys < SYS_NUM; ++sys) {
    if (s.almAgeDays[sys] == setup_.almAgeDays[sys]) continue;
    Locker<Mutex> lock(almMutex_);
    for (int sat = 0; sat < SYS_SAT_NUM[sys]; ++sat) alm_[SYS_SAT_BASE_NUM[sys] + sat].span = 86400u * s.almAgeDays[sys];
  }
  setup_ = s;
  debugInverse_.store(static_cast<std::uint8_t>(s.debugInverse & 7u), std::memory_order_relaxed);
  // Stored GLONASS ephemerides are far older than their few minutes of validity after a start.
  gloRestoreSuppressed_ = true;
}

void SatelliteDataProcessor::clearEphSlot(int slot) {
  EphSlot& s = eph_[slot];
  const std::uint16_t counter = s.counter;
  s = EphSlot{};
  s.counter = counter;
}

void SatelliteDataProcessor::linkIdentity(int sys, int si, int sat) {
  checkSi(sys, si);
  checkSat(sys, sat);
  SvIdType& e = ephId_[SYS_SI_BASE_NUM[sys] + si];
  if (e.sat != kSvUnknown && e.sat != sat) alm_[SYS_SAT_BASE_NUM[sys] + e.sat].id.si = kSvUnknown;
  e.sat = static_cast<std::uint8_t>(sat);
  alm_[SYS_SAT_BASE_NUM[sys] + sat].id.si = static_cast<std::uint8_t>(si);
}

void SatelliteDataProcessor::dropEphSlot(int slot) {
  EphSlot& s = eph_[slot];
  if (s.valid && s.dataType == 0) {
    int sys = SYS_NUM - 1;
    while (sys > 0 && slot < SYS_EPH_BASE_NUM[sys]) --sys;
    const int si = (slot - SYS_EPH_BASE_NUM[sys]) / SYS_DATA_TYPES_NUM[sys];
    nav_nv::clear_NvRamEphemerisData(ephId_[SYS_SI_BASE_NUM[sys] + si]);
  }
  if (s.pool >= 0) {
    pool_[s.pool].owner = -1;
    pool_[s.pool].stamp = 0;
  }
  clearEphSlot(slot);
}

bool SatelliteDataProcessor::takePoolElement(int sys, int slot) {
  EphSlot& s = eph_[slot];
  poolClock_++;
  if (s.pool >= 0) {
    pool_[s.pool].stamp = poolClock_;
    return true;
  }
  int pick = -1;
  std::uint64_t oldest = ~std::uint64_t{0};
  for (int i = SYS_POOL_BASE[sys]; i < SYS_POOL_BASE[sys] + SYS_POOL_NUM[sys]; ++i) {
    if (pool_[i].owner < 0) {
      pick = i;
      break;
    }
    if (pool_[i].stamp < oldest) {
      oldest = pool_[i].stamp;
      pick = i;
    }
  }
  PoolElem& e = pool_[pick];
  if (e.owner >= 0) clearEphSlot(e.owner);
  e.r[0] = ExtEphRecord{};
  e.r[1] = ExtEphRecord{};
  e.owner = slot;
  e.stamp = poolClock_;
  s.pool = pick;
  s.rec[0] = &e.r[0];
  s.rec[1] = &e.r[1];
  s.newest = 0;
  s.previous = 1;
  s.last = 0;
  return true;
}

std::uint16_t SatelliteDataProcessor::get_ToeCycleNum(int sys, std::int32_t toe, std::int32_t tow,
                                                      int week) {
  const int n = SYS_CYCLE_NUM[sys];
  int c = ((week % n) + n) % n;
  const std::int64_t half = SYS_CYCLE_SEC[sys] / 2;
  // Both times come from outside: their difference is taken wide enough for any pair.
  const std::int64_t d = static_cast<std::int64_t>(toe) - tow;
  if (d >= half) c = (c + n - 1) % n;
  else if (d < -half) c = (c + 1) % n;
  return static_cast<std::uint16_t>(c);
}

int SatelliteDataProcessor::update_EphemerisData(SvIdType id, int dataType, const void* rec,
                                                 std::uint32_t crc, bool replace, bool external,
                                                 bool noWeek) {
  if (!sourceAllows(setup_.ephSource, external)) return 0;
  if (id.sys >= SYS_NUM || id.si >= SYS_SI_NUM[id.sys]) return 0;
  if (dataType < 0 || dataType >= SYS_DATA_TYPES_NUM[id.sys]) return 0;
  if (rec == nullptr) {
    Locker<Mutex> lock(ephMutex_);
    return restoreEphemeris(id.sys, id.si, dataType);
  }
  if (external) crc = contentCrc(rec, kEphRecordSize[id.sys]);
  // An outside GLONASS state vector is judged before anything of it is kept.
  if (external && id.sys == kSysGlonass && !is_GloEphemerisValid(*static_cast<const ZRT_EPH_GLN*>(rec))) return 0;
  Locker<Mutex> lock(ephMutex_);
  return storeEphemeris(id.sys, id.si, dataType, rec, crc, replace, noWeek, false);
}

// A record read back from the image goes through the ordinary store step, so it meets the same
// rules as a broadcast one; it is marked as not new.
bool SatelliteDataProcessor::restoreEphemeris(int sys, int si, int dataType) {
  if (sys == kSysGlonass && gloRestoreSuppressed_) return false;
  alignas(8) std::uint8_t scratch[kMaxEphRecordSize] = {};
  if (!nav_nv::restore_NvRamEphemerisData(ephId_[SYS_SI_BASE_NUM[sys] + si], dataType, scratch)) return false;
  if (gpsLayout(sys)) {
    auto* r = reinterpret_cast<ZRT_EPH_GPS*>(scratch);
    r->flags = static_cast<std::uint16_t>(r->flags | kEphFlagRestored);
  } else if (sys == kSysGalileo) {
    auto* r = reinterpret_cast<ZRT_EPH_GAL*>(scratch);
    r->flags = static_cast<std::uint16_t>(r->flags | kEphFlagRestored);
  } else if (sys == kSysBeidou) {
    auto* r = reinterpret_cast<ZRT_EPH_CMP*>(scratch);
    r->flags = static_cast<std::uint16_t>(r->flags | kEphFlagRestored);
  } else if (sys == kSysNavic) {
    auto* r = reinterpret_cast<ZRT_EPH_IRS*>(scratch);
    r->flags = static_cast<std::uint16_t>(r->flags | kEphFlagRestored);
  }
  return storeEphemeris(sys, si, dataType, scratch, contentCrc(scratch, kEphRecordSize[sys]), true, false, true) != 0;
}

int SatelliteDataProcessor::storeEphemeris(int sys, int si, int dataType, const void* rec,
                                           std::uint32_t crc, bool replace, bool noWeek, bool restored) {
  const int slot = ephSlotOf(sys, si, dataType);
  EphSlot& s = eph_[slot];
  // A B-CNAV record joins what the other signals' records of the same satellite brought; a
  // group delay or health flag it changes makes a change even when the ephemeris is the same.
  alignas(8) std::uint8_t cnavCopy[sizeof(ZRT_EPH_CMP)];
  bool cnavChanged = false;
  if (sys == kSysBeidou && dataType == 1) {
    std::memcpy(cnavCopy, rec, sizeof cnavCopy);
    if (const ExtEphRecord* prev = chosen(s, kNewest))
      cnavChanged = update_CnavTgdIsc(*reinterpret_cast<const ZRT_EPH_CMP*>(prev->native),
                                      *reinterpret_cast<ZRT_EPH_CMP*>(cnavCopy));
    rec = cnavCopy;
  }
  if (s.valid) {
    if (!replace || (crc == s.lastCrc && !cnavChanged)) return 0;
  } else if (!replace && positionFresh_ && setup_.firstEphNeedsNoPos != 0) {
    return 0;
  }
  const int size = kEphRecordSize[sys] - 1;
  std::uint16_t iod = kNoIod;
  std::int32_t ref = 0;
  std::uint16_t cycle = 0;
  bool healthy = false;
  // Orbit plausibility is the system's own test; until a system has one its records are kept
  // but never used for positions.
  bool plausible = false;
  bool weekKnown = !noWeek;
  alignas(8) std::uint8_t gloCopy[sizeof(ZRT_EPH_GLN)];
  TimeHint hint;
  if (gpsLayout(sys)) {
    const auto* r = static_cast<const ZRT_EPH_GPS*>(rec);
    plausible = sys == kSysGps ? is_GpsEphemerisPlausible(*r, dataType) : is_QzssEphemerisPlausible(*r);
    // A time of week no week holds gives no hint.
    if (r->tow < 604800) hint = TimeHint{true, r->week % 1024, static_cast<std::int32_t>(r->tow) * 1000};
    iod = static_cast<std::uint16_t>(r->iodc);
    ref = static_cast<std::int32_t>(r->toe);
    cycle = get_ToeCycleNum(sys, ref, static_cast<std::int32_t>(r->tow), r->week);
    healthy = sys == kSysQzss ? is_QzssEphemerisHealthy(*r) : r->health == 0;
  } else if (sys == kSysSbas) {
    const auto* r = static_cast<const ZRT_EPH_SBA*>(rec);
    plausible = is_SbasEphemerisPlausible(*r);
    ref = static_cast<std::int32_t>(r->t0);
    const SbasRecordTime rt = get_SbasRecordTime(*r);
    cycle = rt.cycle;
    hint = TimeHint{true, rt.day, rt.secOfDay * 1000};
    healthy = true;
    iod = static_cast<std::uint16_t>(r->t0 / 16);  // a new state vector per reference time
  } else if (sys == kSysGalileo) {
    const auto* r = static_cast<const ZRT_EPH_GAL*>(rec);
    plausible = is_GalEphemerisPlausible(*r);
    healthy = is_GalEphemerisHealthy(*r, dataType);
    iod = static_cast<std::uint16_t>(r->iodNav2);
    ref = static_cast<std::int32_t>(r->toe);
    cycle = get_ToeCycleNum(sys, ref, static_cast<std::int32_t>(r->tow), r->week);
  } else if (sys == kSysBeidou) {
    const auto* r = static_cast<const ZRT_EPH_CMP*>(rec);
    plausible = is_BeidouEphemerisPlausible(*r);
    healthy = dataType == 0 ? is_BeidouEphemerisHealthy(*r) : is_BeidouCnavEphemerisHealthy(*r);
    iod = r->iode;
    ref = static_cast<std::int32_t>(r->toe);
    cycle = get_ToeCycleNum(sys, ref, static_cast<std::int32_t>(r->tow), r->week);
  } else if (sys == kSysNavic) {
    const auto* r = static_cast<const ZRT_EPH_IRS*>(rec);
    plausible = is_NavicEphemerisPlausible(*r);
    healthy = is_NavicEphemerisHealthy(*r);
    iod = static_cast<std::uint16_t>(r->iodec2);
    ref = static_cast<std::int32_t>(r->toe);
    cycle = get_ToeCycleNum(sys, ref, static_cast<std::int32_t>(r->tow), r->week);
  } else if (sys == kSysGlonass) {
    // A record without its day number carries the day of the slot's previous record on.
    std::memcpy(gloCopy, rec, sizeof gloCopy);
    auto* g = reinterpret_cast<ZRT_EPH_GLN*>(gloCopy);
    const ExtEphRecord* prev = chosen(s, kNewest);
    if (g->NT == 0 && prev != nullptr) {
      const auto* p = reinterpret_cast<const ZRT_EPH_GLN*>(prev->native);
      if (p->NT != 0) g->NT = static_cast<std::uint16_t>(glo_CarryDayNumber(p->NT, p->tb, g->tb));
    }
    rec = gloCopy;
    plausible = is_GloEphemerisValid(*g);
    iod = glo_EphemerisIod(*g);
    ref = static_cast<std::int32_t>(g->tb);
    cycle = g->NT;
    weekKnown = weekKnown && g->NT != 0;
    healthy = g->health == 0;
    keepGloType(0, g->slot, (g->flags >> 12) & 3);
  } else {
    // Kept whole: each new content stands as a new issue until the system's rules decide.
    iod = static_cast<std::uint16_t>(crc & 0x7FFF);
  }
  // The orbit test only where the setup asks it for the satellite ("dvs/check", a bit per
  // almanac slot): without it every record counts as plausible. A GLONASS record names its slot;
  // one that names none is tested.
  int sat = si;
  if (sys == kSysGlonass) {
    const int n = static_cast<const ZRT_EPH_GLN*>(rec)->slot;
    sat = n >= SYS_SAT_MIN[kSysGlonass] && n <= SYS_SAT_MAX[kSysGlonass] ? n - SYS_SAT_MIN[kSysGlonass] : -1;
  }
  if (sat >= 0 && ((setup_.satMasks[kMaskDvsCheck][sys] >> sat) & 1u) == 0) plausible = true;
  // A record restored from the settings image sets them as a received one does: after a start
  // they tell the time of the last reception before it until a new ephemeris comes.
  if (hint.valid && plausible && !noWeek) hint_[sys] = hint;
  takePoolElement(sys, slot);
  if (sys != kSysGlonass) {
    linkIdentity(sys, si, si);
  } else {
    // A GLONASS frequency number is linked to the orbital slot its ephemeris names.
    const int n = static_cast<const ZRT_EPH_GLN*>(rec)->slot;
    if (n >= SYS_SAT_MIN[kSysGlonass] && n <= SYS_SAT_MAX[kSysGlonass]) linkIdentity(sys, si, n - SYS_SAT_MIN[kSysGlonass]);
  }
  if (iod != s.lastIod && s.rec[s.newest]->valid) {
    const std::int8_t t = s.newest;
    s.newest = s.previous;
    s.previous = t;
  }
  ExtEphRecord& e = *s.rec[s.newest];
  const bool almMarked = e.almMarked, almCn = e.almCn;
  e = ExtEphRecord{};
  e.almMarked = almMarked;
  e.almCn = almCn;
  std::memcpy(e.native, rec, static_cast<std::size_t>(size));
  e.valid = true;
  e.healthy = healthy;
  e.plausible = plausible;
  e.fromBroadcast = !restored;
  e.weekKnown = weekKnown;
  e.iod = iod;
  e.refTime = ref;
  e.cycle = static_cast<std::uint16_t>(cycle % SYS_CYCLE_NUM[sys]);
  if (sys == kSysGlonass) gloExt_.Put(&e, *reinterpret_cast<const ZRT_EPH_GLN*>(e.native));
  s.rec[s.previous]->polyComputed = false;
  s.last = s.newest;
  s.lastIod = iod;
  s.lastCrc = crc;
  s.valid = true;
  s.dataType = static_cast<std::uint8_t>(dataType);
  s.span = sys == kSysSbas ? kSbasEphValiditySpan : sys == kSysQzss ? kQzssEphValiditySpan : kGpsEphValiditySpan;
  if (sys == kSysGalileo) {
    s.span = kGalEphValiditySpan;
    if (plausible && healthy) satDataLinks.galNeQuick(get_GalNeQuickParams(*static_cast<const ZRT_EPH_GAL*>(rec)));
  }
  if (sys == kSysBeidou) s.span = kBeidouEphValiditySpan;
  if (sys == kSysNavic) s.span = kNavicEphValiditySpan;
  if (sys == kSysGlonass) s.span = kGloEphValiditySpan;
  if (dataType == 0 && !restored) nav_nv::store_NvRamEphemerisData(ephId_[SYS_SI_BASE_NUM[sys] + si], 0, rec);
  bump(s.counter);
  bump(ephCounter_[sys]);
  return 1;
}

int SatelliteDataProcessor::update_AlmanacData(SvIdType id, int dataType, const void* rec,
                                               bool external) {
  if (!sourceAllows(setup_.almSource, external)) return 0;
  if (id.sys >= SYS_NUM || id.sat >= SYS_SAT_NUM[id.sys]) return 0;
  const int sys = id.sys;
  if (sys == kSysGalileo) {
    if (dataType != 0 && dataType != 255) return 0;
  } else if (dataType != 255 && setup_.typeInUse[sys] < 255 && dataType != setup_.typeInUse[sys]) {
    return 0;
  }
  alignas(8) std::uint8_t scratch[kMaxAlmRecordSize] = {};
  const bool restoring = rec == nullptr;
  if (restoring) {
    if (!nav_nv::restore_NvRamAlmanacData(alm_[SYS_SAT_BASE_NUM[sys] + id.sat].id, scratch)) return 0;
    rec = scratch;
  }
  Locker<Mutex> lock(almMutex_);
  AlmSlot& a = alm_[SYS_SAT_BASE_NUM[sys] + id.sat];
  AlmSlot n = a;
  std::memcpy(n.rec, rec, static_cast<std::size_t>(kAlmRecordSize[sys] - 1));
  if (sys == kSysGps) {
    const auto* r = static_cast<const ZRT_ALM_GPS*>(rec);
    if (!accept_GpsAlmanac(*r, a.valid ? reinterpret_cast<const ZRT_ALM_GPS*>(a.rec) : nullptr)) return 0;
    n.usable = is_GpsAlmanacUsable(*r);
    n.healthy = r->health == 0;
    n.storeInImage = (r->rank & 1) == 0;
    n.refTime = r->toa;
    n.cycle = static_cast<std::uint16_t>(r->week);
    if (n.usable) notePhase3(sys, id.sat, r);
    if (n.usable) satDataLinks.setGpsSatType(r->prn, r->config & 7);
  } else if (gpsLayout(sys)) {
    const auto* r = static_cast<const ZRT_ALM_GPS*>(rec);
    if (!accept_GpsAlmanac(*r, a.valid ? reinterpret_cast<const ZRT_ALM_GPS*>(a.rec) : nullptr)) return 0;
    n.usable = is_QzssAlmanacUsable(*r);
    if (n.usable) notePhase3(sys, id.sat, r);
    n.healthy = r->health == 0;
    n.storeInImage = (r->rank & 1) == 0;
    n.refTime = r->toa;
    n.cycle = static_cast<std::uint16_t>(r->week);
  } else if (sys == kSysGalileo) {
    const auto* stored = reinterpret_cast<const ZRT_ALM_GAL*>(a.rec);
    auto* r = reinterpret_cast<ZRT_ALM_GAL*>(n.rec);
    if (!merge_GalAlmanac(*static_cast<const ZRT_ALM_GAL*>(rec), dataType, a.valid && a.usable ? stored : nullptr, *r))
      return 0;
    n.usable = is_GalAlmanacUsable(*r);
    n.healthy = r->health == 0;
    n.storeInImage = true;
    n.refTime = r->toa;
    n.cycle = static_cast<std::uint16_t>(r->week);
  } else if (sys == kSysSbas) {
    const auto* r = static_cast<const ZRT_ALM_SBA*>(rec);
    n.usable = is_SbasAlmanacUsable(*r);
    n.healthy = is_SbasAlmanacHealthy(*r);
    n.storeInImage = true;
    n.refTime = r->toa;
    n.cycle = r->week;
  } else if (sys == kSysBeidou) {
    const auto* r = static_cast<const ZRT_ALM_CMP*>(rec);
    const bool storedUsable = a.valid && a.usable;
    if (!accept_BeidouAlmanac(*r, storedUsable ? reinterpret_cast<const ZRT_ALM_CMP*>(a.rec) : nullptr)) return 0;
    n.usable = is_BeidouAlmanacUsable(*r);
    if (n.usable) notePhase3(sys, id.sat, r);
    n.healthy = r->health == 0;
    n.storeInImage = true;
    n.refTime = r->toa;
    n.cycle = static_cast<std::uint16_t>(r->week);
  } else if (sys == kSysNavic) {
    const auto* r = static_cast<const ZRT_ALM_IRS*>(rec);
    if (!accept_NavicAlmanac(*r, a.valid && a.usable ? reinterpret_cast<const ZRT_ALM_IRS*>(a.rec) : nullptr)) return 0;
    n.usable = is_NavicAlmanacUsable(*r);
    n.healthy = true;  // the NavIC almanac carries no health
    n.storeInImage = true;
    n.refTime = r->toa;
    n.cycle = static_cast<std::uint16_t>(r->week);
  } else if (sys == kSysGlonass) {
    const auto* r = static_cast<const ZRT_ALM_GLN*>(rec);
    if (!restoring && !glo_AcceptAlmanac(*reinterpret_cast<const ZRT_ALM_GLN*>(a.rec), a.valid, *r)) return 0;
    n.usable = glo_AlmanacUsable(*r);
    n.healthy = n.usable && (r->health & 1) != 0;  // Cn = 1: operable
    n.storeInImage = true;
    n.refTime = r->tLambda;
    n.cycle = r->NA;
    if (n.usable) keepGloType(1, id.sat + 1, r->M);
  } else {
    n.usable = false;  // not available until the system's almanac rules exist
    n.healthy = false;
    n.storeInImage = false;
  }
  n.cycle = static_cast<std::uint16_t>(n.cycle % SYS_CYCLE_NUM[sys == kSysSbas ? kSysGps : sys]);
  n.valid = true;
  bump(n.counter);
  a = n;
  bump(almCounter_[sys]);
  if (n.storeInImage && !restoring) nav_nv::store_NvRamAlmanacData(a.id, sys == kSysGalileo ? a.rec : rec);
  // A usable GLONASS almanac names the frequency its slot is tracked on, and marks the
  // ephemeris buffers of that frequency with its health. Two satellites on opposite sides of
  // their plane share a frequency, and the almanac describes both: the frequency is tied to this
  // slot only while no ephemeris has tied it to the other one (an ephemeris names the satellite
  // that sends it), and only the buffers of this slot's ephemerides (or empty ones) take this
  // slot's health.
  if (sys == kSysGlonass && n.usable) {
    Locker<Mutex> ephLock(ephMutex_);
    const int si = reinterpret_cast<const ZRT_ALM_GLN*>(a.rec)->freqNum + 7;
    alm_[SYS_SAT_BASE_NUM[sys] + id.sat].id.si = static_cast<std::uint8_t>(si);
    if (ephId_[SYS_SI_BASE_NUM[sys] + si].sat == kSvUnknown) linkIdentity(sys, si, id.sat);
    for (int dt = 0; dt < SYS_DATA_TYPES_NUM[sys]; ++dt)
      for (ExtEphRecord* r : eph_[ephSlotOf(sys, si, dt)].rec)
        if (r != nullptr && (!r->valid || reinterpret_cast<const ZRT_EPH_GLN*>(r->native)->slot == id.sat + SYS_SAT_MIN[sys])) {
          r->almMarked = true;
          r->almCn = n.healthy;
        }
  }
  // Polynomials built from the old almanac must be rebuilt.
  if (a.id.si < SYS_SI_NUM[sys]) {
    Locker<Mutex> ephLock(ephMutex_);
    for (int dt = 0; dt < SYS_DATA_TYPES_NUM[sys]; ++dt)
      for (auto* r : eph_[ephSlotOf(sys, a.id.si, dt)].rec)
        if (r != nullptr) r->polyComputed = false;
  }
  return 1;
}

int SatelliteDataProcessor::update_UtcData(int sys, int dataType, const void* rec) {
  if (sys < 0 || sys >= SYS_NUM) return 0;
  alignas(8) std::uint8_t scratch[kMaxUtcRecordSize] = {};
  const bool restoring = rec == nullptr;
  if (restoring) {
    if (!nav_nv::restore_NvRamUtcData(sys, dataType, scratch)) return 0;
    rec = scratch;
  }
  // A restored record meets the same rule as a broadcast one.
  if (sys != kSysGlonass && static_cast<const std::uint8_t*>(rec)[21] == 0) return 0;
  Locker<Mutex> lock(utcMutex_);
  UtcSlot& u = utc_[sys];
  // SBAS keeps only the first 34 bytes of its record; the rest reads 0.
  alignas(8) std::uint8_t kept[kMaxUtcRecordSize] = {};
  std::memcpy(kept, rec, static_cast<std::size_t>(sys == kSysSbas ? kSbasUtcKeptBytes : kUtcRecordSize[sys] - 1));
  std::memcpy(u.rec, kept, sizeof kept);
  u.valid = true;
  bump(u.counter);
  if (!restoring) nav_nv::store_NvRamUtcData(sys, rec);
  double ggto = 0;
  if (sys == kSysGalileo && time_.valid && time_.cycleKnown[kSysGalileo] &&
      get_GalGpsDifference(*static_cast<const ZRT_UTC_GAL*>(rec), time_.cycle[kSysGalileo], time_.sec[kSysGalileo], &ggto)) {
    const auto& g = *static_cast<const ZRT_UTC_GAL*>(rec);
    deltaTime_.update_SystemToGpsDeltaTime(0, kSysGalileo,
                                           static_cast<int>(std::lround(time_.sec[kSysGalileo] * 1000)), ggto, g.A1G);
  }
  if (sys == kSysGps && time_.valid && time_.cycleKnown[kSysGps]) {
    const auto& g = *static_cast<const ZRT_UTC_GPS*>(rec);
    const double tow = time_.sec[kSysGps];
    deltaTime_.update_SystemToUtcDeltaTime(kSysGps, static_cast<int>(std::lround(tow * 1000)),
                                           get_GpsUtcDifference(g, time_.cycle[kSysGps], tow), g.A1);
  }
  double navicGps = 0;
  if (sys == kSysNavic && time_.valid && time_.cycleKnown[kSysNavic] &&
      get_NavicGnssOffset(*static_cast<const ZRT_UTC_IRS*>(rec), time_.cycle[kSysNavic], time_.sec[kSysNavic],
                          &navicGps)) {
    deltaTime_.update_SystemToGpsDeltaTime(0, kSysNavic, static_cast<int>(std::lround(time_.sec[kSysNavic] * 1000)),
                                           navicGps, static_cast<const ZRT_UTC_IRS*>(rec)->gnssA1);
  }
  if (sys == kSysGlonass && !restoring && time_.valid) {
    const auto& g = *static_cast<const ZRT_UTC_GLN*>(rec);
    deltaTime_.update_SystemToGpsDeltaTime(0, kSysGlonass, static_cast<int>(std::lround(time_.sec[kSysGps] * 1000)),
                                           g.tauGPS, 0.0);
  }
  return 1;
}

const ZRT_UTC_GPS* SatelliteDataProcessor::restore_NvRamUtcDataGpsAlike(int sys, ZRT_UTC_GPS* out) {
  return nav_nv::restore_NvRamUtcDataGpsAlike(sys, out) ? out : nullptr;
}

bool SatelliteDataProcessor::restore_NvRamUtcData(int sys, int dataType, void* out) {
  return nav_nv::restore_NvRamUtcData(sys, dataType, out);
}

int SatelliteDataProcessor::get_UsedNavigationData(int sys) const {
  return sys >= 0 && sys < SYS_NUM ? setup_.typeInUse[sys] : 255;
}

std::uint16_t SatelliteDataProcessor::get_EphUpdateCounter(int sys) const {
  return sys >= 0 && sys < SYS_NUM ? ephCounter_[sys] : 0;
}

std::uint16_t SatelliteDataProcessor::get_EphUpdateCounter(int sys, int si, int dataType) const {
  return eph_[ephSlotOf(sys, si, dataType)].counter;
}

std::uint16_t SatelliteDataProcessor::get_AlmUpdateCounter(int sys) const {
  return sys >= 0 && sys < SYS_NUM ? almCounter_[sys] : 0;
}

std::uint16_t SatelliteDataProcessor::get_AlmUpdateCounter(int sys, int sat) const {
  checkSat(sys, sat);
  return alm_[SYS_SAT_BASE_NUM[sys] + sat].counter;
}

std::uint16_t SatelliteDataProcessor::get_UtcUpdateCounter(int sys) const {
  return sys >= 0 && sys < SYS_NUM ? utc_[sys].counter : 0;
}

const void* SatelliteDataProcessor::get_UtcLastData(int sys) const {
  if (sys < 0 || sys >= SYS_NUM || !utc_[sys].valid) return nullptr;
  return utc_[sys].rec;
}

const ExtEphRecord* SatelliteDataProcessor::chosen(const EphSlot& s, WhichRecord which) const {
  if (!s.valid) return nullptr;
  const int idx = which == kNewest ? s.newest : which == kPrevious ? s.previous : s.last;
  const ExtEphRecord* r = s.rec[idx];
  return r != nullptr && r->valid ? r : nullptr;
}

bool SatelliteDataProcessor::is_EphemerisReady(int sys, int si, int dataType, WhichRecord which) const {
  const EphSlot& s = eph_[ephSlotOf(sys, si, dataType)];
  const ExtEphRecord* r = chosen(s, which);
  if (r == nullptr) return false;
  // Kept-whole records have no reference time the store can read: served while stored.
  if (!timedRecords(sys)) return true;
  if (!time_.valid) return false;
  double dt = time_.sec[sys] - r->refTime;
  if (time_.cycleKnown[sys] && r->weekKnown) {
    dt += static_cast<double>(time_.cycle[sys] - r->cycle) * SYS_CYCLE_SEC[sys];
    dt = fold(dt, static_cast<double>(SYS_CYCLE_NUM[sys]) * SYS_CYCLE_SEC[sys]);
  } else {
    dt = fold(dt, SYS_CYCLE_SEC[sys]);
  }
  return std::fabs(dt) <= s.span;
}

bool SatelliteDataProcessor::is_EphemerisValid(int sys, int si, int dataType, WhichRecord which) const {
  if (!time_.valid || !is_EphemerisReady(sys, si, dataType, which)) return false;
  return chosen(eph_[ephSlotOf(sys, si, dataType)], which)->plausible;
}

bool SatelliteDataProcessor::is_EphemerisHealthy(int sys, int si, int dataType, WhichRecord which) const {
  const ExtEphRecord* r = chosen(eph_[ephSlotOf(sys, si, dataType)], which);
  return r != nullptr && healthyAsScreened(sys, dataType, *r);
}

// Index 8 is 64 m of user range accuracy (IS-GPS-200 20.3.3.3.1.3; the BeiDou and NavIC tables
// are the same, and a GPS CNAV record carries the index its accuracy terms give); SBAS index 15
// is "no accuracy prediction". Galileo's SISA, BeiDou B-CNAV's SISMAI and GLONASS's FT are no
// such index and are not screened here.
bool SatelliteDataProcessor::healthyAsScreened(int sys, int dataType, const ExtEphRecord& r) const {
  if (!r.healthy) return false;
  if (!setup_.accuracyScreening()) return true;
  constexpr int kScreenedIndex = 8, kSbasScreenedIndex = 15;
  switch (sys) {
    case kSysGps:
    case kSysQzss: return reinterpret_cast<const ZRT_EPH_GPS*>(r.native)->ura < kScreenedIndex;
    case kSysBeidou: return dataType != 0 || reinterpret_cast<const ZRT_EPH_CMP*>(r.native)->urai < kScreenedIndex;
    case kSysNavic: return reinterpret_cast<const ZRT_EPH_IRS*>(r.native)->ura < kScreenedIndex;
    case kSysSbas: return reinterpret_cast<const ZRT_EPH_SBA*>(r.native)->ura < kSbasScreenedIndex;
    default: return true;
  }
}

const ExtEphRecord* SatelliteDataProcessor::get_EphLastData(int sys, int si, int dataType) {
  if (!is_EphemerisReady(sys, si, dataType, kLastStored)) return nullptr;
  const EphSlot& s = eph_[ephSlotOf(sys, si, dataType)];
  return s.rec[s.last];
}

bool SatelliteDataProcessor::copy_EphLastData(int sys, int si, int dataType, void* out, std::size_t size,
                                              bool* valid) {
  Locker<Mutex> lock(ephMutex_);
  const ExtEphRecord* r = get_EphLastData(sys, si, dataType);
  if (r == nullptr) return false;
  std::memcpy(out, r->native, std::min(size, sizeof r->native));
  if (valid != nullptr) *valid = r->valid;
  return true;
}

bool SatelliteDataProcessor::is_AlmanacReady(int sys, int sat) {
  checkSat(sys, sat);
  AlmSlot& a = alm_[SYS_SAT_BASE_NUM[sys] + sat];
  if (!a.valid) return false;
  if (!time_.valid || !timedRecords(sys)) return true;
  if (std::fabs(almanacAge(sys, sat)) <= a.span) return true;
  a.valid = false;
  return false;
}

bool SatelliteDataProcessor::is_AlmanacValid(int sys, int sat) {
  if (!is_AlmanacReady(sys, sat)) return false;
  return alm_[SYS_SAT_BASE_NUM[sys] + sat].usable && ((setup_.satMasks[kMaskInUse][sys] >> sat) & 1u) != 0;
}

double SatelliteDataProcessor::almanacAge(int sys, int sat) const {
  const AlmSlot& a = alm_[SYS_SAT_BASE_NUM[sys] + sat];
  const int s = sys == kSysSbas ? kSysGps : sys;  // SBAS almanacs count GPS weeks
  double dt = time_.sec[s] - a.refTime;
  if (time_.cycleKnown[s] && a.storeInImage) {
    dt += static_cast<double>(time_.cycle[s] - a.cycle) * SYS_CYCLE_SEC[s];
    return fold(dt, static_cast<double>(SYS_CYCLE_NUM[s]) * SYS_CYCLE_SEC[s]);
  }
  return fold(dt, SYS_CYCLE_SEC[s]);
}

const void* SatelliteDataProcessor::get_AlmLastData(int sys, int sat) {
  if (!is_AlmanacReady(sys, sat)) return nullptr;
  return alm_[SYS_SAT_BASE_NUM[sys] + sat].rec;
}

int SatelliteDataProcessor::get_SvIdx(int sys, int sat) const {
  if (sys < 0 || sys >= SYS_NUM || sat < 0 || sat >= SYS_SAT_NUM[sys]) return kSvUnknown;
  return alm_[SYS_SAT_BASE_NUM[sys] + sat].id.si;
}

SvIdType SatelliteDataProcessor::get_EphSvId(int sys, int si) const {
  if (sys < 0 || sys >= SYS_NUM || si < 0 || si >= SYS_SI_NUM[sys])
    return SvIdType{static_cast<std::uint8_t>(si), static_cast<std::uint8_t>(sys), 0, kSvUnknown};
  const SvIdType& e = ephId_[SYS_SI_BASE_NUM[sys] + si];
  return SvIdType{e.si, e.sys, 0, e.sat};
}

SvIdType SatelliteDataProcessor::get_AlmSvId(SvIdType id) const {
  checkSat(id.sys, id.sat);
  return alm_[SYS_SAT_BASE_NUM[id.sys] + id.sat].id;
}

bool SatelliteDataProcessor::get_TimeHint(int sys, std::int32_t* cycle, std::int32_t* ms) {
  if (sys < 0 || sys >= SYS_NUM || cycle == nullptr || ms == nullptr) return false;
  Locker<Mutex> lock(ephMutex_);
  if (!hint_[sys].valid) return false;
  *cycle = hint_[sys].cycle;
  *ms = hint_[sys].ms;
  return true;
}

void SatelliteDataProcessor::set_ASFlag(int gpsIdx, bool on) {
  if (gpsIdx >= 0 && gpsIdx < SYS_SI_NUM[kSysGps]) asFlag_[gpsIdx] = on ? 1 : 0;
}

void SatelliteDataProcessor::set_AlertFlag(SvIdType id, int dataType, bool on) {
  if (!id.isValidSi() || dataType < 0 || dataType >= SYS_DATA_TYPES_NUM[id.sys]) return;
  eph_[ephSlotOf(id.sys, id.si, dataType)].alert = on ? 1 : 0;
}

bool SatelliteDataProcessor::get_AlertFlag(SvIdType id, int dataType) const {
  if (!id.isValidSi() || dataType < 0 || dataType >= SYS_DATA_TYPES_NUM[id.sys]) return false;
  return eph_[ephSlotOf(id.sys, id.si, dataType)].alert != 0;
}

int SatelliteDataProcessor::update_GpsCnavDCData(SvIdType, const NavData::GpsCnavDCDataType&) { return 0; }

int SatelliteDataProcessor::update_GpsCnavSysOffsetData(int, const NavData::GpsCnavSysOffsetDataType&) { return 0; }

int SatelliteDataProcessor::take_GpsCnavDCData(SvIdType id, NavData::GpsCnavDCDataType* out) const {
  if (out == nullptr || !id.isValidSat()) return 0;
  int k = -1;
  if (id.sys == kSysGps) k = id.sat;
  else if (id.sys == kSysQzss) k = id.sat + 32;
  else if (id.sys == kSysNavic) k = id.sat + 39;
  if (k < 0 || k >= kCnavDcRecords) return 0;
  *out = cnavDc_[k];
  return 1;
}

// Which satellites belong to the modernised generation, from their usable almanacs:
// - GPS: a configuration code of 4 or more in the LNAV configuration page (IS-GPS-200
//   20.3.3.5.1.4: GPS III, which brings L1C); an almanac sent before that page came says nothing;
// - QZSS: every satellite (IS-QZSS-PNT: each one broadcasts L1C);
// - BeiDou: a satellite that a B1C or B2a almanac names (B-CNAV1 and B-CNAV2 are broadcast by
//   BeiDou-3 satellites only, BDS-SIS-ICD-B1C 1.0 and -B2a 1.0, and describe that constellation);
//   the D1 and D2 almanacs describe both generations and leave the mark as it is.
void SatelliteDataProcessor::notePhase3(int sys, int sat, const void* rec) {
  if (sat < 0 || sat >= 64) return;
  const std::uint64_t bit = std::uint64_t{1} << sat;
  std::uint64_t m = phase3_[sys];
  if (sys == kSysGps) {
    const auto* r = static_cast<const ZRT_ALM_GPS*>(rec);
    if ((r->spare1[0] & kAlmGpsConfigUnknown) != 0) return;
    m = (r->config & 7) >= 4 ? m | bit : m & ~bit;
  } else if (sys == kSysQzss) {
    m |= bit;
  } else if (sys == kSysBeidou) {
    if (static_cast<const ZRT_ALM_CMP*>(rec)->signal == 0) return;
    m |= bit;
  } else {
    return;
  }
  if (m == phase3_[sys]) return;
  phase3_[sys] = m;
  if (sys == kSysGps) satDataLinks.gpsPhase3Update(m);
  else if (sys == kSysQzss) satDataLinks.qzsPhase3Update(m);
  else satDataLinks.beiPhase3Update(m);
}

// The satellite type (M) of an orbital slot from an ephemeris (table 0) or an almanac (table 1):
// kept in the image and handed to the signal-type registry.
void SatelliteDataProcessor::keepGloType(int table, int slot, int type) {
  if (slot < 1 || slot > SYS_SAT_NUM[kSysGlonass]) return;
  std::uint8_t& t = gloTypes_.type[table][slot - 1];
  if (t == type) return;
  t = static_cast<std::uint8_t>(type);
  nav_nv::store_NvRamGloMflags(gloTypes_);
  satDataLinks.setGloSatType(slot, type);
}
