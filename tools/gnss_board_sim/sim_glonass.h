// The simulator's GLONASS FDMA broadcast and orbit, from a RINEX 4 FDMA record: strings 1-5 of
// the navigation frame (GLONASS ICD 5.1 section 4.4, Table 4.5: field widths, sign-and-
// magnitude scaling) with their Hamming check bits (section 4.7), handed on as the board does:
// the 85 bits of a string from its idle bit on, 25 to a word in the words' low bits; and the
// state vector integrated to any time in PZ-90 (Appendix A.3.1.2: the central field with J2,
// the Earth's rotation, the broadcast luni-solar acceleration held constant; RK4, steps of at
// most 30 s: millimetres over the 15 minutes of a record's interval).
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "sim_bits.h"
#include "sim_rinex4.h"

namespace sim {

struct GloEph {
  int slot = 0, freq = 0;
  std::int64_t epochGps = 0;  // tb, GPS seconds
  std::int64_t txGps = 0;
  double tauN = 0, gammaN = 0, dTauN = 0;
  double pos[3] = {}, vel[3] = {}, acc[3] = {};  // km, km/s, km/s^2
  int health = 0, age = 0, ft = 0;
  int tbIndex = 0;  // 15-min units of the Moscow day
  int nt = 0, n4 = 0;  // day in the four-year interval, interval since 1996 (Moscow date of tb)
};

// RINEX 4.00 table A37: -tauN, gammaN, tk / x, vx, ax, health / y, vy, ay, frequency number /
// z, vz, az, age / status flags, delta tauN, URAI, health flags.
inline GloEph gloEph(const Rnx4Eph& r) {
  GloEph g;
  g.slot = r.prn;
  g.epochGps = r.epochGps;
  g.txGps = r.txGps;
  g.tauN = -r.at(0);
  g.gammaN = r.at(1);
  for (int k = 0; k < 3; ++k) {
    g.pos[k] = r.at(3 + 4 * static_cast<std::size_t>(k));
    g.vel[k] = r.at(4 + 4 * static_cast<std::size_t>(k));
    g.acc[k] = r.at(5 + 4 * static_cast<std::size_t>(k));
  }
  g.health = static_cast<int>(r.at(6));
  g.freq = static_cast<int>(r.at(10));
  g.age = static_cast<int>(r.at(14));
  g.dTauN = r.at(16);
  g.ft = static_cast<int>(r.at(17));
  // Moscow time of tb: the day and the four-year interval counted from 1996.
  const std::int64_t msk = r.epochGps - kUtcGpsLeap + kGpsEpochUnix + 10800;  // Unix seconds, Moscow
  g.tbIndex = static_cast<int>((msk % 86400) / 900);
  const std::int64_t days = msk / 86400 - 9496;  // days since 1996-01-01
  g.n4 = static_cast<int>(days / 1461) + 1;
  g.nt = static_cast<int>(days % 1461) + 1;
  return g;
}

// The frame's broadcast values besides the ephemeris: tauC, tauGPS (s).
struct GloTime {
  double tauC = 0, tauGps = 0;
  int na = 0, n4 = 0;  // the almanac's day in the four-year interval and the interval (0: tb's)
  int kp = 0;          // KP of string 14: 1 when a leap second is announced for the quarter's end
};

// GPS second of the start of the Moscow day of GPS second `gps`, its day in the four-year
// interval (1..1461) and the interval (counted from 1996 as 1).
struct GloDay {
  std::int64_t startGps = 0;
  int nt = 0, n4 = 0;
};
inline GloDay gloDay(std::int64_t gps) {
  const std::int64_t msk = gps - kUtcGpsLeap + kGpsEpochUnix + 10800;  // Unix seconds, Moscow
  GloDay d;
  d.startGps = msk - msk % 86400 - 10800 - kGpsEpochUnix + kUtcGpsLeap;
  const std::int64_t days = msk / 86400 - 9496;  // days since 1996-01-01
  d.n4 = static_cast<int>(days / 1461) + 1;
  d.nt = static_cast<int>(days % 1461) + 1;
  return d;
}

// The Hamming check bits of a string (GLONASS ICD 4.7), bit 1 its idle bit: data bit k (ICD
// numbering 9..85, 85 the idle bit) takes the (k-8)th position of the code word that is no power
// of two; check bit i (1..7) covers the positions with bit i-1 set, check bit 8 every bit of the
// string. Check bit i is ICD bit i, the string's bit 86 - i.
inline void gloAddHamming(Bits& b) {
  int icd[86] = {};
  for (int k = 9; k <= 85; ++k) icd[k] = b.at(86 - k) ? 1 : 0;
  int pos = 2, beta[9] = {};
  for (int k = 9; k <= 85; ++k) {
    do ++pos;
    while ((pos & (pos - 1)) == 0);
    for (int i = 0; i < 7; ++i)
      if (pos & (1 << i)) beta[i + 1] ^= icd[k];
  }
  int all = 0;
  for (int k = 9; k <= 85; ++k) all ^= icd[k];
  for (int i = 1; i <= 7; ++i) all ^= beta[i];
  beta[8] = all;
  for (int i = 1; i <= 8; ++i) b.put(86 - i, 1, beta[i]);
}

// String `m` (1-5) of a frame that starts at Moscow second of day `frameTod`, with its check
// bits; bit 1 the idle bit.
inline Bits gloString(const GloEph& g, const GloTime& t, int m, int frameTod) {
  const int frame = frameTod / 30 % 5 + 1;  // of the 2.5-min superframe, which starts at midnight
  Bits b(85);
  b.put(2, 4, m);
  if (m == 1) {
    b.put(8, 2, 1);  // P1: tb every 30 min
    b.put(10, 5, frameTod / 3600), b.put(15, 6, frameTod / 60 % 60), b.put(21, 1, frameTod % 60 / 30);
    b.putSm(22, 24, scaled(g.vel[0], 20)), b.putSm(46, 5, scaled(g.acc[0], 30)), b.putSm(51, 27, scaled(g.pos[0], 11));
  } else if (m == 2) {
    b.put(6, 3, g.health != 0 ? 4 : 0);  // Bn: its top bit says unhealthy
    b.put(9, 1, g.tbIndex & 1), b.put(10, 7, g.tbIndex);
    b.putSm(22, 24, scaled(g.vel[1], 20)), b.putSm(46, 5, scaled(g.acc[1], 30)), b.putSm(51, 27, scaled(g.pos[1], 11));
  } else if (m == 3) {
    b.put(6, 1, frame < 5 ? 1 : 0);  // P3: five almanacs in this frame, four in the fifth
    b.putSm(7, 11, scaled(g.gammaN, 40));
    b.putSm(22, 24, scaled(g.vel[2], 20)), b.putSm(46, 5, scaled(g.acc[2], 30)), b.putSm(51, 27, scaled(g.pos[2], 11));
  } else if (m == 4) {
    b.putSm(6, 22, scaled(g.tauN, 30)), b.putSm(28, 5, scaled(g.dTauN, 30)), b.put(33, 5, g.age);
    b.put(53, 4, g.ft), b.put(60, 11, g.nt), b.put(71, 5, g.slot), b.put(76, 2, 1);  // M: GLONASS-M
  } else {
    b.put(6, 11, t.na > 0 ? t.na : g.nt), b.putSm(17, 32, scaled(t.tauC, 31)), b.put(50, 5, t.na > 0 ? t.n4 : g.n4);
    b.putSm(55, 22, scaled(t.tauGps, 30));
  }
  gloAddHamming(b);
  return b;
}

// One satellite's almanac (GLONASS ICD 5.1 section 4.5, Table 4.9): for day NA the ECEF
// longitude of the first ascending node of that day and the Moscow time of its passage, the
// corrections to the mean inclination (63 degrees, 0.35 semicircles) and to the mean draconic
// period (43200 s), eccentricity and argument of perigee, a coarse clock offset.
struct GloAlm {
  int slot = 0, freq = 0;
  bool present = false;  // a satellite occupies the slot
  bool healthy = false;  // Cn
  double tauA = 0;       // s
  double lambda = 0;     // semicircles
  double tLambda = 0;    // s of the Moscow day NA
  double dI = 0;         // semicircles
  double dT = 0, dTdot = 0;  // s per revolution, s per revolution^2
  double ecc = 0;
  double omega = 0;      // semicircles
};

// String `m` (6-15) of frame `frame` (1-5 of the superframe): the almanac of slots 5 (frame - 1)
// + 1 .. + 5 in string pairs (6, 7), (8, 9) ... (14, 15); frame 5 holds four, its strings 14 and 15
// carry B1, B2 (0: no UT1 offset), KP (`kp`) and ln.
// `alm` holds slots 1..24 at index slot - 1.
inline Bits gloAlmString(const std::vector<GloAlm>& alm, int m, int frame, int kp = 0) {
  Bits b(85);
  b.put(2, 4, m);
  const int pair = (m - 6) / 2;
  if (frame == 5 && pair == 4) {
    if (m == 14) b.put(27, 2, kp);
    gloAddHamming(b);
    return b;
  }
  const std::size_t slot = static_cast<std::size_t>(5 * (frame - 1) + pair + 1);
  const GloAlm a = slot <= alm.size() ? alm[slot - 1] : GloAlm{};
  if (m % 2 == 0) {
    b.put(6, 1, a.present && a.healthy ? 1 : 0);
    b.put(7, 2, 1);  // M: GLONASS-M
    b.put(9, 5, static_cast<std::int64_t>(slot));
    if (a.present) {
      b.putSm(14, 10, scaled(a.tauA, 18)), b.putSm(24, 21, scaled(a.lambda, 20));
      b.putSm(45, 18, scaled(a.dI, 20)), b.put(63, 15, scaled(a.ecc, 20));
    }
  } else if (a.present) {
    b.putSm(6, 16, scaled(a.omega, 15)), b.put(22, 21, scaled(a.tLambda, 5));
    b.putSm(43, 22, scaled(a.dT, 9)), b.putSm(65, 7, scaled(a.dTdot, 14));
    b.put(72, 5, a.freq < 0 ? a.freq + 32 : a.freq);  // HnA: 25..31 stand for -7..-1
  }
  gloAddHamming(b);
  return b;
}

// The four 25-bit words of a string as the board hands them on.
inline std::vector<std::uint32_t> gloWords(const Bits& s) {
  std::vector<std::uint32_t> w(4, 0);
  for (int i = 0; i < 100; ++i)
    if (s.at(i + 1)) w[static_cast<std::size_t>(i / 25)] |= 1u << (24 - i % 25);
  return w;
}

// ---- Orbit ------------------------------------------------------------------------------------

namespace glo {
constexpr double kGm = 398600.4418, kAe = 6378.136, kJ2 = 1082625.75e-9, kOmega = 7.292115e-5;

inline void derivative(const double s[6], const double acc[3], double d[6]) {
  const double r2 = s[0] * s[0] + s[1] * s[1] + s[2] * s[2], r = std::sqrt(r2);
  const double g = kGm / (r2 * r), j = 1.5 * kJ2 * kGm * kAe * kAe / (r2 * r2 * r), z2 = 5 * s[2] * s[2] / r2;
  d[0] = s[3], d[1] = s[4], d[2] = s[5];
  d[3] = -g * s[0] - j * s[0] * (1 - z2) + kOmega * kOmega * s[0] + 2 * kOmega * s[4] + acc[0];
  d[4] = -g * s[1] - j * s[1] * (1 - z2) + kOmega * kOmega * s[1] - 2 * kOmega * s[3] + acc[1];
  d[5] = -g * s[2] - j * s[2] * (3 - z2) + acc[2];
}
}  // namespace glo

// Position (m, PZ-90) of the satellite at GPS second `tGps` (since 1980, fractional).
inline void gloOrbit(const GloEph& g, double tGps, double out[3]) {
  double s[6] = {g.pos[0], g.pos[1], g.pos[2], g.vel[0], g.vel[1], g.vel[2]};
  double left = tGps - static_cast<double>(g.epochGps);
  const int steps = static_cast<int>(std::ceil(std::fabs(left) / 30.0));
  const double h = steps > 0 ? left / steps : 0;
  for (int n = 0; n < steps; ++n) {
    double k1[6], k2[6], k3[6], k4[6], x[6];
    glo::derivative(s, g.acc, k1);
    for (int i = 0; i < 6; ++i) x[i] = s[i] + 0.5 * h * k1[i];
    glo::derivative(x, g.acc, k2);
    for (int i = 0; i < 6; ++i) x[i] = s[i] + 0.5 * h * k2[i];
    glo::derivative(x, g.acc, k3);
    for (int i = 0; i < 6; ++i) x[i] = s[i] + h * k3[i];
    glo::derivative(x, g.acc, k4);
    for (int i = 0; i < 6; ++i) s[i] += h / 6 * (k1[i] + 2 * k2[i] + 2 * k3[i] + k4[i]);
  }
  for (int k = 0; k < 3; ++k) out[k] = s[k] * 1000.0;
}

// The state (km, km/s, PZ-90) advanced by `dt` seconds in RK4 steps of at most 30 s, under the
// central field with J2 and the Earth's rotation, luni-solar acceleration `acc` held constant.
inline void gloPropagate(double s[6], double dt, const double acc[3]) {
  const int steps = static_cast<int>(std::ceil(std::fabs(dt) / 30.0));
  const double h = steps > 0 ? dt / steps : 0;
  for (int n = 0; n < steps; ++n) {
    double k1[6], k2[6], k3[6], k4[6], x[6];
    glo::derivative(s, acc, k1);
    for (int i = 0; i < 6; ++i) x[i] = s[i] + 0.5 * h * k1[i];
    glo::derivative(x, acc, k2);
    for (int i = 0; i < 6; ++i) x[i] = s[i] + 0.5 * h * k2[i];
    glo::derivative(x, acc, k3);
    for (int i = 0; i < 6; ++i) x[i] = s[i] + h * k3[i];
    glo::derivative(x, acc, k4);
    for (int i = 0; i < 6; ++i) s[i] += h / 6 * (k1[i] + 2 * k2[i] + 2 * k3[i] + k4[i]);
  }
}

// The almanac of a satellite for the Moscow day that begins at GPS second `dayStartGps`, from its
// ephemeris: the orbit is followed (central field and J2; the broadcast luni-solar acceleration
// is good for minutes only and is left out) to its last ascending node before tb and the next
// one. Their distance is the draconic period; the node's longitude, and the inclination,
// eccentricity and argument of perigee of the orbit there, are the elements. Node time and
// longitude are moved by whole draconic periods into the day, the node's longitude with the
// secular regression the almanac's own propagation gives (ICD Appendix A.3.1.3).
inline GloAlm gloAlmanac(const GloEph& g, std::int64_t dayStartGps) {
  constexpr double kPi = 3.14159265358979323846;
  const double noAcc[3] = {0, 0, 0};
  double s[6] = {g.pos[0], g.pos[1], g.pos[2], g.vel[0], g.vel[1], g.vel[2]};
  // Back in 60-s steps to the last ascending node (z from - to +) at or before tb.
  double t = 0;  // s from tb
  for (int n = 0; n < 1000; ++n) {
    double p[6];
    std::copy(s, s + 6, p);
    gloPropagate(p, -60.0, noAcc);
    const bool crossed = p[2] < 0 && s[2] >= 0;
    std::copy(p, p + 6, s);
    t -= 60.0;
    if (crossed) break;
  }
  // Onto the node itself: Newton steps in time on z.
  const auto toNode = [&](double st[6], double& tt) {
    for (int it = 0; it < 8; ++it) {
      const double dt = -st[2] / st[5];
      gloPropagate(st, dt, noAcc);
      tt += dt;
    }
  };
  toNode(s, t);
  double node1[6];
  std::copy(s, s + 6, node1);
  const double t1 = t;
  // On to the next ascending node.
  double q[6];
  std::copy(s, s + 6, q);
  double t2 = t1;
  gloPropagate(q, 600.0, noAcc);
  t2 += 600.0;
  for (int n = 0; n < 1000; ++n) {
    double p[6];
    std::copy(q, q + 6, p);
    gloPropagate(p, 60.0, noAcc);
    t2 += 60.0;
    const bool crossed = q[2] < 0 && p[2] >= 0;
    std::copy(p, p + 6, q);
    if (crossed) break;
  }
  toNode(q, t2);
  const double tdr = t2 - t1;

  // Elements at the first node, in the inertial frame that coincides with PZ-90 there.
  const double r[3] = {node1[0], node1[1], node1[2]};
  const double v[3] = {node1[3] - glo::kOmega * r[1], node1[4] + glo::kOmega * r[0], node1[5]};
  const double h[3] = {r[1] * v[2] - r[2] * v[1], r[2] * v[0] - r[0] * v[2], r[0] * v[1] - r[1] * v[0]};
  const double hn = std::sqrt(h[0] * h[0] + h[1] * h[1] + h[2] * h[2]);
  const double rn = std::sqrt(r[0] * r[0] + r[1] * r[1] + r[2] * r[2]);
  const double inc = std::acos(h[2] / hn);
  const double vxh[3] = {v[1] * h[2] - v[2] * h[1], v[2] * h[0] - v[0] * h[2], v[0] * h[1] - v[1] * h[0]};
  double ev[3];
  for (int k = 0; k < 3; ++k) ev[k] = vxh[k] / glo::kGm - r[k] / rn;
  const double ecc = std::sqrt(ev[0] * ev[0] + ev[1] * ev[1] + ev[2] * ev[2]);
  // The perigee from the node (along r here) towards the motion (h x r).
  const double hxr[3] = {(h[1] * r[2] - h[2] * r[1]) / (hn * rn), (h[2] * r[0] - h[0] * r[2]) / (hn * rn),
                         (h[0] * r[1] - h[1] * r[0]) / (hn * rn)};
  const double omega = std::atan2(ev[0] * hxr[0] + ev[1] * hxr[1] + ev[2] * hxr[2],
                                  (ev[0] * r[0] + ev[1] * r[1] + ev[2] * r[2]) / rn);

  // The node moves in the Earth-fixed frame by (Omega dot - Earth rate) a second, Omega dot the
  // J2 regression of the almanac's mean orbit.
  const double n = 2 * kPi / tdr;
  const double a = std::cbrt(glo::kGm / (n * n));
  const double nodeRate = -1.5 * glo::kJ2 * n * (glo::kAe / a) * (glo::kAe / a) * std::cos(inc) - glo::kOmega;
  const double node1Gps = static_cast<double>(g.epochGps) + t1;
  const double k = std::floor((node1Gps - static_cast<double>(dayStartGps)) / tdr);
  double lambda = std::atan2(r[1], r[0]) - nodeRate * k * tdr;
  lambda = std::remainder(lambda, 2 * kPi);

  GloAlm out;
  out.slot = g.slot;
  out.freq = g.freq;
  out.present = true;
  out.healthy = g.health == 0;
  out.tauA = g.tauN;
  out.lambda = lambda / kPi;
  out.tLambda = node1Gps - k * tdr - static_cast<double>(dayStartGps);
  out.dI = inc / kPi - 0.35;
  out.dT = tdr - 43200.0;
  out.ecc = ecc;
  out.omega = omega / kPi;
  return out;
}

// The satellite's clock offset from GLONASS time (s) at GPS second `tGps`: -tauN + gammaN (t - tb).
inline double gloClock(const GloEph& g, double tGps) {
  return -g.tauN + g.gammaN * (tGps - static_cast<double>(g.epochGps));
}

}  // namespace sim
