// Readers of the public GLONASS files the tests compare against: RINEX 2 GLONASS navigation
// (state vectors into the native record) and the GLONASS satellites of an SP3 precise orbit.
#pragma once

#include <cmath>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "fixtures/nav_files.h"

namespace glofiles {

struct GloBrdc {
  int slot;
  double utcSow;  // GPS-week seconds of tb in UTC
  ZRT_EPH_GLN eph;
};

inline std::vector<GloBrdc> readRinex2Glo(const std::string& path) {
  std::ifstream in(path);
  std::string line;
  while (std::getline(in, line) && line.find("END OF HEADER") == std::string::npos) {
  }
  std::vector<GloBrdc> out;
  std::string l[4];
  while (std::getline(in, l[0])) {
    for (int k = 1; k < 4; ++k)
      if (!std::getline(in, l[k])) return out;
    int slot, y, mo, d, h, mi;
    double sec;
    if (std::sscanf(l[0].c_str(), "%d %d %d %d %d %d %lf", &slot, &y, &mo, &d, &h, &mi, &sec) != 7) continue;
    GloBrdc b{};
    b.slot = slot;
    b.utcSow = navfiles::gpsSow(2000 + y, mo, d, h, mi, sec);
    ZRT_EPH_GLN& e = b.eph;
    e.slot = static_cast<std::uint8_t>(slot);
    e.tauN = -navfiles::num(l[0], 22);  // RINEX keeps -tauN
    e.gammaN = navfiles::num(l[0], 41);
    // tb is Moscow time: UTC + 3 h, of the day.
    e.tb = static_cast<std::uint32_t>(std::fmod(h * 3600 + mi * 60 + sec + 10800, 86400));
    for (int k = 0; k < 3; ++k) {
      e.pos[k] = navfiles::num(l[k + 1], 3);
      e.vel[k] = navfiles::num(l[k + 1], 22);
      e.acc[k] = static_cast<float>(navfiles::num(l[k + 1], 41));
    }
    e.health = static_cast<std::uint8_t>(static_cast<int>(navfiles::num(l[1], 60)));
    e.freqNum = static_cast<std::int8_t>(static_cast<int>(navfiles::num(l[2], 60)));
    e.En = static_cast<std::uint8_t>(static_cast<int>(navfiles::num(l[3], 60)));
    out.push_back(b);
  }
  return out;
}

struct Sp3R {
  double sow;
  int slot;
  double pos[3];
};

inline std::vector<Sp3R> readSp3Glo(const std::string& path) {
  std::ifstream in(path);
  std::string line;
  std::vector<Sp3R> out;
  double sow = -1;
  while (std::getline(in, line)) {
    if (line.rfind("* ", 0) == 0) {
      int y, mo, d, h, mi;
      double s;
      if (std::sscanf(line.c_str() + 2, "%d %d %d %d %d %lf", &y, &mo, &d, &h, &mi, &s) == 6)
        sow = navfiles::gpsSow(y, mo, d, h, mi, s);
    } else if (line.rfind("PR", 0) == 0 && sow >= 0) {
      Sp3R p{sow, std::stoi(line.substr(2, 2)), {}};
      for (int k = 0; k < 3; ++k) p.pos[k] = std::stod(line.substr(4 + 14 * k, 14)) * 1000.0;
      out.push_back(p);
    }
  }
  return out;
}

}  // namespace glofiles
