// SBAS L1 decoder core, from hand-built RTCA DO-229D messages: the bit readers, PRN masks and
// their issues, fast corrections (MT2-5, MT0 as MT2, MT24's fast half), UDREs (MT6) by IODF,
// degradation factors (MT7) and range-rate corrections, test mode, the pool, the masks kept in
// the settings image, and random and truncated messages.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <thread>
#include <vector>

#include "navigation_data/bit_extract.h"
#include "platform/file_nvm.h"
#include "platform/nv_block.h"
#include "platform/ram_nvm.h"
#include "positioning/data_servers/pvt_data.h"
#include "positioning/engine/pvt_engine.h"
#include "positioning/sbas/sbas_data_decoder.h"
#include "unit/platform/temp_run_dir.h"
#include "unit/platform/image_block.h"

namespace {

using U = SbasDecUtility;
constexpr int kWeek = 2300;

struct Msg {
  std::uint8_t b[32] = {};
  explicit Msg(int type) {
    put0(0, 8, 0x53);
    put0(8, 6, static_cast<std::uint32_t>(type));
  }
  void put0(int bit0, int n, std::uint32_t v) {
    for (int i = 0; i < n; ++i) {
      const int bit = bit0 + i;
      const std::uint8_t m = static_cast<std::uint8_t>(0x80u >> (bit % 8));
      if ((v >> (n - 1 - i)) & 1u)
        b[bit / 8] |= m;
      else
        b[bit / 8] &= static_cast<std::uint8_t>(~m);
    }
  }
  Msg& put(int pos, int n, std::int64_t v) {
    put0(pos + 13, n, static_cast<std::uint32_t>(v) & (n == 32 ? 0xFFFFFFFFu : ((1u << n) - 1)));
    return *this;
  }
};

Msg mask(int iodp, std::initializer_list<int> prns) {
  Msg m(1);
  for (int p : prns) m.put(p, 1, 1);
  m.put(211, 2, iodp);
  return m;
}

Msg fast(int type, int iodf, int iodp, const std::vector<int>& prc, const std::vector<int>& udrei) {
  Msg m(type);
  m.put(1, 2, iodf).put(3, 2, iodp);
  for (std::size_t i = 0; i < prc.size(); ++i) m.put(5 + 12 * static_cast<int>(i), 12, prc[i]);
  for (std::size_t i = 0; i < udrei.size(); ++i) m.put(161 + 4 * static_cast<int>(i), 4, udrei[i]);
  return m;
}

Msg mt7(int iodp, std::vector<int> ai, int latency = 2) {
  Msg m(7);
  m.put(1, 4, latency).put(5, 2, iodp);
  for (std::size_t i = 0; i < ai.size(); ++i) m.put(9 + 4 * static_cast<int>(i), 4, ai[i]);
  return m;
}

PosData::RcvTimeDataType timeAt(double sec, int week = kWeek) {
  PosData::RcvTimeDataType t{};
  t.gps.ulMs = static_cast<std::uint32_t>(std::llround(sec * 1000.0));
  t.gps.uWeek = static_cast<std::uint16_t>(week);
  t.gps.uStatus[0] = 1;
  return t;
}

SvIdType geo(int prn) {
  return SvIdType{static_cast<std::uint8_t>(prn - 120), kSysSbas, 0, static_cast<std::uint8_t>(prn - 120)};
}
SvIdType gps(int prn) { return SvIdType{static_cast<std::uint8_t>(prn - 1), kSysGps, 0, static_cast<std::uint8_t>(prn - 1)}; }

class SbasDecoder : public ::testing::Test {
 protected:
  void SetUp() override {
    PosSetup::CorrProcessorSetupType s;
    PosSetup::setDefaults(s);
    const std::uint32_t mode = 2;
    std::memcpy(s.aBytes + SBASData::kSetupSbasModeOffset, &mode, 4);
    SBASData::SatCorrectionType::set_DataTimeout(&s);
    for (SbasDataDecoder& d : SbasDataDecoderInstance) d.init_Object(&PVTDataInstance, nullptr);
    for (auto& s2 : PVTDataInstance.sbasSatCorrection) s2.Init();
    dec_ = &SbasDataDecoderInstance[0];
  }
  int feed(double sec, const Msg& m, const SvIdType& src = geo(129)) {
    const PosData::RcvTimeDataType t = timeAt(sec);
    SbasDataDecoder* d = get_SbasDataDecoder(t, src);
    return d->update(t, src, m.b);
  }
  bool sat(const SvIdType& sv, SBASData::SatCorrectionType& r, int server = 0) {
    return PVTDataInstance.sbasSatCorrection[server].Take(&sv, &r) != 0;
  }
  SbasDataDecoder* dec_ = nullptr;
};

// ---- the bit readers -----------------------------------------------------------------------------

TEST(SbasBits, FieldsTypeAndEmptyMessages) {
  Msg m(26);
  m.put(1, 4, 0xA).put(5, 12, 0x800).put(199, 13, 0x1ABC).put(212, 1, 1);
  struct {
    int pos, n;
    bool sign;
    std::int32_t v;
  } rows[] = {{1, 4, false, 10},      {1, 4, true, -6},        {5, 12, true, -2048}, {5, 12, false, 2048},
              {199, 13, false, 0x1ABC}, {212, 1, false, 1},     {0, 4, false, 0},     {213, 1, false, 0},
              {211, 32, false, 0},    {1, 33, false, 0},       {1, 0, false, 0}};
  for (const auto& r : rows) EXPECT_EQ(U::extract_DataField(m.b, r.pos, r.n, r.sign), r.v) << r.pos << "/" << r.n;
  EXPECT_EQ(U::extract_MessageType(m.b), 26);
  EXPECT_FALSE(U::is_MessageEmpty(m.b));
  Msg e(0);
  EXPECT_TRUE(U::is_MessageEmpty(e.b));
  for (int i = 1; i < 29; ++i) e.b[i] |= static_cast<std::uint8_t>(0xAA & U::EMPTY_DATA_MASK[i]);
  EXPECT_TRUE(U::is_MessageEmpty(e.b));
  for (int i = 29; i < 32; ++i) e.b[i] = 0xFF;  // CRC and padding are no data
  EXPECT_TRUE(U::is_MessageEmpty(e.b));
  e.b[10] = 0x5A;
  EXPECT_FALSE(U::is_MessageEmpty(e.b));
  Msg f(0);
  for (int i = 1; i < 29; ++i) f.b[i] |= static_cast<std::uint8_t>(0x55 & U::EMPTY_DATA_MASK[i]);
  EXPECT_TRUE(U::is_MessageEmpty(f.b));
}

// ---- masks and fast corrections -------------------------------------------------------------------

TEST_F(SbasDecoder, MaskSlotsAndFastCorrections) {
  ASSERT_EQ(feed(100, mask(2, {1, 2, 33, 4, 125})), 1);
  EXPECT_EQ(dec_->mask(dec_->iodpEntry(0).uMask).uSlots, 5);
  // Slots in PRN order: 1, 2, 4, 33 (no satellite), 125.
  ASSERT_EQ(feed(101, fast(2, 1, 2, {8, -16, 24, 2047, 40}, {3, 4, 5, 14, 6})), 1);
  SBASData::SatCorrectionType r;
  struct {
    SvIdType sv;
    float prc;
    int udrei;
  } rows[] = {{gps(1), 1.0f, 3}, {gps(2), -2.0f, 4}, {gps(4), 3.0f, 5}, {geo(125), 5.0f, 6}};
  const int now = 101000 - 1130 + 500;
  for (const auto& row : rows) {
    ASSERT_TRUE(sat(row.sv, r)) << int(row.sv.sat);
    EXPECT_FLOAT_EQ(r.fPrc, row.prc);
    EXPECT_EQ(r.uUdrei, row.udrei);
    EXPECT_TRUE(r.is_ReadyFastCorr(now) && r.is_ReadyUDREData(now));
    EXPECT_EQ(r.get_SourceIndex(), 9);
    EXPECT_EQ(r.ulFastTime[0] >> 1, 101000u - 1130u);
  }
  EXPECT_FALSE(sat(gps(3), r));  // not in the mask
  SBASData::SourceStateDataType st;
  PVTDataInstance.sbasSourceState.Take(0, &st);
  EXPECT_TRUE(st.uPrn == 129 && st.uSystem == kSysSbas && (st.uFlags & st.kMaskValid) != 0);
  EXPECT_EQ(st.ulSatSet[kSysGps], 0xBu);
  EXPECT_EQ(st.ulSatSet[kSysSbas], 1u << 5);
  EXPECT_EQ(st.ulTime >> 1, 101000u - 1130u);
}

TEST_F(SbasDecoder, TwoMaskIssuesBothApply) {
  feed(100, mask(2, {1, 2}));
  feed(110, mask(3, {5, 6}));
  EXPECT_TRUE(dec_->iodpEntry(0).uIodp == 3 && dec_->iodpEntry(1).uIodp == 2);
  feed(111, fast(2, 0, 2, {8, 16}, {1, 1}));
  feed(112, fast(2, 1, 3, {24, 32}, {1, 1}));
  SBASData::SatCorrectionType r;
  ASSERT_TRUE(sat(gps(1), r) && sat(gps(2), r) && sat(gps(5), r) && sat(gps(6), r));
  EXPECT_FLOAT_EQ(r.fPrc, 4.0f);
  ASSERT_TRUE(sat(gps(2), r));
  EXPECT_FLOAT_EQ(r.fPrc, 2.0f);
  // Fast data of an issue no entry holds waits, and applies once its mask comes.
  feed(113, fast(3, 1, 1, {8}, {1}));
  EXPECT_FALSE(sat(gps(20), r));
  feed(114, mask(1, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 20}));
  ASSERT_TRUE(sat(gps(20), r));
  EXPECT_FLOAT_EQ(r.fPrc, 1.0f);
}

