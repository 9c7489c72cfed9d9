// The per-satellite record pool: which record a put lands in and what a take then sees, alone and
// with writers and readers on several threads (run under ThreadSanitizer too).
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <map>
#include <random>
#include <thread>
#include <vector>

#include "positioning/data_servers/pvt_data.h"
#include "positioning/data_servers/server_shapes.h"

namespace {

// A small record with a recognisable body: every body byte is the low byte of slot + sequence.
struct TestSatRecord {
  DataBufferHeaderType header;
  std::uint32_t ulSlotMark;  // the slot the writer meant the record for
  std::uint32_t ulSeq;       // the writer's sequence number
  std::uint8_t aBody[40];
  void init() { std::memset(&ulSlotMark, 0, sizeof(*this) - sizeof(header)); }
  static TestSatRecord make(int slot, int seq) {
    TestSatRecord r{};
    r.ulSlotMark = std::uint32_t(slot), r.ulSeq = std::uint32_t(seq);
    std::memset(r.aBody, (slot + seq) & 0xFF, sizeof r.aBody);
    return r;
  }
  bool whole() const {
    for (auto b : aBody)
      if (b != std::uint8_t((ulSlotMark + ulSeq) & 0xFF)) return false;
    return true;
  }
};

class TestPool : public PoolDataServer<TestPool, TestSatRecord, PoolKey::kSi> {
 public:
  explicit TestPool(std::uint16_t records)
      : PoolDataServer<TestPool, TestSatRecord, PoolKey::kSi>(records, SYS_SI_TOTAL) {}
  static inline Mutex mutex;
};

SvIdType gpsSv(int prn) {
  SvIdType id;
  svIdFromSiNumber(kSysGps, prn, id);
  return id;
}

}  // namespace

// Each scenario runs its puts on a fresh pool, then checks which satellites still hold a record
// (their last data, the pool's header) and which do not (the caller's record left alone).
TEST(DataPool, PutsLandInTheRightRecord) {
  struct Op {
    std::uint32_t ms;
    int prn;  // 0: Init
    int seq;  // 0: null put
  };
  struct Scenario {
    const char* what;
    std::uint16_t records;
    std::vector<Op> ops;
    std::vector<int> held, gone;
  };
  // Time tags in ms of day or week run back to 0 at the wrap; records written before it are the
  // oldest, not unusable. Free records are handed out from the end of the list.
  const Scenario scenarios[] = {
      {"own record reused while free ones exist", 4,
       {{1000, 1, 1}, {2000, 1, 2}, {3000, 2, 1}, {4000, 3, 1}, {5000, 4, 1}}, {1, 2, 3, 4}, {}},
      {"oldest goes to a new satellite", 3, {{1000, 1, 1}, {2000, 2, 1}, {3000, 3, 1}, {4000, 2, 2}, {5000, 4, 1}},
       {2, 3, 4}, {1}},
      {"then the next oldest", 3,
       {{1000, 1, 1}, {2000, 2, 1}, {3000, 3, 1}, {4000, 2, 2}, {5000, 4, 1}, {6000, 5, 1}}, {2, 4, 5}, {1, 3}},
      {"equal ages: the later in the list goes", 3, {{7000, 1, 1}, {7000, 2, 1}, {7000, 3, 1}, {7000, 4, 1}},
       {2, 3, 4}, {1}},
      {"ms of day wrap", 3, {{86397000, 1, 1}, {86398000, 2, 1}, {86399000, 3, 1}, {500, 4, 1}, {1500, 5, 1}},
       {3, 4, 5}, {1, 2}},
      {"ms of week wrap", 3, {{604797000, 1, 1}, {604798000, 2, 1}, {604799000, 3, 1}, {0, 4, 1}, {1000, 5, 1}},
       {3, 4, 5}, {1, 2}},
      {"32-bit wrap", 3, {{0xFFFFF000u, 1, 1}, {0xFFFFF800u, 2, 1}, {0xFFFFFC00u, 3, 1}, {0x100, 4, 1}, {0x500, 5, 1}},
       {3, 4, 5}, {1, 2}},
      {"null put detaches", 2, {{1000, 7, 1}, {2000, 8, 1}, {0, 7, 0}}, {8}, {7}},
      {"a later put finds the detached record", 2, {{1000, 7, 1}, {2000, 8, 1}, {0, 7, 0}, {3000, 7, 2}}, {7, 8}, {}},
      {"init forgets every satellite", 2, {{1000, 1, 1}, {1000, 2, 1}, {0, 0, 0}, {1000, 3, 1}}, {3}, {1, 2}},
      {"take without a record", 2, {}, {}, {9}},
  };
  for (const auto& s : scenarios) {
    SCOPED_TRACE(s.what);
    TestPool pool(s.records);
    std::map<int, Op> last;
    for (const Op& op : s.ops) {
      const SvIdType sv = gpsSv(op.prn);
      const TestSatRecord r = TestSatRecord::make(op.prn, op.seq);
      DataBufferServerType::ulMsTime = op.ms;
      if (op.prn == 0) {
        pool.Init();
        last.clear();
      } else {
        ASSERT_EQ(pool.Put(&sv, op.seq ? &r : nullptr), 1);
        if (op.seq)
          last[op.prn] = op;
        else
          last.erase(op.prn);
      }
    }
    for (int prn : s.held) {
      const SvIdType sv = gpsSv(prn);
      TestSatRecord out{};
      ASSERT_EQ(pool.Take(&sv, &out), 1) << prn;
      EXPECT_EQ(out.ulSlotMark, std::uint32_t(prn));
      EXPECT_EQ(out.ulSeq, std::uint32_t(last[prn].seq)) << prn;
      EXPECT_TRUE(out.whole());
      EXPECT_EQ(out.header.ulTime, last[prn].ms) << prn;
      EXPECT_EQ(out.header.uOwner, sv.get_SiSlot()) << prn;
    }
    for (int prn : s.gone) {
      const SvIdType sv = gpsSv(prn);
      TestSatRecord out = TestSatRecord::make(99, 5);
      EXPECT_EQ(pool.Take(&sv, &out), 0) << prn;
      EXPECT_TRUE(out.ulSlotMark == 99 && out.ulSeq == 5);
    }
    EXPECT_TRUE(pool.buffer().check_Consistency());
  }
}

