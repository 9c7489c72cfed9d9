#include "navigation_data/orbits/beidou_eph.h"

#include <cmath>
#include <cstring>

#include "navigation_data/orbits/gps_orbit.h"
#include "navigation_data/sv_id.h"

namespace {

// URA by index (m), BDS-SIS-ICD-B1I 5.2.4.5.
constexpr double kBeidouUra[15] = {2.0,   2.8,   4.0,   5.7,    8.0,    11.3,   16.0,  32.0,
                                   64.0,  128.0, 256.0, 512.0,  1024.0, 2048.0, 4096.0};
constexpr int kUraNoPrediction = 15;
constexpr double kWeekSec = 604800.0;
constexpr double kRolloverSec = 1024 * kWeekSec;  // 619 315 200 s

bool orbitSize(double sqrtA) {
  return std::fabs(sqrtA - kBeidouSqrtAHigh) <= kBeidouSqrtATol || std::fabs(sqrtA - kBeidouSqrtAMeo) <= kBeidouSqrtATol;
}

void setDelay(float delay[6], std::uint8_t source[6], int field, float value) {
  delay[field] = value;
  source[field] = 2;
}

}  // namespace

double get_BeidouEphemerisAccuracy(int uraIndex) {
  if (uraIndex > kUraNoPrediction) return 0.0;
  if (uraIndex == kUraNoPrediction || uraIndex < 0) return kUraNoAccuracy;
  return kBeidouUra[uraIndex];
}

bool is_BeidouEphemerisPlausible(const ZRT_EPH_CMP& e) {
  if (!orbitSize(e.sqrtA)) return false;
  if (!(std::fabs(e.i0) <= kBeidouGeoInclination) && !(std::fabs(e.i0 - kBeidouInclination) <= kBeidouInclinationTol))
    return false;
  return true;
}

bool is_BeidouEphemerisHealthy(const ZRT_EPH_CMP& e) { return e.health == 0; }

void to_GpsLayoutEphemeris(const ZRT_EPH_CMP& e, ZRT_EPH_GPS& o) {
  std::memset(&o, 0, sizeof o);
  o.prn = e.prn;
  o.tow = e.tow;
  o.flags = e.flags;
  o.iodc = e.iodc;
  o.toc = e.toc;
  o.week = e.week;
  o.ura = static_cast<std::int8_t>(e.urai > 127 ? 127 : e.urai);
  o.health = e.health;
  o.tgd = e.tgd1;
  o.iode = e.iode;
  o.Adot = e.Adot;
  o.deltaNdot = e.deltaNdot;
  o.source = e.signals;
  copy_KeplerTerms(e, o);
}

void to_GpsLayoutAlmanac(const ZRT_ALM_CMP& a, ZRT_ALM_GPS& o) {
  std::memset(&o, 0, sizeof o);
  o.prn = a.prn;
  o.toa = a.toa;
  o.week = a.week;
  o.health = a.health;
  o.af1 = a.af1;
  o.af0 = a.af0;
  o.sqrtA = a.sqrtA;
  o.e = a.e;
  o.M0 = a.M0;
  o.Omega0 = a.Omega0;
  o.omega = a.omega;
  o.deltaI = a.deltaI;
  o.OmegaDot = a.OmegaDot;
}

void update_BeidouTgd(const ZRT_EPH_CMP& e, int dataType, float delay[6], std::uint8_t source[6]) {
  if (dataType != 0) return;
  setDelay(delay, source, 0, e.tgd1);
  setDelay(delay, source, 1, e.tgd2);
}

bool is_BeidouAlmanacUsable(const ZRT_ALM_CMP& a) { return orbitSize(a.sqrtA); }

double get_BeidouAlmanacTimeDiff(const ZRT_ALM_CMP& incoming, const ZRT_ALM_CMP& stored) {
  const int wn = ((incoming.week % 1024) + 1024) % 1024;
  const int ws = ((stored.week % 1024) + 1024) % 1024;
  double dt = static_cast<double>(incoming.toa) - stored.toa + kWeekSec * (wn - ws);
  if (wn - ws > 512) dt -= kRolloverSec;
  if (wn - ws < -512) dt += kRolloverSec;
  return dt;
}

bool accept_BeidouAlmanac(const ZRT_ALM_CMP& incoming, const ZRT_ALM_CMP* stored) {
  return stored == nullptr || get_BeidouAlmanacTimeDiff(incoming, *stored) > 0;
}

bool compute_BeidouSatPosByAlmanac(const ZRT_ALM_CMP& a, double dt, double pos[3], float vel[3],
                                   double* clock, double* drift) {
  ZRT_ALM_GPS g;
  to_GpsLayoutAlmanac(a, g);
  return compute_SatPosByGPSAlmData(dt, kSysBeidou, g, pos, vel, clock, drift);
}
