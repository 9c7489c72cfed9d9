// The per-satellite record pool: which record a put lands in, and what a take then sees.
#include <gtest/gtest.h>

#include "data_servers_test_pool.h"
#include "positioning/data_servers/pvt_data.h"

namespace {

TestSatRecord rec(int slot, int seq) {
  TestSatRecord r{};
  r.fill(static_cast<std::uint32_t>(slot), static_cast<std::uint32_t>(seq));
  return r;
}

// Puts for GPS PRN `prn` with DataBufferServerType::ulMsTime set to `ms` first.
template <class Pool>
int putAt(Pool& pool, std::uint32_t ms, int prn, int seq) {
  DataBufferServerType::ulMsTime = ms;
  const SvIdType sv = gpsSv(prn);
  const TestSatRecord r = rec(prn, seq);
  return pool.Put(&sv, &r);
}

template <class Pool>
bool has(Pool& pool, int prn, int* seq = nullptr) {
  const SvIdType sv = gpsSv(prn);
  TestSatRecord out{};
  if (!pool.Take(&sv, &out)) return false;
  EXPECT_EQ(out.ulSlotMark, static_cast<std::uint32_t>(prn));
  EXPECT_TRUE(out.whole());
  if (seq) *seq = static_cast<int>(out.ulSeq);
  return true;
}

TEST(DataPool, SatelliteReusesItsOwnRecordWhileFreeOnesExist) {
  TestPoolServer<4> pool;
  ASSERT_EQ(putAt(pool, 1000, 1, 1), 1);
  ASSERT_EQ(putAt(pool, 2000, 1, 2), 1);
  ASSERT_EQ(putAt(pool, 3000, 2, 1), 1);
  ASSERT_EQ(putAt(pool, 4000, 3, 1), 1);
  ASSERT_EQ(putAt(pool, 5000, 4, 1), 1);
  // Four satellites in four records: PRN 1 did not take a second one.
  int seq = 0;
  EXPECT_TRUE(has(pool, 1, &seq));
  EXPECT_EQ(seq, 2);
  EXPECT_TRUE(has(pool, 2));
  EXPECT_TRUE(has(pool, 3));
  EXPECT_TRUE(has(pool, 4));
  EXPECT_TRUE(pool.buffer().check_Consistency());
}

TEST(DataPool, OldestRecordGoesToNewSatelliteAndItsOwnerLosesIt) {
  TestPoolServer<3> pool;
  putAt(pool, 1000, 1, 1);
  putAt(pool, 2000, 2, 1);
  putAt(pool, 3000, 3, 1);
  putAt(pool, 4000, 2, 2);  // PRN 2 refreshed: PRN 1 is now the oldest
  ASSERT_EQ(putAt(pool, 5000, 4, 1), 1);
  EXPECT_FALSE(has(pool, 1));
  EXPECT_TRUE(has(pool, 2));
  EXPECT_TRUE(has(pool, 3));
  EXPECT_TRUE(has(pool, 4));
  ASSERT_EQ(putAt(pool, 6000, 5, 1), 1);  // now PRN 3 is the oldest
  EXPECT_FALSE(has(pool, 3));
  EXPECT_TRUE(has(pool, 2));
  EXPECT_TRUE(pool.buffer().check_Consistency());
}

TEST(DataPool, OnEqualAgesTheLaterRecordInTheListGoes) {
  TestPoolServer<3> pool;
  putAt(pool, 7000, 1, 1);
  putAt(pool, 7000, 2, 1);
  putAt(pool, 7000, 3, 1);
  // Free records are handed out from the end of the list, so PRN 1 sits in the last one.
  putAt(pool, 7000, 4, 1);
  EXPECT_FALSE(has(pool, 1));
  EXPECT_TRUE(has(pool, 2));
  EXPECT_TRUE(has(pool, 3));
  EXPECT_TRUE(has(pool, 4));
}

// Time tags in milliseconds of day or week run back to 0 at the wrap; records written before it
// are the oldest, not unusable.
TEST(DataPool, RecordsWrittenBeforeTheTimeTagWrappedAreReused) {
  struct Case {
    const char* what;
    std::uint32_t before[3];
    std::uint32_t after;
  };
  const Case cases[] = {
      {"ms of day", {86397000, 86398000, 86399000}, 500},
      {"ms of week", {604797000, 604798000, 604799000}, 0},
      {"32-bit counter", {0xFFFFF000u, 0xFFFFF800u, 0xFFFFFC00u}, 0x100},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TestPoolServer<3> pool;
    putAt(pool, c.before[0], 1, 1);
    putAt(pool, c.before[1], 2, 1);
    putAt(pool, c.before[2], 3, 1);
    ASSERT_EQ(putAt(pool, c.after, 4, 1), 1);
    EXPECT_FALSE(has(pool, 1));
    EXPECT_TRUE(has(pool, 4));
    // The record written after the wrap is the youngest; the next-oldest goes next.
    ASSERT_EQ(putAt(pool, c.after + 1000, 5, 1), 1);
    EXPECT_FALSE(has(pool, 2));
    EXPECT_TRUE(has(pool, 3));
    EXPECT_TRUE(has(pool, 4));
    EXPECT_TRUE(has(pool, 5));
  }
}

TEST(DataPool, NullPutDetachesAndALaterPutFindsTheOldRecord) {
  TestPoolServer<2> pool;
  putAt(pool, 1000, 7, 1);
  putAt(pool, 2000, 8, 1);
  const SvIdType sv7 = gpsSv(7);
  ASSERT_EQ(pool.Put(&sv7, nullptr), 1);
  EXPECT_FALSE(has(pool, 7));
  EXPECT_TRUE(has(pool, 8));
  // PRN 7's record is still its own: a new put lands there, not in PRN 8's.
  ASSERT_EQ(putAt(pool, 3000, 7, 2), 1);
  int seq = 0;
  EXPECT_TRUE(has(pool, 7, &seq));
  EXPECT_EQ(seq, 2);
  EXPECT_TRUE(has(pool, 8));
  EXPECT_TRUE(pool.buffer().check_Consistency());
}

TEST(DataPool, TakeOfSatelliteWithoutRecordLeavesTheCallersRecord) {
  TestPoolServer<2> pool;
  const SvIdType sv = gpsSv(9);
  TestSatRecord out = rec(99, 5);
  EXPECT_EQ(pool.Take(&sv, &out), 0);
  EXPECT_EQ(out.ulSlotMark, 99u);
  EXPECT_EQ(out.ulSeq, 5u);
}

TEST(DataPool, TheHeaderIsThePools) {
  TestPoolServer<2> pool;
  DataBufferServerType::ulMsTime = 4242;
  const SvIdType sv = gpsSv(3);
  TestSatRecord in = rec(3, 1);
  in.header = {1, 2, 3};  // whatever the caller had there
  ASSERT_EQ(pool.Put(&sv, &in), 1);
  TestSatRecord out{};
  ASSERT_EQ(pool.Take(&sv, &out), 1);
  EXPECT_EQ(out.header.ulTime, 4242u);
  EXPECT_EQ(out.header.uOwner, sv.get_SiSlot());
}

TEST(DataPool, InitForgetsEverySatellite) {
  TestPoolServer<2> pool;
  putAt(pool, 1000, 1, 1);
  putAt(pool, 1000, 2, 1);
  pool.Init();
  EXPECT_FALSE(has(pool, 1));
  EXPECT_FALSE(has(pool, 2));
  EXPECT_EQ(putAt(pool, 1000, 3, 1), 1);
  EXPECT_TRUE(has(pool, 3));
}

// Identities come from decoded data: one out of range is refused, nothing ends.
TEST(DataPool, OutOfRangeIdentityIsRefused) {
  TestPoolServer<2> pool;
  const SvIdType bad[] = {{0, 7, 0, 0}, {15, kSysGlonass, 0, 0}, {36, kSysGalileo, 0, 0}};
  for (const auto& sv : bad) {
    TestSatRecord r = rec(1, 1);
    EXPECT_EQ(pool.Put(&sv, &r), 0);
    EXPECT_EQ(pool.Take(&sv, &r), 0);
  }
  TestSatRecord r = rec(1, 1);
  EXPECT_EQ(pool.Put(static_cast<const SvIdType*>(nullptr), &r), 0);
  EXPECT_EQ(pool.Put(-1, &r), 0);
  EXPECT_EQ(pool.Put(SYS_SI_TOTAL, &r), 0);
  EXPECT_TRUE(pool.buffer().check_Consistency());
}

// The store's own pools refuse the same identities (system 7; GLONASS frequency slot 15 in the
// signal numbering; a satellite-numbering slot beyond GLONASS's 30).
TEST(DataPool, StorePoolsRefuseOutOfRangeIdentities) {
  const SvIdType system7{0, 7, 0, 0};
  const SvIdType glonassSi15{15, kSysGlonass, 0, 0};
  const SvIdType glonassSat30{0, kSysGlonass, 0, 30};
  SatData::PolynomDataType poly{};
  EXPECT_EQ(PVTDataInstance.satPolynom.Put(&system7, &poly), 0);
  EXPECT_EQ(PVTDataInstance.satPolynom.Put(&glonassSi15, &poly), 0);
  RTCMData::SatCorrectionType rtcm{};
  EXPECT_EQ(PVTDataInstance.rtcmSatCorrection[0].Put(&glonassSat30, &rtcm), 0);
  COMPData::SatCorrectionType comp{};
  const SvIdType bdsSat63{0, kSysBeidou, 0, 63};
  EXPECT_EQ(PVTDataInstance.compSatCorrection[0].Put(&bdsSat63, &comp), 0);
  COMPData::IonoCorrBlockType block{};
  EXPECT_EQ(PVTDataInstance.compIonoCorrection[0].Put(26, &block), 0);
  EXPECT_EQ(PVTDataInstance.compIonoCorrection[0].Put(25, &block), 1);
  EXPECT_EQ(PVTDataInstance.satelliteResetRequest.Put(&glonassSi15, 1, 0), 0);
  SatData::VisibilityDataType vis{};
  EXPECT_EQ(PVTDataInstance.almVisibility.Put(&glonassSat30, &vis), 0);
}

// Each correction source has its own pool: a satellite put to one source is not in another.
TEST(DataPool, SourcesOfOneClassKeepTheirOwnRecords) {
  SvIdType sv;
  ASSERT_TRUE(svIdFromSatNumber(kSysGps, 5, sv));
  SBASData::SatCorrectionType r{};
  ASSERT_EQ(PVTDataInstance.sbasSatCorrection[3].Put(&sv, &r), 1);
  for (int s = 0; s < SBASData::kSbasSources; ++s) {
    EXPECT_EQ(PVTDataInstance.sbasSatCorrection[s].Take(&sv, &r), s == 3 ? 1 : 0) << s;
  }
  RTCMData::SatCorrectionType q{};
  ASSERT_EQ(PVTDataInstance.rtcmSatCorrection[4].Put(&sv, &q), 1);
  EXPECT_EQ(PVTDataInstance.rtcmSatCorrection[0].Take(&sv, &q), 0);
  EXPECT_EQ(PVTDataInstance.rtcmSatCorrection[4].Take(&sv, &q), 1);
}

TEST(DataPoolDeathTest, SlotOutOfRangeInsideThePoolIsAnInternalFault) {
  TestPoolServer<2> pool;
  TestSatRecord r{};
  EXPECT_EXIT(pool.buffer().put(SYS_SI_TOTAL, &r), ::testing::ExitedWithCode(kExitBadSiIdentity & 0xFF), "");
}

}  // namespace