// An issue found in entry 1 after that entry expired: the new mask goes into a buffer of its own
// and the live mask of the other issue stays whole.
TEST_F(SbasDecoder, ExpiredSecondEntryKeepsTheLiveMask) {
  feed(0, mask(0, {1}));
  feed(500, mask(1, {2, 3}));
  feed(700, mask(0, {4, 5, 6}));
  EXPECT_EQ(dec_->iodpEntry(0).uIodp, 0);
  EXPECT_EQ(dec_->iodpEntry(1).uIodp, 1);
  const SbasDataDecoder::PrnMaskType& live1 = dec_->mask(dec_->iodpEntry(1).uMask);
  const SbasDataDecoder::PrnMaskType& live0 = dec_->mask(dec_->iodpEntry(0).uMask);
  EXPECT_EQ(live1.ulWord[0], 0x60000000u);
  EXPECT_EQ(live0.ulWord[0], 0x1C000000u);
  EXPECT_NE(dec_->iodpEntry(0).uMask, dec_->iodpEntry(1).uMask);
}

TEST_F(SbasDecoder, UdreBlocksByIodf) {
  feed(100, mask(1, {1, 2}));
  feed(101, fast(2, 2, 1, {8, 8}, {5, 5}));
  struct {
    const char* name;
    int iodf;
    bool applies;
  } rows[] = {{"same IODF", 2, true}, {"IODF 3", 3, true}, {"other IODF", 1, false}};
  int t = 102;
  for (const auto& row : rows) {
    Msg m(6);
    m.put(1, 2, row.iodf).put(9, 4, 9).put(13, 4, 10);
    feed(t++, m);
    SBASData::SatCorrectionType r;
    ASSERT_TRUE(sat(gps(2), r));
    EXPECT_EQ(r.uUdrei == 10, row.applies) << row.name;
    if (row.applies) {
      feed(t++, fast(2, 2, 1, {8, 8}, {5, 5}));  // back to the fast block's own UDREIs
    }
  }
}

