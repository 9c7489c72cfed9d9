#pragma once
// Table-driven, non-reflected (MSB-first) CRC of width 8..32 bits that can also take a
// trailing part of a byte. No stored initial value and no final XOR: the caller gives the
// start value and uses the result as it comes.

#include <cstdint>

class CalculationCRC {
 public:
  // Tables are built at compile time so that the two global instances are usable from any
  // static initialiser, whatever the link order.
  constexpr CalculationCRC(std::uint8_t width, std::uint32_t polynomial)
      : width_(width < 8 ? 8 : (width > 32 ? 32 : width)),
        polynomial_(polynomial & maskFor(width_)),
        crc_(0),
        table_{} {
    CreateTable();
  }

  // Fills the 256-entry table from width and polynomial.
  constexpr void CreateTable() {
    const std::uint32_t top = std::uint32_t{1} << (width_ - 1);
    const std::uint32_t mask = maskFor(width_);
    for (std::uint32_t i = 0; i < 256; ++i) {
      std::uint32_t v = i << (width_ - 8);
      for (int k = 0; k < 8; ++k) {
        v = (v & top) ? ((v << 1) ^ polynomial_) : (v << 1);
      }
      table_[i] = v & mask;
    }
  }

  // CRC of the first nBits bits of data (MSB first within each byte), starting from init.
  // The start value is cut to the width first, so that any caller value keeps the table
  // index inside the table. The result is also kept as the last result; callers sharing an
  // instance between tasks must use the returned value.
  std::uint32_t ComputeCRC(const void* data, unsigned long init, int nBits);

  std::uint32_t lastResult() const { return crc_; }
  std::uint8_t width() const { return width_; }
  std::uint32_t polynomial() const { return polynomial_; }
  std::uint32_t tableEntry(int i) const { return table_[i & 0xFF]; }

 private:
  static constexpr std::uint32_t maskFor(std::uint8_t w) {
    return w >= 32 ? 0xFFFFFFFFu : ((std::uint32_t{1} << w) - 1u);
  }

  std::uint8_t width_;
  std::uint32_t polynomial_;
  std::uint32_t crc_;
  std::uint32_t table_[256];
};

// Ephemeris identities (32 bits) and the 16-bit ephemeris and GLONASS hashes.
extern CalculationCRC GbasCRC32;  // polynomial 0x814141AB (CRC-32Q)
extern CalculationCRC GbasCRC16;  // polynomial 0x1021 (CCITT)
