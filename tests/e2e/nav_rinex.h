// RINEX navigation records as printed (RINEX 4 "> EPH" records of the public broadcast file, the
// RINEX 3 records convbin writes), RTCM 3 frames of a byte stream and the comparison of two
// records to one unit of their last printed digit, and the RINEX 3 observations convbin writes:
// the station and group delays of convbin's RINEX 3: the test's own readers, apart from the
// program's code.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace e2e::rinex {

// One navigation record: satellite ("G01"), type ("LNAV", "INAV", ...), epoch text, and each value
// with its text (NaN and "" for a blank field).
struct Record {
  std::string sat, type, epoch;
  std::vector<double> v;
  std::vector<std::string> text;
};

inline std::vector<std::string> linesOf(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string l; std::getline(in, l);) lines.push_back(l);
  return lines;
}

// The value fields (D19.12: the first line's three after the epoch, four a line after it).
inline void readValues(const std::vector<std::string>& lines, std::size_t first, int orbitLines, Record& r) {
  auto take = [&](const std::string& s, std::size_t at) {
    std::string f = at < s.size() ? s.substr(at, 19) : "";
    for (char& c : f)
      if (c == 'D' || c == 'd') c = 'E';
    const bool blank = f.find_first_not_of(" \r\n") == std::string::npos;
    r.v.push_back(blank ? NAN : std::strtod(f.c_str(), nullptr));
    r.text.push_back(blank ? "" : f);
  };
  for (std::size_t k = 0; k < 3; ++k) take(lines[first], 23 + 19 * k);
  for (int l = 1; l <= orbitLines; ++l)
    for (std::size_t k = 0; k < 4; ++k) take(lines[first + static_cast<std::size_t>(l)], 4 + 19 * k);
}

// The text of a gzipped file.
inline std::string gunzip(const std::string& path) {
  std::string text;
  if (std::FILE* p = popen(("gzip -dc '" + path + "'").c_str(), "r")) {
    char buf[4096];
    for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, p)) > 0;) text.append(buf, n);
    pclose(p);
  }
  return text;
}

// The ephemeris records of a gzipped RINEX 4 navigation file.
inline std::vector<Record> readRinex4Gz(const std::string& path) {
  const auto lines = linesOf(gunzip(path));
  std::vector<Record> out;
  for (std::size_t i = 0; i + 1 < lines.size(); ++i) {
    if (lines[i].rfind("> EPH ", 0) != 0) continue;
    Record r;
    r.type = lines[i].substr(10, 4);
    while (!r.type.empty() && r.type.back() == ' ') r.type.pop_back();
    const char sys = lines[i][6];
    const int n = sys == 'R' ? 4 : sys == 'S' ? 3 : r.type == "CNAV" ? 8 : (r.type == "CNV1" || r.type == "CNV2") ? 9 : 7;
    if (i + 1 + static_cast<std::size_t>(n) >= lines.size()) break;
    r.sat = lines[i + 1].substr(0, 3);
    r.epoch = lines[i + 1].substr(4, 19);
    readValues(lines, i + 1, n, r);
    out.push_back(r);
  }
  return out;
}

// The records of a RINEX 3 navigation file (after its header).
inline std::vector<Record> readRinex3(const std::string& text) {
  const auto lines = linesOf(text);
  std::vector<Record> out;
  std::size_t i = 0;
  while (i < lines.size() && lines[i].find("END OF HEADER") == std::string::npos) ++i;
  for (++i; i < lines.size(); ++i) {
    if (lines[i].size() < 23 || lines[i][0] == ' ') continue;
    Record r;
    r.sat = lines[i].substr(0, 3);
    r.epoch = lines[i].substr(4, 19);
    const int n = r.sat[0] == 'R' || r.sat[0] == 'S' ? 3 : 7;
    if (i + static_cast<std::size_t>(n) >= lines.size()) break;
    readValues(lines, i, n, r);
    i += static_cast<std::size_t>(n);
    out.push_back(r);
  }
  return out;
}

