// The satellite data store: broadcast ephemerides, almanacs and UTC parameters of all systems,
// with their change counters and readiness.
//
// It lives in the navigation-data layer so that the decoders of this layer can write to it
// directly; what it needs from the positioning layer above (the setup, the receiver time, the
// position's freshness) is handed down by that layer's once-a-second call, never fetched.
#pragma once

#include <atomic>
#include <cstdint>

#include "navigation_data/orbits/galileo_eph.h"
#include "navigation_data/orbits/glonass_eph.h"
#include "navigation_data/orbits/sat_polynom.h"
#include "navigation_data/store/nav_nv_blocks.h"
#include "navigation_data/store/nav_records.h"
#include "navigation_data/store/sat_delta_time.h"
#include "navigation_data/store/sat_visibility.h"
#include "platform/hook.h"
#include "navigation_data/sv_id.h"
#include "platform/rtos.h"

constexpr int SYS_DATA_TYPES_NUM[SYS_NUM] = {3, 2, 2, 1, 3, 2, 1};
constexpr int SYS_EPH_BASE_NUM[SYS_NUM] = {0, 96, 126, 198, 226, 247, 373};
constexpr int SYS_EPH_TOTAL = 387;
constexpr int SYS_CYCLE_NUM[SYS_NUM] = {1024, 1461, 1024, 7168, 1024, 1024, 1024};
constexpr int SYS_POOL_NUM[SYS_NUM] = {56, 19, 30, 12, 21, 123, 14};
constexpr int SYS_POOL_BASE[SYS_NUM] = {0, 56, 75, 105, 117, 138, 261};
constexpr int kExitBadEphSlot = 979;
constexpr std::uint16_t kNoIod = 65535;
constexpr std::uint16_t kGpsEphValiditySpan = 14460;  // s either side of toe
constexpr std::uint16_t kGloEphValiditySpan = 1860;   // s either side of tb
constexpr double kSatTrackedSec = 120;  // a satellite locked this recently counts as tracked
constexpr double kNeverLocked = -1e18;

// Every satellite of each system enabled, the setups' default for the satellite masks.
constexpr std::uint64_t kAllSatsMask[SYS_NUM] = {0xFFFFFFFFull, 0x3FFFFFFFull, 0xFFFFFFFFFull, 0xFFFFFFFull,
                                                 0x7Full, 0x7FFFFFFFFFFFFFFFull, 0x3FFFull};
constexpr int kSatMaskKinds = 5;  // in use, health check, almanac wait, URA check, DVS check
constexpr int kMaskInUse = 0;
constexpr int kMaskHealthUse = 1;
constexpr int kMaskAlmanacWait = 2;
constexpr int kMaskUraCheck = 3;
constexpr int kMaskDvsCheck = 4;

