// CRC-24Q against its published check value, a plain bit-at-a-time reference and real RTCM 3
// frames recorded from receivers and casters.
#include "platform/crc.h"

#include <gtest/gtest.h>

#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace {

// Straight from the definition: shift in one message bit at a time.
std::uint32_t bitwiseCrc24q(std::uint32_t crc, const std::uint8_t* data, std::uint32_t bits) {
  for (std::uint32_t i = 0; i < bits; ++i) {
    const std::uint32_t in = (data[i / 8] >> (7 - i % 8)) & 1u;
    const std::uint32_t top = ((crc >> 23) & 1u) ^ in;
    crc = (crc << 1) & 0xFFFFFF;
    if (top) crc ^= 0x1864CFB & 0xFFFFFF;
  }
  return crc;
}

TEST(Crc24q, CheckValue) {
  const std::string s = "123456789";
  EXPECT_EQ(crc24q(0, reinterpret_cast<const std::uint8_t*>(s.data()), 72), 0xCDE703u);
  EXPECT_EQ(crc24q(0, nullptr, 0), 0u);
}

TEST(Crc24q, MatchesBitwiseReferenceOverAnyBitCount) {
  std::mt19937 rng(7);
  std::vector<std::uint8_t> data(64);
  for (auto& b : data) b = static_cast<std::uint8_t>(rng());
  for (std::uint32_t bits = 0; bits <= 64 * 8; bits += (bits < 40 ? 1 : 13)) {
    for (std::uint32_t init : {0u, 0x123456u, 0xFFFFFFu}) {
      SCOPED_TRACE(bits);
      EXPECT_EQ(crc24q(init, data.data(), bits), bitwiseCrc24q(init, data.data(), bits));
    }
  }
}

TEST(Crc24q, ChainsOverWholeBytes) {
  const std::uint8_t d[] = {0xD3, 0x00, 0x13, 0x3E, 0xD7, 0xD3, 0x02, 0x02, 0x98};
  const std::uint32_t part = crc24q(0, d, 32);
  EXPECT_EQ(crc24q(part, d + 4, 40), crc24q(0, d, 72));
}

TEST(Crc24q, RecordedRtcm3FramesCheck) {
  for (const char* name : {"rtcm3/standard-examples-1029-1005.rtcm3", "rtcm3/uscl00chl0.rtcm3", "rtcm3/testglo.rtcm3"}) {
    SCOPED_TRACE(name);
    std::ifstream f(std::string(RX_SHARED_DIR) + "/testdata/" + name, std::ios::binary);
    ASSERT_TRUE(f) << "missing test data";
    std::ostringstream ss;
    ss << f.rdbuf();
    const std::string s = ss.str();
    const auto* p = reinterpret_cast<const std::uint8_t*>(s.data());
    int frames = 0;
    for (std::size_t i = 0; i + 6 <= s.size();) {
      const std::size_t len = ((p[i + 1] & 0x03u) << 8) | p[i + 2];
      if (p[i] != 0xD3 || (p[i + 1] & 0xFC) != 0 || i + len + 6 > s.size()) {
        ++i;
        continue;
      }
      const std::uint32_t want = (p[i + len + 3] << 16) | (p[i + len + 4] << 8) | p[i + len + 5];
      if (crc24q(0, p + i, static_cast<std::uint32_t>((len + 3) * 8)) == want) {
        ++frames;
        i += len + 6;
      } else {
        ++i;
      }
    }
    EXPECT_GE(frames, 2);
  }
}

}  // namespace
