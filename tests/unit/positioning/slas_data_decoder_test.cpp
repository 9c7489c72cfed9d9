// SLAS decoder. Truth: IS-QZSS-L1S message layouts (MT47-50), built by tests/unit/positioning/
// slas_messages.h; a real L1S recording of QZSS PRN 186 (2023-09-19) through Debian's convbin
// against the published decoding of the same messages by the QZS L6 Tool; GeographicLib's
// CartConvert for the station positions.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "positioning/data_servers/pvt_data.h"
#include "positioning/engine/pvt_engine.h"
#include "positioning/sbas/sbas_data_decoder.h"
#include "positioning/slas/slas_data_decoder.h"
#include "unit/positioning/slas_messages.h"

namespace {

using namespace slastest;
using D = SlasDataDecoder;

constexpr std::uint32_t kT0 = 345600000;  // Thursday 00:00 of the week, QZSS ms

PosData::RcvTimeDataType rcvTime(std::uint32_t tagMs, bool valid = true) {
  PosData::RcvTimeDataType t{};
  // The receiver's tag counts from 0 at kT0 - 1130 ms; the message's time tag is then tagMs.
  t.ulTimeTag = tagMs - kT0 + 5000;
  t.qzss.ulMs = tagMs + 1130;
  t.qzss.uStatus[0] = valid ? 1 : 0;
  t.gps = t.qzss;
  return t;
}

SvIdType qzs(int si) {
  SvIdType sv;
  EXPECT_TRUE(svIdFromSiNumber(kSysQzss, 193 + si, sv));
  return sv;
}

SvIdType sat(int sys, int number) {
  SvIdType sv;
  EXPECT_TRUE(svIdFromSatNumber(sys, number, sv));
  return sv;
}

PosData::PositionDataType position(double x, double y, double z) {
  PosData::PositionDataType p{};
  p.dX = x;
  p.dY = y;
  p.dZ = z;
  p.bValid = 1;
  return p;
}

// A receiver on the Earth's surface at 35 N 135 E (WGS 84, h = 0).
const PosData::PositionDataType kUser = position(-3763568.36, 3763568.36, 3637866.91);

void resetAll() {
  for (D& d : SlasDataDecoderInstance) d.init_Object(&PVTDataInstance);
  SlasDataDecoderInstance[0].reset_StoredSlasData();
  for (auto& e : SlasSourceIdData) e = SourceIdEntry{0, kFreeSourceId};
  D::bsUsableSlasSource = 0x7F;
  D::bCheckSlasStationHealth = 0;
  SLASData::SatCorrectionType::set_DataTimeout();
  SLASData::StationDataType::set_StationDataTimeout();
}

int feed(const Msg& m, std::uint32_t tagMs, int si = 3, const PosData::PositionDataType& pos = kUser) {
  const PosData::RcvTimeDataType t = rcvTime(tagMs);
  const int type = (m[1] >> 2) & 0x3F;
  return get_SlasDataDecoder(t, qzs(si))->update(t, pos, qzs(si), type, m.data());
}

// The published station slot of a station code, -1 none.
int slotOf(int code) {
  for (int i = 0; i < SLASData::kSlasSources; ++i) {
    SLASData::StationDataType s;
    PVTDataInstance.slasStationData[i].Take(&s);
    if (s.uStationCode == code) return i;
  }
  return -1;
}

bool published(int code, const SvIdType& sv, SLASData::SatCorrectionType& r) {
  const int slot = slotOf(code);
  if (slot < 0) return false;
  r.init();
  return PVTDataInstance.slasSatCorrection[slot].Take(&sv, &r) != 0 && r.uStationCode == code;
}

class SlasDecoder : public ::testing::Test {
 protected:
  void SetUp() override { resetAll(); }
};

// Two stations near the user: code 2 about 1.1 km north, code 9 about 5.6 km north.
const StationCodes kNear{2, 7002, 4000, 2};
const StationCodes kFar{9, 7010, 4000, 2};

// Mask 1: GPS 1..5; IOD set 0 for it; corrections of station 2.
void standardSetup(std::uint32_t t, int si = 3) {
  feed(mt48(1, {{1, 2, 3, 4, 5}, {}, {}, {}, {}}), t, si);
  feed(mt49(0, 1, {0, 1, 2, 3, 4}, {10, 11, 12, 13, 14}), t + 1000, si);
  feed(mt47({kNear, kFar}), t + 2000, si);
}

// ---- field reader and time tags ---------------------------------------------------------------------

TEST(SlasDecUtility, FieldsStayInsideTheDataBits) {
  Msg m{};
  for (auto& b : m) b = 0xFF;
  struct Row {
    int pos, bits;
    bool isSigned;
    std::int32_t expect;
  } rows[] = {
      {1, 8, false, 255},    {201, 12, false, 4095}, {201, 12, true, -1}, {202, 12, false, 0},
      {212, 1, false, 1},    {213, 1, false, 0},     {0, 4, false, 0},    {1, 33, false, 0},
      {181, 32, false, -1},  {182, 32, false, 0},
  };
  for (const Row& r : rows)
    EXPECT_EQ(SlasDecUtility::extract_DataField(m.data(), r.pos, r.bits, r.isSigned), r.expect)
        << "pos " << r.pos << " bits " << r.bits;
  EXPECT_EQ(SlasDecUtility::extract_DataField(nullptr, 1, 4, false), 0);
}

TEST(SlasTimeTag, AgesFoldIntoHalfAWeek) {
  struct Row {
    int now, tag;
    double age;
  } rows[] = {
      {1000, 0, 1.0},          {0, 604799000, 1.0},   {604799000, 0, -1.0},
      {302400000, 0, 302400.0}, {302401000, 0, -302399.0}, {60000, 0, 60.0},
  };
  for (const Row& r : rows) {
    SLASData::TimeTag tag = 0;
    SLASData::set_TimeTag(tag, r.tag);
    EXPECT_DOUBLE_EQ(SLASData::get_TimeTagAge(r.now, tag), r.age) << r.now << " " << r.tag;
  }
  SLASData::TimeTag tag = 0;
  SLASData::set_TimeTag(tag, 5000);
  SLASData::set_TimeTag(tag, -1);
  EXPECT_DOUBLE_EQ(SLASData::get_TimeTagAge(5000, tag), 86410.0);
}

TEST(SlasTimeTag, CorrectionReadyUpToSixtySeconds) {
  SLASData::SatCorrectionType::set_DataTimeout();
  SLASData::SatCorrectionType r;
  r.init();
  EXPECT_EQ(r.uStationCode, 65535);
  SLASData::set_TimeTag(r.ulTime[0], 1000000);
  SLASData::set_TimeTag(r.ulTime[1], 1000000 - 30000);
  struct Row {
    int k, now;
    bool ready;
  } rows[] = {
      {0, 1000000, true}, {0, 1060000, true}, {0, 1061000, false}, {0, 997000, true},
      {0, 996000, false}, {1, 1030000, true}, {1, 1031000, false}, {2, 1000000, false},
  };
  for (const Row& w : rows) EXPECT_EQ(r.is_ReadyCorrData(w.k, w.now), w.ready) << w.k << " " << w.now;
}

// ---- decoding ---------------------------------------------------------------------------------------

TEST_F(SlasDecoder, MaskKeepsTheFirst23InSystemOrder) {
  struct Row {
    const char* name;
    MaskBits bits;
    std::vector<std::pair<int, int>> expect;  // system, satellite number
  } rows[] = {
      {"all GPS, then QZSS", {{}, {1, 2}, {}, {}, {}}, {}},
      {"QZSS bits 8 and 9 and GLONASS 31, 32 name nobody", {{}, {7, 8, 9}, {30, 31, 32}, {}, {}},
       {{kSysQzss, 199}, {kSysGlonass, 30}}},
      {"Galileo 33-36 and BeiDou 33-36", {{}, {}, {}, {36}, {1, 35}},
       {{kSysGalileo, 36}, {kSysBeidou, 1}, {kSysBeidou, 35}}},
  };
  for (int n = 1; n <= 32; ++n) rows[0].bits.gps.push_back(n);
  for (int n = 1; n <= 23; ++n) rows[0].expect.push_back({kSysGps, n});
  for (const Row& r : rows) {
    resetAll();
    feed(mt48(3, r.bits), kT0);
    const D::PrnMaskType& m = D::PrnMaskData[3];
    ASSERT_EQ(m.bValid, 1) << r.name;
    ASSERT_EQ(m.uSlots, r.expect.size()) << r.name;
    for (std::size_t k = 0; k < r.expect.size(); ++k)
      EXPECT_EQ(m.slot[k], sat(r.expect[k].first, r.expect[k].second)) << r.name << " slot " << k;
  }
}

TEST_F(SlasDecoder, NewMaskInvalidatesOnlyItsOwnSetsAndBlocks) {
  feed(mt48(1, {{1, 2}, {}, {}, {}, {}}), kT0);
  feed(mt48(2, {{3, 4}, {}, {}, {}, {}}), kT0);
  feed(mt49(0, 1, {0, 1}, {1, 2}), kT0);
  feed(mt49(1, 2, {0, 1}, {3, 4}), kT0);
  feed(mt50(1, 0, 4, 0, {0, 1}, {5, 6}), kT0);
  feed(mt50(2, 1, 4, 0, {0, 1}, {7, 8}), kT0);
  feed(mt48(2, {{3, 4}, {}, {}, {}, {}}), kT0 + 1000);  // repeated unchanged: everything stays
  EXPECT_EQ(D::IodData[1].bValid, 1);
  EXPECT_EQ(D::CorrData[1][4].bValid, 1);
  feed(mt48(2, {{3, 5}, {}, {}, {}, {}}), kT0 + 2000);  // a new mask 2
  struct Row {
    const char* name;
    std::uint8_t valid, expect;
  } rows[] = {
      {"IOD set of mask 1", D::IodData[0].bValid, 1},
      {"IOD set of mask 2", D::IodData[1].bValid, 0},
      {"block of mask 1", D::CorrData[0][4].bValid, 1},
      {"block of mask 2", D::CorrData[1][4].bValid, 0},
      {"mask 1", D::PrnMaskData[1].bValid, 1},
      {"mask 2", D::PrnMaskData[2].bValid, 1},
  };
  for (const Row& r : rows) EXPECT_EQ(r.valid, r.expect) << r.name;
}

TEST_F(SlasDecoder, MessagesNamingAnInvalidMaskOrStationAreIgnored) {
  feed(mt48(1, {{1, 2}, {}, {}, {}, {}}), kT0);
  feed(mt49(0, 2, {0, 1}, {1, 2}), kT0);                        // mask 2 unknown
  feed(mt50(3, 0, 4, 0, {0, 1}, {5, 6}), kT0);                  // mask 3 unknown
  feed(mt50(1, 1, 15, 0, {0, 1}, {5, 6}), kT0);                 // station code 15
  feed(mt47({{15, 0, 0, 2}, {14, 100, 100, 2}}), kT0);          // 15 skipped, 14 kept
  EXPECT_EQ(D::IodData[0].bValid, 0);
  EXPECT_EQ(D::CorrData[0][4].bValid, 0);
  for (int c = 0; c < D::kStations; ++c) EXPECT_EQ(D::CorrData[1][c].bValid, 0) << c;
  for (int c = 0; c < 14; ++c) EXPECT_EQ(D::StationData[c].bValid, 0) << c;
  EXPECT_EQ(D::StationData[14].bValid, 1);
}

TEST_F(SlasDecoder, StationsRankByDistanceTiesToTheLowerCode) {
  struct Row {
    const char* name;
    std::vector<StationCodes> stations;
    std::vector<int> order;
  } rows[] = {
      {"nearer first", {{5, 7010, 4000, 2}, {7, 7002, 4000, 2}}, {7, 5}},
      {"tie to the lower code", {{8, 7002, 4000, 2}, {3, 7002, 4000, 2}}, {3, 8}},
      {"three", {{1, 7100, 4000, 2}, {0, 7002, 4000, 2}, {2, 7050, 4000, 2}}, {0, 2, 1}},
      {"south and north at one distance", {{6, 6990, 4000, 2}, {4, 7010, 4000, 2}}, {6, 4}},
  };
  for (const Row& r : rows) {
    resetAll();
    feed(mt47(r.stations), kT0);
    ASSERT_EQ(D::iSortedStationNum, static_cast<int>(r.order.size())) << r.name;
    for (std::size_t k = 0; k < r.order.size(); ++k) {
      EXPECT_EQ(D::uSortedStationCode[k], r.order[k]) << r.name << " rank " << k;
      EXPECT_EQ(D::uStationPriority[r.order[k]], k) << r.name;
    }
  }
}

TEST_F(SlasDecoder, OnlyTheNearestStationIsPublished) {
  standardSetup(kT0);
  feed(mt50(1, 0, 9, 0, {0, 1}, {25, -25}), kT0 + 3000);  // the far station
  feed(mt50(1, 0, 2, 0, {0, 1}, {50, -50}), kT0 + 4000);  // the near one
  SLASData::SatCorrectionType r;
  EXPECT_EQ(slotOf(9), -1);
  ASSERT_TRUE(published(2, sat(kSysGps, 1), r));
  EXPECT_FLOAT_EQ(r.fPrc[0], 2.0f);
  EXPECT_EQ(r.uIod[0], 10);
  ASSERT_TRUE(published(2, sat(kSysGps, 2), r));
  EXPECT_FLOAT_EQ(r.fPrc[0], -2.0f);
  EXPECT_EQ(r.uIod[0], 11);
  EXPECT_FALSE(published(2, sat(kSysGps, 3), r));
  SLASData::StationDataType st;
  PVTDataInstance.slasStationData[slotOf(2)].Take(&st);
  EXPECT_STREQ(st.cDatum, "W84");
  EXPECT_EQ(st.ulTime, rcvTime(kT0 + 4000).ulTimeTag);
}

TEST_F(SlasDecoder, ChangedIodKeepsTheFormerCorrectionAsPrevious) {
  standardSetup(kT0);
  feed(mt50(1, 0, 2, 0, {0, 1}, {50, 10}), kT0 + 3000);
  feed(mt49(0, 1, {0, 1, 2, 3, 4}, {20, 11, 12, 13, 14}), kT0 + 4000);  // G01 10 -> 20
  feed(mt50(1, 0, 2, 0, {0, 1}, {75, 20}), kT0 + 5000);
  struct Row {
    int prn;
    float prc0, prc1;
    int iod0, iod1, t0, t1;
  } rows[] = {
      {1, 3.0f, 2.0f, 20, 10, 5000, 3000},  // changed: the former becomes the previous
      {2, 0.8f, 0.0f, 11, 0, 5000, -1},     // same IOD: no previous
  };
  for (const Row& w : rows) {
    SLASData::SatCorrectionType r;
    ASSERT_TRUE(published(2, sat(kSysGps, w.prn), r)) << w.prn;
    EXPECT_FLOAT_EQ(r.fPrc[0], w.prc0) << w.prn;
    EXPECT_EQ(r.uIod[0], w.iod0) << w.prn;
    EXPECT_EQ(SLASData::get_TimeTagMs(r.ulTime[0]), static_cast<int>(kT0) + w.t0) << w.prn;
    if (w.t1 < 0) {
      EXPECT_FALSE(SLASData::is_ValidTimeTag(r.ulTime[1])) << w.prn;
      continue;
    }
    EXPECT_FLOAT_EQ(r.fPrc[1], w.prc1) << w.prn;
    EXPECT_EQ(r.uIod[1], w.iod1) << w.prn;
    EXPECT_EQ(SLASData::get_TimeTagMs(r.ulTime[1]), static_cast<int>(kT0) + w.t1) << w.prn;
  }
}

TEST_F(SlasDecoder, FourteenCorrectionsFitOneMessage) {
  std::vector<int> gps, slots, iods, corr;
  for (int n = 1; n <= 16; ++n) gps.push_back(n);
  for (int k = 0; k < 15; ++k) {
    slots.push_back(k);
    iods.push_back(k + 1);
    corr.push_back(k + 1);
  }
  feed(mt48(1, {gps, {}, {}, {}, {}}), kT0);
  feed(mt49(0, 1, slots, iods), kT0);
  Msg m = mt50(1, 0, 2, 0, slots, corr);
  for (int i = 28; i < 32; ++i) m[i] = 0xFF;  // the CRC after the data bits
  feed(m, kT0 + 1000);
  EXPECT_EQ(D::CorrData[0][2].ulSlotSet, 0x3FFFu);  // slots 0..13, not 14
  EXPECT_EQ(D::CorrData[0][2].uPending, 14);
  feed(mt47({kNear}), kT0 + 2000);
  SLASData::SatCorrectionType r;
  for (int k = 0; k < 14; ++k) {
    ASSERT_TRUE(published(2, sat(kSysGps, k + 1), r)) << k;
    EXPECT_FLOAT_EQ(r.fPrc[0], 0.04f * static_cast<float>(k + 1)) << k;
  }
  EXPECT_FALSE(published(2, sat(kSysGps, 15), r));
  EXPECT_EQ(D::CorrData[0][2].uPending, 0);
}

TEST_F(SlasDecoder, HeldCorrectionsKeepTheTimeOfTheirMessage) {
  feed(mt48(1, {{1, 2}, {}, {}, {}, {}}), kT0);
  feed(mt49(0, 1, {0, 1}, {1, 2}), kT0);
  feed(mt50(1, 0, 2, 0, {0, 1}, {5, 6}), kT0 + 1000);
  feed(mt47({kNear}), kT0 + 8000);
  SLASData::SatCorrectionType r;
  ASSERT_TRUE(published(2, sat(kSysGps, 1), r));
  EXPECT_EQ(SLASData::get_TimeTagMs(r.ulTime[0]), static_cast<int>(kT0) + 1000);
}

TEST_F(SlasDecoder, StoreAgesAtEveryMessage) {
  struct Row {
    const char* name;
    std::uint32_t gap;  // ms from the set-up to the fresh MT50
    bool published;
  } rows[] = {
      {"IOD set 3599 s old", 3599000, true},
      {"IOD set 3601 s old", 3601000, false},
  };
  for (const Row& w : rows) {
    resetAll();
    feed(mt48(1, {{1, 2}, {}, {}, {}, {}}), kT0);
    feed(mt49(0, 1, {0, 1}, {1, 2}), kT0);
    feed(mt47({kNear}), kT0);
    // The mask is refreshed, as the broadcast repeats it; the IOD set is not.
    feed(mt48(1, {{1, 2}, {}, {}, {}, {}}), kT0 + w.gap - 1000);
    feed(mt50(1, 0, 2, 0, {0, 1}, {5, 6}), kT0 + w.gap);
    SLASData::SatCorrectionType r;
    EXPECT_EQ(published(2, sat(kSysGps, 1), r), w.published) << w.name;
  }
  // A correction block of 61 s is dropped before its station arrives.
  resetAll();
  feed(mt48(1, {{1, 2}, {}, {}, {}, {}}), kT0);
  feed(mt49(0, 1, {0, 1}, {1, 2}), kT0);
  feed(mt50(1, 0, 2, 0, {0, 1}, {5, 6}), kT0);
  feed(mt47({kNear}), kT0 + 61000);
  SLASData::SatCorrectionType r;
  EXPECT_FALSE(published(2, sat(kSysGps, 1), r));
}

TEST_F(SlasDecoder, StationHealthChecksOnlyWhenAsked) {
  for (int check : {0, 1}) {
    resetAll();
    D::bCheckSlasStationHealth = static_cast<std::uint8_t>(check);
    standardSetup(kT0);
    feed(mt50(1, 0, 2, 1, {0}, {5}), kT0 + 3000);  // health bit 1: unhealthy
    SLASData::SatCorrectionType r;
    EXPECT_EQ(published(2, sat(kSysGps, 1), r), check == 0) << check;
  }
}

TEST_F(SlasDecoder, RefusesUnusableSourcesAndMissingQzssTime) {
  const Msg m = mt48(1, {{1}, {}, {}, {}, {}});
  struct Row {
    const char* name;
    std::uint32_t usable;
    int si;
    bool timeValid;
    int sys;
    int expect;
  } rows[] = {
      {"usable", 0x7F, 3, true, kSysQzss, 1},
      {"not in the mask", 0x77, 3, true, kSysQzss, 0},
      {"no QZSS time", 0x7F, 3, false, kSysQzss, 0},
      {"not QZSS", 0x7F, 3, true, kSysSbas, 0},
  };
  for (const Row& r : rows) {
    resetAll();
    D::bsUsableSlasSource = r.usable;
    SvIdType src = qzs(r.si);
    src.sys = static_cast<std::uint8_t>(r.sys);
    const PosData::RcvTimeDataType t = rcvTime(kT0, r.timeValid);
    EXPECT_EQ(get_SlasDataDecoder(t, src)->update(t, kUser, src, 48, m.data()), r.expect) << r.name;
    EXPECT_EQ(D::PrnMaskData[1].bValid, r.expect) << r.name;
  }
}

TEST_F(SlasDecoder, PoolBindsOneSourceEach) {
  // Three sources take the three decoders; a fourth takes the least recently used one.
  standardSetup(kT0, 0);
  const std::uint32_t t = kT0 + 3000;
  feed(mt50(1, 0, 2, 0, {0}, {5}), t, 0);        // decoder 0 publishes at t
  feed(mt50(1, 0, 2, 0, {1}, {5}), t + 1000, 1);  // decoder 1 at t + 1
  feed(mt50(1, 0, 2, 0, {2}, {5}), t + 2000, 2);  // decoder 2 at t + 2
  EXPECT_EQ(get_SlasDataDecoder(rcvTime(t), qzs(1))->instance(), 1);
  EXPECT_EQ(SlasDataDecoderInstance[0].source(), qzs(0));
  EXPECT_EQ(get_SlasDataDecoder(rcvTime(t + 5000), qzs(6))->instance(), 0);
  feed(mt50(1, 0, 2, 0, {3}, {5}), t + 6000, 0);  // decoder 0 fresh again
  EXPECT_EQ(get_SlasDataDecoder(rcvTime(t + 7000), qzs(6))->instance(), 1);
}

TEST_F(SlasDecoder, ResetBySbasDecoderClearsThePublishedData) {
  standardSetup(kT0);
  const PosData::RcvTimeDataType t = rcvTime(kT0 + 3000);
  const Msg m = mt50(1, 0, 2, 0, {0}, {5});
  SlasDataDecoder_handOn(4, t, kUser, qzs(3), 50, m.data());
  SLASData::SatCorrectionType r;
  ASSERT_TRUE(published(2, sat(kSysGps, 1), r));
  SlasDataDecoder_resetFor(5);  // another SBAS decoder: nothing
  ASSERT_TRUE(published(2, sat(kSysGps, 1), r));
  SlasDataDecoder_resetFor(4);
  EXPECT_FALSE(published(2, sat(kSysGps, 1), r));
  EXPECT_EQ(D::iSortedStationNum, 0);
}

TEST_F(SlasDecoder, SbasDecoderHandsQzssMessagesOnWithThePosition) {
  for (std::uint8_t valid : {1, 0}) {
    resetAll();
    for (SbasDataDecoder& d : SbasDataDecoderInstance) d.init_Object(&PVTDataInstance, nullptr);
    PosData::PositionDataType p = kUser;
    p.bValid = valid;
    PVTDataInstance.position.Put(&p);
    const Msg msgs[] = {mt48(1, {{1, 2}, {}, {}, {}, {}}), mt49(0, 1, {0, 1}, {1, 2}), mt47({kNear}),
                        mt50(1, 0, 2, 0, {0, 1}, {5, 6})};
    std::uint32_t at = kT0;
    for (const Msg& m : msgs) {
      const PosData::RcvTimeDataType t = rcvTime(at += 1000);
      get_SbasDataDecoder(t, qzs(3))->update(t, qzs(3), m.data());
    }
    SLASData::SatCorrectionType r;
    ASSERT_EQ(published(2, sat(kSysGps, 2), r), valid != 0);
    if (valid != 0) {
      EXPECT_FLOAT_EQ(r.fPrc[0], 0.24f);
    }
  }
}

// Random messages of types 43 to 51 from random QZSS sources, and each one cut short (the rest
// zero): nothing crashes and the store stays consistent.
TEST_F(SlasDecoder, RandomAndTruncatedMessages) {
  std::mt19937 rng(4711);
  std::uniform_int_distribution<int> byte(0, 255), type(43, 51), si(0, 6), cut(0, 32);
  std::uint32_t t = kT0;
  for (int i = 0; i < 4000; ++i) {
    Msg m = header(type(rng));
    for (int k = 2; k < 32; ++k) m[k] = static_cast<std::uint8_t>(byte(rng));
    if ((i & 1) != 0)
      for (int k = cut(rng); k < 32; ++k) m[k] = 0;
    t += static_cast<std::uint32_t>(byte(rng)) * 100;
    const PosData::RcvTimeDataType rt = rcvTime(t);
    const int ty = (m[1] >> 2) & 0x3F;
    get_SlasDataDecoder(rt, qzs(si(rng)))->update(rt, kUser, qzs(si(rng)), ty, m.data());
    for (int s = 0; s < D::kIodSets; ++s)
      for (int c = 0; c < D::kStations; ++c)
        ASSERT_LE(D::CorrData[s][c].uPending, std::popcount(D::CorrData[s][c].ulSlotSet));
    for (const D::PrnMaskType& pm : D::PrnMaskData) ASSERT_LE(pm.uSlots, D::kSlots);
  }
}

// ---- the recording ------------------------------------------------------------------------------------

std::string run(const std::string& cmd) {
  std::string out;
  FILE* p = popen(cmd.c_str(), "r");
  if (p == nullptr) return out;
  char buf[4096];
  for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, p)) > 0;) out.append(buf, n);
  pclose(p);
  return out;
}

