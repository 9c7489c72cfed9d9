// Seeds of the RTCM 3 targets that recordings do not give: whole coordinate-transformation sets
// (1021 or 1022 with the messages they announce: ellipsoidal and plane residual grids, 1023 and
// 1024, and each projection, 1025 to 1027), ETRS89 to MGI as the end-to-end tests send them, so
// that fuzzing starts inside a set the receiver stores, under settings that let a set take over
// the output datum and grid; a network (master, 33 auxiliary stations, corrections and residuals
// of both systems); observations that lack their whole milliseconds at a time the targets give
// orbits for; a vendor text; and frames output again. Written with the end-to-end tests' own
// frame writer, apart from the product's coders. A target started with RX_FUZZ_WRITE_SEEDS=DIR
// writes them there and ends.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "../tests/e2e/rtcm3_writer.h"
#include "fuzz_support.h"

namespace fuzz {
namespace rtcm3seeds {

using rtcm3w::Message;

// Settings bits (rtcm3_frames.h): the received datum and grid in use.
constexpr unsigned kGotBits = 1 | 2;

// DF148 bits announcing 1023 .. 1027.
constexpr unsigned k1023 = 1u << 9, k1024 = 1u << 8, k1025 = 1u << 7, k1026 = 1u << 6, k1027 = 1u << 5;
constexpr double kPrj = 0.000000011;  // degrees per unit of a projection angle

// 1021 (Helmert) or 1022 (Molodenski-Badekas) of system `sys`: ETRS89 (WGS 84's ellipsoid) to
// MGI (Bessel), EPSG:1618's values, over 48-52 N, 16-22 E.
inline std::string params(int sys, unsigned announced, bool badekas) {
  Message m(badekas ? 1022 : 1021);
  m.text("ETRS89", 5).text("MGI", 5);
  m.u(static_cast<unsigned>(sys), 8).u(announced, 10).u(0, 5).u(1, 4).u(0, 2);
  m.q(48.0 * 3600, 2, 19).q(16.0 * 3600, 2, 20).q(4.0 * 3600, 2, 14).q(6.0 * 3600, 2, 14);
  m.q(-577.326, 0.001, 23).q(-90.129, 0.001, 23).q(-463.919, 0.001, 23);
  m.q(5.137, 0.00002, 32).q(1.474, 0.00002, 32).q(5.297, 0.00002, 32).q(-2.4232, 0.00001, 25);
  if (badekas) m.q(4000000.0, 0.001, 35).q(1200000.0, 0.001, 35).q(4700000.0, 0.001, 35);
  m.q(6378137.0 - 6370000, 0.001, 24).q(6356752.314 - 6350000, 0.001, 25);
  m.q(6377397.155 - 6370000, 0.001, 24).q(6356078.963 - 6350000, 0.001, 25).u(1, 3).u(2, 3);
  return m.frame();
}

// 1023 (ellipsoidal, its origin in half arc-seconds) or 1024 (plane, its origin in 10 m), every
// residual the same.
inline std::string grid(int msg, int sys, std::int64_t lat0, std::int64_t lon0) {
  const bool plane = msg == 1024;
  Message m(msg);
  m.u(static_cast<unsigned>(sys), 8).u(1, 1).u(1, 1);
  m.s(lat0, plane ? 25 : 21).s(lon0, plane ? 26 : 22).u(120, 12).u(120, 12);
  m.s(10, plane ? 10 : 8).s(-30, plane ? 10 : 8).s(10, 15);
  for (int i = 0; i < 16; ++i) m.s(20, 9).s(-10, 9).s(5, 9);
  m.u(0, 2).u(0, 2).u(0, 3).u(0, 3).u(60000, 16);
  return m.frame();
}

// 1025: transverse Mercator about 15 E.
inline std::string tm(int sys) {
  return Message(1025)
      .u(static_cast<unsigned>(sys), 8)
      .u(1, 6)
      .q(0.0, kPrj, 34)
      .q(15.0, kPrj, 35)
      .u(660000000, 30)
      .q(500000.0, 0.001, 36)
      .q(0.0, 0.001, 35)
      .frame();
}

// 1026: Lambert conic with two parallels; 1027: oblique Mercator.
inline std::string lcc(int sys) {
  return Message(1026)
      .u(static_cast<unsigned>(sys), 8)
      .u(4, 6)
      .q(47.52, kPrj, 34)
      .q(13.2, kPrj, 35)
      .q(46.2, kPrj, 34)
      .q(48.8, kPrj, 34)
      .q(400000.0, 0.001, 36)
      .q(400000.0, 0.001, 35)
      .frame();
}
inline std::string om(int sys) {
  return Message(1027)
      .u(static_cast<unsigned>(sys), 8)
      .u(7, 6)
      .u(1, 1)
      .q(46.2, kPrj, 34)
      .q(7.7, kPrj, 35)
      .q(90.2, kPrj, 35)
      .q(0.0, kPrj, 26)
      .u(1000000000, 30)
      .q(2600000.0, 0.001, 36)
      .q(1200000.0, 0.001, 35)
      .frame();
}

// The settings that open an input (rtcm3_frames.h): the mark, then the byte.
inline std::string settings(unsigned bits) { return std::string("\xD3\xFF", 2) + static_cast<char>(bits); }

// The base station and the time of the observation seeds; the targets that restore whole
// milliseconds give every GPS satellite an orbit about that time.
constexpr int kStation = 100;
constexpr double kStationXyz[3] = {4027894.0, 307045.0, 4919474.0};
constexpr std::uint32_t kObsTowMs = 302400000;

inline std::string station() { return rtcm3w::msg1005(kStation, kStationXyz[0], kStationXyz[1], kStationXyz[2]); }

// GPS MSM 1 to 3 (1071-1073) of satellites 3, 9 and 22 on L1 C/A and L2C: none carries the whole
// milliseconds of its range.
inline std::string msm(int type) {
  Message m(1070 + type);
  m.u(kStation, 12).u(kObsTowMs, 30).u(0, 1).u(0, 3).u(0, 7).u(0, 2).u(0, 2).u(0, 1).u(0, 3);
  m.u((1ULL << (64 - 3)) | (1ULL << (64 - 9)) | (1ULL << (64 - 22)), 64).u((1u << (32 - 2)) | (1u << (32 - 15)), 32);
  m.u(0x3F, 6);  // every cell
  for (int i = 0; i < 3; ++i) m.u(300u + 200u * static_cast<unsigned>(i), 10);
  if (type != 2)
    for (int c = 0; c < 6; ++c) m.s(1000 * c - 2000, 15);
  if (type != 1) {
    for (int c = 0; c < 6; ++c) m.s(40000 * c - 90000, 22);
    for (int c = 0; c < 6; ++c) m.u(9, 4);
    for (int c = 0; c < 6; ++c) m.u(0, 1);
  }
  return m.frame();
}

// 1001 and 1003: the legacy observations without the whole milliseconds, of satellites 3 and 9.
inline std::string legacy(int msgNum) {
  const bool dual = msgNum == 1003;
  Message m(msgNum);
  m.u(kStation, 12).u(kObsTowMs, 30).u(0, 1).u(2, 5).u(0, 1).u(0, 3);
  for (int sv : {3, 9}) {
    m.u(static_cast<unsigned>(sv), 6).u(0, 1).u(12345678u + 1000u * static_cast<unsigned>(sv), 24).s(-3000, 20).u(60, 7);
    if (dual) m.u(0, 2).s(1500, 14).s(-2000, 20).u(60, 7);
  }
  return m.frame();
}

// Network 5, subnetwork 1 of master station kStation.
constexpr int kNet = 5, kSub = 1;
// 1014: auxiliary station `aux`.
inline std::string auxStation(int aux, int count) {
  return Message(1014)
      .u(kNet, 8).u(kSub, 4).u(static_cast<unsigned>(count), 5).u(kStation, 12).u(static_cast<unsigned>(aux), 12)
      .s(400 * aux, 20).s(-300 * aux, 21).s(25 * aux, 23)
      .frame();
}
// 1017: combined corrections of station `aux` at `tenths` of a second, satellites 3 and 9.
inline std::string combined(int aux, unsigned tenths) {
  Message m(1017);
  m.u(kNet, 8).u(kSub, 4).u(tenths, 23).u(0, 1).u(kStation, 12).u(static_cast<unsigned>(aux), 12).u(2, 4);
  for (int sv : {3, 9}) m.u(static_cast<unsigned>(sv), 6).u(1, 2).u(0, 3).s(50 * sv, 17).u(static_cast<unsigned>(sv), 8).s(-25 * sv, 17);
  return m.frame();
}
// 1030 (GPS, epoch in s of week) or 1031 (GLONASS, s of day): residuals of `station` for three
// satellites.
inline std::string residuals(bool glonass, int station, unsigned epoch) {
  Message m(glonass ? 1031 : 1030);
  m.u(epoch, glonass ? 17 : 20).u(static_cast<unsigned>(station), 12).u(4, 7).u(3, 5);
  for (int sv : {3, 9, 17}) m.u(static_cast<unsigned>(sv), 6).u(20u + sv, 8).u(100u + sv, 9).u(7, 6).u(300u + sv, 10).u(50, 10);
  return m.frame();
}
// The network: its master's position, a correction that names the network, 33 auxiliary stations
// (the last takes the place of the one heard from longest ago, the first), corrections of the
// first two and residuals of both systems for the second within the network's time.
inline std::string network() {
  std::string n = station() + combined(1, 12340);
  for (int aux = 1; aux <= 33; ++aux) n += auxStation(aux, 33);
  n += combined(1, 12345) + combined(2, 12345);
  return n + residuals(false, 2, 1235) + residuals(true, 2, 1235) + residuals(false, 40, 1236);
}

// 4091 with the vendor text of subtype 100.
inline std::string vendorText(const std::string& text) {
  Message m(4091);
  m.u(kStation, 12).u(100, 8).u(0, 8).text(text, 8);
  return m.frame();
}

inline std::vector<std::pair<std::string, std::string>> transformationSets() {
  return {
      {"set-1021-1025-1024", params(7, k1024 | k1025, false) + tm(7) + grid(1024, 7, 534000, 60150)},
      {"set-1021-1023", params(7, k1023, false) + grid(1023, 7, std::llround(48.2 * 7200), std::llround(16.37 * 7200))},
      {"set-1022-1026-1023",
       params(9, k1023 | k1026, true) + lcc(9) + grid(1023, 9, std::llround(47.5 * 7200), std::llround(13.2 * 7200))},
      {"set-1021-1027", params(11, k1027, false) + om(11)},
  };
}

inline std::vector<std::pair<std::string, std::string>> rtcm3Seeds() {
  std::vector<std::pair<std::string, std::string>> seeds = transformationSets();
  const std::vector<std::pair<std::string, std::string>> sets = transformationSets();
  // The sets again under the user's settings: the received datum and grid in use, and once with
  // the last set dropped first.
  for (const auto& [name, set] : sets)
    seeds.emplace_back("got-" + name, settings(kGotBits) + set);
  seeds.emplace_back("got-dropped-" + sets[0].first, settings(kGotBits | 4) + sets[0].second);
  seeds.emplace_back("network", network());
  seeds.emplace_back("vendor-text", vendorText("BASE 100 CALLING"));
  for (int type : {1, 2, 3}) seeds.emplace_back("msm" + std::to_string(type), station() + msm(type));
  seeds.emplace_back("legacy", station() + legacy(1001) + legacy(1003));
  // Every frame output again, wrapped or as it came, observations once a second; then the same
  // bytes in mode "auto".
  const std::string mixed = station() + vendorText("X") + msm(3) + legacy(1001);
  seeds.emplace_back("reoutput-wrapped", settings(8) + mixed);
  seeds.emplace_back("reoutput-raw-decimated", settings(8 | 16 | 32) + mixed);
  seeds.emplace_back("auto-mode", settings(64) + mixed);
  return seeds;
}

}  // namespace rtcm3seeds

// With RX_FUZZ_WRITE_SEEDS=DIR: writes the seeds into DIR and ends the process.
inline void writeRtcm3SeedsIfAsked() { writeSeedsIfAsked(rtcm3seeds::rtcm3Seeds); }

}  // namespace fuzz