// Identities come from decoded data: one out of range is refused, nothing ends.
TEST(DataPool, OutOfRangeIdentityIsRefused) {
  TestPool pool(2);
  TestSatRecord r = TestSatRecord::make(1, 1);
  for (const SvIdType& sv : {SvIdType{0, 7, 0, 0}, SvIdType{15, kSysGlonass, 0, 0}, SvIdType{36, kSysGalileo, 0, 0}}) {
    EXPECT_EQ(pool.Put(&sv, &r), 0);
    EXPECT_EQ(pool.Take(&sv, &r), 0);
  }
  EXPECT_EQ(pool.Put(static_cast<const SvIdType*>(nullptr), &r), 0);
  EXPECT_EQ(pool.Put(-1, &r), 0);
  EXPECT_EQ(pool.Put(SYS_SI_TOTAL, &r), 0);
  EXPECT_TRUE(pool.buffer().check_Consistency());
}

TEST(DataPoolDeathTest, SlotOutOfRangeInsideThePoolIsAnInternalFault) {
  TestPool pool(2);
  TestSatRecord r{};
  EXPECT_EXIT(pool.buffer().put(SYS_SI_TOTAL, &r), ::testing::ExitedWithCode(kExitBadSiIdentity & 0xFF), "");
}

// Each correction source has its own pool: a satellite put to one source is not in another.
TEST(DataPool, SourcesOfOneClassKeepTheirOwnRecords) {
  SvIdType sv;
  ASSERT_TRUE(svIdFromSatNumber(kSysGps, 5, sv));
  SBASData::SatCorrectionType r{};
  ASSERT_EQ(PVTDataInstance.sbasSatCorrection[3].Put(&sv, &r), 1);
  for (int s = 0; s < SBASData::kSbasSources; ++s)
    EXPECT_EQ(PVTDataInstance.sbasSatCorrection[s].Take(&sv, &r), s == 3 ? 1 : 0) << s;
  RTCMData::SatCorrectionType q{};
  ASSERT_EQ(PVTDataInstance.rtcmSatCorrection[4].Put(&sv, &q), 1);
  EXPECT_EQ(PVTDataInstance.rtcmSatCorrection[0].Take(&sv, &q), 0);
  EXPECT_EQ(PVTDataInstance.rtcmSatCorrection[4].Take(&sv, &q), 1);
}

