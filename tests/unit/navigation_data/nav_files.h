// Readers of the public files the navigation tests compare against: RINEX 2 GPS navigation
// (broadcast ephemerides into the native record), SP3 precise orbits, the lines of any RINEX file
// and the rows of the navigation-message vector files.
#pragma once

#include <cmath>
#include <cstdio>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "navigation_data/store/nav_records.h"

namespace navfiles {

// Every line of a text file, each with its newline, read through gzip when the name ends in ".gz".
inline std::vector<std::string> readLines(const std::string& path) {
  std::vector<std::string> lines;
  const bool gz = path.size() > 3 && path.compare(path.size() - 3, 3, ".gz") == 0;
  if (std::FILE* f = gz ? popen(("gzip -dc '" + path + "'").c_str(), "r") : std::fopen(path.c_str(), "r")) {
    char buf[256];
    while (std::fgets(buf, sizeof buf, f)) lines.emplace_back(buf);
    gz ? pclose(f) : std::fclose(f);
  }
  return lines;
}

// CSV cells (quoted cells keep their commas; the quotes go).
inline std::vector<std::string> split(const std::string& s, char sep) {
  std::vector<std::string> out(1);
  bool quoted = false;
  for (char c : s) {
    if (c == '"') {
      quoted = !quoted;
    } else if (c == sep && !quoted) {
      out.emplace_back();
    } else {
      out.back() += c;
    }
  }
  return out;
}

// The rows of a vector file of testdata/navmsg (its header row too), split into cells.
inline std::vector<std::vector<std::string>> vectorRows(const std::string& file) {
  std::vector<std::vector<std::string>> rows;
  std::ifstream f(std::string(RX_SHARED_DIR) + "/testdata/navmsg/" + file);
  for (std::string line; std::getline(f, line);) rows.push_back(split(line, ','));
  return rows;
}

// Bit i (0 = the first) of a message written in hex, MSB first.
inline int hexBit(const std::string& hex, int i) {
  return (std::stoi(hex.substr(static_cast<std::size_t>(i / 4), 1), nullptr, 16) >> (3 - i % 4)) & 1;
}

constexpr double kPi = 3.141592653589793;

// Seconds of the GPS week of a calendar date (GPS time).
inline double gpsSow(int y, int mo, int d, int h, int mi, double s, int* week = nullptr) {
  auto days = [](int yy, int mm, int dd) {  // days since 1970-01-01
    yy -= mm <= 2;
    const int era = yy / 400, yoe = yy - era * 400;
    const int doy = (153 * (mm + (mm > 2 ? -3 : 9)) + 2) / 5 + dd - 1;
    return era * 146097 + yoe * 365 + yoe / 4 - yoe / 100 + doy - 719468;
  };
  const long dn = days(y, mo, d) - days(1980, 1, 6);
  if (week != nullptr) *week = static_cast<int>(dn / 7);
  return static_cast<double>(dn % 7) * 86400 + h * 3600 + mi * 60 + s;
}

inline double num(const std::string& line, std::size_t at) {
  if (line.size() <= at) return 0;
  std::string f = line.substr(at, 19);
  for (char& c : f)
    if (c == 'D' || c == 'd') c = 'E';
  return std::strtod(f.c_str(), nullptr);
}

struct BrdcRecord {
  ZRT_EPH_GPS eph;
  double tocSow;
};

// Every ephemeris of a RINEX 2 GPS navigation file, converted to the native record (angles in
// semicircles as the broadcast carries them).
inline std::vector<BrdcRecord> readRinex2Nav(const std::string& path) {
  std::ifstream in(path);
  std::string line;
  while (std::getline(in, line) && line.find("END OF HEADER") == std::string::npos) {
  }
  std::vector<BrdcRecord> out;
  std::string l[8];
  while (std::getline(in, l[0])) {
    for (int k = 1; k < 8; ++k)
      if (!std::getline(in, l[k])) return out;
    ZRT_EPH_GPS e{};
    e.prn = static_cast<std::uint8_t>(std::stoi(l[0].substr(0, 2)));
    const int yy = std::stoi(l[0].substr(3, 2));
    const double toc = gpsSow(2000 + yy, std::stoi(l[0].substr(6, 2)), std::stoi(l[0].substr(9, 2)),
                              std::stoi(l[0].substr(12, 2)), std::stoi(l[0].substr(15, 2)),
                              std::stod(l[0].substr(17, 5)));
    e.toc = static_cast<std::int32_t>(std::lround(toc));
    e.af0 = num(l[0], 22), e.af1 = static_cast<float>(num(l[0], 41)), e.af2 = static_cast<float>(num(l[0], 60));
    e.iode = static_cast<std::uint16_t>(num(l[1], 3));
    e.crs = static_cast<float>(num(l[1], 22));
    e.deltaN = static_cast<float>(num(l[1], 41) / kPi);
    e.M0 = num(l[1], 60) / kPi;
    e.cuc = static_cast<float>(num(l[2], 3));
    e.e = num(l[2], 22);
    e.cus = static_cast<float>(num(l[2], 41));
    e.sqrtA = num(l[2], 60);
    e.toe = static_cast<std::uint32_t>(num(l[3], 3));
    e.cic = static_cast<float>(num(l[3], 22));
    e.Omega0 = num(l[3], 41) / kPi;
    e.cis = static_cast<float>(num(l[3], 60));
    e.i0 = num(l[4], 3) / kPi;
    e.crc = static_cast<float>(num(l[4], 22));
    e.omega = num(l[4], 41) / kPi;
    e.OmegaDot = static_cast<float>(num(l[4], 60) / kPi);
    e.idot = static_cast<float>(num(l[5], 3) / kPi);
    e.week = static_cast<std::uint16_t>(num(l[5], 41));
    e.health = static_cast<std::uint8_t>(num(l[6], 22));
    e.tgd = static_cast<float>(num(l[6], 41));
    e.iodc = static_cast<std::int16_t>(num(l[6], 60));
    e.tow = static_cast<std::uint32_t>(std::fmod(num(l[7], 3), 604800.0));
    out.push_back({e, toc});
  }
  return out;
}

struct Sp3Point {
  double sow;
  int prn;
  double pos[3];  // m
};

inline std::vector<Sp3Point> readSp3(const std::string& path) {
  std::ifstream in(path);
  std::string line;
  std::vector<Sp3Point> out;
  double sow = -1;
  while (std::getline(in, line)) {
    if (line.rfind("* ", 0) == 0) {
      int y, mo, d, h, mi;
      double s;
      if (std::sscanf(line.c_str() + 2, "%d %d %d %d %d %lf", &y, &mo, &d, &h, &mi, &s) == 6)
        sow = gpsSow(y, mo, d, h, mi, s);
    } else if (line.rfind("PG", 0) == 0 && sow >= 0) {
      Sp3Point p{sow, std::stoi(line.substr(2, 2)), {}};
      for (int k = 0; k < 3; ++k) p.pos[k] = std::stod(line.substr(4 + 14 * k, 14)) * 1000.0;
      out.push_back(p);
    }
  }
  return out;
}

inline std::string testdata(const std::string& name) { return std::string(RX_SHARED_DIR) + "/testdata/nav/" + name; }

}  // namespace navfiles
