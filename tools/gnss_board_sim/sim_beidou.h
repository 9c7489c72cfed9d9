// The simulator's BeiDou broadcast, from RINEX 4 D1, D2, CNV1 and CNV2 records:
// - D1 subframes 1-3 and the ten D2 pages of subframe 1 (BDS-SIS-ICD-B1I 3.0 5.2 and 5.3), each
//   word's data bits followed by their BCH(15,11) check bits (g(x) = x^4 + x + 1), as the board
//   hands them on after de-interleaving: 300 bits, MSB first, in ten 32-bit words;
// - B-CNAV1 frames (BDS-SIS-ICD-B1C 1.0 6.2: subframe 2 at bit 1 and subframe 3 at bit 609, each
//   with its CRC-24Q), B-CNAV2 messages 10, 11 and 30 (BDS-SIS-ICD-B2a 1.0 6.2, 288 bits with
//   CRC) and B-CNAV3 messages 10 and 30 (BDS-SIS-ICD-B2b 1.0, 486 bits with CRC).
#pragma once

#include <cmath>
#include <cstdint>
#include <vector>

#include "sim_bits.h"
#include "sim_iono.h"
#include "sim_kepler.h"
#include "sim_rinex4.h"

namespace sim {

// BDT second of week of a GPS second.
inline std::int64_t bdtSow(std::int64_t gps) { return ((gps - kBdtGpsSec) % kWeek + kWeek) % kWeek; }

// ---- D1 and D2 ---------------------------------------------------------------------------------

struct D1Fields {
  int prn = 0;
  std::int64_t satH1 = 0, aodc = 0, urai = 0, wn = 0, toc = 0, tgd1 = 0, tgd2 = 0, alpha[4] = {}, beta[4] = {};
  std::int64_t a0 = 0, a1 = 0, a2 = 0, aode = 0, dn = 0, cuc = 0, m0 = 0, e = 0, cus = 0, crc = 0, crs = 0;
  std::int64_t sqrtA = 0, toe = 0, i0 = 0, cic = 0, omegaDot = 0, cis = 0, idot = 0, omega0 = 0, omega = 0;
};

// The URA index whose bound (BDS-SIS-ICD-B1I 5.2.4.5) first holds a value in metres.
inline int bdsUraIndex(double m) {
  static const double kBound[15] = {2.4, 3.4, 4.85, 6.85, 9.65, 13.65, 24, 48, 96, 192, 384, 768, 1536, 3072, 6144};
  for (int i = 0; i < 15; ++i)
    if (m <= kBound[i]) return i;
  return 15;
}

// RINEX 4.00 table A36: AODE, Crs, dn, M0 / Cuc, e, Cus, sqrtA / toe, Cic, Omega0, Cis / i0, Crc,
// omega, OmegaDot / idot, -, week, - / accuracy, SatH1, TGD1, TGD2 / ttm, AODC; with the file's
// Klobuchar terms (ION D1D2).
inline D1Fields d1Fields(const Rnx4Eph& r, const Rnx4Nav& nav) {
  D1Fields f;
  f.prn = r.prn;
  f.a0 = scaled(r.at(0), 33), f.a1 = scaled(r.at(1), 50), f.a2 = scaled(r.at(2), 66);
  f.aode = static_cast<std::int64_t>(r.at(3));
  f.crs = scaled(r.at(4), 6), f.dn = scaled(semi(r.at(5)), 43), f.m0 = scaled(semi(r.at(6)), 31);
  f.cuc = scaled(r.at(7), 31), f.e = scaled(r.at(8), 33), f.cus = scaled(r.at(9), 31), f.sqrtA = scaled(r.at(10), 19);
  f.toe = static_cast<std::int64_t>(r.at(11)) / 8;
  f.cic = scaled(r.at(12), 31), f.omega0 = scaled(semi(r.at(13)), 31), f.cis = scaled(r.at(14), 31);
  f.i0 = scaled(semi(r.at(15)), 31), f.crc = scaled(r.at(16), 6), f.omega = scaled(semi(r.at(17)), 31);
  f.omegaDot = scaled(semi(r.at(18)), 43), f.idot = scaled(semi(r.at(19)), 43);
  f.wn = static_cast<std::int64_t>(r.at(21));
  f.urai = bdsUraIndex(r.at(23));
  f.satH1 = static_cast<std::int64_t>(r.at(24));
  f.tgd1 = std::llround(r.at(25) * 1e10), f.tgd2 = std::llround(r.at(26) * 1e10);  // 0.1 ns
  f.aodc = static_cast<std::int64_t>(r.at(28));
  f.toc = bdtSow(r.epochGps) / 8;
  if (const Rnx4Ion* i = nav.ionOf('C', "D1D2"); i != nullptr && i->v.size() >= 8) {
    const int ap[4] = {30, 27, 24, 24}, bp[4] = {-11, -14, -16, -16};
    for (int k = 0; k < 4; ++k) f.alpha[k] = scaled(i->v[static_cast<std::size_t>(k)], ap[k]);
    for (int k = 0; k < 4; ++k) f.beta[k] = scaled(i->v[4 + static_cast<std::size_t>(k)], bp[k]);
  }
  return f;
}

// BCH(15,11) check bits of 11 data bits.
inline std::uint32_t bch15(std::uint32_t data) {
  std::uint32_t r = data << 4;
  for (int i = 14; i >= 4; --i)
    if (r & (1u << i)) r ^= 0x13u << (i - 4);
  return r & 0xFu;
}

// The check bits of a de-interleaved D1 or D2 subframe: word 1's bits 16-26 are one code word,
// with its check bits at 27-30; each other word's bits 1-11 and 12-22 are two, with theirs at
// 23-26 and 27-30.
inline void d1AddParity(Bits& b) {
  b.put(27, 4, bch15(static_cast<std::uint32_t>(b.get(16, 11))));
  for (int w = 1; w < 10; ++w) {
    const int at = 30 * w + 1;
    b.put(at + 22, 4, bch15(static_cast<std::uint32_t>(b.get(at, 11))));
    b.put(at + 26, 4, bch15(static_cast<std::uint32_t>(b.get(at + 11, 11))));
  }
}

// Writes the data bits of a subframe in transmission order: 26 in word 1, 22 in each other
// word; `finish` adds the check bits of each word.
class D1Stream {
 public:
  D1Stream() : b_(320) {}
  D1Stream& put(std::int64_t v, int n) {
    for (int i = n - 1; i >= 0; --i, ++data_) {
      const int word = data_ < 26 ? 0 : 1 + (data_ - 26) / 22;
      const int in = data_ < 26 ? data_ : (data_ - 26) % 22;
      b_.set(word * 30 + in + 1, ((static_cast<std::uint64_t>(v) >> i) & 1u) != 0);
    }
    return *this;
  }
  Bits finish() {
    d1AddParity(b_);
    return b_;
  }