// What the store takes from the positioning layer's setups.
struct SatDataSetup {
  std::uint8_t ephSource = 3;  // 0 none, 1 own decoders, 2 external, else both
  std::uint8_t almSource = 3;
  std::uint8_t typeInUse[SYS_NUM] = {255, 255, 255, 255, 255, 255, 255};
  // Non-zero: an empty slot takes a first unconfirmed ephemeris only without a fresh position.
  std::uint8_t firstEphNeedsNoPos = 0;
  // Non-zero: a satellite without an ephemeris polynomial gets one from its almanac.
  std::uint8_t almPolynom = 0;
  std::uint16_t almAgeDays[SYS_NUM] = {30, 30, 30, 30, 30, 30, 30};
  // Settings whose change makes every polynomial of the system be rebuilt.
  std::uint64_t satMasks[kSatMaskKinds][SYS_NUM] = {
      {kAllSatsMask[0], kAllSatsMask[1], kAllSatsMask[2], kAllSatsMask[3], kAllSatsMask[4], kAllSatsMask[5], kAllSatsMask[6]},
      {kAllSatsMask[0], kAllSatsMask[1], kAllSatsMask[2], kAllSatsMask[3], kAllSatsMask[4], kAllSatsMask[5], kAllSatsMask[6]},
      {kAllSatsMask[0], kAllSatsMask[1], kAllSatsMask[2], kAllSatsMask[3], kAllSatsMask[4], kAllSatsMask[5], kAllSatsMask[6]},
      {kAllSatsMask[0], kAllSatsMask[1], kAllSatsMask[2], kAllSatsMask[3], kAllSatsMask[4], kAllSatsMask[5], kAllSatsMask[6]},
      {kAllSatsMask[0], kAllSatsMask[1], kAllSatsMask[2], kAllSatsMask[3], kAllSatsMask[4], kAllSatsMask[5], kAllSatsMask[6]}};
  std::uint32_t signalMask[SYS_NUM] = {0x3F, 0x1F, 0x1D, 0x11, 0x39, 0x3D, 0x10};
  // Largest ephemeris accuracy (m) a polynomial may have where the "URA check" mask asks.
  float uraLimit[SYS_NUM] = {10, 10, 10, 10, 10, 10, 10};
  std::uint8_t sysTime[SYS_NUM] = {0, 1, 2, 0, 0, 5, 6};
  // Debug bits 0..2: the satellite positions computed from the store have their X, Y or Z negated.
  std::uint8_t debugInverse = 0;
  float elevMask = 5.0f;  // degrees
  std::uint32_t elevMode = 0;  // 1: elevations measured from the visible horizon ("truehor")
  ElevVarSetup elevVar;
  // Accuracy screening: a record whose accuracy index says worse than about 50 m counts as
  // unhealthy (the weighting mode 1 with the screening field set).
  bool accuracyScreening() const { return elevVar.weightMode == 1 && elevVar.accScreening != 0; }
  bool operator==(const SatDataSetup&) const = default;
};

// Receiver time in each system's own scale: cycle number (week; day for GLONASS and SBAS) and
// seconds into the cycle.
struct SatDataTime {
  bool valid = false;
  bool cycleKnown[SYS_NUM] = {};
  std::int32_t cycle[SYS_NUM] = {};
  double sec[SYS_NUM] = {};
};

struct SatDataEpoch {
  bool setupValid = true;  // false while a setup server is still empty
  SatDataSetup setup;
  SatDataTime time;
  double monoSec = 0;          // monotonic seconds of this call (lock ages)
  bool positionFresh = false;  // a usable position younger than 60 s
  double rcvPos[3] = {};       // that position, ECEF m
  double rcvLlh[3] = {};       // and its WGS 84 latitude, longitude (rad) and height (m)
  // Satellites locked in this epoch, a bit per tracking index of each system; only when known.
  bool lockedValid = false;
  std::uint64_t locked[SYS_NUM] = {};
  // Ephemeris reset requests drained from their server, by global tracking index: non-zero
  // drops every data type of that satellite.
  std::uint8_t ephReset[SYS_SI_TOTAL] = {};
  // Requests to drop every stored ephemeris / almanac; served once.
  bool clearAllEph = false;
  bool clearAllAlm = false;
};

// What one update() hands back for the positioning layer to publish.
struct SatDataEpochResult {
  bool ran = false;  // false: no receiver time or no setup, nothing was done
  PosData::SatdataDeltaTimeType deltaTime;
  // Satellites whose ephemeris disagreed with their almanac, by global tracking index.
  std::uint8_t satReset[SYS_SI_TOTAL] = {};
};

// A satellite's position and velocity at a time, from its polynomial or its almanac.
struct SatPosState {
  bool has = false;
  double pos[3] = {};  // m, ECEF
  float vel[3] = {};   // m/s
  double timeMs = 0;   // receiver time of the state, ms
  double clock = 0;    // s, from the almanac only
  double drift = 0;    // s/s, from the almanac only
};

