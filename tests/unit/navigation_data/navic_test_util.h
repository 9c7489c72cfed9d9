// NavIC L5 test kit: a subframe encoder written from the IRNSS SPS ICD 1.1 layout (section
// 6.2, tables 9-11 and the message tables of subframes 3-4), a RINEX 4 NavIC reader, and a
// harness with the test's own store and the decoder outlets caught.
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
#include "navigation_data/decoders/navic_l5_decoder.h"

namespace irntest {

using Words = std::array<std::uint32_t, 10>;
constexpr double kIcdPi = 3.1415926535898;

// Subframe bit `bit` (1 = first TLM bit) .. bit + n - 1 set to the low n bits of v.
inline void put(Words& w, int bit, int n, long long v) {
  for (int i = 0; i < n; ++i) {
    const int b = bit + i - 1;
    const std::uint32_t m = 1u << (31 - b % 32);
    const bool one = ((static_cast<unsigned long long>(v) >> (n - 1 - i)) & 1u) != 0;
    auto& word = w[static_cast<std::size_t>(b / 32)];
    word = one ? (word | m) : (word & ~m);
  }
}

// TLM (8 bits 0x8B sync-like pattern), TOWC 17, alert, autonav, subframe ID 2, spare.
inline Words header(long long towc, int subframeId, int alert = 0, int autonav = 0) {
  Words w{};
  put(w, 1, 8, 0x8B);
  put(w, 9, 17, towc);
  put(w, 26, 1, alert);
  put(w, 27, 1, autonav);
  put(w, 28, 2, subframeId);
  return w;
}

struct Ephemeris {
  long long wn = 0, af0 = 0, af1 = 0, af2 = 0, ura = 0, toc = 0, tgd = 0, dn = 0, iodec = 0, l5 = 0, s = 0;
  long long cuc = 0, cus = 0, cic = 0, cis = 0, crc = 0, crs = 0, idot = 0;
  long long m0 = 0, toe = 0, e = 0, sqrtA = 0, omega0 = 0, omega = 0, omegaDot = 0, i0 = 0;
};

// Subframe 1 (ICD table 9): fields back to back from bit 31, 10 reserved bits before L5/S.
inline Words encodeSubframe1(const Ephemeris& f, long long towc, int alert = 0, int autonav = 0) {
  Words w = header(towc, 0, alert, autonav);
  int b = 31;
  auto next = [&](int n, long long v) { put(w, b, n, v), b += n; };
  next(10, f.wn), next(22, f.af0), next(16, f.af1), next(8, f.af2), next(4, f.ura), next(16, f.toc);
  next(8, f.tgd), next(22, f.dn), next(8, f.iodec), next(10, 0), next(1, f.l5), next(1, f.s);
  next(15, f.cuc), next(15, f.cus), next(15, f.cic), next(15, f.cis), next(15, f.crc), next(15, f.crs);
  next(14, f.idot);
  return w;
}

// Subframe 2 (ICD table 10).
inline Words encodeSubframe2(const Ephemeris& f, long long towc) {
  Words w = header(towc, 1);
  int b = 31;
  auto next = [&](int n, long long v) { put(w, b, n, v), b += n; };
  next(32, f.m0), next(16, f.toe), next(32, f.e), next(32, f.sqrtA), next(32, f.omega0), next(32, f.omega);
  next(22, f.omegaDot), next(32, f.i0);
  return w;
}

// A subframe 3 or 4 message: ID at 31-36, PRN ID at 257-262, body from bit 37.
inline Words message(int id, long long towc, int prnId = 1, int subframeId = 2, int alert = 0) {
  Words w = header(towc, subframeId, alert);
  put(w, 31, 6, id);
  put(w, 257, 6, prnId);
  return w;
}

struct Almanac {
  long long wna = 0, e = 0, toa = 0, i0 = 0, omegaDot = 0, sqrtA = 0, omega0 = 0, omega = 0, m0 = 0, af0 = 0,
            af1 = 0, prn = 0, isc = 0;
};
inline Words encodeAlmanac(const Almanac& a, long long towc) {
  Words w = message(7, towc);
  int b = 37;
  auto next = [&](int n, long long v) { put(w, b, n, v), b += n; };
  next(10, a.wna), next(16, a.e), next(16, a.toa), next(24, a.i0), next(16, a.omegaDot), next(24, a.sqrtA);
  next(24, a.omega0), next(24, a.omega), next(24, a.m0), next(11, a.af0), next(11, a.af1), next(6, a.prn);
  next(8, a.isc);
  return w;
}

struct Utc {
  long long a0utc = 0, a1utc = 0, a2utc = 0, dtls = 0, t0utc = 0, wnoutc = 0, wnlsf = 0, dn = 0, dtlsf = 0;
  long long a0 = 0, a1 = 0, a2 = 0, t0 = 0, wn = 0, gnssId = 0;
};
// Messages 9 and 26: UTC parameters at 37-128, the offset to another GNSS at 129-193.
inline Words encodeUtc(int id, const Utc& u, long long towc) {
  Words w = message(id, towc);
  int b = 37;
  auto next = [&](int n, long long v) { put(w, b, n, v), b += n; };
  next(16, u.a0utc), next(13, u.a1utc), next(7, u.a2utc), next(8, u.dtls), next(16, u.t0utc), next(10, u.wnoutc);
  next(10, u.wnlsf), next(4, u.dn), next(8, u.dtlsf);
  next(16, u.a0), next(13, u.a1), next(7, u.a2), next(16, u.t0), next(10, u.wn), next(3, u.gnssId);
  return w;
}

struct DiffCorr {
  long long prn = 0, daf0 = 0, daf1 = 0, udra = 0, dAlpha = 0, dBeta = 0, dGamma = 0, dI = 0, dOmega = 0, dA = 0;
  long long udraRate = 0, iodec = 0, t0d = 0;
};
// Message 14: one satellite's clock and orbit corrections from bit 38, t0D at 172-187.
inline Words encodeDiffCorr(const DiffCorr& d, long long towc) {
  Words w = message(14, towc);
  int b = 38;
  auto next = [&](int n, long long v) { put(w, b, n, v), b += n; };
  next(6, d.prn), next(13, d.daf0), next(8, d.daf1), next(5, d.udra), next(14, d.dAlpha), next(14, d.dBeta);
  next(15, d.dGamma), next(12, d.dI), next(12, d.dOmega), next(12, d.dA), next(5, d.udraRate), next(8, d.iodec);
  put(w, 172, 16, d.t0d);
  return w;
}

// The decoders' outlets caught, and a store of the test's own.
inline ZRT_ION_GPS gIon;
inline int gIonSys = -1;
inline int gIonCount = 0;
inline int gResetCount = 0;

struct Harness {
  std::unique_ptr<SatelliteDataProcessor> store = std::make_unique<SatelliteDataProcessor>();
  Harness() {
    navtest::blankImage();
    for (IrnssL5NavDataDecoderType& d : IrnssL5NavDataDecoderInstance) d.init_Object(store.get());
    gIonSys = -1, gIonCount = 0, gResetCount = 0;
    navDecoderLinks.klobuchar = [](int sys, const ZRT_ION_GPS* ion) { gIon = *ion, gIonSys = sys, ++gIonCount; };
    navDecoderLinks.satResetRequest = [](SvIdType, std::uint8_t, std::uint8_t) { ++gResetCount; };
    navDecoderLinks.ephemerisReset = [](SvIdType) {};
  }
  void feed(SvIdType sv, const Words& w, float cn0 = 45.0f, int numWords = 10) {
    const NavDecoderTime t{0, 0};
    get_IrnssL5NavDataDecoder(&t, &sv)->update(t, sv, 0, w.data(), numWords, cn0);
  }
  void step(double sec, int week = -1) {
    SatDataEpoch ep;
    ep.time.valid = true;
    ep.time.sec[kSysNavic] = sec;
    ep.time.cycleKnown[kSysNavic] = week >= 0;
    ep.time.cycle[kSysNavic] = week >= 0 ? week : 0;
    store->update(ep);
  }
  const ZRT_EPH_IRS* eph(SvIdType sv, double sec, int week = -1) {
    step(sec, week);
    const ExtEphRecord* r = store->get_EphLastData(kSysNavic, sv.si, 0);
    return r ? reinterpret_cast<const ZRT_EPH_IRS*>(r->native) : nullptr;
  }
  const ExtEphRecord* ext(SvIdType sv, double sec) {
    step(sec);
    return store->get_EphLastData(kSysNavic, sv.si, 0);
  }
  const ZRT_ALM_IRS* alm(int sat) { return static_cast<const ZRT_ALM_IRS*>(store->get_AlmLastData(kSysNavic, sat)); }
  const ZRT_UTC_IRS* utc() { return static_cast<const ZRT_UTC_IRS*>(store->get_UtcLastData(kSysNavic)); }
};

inline SvIdType irn(int prn) {
  const auto si = static_cast<std::uint8_t>(prn - 1);
  return SvIdType{si, kSysNavic, 0, si};
}

// One NavIC record of a RINEX 4 navigation file.
struct RinexIrn {
  int prn = 0;
  int tocSow = 0;      // of the day (2023-03-12 is a Sunday, so also of the week)
  double v[29] = {};  // clock terms, then the broadcast orbit lines of 4 values
};
enum : int { kAf0, kAf1, kAf2, kIodec, kCrs, kDn, kM0, kCuc, kE, kCus, kSqrtA, kToe, kCic, kOmega0, kCis, kI0,
             kCrc, kOmega, kOmegaDot, kIdot, kSpare1, kWeek, kSpare2, kUra, kHealth, kTgd, kSpare3, kTtm };

inline std::vector<RinexIrn> readRinexIrn(const std::string& path) {
  const std::vector<std::string> lines = navfiles::readLines(path);
  auto num = [](const std::string& s) {
    return s.find_first_not_of(" \n") == std::string::npos ? 0.0 : std::stod(s);
  };
  std::vector<RinexIrn> out;
  for (std::size_t i = 0; i + 8 < lines.size(); ++i) {
    if (lines[i].rfind("> EPH I", 0) != 0) continue;
    RinexIrn r;
    const std::string& l0 = lines[++i];
    r.prn = std::stoi(l0.substr(1, 2));
    r.tocSow = std::stoi(l0.substr(15, 2)) * 3600 + std::stoi(l0.substr(18, 2)) * 60 + std::stoi(l0.substr(21, 2));
    for (std::size_t k = 0; k < 3; ++k) r.v[k] = num(l0.substr(23 + 19 * k, 19));
    for (int l = 0; l < 6; ++l) {
      const std::string& s = lines[++i];
      for (std::size_t k = 0; k < 4; ++k) {
        const std::size_t pos = 4 + 19 * k;
        const int at = 3 + 4 * l + static_cast<int>(k);
        if (at < 29) r.v[at] = pos + 19 <= s.size() ? num(s.substr(pos, 19)) : 0.0;
      }
    }
    out.push_back(r);
  }
  return out;
}

inline long long q(double v, int pow2) { return std::llround(std::ldexp(v, pow2)); }

}  // namespace irntest
