// The simulator's own writer of the native format, kept apart from the program's writer so
// that one framing fault cannot hide on both sides: id, three upper-case hex digits of body
// length, body, and (when asked) one byte of the 8-bit rotate-and-XOR checksum over all of it.
#pragma once

#include <cstdint>
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
  std::int32_t gpsCycle;     // 1024-week cycles, counted from 1
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
  t.gpsCycle = static_cast<std::int32_t>(week / 1024 + 1);
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

}  // namespace sim
