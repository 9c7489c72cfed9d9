// Raw navigation-data rings: one writer, readers each at their own pace.
#include "positioning/raw_nav_rings.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace {

CorrData::GpsRawMessageType gpsEntry(int prn, std::uint32_t time, std::int8_t valid = 1) {
  CorrData::GpsRawMessageType e{};
  e.uSv = std::uint8_t(prn);
  e.ulTime = time;
  e.uCount = 10;
  for (std::uint32_t i = 0; i < 10; ++i) e.ulWords[i] = time * 16 + i;
  e.iValid = valid;
  return e;
}

std::vector<std::uint32_t> readTimes(RawNavReader& r) {
  std::vector<std::uint32_t> t;
  for (CorrData::GpsRawMessageType e{}; GpsRawMessageData.read(r, e);) t.push_back(e.ulTime);
  return t;
}

}  // namespace

// A full ring is not an empty ring: after 79 appends a reader still at the start sees all 79.
TEST(RawNavRings, FullRingIsNotEmptyAndTheWriteIndexWraps) {
  for (std::uint32_t t = 1; t <= 79; ++t) ASSERT_TRUE(updateGpsRawData(gpsEntry(3, t)));
  EXPECT_EQ(GpsRawMessageData.writeIndex(), 0u);
  RawNavReader r;
  const auto times = readTimes(r);
  ASSERT_EQ(times.size(), 79u);
  EXPECT_TRUE(times.front() == 1u && times.back() == 79u && r.ulOverruns == 0u);
  CorrData::GloRawMessageType e{};
  e.iFreq = -7;
  for (std::uint32_t i = 0; i < 47; ++i) {
    EXPECT_EQ(GloRawMessageData.writeIndex(), i % 46);
    ASSERT_TRUE(updateGloRawData(e));
  }
  EXPECT_EQ(GloRawMessageData.writeIndex(), 1u);
}

TEST(RawNavRings, LappedReaderResumesAtOldestAndCountsOverruns) {
  const std::uint32_t cases[][2] = {{80, 1}, {158, 79}, {500, 421}};  // appends, overruns
  std::uint32_t t = 0;
  for (const auto& c : cases) {
    RawNavReader r;
    r.ullNext = GpsRawMessageData.appended();  // starts now
    const std::uint32_t first = t + 1;
    for (std::uint32_t i = 0; i < c[0]; ++i) updateGpsRawData(gpsEntry(5, ++t));
    const auto times = readTimes(r);
    ASSERT_EQ(times.size(), 79u) << c[0];
    EXPECT_EQ(r.ulOverruns, c[1]);
    EXPECT_EQ(times.front(), first + c[1]);
    EXPECT_EQ(times.back(), t);
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
  ASSERT_EQ(f.size(), 10u);
  ASSERT_EQ(s.size(), 39u);
  EXPECT_EQ(f.front(), t - 9);
  EXPECT_EQ(s.front(), e.ulTime + 1);
  EXPECT_EQ(fast.ulOverruns + slow.ulOverruns, 0u);
}

// Negative validity is taken out and skipped; SBAS entries of another kind are skipped.
TEST(RawNavRings, ReadUsableSkipsWhatTheReaderCannotUse) {
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
    w.uSv = std::uint8_t(s[0]), w.uKind = std::uint8_t(s[1]), w.ulTime = std::uint32_t(s[2]), w.uCount = 32;
    for (int i = 0; i < 32; ++i) w.uData[i] = std::uint8_t(s[2] + i);
    w.iValid = 1;
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
  CorrData::LexRawMessageType lex{};  // byte-form entries carry any length a one-byte count gives
  lex.uCount = 255;
  EXPECT_TRUE(updateLexRawData(lex));
}

// Real broadcast messages (GPS LNAV and CNAV-2 of a public test set) pass through intact; the
// ring keeps the last 29.
TEST(RawNavRings, RealMessagesPassIntact) {
  std::ifstream in(std::string(RX_SHARED_DIR) + "/testdata/navmsg/gnsstk_nav_messages.csv");
  ASSERT_TRUE(in.good());
  std::string line;
  std::getline(in, line);
  std::vector<CorrData::GpsRawMessageType> sent;
  while (std::getline(in, line)) {
    std::vector<std::string> f(1);
    bool quoted = false;
    for (char ch : line) {
      quoted ^= ch == '"';
      if (ch == ',' && !quoted)
        f.emplace_back();
      else
        f.back() += ch;
    }
    if (f.size() < 10 || f[2] != "GPS" || (f[1] != "LNav" && f[1] != "CNav2")) continue;
    CorrData::GpsRawMessageType e{};
    e.uSv = std::uint8_t(std::stoi(f[3]));
    e.uKind = f[1] == "LNav" ? 0 : 2;
    e.uCount = std::uint8_t((std::stoi(f[8]) + 31) / 32);
    ASSERT_LE(e.uCount, CorrData::kRawMessageWords) << f[0];
    for (int w = 0; w < e.uCount; ++w) {
      std::string part = f[9].substr(std::size_t(w) * 8, 8);
      part.resize(8, '0');
      e.ulWords[w] = std::uint32_t(std::stoul(part, nullptr, 16));
    }
    e.iValid = 1;
    sent.push_back(e);
  }
  ASSERT_GE(sent.size(), 17u);
  RawNavReader r;
  for (const auto& e : sent) ASSERT_TRUE(updateQzssRawData(e));
  for (std::size_t i = sent.size() > 29 ? sent.size() - 29 : 0; i < sent.size(); ++i) {
    CorrData::GpsRawMessageType out{};
    ASSERT_TRUE(QzssRawMessageData.readUsable(r, out));
    EXPECT_EQ(std::memcmp(&out, &sent[i], sizeof out), 0) << i;
  }
}

// One writer, two readers on other threads: every reader sees the entries in order, and what it
// read plus what it missed is everything that was written. Run under ThreadSanitizer too.
TEST(RawNavRings, ConcurrentWriterAndReaders) {
  constexpr std::uint32_t kAppends = 50000;
  std::atomic<bool> done{false};
  auto readerJob = [&](std::uint64_t* readCount, RawNavReader* r, bool* ordered) {
    CorrData::GpsRawMessageType e{};
    for (std::uint32_t last = 0;;) {
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
  std::thread t1(readerJob, &n1, &r1, &o1), t2(readerJob, &n2, &r2, &o2);
  for (std::uint32_t t = 1; t <= kAppends; ++t) updateGpsRawData(gpsEntry(9, t));
  done = true;
  t1.join(), t2.join();
  EXPECT_TRUE(o1 && o2);
  EXPECT_EQ(n1 + r1.ulOverruns, kAppends);
  EXPECT_EQ(n2 + r2.ulOverruns, kAppends);
}
