// The simulator's reader of a RINEX 4 navigation file (".gz" read through gzip): the ephemeris
// records ("> EPH") of every system and message type, each value as listed (a blank field read
// as 0 and marked), with the epoch and the transmission time told in GPS seconds since
// 6 January 1980; the system time offsets ("> STO"), the ionosphere records ("> ION") and the
// header's leap seconds. RINEX 4.00 section 5 and its tables A31-A40 give each record's layout.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

namespace sim {

constexpr std::int64_t kGpsEpochUnix = 315964800;   // 1980-01-06 in seconds since 1970
constexpr std::int64_t kBdtGpsSec = 1356 * 604800 + 14;  // GPS time of BDT week 0, second 0
constexpr std::int64_t kWeek = 604800;
constexpr std::int64_t kUtcGpsLeap = 18;  // valid from 2017 on

struct Rnx4Eph {
  char sys = 0;       // G R E C J I
  int prn = 0;
  std::string type;   // LNAV CNAV CNV1 CNV2 FDMA INAV FNAV D1 D2
  int year = 0, month = 0, day = 0, hour = 0, minute = 0;
  double second = 0;
  std::vector<double> v;      // the three clock values, then four a line
  std::vector<bool> blank;
  std::int64_t epochGps = 0;  // the epoch (toc; GLONASS tb) in GPS seconds
  std::int64_t txGps = 0;     // the transmission time in GPS seconds

