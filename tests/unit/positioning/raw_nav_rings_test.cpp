// Raw navigation-data rings: one writer, readers each at their own pace.
#include "positioning/raw_nav_rings.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

CorrData::GpsRawMessageType gpsEntry(int prn, std::uint32_t time, std::int8_t valid = 1) {
  CorrData::GpsRawMessageType e{};
  e.uSv = static_cast<std::uint8_t>(prn);
  e.ulTime = time;
  e.uKind = 0;
  e.uCount = 10;
  for (int i = 0; i < 10; ++i) e.ulWords[i] = time * 16 + static_cast<std::uint32_t>(i);
  e.iValid = valid;
  return e;
}

CorrData::WaasRawMessageType waasEntry(int prn, int kind, std::uint32_t time) {
  CorrData::WaasRawMessageType e{};
  e.uSv = static_cast<std::uint8_t>(prn);
  e.ulTime = time;
  e.uKind = static_cast<std::uint8_t>(kind);
  e.uCount = 32;
  for (int i = 0; i < 32; ++i) e.uData[i] = static_cast<std::uint8_t>(time + static_cast<std::uint32_t>(i));
  e.iValid = 1;
  return e;
}

std::vector<std::uint32_t> readTimes(RawNavRing<CorrData::GpsRawMessageType, 79>& ring, RawNavReader& r) {
  std::vector<std::uint32_t> t;
  CorrData::GpsRawMessageType e{};
  while (ring.read(r, e)) t.push_back(e.ulTime);
  return t;
}

TEST(RawNavRings, GlonassWriteIndexWraps) {
  CorrData::GloRawMessageType e{};
  e.iFreq = -7;
  std::vector<std::uint32_t> seen;
  for (int i = 0; i < 47; ++i) {
    seen.push_back(GloRawMessageData.writeIndex());
    ASSERT_TRUE(updateGloRawData(e));
  }
  for (std::uint32_t i = 0; i < 46; ++i) EXPECT_EQ(seen[i], i);
  EXPECT_EQ(seen[46], 0u);
  EXPECT_EQ(GloRawMessageData.writeIndex(), 1u);
}

// A full ring is not an empty ring: after 79 appends a reader still at the start sees all 79.
TEST(RawNavRings, ReaderLappedExactlyOnceSeesTheWholeRing) {
  for (std::uint32_t t = 1; t <= 79; ++t) ASSERT_TRUE(updateGpsRawData(gpsEntry(3, t)));
  EXPECT_EQ(GpsRawMessageData.writeIndex(), 0u);
  RawNavReader r;
  const auto times = readTimes(GpsRawMessageData, r);
  ASSERT_EQ(times.size(), 79u);
  EXPECT_EQ(times.front(), 1u);
  EXPECT_EQ(times.back(), 79u);
  EXPECT_EQ(r.ulOverruns, 0u);
  CorrData::GpsRawMessageType e{};
  EXPECT_FALSE(GpsRawMessageData.read(r, e));
}

TEST(RawNavRings, LappedReaderResumesAtOldestAndCountsOverruns) {
  struct Case {
    std::uint32_t appends;
    std::uint32_t overruns;
  };
  const Case cases[] = {{80, 1}, {158, 79}, {500, 421}};
  std::uint32_t t = 0;
  for (const auto& c : cases) {
    RawNavReader r;
    r.ullNext = GpsRawMessageData.appended();  // starts now
    const std::uint32_t first = t + 1;
    for (std::uint32_t i = 0; i < c.appends; ++i) updateGpsRawData(gpsEntry(5, ++t));
    const auto times = readTimes(GpsRawMessageData, r);
    ASSERT_EQ(times.size(), 79u) << c.appends;
    EXPECT_EQ(r.ulOverruns, c.overruns);
    EXPECT_EQ(times.front(), first + c.overruns);
    EXPECT_EQ(times.back(), t);
    for (std::size_t i = 1; i < times.size(); ++i) EXPECT_EQ(times[i], times[i - 1] + 1);
  }
}

