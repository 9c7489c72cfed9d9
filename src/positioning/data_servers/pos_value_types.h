// The value blocks of the position data types: one value or two, each with two validity flags
// and two words, as the GNSS board's solution records carry them; and their filtered forms, which
// add the count of what a filter has taken in, so that its user can tell a first value from a
// settled one.
#pragma once

#include <cstddef>
#include <cstdint>

namespace PosData {

struct OneDataType {
  std::uint8_t uFlag[2];    // both set: the value is valid
  std::uint32_t ulWord[2];  // as the writer of the block defines them
  double dValue;

  bool is_Valid() const { return uFlag[0] != 0 && uFlag[1] != 0; }
  void set_Valid(bool valid) { uFlag[0] = uFlag[1] = valid ? 1 : 0; }
};
static_assert(offsetof(OneDataType, ulWord) == 4 && offsetof(OneDataType, dValue) == 16);

struct TwoDataType {
  std::uint8_t uFlag[2];
  std::uint32_t ulWord[2];
  double dValue[2];

  bool is_Valid() const { return uFlag[0] != 0 && uFlag[1] != 0; }
  void set_Valid(bool valid) { uFlag[0] = uFlag[1] = valid ? 1 : 0; }
};
static_assert(offsetof(TwoDataType, ulWord) == 4 && offsetof(TwoDataType, dValue) == 16);

// Bytes of each block on the board's wire: flags, words and values packed.
inline constexpr int kOneDataWire = 18;
inline constexpr int kTwoDataWire = 26;

// A block with its filter count, in the unit its filter counts (epochs, milliseconds...). The
// count stops at its largest value instead of wrapping to a small one.
inline std::uint32_t addFilterCount(std::uint32_t count, std::uint32_t n) { return n > ~count ? ~0u : count + n; }

struct OneFilteredDataType {
  OneDataType data;
  std::uint32_t ulFilterCount;

  // Not valid, value 0, count 0.
  void init() { *this = OneFilteredDataType{}; }
  void add_FilterCount(std::uint32_t n) { ulFilterCount = addFilterCount(ulFilterCount, n); }
};
static_assert(offsetof(OneFilteredDataType, ulFilterCount) == 24);

struct TwoFilteredDataType {
  TwoDataType data;
  std::uint32_t ulFilterCount;

  void init() { *this = TwoFilteredDataType{}; }
  void add_FilterCount(std::uint32_t n) { ulFilterCount = addFilterCount(ulFilterCount, n); }
};
static_assert(offsetof(TwoFilteredDataType, ulFilterCount) == 32);

}  // namespace PosData
