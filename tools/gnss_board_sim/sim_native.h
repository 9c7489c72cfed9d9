// The simulator's own writer of the native format, kept apart from the program's writer so
// that one framing fault cannot hide on both sides: id, three upper-case hex digits of body
// length, body, and (when asked) one byte of the 8-bit rotate-and-XOR checksum over all of it.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>

namespace sim {

inline std::uint8_t checksum(const std::string& bytes) {
  unsigned c = 0;
  for (unsigned char b : bytes) {
    unsigned x = (c ^ b) & 0xFFu;
    c = ((x << 2) | (x >> 6)) & 0xFFu;
  }
  return static_cast<std::uint8_t>(c);
}

inline std::string frame(const char* id, const std::string& body, bool withChecksum) {
  static const char hex[] = "0123456789ABCDEF";
  std::size_t len = body.size() + (withChecksum ? 1 : 0);
  std::string out;
  out += id[0];
  out += id[1];
  out += hex[(len >> 8) & 0xF];
  out += hex[(len >> 4) & 0xF];
  out += hex[len & 0xF];
  out += body;
  if (withChecksum) out += static_cast<char>(checksum(out));
  return out;
}

inline void putLe(std::string& s, std::uint64_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) s += static_cast<char>((v >> (8 * i)) & 0xFF);
}

// A reply of the command language: "RE" or "ER", length, body, CR LF; no checksum.
inline std::string reply(const char* id, const std::string& body) {
  return frame(id, body, false) + "\r\n";
}

// The board's time scales at one epoch, from UTC seconds since 1970 and milliseconds.
struct TimeScales {
  std::int64_t gpsTotalMs;   // since 6 January 1980
  std::int32_t gpsMsOfWeek;
  std::int32_t gpsWeek;      // modulo 1024
  std::int32_t gpsCycle;     // whole 1024-week cycles since 1980 (2 from 7 April 2019)
  std::int32_t gloMsOfDay;
  std::int32_t gloDay;       // within the four-year period
  std::int32_t gloPeriod;    // four-year period counted from 1992
};

constexpr std::int64_t kGpsUtcLeap = 18;

inline TimeScales timeScales(std::int64_t utcSec, int ms) {
  TimeScales t{};
  std::int64_t gps = utcSec - 315964800 + kGpsUtcLeap;  // GPS seconds since 1980-01-06
  std::int64_t week = gps / 604800;
  t.gpsTotalMs = gps * 1000 + ms;
  t.gpsMsOfWeek = static_cast<std::int32_t>((gps % 604800) * 1000 + ms);
  t.gpsWeek = static_cast<std::int32_t>(week % 1024);
  t.gpsCycle = static_cast<std::int32_t>(week / 1024);
  std::int64_t m = utcSec - 946684800 + 10800;  // Moscow time, seconds since 2000
  std::int64_t p = m / 126230400;
  std::int64_t day = m / 86400 - 1461 * p;
  t.gloMsOfDay = static_cast<std::int32_t>((m - 86400 * day - 126230400 * p) * 1000 + ms);
  t.gloDay = static_cast<std::int32_t>(day);
  t.gloPeriod = static_cast<std::int32_t>(p + 2);
  return t;
}

// Milliseconds of the GPS day: the epoch time of "~~" and "::".
inline std::uint32_t epochTime(const TimeScales& t) {
  return static_cast<std::uint32_t>(t.gpsMsOfWeek % 86400000);
}

// The 97-byte time-scale record: receiver time, four words, the GPS and the GLONASS block of
// nine words each, and the reference scale (0, GPS).
inline std::string timeScaleRecord(const TimeScales& t, std::uint32_t uptimeSec) {
  const std::int32_t flags = 0x570;  // UTC known, time valid, set from a valid clock
  std::string r;
  putLe(r, static_cast<std::uint64_t>(t.gpsTotalMs), 8);
  putLe(r, uptimeSec, 4);
  putLe(r, 0, 4);
  putLe(r, 0, 4);
  putLe(r, 0, 4);
  const std::int32_t gps[9] = {0, t.gpsMsOfWeek, t.gpsWeek, t.gpsCycle, 18, -100000, 0, 0, flags};
  const std::int32_t glo[9] = {0, t.gloMsOfDay, t.gloDay, t.gloPeriod, 10800, -100000, 0, 0, flags};
  for (std::int32_t v : gps) putLe(r, static_cast<std::uint32_t>(v), 4);
  for (std::int32_t v : glo) putLe(r, static_cast<std::uint32_t>(v), 4);
  r += '\0';
  return r;
}