TEST_F(SbasDecoder, Mt24FastHalfFillsSixSlotsOfItsBlock) {
  std::vector<int> prns;
  for (int p = 1; p <= 20; ++p) prns.push_back(p);
  Msg mk(1);
  for (int p : prns) mk.put(p, 1, 1);
  mk.put(211, 2, 1);
  feed(100, mk);
  Msg m(24);
  for (int i = 0; i < 6; ++i) m.put(1 + 12 * i, 12, 8 * (i + 1)).put(73 + 4 * i, 4, 2);
  m.put(97, 2, 1).put(99, 2, 1).put(101, 2, 0);
  feed(101, m);
  SBASData::SatCorrectionType r;
  for (int i = 0; i < 6; ++i) {
    ASSERT_TRUE(sat(gps(14 + i), r)) << i;
    EXPECT_FLOAT_EQ(r.fPrc, static_cast<float>(i + 1));
  }
  EXPECT_FALSE(sat(gps(20), r));  // the block's seventh slot had no correction
  EXPECT_FALSE(sat(gps(1), r));
}

// Ageing of the held blocks against the time-outs of the en-route mode: masks 600 s, fast
// corrections of a_i 0 180 s, UDREs 18 s.
TEST_F(SbasDecoder, HeldBlocksAgeOut) {
  struct Step {
    double sec;
    Msg msg;
  };
  Msg udre0(6);
  udre0.put(1, 2, 0).put(9, 4, 11);
  struct {
    const char* name;
    std::vector<Step> steps;
    bool published;
    int udrei;  // expected when published, -1 any
  } rows[] = {
      {"mask 599 s old applies", {{0, mask(1, {1})}, {599, fast(2, 0, 1, {8}, {2})}}, true, 2},
      {"mask 601 s old is gone", {{0, mask(1, {1})}, {601, fast(2, 0, 1, {8}, {2})}}, false, -1},
      {"fast block waits 179 s for its mask", {{0, fast(2, 0, 3, {8}, {2})}, {179, mask(3, {1})}}, true, 2},
      {"fast block gone after 181 s", {{0, fast(2, 0, 3, {8}, {2})}, {181, mask(3, {1})}}, false, -1},
      {"UDRE block waits 17 s for its fast block", {{0, mask(1, {1})}, {10, udre0}, {27, fast(2, 0, 1, {8}, {2})}}, true, 11},
      {"UDRE block gone after 19 s", {{0, mask(1, {1})}, {10, udre0}, {29, fast(2, 0, 1, {8}, {2})}}, true, 2},
  };
  for (const auto& r : rows) {
    SetUp();
    for (const Step& st : r.steps) feed(1000 + st.sec, st.msg);
    SBASData::SatCorrectionType c;
    EXPECT_EQ(sat(gps(1), c), r.published) << r.name;
    if (r.published && r.udrei >= 0) {
      EXPECT_EQ(c.uUdrei, r.udrei) << r.name;
    }
  }
}

