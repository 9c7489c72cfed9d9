#include "navigation_data/orbits/gps_records.h"

#include <cmath>

bool is_GpsEphemerisPlausible(const ZRT_EPH_GPS& e, int dataType) {
  if (std::fabs(e.i0 - kGpsPlausibleInclination) > kGpsPlausibleInclinationTol) return false;
  if (!(std::fabs(e.sqrtA - kGpsPlausibleSqrtA) <= kGpsPlausibleSqrtATol)) return false;  // NaN too
  if (dataType == 0 && (e.health & kGpsHealthBadData)) return false;
  return true;
}

double get_GpsAlmanacTimeDiff(const ZRT_ALM_GPS& incoming, const ZRT_ALM_GPS& stored) {
  const int wn = ((incoming.week % 1024) + 1024) % 1024;
  const int ws = ((stored.week % 1024) + 1024) % 1024;
  int dw = wn - ws;
  if (dw > 512) dw -= 1024;
  if (dw < -512) dw += 1024;
  // In double: an almanac from outside may carry any 32-bit toa, whose difference overflows.
  return static_cast<double>(incoming.toa) - static_cast<double>(stored.toa) + 604800.0 * dw;
}

bool accept_GpsAlmanac(const ZRT_ALM_GPS& incoming, const ZRT_ALM_GPS* stored) {
  if (stored == nullptr) return true;
  if (incoming.rank > stored->rank) return false;
  if (incoming.rank < stored->rank) return true;
  return get_GpsAlmanacTimeDiff(incoming, *stored) >= 1.0;
}

bool is_GpsAlmanacUsable(const ZRT_ALM_GPS& a) {
  return a.marker != '?' && a.config >= 0 &&
         std::fabs(static_cast<double>(a.sqrtA) - kGpsPlausibleSqrtA) <= kGpsPlausibleSqrtATol;
}

double get_GpsUtcDifference(const ZRT_UTC_GPS& u, int week, double tow) {
  int dw = week - u.WNt;
  if (u.WNt < 256) {
    dw = ((dw % 256) + 256) % 256;
    if (dw >= 128) dw -= 256;
  }
  const double dt = 604800.0 * dw + tow - static_cast<double>(u.tot);
  return u.A0 + static_cast<double>(u.A1) * dt;
}
