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

TEST(GpsParity, MasksAreTheIcdEquations) {
  for (int k = 0; k < 6; ++k) {
    std::uint32_t mask = 0;
    for (int b : kEquations[k]) {
      if (b == 29) mask |= 1u << 31;
      else if (b == 30) mask |= 1u << 30;
      else mask |= 1u << (30 - b);
    }
    EXPECT_EQ(GPS_PAR[k], mask) << "D" << 25 + k;
  }
}

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
    const std::uint32_t data = (sent & 0x40000000u) ? sent ^ 0x3FFFFFC0u : sent;
    const bool want = equationParity(data) == (data & 0x3Fu);
    std::uint32_t w = sent;
    ASSERT_EQ(GpsParity::checkParity(&w, 1), want ? 1 : 0) << std::hex << sent;
    EXPECT_EQ(w, data);
    EXPECT_EQ(GpsParity::parityBits(data), equationParity(data));
    passed += want;
  }
  EXPECT_GT(passed, 2000);  // about one in 64
}

// ---- RTCM 2 recording: 30-bit words in "6 of 8" bytes -------------------------------------

// Transmitted bit stream of a recording: only bytes marked 01 in their top bits carry data,
// six bits each, the first bit sent in bit 0 of the byte.
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
  std::uint32_t w = (static_cast<std::uint32_t>(bits[pos - 2]) << 31) |
                    (static_cast<std::uint32_t>(bits[pos - 1]) << 30);
  for (int k = 0; k < 30; ++k) w |= static_cast<std::uint32_t>(bits[pos + k]) << (29 - k);
  return w;
}

bool passes(std::uint32_t w, std::uint32_t* data = nullptr) {
  const int ok = GpsParity::checkParity(&w, 1);
  if (data) *data = w;
  return ok == 1;
}

// First position where a header (preamble 0x66) and the next word both pass.
std::size_t findSync(const std::vector<std::uint8_t>& bits, std::size_t from) {
  for (std::size_t p = std::max<std::size_t>(from, 2); p + 60 <= bits.size(); ++p) {
    std::uint32_t d = 0;
    if (passes(rawWord(bits, p), &d) && ((d >> 22) & 0xFFu) == 0x66u && passes(rawWord(bits, p + 30))) {
      return p;
    }
  }
  return bits.size();
}

struct Frame {
  std::vector<std::uint32_t> raw;   // as transmitted, with the carried D29*D30*
  std::vector<std::uint32_t> data;  // after the check
  int type;
};

struct Walk {
  std::vector<Frame> frames;
  std::size_t failures = 0;
  std::size_t syncAt = 0;
  std::size_t end = 0;
  std::size_t totalBits = 0;
};

const Walk& recording() {
  static const Walk walk = [] {
    Walk w;
    std::ifstream in(std::string(RX_SHARED_DIR) + "/testdata/rtcm2/testglo.rtcm2", std::ios::binary);
    const std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                                          std::istreambuf_iterator<char>());
    const auto bits = rtcm2Bits(bytes);
    w.totalBits = bits.size();
    std::size_t p = findSync(bits, 0);
    w.syncAt = p;
    // Follow the frames by their length field; any word that fails ends the walk there.
    while (p + 60 <= bits.size()) {
      Frame f;
      std::uint32_t d1 = 0, d2 = 0;
      const std::uint32_t h1 = rawWord(bits, p), h2 = rawWord(bits, p + 30);
      if (!passes(h1, &d1) || ((d1 >> 22) & 0xFFu) != 0x66u || !passes(h2, &d2)) {
        ++w.failures;
        break;
      }
      f.type = static_cast<int>((d1 >> 16) & 0x3Fu);
      const std::size_t n = (d2 >> 9) & 0x1Fu;
      if (p + 30 * (2 + n) > bits.size()) break;  // recording ends inside a frame
      for (std::size_t k = 0; k < 2 + n; ++k) {
        const std::uint32_t r = rawWord(bits, p + 30 * k);
        std::uint32_t d = 0;
        if (!passes(r, &d)) ++w.failures;
        f.raw.push_back(r);
        f.data.push_back(d);
      }
      w.frames.push_back(f);
      p += 30 * (2 + n);
    }
    w.end = p;
    return w;
  }();
  return walk;
}

