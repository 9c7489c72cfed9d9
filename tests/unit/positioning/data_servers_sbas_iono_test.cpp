// The SBAS ionosphere grid server: per-point packing and band records.
#include <gtest/gtest.h>

#include "positioning/data_servers/pvt_data.h"

namespace {

SBASData::IonoCorrectionType corr(std::uint32_t bits) { return SBASData::IonoCorrectionType{bits}; }

// Every 20-bit correction value comes back as it went in, at every grid point of every band.
TEST(SbasIonoServer, PackAndUnpackRoundTripOverAllValues) {
  auto& s = PVTDataInstance.sbasIonoCorrection[0];
  for (std::uint32_t v = 0; v < (1u << 20); ++v) {
    const int point = static_cast<int>(v % SBASData::kIonoBandPoints);
    const int band = static_cast<int>(v % SBASData::kIonoBands);
    const int issue = static_cast<int>(v & 0x3FFF);
    const int block = static_cast<int>((v >> 6) & 0x3FFF);
    const auto c = corr(v);
    ASSERT_EQ(s.Put(point, band, &c, issue, block), 1) << v;
    SBASData::IonoCorrectionType out{};
    int blockWord = 0, outIssue = 0;
    ASSERT_EQ(s.Take(point, band, &out, &blockWord, &outIssue), 1) << v;
    ASSERT_EQ(out.ulBits, v);
    ASSERT_EQ(blockWord, block);
    ASSERT_EQ(outIssue, issue);
  }
}

// The word layout itself: delay and GIVE sit where the grid word expects them.
TEST(SbasIonoServer, WordLayout) {
  struct Case {
    std::uint32_t correction;
    std::uint16_t word;
    std::uint8_t blockByte;
  };
  const Case cases[] = {
      {0x1, 0x4000, 0},              // grid mask ready -> bit 14
      {0x2, 0x2000, 0},              // correction ready -> bit 13
      {0xFu << 2, 0x1E00, 0},        // GIVE indicator -> bits 9..12
      {0x1FFu << 6, 0x01FF, 0},      // vertical delay -> bits 0..8
      {0x1Fu << 15, 0x0000, 0x1F},   // source index -> the block's byte
      {(5u << 15) | (300u << 6) | (13u << 2) | 0x3, 0x6000 | (13 << 9) | 300, 5},
  };
  for (const auto& c : cases) {
    SBASData::IonoBandDataType rec{};
    rec.init();
    rec.pack(31, c.correction);
    EXPECT_EQ(rec.uPoint[31], c.word) << std::hex << c.correction;
    EXPECT_EQ(rec.uBlockByte[2], c.blockByte);
    EXPECT_EQ(rec.unpack(31), c.correction);
  }
}

TEST(SbasIonoServer, GridPointAndBandAreChecked) {
  auto& s = PVTDataInstance.sbasIonoCorrection[1];
  const auto c = corr(0x7FFF);
  struct Case {
    int point, band, expect;
  };
  const Case cases[] = {{0, 0, 1},   {200, 10, 1}, {201, 0, 0}, {-1, 0, 0},
                        {0, 11, 0},  {0, -1, 0},   {65535, 3, 0}};
  for (const auto& k : cases) {
    EXPECT_EQ(s.Put(k.point, k.band, &c, 1, 1), k.expect) << k.point << "/" << k.band;
    SBASData::IonoCorrectionType out{};
    EXPECT_EQ(s.Take(k.point, k.band, &out, nullptr, nullptr), k.expect);
  }
}

TEST(SbasIonoServer, MinusOneKeepsIssueAndBlockWord) {
  auto& s = PVTDataInstance.sbasIonoCorrection[2];
  const auto c = corr(0x155);
  ASSERT_EQ(s.Put(20, 4, &c, 3, 9), 1);
  ASSERT_EQ(s.Put(21, 4, &c, -1, -1), 1);
  SBASData::IonoCorrectionType out{};
  int blockWord = 0, issue = 0;
  ASSERT_EQ(s.Take(21, 4, &out, &blockWord, &issue), 1);
  EXPECT_EQ(blockWord, 9);  // points 20 and 21 share block 1
  EXPECT_EQ(issue, 3);
}

TEST(SbasIonoServer, NullCorrectionDetachesTheBand) {
  auto& s = PVTDataInstance.sbasIonoCorrection[3];
  const auto c = corr(0x1234);
  ASSERT_EQ(s.Put(5, 6, &c, 1, 1), 1);
  ASSERT_EQ(s.Put(5, 6, nullptr, 1, 1), 1);
  SBASData::IonoCorrectionType out{};
  EXPECT_EQ(s.Take(5, 6, &out, nullptr, nullptr), 0);
  // The band gets its own record back with its grid.
  const auto d = corr(0x42);
  ASSERT_EQ(s.Put(6, 6, &d, -1, -1), 1);
  ASSERT_EQ(s.Take(5, 6, &out, nullptr, nullptr), 1);
  EXPECT_EQ(out.ulBits, 0x1234u);
}

// Eight records for eleven bands: a record lent to a new band must not show the old band's
// grid points as the new band's.
TEST(SbasIonoServer, RecordLentToAnotherBandStartsEmpty) {
  auto& s = PVTDataInstance.sbasIonoCorrection[4];
  for (int band = 0; band < 8; ++band) {
    DataBufferServerType::ulMsTime = 1000u * static_cast<std::uint32_t>(band + 1);
    const auto c = corr(0x3 | (100u << 6));
    ASSERT_EQ(s.Put(77, band, &c, band, band), 1);
  }
  DataBufferServerType::ulMsTime = 20000;
  const auto c = corr(0x3);
  ASSERT_EQ(s.Put(0, 9, &c, 1, 1), 1);  // takes band 0's record, the oldest
  SBASData::IonoCorrectionType out{};
  EXPECT_EQ(s.Take(77, 0, &out, nullptr, nullptr), 0);
  int blockWord = 0, issue = 0;
  ASSERT_EQ(s.Take(77, 9, &out, &blockWord, &issue), 1);
  EXPECT_EQ(out.ulBits, 0u);
  EXPECT_EQ(blockWord, -1);
  EXPECT_EQ(issue, 1);
  ASSERT_EQ(s.Take(77, 1, &out, nullptr, nullptr), 1);
  EXPECT_EQ(out.ulBits, 0x3u | (100u << 6));
}

}  // namespace