TEST_F(SbasDecoder, SetupDecidesTheNotSafetyOfLifeMode) {
  struct {
    std::uint32_t mode;
    std::uint8_t nsol;
    std::uint8_t flag;
  } rows[] = {{1, 1, 0}, {1, 0, 0}, {2, 1, 1}, {2, 0, 0}, {0, 1, 1}, {4, 0, 0}};
  for (const auto& r : rows) {
    PosSetup::CorrProcessorSetupType s;
    PosSetup::setDefaults(s);
    std::memcpy(s.aBytes + SBASData::kSetupSbasModeOffset, &r.mode, 4);
    s.aBytes[SbasDataDecoder::kSetupNotSafetyOfLifeOffset] = r.nsol;
    PVTDataInstance.corrProcessorSetup.Put(&s);
    SbasDataDecoder::update_SetupData();
    EXPECT_EQ(SbasDataDecoder::bNotSafetyForLifeMode, r.flag) << r.mode << "/" << int(r.nsol);
  }
  SbasDataDecoder::bNotSafetyForLifeMode = 1;
}

// ---- range rates ---------------------------------------------------------------------------------------

TEST_F(SbasDecoder, RangeRateFromTheStackOrNone) {
  feed(100, mask(1, {1, 2, 3}));
  feed(101, mt7(1, {5, 0, 5}));  // a_i 5: 117 s
  feed(110, fast(2, 0, 1, {80, 80, 80}, {2, 2, 2}));
  feed(120, fast(2, 1, 1, {160, 120, 80}, {2, 2, 14}));
  SBASData::SatCorrectionType r;
  const int now = 120000;
  ASSERT_TRUE(sat(gps(1), r));
  EXPECT_TRUE(r.is_ReadyRateCorr(now));
  EXPECT_FLOAT_EQ(r.fRrc, 1.0f);  // (20 - 10) m over 10 s
  EXPECT_FLOAT_EQ(r.fPrcInterval, 10.0f);
  ASSERT_TRUE(sat(gps(2), r));  // a_i 0: rate 0 with interval 0
  EXPECT_TRUE(r.is_ReadyRateCorr(now) && r.fRrc == 0.0f && r.fPrcInterval == 0.0f);
  ASSERT_TRUE(sat(gps(3), r));  // not monitored: no rate
  EXPECT_FALSE(r.is_ReadyRateCorr(now));
  // The same correction again at the same time: no pair of one time tag, no NaN.
  feed(130, fast(2, 2, 1, {240, 120, 80}, {2, 2, 2}));
  feed(130, fast(2, 3, 1, {240, 120, 80}, {2, 2, 2}));
  ASSERT_TRUE(sat(gps(1), r));
  EXPECT_FALSE(std::isnan(r.fRrc));
  EXPECT_TRUE(r.is_ReadyRateCorr(130000));
  EXPECT_NEAR(r.fRrc, 1.0f, 1e-6);  // paired with an earlier one
  // Without MT7 no rate.
  feed(200, mask(2, {7}), geo(133));
  feed(201, fast(2, 0, 2, {8}, {2}), geo(133));
  feed(211, fast(2, 1, 2, {16}, {2}), geo(133));
  ASSERT_TRUE(sat(gps(7), r, 1));
  EXPECT_FALSE(r.is_ReadyRateCorr(211000));
}

