// How the reference station reads the per-satellite part of an epoch (the measurement
// processor's records, one per channel): the flag word it keeps in them, the satellite list it
// builds (channels of the input, highest satellite first), and which signals are fit for code
// processing. Measurements stay in the channel data (ChanData); channel k of the input being
// processed belongs to the record of the same channel.
#pragma once

#include <cstdint>

#include "positioning/engine/sat_meas_processor.h"

struct ChanData;
struct ChanSigData;

namespace EpochSatFlags {
// Flag-word bits (ChanSatDataType::ulFlags). A satellite with any of kNotUsable set takes no
// part in the clock solution and the code corrections.
constexpr std::uint32_t kExcluded = 0x1;
constexpr std::uint32_t kRejected = 0x4;
constexpr std::uint32_t kNoOrbit = 0x8;         // no position and clock this epoch
constexpr std::uint32_t kNoCodeSignal = 0x800;  // no signal fit for code processing
constexpr std::uint32_t kNotListed = kExcluded | kRejected;
constexpr std::uint32_t kNotUsable = kNoCodeSignal | kNoOrbit | kRejected | kExcluded;  // 0x80D
constexpr std::uint16_t kNoIssue = kPolyNoIod;  // issue of data not known this epoch
}  // namespace EpochSatFlags

// Signal flag bits the reference station reads (ChanSigData::flags).
namespace EpochSignal {
constexpr std::uint16_t kPhaseForBase = 0x100;   // carrier phase fit for the base data
constexpr std::uint16_t kNotForCode = 0x800;     // code not fit for processing
constexpr std::uint16_t kSpoofSuspect = 0x3000;  // the board suspects the signal is spoofed
}  // namespace EpochSignal

// Signals the board suspects of spoofing are used all the same (a positioning setting).
extern std::uint8_t spoofedInPos;

// A signal fit for code processing: measured this epoch, not marked unfit, with a level above
// 1 dB-Hz, and not suspected of spoofing unless spoofedInPos.
bool isUsableSignal(const ChanSigData* s);
// The first usable signal slot of a channel, -1 when none (or no channel).
int firstUsableSignal(const ChanData* ch);

// Index in the epoch's records (EpochSatCommonDataType::chan) of channel 0 of the input being
// processed; -1 when the epoch has no records or no channel data.
int epochChannelBase(const PVTEngineEpochDataType& e);

inline bool satHasSlot(const ChanSatDataType& s) { return s.sv.isValidSat(); }
// Satellite number as the output formats count it (PRN; GLONASS orbital slot).
inline int satNumber(const ChanSatDataType& s) { return SYS_SAT_MIN[s.sv.sys] + s.sv.sat; }
// GLONASS frequency number, 0 for other systems.
inline int satGloFrequency(const ChanSatDataType& s) {
  return s.sv.sys == kSysGlonass && s.sv.si != kSvUnknown ? s.sv.si - 7 : 0;
}
// Satellite clock offset, relativistic term included (s).
inline double satClockBias(const ChanSatDataType& s) { return s.dClock + s.dRel; }
// Its rate (s/s).
inline double satClockDrift(const ChanSatDataType& s) {
  return static_cast<double>(s.fDrift) + static_cast<double>(s.fRelDrift);
}
