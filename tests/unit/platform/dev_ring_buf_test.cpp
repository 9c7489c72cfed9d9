#include "platform/dev_ring_buf.h"

#include <gtest/gtest.h>

#include <random>
#include <thread>
#include <vector>

namespace {

TEST(DevRingBuf, FillsWrapsAndRefusesWhatDoesNotFit) {
  std::uint8_t mem[16];
  DevRingBuf r(mem, 16);
  std::uint8_t out[32];
  std::uint8_t in[32];
  for (int i = 0; i < 32; ++i) in[i] = static_cast<std::uint8_t>(i);
  EXPECT_EQ(r.put(in, 10), 10u);
  EXPECT_EQ(r.get(out, 6), 6u);
  EXPECT_EQ(out[5], 5);
  // Room is 12; the write crosses the end of the buffer.
  EXPECT_EQ(r.put(in + 10, 20), 12u);
  EXPECT_EQ(r.room(), 0u);
  EXPECT_EQ(r.put(in, 1), 0u);
  EXPECT_EQ(r.get(out, 32), 16u);
  for (int i = 0; i < 16; ++i) EXPECT_EQ(out[i], i + 6) << i;
  EXPECT_EQ(r.get(out, 1), 0u);
}

TEST(DevRingBuf, SizeIsCutToPowerOfTwo) {
  std::uint8_t mem[100];
  struct Case {
    std::uint32_t given, want;
  };
  for (Case c : {Case{100, 64}, Case{64, 64}, Case{1, 1}, Case{0, 0}, Case{3, 2}}) {
    DevRingBuf r(mem, c.given);
    EXPECT_EQ(r.size(), c.want) << c.given;
    std::uint8_t x[200] = {};
    EXPECT_EQ(r.put(x, 200), c.want);
  }
}

TEST(DevRingBuf, ExternalPositionsAcrossCounterWrap) {
  std::uint8_t mem[8];
  DevRingBuf r(mem, 8);
  std::uint32_t wr = 0xFFFFFFFCu, rd = 0xFFFFFFFCu;
  const std::uint8_t in[6] = {'a', 'b', 'c', 'd', 'e', 'f'};
  EXPECT_EQ(r.putAt(wr, rd, in, 6), 6u);
  EXPECT_EQ(wr, 2u);
  std::uint8_t out[6] = {};
  EXPECT_EQ(r.getAt(rd, wr, out, 6), 6u);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(out), 6), "abcdef");
  // Positions that cannot belong to one ring are refused rather than trusted.
  std::uint32_t badRd = wr - 100;
  EXPECT_EQ(r.getAt(badRd, wr, out, 6), 0u);
  EXPECT_EQ(r.putAt(wr, badRd, in, 6), 0u);
}

TEST(DevRingBuf, OneWriterOneReaderKeepOrder) {
  std::vector<std::uint8_t> mem(64);
  DevRingBuf r(mem.data(), 64);
  constexpr int kTotal = 200000;
  std::thread writer([&] {
    std::uint8_t v = 0;
    for (int sent = 0; sent < kTotal;) {
      std::uint8_t chunk[7];
      int n = std::min(7, kTotal - sent);
      for (int i = 0; i < n; ++i) chunk[i] = static_cast<std::uint8_t>(v + i);
      std::uint32_t k = r.put(chunk, static_cast<std::uint32_t>(n));
      v = static_cast<std::uint8_t>(v + k);
      sent += static_cast<int>(k);
      if (k == 0) std::this_thread::yield();
    }
  });
  std::uint8_t want = 0;
  int got = 0;
  bool inOrder = true;
  while (got < kTotal) {
    std::uint8_t buf[13];
    std::uint32_t k = r.get(buf, 13);
    for (std::uint32_t i = 0; i < k; ++i) inOrder = inOrder && buf[i] == want++;
    got += static_cast<int>(k);
    if (k == 0) std::this_thread::yield();
  }
  writer.join();
  EXPECT_TRUE(inOrder);
}

}  // namespace
