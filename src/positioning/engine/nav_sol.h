// The navigation records of an epoch: its times in the GPS and GLONASS scales (NavEpoch) and the
// navigation solution the position engine writes and the outputs read (NavSol).
#pragma once

#include <cstddef>
#include <cstdint>

#include "positioning/rcv_time_scales.h"

namespace NavTask {

// The epoch's times as the time scales give them.
struct NAV_EPOCH {
  // Validity bits of the per-scale words.
  static constexpr std::uint32_t kTimeValid = 0x1;
  static constexpr std::uint32_t kUtcKnown = 0x2;

  std::int32_t rcvTime = 0;    // ms of the reference scale: GLONASS day or GPS week
  std::int32_t gpsMs = 0;      // ms of GPS week
  std::int32_t gloMs = 0;      // ms of GLONASS (Moscow) day
  std::int32_t gpsWeek = 0;    // weeks since 6 January 1980
  std::int32_t gloDay = 0;     // day within the four-year period, 0..1460
  std::uint32_t gpsValid = 0;  // kTimeValid, kUtcKnown
  std::uint32_t gloValid = 0;
  std::int32_t gpsGloMs = 0;   // GPS minus GLONASS time of day, ms, within +-12 h
  std::int32_t utcMs = -1;     // ms of the UTC day, -1 unknown
  std::int64_t utcSec = 0;     // UTC seconds since 1970, 0 unknown
  std::int32_t dateSource = -1;  // rank of the scale and level that gave the date, -1 none
  GREGORIAN_EPOCH date{};      // UTC calendar date of the epoch
  std::uint32_t timeTag = 0;   // receiver time, ms (low 32 bits): the epoch's tag for the engine
  std::int32_t gpsStatus = 0;  // the scales' own status words, as the board keeps them
  std::int32_t gloStatus = 0;
};

// The epoch record from the time scales of this epoch.
void fill_NavEpoch(const RcvTimeScales::INT_SCALES& s, NAV_EPOCH& e);

// Position record of a solution; stored whole in the settings as the last position, so its
// layout is fixed.
struct NAV_POS {
  double dXyz[3];         // Earth-centred X, Y, Z, m
  double dBlh[3];         // WGS-84 latitude, longitude (rad), height (m)
  double dVel[3];         // Earth-centred velocity, m/s
  double dVel2[3];        // the board's second velocity block, m/s
  std::uint32_t ulAcc[7]; // dilutions of precision G, P, N, E, H, V, T (IEEE single floats)
  std::uint32_t ulExtra[2];
  std::int32_t iSolType;
  std::uint8_t bValid;    // position valid
  std::uint8_t bNewPos;   // a position to hand on as a new initial position
  std::uint8_t bVelValid;
  std::uint8_t bAccValid;
  std::uint8_t bExtraValid;
  std::uint8_t uStatus;   // the solution's further status byte
  std::uint8_t uSysUsed;  // 1..7: the only system used (index + 1); 8: two or more
  std::uint8_t uNavMode;
  // Standard deviations north, east, horizontal, up, 3D (m) and the north-east covariance (m^2),
  // IEEE single floats; taken from what was spare in older images, where the flag reads 0.
  std::uint32_t ulSigma[6];
  std::uint8_t bSigmaValid;
  std::uint8_t uSpare[7];
};
static_assert(sizeof(NAV_POS) == 176);
static_assert(offsetof(NAV_POS, dBlh) == 24 && offsetof(NAV_POS, ulAcc) == 96);
static_assert(offsetof(NAV_POS, iSolType) == 132 && offsetof(NAV_POS, bValid) == 136);
static_assert(offsetof(NAV_POS, ulSigma) == 144 && offsetof(NAV_POS, bSigmaValid) == 168);

// What a solution's accuracy values mean, read in this one place by every user of them: the
// seven accuracy values are its dilutions of precision (unitless), the six sigma values the
// standard deviations of its position in metres. A value that is no finite number reads 0.
struct SolAccuracy {
  enum Dop { kGdop, kPdop, kNdop, kEdop, kHdop, kVdop, kTdop };
  enum Sigma { kSigN, kSigE, kSigH, kSigU, kSig3d };
  bool dopValid = false;
  float dop[7] = {};
  bool sigmaValid = false;
  float sigma[5] = {};  // m
  float covNE = 0;      // m^2
};
SolAccuracy solAccuracy(const NAV_POS& p);
// The position's standard deviations along the Earth-centred axes X, Y, Z (m), from its north,
// east and up ones and the north-east covariance at the position's latitude and longitude.
void solSigmaXyz(const SolAccuracy& a, double lat, double lon, double out[3]);

// The navigation solution of an epoch.
struct NAV_SOL {
  // Status values set by the chain.
  static constexpr std::int32_t kGood = 0;
  static constexpr std::int32_t kNotComputed = 3;
  static constexpr std::int32_t kNotForOutput = 8;
  static constexpr int kMaxSats = 91;

  NAV_EPOCH epoch{};  // a copy of NavEpoch, taken at the start of the step
  NAV_POS pos{};
  std::int32_t status = kNotComputed;
  std::int32_t solType = 0;  // solution type as the position LED shows it

  // Receiver clock of the solution.
  std::uint8_t bClockValid = 0;
  std::uint8_t bDriftValid = 0;
  std::uint8_t bClockFromRef = 0;  // the clock block's source is the reference system
  double dClock = 0;    // s
  double dClock2 = 0;   // the second clock field (equal to dClock unless a single clock is kept)
  double dClockB = 0;   // the clock block's second value
  double dDrift = 0;
  double dDrift2 = 0;

  // Satellites used (channel numbers with one value each) and excluded (numbers by system:
  // GPS PRN, GLONASS slot + 193, Galileo + 300, SBAS + 400, QZSS + 500, BeiDou + 600,
  // NavIC + 700).
  std::uint8_t uNumUsed = 0;
  std::uint8_t uUsedChan[kMaxSats] = {};
  float fUsedValue[kMaxSats] = {};
  std::uint8_t uNumExcluded = 0;
  std::uint16_t uExcluded[kMaxSats] = {};
};

}  // namespace NavTask
