#include "positioning/gps_parity.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <random>
#include <set>
#include <vector>

namespace {

// IS-GPS-200, Table 20-XIV: each parity bit as the list of bits it sums. 29 and 30 stand for
// D29* and D30* of the previous word, 1..24 for d1..d24.
const std::vector<int> kEquations[6] = {
    {29, 1, 2, 3, 5, 6, 10, 11, 12, 13, 14, 17, 18, 20, 23},
    {30, 2, 3, 4, 6, 7, 11, 12, 13, 14, 15, 18, 19, 21, 24},
    {29, 1, 3, 4, 5, 7, 8, 12, 13, 14, 15, 16, 19, 20, 22},
    {30, 2, 4, 5, 6, 8, 9, 13, 14, 15, 16, 17, 20, 21, 23},
    {30, 1, 3, 5, 6, 7, 9, 10, 14, 15, 16, 17, 18, 21, 22, 24},
    {29, 3, 5, 6, 8, 9, 10, 11, 13, 15, 19, 22, 23, 24},
};

// Parity straight from the equations, bit by bit.
std::uint32_t equationParity(std::uint32_t w) {
  std::uint32_t p = 0;
  for (const auto& eq : kEquations) {
    std::uint32_t bit = 0;
    for (int b : eq) bit ^= (w >> (b == 29 ? 31 : b == 30 ? 30 : 30 - b)) & 1u;
    p = (p << 1) | bit;
  }
  return p;
}

TEST(GpsParity, RandomWordsPassExactlyWhenTheEquationsHold) {
  std::mt19937 rng(176);
  int passed = 0;
  for (int i = 0; i < 200000; ++i) {
    const std::uint32_t sent = rng();
    // D30* set: the data bits were sent inverted.
    const std::uint32_t data = (sent & 0x40000000u) ? sent ^ 0x3FFFFFC0u : sent;
    const bool want = equationParity(data) == (data & 0x3Fu);
    std::uint32_t w = sent;
    ASSERT_EQ(GpsParity::checkParity(&w, 1), want ? 1 : 0) << std::hex << sent;
    EXPECT_EQ(w, data);
    EXPECT_EQ(GpsParity::parityBits(data), equationParity(data));
    passed += want;
  }
  EXPECT_GT(passed, 2000);  // about one in 64

  std::mt19937 rng2(200);
  for (int trial = 0; trial < 200; ++trial) {
    std::vector<std::uint32_t> data(1 + rng2() % 33);
    for (auto& d : data) d = rng2() & 0x3FFFFFC0u;
    std::vector<std::uint32_t> words = data;
    std::uint32_t carry = 0;
    GpsParity::addParity(words.data(), static_cast<int>(words.size()), carry);
    ASSERT_EQ(GpsParity::checkParity(words.data(), static_cast<int>(words.size())), 1);
    for (std::size_t i = 0; i < data.size(); ++i) EXPECT_EQ(words[i] & 0x3FFFFFC0u, data[i]);
  }
}

TEST(GpsParity, AFailingWordStopsTheCheckWithItsDataInverted) {
  std::vector<std::uint32_t> words = {0x2ABCDE00u, 0x12345600u, 0x0ABCDE00u};
  std::uint32_t carry = 1;  // D30* set: the first word is sent inverted
  GpsParity::addParity(words.data(), 3, carry);
  const std::vector<std::uint32_t> sent = words;
  words[0] ^= 1u;  // break a parity bit
  const std::uint32_t before = gpsParityErrCnt.load();
  EXPECT_EQ(GpsParity::checkParity(words.data(), 3), 0);
  EXPECT_EQ(gpsParityErrCnt.load(), before + 1);
  EXPECT_EQ(words[0] & 0x3FFFFFC0u, (sent[0] ^ 0x3FFFFFC0u) & 0x3FFFFFC0u);
  EXPECT_EQ(words[1], sent[1]);  // not reached: its D30* is set too, so a check would invert it
  EXPECT_EQ(GpsParity::checkParity(words.data(), 0), 1);
  EXPECT_EQ(GpsParity::checkParity(nullptr, -3), 1);
}

// ---- RTCM 2 recording: 30-bit words in "6 of 8" bytes ----

// Only bytes marked 01 in their top bits carry data, six bits each, the first sent in bit 0.
std::vector<std::uint8_t> rtcm2Bits(const std::vector<std::uint8_t>& bytes) {
  std::vector<std::uint8_t> bits;
  for (std::uint8_t b : bytes) {
    if ((b & 0xC0u) != 0x40u) continue;
    for (int k = 0; k < 6; ++k) bits.push_back(static_cast<std::uint8_t>((b >> k) & 1u));
  }
  return bits;
}

// The 30 bits at pos behind the two bits before them, in the word layout.
std::uint32_t rawWord(const std::vector<std::uint8_t>& bits, std::size_t pos) {
  std::uint32_t w = std::uint32_t{bits[pos - 2]} << 31 | std::uint32_t{bits[pos - 1]} << 30;
  for (int k = 0; k < 30; ++k) w |= std::uint32_t{bits[pos + k]} << (29 - k);
  return w;
}

bool passes(std::uint32_t w, std::uint32_t* data = nullptr) {
  const int ok = GpsParity::checkParity(&w, 1);
  if (data) *data = w;
  return ok == 1;
}

bool isHeader(const std::vector<std::uint8_t>& bits, std::size_t p, std::uint32_t& d1,
              std::uint32_t& d2) {
  return passes(rawWord(bits, p), &d1) && (d1 >> 22 & 0xFFu) == 0x66u &&
         passes(rawWord(bits, p + 30), &d2);
}

TEST(GpsParity, EveryWordOfTheRtcm2RecordingPassesFailsOnAnyFlipAndIsReproduced) {
  std::ifstream in(std::string(RX_SHARED_DIR) + "/testdata/rtcm2/testglo.rtcm2", std::ios::binary);
  const auto bits = rtcm2Bits(std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {}));
  ASSERT_GT(bits.size(), 0u) << "recording not found";
  std::uint32_t d1 = 0, d2 = 0;
  std::size_t p = 2;
  while (p + 60 <= bits.size() && !isHeader(bits, p, d1, d2)) ++p;
  // Follow the frames by their length field; a header that fails ends the walk there.
  std::size_t frames = 0, words = 0, failures = 0, flips = 0;
  std::set<int> types;
  const std::uint32_t errors0 = gpsParityErrCnt.load();
  while (p + 60 <= bits.size()) {
    if (!isHeader(bits, p, d1, d2)) {
      ++failures;
      break;
    }
    const std::size_t n = 2 + (d2 >> 9 & 0x1Fu);
    if (p + 30 * n > bits.size()) break;  // the recording ends inside a frame
    std::vector<std::uint32_t> raw, data;
    for (std::size_t k = 0; k < n; ++k) {
      std::uint32_t d = 0;
      raw.push_back(rawWord(bits, p + 30 * k));
      if (!passes(raw.back(), &d)) ++failures;
      data.push_back(d);
      for (int b = 0; b < 32; ++b, ++flips) {
        std::uint32_t x = raw.back() ^ (1u << b);
        ASSERT_EQ(GpsParity::checkParity(&x, 1), 0) << std::hex << raw.back() << " bit " << b;
      }
    }
    std::uint32_t carry = raw[0] >> 30;
    EXPECT_EQ(GpsParity::addParity(data.data(), static_cast<int>(n), carry), raw.back() & 3u);
    EXPECT_EQ(carry, raw.back() & 3u);
    ASSERT_EQ(data, raw);
    types.insert(static_cast<int>(d1 >> 16 & 0x3Fu));
    ++frames;
    words += n;
    p += 30 * n;
  }
  EXPECT_EQ(failures, 0u);
  EXPECT_LT(bits.size() - p, 60u) << "walk stopped early";
  // The recording holds 1728 messages; the first lies inside the leading text.
  EXPECT_GE(frames, 1700u);
  EXPECT_GT(words, 29000u);
  EXPECT_EQ(types, (std::set<int>{1, 3, 18, 19, 22}));
  EXPECT_EQ(gpsParityErrCnt.load() - errors0, flips);
}

}  // namespace
