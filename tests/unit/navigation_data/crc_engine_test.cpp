#include "navigation_data/crc_engine.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

namespace {

const std::uint8_t kCheck[] = {'1', '2', '3', '4', '5', '6', '7', '8', '9'};

// Bit-at-a-time CRC straight from the polynomial division, no table.
std::uint32_t bitwiseCrc(int width, std::uint32_t poly, std::uint32_t init, const std::vector<std::uint8_t>& data,
                         int nBits) {
  const std::uint64_t mask = (std::uint64_t{1} << width) - 1u;
  std::uint64_t crc = init & mask;
  for (int i = 0; i < nBits; ++i) {
    const unsigned bit = (data[static_cast<std::size_t>(i / 8)] >> (7 - i % 8)) & 1u;
    crc = ((crc << 1) & mask) ^ ((bit ^ ((crc >> (width - 1)) & 1u)) ? poly : 0u);
  }
  return static_cast<std::uint32_t>(crc);
}

// Published check values (CRC catalogue, "123456789") of the MSB-first CRCs without final XOR.
struct Catalogue { const char* name; int width; std::uint32_t poly, init, check; };
const Catalogue kCatalogue[] = {
    {"CRC-8/SMBUS", 8, 0x07, 0x00, 0xF4}, {"CRC-10/ATM", 10, 0x233, 0x000, 0x199},
    {"CRC-11/FLEXRAY", 11, 0x385, 0x01A, 0x5A3}, {"CRC-12/DECT", 12, 0x80F, 0x000, 0xF5B},
    {"CRC-16/XMODEM", 16, 0x1021, 0x0000, 0x31C3}, {"CRC-16/IBM-3740", 16, 0x1021, 0xFFFF, 0x29B1},
    {"CRC-16/UMTS", 16, 0x8005, 0x0000, 0xFEE8}, {"CRC-24/OPENPGP", 24, 0x864CFB, 0xB704CE, 0x21CF02},
    {"CRC-32/AIXM", 32, 0x814141AB, 0x00000000, 0x3010BF7F},
    {"CRC-32/MPEG-2", 32, 0x04C11DB7, 0xFFFFFFFF, 0x0376E6E7},
    {"CRC-32/XFER", 32, 0x000000AF, 0x00000000, 0xBD0BE338}
};

// Catalogue values (also of the two global engines) and 300 random bit strings against the bitwise division.
TEST(CrcEngine, CatalogueValuesAndRandomBitStringsEqualTheBitwiseDivision) {
  std::mt19937 rng(20260612);
  for (const Catalogue& c : kCatalogue) {
    SCOPED_TRACE(c.name);
    CalculationCRC crc(static_cast<std::uint8_t>(c.width), c.poly);
    EXPECT_EQ(crc.ComputeCRC(kCheck, c.init, 72), c.check);
    for (CalculationCRC* g : {&GbasCRC16, &GbasCRC32})
      if (g->width() == c.width && g->polynomial() == c.poly) { EXPECT_EQ(g->ComputeCRC(kCheck, c.init, 72), c.check); }
    const std::uint32_t mask = c.width == 32 ? 0xFFFFFFFFu : ((std::uint32_t{1} << c.width) - 1u);
    for (int trial = 0; trial < 300; ++trial) {
      const int nBits = static_cast<int>(rng() % 1001);
      std::vector<std::uint8_t> data(static_cast<std::size_t>((nBits + 7) / 8 + 1));
      for (auto& b : data) b = static_cast<std::uint8_t>(rng());
      const std::uint32_t init = rng() & mask;
      ASSERT_EQ(crc.ComputeCRC(data.data(), init, nBits), bitwiseCrc(c.width, c.poly, init, data, nBits)) << nBits;
    }
  }
}

// No bits give the start value; a wider start value counts as its low width bits (no index past the table).
TEST(CrcEngine, StartValueWithoutBitsAndCutToTheWidth) {
  for (std::uint32_t init : {0u, 1u, 0x1234u, 0xFFFFu}) EXPECT_EQ(GbasCRC16.ComputeCRC(kCheck, init, 0), init);
  for (std::uint32_t init : {0u, 0xDEADBEEFu, 0xFFFFFFFFu})
    EXPECT_EQ(GbasCRC32.ComputeCRC(kCheck, init, 0) | GbasCRC32.ComputeCRC(nullptr, init, 0), init);
  EXPECT_EQ(GbasCRC32.ComputeCRC(kCheck, 0x55u, -8), 0x55u);
  for (unsigned long init : {0x1FFFFul, 0xFFFFFFFFul, 0xABCDFFFFul})
    EXPECT_EQ(GbasCRC16.ComputeCRC(kCheck, init, 72), 0x29B1u) << init;
  EXPECT_EQ(GbasCRC16.ComputeCRC(kCheck, 0x10000ul, 0), 0u);
  const std::uint8_t partial[] = {0xC0};
  EXPECT_EQ(GbasCRC16.ComputeCRC(partial, 0x3FFFFul, 3), GbasCRC16.ComputeCRC(partial, 0xFFFF, 3));
}

}  // namespace
