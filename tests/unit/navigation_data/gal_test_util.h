// Galileo pages for the decoder tests: the public vectors read from their file, a RINEX 3/4
// reader of the Galileo records, and an encoder of I/NAV words 1-5 and F/NAV pages 1-4 written
// here from the Galileo OS SIS ICD tables (word and page layouts), independent of the decoder.
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
#include "unit/navigation_data/nav_files.h"
#include "navigation_data/decoders/gal_nav_decoder.h"

namespace galtest {

using Bytes = std::vector<std::uint8_t>;
constexpr double kGalPi = 3.1415926535898;  // the ICD's value for semicircles

// Bit `pos` (0 = MSB of byte 0) on, n bits of v.
inline void put(Bytes& b, int pos, int n, std::uint64_t v) {
  for (int i = 0; i < n; ++i) {
    const int p = pos + i;
    const auto m = static_cast<std::uint8_t>(0x80u >> (p % 8));
    if ((v >> (n - 1 - i)) & 1) b[static_cast<std::size_t>(p / 8)] |= m;
    else b[static_cast<std::size_t>(p / 8)] &= static_cast<std::uint8_t>(~m);
  }
}
inline std::uint64_t get(const Bytes& b, int pos, int n) {
  std::uint64_t v = 0;
  for (int i = 0; i < n; ++i) v = v << 1 | ((b[static_cast<std::size_t>((pos + i) / 8)] >> (7 - (pos + i) % 8)) & 1);
  return v;
}

// A 128-bit I/NAV word as the page pair that carries it: even half (even/odd 0, page type,
// 112 word bits, 6 tail bits), odd half (even/odd 1, page type 0, the last 16 word bits, rest 0).
inline Bytes pagePair(const Bytes& word, bool alert = false) {
  Bytes p(30, 0);
  put(p, 1, 1, alert ? 1 : 0);
  for (int i = 0; i < 112; ++i) put(p, 2 + i, 1, get(word, i, 1));
  put(p, 120, 1, 1);
  for (int i = 0; i < 16; ++i) put(p, 122 + i, 1, get(word, 112 + i, 1));
  return p;
}

inline Bytes fromHex(const std::string& hex) {
  Bytes b((hex.size() + 1) / 2, 0);
  for (std::size_t i = 0; i < hex.size(); ++i) {
    const int nib = std::stoi(hex.substr(i, 1), nullptr, 16);
    b[i / 2] = static_cast<std::uint8_t>(b[i / 2] | (i % 2 == 0 ? nib << 4 : nib));
  }
  return b;
}

inline std::vector<std::string> split(const std::string& s, char sep) {
  std::vector<std::string> out;
  std::string cur;
  bool quoted = false;
  for (char c : s) {
    if (c == '"') quoted = !quoted;
    if (c == sep && !quoted) {
      out.push_back(cur);
      cur.clear();
    } else {
      cur += c;
    }
  }
  out.push_back(cur);
  return out;
}

// The Galileo vectors: the page as the decoder takes it (words wrapped into page pairs), its
// navigation-data type and transmission time (s of week).
struct Vector {
  Bytes page;
  int navType = 0;
  double sow = 0;
  int nbits = 0;
};
inline std::map<std::string, Vector> loadVectors() {
  std::map<std::string, Vector> out;
  std::ifstream f(std::string(RX_SHARED_DIR) + "/testdata/navmsg/gnsstk_nav_messages.csv");
  std::string line;
  while (std::getline(f, line)) {
    const auto c = split(line, ',');
    if (c.size() < 10 || c[2] != "Galileo") continue;
    Vector v;
    v.nbits = std::stoi(c[8]);
    const Bytes raw = fromHex(c[9]);
    v.page = v.nbits == 128 ? pagePair(raw) : raw;
    v.navType = c[6] == "GalFNAV" ? kGalNavE5a : c[4] == "E5b" ? kGalNavE5b : kGalNavE1B;
    const auto at = c[7].find("sow");
    v.sow = std::stod(c[7].substr(c[7].find(':', at) + 1));
    out[c[0]] = v;
  }
  return out;
}

inline std::vector<GalNeQuickParams> gNeQuick;

// A store of its own for the decoder pool.
struct Harness {
  std::unique_ptr<SatelliteDataProcessor> store = std::make_unique<SatelliteDataProcessor>();
  Harness() {
    navtest::blankImage();
    for (GalDataDecoder& d : GalDataDecoderInstance) d.init_Object(store.get());
    for (auto& set : GalDataDecoder::inavAlmSets) set = GalDataDecoder::AlmanacSet{255, {}};  // as at start
    gNeQuick.clear();
    satDataLinks.galNeQuick = [](const GalNeQuickParams& p) { gNeQuick.push_back(p); };
  }
  ~Harness() { satDataLinks.galNeQuick = nullptr; }
  GalDataDecoder* feed(SvIdType sv, const Bytes& page, int navType, double sow, bool galTime = true) {
    const NavDecoderTime t{0, static_cast<std::uint32_t>(std::llround(sow * 1000))};
    GalDataDecoder* d = get_GalDataDecoder(&t, &sv);
    d->update_Galileo(t, page.data(), static_cast<int>(page.size()), sv, navType,
                      galTime ? std::llround(sow * 1000) : -1);
    return d;
  }
  const ZRT_EPH_GAL* eph(SvIdType sv, int dataType, double sec) {
    SatDataEpoch ep;
    ep.time.valid = true;
    ep.time.sec[kSysGalileo] = sec;
    store->update(ep);
    const ExtEphRecord* r = store->get_EphLastData(kSysGalileo, sv.si, dataType);
    return r ? reinterpret_cast<const ZRT_EPH_GAL*>(r->native) : nullptr;
  }
};

inline SvIdType gal(int svid) {
  const auto si = static_cast<std::uint8_t>(svid - 1);
  return SvIdType{si, kSysGalileo, 0, si};
}

// One Galileo record of a RINEX 3/4 navigation file (angles in radians), with the kind.
struct RinexGal {
  int svid = 0;
  bool fnav = false;
  double v[31] = {};  // clock terms, then 7 orbit lines of 4 values
  int tocSow = 0;
};
enum : int { kAf0, kAf1, kAf2, kIod, kCrs, kDn, kM0, kCuc, kE, kCus, kSqrtA, kToe, kCic, kOmega0, kCis, kI0,
             kCrc, kOmega, kOmegaDot, kIdot, kSources, kWeek, kSpare, kSisa, kHealth, kBgdA, kBgdB, kTtm };

inline std::vector<RinexGal> readRinexGal(const std::string& path) {
  const std::vector<std::string> lines = navfiles::readLines(path);
  std::vector<RinexGal> out;
  std::size_t i = 0;
  while (i < lines.size() && lines[i].find("END OF HEADER") == std::string::npos) ++i;
  auto num = [](const std::string& s, std::size_t at) {
    if (s.size() < at + 19) return 0.0;
    const std::string f = s.substr(at, 19);
    return f.find_first_not_of(" \n") == std::string::npos ? 0.0 : std::stod(f);
  };
  for (++i; i + 8 < lines.size(); ++i) {
    if (lines[i].rfind("> EPH E", 0) != 0) continue;
    RinexGal r;
    r.fnav = lines[i].find("FNAV") != std::string::npos;
    const std::string& l0 = lines[++i];
    r.svid = std::stoi(l0.substr(1, 2));
    int yy, mo, dd, hh, mi, ss;
    std::istringstream t(l0.substr(4, 19));
    t >> yy >> mo >> dd >> hh >> mi >> ss;
    r.tocSow = (dd - 12) * 86400 + hh * 3600 + mi * 60 + ss;  // 2023-03-12 is a Sunday
    for (int k = 0; k < 3; ++k) r.v[k] = num(l0, 23 + 19 * static_cast<std::size_t>(k));
    for (int l = 0; l < 7; ++l) {
      const std::string& s = lines[++i];
      for (std::size_t k = 0; k < 4; ++k) {
        const int idx = 3 + 4 * l + static_cast<int>(k);
        if (idx < 31) r.v[idx] = num(s, 4 + 19 * k);
      }
    }
    out.push_back(r);
  }
  return out;
}

inline std::uint64_t q(double v, int pow2) { return static_cast<std::uint64_t>(std::llround(std::ldexp(v, pow2))); }
inline int sisaIndex(double m) {
  if (m < 0.495) return static_cast<int>(std::lround(m / 0.01));
  if (m < 0.99) return 50 + static_cast<int>(std::lround((m - 0.5) / 0.02));
  if (m < 1.98) return 75 + static_cast<int>(std::lround((m - 1.0) / 0.04));
  if (m <= 6.0) return 100 + static_cast<int>(std::lround((m - 2.0) / 0.16));
  return 255;
}

// I/NAV words 1-5 (16 bytes each) of a record: OS SIS ICD word types 1-5. RINEX health bits
// (E1-B DVS, E1-B HS x2, E5a DVS, E5a HS x2, E5b DVS, E5b HS x2) go into word 5's order.
inline std::array<Bytes, 5> encodeINav(const RinexGal& r, std::uint32_t tow) {
  const double* v = r.v;
  const auto sc = [](double rad) { return rad / kGalPi; };
  std::array<Bytes, 5> w;
  for (int k = 0; k < 5; ++k) {
    w[k] = Bytes(16, 0);
    put(w[k], 0, 6, static_cast<std::uint64_t>(k + 1));
    if (k < 4) put(w[k], 6, 10, static_cast<std::uint64_t>(v[kIod]));
  }
  put(w[0], 16, 14, static_cast<std::uint64_t>(v[kToe]) / 60);
  put(w[0], 30, 32, q(sc(v[kM0]), 31));
  put(w[0], 62, 32, q(v[kE], 33));
  put(w[0], 94, 32, q(v[kSqrtA], 19));
  put(w[1], 16, 32, q(sc(v[kOmega0]), 31));
  put(w[1], 48, 32, q(sc(v[kI0]), 31));
  put(w[1], 80, 32, q(sc(v[kOmega]), 31));
  put(w[1], 112, 14, q(sc(v[kIdot]), 43));
  put(w[2], 16, 24, q(sc(v[kOmegaDot]), 43));
  put(w[2], 40, 16, q(sc(v[kDn]), 43));
  put(w[2], 56, 16, q(v[kCuc], 29));
  put(w[2], 72, 16, q(v[kCus], 29));
  put(w[2], 88, 16, q(v[kCrc], 5));
  put(w[2], 104, 16, q(v[kCrs], 5));
  put(w[2], 120, 8, static_cast<std::uint64_t>(sisaIndex(v[kSisa])));
  put(w[3], 16, 6, static_cast<std::uint64_t>(r.svid));
  put(w[3], 22, 16, q(v[kCic], 29));
  put(w[3], 38, 16, q(v[kCis], 29));
  put(w[3], 54, 14, static_cast<std::uint64_t>(r.tocSow % 604800) / 60);
  put(w[3], 68, 31, q(v[kAf0], 34));
  put(w[3], 99, 21, q(v[kAf1], 46));
  put(w[3], 120, 6, q(v[kAf2], 59));
  const auto h = static_cast<std::uint32_t>(v[kHealth]);
  put(w[4], 47, 10, q(v[kBgdA], 32));
  put(w[4], 57, 10, q(v[kBgdB], 32));
  put(w[4], 67, 2, (h >> 7) & 3);  // E5b HS
  put(w[4], 69, 2, (h >> 1) & 3);  // E1-B HS
  put(w[4], 71, 1, (h >> 6) & 1);  // E5b DVS
  put(w[4], 72, 1, h & 1);         // E1-B DVS
  put(w[4], 73, 12, static_cast<std::uint64_t>(v[kWeek]) - 1024);
  put(w[4], 85, 20, tow);
  return w;
}

// F/NAV pages 1-4 (27 bytes each) of a record: OS SIS ICD page types 1-4.
inline std::array<Bytes, 4> encodeFNav(const RinexGal& r, std::uint32_t tow) {
  const double* v = r.v;
  const auto sc = [](double rad) { return rad / kGalPi; };
  std::array<Bytes, 4> p;
  for (int k = 0; k < 4; ++k) {
    p[k] = Bytes(31, 0);
    put(p[k], 0, 6, static_cast<std::uint64_t>(k + 1));
    if (k > 0) put(p[k], 6, 10, static_cast<std::uint64_t>(v[kIod]));
  }
  const auto h = static_cast<std::uint32_t>(v[kHealth]);
  put(p[0], 6, 6, static_cast<std::uint64_t>(r.svid));
  put(p[0], 12, 10, static_cast<std::uint64_t>(v[kIod]));
  put(p[0], 22, 14, static_cast<std::uint64_t>(r.tocSow % 604800) / 60);
  put(p[0], 36, 31, q(v[kAf0], 34));
  put(p[0], 67, 21, q(v[kAf1], 46));
  put(p[0], 88, 6, q(v[kAf2], 59));
  put(p[0], 94, 8, static_cast<std::uint64_t>(sisaIndex(v[kSisa])));
  put(p[0], 143, 10, q(v[kBgdA], 32));
  put(p[0], 153, 2, (h >> 4) & 3);  // E5a HS
  put(p[0], 155, 12, static_cast<std::uint64_t>(v[kWeek]) - 1024);
  put(p[0], 167, 20, tow);
  put(p[0], 187, 1, (h >> 3) & 1);  // E5a DVS
  put(p[1], 16, 32, q(sc(v[kM0]), 31));
  put(p[1], 48, 24, q(sc(v[kOmegaDot]), 43));
  put(p[1], 72, 32, q(v[kE], 33));
  put(p[1], 104, 32, q(v[kSqrtA], 19));
  put(p[1], 136, 32, q(sc(v[kOmega0]), 31));
  put(p[1], 168, 14, q(sc(v[kIdot]), 43));
  put(p[2], 16, 32, q(sc(v[kI0]), 31));
  put(p[2], 48, 32, q(sc(v[kOmega]), 31));
  put(p[2], 80, 16, q(sc(v[kDn]), 43));
  put(p[2], 96, 16, q(v[kCuc], 29));
  put(p[2], 112, 16, q(v[kCus], 29));
  put(p[2], 128, 16, q(v[kCrc], 5));
  put(p[2], 144, 16, q(v[kCrs], 5));
  put(p[2], 160, 14, static_cast<std::uint64_t>(v[kToe]) / 60);
  put(p[3], 16, 16, q(v[kCic], 29));
  put(p[3], 32, 16, q(v[kCis], 29));
  return p;
}

}  // namespace galtest