// "@@" container holding one record {type, length u16, data}; it carries no checksum.
inline std::string rawRecord(std::uint8_t type, const std::string& data) {
  std::string body;
  body += static_cast<char>(type);
  putLe(body, data.size(), 2);
  body += data;
  return frame("@@", body, false);
}

// The power record: 25 readings in hundredths (12.00, 12.10, ... 14.40).
inline std::string powerRecord() {
  std::string r;
  for (int i = 0; i < 25; ++i) putLe(r, static_cast<std::uint16_t>(1200 + 10 * i), 2);
  return r;
}

// The task-load record: three tasks {name, number, three counters}.
inline std::string taskLoadRecord(std::uint32_t uptime) {
  struct Task {
    const char* name;
    int num;
    std::uint32_t c[3];
  };
  const Task tasks[3] = {{"MEAS", 1, {250, 1200, uptime}}, {"TRCK", 2, {610, 2400, uptime}}, {"IDLE", 0, {140, 0, 0}}};
  std::string r(1, '\3');
  for (const Task& t : tasks) {
    r.append(t.name, 4);
    r += static_cast<char>(t.num);
    for (std::uint32_t c : t.c) putLe(r, c, 4);
  }
  return r;
}

// The board's start-up record: NT revision, NT serial number, NT in use.
inline std::string onceRecord() {
  std::string r(1, '\2');
  putLe(r, 517, 2);
  r += '\1';
  return r;
}

// The L-band service-state record (862 bytes): three beams in slots 0..2 (elevations 35.5, 12.0
// and not reported), the ordered list 0, 1, 2 (with `badSlot`: 20, 1), the beam in use slot 1,
// sync status 3, data-quality status 2, decoder position 1. Per beam: frequency, rate, a spare
// word, enabled, name[8], id[8], longitude, elevation, azimuth, a spare float, a spare word.
inline std::string trstRecord(bool badSlot) {
  struct Beam {
    std::uint32_t frequency, rate;
    const char* name;
    const char* id;
    float lon, el, az;
  };
  const Beam beams[3] = {{1545855000, 1200, "AORE", "A", -15.5f, 35.5f, 120.0f},
                         {1545845000, 2400, "AORW", "B", -54.0f, 12.0f, 250.0f},
                         {1545865000, 600, "IOR", "C", 64.5f, -100.0f, 0.0f}};
  auto putF = [](std::string& s, float f) {
    std::uint32_t u;
    std::memcpy(&u, &f, 4);
    putLe(s, u, 4);
  };
  std::string r;
  for (int i = 0; i < 16; ++i) {
    const Beam b = i < 3 ? beams[i] : Beam{0, 0, "", "", 0.0f, -100.0f, 0.0f};
    putLe(r, b.frequency, 4);
    putLe(r, b.rate, 4);
    putLe(r, 0, 4);
    r += static_cast<char>(i < 3 ? 1 : 0);
    std::string name(b.name), id(b.id);
    name.resize(8, '\0');
    id.resize(8, '\0');
    r += name + id;
    putF(r, b.lon);
    putF(r, b.el);
    putF(r, b.az);
    putF(r, 0.0f);
    putLe(r, 0, 4);
  }
  std::string order(32, '\0');
  if (badSlot) {
    order[0] = 20;
    order[1] = 1;
  } else {
    order[0] = 0;
    order[1] = 1;
    order[2] = 2;
  }
  r += order;
  std::string tail(46, '\0');
  tail[0] = badSlot ? 2 : 3;  // ordered count
  tail[1] = 1;                // beam in use
  tail[2] = 3;                // sync
  tail[3] = 2;                // data quality
  tail[4] = 1;                // decoder position
  r += tail;
  return r;
}

// Subframe 1 of GPS PRN 4 as broadcast (GNSSTk's public LNAV test vector "ephLNAVGPSSF1"), ten
// 30-bit words, upright.
inline constexpr std::uint32_t kLnavSf1Prn4[10] = {0x22C34D21, 0x29D4,    0x34D44000, 0x91B1DE7,  0x1C33746E,
                                                   0x2F701369, 0x39F53CB5, 0x128070A8, 0x3FF454, 0x3EAFC2F0};

// A "gd" message: satellite, time, kind, word count, words, closing byte; checksum.
inline std::string gdMessage(int prn, std::uint32_t time, const std::uint32_t* words, int n) {
  std::string b;
  b += static_cast<char>(prn);
  putLe(b, time, 4);
  b += '\0';
  b += static_cast<char>(n);
  for (int i = 0; i < n; ++i) putLe(b, words[i], 4);
  b += '\0';
  return frame("gd", b, true);
}

}  // namespace sim