// One unit of the last digit printed in `text` ("-1.249682181515e-02": 1e-14).
inline double lastPlace(const std::string& text) {
  const std::size_t e = text.find_first_of("eE"), dot = text.find('.');
  if (e == std::string::npos || dot == std::string::npos) return 0;
  return std::pow(10.0, std::atoi(text.c_str() + e + 1) - static_cast<int>(e - dot - 1));
}

// The fields `fields` of `got` that differ from `want` by more than one unit of the last place
// either prints; empty when they all agree.
inline std::string differences(const Record& got, const Record& want, const std::vector<int>& fields) {
  std::string out;
  for (int k : fields) {
    const auto i = static_cast<std::size_t>(k);
    if (i >= got.v.size() || i >= want.v.size()) {
      out += " [" + std::to_string(k) + "] missing";
      continue;
    }
    if (std::isnan(want.v[i])) continue;
    const double unit = std::max(lastPlace(want.text[i]), lastPlace(got.text[i]));
    if (!(std::fabs(got.v[i] - want.v[i]) <= unit * 1.000001))
      out += " [" + std::to_string(k) + "] " + got.text[i] + " != " + want.text[i];
  }
  return out;
}

// Whole RTCM 3 frames of a byte stream (CRC-24Q by its definition); `junk`, where given, counts
// the bytes outside them.
inline std::vector<std::string> rtcm3Frames(const std::string& s, int* junk = nullptr) {
  const auto crc = [](const unsigned char* p, std::size_t n) {
    std::uint32_t c = 0;
    for (std::size_t i = 0; i < n; ++i) {
      c ^= static_cast<std::uint32_t>(p[i]) << 16;
      for (int k = 0; k < 8; ++k) c = (c << 1) ^ ((c & 0x800000) ? 0x1864CFBu : 0u);
    }
    return c & 0xFFFFFF;
  };
  std::vector<std::string> out;
  const auto* b = reinterpret_cast<const unsigned char*>(s.data());
  for (std::size_t i = 0; i < s.size();) {
    const std::size_t len = i + 3 <= s.size() ? ((b[i + 1] & 3u) << 8 | b[i + 2]) : 0;
    if (b[i] != 0xD3 || i + len + 6 > s.size() ||
        crc(b + i, len + 3) != (static_cast<std::uint32_t>(b[i + len + 3]) << 16 | b[i + len + 4] << 8 | b[i + len + 5])) {
      if (junk != nullptr) ++*junk;
      ++i;
      continue;
    }
    out.push_back(s.substr(i, len + 6));
    i += len + 6;
  }
  return out;
}
inline int rtcm3Type(const std::string& f) {
  return static_cast<unsigned char>(f[3]) << 4 | static_cast<unsigned char>(f[4]) >> 4;
}
// The unsigned field of `n` bits at bit `at` of a frame's message (0: the message number's first).
inline std::uint32_t rtcm3Bits(const std::string& f, int at, int n) {
  std::uint32_t v = 0;
  for (int i = at; i < at + n; ++i) v = v << 1 | ((static_cast<unsigned char>(f[3 + i / 8]) >> (7 - i % 8)) & 1u);
  return v;
}
// The satellites (1..64) of an MSM frame's mask: 73 bits of header fields after the message
// number, then 64 bits, satellite 1 first.
inline std::vector<int> msmSatellites(const std::string& f) {
  std::vector<int> v;
  for (int k = 1; k <= 64; ++k)
    if (rtcm3Bits(f, 73 + k - 1, 1) != 0) v.push_back(k);
  return v;
}
// BeiDou satellites whose carriers an older alignment of MSM moved by half a cycle (the v37
// choice of an MSM decoder): the geostationary ones below 6 and those above 58.
inline bool bdsOutsideSixToFiftyEight(int sat) { return sat < 6 || sat > 58; }
// How many whole frames of the message type the bytes hold.
inline int rtcm3Count(const std::string& s, int type) {
  int n = 0;
  for (const std::string& f : rtcm3Frames(s)) n += rtcm3Type(f) == type ? 1 : 0;
  return n;
}