// The rate keeps the IODFs of the two corrections it was formed from: the newer first. With a_i 5
// (I_fc 117 s) the older partner is the one whose age is nearest 58.5 s.
TEST_F(SbasDecoder, RangeRateKeepsTheIodfsOfItsPair) {
  struct Step {
    int sec, iodf;
  };
  struct Row {
    const char* name;
    std::vector<Step> fast;
    int newer, older;  // 255: none
  } rows[] = {
      {"consecutive", {{110, 0}, {120, 1}}, 1, 0},
      {"across the wrap", {{110, 2}, {120, 0}}, 0, 2},
      {"one skipped", {{110, 0}, {120, 2}}, 2, 0},
      {"alarm issue", {{110, 1}, {120, 3}}, 3, 1},
      {"partner nearest half the time-out", {{60, 0}, {100, 1}, {118, 2}, {124, 0}}, 0, 0},
      {"first correction: no rate", {{110, 0}}, 255, 255},
  };
  for (const Row& r : rows) {
    SetUp();
    feed(50, mask(1, {1}));
    feed(51, mt7(1, {5}));
    for (const Step& st : r.fast) feed(st.sec, fast(2, st.iodf, 1, {8 * st.sec}, {2}));
    SBASData::SatCorrectionType c;
    ASSERT_TRUE(sat(gps(1), c)) << r.name;
    EXPECT_EQ(c.uRateIodf[0], r.newer) << r.name;
    EXPECT_EQ(c.uRateIodf[1], r.older) << r.name;
    EXPECT_EQ(c.uIodf, r.fast.back().iodf) << r.name;
  }
}

