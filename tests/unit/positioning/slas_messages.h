// QZSS L1S message builder for the SLAS tests: 250-bit messages in 32 bytes, preamble first, the
// message type at bits 9..14 and data position 1 at message bit 15 (IS-QZSS-L1S, 4.1.2). Written
// here, apart from the decoder's own field reader.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

namespace slastest {

using Msg = std::array<std::uint8_t, 32>;

inline void put(Msg& m, int pos, int bits, std::int64_t value) {
  const std::uint64_t v = static_cast<std::uint64_t>(value);
  for (int i = 0; i < bits; ++i) {
    const int bit = pos - 1 + 14 + i;
    const std::uint8_t mask = static_cast<std::uint8_t>(0x80u >> (bit % 8));
    if (((v >> (bits - 1 - i)) & 1u) != 0) m[bit / 8] |= mask;
    else m[bit / 8] &= static_cast<std::uint8_t>(~mask);
  }
}

inline Msg header(int type) {
  Msg m{};
  m[0] = 0x53;
  m[1] = static_cast<std::uint8_t>(type << 2);
  return m;
}

struct StationCodes {
  int code, lat, lon, height;  // lat, lon in 0.005 deg (lon east of 115 deg), height in 50 m above -100 m
};
inline Msg mt47(const std::vector<StationCodes>& s) {
  Msg m = header(47);
  for (int i = 0; i < 5; ++i) put(m, 1 + 42 * i, 6, 63);  // empty entries: code 63
  for (std::size_t i = 0; i < s.size() && i < 5; ++i) {
    const int o = 1 + 42 * static_cast<int>(i);
    put(m, o, 6, s[i].code);
    put(m, o + 6, 15, s[i].lat);
    put(m, o + 21, 15, s[i].lon);
    put(m, o + 36, 6, s[i].height);
  }
  return m;
}

// Mask bits by field: GPS 3 (32), QZSS 67 (9), GLONASS 76 (32), Galileo 112 (36), BeiDou 148 (36).
struct MaskBits {
  std::vector<int> gps, qzss, glo, gal, bds;  // 1-based satellite numbers within the system
};
inline Msg mt48(int mask, const MaskBits& b) {
  Msg m = header(48);
  put(m, 1, 2, mask);
  for (int n : b.gps) put(m, 3 + n - 1, 1, 1);
  for (int n : b.qzss) put(m, 67 + n - 1, 1, 1);
  for (int n : b.glo) put(m, 76 + n - 1, 1, 1);
  for (int n : b.gal) put(m, 112 + n - 1, 1, 1);
  for (int n : b.bds) put(m, 148 + n - 1, 1, 1);
  return m;
}

inline std::int64_t slotBits(const std::vector<int>& slots) {
  std::int64_t v = 0;
  for (int k : slots) v |= std::int64_t{1} << (22 - k);
  return v;
}

// IODs follow one after the other for the slots of the set, in slot order.
inline Msg mt49(int set, int mask, const std::vector<int>& slots, const std::vector<int>& iods) {
  Msg m = header(49);
  put(m, 1, 2, set);
  put(m, 3, 23, slotBits(slots));
  for (std::size_t i = 0; i < iods.size(); ++i) put(m, 26 + 8 * static_cast<int>(i), 8, iods[i]);
  put(m, 210, 2, mask);
  return m;
}

// Corrections in 0.04 m, one after the other for the slots of the set; values past the data bits
// are not written.
inline Msg mt50(int mask, int set, int code, int health, const std::vector<int>& slots,
                const std::vector<int>& corr) {
  Msg m = header(50);
  put(m, 1, 2, mask);
  put(m, 3, 2, set);
  put(m, 5, 6, code);
  put(m, 11, 1, health);
  put(m, 12, 23, slotBits(slots));
  for (std::size_t i = 0; i < corr.size(); ++i) {
    const int pos = 35 + 12 * static_cast<int>(i);
    if (pos + 11 <= 212) put(m, pos, 12, corr[i] & 0xFFF);
  }
  return m;
}

}  // namespace slastest