// One stored ephemeris with the store's own state around the native record.
struct ExtEphRecord {
  bool valid = false;
  bool plausible = false;
  bool healthy = false;
  bool fromBroadcast = false;
  bool polyComputed = false;
  bool weekKnown = false;
  bool almChecked = false;
  // GLONASS: the health of the satellite's almanac (Cn) marked on the buffer by the last usable
  // almanac of its frequency; it stays with the buffer when a new record is written into it.
  bool almMarked = false;
  bool almCn = false;
  std::uint16_t iod = kNoIod;
  std::uint16_t cycle = 0;
  std::int32_t refTime = 0;
  alignas(8) std::uint8_t native[kMaxEphRecordSize] = {};
  // The record's polynomial: its nodes and the entry built from them (valid while polyComputed).
  PolyNodeRing nodes;
  SatData::PolynomEntryType entry{};
};

class SatelliteDataProcessor {
 public:
  enum WhichRecord { kLastStored, kNewest, kPrevious };

  SatelliteDataProcessor();
  void init_Object();

  // Writers: non-zero when the record was taken. `crc` is the check value of the raw bits;
  // external records (native messages, RTCM 3) carry none and are judged by their content.
  int update_EphemerisData(SvIdType id, int dataType, const void* rec, std::uint32_t crc,
                           bool replace, bool external, bool noWeek);
  int update_AlmanacData(SvIdType id, int dataType, const void* rec, bool external);
  int update_UtcData(int sys, int dataType, const void* rec);

  // Stored UTC of `sys` in the GPS layout (not GLONASS); null when none.
  const ZRT_UTC_GPS* restore_NvRamUtcDataGpsAlike(int sys, ZRT_UTC_GPS* out);
  // The whole stored UTC block of `sys`; false when none.
  bool restore_NvRamUtcData(int sys, int dataType, void* out);

  // CNAV differential corrections and time offsets: kept by nobody, so a reader finds none.
  int update_GpsCnavDCData(SvIdType id, const NavData::GpsCnavDCDataType& rec);
  int update_GpsCnavSysOffsetData(int sys, const NavData::GpsCnavSysOffsetDataType& rec);
  // The satellite's correction record (GPS, QZSS, NavIC); 0 for another identity.
  int take_GpsCnavDCData(SvIdType id, NavData::GpsCnavDCDataType* out) const;

  // Once a second, from the positioning layer's background task.
  void update(const SatDataEpoch& epoch, SatDataEpochResult* result = nullptr);

  int get_UsedNavigationData(int sys) const;
  std::uint16_t get_EphUpdateCounter(int sys) const;
  std::uint16_t get_EphUpdateCounter(int sys, int si, int dataType) const;
  std::uint16_t get_AlmUpdateCounter(int sys) const;
  std::uint16_t get_AlmUpdateCounter(int sys, int sat) const;
  std::uint16_t get_UtcUpdateCounter(int sys) const;
  const ExtEphRecord* get_EphLastData(int sys, int si, int dataType);
  // The last stored record of that kind copied whole under the store's lock (a broadcast of the
  // same issue refills the record in place, so a reader in another task must not copy it bare);
  // `valid` gets the record's valid flag. False, nothing copied, when there is none.
  bool copy_EphLastData(int sys, int si, int dataType, void* out, std::size_t size, bool* valid = nullptr);
  const void* get_AlmLastData(int sys, int sat);
  const void* get_UtcLastData(int sys) const;

  // Identities: the tracking index linked to an almanac slot (255 none or out of range); the
  // identity of a tracking index with its almanac slot (255 until an ephemeris links them);
  // the identity kept for an almanac slot.
  int get_SvIdx(int sys, int sat) const;
  SvIdType get_EphSvId(int sys, int si) const;
  SvIdType get_AlmSvId(SvIdType id) const;

  // The receiver's time hints of GPS, QZSS and SBAS: the week (GPS, QZSS: modulo 1024; SBAS: the
  // day since the GPS epoch) and ms of week (SBAS: of day) at which the last plausible ephemeris
  // of the system with a week was received, one restored from the settings image included.
  // False before the first.
  bool get_TimeHint(int sys, std::int32_t* cycle, std::int32_t* ms);

