// Writers and readers of one pool on several threads at once: a record never has two owners,
// and a satellite never reads another satellite's data. Run under ThreadSanitizer too.
#include <gtest/gtest.h>

#include <atomic>
#include <random>
#include <thread>
#include <vector>

#include "data_servers_test_pool.h"

namespace {

using StressPool = TestPoolServer<6>;

constexpr int kPutsPerWriter = 20000;

void writer(StressPool& pool, int firstPrn, int seed, std::atomic<bool>& bad) {
  std::mt19937 rng(static_cast<unsigned>(seed));
  // Both writers share PRNs 10..14 so that they also race for the same satellite.
  std::uniform_int_distribution<int> prn(firstPrn, firstPrn + 14);
  for (int i = 0; i < kPutsPerWriter; ++i) {
    const int p = prn(rng);
    const SvIdType sv = gpsSv(p);
    TestSatRecord r{};
    r.fill(static_cast<std::uint32_t>(p), static_cast<std::uint32_t>(i));
    if (i % 97 == 0) {
      pool.Put(&sv, nullptr);
    } else if (pool.Put(&sv, &r) != 1) {
      bad = true;  // a pool with records always has one to lend
    }
    DataBufferServerType::ulMsTime.fetch_add(1);
  }
}

TEST(DataPoolStress, TwoWritersNeverShareARecord) {
  StressPool pool;
  std::atomic<bool> bad{false};
  std::atomic<bool> stop{false};
  std::atomic<long> takes{0};
  std::atomic<long> mixedUp{0};
  std::atomic<long> inconsistent{0};

  std::thread reader([&] {
    std::mt19937 rng(7);
    std::uniform_int_distribution<int> prn(1, 24);
    while (!stop) {
      const int p = prn(rng);
      const SvIdType sv = gpsSv(p);
      TestSatRecord out{};
      if (pool.Take(&sv, &out)) {
        ++takes;
        if (out.ulSlotMark != static_cast<std::uint32_t>(p) || !out.whole() ||
            out.header.uOwner != sv.get_SiSlot()) {
          ++mixedUp;
        }
      }
    }
  });
  std::thread checker([&] {
    while (!stop) {
      if (!pool.buffer().check_Consistency()) ++inconsistent;
    }
  });
  std::thread w1(writer, std::ref(pool), 1, 1, std::ref(bad));
  std::thread w2(writer, std::ref(pool), 10, 2, std::ref(bad));
  w1.join();
  w2.join();
  stop = true;
  reader.join();
  checker.join();

  EXPECT_FALSE(bad);
  EXPECT_EQ(mixedUp, 0);
  EXPECT_EQ(inconsistent, 0);
  EXPECT_TRUE(pool.buffer().check_Consistency());
  // Six records for 24 satellites: each record now has one owner whose data it holds.
  int owned = 0;
  for (int p = 1; p <= 24; ++p) {
    const SvIdType sv = gpsSv(p);
    TestSatRecord out{};
    if (pool.Take(&sv, &out)) {
      ++owned;
      EXPECT_EQ(out.ulSlotMark, static_cast<std::uint32_t>(p));
      EXPECT_TRUE(out.whole());
    }
  }
  EXPECT_LE(owned, 6);
}

// With a record for every satellite nothing may ever be evicted: two writers choosing a record
// at the same moment must not both take the same free one. Each round starts from an empty
// pool so that the writers race for free records.
TEST(DataPoolStress, TwoWritersWithRoomForAllLoseNothing) {
  using RoomyPool = TestPoolServer<8>;
  constexpr int kRounds = 3000;
  RoomyPool pool;
  std::atomic<int> round{0};
  std::atomic<int> finished{0};
  auto job = [&](int firstPrn) {
    for (int k = 1; k <= kRounds; ++k) {
      while (round.load() != k) std::this_thread::yield();
      for (int p = firstPrn; p < firstPrn + 4; ++p) {
        const SvIdType sv = gpsSv(p);
        TestSatRecord r{};
        r.fill(static_cast<std::uint32_t>(p), static_cast<std::uint32_t>(k));
        pool.Put(&sv, &r);
      }
      finished.fetch_add(1);
    }
  };
  std::thread w1(job, 1);
  std::thread w2(job, 5);
  long lost = 0;
  for (int k = 1; k <= kRounds; ++k) {
    pool.Init();
    round.store(k);
    while (finished.load() != 2 * k) std::this_thread::yield();
    for (int p = 1; p <= 8; ++p) {
      const SvIdType sv = gpsSv(p);
      TestSatRecord out{};
      if (pool.Take(&sv, &out) != 1 || out.ulSlotMark != static_cast<std::uint32_t>(p) ||
          out.ulSeq != static_cast<std::uint32_t>(k)) {
        ++lost;
      }
    }
  }
  w1.join();
  w2.join();
  EXPECT_EQ(lost, 0);
  EXPECT_TRUE(pool.buffer().check_Consistency());
}

}  // namespace
