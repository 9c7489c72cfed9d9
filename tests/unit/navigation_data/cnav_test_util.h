// CNAV messages and CNAV-2 frames for the decoder tests: the public vectors read from their
// file, a bit writer for messages built here from IS-GPS-200 Figures 30-1 to 30-3 and
// IS-GPS-800 Figure 3.5-1, and a store and decoder pools of the test's own.
#pragma once

#include <array>
#include <cmath>
#include <cstdint>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "unit/navigation_data/blank_image.h"
#include "unit/navigation_data/cnav_calls.h"
#include "unit/navigation_data/nav_files.h"
#include "navigation_data/decoders/gps_cnav2_decoder.h"
#include "navigation_data/decoders/gps_cnav_decoder.h"

namespace cnavtest {

using navfiles::split;

using Msg = std::array<std::uint32_t, 10>;    // 300 bits
using Frame = std::array<std::uint32_t, 28>;  // 883 bits

// Bit `bit` (1 = MSB of the first word) on: n bits of v (two's complement for negative v).
template <std::size_t N>
void putBits(std::array<std::uint32_t, N>& w, int bit, int n, std::int64_t v) {
  const auto uv = static_cast<std::uint64_t>(v);
  for (int i = 0; i < n; ++i) {
    const int b = bit - 1 + i;
    const std::uint32_t m = 1u << (31 - b % 32);
    if ((uv >> (n - 1 - i)) & 1) {
      w[static_cast<std::size_t>(b / 32)] |= m;
    } else {
      w[static_cast<std::size_t>(b / 32)] &= ~m;
    }
  }
}

// A CNAV message header: preamble, PRN, type, TOW count of the next message, alert flag.
inline Msg cnavHeader(int prn, int type, std::uint32_t towCount, int alert = 0) {
  Msg w{};
  putBits(w, 1, 8, 0x8B);
  putBits(w, 9, 6, prn % 64);
  putBits(w, 15, 6, type);
  putBits(w, 21, 17, towCount);
  putBits(w, 38, 1, alert);
  return w;
}

// A number of the vectors' time objects, {sow: 7200.0, time_system: GPS, week: 1869} once the
// CSV quotes are gone.
inline double jsonNumber(const std::string& json, const std::string& key) {
  const auto p = json.find(key + ": ");
  return p == std::string::npos ? -1 : std::stod(json.substr(p + key.size() + 2));
}

struct Vector {
  SvIdType sv;
  double sow = 0;  // time of transmission
  bool cnav2 = false;
  int nbits = 0;
  Msg msg{};
  Frame frame{};  // CNAV-2: a lone subframe 2 sits at frame bit 10, a lone subframe 3 at 610
};


inline std::map<std::string, Vector> loadVectors() {
  std::map<std::string, Vector> out;
  for (const auto& col : navfiles::vectorRows("gnsstk_nav_messages.csv")) {
    if (col.size() < 10 || (col[1] != "CNav" && col[1] != "CNav2")) continue;
    Vector& v = out[col[0]];
    const std::uint8_t sys = col[2] == "QZSS" ? kSysQzss : kSysGps;
    const auto si = static_cast<std::uint8_t>(std::stoi(col[3]) - kNavFirstSatNumber[sys]);
    v.sv = SvIdType{si, sys, 0, si};
    v.cnav2 = col[1] == "CNav2";
    v.sow = jsonNumber(col[7], "sow");
    v.nbits = std::stoi(col[8]);
    const int at = !v.cnav2 || v.nbits == 883 ? 1 : v.nbits == 600 ? 10 : 610;
    for (int i = 0; i < v.nbits; ++i) {
      const int b = navfiles::hexBit(col[9], i);
      if (v.cnav2) {
        putBits(v.frame, at + i, 1, b);
      } else {
        putBits(v.msg, at + i, 1, b);
      }
    }
  }
  return out;
}

// A lone subframe 3 of the vectors goes out in the frame of the subframe 2 before it, as a
// satellite sends them.
inline Frame withSubframe2(const Frame& sf3, const Frame& sf2) {
  Frame f = sf3;
  for (int b = 1; b <= 609; ++b) putBits(f, b, 1, (sf2[static_cast<std::size_t>((b - 1) / 32)] >> (31 - (b - 1) % 32)) & 1);
  return f;
}

// What one message or frame handed to the store besides the ephemeris: correction records by
// target satellite, and the time offset.
struct Handed {
  static constexpr int kMaxDc = 8;
  int dcCount = 0;
  SvIdType dcSv[kMaxDc] = {};
  NavData::GpsCnavDCDataType dc[kMaxDc] = {};
  bool offset = false;
  int offsetSys = -1;
  NavData::GpsCnavSysOffsetDataType off{};
};
inline Handed handed() {
  const cnavcalls::Calls c = cnavcalls::take();
  Handed h;
  for (const auto& [id, rec] : c.dc) {
    if (h.dcCount < Handed::kMaxDc) h.dcSv[h.dcCount] = id, h.dc[h.dcCount] = rec;
    ++h.dcCount;
  }
  if (!c.offset.empty()) h.offset = true, h.offsetSys = c.offset.back().first, h.off = c.offset.back().second;
  return h;
}

struct Harness {
  std::unique_ptr<SatelliteDataProcessor> store = std::make_unique<SatelliteDataProcessor>();
  Harness() {
    navtest::blankImage();
    for (GpsCNavDataDecoderType& d : GpsCNavDataDecoderPool) d.init_Object(store.get());
    for (GpsCNav2DataDecoderType& d : GpsCNav2DataDecoderPool) d.init_Object(store.get());
    cnavcalls::take();
  }
  Handed feed(SvIdType sv, const Msg& w, std::uint32_t tag = 0, std::uint8_t signal = 1) {
    const NavDecoderTime t{0, tag};
    GpsCNavDataDecoderType* d = get_GpsCNavDataDecoder(&t, &sv);
    cnavcalls::take();
    d->update(t, sv, signal, w.data(), 10);
    return handed();
  }
  Handed feed(SvIdType sv, const Frame& w, std::uint32_t tag = 0, std::uint8_t signal = 0) {
    const NavDecoderTime t{0, tag};
    GpsCNav2DataDecoderType* d = get_GpsCNav2DataDecoder(&t, &sv);
    cnavcalls::take();
    d->update(t, sv, signal, w.data(), 28);
    return handed();
  }
  // The record last stored, read at `sec` of the week (the store serves a record near its toe).
  const ZRT_EPH_GPS* eph(SvIdType sv, int dataType, double sec) {
    SatDataEpoch ep;
    ep.time.valid = true;
    ep.time.sec[sv.sys] = sec;
    store->update(ep);
    const ExtEphRecord* r = store->get_EphLastData(sv.sys, sv.si, dataType);
    return r != nullptr && r->valid ? reinterpret_cast<const ZRT_EPH_GPS*>(r->native) : nullptr;
  }
  std::uint16_t count(SvIdType sv, int dataType) const { return store->get_EphUpdateCounter(sv.sys, sv.si, dataType); }
};

constexpr double kGpsPi = 3.1415926535898;  // IS-GPS-200's value for semicircles
inline std::int64_t q(double v, int pow2) { return std::llround(std::ldexp(v, pow2)); }

}  // namespace cnavtest
