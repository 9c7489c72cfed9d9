// Field access of GBAS VHF data broadcast messages (RTCA DO-246). The bytes are kept as received:
// the broadcast bit stream packed first bit into the most significant bit of each byte. Every
// field is sent least significant bit first, so a field read in stream order has its bits
// reversed.
#pragma once

#include <cstdint>

namespace GbasDecUtility {

// The unsigned field of `width` bits (1..32) that starts at stream bit `pos`.
std::uint32_t extract(const std::uint8_t* bytes, int pos, int width);
// The same field as a two's complement number.
std::int32_t extractSigned(const std::uint8_t* bytes, int pos, int width);
// Four characters of a 24-bit identifier value (four 6-bit codes, the first in the top bits).
void gbasIdChars(std::uint32_t id, char out[4]);
// CRC-32Q (polynomial 0x814141AB, initial value 0, most significant bit first) of the first
// `count` bytes: the check of a message block and of a final approach segment block.
std::uint32_t crc32q(const std::uint8_t* bytes, int count);
// A byte with its bit order reversed.
std::uint8_t reverseByte(std::uint8_t b);

}  // namespace GbasDecUtility

// 6-bit character codes of GBAS identifiers: 1..26 the letters A..Z, 32 a space, 48..57 the digits
// 0..9, 0 gives NUL and every other code 0xFF.
extern const std::uint8_t Alphabet5ToAsciiTable[64];
