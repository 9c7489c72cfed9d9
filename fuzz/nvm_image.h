// The settings image as the fuzz targets change it: the blocks walked as they lie, and every
// block that carries a checksum given the right one, so that changed contents reach their readers
// instead of being refused at the check.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/ram_nvm.h"

namespace fuzz {

// Each block: a 6-byte header (id, 24-bit length, flags), the data, and with flag bit 0 one
// checksum byte, the XOR of the data.
inline void fixBlockChecksums(std::vector<std::uint8_t>& img) {
  for (std::size_t o = RamNvm::kHeaderSize; o + 6 <= img.size();) {
    const std::size_t len = img[o + 2] | (img[o + 3] << 8) | (static_cast<std::size_t>(img[o + 4]) << 16);
    const bool ck = (img[o + 5] & 1) != 0;
    if ((img[o] | img[o + 1]) == 0 && len == 0) break;  // blank: the end of the layout
    const std::size_t end = o + 6 + len;
    if (end + (ck ? 1 : 0) > img.size()) break;
    if (ck) {
      std::uint8_t x = 0;
      for (std::size_t i = o + 6; i < end; ++i) x ^= img[i];
      img[end] = x;
    }
    o = end + (ck ? 1 : 0);
  }
}

}  // namespace fuzz
