// The simulator's Galileo broadcast (Galileo OS SIS ICD 2.0): I/NAV words 0-6 in nominal page
// pairs with their CRC-24Q (section 4.3.2: even and odd half of 120 bits each, handed on as 30
// bytes), and F/NAV pages 1-6 with their CRC (section 4.2.2: 244 bits from the page type, handed
// on as 31 bytes), from a RINEX 4 INAV or FNAV record and the file's Galileo time parameters.
#pragma once

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "sim_bits.h"
#include "sim_kepler.h"
#include "sim_rinex4.h"

namespace sim {

// The broadcast integers of one Galileo ephemeris and clock.
struct GalFields {
  int svid = 0;
  bool fnav = false;
  std::int64_t iod = 0, toe = 0, toc = 0, m0 = 0, e = 0, sqrtA = 0, omega0 = 0, i0 = 0, omega = 0, idot = 0;
  std::int64_t omegaDot = 0, dn = 0, cuc = 0, cus = 0, crc = 0, crs = 0, cic = 0, cis = 0;
  std::int64_t af0 = 0, af1 = 0, af2 = 0, sisa = 0, bgdA = 0, bgdB = 0, wn = 0;
  int health = 0;  // RINEX bits: E1-B DVS, HS x2, E5a DVS, HS x2, E5b DVS, HS x2
};

// SISA index of a value in metres (OS SIS ICD 5.1.12).
inline int sisaIndex(double m) {
  if (m < 0) return 255;
  if (m < 0.5) return static_cast<int>(std::lround(m / 0.01));
  if (m < 1.0) return 50 + static_cast<int>(std::lround((m - 0.5) / 0.02));
  if (m < 2.0) return 75 + static_cast<int>(std::lround((m - 1.0) / 0.04));
  if (m <= 6.0) return 100 + static_cast<int>(std::lround((m - 2.0) / 0.16));
  return 255;
}

// RINEX 4.00 table A35: IODnav, Crs, dn, M0 / Cuc, e, Cus, sqrtA / toe, Cic, Omega0, Cis / i0,
// Crc, omega, OmegaDot / idot, sources, week, - / SISA, health, BGD E5a/E1, BGD E5b/E1 / ttm.
inline GalFields galFields(const Rnx4Eph& r) {
  GalFields f;
  f.svid = r.prn;
  f.fnav = r.type == "FNAV";
  f.toc = (r.epochGps % kWeek) / 60;
  f.af0 = scaled(r.at(0), 34), f.af1 = scaled(r.at(1), 46), f.af2 = scaled(r.at(2), 59);
  f.iod = static_cast<std::int64_t>(r.at(3));
  f.crs = scaled(r.at(4), 5), f.dn = scaled(semi(r.at(5)), 43), f.m0 = scaled(semi(r.at(6)), 31);
  f.cuc = scaled(r.at(7), 29), f.e = scaled(r.at(8), 33), f.cus = scaled(r.at(9), 29), f.sqrtA = scaled(r.at(10), 19);
  f.toe = static_cast<std::int64_t>(r.at(11)) / 60;
  f.cic = scaled(r.at(12), 29), f.omega0 = scaled(semi(r.at(13)), 31), f.cis = scaled(r.at(14), 29);
  f.i0 = scaled(semi(r.at(15)), 31), f.crc = scaled(r.at(16), 5), f.omega = scaled(semi(r.at(17)), 31);
  f.omegaDot = scaled(semi(r.at(18)), 43), f.idot = scaled(semi(r.at(19)), 43);
  f.wn = static_cast<std::int64_t>(r.at(21)) - 1024;  // Galileo weeks start at GPS week 1024
  f.sisa = sisaIndex(r.at(23));
  f.health = static_cast<int>(r.at(24));
  f.bgdA = scaled(r.at(25), 32), f.bgdB = scaled(r.at(26), 32);
  return f;
}

// The file's Galileo time parameters and NeQuick coefficients as broadcast integers.
struct GalTime {
  std::int64_t a0 = 0, a1 = 0, tot = 0, wnot = 0, dtls = 18, wnlsf = 0, dn = 7, dtlsf = 18;
  std::int64_t a0g = 0, a1g = 0, t0g = 0, wn0g = 0;
  std::int64_t ai0 = 0, ai1 = 0, ai2 = 0;
};

inline GalTime galTime(const Rnx4Nav& nav) {
  GalTime t;
  t.dtls = nav.leap, t.dtlsf = nav.leapF, t.wnlsf = nav.wnLsf & 0xFF, t.dn = nav.dn;
  if (const Rnx4Sto* s = nav.stoOf('E', "GAUT")) {
    t.a0 = scaled(s->a0, 30), t.a1 = scaled(s->a1, 50);
    t.tot = (s->epoch % kWeek) / 3600, t.wnot = (s->epoch / kWeek - 1024) & 0xFF;
  }
  if (const Rnx4Sto* s = nav.stoOf('E', "GAGP")) {
    t.a0g = scaled(s->a0, 35), t.a1g = scaled(s->a1, 51);
    t.t0g = (s->epoch % kWeek) / 3600, t.wn0g = (s->epoch / kWeek - 1024) & 0x3F;
  }
  if (const Rnx4Ion* i = nav.ionOf('E', "IFNV"); i != nullptr && i->v.size() >= 3) {
    t.ai0 = scaled(i->v[0], 2), t.ai1 = scaled(i->v[1], 8), t.ai2 = scaled(i->v[2], 15);
  }
  return t;
}

// I/NAV word `type` (0-6; 0 the spare word with the time) as 128 bits, naming GST week `wn`,
// second `tow` where the word carries them.
inline Bits inavWord(const GalFields& f, const GalTime& t, int type, std::int64_t wn, std::int64_t tow) {
  Bits w(128);
  w.put(1, 6, type);
  if (type >= 1 && type <= 4) w.put(7, 10, f.iod);
  switch (type) {
    case 0:
      w.put(7, 2, 2), w.put(97, 12, wn), w.put(109, 20, tow);
      break;
    case 1:
      w.put(17, 14, f.toe), w.put(31, 32, f.m0), w.put(63, 32, f.e), w.put(95, 32, f.sqrtA);
      break;
    case 2:
      w.put(17, 32, f.omega0), w.put(49, 32, f.i0), w.put(81, 32, f.omega), w.put(113, 14, f.idot);
      break;
    case 3:
      w.put(17, 24, f.omegaDot), w.put(41, 16, f.dn), w.put(57, 16, f.cuc), w.put(73, 16, f.cus);
      w.put(89, 16, f.crc), w.put(105, 16, f.crs), w.put(121, 8, f.sisa);
      break;
    case 4:
      w.put(17, 6, f.svid), w.put(23, 16, f.cic), w.put(39, 16, f.cis), w.put(55, 14, f.toc);
      w.put(69, 31, f.af0), w.put(100, 21, f.af1), w.put(121, 6, f.af2);
      break;
    case 5:
      w.put(7, 11, t.ai0), w.put(18, 11, t.ai1), w.put(29, 14, t.ai2);
      w.put(48, 10, f.bgdA), w.put(58, 10, f.bgdB);
      w.put(68, 2, (f.health >> 7) & 3), w.put(70, 2, (f.health >> 1) & 3);  // E5b HS, E1-B HS
      w.put(72, 1, (f.health >> 6) & 1), w.put(73, 1, f.health & 1);          // E5b DVS, E1-B DVS
      w.put(74, 12, wn), w.put(86, 20, tow);
      break;
    default:  // 6: GST-UTC
      w.put(7, 32, t.a0), w.put(39, 24, t.a1), w.put(63, 8, t.dtls), w.put(71, 8, t.tot), w.put(79, 8, t.wnot);
      w.put(87, 8, t.wnlsf), w.put(95, 3, t.dn), w.put(98, 8, t.dtlsf), w.put(106, 20, tow);
      break;
  }
  return w;
}

// The almanac of the constellation (OS SIS ICD 5.1.10): per SVID 1-36 its orbit and clock at
// t0a, its E5b and E1-B signal health; issue, reference time (600-s units) and week (2 bits).
struct GalAlmanac {
  int iod = 0, t0a = 0, wna = 0;
  std::vector<KeplerAlm> sat = std::vector<KeplerAlm>(36);
  std::vector<int> hsE5b = std::vector<int>(36, 0), hsE1b = std::vector<int>(36, 0), hsE5a = std::vector<int>(36, 0);
};

// Whether the almanac's fields hold an orbit: delta sqrtA 13 bits of 2^-9, e 11 bits of 2^-16,
// delta i 11 bits of 2^-14 semicircles.
inline bool galAlmanacFits(const KeplerAlm& m) {
  const double dA = (m.sqrtA - std::sqrt(29600000.0)) * 512.0, di = (m.i / 3.1415926535898 - 56.0 / 180.0) * 16384.0;
  return std::fabs(dA) < 4095.5 && m.e * 65536.0 < 2047.5 && std::fabs(di) < 1023.5;
}

// The almanac fields I/NAV and F/NAV share, scaled alike (OS SIS ICD Tables 47-50 and 44-45):
// the orbit relative to the nominal one (square root of 29 600 km, 56 degrees), angles in
// semicircles. `next(n, v)` writes the next field of n bits.
struct GalAlmFields {
  // An angle's 16-bit field: within plus or minus a semicircle.
  static std::int64_t angle(double rad) { return scaled(semi(std::remainder(rad, 2 * kIcdPi)), 15); }
  // SVID (0 for a satellite the almanac does not hold), delta sqrtA, e, omega, delta i.
  template <class Next>
  static void orbitHead(Next& next, const KeplerAlm& m, int svid) {
    next(6, svid), next(13, scaled(m.sqrtA - std::sqrt(29600000.0), 9)), next(11, scaled(m.e, 16));
    next(16, angle(m.omega)), next(11, scaled(semi(m.i) - 56.0 / 180.0, 14));
  }
  static std::int64_t omegaDot(const KeplerAlm& m) { return scaled(semi(m.omegaDot), 33); }
};

// I/NAV almanac word `type` (7-10) of the satellites g + 1 .. g + 3 (OS SIS ICD 4.3.5,
// Tables 47-50); word 10 ends with the GST-GPS offset.
inline Bits inavAlmWord(const GalAlmanac& a, const GalTime& t, int type, int g) {
  using F = GalAlmFields;
  Bits w(128);
  int at = 1;
  auto next = [&](int n, std::int64_t v) {
    w.put(at, n, v);
    at += n;
  };
  auto sv = [&](int k) -> const KeplerAlm& { return a.sat[static_cast<std::size_t>(g + k)]; };
  auto id = [&](int k) { return sv(k).present ? g + k + 1 : 0; };
  auto orbit = [&](int k) {  // the head, Omega0, Omega dot
    F::orbitHead(next, sv(k), id(k));
    next(16, F::angle(sv(k).omega0)), next(11, F::omegaDot(sv(k)));
  };
  auto m0 = [&](int k) { next(16, F::angle(sv(k).m0)); };
  auto clock = [&](int k) {  // af0, af1, E5b HS, E1-B HS
    const std::size_t s = static_cast<std::size_t>(g + k);
    next(16, scaled(sv(k).af0, 19)), next(13, scaled(sv(k).af1, 38)), next(2, a.hsE5b[s]), next(2, a.hsE1b[s]);
  };
  next(6, type), next(4, a.iod);
  if (type == 7) {
    next(2, a.wna), next(10, a.t0a), orbit(0), m0(0);
  } else if (type == 8) {
    clock(0), orbit(1);
  } else if (type == 9) {
    next(2, a.wna), next(10, a.t0a), m0(1), clock(1);
    F::orbitHead(next, sv(2), id(2));
  } else {
    next(16, F::angle(sv(2).omega0)), next(11, F::omegaDot(sv(2)));
    m0(2), clock(2);
    next(16, t.a0g), next(12, t.a1g), next(8, t.t0g), next(6, t.wn0g);
  }
  return w;
}

// F/NAV almanac page `type` (5 or 6) of the satellites g + 1 .. g + 3 (OS SIS ICD 4.2.5, Tables
// 44 and 45): page 5 the time block, the first satellite and the second's orbit up to the 4 high
// bits of its Omega0; page 6 the rest of the second and the third; the fields those of I/NAV.
inline std::string fnavAlmPage(const GalAlmanac& a, int type, int g) {
  using F = GalAlmFields;
  Bits p(244);
  int at = 1;
  auto next = [&](int n, std::int64_t v) {
    p.put(at, n, v);
    at += n;
  };
  auto sv = [&](int k) -> const KeplerAlm& { return a.sat[static_cast<std::size_t>(g + k)]; };
  auto orbit = [&](int k) { F::orbitHead(next, sv(k), sv(k).present ? g + k + 1 : 0); };
  auto omega0 = [&](int k) { return F::angle(sv(k).omega0) & 0xFFFF; };
  auto rest = [&](int k) {  // Omega dot, M0, af0, af1, E5a HS
    next(11, F::omegaDot(sv(k))), next(16, F::angle(sv(k).m0));
    next(16, scaled(sv(k).af0, 19)), next(13, scaled(sv(k).af1, 38)), next(2, a.hsE5a[static_cast<std::size_t>(g + k)]);
  };
  next(6, type), next(4, a.iod);
  if (type == 5) {
    next(2, a.wna), next(10, a.t0a), orbit(0), next(16, omega0(0)), rest(0), orbit(1), next(4, omega0(1) >> 12);
  } else {
    next(12, omega0(1) & 0xFFF), rest(1), orbit(2), next(16, omega0(2)), rest(2);
  }
  p.put(215, 24, p.crc24q(1, 214));
  return p.bytes(31);
}

// A word as the nominal page pair that carries it: even half (even/odd 0, page type 0, 112 word
// bits, tail), odd half (even/odd 1, page type 0, the last 16 word bits, the 40 reserved, 22 SAR
// and 2 spare bits as zeros, the CRC over both halves' bits, reserved, tail), 30 bytes.
inline std::string inavPagePair(const Bits& word) {
  Bits p(240);
  for (int i = 1; i <= 112; ++i) p.set(2 + i, word.at(i));
  p.set(121, true);
  for (int i = 1; i <= 16; ++i) p.set(122 + i, word.at(112 + i));
  Bits c(196);
  for (int i = 1; i <= 114; ++i) c.set(i, p.at(i));
  for (int i = 1; i <= 82; ++i) c.set(114 + i, p.at(120 + i));
  p.put(203, 24, c.crc24q(1, 196));
  return p.bytes(30);
}

// F/NAV page `type` (1-4) naming GST week `wn`, second `tow`: type, 208 data bits, CRC, tail.
inline std::string fnavPage(const GalFields& f, const GalTime& t, int type, std::int64_t wn, std::int64_t tow) {
  Bits p(244);
  p.put(1, 6, type);
  if (type == 1) {
    p.put(7, 6, f.svid), p.put(13, 10, f.iod), p.put(23, 14, f.toc), p.put(37, 31, f.af0), p.put(68, 21, f.af1);
    p.put(89, 6, f.af2), p.put(95, 8, f.sisa), p.put(103, 11, t.ai0), p.put(114, 11, t.ai1), p.put(125, 14, t.ai2);
    p.put(144, 10, f.bgdA), p.put(154, 2, (f.health >> 4) & 3), p.put(156, 12, wn), p.put(168, 20, tow);
    p.put(188, 1, (f.health >> 3) & 1);
  } else if (type == 2) {
    p.put(7, 10, f.iod), p.put(17, 32, f.m0), p.put(49, 24, f.omegaDot), p.put(73, 32, f.e), p.put(105, 32, f.sqrtA);
    p.put(137, 32, f.omega0), p.put(169, 14, f.idot), p.put(183, 12, wn), p.put(195, 20, tow);
  } else if (type == 3) {
    p.put(7, 10, f.iod), p.put(17, 32, f.i0), p.put(49, 32, f.omega), p.put(81, 16, f.dn), p.put(97, 16, f.cuc);
    p.put(113, 16, f.cus), p.put(129, 16, f.crc), p.put(145, 16, f.crs), p.put(161, 14, f.toe), p.put(175, 12, wn);
    p.put(187, 20, tow);
  } else {
    p.put(7, 10, f.iod), p.put(17, 16, f.cic), p.put(33, 16, f.cis), p.put(49, 32, t.a0), p.put(81, 24, t.a1);
    p.put(105, 8, t.dtls), p.put(113, 8, t.tot), p.put(121, 8, t.wnot), p.put(129, 8, t.wnlsf), p.put(137, 3, t.dn);
    p.put(140, 8, t.dtlsf), p.put(148, 8, t.t0g), p.put(156, 16, t.a0g), p.put(172, 12, t.a1g), p.put(184, 6, t.wn0g);
    p.put(190, 20, tow);
  }
  p.put(215, 24, p.crc24q(1, 214));
  return p.bytes(31);
}

}  // namespace sim
