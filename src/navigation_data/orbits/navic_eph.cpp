#include "navigation_data/orbits/navic_eph.h"

#include <cmath>
#include <cstring>

#include "navigation_data/orbits/gps_orbit.h"
#include "navigation_data/sv_id.h"

namespace {

constexpr double kNavicUra[15] = {2.0,  2.8,   4.0,   5.7,   8.0,    11.3,   16.0,  32.0,
                                  64.0, 128.0, 256.0, 512.0, 1024.0, 2048.0, 4096.0};
constexpr int kUraNoPrediction = 15;
constexpr double kWeekSec = 604800.0;
constexpr double kRolloverSec = 1024 * kWeekSec;

}  // namespace

double get_NavicEphemerisAccuracy(int uraIndex) {
  if (uraIndex > kUraNoPrediction) return 0.0;
  if (uraIndex == kUraNoPrediction || uraIndex < 0) return kUraNoAccuracy;
  return kNavicUra[uraIndex];
}

bool is_NavicEphemerisPlausible(const ZRT_EPH_IRS& e) {
  if (!(std::fabs(e.sqrtA - kNavicSqrtA) <= kNavicSqrtATol)) return false;
  if (!(std::fabs(e.i0) <= kNavicGeoInclination) && !(std::fabs(e.i0 - kNavicInclination) <= kNavicInclinationTol))
    return false;
  return true;
}

bool is_NavicEphemerisHealthy(const ZRT_EPH_IRS& e) {
  return (e.flags & kNavicFlagAlert) == 0 && (e.health & kNavicHealthL5) == 0;
}

void to_GpsLayoutEphemeris(const ZRT_EPH_IRS& e, ZRT_EPH_GPS& o) {
  std::memset(&o, 0, sizeof o);
  o.prn = e.prn;
  o.tow = e.tow;
  o.flags = e.flags;
  o.iodc = e.iodec;
  o.toc = e.toc;
  o.week = e.week;
  o.ura = static_cast<std::int8_t>(e.ura > 127 ? 127 : e.ura);
  o.health = e.health;
  o.tgd = e.tgd;
  o.iode = e.iodec2;
  o.source = e.signals;
  copy_KeplerTerms(e, o);
}

void to_GpsLayoutAlmanac(const ZRT_ALM_IRS& a, ZRT_ALM_GPS& o) {
  std::memset(&o, 0, sizeof o);
  o.prn = a.prn;
  o.toa = a.toa;
  o.week = a.week;
  o.af1 = a.af1;
  o.af0 = a.af0;
  o.sqrtA = a.sqrtA;
  o.e = a.e;
  o.M0 = a.M0;
  o.Omega0 = a.Omega0;
  o.omega = a.omega;
  o.deltaI = a.i0;  // NavIC's reference inclination is 0: the whole inclination
  o.OmegaDot = a.OmegaDot;
}

void update_NavicTgd(const ZRT_EPH_IRS& e, int dataType, float delay[6], std::uint8_t source[6]) {
  if (dataType != 0) return;
  delay[0] = static_cast<float>(e.tgd * kNavicGammaL5);
  source[0] = 2;
}

bool is_NavicAlmanacUsable(const ZRT_ALM_IRS& a) { return std::fabs(a.sqrtA - kNavicAlmSqrtA) <= kNavicSqrtATol; }

bool accept_NavicAlmanac(const ZRT_ALM_IRS& incoming, const ZRT_ALM_IRS* stored) {
  if (stored == nullptr) return true;
  const int wn = ((incoming.week % 1024) + 1024) % 1024;
  const int ws = ((stored->week % 1024) + 1024) % 1024;
  double dt = static_cast<double>(incoming.toa) - stored->toa + kWeekSec * (wn - ws);
  if (wn - ws > 512) dt -= kRolloverSec;
  if (wn - ws < -512) dt += kRolloverSec;
  return dt > 0;
}

bool compute_NavicSatPosByAlmanac(const ZRT_ALM_IRS& a, double dt, double pos[3], float vel[3],
                                  double* clock, double* drift) {
  ZRT_ALM_GPS g;
  to_GpsLayoutAlmanac(a, g);
  return compute_SatPosByGPSAlmData(dt, kSysNavic, g, pos, vel, clock, drift);
}

bool get_NavicGnssOffset(const ZRT_UTC_IRS& u, int week, double tow, double* offset) {
  if (u.gnssId == 255 || offset == nullptr) return false;
  int dw = week < 0 ? 0 : (week - u.gnssWeek) % 1024;
  if (dw > 512) dw -= 1024;
  if (dw < -512) dw += 1024;
  const double t = tow - u.gnssT0 + kWeekSec * dw;
  *offset = u.gnssA0 + u.gnssA1 * t + u.gnssA2 * t * t;
  return true;
}
