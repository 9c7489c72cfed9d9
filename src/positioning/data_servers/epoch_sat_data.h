// The per-satellite part of an epoch: one satellite record per channel of the input being
// processed (the satellite's identity, orbit and clock at the epoch, its elevation and
// variance, its flag word) and the epoch's satellite list, the channels worth processing,
// highest satellite first. The measurement processor fills the records; the reference clock
// rebuilds the list and the base station reads both. Measurements themselves stay in the
// channel data (ChanData), channel k of the input belonging to record k.
#pragma once

#include <cstdint>

#include "navigation_data/sv_id.h"

struct ChanData;
struct ChanSigData;

struct EpochSatDataType {
  // Flag-word bits. A satellite with any of kNotUsable set takes no part in the clock solution
  // and the code corrections.
  static constexpr std::uint32_t kExcluded = 0x1;
  static constexpr std::uint32_t kRejected = 0x4;
  static constexpr std::uint32_t kNoOrbit = 0x8;         // no position and clock this epoch
  static constexpr std::uint32_t kNoCodeSignal = 0x800;  // no signal fit for code processing
  static constexpr std::uint32_t kNotListed = kExcluded | kRejected;
  static constexpr std::uint32_t kNotUsable = kNoCodeSignal | kNoOrbit | kRejected | kExcluded;  // 0x80D
  static constexpr std::int32_t kNoIssue = -1;
  static constexpr int kSignals = 6;

  SvIdType sv = EmptySvId;  // si and sat: indexes within the system; 255 none
  std::int32_t iIssue = kNoIssue;  // issue of data of the orbit in dPos, -1 none
  std::uint32_t ulFlags = 0;
  double dPos[3] = {};    // satellite position, Earth-fixed, m
  double dVel[3] = {};    // m/s
  double dClockBias = 0.0;   // s
  double dClockDrift = 0.0;  // s/s
  float fElevation = 0.0f;   // degrees
  float fAzimuth = 0.0f;     // degrees
  float fVariance = 0.0f;    // m^2
  std::uint8_t uExclude[kSignals] = {};   // the signal is excluded from processing
  std::uint16_t uQuality[kSignals] = {};  // quality word of each signal

  bool hasSlot() const { return sv.isValidSat(); }
  // Satellite number as the output formats count it (PRN; GLONASS orbital slot).
  int number() const { return SYS_SAT_MIN[sv.sys] + sv.sat; }
  // GLONASS frequency number, 0 for other systems.
  int gloFrequency() const { return sv.sys == kSysGlonass && sv.si != kSvUnknown ? sv.si - 7 : 0; }
};

struct EpochSatCommonDataType {
  static constexpr int kChannels = 91;
  EpochSatDataType sat[kChannels];
  std::uint8_t uListCount = 0;
  std::uint8_t uList[kChannels] = {};  // channel numbers, highest elevation first
  std::uint8_t uSystemUse[SYS_NUM] = {};  // the epoch's per-system use bytes
};

extern EpochSatCommonDataType EpochSatCommonData;

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
