// Repacking raw message words: the LNAV vectors carry each subframe both as ten 30-bit words and
// as the 300 bits packed from the first bit on; the GLONASS strings are cut into 25-bit words
// here and must come back as they were.
#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "positioning/engine/pvt_engine.h"

namespace {

const std::string kVectors = std::string(RX_SHARED_DIR) + "/testdata/navmsg/gnsstk_nav_messages.csv";

struct Vector {
  std::string name, navType;
  int nbits = 0;
  std::vector<std::uint8_t> bytes;            // MSB first, zero padded
  std::vector<std::uint32_t> words;           // words_hex_nbits values
  std::vector<int> wordBits;
};

// Splits one CSV line, the quoted field kept whole.
std::vector<std::string> fields(const std::string& line) {
  std::vector<std::string> out;
  std::string cur;
  bool quoted = false;
  for (char c : line) {
    if (c == '"') quoted = !quoted;
    else if (c == ',' && !quoted) {
      out.push_back(cur);
      cur.clear();
    } else cur += c;
  }
  out.push_back(cur);
  return out;
}

std::vector<Vector> load(const std::string& navType) {
  std::vector<Vector> out;
  std::ifstream in(kVectors);
  std::string line;
  std::getline(in, line);
  while (std::getline(in, line)) {
    const auto f = fields(line);
    if (f.size() < 11 || f[6] != navType) continue;
    Vector v;
    v.name = f[0];
    v.nbits = std::stoi(f[8]);
    for (std::size_t i = 0; i + 1 < f[9].size(); i += 2)
      v.bytes.push_back(static_cast<std::uint8_t>(std::stoul(f[9].substr(i, 2), nullptr, 16)));
    std::istringstream ws(f[10]);
    std::string w;
    while (ws >> w) {
      const auto slash = w.find('/');
      v.words.push_back(static_cast<std::uint32_t>(std::stoul(w.substr(0, slash), nullptr, 16)));
      v.wordBits.push_back(std::stoi(w.substr(slash + 1)));
    }
    out.push_back(v);
  }
  return out;
}

// Bit i (0 first) of an MSB-first byte string.
int bitAt(const std::vector<std::uint8_t>& b, int i) { return (b[i / 8] >> (7 - i % 8)) & 1; }
int bitAt(const std::uint32_t* w, int i) { return (w[i / 32] >> (31 - i % 32)) & 1; }

TEST(PvtEngineRepack, LnavSubframesOfTheVectors) {
  const auto vs = load("GPSLNAV");
  ASSERT_EQ(vs.size(), 16u) << kVectors;
  for (const Vector& v : vs) {
    ASSERT_EQ(v.words.size(), 10u) << v.name;
    for (int b : v.wordBits) ASSERT_EQ(b, 30) << v.name;
    std::uint32_t in[10], out[10];
    // Whatever sits above the 30 data bits must not leak into the subframe.
    for (int i = 0; i < 10; ++i) in[i] = v.words[i] | 0xC0000000u;
    repack_Buffer(10, 2, in, out);
    for (int i = 0; i < 300; ++i) ASSERT_EQ(bitAt(out, i), bitAt(v.bytes, i)) << v.name << " bit " << i;
    for (int i = 300; i < 320; ++i) ASSERT_EQ(bitAt(out, i), 0) << v.name << " tail bit " << i;
  }
}

TEST(PvtEngineRepack, GlonassStringsInTwentyFiveBitWords) {
  const auto vs = load("GloCivilF");
  ASSERT_FALSE(vs.empty());
  for (const Vector& v : vs) {
    std::uint32_t in[4] = {}, out[4];
    for (int i = 0; i < 100; ++i) {
      const int bit = i < v.nbits ? bitAt(v.bytes, i) : 0;
      in[i / 25] |= static_cast<std::uint32_t>(bit) << (24 - i % 25);
    }
    repack_Buffer(4, 7, in, out);
    for (int i = 0; i < v.nbits; ++i) ASSERT_EQ(bitAt(out, i), bitAt(v.bytes, i)) << v.name << " bit " << i;
    for (int i = 100; i < 128; ++i) ASSERT_EQ(bitAt(out, i), 0) << v.name << " tail bit " << i;
  }
}

// Every shift and count against a bit-by-bit packing; nothing written past n words.
TEST(PvtEngineRepack, EveryShiftAgainstBitByBit) {
  std::mt19937 rng(7);
  for (int k = 0; k <= 31; ++k) {
    for (int n : {1, 2, 3, 10, 28}) {
      std::vector<std::uint32_t> in(n), out(n + 1, 0xA5A5A5A5u);
      for (auto& w : in) w = rng();
      repack_Buffer(n, k, in.data(), out.data());
      const int bits = 32 - k;
      for (int i = 0; i < n * 32; ++i) {
        const int word = i / bits, pos = i % bits;
        const int expect = word < n ? (in[word] >> (bits - 1 - pos)) & 1 : 0;
        ASSERT_EQ(bitAt(out.data(), i), expect) << "k " << k << " n " << n << " bit " << i;
      }
      ASSERT_EQ(out[n], 0xA5A5A5A5u) << "k " << k << " n " << n;
    }
  }
  std::uint32_t w = 5, o = 9;
  repack_Buffer(1, 32, &w, &o);  // no such shift: nothing written
  repack_Buffer(0, 2, &w, &o);
  EXPECT_EQ(o, 9u);
}

}  // namespace