// Days from 1970-01-01 of a civil date (H. Hinnant's days_from_civil).
inline long daysFromCivil(int y, int m, int d) {
  y -= m <= 2;
  const long era = (y >= 0 ? y : y - 399) / 400;
  const long yoe = y - era * 400;
  const long doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  return era * 146097 + yoe * 365 + yoe / 4 - yoe / 100 + doy - 719468;
}

// An epoch text "2023 03 12 10 00 00" as seconds from 1970 (in the record's own time scale).
inline long epochSeconds(const std::string& epoch) {
  int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0;
  if (std::sscanf(epoch.c_str(), "%d %d %d %d %d %d", &y, &mo, &d, &h, &mi, &s) != 6) return -1;
  return daysFromCivil(y, mo, d) * 86400 + h * 3600 + mi * 60 + s;
}

// A system time offset record ("> STO"): its epoch (GPS seconds, in the record's own scale; -1
// when there is none) and polynomial; an ionosphere record ("> ION"): its values after the epoch.
struct Sto {
  long epoch = -1;
  double a0 = 0, a1 = 0, a2 = 0;
};
struct Ion {
  std::vector<double> v;
};

// The first record of system `sys` and code `code` (STO) or message type `type` (ION) in the
// lines of a RINEX 4 file (RINEX 4.00 5.3 and 5.4).
inline Sto firstSto(const std::vector<std::string>& lines, char sys, const std::string& code) {
  constexpr long kGpsFromUnix = 315964800;
  Sto s;
  for (std::size_t i = 0; i + 2 < lines.size(); ++i) {
    if (lines[i].rfind("> STO ", 0) != 0 || lines[i][6] != sys || lines[i + 1].find(code) == std::string::npos) continue;
    s.epoch = epochSeconds(lines[i + 1].substr(4, 19)) - kGpsFromUnix;
    const auto f = [&](std::size_t at) { return std::strtod(lines[i + 2].substr(at, 19).c_str(), nullptr); };
    s.a0 = f(23), s.a1 = f(42), s.a2 = f(61);
    return s;
  }
  return s;
}
inline Ion firstIon(const std::vector<std::string>& lines, char sys, const std::string& type) {
  Ion r;
  for (std::size_t i = 0; i + 1 < lines.size(); ++i) {
    if (lines[i].rfind("> ION ", 0) != 0 || lines[i][6] != sys || lines[i].compare(10, type.size(), type) != 0) continue;
    for (std::size_t k = 0; k < 3; ++k) r.v.push_back(std::strtod(lines[i + 1].substr(23 + 19 * k, 19).c_str(), nullptr));
    for (std::size_t l = i + 2; l < lines.size() && lines[l].rfind(">", 0) != 0; ++l)
      for (std::size_t k = 0; k < 4 && 4 + 19 * k < lines[l].size(); ++k) {
        const std::string f = lines[l].substr(4 + 19 * k, 19);
        if (f.find_first_not_of(" \r\n") != std::string::npos) r.v.push_back(std::strtod(f.c_str(), nullptr));
      }
    return r;
  }
  return r;
}

