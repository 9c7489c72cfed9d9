// RTCM 2 words from fuzz input: 24-bit data words given parity and packed six bits a byte, so
// that the decoder's framing accepts what the input describes and the fuzzing reaches the
// message decoders.
#pragma once

#include <cstdint>
#include <vector>

#include "positioning/gps_parity.h"

namespace fuzz {

// 30-bit words to 6-of-8 bytes, the first bit of each six in the byte's lowest bit.
inline void rtcm2ToBytes(const std::vector<std::uint32_t>& words, std::vector<std::uint8_t>& out) {
  std::uint32_t acc = 0;
  int have = 0;
  for (std::uint32_t w : words) {
    for (int i = 29; i >= 0; --i) {
      acc = acc << 1 | (w >> i & 1u);
      if (++have == 6) {
        std::uint8_t b = 0x40;
        for (int k = 0; k < 6; ++k) b = static_cast<std::uint8_t>(b | (acc >> (5 - k) & 1u) << k);
        out.push_back(b);
        acc = 0;
        have = 0;
      }
    }
  }
}

// The 24-bit data words (in their low bits) given parity with the two bits `carry` of the word
// before, as bytes on the wire.
inline std::vector<std::uint8_t> rtcm2Wire(std::vector<std::uint32_t> words, std::uint32_t carry) {
  for (std::uint32_t& w : words) w <<= 6;  // data bits into place for the parity
  GpsParity::addParity(words.data(), static_cast<int>(words.size()), carry);
  std::vector<std::uint8_t> out;
  rtcm2ToBytes(words, out);
  return out;
}

}  // namespace fuzz
