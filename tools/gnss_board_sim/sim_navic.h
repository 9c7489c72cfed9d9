// The simulator's NavIC L5 broadcast (IRNSS SPS ICD 1.1 section 6.2, tables 9 and 10):
// subframes 1 and 2 of a RINEX 4 LNAV record, and the messages of subframes 3 and 4 (7 almanac,
// 9 UTC, 11 ionosphere, 14 differential corrections), 292 bits each with their CRC-24Q over bits
// 1-262, handed on as ten 32-bit words, MSB first.
#pragma once

#include <cstdint>

#include "sim_bits.h"
#include "sim_kepler.h"
#include "sim_lnav.h"
#include "sim_rinex4.h"

namespace sim {

struct NavicFields {
  int prn = 0;
  std::int64_t wn = 0, af0 = 0, af1 = 0, af2 = 0, ura = 0, toc = 0, tgd = 0, dn = 0, iodec = 0, l5 = 0, s = 0;
  std::int64_t cuc = 0, cus = 0, cic = 0, cis = 0, crc = 0, crs = 0, idot = 0;
  std::int64_t m0 = 0, toe = 0, e = 0, sqrtA = 0, omega0 = 0, omega = 0, omegaDot = 0, i0 = 0;
};

// RINEX 4.00 table A40: IODEC, Crs, dn, M0 / Cuc, e, Cus, sqrtA / toe, Cic, Omega0, Cis / i0, Crc,
// omega, OmegaDot / idot, -, week, - / URA, health, TGD, - / ttm.
inline NavicFields navicFields(const Rnx4Eph& r) {
  NavicFields f;
  f.prn = r.prn;
  f.af0 = scaled(r.at(0), 31), f.af1 = scaled(r.at(1), 43), f.af2 = scaled(r.at(2), 55);
  f.iodec = static_cast<std::int64_t>(r.at(3));
  f.crs = scaled(r.at(4), 4), f.dn = scaled(semi(r.at(5)), 41), f.m0 = scaled(semi(r.at(6)), 31);
  f.cuc = scaled(r.at(7), 28), f.e = scaled(r.at(8), 33), f.cus = scaled(r.at(9), 28), f.sqrtA = scaled(r.at(10), 19);
  f.toe = static_cast<std::int64_t>(r.at(11)) / 16;
  f.cic = scaled(r.at(12), 28), f.omega0 = scaled(semi(r.at(13)), 31), f.cis = scaled(r.at(14), 28);
  f.i0 = scaled(semi(r.at(15)), 31), f.crc = scaled(r.at(16), 4), f.omega = scaled(semi(r.at(17)), 31);
  f.omegaDot = scaled(semi(r.at(18)), 41), f.idot = scaled(semi(r.at(19)), 43);
  f.wn = static_cast<std::int64_t>(r.at(21)) % 1024;  // NavIC weeks start at GPS week 1024
  f.ura = uraIndex(r.at(23));
  const auto health = static_cast<std::int64_t>(r.at(24));
  f.l5 = health & 1, f.s = (health >> 1) & 1;
  f.tgd = scaled(r.at(25), 31);
  f.toc = (r.epochGps % kWeek) / 16;
  return f;
}

// Subframe `id` (1 or 2) whose TOWC names `towc` (12-s units).
inline Bits navicSubframe(const NavicFields& f, int id, std::int64_t towc) {
  Bits b(320);
  b.put(1, 8, 0x8B), b.put(9, 17, towc), b.put(26, 1, 0), b.put(27, 1, 0), b.put(28, 2, id - 1);
  int at = 31;
  auto next = [&](int n, std::int64_t v) {
    b.put(at, n, v);
    at += n;
  };
  if (id == 1) {
    next(10, f.wn), next(22, f.af0), next(16, f.af1), next(8, f.af2), next(4, f.ura), next(16, f.toc);
    next(8, f.tgd), next(22, f.dn), next(8, f.iodec), next(10, 0), next(1, f.l5), next(1, f.s);
    next(15, f.cuc), next(15, f.cus), next(15, f.cic), next(15, f.cis), next(15, f.crc), next(15, f.crs);
    next(14, f.idot), next(2, 0);
  } else {
    next(32, f.m0), next(16, f.toe), next(32, f.e), next(32, f.sqrtA), next(32, f.omega0), next(32, f.omega);
    next(22, f.omegaDot), next(32, f.i0), next(2, 0);
  }
  b.put(263, 24, b.crc24q(1, 262));
  return b;
}

// Subframe 3 or 4 (`id`) holding message 7, the almanac of one satellite (IRNSS SPS ICD 1.1
// 6.2.2.3, Table 20: inclination whole, reference time in 16-s units, week from the NavIC epoch),
// sent by satellite `txPrn`.
inline Bits navicAlmSubframe(const KeplerAlm& m, int id, std::int64_t towc, int txPrn, std::int64_t wna) {
  constexpr double kPi = 3.1415926535898;
  Bits b(320);
  b.put(1, 8, 0x8B), b.put(9, 17, towc), b.put(26, 1, 0), b.put(27, 1, 0), b.put(28, 2, id - 1);
  b.put(31, 6, 7);
  int at = 37;
  auto next = [&](int n, std::int64_t v) {
    b.put(at, n, v);
    at += n;
  };
  next(10, wna), next(16, scaled(m.e, 21)), next(16, static_cast<std::int64_t>(m.toa) / 16);
  next(24, scaled(m.i / kPi, 23)), next(16, scaled(m.omegaDot / kPi, 38)), next(24, scaled(m.sqrtA, 11));
  next(24, scaled(std::remainder(m.omega0, 2 * kPi) / kPi, 23)), next(24, scaled(std::remainder(m.omega, 2 * kPi) / kPi, 23));
  next(24, scaled(std::remainder(m.m0, 2 * kPi) / kPi, 23)), next(11, scaled(m.af0, 20)), next(11, scaled(m.af1, 38));
  next(6, m.prn), next(8, 0);
  b.put(257, 6, txPrn);
  b.put(263, 24, b.crc24q(1, 262));
  return b;
}

// The time parameters of messages 9 and 11: NavIC-UTC and NavIC-GPS polynomials (A0 2^-35 s,
// A1 2^-51 s/s, A2 2^-68 s/s^2 as broadcast), their reference times (s of week) and 10-bit weeks,
// the leap seconds; the Klobuchar terms.
struct NavicTime {
  bool utc = false, iono = false;
  double a0 = 0, a1 = 0, a2 = 0, g0 = 0, g1 = 0, g2 = 0;
  int t0 = 0, wn = 0, gt0 = 0, gwn = 0;
  int dtls = 0, dtlsf = 0, wnlsf = 0, dn = 0;
  double alpha[4] = {}, beta[4] = {};
};

// Subframe 3 or 4 (`id`) holding message 9 (NavIC-UTC and the offset to GPS, gnss id 0) or 11
// (Earth orientation left at zero, then the Klobuchar terms), sent by satellite `txPrn`
// (IRNSS SPS ICD 1.1 6.2.2.3, Tables 22 and 24).
inline Bits navicTimeSubframe(const NavicTime& t, int id, int msg, std::int64_t towc, int txPrn) {
  Bits b(320);
  b.put(1, 8, 0x8B), b.put(9, 17, towc), b.put(26, 1, 0), b.put(27, 1, 0), b.put(28, 2, id - 1);
  b.put(31, 6, msg);
  int at = 37;
  auto next = [&](int n, std::int64_t v) {
    b.put(at, n, v);
    at += n;
  };
  if (msg == 9) {
    next(16, scaled(t.a0, 35)), next(13, scaled(t.a1, 51)), next(7, scaled(t.a2, 68)), next(8, t.dtls);
    next(16, t.t0 / 16), next(10, t.wn), next(10, t.wnlsf), next(4, t.dn), next(8, t.dtlsf);
    next(16, scaled(t.g0, 35)), next(13, scaled(t.g1, 51)), next(7, scaled(t.g2, 68)), next(16, t.gt0 / 16);
    next(10, t.gwn), next(3, 0);
  } else {
    const int alphaPow[4] = {30, 27, 24, 24}, betaPow[4] = {-11, -14, -16, -16};
    at = 175;
    for (int k = 0; k < 4; ++k) next(8, scaled(t.alpha[k], alphaPow[k]));
    for (int k = 0; k < 4; ++k) next(8, scaled(t.beta[k], betaPow[k]));
  }
  b.put(257, 6, txPrn);
  b.put(263, 24, b.crc24q(1, 262));
  return b;
}

// The differential corrections message 14 gives a satellite, as broadcast integers: clock
// (delta af0 2^-35 s, delta af1 2^-51 s/s), orbit (delta alpha and beta 2^-35, delta gamma, delta i
// and delta Omega 2^-32 semicircles, delta A 2^-9 m), UDRA and its rate. Not zero, each field with
// a value of its own (signs mixed, the top bits reached), so that a field read a bit aside or with
// another's scale shows; the sky's measurements do not carry them (the receiver keeps none).
struct NavicDc {
  std::int64_t daf0, daf1, udra, dAlpha, dBeta, dGamma, dI, dOmega, dA, udraRate;
};
inline NavicDc navicDcOf(int targetPrn) {
  const std::int64_t p = targetPrn;
  return {-3000 - p, 100 + p, -9, 7000 + 10 * p, -6000 - p, 12000 + p, -1500 + p, 1700 + p, -1900 - p, 11};
}

// Subframe 3 or 4 (`id`) holding message 14, the differential corrections (navicDcOf) of
// satellite `targetPrn` whose issue is `iodec`, at reference time `t0d` (s of week), sent by
// satellite `txPrn`.
inline Bits navicDcSubframe(int targetPrn, int iodec, std::int64_t t0d, int id, std::int64_t towc, int txPrn) {
  Bits b(320);
  b.put(1, 8, 0x8B), b.put(9, 17, towc), b.put(26, 1, 0), b.put(27, 1, 0), b.put(28, 2, id - 1);
  b.put(31, 6, 14);
  b.put(38, 6, targetPrn);
  const NavicDc c = navicDcOf(targetPrn);
  b.put(44, 13, c.daf0), b.put(57, 8, c.daf1), b.put(65, 5, c.udra);
  b.put(70, 14, c.dAlpha), b.put(84, 14, c.dBeta), b.put(98, 15, c.dGamma);
  b.put(113, 12, c.dI), b.put(125, 12, c.dOmega), b.put(137, 12, c.dA), b.put(149, 5, c.udraRate);
  b.put(154, 8, iodec);
  b.put(172, 16, t0d / 16);
  b.put(257, 6, txPrn);
  b.put(263, 24, b.crc24q(1, 262));
  return b;
}

}  // namespace sim
