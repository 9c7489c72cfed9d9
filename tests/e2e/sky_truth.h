// The board simulator's sky truth (--sky-truth), read apart from the simulator's code: one line
// per signal streamed (GPS second of week, satellite, slot, code m, phase cycles, Doppler Hz,
// C/N0 dB-Hz, elevation and azimuth in degrees, the ionosphere's delay in the code m). Two readers:
// the signals of the last second by satellite name with their geometry, and every second's GPS
// signals by PRN.
#pragma once

#include <array>
#include <cmath>
#include <cstdio>
#include <map>
#include <sstream>
#include <string>

namespace e2e::truth {

struct Signal {
  double sow = 0, code = 0, phase = 0, doppler = 0, cn0 = 0, el = 0, az = 0, iono = 0;
};

// The signals of slot `slot` in the file's last second, by satellite ("3" for GPS PRN 3, "C06").
inline std::map<std::string, Signal> lastSecond(const std::string& text, int slot = 0) {
  std::map<double, std::map<std::string, Signal>> bySecond;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    std::istringstream f(line);
    Signal s;
    std::string sat;
    int k = -1;
    if (f >> s.sow >> sat >> k >> s.code >> s.phase >> s.doppler >> s.cn0 >> s.el >> s.az >> s.iono && k == slot)
      bySecond[s.sow][sat] = s;
  }
  return bySecond.empty() ? std::map<std::string, Signal>{} : bySecond.rbegin()->second;
}

// The unit vector from a site (degrees) towards a satellite of that elevation and azimuth,
// Earth-centred.
inline std::array<double, 3> lineOfSight(const Signal& s, double latDeg, double lonDeg) {
  const double d = M_PI / 180, b = latDeg * d, l = lonDeg * d, e = s.el * d, a = s.az * d;
  const double east[3] = {-std::sin(l), std::cos(l), 0};
  const double north[3] = {-std::sin(b) * std::cos(l), -std::sin(b) * std::sin(l), std::cos(b)};
  const double up[3] = {std::cos(b) * std::cos(l), std::cos(b) * std::sin(l), std::sin(b)};
  std::array<double, 3> v{};
  for (int k = 0; k < 3; ++k)
    v[k] = std::cos(e) * std::sin(a) * east[k] + std::cos(e) * std::cos(a) * north[k] + std::sin(e) * up[k];
  return v;
}

}  // namespace e2e::truth

namespace e2e {

// Every second of the file: GPS second of week -> PRN -> slot -> signal (a GPS satellite by its
// PRN alone; lines of other satellites are left out).
struct SkySignal {
  double code, phase, doppler, cn0;
};
using SkyTruth = std::map<long, std::map<int, std::map<int, SkySignal>>>;

inline SkyTruth readSkyTruth(const std::string& text) {
  SkyTruth t;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    double sow = 0;
    int prn = 0, slot = 0;
    SkySignal s{};
    if (std::sscanf(line.c_str(), "%lf %d %d %lf %lf %lf %lf", &sow, &prn, &slot, &s.code, &s.phase, &s.doppler,
                    &s.cn0) == 7)
      t[std::lround(sow)][prn][slot] = s;
  }
  return t;
}

}  // namespace e2e
