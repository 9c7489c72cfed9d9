// Satellite identity and its mapping to the flat per-satellite slots of the stores and servers.
//
// Two numberings exist side by side: the signal numbering (SI, what the channels track; GLONASS
// by frequency number) and the satellite numbering (SAT, what the almanac describes; GLONASS by
// orbital slot). For every other system both derive from the PRN.
#pragma once

#include <cstdint>

constexpr int SYS_NUM = 7;  // GPS, GLONASS, Galileo, SBAS, QZSS, BeiDou, NavIC

enum SvSystem : std::uint8_t {
  kSysGps = 0,
  kSysGlonass = 1,
  kSysGalileo = 2,
  kSysSbas = 3,
  kSysQzss = 4,
  kSysBeidou = 5,
  kSysNavic = 6,
};

constexpr int SYS_SI_NUM[SYS_NUM] = {32, 15, 36, 28, 7, 63, 14};
constexpr int SYS_SI_BASE_NUM[SYS_NUM] = {0, 32, 47, 83, 111, 118, 181};
constexpr int SYS_SI_MIN[SYS_NUM] = {1, -7, 1, 120, 193, 1, 1};
constexpr int SYS_SI_MAX[SYS_NUM] = {32, 7, 36, 147, 199, 63, 14};
constexpr int SYS_SAT_NUM[SYS_NUM] = {32, 30, 36, 28, 7, 63, 14};
constexpr int SYS_SAT_BASE_NUM[SYS_NUM] = {0, 32, 62, 98, 126, 133, 196};
constexpr int SYS_SAT_MIN[SYS_NUM] = {1, 1, 1, 120, 193, 1, 1};
constexpr int SYS_SAT_MAX[SYS_NUM] = {32, 30, 36, 147, 199, 63, 14};

// Length of each system's time cycle (week; day for GLONASS and SBAS), s.
constexpr int SYS_CYCLE_SEC[SYS_NUM] = {604800, 86400, 604800, 86400, 604800, 604800, 604800};

constexpr int SYS_SI_TOTAL = 195;   // signal-numbering slots of all systems
constexpr int SYS_SAT_TOTAL = 210;  // satellite-numbering slots of all systems

// An identity that fails the table check inside the stores is an internal fault: every
// entrance that carries outside data checks first and refuses. These are the exit statuses
// of the internal check (the process status keeps their low 8 bits).
constexpr int kExitBadSiIdentity = 999;
constexpr int kExitBadSatIdentity = 969;

constexpr std::uint8_t kSvUnknown = 255;

struct SvIdType {
  std::uint8_t si = kSvUnknown;      // index within the system, signal numbering
  std::uint8_t sys = kSvUnknown;     // SvSystem
  std::uint8_t aux = 0;              // free for the owner of the identity
  std::uint8_t sat = kSvUnknown;     // index within the system, satellite numbering

  bool isValidSi() const { return sys < SYS_NUM && si < SYS_SI_NUM[sys]; }
  bool isValidSat() const { return sys < SYS_NUM && sat < SYS_SAT_NUM[sys]; }

  // Flat slots for callers that validated the identity; a bad identity here is an internal
  // inconsistency and ends the process (kExitBadSiIdentity / kExitBadSatIdentity).
  int get_SiSlot() const;
  int get_SatSlot() const;

  // Checked forms for entrances: false (and `slot` untouched) when the identity is out of range.
  bool find_SiSlot(int& slot) const;
  bool find_SatSlot(int& slot) const;

  bool operator==(const SvIdType&) const = default;
};
static_assert(sizeof(SvIdType) == 4);

constexpr SvIdType EmptySvId{255, 255, 0, 255};

// Builds an identity from a system and its broadcast number (PRN; GLONASS frequency number in
// the signal numbering, orbital slot in the satellite numbering). False when out of range.
bool svIdFromSiNumber(int system, int number, SvIdType& out);
bool svIdFromSatNumber(int system, int number, SvIdType& out);

// The identity of a flat slot (the inverse of get_SiSlot / get_SatSlot); false out of range.
bool svIdFromSiSlot(int slot, SvIdType& out);
bool svIdFromSatSlot(int slot, SvIdType& out);