  // Per-satellite flags from the decoders; out-of-range identities are ignored (and read 0).
  void set_ASFlag(int gpsIdx, bool on);
  void set_AlertFlag(SvIdType id, int dataType, bool on);
  bool get_AlertFlag(SvIdType id, int dataType) const;

  bool is_EphemerisReady(int sys, int si, int dataType, WhichRecord which) const;
  // Ready, with a receiver time and the orbit-plausible mark, which the per-system orbit code
  // sets: until that code exists for a system its ephemerides are never valid.
  bool is_EphemerisValid(int sys, int si, int dataType, WhichRecord which) const;
  bool is_EphemerisHealthy(int sys, int si, int dataType, WhichRecord which) const;
  bool is_AlmanacReady(int sys, int sat);
  // Ready, usable (its orbit is one of the system's) and the satellite in use in the setup: an
  // almanac that gives positions and visibility.
  bool is_AlmanacValid(int sys, int sat);

  // The primary data type among those in use (`typeInUse`, 255 all): the first whose newest
  // record is valid and healthy, else the first valid one; 255 none.
  static int choose_PrimaryDataType(int typesNum, std::uint8_t typeInUse, const bool valid[],
                                    const bool healthy[]);
  // Ephemeris and almanac of one satellite, each propagated with its own velocity to `nowMs`:
  // true when they disagree by more than 100 km or 100 m/s in a component.
  static bool is_EphemerisWrongByAlmanac(const SatPosState& eph, const SatPosState& alm, double nowMs);
  // Whether a disagreeing ephemeris of that system and data type is dropped with its satellite
  // reset; one of another kind stays, unchecked.
  static bool is_ResetByAlmanacCheck(int sys, int dataType);

  // Cycle (week) number of the toe, from the week of transmission.
  static std::uint16_t get_ToeCycleNum(int sys, std::int32_t toe, std::int32_t tow, int week);

  // update_SetupData: the setup of this epoch.
  void set_Setup(const SatDataSetup& s);
  // The inverse-coordinate debug switch of Earth-fixed axis 0..2 (X, Y, Z), as the last setup set
  // it: a satellite position computed from the store has that coordinate negated. Any task.
  bool bDebugInverseCoordinate(int axis) const {
    return axis >= 0 && axis < 3 && ((debugInverse_.load(std::memory_order_relaxed) >> axis) & 1u) != 0;
  }

  // ---- Visibility and almanac positions (sat_visibility_update.cpp) ----
  // Below the horizon: never for a tracked satellite nor without a usable receiver position;
  // else when its ephemeris or almanac visibility of the 30 s before `nowMs` put it below -3 deg.
  bool is_SatUnderground(SvIdType id, double nowMs) const;

 private:
  struct EphSlot {
    ExtEphRecord* rec[2] = {nullptr, nullptr};
    int pool = -1;
    std::int8_t newest = 0, previous = 1, last = 0;
    bool valid = false;
    std::uint8_t dataType = 0;
    std::uint16_t span = kGpsEphValiditySpan;
    std::uint16_t counter = 0;
    std::uint16_t lastIod = kNoIod;
    std::uint32_t lastCrc = 0xFFFFFFFFu;
    std::uint8_t alert = 0;
  };
  struct AlmSlot {
    alignas(8) std::uint8_t rec[kMaxAlmRecordSize] = {};
    bool valid = false, usable = false, healthy = false, storeInImage = false;
    std::uint16_t counter = 0;
    std::uint16_t cycle = 0;
    double refTime = 0;
    std::uint32_t span = 7 * 86400;
    SvIdType id;
  };
  struct UtcSlot {
    alignas(8) std::uint8_t rec[kMaxUtcRecordSize] = {};
    bool valid = false;
    std::uint16_t counter = 0;
  };
  struct PoolElem {
    ExtEphRecord r[2];
    int owner = -1;  // ephemeris slot, -1 free
    std::uint64_t stamp = 0;
  };

