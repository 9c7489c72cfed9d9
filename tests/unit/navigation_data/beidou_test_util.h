// BeiDou D1 subframes for the decoder tests: the public vectors read from their file, RINEX
// BeiDou navigation records, and an encoder of D1 subframes written here from the ICD's field
// lists (BDS-SIS-ICD-B1I 3.0, Figures 5-6 to 5-12): each subframe's fields in transmission
// order, laid into the data bits (26 in word 1, 22 in each other word, parity bits left 0).
#pragma once

#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "unit/navigation_data/blank_image.h"
#include "fixtures/nav_files.h"
#include "navigation_data/decoders/beidou_d1_decoder.h"

namespace bdstest {

using navfiles::split;

using Words = std::array<std::uint32_t, 10>;
constexpr double kBdsPi = 3.1415926535898;  // the ICD's value for semicircles

inline void putBit(Words& w, int bit, int v) {
  const std::uint32_t m = 1u << (31 - (bit - 1) % 32);
  if (v) {
    w[static_cast<std::size_t>((bit - 1) / 32)] |= m;
  } else {
    w[static_cast<std::size_t>((bit - 1) / 32)] &= ~m;
  }
}

// Fills the data bits of a subframe from (value, width) pairs in transmission order.
struct DataStream {
  Words w{};
  int dataBit = 0;  // data bits written so far
  DataStream& put(long long v, int n) {
    for (int i = n - 1; i >= 0; --i, ++dataBit) {
      const int word = dataBit < 26 ? 0 : 1 + (dataBit - 26) / 22;
      const int inWord = dataBit < 26 ? dataBit : (dataBit - 26) % 22;
      putBit(w, word * 30 + inWord + 1, static_cast<int>((static_cast<unsigned long long>(v) >> i) & 1));
    }
    return *this;
  }
};

// Preamble 11100010010, Rev, FraID, SOW.
inline DataStream header(int fraId, long long sow) {
  DataStream d;
  d.put(0x712, 11).put(0, 4).put(fraId, 3).put(sow, 20);
  return d;
}

struct D1Ephemeris {
  long long satH1 = 0, aodc = 0, urai = 0, wn = 0, toc = 0, tgd1 = 0, tgd2 = 0;
  long long alpha[4] = {}, beta[4] = {};
  long long a0 = 0, a1 = 0, a2 = 0, aode = 0;
  long long dn = 0, cuc = 0, m0 = 0, e = 0, cus = 0, crc = 0, crs = 0, sqrtA = 0, toe = 0;
  long long i0 = 0, cic = 0, omegaDot = 0, cis = 0, idot = 0, omega0 = 0, omega = 0;
};

inline std::array<Words, 3> encodeD1(const D1Ephemeris& f, long long sow1) {
  DataStream a = header(1, sow1);
  a.put(f.satH1, 1).put(f.aodc, 5).put(f.urai, 4).put(f.wn, 13).put(f.toc, 17).put(f.tgd1, 10).put(f.tgd2, 10);
  for (long long x : f.alpha) a.put(x, 8);
  for (long long x : f.beta) a.put(x, 8);
  a.put(f.a2, 11).put(f.a0, 24).put(f.a1, 22).put(f.aode, 5);
  DataStream b = header(2, sow1 + 6);
  b.put(f.dn, 16).put(f.cuc, 18).put(f.m0, 32).put(f.e, 32).put(f.cus, 18).put(f.crc, 18).put(f.crs, 18);
  b.put(f.sqrtA, 32).put(f.toe >> 15, 2);
  DataStream c = header(3, sow1 + 12);
  c.put(f.toe & 0x7FFF, 15).put(f.i0, 32).put(f.cic, 18).put(f.omegaDot, 24).put(f.cis, 18).put(f.idot, 14);
  c.put(f.omega0, 32).put(f.omega, 32).put(0, 1);
  return {a.w, b.w, c.w};
}

struct D1Almanac {
  long long sqrtA = 0, a1 = 0, a0 = 0, omega0 = 0, e = 0, di = 0, toa = 0, omegaDot = 0, omega = 0, m0 = 0;
};

inline Words encodeAlmanacPage(int fraId, int page, const D1Almanac& a, long long sow) {
  DataStream d = header(fraId, sow);
  d.put(0, 1).put(page, 7).put(a.sqrtA, 24).put(a.a1, 11).put(a.a0, 11).put(a.omega0, 24).put(a.e, 17);
  d.put(a.di, 16).put(a.toa, 8).put(a.omegaDot, 17).put(a.omega, 24).put(a.m0, 24).put(0, 2);
  return d.w;
}

// Page 8: health of satellites 20-30, WNa, toa; page 7: health of 1-19.
inline Words encodePage8(const int health[11], long long wna, long long toa, long long sow) {
  DataStream d = header(5, sow);
  d.put(0, 1).put(8, 7);
  for (int k = 0; k < 11; ++k) d.put(health[k], 9);
  d.put(wna, 8).put(toa, 8);
  return d.w;
}
inline Words encodePage7(const int health[19], long long sow) {
  DataStream d = header(5, sow);
  d.put(0, 1).put(7, 7);
  for (int k = 0; k < 19; ++k) d.put(health[k], 9);
  return d.w;
}
inline Words encodeUtcPage(long long dtls, long long dtlsf, long long wnlsf, long long a0, long long a1, long long dn,
                           long long sow) {
  DataStream d = header(5, sow);
  d.put(0, 1).put(10, 7).put(dtls, 8).put(dtlsf, 8).put(wnlsf, 8).put(a0, 32).put(a1, 24).put(dn, 8);
  return d.w;
}


struct Vector {
  SvIdType sv;
  Words w{};
  double sow = 0;  // transmit time of the vector file
};

// The D1 messages of the public vector file by name, in file order.
inline std::vector<std::pair<std::string, Vector>> loadD1Vectors() {
  std::vector<std::pair<std::string, Vector>> out;
  for (const auto& col : navfiles::vectorRows("gnsstk_nav_messages.csv")) {
    if (col.size() < 10 || col[1] != "D1Nav") continue;
    Vector v;
    const auto si = static_cast<std::uint8_t>(std::stoi(col[3]) - 1);
    v.sv = SvIdType{si, kSysBeidou, 0, si};
    for (int i = 0; i < 300; ++i) putBit(v.w, i + 1, navfiles::hexBit(col[9], i));
    const std::size_t p = col[7].find("\"sow\": ");
    v.sow = std::stod(col[7].substr(p + 7));
    out.emplace_back(col[0], v);
  }
  return out;
}

// The decoders' outlets caught, and a store of the test's own.
inline ZRT_ION_GPS gIon;
inline int gIonSys = -1;
inline int gIonCount = 0;
struct Reset {
  SvIdType sv;
  std::uint8_t mask;
};
inline std::vector<Reset> gResets;
inline std::vector<SvIdType> gEphResets;

struct Harness {
  std::unique_ptr<SatelliteDataProcessor> store = std::make_unique<SatelliteDataProcessor>();
  Harness() {
    navtest::blankImage();
    for (CompD1NavDataDecoderType& d : CompD1NavDataDecoderInstance) d.init_Object(store.get());
    gResets.clear(), gEphResets.clear(), gIonSys = -1, gIonCount = 0;
    navDecoderLinks.klobuchar = [](int sys, const ZRT_ION_GPS* ion) { gIon = *ion, gIonSys = sys, ++gIonCount; };
    navDecoderLinks.satResetRequest = [](SvIdType sv, std::uint8_t mask, std::uint8_t) { gResets.push_back({sv, mask}); };
    navDecoderLinks.ephemerisReset = [](SvIdType sv) { gEphResets.push_back(sv); };
  }
  void feed(SvIdType sv, const Words& w, float cn0 = 45.0f, std::uint8_t signal = 0, std::uint32_t tag = 0) {
    const NavDecoderTime t{0, tag};
    get_CompD1NavDataDecoder(&t, &sv)->update(t, sv, signal, w.data(), 10, cn0);
  }
  // The store's record after a step at BDT second `sec` of week `week`.
  const ZRT_EPH_CMP* eph(SvIdType sv, double sec, int week = -1) {
    step(sec, week);
    const ExtEphRecord* r = store->get_EphLastData(kSysBeidou, sv.si, 0);
    return r ? reinterpret_cast<const ZRT_EPH_CMP*>(r->native) : nullptr;
  }
  void step(double sec, int week = -1, double mono = 0) {
    SatDataEpoch ep;
    ep.time.valid = true;
    ep.time.sec[kSysBeidou] = sec;
    ep.time.cycleKnown[kSysBeidou] = week >= 0;
    ep.time.cycle[kSysBeidou] = week >= 0 ? week : 0;
    ep.monoSec = mono;
    store->update(ep);
  }
  const ZRT_ALM_CMP* alm(int sat) {
    return static_cast<const ZRT_ALM_CMP*>(store->get_AlmLastData(kSysBeidou, sat));
  }
  const ZRT_UTC_CMP* utc() { return static_cast<const ZRT_UTC_CMP*>(store->get_UtcLastData(kSysBeidou)); }
};

inline SvIdType bds(int prn) {
  const auto si = static_cast<std::uint8_t>(prn - 1);
  return SvIdType{si, kSysBeidou, 0, si};
}

// One BeiDou record of a RINEX 4 navigation file (D1 or D2 message), values as listed.
struct RinexBds {
  int prn = 0;
  std::string type;
  int tocSow = 0;  // BDT, from the epoch (2023-03-12 is a Sunday)
  double v[32] = {};  // clock terms, then the 7 broadcast orbit lines of 4 values
};
enum : int { kAf0, kAf1, kAf2, kAode, kCrs, kDn, kM0, kCuc, kE, kCus, kSqrtA, kToe, kCic, kOmega0, kCis, kI0,
             kCrc, kOmega, kOmegaDot, kIdot, kSpare1, kWeek, kSpare2, kAcc, kSatH1, kTgd1, kTgd2, kTtm, kAodc };

inline std::vector<RinexBds> readRinexBds(const std::string& path) {
  const std::vector<std::string> lines = navfiles::readLines(path);
  auto num = [](const std::string& s) {
    return s.find_first_not_of(" \n") == std::string::npos ? 0.0 : std::stod(s);
  };
  std::vector<RinexBds> out;
  for (std::size_t i = 0; i + 8 < lines.size(); ++i) {
    if (lines[i].rfind("> EPH C", 0) != 0) continue;
    RinexBds r;
    r.type = lines[i].substr(10, 2);
    if (r.type != "D1" && r.type != "D2") continue;
    const std::string& l0 = lines[++i];
    r.prn = std::stoi(l0.substr(1, 2));
    int hh = std::stoi(l0.substr(15, 2)), mi = std::stoi(l0.substr(18, 2)), ss = std::stoi(l0.substr(21, 2));
    r.tocSow = hh * 3600 + mi * 60 + ss;
    for (int k = 0; k < 3; ++k) r.v[k] = num(l0.substr(23 + 19 * static_cast<std::size_t>(k), 19));
    for (int l = 0; l < 7; ++l) {
      const std::string& s = lines[++i];
      for (std::size_t k = 0; k < 4; ++k) {
        const std::size_t pos = 4 + 19 * k;
        r.v[3 + 4 * l + static_cast<int>(k)] = pos + 19 <= s.size() ? num(s.substr(pos, 19)) : 0.0;
      }
    }
    out.push_back(r);
  }
  return out;
}

inline long long q(double v, int pow2) { return std::llround(std::ldexp(v, pow2)); }

}  // namespace bdstest
