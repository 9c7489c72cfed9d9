// rtklib's troposphere functions as an independent oracle (Debian librtklib-dev ships the library
// without its header): the RTCA DO-229 model with the UNB3 table and Niell's mapping functions.
#pragma once

#include <ctime>

extern "C" {
struct gtime_t {
  std::time_t time;
  double sec;
};
gtime_t epoch2time(const double* ep);
// DO-229 slant delay (m) and variance (m^2); pos = latitude, longitude (rad), height (m); azel in
// rad. Caches the zenith delays by position only.
double sbstropcorr(gtime_t time, const double* pos, const double* azel, double* var);
// Niell hydrostatic mapping, wet mapping into *mapfw.
double tropmapf(gtime_t time, const double* pos, const double* azel, double* mapfw);
}

namespace rtklib_oracle {
// 00:00 of day `doy` (1..365) of 2021.
inline gtime_t dayStart(int doy) {
  const double ep[6] = {2021, 1, 1, 0, 0, 0};
  gtime_t t = epoch2time(ep);
  t.time += static_cast<std::time_t>(doy - 1) * 86400;
  return t;
}
}  // namespace rtklib_oracle
