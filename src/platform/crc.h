// CRC routines shared by the stream framings.
#pragma once

#include <cstdint>

// CRC-24Q (generator 0x1864CFB) over `bits` bits of `data`, most significant bit of each byte
// first, starting from `crc` (the framings start from 0). A trailing partial byte contributes
// its high bits. Returns the 24-bit remainder.
std::uint32_t crc24q(std::uint32_t crc, const std::uint8_t* data, std::uint32_t bits);
