// Position-engine value types kept in the data servers. Each type holds what is fixed so far;
// the components that write them add their remaining fields.
#pragma once

#include <cstdint>

#include "positioning/data_servers/board_epoch_types.h"

struct ChanData;
struct EpochSatCommonDataType;
namespace NavTask {
struct NAV_SOL;
}

namespace PosData {

// Receiver time of an epoch in every system's time scale.
struct RcvTimeDataType {
  std::uint32_t ulEpochTag;  // first tag word of the epoch record
  std::uint32_t ulTimeTag;   // receiver time tag of the epoch, ms: the pools' time base
};

// The receiver's position: Earth-centred X, Y, Z (m), latitude, longitude (rad), height (m).
struct PositionDataType {
  double dX;
  double dY;
  double dZ;
  double dLat;
  double dLon;
  double dHeight;
  std::uint8_t bValid;
};

struct VelocityDataType {
  std::uint8_t bValid;
};

struct CelestialPositionDataType {
  double dInertial[3];    // m
  double dEarthFixed[3];  // m
  std::uint8_t bValid;
};

struct SatdataDeltaTimeType {
  std::uint8_t bValid;
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
