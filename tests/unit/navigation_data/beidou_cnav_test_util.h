// BeiDou B-CNAV messages for the decoder tests: RINEX 4 CNV1/CNV2 records read from the public
// broadcast file, and encoders of B1C frames, B2a messages and B2b messages written here from
// the ICDs' field lists (BDS-SIS-ICD-B1C 1.0 6.2.3, BDS-SIS-ICD-B2a 1.0 6.2, BDS-SIS-ICD-B2b
// 1.0 6.2): each message's fields in transmission order, written by a cursor.
#pragma once

#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "unit/navigation_data/blank_image.h"
#include "fixtures/nav_files.h"
#include "navigation_data/decoders/beidou_b2b_decoder.h"
#include "navigation_data/decoders/beidou_cnav1_decoder.h"
#include "navigation_data/decoders/beidou_cnav2_decoder.h"

namespace bcnavtest {

constexpr double kBdsPi = 3.1415926535898;  // the ICD's value for semicircles
constexpr int kBdtWeek = 897;               // 2023-03-12 in BeiDou time

using B1cFrame = std::array<std::uint32_t, 28>;
using B2aMessage = std::array<std::uint32_t, 9>;
using B2bMessage = std::array<std::uint32_t, 16>;

// Writes fields MSB first from a bit position (1 = top of the first word) onwards.
template <std::size_t N>
struct Cursor {
  std::array<std::uint32_t, N>& w;
  int bit;
  Cursor& put(long long v, int n) {
    for (int i = n - 1; i >= 0; --i, ++bit) {
      const std::uint32_t m = 1u << (31 - (bit - 1) % 32);
      auto& word = w[static_cast<std::size_t>((bit - 1) / 32)];
      if ((static_cast<unsigned long long>(v) >> i) & 1u) word |= m;
      else word &= ~m;
    }
    return *this;
  }
  Cursor& skip(int n) {
    for (; n > 0; n -= 32) put(0, n < 32 ? n : 32);
    return *this;
  }
};

inline long long q(double v, int pow2) { return std::llround(std::ldexp(v, pow2)); }

// The broadcast integers of one ephemeris, clock and group delays.
struct CnavFields {
  long long toe = 0, satType = 3, dA = 0, aDot = 0, dn0 = 0, dn0Dot = 0, m0 = 0, e = 0, omega = 0;
  long long omega0 = 0, i0 = 0, omegaDot = 0, idot = 0, cis = 0, cic = 0, crs = 0, crc = 0, cus = 0, cuc = 0;
  long long toc = 0, a0 = 0, a1 = 0, a2 = 0;
  long long iodc = 0, iode = 0;
  long long tgdB1Cp = 0, tgdB2ap = 0, iscB1Cd = 0, iscB2ad = 0, tgdB2b = 0;
  long long hs = 0, dif = 0, sif = 0, aif = 0, sismai = 0, difB1C = 0, sifB1C = 0, aifB1C = 0;
};

template <std::size_t N>
void putEphemeris1(Cursor<N>& c, const CnavFields& f) {
  c.put(f.toe, 11).put(f.satType, 2).put(f.dA, 26).put(f.aDot, 25).put(f.dn0, 17).put(f.dn0Dot, 23);
  c.put(f.m0, 33).put(f.e, 33).put(f.omega, 33);
}
template <std::size_t N>
void putEphemeris2(Cursor<N>& c, const CnavFields& f) {
  c.put(f.omega0, 33).put(f.i0, 33).put(f.omegaDot, 19).put(f.idot, 15).put(f.cis, 16).put(f.cic, 16);
  c.put(f.crs, 24).put(f.crc, 24).put(f.cus, 21).put(f.cuc, 21);
}
template <std::size_t N>
void putClock(Cursor<N>& c, const CnavFields& f) {
  c.put(f.toc, 11).put(f.a0, 25).put(f.a1, 22).put(f.a2, 11);
}

// BDGIM alpha1..alpha9 as broadcast (alpha1 10 bits, the others 8).
struct Bdgim {
  long long a[9] = {};
};
template <std::size_t N>
void putBdgim(Cursor<N>& c, const Bdgim& g) {
  c.put(g.a[0], 10);
  for (int k = 1; k < 9; ++k) c.put(g.a[k], 8);
}

struct MidiAlmanac {
  long long prn = 0, satType = 3, wna = 0, toa = 0, e = 0, di = 0, sqrtA = 0, omega0 = 0, omegaDot = 0;
  long long omega = 0, m0 = 0, af0 = 0, af1 = 0, health = 0;
};
template <std::size_t N>
void putAlmanac(Cursor<N>& c, const MidiAlmanac& a) {
  c.put(a.prn, 6).put(a.satType, 2).put(a.wna, 13).put(a.toa, 8).put(a.e, 11).put(a.di, 11).put(a.sqrtA, 17);
  c.put(a.omega0, 16).put(a.omegaDot, 11).put(a.omega, 16).put(a.m0, 16).put(a.af0, 11).put(a.af1, 10);
  c.put(a.health, 8);
}

// What subframe 3 of a B1C frame carries: page 1 (BDGIM), page 4 (midi almanac) or another.
struct Page3 {
  int type = 2;
  Bdgim iono;
  MidiAlmanac alm;
};

// A B1C frame: subframe 2 (WN, HOW, IODC, IODE, Ephemeris I and II, clock, TGD_B2ap,
// ISC_B1Cd, TGD_B1Cp; CRC left 0) and subframe 3 from the top of word 19.
inline B1cFrame encodeB1c(const CnavFields& f, int wn, int how, const Page3& p = {}) {
  B1cFrame w{};
  Cursor<28> c{w, 1};
  c.put(wn, 13).put(how, 8).put(f.iodc, 10).put(f.iode, 8);
  putEphemeris1(c, f);
  putEphemeris2(c, f);
  putClock(c, f);
  c.put(f.tgdB2ap, 12).put(f.iscB1Cd, 12).put(f.tgdB1Cp, 12);
  Cursor<28> s{w, 609};
  s.put(p.type, 6).put(f.hs, 2).put(f.dif, 1).put(f.sif, 1).put(f.aif, 1).put(f.sismai, 4);
  if (p.type == 1) {
    s.skip(5 + 11 + 5 + 3 + 3);  // SISAI_oe, t_op, SISAI_ocb, SISAI_oc1, SISAI_oc2
    putBdgim(s, p.iono);
  } else if (p.type == 4) {
    s.skip(22);  // the page's SISAI fields
    putAlmanac(s, p.alm);
  }
  return w;
}

// B2a message header, and the 12 health bits of every type but 10.
inline Cursor<9> b2aHeader(B2aMessage& w, int prn, int type, long long sow) {
  Cursor<9> c{w, 1};
  c.put(prn, 6).put(type, 6).put(sow, 18);
  return c;
}
inline void putB2aHealth(Cursor<9>& c, const CnavFields& f) {
  c.put(f.hs, 2).put(f.dif, 1).put(f.sif, 1).put(f.aif, 1).put(f.sismai, 4);
  c.put(f.difB1C, 1).put(f.sifB1C, 1).put(f.aifB1C, 1);
}
inline B2aMessage encodeB2a10(const CnavFields& f, int prn, long long sow, int wn) {
  B2aMessage w{};
  auto c = b2aHeader(w, prn, 10, sow);
  c.put(wn, 13).put(f.dif, 1).put(f.sif, 1).put(f.aif, 1).put(f.sismai, 4);
  c.put(f.difB1C, 1).put(f.sifB1C, 1).put(f.aifB1C, 1).put(f.iode, 8);
  putEphemeris1(c, f);
  return w;
}
inline B2aMessage encodeB2a11(const CnavFields& f, int prn, long long sow) {
  B2aMessage w{};
  auto c = b2aHeader(w, prn, 11, sow);
  putB2aHealth(c, f);
  putEphemeris2(c, f);
  return w;
}
inline B2aMessage encodeB2a30(const CnavFields& f, int prn, long long sow, const Bdgim& g = {}) {
  B2aMessage w{};
  auto c = b2aHeader(w, prn, 30, sow);
  putB2aHealth(c, f);
  putClock(c, f);
  c.put(f.iodc, 10).put(f.tgdB2ap, 12).put(f.iscB2ad, 12);
  putBdgim(c, g);
  c.put(f.tgdB1Cp, 12);
  return w;
}
// Types 31-33 (clock and IODC first) and 34 (22 SISAI bits before them).
inline B2aMessage encodeB2aClock(const CnavFields& f, int prn, int type, long long sow) {
  B2aMessage w{};
  auto c = b2aHeader(w, prn, type, sow);
  putB2aHealth(c, f);
  if (type == 34) c.skip(22);
  putClock(c, f);
  if (type == 33) c.skip(106);  // the time-offset fields stand before its IODC
  c.put(f.iodc, 10);
  return w;
}
inline B2aMessage encodeB2a40(const CnavFields& f, int prn, long long sow, const MidiAlmanac& a) {
  B2aMessage w{};
  auto c = b2aHeader(w, prn, 40, sow);
  putB2aHealth(c, f);
  c.skip(27);  // SISAI fields before the almanac
  putAlmanac(c, a);
  return w;
}

// B2b messages: type, SOW (s), then the type's fields.
inline B2bMessage encodeB2b10(const CnavFields& f, long long sow) {
  B2bMessage w{};
  Cursor<16> c{w, 1};
  c.put(10, 6).put(sow, 20).put(f.iode, 4);
  putEphemeris1(c, f);
  putEphemeris2(c, f);
  c.put(f.dif, 1).put(f.sif, 1).put(f.aif, 1).put(f.sismai, 4);
  return w;
}
inline B2bMessage encodeB2b30(const CnavFields& f, long long sow, int wn, const Bdgim& g = {}) {
  B2bMessage w{};
  Cursor<16> c{w, 1};
  c.put(30, 6).put(sow, 20).put(wn, 13).put(f.iodc, 4);
  putClock(c, f);
  c.put(f.tgdB2b, 12);
  putBdgim(c, g);
  c.skip(97 + 138 + 22 + 5);  // BDT-UTC, Earth orientation, SISAI_oc, SISAI_oe
  c.put(f.hs, 2);
  return w;
}

// One BeiDou CNV1 or CNV2 record of a RINEX 4 navigation file, values as listed.
struct RinexCnav {
  int prn = 0;
  std::string type;
  int tocSow = 0;  // BDT (2023-03-12 is a Sunday)
  double v[40] = {};
  bool blank[40] = {};
};
enum : int { kAf0, kAf1, kAf2, kAdot, kCrs, kDn0, kM0, kCuc, kE, kCus, kSqrtA, kToe, kCic, kOmega0, kCis, kI0,
             kCrc, kOmega, kOmegaDot, kIdot, kDn0Dot, kSatType, kTop, kSisaiOe, kSisaiOcb, kSisaiOc1, kSisaiOc2,
             kIscB1Cd, kIscB2ad, kTgdB1Cp, kTgdB2ap, kSismai, kHealth, kFlags, kIodc, kTtm, kSpare1, kSpare2, kIode };

inline std::vector<RinexCnav> readRinexCnav(const std::string& path) {
  const std::vector<std::string> lines = navfiles::readLines(path);
  auto blankField = [](const std::string& s) { return s.find_first_not_of(" \n") == std::string::npos; };
  std::vector<RinexCnav> out;
  for (std::size_t i = 0; i + 10 < lines.size(); ++i) {
    if (lines[i].rfind("> EPH C", 0) != 0) continue;
    RinexCnav r;
    r.type = lines[i].substr(10, 4);
    if (r.type != "CNV1" && r.type != "CNV2") continue;
    const std::string& l0 = lines[++i];
    r.prn = std::stoi(l0.substr(1, 2));
    r.tocSow = std::stoi(l0.substr(15, 2)) * 3600 + std::stoi(l0.substr(18, 2)) * 60 + std::stoi(l0.substr(21, 2));
    for (int k = 0; k < 3; ++k) r.v[k] = std::stod(l0.substr(23 + 19 * static_cast<std::size_t>(k), 19));
    for (int l = 0; l < 9; ++l) {
      const std::string& s = lines[++i];
      for (std::size_t k = 0; k < 4; ++k) {
        const std::size_t pos = 4 + 19 * k;
        const int at = 3 + 4 * l + static_cast<int>(k);
        const std::string cell = pos < s.size() ? s.substr(pos, 19) : "";
        r.blank[at] = blankField(cell);
        r.v[at] = r.blank[at] ? 0.0 : std::stod(cell);
      }
    }
    out.push_back(r);
  }
  return out;
}

// The broadcast integers of a RINEX record (angles from radians into semicircles).
inline CnavFields fieldsOf(const RinexCnav& r) {
  const double* v = r.v;
  auto sc = [](double rad) { return rad / kBdsPi; };
  CnavFields f;
  f.satType = static_cast<long long>(v[kSatType]);
  const double aref = f.satType == 3 ? 27906100.0 : 42162200.0;
  f.toe = static_cast<long long>(v[kToe]) / 300;
  f.dA = q(v[kSqrtA] * v[kSqrtA] - aref, 9);
  f.aDot = q(v[kAdot], 21);
  f.dn0 = q(sc(v[kDn0]), 44);
  f.dn0Dot = q(sc(v[kDn0Dot]), 57);
  f.m0 = q(sc(v[kM0]), 32), f.e = q(v[kE], 34), f.omega = q(sc(v[kOmega]), 32);
  f.omega0 = q(sc(v[kOmega0]), 32), f.i0 = q(sc(v[kI0]), 32), f.omegaDot = q(sc(v[kOmegaDot]), 44);
  f.idot = q(sc(v[kIdot]), 44), f.cis = q(v[kCis], 30), f.cic = q(v[kCic], 30), f.crs = q(v[kCrs], 8);
  f.crc = q(v[kCrc], 8), f.cus = q(v[kCus], 30), f.cuc = q(v[kCuc], 30);
  f.toc = r.tocSow / 300;
  f.a0 = q(v[kAf0], 34), f.a1 = q(v[kAf1], 50), f.a2 = q(v[kAf2], 66);
  f.iodc = static_cast<long long>(v[kIodc]), f.iode = static_cast<long long>(v[kIode]);
  f.tgdB1Cp = q(v[kTgdB1Cp], 34), f.tgdB2ap = q(v[kTgdB2ap], 34);
  f.iscB1Cd = q(v[kIscB1Cd], 34), f.iscB2ad = q(v[kIscB2ad], 34);
  f.hs = static_cast<long long>(v[kHealth]);
  f.sismai = v[kSismai] < 0 ? 15 : static_cast<long long>(v[kSismai]);
  // The file's integrity flags as DIF, SIF, AIF from bit 0 up.
  const auto flags = static_cast<long long>(v[kFlags]);
  f.dif = flags & 1, f.sif = (flags >> 1) & 1, f.aif = (flags >> 2) & 1;
  return f;
}

inline SvIdType bds(int prn) {
  const auto si = static_cast<std::uint8_t>(prn - 1);
  return SvIdType{si, kSysBeidou, 0, si};
}

// The decoders' BDGIM outlet caught.
inline std::vector<ZRT_ION_CMP> gIono;
inline std::uint64_t gHealthMask = 0;
inline int gB2bSource = 3;

struct Harness {
  std::unique_ptr<SatelliteDataProcessor> store = std::make_unique<SatelliteDataProcessor>();
  std::uint32_t tag = 0;
  Harness() {
    navtest::blankImage();
    for (auto& d : CompCNav1DataDecoderInstance) d.init_Object(store.get());
    for (auto& d : CompCNav2DataDecoderInstance) d.init_Object(store.get());
    for (auto& d : CompCNav2bDataDecoderInstance) d.init_Object(store.get());
    gIono.clear();
    gHealthMask = 0;
    gB2bSource = 3;
    navDecoderLinks.bdGlobalIono = [](const ZRT_ION_CMP* ion) { gIono.push_back(*ion); };
    navDecoderLinks.healthCheckSats = [](int sys) { return sys == kSysBeidou ? gHealthMask : 0; };
    navDecoderLinks.b2bSource = [] { return gB2bSource; };
  }
  ~Harness() {
    navDecoderLinks.bdGlobalIono = nullptr;
    navDecoderLinks.healthCheckSats = nullptr;
    navDecoderLinks.b2bSource = nullptr;
  }
  void b1c(SvIdType sv, const B1cFrame& w, int soh, int n = 28) {
    const NavDecoderTime t{0, ++tag};
    get_CompCNav1DataDecoder(&t, &sv)->update(t, sv, w.data(), n, soh);
  }
  void b2a(SvIdType sv, const B2aMessage& w, int n = 9) {
    const NavDecoderTime t{0, ++tag};
    get_CompCNav2DataDecoder(&t, &sv)->update(t, sv, w.data(), n);
  }
  void b2b(SvIdType sv, const B2bMessage& w, bool variant = false, int n = 16) {
    const NavDecoderTime t{0, ++tag};
    get_CompCNav2bDataDecoder(&t, &sv)->update(t, sv, w.data(), n, variant);
  }
  void step(double sec, int week = kBdtWeek) {
    SatDataEpoch ep;
    ep.time.valid = true;
    ep.time.sec[kSysBeidou] = sec;
    ep.time.cycleKnown[kSysBeidou] = true;
    ep.time.cycle[kSysBeidou] = week;
    store->update(ep);
  }
  // The stored B-CNAV record of a satellite after a step at BDT second `sec`.
  const ZRT_EPH_CMP* eph(SvIdType sv, double sec) {
    step(sec);
    const ExtEphRecord* r = store->get_EphLastData(kSysBeidou, sv.si, 1);
    return r ? reinterpret_cast<const ZRT_EPH_CMP*>(r->native) : nullptr;
  }
  std::uint16_t counter(SvIdType sv) const { return store->get_EphUpdateCounter(kSysBeidou, sv.si, 1); }
};

}  // namespace bcnavtest