struct SbsLine {
  int tow, prn, type;
  Msg msg;
};

std::vector<SbsLine> recording() {
  const std::string dir = run("mktemp -d | tr -d '\\n'");
  const std::string src = std::string(RX_SHARED_DIR) + "/testdata/sbas/20230919-114418.ubx";
  run("cd " + dir + " && cp '" + src + "' in.ubx && convbin -r ubx in.ubx -d . >/dev/null 2>&1");
  std::vector<SbsLine> out;
  std::ifstream sbs(dir + "/in.sbs");
  for (std::string line; std::getline(sbs, line);) {
    std::istringstream in(line);
    SbsLine m{};
    int week = 0;
    std::string colon, hex;
    if (!(in >> week >> m.tow >> m.prn >> m.type >> colon >> hex) || hex.size() < 58) continue;
    for (int i = 0; i < 29; ++i) m.msg[i] = static_cast<std::uint8_t>(std::stoul(hex.substr(2 * i, 2), nullptr, 16));
    out.push_back(m);
  }
  run("rm -rf " + dir);
  return out;
}

// CartConvert's Earth-centred X, Y, Z of latitude, longitude (deg) and height (m).
bool cartConvert(double lat, double lon, double h, double xyz[3]) {
  char cmd[160];
  std::snprintf(cmd, sizeof cmd, "echo '%.6f %.6f %.3f' | CartConvert -p 4", lat, lon, h);
  return std::sscanf(run(cmd).c_str(), "%lf %lf %lf", &xyz[0], &xyz[1], &xyz[2]) == 3;
}

