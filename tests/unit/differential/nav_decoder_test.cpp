#include "differential/nav_decoder.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "differential/rtcm3_decoder.h"
#include "rtcm3_test_util.h"

namespace {

using rtcm3test::readFile;
using rtcm3test::recording;

// ---- CycleBuffer ----

TEST(CycleBuffer, PutSeeEraseAcrossTheWrap) {
  CycleBuffer cb(8);
  const unsigned char a[] = {1, 2, 3, 4, 5, 6};
  EXPECT_EQ(cb.put(a, 6), 6);
  EXPECT_EQ(cb.erase(4), 4);
  const unsigned char b[] = {7, 8, 9, 10, 11, 12, 13};
  EXPECT_EQ(cb.put(b, 7), 6);  // room for six
  EXPECT_TRUE(cb.full);
  EXPECT_EQ(cb.put(b, 1), 0);
  unsigned char out[16] = {};
  EXPECT_EQ(cb.see(out, 16), 8);
  const unsigned char want[] = {5, 6, 7, 8, 9, 10, 11, 12};
  EXPECT_EQ(std::vector<unsigned char>(out, out + 8), std::vector<unsigned char>(want, want + 8));
  EXPECT_EQ(cb.see(0), 5);
  EXPECT_EQ(cb.see(7), 12);
  EXPECT_EQ(cb.see(8), -1);
  EXPECT_EQ(cb.see(-1), -1);
  EXPECT_EQ(cb.erase(3), 3);
  EXPECT_FALSE(cb.full);
  EXPECT_EQ(cb.see(0), 8);
}

TEST(CycleBuffer, EraseEdgeCases) {
  struct Case {
    int held, erase, ret, left;
  };
  const Case cases[] = {{5, 0, 0, 5}, {5, -2, 0, 5}, {5, 5, 0, 0}, {5, 9, 0, 0}, {5, 4, 4, 1}};
  for (const Case& c : cases) {
    CycleBuffer cb(8);
    const unsigned char d[8] = {};
    cb.put(d, c.held);
    EXPECT_EQ(cb.erase(c.erase), c.ret) << c.erase;
    EXPECT_EQ(cb.count, c.left) << c.erase;
  }
}

// ---- BitReader ----

TEST(BitReader, SignConventions) {
  const unsigned char bits[] = {0b10011000};
  struct Case {
    int kind;  // 0 read_, 1 readI, 2 readS
    std::int64_t want;
  };
  const Case cases[] = {{0, 19}, {1, -13}, {2, -3}};
  for (const Case& c : cases) {
    BitReader br(bits, 8);
    br.reset(8, 0);
    std::int64_t v = 0;
    if (c.kind == 0) v = br.read_(5);
    if (c.kind == 1) v = br.readI(5);
    if (c.kind == 2) v = br.readS(5);
    EXPECT_EQ(v, c.want) << c.kind;
    EXPECT_TRUE(br.isOk());
  }
}

TEST(BitReader, FieldsAcrossBytesAndWideReads) {
  const unsigned char d[] = {0xFF, 0x00, 0xAB, 0xCD, 0xEF, 0x01, 0x23, 0x45, 0x67, 0x89};
  BitReader br(d, 80);
  br.reset(80, 4);
  EXPECT_EQ(br.read_(8), 0xF0u);
  EXPECT_EQ(br.read_(4), 0x0u);
  EXPECT_EQ(br.read_(32), 0xABCDEF01u);
  br.reset(80, 16);
  EXPECT_EQ(br.readUL(40), 0xABCDEF0123ull);
  br.reset(80, 0);
  // A 36-bit two's complement field: sign from its top bit.
  EXPECT_EQ(br.readIL(36), static_cast<std::int64_t>(0xFFFFFFFFF00ABCDEull));
  EXPECT_TRUE(br.isOk());
}

TEST(BitReader, ReadPastTheEndIsZeroAndSticky) {
  const unsigned char d[] = {0xFF, 0xFF};
  BitReader br(d, 16);
  br.reset(12, 0);
  EXPECT_EQ(br.read_(8), 0xFFu);
  EXPECT_EQ(br.read_(5), 0u);  // would pass the 12 valid bits
  EXPECT_FALSE(br.isOk());
  EXPECT_EQ(br.read_(1), 0u);  // stays invalid
  EXPECT_EQ(br.readI(2), 0);
  br.reset(12, 8);
  EXPECT_TRUE(br.isOk());
  EXPECT_EQ(br.read_(4), 0xFu);
  // Bad resets leave the reader invalid.
  br.reset(0, 0);
  EXPECT_FALSE(br.isOk());
  br.reset(17, 0);
  EXPECT_FALSE(br.isOk());
  br.reset(12, 13);
  EXPECT_FALSE(br.isOk());
  br.reset(12, 0);
  EXPECT_EQ(br.read_(33), 0u);
  EXPECT_FALSE(br.isOk());
}

// ---- BitPacker ----

// The RTCM 2 first header word: preamble 0x66 in data bits 1-8, message type in 9-14, station
// in 15-24 (RTCM 10402.3); data bit 1 is bit 29 of the word.
TEST(BitPacker, FirstHeaderWordOfRtcm2) {
  std::uint32_t w[2] = {};
  BitPacker::packBits(w, 0x66, BitPacker::desc(1, 1, 8));
  BitPacker::packBits(w, 18, BitPacker::desc(1, 9, 6));
  BitPacker::packBits(w, 268, BitPacker::desc(1, 15, 10));
  EXPECT_EQ(w[0], (0x66u << 22) | (18u << 16) | (268u << 6));
  // Bits above the field's top are masked off.
  std::uint32_t v[1] = {};
  BitPacker::packBits(v, 0xFFFF, BitPacker::desc(1, 21, 4));
  EXPECT_EQ(v[0], 0xFu << 6);
}

TEST(BitPacker, FieldSplitOverTwoWords) {
  std::uint32_t w[3] = {};
  // 32-bit value: its high 8 bits end word 2, its low 24 bits fill word 3's data bits.
  const std::uint32_t second = BitPacker::packBits(w, 0xA1B2C3D4u, BitPacker::desc(2, 17, 8),
                                                   BitPacker::desc(3, 1, 24));
  EXPECT_EQ(w[1], 0xA1u << 6);
  EXPECT_EQ(w[2], 0xB2C3D4u << 6);
  EXPECT_EQ(second, w[2]);
}

// ---- NAV_Decoder over a test kernel ----

// A kernel that never takes anything and never frees room.
struct StuckKernel : NAV_Decoder_Kernel {
  int states = 0;
  void reset() override {}
  int getDataSize() override { return 0; }
  void putData(const unsigned char*, int, InPorts::DecPortIndex) override {}
  int stateSynchro() override { return ++states, kWaitData; }
  int stateCollecting() override { return kWaitData; }
  int stateDecoding() override { return kSynchro; }
};

TEST(NavDecoder, KernelWithoutRoomDoesNotHangPutData) {
  StuckKernel k;
  NAV_Decoder d(&k);
  const unsigned char bytes[100] = {};
  d.putData(bytes, 100, 0);  // must return
  EXPECT_EQ(k.states, 1);
}

// Collects fixed 4-byte frames "F x y z"; holds at most 6 bytes.
struct SmallKernel : NAV_Decoder_Kernel {
  CycleBuffer cb{6};
  std::vector<int> frames;
  int collects = 0, synchros = 0;
  void reset() override { cb.clean(); }
  int getDataSize() override { return cb.getFree(); }
  void putData(const unsigned char* b, int n, InPorts::DecPortIndex) override { cb.put(b, n); }
  int stateSynchro() override {
    ++synchros;
    while (cb.count > 0 && cb.see(0) != 'F') cb.erase(1);
    return cb.count > 0 ? kCollecting : kWaitData;
  }
  int stateCollecting() override {
    ++collects;
    return cb.count < 4 ? kWaitData : kDecoding;
  }
  int stateDecoding() override {
    unsigned char f[4];
    cb.see(f, 4);
    frames.push_back(f[1] << 16 | f[2] << 8 | f[3]);
    cb.erase(4);
    return kSynchro;
  }
};

TEST(NavDecoder, MoreBytesThanTheRingAreFedInSlices) {
  SmallKernel k;
  NAV_Decoder d(&k);
  std::vector<unsigned char> in;
  for (int i = 0; i < 10; ++i) in.insert(in.end(), {'F', 1, 2, static_cast<unsigned char>(i)});
  d.putData(in.data(), static_cast<int>(in.size()), 3);
  ASSERT_EQ(k.frames.size(), 10u);
  for (int i = 0; i < 10; ++i) EXPECT_EQ(k.frames[i], 0x010200 | i);
}

TEST(NavDecoder, WaitingInCollectResumesWithoutSearchingAgain) {
  SmallKernel k;
  NAV_Decoder d(&k);
  const unsigned char a[] = {'F', 9};
  d.putData(a, 2, 0);
  EXPECT_EQ(d.state, 1);
  const int synchros = k.synchros;
  const unsigned char b[] = {8, 7};
  d.putData(b, 2, 0);
  EXPECT_EQ(k.synchros, synchros + 1);  // only the search after the decoded frame
  ASSERT_EQ(k.frames.size(), 1u);
  EXPECT_EQ(k.frames[0], 0x090807);
  // Nothing for empty or null input.
  d.putData(nullptr, 5, 0);
  d.putData(b, 0, 0);
  EXPECT_EQ(k.frames.size(), 1u);
}

// The same frames, in the same order, whatever the sizes of the chunks a port delivers.
TEST(NavDecoder, SameFramesForAnyChunking) {
  const std::vector<unsigned char> data = readFile(recording("testglo.rtcm3"));
  ASSERT_GT(data.size(), 50000u);
  auto decodeInChunks = [&](std::mt19937& rng, int maxChunk) {
    static RTC3_Decoder dec;  // one kernel, restarted for each run
    rtcm3test::RecordingClient client;
    dec.initDecoder(&client);
    NAV_Decoder d(&dec);
    std::uniform_int_distribution<int> size(1, maxChunk);
    std::size_t off = 0;
    while (off < data.size()) {
      const int n = std::min<int>(size(rng), static_cast<int>(data.size() - off));
      d.putData(data.data() + off, n, 2);
      off += n;
    }
    return std::make_pair(client.goodMessages(), client.statuses.back().badFrames);
  };
  std::mt19937 rng0(1);
  const auto whole = decodeInChunks(rng0, static_cast<int>(data.size()));
  ASSERT_EQ(whole.first.size(), 429u);
  for (int maxChunk : {1, 2, 3, 7, 64, 1000, 4096}) {
    for (unsigned seed : {11u, 12u}) {
      std::mt19937 rng(seed * 1000 + maxChunk);
      const auto got = decodeInChunks(rng, maxChunk);
      EXPECT_EQ(got.first, whole.first) << "max chunk " << maxChunk << " seed " << seed;
      EXPECT_EQ(got.second, whole.second) << "max chunk " << maxChunk;
    }
  }
}

}  // namespace
