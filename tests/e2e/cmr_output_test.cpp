// The base station's CMR output on a serial port: frames each second with the receiver's time,
// every byte inside a frame whose checksum and ETX hold, until the messages are disabled.
#include <string>
#include <vector>

#include "e2e/harness.h"

namespace e2e {
namespace {

class CmrOutput : public Rx {};

struct Frame {
  int packet;
  std::vector<unsigned char> data;
};

// STX, status 0, packet type, length, data, checksum (status + type + length + data), ETX; `bad`
// counts bytes that start no valid frame.
std::vector<Frame> frames(const std::string& s, int& bad) {
  std::vector<Frame> out;
  const auto* b = reinterpret_cast<const unsigned char*>(s.data());
  const std::size_t n = s.size();
  for (std::size_t i = 0; i < n;) {
    const std::size_t len = i + 4 <= n ? b[i + 3] : 0;
    if (i + 6 > n || b[i] != 0x02 || b[i + 1] != 0 || (b[i + 2] != 0x93 && b[i + 2] != 0x94) || i + 6 + len > n) {
      ++bad, ++i;
      continue;
    }
    unsigned sum = b[i + 1] + b[i + 2] + b[i + 3];
    for (std::size_t k = 0; k < len; ++k) sum += b[i + 4 + k];
    if ((sum & 0xFF) != b[i + 4 + len] || b[i + 5 + len] != 0x03) {
      ++bad, ++i;
      continue;
    }
    out.push_back({b[i + 2], std::vector<unsigned char>(b + i + 4, b + i + 4 + len)});
    i += 6 + len;
  }
  return out;
}

TEST_F(CmrOutput, StationFramesEachSecondUntilDisabled) {
  // 2024-06-01 11:29:30 UTC is 11:29:48 GPS, 6 days 11:29:48 into the GPS week.
  ASSERT_NO_FATAL_FAILURE(startSim({"--start", "2024-06-01T11:29:30"}));
  ASSERT_NO_FATAL_FAILURE(start());
  Port b(dir_.file("dev/ser/b"));
  ASSERT_TRUE(b.ok());
  ASSERT_EQ(ask("%e%em,/dev/ser/b,cmr/{1,2,9}:1"), re("%e%"));
  b.fill([](const std::string&) { return false; }, 5500);
  int bad = 0;
  const std::vector<Frame> f = frames(b.held, bad);
  EXPECT_EQ(bad, 0);
  std::vector<long> descTimes;
  for (const Frame& x : f) {
    if (x.packet != 0x93) continue;
    ASSERT_GE(x.data.size(), 6u);
    EXPECT_EQ(x.data[0] >> 5, 3) << "version 3";
    const int type = x.data[1] >> 5;
    EXPECT_TRUE(type == 1 || type == 2) << type;
    if (type != 2) continue;
    // Header, a length byte counting the names, short name 8, COGO 16, long name with its zero.
    EXPECT_EQ(x.data.size(), 7u + x.data[6]);
    EXPECT_GE(x.data[6], 25);
    descTimes.push_back(static_cast<long>(x.data[2]) << 10 | x.data[3] << 2 | x.data[4] >> 6);
  }
  ASSERT_GE(descTimes.size(), 3u) << b.held.size() << " bytes";
  const long weekMs = ((6L * 24 + 11) * 3600 + 29 * 60 + 48) * 1000;
  for (std::size_t i = 0; i < descTimes.size(); ++i) {
    EXPECT_EQ(descTimes[i] % 1000, 0) << i;
    if (i > 0) {
      EXPECT_EQ((descTimes[i] - descTimes[i - 1] + 240000) % 240000, 1000) << i;
    }
    EXPECT_LT((descTimes[i] - weekMs % 240000 + 240000) % 240000, 30000) << i;
  }
  ASSERT_EQ(ask("%d%dm,/dev/ser/b,cmr"), re("%d%"));
  b.fill([](const std::string&) { return false; }, 1500);
  b.held.clear();
  b.fill([](const std::string&) { return false; }, 2500);
  EXPECT_TRUE(b.held.empty()) << b.held.size() << " bytes after dm";
}

}  // namespace
}  // namespace e2e