TEST(RawNavRings, ReadersAreIndependent) {
  RawNavReader fast, slow;
  fast.ullNext = slow.ullNext = GpsRawMessageData.appended();
  for (std::uint32_t t = 1; t <= 30; ++t) updateGpsRawData(gpsEntry(7, t));
  EXPECT_EQ(readTimes(GpsRawMessageData, fast).size(), 30u);
  CorrData::GpsRawMessageType e{};
  ASSERT_TRUE(GpsRawMessageData.read(slow, e));
  EXPECT_EQ(e.ulTime, 1u);
  for (std::uint32_t t = 31; t <= 40; ++t) updateGpsRawData(gpsEntry(7, t));
  const auto f = readTimes(GpsRawMessageData, fast);
  const auto s = readTimes(GpsRawMessageData, slow);
  ASSERT_EQ(f.size(), 10u);
  EXPECT_EQ(f.front(), 31u);
  ASSERT_EQ(s.size(), 39u);
  EXPECT_EQ(s.front(), 2u);
  EXPECT_EQ(fast.ulOverruns + slow.ulOverruns, 0u);
}

TEST(RawNavRings, NegativeValidityIsTakenOutAndSkipped) {
  updateCompRawData(gpsEntry(11, 1, 1));
  updateCompRawData(gpsEntry(12, 2, -1));
  updateCompRawData(gpsEntry(13, 3, -128));
  updateCompRawData(gpsEntry(14, 4, 0));
  RawNavReader r;
  CorrData::CmpRawMessageType e{};
  std::vector<int> prns;
  while (CompRawMessageData.readUsable(r, e)) prns.push_back(e.uSv);
  EXPECT_EQ(prns, (std::vector<int>{11, 14}));
  EXPECT_FALSE(CompRawMessageData.read(r, e));  // the skipped ones are gone for this reader
}

TEST(RawNavRings, SbasEntriesOfAnotherKindAreSkipped) {
  ASSERT_TRUE(updateWaasRawData(waasEntry(131, 0, 1)));
  ASSERT_TRUE(updateWaasRawData(waasEntry(131, 1, 2)));
  ASSERT_TRUE(updateWaasRawData(waasEntry(183, 0, 3)));
  ASSERT_TRUE(updateWaasRawData(waasEntry(136, 7, 4)));
  RawNavReader r;
  CorrData::WaasRawMessageType e{};
  std::vector<std::uint32_t> times;
  while (WaasRawMessageData.readUsable(r, e, kWaasDecodedKind)) {
    times.push_back(e.ulTime);
    for (int i = 0; i < 32; ++i) ASSERT_EQ(e.uData[i], static_cast<std::uint8_t>(e.ulTime + static_cast<std::uint32_t>(i)));
  }
  EXPECT_EQ(times, (std::vector<std::uint32_t>{1, 3}));
}

TEST(RawNavRings, SbasPrnToIdentity) {
  struct Case {
    int prn;
    bool ok;
    int sys;
    int si;
  };
  const Case cases[] = {{120, true, kSysSbas, 0},  {147, true, kSysSbas, 27}, {183, true, kSysQzss, 0},
                        {189, true, kSysQzss, 6},  {119, false, 0, 0},         {148, false, 0, 0},
                        {190, false, 0, 0},        {255, false, 0, 0}};
  for (const auto& c : cases) {
    SvIdType id;
    const bool ok = waasRawMessageSvId(waasEntry(c.prn, 0, 0), id);
    EXPECT_EQ(ok, c.ok) << c.prn;
    if (ok) {
      EXPECT_EQ(id.sys, c.sys);
      EXPECT_EQ(id.si, c.si);
    }
  }
}

TEST(RawNavRings, EntryLongerThanItsPayloadIsRefused) {
  CorrData::GpsRawMessageType e = gpsEntry(1, 1);
  e.uCount = CorrData::kRawMessageWords + 1;
  EXPECT_FALSE(updateIrnssRawData(e));
  e.uCount = 255;
  EXPECT_FALSE(updateIrnssRawData(e));
  EXPECT_EQ(IrnssRawMessageData.refused(), 2u);
  EXPECT_EQ(IrnssRawMessageData.appended(), 0u);
  e.uCount = CorrData::kRawMessageWords;
  EXPECT_TRUE(updateIrnssRawData(e));
  // Byte-form entries carry any length the one-byte count can give.
  CorrData::LexRawMessageType lex{};
  lex.uCount = 255;
  EXPECT_TRUE(updateLexRawData(lex));
}