// The L1S messages of the PRNs named (all of them when `all`, else PRN 186's), in order.
void feedRecording(const std::vector<SbsLine>& msgs, const PosData::PositionDataType& user, int lastTow,
                   bool all = false) {
  for (const SbsLine& l : msgs) {
    const bool l1s = l.prn == 184 || l.prn == 185 || l.prn == 186 || l.prn == 189;
    if (!l1s || (!all && l.prn != 186) || l.tow > lastTow) continue;
    const PosData::RcvTimeDataType t = rcvTime(static_cast<std::uint32_t>(l.tow) * 1000);
    get_SlasDataDecoder(t, qzs(l.prn - 183))->update(t, user, qzs(l.prn - 183), l.type, l.msg.data());
  }
}

TEST_F(SlasDecoder, RecordingAtSapporoMatchesThePublishedDecoding) {
  const std::vector<SbsLine> msgs = recording();
  ASSERT_GT(msgs.size(), 100u);
  double user[3];
  ASSERT_TRUE(cartConvert(43.06, 141.35, 0.0, user));
  feedRecording(msgs, position(user[0], user[1], user[2]), 215105);  // up to the MT47
  // Mask 2 and IOD set 3 as the published decoding lists them.
  struct MaskRow {
    int sys, prn, iod;
  } mask[] = {{kSysGps, 3, 100}, {kSysGps, 4, 184}, {kSysGps, 16, 4},    {kSysGps, 18, 50},  {kSysGps, 25, 18},
              {kSysGps, 26, 20}, {kSysGps, 27, 8},  {kSysGps, 28, 112},  {kSysGps, 29, 47},  {kSysGps, 31, 27},
              {kSysGps, 32, 115}, {kSysQzss, 194, 13}, {kSysQzss, 195, 13}, {kSysQzss, 196, 13}, {kSysQzss, 199, 13}};
  const D::PrnMaskType& m = D::PrnMaskData[2];
  ASSERT_EQ(m.bValid, 1);
  ASSERT_EQ(m.uSlots, 15);
  ASSERT_EQ(D::IodData[3].bValid, 1);
  for (int k = 0; k < 15; ++k) {
    EXPECT_EQ(m.slot[k], sat(mask[k].sys, mask[k].prn)) << k;
    EXPECT_EQ(D::IodData[3].uIod[k], mask[k].iod) << k;
  }
  // Station 0, Sapporo: the corrections of its MT50, published once its MT47 came.
  struct CorrRow {
    int sys, prn;
    double prc;
    int iod;
  } corr[] = {{kSysGps, 16, -3.08, 4},  {kSysGps, 26, 1.28, 20},  {kSysGps, 28, 2.40, 112},
              {kSysGps, 29, 1.36, 47},  {kSysGps, 31, 3.08, 27},  {kSysGps, 32, -3.28, 115},
              {kSysQzss, 194, 3.56, 13}, {kSysQzss, 196, -4.00, 13}, {kSysQzss, 199, -1.28, 13}};
  ASSERT_GE(slotOf(0), 0);
  for (const CorrRow& c : corr) {
    SLASData::SatCorrectionType r;
    ASSERT_TRUE(published(0, sat(c.sys, c.prn), r)) << c.prn;
    EXPECT_NEAR(r.fPrc[0], c.prc, 1e-6) << c.prn;
    EXPECT_EQ(r.uIod[0], c.iod) << c.prn;
    EXPECT_EQ(SLASData::get_TimeTagMs(r.ulTime[0]), 215104000) << c.prn;  // its MT50's time
  }
  for (const MaskRow& n : {mask[0], mask[1], mask[3], mask[4], mask[6], mask[12]}) {
    SLASData::SatCorrectionType r;
    EXPECT_FALSE(published(0, sat(n.sys, n.prn), r)) << n.prn;
  }
}

