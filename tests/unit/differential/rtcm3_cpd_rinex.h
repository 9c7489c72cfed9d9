// convbin's RINEX 3 output read back for the RTCM 3 base-decoder tests: the observation epochs
// with their header facts, and an orbit oracle from the navigation file (GPS from the Keplerian
// elements of IS-GPS-200 Table 20-IV, GLONASS by integrating the broadcast state vector with the
// PZ-90 equations of the GLONASS ICD A.3.1.2), accurate to metres, far below the hundreds of
// kilometres a light-millisecond spans.
#pragma once

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "differential/base/cpd_utils.h"

namespace rtcm3cpdtest {

struct RnxHeader {
  std::map<char, std::vector<std::string>> types;
  std::map<int, int> gloChannel;  // slot -> frequency channel
  double pos[3] = {};
  std::string rcvSerial, rcvType, rcvVersion, antType;
};
struct RnxEpoch {
  long towMs = 0;
  std::map<std::string, std::map<std::string, double>> obs;  // "G03" -> "C1C" -> value
};

inline std::string trim(std::string s) {
  const auto b = s.find_first_not_of(' ');
  if (b == std::string::npos) return "";
  return s.substr(b, s.find_last_not_of(' ') - b + 1);
}

// Days from 1980-01-06 (the GPS epoch) of a civil date.
inline long gpsDays(int y, int m, int d) {
  const auto days = [](int yy, int mm, int dd) {
    yy -= mm <= 2;
    const long era = (yy >= 0 ? yy : yy - 399) / 400;
    const long yoe = yy - era * 400;
    const long doy = (153 * (mm + (mm > 2 ? -3 : 9)) + 2) / 5 + dd - 1;
    return era * 146097 + yoe * 365 + yoe / 4 - yoe / 100 + doy;
  };
  return days(y, m, d) - days(1980, 1, 6);
}
inline double towOf(int y, int mo, int d, int h, int mi, double s) {
  return static_cast<double>(gpsDays(y, mo, d) % 7) * 86400.0 + h * 3600.0 + mi * 60.0 + s;
}

inline bool readRinexObs(const std::string& path, RnxHeader& hdr, std::vector<RnxEpoch>& epochs) {
  std::ifstream f(path);
  if (!f) return false;
  std::string l;
  char lastSys = 0;
  while (std::getline(f, l)) {
    const std::string label = l.size() > 60 ? trim(l.substr(60)) : "";
    if (label == "END OF HEADER") break;
    if (label == "SYS / # / OBS TYPES") {
      if (l[0] != ' ') lastSys = l[0];
      std::istringstream in(l.substr(7, 53));
      for (std::string t; in >> t;) hdr.types[lastSys].push_back(t);
    } else if (label == "GLONASS SLOT / FRQ #") {
      std::istringstream in(l.substr(4, 56));
      for (std::string s; in >> s;) {
        int ch = 0;
        in >> ch;
        hdr.gloChannel[std::atoi(s.c_str() + 1)] = ch;
      }
    } else if (label == "APPROX POSITION XYZ") {
      std::istringstream in(l.substr(0, 60));
      in >> hdr.pos[0] >> hdr.pos[1] >> hdr.pos[2];
    } else if (label == "REC # / TYPE / VERS") {
      hdr.rcvSerial = trim(l.substr(0, 20));
      hdr.rcvType = trim(l.substr(20, 20));
      hdr.rcvVersion = trim(l.substr(40, 20));
    } else if (label == "ANT # / TYPE") {
      hdr.antType = trim(l.substr(20, 20));
    }
  }
  while (std::getline(f, l)) {
    if (l.empty() || l[0] != '>') continue;
    int y, mo, d, h, mi, flag, n;
    double s;
    std::istringstream in(l.substr(1));
    in >> y >> mo >> d >> h >> mi >> s >> flag >> n;
    RnxEpoch e;
    e.towMs = std::lround(towOf(y, mo, d, h, mi, s) * 1000.0);
    for (int k = 0; k < n && std::getline(f, l); ++k) {
      const std::string sat = l.substr(0, 3);
      const auto& types = hdr.types[sat[0]];
      for (std::size_t t = 0; t < types.size(); ++t) {
        const std::size_t at = 3 + 16 * t;
        if (at + 14 > l.size()) break;
        const std::string v = trim(l.substr(at, 14));
        if (!v.empty()) e.obs[sat][types[t]] = std::strtod(v.c_str(), nullptr);
      }
    }
    epochs.push_back(e);
  }
  return true;
}

// Broadcast orbits of convbin's navigation file.
class RinexOrbits : public CpdUtils {
 public:
  struct Gps {
    double toc, v[29];
  };
  struct Glo {
    double tb;  // GLONASS time of day, s
    double v[15];
  };