// Real broadcast messages (GPS LNAV and CNAV-2 of a public test set) pass through intact.
TEST(RawNavRings, RealMessagesPassIntact) {
  std::ifstream in(std::string(RX_SHARED_DIR) + "/testdata/navmsg/gnsstk_nav_messages.csv");
  ASSERT_TRUE(in.good());
  std::string line;
  std::getline(in, line);
  std::vector<CorrData::GpsRawMessageType> sent;
  while (std::getline(in, line)) {
    std::vector<std::string> f;
    std::string cell;
    bool quoted = false;
    for (char ch : line) {
      if (ch == '"') quoted = !quoted;
      if (ch == ',' && !quoted) {
        f.push_back(cell);
        cell.clear();
      } else {
        cell += ch;
      }
    }
    f.push_back(cell);
    if (f.size() < 10 || f[2] != "GPS" || (f[1] != "LNav" && f[1] != "CNav2")) continue;
    const int nbits = std::stoi(f[8]);
    const std::string& hex = f[9];
    CorrData::GpsRawMessageType e{};
    e.uSv = static_cast<std::uint8_t>(std::stoi(f[3]));
    e.uKind = f[1] == "LNav" ? 0 : 2;
    e.uCount = static_cast<std::uint8_t>((nbits + 31) / 32);
    ASSERT_LE(e.uCount, CorrData::kRawMessageWords) << f[0];
    for (int w = 0; w < e.uCount; ++w) {
      std::string part = hex.substr(static_cast<std::size_t>(w) * 8, 8);
      part.resize(8, '0');
      e.ulWords[w] = static_cast<std::uint32_t>(std::stoul(part, nullptr, 16));
    }
    e.iValid = 1;
    sent.push_back(e);
  }
  ASSERT_GE(sent.size(), 17u);
  RawNavReader r;
  for (const auto& e : sent) ASSERT_TRUE(updateQzssRawData(e));
  for (const auto& e : sent.size() > 29 ? std::vector<CorrData::GpsRawMessageType>(sent.end() - 29, sent.end()) : sent) {
    CorrData::GpsRawMessageType out{};
    ASSERT_TRUE(QzssRawMessageData.readUsable(r, out));
    EXPECT_EQ(std::memcmp(&out, &e, sizeof e), 0);
  }
}

// One writer, two readers on other threads: every reader sees the entries in order, and what
// it read plus what it missed is everything that was written. Run under ThreadSanitizer too.
TEST(RawNavRings, ConcurrentWriterAndReaders) {
  constexpr std::uint32_t kAppends = 50000;
  std::atomic<bool> done{false};
  auto readerJob = [&](std::uint64_t* readCount, RawNavReader* r, bool* ordered) {
    CorrData::GpsRawMessageType e{};
    std::uint32_t last = 0;
    for (;;) {
      const bool finished = done.load();
      while (GpsRawMessageData.read(*r, e)) {
        if (e.ulTime <= last || e.ulWords[9] != e.ulTime * 16 + 9) *ordered = false;
        last = e.ulTime;
        ++*readCount;
      }
      if (finished) break;
    }
  };
  std::uint64_t n1 = 0, n2 = 0;
  RawNavReader r1, r2;
  r1.ullNext = r2.ullNext = GpsRawMessageData.appended();
  bool o1 = true, o2 = true;
  std::thread t1(readerJob, &n1, &r1, &o1);
  std::thread t2(readerJob, &n2, &r2, &o2);
  for (std::uint32_t t = 1; t <= kAppends; ++t) updateGpsRawData(gpsEntry(9, t));
  done = true;
  t1.join();
  t2.join();
  EXPECT_TRUE(o1);
  EXPECT_TRUE(o2);
  EXPECT_EQ(n1 + r1.ulOverruns, kAppends);
  EXPECT_EQ(n2 + r2.ulOverruns, kAppends);
}

}  // namespace
