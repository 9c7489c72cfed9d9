// A RINEX 3 observation file as the coder's oracle tests read convbin's output: observation
// types per system, GLONASS frequency numbers and the epochs with their values and LLI flags.
#pragma once

#include <cstdio>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "rtcm3_test_util.h"

namespace rinexobs {

struct Obs {
  double value = 0;
  int lli = 0;
};
// One satellite of one epoch: observations by RINEX type (C1C, L2W, ...).
using SatObs = std::map<std::string, Obs>;
struct Epoch {
  int y, mo, d, h, mi;
  double s;
  std::map<std::string, SatObs> sats;  // "G05", "R14"
};
struct Rinex {
  std::map<char, std::vector<std::string>> types;
  std::map<int, int> gloFcn;  // slot -> frequency number
  std::vector<Epoch> epochs;
};

inline Rinex parseRinex(const std::string& path) {
  Rinex r;
  std::istringstream in(rtcm3test::run("cat '" + path + "'"));
  std::string line;
  char lastSys = 0;
  while (std::getline(in, line)) {
    const std::string label = line.size() > 60 ? line.substr(60) : "";
    if (label.starts_with("END OF HEADER")) break;
    if (label.starts_with("SYS / # / OBS TYPES")) {
      if (line[0] != ' ') lastSys = line[0];
      std::istringstream t(line.substr(7, 53));
      for (std::string ty; t >> ty;) r.types[lastSys].push_back(ty);
    }
    if (label.starts_with("GLONASS SLOT / FRQ #")) {
      const std::string body = line.substr(0, 60);
      static const std::regex e("R(\\d\\d) +(-?\\d+)");
      for (auto it = std::sregex_iterator(body.begin(), body.end(), e); it != std::sregex_iterator(); ++it)
        r.gloFcn[std::stoi((*it)[1])] = std::stoi((*it)[2]);
    }
  }
  while (std::getline(in, line)) {
    if (line.starts_with(">")) {
      Epoch e{};
      std::sscanf(line.c_str(), "> %d %d %d %d %d %lf", &e.y, &e.mo, &e.d, &e.h, &e.mi, &e.s);
      r.epochs.push_back(e);
      continue;
    }
    if (r.epochs.empty() || line.size() < 3) continue;
    const std::string sat = line.substr(0, 3);
    const std::vector<std::string>& types = r.types[sat[0]];
    SatObs& o = r.epochs.back().sats[sat];
    for (std::size_t k = 0; k < types.size(); ++k) {
      const std::size_t at = 3 + 16 * k;
      if (at >= line.size()) break;
      const std::string field = line.substr(at, 14);
      if (field.find_first_not_of(' ') == std::string::npos) continue;
      Obs v;
      v.value = std::stod(field);
      v.lli = at + 14 < line.size() && line[at + 14] != ' ' ? line[at + 14] - '0' : 0;
      o[types[k]] = v;
    }
  }
  return r;
}

// Days since 1970-01-01 of a civil date (Howard Hinnant's days_from_civil).
inline long daysFromCivil(int y, int m, int d) {
  y -= m <= 2;
  const long era = (y >= 0 ? y : y - 399) / 400;
  const long yoe = y - era * 400;
  const long doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

// The first of the observations of a band and kind ('C', 'L', 'S') that the satellite has.
inline const Obs* band(const SatObs& o, char kind, char b, std::string* type = nullptr) {
  for (const auto& [t, v] : o)
    if (t[0] == kind && t[1] == b && v.value != 0) {
      if (type != nullptr) *type = t;
      return &v;
    }
  return nullptr;
}

}  // namespace rinexobs
