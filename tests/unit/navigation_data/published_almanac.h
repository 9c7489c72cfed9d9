// A store's almanac position seen from outside: the almanac visibility record that a step with a
// usable receiver position publishes carries the satellite position its elevation came from.
#pragma once

#include <cmath>

#include "navigation_data/store/sat_data_store.h"
#include "navigation_data/store/sat_visibility.h"

namespace almpub {

inline void withReceiver(SatDataEpoch& ep, const double xyz[3]) {
  ep.positionFresh = true;
  const double p = std::hypot(xyz[0], xyz[1]);
  ep.rcvLlh[0] = std::atan2(xyz[2], p), ep.rcvLlh[1] = std::atan2(xyz[1], xyz[0]), ep.rcvLlh[2] = 0;
  for (int k = 0; k < 3; ++k) ep.rcvPos[k] = xyz[k];
}

// A receiver 6378137 m from the centre that sees `sat` at the geocentric elevation `elDeg`.
inline void receiverSeeing(const double sat[3], double elDeg, double out[3]) {
  constexpr double kPi = 3.141592653589793;
  const double r = 6378137.0, s = std::sqrt(sat[0] * sat[0] + sat[1] * sat[1] + sat[2] * sat[2]);
  const double u[3] = {sat[0] / s, sat[1] / s, sat[2] / s};
  // A unit vector perpendicular to u.
  double p[3] = {-u[1], u[0], 0};
  const double pn = std::hypot(p[0], p[1]);
  for (double& c : p) c /= pn;
  auto elev = [&](double g) {
    const double d = std::sqrt(s * s + r * r - 2 * s * r * std::cos(g));
    return std::asin((s * std::cos(g) - r) / d) * 180 / kPi;
  };
  double lo = 0, hi = kPi;  // elevation falls from 90 deg to -90 deg as the angle grows
  for (int i = 0; i < 200; ++i) {
    const double mid = (lo + hi) / 2;
    (elev(mid) > elDeg ? lo : hi) = mid;
  }
  const double g = (lo + hi) / 2;
  for (int k = 0; k < 3; ++k) out[k] = r * (std::cos(g) * u[k] + std::sin(g) * p[k]);
}

// One step of `s` at `ep` with a receiver that sees `near` (the satellite's position found by
// another road) at 45 degrees: the position of the record the step publishes for almanac slot
// `sat` of `sys`, or false when it publishes none. The step changes the store as any step with
// a receiver position does.
inline bool almanacPosition(SatelliteDataProcessor& s, SatDataEpoch ep, int sys, int sat, const double near[3],
                            SatPosState* out) {
  SvIdType id{};
  id.sys = static_cast<std::uint8_t>(sys);
  id.sat = static_cast<std::uint8_t>(sat);
  SatVisibilityStoreInstance.PutAlm(id, nullptr);
  double rcv[3];
  receiverSeeing(near, 45, rcv);
  withReceiver(ep, rcv);
  s.update(ep);
  SatData::SatVisibilityType v;
  if (!SatVisibilityStoreInstance.TakeAlm(id, &v) || v.valid == 0) return false;
  *out = SatPosState{};
  out->has = true;
  for (int k = 0; k < 3; ++k) {
    out->pos[k] = v.satPos[k];
    out->vel[k] = v.satVel[k];
  }
  out->timeMs = v.timeMs;
  return true;
}

}  // namespace almpub
