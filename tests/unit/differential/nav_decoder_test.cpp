#include "differential/nav_decoder.h"

#include <array>

#include "differential/rtcm3_decoder.h"
#include "rtcm3_test_util.h"

namespace {

using rtcm3test::Bytes;

// RTCM 10402.3 first header word: preamble 0x66 in data bits 1-8, type 9-14, station 15-24; data bit 1 is bit 29.
TEST(BitPacker, Rtcm2HeaderWordSplitFieldsAndMasks) {
  std::uint32_t w[3] = {};
  BitPacker::packBits(w, 0x66, BitPacker::desc(1, 1, 8));
  BitPacker::packBits(w, 18, BitPacker::desc(1, 9, 6));
  BitPacker::packBits(w, 268, BitPacker::desc(1, 15, 10));
  EXPECT_EQ(w[0], (0x66u << 22) | (18u << 16) | (268u << 6));
  // A 32-bit value: its high 8 bits end word 2, its low 24 bits fill word 3's data bits.
  EXPECT_EQ(BitPacker::packBits(w, 0xA1B2C3D4u, BitPacker::desc(2, 17, 8), BitPacker::desc(3, 1, 24)), 0xB2C3D4u << 6);
  EXPECT_EQ(std::tuple(w[1], w[2]), std::tuple(0xA1u << 6, 0xB2C3D4u << 6));
  std::uint32_t v[1] = {};
  BitPacker::packBits(v, 0xFFFF, BitPacker::desc(1, 21, 4));  // bits above the field's top masked off
  EXPECT_EQ(v[0], 0xFu << 6);
  // Descriptors that name no field (word 0, first bit 0, a field past the word) write nothing.
  for (std::uint32_t bad : {BitPacker::desc(0, 1, 8), BitPacker::desc(1, 0, 8), BitPacker::desc(1, 20, 20)}) {
    BitPacker::packBits(v, 0xFFFFFFFFu, bad);
    EXPECT_EQ(v[0], 0xFu << 6) << bad;
  }
}

TEST(NavDecoder, KernelWithoutRoomDoesNotHangPutData) {
  struct StuckKernel : NAV_Decoder_Kernel {
    int states = 0;
    void reset() override {}
    int getDataSize() override { return 0; }
    void putData(const unsigned char*, int, InPorts::DecPortIndex) override {}
    int stateSynchro() override { return ++states, kWaitData; }
    int stateCollecting() override { return kWaitData; }
    int stateDecoding() override { return kSynchro; }
  } stuck;
  NAV_Decoder d(&stuck);
  const unsigned char zeros[100] = {};
  d.putData(zeros, 100, static_cast<InPorts::DecPortIndex>(0));
  EXPECT_EQ(stuck.states, 1);
}

TEST(NavDecoder, SameFramesForAnyChunking) {
  const Bytes data = rtcm3test::readFile(rtcm3test::recording("testglo.rtcm3"));
  auto decodeInChunks = [&](std::mt19937& rng, int maxChunk) {
    static RTC3_Decoder dec;  // one kernel, restarted for each run
    rtcm3test::RecordingClient client;
    dec.initDecoder(&client);
    NAV_Decoder d(&dec);
    std::uniform_int_distribution<int> size(1, maxChunk);
    for (int off = 0, n; off < static_cast<int>(data.size()); off += n)
      d.putData(data.data() + off, n = std::min<int>(size(rng), static_cast<int>(data.size()) - off), static_cast<InPorts::DecPortIndex>(2));
    return std::make_pair(client.goodMessages(), client.statuses.back().badFrames);
  };
  std::mt19937 rng0(1);
  const auto whole = decodeInChunks(rng0, static_cast<int>(data.size()));
  ASSERT_EQ(whole.first.size(), 429u);
  for (int maxChunk : {1, 2, 3, 7, 64, 1000, 4096})
    for (unsigned seed : {11u, 12u}) {
      std::mt19937 rng(seed * 1000 + maxChunk);
      EXPECT_EQ(decodeInChunks(rng, maxChunk), whole) << "max chunk " << maxChunk << " seed " << seed;
    }
}

}  // namespace