TEST_F(SlasDecoder, RecordingAtItsOwnPositionPublishesTheNearestStation) {
  const std::vector<SbsLine> msgs = recording();
  ASSERT_GT(msgs.size(), 100u);
  double user[3], station[3];
  ASSERT_TRUE(cartConvert(34.4401, 132.4148, 0.0, user));
  ASSERT_TRUE(cartConvert(34.71, 135.04, 200.0, station));  // code 6 of the MT47
  // PRN 186 alone, then all four L1S satellites (the same messages, four sources on a pool of three).
  for (bool all : {false, true}) {
    resetAll();
    feedRecording(msgs, position(user[0], user[1], user[2]), 1 << 30, all);
    const int slot = slotOf(6);
    ASSERT_GE(slot, 0) << all;
    for (int c : {0, 1, 3, 5}) EXPECT_EQ(slotOf(c), -1) << c;
    SLASData::StationDataType st;
    PVTDataInstance.slasStationData[slot].Take(&st);
    EXPECT_NEAR(st.dX, station[0], 1e-3) << all;
    EXPECT_NEAR(st.dY, station[1], 1e-3);
    EXPECT_NEAR(st.dZ, station[2], 1e-3);
    const double d = std::hypot(station[0] - user[0], station[1] - user[1], station[2] - user[2]);
    EXPECT_EQ(st.ulDistance, static_cast<std::uint32_t>(std::floor(d)));
    // Station 6's last MT50 (tow 215112): G16 -1.92 m with IOD 4.
    SLASData::SatCorrectionType r;
    ASSERT_TRUE(published(6, sat(kSysGps, 16), r));
    EXPECT_NEAR(r.fPrc[0], -1.92, 1e-6);
    EXPECT_EQ(r.uIod[0], 4);
  }
}

}  // namespace
