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

bool is_BeidouCnavEphemerisHealthy(const ZRT_EPH_CMP& e) {
  if ((e.signals & kBeidouSignalB1C) != 0 && (e.health & (kBeidouHealthB1CAif | kBeidouHealthB1CDif)) != 0) return false;
  if ((e.signals & kBeidouSignalB2a) != 0 && (e.health & (kBeidouHealthB2aAif | kBeidouHealthB2aDif)) != 0) return false;
  if ((e.signals & kBeidouSignalB2b) != 0 && (e.b2bIf & (kBeidouB2bAif | kBeidouB2bDif)) != 0) return false;
  return true;
}

bool update_CnavTgdIsc(const ZRT_EPH_CMP& st, ZRT_EPH_CMP& r) {
  struct Delay {
    std::uint16_t bit;
    float ZRT_EPH_CMP::*field;
  };
  static constexpr Delay kDelays[] = {{kBeidouCnavTgdB2ap, &ZRT_EPH_CMP::tgd2},     {kBeidouCnavIscB1Cd, &ZRT_EPH_CMP::iscB1Cd},
                                      {kBeidouCnavTgdB1Cp, &ZRT_EPH_CMP::tgd1},     {kBeidouCnavIscB2ad, &ZRT_EPH_CMP::iscB2ad},
                                      {kBeidouCnavB2bData, &ZRT_EPH_CMP::b2bDelay1}, {kBeidouCnavB2bPilot, &ZRT_EPH_CMP::b2bDelay2}};
  bool changed = false;
  for (const Delay& d : kDelays) {
    const bool mine = (r.flags & d.bit) != 0, kept = (st.flags & d.bit) != 0;
    if (mine) {
      changed = changed || !kept || r.*d.field != st.*d.field;
    } else if (kept) {
      r.*d.field = st.*d.field;
      r.flags = static_cast<std::uint16_t>(r.flags | d.bit);
    }
  }
  // Health flags by the signals whose messages carry them.
  struct Health {
    std::uint8_t bits;
    std::uint8_t sources;
  };
  static constexpr Health kHealth[] = {
      {kBeidouHealthB2aAif | kBeidouHealthB2aSif | kBeidouHealthB2aDif, kBeidouSignalB2a},
      {kBeidouHealthB1CAif | kBeidouHealthB1CSif | kBeidouHealthB1CDif, kBeidouSignalB1C | kBeidouSignalB2a}};
  for (const Health& h : kHealth) {
    const bool mine = (r.signals & h.sources) != 0, kept = (st.signals & h.sources) != 0;
    if (mine) {
      changed = changed || !kept || ((r.health ^ st.health) & h.bits) != 0;
    } else if (kept) {
      r.health = static_cast<std::uint8_t>((r.health & ~h.bits) | (st.health & h.bits));
    }
  }
  changed = changed || ((r.health ^ st.health) & kBeidouHealthHs) != 0;
  if ((r.signals & kBeidouSignalB2b) != 0) {
    changed = changed || (st.signals & kBeidouSignalB2b) == 0 || r.b2bIf != st.b2bIf;
  } else if ((st.signals & kBeidouSignalB2b) != 0) {
    r.b2bIf = st.b2bIf;
  }
  constexpr std::uint8_t kCnavSignals = kBeidouSignalB1C | kBeidouSignalB2a | kBeidouSignalB2b;
  r.signals = static_cast<std::uint8_t>(r.signals | (st.signals & kCnavSignals));
  return changed;
}

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
  if (dataType == 0) {
    setDelay(delay, source, 0, e.tgd1);
    setDelay(delay, source, 1, e.tgd2);
    return;
  }
  if (dataType != 1) return;
  auto has = [&e](std::uint16_t bit) { return (e.flags & bit) != 0; };
  if (has(kBeidouCnavTgdB1Cp))
    setDelay(delay, source, kBeidouTgdFieldB1C, e.tgd1 + (has(kBeidouCnavIscB1Cd) ? e.iscB1Cd * 0.5f : 0.0f));
  if (has(kBeidouCnavTgdB2ap))
    setDelay(delay, source, kBeidouTgdFieldB2a, e.tgd2 + (has(kBeidouCnavIscB2ad) ? e.iscB2ad * 0.5f : 0.0f));
  // A component never heard has no delay to average with: its field stays out of the mean.
  if (has(kBeidouCnavB2bData) && has(kBeidouCnavB2bPilot)) {
    setDelay(delay, source, kBeidouTgdFieldB2b, (e.b2bDelay1 + e.b2bDelay2) * 0.5f);
  } else if (has(kBeidouCnavB2bData)) {
    setDelay(delay, source, kBeidouTgdFieldB2b, e.b2bDelay1);
  } else if (has(kBeidouCnavB2bPilot)) {
    setDelay(delay, source, kBeidouTgdFieldB2b, e.b2bDelay2);
  }
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
