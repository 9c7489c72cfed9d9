// The simulator's orbit and clock of a Keplerian broadcast ephemeris, for the systems whose
// records share the GPS form (Galileo OS SIS ICD 5.1.1 and Table 58, BDS-SIS-ICD-B1I 5.2.4.12
// with its GEO frame, IS-GPS-200 Table 20-IV), each with its own constants, and the satellite
// clock polynomial with the relativistic term (IS-GPS-200 20.3.3.3.3.1 and its siblings).
#pragma once

#include <cmath>
#include <cstdint>

#include "sim_rinex4.h"

namespace sim {

struct KeplerEph {
  char sys = 0;
  int prn = 0;
  double toc = 0, af0 = 0, af1 = 0, af2 = 0;  // toc in s of the system's week
  double crs = 0, dn = 0, m0 = 0, cuc = 0, e = 0, cus = 0, sqrtA = 0, toe = 0;
  double cic = 0, omega0 = 0, cis = 0, i0 = 0, crc = 0, omega = 0, omegaDot = 0, idot = 0;
  double tgd1 = 0, tgd2 = 0;  // Galileo BGD E1/E5a, E1/E5b; BeiDou TGD1, TGD2 (s)
  bool geo = false;           // a BeiDou GEO: its own frame
  int health = 0;
  std::int64_t epochGps = 0, txGps = 0;
  double mu() const { return sys == 'E' || sys == 'C' ? 3.986004418e14 : 3.986005e14; }
  double earthRate() const { return sys == 'C' ? 7.292115e-5 : 7.2921151467e-5; }
};

// A RINEX 4 record of the GPS form (LNAV, INAV, FNAV, D1, D2): clock, then the orbit lines in the
// order IODE, Crs, dn, M0 / Cuc, e, Cus, sqrtA / toe, Cic, Omega0, Cis / i0, Crc, omega,
// OmegaDot / idot, ... / ..., health, group delays.
inline KeplerEph keplerEph(const Rnx4Eph& r) {
  KeplerEph k;
  k.sys = r.sys;
  k.prn = r.prn;
  const std::int64_t sow = r.sys == 'C' ? ((r.epochGps - kBdtGpsSec) % kWeek + kWeek) % kWeek : r.epochGps % kWeek;
  k.toc = static_cast<double>(sow);
  k.af0 = r.at(0), k.af1 = r.at(1), k.af2 = r.at(2);
  k.crs = r.at(4), k.dn = r.at(5), k.m0 = r.at(6), k.cuc = r.at(7), k.e = r.at(8), k.cus = r.at(9);
  k.sqrtA = r.at(10), k.toe = r.at(11), k.cic = r.at(12), k.omega0 = r.at(13), k.cis = r.at(14);
  k.i0 = r.at(15), k.crc = r.at(16), k.omega = r.at(17), k.omegaDot = r.at(18), k.idot = r.at(19);
  k.health = static_cast<int>(r.at(24));
  k.tgd1 = r.at(25), k.tgd2 = r.at(26);
  k.geo = r.sys == 'C' && (r.prn <= 5 || r.prn >= 59);
  k.epochGps = r.epochGps, k.txGps = r.txGps;
  return k;
}

namespace kepler {
inline double wrapWeek(double dt) {
  if (dt > 302400) dt -= 604800;
  if (dt < -302400) dt += 604800;
  return dt;
}
inline double eccentricAnomaly(const KeplerEph& k, double tk) {
  const double a = k.sqrtA * k.sqrtA;
  const double m = k.m0 + (std::sqrt(k.mu() / (a * a * a)) + k.dn) * tk;
  double ea = m;
  for (int i = 0; i < 30; ++i) ea = m + k.e * std::sin(ea);
  return ea;
}
}  // namespace kepler

// Position (m, Earth-fixed) at second of week `t` of the system's own time.
inline void keplerOrbit(const KeplerEph& k, double t, double out[3]) {
  const double a = k.sqrtA * k.sqrtA, we = k.earthRate();
  const double tk = kepler::wrapWeek(t - k.toe);
  const double ea = kepler::eccentricAnomaly(k, tk);
  const double phi = std::atan2(std::sqrt(1 - k.e * k.e) * std::sin(ea), std::cos(ea) - k.e) + k.omega;
  const double s2 = std::sin(2 * phi), c2 = std::cos(2 * phi);
  const double u = phi + k.cus * s2 + k.cuc * c2;
  const double rad = a * (1 - k.e * std::cos(ea)) + k.crs * s2 + k.crc * c2;
  const double inc = k.i0 + k.cis * s2 + k.cic * c2 + k.idot * tk;
  const double om = k.omega0 + (k.omegaDot - (k.geo ? 0.0 : we)) * tk - we * k.toe;
  const double x = rad * std::cos(u), y = rad * std::sin(u);
  const double g[3] = {x * std::cos(om) - y * std::cos(inc) * std::sin(om),
                       x * std::sin(om) + y * std::cos(inc) * std::cos(om), y * std::sin(inc)};
  if (!k.geo) {
    for (int i = 0; i < 3; ++i) out[i] = g[i];
    return;
  }
  // A GEO's orbit is given in a frame tilted by -5 degrees about X, then turned with the Earth.
  const double f = -5.0 * 3.1415926535898 / 180, z = we * tk;
  const double m[3] = {g[0], std::cos(f) * g[1] + std::sin(f) * g[2], -std::sin(f) * g[1] + std::cos(f) * g[2]};
  out[0] = std::cos(z) * m[0] + std::sin(z) * m[1];
  out[1] = -std::sin(z) * m[0] + std::cos(z) * m[1];
  out[2] = m[2];
}

// Clock offset (s) at second of week `t` of the system's time, with the relativistic term.
inline double keplerClock(const KeplerEph& k, double t) {
  const double dt = kepler::wrapWeek(t - k.toc);
  const double ea = kepler::eccentricAnomaly(k, kepler::wrapWeek(t - k.toe));
  const double f = -2 * std::sqrt(k.mu()) / (299792458.0 * 299792458.0);
  return k.af0 + k.af1 * dt + k.af2 * dt * dt + f * k.e * k.sqrtA * std::sin(ea);
}

}  // namespace sim
