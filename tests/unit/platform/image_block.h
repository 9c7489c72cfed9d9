// A settings block found in the raw settings image by its id, as a restarted program reads it:
// the block headers walked from the image header on (id 16 bits, length 24 bits, flags with bit
// 0 a trailing XOR byte and bit 7 the valid mark; little-endian).
#pragma once

#include <cstdint>
#include <cstring>

#include "platform/ram_nvm.h"

namespace imagetest {

struct ImageBlock {
  bool found = false;
  bool valid = false;
  std::uint32_t size = 0;
  std::uint32_t dataAt = 0;  // offset of its data in the image
};

inline ImageBlock imageBlock(std::uint16_t id) {
  RamNvmLock l;
  const std::uint8_t* img = RamNvm::image();
  for (std::uint32_t at = RamNvm::kHeaderSize; at < RamNvm::allocCursor();) {
    const std::uint8_t* h = img + at;
    const std::uint32_t len = h[2] | (h[3] << 8) | (h[4] << 16);
    if ((h[0] | (h[1] << 8)) == id) return {true, (h[5] & 0x80) != 0, len, at + 6};
    at += 6 + len + (h[5] & 1);
  }
  return {};
}

// The data of a valid block of at least `n` bytes; false otherwise.
inline bool readImageBlock(std::uint16_t id, void* dst, std::uint32_t n) {
  const ImageBlock b = imageBlock(id);
  if (!b.valid || b.size < n) return false;
  RamNvmLock l;
  std::memcpy(dst, RamNvm::image() + b.dataAt, n);
  return true;
}

}  // namespace imagetest
