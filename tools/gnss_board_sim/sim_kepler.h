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

// An almanac of the Kepler form (IS-GPS-200 20.3.3.5.1.2, Galileo OS SIS ICD 5.1.10, BDS-SIS-ICD
// 5.2.4.15, IRNSS SPS ICD 6.2.2.3): orbit and clock at the reference time `toa` (s of the
// system's week), angles in radians, the node at the week's start as in the ephemeris.
struct KeplerAlm {
  bool present = false;
  int prn = 0;
  double toa = 0;
  double e = 0, i = 0, omegaDot = 0, sqrtA = 0, omega0 = 0, omega = 0, m0 = 0;
  double af0 = 0, af1 = 0;
  int health = 0;  // the ephemeris's
};

// The almanac of an ephemeris at `toa` (s of the system's week, near toe). An almanac has no
// harmonic corrections, no mean-motion correction and no inclination rate: the ephemeris's
// orbit at toa carries them over (the mean motion into the semi-major axis, the inclination and
// the node moved to toa). A BeiDou GEO's ephemeris is in a frame of its own, its almanac in the
// common one: its elements are those of the osculating orbit there at toa (position and
// velocity of the ephemeris at toa, in the inertial frame that coincides with the Earth-fixed one
// at the week's start). The errors are those of an almanac: about a kilometre near toa.
inline KeplerAlm keplerAlmanac(const KeplerEph& k, double toa) {
  KeplerAlm a;
  a.present = true;
  a.prn = k.prn;
  a.toa = toa;
  a.health = k.health;
  const double dt = kepler::wrapWeek(toa - k.toe);
  const double a0 = k.sqrtA * k.sqrtA;
  const double n = std::sqrt(k.mu() / (a0 * a0 * a0)) + k.dn;
  a.sqrtA = std::sqrt(std::cbrt(k.mu() / (n * n)));
  const double tc = kepler::wrapWeek(toa - k.toc);
  a.af0 = k.af0 + k.af1 * tc + k.af2 * tc * tc;
  a.af1 = k.af1 + 2 * k.af2 * tc;
  if (!k.geo) {
    a.e = k.e;
    a.i = k.i0 + k.idot * dt;
    a.omegaDot = k.omegaDot;
    a.omega0 = k.omega0 + k.omegaDot * dt;
    a.omega = k.omega;
    a.m0 = k.m0 + n * dt;
    return a;
  }
  // The GEO: position and velocity at toa (central difference over 1 s) into the inertial frame
  // of the week's start, then the elements.
  double p[3], p1[3], p2[3];
  keplerOrbit(k, toa, p);
  keplerOrbit(k, toa + 0.5, p2);
  keplerOrbit(k, toa - 0.5, p1);
  const double we = k.earthRate(), th = we * toa;
  double ri[3], vi[3];
  {
    const double v[3] = {p2[0] - p1[0] - we * p[1], p2[1] - p1[1] + we * p[0], p2[2] - p1[2]};  // inertial axes at toa
    const double c = std::cos(th), s = std::sin(th);
    ri[0] = c * p[0] - s * p[1], ri[1] = s * p[0] + c * p[1], ri[2] = p[2];
    vi[0] = c * v[0] - s * v[1], vi[1] = s * v[0] + c * v[1], vi[2] = v[2];
  }
  const double h[3] = {ri[1] * vi[2] - ri[2] * vi[1], ri[2] * vi[0] - ri[0] * vi[2], ri[0] * vi[1] - ri[1] * vi[0]};
  const double hn = std::sqrt(h[0] * h[0] + h[1] * h[1] + h[2] * h[2]);
  const double rn = std::sqrt(ri[0] * ri[0] + ri[1] * ri[1] + ri[2] * ri[2]);
  const double vxh[3] = {vi[1] * h[2] - vi[2] * h[1], vi[2] * h[0] - vi[0] * h[2], vi[0] * h[1] - vi[1] * h[0]};
  double ev[3];
  for (int j = 0; j < 3; ++j) ev[j] = vxh[j] / k.mu() - ri[j] / rn;
  a.e = std::sqrt(ev[0] * ev[0] + ev[1] * ev[1] + ev[2] * ev[2]);
  a.i = std::acos(h[2] / hn);
  const double node = std::atan2(h[0], -h[1]);  // right ascension of the ascending node
  const double nx = std::cos(node), ny = std::sin(node);
  // Argument of latitude of the satellite and of the perigee, from the node in the orbit plane.
  const double q[3] = {(h[1] * 0 - h[2] * ny) / hn, (h[2] * nx - h[0] * 0) / hn, (h[0] * ny - h[1] * nx) / hn};
  const double u = std::atan2(ri[0] * q[0] + ri[1] * q[1] + ri[2] * q[2], ri[0] * nx + ri[1] * ny);
  const double w = std::atan2(ev[0] * q[0] + ev[1] * q[1] + ev[2] * q[2], ev[0] * nx + ev[1] * ny);
  const double nu = std::remainder(u - w, 2 * 3.14159265358979323846);
  const double ea = 2 * std::atan(std::sqrt((1 - a.e) / (1 + a.e)) * std::tan(nu / 2));
  a.omega = w;
  a.m0 = ea - a.e * std::sin(ea);
  a.omegaDot = 0;
  // The node in the almanac's form: Omega at toa is omega0 - we x toa in the Earth-fixed frame of
  // toa, that is the inertial node of the week's start frame.
  a.omega0 = node;
  return a;
}

// Almanac position (m, Earth-fixed) at second of week `t` (the ICDs' almanac algorithm: the
// ephemeris algorithm without corrections).
inline void keplerAlmOrbit(const KeplerAlm& a, double mu, double we, double t, double out[3]) {
  const double tk = kepler::wrapWeek(t - a.toa);
  const double A = a.sqrtA * a.sqrtA;
  const double m = a.m0 + std::sqrt(mu / (A * A * A)) * tk;
  double ea = m;
  for (int i = 0; i < 30; ++i) ea = m + a.e * std::sin(ea);
  const double u = std::atan2(std::sqrt(1 - a.e * a.e) * std::sin(ea), std::cos(ea) - a.e) + a.omega;
  const double r = A * (1 - a.e * std::cos(ea));
  const double om = a.omega0 + (a.omegaDot - we) * tk - we * a.toa;
  const double x = r * std::cos(u), y = r * std::sin(u);
  out[0] = x * std::cos(om) - y * std::cos(a.i) * std::sin(om);
  out[1] = x * std::sin(om) + y * std::cos(a.i) * std::cos(om);
  out[2] = y * std::sin(a.i);
}

}  // namespace sim