// Two writers (sharing PRNs 10..15 so that they also race for one satellite), a reader and a
// consistency checker: a record never has two owners and a satellite never reads another's data.
TEST(DataPoolStress, TwoWritersNeverShareARecord) {
  TestPool pool(6);
  std::atomic<bool> bad{false}, stop{false};
  std::atomic<long> mixedUp{0}, inconsistent{0};
  auto writer = [&](int firstPrn, unsigned seed) {
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> prn(firstPrn, firstPrn + 14);
    for (int i = 0; i < 20000; ++i) {
      const int p = prn(rng);
      const SvIdType sv = gpsSv(p);
      const TestSatRecord r = TestSatRecord::make(p, i);
      if (i % 97 == 0)
        pool.Put(&sv, nullptr);
      else if (pool.Put(&sv, &r) != 1)
        bad = true;  // a pool with records always has one to lend
      DataBufferServerType::ulMsTime.fetch_add(1);
    }
  };
  std::thread reader([&] {
    std::mt19937 rng(7);
    std::uniform_int_distribution<int> prn(1, 24);
    while (!stop) {
      const int p = prn(rng);
      const SvIdType sv = gpsSv(p);
      TestSatRecord out{};
      if (pool.Take(&sv, &out) &&
          (out.ulSlotMark != std::uint32_t(p) || !out.whole() || out.header.uOwner != sv.get_SiSlot()))
        ++mixedUp;
    }
  });
  std::thread checker([&] {
    while (!stop)
      if (!pool.buffer().check_Consistency()) ++inconsistent;
  });
  std::thread w1(writer, 1, 1), w2(writer, 10, 2);
  w1.join(), w2.join();
  stop = true;
  reader.join(), checker.join();
  EXPECT_FALSE(bad);
  EXPECT_EQ(mixedUp, 0);
  EXPECT_EQ(inconsistent, 0);
  EXPECT_TRUE(pool.buffer().check_Consistency());
  int owned = 0;  // six records for 24 satellites: each has one owner whose data it holds
  for (int p = 1; p <= 24; ++p) {
    const SvIdType sv = gpsSv(p);
    TestSatRecord out{};
    if (pool.Take(&sv, &out)) {
      ++owned;
      EXPECT_TRUE(out.ulSlotMark == std::uint32_t(p) && out.whole());
    }
  }
  EXPECT_LE(owned, 6);
}

// With a record for every satellite nothing may ever be evicted: two writers choosing a record at
// the same moment must not both take the same free one. Each round starts from an empty pool.
TEST(DataPoolStress, TwoWritersWithRoomForAllLoseNothing) {
  constexpr int kRounds = 3000;
  TestPool pool(8);
  std::atomic<int> round{0}, finished{0};
  auto job = [&](int firstPrn) {
    for (int k = 1; k <= kRounds; ++k) {
      while (round.load() != k) std::this_thread::yield();
      for (int p = firstPrn; p < firstPrn + 4; ++p) {
        const SvIdType sv = gpsSv(p);
        const TestSatRecord r = TestSatRecord::make(p, k);
        pool.Put(&sv, &r);
      }
      finished.fetch_add(1);
    }
  };
  std::thread w1(job, 1), w2(job, 5);
  long lost = 0;
  for (int k = 1; k <= kRounds; ++k) {
    pool.Init();
    round.store(k);
    while (finished.load() != 2 * k) std::this_thread::yield();
    for (int p = 1; p <= 8; ++p) {
      const SvIdType sv = gpsSv(p);
      TestSatRecord out{};
      lost += pool.Take(&sv, &out) != 1 || out.ulSlotMark != std::uint32_t(p) || out.ulSeq != std::uint32_t(k);
    }
  }
  w1.join(), w2.join();
  EXPECT_EQ(lost, 0);
  EXPECT_TRUE(pool.buffer().check_Consistency());
}
