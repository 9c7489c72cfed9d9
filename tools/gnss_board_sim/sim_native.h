// The simulator's own writer of the native format, kept apart from the program's writer so
// that one framing fault cannot hide on both sides: id, three upper-case hex digits of body
// length, body, and (when asked) one byte of the 8-bit rotate-and-XOR checksum over all of it.
#pragma once

#include <cmath>
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

// The board's time scales at one epoch.
struct TimeScales {
  std::int64_t gpsTotalMs;   // since 6 January 1980
  std::int32_t gpsMsOfWeek;
  std::int32_t gpsWeek;      // modulo 1024
  std::int32_t gpsCycle;     // whole 1024-week cycles since 1980 (2 from 7 April 2019)
  std::int32_t gloMsOfDay;
  std::int32_t gloDay;       // within the four-year period
  std::int32_t gloPeriod;    // four-year period counted from 1992
  std::int32_t gpsUtc;       // GPS minus UTC, whole seconds
  std::int32_t gpsLeapMoment;  // GPS millisecond of week of an inserted second near, else -100,000
  std::int32_t gloLeapMoment;  // GLONASS millisecond of day of one on this GLONASS day, else -100,000
};

constexpr std::int64_t kGpsUtcLeap = 18;
constexpr std::int32_t kNoLeapMoment = -100000;
constexpr std::int64_t kLeapNearSec = 21599;  // the board names the moment from 6 h before to 6 h after

// GPS second `gps` (since 6 January 1980) and `ms`; `leapAt` is the GPS second that UTC's
// inserted 23:59:60 begins (-1: none). UTC is GPS time less 18 s before it and 19 s from it on,
// so that its last second of the day comes twice as the UTC and GLONASS counts show it.
inline TimeScales gpsTimeScales(std::int64_t gps, int ms, std::int64_t leapAt = -1) {
  TimeScales t{};
  std::int64_t week = gps / 604800;
  t.gpsTotalMs = gps * 1000 + ms;
  t.gpsMsOfWeek = static_cast<std::int32_t>((gps % 604800) * 1000 + ms);
  t.gpsWeek = static_cast<std::int32_t>(week % 1024);
  t.gpsCycle = static_cast<std::int32_t>(week / 1024);
  const bool past = leapAt >= 0 && gps >= leapAt;
  t.gpsUtc = static_cast<std::int32_t>(kGpsUtcLeap + (past ? 1 : 0));
  const std::int64_t utcSec = gps + 315964800 - t.gpsUtc;
  std::int64_t m = utcSec - 946684800 + 10800;  // Moscow time, seconds since 2000
  std::int64_t p = m / 126230400;
  std::int64_t day = m / 86400 - 1461 * p;
  t.gloMsOfDay = static_cast<std::int32_t>((m - 86400 * day - 126230400 * p) * 1000 + ms);
  t.gloDay = static_cast<std::int32_t>(day);
  t.gloPeriod = static_cast<std::int32_t>(p + 2);
  t.gpsLeapMoment = t.gloLeapMoment = kNoLeapMoment;
  if (leapAt >= 0 && gps - leapAt >= -kLeapNearSec && gps - leapAt <= kLeapNearSec) {
    t.gpsLeapMoment = static_cast<std::int32_t>(leapAt % 604800 * 1000);
    // 00:00 UTC is 03:00 of the Moscow day that holds the second.
    const std::int64_t leapMoscow = leapAt - kGpsUtcLeap + 315964800 - 946684800 + 10800;
    if (leapMoscow / 86400 == m / 86400) t.gloLeapMoment = 10800000;
  }
  return t;
}

// The same from UTC seconds since 1970, with no leap second near.
inline TimeScales timeScales(std::int64_t utcSec, int ms) {
  return gpsTimeScales(utcSec - 315964800 + kGpsUtcLeap, ms);
}

// Milliseconds of the GPS day: the epoch time of "~~" and "::".
inline std::uint32_t epochTime(const TimeScales& t) {
  return static_cast<std::uint32_t>(t.gpsMsOfWeek % 86400000);
}

