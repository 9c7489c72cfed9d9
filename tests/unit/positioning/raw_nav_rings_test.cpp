// Raw navigation-data rings: one writer, readers each at their own pace.
#include "positioning/raw_nav_rings.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace {

CorrData::GpsRawMessageType gpsEntry(int prn, std::uint32_t time, std::int8_t valid = 1) {
  CorrData::GpsRawMessageType e{};
  e.uSv = std::uint8_t(prn), e.ulTime = time, e.uCount = 10, e.iValid = valid;
  for (std::uint32_t i = 0; i < 10; ++i) e.ulWords[i] = time * 16 + i;
  return e;
}

std::vector<std::uint32_t> readTimes(RawNavReader& r) {
  std::vector<std::uint32_t> t;
  for (CorrData::GpsRawMessageType e{}; GpsRawMessageData.read(r, e);) t.push_back(e.ulTime);
  return t;
}

// A full ring is not an empty one: after 79 appends a reader still at the start sees all 79. A lapped
// reader resumes at the oldest entry held and counts what it missed; a reader that keeps up loses nothing.
TEST(RawNavRings, FullRingsWrapAndLappedReadersResumeAtTheOldest) {
  for (std::uint32_t t = 1; t <= 79; ++t) ASSERT_TRUE(updateGpsRawData(gpsEntry(3, t)));
  EXPECT_EQ(GpsRawMessageData.writeIndex(), 0u);
  RawNavReader r0;
  const auto all = readTimes(r0);
  ASSERT_EQ(all.size(), 79u);
  EXPECT_TRUE(all.front() == 1u && all.back() == 79u && r0.ulOverruns == 0u);
  CorrData::GloRawMessageType g{};
  g.iFreq = -7;
  for (std::uint32_t i = 0; i < 47; ++i) {
    EXPECT_EQ(GloRawMessageData.writeIndex(), i % 46);
    ASSERT_TRUE(updateGloRawData(g));
  }
  EXPECT_EQ(GloRawMessageData.writeIndex(), 1u);
  std::uint32_t t = 79;
  for (const std::uint32_t c : {80u, 158u, 500u}) {  // appends; overruns are c - 79
    RawNavReader r;
    r.ullNext = GpsRawMessageData.appended();  // starts now
    const std::uint32_t first = t + 1;
    for (std::uint32_t i = 0; i < c; ++i) updateGpsRawData(gpsEntry(5, ++t));
    const auto times = readTimes(r);
    ASSERT_EQ(times.size(), 79u) << c;
    EXPECT_TRUE(r.ulOverruns == c - 79 && times.front() == first + c - 79 && times.back() == t) << c;
    for (std::size_t i = 1; i < times.size(); ++i) EXPECT_EQ(times[i], times[i - 1] + 1);
  }
  RawNavReader fast, slow;
  fast.ullNext = slow.ullNext = GpsRawMessageData.appended();
  for (std::uint32_t k = 1; k <= 30; ++k) updateGpsRawData(gpsEntry(7, ++t));
  EXPECT_EQ(readTimes(fast).size(), 30u);
  CorrData::GpsRawMessageType e{};
  ASSERT_TRUE(GpsRawMessageData.read(slow, e));
  for (std::uint32_t k = 1; k <= 10; ++k) updateGpsRawData(gpsEntry(7, ++t));
  const auto f = readTimes(fast), s = readTimes(slow);
  ASSERT_TRUE(f.size() == 10u && s.size() == 39u);
  EXPECT_TRUE(f.front() == t - 9 && s.front() == e.ulTime + 1 && fast.ulOverruns + slow.ulOverruns == 0u);
}

