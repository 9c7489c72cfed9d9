// The test's own reader of RTCM 2 on the air, written apart from the product's decoder:
// six-of-eight bytes to 30-bit words with their IS-GPS-200 parity checked, and the frames the
// words make.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace e2e {
namespace rtcm2words {

// D25..D30 of data bits d (d1 in bit 23) after D29*, D30* (IS-GPS-200 Table 20-XIV).
inline std::uint32_t parity(std::uint32_t d, int d29, int d30) {
  static const int kEq[6][16] = {{1, 2, 3, 5, 6, 10, 11, 12, 13, 14, 17, 18, 20, 23},
                                 {2, 3, 4, 6, 7, 11, 12, 13, 14, 15, 18, 19, 21, 24},
                                 {1, 3, 4, 5, 7, 8, 12, 13, 14, 15, 16, 19, 20, 22},
                                 {2, 4, 5, 6, 8, 9, 13, 14, 15, 16, 17, 20, 21, 23},
                                 {1, 3, 5, 6, 7, 9, 10, 14, 15, 16, 17, 18, 21, 22, 24},
                                 {3, 5, 6, 8, 9, 10, 11, 13, 15, 19, 22, 23, 24}};
  std::uint32_t p = 0;
  for (int k = 0; k < 6; ++k) {
    int x = (k == 0 || k == 2 || k == 5) ? d29 : d30;
    for (int j = 0; j < 16 && kEq[k][j] != 0; ++j) x ^= static_cast<int>((d >> (24 - kEq[k][j])) & 1u);
    p = p << 1 | static_cast<std::uint32_t>(x);
  }
  return p;
}

struct Frame {
  int type, z, seq, words, station;
};

// Six-of-eight bytes to words (parity checked, the data made upright) and frames; `bad` counts
// bytes without the 01 tag, words failing parity and headers without the preamble.
inline std::vector<Frame> frames(const std::string& s, int& bad) {
  std::vector<std::uint32_t> w;
  int d29 = 0, d30 = 0;
  for (std::size_t i = 0; i + 5 <= s.size(); i += 5) {
    std::uint32_t v = 0;
    for (std::size_t k = 0; k < 5; ++k) {
      const auto b = static_cast<unsigned char>(s[i + k]);
      if ((b & 0xC0) != 0x40) ++bad;
      for (int j = 0; j < 6; ++j) v = v << 1 | ((b >> j) & 1u);
    }
    std::uint32_t d = (v >> 6) & 0xFFFFFF;
    if (d30) d ^= 0xFFFFFF;
    if (parity(d, d29, d30) != (v & 0x3F)) ++bad;
    d29 = static_cast<int>((v >> 1) & 1), d30 = static_cast<int>(v & 1);
    w.push_back(d);
  }
  std::vector<Frame> out;
  for (std::size_t i = 0; i + 2 <= w.size();) {
    if ((w[i] >> 16) != 0x66) {
      ++bad;
      ++i;
      continue;
    }
    const Frame f{static_cast<int>((w[i] >> 10) & 0x3F), static_cast<int>(w[i + 1] >> 11),
                  static_cast<int>((w[i + 1] >> 8) & 7), static_cast<int>((w[i + 1] >> 3) & 0x1F),
                  static_cast<int>(w[i] & 0x3FF)};
    out.push_back(f);
    i += 2 + static_cast<std::size_t>(f.words);
  }
  return out;
}

// The test's own writer of the same format: a frame of `type` from its data bits (filled up to
// whole words with alternating ones and zeros), each word's parity after the previous word's
// last two bits (`d29`, `d30`, carried over from frame to frame), six bits a byte, first bit in
// the byte's lowest bit, bits 7 and 6 the 01 tag.
struct Writer {
  int d29 = 0, d30 = 0;
  std::string bytes;

  void word(std::uint32_t d) {
    d &= 0xFFFFFF;
    const std::uint32_t v = ((d30 ? d ^ 0xFFFFFF : d) << 6) | parity(d, d29, d30);
    d29 = static_cast<int>((v >> 1) & 1), d30 = static_cast<int>(v & 1);
    for (int k = 0; k < 5; ++k) {
      unsigned char b = 0x40;
      for (int j = 0; j < 6; ++j) b = static_cast<unsigned char>(b | ((v >> (29 - (6 * k + j))) & 1u) << j);
      bytes += static_cast<char>(b);
    }
  }
  // `data`: bits as '0'/'1' characters.
  void frame(int type, int station, int z, int seq, const std::string& data) {
    std::string bits = data;
    for (int i = 0; bits.size() % 24 != 0; ++i) bits += i % 2 == 0 ? '1' : '0';
    const int n = static_cast<int>(bits.size() / 24);
    word(0x66u << 16 | static_cast<std::uint32_t>(type & 0x3F) << 10 | static_cast<std::uint32_t>(station & 0x3FF));
    word(static_cast<std::uint32_t>(z & 0x1FFF) << 11 | static_cast<std::uint32_t>(seq & 7) << 8 |
         static_cast<std::uint32_t>(n & 0x1F) << 3);
    for (int w = 0; w < n; ++w) {
      std::uint32_t d = 0;
      for (int i = 0; i < 24; ++i) d = d << 1 | (bits[static_cast<std::size_t>(24 * w + i)] == '1' ? 1u : 0u);
      word(d);
    }
  }
};

// `value` as `n` bits, two's complement.
inline std::string bitsOf(long long value, int n) {
  std::string s;
  for (int i = n - 1; i >= 0; --i) s += ((static_cast<unsigned long long>(value) >> i) & 1u) != 0 ? '1' : '0';
  return s;
}

}  // namespace rtcm2words
}  // namespace e2e
