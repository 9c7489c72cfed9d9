// The store's once-a-second step: restores at start, serves the reset and clear requests,
// follows the setup and the tracked satellites, and keeps the derived data of every satellite
// (polynomials, positions, visibility) in step with its ephemerides and almanac.
#include <cmath>

#include "navigation_data/store/nav_nv_blocks.h"
#include "navigation_data/store/sat_data_store.h"

namespace {
constexpr double kEphAlmMaxPosDiff = 100000;  // m
constexpr double kEphAlmMaxVelDiff = 100;     // m/s
}  // namespace

int SatelliteDataProcessor::choose_PrimaryDataType(int typesNum, std::uint8_t typeInUse, const bool valid[],
                                                   const bool healthy[]) {
  int firstValid = 255;
  for (int dt = 0; dt < typesNum; ++dt) {
    if (typeInUse != 255 && dt != typeInUse) continue;
    if (!valid[dt]) continue;
    if (healthy[dt]) return dt;
    if (firstValid == 255) firstValid = dt;
  }
  return firstValid;
}

bool SatelliteDataProcessor::is_EphemerisWrongByAlmanac(const SatPosState& eph, const SatPosState& alm,
                                                        double nowMs) {
  const double dtEph = (nowMs - eph.timeMs) * 0.001;
  const double dtAlm = (nowMs - alm.timeMs) * 0.001;
  for (int k = 0; k < 3; ++k) {
    const double pe = eph.pos[k] + eph.vel[k] * dtEph;
    const double pa = alm.pos[k] + alm.vel[k] * dtAlm;
    // Written so that a NaN anywhere counts as a disagreement.
    if (!(std::fabs(pe - pa) <= kEphAlmMaxPosDiff)) return true;
    if (!(std::fabs(static_cast<double>(eph.vel[k]) - alm.vel[k]) <= kEphAlmMaxVelDiff)) return true;
  }
  return false;
}

bool SatelliteDataProcessor::is_ResetByAlmanacCheck(int sys, int dataType) {
  if (sys == kSysNavic) return true;
  return dataType == 0 && (sys == kSysGps || sys == kSysQzss || sys == kSysBeidou);
}

void SatelliteDataProcessor::update(const SatDataEpoch& epoch, SatDataEpochResult* result) {
  if (!gloTypesRestored_) {
    gloTypesRestored_ = true;
    CorrData::GloMflagsType types;
    if (nav_nv::restore_NvRamGloMflags(types)) gloTypes_ = types;
    if (nav_nv::restore_NvRamGloMflags(types))
      for (const auto& table : types.type)
        for (int slot = 1; slot <= 30; ++slot) satDataLinks.setGloSatType(slot, table[slot - 1]);
  }

  SatDataTime t = epoch.time;
  for (int sys = 0; sys < SYS_NUM; ++sys) {
    const int n = SYS_CYCLE_NUM[sys];
    t.cycle[sys] = ((t.cycle[sys] % n) + n) % n;
    t.cycleKnown[sys] = t.valid && t.cycleKnown[sys];
    // Polynomials are built in the system's time; a change of what is known of it rebuilds them.
    if (t.cycleKnown[sys] != time_.cycleKnown[sys]) {
      Locker<Mutex> lock(ephMutex_);
      clearPolyComputed(sys);
    }
  }
  time_ = t;
  if (!t.valid || !epoch.setupValid) return;
  set_Setup(epoch.setup);
  rcvUsable_ = epoch.positionFresh;
  rcv_ = RcvPositionType{{epoch.rcvPos[0], epoch.rcvPos[1], epoch.rcvPos[2]},
                         epoch.rcvLlh[0], epoch.rcvLlh[1], epoch.rcvLlh[2]};

  // Each system keeps one UTC block whatever its data type: it is restored once.
  if (start_)
    for (int sys = 0; sys < SYS_NUM; ++sys) {
      const int inUse = setup_.typeInUse[sys];
      update_UtcData(sys, inUse < SYS_DATA_TYPES_NUM[sys] ? inUse : 0, nullptr);
    }

  for (int sys = 0; sys < SYS_NUM; ++sys)
    for (int si = 0; si < SYS_SI_NUM[sys]; ++si) updateSatellite(sys, si, epoch, result);
  for (int sys = 0; sys < SYS_NUM; ++sys)
    for (int sat = 0; sat < SYS_SAT_NUM[sys]; ++sat) updateAlmanacSlot(sys, sat, epoch);

  if (result != nullptr) {
    result->ran = true;
    result->deltaTime = deltaTime_;
  }
  // What the next first ephemeris of an empty slot is judged by.
  positionFresh_ = epoch.positionFresh;
  start_ = false;
}