  bool read(const std::string& path, const std::map<int, int>& gloChannel) {
    std::ifstream f(path);
    if (!f) return false;
    std::string l;
    while (std::getline(f, l) && l.find("END OF HEADER") == std::string::npos) {
    }
    const auto num = [](const std::string& s, std::size_t at) {
      std::string t = s.size() > at ? s.substr(at, 19) : "";
      for (char& c : t)
        if (c == 'D' || c == 'd') c = 'E';
      return std::strtod(t.c_str(), nullptr);
    };
    while (std::getline(f, l)) {
      if (l.size() < 23 || (l[0] != 'G' && l[0] != 'R')) continue;
      const int prn = std::atoi(l.substr(1, 2).c_str());
      int y, mo, d, h, mi;
      double s;
      std::istringstream in(l.substr(4, 19));
      in >> y >> mo >> d >> h >> mi >> s;
      std::vector<double> v = {num(l, 23), num(l, 42), num(l, 61)};
      const int more = l[0] == 'G' ? 7 : 3;
      for (int k = 0; k < more && std::getline(f, l); ++k)
        for (int j = 0; j < 4; ++j) v.push_back(num(l, 4 + 19 * j));
      if (more == 7) {
        Gps g{towOf(y, mo, d, h, mi, s), {}};
        for (int k = 0; k < 29 && k < static_cast<int>(v.size()); ++k) g.v[k] = v[k];
        gps_[prn].push_back(g);
      } else {
        // The epoch is UTC; GLONASS time runs 3 h ahead.
        Glo g{std::fmod(h * 3600.0 + mi * 60.0 + s + 10800.0, 86400.0), {}};
        for (int k = 0; k < 15 && k < static_cast<int>(v.size()); ++k) g.v[k] = v[k];
        for (const auto& [slot, ch] : gloChannel)
          if (slot == prn) glo_[ch].push_back(g);
      }
    }
    return !gps_.empty();
  }

  int svPos(const CpdSv& sv, double t, bool, CpdCPos& pos, CpdCVel& vel, double& clk, int) override {
    double p0[3], p1[3], p[3], c;
    if (!state(sv, t - 0.5, p0, c) || !state(sv, t + 0.5, p1, c) || !state(sv, t, p, clk)) return kNoData;
    pos = CpdCPos{p[0], p[1], p[2]};
    vel = CpdCVel{p1[0] - p0[0], p1[1] - p0[1], p1[2] - p0[2]};
    return kOk;
  }
  int getTimeCor(const CpdSv& sv, double t, int, double& corr) override {
    double p[3];
    return state(sv, t, p, corr) ? kOk : kNoData;
  }
  int getIssue(const CpdSv&, int&, int&, double) override { return kNoData; }
  CpdGPos xyz2geo(const CpdCPos&) override { return {}; }

 private:
  static double fold(double d, double half) {
    while (d > half) d -= 2 * half;
    while (d < -half) d += 2 * half;
    return d;
  }

  // Position (m, ECEF; laid out as three doubles) and clock (s) at t.
  bool state(const CpdSv& sv, double t, double* p, double& clk) const {
    if (sv.sys == CpdSv::kGps) {
      auto it = gps_.find(sv.num);
      if (it == gps_.end()) return false;
      const Gps* best = nullptr;
      for (const Gps& g : it->second)
        if (best == nullptr || std::fabs(fold(t - g.v[11], 302400)) < std::fabs(fold(t - best->v[11], 302400))) best = &g;
      gpsState(*best, t, p, clk);
      return true;
    }
    if (sv.sys == CpdSv::kGlonass) {
      auto it = glo_.find(sv.num);
      if (it == glo_.end()) return false;
      const Glo* best = nullptr;
      for (const Glo& g : it->second)
        if (best == nullptr || std::fabs(fold(t - g.tb, 43200)) < std::fabs(fold(t - best->tb, 43200))) best = &g;
      gloState(*best, t, p, clk);
      return true;
    }
    return false;
  }

