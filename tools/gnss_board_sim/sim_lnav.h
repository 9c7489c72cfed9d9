// The simulator's own GPS LNAV broadcast: ephemerides read from a RINEX 2 GPS navigation file,
// encoded into subframes 1-3 with their parity (IS-GPS-200 section 20.3.2, 20.3.3, 20.3.5.2)
// and handed out as the board hands them, ten 30-bit words with their parity bits, data bits
// upright. Written apart from the program's decoder and parity code, so that a fault cannot
// hide on both sides.
#pragma once

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "sim_bits.h"

namespace sim {

struct LnavEph {
  int prn = 0;
  double toc = 0, af0 = 0, af1 = 0, af2 = 0;
  double iode = 0, crs = 0, dn = 0, m0 = 0;
  double cuc = 0, e = 0, cus = 0, sqrtA = 0;
  double toe = 0, cic = 0, omega0 = 0, cis = 0;
  double i0 = 0, crc = 0, omega = 0, omegaDot = 0;
  double idot = 0, l2codes = 0, week = 0, l2p = 0;
  double ura = 0, health = 0, tgd = 0, iodc = 0;
  double ttx = 0, fit = 0;
  std::int64_t txAbs = 0;  // transmission time, s since the GPS epoch
};

inline double rinexNum(const std::string& line, std::size_t at) {
  if (line.size() <= at) return 0;
  std::string f = line.substr(at, 19);
  for (char& c : f)
    if (c == 'D' || c == 'd') c = 'E';
  return std::strtod(f.c_str(), nullptr);
}

// Every record of a RINEX 2 GPS navigation file; empty when it cannot be read.
inline std::vector<LnavEph> readRinexGpsNav(const std::string& path) {
  std::vector<LnavEph> out;
  std::ifstream in(path);
  std::string line;
  bool header = true;
  while (header && std::getline(in, line)) header = line.find("END OF HEADER") == std::string::npos;
  std::string l[8];
  while (std::getline(in, l[0])) {
    if (l[0].size() < 22) continue;
    for (int k = 1; k < 8; ++k)
      if (!std::getline(in, l[k])) return out;
    LnavEph r;
    r.prn = std::atoi(l[0].substr(0, 2).c_str());
    std::tm tm{};
    tm.tm_year = 100 + std::atoi(l[0].substr(3, 2).c_str());
    tm.tm_mon = std::atoi(l[0].substr(6, 2).c_str()) - 1;
    tm.tm_mday = std::atoi(l[0].substr(9, 2).c_str());
    tm.tm_hour = std::atoi(l[0].substr(12, 2).c_str());
    tm.tm_min = std::atoi(l[0].substr(15, 2).c_str());
    const double sec = std::atof(l[0].substr(17, 5).c_str());
    const std::int64_t gps = static_cast<std::int64_t>(timegm(&tm)) - 315964800;
    r.toc = static_cast<double>(gps % 604800) + sec;
    r.af0 = rinexNum(l[0], 22), r.af1 = rinexNum(l[0], 41), r.af2 = rinexNum(l[0], 60);
    double* f[28] = {&r.iode, &r.crs, &r.dn,  &r.m0,      &r.cuc,   &r.e,       &r.cus,
                     &r.sqrtA, &r.toe, &r.cic, &r.omega0, &r.cis,   &r.i0,      &r.crc,
                     &r.omega, &r.omegaDot, &r.idot, &r.l2codes, &r.week, &r.l2p, &r.ura,
                     &r.health, &r.tgd, &r.iodc, &r.ttx, &r.fit, nullptr, nullptr};
    for (int k = 0; k < 26; ++k) *f[k] = rinexNum(l[1 + k / 4], 3 + 19 * (k % 4));
    if (r.prn < 1 || r.prn > 32) continue;
    std::int64_t tx = static_cast<std::int64_t>(r.week) * 604800 + static_cast<std::int64_t>(r.ttx);
    const std::int64_t toeAbs = static_cast<std::int64_t>(r.week) * 604800 + static_cast<std::int64_t>(r.toe);
    if (tx - toeAbs > 302400) tx -= 604800;
    if (toeAbs - tx > 302400) tx += 604800;
    r.txAbs = tx;
    out.push_back(r);
  }
  return out;
}

// A 300-bit subframe, bit 1 first.
class Subframe {
 public:
  void put(int bit, int n, std::int64_t v) {
    const std::uint64_t u = static_cast<std::uint64_t>(v);
    for (int i = 0; i < n; ++i) bits_[bit - 1 + i] = ((u >> (n - 1 - i)) & 1u) != 0;
  }
  std::uint32_t get(int bit, int n) const {
    std::uint32_t v = 0;
    for (int i = 0; i < n; ++i) v = (v << 1) | (bits_[bit - 1 + i] ? 1u : 0u);
    return v;
  }
  void flip(int bit) { bits_[bit - 1] = !bits_[bit - 1]; }

