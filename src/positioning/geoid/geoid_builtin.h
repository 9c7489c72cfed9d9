// The built-in geoid grid, generated at build time (tools/gen/geoid.py).
#pragma once

#include <cstddef>
#include <cstdint>

inline constexpr std::size_t kGeoidBuiltInBytes = 720 * 361 * 2;

// 361 rows from 90 N, 720 columns from 0 E, 0.5 degree, int16 little-endian centimetres.
extern const std::uint8_t kGeoidBuiltInGrid[kGeoidBuiltInBytes];