// Negative validity is taken out and skipped; SBAS entries of another kind are skipped; an entry whose
// count exceeds its payload is refused.
TEST(RawNavRings, WhatTheReaderCannotUseIsSkippedAndOverlongEntriesRefused) {
  const int comp[][2] = {{11, 1}, {12, -1}, {13, -128}, {14, 0}};  // PRN, validity
  for (const auto& c : comp) updateCompRawData(gpsEntry(c[0], 1, std::int8_t(c[1])));
  RawNavReader r;
  CorrData::CmpRawMessageType e{};
  std::vector<int> prns;
  while (CompRawMessageData.readUsable(r, e)) prns.push_back(e.uSv);
  EXPECT_EQ(prns, (std::vector<int>{11, 14}));
  EXPECT_FALSE(CompRawMessageData.read(r, e));  // the skipped ones are gone for this reader
  const int sbas[][3] = {{131, 0, 1}, {131, 1, 2}, {183, 0, 3}, {136, 7, 4}};  // PRN, kind, time
  for (const auto& s : sbas) {
    CorrData::WaasRawMessageType w{};
    w.uSv = std::uint8_t(s[0]), w.uKind = std::uint8_t(s[1]), w.ulTime = std::uint32_t(s[2]);
    w.uCount = 32, w.iValid = 1;
    for (int i = 0; i < 32; ++i) w.uData[i] = std::uint8_t(s[2] + i);
    ASSERT_TRUE(updateWaasRawData(w));
  }
  RawNavReader wr;
  CorrData::WaasRawMessageType w{};
  std::vector<std::uint32_t> times;
  while (WaasRawMessageData.readUsable(wr, w, kWaasDecodedKind)) {
    times.push_back(w.ulTime);
    for (std::uint32_t i = 0; i < 32; ++i) ASSERT_EQ(w.uData[i], std::uint8_t(w.ulTime + i));
  }
  EXPECT_EQ(times, (std::vector<std::uint32_t>{1, 3}));
  CorrData::GpsRawMessageType g = gpsEntry(1, 1);
  for (int n : {CorrData::kRawMessageWords + 1, 255}) {
    g.uCount = std::uint8_t(n);
    EXPECT_FALSE(updateIrnssRawData(g)) << n;
  }
  EXPECT_TRUE(IrnssRawMessageData.refused() == 2u && IrnssRawMessageData.appended() == 0u);
  g.uCount = CorrData::kRawMessageWords;
  EXPECT_TRUE(updateIrnssRawData(g));
  CorrData::LexRawMessageType lex{};  // byte-form entries carry any length a one-byte count gives
  lex.uCount = 255;
  EXPECT_TRUE(updateLexRawData(lex));
}

TEST(RawNavRings, SbasPrnToIdentity) {
  const int cases[][4] = {{120, 1, kSysSbas, 0}, {147, 1, kSysSbas, 27}, {183, 1, kSysQzss, 0}, {189, 1, kSysQzss, 6},
                          {119, 0, 0, 0},        {148, 0, 0, 0},         {190, 0, 0, 0},        {255, 0, 0, 0}};
  for (const auto& c : cases) {
    CorrData::WaasRawMessageType w{};
    w.uSv = std::uint8_t(c[0]);
    SvIdType id{};
    EXPECT_EQ(waasRawMessageSvId(w, id), c[1] != 0) << c[0];
    EXPECT_TRUE(!c[1] || (id.sys == c[2] && id.si == c[3])) << c[0];
  }
}

// One writer, two readers on other threads: every reader sees the entries in order, and what it read plus
// what it missed is everything that was written.
TEST(RawNavRings, ConcurrentWriterAndReaders) {
  constexpr std::uint32_t kAppends = 50000;
  std::atomic<bool> done{false};
  auto readerJob = [&](std::uint64_t* readCount, RawNavReader* r, bool* ordered) {
    CorrData::GpsRawMessageType e{};
    for (std::uint32_t last = 0;;) {
      const bool finished = done.load();
      for (; GpsRawMessageData.read(*r, e); last = e.ulTime, ++*readCount)
        *ordered = *ordered && e.ulTime > last && e.ulWords[9] == e.ulTime * 16 + 9;
      if (finished) break;
    }
  };
  std::uint64_t n1 = 0, n2 = 0;
  RawNavReader r1, r2;
  r1.ullNext = r2.ullNext = GpsRawMessageData.appended();
  bool o1 = true, o2 = true;
  std::thread t1(readerJob, &n1, &r1, &o1), t2(readerJob, &n2, &r2, &o2);
  for (std::uint32_t t = 1; t <= kAppends; ++t) updateGpsRawData(gpsEntry(9, t));
  done = true;
  t1.join(), t2.join();
  EXPECT_TRUE(o1 && o2 && n1 + r1.ulOverruns == kAppends && n2 + r2.ulOverruns == kAppends);
}

}  // namespace