TEST(GpsParity, EveryWordOfTheRtcm2RecordingPassesAfterSync) {
  const Walk& w = recording();
  ASSERT_GT(w.totalBits, 0u) << "recording not found";
  EXPECT_EQ(w.failures, 0u);
  // The recording holds 1728 messages; the first lies inside the leading text.
  EXPECT_GE(w.frames.size(), 1700u);
  EXPECT_LT(w.totalBits - w.end, 60u) << "walk stopped early";
  std::set<int> types;
  std::size_t words = 0;
  for (const Frame& f : w.frames) {
    types.insert(f.type);
    words += f.raw.size();
  }
  EXPECT_EQ(types, (std::set<int>{1, 3, 18, 19, 22}));
  EXPECT_GT(words, 29000u);
}

TEST(GpsParity, AnySingleBitFlipInARecordedWordFails) {
  const Walk& w = recording();
  ASSERT_FALSE(w.frames.empty());
  const std::uint32_t before = gpsParityErrCnt.load();
  std::size_t flips = 0;
  for (const Frame& f : w.frames) {
    for (std::uint32_t raw : f.raw) {
      for (int b = 0; b < 32; ++b) {
        std::uint32_t x = raw ^ (1u << b);
        ASSERT_EQ(GpsParity::checkParity(&x, 1), 0) << std::hex << raw << " bit " << std::dec << b;
        ++flips;
      }
    }
  }
  EXPECT_EQ(gpsParityErrCnt.load() - before, flips);
}

TEST(GpsParity, AddParityReproducesTheRecordedWords) {
  const Walk& w = recording();
  ASSERT_FALSE(w.frames.empty());
  for (const Frame& f : w.frames) {
    std::vector<std::uint32_t> words = f.data;
    std::uint32_t carry = f.raw[0] >> 30;
    const std::uint32_t last = GpsParity::addParity(words.data(), static_cast<int>(words.size()), carry);
    EXPECT_EQ(last, carry);
    ASSERT_EQ(words, f.raw);
    EXPECT_EQ(last, f.raw.back() & 3u);
  }
}

TEST(GpsParity, AddThenCheckRestoresTheData) {
  std::mt19937 rng(200);
  for (int trial = 0; trial < 200; ++trial) {
    std::vector<std::uint32_t> data(1 + rng() % 33);
    for (auto& d : data) d = rng() & 0x3FFFFFC0u;
    std::vector<std::uint32_t> words = data;
    std::uint32_t carry = 0;
    GpsParity::addParity(words.data(), static_cast<int>(words.size()), carry);
    ASSERT_EQ(GpsParity::checkParity(words.data(), static_cast<int>(words.size())), 1);
    for (std::size_t i = 0; i < data.size(); ++i) {
      EXPECT_EQ(words[i] & 0x3FFFFFC0u, data[i]);
    }
  }
}

TEST(GpsParity, FailingWordStillHasItsDataInverted) {
  std::uint32_t data[1] = {0x2ABCDE00u & 0x3FFFFFC0u};
  std::uint32_t carry = 1;  // D30* set: sent inverted
  GpsParity::addParity(data, 1, carry);
  const std::uint32_t sent = data[0];
  std::uint32_t bad = sent ^ 1u;  // break a parity bit
  const std::uint32_t before = gpsParityErrCnt.load();
  EXPECT_EQ(GpsParity::checkParity(&bad, 1), 0);
  EXPECT_EQ(gpsParityErrCnt.load(), before + 1);
  EXPECT_EQ(bad & 0x3FFFFFC0u, (sent ^ 0x3FFFFFC0u) & 0x3FFFFFC0u);
}

TEST(GpsParity, CheckStopsAtTheFirstFailingWord) {
  std::vector<std::uint32_t> words = {0x00000000u, 0x12345600u, 0x0ABCDE00u};
  std::uint32_t carry = 0;
  GpsParity::addParity(words.data(), 3, carry);
  words[1] ^= 0x100u;
  std::vector<std::uint32_t> copy = words;
  EXPECT_EQ(GpsParity::checkParity(words.data(), 3), 0);
  EXPECT_EQ(words[2], copy[2]);  // not reached
  EXPECT_EQ(GpsParity::checkParity(words.data(), 0), 1);
  EXPECT_EQ(GpsParity::checkParity(nullptr, -3), 1);
}

}  // namespace
