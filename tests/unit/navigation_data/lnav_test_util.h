// LNAV subframes for the decoder tests: the public vectors read from their file, and an
// encoder of IS-GPS-200 subframes 1-3 (Figure 20-1, Tables 20-I and 20-III, parity of Table
// 20-XIV) written here from the standard, independent of the decoder.
#pragma once

#include <array>
#include <cmath>
#include <cstdio>
#include <cstdint>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "unit/navigation_data/blank_image.h"
#include "fixtures/nav_files.h"
#include "navigation_data/decoders/gps_lnav_decoder.h"

namespace lnavtest {

using navfiles::split;

using Words = std::array<std::uint32_t, 10>;

// Subframe bit `bit` (1 = MSB of the first word) on, n bits of v.
inline void putBits(Words& w, int bit, int n, std::uint64_t v) {
  for (int i = 0; i < n; ++i) {
    const int b = bit - 1 + i;
    const std::uint32_t m = 1u << (31 - b % 32);
    if ((v >> (n - 1 - i)) & 1) {
      w[b / 32] |= m;
    } else {
      w[b / 32] &= ~m;
    }
  }
}
inline std::uint32_t getBits(const Words& w, int bit, int n) {
  std::uint32_t v = 0;
  for (int i = 0; i < n; ++i) {
    const int b = bit - 1 + i;
    v = v << 1 | ((w[b / 32] >> (31 - b % 32)) & 1);
  }
  return v;
}

// D25-D30 of a word's source data bits d1..d24 (d1 = bit 23 of d24) after D29*, D30*.
inline std::uint32_t parity(std::uint32_t d24, int d29s, int d30s) {
  static const int eq[6][16] = {{1, 2, 3, 5, 6, 10, 11, 12, 13, 14, 17, 18, 20, 23},
                                {2, 3, 4, 6, 7, 11, 12, 13, 14, 15, 18, 19, 21, 24},
                                {1, 3, 4, 5, 7, 8, 12, 13, 14, 15, 16, 19, 20, 22},
                                {2, 4, 5, 6, 8, 9, 13, 14, 15, 16, 17, 20, 21, 23},
                                {1, 3, 5, 6, 7, 9, 10, 14, 15, 16, 17, 18, 21, 22, 24},
                                {3, 5, 6, 8, 9, 10, 11, 13, 15, 19, 22, 23, 24}};
  static const int star[6] = {29, 30, 29, 30, 30, 29};
  std::uint32_t p = 0;
  for (int k = 0; k < 6; ++k) {
    int x = star[k] == 29 ? d29s : d30s;
    for (int d : eq[k])
      if (d != 0) x ^= static_cast<int>((d24 >> (24 - d)) & 1);
    p = p << 1 | static_cast<std::uint32_t>(x);
  }
  return p;
}

// Parity of all ten words; the last two data bits of words 2 and 10 are chosen so that the
// word ends in D29 = D30 = 0.
inline void addParity(Words& w) {
  int d29 = 0, d30 = 0;
  for (int word = 1; word <= 10; ++word) {
    const int first = (word - 1) * 30 + 1;
    if (word == 2 || word == 10) {
      for (std::uint32_t t = 0; t < 4; ++t) {
        putBits(w, first + 22, 2, t);
        if ((parity(getBits(w, first, 24), d29, d30) & 3) == 0) break;
      }
    }
    const std::uint32_t p = parity(getBits(w, first, 24), d29, d30);
    putBits(w, first + 24, 6, p);
    d29 = static_cast<int>((p >> 1) & 1);
    d30 = static_cast<int>(p & 1);
  }
}

// TLM and HOW: preamble, the HOW count of the next subframe, alert and anti-spoof flags.
inline Words header(int subframe, std::uint32_t towCount, int alert = 0, int as = 1) {
  Words w{};
  putBits(w, 1, 8, 0x8B);
  putBits(w, 31, 17, towCount);
  putBits(w, 48, 1, static_cast<std::uint64_t>(alert));
  putBits(w, 49, 1, static_cast<std::uint64_t>(as));
  putBits(w, 50, 3, static_cast<std::uint64_t>(subframe));
  return w;
}


struct Vector {
  SvIdType sv;
  Words w{};
};

// The raw LNAV messages of the public vector file by name.
inline std::map<std::string, Vector> loadVectors() {
  std::map<std::string, Vector> out;
  for (const auto& col : navfiles::vectorRows("gnsstk_nav_messages.csv")) {
    if (col.size() < 10 || col[1] != "LNav") continue;
    Vector& v = out[col[0]];
    const std::uint8_t sys = col[2] == "QZSS" ? kSysQzss : kSysGps;
    const auto si = static_cast<std::uint8_t>(std::stoi(col[3]) - kNavFirstSatNumber[sys]);
    v.sv = SvIdType{si, sys, 0, si};
    for (int i = 0; i < 300; ++i) putBits(v.w, i + 1, 1, static_cast<std::uint64_t>(navfiles::hexBit(col[9], i)));
  }
  return out;
}

// A store of its own for the decoder pool, and the decoders' outlets caught.
inline ZRT_ION_GPS gIon;
inline int gIonSys = -1;
struct Reset {
  SvIdType sv;
  std::uint8_t mask;
};
inline std::vector<Reset> gResets;
inline std::vector<SvIdType> gEphResets;
inline std::vector<NavNmctType> gNmct;
inline std::vector<std::uint16_t> gGbasCrc;
inline int gPrnTable[32];

struct Harness {
  std::unique_ptr<SatelliteDataProcessor> store = std::make_unique<SatelliteDataProcessor>();
  std::map<std::string, Vector> vec = loadVectors();
  Harness() {
    navtest::blankImage();
    for (GpsNavDataDecoderType& d : GpsNavDataDecoderPool) d.init_Object(store.get());
    for (int k = 0; k < 32; ++k) gPrnTable[k] = k + 1;
    gResets.clear(), gEphResets.clear(), gNmct.clear(), gGbasCrc.clear(), gIonSys = -1;
    navDecoderLinks.gpsPrnEntry = [](int k) { return gPrnTable[k]; };
    navDecoderLinks.klobuchar = [](int sys, const ZRT_ION_GPS* ion) { gIon = *ion, gIonSys = sys; };
    navDecoderLinks.satResetRequest = [](SvIdType sv, std::uint8_t mask, std::uint8_t) { gResets.push_back({sv, mask}); };
    navDecoderLinks.ephemerisReset = [](SvIdType sv) { gEphResets.push_back(sv); };
    navDecoderLinks.nmct = [](const NavNmctType* t) { gNmct.push_back(*t); };
    navDecoderLinks.gbasEphIntegrity = [](SvIdType, std::uint16_t, std::uint16_t crc) { gGbasCrc.push_back(crc); };
  }
  void feed(SvIdType sv, const Words& w, float cn0 = 45.0f, std::uint8_t signal = 0, std::uint32_t tag = 0) {
    const NavDecoderTime t{0, tag};
    get_GpsNavDataDecoder(&t, &sv)->update(t, sv, signal, w.data(), 10, cn0);
  }
  const ZRT_EPH_GPS* eph(SvIdType sv, double sec = 7200) {
    SatDataEpoch ep;
    ep.time.valid = true;
    ep.time.sec[sv.sys] = sec;
    store->update(ep);
    const ExtEphRecord* r = store->get_EphLastData(sv.sys, sv.si, 0);
    return r ? reinterpret_cast<const ZRT_EPH_GPS*>(r->native) : nullptr;
  }
  const ZRT_ALM_GPS* alm(int sys, int sat) { return static_cast<const ZRT_ALM_GPS*>(store->get_AlmLastData(sys, sat)); }
};

inline long long q(double v, int pow2) { return std::llround(std::ldexp(v, pow2)); }
constexpr double kGpsPi = 3.1415926535898;  // IS-GPS-200's value for semicircles

// One broadcast ephemeris as a RINEX 2 navigation file lists it (angles in radians).
struct RinexEph {
  int prn = 0;
  double v[32] = {};  // v[0..2] clock, then the 7 broadcast orbit lines of 4 values
  int tocSow = 0;
};

// The GPS-type LNAV records of a RINEX 2 GPS or RINEX 4 mixed navigation file (gzip read
// through gzip), for one system letter; toc as seconds of week from the epoch's date.
inline std::vector<RinexEph> readRinexNav(const std::string& path, char system) {
  const std::vector<std::string> lines = navfiles::readLines(path);
  const bool v4 = !lines.empty() && lines[0].find("4.0") != std::string::npos;
  const std::size_t first = v4 ? 23 : 22, cont = v4 ? 4 : 3;
  std::vector<RinexEph> out;
  std::size_t i = 0;
  while (i < lines.size() && lines[i].find("END OF HEADER") == std::string::npos) ++i;
  for (++i; i + 7 < lines.size(); ++i) {
    if (v4 && lines[i].rfind(std::string("> EPH ") + system, 0) == 0 && lines[i].find("LNAV") != std::string::npos) {
      ++i;
    } else if (v4 || lines[i].size() < 79 || lines[i][0] == '>') {
      continue;
    }
    auto num = [](std::string s) {
      for (char& c : s)
        if (c == 'D') c = 'E';
      return s.find_first_not_of(' ') == std::string::npos ? 0.0 : std::stod(s);
    };
    RinexEph e;
    const std::string& l0 = lines[i];
    e.prn = std::stoi(l0.substr(v4 ? 1 : 0, 2)) + (system == 'J' ? 192 : 0);
    std::istringstream t(l0.substr(v4 ? 4 : 3, first - (v4 ? 4 : 3)));
    int yy, mo, dd, hh, mi;
    double ss;
    t >> yy >> mo >> dd >> hh >> mi >> ss;
    // Day of the GPS week: 2010-07-01 is a Thursday, 2023-03-12 a Sunday.
    const int dow = yy == 2010 || yy == 10 ? 4 + dd - 1 : dd - 12;
    e.tocSow = dow * 86400 + hh * 3600 + mi * 60 + static_cast<int>(ss);
    for (int k = 0; k < 3; ++k) e.v[k] = num(l0.substr(first + 19 * static_cast<std::size_t>(k), 19));
    for (int l = 0; l < 7; ++l) {
      const std::string& s = lines[++i];
      for (std::size_t k = 0; k < 4; ++k) {
        const std::size_t pos = cont + 19 * k;
        e.v[3 + 4 * l + static_cast<int>(k)] = pos + 19 <= s.size() ? num(s.substr(pos, 19)) : 0.0;
      }
    }
    out.push_back(e);
  }
  return out;
}

// Indexes into RinexEph::v (RINEX 2 order).
enum : int { kAf0, kAf1, kAf2, kIode, kCrs, kDn, kM0, kCuc, kE, kCus, kSqrtA, kToe, kCic, kOmega0, kCis, kI0,
             kCrc, kOmega, kOmegaDot, kIdot, kL2Codes, kWeek, kL2P, kAcc, kHealth, kTgd, kIodc, kTtm, kFit };

inline int uraIndex(double metres) {
  const double bound[15] = {2.4, 3.4, 4.85, 6.85, 9.65, 13.65, 24, 48, 96, 192, 384, 768, 1536, 3072, 6144};
  for (int i = 0; i < 15; ++i)
    if (metres <= bound[i]) return i;
  return 15;
}

// Subframes 1-3 of the ephemeris, HOW counts from the transmission time.
inline std::array<Words, 3> encodeLnav(const RinexEph& r) {
  const double* v = r.v;
  const auto sc = [](double rad) { return rad / kGpsPi; };
  const double sent = std::fmod(std::floor(v[kTtm] / 30.0) * 30 + 604800.0, 604800.0);  // may lie in the week before
  const std::uint32_t tow = static_cast<std::uint32_t>(sent) / 6 + 1;
  std::array<Words, 3> sf{header(1, tow), header(2, tow + 1), header(3, tow + 2)};
  const auto iodc = static_cast<std::uint64_t>(v[kIodc]);
  Words& a = sf[0];
  putBits(a, 61, 10, static_cast<std::uint64_t>(v[kWeek]) % 1024);
  putBits(a, 71, 2, static_cast<std::uint64_t>(v[kL2Codes]));
  putBits(a, 73, 4, static_cast<std::uint64_t>(uraIndex(v[kAcc])));
  putBits(a, 77, 6, static_cast<std::uint64_t>(v[kHealth]));
  putBits(a, 83, 2, iodc >> 8);
  putBits(a, 91, 1, static_cast<std::uint64_t>(v[kL2P]));
  putBits(a, 197, 8, static_cast<std::uint64_t>(q(v[kTgd], 31)));
  putBits(a, 211, 8, iodc & 0xFF);
  putBits(a, 219, 16, static_cast<std::uint64_t>(r.tocSow % 604800 / 16));
  putBits(a, 241, 8, static_cast<std::uint64_t>(q(v[kAf2], 55)));
  putBits(a, 249, 16, static_cast<std::uint64_t>(q(v[kAf1], 43)));
  putBits(a, 271, 22, static_cast<std::uint64_t>(q(v[kAf0], 31)));
  Words& b = sf[1];
  const auto m0 = static_cast<std::uint64_t>(q(sc(v[kM0]), 31));
  const auto e = static_cast<std::uint64_t>(q(v[kE], 33));
  const auto sqrtA = static_cast<std::uint64_t>(q(v[kSqrtA], 19));
  putBits(b, 61, 8, static_cast<std::uint64_t>(v[kIode]));
  putBits(b, 69, 16, static_cast<std::uint64_t>(q(v[kCrs], 5)));
  putBits(b, 91, 16, static_cast<std::uint64_t>(q(sc(v[kDn]), 43)));
  putBits(b, 107, 8, m0 >> 24), putBits(b, 121, 24, m0);
  putBits(b, 151, 16, static_cast<std::uint64_t>(q(v[kCuc], 29)));
  putBits(b, 167, 8, e >> 24), putBits(b, 181, 24, e);
  putBits(b, 211, 16, static_cast<std::uint64_t>(q(v[kCus], 29)));
  putBits(b, 227, 8, sqrtA >> 24), putBits(b, 241, 24, sqrtA);
  putBits(b, 271, 16, static_cast<std::uint64_t>(v[kToe]) / 16);
  putBits(b, 287, 1, v[kFit] > 4.0 ? 1 : 0);
  putBits(b, 288, 5, 31);
  Words& c = sf[2];
  const auto om0 = static_cast<std::uint64_t>(q(sc(v[kOmega0]), 31));
  const auto i0 = static_cast<std::uint64_t>(q(sc(v[kI0]), 31));
  const auto om = static_cast<std::uint64_t>(q(sc(v[kOmega]), 31));
  putBits(c, 61, 16, static_cast<std::uint64_t>(q(v[kCic], 29)));
  putBits(c, 77, 8, om0 >> 24), putBits(c, 91, 24, om0);
  putBits(c, 121, 16, static_cast<std::uint64_t>(q(v[kCis], 29)));
  putBits(c, 137, 8, i0 >> 24), putBits(c, 151, 24, i0);
  putBits(c, 181, 16, static_cast<std::uint64_t>(q(v[kCrc], 5)));
  putBits(c, 197, 8, om >> 24), putBits(c, 211, 24, om);
  putBits(c, 241, 24, static_cast<std::uint64_t>(q(sc(v[kOmegaDot]), 43)));
  putBits(c, 271, 8, static_cast<std::uint64_t>(v[kIode]));
  putBits(c, 279, 14, static_cast<std::uint64_t>(q(sc(v[kIdot]), 43)));
  for (Words& w : sf) addParity(w);
  return sf;
}

}  // namespace lnavtest
