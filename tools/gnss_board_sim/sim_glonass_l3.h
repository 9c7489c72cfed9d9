// The simulator's GLONASS L3 strings, as the board repacks them for the program: a 3-bit string
// type (1-5) at bits 21-23, the string's time TS in 3-s units of the Moscow day at 24-38, the
// alert bit at 39, a "do not use" bit at 40, the fields from bit 41 (sign and magnitude), nine
// 32-bit words MSB first. Strings 1 and 2 carry the ephemeris of a RINEX 4 FDMA record at the
// finer L3 scales (every FDMA value is exact in them), strings 1, 2, 4 and 5 the time parameters,
// string 5 the GLONASS ionosphere model; string 3 (almanac, Earth rotation) only its header.
#pragma once

#include <cstdint>
#include <vector>

#include "sim_bits.h"
#include "sim_glonass.h"

namespace sim {

constexpr int kGloL3Words = 9;      // the fields reach bit 275
constexpr int kGloL3StringSec = 3;  // one string every 3 s, types 1-5 in turn
constexpr int kGloL3Types = 5;

// What the L3 strings carry besides the ephemeris: the time offsets (s, s/s) and the ionosphere
// model's three terms (a scale factor, the geomagnetic index Ap and the solar flux F10.7).
struct GloL3Time {
  double tauC = 0, tauCRate = 0, tauGps = 0, tauGpsRate = 0;
  double ionoFactor = 1.0;
  int ionoAp = 0, ionoFlux = 0;
  int kp = 0;  // of string 2: 1 when a leap second is announced for the quarter's end
};

// String `type` (1-5) of satellite `g` whose time is `ts` (3-s units of the Moscow day `day`).
inline Bits gloL3String(const GloEph& g, const GloL3Time& t, const GloDay& day, int type, std::int64_t ts) {
  Bits b(kGloL3Words * 32);
  b.put(21, 3, type), b.put(24, 15, ts), b.put(39, 1, g.health != 0 ? 1 : 0), b.put(40, 1, 0);
  // The accuracy index whose L3 table entry is the FDMA FT accuracy: the tables agree from 1 m up.
  const int accIdx = g.ft;
  if (type == 1) {
    b.put(41, 5, g.n4), b.put(46, 11, g.nt), b.put(57, 5, g.slot);
    b.put(65, 17, g.tbIndex * 900), b.put(82, 8, g.age), b.putSm(92, 5, accIdx);
    b.putSm(97, 29, scaled(g.tauN, 35)), b.putSm(126, 16, scaled(g.gammaN, 45));
    b.putSm(142, 13, 0);  // the FDMA record has no second-order clock term
    b.putSm(155, 7, scaled(g.dTauN, 32));
    b.putSm(162, 32, scaled(t.tauC, 31)), b.putSm(194, 13, scaled(t.tauCRate, 49));
    b.putSm(207, 22, scaled(t.tauGps, 30)), b.putSm(229, 22, scaled(t.tauGpsRate, 30));
  } else if (type == 2) {
    b.put(41, 8, g.age), b.putSm(51, 5, accIdx);
    for (int k = 0; k < 3; ++k) {
      b.putSm(58 + 32 * k, 32, scaled(g.pos[k], 16));
      b.putSm(154 + 30 * k, 30, scaled(g.vel[k], 26));
      b.putSm(244 + 10 * k, 10, scaled(g.acc[k], 35));
    }
    b.put(274, 2, t.kp);
  } else if (type == 4) {
    b.put(41, 5, day.n4), b.put(46, 11, day.nt);
    b.putSm(240, 17, 0), b.putSm(257, 10, 0), b.putSm(267, 8, 0);  // no UT1 offset
  } else if (type == 5) {
    b.put(223, 7, scaled(t.ionoFactor, 4)), b.put(230, 9, t.ionoAp), b.put(239, 9, t.ionoFlux);
  }
  return b;
}

}  // namespace sim
