// Position-engine value types kept in the data servers. Each type holds what is fixed so far;
// the components that write them add their remaining fields.
#pragma once

#include <cstdint>

#include "navigation_data/store/sat_delta_time.h"
#include "positioning/data_servers/board_epoch_types.h"
#include "positioning/gregorian_epoch.h"

struct ChanData;
struct EpochSatCommonDataType;
namespace NavTask {
struct NAV_SOL;
}

namespace PosData {

// Receiver time of an epoch in every system's time scale.
struct RcvTimeDataType {
  // One system's time: ms of its week (SBAS and GLONASS: of the day), its week (day) count and
  // two status bytes of the scale it derives from.
  struct SysTime {
    std::uint32_t ulMs;
    std::uint16_t uWeek;
    std::uint8_t uStatus[2];
  };
  std::uint32_t ulEpochTag;  // first tag word of the epoch record
  std::uint32_t ulTimeTag;   // receiver time tag of the epoch, ms: the pools' time base
  std::uint8_t bCalendarValid;
  GREGORIAN_EPOCH calendar;  // set only while valid
  SysTime gps, glo, gal, sbas, qzss, bds, irn;
};
static_assert(sizeof(RcvTimeDataType::SysTime) == 8);

// The receiver's position: Earth-centred X, Y, Z (m), latitude, longitude (rad), height (m).
struct PositionDataType {
  double dX;
  double dY;
  double dZ;
  double dLat;
  double dLon;
  double dHeight;
  std::uint8_t bValid;

  // True for a valid position near the Earth's surface: radius not above the equator plus
  // hMax, latitude and longitude in range, height within hMin..hMax.
  bool check_AvailableData(double hMin, double hMax) const;
};


// The receiver clock of an epoch: the offset to the reference system's time scale and the
// offsets of the other systems and of the reference system's other signals. The value of a
// pair (a, b) taken with its sign is the time of b minus the time of a.
struct ClockDataType {
  static constexpr int kSignals = 7;
  static constexpr std::uint8_t kNone = 255;

  struct DeltaType {
    double dDelta;  // in the unit of dOffset
    float fSigma;
    std::uint8_t bValid;
  };

  std::uint8_t uRefSignal;
  std::uint8_t uRefSystem;
  std::uint8_t uSignalSystem[kSignals];  // system of each signal, 255 none
  double dOffset;
  float fOffsetSigma;
  std::uint8_t bOffsetValid;
  double dDrift;
  float fDriftSigma;
  std::uint8_t bDriftValid;
  double dFilteredOffset;
  float fFilteredOffsetSigma[2];
  std::uint8_t bFilteredOffsetValid;
  double dFilteredDrift;
  float fFilteredDriftSigma;
  std::uint8_t bFilteredDriftValid;
  DeltaType systemDelta[kDtPairs];
  DeltaType signalDelta[kDtPairs];
  std::uint32_t ulTimeTag;          // receiver time tag (ms) of the offset and drift
  std::uint32_t ulFilteredTimeTag;  // of the filtered offset and drift

  bool get_FilteredOffset(double& value, float& sigma) const;
  bool get_FilteredDrift(double& value, float& sigma) const;
  // Offset to the time scale of `system`: the reference offset moved by the pair delta.
  bool get_FilteredTimeScaleOffset(int system, double& value, float& sigma) const;
  // Offset that applies to measurements of `signal`.
  bool get_FilteredSystemOffset(int signal, double& value, float& sigma) const;
  // Time of `system` minus GPS time.
  bool get_DeltaTime(int system, double& value, float& sigma) const;

 private:
  bool timeScale(int system, double& value, float& sigma) const;
  bool systemOffset(int signal, double& value, float& sigma) const;
};

// The receiver's velocity as the board's solution gives it in its two velocity blocks: the
// first Earth-centred (X, Y, Z), the second local (east, north, up), m/s. The troposphere rate
// term is scaled by the third component of the second, the rate the height changes at.
struct VelocityDataType {
  std::uint8_t bValid;  // the first block's first flag
  double dFirstVector[3];
  double dSecondVector[3];
};

// Position of the Sun or the Moon: inertial (mean equator and equinox of date) and Earth-fixed.
struct CelestialPositionDataType {
  double dInertial[3];    // m
  double dEarthFixed[3];  // m
  GREGORIAN_EPOCH epoch;  // the epoch it was computed for (UTC)
  std::uint8_t bValid;
};

// Fundamental arguments of the Moon's and the Sun's motion at an epoch (rad): the Delaunay
// arguments and the Moon's mean longitude.
struct AstroArgumentsType {
  double l;        // mean anomaly of the Moon
  double lp;       // mean anomaly of the Sun
  double F;        // Moon's mean longitude minus that of its node
  double D;        // mean elongation of the Moon from the Sun
  double Om;       // longitude of the Moon's ascending node
  double moonLon;  // mean longitude of the Moon
};


}  // namespace PosData

// The epoch record written by the raw record decoder and read in the same epoch by the
// navigation step.
struct PVTEngineEpochDataType {
  PosData::RcvTimeDataType rcvTime;
  double dEpochInterval;  // s
  ChanData* pChanData;
  NavTask::NAV_SOL* pNavSol;
  PosData::RcvTimeDataType rcvTime2;
  EpochSatCommonDataType* pEpochSatData;  // per-satellite part of the epoch
  BoardEpochPart board;                   // as the GNSS board delivered it
};