  static int ephSlotOf(int sys, int si, int dataType);  // ends the process out of range
  static void checkSi(int sys, int si);
  static void checkSat(int sys, int sat);
  static bool sourceAllows(std::uint8_t source, bool external);
  static std::uint32_t contentCrc(const void* rec, int size);
  static void bump(std::uint16_t& c) { c = c >= 30000 ? 1 : static_cast<std::uint16_t>(c + 1); }

  void linkIdentity(int sys, int si, int sat);
  void keepGloType(int table, int slot, int type);
  bool takePoolElement(int sys, int slot);
  void clearEphSlot(int slot);
  void dropEphSlot(int slot);  // clears the slot and gives its pool element back
  int storeEphemeris(int sys, int si, int dataType, const void* rec, std::uint32_t crc,
                     bool replace, bool noWeek, bool restored);
  const ExtEphRecord* chosen(const EphSlot& s, WhichRecord which) const;
  // The record's health as the setup reads it: broadcast healthy and, with accuracy screening
  // on, an accuracy index below 8 (SBAS: below 15).
  bool healthyAsScreened(int sys, int dataType, const ExtEphRecord& r) const;
  void clearPolyComputed(int sys);
  bool restoreEphemeris(int sys, int si, int dataType);
  void updateSatellite(int sys, int si, const SatDataEpoch& epoch, SatDataEpochResult* result);
  void check_EphemerisByAlmanacData(int sys, int si, const SatDataEpoch& epoch, SatDataEpochResult* result);
  void updateAlmanacSlot(int sys, int sat, const SatDataEpoch& epoch);
  // The satellite's generation as a usable almanac of `sys` tells it; hands the system's mask on
  // when it changed.
  void notePhase3(int sys, int sat, const void* rec);
  // Orbit products of one satellite (sat_data_polynom.cpp).
  bool update_SatellitePolynom(int sys, int si, int dataType, int recIdx);
  bool update_SatelliteTgdData(int sys, int si, int dataType);
  // The signal-health record of a valid data type: reset to "none" (no decoder reports the
  // health of single signals yet).
  bool update_SignalHealthData(int sys, int si, int dataType);
  bool fill_SatPolynomSet(int sys, int si);
  bool publish_SatPolynomSet(int sys, int si);
  // The working set empty: no entry, no group delay, no health.
  void clear_PolynomSet();
  void clear_EphemerisDependentData(int sys, int si);
  bool update_SatPositionByPolynom(int sys, int si, double nowMs, SatPosState& out);
  // Visibility and almanac positions (sat_visibility_update.cpp).
  double almanacAge(int sys, int sat) const;  // s since toa, folded as the readiness test does
  // The almanac slot of a tracking index: the linked one, else (but for GLONASS, whose slots
  // differ from its frequency numbers) the same index; 255 none.
  int almSlotOf(int sys, int si) const;
  bool update_SatellitePolynomDataByAlmanac(int sys, int si, double nowMs);
  bool update_SatPositionByAlmanac(int sys, int sat, double nowMs);
  void update_EphemerisVisibilityData(int sys, int si, double nowMs);
  void update_AlmanacVisibilityData(int sys, int sat, double nowMs);
  void clear_AlmanacDependentData(int sys, int sat);
  bool visibilityFor(SvIdType id, int sys, const SatPosState& pos, double nowMs, SatData::SatVisibilityType& v) const;

