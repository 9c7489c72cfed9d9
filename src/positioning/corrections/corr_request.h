// The correction request: the receiver time and position of the epoch and the satellites in view,
// highest first, with the geometry every correction stage and generator works from.
#pragma once

#include <cstdint>

#include "navigation_data/sv_id.h"
#include "positioning/data_servers/pos_data_types.h"

namespace CorrData {

// One requested satellite.
struct RequestSatDataType {
  double dLos[3];        // unit line of sight receiver to satellite, ECEF
  double dSatPos[3];     // m, ECEF: satellite position of the visibility record
  float fSatVel[3];      // m/s, ECEF
  float fRangeVar;       // m^2, elevation-based range variance of the visibility record
  float fElevation;      // deg
  float fAzimuth;        // deg
  float fIppLat;         // deg, ionospheric pierce point
  float fIppLon;         // deg, -180 <= lon < 180
  float fObliquity;      // slant over vertical at the pierce point
  SvIdType svId;
  std::uint16_t uIod;    // issue of data of the ephemeris in use
};

// At most this many satellites are requested, as many as one antenna input tracks.
constexpr int kMaxRequestSats = 91;

struct CorrectionRequestType {
  PosData::RcvTimeDataType rcvTime;
  PosData::PositionDataType position;
  std::uint16_t uCount;
  RequestSatDataType sat[kMaxRequestSats];
  std::uint16_t uGbasSelector;  // reference station data selector of the GBAS station used, 65535: none
};

}  // namespace CorrData
