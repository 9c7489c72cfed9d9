// The simulator's bit writer for broadcast navigation messages: fields MSB first at 1-based bit
// positions, two's complement or sign-and-magnitude, read out as 32-bit words or bytes; and the
// CRC-24Q the GPS CNAV, Galileo and BeiDou B-CNAV messages carry (generator 0x1864CFB, RTCA
// DO-229 A.4.4.10.4 / IS-GPS-200 30.3.5), written bit by bit from its definition.
#pragma once

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

namespace sim {

class Bits {
 public:
  explicit Bits(int n) : b_(static_cast<std::size_t>(n), 0) {}
  int size() const { return static_cast<int>(b_.size()); }

  // The low n bits of v (two's complement for a negative v) at bits `bit`..`bit + n - 1`.
  void put(int bit, int n, std::int64_t v) {
    const auto u = static_cast<std::uint64_t>(v);
    for (int i = 0; i < n; ++i) set(bit + i, ((u >> (n - 1 - i)) & 1u) != 0);
  }
  // Sign and magnitude: the top bit the sign, the rest |v| (GLONASS fields).
  void putSm(int bit, int n, std::int64_t v) {
    put(bit, 1, v < 0 ? 1 : 0);
    put(bit + 1, n - 1, v < 0 ? -v : v);
  }
  std::uint64_t get(int bit, int n) const {
    std::uint64_t v = 0;
    for (int i = 0; i < n; ++i) v = (v << 1) | (at(bit + i) ? 1u : 0u);
    return v;
  }
  bool at(int bit) const { return bit >= 1 && bit <= size() && b_[static_cast<std::size_t>(bit - 1)] != 0; }
  void set(int bit, bool v) {
    if (bit >= 1 && bit <= size()) b_[static_cast<std::size_t>(bit - 1)] = v ? 1 : 0;
  }
  void flip(int bit) { set(bit, !at(bit)); }

  // Bits 1.. packed MSB first into `words` 32-bit words (zeros past the end).
  std::vector<std::uint32_t> words(int count) const {
    std::vector<std::uint32_t> w(static_cast<std::size_t>(count), 0);
    for (int i = 0; i < count * 32 && i < size(); ++i)
      if (at(i + 1)) w[static_cast<std::size_t>(i / 32)] |= 0x80000000u >> (i % 32);
    return w;
  }
  // Bits 1.. packed MSB first into `count` bytes.
  std::string bytes(int count) const {
    std::string s(static_cast<std::size_t>(count), '\0');
    for (int i = 0; i < count * 8 && i < size(); ++i)
      if (at(i + 1)) s[static_cast<std::size_t>(i / 8)] = static_cast<char>(s[static_cast<std::size_t>(i / 8)] | (0x80 >> (i % 8)));
    return s;
  }

  // CRC-24Q of bits `from`..`from + n - 1`.
  std::uint32_t crc24q(int from, int n) const {
    std::uint32_t c = 0;
    for (int i = 0; i < n; ++i) {
      const bool top = ((c >> 23) & 1u) != (at(from + i) ? 1u : 0u);
      c = (c << 1) & 0xFFFFFFu;
      if (top) c ^= 0x864CFBu;
    }
    return c;
  }

 private:
  std::vector<std::uint8_t> b_;
};

// v / 2^-pow2 rounded to the nearest integer: a broadcast field from its value.
inline std::int64_t scaled(double v, int pow2) { return std::llround(std::ldexp(v, pow2)); }

constexpr double kIcdPi = 3.1415926535898;  // the value the GNSS ICDs fix for semicircles
inline double semi(double rad) { return rad / kIcdPi; }

}  // namespace sim
