#include "positioning/gps_parity.h"

const std::uint32_t GPS_PAR[6] = {0xBB1F3480u, 0x5D8F9A40u, 0xAEC7CD00u,
                                  0x5763E680u, 0x6BB1F340u, 0x8B7A89C0u};

std::atomic<std::uint32_t> gpsParityErrCnt{0};

namespace {
constexpr std::uint32_t kDataBits = 0x3FFFFFC0u;
constexpr std::uint32_t kD30Star = 0x40000000u;

std::uint32_t fold(std::uint32_t v) {
  v ^= v >> 16;
  v ^= v >> 8;
  v ^= v >> 4;
  v ^= v >> 2;
  v ^= v >> 1;
  return v & 1u;
}
}  // namespace

std::uint32_t GpsParity::parityBits(std::uint32_t word) {
  std::uint32_t p = 0;
  for (std::uint32_t mask : GPS_PAR) p = (p << 1) | fold(word & mask);
  return p;
}

int GpsParity::checkParity(std::uint32_t* words, int count) {
  if (count < 1) return 1;
  if (words == nullptr) {
    gpsParityErrCnt.fetch_add(1, std::memory_order_relaxed);
    return 0;
  }
  for (int i = 0; i < count; ++i) {
    std::uint32_t w = words[i];
    if (w & kD30Star) w ^= kDataBits;
    words[i] = w;
    if (parityBits(w) != (w & 0x3Fu)) {
      gpsParityErrCnt.fetch_add(1, std::memory_order_relaxed);
      return 0;
    }
  }
  return 1;
}

std::uint32_t GpsParity::addParity(std::uint32_t* words, int count, std::uint32_t& d2930) {
  std::uint32_t carry = d2930 & 3u;
  if (words != nullptr) {
    for (int i = 0; i < count; ++i) {
      std::uint32_t w = (words[i] & 0x3FFFFFFFu) | (carry << 30);
      const std::uint32_t p = parityBits(w);
      w = (w & ~0x3Fu) | p;
      if (w & kD30Star) w ^= kDataBits;
      words[i] = w;
      carry = p & 3u;
    }
  }
  d2930 = carry;
  return carry;
}
