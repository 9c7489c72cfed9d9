// The test's own reader of CMR frames, apart from the program: STX, status, packet type (0x93
// CMR, 0x94 CMR+), length, data, checksum (the sum of status, type, length and data), ETX.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace e2e {

// The data of each valid frame of the packet type.
inline std::vector<std::string> cmrFrames(const std::string& s, unsigned char packet = 0x93) {
  std::vector<std::string> out;
  const auto* b = reinterpret_cast<const unsigned char*>(s.data());
  for (std::size_t i = 0; i + 6 <= s.size();) {
    const std::size_t len = b[i + 3];
    unsigned sum = 0;
    bool ok = b[i] == 0x02 && b[i + 2] == packet && i + 6 + len <= s.size();
    if (ok) {
      for (std::size_t k = 1; k < 4 + len; ++k) sum += b[i + k];
      ok = (sum & 0xFF) == b[i + 4 + len] && b[i + 5 + len] == 0x03;
    }
    if (!ok) {
      ++i;
      continue;
    }
    out.push_back(s.substr(i + 4, len));
    i += 6 + len;
  }
  return out;
}

// A frame's station id (the low 5 bits of the first data byte), message type (bits 7-5 of the
// second) and epoch time (18 bits of ms modulo 240000); -1 for data too short.
inline int cmrStation(const std::string& d) { return d.size() >= 6 ? static_cast<unsigned char>(d[0]) & 31 : -1; }
inline int cmrType(const std::string& d) { return d.size() >= 2 ? static_cast<unsigned char>(d[1]) >> 5 : -1; }
inline int cmrMs(const std::string& d) {
  if (d.size() < 6) return -1;
  const auto* u = reinterpret_cast<const unsigned char*>(d.data());
  return u[2] << 10 | u[3] << 2 | u[4] >> 6;
}

// A CMR type 1 record's coordinates: per axis 32 bits of 4 mm and 2 bits of 1 mm, then 14 bits
// of antenna offset.
inline bool cmrCoordinates(const std::string& d, double xyz[3]) {
  if (d.size() < 25) return false;
  std::uint64_t bits = 0;
  int have = 0;
  std::size_t at = 6;
  const auto take = [&](int n) {
    while (have < n) bits = bits << 8 | static_cast<unsigned char>(d[at++]), have += 8;
    const std::uint64_t v = (bits >> (have - n)) & ((1ull << n) - 1);
    have -= n;
    return v;
  };
  for (int k = 0; k < 3; ++k) {
    const std::uint64_t raw = take(34);
    const std::int64_t mm = raw >> 33 ? static_cast<std::int64_t>(raw) - (1ll << 34) : static_cast<std::int64_t>(raw);
    xyz[k] = static_cast<double>(mm) / 1000.0;
    take(14);
  }
  return true;
}

}  // namespace e2e