  double at(std::size_t i) const { return i < v.size() ? v[i] : 0.0; }
  // Seconds of the civil epoch within its own day and week (the system's time scale).
  int secOfDay() const { return hour * 3600 + minute * 60 + static_cast<int>(second); }
};

// GPS seconds of a civil date read in a scale without leap seconds (GPS, Galileo, NavIC, QZSS).
inline std::int64_t civilSeconds(int y, int mo, int d, int h, int mi, double s) {
  std::tm tm{};
  tm.tm_year = y - 1900;
  tm.tm_mon = mo - 1;
  tm.tm_mday = d;
  tm.tm_hour = h;
  tm.tm_min = mi;
  return static_cast<std::int64_t>(timegm(&tm)) - kGpsEpochUnix + static_cast<std::int64_t>(s);
}

// The instant congruent to `sow` within weeks that start at GPS second `weekZero` (mod a week)
// nearest to GPS second `near`.
inline std::int64_t nearestInWeek(std::int64_t near, double sow, std::int64_t weekZero) {
  const std::int64_t x = weekZero + static_cast<std::int64_t>(std::llround(sow));
  const std::int64_t d = near - x;
  const std::int64_t k = d >= 0 ? (d + kWeek / 2) / kWeek : -((kWeek / 2 - d) / kWeek);
  return x + k * kWeek;
}

namespace rnx4 {

inline double field(const std::string& s, std::size_t at, bool& blank) {
  blank = true;
  if (s.size() <= at) return 0;
  std::string f = s.substr(at, 19);
  for (char& c : f) {
    if (c == 'D' || c == 'd') c = 'E';
    if (c != ' ' && c != '\n' && c != '\r') blank = false;
  }
  return blank ? 0.0 : std::strtod(f.c_str(), nullptr);
}

// Orbit lines of each record type (RINEX 4.00 tables A31-A40).
inline int orbitLines(char sys, const std::string& type) {
  if (sys == 'R') return 4;
  if (type == "CNAV") return 8;
  if (type == "CNV1" || type == "CNV2") return 9;
  return 7;
}

// Index (into v) of the transmission time, and the scale its week counts in.
inline void txField(const Rnx4Eph& r, std::size_t& at, std::int64_t& weekZero) {
  weekZero = 0;
  at = 27;
  if (r.type == "CNAV") at = 31;
  if (r.type == "CNV1" || r.type == "CNV2") at = 35;
  if (r.sys == 'C') weekZero = kBdtGpsSec;
  if (r.sys == 'R') {
    at = 2;                                                       // tk + nd x 86400, s of the UTC week
    weekZero = kUtcGpsLeap;                                       // a UTC week starts 18 s into GPS's
  }
}

}  // namespace rnx4

// A system time offset: its code (GAUT, GAGP, GLUT, GLGP, ...), the reference epoch in the
// system's own scale (GPS seconds as if the scale were GPS time), the transmission time and the
// polynomial.
struct Rnx4Sto {
  char sys = 0;
  std::string code;
  std::int64_t epoch = 0;
  double ttm = 0, a0 = 0, a1 = 0, a2 = 0;
};
// An ionosphere record: the values after its epoch, as listed.
struct Rnx4Ion {
  char sys = 0;
  std::string type;
  std::vector<double> v;
};
struct Rnx4Nav {
  std::vector<Rnx4Eph> eph;
  std::vector<Rnx4Sto> sto;
  std::vector<Rnx4Ion> ion;
  int leap = 18, leapF = 18, wnLsf = 1929, dn = 7;  // header LEAP SECONDS
  const Rnx4Sto* stoOf(char sys, const char* code) const {
    for (const Rnx4Sto& s : sto)
      if (s.sys == sys && s.code == code) return &s;
    return nullptr;
  }
  const Rnx4Ion* ionOf(char sys, const char* type) const {
    for (const Rnx4Ion& i : ion)
      if (i.sys == sys && i.type == type) return &i;
    return nullptr;
  }
};

// Every record of the file; no ephemeris when it cannot be read.
inline Rnx4Nav readRinex4Nav(const std::string& path) {
  Rnx4Nav nav;
  std::vector<Rnx4Eph>& out = nav.eph;
  const bool gz = path.size() > 3 && path.compare(path.size() - 3, 3, ".gz") == 0;
  std::FILE* f = gz ? popen(("exec gzip -dc '" + path + "' 2>/dev/null").c_str(), "r") : std::fopen(path.c_str(), "r");
  if (f == nullptr) return nav;
  std::vector<std::string> lines;
  char buf[512];
  while (std::fgets(buf, sizeof buf, f)) lines.emplace_back(buf);
  if (gz) pclose(f);
  else std::fclose(f);
  if (lines.empty() || lines[0].size() < 9 || lines[0].compare(5, 1, "4") != 0) return nav;
  std::size_t i = 0;
  for (; i < lines.size() && lines[i].find("END OF HEADER") == std::string::npos; ++i)
    if (lines[i].find("LEAP SECONDS") != std::string::npos)
      std::sscanf(lines[i].c_str(), "%d %d %d %d", &nav.leap, &nav.leapF, &nav.wnLsf, &nav.dn);
  for (++i; i < lines.size(); ++i) {
    const std::string& h = lines[i];
    bool blank = false;
    if (h.rfind("> STO ", 0) == 0 && i + 2 < lines.size()) {
      Rnx4Sto s;
      s.sys = h[6];
      int y = 0, mo = 0, d = 0, hh = 0, mi = 0, ss = 0;
      char code[8] = {};
      if (std::sscanf(lines[i + 1].c_str(), "%d %d %d %d %d %d %7s", &y, &mo, &d, &hh, &mi, &ss, code) == 7) {
        s.code = code;
        s.epoch = civilSeconds(y, mo, d, hh, mi, ss);
        s.ttm = rnx4::field(lines[i + 2], 4, blank), s.a0 = rnx4::field(lines[i + 2], 23, blank);
        s.a1 = rnx4::field(lines[i + 2], 42, blank), s.a2 = rnx4::field(lines[i + 2], 61, blank);
        nav.sto.push_back(s);
      }
      i += 2;
      continue;
    }
    if (h.rfind("> ION ", 0) == 0 && i + 1 < lines.size()) {
      Rnx4Ion r;
      r.sys = h[6];
      r.type = h.substr(10, 4);
      while (!r.type.empty() && r.type.back() == ' ') r.type.pop_back();
      for (std::size_t k = 0; k < 3; ++k) r.v.push_back(rnx4::field(lines[i + 1], 23 + 19 * k, blank));
      for (std::size_t l = i + 2; l < lines.size() && lines[l].rfind(">", 0) != 0; ++l)
        for (std::size_t k = 0; k < 4; ++k) {
          const double x = rnx4::field(lines[l], 4 + 19 * k, blank);
          if (!blank) r.v.push_back(x);
        }
      nav.ion.push_back(r);
      continue;
    }
    if (h.rfind("> EPH ", 0) != 0 || h.size() < 13) continue;
    Rnx4Eph r;
    r.sys = h[6];
    r.type = h.substr(10);
    while (!r.type.empty() && (r.type.back() == ' ' || r.type.back() == '\n' || r.type.back() == '\r')) r.type.pop_back();
    const int n = rnx4::orbitLines(r.sys, r.type);
    if (i + 1 + static_cast<std::size_t>(n) >= lines.size()) break;
    const std::string& l0 = lines[i + 1];
    if (l0.size() < 23 ||
        std::sscanf(l0.c_str() + 1, "%d %d %d %d %d %d %lf", &r.prn, &r.year, &r.month, &r.day, &r.hour, &r.minute,
                    &r.second) != 7) {
      continue;
    }
    for (int k = 0; k < 3; ++k) {
      r.v.push_back(rnx4::field(l0, 23 + 19 * static_cast<std::size_t>(k), blank));
      r.blank.push_back(blank);
    }
    for (int l = 1; l <= n; ++l)
      for (std::size_t k = 0; k < 4; ++k) {
        r.v.push_back(rnx4::field(lines[i + 1 + static_cast<std::size_t>(l)], 4 + 19 * k, blank));
        r.blank.push_back(blank);
      }
    i += 1 + static_cast<std::size_t>(n);
    const std::int64_t civil = civilSeconds(r.year, r.month, r.day, r.hour, r.minute, r.second);
    r.epochGps = r.sys == 'C' ? civil + 14 : r.sys == 'R' ? civil + kUtcGpsLeap : civil;
    std::size_t at = 0;
    std::int64_t weekZero = 0;
    rnx4::txField(r, at, weekZero);
    r.txGps = nearestInWeek(r.epochGps, r.at(at), weekZero);
    out.push_back(r);
  }
  return nav;
}

}  // namespace sim