void SatelliteDataProcessor::updateSatellite(int sys, int si, const SatDataEpoch& epoch,
                                             SatDataEpochResult* result) {
  const int g = SYS_SI_BASE_NUM[sys] + si;
  const int types = SYS_DATA_TYPES_NUM[sys];
  // The step goes on from the set the satellite has published; one withdrawn starts afresh.
  if (!SatPolynomStoreInstance.Take(get_EphSvId(sys, si), &polySet_)) clear_PolynomSet();
  if (epoch.ephReset[g] != 0) {
    Locker<Mutex> lock(ephMutex_);
    for (int dt = 0; dt < types; ++dt) dropEphSlot(ephSlotOf(sys, si, dt));
  }

  if (epoch.lockedValid && ((epoch.locked[sys] >> si) & 1u) != 0) lockSec_[g] = epoch.monoSec;
  const bool tracked = epoch.monoSec - lockSec_[g] < kSatTrackedSec;
  if (tracked != tracked_[g]) {
    tracked_[g] = tracked;
    Locker<Mutex> lock(ephMutex_);
    for (int dt = 0; dt < types; ++dt)
      for (auto* r : eph_[ephSlotOf(sys, si, dt)].rec)
        if (r != nullptr) r->polyComputed = false;
  }

  SvIdType id = get_EphSvId(sys, si);
  if (start_)
    for (int dt = 0; dt < types; ++dt) update_EphemerisData(id, dt, nullptr, 0, true, false, false);
  if (epoch.clearAllEph) {
    Locker<Mutex> lock(ephMutex_);
    for (int dt = 0; dt < types; ++dt) dropEphSlot(ephSlotOf(sys, si, dt));
  }

  bool valid[3] = {}, healthy[3] = {};
  for (int dt = 0; dt < types; ++dt) {
    valid[dt] = is_EphemerisValid(sys, si, dt, kNewest);
    healthy[dt] = valid[dt] && is_EphemerisHealthy(sys, si, dt, kNewest);
  }
  const int primary = choose_PrimaryDataType(types, setup_.typeInUse[sys], valid, healthy);
  primary_[g] = static_cast<std::uint8_t>(primary);

  const double nowMs = epoch.monoSec * 1000;
  bool havePolynom = false;
  if (primary == 255) {
    clear_EphemerisDependentData(sys, si);
    ephPos_[g].has = false;
  } else {
    for (int dt = 0; dt < types; ++dt) {
      if (!valid[dt]) continue;
      for (int recIdx = 0; recIdx < 2; ++recIdx) {
        const bool built = update_SatellitePolynom(sys, si, dt, recIdx);
        if (dt == primary) havePolynom = havePolynom || built;
      }
      update_SatelliteTgdData(sys, si, dt);
      update_SignalHealthData(sys, si, dt);
    }
  }
  // Without an ephemeris polynomial the almanac may give a coarse one, already in the receiver's frame.
  const bool byAlmanac = !havePolynom && setup_.almPolynom != 0 && update_SatellitePolynomDataByAlmanac(sys, si, nowMs);
  if (byAlmanac) havePolynom = true;
  if (havePolynom && (tracked_[g] || !is_SatUnderground(id, nowMs))) {
    if (byAlmanac) SatPolynomStoreInstance.Put(id, &polySet_);
    else publish_SatPolynomSet(sys, si);
  }

  if (havePolynom) update_SatPositionByPolynom(sys, si, nowMs, ephPos_[g]);
  check_EphemerisByAlmanacData(sys, si, epoch, result);
  update_EphemerisVisibilityData(sys, si, nowMs);
}

void SatelliteDataProcessor::check_EphemerisByAlmanacData(int sys, int si, const SatDataEpoch& epoch,
                                                         SatDataEpochResult* result) {
  const int g = SYS_SI_BASE_NUM[sys] + si;
  const int sat = ephId_[g].sat;
  const int dataType = primary_[g];
  if (sat >= SYS_SAT_NUM[sys] || dataType == 255 || !ephPos_[g].has) return;
  // The almanac's word is what its visibility step published: a satellite the almanac puts out
  // of sight (and nobody tracks) is not judged by it.
  SatData::SatVisibilityType v;
  SvIdType almId;
  almId.sys = static_cast<std::uint8_t>(sys);
  almId.sat = static_cast<std::uint8_t>(sat);
  if (!SatVisibilityStoreInstance.TakeAlm(almId, &v) || v.valid == 0) return;
  SatPosState alm;
  for (int k = 0; k < 3; ++k) {
    alm.pos[k] = v.satPos[k];
    alm.vel[k] = v.satVel[k];
  }
  alm.timeMs = v.timeMs;
  alm.has = true;
  const double nowMs = epoch.monoSec * 1000;
  Locker<Mutex> lock(ephMutex_);
  EphSlot& s = eph_[ephSlotOf(sys, si, dataType)];
  if (!s.valid) return;
  if (!is_EphemerisWrongByAlmanac(ephPos_[g], alm, nowMs)) {
    s.rec[s.newest]->almChecked = true;
    return;
  }
  // A wrong ephemeris of another kind stays, but never counts as checked.
  if (!is_ResetByAlmanacCheck(sys, dataType)) return;
  if (result != nullptr) result->satReset[g] |= 1;
  dropEphSlot(ephSlotOf(sys, si, dataType));
  clear_EphemerisDependentData(sys, si);
  ephPos_[g].has = false;
  primary_[g] = 255;
}

void SatelliteDataProcessor::updateAlmanacSlot(int sys, int sat, const SatDataEpoch& epoch) {
  const int a = SYS_SAT_BASE_NUM[sys] + sat;
  if (start_) update_AlmanacData(alm_[a].id, 255, nullptr, false);
  if (epoch.clearAllAlm) {
    Locker<Mutex> lock(almMutex_);
    // The kept copy goes too, or the next start would bring the almanac back.
    nav_nv::clear_NvRamAlmanacData(alm_[a].id);
    alm_[a].valid = alm_[a].usable = alm_[a].healthy = false;
  }
  // An almanac whose orbit is none of the system's, or of a satellite not in use, gives no
  // position: a wrong one would judge the satellite's ephemeris.
  if (!is_AlmanacValid(sys, sat)) {
    clear_AlmanacDependentData(sys, sat);
    return;
  }
  const double nowMs = epoch.monoSec * 1000;
  update_SatPositionByAlmanac(sys, sat, nowMs);
  update_AlmanacVisibilityData(sys, sat, nowMs);
}