// The 97-byte time-scale record: receiver time, four words, the GPS and the GLONASS block of
// nine words each, and the reference scale (0, GPS).
inline std::string timeScaleRecord(const TimeScales& t, std::uint32_t uptimeSec) {
  // UTC known, time valid, and every quality level of the time met: the simulator's time is
  // the satellites' own, as a board's once it has resolved it from them.
  const std::int32_t flags = 0x570 | 0x12A0 | 0xAA0;
  std::string r;
  putLe(r, static_cast<std::uint64_t>(t.gpsTotalMs), 8);
  putLe(r, uptimeSec, 4);
  putLe(r, 0, 4);
  putLe(r, 0, 4);
  putLe(r, 0, 4);
  const std::int32_t gps[9] = {0, t.gpsMsOfWeek, t.gpsWeek, t.gpsCycle, t.gpsUtc, t.gpsLeapMoment, 0, 0, flags};
  const std::int32_t glo[9] = {0, t.gloMsOfDay, t.gloDay, t.gloPeriod, 10800, t.gloLeapMoment, 0, 0, flags};
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
inline std::string onceRecord(bool useNt = true) {
  std::string r(1, '\2');
  putLe(r, 517, 2);
  r += useNt ? '\1' : '\0';
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

// The RTK solution the board reports for an antenna at `rover` (Earth-centred, m; latitude and
// longitude in degrees): a fixed heading solution (state 2, or `state`; position mode 4, heading
// available)
// over a base 30 m south and 40 m west of it and 1 m lower (heading 53.13 degrees), standing
// still, with fixed covariances and cofactors, 8 GPS satellites used of 10 tracked and station 17.
// 870 bytes, little-endian, by its own offsets.
struct RtkFix {
  static constexpr double kBaselineNeu[3] = {30.0, 40.0, 1.0};  // rover minus base, m
  static constexpr double kPosVar[3] = {0.0004, 0.0009, 0.0016};  // X, Y, Z, m^2
  static constexpr double kVelVar[3] = {0.0001, 0.0001, 0.0004};  // (m/s)^2
  static constexpr double kCof[4] = {0.8, 0.6, 1.5, 0.5};        // X, Y, Z, T
  static constexpr std::uint16_t kStation = 17;
};

inline void putF32(std::string& s, std::size_t off, float v) {
  std::uint32_t w;
  std::memcpy(&w, &v, 4);
  for (int i = 0; i < 4; ++i) s[off + i] = static_cast<char>((w >> (8 * i)) & 0xFF);
}
inline void putF64(std::string& s, std::size_t off, double v) {
  std::uint64_t w;
  std::memcpy(&w, &v, 8);
  for (int i = 0; i < 8; ++i) s[off + i] = static_cast<char>((w >> (8 * i)) & 0xFF);
}
inline void putAt(std::string& s, std::size_t off, std::uint64_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) s[off + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

// The board's hardware-calibration table of one signal (0 C/A on L1, 1 P on L1, 2 C/A on L2, 3 P
// on L2) as message "gC": GLONASS letters -7..7 at bands 16 x signal + letter + 7, each with its
// code delay, 10 + 3 signal + letter ns, and its phase delay, -2 - signal + letter / 2 ns
// (letter 3 of P on L1 without one: a quiet NaN); then the eight pairs of zeros and the
// calibration's status word, 0x1F.
inline float hwCalibCodeNs(int signal, int letter) { return static_cast<float>(10 + 3 * signal + letter); }
inline float hwCalibPhaseNs(int signal, int letter) { return static_cast<float>(-2 - signal + 0.5 * letter); }
inline std::string hwCalibMessage(int signal) {
  std::string b;
  for (int k = -7; k <= 7; ++k) {
    const std::size_t at = b.size();
    b.resize(at + 9, '\0');
    b[at] = static_cast<char>(16 * signal + k + 7);
    putF32(b, at + 1, hwCalibCodeNs(signal, k) * 1e-9f);
    if (signal == 1 && k == 3) putAt(b, at + 5, 0x7FC00000u, 4);
    else putF32(b, at + 5, hwCalibPhaseNs(signal, k) * 1e-9f);
  }
  b.append(32, '\0');
  putLe(b, 0x1F, 2);
  return frame("gC", b, true);
}

inline std::string rtkRecord(std::uint32_t timeMs, const double rover[3], double latDeg, double lonDeg, int state = 2) {
  std::string r(870, '\0');
  const double b = latDeg * 3.14159265358979323846 / 180, l = lonDeg * 3.14159265358979323846 / 180;
  // Columns north, east, up in Earth-centred axes.
  const double n[3] = {-std::sin(b) * std::cos(l), -std::sin(b) * std::sin(l), std::cos(b)};
  const double e[3] = {-std::sin(l), std::cos(l), 0.0};
  const double u[3] = {std::cos(b) * std::cos(l), std::cos(b) * std::sin(l), std::sin(b)};
  double bl[3];
  for (int i = 0; i < 3; ++i)
    bl[i] = RtkFix::kBaselineNeu[0] * n[i] + RtkFix::kBaselineNeu[1] * e[i] + RtkFix::kBaselineNeu[2] * u[i];
  putAt(r, 0, timeMs, 4);
  putAt(r, 4, static_cast<std::uint64_t>(state), 4);
  for (int i = 0; i < 3; ++i) {
    putF64(r, 8 + 8 * i, rover[i]);
    putF64(r, 32 + 8 * i, rover[i] - bl[i]);
    putF64(r, 56 + 8 * i, bl[i]);
    putF64(r, 80 + 8 * i, 0.0);  // velocity
  }
  r[128] = 1;                    // velocity present
  putF32(r, 141, 0.0004f);       // heading variance
  putAt(r, 300, 0xFF, 4);        // use word
  r[304] = 1;                    // heading available
  r[305] = 4;                    // position mode
  r[306] = 0;                    // status
  putF32(r, 323 + 0, 8.0f);      // GPS used
  putF32(r, 323 + 4, 10.0f);     // GPS tracked
  for (int i = 0; i < 3; ++i) {
    putF64(r, 435 + 48 * i + 16 * i, RtkFix::kPosVar[i]);
    putF64(r, 435 + 48 * i + 16 * i + 8, RtkFix::kVelVar[i]);
  }
  for (int i = 0; i < 4; ++i) putF64(r, 579 + 36 * i + 4 + 8 * i, RtkFix::kCof[i]);
  putAt(r, 723, RtkFix::kStation, 2);
  putAt(r, 725, 65535, 2);
  return r;
}

// A "WD" message: satellite, time, kind (0 an SBAS L1 message, 1 an L5 one), byte count, the
// message, validity byte; checksum.
inline std::string wdMessage(int prn, std::uint32_t time, int kind, const std::string& msg) {
  std::string b;
  b += static_cast<char>(prn);
  putLe(b, time, 4);
  b += static_cast<char>(kind);
  b += static_cast<char>(msg.size());
  b += msg;
  b += '\1';
  return frame("WD", b, true);
}

}  // namespace sim
