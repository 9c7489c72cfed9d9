// convbin's RINEX 3 observations of testglo.rtcm3 (GPS and GLONASS), the truth both CMR oracle
// tests compare with: per epoch the GPS time of week and each satellite's C1, L1, C2, L2.
#pragma once

#include <cmath>
#include <cstdio>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "../rtcm3_test_util.h"

namespace cmrtest {

struct RinexObs {
  char sys;
  int prn;
  double v[4];  // C1, L1 (cycles), C2, L2 (cycles); 0 absent
};
struct RinexEpoch {
  long towMs;  // GPS ms of week
  std::vector<RinexObs> sats;
};
struct Rinex {
  std::vector<RinexEpoch> epochs;
  std::map<int, int> gloChannel;  // slot -> k
  double xyz[3] = {0, 0, 0};
};

inline double rinexField(const std::string& l, int k) {
  const std::size_t at = 3 + 16 * static_cast<std::size_t>(k);
  if (l.size() < at + 14) return 0.0;
  const std::string s = l.substr(at, 14);
  return s.find_first_not_of(' ') == std::string::npos ? 0.0 : std::stod(s);
}

inline Rinex convbinTestglo() {
  Rinex r;
  const std::string text = rtcm3test::run(
      "d=$(mktemp -d) && cd $d && convbin -r rtcm3 -tr 2009/12/25 20:00:00 -v 3.04 -o t.obs '" +
      rtcm3test::recording("testglo.rtcm3") + "' >/dev/null 2>&1 && cat t.obs; rm -rf $d");
  std::istringstream in(text);
  bool body = false;
  for (std::string l; std::getline(in, l);) {
    if (!body) {
      if (l.find("APPROX POSITION XYZ") != std::string::npos) std::sscanf(l.c_str(), "%lf %lf %lf", &r.xyz[0], &r.xyz[1], &r.xyz[2]);
      if (l.find("GLONASS SLOT / FRQ #") != std::string::npos) {
        std::istringstream g(l.substr(4, 56));
        for (std::string sl; g >> sl;) {
          int k = 0;
          g >> k;
          r.gloChannel[std::stoi(sl.substr(1))] = k;
        }
      }
      body = l.find("END OF HEADER") != std::string::npos;
      continue;
    }
    if (l[0] == '>') {
      int y, mo, d, h, mi;
      double s;
      std::sscanf(l.c_str() + 2, "%d %d %d %d %d %lf", &y, &mo, &d, &h, &mi, &s);
      // 2009-12-25 is a Friday: day 5 of the GPS week.
      r.epochs.push_back(RinexEpoch{((5L * 24 + h) * 3600 + mi * 60) * 1000 + std::lround(s * 1000), {}});
      continue;
    }
    if (r.epochs.empty() || (l[0] != 'G' && l[0] != 'R')) continue;
    r.epochs.back().sats.push_back(
        {l[0], std::stoi(l.substr(1, 2)), {rinexField(l, 0), rinexField(l, 1), rinexField(l, 2), rinexField(l, 3)}});
  }
  return r;
}

}  // namespace cmrtest
