// The board's other records, as it streams them beside its epochs once the program has enabled
// them (option --board-records): the RTCM messages of the L-band service ("Rb"), the satellites
// its solution used ("Rm") and its reference block ("Ri"), a spectrum of the L1 band in two
// parts ("Sp"), the signal levels of the satellites it tracks ("sj"), I/Q samples of one channel
// ("IQ"), its data-link report ("DL"), the per-system hardware-calibration tables ("g1", "g2",
// "g3") and the RF delay table ("gR"), and the PPS record of output a ("@@" type 6). Each is
// written here from the record layouts, apart from the program's readers.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "sim_bits.h"
#include "sim_lnav.h"
#include "sim_native.h"
#include "sim_sky.h"

namespace sim {

inline void putF32Le(std::string& s, float v) {
  std::uint32_t w;
  std::memcpy(&w, &v, 4);
  putLe(s, w, 4);
}

// An RTCM 3 frame of message 1005: the station at the site, as a correction service relays it
// (RTCM 10403.3 3.5.3: coordinates in 0.1 mm, 38 bits each; CRC-24Q over header and payload).
inline std::string rtcm1005(const Site& site, int stationId) {
  constexpr int kPayload = 19;
  Bits b(8 * (3 + kPayload + 3));
  double p[3];
  site.ecef(p);
  b.put(1, 8, 0xD3);
  b.put(9, 6, 0);
  b.put(15, 10, kPayload);
  int at = 25;
  const auto put = [&](int n, std::int64_t v) {
    b.put(at, n, v);
    at += n;
  };
  put(12, 1005);
  put(12, stationId);
  put(6, 0);
  put(4, 0b1110);  // GPS, GLONASS, Galileo; not a reference-station-only record
  put(38, std::llround(p[0] * 10000.0));
  put(2, 0b10);  // single receiver oscillator, reserved
  put(38, std::llround(p[1] * 10000.0));
  put(2, 0);
  put(38, std::llround(p[2] * 10000.0));
  b.put(at, 24, b.crc24q(1, 8 * (3 + kPayload)));
  return b.bytes(3 + kPayload + 3);
}

// "Rb": length u16, number u16, then the message.
inline std::string rbMessage(const Site& site) {
  const std::string m = rtcm1005(site, 777);
  std::string b;
  putLe(b, m.size(), 2);
  putLe(b, 1005, 2);
  return frame("Rb", b + m, true);
}

// "Rm" and "Ri" come with the board's solution whether the program enabled them or not (its start
// enables neither).
// "Rm": three bytes and a reserved one, two floats, then the satellites used (GPS PRNs as they are).
inline std::string rmMessage(const std::vector<SkySat>& sats) {
  std::string b;
  b += '\x01';
  b += '\x00';
  b += '\x00';
  b += '\x02';
  putF32Le(b, 0.5f);
  putF32Le(b, 1.25f);
  std::string prns;
  for (const SkySat& s : sats)
    if (s.sys == 'G') prns += static_cast<char>(s.prn);
  b += static_cast<char>(prns.size());
  return frame("Rm", b + prns, true);
}

// "Ri": four floats and a u16.
inline std::string riMessage() {
  std::string b;
  for (float f : {0.125f, -0.25f, 3.5f, 100.0f}) putF32Le(b, f);
  putLe(b, 7, 2);
  return frame("Ri", b, true);
}

// "Sp" of the L1 band in two parts of 32 points: the first from index 0, the second from index 32
// followed by the spectrum's header (start frequency, step, points, two words, time tag, 8 bytes,
// antenna). A flat floor with the band's signals in its middle.
inline std::string spMessages(std::uint32_t t) {
  constexpr int kPoints = 64;
  const auto level = [](int i) { return static_cast<std::uint16_t>(1000 + (i >= 24 && i < 40 ? 300 : 0) + i % 3); };
  std::string out;
  for (int part = 0; part < 2; ++part) {
    std::string b;
    putLe(b, static_cast<std::uint32_t>(32 * part), 4);
    b += '\x00';  // the L1 channel's name
    b += '\x00';
    putLe(b, 32, 2);
    for (int i = 0; i < 32; ++i) putLe(b, level(32 * part + i), 2);
    if (part == 1) {
      putLe(b, 1575420000u - 32u * 31250u, 4);
      putLe(b, 31250, 4);
      putLe(b, kPoints, 4);
      putLe(b, 0, 4);
      putLe(b, 0, 4);
      putLe(b, t, 4);
      b += std::string(8, '\0');
      b += '\x00';  // antenna a
    }
    out += frame("Sp", b, true);
  }
  return out;
}

// "sj": GPS (system 0), band 0: the C/N0 of each PRN in hundredths, then the epoch's tag.
inline std::string sjMessage(const std::vector<SkySat>& sats, std::uint32_t t) {
  std::vector<std::uint16_t> level(32, 0);
  for (const SkySat& s : sats)
    if (s.sys == 'G' && s.prn >= 1 && s.prn <= 32 && !s.sig.empty())
      level[static_cast<std::size_t>(s.prn - 1)] = static_cast<std::uint16_t>(std::lround(s.sig[0].cn0 * 100));
  std::string b;
  b += '\x00';
  b += '\x00';
  for (std::uint16_t v : level) putLe(b, v, 2);
  putLe(b, t, 4);
  return frame("sj", b, true);
}

// "IQ": GPS, the first satellite tracked, band 0, pairs in buffer 0: a tone of 1/16 of the rate.
inline std::string iqMessage(const std::vector<SkySat>& sats) {
  std::string b;
  b += '\x00';
  b += static_cast<char>(sats.empty() ? 1 : sats.front().prn);
  b += '\x00';
  b += '\x01';
  for (int i = 0; i < 32; ++i) {
    const double a = 2 * 3.14159265358979 * i / 16;
    putLe(b, static_cast<std::uint16_t>(static_cast<std::int16_t>(std::lround(1000 * std::cos(a)))), 2);
    putLe(b, static_cast<std::uint16_t>(static_cast<std::int16_t>(std::lround(1000 * std::sin(a)))), 2);
  }
  return frame("IQ", b, true);
}

// "DL": the board's data-link report, a text that names its ports by their letters ("0" is its
// own port 9, "3" the first relay link) with two hexadecimal checksum characters.
inline std::string dlMessage() {
  const std::string text = "{0,zrt,ok}{3,rtcm3,idle}";
  char head[6];
  std::snprintf(head, sizeof head, "DL%03X", static_cast<unsigned>(text.size() + 2));
  const std::string m = head + text;
  static const char kHex[] = "0123456789ABCDEF";
  const std::uint8_t c = checksum(m);
  return m + kHex[c >> 4] + kHex[c & 15];
}

// The per-system hardware-calibration tables: "g1", "g2", "g3" each fill one signal's letters
// -7..7 (band 16 x signal + letter + 7: signal 0, 1, 2), code and phase delays in seconds.
inline float sysCalibCodeNs(int table, int letter) { return static_cast<float>(20 + 5 * table + letter); }
inline float sysCalibPhaseNs(int table, int letter) { return static_cast<float>(-4 - table + 0.25 * letter); }
inline std::string sysCalibMessage(int table) {
  std::string b;
  for (int k = -7; k <= 7; ++k) {
    b += static_cast<char>(16 * (table - 1) + k + 7);
    putF32Le(b, sysCalibCodeNs(table, k) * 1e-9f);
    putF32Le(b, sysCalibPhaseNs(table, k) * 1e-9f);
  }
  const char id[3] = {'g', static_cast<char>('0' + table), 0};
  return frame(id, b, true);
}

// "gR": the RF delays {band, kind, value} of the four GPS/GLONASS bands, both kinds.
inline std::string grMessage() {
  std::string b;
  for (int band = 0; band < 4; ++band)
    for (int kind = 0; kind < 2; ++kind) {
      b += static_cast<char>(band);
      b += static_cast<char>(kind);
      putF32Le(b, static_cast<float>((1.5 + band + 0.25 * kind) * 1e-9));
    }
  return frame("gR", b, true);
}

// The PPS record of output a: index 0, then {offset ns, sawtooth ns, time of the pulse ms, flags}.
inline std::string ppsRecord(std::uint32_t t) {
  std::string b(1, '\0');
  putF32Le(b, 12.5f);
  putF32Le(b, -3.25f);
  putLe(b, t, 4);
  b += '\x01';
  return b;
}

// The messages of an epoch at whole second t: the caller passes on those the program enabled.
inline std::string boardRecords(std::uint32_t t, const std::vector<SkySat>& sats, const Site& site) {
  std::string out = rbMessage(site) + spMessages(t) + sjMessage(sats, t) + iqMessage(sats) + dlMessage();
  for (int table = 1; table <= 3; ++table) out += sysCalibMessage(table);
  return out + grMessage();
}

}  // namespace sim
