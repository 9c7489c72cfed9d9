// Elevation (rad) of a satellite seen from a station, both ECEF (m): the tests' own way of
// picking satellites high enough to be worth a correction.
#pragma once

#include <cmath>

#include "differential/base/cpd_utils.h"

namespace difftest {

inline double elevation(const CpdCPos& station, const CpdCPos& sat) {
  const CpdGPos g = CpdUtilsInstance.xyz2geo(station);
  const double dx = sat.x - station.x, dy = sat.y - station.y, dz = sat.z - station.z;
  const double e = -std::sin(g.lon) * dx + std::cos(g.lon) * dy;
  const double n = -std::sin(g.lat) * std::cos(g.lon) * dx - std::sin(g.lat) * std::sin(g.lon) * dy + std::cos(g.lat) * dz;
  const double u = std::cos(g.lat) * std::cos(g.lon) * dx + std::cos(g.lat) * std::sin(g.lon) * dy + std::sin(g.lat) * dz;
  return std::atan2(u, std::hypot(e, n));
}

}  // namespace difftest