  EphSlot eph_[SYS_EPH_TOTAL];
  static constexpr int kPoolTotal = 56 + 19 + 30 + 12 + 21 + 123 + 14;
  PoolElem pool_[kPoolTotal];
  std::uint64_t poolClock_ = 0;
  AlmSlot alm_[SYS_SAT_TOTAL];
  SvIdType ephId_[SYS_SI_TOTAL];
  std::uint8_t asFlag_[32] = {};
  UtcSlot utc_[SYS_NUM];
  std::uint16_t ephCounter_[SYS_NUM] = {};
  std::uint16_t almCounter_[SYS_NUM] = {};
  std::uint64_t phase3_[SYS_NUM] = {};  // GPS, QZSS and BeiDou: satellites of the modern generation
  struct TimeHint {
    bool valid = false;
    std::int32_t cycle = 0, ms = 0;
  };
  TimeHint hint_[SYS_NUM];  // under ephMutex_
  SatDataSetup setup_;
  std::atomic<std::uint8_t> debugInverse_{0};  // setup_.debugInverse, for readers in other tasks
  SatDataTime time_;
  bool positionFresh_ = false;
  bool start_ = true;
  bool gloRestoreSuppressed_ = false;
  bool gloTypesRestored_ = false;
  CorrData::GloMflagsType gloTypes_ = [] {
    CorrData::GloMflagsType t;
    for (auto& table : t.type)
      for (auto& v : table) v = 255;
    return t;
  }();
  std::uint8_t primary_[SYS_SI_TOTAL];
  double lockSec_[SYS_SI_TOTAL];
  bool tracked_[SYS_SI_TOTAL] = {};
  SatPosState ephPos_[SYS_SI_TOTAL];
  SatPosState almPos_[SYS_SAT_TOTAL];
  // The receiver position of this step and whether it is usable; the last computed elevation
  // of each satellite, published or not, with its time (ms; negative: none).
  RcvPositionType rcv_{};
  bool rcvUsable_ = false;
  struct LastElev {
    float elev = 0;
    double timeMs = -1;
  };
  LastElev ephElev_[SYS_SI_TOTAL];
  LastElev almElev_[SYS_SAT_TOTAL];
  PosData::SatdataDeltaTimeType deltaTime_;
  // CNAV differential corrections: GPS by SAT, QZSS at SAT + 32, NavIC at SAT + 39.
  static constexpr int kCnavDcRecords = 53;
  NavData::GpsCnavDCDataType cnavDc_[kCnavDcRecords] = {};
  // The polynomial set of the satellite the step is at: taken from what it published last, built
  // anew and published whole again, so that readers and the step share one copy of each set.
  SatData::PolynomSetType polySet_;
  Mutex ephMutex_, almMutex_, utcMutex_;
  ExtendedGLOEphemerisServerType gloExt_;
};

extern SatelliteDataProcessor SatDataProcessorInstance;

// What the store hands to the layers above.
struct SatDataLinks {
  // The GLONASS signal-type registry: the type of an orbital slot (1..30).
  Hook<void(int slot, int type)> setGloSatType{"navigation_data", "satDataLinks.setGloSatType"};
  // The GPS signal-type registry: the signal generation of a PRN from its almanac.
  Hook<void(int prn, int type)> setGpsSatType{"navigation_data", "satDataLinks.setGpsSatType"};
  // The receiver's reference frame: a polynomial of the system, built in WGS 84, into the
  // system's datum of the setup.
  Hook<void(int sys, SatData::PolynomEntryType& entry)> polynomToRcvFrame{"navigation_data",
                                                                         "satDataLinks.polynomToRcvFrame"};
  // The same for a satellite position and velocity (from an almanac).
  Hook<void(int sys, double* pos, float* vel)> positionToRcvFrame{"navigation_data",
                                                                  "satDataLinks.positionToRcvFrame"};
  // The lock manager's satellites of the modernised generations, each system's whole mask (bit
  // n-1 for satellite n) whenever an almanac changes it: GPS III, QZSS, BeiDou-3.
  Hook<void(std::uint64_t mask)> gpsPhase3Update{"navigation_data", "satDataLinks.gpsPhase3Update"};
  Hook<void(std::uint64_t mask)> qzsPhase3Update{"navigation_data", "satDataLinks.qzsPhase3Update"};
  Hook<void(std::uint64_t mask)> beiPhase3Update{"navigation_data", "satDataLinks.beiPhase3Update"};
  // The NeQuick ionosphere model: the coefficients of each usable Galileo ephemeris.
  Hook<void(const GalNeQuickParams& p)> galNeQuick{"navigation_data", "satDataLinks.galNeQuick"};
};
extern SatDataLinks satDataLinks;
