#include "positioning/data_servers/sbas_data_types.h"

namespace SBASData {

void IonoBandDataType::init() {
  for (auto& p : uPoint) p = 0;
  for (auto& w : iBlockWord) w = -1;
  for (auto& b : uBlockByte) b = 0;
  iIssue = -1;
}

// Word layout: bit 14 <- bit 0, bit 13 <- bit 1, bits 9..12 <- bits 2..5, bits 0..8 <- bits
// 6..14 of the correction.
void IonoBandDataType::pack(int point, std::uint32_t c) {
  const std::uint32_t w = ((c & 0x1u) << 14) | ((c & 0x2u) << 12) | (((c >> 2) & 0xFu) << 9) |
                          ((c >> 6) & 0x1FFu);
  uPoint[point] = static_cast<std::uint16_t>(w);
  uBlockByte[point / kIonoPointsPerBlock] = static_cast<std::uint8_t>((c >> 15) & 0x1Fu);
}

std::uint32_t IonoBandDataType::unpack(int point) const {
  const std::uint32_t w = uPoint[point];
  return ((w >> 14) & 0x1u) | (((w >> 13) & 0x1u) << 1) | (((w >> 9) & 0xFu) << 2) |
         ((w & 0x1FFu) << 6) |
         (static_cast<std::uint32_t>(uBlockByte[point / kIonoPointsPerBlock] & 0x1Fu) << 15);
}

}  // namespace SBASData