// MT7 arriving later forms the rate again from the stack, with the IODFs of the new pair.
TEST_F(SbasDecoder, RateRecomputedByMt7KeepsItsPair) {
  feed(50, mask(1, {1}));
  feed(60, fast(2, 1, 1, {80}, {2}));
  feed(70, fast(2, 2, 1, {160}, {2}));
  SBASData::SatCorrectionType c;
  ASSERT_TRUE(sat(gps(1), c));
  EXPECT_FALSE(c.is_ReadyRateCorr(70000)) << "no a_i yet";
  EXPECT_EQ(c.uRateIodf[0], 255);
  feed(71, mt7(1, {5}));
  ASSERT_TRUE(sat(gps(1), c));
  EXPECT_TRUE(c.is_ReadyRateCorr(71000));
  EXPECT_FLOAT_EQ(c.fRrc, 1.0f);
  EXPECT_EQ(c.uRateIodf[0], 2);
  EXPECT_EQ(c.uRateIodf[1], 1);
  feed(72, mt7(1, {0}));  // a_i 0: rate 0, no pair
  ASSERT_TRUE(sat(gps(1), c));
  EXPECT_EQ(c.uRateIodf[0], 255);
  EXPECT_EQ(c.uRateIodf[1], 255);
}

// ---- test mode, MT0 ------------------------------------------------------------------------------------

TEST_F(SbasDecoder, TestModeFromEmptyMt0) {
  SbasDataDecoder::bNotSafetyForLifeMode = 1;
  feed(100, mask(1, {1}));
  feed(101, fast(2, 0, 1, {8}, {2}));
  SBASData::SatCorrectionType r;
  ASSERT_TRUE(sat(gps(1), r));
  // Non-empty MT0 in not-safety-of-life mode: used as MT2.
  Msg m0 = fast(0, 1, 1, {24}, {3});
  EXPECT_EQ(feed(102, m0), 1);
  ASSERT_TRUE(sat(gps(1), r));
  EXPECT_FLOAT_EQ(r.fPrc, 3.0f);
  EXPECT_FALSE(dec_->in_TestMode());
  // Empty MT0: test mode, this decoder's data gone, corrections dropped.
  EXPECT_EQ(feed(103, Msg(0)), 1);
  EXPECT_TRUE(dec_->in_TestMode());
  EXPECT_FALSE(sat(gps(1), r));
  EXPECT_EQ(feed(104, fast(2, 0, 1, {8}, {2})), 0);
  EXPECT_EQ(feed(150, mask(1, {1})), 0);
  EXPECT_EQ(feed(163, mask(1, {1})), 0);   // 60 s after the last MT0: still in
  EXPECT_EQ(feed(164, mask(1, {1})), 1);   // more than 60 s: out
  EXPECT_FALSE(dec_->in_TestMode());
  // Safety-of-life mode: any MT0 is a test message.
  SbasDataDecoder::bNotSafetyForLifeMode = 0;
  feed(170, m0);
  EXPECT_TRUE(dec_->in_TestMode());
  SbasDataDecoder::bNotSafetyForLifeMode = 1;
}

// ---- pool, time tag, invalid time -------------------------------------------------------------------------

TEST_F(SbasDecoder, PoolTakesTheOldestForAThirteenthSource) {
  for (int i = 0; i < 12; ++i) ASSERT_EQ(feed(100 + (i == 4 ? 0 : 10 + i), mask(1, {1}), geo(120 + i)), 1);
  EXPECT_EQ(get_SbasDataDecoder(timeAt(200), geo(121)), &SbasDataDecoderInstance[1]);
  SbasDataDecoder* d = get_SbasDataDecoder(timeAt(200), geo(140));
  EXPECT_EQ(d, &SbasDataDecoderInstance[4]);  // PRN 124 updated last at 100 s
  EXPECT_EQ(feed(200, mask(1, {2}), geo(140)), 1);
  EXPECT_EQ(SbasDataDecoderInstance[4].source(), geo(140));
}