  // The parity bits of every word (IS-GPS-200 Table 20-XIV); words 2 and 10 get their last two
  // data bits solved so that they end in D29 = D30 = 0.
  void addParity() {
    int d29 = 0, d30 = 0;
    for (int w = 0; w < 10; ++w) {
      const int first = w * 30 + 1;
      if (w == 1 || w == 9) {
        for (int t = 0; t < 4; ++t) {
          put(first + 22, 2, t);
          if ((parity(get(first, 24), d29, d30) & 3u) == 0) break;
        }
      }
      const std::uint32_t p = parity(get(first, 24), d29, d30);
      put(first + 24, 6, p);
      d29 = static_cast<int>((p >> 1) & 1u);
      d30 = static_cast<int>(p & 1u);
    }
  }
  // The ten words, each 30 bits with its parity, upright.
  void words(std::uint32_t out[10]) const {
    for (int w = 0; w < 10; ++w) out[w] = get(w * 30 + 1, 30);
  }

 private:
  static std::uint32_t parity(std::uint32_t d, int d29, int d30) {
    // Data bits d1..d24 entering D25..D30, with D29* or D30* of the previous word.
    static const int kEq[6][15] = {{1, 2, 3, 5, 6, 10, 11, 12, 13, 14, 17, 18, 20, 23, 0},
                                   {2, 3, 4, 6, 7, 11, 12, 13, 14, 15, 18, 19, 21, 24, 0},
                                   {1, 3, 4, 5, 7, 8, 12, 13, 14, 15, 16, 19, 20, 22, 0},
                                   {2, 4, 5, 6, 8, 9, 13, 14, 15, 16, 17, 20, 21, 23, 0},
                                   {1, 3, 5, 6, 7, 9, 10, 14, 15, 16, 17, 18, 21, 22, 24},
                                   {3, 5, 6, 8, 9, 10, 11, 13, 15, 19, 22, 23, 24, 0, 0}};
    static const bool kStar29[6] = {true, false, true, false, false, true};
    std::uint32_t p = 0;
    for (int k = 0; k < 6; ++k) {
      int x = kStar29[k] ? d29 : d30;
      for (int b : kEq[k])
        if (b != 0) x ^= static_cast<int>((d >> (24 - b)) & 1u);
      p = (p << 1) | static_cast<std::uint32_t>(x);
    }
    return p;
  }
  bool bits_[300] = {};
};

// The age of data offset of subframe 2 (IS-GPS-200 20.3.3.4.1: 900 s units; 31 would mean no
// correction table), and the estimated range deviation (0.3 m units) the correction table of
// page 13 of subframe 4 gives its j-th entry (j = 0..29): 12, 11, ... -17.
constexpr int kLnavAodo = 3;
inline int lnavNmctErd(int j) { return 12 - j; }

inline int uraIndex(double m) {
  static const double kUra[15] = {2.4, 3.4, 4.85, 6.85, 9.65, 13.65, 24, 48, 96, 192, 384, 768, 1536, 3072, 6144};
  for (int i = 0; i < 15; ++i)
    if (m <= kUra[i]) return i;
  return 15;
}

// Subframe `id` (1..3) of an ephemeris, with the HOW's TOW count and its parity.
inline Subframe lnavSubframe(const LnavEph& r, int id, std::uint32_t towCount) {
  constexpr double kPi = 3.1415926535898;  // the value IS-GPS-200 fixes for the conversion
  Subframe s;
  s.put(1, 8, 0x8B);
  s.put(31, 17, towCount);
  s.put(49, 1, 1);  // anti-spoof on
  s.put(50, 3, id);
  const int iode = static_cast<int>(r.iode) & 0xFF;
  if (id == 1) {
    const int iodc = static_cast<int>(r.iodc) & 0x3FF;
    s.put(61, 10, static_cast<std::int64_t>(r.week) % 1024);
    s.put(71, 2, static_cast<std::int64_t>(r.l2codes));
    s.put(73, 4, uraIndex(r.ura));
    s.put(77, 6, static_cast<std::int64_t>(r.health));
    s.put(83, 2, iodc >> 8);
    s.put(91, 1, static_cast<std::int64_t>(r.l2p));
    s.put(197, 8, scaled(r.tgd, 31));
    s.put(211, 8, iodc & 0xFF);
    s.put(219, 16, scaled(r.toc, -4));
    s.put(241, 8, scaled(r.af2, 55));
    s.put(249, 16, scaled(r.af1, 43));
    s.put(271, 22, scaled(r.af0, 31));
  } else if (id == 2) {
    s.put(61, 8, iode);
    s.put(69, 16, scaled(r.crs, 5));
    s.put(91, 16, scaled(r.dn / kPi, 43));
    const std::int64_t m0 = scaled(r.m0 / kPi, 31);
    s.put(107, 8, m0 >> 24);
    s.put(121, 24, m0);
    s.put(151, 16, scaled(r.cuc, 29));
    const std::int64_t e = scaled(r.e, 33);
    s.put(167, 8, e >> 24);
    s.put(181, 24, e);
    s.put(211, 16, scaled(r.cus, 29));
    const std::int64_t a = scaled(r.sqrtA, 19);
    s.put(227, 8, a >> 24);
    s.put(241, 24, a);
    s.put(271, 16, scaled(r.toe, -4));
    s.put(287, 1, r.fit > 4 ? 1 : 0);
    s.put(288, 5, kLnavAodo);
  } else {
    const std::int64_t om0 = scaled(r.omega0 / kPi, 31);
    s.put(61, 16, scaled(r.cic, 29));
    s.put(77, 8, om0 >> 24);
    s.put(91, 24, om0);
    const std::int64_t i0 = scaled(r.i0 / kPi, 31);
    s.put(121, 16, scaled(r.cis, 29));
    s.put(137, 8, i0 >> 24);
    s.put(151, 24, i0);
    const std::int64_t w = scaled(r.omega / kPi, 31);
    s.put(181, 16, scaled(r.crc, 5));
    s.put(197, 8, w >> 24);
    s.put(211, 24, w);
    s.put(241, 24, scaled(r.omegaDot / kPi, 43));
    s.put(271, 8, iode);
    s.put(279, 14, scaled(r.idot / kPi, 43));
  }
  s.addParity();
  return s;
}

// ---- Almanac: subframes 4 and 5 -----------------------------------------------------------------

// One satellite's almanac as subframes 4 and 5 carry it (IS-GPS-200 20.3.3.5.1.2, Table 20-VI),
// angles in semicircles.
struct LnavAlm {
  bool present = false;
  double e = 0,  // as sent (QZSS: less 0.06)
          di = 0, omegaDot = 0, sqrtA = 0, omega0 = 0, omega = 0, m0 = 0, af0 = 0, af1 = 0;
  int health6 = 63;  // as the ephemeris's (63: no satellite)
  int config = 0;    // anti-spoofing and signal configuration (4 bits)
};

// The almanac of an ephemeris at `toa` (s of week). An almanac has no harmonic corrections, no
// mean-motion correction and no inclination rate: the orbit at toa carries them over (the mean
// motion into the semi-major axis, inclination, node and mean anomaly moved to toa), so that near
// toa the two positions are a kilometre or so apart. A QZSS almanac counts its inclination from
// 0.25 semicircles and sends its eccentricity less 0.06 (IS-QZSS-PNT 4.1.2.7): `iRef`, `eRef`.
inline LnavAlm lnavAlmanac(const LnavEph& r, double toa, int config, double iRef = 0.30, double eRef = 0.0) {
  constexpr double kPi = 3.1415926535898, kMu = 3.986005e14;
  const auto wrap = [](double d) { return d > 302400 ? d - 604800 : d < -302400 ? d + 604800 : d; };
  const double dt = wrap(toa - r.toe), tc = wrap(toa - r.toc);
  const double a = r.sqrtA * r.sqrtA;
  const double n = std::sqrt(kMu / (a * a * a)) + r.dn;
  LnavAlm m;
  m.present = true;
  m.e = r.e - eRef;
  m.di = (r.i0 + r.idot * dt) / kPi - iRef;
  m.omegaDot = r.omegaDot / kPi;
  m.sqrtA = std::sqrt(std::cbrt(kMu / (n * n)));
  m.omega0 = std::remainder(r.omega0 + r.omegaDot * dt, 2 * kPi) / kPi;
  m.omega = std::remainder(r.omega, 2 * kPi) / kPi;
  m.m0 = std::remainder(r.m0 + n * dt, 2 * kPi) / kPi;
  m.af0 = r.af0 + r.af1 * tc + r.af2 * tc * tc;
  m.af1 = r.af1 + 2 * r.af2 * tc;
  m.health6 = static_cast<int>(r.health) & 63;
  m.config = config;
  return m;
}

// The ionospheric and UTC parameters of page 18 of subframe 4 (SV ID 56), as broadcast: alpha
// (s, s/semicircle^n), beta (s, s/semicircle^n), A0 (s), A1 (s/s), tot (s, a multiple of 4096),
// the 8-bit weeks WNt and WNlsf, DN and the leap seconds.
struct LnavUtc {
  bool present = false;
  double alpha[4] = {}, beta[4] = {};
  double a0 = 0, a1 = 0;
  int tot = 0, wnt = 0, dtls = 0, wnlsf = 0, dn = 0, dtlsf = 0;
};

// The almanac of a whole constellation: 32 satellites (QZSS: the satellites of data ID 3, PRN
// 193 + index), with toa and its week (8 bits); the UTC page of the same cycle.
struct LnavAlmanac {
  std::vector<LnavAlm> sat = std::vector<LnavAlm>(32);
  int toa = 0;  // s, a multiple of 4096
  int wna = 0;  // week modulo 256
  LnavUtc utc;
};

// The page of subframe 4 or 5 (`id`) that the frame numbered `frame` (frames since the week
// began, 30 s each) carries: page (frame mod 25) + 1, the SV ID of IS-GPS-200 Table 20-V.
inline int lnavPageSvId(int id, std::int64_t frame) {
  static const int kSf4[25] = {57, 25, 26, 27, 28, 57, 29, 30, 31, 32, 57, 62, 52, 53, 54, 57, 55, 56, 58, 59, 57, 60, 61, 62, 63};
  const int page = static_cast<int>(frame % 25);
  return id == 5 ? (page < 24 ? page + 1 : 51) : kSf4[page];
}

// Six-bit values packed into the data bits of words `firstBit`.., skipping each word's parity.
inline void lnavPutSixes(Subframe& s, int bit, const std::vector<int>& v) {
  for (int x : v) {
    for (int i = 5; i >= 0; --i) {
      if ((bit - 1) % 30 >= 24) bit += 6;  // into the next word's data bits
      s.put(bit, 1, (x >> i) & 1);
      ++bit;
    }
  }
}

// Subframe 4 or 5 with SV ID `svId` (IS-GPS-200 20.3.3.5 and Figure 20-1): an almanac page
// (1-32; with data ID 3 the QZSS satellite of that index), the health page of satellites 1-24
// with toa and WNa (51), the configuration and health of 25-32 (63), the correction-table page
// (52) with the ERDs of lnavNmctErd, or a page of other data left at zero. `dataId` 1 GPS, 3 QZSS.
inline Subframe lnavAlmPage(const LnavAlmanac& a, int id, int svId, std::uint32_t towCount, int dataId = 1) {
  Subframe s;
  s.put(1, 8, 0x8B);
  s.put(31, 17, towCount);
  s.put(49, 1, 1);
  s.put(50, 3, id);
  s.put(61, 2, dataId);
  s.put(63, 6, svId);
  const auto health = [&](int k) { return k < static_cast<int>(a.sat.size()) ? a.sat[static_cast<std::size_t>(k)].health6 : 63; };
  if (svId >= 1 && svId <= 32) {
    const LnavAlm& m = a.sat[static_cast<std::size_t>(svId - 1)];
    if (m.present) {
      const int h8 = ((m.health6 >> 5) & 1 ? 0xE0 : 0) | (m.health6 & 0x1F);
      s.put(69, 16, scaled(m.e, 21));
      s.put(91, 8, a.toa >> 12);
      s.put(99, 16, scaled(m.di, 19));
      s.put(121, 16, scaled(m.omegaDot, 38));
      s.put(137, 8, h8);
      s.put(151, 24, scaled(m.sqrtA, 11));
      s.put(181, 24, scaled(m.omega0, 23));
      s.put(211, 24, scaled(m.omega, 23));
      s.put(241, 24, scaled(m.m0, 23));
      const std::int64_t af0 = scaled(m.af0, 20), af1 = scaled(m.af1, 38);
      s.put(271, 8, af0 >> 3);
      s.put(279, 11, af1);
      s.put(290, 3, af0);
    } else {
      s.put(63, 6, 0);  // a dummy satellite
    }
  } else if (svId == 51) {
    s.put(69, 8, a.toa >> 12);
    s.put(77, 8, a.wna);
    std::vector<int> h;
    for (int k = 0; k < 24; ++k) h.push_back(health(k));
    lnavPutSixes(s, 91, h);
  } else if (svId == 63) {
    int bit = 69;
    for (int k = 0; k < 32; ++k) {
      for (int i = 3; i >= 0; --i) {
        if ((bit - 1) % 30 >= 24) bit += 6;
        s.put(bit, 1, (a.sat[static_cast<std::size_t>(k)].config >> i) & 1);
        ++bit;
      }
    }
    std::vector<int> h;
    for (int k = 24; k < 32; ++k) h.push_back(health(k));
    lnavPutSixes(s, 229, h);
  } else if (svId == 52) {
    // IS-GPS-200 20.3.3.5.1.9: availability 0 (a table), then the 30 ERDs, 6 bits signed each.
    std::vector<int> erd;
    for (int j = 0; j < 30; ++j) erd.push_back(lnavNmctErd(j) & 0x3F);
    s.put(69, 2, 0);
    lnavPutSixes(s, 71, erd);
  } else if (svId == 56 && a.utc.present) {
    // IS-GPS-200 Figure 20-1 sheet 8 and Table 20-X.
    const LnavUtc& u = a.utc;
    const int alphaPow[4] = {30, 27, 24, 24}, betaPow[4] = {-11, -14, -16, -16};
    const int alphaBit[4] = {69, 77, 91, 99}, betaBit[4] = {107, 121, 129, 137};
    for (int i = 0; i < 4; ++i) {
      s.put(alphaBit[i], 8, scaled(u.alpha[i], alphaPow[i]));
      s.put(betaBit[i], 8, scaled(u.beta[i], betaPow[i]));
    }
    s.put(151, 24, scaled(u.a1, 50));
    const std::int64_t a0 = scaled(u.a0, 30);
    s.put(181, 24, a0 >> 8);
    s.put(211, 8, a0);
    s.put(219, 8, u.tot >> 12);
    s.put(227, 8, u.wnt);
    s.put(241, 8, u.dtls);
    s.put(249, 8, u.wnlsf);
    s.put(257, 8, u.dn);
    s.put(271, 8, u.dtlsf);
  }
  s.addParity();
  return s;
}

// Satellite position (ECEF, m) at GPS second of week t (IS-GPS-200 Table 20-IV).
inline void lnavOrbit(const LnavEph& r, double t, double out[3]) {
  const double mu = 3.986005e14, we = 7.2921151467e-5;
  const double a = r.sqrtA * r.sqrtA;
  double tk = t - r.toe;
  if (tk > 302400) tk -= 604800;
  if (tk < -302400) tk += 604800;
  const double m = r.m0 + (std::sqrt(mu / (a * a * a)) + r.dn) * tk;
  double ea = m;
  for (int i = 0; i < 20; ++i) ea = m + r.e * std::sin(ea);
  const double phi = std::atan2(std::sqrt(1 - r.e * r.e) * std::sin(ea), std::cos(ea) - r.e) + r.omega;
  const double s2 = std::sin(2 * phi), c2 = std::cos(2 * phi);
  const double u = phi + r.cus * s2 + r.cuc * c2;
  const double rad = a * (1 - r.e * std::cos(ea)) + r.crs * s2 + r.crc * c2;
  const double inc = r.i0 + r.cis * s2 + r.cic * c2 + r.idot * tk;
  const double om = r.omega0 + (r.omegaDot - we) * tk - we * r.toe;
  const double x = rad * std::cos(u), y = rad * std::sin(u);
  out[0] = x * std::cos(om) - y * std::cos(inc) * std::sin(om);
  out[1] = x * std::sin(om) + y * std::cos(inc) * std::cos(om);
  out[2] = y * std::sin(inc);
}

// The board's antenna: which satellites are above its horizon (the board tracks only those).
struct Site {
  double lat = 50.0, lon = 10.0, height = 300.0;  // degrees, m (WGS 84)
  // Earth-centred position, m.
  void ecef(double p[3]) const {
    const double a = 6378137.0, f = 1 / 298.257223563, e2 = f * (2 - f);
    const double b = lat * 3.14159265358979 / 180, l = lon * 3.14159265358979 / 180;
    const double n = a / std::sqrt(1 - e2 * std::sin(b) * std::sin(b));
    p[0] = (n + height) * std::cos(b) * std::cos(l);
    p[1] = (n + height) * std::cos(b) * std::sin(l);
    p[2] = (n * (1 - e2) + height) * std::sin(b);
  }
  bool sees(const double sat[3]) const {
    const double b = lat * 3.14159265358979 / 180, l = lon * 3.14159265358979 / 180;
    double p[3];
    ecef(p);
    const double up[3] = {std::cos(b) * std::cos(l), std::cos(b) * std::sin(l), std::sin(b)};
    double dot = 0;
    for (int i = 0; i < 3; ++i) dot += (sat[i] - p[i]) * up[i];
    return dot > 0;
  }
};

// The broadcast of a navigation file: at each GPS time, per satellite the ephemeris whose
// transmission time came last.
class LnavBroadcast {
 public:
  bool load(const std::string& path) {
    for (const LnavEph& r : readRinexGpsNav(path)) byPrn_[r.prn].push_back(r);
    return !byPrn_.empty();
  }
  bool empty() const { return byPrn_.empty(); }
  void add(const LnavEph& r) { byPrn_[r.prn].push_back(r); }
  // GPS seconds (since 1980) from which every satellite of the file has an ephemeris.
  std::int64_t allTransmitted() const {
    std::int64_t t = 0;
    for (const auto& [prn, v] : byPrn_) {
      std::int64_t first = INT64_MAX;
      for (const LnavEph& r : v) first = std::min(first, r.txAbs);
      t = std::max(t, first);
    }
    return t;
  }
  // The current ephemeris of every satellite above the site's horizon at `gpsSec`.
  std::vector<const LnavEph*> visible(std::int64_t gpsSec, const Site& site) const {
    std::vector<const LnavEph*> out;
    for (const LnavEph* r : current(gpsSec)) {
      double p[3];
      lnavOrbit(*r, static_cast<double>(gpsSec % 604800), p);
      if (site.sees(p)) out.push_back(r);
    }
    return out;
  }
  // The almanac of every satellite of the file (its current ephemeris at `gpsSec`), for the
  // multiple of 4096 s of the week at or before `gpsSec`.
  // QZSS: `firstPrn` 193, the QZSS references of lnavAlmanac.
  LnavAlmanac almanac(std::int64_t gpsSec, int firstPrn = 1, double iRef = 0.30, double eRef = 0.0) const {
    LnavAlmanac a;
    const std::int64_t sow = gpsSec % 604800;
    a.toa = static_cast<int>(sow - sow % 4096);
    a.wna = static_cast<int>((gpsSec / 604800) % 256);
    for (const LnavEph* r : current(gpsSec)) {
      const int k = r->prn - firstPrn;
      if (k < 0 || k >= 32) continue;
      auto c = config_.find(r->prn);
      a.sat[static_cast<std::size_t>(k)] = lnavAlmanac(*r, a.toa, c != config_.end() ? c->second : 0x9, iRef, eRef);
    }
    a.utc = utc_;
    return a;
  }
  // Subframe 4 or 5 (`id`) that begins at GPS second `start`: the page of its frame, the same from
  // every satellite; the almanac that of the ephemerides current where the 12.5-min cycle of
  // pages began.
  Subframe almanacSubframe(std::int64_t start, int id, std::uint32_t towCount) const {
    const std::int64_t frame = (start % 604800) / 30;
    const LnavAlmanac alm = almanac(start - start % 30 - (frame % 25) * 30);
    return lnavAlmPage(alm, id, lnavPageSvId(id, frame), towCount);
  }
  // A satellite's anti-spoofing and signal configuration (IS-GPS-200 20.3.3.5.1.4): 8 anti-
  // spoofing on, plus 1 (Block II/IIA/IIR, the default), 2 (with L2C), 3 (and L5), 4 (GPS III).
  void setConfig(int prn, int config) { config_[prn] = config; }
  // The ionospheric and UTC parameters of the UTC page.
  void setUtc(const LnavUtc& u) { utc_ = u; }

  // The current ephemeris of every satellite at `gpsSec`.
  std::vector<const LnavEph*> current(std::int64_t gpsSec) const {
    std::vector<const LnavEph*> out;
    for (const auto& [prn, v] : byPrn_) {
      const LnavEph* best = nullptr;
      for (const LnavEph& r : v)
        if (r.txAbs <= gpsSec && (best == nullptr || r.txAbs >= best->txAbs)) best = &r;
      if (best != nullptr) out.push_back(best);
    }
    return out;
  }

 private:
  std::map<int, std::vector<LnavEph>> byPrn_;
  std::map<int, int> config_;
  LnavUtc utc_;
};

}  // namespace sim
