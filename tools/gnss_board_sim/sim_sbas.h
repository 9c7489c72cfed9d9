// The simulator's own SBAS GEO: a geostationary satellite over the site's meridian that
// broadcasts an L1 service (RTCA DO-229D appendix A) and a dual-frequency L5 service (EUROCAE
// ED-259 / the ICAO DFMC SBAS SARPs), one message of each a second, for the GPS satellites and
// GLONASS slots of its PRN mask. Every message is written here field by field from the
// standards' tables; the board hands each on in a "WD" record, kind 0 for L1 and 1 for L5.
//
// L1 message: preamble 8 bits, type 6, data bits 15..226, CRC-24Q 227..250 (DO-229D A.4.3).
// L5 message: preamble 4 bits, type 6, data bits 11..226, CRC-24Q 227..250 (ED-259 6.3).
// Field positions below are those of the tables, 1-based from the first message bit.
#pragma once

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "sim_bits.h"

namespace sim {

constexpr double kGeoRadius = 42164169.0;  // m, the geostationary radius (mean motion = Earth rate)

struct SbasGeo {
  int prn = 0;                // 120..147, 0 none
  double lonDeg = 0;      // the sub-satellite meridian
  std::int64_t mt0From = -1;  // GPS seconds since 1980 from which it is in test mode, -1 never
  // The GEO's Earth-fixed position, m (on the equator: z = 0, still).
  void ecef(double p[3]) const {
    const double l = lonDeg * 3.14159265358979 / 180;
    p[0] = kGeoRadius * std::cos(l);
    p[1] = kGeoRadius * std::sin(l);
    p[2] = 0;
  }
};

// The mask of the simulator's GEO: GPS PRN 1..32 (slots 1..32), GLONASS slots 1..8 (mask bits
// 38..45, slots 33..40) and the GEO itself (slot 41).
constexpr int kSbasGlonassSlots = 8;
inline int sbasMaskSlots() { return 32 + kSbasGlonassSlots + 1; }

// The UTC parameters MT12 carries (A0, A1 as broadcast: integers of 2^-30 s and 2^-50 s/s).
constexpr std::int64_t kSbasUtcA0 = -12;
constexpr std::int64_t kSbasUtcA1 = 3;
constexpr int kSbasUtcLeap = 18;

class SbasL1 {
 public:
  explicit SbasL1(int type) : b_(256) {
    static const int kPreambles[3] = {0x53, 0x9A, 0xC6};
    b_.put(1, 8, kPreambles[next_++ % 3]);
    b_.put(9, 6, type);
  }
  // A data field at data position `pos` (1 = message bit 15).
  void put(int pos, int n, std::int64_t v) { b_.put(14 + pos, n, v); }
  std::string bytes() {
    b_.put(227, 24, b_.crc24q(1, 226));
    return b_.bytes(32);
  }

 private:
  Bits b_;
  static inline int next_ = 0;
};

class SbasL5 {
 public:
  explicit SbasL5(int type) : b_(256) {
    static const int kPreambles[6] = {0x5, 0xC, 0x6, 0x9, 0x3, 0xA};
    b_.put(1, 4, kPreambles[next_++ % 6]);
    b_.put(5, 6, type);
  }
  // A data field at data position `pos` (1 = message bit 11).
  void put(int pos, int n, std::int64_t v) { b_.put(10 + pos, n, v); }
  std::string bytes() {
    b_.put(227, 24, b_.crc24q(1, 226));
    return b_.bytes(32);
  }