TEST_F(SbasDecoder, TimeTagWrapsAndInvalidTimeIsRefused) {
  PosData::RcvTimeDataType t = timeAt(0.5);
  ASSERT_EQ(dec_->update(t, geo(129), mask(1, {1}).b), 1);
  EXPECT_EQ(dec_->mask(dec_->iodpEntry(0).uMask).lTime, 604799370);
  t.gps.uStatus[0] = 0;
  EXPECT_EQ(dec_->update(t, geo(129), mask(1, {1}).b), 0);
  EXPECT_EQ(dec_->update(timeAt(1), geo(129), nullptr), 0);
  EXPECT_EQ(PVTEngineInstance.update_SbasDataTask(mask(1, {1}).b, 31, nullptr, 0, 0.0f), 0);
}

// ---- random and truncated messages ---------------------------------------------------------------------------

TEST_F(SbasDecoder, RandomMessagesOfEveryTypeFromRandomSources) {
  std::mt19937 rng(46);
  for (int i = 0; i < 20000; ++i) {
    Msg m(static_cast<int>(rng() % 64));
    for (int b = 2; b < 32; ++b) m.b[b] = static_cast<std::uint8_t>(rng());
    m.put0(8, 6, rng() % 30);
    const int sys = static_cast<int>(rng() % 8);
    const SvIdType src{static_cast<std::uint8_t>(rng() % 40), static_cast<std::uint8_t>(sys == 7 ? 255 : sys), 0,
                       static_cast<std::uint8_t>(rng() % 40)};
    PosData::RcvTimeDataType t = timeAt(static_cast<double>(rng() % 604800000) / 1000.0);
    get_SbasDataDecoder(t, src)->update(t, src, m.b);
  }
  SUCCEED();
}

// Two tasks feeding the pool through the engine's entry at once: the same data as one after the
// other (the sanitizer build watches the races).
TEST_F(SbasDecoder, TwoTasksFeedThePoolAtOnce) {
  PVTEngineInstance.init_Object(&PVTDataInstance, nullptr);
  const PosData::RcvTimeDataType t = timeAt(5000);
  PVTDataInstance.rcvTime.Put(&t);
  auto run = [](int prn, int rounds) {
    const SvIdType src = geo(prn);
    for (int i = 0; i < rounds; ++i) {
      const Msg m = (i % 3 == 0) ? mask(1, {1, 2, 3}) : fast(2, i % 4, 1, {8 * prn, 16, 24}, {2, 2, 2});
      PVTEngineInstance.update_SbasDataTask(m.b, 32, &src, RawNavKind::kSbasL1, 0.0f);
    }
  };
  std::thread a(run, 129, 3000), b(run, 137, 3000);
  a.join();
  b.join();
  SBASData::SatCorrectionType r;
  for (int prn : {129, 137}) {
    const SbasDataDecoder* d = get_SbasDataDecoder(t, geo(prn));
    ASSERT_EQ(d->source(), geo(prn));
    ASSERT_TRUE(sat(gps(1), r, d->instance()));
    EXPECT_FLOAT_EQ(r.fPrc, static_cast<float>(prn));
  }
}

// ---- masks in the settings image ---------------------------------------------------------------------------

