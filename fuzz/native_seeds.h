// First inputs of the native-stream targets, written by the simulator's own writer: one epoch
// per family of the raw decoder's navigation and other messages ("gd", "lD", "ED", "WD", "qd",
// "cd", "id", "xd", "Rb", "Rm", "Ri", "Sp", "sj", "IQ", "gC".."gR", "DL") and records (SolAln,
// task load, power, start-up, RTK, L-band state, satellites, channel states and signal
// measurements, the RTK solution, PPS and event tags), each message in a form the decoder takes, so
// that fuzzing starts inside every one of them rather than having to invent identifier, length
// and checksum. A target started with RX_FUZZ_WRITE_SEEDS=DIR writes them there and ends.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "../tools/gnss_board_sim/sim_board_records.h"
#include "../tools/gnss_board_sim/sim_native.h"
#include "../tools/gnss_board_sim/sim_sky.h"
#include "../tools/gnss_board_sim/sim_solution.h"
#include "fuzz_support.h"

namespace fuzz {

namespace seeds {

inline std::string le(std::uint64_t v, int bytes) {
  std::string s;
  sim::putLe(s, v, bytes);
  return s;
}
inline std::string lef(float f) {
  std::uint32_t w;
  std::memcpy(&w, &f, 4);
  return le(w, 4);
}
inline std::string msg(const char* id, const std::string& body) { return sim::frame(id, body, true); }
// Two hex characters of checksum close the text messages ("DL").
inline std::string hexMsg(const char* id, const std::string& body) {
  std::string m = sim::frame(id, body + "00", false);
  char h[3];
  std::snprintf(h, sizeof h, "%02X", sim::checksum(m.substr(0, m.size() - 2)));
  m.replace(m.size() - 2, 2, h);
  return m;
}
// Navigation words: satellite, time, kind, count, the 32-bit words, a trailing byte.
inline std::string words(const char* id, int sv, int count) {
  std::string b = le(static_cast<std::uint8_t>(sv), 1) + le(600000, 4) + le(0, 1) + le(static_cast<std::uint8_t>(count), 1);
  for (int i = 0; i < count; ++i) b += le(0x8B000000u + static_cast<std::uint32_t>(i) * 0x1234567u, 4);
  return msg(id, b + le(0, 1));
}
// Navigation bytes: satellite, time, kind, count, the bytes, a trailing byte.
inline std::string bytes(const char* id, int sv, int count) {
  std::string b = le(static_cast<std::uint8_t>(sv), 1) + le(600000, 4) + le(1, 1) + le(static_cast<std::uint8_t>(count), 1);
  for (int i = 0; i < count; ++i) b += static_cast<char>(0x5A ^ i);
  return msg(id, b + le(0, 1));
}
inline std::string glonass(int freq, int count) {
  std::string b = le(9, 1) + le(static_cast<std::uint8_t>(freq), 1) + le(100, 4) + le(0, 1) + le(static_cast<std::uint8_t>(count), 1);
  for (int i = 0; i < count; ++i) b += le(0xABCDEF01u ^ static_cast<std::uint32_t>(i), 4);
  return msg("lD", b + le(0, 1));
}
inline std::string calib(const char* id, int entries, bool pairs) {
  std::string b;
  for (int i = 0; i < entries; ++i) b += le(static_cast<std::uint8_t>(i), 1) + lef(0.5f * i) + lef(-1.0f * i);
  if (pairs) {
    for (int k = 0; k < 8; ++k) b += le(static_cast<std::uint16_t>(k + 1), 2) + le(static_cast<std::uint16_t>(100 + k), 2);
    b += le(static_cast<std::uint16_t>(-9), 2);
  }
  return msg(id, b);
}
inline std::string task(const char* name) { return std::string(name, 4) + le(1, 1) + le(1, 4) + le(2, 4) + le(3, 4); }

// One epoch at 2024-06-01 12:00:00 UTC: its marks, the time scales, then `body`.
inline std::string epoch(const std::string& body) {
  const sim::TimeScales ts = sim::timeScales(1717243200, 0);
  std::string mark;
  sim::putLe(mark, sim::epochTime(ts), 4);
  return sim::frame("~~", mark, true) + sim::rawRecord(8, sim::timeScaleRecord(ts, 100)) + body +
         sim::frame("::", mark, true);
}

// A small sky on channels 0-3: GPS 5 and Galileo 11 on two signals each, GLONASS at frequency
// number -3 and an L-band beam on one.
inline std::vector<sim::SkySat> sky() {
  auto sig = [](int slot, double code, double cn0) {
    return sim::SkySignal{slot, 1575.42e6, code, code / 0.19, -1234.5, cn0, 60000};
  };
  std::vector<sim::SkySat> s(4);
  s[0] = sim::SkySat{5, 0, 0.9, {sig(0, 21.0e6, 45.0), sig(2, 21.0e6 + 3.2, 38.0)}};
  s[1] = sim::SkySat{7, 1, 0.5, {sig(0, 22.5e6, 41.0)}, 'R', -3};
  s[2] = sim::SkySat{11, 2, 0.7, {sig(0, 24.0e6, 44.0), sig(5, 24.0e6 + 1.1, 43.0)}, 'E'};
  s[3] = sim::SkySat{9, 3, 0.6, {sig(0, 1.0e6, 40.0)}, 'L'};
  return s;
}

// Signal measurements of which the second entry carries both optional words (flags bits 2 and
// 3), the third names a channel past the board's and the fourth a slot past its own.
inline std::string sigMeasExtras() {
  std::string b = le(0, 1) + le(4, 1);
  for (int k = 0; k < 4; ++k) {
    const unsigned flags = k == 1 ? 0x15Du : 0x151u;
    b += le(k == 3 ? 0x7F : 1, 1) + le(k == 2 ? 250 : k, 1) + le(flags, 4);
    b += le(0x123456789AULL, 8) + le(static_cast<std::uint64_t>(-(1LL << 30)), 8);
    b += le(static_cast<std::uint32_t>(-12345), 4) + le(4200, 4) + le(70000, 4) + std::string(12, '\0');
    if (k == 1) b += le(7, 4) + le(9, 4);
  }
  return sim::rawRecord(11, b);
}

inline std::vector<std::pair<std::string, std::string>> nativeSeeds() {
  sim::Site site;
  double rover[3];
  site.ecef(rover);
  sim::SolOptions movingBase;
  movingBase.relPos = true;
  movingBase.relVel[0] = 0.5;
  movingBase.relSeconds = 10;
  movingBase.gpsMsOfWeek = 43200000;
  std::string manyTasks = le(4, 1);
  for (const char* t : {"MEAS", "TRCK", "NAV ", "IDLE"}) manyTasks += task(t);
  std::string sp = le(100, 4) + le(3, 1) + le(0, 1) + le(8, 2);
  for (int i = 0; i < 8; ++i) sp += le(static_cast<std::uint16_t>(1000 + i), 2);
  std::string sj = le(0, 1) + le(1, 1);
  for (int i = 0; i < 6; ++i) sj += le(static_cast<std::uint16_t>(40 + i), 2);
  std::string rm = le(1, 1) + le(2, 1) + le(0, 1) + le(3, 1) + lef(0.5f) + lef(0.25f) + le(4, 1);
  for (int i = 0; i < 4; ++i) rm += static_cast<char>(10 + i);
  return {
      {"gps-words", epoch(words("gd", 4, 10) + words("qd", 193, 10) + words("cd", 6, 10) + words("id", 3, 10))},
      {"glonass-strings", epoch(glonass(1, 3) + glonass(-7, 3) + glonass(6, 3) + glonass(-8, 3))},
      {"bytes", epoch(bytes("ED", 11, 16) + bytes("WD", 129, 32) + bytes("xd", 193, 63))},
      {"lband-rtcm", epoch(msg("Rb", le(20, 2) + le(1005, 2) + std::string(20, 'r')) + msg("Rm", rm) +
                           msg("Ri", lef(1.25f) + le(7, 2) + std::string(12, '\0')))},
      {"spectrum", epoch(msg("Sp", sp) + msg("sj", sj + le(99, 4)) +
                         msg("IQ", le(0, 1) + le(2, 1) + le(1, 1) + le(3, 1) + le(0x1234, 2) + le(0xFFFE, 2)))},
      {"hardware-calibration",
       epoch(calib("gC", 15, true) + calib("g1", 15, false) + calib("g2", 15, false) + calib("g3", 15, false) +
             msg("gR", le(4, 1) + le(0, 1) + lef(2.5f) + le(5, 1) + le(1, 1) + lef(1.0f)))},
      {"data-link", epoch(hexMsg("DL", "{3,rtcm3,12,0}{0,zrt}{2,cmr,5,1}"))},
      {"solution", epoch(sim::solAlnRecord(site, {}))},
      {"solution-moving-base", epoch(sim::solAlnRecord(site, {}, movingBase))},
      {"measurements", epoch(sim::satDataRecord(sky()) + sim::chanStatesRecord(sky()) + sim::sigMeasRecord(sky()) +
                             sigMeasExtras())},
      {"rtk-solution", epoch(sim::rawRecord(5, sim::rtkRecord(43200000, rover, site.lat, site.lon)))},
      {"pps-event", epoch(sim::rawRecord(6, sim::ppsRecord(43200000)) + sim::rawRecord(6, '\x01' + sim::ppsRecord(0).substr(1)) +
                          sim::rawRecord(14, le(0, 1) + le(12, 4) + le(345, 4) + le(0, 1) + le(1, 1) + le(13, 4) +
                                                 le(0, 4) + le(1, 1) + le(0, 1)))},
      {"records", epoch(sim::rawRecord(15, manyTasks) + sim::rawRecord(1, sim::powerRecord()) +
                        sim::rawRecord(16, sim::onceRecord()) + sim::rawRecord(15, sim::taskLoadRecord(100)))},
  };
}

}  // namespace seeds

// With RX_FUZZ_WRITE_SEEDS=DIR: writes the seeds into DIR and ends the process.
inline void writeNativeSeedsIfAsked() { writeSeedsIfAsked(seeds::nativeSeeds); }

}  // namespace fuzz
