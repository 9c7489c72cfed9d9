#pragma once
// The receiver's three signal numberings side by side: the six signal slots of a tracking
// channel, RINEX observation codes and RTCM 3 MSM signal identifiers, one table per system
// (0 GPS, 1 GLONASS, 2 Galileo, 3 SBAS, 4 QZSS, 5 BeiDou, 6 NavIC), with the index tables
// that make the coder's and decoder's look-ups direct.

#include <cstdint>

#include "platform/hook.h"

constexpr int kSignalSystems = 7;
constexpr int kChanSlots = 6;
constexpr int kMsmSignalIds = 32;
constexpr int kBaseSlots = 16;
constexpr std::uint8_t kNoRow = 255;
constexpr std::int16_t kNoSlot = 255;

struct SysRinexSignalType {
  char name[5];             // receiver's short signal name; empty for a band row
  char code[6];             // RINEX observation code; for a band row the band code
  std::uint8_t msmId;       // RTCM 3 MSM signal id 1..32, 0 = none
  std::uint8_t baseSlot;    // signal number in the RTK base data 1..7, 0 = none
  std::uint8_t spare0;
  std::int16_t chanSlot;    // tracking channel signal slot 0..5, 255 = none
  std::int16_t bandSlot;    // channel slot of the band the signal belongs to, 255 = none
  std::uint8_t spare1[2];
  float phaseOffset;        // carrier-phase alignment, cycles
  std::uint32_t frequency;  // carrier frequency, Hz
};
static_assert(sizeof(SysRinexSignalType) == 28);

extern const SysRinexSignalType* const SysRinexSignal[kSignalSystems];
extern const int SysRinexSignalNum[kSignalSystems];

// Index tables (row numbers into SysRinexSignal[system]).
// MsmSignalDataIndex[s][id - 1]: first row with that MSM id, 255 when none.
extern std::uint8_t (&MsmSignalDataIndex)[kSignalSystems][kMsmSignalIds];
// Rtcm24SlotIndex[s][slot]: base slot of the first row of that channel slot, 0 when none.
extern std::uint8_t (&Rtcm24SlotIndex)[kSignalSystems][kChanSlots];
// Rtcm24SignalIndex[s][base]: channel slot of the first row of that base slot, 255 when none.
extern std::uint8_t (&Rtcm24SignalIndex)[kSignalSystems][kBaseSlots];
// SlotSignalDataIndex[s][slot][0/1]: first and second row of that channel slot, 255 when none.
extern std::uint8_t (&SlotSignalDataIndex)[kSignalSystems][kChanSlots][2];

// Builds the index tables. They are also complete before any code runs, so calling this
// again is harmless.
void signalDataInitOnce();

// Channel-data order of a system (GPS, GLONASS, SBAS, Galileo, BeiDou, QZSS, NavIC); -1 for
// any number outside 0..6.
int sysNav2Cdat(int system);

// MSM id of a channel slot of a satellite (BeiDou-3 aware); 0 when none.
int getMsmSignalIdx(int slot, int satellite, int system);

// Channel slot of an MSM signal id (the band slot instead when the signal has no slot of its
// own and useBand is set; 255 for such a signal without useBand); -1 when the id or system is
// out of range or the id has no row. phaseOffset gets the signal's alignment in metres.
int getMsmSlotIdx(int msmId, int system, bool useBand, float& phaseOffset);

// BeiDou half-cycle shift in metres for the compatibility cases, else 0.
double getMsmCompatPhaseOffset(int slot, int satellite, int system, int kind);

// Non-zero when a BeiDou MSM cell must be skipped (only with the compatibility word 5).
int ignoreMsmCell(int slot, int satellite, int system);

// Tracking-slot mask of a navigation stream mask: low word the slots, high word the input.
std::uint64_t get_SlotMaskFromNavStreamMask(int system, std::uint8_t mask);

// Nominal carrier frequency (Hz) of channel slot `band` of a system; for GLONASS `slot` is the
// frequency number + 7. 1.0 when the signal does not exist.
double get_SvRatedFrequency(int band, int system, int slot);

// Diagnostic phase offset (cycles) added to one system's one MSM signal; system -1 = none.
extern int DebugPhaseOffsetSys;
extern int DebugPhaseOffsetSignal;
extern float DebugPhaseOffset;

// Links to the lock manager's BeiDou tests. Empty, no BeiDou-3 satellite is known and none is
// shifted or skipped; start-up points them at the lock manager.
struct SignalTableLinks {
  Hook<bool(int n)> isBeiPhase3{"positioning", "signalTableLinks.isBeiPhase3"};
  Hook<bool(int n)> isBeiDou37compat{"positioning", "signalTableLinks.isBeiDou37compat"};
  Hook<bool(int n, int s)> isBeiDouMSMcompat{"positioning", "signalTableLinks.isBeiDouMSMcompat"};
  Hook<bool(int n, int s)> ignoreCompat{"positioning", "signalTableLinks.ignoreCompat"};
};
extern SignalTableLinks signalTableLinks;
