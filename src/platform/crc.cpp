#include "platform/crc.h"

namespace {
constexpr std::uint32_t kPoly = 0x864CFB;  // 0x1864CFB without its top bit
constexpr std::uint32_t kMask = 0xFFFFFF;

struct Table {
  std::uint32_t t[256];
  constexpr Table() : t{} {
    for (std::uint32_t i = 0; i < 256; ++i) {
      std::uint32_t c = i << 16;
      for (int b = 0; b < 8; ++b) c = (c & 0x800000) ? ((c << 1) ^ kPoly) & kMask : (c << 1) & kMask;
      t[i] = c;
    }
  }
};
constexpr Table kTable;
}  // namespace

std::uint32_t crc24q(std::uint32_t crc, const std::uint8_t* data, std::uint32_t bits) {
  crc &= kMask;
  const std::uint32_t bytes = bits / 8;
  for (std::uint32_t i = 0; i < bytes; ++i) crc = ((crc << 8) & kMask) ^ kTable.t[((crc >> 16) ^ data[i]) & 0xFF];
  const std::uint32_t rest = bits % 8;
  if (rest != 0) {
    const std::uint8_t last = data[bytes];
    for (std::uint32_t b = 0; b < rest; ++b) {
      const std::uint32_t in = (last >> (7 - b)) & 1u;
      const std::uint32_t top = ((crc >> 23) ^ in) & 1u;
      crc = (crc << 1) & kMask;
      if (top) crc ^= kPoly;
    }
  }
  return crc;
}