  // IS-GPS-200 Table 20-IV; v[] in RINEX order from af0.
  static void gpsState(const Gps& g, double t, double* p, double& clk) {
    const double mu = 3.986005e14, we = 7.2921151467e-5;
    const double* v = g.v;
    const double crs = v[4], dn = v[5], m0 = v[6], cuc = v[7], e = v[8], cus = v[9], sqrtA = v[10];
    const double toe = v[11], cic = v[12], o0 = v[13], cis = v[14], i0 = v[15], crc = v[16], w = v[17];
    const double od = v[18], idot = v[19];
    const double A = sqrtA * sqrtA;
    const double tk = fold(t - toe, 302400);
    const double n = std::sqrt(mu / (A * A * A)) + dn;
    const double M = m0 + n * tk;
    double E = M;
    for (int k = 0; k < 30; ++k) E = M + e * std::sin(E);
    const double nu = std::atan2(std::sqrt(1 - e * e) * std::sin(E), std::cos(E) - e);
    const double phi = nu + w;
    const double u = phi + cus * std::sin(2 * phi) + cuc * std::cos(2 * phi);
    const double r = A * (1 - e * std::cos(E)) + crs * std::sin(2 * phi) + crc * std::cos(2 * phi);
    const double i = i0 + cis * std::sin(2 * phi) + cic * std::cos(2 * phi) + idot * tk;
    const double x = r * std::cos(u), y = r * std::sin(u);
    const double om = o0 + (od - we) * tk - we * toe;
    p[0] = x * std::cos(om) - y * std::cos(i) * std::sin(om);
    p[1] = x * std::sin(om) + y * std::cos(i) * std::cos(om);
    p[2] = y * std::sin(i);
    const double dt = fold(t - g.toc, 302400);
    clk = v[0] + v[1] * dt + v[2] * dt * dt;
  }

  // GLONASS ICD A.3.1.2: the state at tb integrated with fourth-order Runge-Kutta, 30 s steps.
  static void gloState(const Glo& g, double t, double* p, double& clk) {
    const double* v = g.v;
    double x[6] = {v[3] * 1e3, v[7] * 1e3, v[11] * 1e3, v[4] * 1e3, v[8] * 1e3, v[12] * 1e3};
    const double acc[3] = {v[5] * 1e3, v[9] * 1e3, v[13] * 1e3};
    const auto deriv = [&](const double* s, double* d) {
      const double mu = 398600.4418e9, ae = 6378136.0, j2 = 1082625.75e-9, we = 7.292115e-5;
      const double r2 = s[0] * s[0] + s[1] * s[1] + s[2] * s[2], r = std::sqrt(r2), r3 = r2 * r;
      const double a = 1.5 * j2 * mu * ae * ae / (r3 * r2), z2 = 5 * s[2] * s[2] / r2;
      d[0] = s[3], d[1] = s[4], d[2] = s[5];
      d[3] = -mu / r3 * s[0] - a * s[0] * (1 - z2) + we * we * s[0] + 2 * we * s[4] + acc[0];
      d[4] = -mu / r3 * s[1] - a * s[1] * (1 - z2) + we * we * s[1] - 2 * we * s[3] + acc[1];
      d[5] = -mu / r3 * s[2] - a * s[2] * (3 - z2) + acc[2];
    };
    const double span = fold(t - g.tb, 43200);
    const int steps = static_cast<int>(std::ceil(std::fabs(span) / 30.0));
    const double h = steps > 0 ? span / steps : 0.0;
    for (int k = 0; k < steps; ++k) {
      double k1[6], k2[6], k3[6], k4[6], s[6];
      deriv(x, k1);
      for (int j = 0; j < 6; ++j) s[j] = x[j] + h / 2 * k1[j];
      deriv(s, k2);
      for (int j = 0; j < 6; ++j) s[j] = x[j] + h / 2 * k2[j];
      deriv(s, k3);
      for (int j = 0; j < 6; ++j) s[j] = x[j] + h * k3[j];
      deriv(s, k4);
      for (int j = 0; j < 6; ++j) x[j] += h / 6 * (k1[j] + 2 * k2[j] + 2 * k3[j] + k4[j]);
    }
    p[0] = x[0], p[1] = x[1], p[2] = x[2];
    // RINEX keeps -tauN and +gammaN.
    clk = v[0] + v[1] * span;
  }

  std::map<int, std::vector<Gps>> gps_;
  std::map<int, std::vector<Glo>> glo_;  // by frequency channel
};

}  // namespace rtcm3cpdtest
