#include "navigation_data/crc_engine.h"

constinit CalculationCRC GbasCRC32{32, 0x814141ABu};
constinit CalculationCRC GbasCRC16{16, 0x1021u};

std::uint32_t CalculationCRC::ComputeCRC(const void* data, unsigned long init, int nBits) {
  const std::uint32_t mask = maskFor(width_);
  const unsigned shift = width_ - 8u;
  std::uint32_t crc = static_cast<std::uint32_t>(init) & mask;
  if (data == nullptr || nBits <= 0) {
    crc_ = crc;
    return crc;
  }
  const auto* p = static_cast<const std::uint8_t*>(data);
  const int whole = nBits / 8;
  for (int i = 0; i < whole; ++i) {
    crc = (table_[((crc >> shift) ^ p[i]) & 0xFFu] ^ (crc << 8)) & mask;
  }
  const int rest = nBits % 8;
  if (rest != 0) {
    const std::uint8_t b = p[whole];
    const std::uint32_t top = std::uint32_t{1} << (width_ - 1);
    for (int k = 0; k < rest; ++k) {
      const bool dataBit = ((b >> (7 - k)) & 1u) != 0;
      const bool outBit = (crc & top) != 0;
      crc = (crc << 1) & mask;
      if (dataBit != outBit) crc ^= polynomial_;
    }
  }
  crc_ = crc;
  return crc;
}