 private:
  Bits b_;
  static inline int next_ = 0;
};

// MT0 of a GEO in test mode: no data (DO-229D A.4.4.1).
inline std::string sbasMt0() { return SbasL1(0).bytes(); }

// MT1 (A.4.4.2): 210 mask bits, IODP.
inline std::string sbasMt1(const SbasGeo& g, int iodp) {
  SbasL1 m(1);
  for (int prn = 1; prn <= 32; ++prn) m.put(prn, 1, 1);
  for (int slot = 1; slot <= kSbasGlonassSlots; ++slot) m.put(37 + slot, 1, 1);
  m.put(g.prn, 1, 1);
  m.put(211, 2, iodp);
  return m.bytes();
}

// MT2..5 (A.4.4.3): IODF, IODP, 13 fast corrections (0.125 m), 13 UDREIs; the corrections of
// slots 13(type-2)+1.. are slot-dependent decimetres.
inline std::string sbasFast(int type, int iodf, int iodp) {
  SbasL1 m(type);
  m.put(1, 2, iodf);
  m.put(3, 2, iodp);
  for (int i = 0; i < 13; ++i) {
    const int slot = 13 * (type - 2) + i + 1;
    m.put(5 + 12 * i, 12, slot <= sbasMaskSlots() ? (slot % 9) - 4 : 0);
    m.put(161 + 4 * i, 4, slot <= sbasMaskSlots() ? 5 : 15);
  }
  return m.bytes();
}

// MT6 (A.4.4.5): the IODFs of the four fast blocks, 51 UDREIs: 4 (0.75 m) for each slot of the
// mask, 15 (do not use) beyond it.
inline std::string sbasMt6(int iodf) {
  SbasL1 m(6);
  for (int k = 0; k < 4; ++k) m.put(1 + 2 * k, 2, iodf);
  for (int i = 0; i < 51; ++i) m.put(9 + 4 * i, 4, i < sbasMaskSlots() ? 4 : 15);
  return m.bytes();
}

// MT7 (A.4.4.5): system latency 4 bits, IODP, 2 spare, 51 degradation indicators.
inline std::string sbasMt7(int iodp) {
  SbasL1 m(7);
  m.put(1, 4, 2);
  m.put(5, 2, iodp);
  for (int i = 0; i < 51; ++i) m.put(9 + 4 * i, 4, 3);
  return m.bytes();
}

// MT9 (A.4.4.11): IODN 8, t0 13 (16 s), URA 4, X Y 30 (0.08 m), Z 25 (0.4 m), velocities 17 17
// 18 (0.000625, 0.000625, 0.004 m/s), accelerations 10 10 10 (0.0000125, 0.0000125, 0.0000625
// m/s^2), aGf0 12 (2^-31 s), aGf1 8 (2^-40 s/s). A GEO over a fixed meridian: no motion.
inline std::string sbasMt9(const SbasGeo& g, int secOfDay) {
  SbasL1 m(9);
  double p[3];
  g.ecef(p);
  m.put(1, 8, (secOfDay / 16) & 0xFF);
  m.put(9, 13, secOfDay / 16);
  m.put(22, 4, 2);
  m.put(26, 30, std::llround(p[0] / 0.08));
  m.put(56, 30, std::llround(p[1] / 0.08));
  m.put(86, 25, std::llround(p[2] / 0.4));
  m.put(193, 12, 5);   // 2.3 ns
  m.put(205, 8, -2);
  return m.bytes();
}

// MT10 (A.4.4.6) is not sent: the recorded services carry it.

// MT12 (A.4.4.15): A1 24 (2^-50), A0 32 (2^-30), t0t 8 (4096 s), WNt 8, dtLS 8, WNLSF 8, DN 8,
// dtLSF 8, UTC standard 3, GPS time of week 20, GPS week 10, GLONASS indicator 1.
inline std::string sbasMt12(int gpsWeek, int towS) {
  SbasL1 m(12);
  m.put(1, 24, kSbasUtcA1);
  m.put(25, 32, kSbasUtcA0);
  m.put(57, 8, (towS / 4096) & 0xFF);
  m.put(65, 8, gpsWeek & 0xFF);
  m.put(73, 8, kSbasUtcLeap);
  m.put(81, 8, gpsWeek & 0xFF);
  m.put(89, 8, 7);
  m.put(97, 8, kSbasUtcLeap);
  m.put(105, 3, 2);  // UTC(USNO)
  m.put(108, 20, towS);
  m.put(128, 10, gpsWeek & 0x3FF);
  return m.bytes();
}

// MT17 (A.4.4.12): three almanacs of 67 bits (data id 2, PRN 8, health 8, X Y 15 (2600 m), Z 9
// (26000 m), velocities 3 3 4 (10, 10, 60 m/s)) and t0 11 (64 s) at data position 202. The first
// is this GEO, the second a GEO 60 degrees east of it, the third empty.
inline std::string sbasMt17(const SbasGeo& g, int secOfDay) {
  SbasL1 m(17);
  const SbasGeo other{g.prn < 147 ? g.prn + 1 : g.prn - 1, g.lonDeg + 60.0};
  const SbasGeo* geos[2] = {&g, &other};
  for (int k = 0; k < 2; ++k) {
    double p[3];
    geos[k]->ecef(p);
    const int q = 67 * k + 1;
    m.put(q + 2, 8, geos[k]->prn);
    m.put(q + 10, 8, 0);
    m.put(q + 18, 15, std::llround(p[0] / 2600.0));
    m.put(q + 33, 15, std::llround(p[1] / 2600.0));
    m.put(q + 48, 9, std::llround(p[2] / 26000.0));
  }
  m.put(202, 11, secOfDay / 64);
  return m.bytes();
}

// MT25 (A.4.4.7): two halves of 106 bits. The first with velocity code 1 for GPS PRN `prn`
// (slot prn): mask number 6, IODE 8, dx dy dz 11 (0.125 m), daf0 11 (2^-31 s), dx' dy' dz' 8
// (2^-11 m/s), daf1 8 (2^-39 s/s), t0 13 (16 s), IODP 2. The second with velocity code 0 for two
// GLONASS slots (mask numbers 33+k): 6, IOD 8 (latency 3 bits, validity 5), dx dy dz 9 (0.125
// m), daf0 10 (2^-31 s), each; IODP 2, spare 1.
inline std::string sbasMt25(int prn, int iode, int iodp, int secOfDay, int gloSlot) {
  SbasL1 m(25);
  m.put(1, 1, 1);
  m.put(2, 6, prn);
  m.put(8, 8, iode);
  m.put(16, 11, 4);
  m.put(27, 11, -3);
  m.put(38, 11, 2);
  m.put(49, 11, -5);
  m.put(60, 8, 1);
  m.put(68, 8, -1);
  m.put(76, 8, 0);
  m.put(84, 8, 1);
  m.put(92, 13, secOfDay / 16);
  m.put(105, 2, iodp);
  m.put(107, 1, 0);
  for (int k = 0; k < 2; ++k) {
    const int q = 108 + 51 * k;
    m.put(q, 6, 32 + 1 + (gloSlot - 1 + k) % kSbasGlonassSlots);
    m.put(q + 6, 8, 0x1F);  // validity interval 31 x 30 s
    m.put(q + 14, 9, 3 - k);
    m.put(q + 23, 9, -2);
    m.put(q + 32, 9, 1);
    m.put(q + 41, 10, 4);
  }
  m.put(210, 2, iodp);
  return m.bytes();
}

// MT27 (A.4.4.13): IODS 3, messages - 1 3, message number 3, regions 3, priority 2, delta-UDRE
// indicators inside and outside 4 + 4, then regions of 35 bits (latitude 1 8, longitude 1 9,
// latitude 2 8, longitude 2 9, shape 1; whole degrees). One message, one square region of
// 10 degrees about the site.
inline std::string sbasMt27(int iods, double latDeg, double lonDeg) {
  SbasL1 m(27);
  m.put(1, 3, iods);
  m.put(4, 3, 0);
  m.put(7, 3, 0);
  m.put(10, 3, 1);
  m.put(13, 2, 1);
  m.put(15, 4, 2);
  m.put(19, 4, 9);
  const int lat = static_cast<int>(std::lround(latDeg)), lon = static_cast<int>(std::lround(lonDeg));
  m.put(23, 8, lat - 5);
  m.put(31, 9, lon - 5);
  m.put(40, 8, lat + 5);
  m.put(48, 9, lon + 5);
  m.put(57, 1, 1);
  return m.bytes();
}

// MT18 (A.4.4.9): number of bands 4, band 4, IODI 2, 201 mask bits. Band 9 (north of 55
// degrees) or 10 (south) with all 192 of its grid points: rows 60, 65, 70, 75 and 85 degrees.
constexpr int kPolarBandPoints = 192;
inline std::string sbasMt18(int band, int iodi) {
  SbasL1 m(18);
  m.put(1, 4, 1);
  m.put(5, 4, band);
  m.put(9, 2, iodi);
  for (int i = 0; i < kPolarBandPoints; ++i) m.put(11 + i, 1, 1);
  return m.bytes();
}

// MT26 (A.4.4.10): band 4, block id 4, 15 grid points of (vertical delay 9 bits (0.125 m),
// GIVEI 4), IODI 2. The delays rise by 0.125 m from grid point to grid point of the band from
// 2 m; GIVEI 6.
inline std::string sbasMt26(int band, int block, int iodi) {
  SbasL1 m(26);
  m.put(1, 4, band);
  m.put(5, 4, block);
  for (int i = 0; i < 15; ++i) {
    const int point = 15 * block + i;
    m.put(9 + 13 * i, 9, point < kPolarBandPoints ? 16 + point % 64 : 511);
    m.put(18 + 13 * i, 4, point < kPolarBandPoints ? 6 : 15);
  }
  m.put(204, 2, iodi);
  return m.bytes();
}

// ---- L5 (DFMC) ------------------------------------------------------------------------------

// MT31 (ED-259 table 6-6): 214 mask bits (1..32 GPS, 38..74 GLONASS, 75..111 Galileo, 120..158
// SBAS, 159..195 BeiDou, 196..202 QZSS), IODM 2. This one: GPS 1..32 and the GEO.
inline std::string dfmcMt31(const SbasGeo& g, int iodm) {
  SbasL5 m(31);
  for (int prn = 1; prn <= 32; ++prn) m.put(prn, 1, 1);
  m.put(g.prn, 1, 1);
  m.put(215, 2, iodm);
  return m.bytes();
}

// MT32 (table 6-7): satellite slot number 8, IODN 10, dx dy dz 11 (0.0625 m), dB 12 (2^-5 m),
// dx' dy' dz' 8 (2^-11 m/s), dB' 9 (2^-12 m/s), t0 13 (16 s), scale exponent 3, E11..E44 9
// each, E12 E13 E14 E23 E24 E34 10 signed each, DFREI 4, RCORR 4 (1/15).
inline std::string dfmcMt32(int satNumber, int iodn, int secOfDay) {
  SbasL5 m(32);
  m.put(1, 8, satNumber);
  m.put(9, 10, iodn);
  m.put(19, 11, 8);
  m.put(30, 11, -4);
  m.put(41, 11, 2);
  m.put(52, 12, -16);
  m.put(64, 8, 1);
  m.put(72, 8, -1);
  m.put(80, 8, 0);
  m.put(88, 9, 2);
  m.put(97, 13, secOfDay / 16);
  m.put(110, 3, 1);
  for (int i = 0; i < 4; ++i) m.put(113 + 9 * i, 9, 40 + i);
  for (int i = 0; i < 6; ++i) m.put(149 + 10 * i, 10, i - 3);
  m.put(209, 4, 4);
  m.put(213, 4, 3);
  return m.bytes();
}

// MT34 (table 6-9): 92 DFRECIs 2, 7 DFREIs 4, 2 reserved, IODM 2. Slot 1 increased (2), slot 2
// given the first DFREI (1), the rest unchanged (0).
inline std::string dfmcMt34(int iodm) {
  SbasL5 m(34);
  m.put(1, 2, 2);
  m.put(3, 2, 1);
  m.put(185, 4, 6);
  m.put(215, 2, iodm);
  return m.bytes();
}

// MT35 (table 6-10): DFREIs of slots 1..53, 4 bits each, 2 reserved, IODM; MT36 (table 6-11):
// slots 54..92, spare and reserved bits, IODM: the IODM in the last two data bits of both.
// DFREI 5 for every slot of the mask.
inline std::string dfmcMt3536(int type, int iodm, int slots) {
  SbasL5 m(type);
  const int first = type == 35 ? 0 : 53;
  const int count = type == 35 ? 53 : 39;
  for (int i = 0; i < count; ++i) m.put(1 + 4 * i, 4, first + i < slots ? 5 : 15);
  m.put(215, 2, iodm);
  return m.bytes();
}

// MT37 (table 6-12): Ivalid32 6 (6 s), Ivalid39/40 6 (6 s), CER 6 (0.5 m), Ccovariance 7 (0.1),
// six constellation blocks (Icorr 5 (6 s), Ccorr 8 (0.01 m), Rcorr 8 (0.2 mm/s)), the DFRE table
// of 15 entries of 4 bits, time reference identifier 3.
inline std::string dfmcMt37() {
  SbasL5 m(37);
  m.put(1, 6, 4);
  m.put(7, 6, 40);
  m.put(13, 6, 3);
  m.put(19, 7, 12);
  for (int k = 0; k < 6; ++k) {
    const int at = 26 + 21 * k;
    m.put(at, 5, 10 + k);
    m.put(at + 5, 8, 20 + k);
    m.put(at + 13, 8, 30 + k);
  }
  for (int i = 0; i < 15; ++i) m.put(152 + 4 * i, 4, i);
  m.put(212, 3, 0);
  return m.bytes();
}

// A QZSS L5S message (IS-QZSS-L5S): an 8-bit preamble and a 2-bit code in place of the DFMC
// preamble and type, then the data bits of the DFMC message `dfmc` (bits 11..226) and a new CRC.
// Preamble 0x53 codes 0..2 carry MT34, MT31, MT32; 0x9A code 1 MT37; 0xC6 code 1 MT47.
inline std::string qzssL5s(int preamble, int code, const std::string& dfmc) {
  Bits b(256);
  b.put(1, 8, preamble);
  b.put(9, 2, code);
  for (int i = 11; i <= 226; ++i)
    b.set(i, ((static_cast<unsigned char>(dfmc[static_cast<std::size_t>((i - 1) / 8)]) >> (7 - (i - 1) % 8)) & 1) != 0);
  b.put(227, 24, b.crc24q(1, 226));
  return b.bytes(32);
}

// The L5S message of a QZSS satellite at GPS second `gpsSec`: a cycle of 5 s (mask, corrections,
// DFRE changes, degradation, and an MT47 the DFMC decoders leave to others).
inline std::string qzssL5sOf(const SbasGeo& g, std::int64_t gpsSec) {
  const int secOfDay = static_cast<int>(gpsSec % 86400);
  constexpr int kIodm = 1;
  switch (gpsSec % 5) {
    case 0: return qzssL5s(0x53, 1, dfmcMt31(g, kIodm));
    case 1: return qzssL5s(0x53, 2, dfmcMt32(static_cast<int>(1 + gpsSec / 5 % 32), 0, secOfDay));
    case 2: return qzssL5s(0x53, 0, dfmcMt34(kIodm));
    case 3: return qzssL5s(0x9A, 1, dfmcMt37());
    default: return qzssL5s(0xC6, 1, dfmcMt37());
  }
}

// The L1 message of GPS second `gpsSec` (since 1980): a cycle of 12 s, MT0 in place of MT25's
// every fourth message once in test mode (the first at once).
inline std::string sbasL1Of(const SbasGeo& g, std::int64_t gpsSec, double latDeg) {
  // Above 55 degrees the odd seconds carry the polar band's grid (mask, then its 13 blocks).
  if (std::fabs(latDeg) >= 55 && gpsSec % 2 == 1) {
    const int band = latDeg > 0 ? 9 : 10, k = static_cast<int>(gpsSec / 2 % 14);
    return k == 0 ? sbasMt18(band, 2) : sbasMt26(band, k - 1, 2);
  }
  const int secOfDay = static_cast<int>(gpsSec % 86400);
  const int towS = static_cast<int>(gpsSec % 604800);
  const int week = static_cast<int>(gpsSec / 604800);
  constexpr int kIodp = 1, kIodf = 1;
  if (g.mt0From >= 0 && (gpsSec == g.mt0From || (gpsSec > g.mt0From && gpsSec % 4 == 3))) return sbasMt0();
  // The cycle runs on the seconds left to it.
  const std::int64_t n = std::fabs(latDeg) >= 55 ? gpsSec / 2 : gpsSec;
  switch (n % 12) {
    case 0: return sbasMt1(g, kIodp);
    case 1: return sbasFast(2, kIodf, kIodp);
    case 2: return sbasFast(3, kIodf, kIodp);
    case 3: return sbasFast(4, kIodf, kIodp);
    case 4: return sbasMt6(kIodf);
    case 5: return sbasMt7(kIodp);
    case 6: return sbasMt9(g, secOfDay);
    case 7: return sbasMt25(static_cast<int>(1 + n / 12 % 32), 0, kIodp, secOfDay, static_cast<int>(1 + n / 12 % 8));
    case 8: return sbasMt12(week, towS);
    case 9: return sbasMt17(g, secOfDay);
    case 10: return sbasMt27(1, latDeg, g.lonDeg);
    default: return sbasFast(5, kIodf, kIodp);
  }
}

// The L5 message of GPS second `gpsSec`: a cycle of 8 s, MT32 every other second for the GPS
// satellites in turn (mask slot n is GPS PRN n).
inline std::string sbasL5Of(const SbasGeo& g, std::int64_t gpsSec) {
  const int secOfDay = static_cast<int>(gpsSec % 86400);
  constexpr int kIodm = 2;
  switch (gpsSec % 8) {
    case 0: return dfmcMt31(g, kIodm);
    case 2: return dfmcMt34(kIodm);
    case 4: return dfmcMt3536(35, kIodm, 33);
    case 6: return dfmcMt3536(36, kIodm, 33);
    case 7: return dfmcMt37();
    default: return dfmcMt32(static_cast<int>(1 + gpsSec / 2 % 32), 0, secOfDay);
  }
}

}  // namespace sim
