// The last transducer sentence: storing, the reader's answers, the issue's wrap, and a reader
// racing a writer (run once under ThreadSanitizer too: every member is an atomic).
#include "gnss_link/sensor/transducer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

namespace {

struct StoreRow {
  const char* name;
  std::string text;
  bool standard;
  bool stored;
  std::string kept;
};

TEST(Transducer, StoreTable) {
  const std::string s1023(1023, 'a'), s1024(1024, 'a'), s1021(1021, 'b'), s1022(1022, 'b');
  const StoreRow rows[] = {
      {"standard kept as it is", "IIXDR,C,1,C,T", true, true, "IIXDR,C,1,C,T"},
      {"non-standard with the talker in front", "XDR,C,1,C,T", false, true, "WIXDR,C,1,C,T"},
      {"1023 bytes fit", s1023, true, true, s1023},
      {"1024 bytes do not", s1024, true, false, ""},
      {"1021 and the talker fit", s1021, false, true, "WI" + s1021},
      {"1022 and the talker do not", s1022, false, false, ""},
      {"empty", "", true, true, ""},
  };
  Transducer t;
  std::int32_t last = 0;
  std::string kept;
  for (const StoreRow& r : rows) {
    EXPECT_EQ(t.storeData(r.text.data(), static_cast<int>(r.text.size()), r.standard), r.stored) << r.name;
    char buf[Transducer::kMaxLen];
    int len = -1;
    const std::int32_t got = t.getNewData(last, buf, sizeof buf, len);
    if (r.stored) {
      EXPECT_EQ(got, last + 2) << r.name;
      kept = r.kept;
      last = got;
    } else {
      EXPECT_EQ(got, last) << r.name;  // nothing new
    }
    EXPECT_EQ(std::string(buf, static_cast<std::size_t>(len)), r.stored ? kept : "") << r.name;
  }
}

struct ReadRow {
  const char* name;
  std::int32_t start;  // issue the record starts with
  bool store;          // a 5-byte sentence stored first
  std::int32_t lastIssue;
  int size;
  std::int32_t result;
  int len;
};
const ReadRow kReads[] = {
    {"never stored, asked for issue 0", 0, false, 0, 10, 0, 0},
    {"new sentence", 0, true, 0, 10, 2, 5},
    {"exactly the room", 0, true, 0, 5, 2, 5},
    {"buffer too small", 0, true, 0, 4, 0, 0},
    {"already read", 0, true, 2, 10, 2, 0},
    {"older issue", 0, true, 1234, 10, 2, 5},
    {"update in progress (odd issue)", 7, false, 0, 10, 0, 0},
    {"odd issue, too", 41, false, 2, 10, 0, 0},
    {"after an odd issue the next store is even", 7, true, 0, 10, 10, 5},
    {"last issue wraps to 2", Transducer::kLastIssue, true, 0, 10, 2, 5},
    {"up to the last issue", Transducer::kLastIssue - 2, true, 0, 10, Transducer::kLastIssue, 5},
};

TEST(Transducer, GetNewDataTable) {
  for (const ReadRow& r : kReads) {
    Transducer t(r.start);
    if (r.store) {
      ASSERT_TRUE(t.storeData("ABCDE", 5, true)) << r.name;
    }
    char buf[16] = {};
    int len = -1;
    EXPECT_EQ(t.getNewData(r.lastIssue, buf, r.size, len), r.result) << r.name;
    EXPECT_EQ(len, r.len) << r.name;
    if (r.len == 5) {
      EXPECT_EQ(std::string(buf, 5), "ABCDE") << r.name;
    }
  }
}

// A sentence that says how it must look: "<k>:" then k % 200 + 1 copies of one letter.
std::string sentence(int k) {
  return std::to_string(k) + ":" + std::string(static_cast<std::size_t>(k % 200 + 1), static_cast<char>('a' + k % 26));
}
bool wellFormed(const std::string& s) {
  const std::size_t colon = s.find(':');
  if (colon == std::string::npos) return false;
  return s == sentence(std::stoi(s.substr(0, colon)));
}

TEST(Transducer, ReaderNeverSeesAHalfReplacedSentence) {
  Transducer t;
  constexpr int kWrites = 20000;
  std::atomic<bool> done{false};
  std::thread writer([&] {
    for (int k = 0; k < kWrites; ++k) {
      const std::string s = sentence(k);
      t.storeData(s.data(), static_cast<int>(s.size()), true);
    }
    done.store(true);
  });
  int reads = 0, bad = 0;
  std::int32_t last = 0;
  char buf[Transducer::kMaxLen];
  while (!done.load() || last != t.issue()) {
    int len = 0;
    const std::int32_t got = t.getNewData(last, buf, sizeof buf, len);
    if (got == 0 || got == last) continue;
    EXPECT_EQ(got % 2, 0);
    ++reads;
    if (!wellFormed(std::string(buf, static_cast<std::size_t>(len)))) ++bad;
    last = got;
  }
  writer.join();
  EXPECT_EQ(bad, 0);
  EXPECT_GE(reads, 1);
  EXPECT_EQ(last, 2 * kWrites);
}

TEST(SensorDataBuf, EachUpdateCountsTheIssueAndReplacesTheFlags) {
  SensorDataBuf b;
  EXPECT_EQ(b.get().issue, 0u);
  b.put({1, 2, 3}, 7);
  b.put({4, 0, 0}, 1);
  const SensorData d = b.get();
  EXPECT_EQ(d.issue, 2u);
  EXPECT_EQ(d.flags, 1u);
  EXPECT_EQ(d.v[0], 4.0f);
  EXPECT_EQ(d.v[1], 0.0f);
}

}  // namespace
