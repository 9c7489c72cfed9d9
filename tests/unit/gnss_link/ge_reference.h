// A GPS ephemeris of a public RINEX navigation file as a "GE" message body, and the satellite
// position from the RINEX values by IS-GPS-200 Table 20-IV, written here apart from the product's
// orbit code. Shared by the unit and the end-to-end tests.
#pragma once

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

namespace gegen {

inline std::string le(std::uint64_t v, int bytes) {
  std::string s;
  for (int i = 0; i < bytes; ++i) s += static_cast<char>((v >> (8 * i)) & 0xFF);
  return s;
}
inline std::string lef(float f) { return le(std::bit_cast<std::uint32_t>(f), 4); }

struct Rinex {
  int prn = 0;
  double v[32] = {};  // af0 af1 af2, then the seven broadcast orbit lines
};

inline bool firstRecord(Rinex& r) {
  std::ifstream in(std::string(RX_SHARED_DIR) + "/testdata/nav/brdc1820.10n");
  std::string line;
  while (std::getline(in, line) && line.find("END OF HEADER") == std::string::npos) {
  }
  std::string text;
  for (int i = 0; i < 8 && std::getline(in, line); ++i) text += line + "\n";
  for (char& c : text)
    if (c == 'D') c = 'E';
  if (text.size() < 80) return false;
  r.prn = std::stoi(text.substr(0, 2));
  const std::size_t firstVal = 22;
  for (int i = 0; i < 3; ++i) r.v[i] = std::stod(text.substr(firstVal + 19 * i, 19));
  std::istringstream rest(text.substr(text.find('\n') + 1));
  std::string l;
  int k = 3;
  while (std::getline(rest, l) && k < 32)
    for (int i = 0; i < 4 && k < 32; ++i, ++k) r.v[k] = std::stod(l.substr(4 + 19 * i, 19));
  return true;
}

inline void isgps200(const Rinex& r, double t, double out[3]) {
  const double mu = 3.986005e14, we = 7.2921151467e-5;
  const double* o = r.v + 3;  // IODE Crs dn M0 / Cuc e Cus sqrtA / toe Cic Omega0 Cis / i0 Crc omega OmegaDot / idot
  const double A = o[7] * o[7], n = std::sqrt(mu / (A * A * A)) + o[2], tk = t - o[8];
  const double M = o[3] + n * tk;
  double E = M;
  for (int i = 0; i < 30; ++i) E = M + o[5] * std::sin(E);
  const double nu = std::atan2(std::sqrt(1 - o[5] * o[5]) * std::sin(E), std::cos(E) - o[5]);
  const double phi = nu + o[14];
  const double u = phi + o[6] * std::sin(2 * phi) + o[4] * std::cos(2 * phi);
  const double rr = A * (1 - o[5] * std::cos(E)) + o[13] * std::cos(2 * phi) + o[1] * std::sin(2 * phi);
  const double i = o[12] + o[16] * tk + o[11] * std::sin(2 * phi) + o[9] * std::cos(2 * phi);
  const double x = rr * std::cos(u), y = rr * std::sin(u);
  const double Om = o[10] + (o[15] - we) * tk - we * o[8];
  out[0] = x * std::cos(Om) - y * std::cos(i) * std::sin(Om);
  out[1] = x * std::sin(Om) + y * std::cos(i) * std::cos(Om);
  out[2] = y * std::sin(i);
}

inline std::string geFromRinex(const Rinex& r) {
  const double* o = r.v + 3;
  const double sc = M_PI;
  auto d = [](double x) { return le(std::bit_cast<std::uint64_t>(x), 8); };
  std::string b;
  b += static_cast<char>(r.prn);
  b += le(static_cast<std::uint32_t>(o[24]), 4);            // time of reception
  b += '\0';                                                // flags
  b += le(static_cast<std::uint16_t>(o[23]), 2);            // IODC
  b += le(static_cast<std::uint32_t>(o[8]), 4);             // toc = toe for this record
  b += le(static_cast<std::uint16_t>(o[18]), 2);            // week
  b += '\0';                                                // URA
  b += '\0';                                                // health
  b += lef(static_cast<float>(o[22])) + lef(static_cast<float>(r.v[2])) + lef(static_cast<float>(r.v[1])) +
       lef(static_cast<float>(r.v[0]));
  b += le(static_cast<std::uint16_t>(o[0]), 2) + le(static_cast<std::uint32_t>(o[8]), 4);
  b += d(o[7]) + d(o[5]) + d(o[3] / sc) + d(o[10] / sc) + d(o[12] / sc) + d(o[14] / sc);
  for (double f : {o[2] / sc, o[15] / sc, o[16] / sc, o[13], o[1], o[4], o[6], o[9], o[11]})
    b += lef(static_cast<float>(f));
  return b;
}


// The orbit terms of a stored GPS ephemeris record (offsets of the native record, angles in
// semicircles) as RINEX values, for the same reference computation.
inline Rinex fromStored(const unsigned char* rec) {
  auto f64 = [&](int off) { double v; std::memcpy(&v, rec + off, 8); return v; };
  auto f32 = [&](int off) { float v; std::memcpy(&v, rec + off, 4); return double(v); };
  std::uint32_t toe;
  std::memcpy(&toe, rec + 44, 4);
  Rinex r;
  r.prn = rec[0];
  double* o = r.v + 3;
  const double sc = M_PI;
  o[1] = f32(112), o[2] = f32(96) * sc, o[3] = f64(64) * sc;
  o[4] = f32(116), o[5] = f64(56), o[6] = f32(120), o[7] = f64(48);
  o[8] = toe, o[9] = f32(124), o[10] = f64(72) * sc, o[11] = f32(128);
  o[12] = f64(80) * sc, o[13] = f32(108), o[14] = f64(88) * sc, o[15] = f32(100) * sc;
  o[16] = f32(104) * sc;
  return r;
}

}  // namespace gegen
