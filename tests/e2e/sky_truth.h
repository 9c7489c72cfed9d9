// The board simulator's sky truth (--sky-truth) as the test reads it, apart from the program:
// per line the GPS second of week, the satellite (a GPS satellite by its PRN alone), the signal
// slot, its code (m), carrier (cycles), Doppler (Hz) and C/N0 (dB-Hz). Lines of other satellites
// are left out.
#pragma once

#include <cmath>
#include <cstdio>
#include <map>
#include <sstream>
#include <string>

namespace e2e {

struct SkySignal {
  double code, phase, doppler, cn0;
};
// GPS second of week -> PRN -> slot -> signal.
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
