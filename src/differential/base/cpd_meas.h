// The carrier-phase base-epoch model: one epoch of one station's code and carrier-phase
// observations (CpdMeas), as the base decoders fill it, the epoch buffers carry it and the RTK
// engine reads it. Plain data with small operations; the buffers lock.
//
// Satellites are keyed by a global id 1..195 (0 none) that packs every system one after the
// other; signals sit in the six slots the channel data uses (C/A, P1, P2, L2C, L5, L1C).
#pragma once

#include <cstdint>

namespace PosSetup {
struct SatProcessorSetupType;
}

// One satellite: its system, its number within the system (GLONASS: frequency channel) and the
// global id computed from both.
struct CpdSv {
  enum Sys : std::uint8_t {
    kGps = 0,
    kGlonass = 1,
    kGalileo = 2,
    kSbas = 3,
    kQzss = 4,
    kBeidou = 5,
    kNavic = 6,
    kNone = 255,
  };
  static constexpr int kSysNum = 7;
  static constexpr int kMaxId = 195;

  std::uint8_t sys = kNone;
  std::int16_t num = 0;
  std::uint8_t id = 0;

  // The global id of number `num` of system `sys`; 0 when either lies outside the id table (an
  // id of another system's range must never come out of a wrong number).
  static std::uint8_t idOf(int sys, int num);
  // The satellite with its id; id 0 when outside the table.
  static CpdSv make(int sys, int num);
  // The system and number of a global id 1..195; false for anything else.
  static bool fromId(int id, CpdSv& out);
};

// Navigation-side system number of a system: the identity on 0..6; out of range 255.
std::uint8_t sysCpd2Nav(int sys);
// Channel-data slots: the identity on 0..5; out of range 6 (none) / 255.
int slotCdat2Cpd(int slot);
int slotCpd2Cdat(int slot);
// Number of satellite `n` (1-based) of `sys` as the satellite-data store links it, plus the
// system's first number (GLONASS: the frequency channel); -100 when not known.
int cpdSvId(int sys, int n);

// One signal of one satellite.
struct CpdMeasSlot {
  static constexpr std::uint8_t kRange = 0x01;
  static constexpr std::uint8_t kPhase = 0x02;
  static constexpr std::uint8_t kDoppler = 0x04;
  static constexpr std::uint8_t kSnr = 0x08;

  double range = 0.0;   // m (RTCM 2 corrections: the range correction)
  double phase = 0.0;   // cycles of the slot's carrier (corrections: the phase correction)
  float doppler = 0.0f;  // Hz
  std::uint8_t snr = 0;
  std::uint8_t flags = 0;  // 0: the slot is empty
};

// One satellite of one epoch.
struct CpdSvMeas {
  enum SlotType : int { kCA = 0, kP1 = 1, kP2 = 2, kL2C = 3, kL5 = 4, kL1C = 5, kSlotNum = 6 };
  static constexpr std::uint16_t kIodUnknown = 65535;

  static constexpr float kElevUnknown = -90.0f;

  CpdMeasSlot slot[kSlotNum];
  CpdSv sv;
  std::uint16_t iod = kIodUnknown;
  // The satellite's elevation at the rover (degrees), which the base projection ranks its
  // reference satellites by; kElevUnknown in base epochs and where the rover has none.
  float elev = kElevUnknown;

  // No satellite, no signal (only the flags are cleared, the values stay).
  void clear();
};

// Milliseconds within the hour, 0..3,599,999; -1 no epoch.
class CpdEpochId {
 public:
  static constexpr std::int32_t kHourMs = 3600000;
  static constexpr std::int32_t kNone = -1;

  constexpr CpdEpochId() = default;
  constexpr CpdEpochId(std::int32_t v) : v_(v) {}  // NOLINT: ids and plain ms mix freely
  constexpr std::int32_t get() const { return v_; }
  constexpr bool isSet() const { return v_ >= 0; }
  bool operator==(const CpdEpochId&) const = default;

  // a - b folded into -1,800,000..+1,800,000 (two ids half an hour apart keep the sign of the
  // plain difference).
  friend std::int32_t operator-(CpdEpochId a, CpdEpochId b);
  // a + dt (ms, any sign and size) within the hour; none stays none.
  friend CpdEpochId operator+(CpdEpochId a, std::int64_t dt);

