// RTCM 3 observations: the legacy RTK messages 1001-1004 (GPS) and 1009-1012 (GLONASS) and the
// multiple signal messages MSM1-7 of the seven systems (1071-1137), read into one record that the
// decoder hands to its client. Also keeps, per system, what the last MSM carried.
#pragma once

#include <cstddef>
#include <cstdint>

#include "differential/nav_decoder.h"

constexpr int kRtc3ObsMaxSat = 20;
constexpr int kRtc3MsmSlots = 6;
constexpr int kRtc3MsmSystems = 7;

// Legacy satellite flags.
enum : std::uint8_t {
  kRtc3LegL1PCode = 1,
  kRtc3LegL2CodeShift = 1,  // bits 1-2: L2 code indicator
  kRtc3LegNoL2Range = 8,
  kRtc3LegNoL2Phase = 16,
  kRtc3LegNoL1Phase = 32,
};

// MSM signal flags.
enum : std::uint8_t {
  kRtc3MsmRangeValid = 1,
  kRtc3MsmPhaseValid = 2,
  kRtc3MsmCnr = 4,
  kRtc3MsmRate = 8,
  kRtc3MsmHalfCycle = 16,
};

struct RTC3_LEGACY_SAT {
  std::uint8_t sat;
  std::uint8_t channel;  // GLONASS frequency channel number + 7 as received; 0 for GPS
  std::uint8_t flags;
  std::uint8_t ambiguity;  // whole light milliseconds (extended messages)
  std::uint8_t pad[4];
  double pr1;       // m, modulo one light millisecond
  double phase1;    // L1 phaserange minus L1 pseudorange, m
  std::uint8_t cnr1;  // 0.25 dB-Hz
  std::uint8_t lock1;
  std::uint8_t pad2[6];
  double pr2;     // L2 minus L1 pseudorange, m
  double phase2;  // L2 phaserange minus L1 pseudorange, m
  std::uint8_t cnr2;
  std::uint8_t lock2;
  std::uint8_t pad3[6];
};
static_assert(sizeof(RTC3_LEGACY_SAT) == 56);
static_assert(offsetof(RTC3_LEGACY_SAT, pr1) == 8 && offsetof(RTC3_LEGACY_SAT, cnr1) == 24 &&
              offsetof(RTC3_LEGACY_SAT, pr2) == 32 && offsetof(RTC3_LEGACY_SAT, cnr2) == 48);

struct RTC3_MSM_SIG {
  double pr;     // m, modulo one light millisecond
  double phase;  // m, modulo one light millisecond, the signal's alignment removed
  float rate;    // m/s
  std::uint8_t cnr;  // dB-Hz
  std::uint8_t pad;
  std::uint16_t lock;  // 4-bit (MSM2-5) or 10-bit (MSM6-7) indicator as received
  std::uint8_t flags;
  std::uint8_t pad2[7];
};
static_assert(sizeof(RTC3_MSM_SIG) == 32);
static_assert(offsetof(RTC3_MSM_SIG, rate) == 16 && offsetof(RTC3_MSM_SIG, cnr) == 20 &&
              offsetof(RTC3_MSM_SIG, lock) == 22 && offsetof(RTC3_MSM_SIG, flags) == 24);

struct RTC3_MSM_SAT {
  std::uint8_t sat;    // position in the satellite mask + 1
  std::uint8_t intMs;  // whole milliseconds of the rough range (MSM4-7)
  std::uint8_t pad[6];
  RTC3_MSM_SIG sig[kRtc3MsmSlots];
};
static_assert(sizeof(RTC3_MSM_SAT) == 200);

struct RTC3_OBS {
  std::uint32_t time;  // ms: time of week; GLONASS time of day; BeiDou time of week
  std::uint16_t stationId;
  std::uint8_t system;
  std::uint8_t numSat;
  // bit 0 synchronous / multiple message, 1 GLONASS, 2-4 smoothing interval, 5 smoothing
  // indicator, 6 extended legacy or MSM4-7, 7 L1-only legacy.
  std::uint16_t flags;
  std::uint8_t pad[6];
  union {
    RTC3_LEGACY_SAT legacy[kRtc3ObsMaxSat];
    RTC3_MSM_SAT msm[kRtc3ObsMaxSat];
  };
};
static_assert(sizeof(RTC3_OBS) == 16 + kRtc3ObsMaxSat * sizeof(RTC3_MSM_SAT));
static_assert(offsetof(RTC3_OBS, flags) == 8 && offsetof(RTC3_OBS, legacy) == 16);

// Reads a legacy message's body from `br`, positioned after its station ID and epoch time.
// False, with `obs` not to be delivered, when the message ran past its payload.
bool rtcm3_ReadLegacyObs(int msgNum, BitReader& br, RTC3_OBS& obs);

// Reads an MSM's body after its station ID and epoch time; `compatVendor` selects the BeiDou
// phase alignment of the sending base. False when the message ran past its payload or has more
// than 64 cells. Records the masks in the last-MSM tables only on success.
bool rtcm3_ReadMsmObs(int msgNum, BitReader& br, int compatVendor, RTC3_OBS& obs);

// What the last MSM of a system carried: type 1-7 (0 none), its whole 64-bit satellite mask (bit
// 63 satellite 1, bit 0 satellite 64) and its signal mask. False for a system outside 0-6.
bool getLastMsmInfo(int system, int& type, std::uint64_t& satMask, std::uint32_t& sigMask);
void clearLastMsmInfo();
