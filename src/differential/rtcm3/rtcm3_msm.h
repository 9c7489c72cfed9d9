// The multiple signal messages (MSM1-7) of the RTCM 3 coder: which satellites and signals of the
// base's epoch one message type can carry, with every field already scaled and range-checked,
// so that the coder only lays the fields out. A satellite or signal that a field cannot hold is
// left out of the masks, never wrapped or marked invalid.
#pragma once

#include <cstdint>

#include "positioning/base/base_data.h"
#include "positioning/signal_tables.h"
#include "settings/rtcm_settings.h"

inline constexpr int kMsmMaxSats = 64;   // bits of the satellite mask
inline constexpr int kMsmMaxCells = 64;  // satellites x signals of one message

// One signal of one satellite, in the units of its fields.
struct MsmCell {
  std::uint8_t id;        // MSM signal id 1..32
  std::int32_t finePr;    // 2^-24 ms (MSM1-5) or 2^-29 ms (MSM6-7) from the rough range
  std::int32_t finePhase; // 2^-29 ms or 2^-31 ms
  std::int32_t fineRate;  // 0.0001 m/s from the rough rate (MSM5, MSM7)
  std::uint16_t lock;     // 4-bit (MSM1-5) or 10-bit (MSM6-7) indicator
  std::uint16_t cnr;      // 1 dB-Hz (MSM4-5) or 2^-4 dB-Hz (MSM6-7)
};

// One satellite a message type can carry: at least one cell, in ascending signal id.
struct MsmSat {
  std::uint8_t satId;     // 1..64: the number less the system's first number, plus 1
  std::uint8_t ext;       // extended satellite information (GLONASS frequency number + 7)
  std::uint8_t ncell;
  std::uint32_t sigMask;  // bit 31 for signal id 1
  std::int32_t rough;     // rough range, 2^-10 ms: whole ms in the bits above 10
  std::int32_t roughRate; // m/s
  MsmCell cell[6];
};

// Satellites of a system whose MSM the "ver" setting admits: "v3.3" (0) keeps GLONASS slots
// below 25 and no BeiDou-3 satellite; "exp" (1) keeps every one.
bool isMsmSupported(int number, int system, std::uint32_t ver);

// Lock time indicators from a lock time in ms: 4 bits for MSM1-5, 10 bits (extended range and
// resolution) for MSM6-7; a negative time is no lock (0), or 1023 in the 10-bit form.
int msmLockIndicator(std::int32_t ms);
int msmLockIndicatorExt(std::int32_t ms);

// The satellites of `system` that MSM `type` (1..7) can carry this epoch, in ascending
// satellite id, into `out`; their count. Considers the system's entries the RTCM 3 count admits,
// the signal slots the settings allow, and skips a satellite whose id falls outside 1..64 or
// repeats an earlier one.
int msmPlan(const NAVCOD_RTK_DATA& rtk, const RTC3_COD_SETTINGS& set, int type, int system,
            MsmSat out[kMsmMaxSats]);
