// The simulator's GPS and QZSS CNAV messages (IS-GPS-200 section 30: types 10, 11 and 30 of the
// ephemeris, 13, 14 and 34 of the differential corrections, 35 of the offset to another GNSS's
// time; 300 bits with their CRC-24Q) and CNAV-2 frames (IS-GPS-800 section 3.5: the TOI, subframe
// 2 with its CRC and a subframe 3 page with its CRC, 883 bits after the decoding of subframe 1),
// from a RINEX 4 CNAV or CNV2 record, as the board hands them on: the bits upright, MSB first.
#pragma once

#include <cstdint>
#include <string>

#include "sim_bits.h"
#include "sim_rinex4.h"

namespace sim {

// The broadcast integers of one CNAV or CNAV-2 ephemeris, clock and group delays.
struct CnavFields {
  int prn = 0;     // 1..32 (GPS), 193.. (QZSS)
  bool qzss = false;
  std::int64_t wn = 0, health = 0, top = 0, uraEd = 0, toe = 0, dA = 0, aDot = 0, dn0 = 0, dn0Dot = 0;
  std::int64_t m0 = 0, e = 0, omega = 0, omega0 = 0, i0 = 0, dOmegaDot = 0, idot = 0;
  std::int64_t cis = 0, cic = 0, crs = 0, crc = 0, cus = 0, cuc = 0;
  std::int64_t ned0 = 0, ned1 = 0, ned2 = 0, toc = 0, af0 = 0, af1 = 0, af2 = 0;
  std::int64_t tgd = 0, isc[4] = {}, iscL1Cp = 0, iscL1Cd = 0;
};

constexpr std::int64_t kCnavNoIsc = -4096;  // 1000000000000b: "not available"

inline std::int64_t iscField(const Rnx4Eph& r, std::size_t at) {
  return at < r.blank.size() && r.blank[at] ? kCnavNoIsc : scaled(r.at(at), 35);
}

// The fields of a RINEX 4 CNAV (or CNV2) record of GPS or QZSS (RINEX 4.00 table A32: Adot, Crs,
// dn0, M0 / Cuc, e, Cus, sqrtA / top, Cic, Omega0, Cis / i0, Crc, omega, OmegaDot / idot, dn0dot,
// URAI NED0, NED1 / URAI ED, health, TGD, NED2 / the ISCs / (CNV2: ISC L1Cd, L1Cp) / ttm, week).
inline CnavFields cnavFields(const Rnx4Eph& r) {
  CnavFields f;
  f.qzss = r.sys == 'J';
  f.prn = f.qzss ? 192 + r.prn : r.prn;
  const double aRef = f.qzss ? 42164200.0 : 26559710.0;
  const double sqrtA = r.at(10);
  f.toe = f.toc = (r.epochGps % kWeek) / 300;
  f.wn = static_cast<std::int64_t>(r.type == "CNV2" ? r.at(36) : r.at(32));
  f.top = static_cast<std::int64_t>(r.at(11)) % kWeek / 300;
  f.health = static_cast<std::int64_t>(r.at(24));
  f.uraEd = static_cast<std::int64_t>(r.at(23));
  f.ned0 = static_cast<std::int64_t>(r.at(21));
  f.ned1 = static_cast<std::int64_t>(r.at(22));
  f.ned2 = static_cast<std::int64_t>(r.at(26));
  f.dA = scaled(sqrtA * sqrtA - aRef, 9);
  f.aDot = scaled(r.at(3), 21);
  f.dn0 = scaled(semi(r.at(5)), 44);
  f.dn0Dot = scaled(semi(r.at(20)), 57);
  f.m0 = scaled(semi(r.at(6)), 32);
  f.e = scaled(r.at(8), 34);
  f.omega = scaled(semi(r.at(17)), 32);
  f.omega0 = scaled(semi(r.at(13)), 32);
  f.i0 = scaled(semi(r.at(15)), 32);
  f.dOmegaDot = scaled(semi(r.at(18)) + 2.6e-9, 44);  // relative to -2.6e-9 semicircles/s
  f.idot = scaled(semi(r.at(19)), 44);
  f.cis = scaled(r.at(14), 30), f.cic = scaled(r.at(12), 30);
  f.crs = scaled(r.at(4), 8), f.crc = scaled(r.at(16), 8);
  f.cus = scaled(r.at(9), 30), f.cuc = scaled(r.at(7), 30);
  f.af0 = scaled(r.at(0), 35), f.af1 = scaled(r.at(1), 48), f.af2 = scaled(r.at(2), 60);
  f.tgd = iscField(r, 25);
  for (int k = 0; k < 4; ++k) f.isc[k] = iscField(r, 27 + static_cast<std::size_t>(k));
  if (r.type == "CNV2") {
    f.iscL1Cd = iscField(r, 31);
    f.iscL1Cp = iscField(r, 32);
  } else {
    f.iscL1Cd = f.iscL1Cp = kCnavNoIsc;
  }
  return f;
}

// A CNAV message of type 10, 11 or 30 whose header names `towCount` (the TOW of the next
// message, in 6 s).
inline Bits cnavMessage(const CnavFields& f, int type, std::int64_t towCount) {
  Bits b(300);
  b.put(1, 8, 0x8B);
  b.put(9, 6, f.prn % 64);
  b.put(15, 6, type);
  b.put(21, 17, towCount);
  b.put(38, 1, 0);  // alert
  if (type == 10) {
    b.put(39, 13, f.wn), b.put(52, 3, f.health), b.put(55, 11, f.top), b.put(66, 5, f.uraEd);
    b.put(71, 11, f.toe), b.put(82, 26, f.dA), b.put(108, 25, f.aDot), b.put(133, 17, f.dn0);
    b.put(150, 23, f.dn0Dot), b.put(173, 33, f.m0), b.put(206, 33, f.e), b.put(239, 33, f.omega);
    b.put(272, 1, 0), b.put(273, 1, 0);  // integrity status, L2C phasing
  } else if (type == 11) {
    b.put(39, 11, f.toe), b.put(50, 33, f.omega0), b.put(83, 33, f.i0), b.put(116, 17, f.dOmegaDot);
    b.put(133, 15, f.idot), b.put(148, 16, f.cis), b.put(164, 16, f.cic), b.put(180, 24, f.crs);
    b.put(204, 24, f.crc), b.put(228, 21, f.cus), b.put(249, 21, f.cuc);
  } else {
    b.put(39, 11, f.top), b.put(50, 5, f.ned0), b.put(55, 3, f.ned1), b.put(58, 3, f.ned2);
    b.put(61, 11, f.toc), b.put(72, 26, f.af0), b.put(98, 20, f.af1), b.put(118, 10, f.af2);
    b.put(128, 13, f.tgd);
    for (int k = 0; k < 4; ++k) b.put(141 + 13 * k, 13, f.isc[k]);
    // The Klobuchar terms (193-256) and WNop (257-264) left 0.
  }
  b.put(277, 24, b.crc24q(1, 276));
  return b;
}

// What the corrections and time-offset messages carry: the satellites the differential
// corrections name (as broadcast, 255 none), whose clock and orbit corrections are all 0, the
// sky's orbits and clocks being the broadcast ones; their tOD and top_D (300-s units); and the
// offset to another GNSS's time (A0 2^-35 s, A1 2^-51 s/s, A2 2^-68 s/s^2 as broadcast, its
// reference time in 16-s units), GNSS ID 0 when there is none to tell.
struct CnavExtra {
  int dcSats[6] = {255, 255, 255, 255, 255, 255};
  std::int64_t tod = 0, topD = 0;
  std::int64_t gnssId = 0, tGgto = 0, wnGgto = 0, a0 = 0, a1 = 0, a2 = 0;
};

// A clock correction packet (DC data type 0) at `bit` for satellite `sat`, its corrections and
// UDRA index 0; an ephemeris correction packet (92 bits) begins the same way.
inline void cnavCdc(Bits& b, int bit, int sat) { b.put(bit, 8, sat); }
inline void cnavEdc(Bits& b, int bit, int sat) { b.put(bit, 8, sat); }

// A CNAV message of type 13 (six clock corrections), 14 (two ephemeris corrections), 34 (the
// clock, one of each) or 35 (the clock and the offset to another GNSS's time), IS-GPS-200 Figures
// 30-10, 30-11, 30-7 and 30-8.
inline Bits cnavCorrMessage(const CnavFields& f, const CnavExtra& x, int type, std::int64_t towCount) {
  Bits b(300);
  b.put(1, 8, 0x8B), b.put(9, 6, f.prn % 64), b.put(15, 6, type), b.put(21, 17, towCount), b.put(38, 1, 0);
  if (type == 13 || type == 14) {
    b.put(39, 11, x.topD), b.put(50, 11, x.tod);
    for (int k = 0; k < (type == 13 ? 6 : 2); ++k) {
      const int at = 61 + (type == 13 ? 35 : 93) * k;
      b.put(at, 1, 0);
      if (type == 13) cnavCdc(b, at + 1, x.dcSats[k]);
      else cnavEdc(b, at + 1, x.dcSats[k]);
    }
  } else {
    b.put(39, 11, f.top), b.put(50, 5, f.ned0), b.put(55, 3, f.ned1), b.put(58, 3, f.ned2);
    b.put(61, 11, f.toc), b.put(72, 26, f.af0), b.put(98, 20, f.af1), b.put(118, 10, f.af2);
    if (type == 34) {
      b.put(128, 11, x.topD), b.put(139, 11, x.tod), b.put(150, 1, 0);
      cnavCdc(b, 151, x.dcSats[0]), cnavEdc(b, 185, x.dcSats[0]);
    } else {
      b.put(128, 16, x.tGgto), b.put(144, 13, x.wnGgto), b.put(157, 3, x.gnssId);
      b.put(160, 16, x.a0), b.put(176, 13, x.a1), b.put(189, 7, x.a2);
    }
  }
  b.put(277, 24, b.crc24q(1, 276));
  return b;
}

// A CNAV-2 frame whose TOI and ITOW name the start of the next frame: subframe 2 at bit 10 and
// subframe 3 at bit 610 with page `page`: 2 (the offset to another GNSS's time; the Earth
// orientation left 0), 5 (one clock and one ephemeris correction) or 6 (the text "GNSS BOARD
// SIMULATOR"), IS-GPS-800 Figures 3.5-4, 3.5-7 and 3.5-8.
inline Bits cnav2Frame(const CnavFields& f, std::int64_t toi, std::int64_t itow, int page = 6,
                       const CnavExtra& x = CnavExtra{}) {
  Bits b(28 * 32);
  b.put(1, 9, toi);
  b.put(10, 13, f.wn), b.put(23, 8, itow), b.put(31, 11, f.top), b.put(42, 1, f.health & 1);
  b.put(43, 5, f.uraEd), b.put(48, 11, f.toe), b.put(59, 26, f.dA), b.put(85, 25, f.aDot);
  b.put(110, 17, f.dn0), b.put(127, 23, f.dn0Dot), b.put(150, 33, f.m0), b.put(183, 33, f.e);
  b.put(216, 33, f.omega), b.put(249, 33, f.omega0), b.put(282, 33, f.i0), b.put(315, 17, f.dOmegaDot);
  b.put(332, 15, f.idot), b.put(347, 16, f.cis), b.put(363, 16, f.cic), b.put(379, 24, f.crs);
  b.put(403, 24, f.crc), b.put(427, 21, f.cus), b.put(448, 21, f.cuc), b.put(469, 5, f.ned0);
  b.put(474, 3, f.ned1), b.put(477, 3, f.ned2), b.put(480, 26, f.af0), b.put(506, 20, f.af1);
  b.put(526, 10, f.af2), b.put(536, 13, f.tgd), b.put(549, 13, f.iscL1Cp), b.put(562, 13, f.iscL1Cd);
  b.put(575, 1, 0), b.put(576, 8, f.wn & 0xFF);  // ISF, WNop
  b.put(586, 24, b.crc24q(10, 576));
  b.put(610, 8, f.prn);
  b.put(618, 6, page);
  if (page == 2) {
    b.put(624, 3, x.gnssId), b.put(627, 16, x.tGgto), b.put(643, 13, x.wnGgto);
    b.put(656, 16, x.a0), b.put(672, 13, x.a1), b.put(685, 7, x.a2);
  } else if (page == 5) {
    b.put(624, 11, x.topD), b.put(635, 11, x.tod), b.put(646, 1, 0);
    cnavCdc(b, 647, x.dcSats[0]), cnavEdc(b, 681, x.dcSats[0]);
  } else {
    const std::string text = "GNSS BOARD SIMULATOR";
    for (int k = 0; k < 29; ++k)
      b.put(624 + 8 * k, 8, k < static_cast<int>(text.size()) ? text[static_cast<std::size_t>(k)] : ' ');
  }
  b.put(860, 24, b.crc24q(610, 250));
  return b;
}

}  // namespace sim