// convbin's RINEX 3 observations: per epoch (GPS second of week in ms) and satellite, the values
// of each observation type.
inline std::map<long, std::map<std::string, std::map<std::string, double>>> readRinexObs(const std::string& text) {
  std::map<long, std::map<std::string, std::map<std::string, double>>> out;
  std::map<char, std::vector<std::string>> types;
  std::istringstream in(text);
  std::string line;
  char last = 0;
  while (std::getline(in, line)) {
    const std::string label = line.size() > 60 ? line.substr(60) : "";
    if (label.starts_with("END OF HEADER")) break;
    if (label.starts_with("SYS / # / OBS TYPES")) {
      if (line[0] != ' ') last = line[0];
      std::istringstream t(line.substr(7, 53));
      for (std::string ty; t >> ty;) types[last].push_back(ty);
    }
  }
  long epoch = -1;
  while (std::getline(in, line)) {
    if (line.starts_with(">")) {
      int y, mo, d, h, mi;
      double sec;
      if (std::sscanf(line.c_str(), "> %d %d %d %d %d %lf", &y, &mo, &d, &h, &mi, &sec) != 6) continue;
      const long days = daysFromCivil(y, mo, d) - daysFromCivil(1980, 1, 6);
      epoch = std::lround(((days % 7) * 86400.0 + h * 3600.0 + mi * 60.0 + sec) * 1000.0);
      continue;
    }
    if (epoch < 0 || line.size() < 3) continue;
    const std::string sat = line.substr(0, 3);
    const auto& ty = types[sat[0]];
    for (std::size_t k = 0; k < ty.size(); ++k) {
      const std::size_t at = 3 + 16 * k;
      if (at + 14 > line.size()) break;
      const std::string field = line.substr(at, 14);
      char* end = nullptr;
      const double v = std::strtod(field.c_str(), &end);
      if (end != field.c_str()) out[epoch][sat][ty[k]] = v;
    }
  }
  return out;
}


// The station position of an observation file's header, with the antenna delta convbin writes for
// RTCM 2 type 22 (its Earth-fixed L1 delta turned into height, east, north at the position)
// turned back.
inline bool rinexStation(const std::string& obs, double xyz[3]) {
  double d[3] = {};
  bool pos = false;
  std::istringstream in(obs);
  for (std::string line; std::getline(in, line);) {
    if (line.size() < 61) continue;
    std::istringstream v(line.substr(0, 60));
    if (line.compare(60, 19, "APPROX POSITION XYZ") == 0) pos = static_cast<bool>(v >> xyz[0] >> xyz[1] >> xyz[2]);
    if (line.compare(60, 20, "ANTENNA: DELTA H/E/N") == 0) v >> d[0] >> d[1] >> d[2];
    if (line.compare(60, 13, "END OF HEADER") == 0) break;
  }
  if (!pos) return false;
  const double p = std::hypot(xyz[0], xyz[1]);
  const double lat = std::atan2(xyz[2], p * (1 - 0.00669437999014)), lon = std::atan2(xyz[1], xyz[0]);
  const double h = d[0], e = d[1], n = d[2];
  xyz[0] += -std::sin(lon) * e - std::sin(lat) * std::cos(lon) * n + std::cos(lat) * std::cos(lon) * h;
  xyz[1] += std::cos(lon) * e - std::sin(lat) * std::sin(lon) * n + std::cos(lat) * std::sin(lon) * h;
  xyz[2] += std::cos(lat) * n + std::sin(lat) * h;
  return true;
}

// GPS group delays TGD (s) by satellite, from convbin's RINEX 3 navigation file.
inline std::map<std::string, double> rinexTgd(const std::string& nav) {
  std::map<std::string, double> tgd;
  std::istringstream in(nav);
  std::string line;
  while (std::getline(in, line) && line.find("END OF HEADER") == std::string::npos) {
  }
  std::vector<std::string> rec;
  while (std::getline(in, line)) {
    if (line.empty()) continue;
    if (line[0] != ' ') rec.clear();
    rec.push_back(line);
    if (rec.size() == 7 && rec[0][0] == 'G' && rec[6].size() >= 61) {
      std::string f = rec[6].substr(42, 19);
      for (char& c : f) c = c == 'D' ? 'E' : c;
      char* end = nullptr;
      const double v = std::strtod(f.c_str(), &end);
      if (end != f.c_str()) tgd[rec[0].substr(0, 3)] = v;
    }
  }
  return tgd;
}

}  // namespace e2e::rinex
