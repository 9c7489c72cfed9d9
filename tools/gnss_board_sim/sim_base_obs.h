// The simulator's writer of a base station's observations in the native format, from values in
// metres, cycles, Hz and energy units: the satellite list "SI" (one index byte per satellite), the
// code range "rc" (4 bytes, value / D + K seconds), the ranges of the other signals relative to
// it ("2r" ..., 2 bytes, 2e-7 s + value x 1e-11 s), the phases "cp", "2p" ... (4 bytes, (range
// of the first signal + value x 2^-40 s) x carrier), Doppler "DC", "D2" ... (4 bytes, 1e-4 Hz),
// energies "EC", "E2" ... (1 byte), epoch times "GT" and "NT", positions "PO", "PV" and "BI".
// Its own carrier table and scalings, apart from the program's.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "sim_native.h"

namespace sim {

constexpr double kLight = 299792458.0;
constexpr std::int64_t kNone32 = 2147483647;
constexpr std::int64_t kNone16 = 32767;
constexpr int kNone8 = 255;
constexpr int kBaseSlots = 6;  // C/A, P1, P2, L2C, L5, L1C

// Code range scaling by system (0 GPS, 1 GLONASS, 2 Galileo, 3 SBAS, 4 QZSS, 5 BeiDou).
inline void codeScale(int sys, double& d, double& k) {
  static const double kD[6] = {1e11, 1e11, 5e10, 1e11, 5e10, 5e10};
  static const double kK[6] = {0.075, 0.075, 0.085, 0.125, 0.125, 0.105};
  d = kD[sys];
  k = kK[sys];
}

// Nominal carrier (Hz) of a signal slot; 0 when the system has no such signal. GLONASS FDMA by
// frequency channel.
inline double carrier(int sys, int slot, int gloChan) {
  const double l1 = 1575.42e6, l2 = 1227.6e6, l5 = 1176.45e6, e5b = 1207.14e6, e6 = 1278.75e6;
  const double b1i = 1561.098e6, b3 = 1268.52e6, g3 = 1202.025e6;
  const double g1 = 1602e6 + gloChan * 562.5e3, g2 = 1246e6 + gloChan * 437.5e3;
  const double table[6][kBaseSlots] = {
      {l1, l1, l2, l2, l5, l1},      // GPS
      {g1, g1, g2, g2, g3, 0},       // GLONASS
      {l1, 0, e5b, e6, l5, 0},       // Galileo
      {l1, 0, 0, 0, l5, 0},          // SBAS
      {l1, 0, e6, l2, l5, l1},       // QZSS
      {b1i, 0, e5b, b3, l5, l1},     // BeiDou
  };
  return sys >= 0 && sys < 6 && slot >= 0 && slot < kBaseSlots ? table[sys][slot] : 0;
}

// One signal; NaN (or a negative energy) where the base has no value.
struct BaseSignal {
  double code = NAN;     // m
  double phase = NAN;    // cycles
  double doppler = NAN;  // Hz
  int snr = -1;
};

struct BaseSat {
  int index;    // satellite-list index
  int sys;
  int gloChan;  // GLONASS frequency channel
  BaseSignal sig[kBaseSlots];
};

inline std::string timeMsg(const char* id, std::int64_t t) {
  std::string b;
  putLe(b, static_cast<std::uint64_t>(t), 4);
  return frame(id, b, true);
}
inline std::string epochStart(std::uint32_t t) { return timeMsg("~~", t); }
inline std::string epochEnd(std::uint32_t t) { return timeMsg("::", t); }

inline std::string siMsg(const std::vector<int>& indexes) {
  std::string b;
  for (int i : indexes) b += static_cast<char>(i);
  return frame("SI", b, true);
}

// A data message of `bytes`-wide little-endian elements.
inline std::string elemMsg(const char* id, const std::vector<std::int64_t>& v, int bytes) {
  std::string b;
  for (std::int64_t x : v) putLe(b, static_cast<std::uint64_t>(x), bytes);
  return frame(id, b, true);
}

inline void putDouble(std::string& s, double v) {
  std::uint64_t w;
  std::memcpy(&w, &v, 8);
  putLe(s, w, 8);
}
// "PO"/"PV": X, Y, Z, four bytes, the position type at 28.
inline std::string posMsg(const char* id, const double xyz[3], int type) {
  std::string b;
  for (int i = 0; i < 3; ++i) putDouble(b, xyz[i]);
  putLe(b, 0, 4);
  b += static_cast<char>(type);
  return frame(id, b, true);
}
// "BI": X, Y, Z, two bytes, the base-information type at 26.
inline std::string baseInfoMsg(const double xyz[3], int type) {
  std::string b;
  for (int i = 0; i < 3; ++i) putDouble(b, xyz[i]);
  putLe(b, 0, 2);
  b += static_cast<char>(type);
  return frame("BI", b, true);
}

// The code of slot 0 as sent, and the seconds it stands for (what the relative values and the
// phases are counted from); false when it cannot be sent.
inline bool firstRange(const BaseSat& s, std::int64_t& v, double& seconds) {
  double d, k;
  codeScale(s.sys, d, k);
  if (std::isnan(s.sig[0].code)) return false;
  v = std::llround((s.sig[0].code / kLight - k) * d);
  if (v < -2147483648LL || v >= kNone32) return false;
  seconds = v / d + k;
  return true;
}

// Every message of one epoch of `sats`: the start, "GT" (and "NT" when `gloTime` is not
// negative), "SI", the ranges, phases, Doppler and energies of every slot the format carries,
// the end.
inline std::string baseEpoch(std::uint32_t epochTime, std::int64_t gpsTime, std::int64_t gloTime,
                             const std::vector<BaseSat>& sats) {
  std::string out = epochStart(epochTime) + timeMsg("GT", gpsTime);
  if (gloTime >= 0) out += timeMsg("NT", gloTime);
  std::vector<int> idx;
  for (const BaseSat& s : sats) idx.push_back(s.index);
  out += siMsg(idx);
  const char* rel[kBaseSlots] = {nullptr, nullptr, "2r", "3r", "5r", "lr"};
  const char* ph[kBaseSlots] = {"cp", nullptr, "2p", "3p", "5p", "lp"};
  const char* dop[kBaseSlots] = {"DC", nullptr, "D2", "D3", "D5", "Dl"};
  const char* en[kBaseSlots] = {"EC", nullptr, "E2", "E3", "E5", "El"};
  std::vector<std::int64_t> rc;
  for (const BaseSat& s : sats) {
    std::int64_t v;
    double sec;
    rc.push_back(firstRange(s, v, sec) ? v : kNone32);
  }
  out += elemMsg("rc", rc, 4);
  for (int slot = 0; slot < kBaseSlots; ++slot) {
    if (ph[slot] == nullptr) continue;
    std::vector<std::int64_t> r, p, d, e;
    for (const BaseSat& s : sats) {
      const BaseSignal& g = s.sig[slot];
      std::int64_t v0;
      double r0;
      const bool first = firstRange(s, v0, r0);
      std::int64_t rv = kNone16, pv = kNone32;
      if (first && !std::isnan(g.code)) {
        rv = std::llround((g.code / kLight - r0 - 2e-7) / 1e-11);
        if (rv < -32768 || rv >= kNone16) rv = kNone16;
      }
      const double f = carrier(s.sys, slot, s.gloChan);
      if (first && f > 0 && !std::isnan(g.phase)) {
        pv = std::llround((g.phase / f - r0) * 1099511627776.0);
        if (pv < -2147483648LL || pv >= kNone32) pv = kNone32;
      }
      r.push_back(rv);
      p.push_back(pv);
      d.push_back(std::isnan(g.doppler) ? kNone32 : std::llround(g.doppler * 1e4));
      e.push_back(g.snr < 0 || g.snr > 254 ? kNone8 : g.snr);
    }
    if (rel[slot] != nullptr) out += elemMsg(rel[slot], r, 2);
    out += elemMsg(ph[slot], p, 4) + elemMsg(dop[slot], d, 4) + elemMsg(en[slot], e, 1);
  }
  return out + epochEnd(epochTime);
}

}  // namespace sim
