// An RTCM 2 stream writer for the tests, written from RTCM 10402.3 and the parity equations of
// IS-GPS-200 (table 20-XIV) without the decoder's code: header and data words with parity,
// complemented after a set D30*, as 6-of-8 bytes sent least significant bit first.
#pragma once

#include <cstdint>
#include <vector>

namespace rtcm2test {

// d[1..24] data bits, D29* and D30*: the six parity bits D25..D30.
inline std::uint32_t parity(std::uint32_t data24, int d29, int d30) {
  auto d = [&](int i) { return static_cast<int>(data24 >> (24 - i) & 1u); };
  auto x = [&](int start, std::initializer_list<int> idx) {
    int v = start;
    for (int i : idx) v ^= d(i);
    return v;
  };
  const int p25 = x(d29, {1, 2, 3, 5, 6, 10, 11, 12, 13, 14, 17, 18, 20, 23});
  const int p26 = x(d30, {2, 3, 4, 6, 7, 11, 12, 13, 14, 15, 18, 19, 21, 24});
  const int p27 = x(d29, {1, 3, 4, 5, 7, 8, 12, 13, 14, 15, 16, 19, 20, 22});
  const int p28 = x(d30, {2, 4, 5, 6, 8, 9, 13, 14, 15, 16, 17, 20, 21, 23});
  const int p29 = x(d30, {1, 3, 5, 6, 7, 9, 10, 14, 15, 16, 17, 18, 21, 22, 24});
  const int p30 = x(d29, {3, 5, 6, 8, 9, 10, 11, 13, 15, 19, 22, 23, 24});
  return static_cast<std::uint32_t>(p25 << 5 | p26 << 4 | p27 << 3 | p28 << 2 | p29 << 1 | p30);
}

struct Header {
  int type = 1;
  int station = 0;
  int zCount = 0;
  int seq = 0;
  int health = 0;
  int length = -1;  // -1: the count of data words given
};

// Bit stream of 30-bit words, kept as bits, sent as 6-of-8 bytes.
class Writer {
 public:
  // D29*, D30* before the first word (D30* set: the first word goes out complemented).
  explicit Writer(int d29 = 0, int d30 = 0) : d29_(d29), d30_(d30) {}

  void word(std::uint32_t data24) {
    data24 &= 0xFFFFFFu;
    const std::uint32_t p = parity(data24, d29_, d30_);
    const std::uint32_t sent = d30_ != 0 ? data24 ^ 0xFFFFFFu : data24;
    const std::uint32_t w = sent << 6 | p;
    for (int i = 29; i >= 0; --i) bits_.push_back(static_cast<std::uint8_t>(w >> i & 1u));
    d29_ = static_cast<int>(p >> 1 & 1u);
    d30_ = static_cast<int>(p & 1u);
  }

  void message(const Header& h, const std::vector<std::uint32_t>& data) {
    const int n = h.length >= 0 ? h.length : static_cast<int>(data.size());
    word(0x66u << 16 | static_cast<std::uint32_t>(h.type & 0x3F) << 10 | static_cast<std::uint32_t>(h.station & 0x3FF));
    word(static_cast<std::uint32_t>(h.zCount & 0x1FFF) << 11 | static_cast<std::uint32_t>(h.seq & 7) << 8 |
         static_cast<std::uint32_t>(n & 0x1F) << 3 | static_cast<std::uint32_t>(h.health & 7));
    for (std::uint32_t d : data) word(d);
  }

  // Raw bits (for a shift of the word boundary against the bytes).
  void pad(int n) {
    for (int i = 0; i < n; ++i) bits_.push_back(0);
  }

  // Bytes 01xxxxxx, the first bit of each group of six in the byte's least significant bit; the
  // last group filled with ones.
  std::vector<std::uint8_t> bytes() const {
    std::vector<std::uint8_t> out;
    for (std::size_t i = 0; i < bits_.size(); i += 6) {
      std::uint8_t b = 0x40;
      for (std::size_t k = 0; k < 6; ++k) {
        const int bit = i + k < bits_.size() ? bits_[i + k] : 1;
        b = static_cast<std::uint8_t>(b | bit << k);
      }
      out.push_back(b);
    }
    return out;
  }

 private:
  int d29_, d30_;
  std::vector<std::uint8_t> bits_;
};

// Packs fields MSB first into 24-bit data words.
class Fields {
 public:
  void put(std::uint64_t value, int width) {
    for (int i = width - 1; i >= 0; --i) bits_.push_back(static_cast<std::uint8_t>(i < 64 ? value >> i & 1u : 0u));
  }
  void putSigned(std::int64_t value, int width) { put(static_cast<std::uint64_t>(value), width); }
  // Data words, the last filled with ones (RTCM fill).
  std::vector<std::uint32_t> words() const {
    std::vector<std::uint32_t> out;
    for (std::size_t i = 0; i < bits_.size(); i += 24) {
      std::uint32_t w = 0;
      for (std::size_t k = 0; k < 24; ++k) w = w << 1 | (i + k < bits_.size() ? bits_[i + k] : 1u);
      out.push_back(w);
    }
    return out;
  }
  int size() const { return static_cast<int>(bits_.size()); }

 private:
  std::vector<std::uint8_t> bits_;
};

}  // namespace rtcm2test
