#include "positioning/gps_parity.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <random>
#include <set>
#include <vector>

namespace {

// IS-GPS-200, Table 20-XIV: each parity bit as the bits it sums; 29 and 30 stand for D29* and D30* of the
// previous word, 1..24 for d1..d24.
const std::vector<int> kEquations[6] = {
    {29, 1, 2, 3, 5, 6, 10, 11, 12, 13, 14, 17, 18, 20, 23},     {30, 2, 3, 4, 6, 7, 11, 12, 13, 14, 15, 18, 19, 21, 24},
    {29, 1, 3, 4, 5, 7, 8, 12, 13, 14, 15, 16, 19, 20, 22},      {30, 2, 4, 5, 6, 8, 9, 13, 14, 15, 16, 17, 20, 21, 23},
    {30, 1, 3, 5, 6, 7, 9, 10, 14, 15, 16, 17, 18, 21, 22, 24}, {29, 3, 5, 6, 8, 9, 10, 11, 13, 15, 19, 22, 23, 24},
};

std::uint32_t equationParity(std::uint32_t w) {
  std::uint32_t p = 0;
  for (const auto& eq : kEquations) {
    std::uint32_t bit = 0;
    for (int b : eq) bit ^= (w >> (b == 29 ? 31 : b == 30 ? 30 : 30 - b)) & 1u;
    p = (p << 1) | bit;
  }
  return p;
}

// A word with D30* set was sent with its data bits inverted. A failing word stops the check there, its data
// inverted back, the words after it untouched.
TEST(GpsParity, RandomWordsPassExactlyWhenTheEquationsHold) {
  std::mt19937 rng(176);
  int passed = 0;
  for (int i = 0; i < 200000; ++i) {
    const std::uint32_t sent = rng(), data = (sent & 0x40000000u) ? sent ^ 0x3FFFFFC0u : sent;
    const bool want = equationParity(data) == (data & 0x3Fu);
    std::uint32_t w = sent;
    ASSERT_EQ(GpsParity::checkParity(&w, 1), want ? 1 : 0) << std::hex << sent;
    EXPECT_TRUE(w == data && GpsParity::parityBits(data) == equationParity(data)) << std::hex << sent;
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
  std::vector<std::uint32_t> words = {0x2ABCDE00u, 0x12345600u, 0x0ABCDE00u};
  std::uint32_t carry = 1;  // D30* set: the first word is sent inverted
  GpsParity::addParity(words.data(), 3, carry);
  const std::vector<std::uint32_t> sent = words;
  words[0] ^= 1u;  // a broken parity bit
  const std::uint32_t before = gpsParityErrCnt.load();
  EXPECT_TRUE(GpsParity::checkParity(words.data(), 3) == 0 && gpsParityErrCnt.load() == before + 1);
  EXPECT_EQ(words[0] & 0x3FFFFFC0u, (sent[0] ^ 0x3FFFFFC0u) & 0x3FFFFFC0u);
  EXPECT_EQ(words[1], sent[1]);  // not reached: its D30* is set too, so a check would invert it
  EXPECT_TRUE(GpsParity::checkParity(words.data(), 0) == 1 && GpsParity::checkParity(nullptr, -3) == 1);
}

// RTCM 2 sends 30-bit words in "6 of 8" bytes: only bytes marked 01 in their top bits carry data, six bits
// each, the first sent in bit 0. rawWord gives the 30 bits at pos behind the two bits before them.
std::uint32_t rawWord(const std::vector<std::uint8_t>& bits, std::size_t pos) {
  std::uint32_t w = std::uint32_t{bits[pos - 2]} << 31 | std::uint32_t{bits[pos - 1]} << 30;
  for (int k = 0; k < 30; ++k) w |= std::uint32_t{bits[pos + k]} << (29 - k);
  return w;
}
bool passes(std::uint32_t w, std::uint32_t& data) {
  data = w;
  return GpsParity::checkParity(&data, 1) == 1;
}
bool isHeader(const std::vector<std::uint8_t>& bits, std::size_t p, std::uint32_t& d1, std::uint32_t& d2) {
  return passes(rawWord(bits, p), d1) && (d1 >> 22 & 0xFFu) == 0x66u && passes(rawWord(bits, p + 30), d2);
}

// Frames followed by their length field; a header that fails ends the walk there. The recording holds 1728
// messages; the first lies inside the leading text.
TEST(GpsParity, EveryWordOfTheRtcm2RecordingPassesFailsOnAnyFlipAndIsReproduced) {
  std::ifstream in(std::string(RX_SHARED_DIR) + "/testdata/rtcm2/testglo.rtcm2", std::ios::binary);
  std::vector<std::uint8_t> bits;
  for (auto it = std::istreambuf_iterator<char>(in); it != std::istreambuf_iterator<char>(); ++it)
    for (int k = 0; k < 6 && (std::uint8_t(*it) & 0xC0u) == 0x40u; ++k) bits.push_back(std::uint8_t(*it) >> k & 1u);
  ASSERT_GT(bits.size(), 0u) << "recording not found";
  std::uint32_t d1 = 0, d2 = 0;
  std::size_t p = 2, frames = 0, words = 0, failures = 0, flips = 0;
  while (p + 60 <= bits.size() && !isHeader(bits, p, d1, d2)) ++p;
  std::set<int> types;
  const std::uint32_t errors0 = gpsParityErrCnt.load();
  while (p + 60 <= bits.size()) {
    if (!isHeader(bits, p, d1, d2)) break;  // seen as a walk that stopped early
    const std::size_t n = 2 + (d2 >> 9 & 0x1Fu);
    if (p + 30 * n > bits.size()) break;  // the recording ends inside a frame
    std::vector<std::uint32_t> raw(n), data(n);
    for (std::size_t k = 0; k < n; ++k) {
      raw[k] = rawWord(bits, p + 30 * k);
      failures += !passes(raw[k], data[k]);
      for (int b = 0; b < 32; ++b, ++flips) {
        std::uint32_t x = raw[k] ^ (1u << b);
        ASSERT_EQ(GpsParity::checkParity(&x, 1), 0) << std::hex << raw[k] << " bit " << b;
      }
    }
    std::uint32_t carry = raw[0] >> 30;
    EXPECT_EQ(GpsParity::addParity(data.data(), static_cast<int>(n), carry), raw.back() & 3u);
    EXPECT_EQ(carry, raw.back() & 3u);
    ASSERT_EQ(data, raw);
    types.insert(static_cast<int>(d1 >> 16 & 0x3Fu));
    ++frames, words += n, p += 30 * n;
  }
  EXPECT_EQ(failures, 0u);
  EXPECT_LT(bits.size() - p, 60u) << "walk stopped early";
  EXPECT_TRUE(frames >= 1700u && words > 29000u) << frames << " " << words;
  EXPECT_EQ(types, (std::set<int>{1, 3, 18, 19, 22}));
  EXPECT_EQ(gpsParityErrCnt.load() - errors0, flips);
}

}  // namespace
