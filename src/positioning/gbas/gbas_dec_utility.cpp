#include "positioning/gbas/gbas_dec_utility.h"

#include "navigation_data/crc_engine.h"

namespace {
constexpr std::uint8_t kBad = 0xFF;
}  // namespace

const std::uint8_t Alphabet5ToAsciiTable[64] = {
    0, 'A', 'B', 'C', 'D', 'E', 'F', 'G',
    'H', 'I', 'J', 'K', 'L', 'M', 'N', 'O',
    'P', 'Q', 'R', 'S', 'T', 'U', 'V', 'W',
    'X', 'Y', 'Z', kBad, kBad, kBad, kBad, kBad,
    ' ', kBad, kBad, kBad, kBad, kBad, kBad, kBad,
    kBad, kBad, kBad, kBad, kBad, kBad, kBad, kBad,
    '0', '1', '2', '3', '4', '5', '6', '7',
    '8', '9', kBad, kBad, kBad, kBad, kBad, kBad,
};

namespace GbasDecUtility {

std::uint32_t extract(const std::uint8_t* bytes, int pos, int width) {
  std::uint32_t v = 0;
  // Bit k of the field (its weight 2^k) is the k-th bit of the stream from `pos`.
  for (int k = 0; k < width; ++k) {
    const int p = pos + k;
    const std::uint32_t bit = (bytes[p >> 3] >> (7 - (p & 7))) & 1u;
    v |= bit << k;
  }
  return v;
}

std::int32_t extractSigned(const std::uint8_t* bytes, int pos, int width) {
  const std::uint32_t v = extract(bytes, pos, width);
  if (width >= 32) return static_cast<std::int32_t>(v);
  const std::uint32_t sign = 1u << (width - 1);
  return static_cast<std::int32_t>((v ^ sign) - sign);
}

void gbasIdChars(std::uint32_t id, char out[4]) {
  for (int i = 0; i < 4; ++i) out[i] = static_cast<char>(Alphabet5ToAsciiTable[(id >> (18 - 6 * i)) & 63u]);
}

std::uint32_t crc32q(const std::uint8_t* bytes, int count) {
  if (count <= 0) return 0;
  return GbasCRC32.ComputeCRC(bytes, 0, count * 8);
}

std::uint8_t reverseByte(std::uint8_t b) {
  b = static_cast<std::uint8_t>((b & 0xF0) >> 4 | (b & 0x0F) << 4);
  b = static_cast<std::uint8_t>((b & 0xCC) >> 2 | (b & 0x33) << 2);
  return static_cast<std::uint8_t>((b & 0xAA) >> 1 | (b & 0x55) << 1);
}

}  // namespace GbasDecUtility