 private:
  std::int32_t v_ = kNone;
};

// The epoch time of each system in ms (-1 unknown) and a flag byte the model carries.
struct CpdMeasTimes {
  std::int32_t time[CpdSv::kSysNum] = {-1, -1, -1, -1, -1, -1, -1};
  std::uint8_t flag = 0;

  void reset();  // every time unknown; the flag stays
};

struct CpdCPos {
  double x = 0.0, y = 0.0, z = 0.0;  // ECEF, m
};

// A station position; `serial` changes with every set and reset so readers see a change.
struct CpdRefPos {
  double x = 0.0, y = 0.0, z = 0.0;
  std::uint32_t serial = 0;
  std::uint8_t valid = 0;    // 0 none, else the filling decoder's kind (1 or 2)
  std::uint8_t posType = 0;  // own-format position type; not copied into an epoch

  void set(const CpdCPos& p);
  void reset();
};

// L2-minus-L1 phase-centre offset vector (m) with its kind.
struct CpdAntOffs {
  enum Type : std::int32_t { kNone = 0 };
  float v[3] = {0.0f, 0.0f, 0.0f};
  std::int32_t type = kNone;

  void set(std::int32_t t, const float off[3]);
};

// One epoch of one station.
struct CpdMeas {
  static constexpr int kMaxSv = 44;
  enum Type : std::int32_t { kNoType = 0, kObservations = 1, kCorrections = 2 };

  std::int32_t n = 0;                           // satellites in sv
  std::uint8_t svIndex[CpdSv::kMaxId + 1] = {};  // by id - 1; valid only when < n and matching
  CpdSvMeas sv[kMaxSv];
  std::int32_t type = kNoType;
  std::uint8_t phaseAligned = 0;
  CpdEpochId id;                      // in the rover's reference time system
  std::int32_t rcvTime = -1;          // receiver ms within the hour when the id was set
  CpdMeasTimes times;
  CpdRefPos refPos;
  CpdRefPos virtRefPos;
  CpdAntOffs l2l1;
  std::int32_t stationId = -1;
  std::int32_t decoder = -1;  // the base decoder that filled it (CpdDecoderKind, kCpdOwnFormat); -1 unknown
  std::int32_t baseMsgInfo = 0;
  std::int32_t timeResidual[CpdSv::kSysNum] = {};  // us
  double sysTimeOffset[CpdSv::kSysNum] = {};       // s
  std::int32_t status = 0;

  CpdMeas();
  // A fresh epoch: no satellite, no id, positions reset; the satellites' slot values stay until
  // addSv takes them.
  void clear();
  // The satellite's entry, or end() when it is not in the epoch.
  CpdSvMeas* find(const CpdSv& s);
  const CpdSvMeas* find(const CpdSv& s) const;
  CpdSvMeas* end() { return sv + n; }
  const CpdSvMeas* end() const { return sv + n; }
  // The satellite's entry, added (cleared) when new; null when the epoch is full or the id is
  // not a satellite's.
  CpdSvMeas* addSv(const CpdSv& s);
  // Drops the entry when it is the last one added.
  bool reclaimSv(CpdSvMeas* e);
};

// Per global id (0..195) the reasons the RTK engine may not use a satellite.
struct CpdSvInfo {
  static constexpr std::uint16_t kSvMasked = 256;     // not in its system's satellite mask
  static constexpr std::uint16_t kGloChannel = 512;   // GLONASS channel not in the channel mask
  static constexpr std::uint16_t kSysDisabled = 1024;  // system not used for positioning

  std::uint16_t w[CpdSv::kMaxId + 1] = {};

  // Rebuilt from the position engine's satellite-processing setup; left as it was when there is
  // none.
  void reset();
  void reset(const PosSetup::SatProcessorSetupType& setup);
};

namespace Cpd {
// The RTK solution record the engine shell owns. Its constructor rebuilds the satellite
// exclusions from the position engine's setup; the static one is built before any setup is
// restored, so its words stay 0 (every satellite usable), and nothing here reads them.
struct Solution {
  double block9[9];
  double block6[6];
  CpdSvInfo svInfo;

  Solution();
};
}  // namespace Cpd
