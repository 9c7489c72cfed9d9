#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <map>
#include <thread>
#include <tuple>
#include <vector>

#include "positioning/data_servers/pvt_data.h"
#include "positioning/data_servers/server_shapes.h"
#include "positioning/raw_nav_rings.h"
#include "settings/rcv_settings.h"
#include "unit/positioning/fresh_raw_rings.h"

namespace {

// True when every slot's entry points at a record owned by that slot and no record is in two
// entries.
bool consistent(DataBufferServerType& b) {
  Locker<Mutex> l(b.mutex());
  for (int s = 0; s < b.slots(); ++s) {
    const DataBufferHeaderType* r = b.find_Locked(s);
    if (r == nullptr) continue;
    if (r->uOwner != s) return false;
    for (int t = s + 1; t < b.slots(); ++t)
      if (b.find_Locked(t) == r) return false;
  }
  return true;
}

struct TestSatRecord {
  DataBufferHeaderType header;
  std::uint32_t ulSlotMark, ulSeq;
  std::uint8_t aBody[40];
  void init() { std::memset(&ulSlotMark, 0, sizeof(*this) - sizeof(header)); }
  static TestSatRecord make(int slot, int seq) {
    TestSatRecord r{};
    r.ulSlotMark = std::uint32_t(slot), r.ulSeq = std::uint32_t(seq);
    std::memset(r.aBody, (slot + seq) & 0xFF, sizeof r.aBody);
    return r;
  }
  bool whole(int prn) const {
    return ulSlotMark == std::uint32_t(prn) && std::count(aBody, aBody + 40, std::uint8_t(ulSlotMark + ulSeq)) == 40;
  }
};

class TestPool : public PoolDataServer<TestPool, TestSatRecord, PoolKey::kSi> {
 public:
  explicit TestPool(std::uint16_t records) : PoolDataServer(records, SYS_SI_TOTAL) {}
  static inline Mutex mutex;
};

SvIdType gpsSv(int prn) { return SvIdType{std::uint8_t(prn), kSysGps, 0, std::uint8_t(prn)}; }

// Records written before a ms-of-day/week wrap are the oldest, not unusable; free ones go from the end of the list.
TEST(DataPool, PutsLandInTheRightRecord) {
  struct Op { std::uint32_t ms; int prn, seq; };  // prn 0: Init; seq 0: null put
  const struct { const char* what; std::uint16_t n; std::vector<Op> ops; std::vector<int> held, gone; } cases[] = {
      {"own record reused while free ones exist", 4,
       {{1000, 1, 1}, {2000, 1, 2}, {3000, 2, 1}, {4000, 3, 1}, {5000, 4, 1}}, {1, 2, 3, 4}, {}},
      {"oldest goes to a new satellite", 3, {{1000, 1, 1}, {2000, 2, 1}, {3000, 3, 1}, {4000, 2, 2}, {5000, 4, 1}},
       {2, 3, 4}, {1}},
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
  for (const auto& s : cases) {
    SCOPED_TRACE(s.what);
    TestPool pool(s.n);
    std::map<int, Op> last;
    for (const Op& op : s.ops) {
      const SvIdType sv = gpsSv(op.prn);
      const TestSatRecord r = TestSatRecord::make(op.prn, op.seq);
      DataBufferServerType::ulMsTime = op.ms;
      if (op.prn == 0) {
        pool.Init(), last.clear();
        continue;
      }
      ASSERT_EQ(pool.Put(&sv, op.seq ? &r : nullptr), 1);
      last.erase(op.prn);
      if (op.seq) last[op.prn] = op;
    }
    for (int prn : s.held) {
      const SvIdType sv = gpsSv(prn);
      TestSatRecord out{};
      ASSERT_EQ(pool.Take(&sv, &out), 1) << prn;
      EXPECT_TRUE(out.whole(prn) && out.ulSeq == std::uint32_t(last[prn].seq) && out.header.ulTime == last[prn].ms &&
                  out.header.uOwner == sv.get_SiSlot()) << prn;
    }
    for (int prn : s.gone) {
      const SvIdType sv = gpsSv(prn);
      TestSatRecord out = TestSatRecord::make(99, 5);
      EXPECT_TRUE(pool.Take(&sv, &out) == 0 && out.ulSlotMark == 99 && out.ulSeq == 5) << prn;
    }
    EXPECT_TRUE(consistent(pool.buffer()));
  }
  TestPool pool(2);
  TestSatRecord r = TestSatRecord::make(1, 1);
  for (const SvIdType& sv : {SvIdType{0, 7, 0, 0}, SvIdType{15, kSysGlonass, 0, 0}, SvIdType{36, kSysGalileo, 0, 0}})
    EXPECT_TRUE(pool.Put(&sv, &r) == 0 && pool.Take(&sv, &r) == 0);
  EXPECT_TRUE(pool.Put(static_cast<const SvIdType*>(nullptr), &r) == 0 && pool.Put(-1, &r) == 0 &&
              pool.Put(SYS_SI_TOTAL, &r) == 0);
  EXPECT_TRUE(consistent(pool.buffer()));
}

TEST(DataServers, KeysAndIdentitiesFromDecodedDataAreChecked) {
  for (int key : {-1, 0, 11, 12, 1000}) {
    const int expect = key >= 0 && key <= 11;
    SBASData::SourceStateDataType r{}, out{};
    r.uPrn = 131;
    EXPECT_EQ(PVTDataInstance.sbasSourceState.Put(key, &r), expect) << key;
    EXPECT_EQ(PVTDataInstance.sbasSourceState.Take(key, &out), expect) << key;
    EXPECT_EQ(out.uPrn, expect ? 131 : SBASData::SourceStateDataType{}.uPrn) << key;
  }
  SBASData::RegionServiceDataType reg{};
  GBASData::FASDataType fas{};
  COMPData::IonoCorrBlockType block{};
  EXPECT_TRUE(PVTDataInstance.sbasRegionService[11].Put(79, &reg) == 1 &&
              PVTDataInstance.sbasRegionService[11].Put(80, &reg) == 0);
  EXPECT_TRUE(PVTDataInstance.gbasFas[1].Put(48, &fas) == 1 && PVTDataInstance.gbasFas[1].Put(49, &fas) == 0);
  EXPECT_TRUE(PVTDataInstance.compIonoCorrection[0].Put(26, &block) == 0 &&
              PVTDataInstance.compIonoCorrection[0].Put(25, &block) == 1);
  const SvIdType system7{0, 7, 0, 0}, glonassSi15{15, kSysGlonass, 0, 0}, glonassSat30{0, kSysGlonass, 0, 30};
  const SvIdType bdsSat63{0, kSysBeidou, 0, 63}, bdsSi63{63, kSysBeidou, 0, 0};
  SatData::PolynomSetType poly{};
  RTCMData::SatCorrectionType rtcm{};
  COMPData::SatCorrectionType comp{};
  EXPECT_EQ(PVTDataInstance.satPolynom.Put(&system7, &poly) + PVTDataInstance.satPolynom.Put(&glonassSi15, &poly) +
                PVTDataInstance.rtcmSatCorrection[0].Put(&glonassSat30, &rtcm) +
                PVTDataInstance.compSatCorrection[0].Put(&bdsSat63, &comp) +
                PVTDataInstance.satelliteResetRequest.Put(&glonassSi15, 1, 0) +
                PVTDataInstance.ephemerisResetRequest.Put(&bdsSi63, 1) +
                PVTDataInstance.ephemerisResetRequest.Get(&bdsSi63),
            0);
}

// Points 0..200 and bands 0..10; -1 keeps issue and block; a detached band finds its grid again; a lent record
// starts empty.
TEST(SbasIonoServer, PointsBandsAndRecords) {
  auto& s = PVTDataInstance.sbasIonoCorrection[1];
  const SBASData::IonoCorrectionType c{0x155, 0, 0}, d{0x1234, 0, 0}, e{0x42, 0, 0}, full{0x3 | (100u << 6), 0, 0},
      flags{0x3, 0, 0};
  SBASData::IonoCorrectionType out{};
  const int bounds[][3] = {{0, 0, 1}, {200, 10, 1}, {201, 0, 0}, {-1, 0, 0}, {0, 11, 0}, {0, -1, 0}, {65535, 3, 0}};
  for (const auto& k : bounds)
    EXPECT_TRUE(s.Put(k[0], k[1], &c, 1, 1) == k[2] && s.Take(k[0], k[1], &out, nullptr, nullptr) == k[2])
        << k[0] << "/" << k[1];
  int blockWord = 0, issue = 0;
  ASSERT_TRUE(s.Put(20, 4, &c, 3, 9) == 1 && s.Put(21, 4, &c, -1, -1) == 1);
  ASSERT_EQ(s.Take(21, 4, &out, &blockWord, &issue), 1);
  EXPECT_TRUE(blockWord == 9 && issue == 3);  // points 20 and 21 share block 1
  ASSERT_TRUE(s.Put(5, 6, &d, 1, 1) == 1 && s.Put(5, 6, nullptr, 1, 1) == 1);
  EXPECT_EQ(s.Take(5, 6, &out, nullptr, nullptr), 0);
  ASSERT_TRUE(s.Put(6, 6, &e, -1, -1) == 1 && s.Take(5, 6, &out, nullptr, nullptr) == 1);
  EXPECT_EQ(out.ulBits, 0x1234u);
  auto& lend = PVTDataInstance.sbasIonoCorrection[4];
  for (int band = 0; band < 8; ++band) {
    DataBufferServerType::ulMsTime = 1000u * std::uint32_t(band + 1);
    ASSERT_EQ(lend.Put(77, band, &full, band, band), 1);
  }
  DataBufferServerType::ulMsTime = 20000;
  ASSERT_EQ(lend.Put(0, 9, &flags, 1, 1), 1);  // takes band 0's record, the oldest
  EXPECT_EQ(lend.Take(77, 0, &out, nullptr, nullptr), 0);
  ASSERT_EQ(lend.Take(77, 9, &out, &blockWord, &issue), 1);
  EXPECT_TRUE(out.ulBits == 0u && blockWord == -1 && issue == 1);
  EXPECT_TRUE(lend.Take(77, 1, &out, nullptr, nullptr) == 1 && out.ulBits == full.ulBits);
}

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

// A cleared ring holds nothing and has counted nothing: a reader from its start reads nothing, and
// the next entry goes to the first place.
TEST(RawNavRings, ClearedRingsAreAsAtStart) {
  for (std::uint32_t t = 1; t <= 100; ++t) updateGpsRawData(gpsEntry(3, t));
  CorrData::GpsRawMessageType tooMany = gpsEntry(3, 1);
  tooMany.uCount = 200;
  EXPECT_FALSE(updateGpsRawData(tooMany));
  rawNavRingsClear();
  EXPECT_EQ(std::tuple(GpsRawMessageData.appended(), GpsRawMessageData.writeIndex(), GpsRawMessageData.refused()),
            std::tuple(std::uint64_t{0}, 0u, 0u));
  RawNavReader r;
  CorrData::GpsRawMessageType e{};
  EXPECT_FALSE(GpsRawMessageData.read(r, e));
  ASSERT_TRUE(updateGpsRawData(gpsEntry(3, 7)));
  EXPECT_EQ(GpsRawMessageData.writeIndex(), 1u);
  ASSERT_TRUE(GpsRawMessageData.read(r, e));
  EXPECT_EQ(e.ulTime, 7u);
}

// A full ring is not empty; a lapped reader resumes at the oldest entry and counts what it missed.
TEST(RawNavRings, FullRingsWrapAndLappedReadersResumeAtTheOldest) {
  rawNavRingsClear();
  for (std::uint32_t t = 1; t <= 79; ++t) ASSERT_TRUE(updateGpsRawData(gpsEntry(3, t)));
  EXPECT_EQ(GpsRawMessageData.writeIndex(), 0u);
  RawNavReader r0;
  const auto all = readTimes(r0);
  ASSERT_EQ(all.size(), 79u);
  EXPECT_TRUE(all.front() == 1u && all.back() == 79u && r0.ulOverruns == 0u);
  CorrData::GloRawMessageType g{};
  g.iFreq = -7;
  for (std::uint32_t i = 0; i < 47; ++i) EXPECT_TRUE(GloRawMessageData.writeIndex() == i % 46 && updateGloRawData(g));
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

TEST(RawNavRings, WhatTheReaderCannotUseIsSkippedAndOverlongEntriesRefused) {
  rawNavRingsClear();  // readers from the start see this test's entries only
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
  while (WaasRawMessageData.readUsable(wr, w)) {
    if (!waasKindDecoded(w.uKind)) continue;
    times.push_back(w.ulTime);
    for (std::uint32_t i = 0; i < 32; ++i) ASSERT_EQ(w.uData[i], std::uint8_t(w.ulTime + i));
  }
  EXPECT_EQ(times, (std::vector<std::uint32_t>{1, 2, 3}));  // L1 and L5 kinds, not kind 7
  for (int k = 0; k < 256; ++k) EXPECT_EQ(waasKindDecoded(k), k == 0 || k == 1) << k;
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

}  // namespace

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
      lost += pool.Take(&sv, &out) != 1 || !out.whole(p) || out.ulSeq != std::uint32_t(k);
    }
  }
  w1.join(), w2.join();
  EXPECT_EQ(lost, 0);
  EXPECT_TRUE(consistent(pool.buffer()));
}
