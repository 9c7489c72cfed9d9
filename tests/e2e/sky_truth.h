// The board simulator's sky truth (--sky-truth), read apart from the simulator's code: one line
// per signal streamed (GPS second of week, satellite, slot, code m, phase cycles, Doppler Hz,
// C/N0 dB-Hz, elevation and azimuth in degrees, the ionosphere's delay in the code m), a GPS
// satellite by its PRN alone. One reader of a line and the views the tests take: every signal by
// epoch, satellite and slot; the signals of the last second by satellite with their geometry; and
// every second's GPS signals by PRN.
#pragma once

#include <array>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <tuple>

namespace e2e::truth {

struct Signal {
  double sow = 0, code = 0, phase = 0, doppler = 0, cn0 = 0, el = 0, az = 0, iono = 0;
};

// One line: its satellite as written, its slot and signal; false for a line without the first
// five fields (the rest are read where present).
inline bool readLine(const std::string& line, std::string& sat, int& slot, Signal& s) {
  std::istringstream f(line);
  s = Signal{};
  if (!(f >> s.sow >> sat >> slot >> s.code >> s.phase)) return false;
  f >> s.doppler >> s.cn0 >> s.el >> s.az >> s.iono;
  return true;
}

// A satellite as RINEX names it ("3" is G03).
inline std::string rinexName(const std::string& sat) {
  if (sat.empty() || !std::isdigit(static_cast<unsigned char>(sat[0]))) return sat;
  char b[8];
  std::snprintf(b, sizeof b, "G%02d", std::stoi(sat));
  return b;
}

// Every signal: (GPS ms of week, satellite as RINEX names it, slot) -> signal.
using BySignal = std::map<std::tuple<long, std::string, int>, Signal>;
inline BySignal bySignal(const std::string& text) {
  BySignal t;
  std::istringstream in(text);
  std::string sat;
  int slot = 0;
  Signal s;
  for (std::string line; std::getline(in, line);)
    if (readLine(line, sat, slot, s)) t[{std::lround(s.sow * 1000), rinexName(sat), slot}] = s;
  return t;
}

// The systems of the signals (RINEX letters).
inline std::set<char> systemsOf(const BySignal& t) {
  std::set<char> s;
  for (const auto& [k, v] : t) s.insert(std::get<1>(k)[0]);
  return s;
}

// The signals of slot `slot` in the file's last second, by satellite as written ("3" for GPS PRN
// 3, "C06").
inline std::map<std::string, Signal> lastSecond(const std::string& text, int slot = 0) {
  std::map<double, std::map<std::string, Signal>> bySecond;
  std::istringstream in(text);
  std::string sat;
  int k = -1;
  Signal s;
  for (std::string line; std::getline(in, line);)
    if (readLine(line, sat, k, s) && k == slot) bySecond[s.sow][sat] = s;
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
  std::string sat;
  int slot = 0;
  truth::Signal s;
  for (std::string line; std::getline(in, line);)
    if (truth::readLine(line, sat, slot, s) && std::isdigit(static_cast<unsigned char>(sat[0])))
      t[std::lround(s.sow)][std::stoi(sat)][slot] = {s.code, s.phase, s.doppler, s.cn0};
  return t;
}

}  // namespace e2e
