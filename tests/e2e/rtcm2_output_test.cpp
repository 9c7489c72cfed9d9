// The base station's RTCM 2 output on a serial port: "em" puts one null frame a second on
// dev/ser/b, each with the Z-count of the simulator's GPS time and the stream's sequence, every
// word's parity right (checked here by the IS-GPS-200 equations); "dm" stops them. (gpsd's
// gpsdecode does not lock onto a stream made of header-only frames: the unit oracle tests let it
// read null frames within longer streams.)
#include "e2e/harness.h"

namespace e2e {
namespace {

class Rtcm2Output : public Rx {};

// D25..D30 of data bits d (d1 in bit 23) after D29*, D30* (IS-GPS-200 Table 20-XIV).
std::uint32_t parity(std::uint32_t d, int d29, int d30) {
  static const int kEq[6][16] = {{1, 2, 3, 5, 6, 10, 11, 12, 13, 14, 17, 18, 20, 23},
                                 {2, 3, 4, 6, 7, 11, 12, 13, 14, 15, 18, 19, 21, 24},
                                 {1, 3, 4, 5, 7, 8, 12, 13, 14, 15, 16, 19, 20, 22},
                                 {2, 4, 5, 6, 8, 9, 13, 14, 15, 16, 17, 20, 21, 23},
                                 {1, 3, 5, 6, 7, 9, 10, 14, 15, 16, 17, 18, 21, 22, 24},
                                 {3, 5, 6, 8, 9, 10, 11, 13, 15, 19, 22, 23, 24}};
  std::uint32_t p = 0;
  for (int k = 0; k < 6; ++k) {
    int x = (k == 0 || k == 2 || k == 5) ? d29 : d30;
    for (int j = 0; j < 16 && kEq[k][j] != 0; ++j) x ^= static_cast<int>((d >> (24 - kEq[k][j])) & 1u);
    p = p << 1 | static_cast<std::uint32_t>(x);
  }
  return p;
}

struct Frame {
  int type, z, seq, words;
};

// Six-of-eight bytes to words (parity checked, the data made upright) and frames; `bad` counts
// bytes without the 01 tag, words failing parity and headers without the preamble.
std::vector<Frame> frames(const std::string& s, int& bad) {
  std::vector<std::uint32_t> w;
  int d29 = 0, d30 = 0;
  for (std::size_t i = 0; i + 5 <= s.size(); i += 5) {
    std::uint32_t v = 0;
    for (std::size_t k = 0; k < 5; ++k) {
      const auto b = static_cast<unsigned char>(s[i + k]);
      if ((b & 0xC0) != 0x40) ++bad;
      for (int j = 0; j < 6; ++j) v = v << 1 | ((b >> j) & 1u);
    }
    std::uint32_t d = (v >> 6) & 0xFFFFFF;
    if (d30) d ^= 0xFFFFFF;
    if (parity(d, d29, d30) != (v & 0x3F)) ++bad;
    d29 = static_cast<int>((v >> 1) & 1), d30 = static_cast<int>(v & 1);
    w.push_back(d);
  }
  std::vector<Frame> out;
  for (std::size_t i = 0; i + 2 <= w.size();) {
    if ((w[i] >> 16) != 0x66) {
      ++bad;
      ++i;
      continue;
    }
    const Frame f{static_cast<int>((w[i] >> 10) & 0x3F), static_cast<int>(w[i + 1] >> 11),
                  static_cast<int>((w[i + 1] >> 8) & 7), static_cast<int>((w[i + 1] >> 3) & 0x1F)};
    out.push_back(f);
    i += 2 + static_cast<std::size_t>(f.words);
  }
  return out;
}

TEST_F(Rtcm2Output, NullFrameEverySecondWithTheSimulatorsZCountUntilDisabled) {
  // 2024-06-01 11:29:30 UTC is 11:29:48 GPS: Z-count 2980 (1788 s into the hour).
  ASSERT_NO_FATAL_FAILURE(startSim({"--start", "2024-06-01T11:29:30"}));
  ASSERT_NO_FATAL_FAILURE(start());
  Port b(dir_.file("dev/ser/b"));
  ASSERT_TRUE(b.ok());
  ASSERT_EQ(ask("%e%em,/dev/ser/b,rtcm/6:1"), re("%e%"));
  b.fill([](const std::string&) { return false; }, 5500);
  int bad = 0;
  const std::vector<Frame> f = frames(b.held, bad);
  EXPECT_EQ(bad, 0);
  ASSERT_GE(f.size(), 3u) << b.held.size() << " bytes";
  for (std::size_t i = 0; i < f.size(); ++i) {
    EXPECT_EQ(f[i].type, 6) << i;
    EXPECT_EQ(f[i].words, 0) << i;
    EXPECT_GE(f[i].z, 2980) << i;
    EXPECT_LT(f[i].z, 2980 + 200) << i;
    EXPECT_EQ(f[i].seq, static_cast<int>(i % 8)) << i;
  }
  // One frame a whole second: the first second is the one multiple of 1000 ms in its Z-count.
  const long first = (f[0].z * 600L + 999) / 1000 * 1000;
  EXPECT_LT(first, f[0].z * 600L + 600);
  for (std::size_t i = 0; i < f.size(); ++i) EXPECT_EQ(f[i].z, (first + 1000L * static_cast<long>(i)) / 600) << i;
  ASSERT_EQ(ask("%d%dm,/dev/ser/b,rtcm"), re("%d%"));
  b.fill([](const std::string&) { return false; }, 1500);
  b.held.clear();
  b.fill([](const std::string&) { return false; }, 2500);
  EXPECT_TRUE(b.held.empty()) << b.held.size() << " bytes after dm";
}

}  // namespace
}  // namespace e2e