 private:
  Bits b_;
  int data_ = 0;
};

// Preamble, Rev, FraID and the SOW of the subframe's start.
inline D1Stream d1Header(int fraId, std::int64_t sow) {
  D1Stream d;
  d.put(0x712, 11).put(0, 4).put(fraId, 3).put(sow, 20);
  return d;
}

// D1 subframe `id` (1-3) starting at BDT second of week `sow`.
inline Bits d1Subframe(const D1Fields& f, int id, std::int64_t sow) {
  D1Stream d = d1Header(id, sow);
  if (id == 1) {
    d.put(f.satH1, 1).put(f.aodc, 5).put(f.urai, 4).put(f.wn, 13).put(f.toc, 17).put(f.tgd1, 10).put(f.tgd2, 10);
    for (std::int64_t x : f.alpha) d.put(x, 8);
    for (std::int64_t x : f.beta) d.put(x, 8);
    d.put(f.a2, 11).put(f.a0, 24).put(f.a1, 22).put(f.aode, 5);
  } else if (id == 2) {
    d.put(f.dn, 16).put(f.cuc, 18).put(f.m0, 32).put(f.e, 32).put(f.cus, 18).put(f.crc, 18).put(f.crs, 18);
    d.put(f.sqrtA, 32).put(f.toe >> 15, 2);
  } else {
    d.put(f.toe & 0x7FFF, 15).put(f.i0, 32).put(f.cic, 18).put(f.omegaDot, 24).put(f.cis, 18).put(f.idot, 14);
    d.put(f.omega0, 32).put(f.omega, 32).put(0, 1);
  }
  return d.finish();
}

// The almanac of satellites 1-30 as D1 subframes 4 and 5 carry it (BDS-SIS-ICD-B1I 3.0
// 5.2.4.15-5.2.4.17): per satellite its orbit and clock at toa (a GEO's, PRN 1-5, inclination
// counted from 0, the others' from 0.30 semicircles) and its 9-bit health (0 good, the top bit
// set: clock unusable; all ones: no satellite); toa (4096-s units) and its week (8 bits).
// The UTC parameters of subframe 5 page 10: A0UTC (s), A1UTC (s/s), the leap seconds of BDT, the
// 8-bit week WNLSF and the day DN (0 Sunday) of the last leap second.
struct D1Utc {
  bool present = false;
  double a0 = 0, a1 = 0;
  int dtls = 0, dtlsf = 0, wnlsf = 0, dn = 0;
};

struct D1Almanac {
  std::vector<KeplerAlm> sat = std::vector<KeplerAlm>(30);
  std::vector<int> health = std::vector<int>(30, 0x1FF);
  int toa = 0, wna = 0;
  D1Utc utc;
};

// The UTC page from the file's first BDT-UTC offset; the leap second of its header (GPS weeks and
// days 1-7) told in BDT, which began 14 s after GPS time and 1356 weeks later.
inline D1Utc d1UtcOf(const Rnx4Nav& nav) {
  D1Utc u;
  const Rnx4Sto* s = nav.stoOf('C', "BDUT");
  if (s == nullptr) return u;
  u.a0 = s->a0, u.a1 = s->a1;
  u.dtls = nav.leap - 14, u.dtlsf = nav.leapF - 14;
  u.wnlsf = (nav.wnLsf - 1356) % 256, u.dn = nav.dn - 1;
  u.present = true;
  return u;
}

// Page `page` (1-24) of D1 subframe `id` (4 or 5) starting at BDT second of week `sow`: subframe 4
// pages 1-24 and subframe 5 pages 1-6 the almanac of satellites 1-30, subframe 5 page 7 the health
// of 1-19, page 8 that of 20-30 with WNa and toa, page 10 the UTC parameters
// (BDS-SIS-ICD-B1I 3.0 5.2.4.20); the other pages carry nothing this simulator knows (left at
// zero).
inline Bits d1AlmPage(const D1Almanac& a, int id, int page, std::int64_t sow) {
  constexpr double kPi = 3.1415926535898;
  D1Stream d = d1Header(id, sow);
  d.put(0, 1).put(page, 7);
  const int prn = id == 4 ? page : page <= 6 ? 24 + page : 0;
  if (prn > 0) {
    const KeplerAlm& m = a.sat[static_cast<std::size_t>(prn - 1)];
    if (!m.present) return d.finish();
    const double i0 = prn <= 5 ? 0.0 : 0.30;
    d.put(scaled(m.sqrtA, 11), 24).put(scaled(m.af1, 38), 11).put(scaled(m.af0, 20), 11);
    d.put(scaled(std::remainder(m.omega0, 2 * kPi) / kPi, 23), 24).put(scaled(m.e, 21), 17);
    d.put(scaled(m.i / kPi - i0, 19), 16).put(a.toa >> 12, 8).put(scaled(m.omegaDot / kPi, 38), 17);
    d.put(scaled(std::remainder(m.omega, 2 * kPi) / kPi, 23), 24).put(scaled(std::remainder(m.m0, 2 * kPi) / kPi, 23), 24);
    d.put(0, 2);  // AmEpID
  } else if (page == 7) {
    for (int k = 0; k < 19; ++k) d.put(a.health[static_cast<std::size_t>(k)], 9);
  } else if (page == 8) {
    for (int k = 19; k < 30; ++k) d.put(a.health[static_cast<std::size_t>(k)], 9);
    d.put(a.wna, 8).put(a.toa >> 12, 8);
  } else if (id == 5 && page == 10 && a.utc.present) {
    const D1Utc& u = a.utc;
    d.put(u.dtls, 8).put(u.dtlsf, 8).put(u.wnlsf, 8).put(scaled(u.a0, 30), 32).put(scaled(u.a1, 50), 24).put(u.dn, 8);
  }
  return d.finish();
}

// Page `page` (1-10) of D2 subframe 1 starting at BDT second of week `sow`.
inline Bits d2Page(const D1Fields& f, int page, std::int64_t sow) {
  D1Stream d = d1Header(1, sow);
  d.put(page, 4);
  switch (page) {
    case 1: d.put(f.satH1, 1).put(f.aodc, 5).put(f.urai, 4).put(f.wn, 13).put(f.toc, 17).put(f.tgd1, 10).put(f.tgd2, 10); break;
    case 2:
      for (std::int64_t a : f.alpha) d.put(a, 8);
      for (std::int64_t b : f.beta) d.put(b, 8);
      break;
    case 3: d.put(0, 38).put(f.a0, 24).put(f.a1 >> 18, 4); break;
    case 4: d.put(f.a1 & 0x3FFFF, 18).put(f.a2, 11).put(f.aode, 5).put(f.dn, 16).put(f.cuc >> 4, 14); break;
    case 5: d.put(f.cuc & 0xF, 4).put(f.m0, 32).put(f.cus, 18).put(f.e >> 22, 10); break;
    case 6: d.put(f.e & 0x3FFFFF, 22).put(f.sqrtA, 32).put(f.cic >> 8, 10); break;
    case 7: d.put(f.cic & 0xFF, 8).put(f.cis, 18).put(f.toe, 17).put(f.i0 >> 11, 21); break;
    case 8: d.put(f.i0 & 0x7FF, 11).put(f.crc, 18).put(f.crs, 18).put(f.omegaDot >> 5, 19); break;
    case 9: d.put(f.omegaDot & 0x1F, 5).put(f.omega0, 32).put(f.omega >> 5, 27); break;
    default: d.put(f.omega & 0x1F, 5).put(f.idot, 14); break;
  }
  return d.finish();
}

// ---- B-CNAV ------------------------------------------------------------------------------------

// The wide-area corrections of the D2 message (BDS-SIS-ICD-B1I 3.0 5.3.3): subframe 2 page
// `page` (1-6) with the BDID mask of the satellites corrected (bit 30 - n for satellite n), their
// UDRE indices and the first of the page's three equivalent clock corrections (0.1 m), subframe 3
// with the other two; subframe 5 grid pages (1-13, 61-73) of 13 points, each a vertical delay
// (9 bits, 0.125 m) and its GIVE index (4 bits). The sky's orbits and clocks are those broadcast:
// every correction is 0; its ionosphere is none (every delay 0) or, with `iono`, SkyIono's. Grid
// page 1-13 is block 0-12, 61-73 block 13-25; point k of block b is grid point n = 13 b + k (of the
// half-degree rows for blocks from 13 on, n counted from their first) at longitude 70 + 5 (n / 10)
// and latitude 10 + 5 (n % 10), or 7.5 + 5 (n % 10) on those rows; n from 160 on is no point.
inline Bits d2CorrSubframe(int fraId, int page, std::uint32_t bdid, int count, std::int64_t sow, bool iono = false) {
  D1Stream d = d1Header(fraId, sow);
  d.put(0, 1);
  if (fraId == 2) {
    d.put(page, 4).put(0, 1).put(0, 1).put(bdid, 30).put(0, 60);
    for (int k = 0; k < 18; ++k) d.put(k < count ? 2 : 15, 4);  // UDREI 2 (2 m); 15: not monitored
    d.put(2, 4).put(3 * (page - 1) < count ? 0 : -4096, 13);
  } else if (fraId == 3) {
    for (int j = 1; j < 3; ++j) d.put(2, 4).put(3 * (page - 1) + j < count ? 0 : -4096, 13);
  } else {
    d.put(page, 7);
    const bool half = page >= 61;
    const int block = half ? page - 61 : page - 1;
    for (int k = 0; k < 13; ++k) {
      const int n = 13 * block + k;
      const double lat = (half ? 7.5 : 10.0) + 5.0 * (n % 10), lon = 70.0 + 5.0 * (n / 10);
      const long code = n >= 160 ? 511 : iono ? std::lround(SkyIono::vertical(lat, lon) / 0.125) : 0;
      d.put(code, 9).put(2, 4);
    }
  }
  return d.finish();
}

struct BcnavFields {
  int prn = 0;
  std::int64_t toe = 0, satType = 3, dA = 0, aDot = 0, dn0 = 0, dn0Dot = 0, m0 = 0, e = 0, omega = 0;
  std::int64_t omega0 = 0, i0 = 0, omegaDot = 0, idot = 0, cis = 0, cic = 0, crs = 0, crc = 0, cus = 0, cuc = 0;
  std::int64_t toc = 0, a0 = 0, a1 = 0, a2 = 0, iodc = 0, iode = 0;
  std::int64_t tgdB1Cp = 0, tgdB2ap = 0, iscB1Cd = 0, iscB2ad = 0;
  std::int64_t hs = 0, dif = 0, sif = 0, aif = 0, sismai = 0;
  std::int64_t bdgim[9] = {};  // alpha1..alpha9 as broadcast
};

// RINEX 4.00 table A36 (CNV1, CNV2): Adot, Crs, dn0, M0 / Cuc, e, Cus, sqrtA / toe, Cic, Omega0,
// Cis / i0, Crc, omega, OmegaDot / idot, dn0dot, SatType, top / SISAI oe, ocb, oc1, oc2 / ISC
// B1Cd (CNV1) or ISC B2ad (CNV2), -, TGD B1Cp, TGD B2ap / SISMAI, health, integrity flags, IODC
// / ttm, -, -, IODE; with the file's BDGIM terms (ION CNVX).
inline BcnavFields bcnavFields(const Rnx4Eph& r, const Rnx4Nav& nav) {
  BcnavFields f;
  f.prn = r.prn;
  // The satellite's type by its orbit (some records of the file name a MEO a GEO): MEO below
  // 35 000 km, GEO when hardly inclined, IGSO otherwise.
  const double a = r.at(10) * r.at(10);
  f.satType = a < 35.0e6 ? 3 : std::fabs(r.at(15)) < 0.2 ? 1 : 2;
  const double aRef = f.satType == 3 ? 27906100.0 : 42162200.0;
  f.toe = static_cast<std::int64_t>(r.at(11)) / 300;
  f.dA = scaled(r.at(10) * r.at(10) - aRef, 9), f.aDot = scaled(r.at(3), 21);
  f.dn0 = scaled(semi(r.at(5)), 44), f.dn0Dot = scaled(semi(r.at(20)), 57);
  f.m0 = scaled(semi(r.at(6)), 32), f.e = scaled(r.at(8), 34), f.omega = scaled(semi(r.at(17)), 32);
  f.omega0 = scaled(semi(r.at(13)), 32), f.i0 = scaled(semi(r.at(15)), 32), f.omegaDot = scaled(semi(r.at(18)), 44);
  f.idot = scaled(semi(r.at(19)), 44), f.cis = scaled(r.at(14), 30), f.cic = scaled(r.at(12), 30);
  f.crs = scaled(r.at(4), 8), f.crc = scaled(r.at(16), 8), f.cus = scaled(r.at(9), 30), f.cuc = scaled(r.at(7), 30);
  f.toc = bdtSow(r.epochGps) / 300;
  f.a0 = scaled(r.at(0), 34), f.a1 = scaled(r.at(1), 50), f.a2 = scaled(r.at(2), 66);
  f.iscB1Cd = scaled(r.at(27), 34), f.iscB2ad = scaled(r.at(28), 34);
  f.tgdB1Cp = scaled(r.at(29), 34), f.tgdB2ap = scaled(r.at(30), 34);
  f.sismai = r.at(31) < 0 ? 15 : static_cast<std::int64_t>(r.at(31));
  f.hs = static_cast<std::int64_t>(r.at(32));
  const auto flags = static_cast<std::int64_t>(r.at(33));
  f.dif = flags & 1, f.sif = (flags >> 1) & 1, f.aif = (flags >> 2) & 1;
  f.iodc = static_cast<std::int64_t>(r.at(34)), f.iode = static_cast<std::int64_t>(r.at(38));
  if (const Rnx4Ion* i = nav.ionOf('C', "CNVX"); i != nullptr && i->v.size() >= 9) {
    for (int k = 0; k < 9; ++k) {
      const double a = i->v[static_cast<std::size_t>(k)];
      f.bdgim[k] = std::llround((k == 4 ? -a : a) * 8.0);  // 1/8 TECu; alpha5 as its magnitude
    }
  }
  return f;
}

inline void putEphemeris1(Bits& b, int at, const BcnavFields& f) {
  b.put(at, 11, f.toe), b.put(at + 11, 2, f.satType), b.put(at + 13, 26, f.dA), b.put(at + 39, 25, f.aDot);
  b.put(at + 64, 17, f.dn0), b.put(at + 81, 23, f.dn0Dot), b.put(at + 104, 33, f.m0), b.put(at + 137, 33, f.e);
  b.put(at + 170, 33, f.omega);
}
inline void putEphemeris2(Bits& b, int at, const BcnavFields& f) {
  b.put(at, 33, f.omega0), b.put(at + 33, 33, f.i0), b.put(at + 66, 19, f.omegaDot), b.put(at + 85, 15, f.idot);
  b.put(at + 100, 16, f.cis), b.put(at + 116, 16, f.cic), b.put(at + 132, 24, f.crs), b.put(at + 156, 24, f.crc);
  b.put(at + 180, 21, f.cus), b.put(at + 201, 21, f.cuc);
}
inline void putClock(Bits& b, int at, const BcnavFields& f) {
  b.put(at, 11, f.toc), b.put(at + 11, 25, f.a0), b.put(at + 36, 22, f.a1), b.put(at + 58, 11, f.a2);
}
inline void putBdgim(Bits& b, int at, const BcnavFields& f) {
  b.put(at, 10, f.bdgim[0]);
  for (int k = 1; k < 9; ++k) b.put(at + 10 + 8 * (k - 1), 8, f.bdgim[k]);
}

// A B1C frame whose subframe 2 names BDT week `wn`, hour of week `how`; subframe 3 is page 1
// (the BDGIM terms).
inline Bits b1cFrame(const BcnavFields& f, std::int64_t wn, std::int64_t how) {
  Bits b(28 * 32);
  b.put(1, 13, wn), b.put(14, 8, how), b.put(22, 10, f.iodc), b.put(32, 8, f.iode);
  putEphemeris1(b, 40, f);
  putEphemeris2(b, 243, f);
  putClock(b, 465, f);
  b.put(534, 12, f.tgdB2ap), b.put(546, 12, f.iscB1Cd), b.put(558, 12, f.tgdB1Cp);
  b.put(577, 24, b.crc24q(1, 576));
  constexpr int s3 = 609;
  b.put(s3, 6, 1), b.put(s3 + 6, 2, f.hs), b.put(s3 + 8, 1, f.dif), b.put(s3 + 9, 1, f.sif), b.put(s3 + 10, 1, f.aif);
  b.put(s3 + 11, 4, f.sismai);
  putBdgim(b, s3 + 42, f);  // after SISAI oe (5), t_op (11), SISAI ocb (5), oc1 (3), oc2 (3)
  b.put(s3 + 240, 24, b.crc24q(s3, 240));
  return b;
}

// A B2a message of type 40 sent by the satellite of `f`, starting at SOW `sow3` (units of 3 s):
// its health, then the midi almanac of satellite `m` (BDS-SIS-ICD-B2a 1.0 6.2.6 and 7.10: PRN,
// SatType, WNa, toa in 4096-s units, e 2^-16, delta i 2^-14 semicircles from 0.30 (a GEO's from
// 0), sqrtA 2^-4, Omega0 2^-15, Omega dot 2^-33, omega and M0 2^-15 semicircles, af0 2^-20 s,
// af1 2^-37 s/s, the health byte).
inline Bits b2aAlmMessage(const BcnavFields& f, const KeplerAlm& m, int satType, std::int64_t wna, std::int64_t sow3) {
  constexpr double kPi = 3.1415926535898;
  Bits b(9 * 32);
  b.put(1, 6, f.prn), b.put(7, 6, 40), b.put(13, 18, sow3);
  b.put(31, 2, f.hs), b.put(33, 1, f.dif), b.put(34, 1, f.sif), b.put(35, 1, f.aif), b.put(36, 4, f.sismai);
  int at = 70;
  auto next = [&](int n, std::int64_t v) {
    b.put(at, n, v);
    at += n;
  };
  const double iRef = satType == 1 ? 0.0 : 0.30;
  next(6, m.prn), next(2, satType), next(13, wna), next(8, static_cast<std::int64_t>(m.toa) / 4096);
  next(11, scaled(m.e, 16)), next(11, scaled(m.i / kPi - iRef, 14)), next(17, scaled(m.sqrtA, 4));
  next(16, scaled(std::remainder(m.omega0, 2 * kPi) / kPi, 15)), next(11, scaled(m.omegaDot / kPi, 33));
  next(16, scaled(std::remainder(m.omega, 2 * kPi) / kPi, 15)), next(16, scaled(std::remainder(m.m0, 2 * kPi) / kPi, 15));
  next(11, scaled(m.af0, 20)), next(10, scaled(m.af1, 37)), next(8, m.health & 0xFF);
  b.put(265, 24, b.crc24q(1, 264));
  return b;
}

// A B2a message of type 10, 11 or 30, starting at SOW `sow3` (units of 3 s), BDT week `wn`.
inline Bits b2aMessage(const BcnavFields& f, int type, std::int64_t sow3, std::int64_t wn) {
  Bits b(9 * 32);
  b.put(1, 6, f.prn), b.put(7, 6, type), b.put(13, 18, sow3);
  int at = 31;
  if (type == 10) {
    b.put(at, 13, wn), at += 13;
  } else {
    b.put(at, 2, f.hs), at += 2;
  }
  b.put(at, 1, f.dif), b.put(at + 1, 1, f.sif), b.put(at + 2, 1, f.aif), b.put(at + 3, 4, f.sismai);
  b.put(at + 7, 3, 0);  // the B1C integrity flags
  at += 10;
  if (type == 10) {
    b.put(at, 8, f.iode);
    putEphemeris1(b, at + 8, f);
  } else if (type == 11) {
    putEphemeris2(b, at, f);
  } else {
    putClock(b, at, f);
    b.put(at + 69, 10, f.iodc), b.put(at + 79, 12, f.tgdB2ap), b.put(at + 91, 12, f.iscB2ad);
    putBdgim(b, at + 103, f);
    b.put(at + 177, 12, f.tgdB1Cp);
  }
  b.put(265, 24, b.crc24q(1, 264));
  return b;
}

// A B2b message of type 10 or 30 at BDT second of week `sow`, week `wn`: the issues are sent in
// their four low bits.
inline Bits b2bMessage(const BcnavFields& f, int type, std::int64_t sow, std::int64_t wn) {
  Bits b(16 * 32);
  b.put(1, 6, type), b.put(7, 20, sow);
  if (type == 10) {
    b.put(27, 4, f.iode & 0xF);
    putEphemeris1(b, 31, f);
    putEphemeris2(b, 234, f);
    b.put(456, 1, f.dif), b.put(457, 1, f.sif), b.put(458, 1, f.aif), b.put(459, 4, f.sismai);
  } else {
    b.put(27, 13, wn), b.put(40, 4, f.iode & 0xF);
    putClock(b, 44, f);
    b.put(113, 12, f.tgdB2ap);
    putBdgim(b, 125, f);
    b.put(461, 2, f.hs);
  }
  b.put(463, 24, b.crc24q(1, 462));
  return b;
}

}  // namespace sim
