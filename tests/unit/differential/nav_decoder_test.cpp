#include "differential/nav_decoder.h"

#include <array>

#include "differential/rtcm3_decoder.h"
#include "rtcm3_test_util.h"

namespace {

using rtcm3test::Bytes;

TEST(CycleBuffer, PutSeeEraseAcrossTheWrap) {
  CycleBuffer cb(8);
  const unsigned char a[] = {1, 2, 3, 4, 5, 6}, b[] = {7, 8, 9, 10, 11, 12, 13};
  cb.put(a, 6), cb.erase(4);
  EXPECT_EQ((std::tuple{cb.put(b, 7), cb.full, cb.put(b, 1)}), std::tuple(6, true, 0));  // room for six
  unsigned char out[16] = {};
  EXPECT_EQ(cb.see(out, 16), 8);
  EXPECT_EQ(Bytes(out, out + 8), (Bytes{5, 6, 7, 8, 9, 10, 11, 12}));
  EXPECT_EQ(std::tuple(cb.see(7), cb.see(8), cb.see(-1)), std::tuple(12, -1, -1));
  // Held 5, asked to erase, returned, left: erasing all or more returns 0 and empties the ring.
  for (const auto& [erase, ret, left] : std::initializer_list<std::array<int, 3>>{{0, 0, 5}, {-2, 0, 5}, {5, 0, 0}, {9, 0, 0}, {4, 4, 1}}) {
    CycleBuffer c(8);
    c.put(a, 5);
    EXPECT_EQ(std::tuple(c.erase(erase), c.count), std::tuple(ret, left)) << erase;
  }
}

TEST(BitReader, SignConventionsWideFieldsAndTheEnd) {
  const unsigned char s[] = {0b10011000};
  BitReader r(s, 8);
  r.reset(8, 0);
  EXPECT_EQ(r.readI(5), -13);
  r.reset(8, 0);
  EXPECT_EQ(r.readS(5), -3);
  const unsigned char d[] = {0xFF, 0x00, 0xAB, 0xCD, 0xEF, 0x01, 0x23, 0x45, 0x67, 0x89};
  BitReader br(d, 80);
  br.reset(80, 12);
  EXPECT_EQ(br.read_(32), 0x0ABCDEF0u);
  br.reset(80, 16);
  EXPECT_EQ(br.readUL(40), 0xABCDEF0123ull);
  br.reset(80, 0);
  EXPECT_EQ(br.readIL(36), static_cast<std::int64_t>(0xFFFFFFFFF00ABCDEull));  // sign from bit 36
  // Reads past the valid bits give 0 and leave the reader invalid until a good reset; bad resets too.
  br.reset(12, 0);
  EXPECT_EQ((std::tuple{br.read_(8), br.read_(5), br.isOk(), br.readI(2)}), std::tuple(0xFFu, 0u, false, 0));
  br.reset(12, 4);
  EXPECT_EQ((std::tuple{br.read_(4), br.isOk()}), std::tuple(0xFu, true));
  for (const auto& [len, start, n] : std::initializer_list<std::array<int, 3>>{{0, 0, 0}, {81, 0, 0}, {12, 13, 0}, {12, 0, 33}}) {
    br.reset(len, start);
    EXPECT_EQ((std::tuple{br.read_(n), br.isOk()}), std::tuple(0u, false)) << len << " " << start;
  }
}

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

// A kernel that never takes anything and never frees room must not hang the caller.
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

// The same frames, in the same order, whatever the sizes of the chunks a port delivers.
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