class SbasMaskNv : public TempRunDir {
 protected:
  void SetUp() override {
    TempRunDir::SetUp();
    fresh(false);
  }
  void fresh(bool load) {
    NvBlock::resetLayout();
    RamNvm::blank();
    if (load) {
      ASSERT_TRUE(FileNvmLoad());
    }
    SbasDataDecoder::allocate_NvRamData();
    for (SbasDataDecoder& d : SbasDataDecoderInstance) d.init_Object(&PVTDataInstance, nullptr);
    for (auto& s : PVTDataInstance.sbasSatCorrection) s.Init();
    // The time-outs as built (those of SBAS modes 2 to 4), whatever setup a test before applied.
    PosSetup::CorrProcessorSetupType setup;
    PosSetup::setDefaults(setup);
    const std::uint32_t enRoute = 2;
    std::memcpy(setup.aBytes + SBASData::kSetupSbasModeOffset, &enRoute, sizeof enRoute);
    SBASData::SatCorrectionType::set_DataTimeout(&setup);
  }
  void restart() {
    ASSERT_TRUE(FileNvmSave(0, true));
    fresh(true);
  }
  int feedAt(double sec, int week, const Msg& m, const SvIdType& src) {
    const PosData::RcvTimeDataType t = timeAt(sec, week);
    return get_SbasDataDecoder(t, src)->update(t, src, m.b);
  }
};

TEST_F(SbasMaskNv, FastCorrectionsApplyAfterARestartWithinTheTimeout) {
  struct {
    const char* name;
    int week;
    double sec;
    bool applies;
  } rows[] = {
      {"100 s later", kWeek, 1100, true},
      {"599 s later", kWeek, 1599, true},
      {"700 s later", kWeek, 1700, false},
      {"a week later at the same time", kWeek + 1, 1100, false},
      {"a week earlier (clock went back)", kWeek - 1, 1100, false},
  };
  for (const auto& r : rows) {
    fresh(false);
    ASSERT_EQ(feedAt(1000, kWeek, mask(2, {3, 7}), geo(129)), 1);
    restart();
    ASSERT_EQ(feedAt(r.sec, r.week, fast(2, 0, 2, {8, 16}, {1, 1}), geo(129)), 1);
    SBASData::SatCorrectionType c;
    const SvIdType g7 = gps(7);
    EXPECT_EQ(PVTDataInstance.sbasSatCorrection[0].Take(&g7, &c) != 0, r.applies) << r.name;
  }
}

// Block of PRN 137 (index 17): two 36-byte records, IODP, the week in bytes 2-3, the time tag and
// the seven mask words little-endian.
TEST_F(SbasMaskNv, MaskBlockLayout) {
  ASSERT_EQ(feedAt(1000, kWeek, mask(3, {1, 32}), geo(137)), 1);
  // Blocks 256 to 284, one per source index, of 72 bytes.
  for (std::uint16_t id : {256, 265, 273, 284}) EXPECT_EQ(imagetest::imageBlock(id).size, 72u) << id;
  EXPECT_FALSE(imagetest::imageBlock(285).found);
  std::uint8_t bytes[72];
  ASSERT_TRUE(imagetest::readImageBlock(273, bytes, sizeof bytes));
  const int live = SbasDataDecoderInstance[0].iodpEntry(0).uMask;
  const std::uint8_t* r = bytes + 36 * live;
  auto le = [](const std::uint8_t* p, int n) {
    std::uint32_t v = 0;
    for (int i = n - 1; i >= 0; --i) v = (v << 8) | p[i];
    return v;
  };
  EXPECT_EQ(r[0], 3);
  EXPECT_EQ(le(r + 2, 2), static_cast<std::uint32_t>(kWeek));
  EXPECT_EQ(le(r + 4, 4), 1000000u - 1130u);
  EXPECT_EQ(le(r + 8, 4), 0x80000001u);
  EXPECT_EQ(bytes[36 * (1 - live)], 255);
  // The SISNeT source (index 28) keeps its mask in the last block, 284.
  EXPECT_EQ(feedAt(1001, kWeek, mask(1, {1}), geo(148)), 1);
  ASSERT_TRUE(imagetest::readImageBlock(284, bytes, sizeof bytes));
  const std::uint8_t* sr = bytes + 36 * SbasDataDecoderInstance[1].iodpEntry(0).uMask;
  EXPECT_EQ(sr[0], 1);
  EXPECT_EQ(le(sr + 8, 4), 0x80000000u);
}

}  // namespace
