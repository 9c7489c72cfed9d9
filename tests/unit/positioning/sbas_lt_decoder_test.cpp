// SBAS L1 decoder beyond the fast corrections, from messages hand-built in the field order of the
// RTCA DO-229D tables: long-term corrections (MT24, MT25) and their issues, covariance (MT28),
// the ionospheric grid (MT18, MT26), service regions (MT27), degradation parameters (MT10), GEO
// navigation (MT9), almanacs (MT17), network time (MT12), the ageing of each item at its
// time-out, and random messages.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "unit/navigation_data/blank_image.h"
#include "navigation_data/store/nav_records.h"
#include "navigation_data/store/sat_data_store.h"
#include "platform/ram_nvm.h"
#include "positioning/data_servers/pvt_data.h"
#include "positioning/sbas/sbas_data_decoder.h"
#include "unit/positioning/sbas_test_messages.h"

namespace {

using namespace sbas_test;
using SC = SBASData::SatCorrectionType;

// A long-term half, velocity code 1: mask number, IODE, dx dy dz daf0 (11), rates (8), t0, IODP.
struct Lt1 {
  int n, iode, dx, dy, dz, daf0, ddx, ddy, ddz, daf1, t0, iodp;
};
void half1(Msg& m, const Lt1& v) {
  m.add({{1, 1}, {6, v.n}, {8, v.iode}, {11, v.dx}, {11, v.dy}, {11, v.dz}, {11, v.daf0}, {8, v.ddx}, {8, v.ddy},
         {8, v.ddz}, {8, v.daf1}, {13, v.t0}, {2, v.iodp}});
}
// Velocity code 0: two satellites of mask number, IODE, dx dy dz (9), daf0 (10); IODP; one spare.
struct Lt0 {
  int n, iode, dx, dy, dz, daf0;
};
void half0(Msg& m, const Lt0& a, const Lt0& b, int iodp, int spare = 0) {
  m.add({{1, 0}});
  for (const Lt0* v : {&a, &b}) m.add({{6, v->n}, {8, v->iode}, {9, v->dx}, {9, v->dy}, {9, v->dz}, {10, v->daf0}});
  m.add({{2, iodp}, {1, spare}});
}

class SbasLongTerm : public ::testing::Test {
 protected:
  void SetUp() override {
    navtest::blankImage();
    SatDataProcessorInstance.init_Object();  // no almanac a test before stored
    PosSetup::CorrProcessorSetupType s;
    PosSetup::setDefaults(s);
    const std::uint32_t mode = 2;
    std::memcpy(s.aBytes + SBASData::kSetupSbasModeOffset, &mode, 4);
    SC::set_DataTimeout(&s);
    SBASData::IonoCorrectionType::set_DataTimeout(&s);
    SBASData::RegionServiceDataType::set_DataTimeout(&s);
    for (SbasDataDecoder& d : SbasDataDecoderInstance) d.init_Object(&PVTDataInstance, &SatDataProcessorInstance);
    for (int i = 0; i < SBASData::kSbasSources; ++i) {
      PVTDataInstance.sbasSatCorrection[i].Init();
      PVTDataInstance.sbasIonoCorrection[i].Init();
      SBASData::RegionServiceDataType r;
      r.init();
      for (int e = 0; e < SBASData::kRegionServiceEntries; ++e) PVTDataInstance.sbasRegionService[i].Put(e, &r);
      SBASData::DegradationDataType d;
      d.init();
      PVTDataInstance.sbasDegradation[i].Put(&d);
    }
  }
  // No decoder keeps a store a test made for itself.
  void TearDown() override {
    for (SbasDataDecoder& d : SbasDataDecoderInstance) d.init_Object(&PVTDataInstance, nullptr);
  }
  int feed(double sec, const Msg& m, const SvIdType& src = geo(129)) {
    const PosData::RcvTimeDataType t = timeAt(sec);
    return get_SbasDataDecoder(t, src)->update(t, src, m.b);
  }
  bool sat(const SvIdType& sv, SC& r) { return PVTDataInstance.sbasSatCorrection[0].Take(&sv, &r) != 0; }
  bool longReady(int prn, int nowS) {
    SC r;
    return sat(gps(prn), r) && r.is_ReadyLongCorr(nowS * 1000);
  }
  SBASData::SourceStateDataType state() {
    SBASData::SourceStateDataType st;
    PVTDataInstance.sbasSourceState.Take(0, &st);
    return st;
  }
};

// ---- long-term corrections -----------------------------------------------------------------------

TEST_F(SbasLongTerm, VelocityCode1HalfCarriesEveryFieldAndT0) {
  feed(100, prnMask(1, {3, 7, 11, 20}));
  Msg m(25);
  half1(m, {2, 77, -1024, 1023, -5, -1000, -128, 127, 3, -77, 5400, 1});
  half1(m, {4, 12, 1, 2, 3, 4, 5, 6, 7, 8, 8191, 1});
  ASSERT_EQ(m.next, 213);
  ASSERT_NE(feed(101, m), 0);
  struct Row {
    int prn;
    Lt1 v;
  } rows[] = {{7, {2, 77, -1024, 1023, -5, -1000, -128, 127, 3, -77, 5400, 1}}, {20, {4, 12, 1, 2, 3, 4, 5, 6, 7, 8, 8191, 1}}};
  for (const Row& row : rows) {
    SC r;
    ASSERT_TRUE(sat(gps(row.prn), r)) << row.prn;
    EXPECT_TRUE(r.is_ReadyLongCorr(101000)) << row.prn;
    const SBASData::LongCorrBlock& b = r.longCorr[0];
    EXPECT_EQ(b.uVelocityCode, 1);
    EXPECT_EQ(b.uIod, row.v.iode);
    EXPECT_EQ(b.iDx, row.v.dx);
    EXPECT_EQ(b.iDy, row.v.dy);
    EXPECT_EQ(b.iDz, row.v.dz);
    EXPECT_EQ(b.iDaf0, row.v.daf0);
    EXPECT_EQ(b.iDdx, row.v.ddx);
    EXPECT_EQ(b.iDdy, row.v.ddy);
    EXPECT_EQ(b.iDdz, row.v.ddz);
    EXPECT_EQ(b.iDaf1, row.v.daf1);
    EXPECT_EQ(b.uT0, row.v.t0);
    EXPECT_EQ(r.ulLongTime >> 1, 101000u - 1130u);
  }
}

TEST_F(SbasLongTerm, MaskNumbersAndTheHalfThatDropsTheNext) {
  // Mask slots 1..6 name GPS 1..6.
  struct Row {
    const char* name;
    bool code0;
    int n1, n2;  // mask numbers of the first half (code 0: both satellites)
    int nSecond; // the second half's satellite (code 1)
    std::vector<int> published;
  } rows[] = {
      {"code 1 mask 0 drops the half and the second half", false, 0, 0, 5, {}},
      {"code 1 mask 52 drops the half and the second half", false, 52, 0, 5, {}},
      {"code 1 mask 1 is taken, then the second half", false, 1, 0, 5, {1, 5}},
      {"code 0 two satellites, then the second half", true, 2, 3, 6, {2, 3, 6}},
      {"code 0 first mask 0: nothing of this half", true, 0, 3, 6, {}},
      {"code 0 second mask 52: the first stays, the second half drops", true, 2, 52, 6, {2}},
  };
  for (const Row& row : rows) {
    SetUp();
    feed(100, prnMask(2, {1, 2, 3, 4, 5, 6}));
    Msg m(25);
    if (row.code0)
      half0(m, {row.n1, 10, 1, 1, 1, 1}, {row.n2, 11, 2, 2, 2, 2}, 2);
    else
      half1(m, {row.n1, 10, 1, 1, 1, 1, 0, 0, 0, 0, 0, 2});
    half1(m, {row.nSecond, 12, 3, 3, 3, 3, 0, 0, 0, 0, 0, 2});
    feed(101, m);
    for (int prn = 1; prn <= 6; ++prn) {
      bool want = false;
      for (int p : row.published) want |= p == prn;
      EXPECT_EQ(longReady(prn, 101), want) << row.name << " G" << prn;
    }
  }
}

// Velocity code 0 keeps its IODP in the half's bits 104-105 and leaves bit 106 spare.
TEST_F(SbasLongTerm, VelocityCode0IodpBeforeTheSpareBit) {
  struct Row {
    int maskIodp, iodpField, spare;
    bool taken;
  } rows[] = {{2, 2, 1, true}, {2, 2, 0, true}, {1, 2, 1, false}, {3, 3, 1, true}, {1, 3, 0, false}, {0, 0, 1, true}};
  for (const Row& row : rows) {
    SetUp();
    feed(100, prnMask(row.maskIodp, {5, 9}));
    Msg m(25);
    half0(m, {1, 40, -256, 255, 7, -512}, {2, 41, 1, 2, 3, 511}, row.iodpField, row.spare);
    half1(m, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
    feed(101, m);
    EXPECT_EQ(longReady(5, 101), row.taken) << row.maskIodp << "/" << row.iodpField << "/" << row.spare;
    if (!row.taken) continue;
    SC r;
    ASSERT_TRUE(sat(gps(5), r));
    EXPECT_EQ(r.longCorr[0].uVelocityCode, 0);
    EXPECT_EQ(r.longCorr[0].uIod, 40);
    EXPECT_EQ(r.longCorr[0].iDx, -256);
    EXPECT_EQ(r.longCorr[0].iDy, 255);
    EXPECT_EQ(r.longCorr[0].iDaf0, -512);
    ASSERT_TRUE(sat(gps(9), r));
    EXPECT_EQ(r.longCorr[0].uIod, 41);
    EXPECT_EQ(r.longCorr[0].iDaf0, 511);
  }
}

TEST_F(SbasLongTerm, Mt24SecondHalfIsALongTermHalf) {
  feed(100, prnMask(3, {1, 2, 3, 4, 5, 6, 7, 8}));
  Msg m(24);
  for (int i = 0; i < 6; ++i) m.add({{12, 8 * (i + 1)}});
  for (int i = 0; i < 6; ++i) m.add({{4, 2}});
  m.add({{2, 3}, {2, 0}, {2, 1}, {4, 0}});  // IODP, block id, IODF, spare
  ASSERT_EQ(m.next, 107);
  half1(m, {8, 99, 10, 20, 30, 40, 1, 2, 3, 4, 4000, 3});
  ASSERT_EQ(m.next, 213);
  feed(101, m);
  SC r;
  ASSERT_TRUE(sat(gps(8), r));
  EXPECT_TRUE(r.is_ReadyLongCorr(101000));
  EXPECT_EQ(r.longCorr[0].uIod, 99);
  EXPECT_EQ(r.longCorr[0].iDz, 30);
  EXPECT_EQ(r.longCorr[0].iDaf1, 4);
  EXPECT_EQ(r.longCorr[0].uT0, 4000);
  ASSERT_TRUE(sat(gps(3), r));
  EXPECT_TRUE(r.is_ReadyFastCorr(101000));
  EXPECT_FLOAT_EQ(r.fPrc, 3.0f);
}

TEST_F(SbasLongTerm, NewIssueKeepsThePreviousBlock) {
  feed(100, prnMask(1, {4}));
  auto lt = [&](double t, int iode, int dx) {
    Msg m(25);
    half1(m, {1, iode, dx, 0, 0, 0, 0, 0, 0, 0, 0, 1});
    half1(m, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
    feed(t, m);
  };
  lt(101, 10, 5);
  SC r;
  ASSERT_TRUE(sat(gps(4), r));
  EXPECT_FALSE(r.is_ReadyPrevLong(101000));
  lt(110, 10, 6);  // same issue: replaced, nothing kept
  ASSERT_TRUE(sat(gps(4), r));
  EXPECT_FALSE(r.is_ReadyPrevLong(110000));
  EXPECT_EQ(r.longCorr[0].iDx, 6);
  lt(120, 11, 7);
  ASSERT_TRUE(sat(gps(4), r));
  EXPECT_TRUE(r.is_ReadyPrevLong(120000));
  EXPECT_EQ(r.longCorr[1].uIod, 10);
  EXPECT_EQ(r.longCorr[1].iDx, 6);
  EXPECT_EQ(r.ulPrevLongTime >> 1, 110000u - 1130u);
  EXPECT_EQ(r.longCorr[0].uIod, 11);
  EXPECT_EQ(r.longCorr[0].iDx, 7);
}

// ---- covariance ------------------------------------------------------------------------------------

TEST_F(SbasLongTerm, Mt28SignedAndUnsignedTerms) {
  feed(100, prnMask(1, {2, 6}));
  Msg m(28);
  // Per half: mask number, scale exponent, E11 E22 E33 E44 (9 unsigned), E12 E13 E14 E23 E24 E34 (10 signed).
  m.add({{2, 1}, {6, 1}, {3, 7}, {9, 511}, {9, 256}, {9, 1}, {9, 0}, {10, -512}, {10, 511}, {10, -1}, {10, 0},
         {10, 100}, {10, -100}});
  ASSERT_EQ(m.next, 108);
  m.add({{6, 2}, {3, 0}, {9, 3}, {9, 4}, {9, 5}, {9, 6}, {10, 7}, {10, 8}, {10, 9}, {10, 10}, {10, 11}, {10, 12}});
  ASSERT_EQ(m.next, 213);
  feed(101, m);
  struct Row {
    int prn, scale;
    std::int16_t e[10];  // E11 E12 E13 E14 E22 E23 E24 E33 E34 E44
  } rows[] = {{2, 7, {511, -512, 511, -1, 256, 0, 100, 1, -100, 0}}, {6, 0, {3, 7, 8, 9, 4, 10, 11, 5, 12, 6}}};
  for (const Row& row : rows) {
    SC r;
    ASSERT_TRUE(sat(gps(row.prn), r));
    EXPECT_TRUE(r.is_ReadyMtrxData(101000));
    EXPECT_EQ(r.mtrx.uScaleExp, row.scale);
    for (int i = 0; i < 10; ++i) EXPECT_EQ(r.mtrx.iE[i], row.e[i]) << "G" << row.prn << " term " << i;
  }
  EXPECT_NE(state().uFlags & SBASData::SourceStateDataType::kCovariance, 0);
}

// ---- ionospheric grid ----------------------------------------------------------------------------

Msg igpMask(int bands, int band, int iodi, const std::vector<int>& bits) {
  Msg m(18);
  m.add({{4, bands}, {4, band}, {2, iodi}});
  for (int b : bits) m.put(11 + b, 1, 1);
  return m;
}
Msg ionoDelay(int band, int block, int iodi, int delay0) {
  Msg m(26);
  m.add({{4, band}, {4, block}});
  for (int i = 0; i < 15; ++i) m.add({{9, delay0 + i}, {4, i % 16}});
  m.add({{2, iodi}});
  return m;
}

TEST_F(SbasLongTerm, GridPointsOfTheMaskAndDelayBlocks) {
  // Band 3 names 20 points: bits 0, 10, 20, ..., 190.
  std::vector<int> bits;
  for (int b = 0; b < 200; b += 10) bits.push_back(b);
  ASSERT_NE(feed(100, igpMask(4, 3, 2, bits)), 0);
  EXPECT_EQ(SbasDataDecoderInstance[0].iodiEntry().uIodi, 2);
  EXPECT_EQ(SbasDataDecoderInstance[0].igpMask(3).uCount, 20);
  auto point = [&](int bit, SBASData::IonoCorrectionType& c) {
    return PVTDataInstance.sbasIonoCorrection[0].Take(bit, 3, &c, nullptr, nullptr) != 0;
  };
  SBASData::IonoCorrectionType c;
  for (int b = 0; b < 201; ++b) {
    const bool named = b % 10 == 0 && b < 200;
    EXPECT_EQ(point(b, c) && c.is_ReadyGridData(100000), named) << b;
  }
  ASSERT_NE(feed(101, ionoDelay(3, 1, 2, 100)), 0);  // points 16..30 of the mask: only 16..20 exist
  ASSERT_NE(feed(102, ionoDelay(3, 0, 1, 300)), 0);  // another IODI: not applied
  struct Row {
    int bit, delay, givei;
    bool ready;
  } rows[] = {{0, 0, 0, false}, {140, 0, 0, false}, {150, 100, 0, true}, {160, 101, 1, true},
              {190, 104, 4, true}, {191, 0, 0, false}};
  for (const Row& row : rows) {
    ASSERT_TRUE(point(row.bit, c) || !row.ready) << row.bit;
    EXPECT_EQ(c.is_ReadyIonoCorr(102000), row.ready) << row.bit;
    if (!row.ready) continue;
    EXPECT_EQ(c.get_Delay(), row.delay) << row.bit;
    EXPECT_EQ(c.get_GIVEI(), row.givei) << row.bit;
    EXPECT_EQ(c.ulCorrTime >> 1, 101000u - 1130u);
  }
  EXPECT_EQ(feed(103, ionoDelay(3, 14, 2, 0)), 0) << "block id 14 is refused";
  EXPECT_EQ(feed(103, ionoDelay(11, 0, 2, 0)), 0) << "band 11 is refused";
  EXPECT_NE(feed(103, ionoDelay(10, 13, 2, 0)), 0) << "band 10, block 13 are the last";
  // A new mask for the band no longer naming bit 150 takes its data away.
  bits.erase(bits.begin() + 15);
  feed(104, igpMask(4, 3, 2, bits));
  EXPECT_FALSE(point(150, c) && c.is_ReadyGridData(104000));
  EXPECT_TRUE(point(160, c) && c.is_ReadyGridData(104000));
}

TEST_F(SbasLongTerm, Bands9And10SetTheirSourceFlags) {
  using SS = SBASData::SourceStateDataType;
  struct Row {
    int band;
    std::uint8_t flags;
  } rows[] = {{8, 0}, {9, SS::kBand9}, {10, SS::kBand10}, {11, 0}};
  for (const Row& row : rows) {
    SetUp();
    feed(100, igpMask(5, row.band, 0, {1, 2, 3}));
    EXPECT_EQ(state().uFlags & (SS::kBand9 | SS::kBand10), row.flags) << row.band;
  }
}

// ---- service regions -------------------------------------------------------------------------------

Msg service(int iods, int messages, int number, int regions, int lat0 = 10) {
  Msg m(27);
  m.add({{3, iods}, {3, messages - 1}, {3, number}, {3, regions}, {2, 1}, {4, 5}, {4, 11}});
  for (int r = 0; r < regions && r < 5; ++r) m.add({{8, lat0 + r}, {9, -170 - r}, {8, -20 - r}, {9, 100 + r}, {1, r & 1}});
  return m;
}

TEST_F(SbasLongTerm, ServiceMessagesFillHalvesByIssue) {
  auto region = [&](int slot) {
    SBASData::RegionServiceDataType r;
    PVTDataInstance.sbasRegionService[0].Take(slot, &r);
    return r;
  };
  ASSERT_NE(feed(100, service(1, 2, 0, 2)), 0);
  const int half = SbasDataDecoderInstance[0].regionHalf();
  const int base = 40 * half;
  SBASData::RegionServiceDataType r = region(base + 1);
  EXPECT_TRUE(r.is_ReadyRegionData(100000));
  EXPECT_EQ(r.uIods, 1);
  EXPECT_EQ(r.uMessages, 1) << "one message of the set still missing";
  EXPECT_EQ(r.iLat1, 11);
  EXPECT_EQ(r.iLon1, -171);
  EXPECT_EQ(r.iLat2, -21);
  EXPECT_EQ(r.iLon2, 101);
  EXPECT_EQ(r.uShape, 1);
  EXPECT_EQ(r.uPriority, 1);
  EXPECT_EQ(r.uDeltaUdreIn, 5);
  EXPECT_EQ(r.uDeltaUdreOut, 11);
  EXPECT_FALSE(region(base + 2).is_ReadyRegionData(100000));
  EXPECT_NE(state().uFlags & SBASData::SourceStateDataType::kService, 0);
  // Six regions: the message is dropped.
  EXPECT_EQ(feed(101, service(1, 2, 1, 6)), 0);
  EXPECT_FALSE(region(base + 5).is_ReadyRegionData(101000));
  // The set completes: every region says none is missing.
  ASSERT_NE(feed(102, service(1, 2, 1, 3, 30)), 0);
  EXPECT_EQ(region(base + 0).uMessages, 0);
  EXPECT_EQ(region(base + 5 + 2).iLat1, 32);
  EXPECT_EQ(region(base + 5 + 2).uMessage, 1);
  // A new issue moves to the other half and starts it empty; the old set stays whole until the
  // new one is complete.
  ASSERT_NE(feed(103, service(2, 1, 0, 1, 40)), 0);
  EXPECT_EQ(SbasDataDecoderInstance[0].regionHalf(), 1 - half);
  const int other = 40 * (1 - half);
  EXPECT_EQ(region(other).iLat1, 40);
  EXPECT_EQ(region(other).uMessages, 0);
  EXPECT_FALSE(region(other + 1).is_ReadyRegionData(103000));
  EXPECT_FALSE(region(base + 0).is_ReadyRegionData(103000)) << "a complete set clears the other half";
  // Issue 3 in two messages: the half of issue 2 stays until the set is whole.
  ASSERT_NE(feed(104, service(3, 2, 0, 1, 50)), 0);
  EXPECT_EQ(SbasDataDecoderInstance[0].regionHalf(), half);
  EXPECT_TRUE(region(other).is_ReadyRegionData(104000));
  EXPECT_EQ(region(base).iLat1, 50);
  EXPECT_EQ(region(base).uMessages, 1);
}

// ---- degradation parameters ------------------------------------------------------------------------

TEST_F(SbasLongTerm, Mt10ScalesAndRatios) {
  struct Row {
    int iltcV1, igeo;
    float cltcRatio, cgeoRatio;
  } rows[] = {{0, 0, 100 * 0.00005f, 200 * 0.00005f}, {10, 0, 100 * 0.00005f / 10, 200 * 0.00005f},
              {0, 40, 100 * 0.00005f, 200 * 0.00005f / 40}, {511, 511, 100 * 0.00005f / 511, 200 * 0.00005f / 511}};
  for (const Row& row : rows) {
    SetUp();
    Msg m(10);
    m.add({{10, 1023}, {10, 2}, {10, 100}, {9, row.iltcV1}, {10, 3}, {9, 60}, {10, 4}, {10, 200}, {9, row.igeo},
           {6, 63}, {10, 5}, {9, 300}, {10, 6}, {1, 1}, {1, 0}, {7, 127}});
    feed(100, m);
    SBASData::DegradationDataType d;
    ASSERT_TRUE(PVTDataInstance.sbasDegradation[0].Take(&d));
    EXPECT_TRUE(d.is_ReadyDegradData(100000));
    EXPECT_FLOAT_EQ(d.fBrrc, 1023 * 0.002f);
    EXPECT_FLOAT_EQ(d.fCltcLsb, 0.004f);
    EXPECT_FLOAT_EQ(d.fCltcV1, 0.005f);
    EXPECT_FLOAT_EQ(d.fIltcV1, static_cast<float>(row.iltcV1));
    EXPECT_FLOAT_EQ(d.fCltcV0, 0.006f);
    EXPECT_FLOAT_EQ(d.fIltcV0, 60);
    EXPECT_FLOAT_EQ(d.fCgeoLsb, 0.002f);
    EXPECT_FLOAT_EQ(d.fCgeoV, 0.01f);
    EXPECT_FLOAT_EQ(d.fCer, 31.5f);
    EXPECT_FLOAT_EQ(d.fCionoStep, 0.005f);
    EXPECT_FLOAT_EQ(d.fIiono, 300);
    EXPECT_FLOAT_EQ(d.fCionoRamp, 0.00003f);
    EXPECT_EQ(d.uRssUdre, 1);
    EXPECT_EQ(d.uRssIono, 0);
    EXPECT_FLOAT_EQ(d.fCcovariance, 12.7f);
    EXPECT_FLOAT_EQ(d.fCltcV1Ratio, row.cltcRatio) << row.iltcV1;
    EXPECT_FLOAT_EQ(d.fCgeoVRatio, row.cgeoRatio) << row.igeo;
    EXPECT_FALSE(std::isinf(d.fCltcV1Ratio));
  }
}

// ---- GEO navigation, almanacs, network time ---------------------------------------------------------

Msg geoNav(int iodn, int t0, std::int64_t x, std::int64_t y, std::int64_t z) {
  Msg m(9);
  m.add({{8, iodn}, {13, t0}, {4, 3}, {30, x}, {30, y}, {25, z}, {17, -100}, {17, 200}, {18, -300}, {10, 5}, {10, -6},
         {10, 7}, {12, -2000}, {8, 100}});
  return m;
}

TEST_F(SbasLongTerm, Mt9GoesToTheStoreOnlyNearTheGeoRadius) {
  auto store = std::make_unique<SatelliteDataProcessor>();
  storeTimeAt(*store, 200);
  for (SbasDataDecoder& d : SbasDataDecoderInstance) d.init_Object(&PVTDataInstance, store.get());
  // X = 0.08 m units; 42,164 km on the X axis, 30,000 km, 52,151 km (beyond 42,150 + 10,000).
  struct Row {
    int prn;
    double radius;  // m
    bool stored;
  } rows[] = {{129, 42164e3, true}, {130, 30000e3, false}, {131, 52151e3, false}, {132, 32151e3, true}};
  for (const Row& row : rows) {
    const std::uint16_t before = store->get_EphUpdateCounter(kSysSbas, row.prn - 120, 0);
    const std::int64_t x = std::llround(row.radius / 0.08);
    if (x >= (1LL << 29)) {
      // Beyond the X field: put the rest on Y.
      feed(200, geoNav(1, 12, (1LL << 29) - 1, std::llround(std::sqrt(row.radius * row.radius -
                                                                        std::pow(((1LL << 29) - 1) * 0.08, 2)) / 0.08), 0),
           geo(row.prn));
    } else {
      feed(200, geoNav(1, 12, x, 0, 0), geo(row.prn));
    }
    const std::uint16_t after = store->get_EphUpdateCounter(kSysSbas, row.prn - 120, 0);
    EXPECT_EQ(after != before, row.stored) << row.prn;
  }
  storeTimeAt(*store, 200);
  const ExtEphRecord* e = store->get_EphLastData(kSysSbas, 9, 0);
  ASSERT_NE(e, nullptr);
  ZRT_EPH_SBA r;
  std::memcpy(&r, e->native, sizeof r);
  EXPECT_EQ(r.prn, 129);
  EXPECT_EQ(r.t0, 192u);
  EXPECT_EQ(r.ura, 3);
  EXPECT_NEAR(r.pos[0], 42164e3, 0.04);
  EXPECT_FLOAT_EQ(r.vel[0], -0.0625f);
  EXPECT_FLOAT_EQ(r.vel[1], 0.125f);
  EXPECT_FLOAT_EQ(r.vel[2], -1.2f);
  EXPECT_FLOAT_EQ(r.acc[0], 5 * 0.0000125f);
  EXPECT_FLOAT_EQ(r.acc[1], -6 * 0.0000125f);
  EXPECT_FLOAT_EQ(r.acc[2], 7 * 0.0000625f);
  EXPECT_FLOAT_EQ(r.aGf0, static_cast<float>(std::ldexp(-2000.0, -31)));
  EXPECT_FLOAT_EQ(r.aGf1, static_cast<float>(std::ldexp(100.0, -40)));
  EXPECT_EQ(r.tow, 200u);
  EXPECT_EQ(r.week, 2300);
  // The GEO's own long-term record: ready, its issue the IODN.
  SC c;
  ASSERT_TRUE(sat(geo(129), c));
  EXPECT_TRUE(c.is_ReadyLongCorr(200000));
  EXPECT_EQ(c.longCorr[0].uIod, 1);
}

// The GEO's own long-term block carries the t0 of the navigation message it came with, whether
// the message renews the block of its issue or opens a new one.
TEST_F(SbasLongTerm, GeoOwnLongTermBlockCarriesTheMt9T0) {
  const std::int64_t x = std::llround(42164e3 / 0.08);
  struct Row {
    int sec, iodn, t0;
    int wantPrevT0;  // t0 of the previous block, -1 none kept
  } rows[] = {{200, 1, 12, -1}, {320, 1, 20, -1}, {440, 2, 27, 20}, {560, 2, 5399, 20}};
  for (const Row& r : rows) {
    feed(r.sec, geoNav(r.iodn, r.t0, x, 0, 0));
    SC c;
    ASSERT_TRUE(sat(geo(129), c)) << r.sec;
    EXPECT_EQ(c.longCorr[0].uIod, r.iodn) << r.sec;
    EXPECT_EQ(c.longCorr[0].uT0, r.t0) << r.sec;
    EXPECT_EQ(c.longCorr[0].uVelocityCode, 0) << r.sec;
    EXPECT_EQ(c.is_ReadyPrevLong(r.sec * 1000), r.wantPrevT0 >= 0) << r.sec;
    if (r.wantPrevT0 >= 0) {
      EXPECT_EQ(c.longCorr[1].uT0, r.wantPrevT0) << r.sec;
    }
  }
}

TEST_F(SbasLongTerm, Mt9FromTheSisnetSourceIsIgnored) {
  const SvIdType sisnet{28, kSysSbas, 0, 28};
  const std::uint16_t before = SatDataProcessorInstance.get_EphUpdateCounter(kSysSbas);
  feed(300, geoNav(2, 1000, std::llround(42164e3 / 0.08), 0, 0), sisnet);
  EXPECT_EQ(SatDataProcessorInstance.get_EphUpdateCounter(kSysSbas), before);
}

TEST_F(SbasLongTerm, Mt17EntriesByPrnAndRadius) {
  Msg m(17);
  struct Entry {
    int prn;
    int x, y, z;  // 2600 m, 2600 m, 26000 m
    bool stored;
  } rows[] = {{119, 16217, 0, 0, false}, {137, 16217, 0, 0, true}, {147, 11000, 11000, 100, true}};
  for (const Entry& e : rows) m.add({{2, 1}, {8, e.prn}, {8, 0x10}, {15, e.x}, {15, e.y}, {9, e.z}, {3, -1}, {3, 2}, {4, -3}});
  m.add({{11, 1350}});  // t0 = 86400 s: the next midnight
  ASSERT_EQ(m.next, 213);
  const std::uint16_t before137 = SatDataProcessorInstance.get_AlmUpdateCounter(kSysSbas, 17);
  const std::uint16_t before147 = SatDataProcessorInstance.get_AlmUpdateCounter(kSysSbas, 27);
  feed(86400.0 * 2 + 86000, m);  // Tuesday 23:53:20
  EXPECT_NE(SatDataProcessorInstance.get_AlmUpdateCounter(kSysSbas, 17), before137);
  EXPECT_NE(SatDataProcessorInstance.get_AlmUpdateCounter(kSysSbas, 27), before147);
  const auto* a = static_cast<const ZRT_ALM_SBA*>(SatDataProcessorInstance.get_AlmLastData(kSysSbas, 17));
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(a->prn, 137);
  EXPECT_EQ(a->health, 0x10);
  EXPECT_DOUBLE_EQ(a->pos[0], 16217 * 2600.0);
  EXPECT_FLOAT_EQ(a->vel[0], -10.0f);
  EXPECT_FLOAT_EQ(a->vel[1], 20.0f);
  EXPECT_FLOAT_EQ(a->vel[2], -180.0f);
  EXPECT_EQ(a->toa, 3u * 86400u) << "t0 of the next midnight lies in the next day";
  EXPECT_EQ(a->week, 2300);
}

Msg networkTime(int wnt, int wnlsf, int dtls = 14) {
  Msg m(12);
  m.add({{24, -3}, {32, 1 << 20}, {8, 144}, {8, wnt}, {8, dtls}, {8, wnlsf}, {8, 7}, {8, 15}, {3, 2}, {20, 345600},
         {10, 252}});
  return m;
}

TEST_F(SbasLongTerm, Mt12WeeksWidenedOnlyWithAFullWeek) {
  // Receiver week 2300 (2300 mod 1024 = 252): the 8-bit weeks widen to the nearest one.
  struct Row {
    int wnt, wnlsf;
    bool fullWeek;
    int wantWnt, wantWnlsf;
  } rows[] = {{252, 250, true, 252, 250}, {0, 255, true, 256, 255}, {130, 10, true, 130, 266}, {252, 250, false, 0, 0}};
  for (const Row& row : rows) {
    const std::uint16_t before = SatDataProcessorInstance.get_UtcUpdateCounter(kSysSbas);
    PosData::RcvTimeDataType t = timeAt(400);
    t.gps.uStatus[1] = row.fullWeek ? 1 : 0;
    const Msg m = networkTime(row.wnt, row.wnlsf);
    get_SbasDataDecoder(t, geo(129))->update(t, geo(129), m.b);
    const bool stored = SatDataProcessorInstance.get_UtcUpdateCounter(kSysSbas) != before;
    EXPECT_EQ(stored, row.fullWeek) << row.wnt;
    if (!stored) continue;
    SbasDataDecoder::SbasUtcRecordType u;
    std::memcpy(&u, SatDataProcessorInstance.get_UtcLastData(kSysSbas), 34);
    EXPECT_EQ(u.WNt, row.wantWnt) << row.wnt;
    EXPECT_EQ(u.WN_LSF, row.wantWnlsf) << row.wnlsf;
    EXPECT_EQ(u.tot, 144u * 4096u);
    EXPECT_DOUBLE_EQ(u.A0, std::ldexp(1.0, -10));
    EXPECT_FLOAT_EQ(u.A1, static_cast<float>(std::ldexp(-3.0, -50)));
    EXPECT_EQ(u.dtLS, 14);
    EXPECT_EQ(u.dtLSF, 15);
    EXPECT_EQ(u.DN, 7);
    EXPECT_EQ(u.uUtcStandard, 2);
    EXPECT_EQ(u.ulGpsTow, 345600u);
    EXPECT_EQ(u.uGpsWeek, 252);
  }
}

// ---- ageing: each item at its time-out less and plus one second -----------------------------------

TEST_F(SbasLongTerm, ItemsAgeOutAtTheirTimeouts) {
  using SS = SBASData::SourceStateDataType;
  auto lt = [] {
    Msg m(25);
    half1(m, {1, 5, 1, 1, 1, 1, 0, 0, 0, 0, 0, 1});
    half1(m, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
    return m;
  };
  auto cov = [] {
    Msg m(28);
    m.add({{2, 1}, {6, 1}, {3, 1}});
    return m;
  };
  std::vector<int> first15;
  for (int b = 0; b < 15; ++b) first15.push_back(b);
  Msg mt10(10);
  enum Check { kLong, kCov, kIono, kBand9, kService };
  struct Row {
    const char* name;
    Msg early, late;
    double timeout;
    Check check;
  } rows[] = {
      {"long-term slot waiting for its mask", lt(), prnMask(1, {7}), 360, kLong},
      {"covariance slot waiting for its mask", cov(), prnMask(1, {7}), 360, kCov},
      {"delay block waiting for its band mask", ionoDelay(0, 0, 1, 50), igpMask(1, 0, 1, first15), 600, kIono},
      {"band mask before its delays", igpMask(1, 0, 1, first15), ionoDelay(0, 0, 1, 50), 1200, kIono},
      {"band 9 mask and its source flag", igpMask(1, 9, 1, first15), mt10, 1200, kBand9},
      {"service message and the service flag", service(1, 1, 0, 1), mt10, 86400, kService},
  };
  for (const Row& row : rows)
    for (int d : {-1, 1}) {
      SetUp();
      ASSERT_NE(feed(100, row.early), 0) << row.name;
      const double t = 100 + row.timeout + d;
      feed(t, row.late);
      const int now = static_cast<int>(t * 1000);
      bool alive = false;
      SC r;
      SBASData::IonoCorrectionType c;
      switch (row.check) {
        case kLong: alive = sat(gps(7), r) && r.is_ReadyLongCorr(now); break;
        case kCov: alive = sat(gps(7), r) && r.is_ReadyMtrxData(now); break;
        case kIono:
          alive = PVTDataInstance.sbasIonoCorrection[0].Take(0, 0, &c, nullptr, nullptr) != 0 && c.is_ReadyIonoCorr(now);
          break;
        case kBand9: alive = (state().uFlags & SS::kBand9) != 0; break;
        case kService: alive = (state().uFlags & SS::kService) != 0; break;
      }
      EXPECT_EQ(alive, d < 0) << row.name << (d < 0 ? " before" : " after") << " its time-out";
    }
}

// The source's last update follows the correction messages, not the navigation ones.
TEST_F(SbasLongTerm, LastUpdateStampedByCorrectionMessagesOnly) {
  struct Row {
    int type;
    bool stamps;
  } rows[] = {{9, false}, {10, true}, {11, false}, {12, false}, {17, false}, {18, true}, {24, true},
              {25, true}, {26, true}, {27, true},  {28, true},  {62, false}, {63, false}};
  for (const Row& row : rows) {
    SetUp();
    feed(50, prnMask(1, {1}));
    Msg m(row.type);
    feed(100, m);
    EXPECT_EQ(SbasDataDecoderInstance[0].lastUpdate(), row.stamps ? 100000 - 1130 : 50000 - 1130) << row.type;
  }
}

TEST_F(SbasLongTerm, RandomMessagesOfTypes9To28FromRandomSources) {
  std::mt19937 rng(48);
  std::uniform_int_distribution<int> byte(0, 255), type(9, 28), sys(0, 6), si(0, 40), len(2, 32);
  double t = 1000;
  for (int i = 0; i < 6000; ++i) {
    Msg m(type(rng));
    const int n = len(rng);  // the rest of a short message reads as zeros
    for (int k = 2; k < n; ++k) m.b[k] = static_cast<std::uint8_t>(byte(rng));
    if (i % 3 == 0) m.put(1, 6, byte(rng) % 64);  // mask numbers, bands and block ids near their limits
    t += byte(rng) % 4 == 0 ? 400 : 1;
    const SvIdType src = i % 4 == 0 ? SvIdType{static_cast<std::uint8_t>(si(rng)), static_cast<std::uint8_t>(sys(rng)), 0,
                                               static_cast<std::uint8_t>(si(rng))}
                                    : geo(120 + si(rng) % 29);
    feed(std::fmod(t, 604800.0), m, src);
  }
  for (int i = 0; i < SBASData::kSbasSources; ++i) {
    SBASData::SourceStateDataType st;
    if (PVTDataInstance.sbasSourceState.Take(i, &st) == 0) continue;
    EXPECT_LE(st.uFlags, 0x3F);
  }
}

}  // namespace
