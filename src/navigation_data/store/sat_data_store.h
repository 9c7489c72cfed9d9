// The satellite data store: broadcast ephemerides, almanacs and UTC parameters of all systems,
// with their change counters and readiness.
//
// It lives in the navigation-data layer so that the decoders of this layer can write to it
// directly; what it needs from the positioning layer above (the setup, the receiver time, the
// position's freshness) is handed down by that layer's once-a-second call, never fetched.
#pragma once

#include <cstdint>

#include "navigation_data/store/nav_records.h"
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

// What the store takes from the positioning layer's setups.
struct SatDataSetup {
  std::uint8_t ephSource = 3;  // 0 none, 1 own decoders, 2 external, else both
  std::uint8_t almSource = 3;
  std::uint8_t typeInUse[SYS_NUM] = {255, 255, 255, 255, 255, 255, 255};
  // Non-zero: an empty slot takes a first unconfirmed ephemeris only without a fresh position.
  std::uint8_t firstEphNeedsNoPos = 0;
  std::uint16_t almAgeDays = 7;
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
  SatDataSetup setup;
  SatDataTime time;
  bool positionFresh = false;  // a usable position younger than 60 s
  // Ephemeris reset requests drained from their server, by global tracking index: non-zero
  // drops every data type of that satellite.
  std::uint8_t ephReset[SYS_SI_TOTAL] = {};
  // Requests to drop every stored ephemeris / almanac; served once.
  bool clearAllEph = false;
  bool clearAllAlm = false;
};

// One stored ephemeris with the store's own state around the native record.
struct ExtEphRecord {
  bool valid = false;
  bool plausible = false;
  bool healthy = false;
  bool fromBroadcast = false;
  bool polyComputed = false;
  bool weekKnown = false;
  std::uint16_t iod = kNoIod;
  std::uint16_t cycle = 0;
  std::int32_t refTime = 0;
  alignas(8) std::uint8_t native[kMaxEphRecordSize] = {};
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

  // Once a second, from the positioning layer's background task.
  void update(const SatDataEpoch& epoch);

  int get_UsedNavigationData(int sys) const;
  std::uint16_t get_EphUpdateCounter(int sys) const;
  std::uint16_t get_EphUpdateCounter(int sys, int si, int dataType) const;
  std::uint16_t get_AlmUpdateCounter(int sys) const;
  std::uint16_t get_AlmUpdateCounter(int sys, int sat) const;
  std::uint16_t get_UtcUpdateCounter(int sys) const;
  const ExtEphRecord* get_EphLastData(int sys, int si, int dataType);
  const void* get_AlmLastData(int sys, int sat);
  const void* get_UtcLastData(int sys) const;

  // Identities: the tracking index linked to an almanac slot (255 none or out of range); the
  // identity of a tracking index with its almanac slot (255 until an ephemeris links them);
  // the identity kept for an almanac slot.
  int get_SvIdx(int sys, int sat) const;
  SvIdType get_EphSvId(int sys, int si) const;
  SvIdType get_AlmSvId(SvIdType id) const;

  // Per-satellite flags from the decoders; out-of-range identities are ignored (and read 0).
  void set_ASFlag(int gpsIdx, bool on);
  void set_AlertFlag(SvIdType id, int dataType, bool on);
  bool get_AlertFlag(SvIdType id, int dataType) const;

  bool is_EphemerisReady(int sys, int si, int dataType, WhichRecord which) const;
  // Orbit plausibility belongs to the per-system orbit code: not available until it exists
  // for the system.
  bool is_EphemerisValid(int sys, int si, int dataType, WhichRecord which) const;
  bool is_AlmanacReady(int sys, int sat);

  // Cycle (week) number of the toe, from the week of transmission.
  static std::uint16_t get_ToeCycleNum(int sys, std::int32_t toe, std::int32_t tow, int week);

  void set_Setup(const SatDataSetup& s);

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
    // The block kept for the next start.
    alignas(8) std::uint8_t kept[kMaxUtcRecordSize] = {};
    bool keptValid = false;
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
  bool takePoolElement(int sys, int slot);
  void clearEphSlot(int slot);
  void dropEphSlot(int slot);  // clears the slot and gives its pool element back
  int storeEphemeris(int sys, int si, int dataType, const void* rec, std::uint32_t crc,
                     bool replace, bool noWeek);
  const ExtEphRecord* chosen(const EphSlot& s, WhichRecord which) const;

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
  SatDataSetup setup_;
  SatDataTime time_;
  bool positionFresh_ = false;
  bool start_ = true;
  Mutex ephMutex_, almMutex_, utcMutex_;
};

extern SatelliteDataProcessor SatDataProcessorInstance;
