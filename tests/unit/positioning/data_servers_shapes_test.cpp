// The server shapes of the store as their users see them, and the SBAS ionosphere grid server.
#include <gtest/gtest.h>

#include <cstring>

#include "positioning/data_servers/data_malloc.h"
#include "positioning/data_servers/pvt_data.h"
#include "settings/rcv_settings.h"

TEST(PositionServer, FixedPositionSourceReplacesEveryPosition) {
  const double fixed[6] = {4000000.5, 500000.25, 4900000.75, 0.8, 0.1, 123.5};
  std::memcpy(RcvSet.posSourceData, fixed, sizeof fixed);
  for (std::uint16_t source : {0, 6}) {
    RcvSet.posSource = source;
    PosData::PositionDataType in{-2694892.5, -4297405.0, 3854587.25, 0.6, -2.1, 12.5, 1}, out{};
    ASSERT_EQ(PVTDataInstance.position.Put(&in), 1);
    ASSERT_EQ(PVTDataInstance.position.Take(&out), 1);
    if (source == 6) {
      EXPECT_TRUE(out.dX == 4000000.5 && out.dHeight == 123.5);
    } else {
      EXPECT_EQ(std::memcmp(&out, &in, offsetof(PosData::PositionDataType, bValid) + 1), 0);
    }
  }
  PosData::PositionDataType out{};
  EXPECT_EQ(PVTDataInstance.refPosition.Take(&out), 0);  // a server of its own
}

TEST(FlaggedServer, GetReadsOnceTakeReadsMany) {
  auto& s = PVTDataInstance.klobIonoModel[0];
  NavData::KlobIonoModelDataType r{}, in{};
  EXPECT_EQ(s.Get(&r) + s.Take(&r), 0);
  in.bValid = 7;
  EXPECT_EQ(s.Put(&in), 1);
  EXPECT_EQ(s.Take(&r) + s.Take(&r), 2);
  r.bValid = 0;
  EXPECT_EQ(s.Get(&r), 1);
  EXPECT_EQ(r.bValid, 7);
  r.bValid = 3;
  EXPECT_EQ(s.Get(&r) + s.Take(&r), 0);
  EXPECT_EQ(r.bValid, 3);                                   // nothing copied
  EXPECT_EQ(PVTDataInstance.klobIonoModel[1].Take(&r), 0);  // GPS, QZSS and BeiDou models are separate
  // The receiver time advances the pools' time base.
  PosData::RcvTimeDataType t{11, 123456789}, tOut{};
  ASSERT_EQ(PVTDataInstance.rcvTime.Put(&t), 1);
  EXPECT_EQ(DataBufferServerType::ulMsTime.load(), 123456789u);
  ASSERT_EQ(PVTDataInstance.rcvTime.Take(&tOut), 1);
  EXPECT_TRUE(tOut.ulEpochTag == 11 && tOut.ulTimeTag == 123456789u);
}

// Keys and identities come from decoded data: out of range is refused with 0, nothing ends.
TEST(KeyedServer, KeysAndIdentitiesFromDecodedDataAreChecked) {
  for (int key : {-1, 0, 11, 12, 1000}) {
    const int expect = key >= 0 && key <= 11;
    SBASData::SourceStateDataType r{}, out{};
    r.uPrn = 131;
    EXPECT_EQ(PVTDataInstance.sbasSourceState.Put(key, &r), expect) << key;
    EXPECT_EQ(PVTDataInstance.sbasSourceState.Take(key, &out), expect) << key;
    EXPECT_EQ(out.uPrn, expect ? 131 : SBASData::SourceStateDataType{}.uPrn) << key;
  }
  SBASData::SourceStateDataType untouched{};
  EXPECT_EQ(PVTDataInstance.sbasSourceState.Take(5, &untouched), 1);
  EXPECT_EQ(untouched.uPrn, 255);  // never written: the record's own "none"
  SBASData::RegionServiceDataType reg{};
  EXPECT_EQ(PVTDataInstance.sbasRegionService[11].Put(79, &reg), 1);
  EXPECT_EQ(PVTDataInstance.sbasRegionService[11].Put(80, &reg), 0);
  GBASData::FASDataType fas{};
  EXPECT_EQ(PVTDataInstance.gbasFas[1].Put(48, &fas), 1);
  EXPECT_EQ(PVTDataInstance.gbasFas[1].Put(49, &fas), 0);
  // The store's pools refuse system 7, GLONASS frequency slot 15 in the signal numbering and a
  // satellite-numbering slot beyond GLONASS's 30 or BeiDou's 63.
  const SvIdType system7{0, 7, 0, 0}, glonassSi15{15, kSysGlonass, 0, 0}, glonassSat30{0, kSysGlonass, 0, 30};
  const SvIdType bdsSat63{0, kSysBeidou, 0, 63};
  SatData::PolynomDataType poly{};
  EXPECT_EQ(PVTDataInstance.satPolynom.Put(&system7, &poly), 0);
  EXPECT_EQ(PVTDataInstance.satPolynom.Put(&glonassSi15, &poly), 0);
  RTCMData::SatCorrectionType rtcm{};
  EXPECT_EQ(PVTDataInstance.rtcmSatCorrection[0].Put(&glonassSat30, &rtcm), 0);
  COMPData::SatCorrectionType comp{};
  EXPECT_EQ(PVTDataInstance.compSatCorrection[0].Put(&bdsSat63, &comp), 0);
  COMPData::IonoCorrBlockType block{};
  EXPECT_EQ(PVTDataInstance.compIonoCorrection[0].Put(26, &block), 0);
  EXPECT_EQ(PVTDataInstance.compIonoCorrection[0].Put(25, &block), 1);
  EXPECT_EQ(PVTDataInstance.satelliteResetRequest.Put(&glonassSi15, 1, 0), 0);
  SatData::VisibilityDataType vis{};
  EXPECT_EQ(PVTDataInstance.almVisibility.Put(&glonassSat30, &vis), 0);
  const SvIdType bad{63, kSysBeidou, 0, 0};
  EXPECT_EQ(PVTDataInstance.ephemerisResetRequest.Put(&bad, 1), 0);
  EXPECT_EQ(PVTDataInstance.ephemerisResetRequest.Get(&bad), 0);
}

// Each RTCM source has its own station block; one never written holds the record's own "none".
TEST(RtcmStationServer, EachSourceHasItsOwnBlock) {
  RTCMData::StationDataType st, out;
  st.uStationId = 1021;
  ASSERT_EQ(PVTDataInstance.rtcmStationData[2].Put(&st), 1);
  PVTDataInstance.rtcmStationData[2].Take(&out);
  EXPECT_EQ(out.uStationId, 1021);
  PVTDataInstance.rtcmStationData[1].Take(&out);
  EXPECT_EQ(out.uStationId, 65535);
}

TEST(SetupServer, PointerAccessMarksTheRecordPresent) {
  auto& s = PVTDataInstance.corrProcessorSetup;
  PosSetup::CorrProcessorSetupType out{};
  EXPECT_EQ(s.Take(&out), 0);
  PosSetup::CorrProcessorSetupType* p = s.GetPointer();
  ASSERT_NE(p, nullptr);
  p->aBytes[375] = 0x5A;
  s.FreePointer(nullptr);
  EXPECT_EQ(s.Take(&out), 0);
  s.FreePointer(p);
  ASSERT_EQ(s.Take(&out), 1);
  EXPECT_EQ(out.aBytes[375], 0x5A);
  // The epoch record's pointer is always given; freeing it marks data.
  auto& e = PVTDataInstance.epochData;
  PVTEngineEpochDataType* q = e.GetPointer();
  ASSERT_TRUE(q != nullptr && q == e.GetPointer());
  EXPECT_FALSE(e.hasData());
  e.FreePointer(nullptr);
  EXPECT_FALSE(e.hasData());
  e.FreePointer(q);
  EXPECT_TRUE(e.hasData());
}

TEST(RequestServers, ResetBitsAccumulateUntilRead) {
  auto& s = PVTDataInstance.satelliteResetRequest;
  SvIdType a, b;
  ASSERT_TRUE(svIdFromSiNumber(kSysGlonass, -3, a) && svIdFromSiNumber(kSysGlonass, -2, b));
  std::uint8_t arg = 0;
  EXPECT_EQ(s.Get(&a, &arg), 0);
  ASSERT_EQ(s.Put(&a, 0x01, 10), 1);
  ASSERT_EQ(s.Put(&a, 0x04, 11), 1);
  EXPECT_EQ(s.Get(&b, &arg), 0);
  EXPECT_EQ(s.Get(&a, &arg), 0x05);
  EXPECT_EQ(arg, 11);
  EXPECT_EQ(s.Get(&a, &arg), 0);

  auto& eph = PVTDataInstance.ephemerisResetRequest;
  ASSERT_TRUE(svIdFromSiNumber(kSysBeidou, 30, a) && svIdFromSiNumber(kSysBeidou, 31, b));
  ASSERT_EQ(eph.Put(&a, 0x02), 1);
  EXPECT_EQ(eph.Get(&b), 0);
  EXPECT_EQ(eph.Get(&a), 0x02);
  EXPECT_EQ(eph.Get(&a), 0);
}

// Built before main: the pools and tables came from the fast heap, the state-space pool from the
// slow heap.
TEST(Storage, TotalsCountWhatTheStoreTook) {
  EXPECT_GE(ulFastDataTotalSize, 91u * sizeof(void*));
  EXPECT_GE(ulSlowDataTotalSize, 62u * sizeof(RTCMData::TSSatCorrectionType));
  const std::uint32_t before = ulSlowDataTotalSize;
  void* p = SlowDataMalloc(1000);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(ulSlowDataTotalSize, before + 1000);
  EXPECT_EQ(static_cast<unsigned char*>(p)[999], 0);
  SlowDataFree(p, 1000);
  EXPECT_EQ(ulSlowDataTotalSize, before);
}

// Every 20-bit correction value comes back as it went in, at every grid point of every band.
TEST(SbasIonoServer, PackAndUnpackRoundTripOverAllValues) {
  auto& s = PVTDataInstance.sbasIonoCorrection[0];
  for (std::uint32_t v = 0; v < (1u << 20); ++v) {
    const int point = int(v % SBASData::kIonoBandPoints), band = int(v % SBASData::kIonoBands);
    const int issue = int(v & 0x3FFF), block = int((v >> 6) & 0x3FFF);
    const SBASData::IonoCorrectionType c{v};
    ASSERT_EQ(s.Put(point, band, &c, issue, block), 1) << v;
    SBASData::IonoCorrectionType out{};
    int blockWord = 0, outIssue = 0;
    ASSERT_EQ(s.Take(point, band, &out, &blockWord, &outIssue), 1) << v;
    ASSERT_TRUE(out.ulBits == v && blockWord == block && outIssue == issue) << v;
  }
}

// The word layout: delay and GIVE sit where the grid word expects them.
TEST(SbasIonoServer, WordLayout) {
  struct Case {
    std::uint32_t correction;
    std::uint16_t word;
    std::uint8_t blockByte;
  };
  const Case cases[] = {
      {0x1, 0x4000, 0},             // grid mask ready -> bit 14
      {0x2, 0x2000, 0},             // correction ready -> bit 13
      {0xFu << 2, 0x1E00, 0},       // GIVE indicator -> bits 9..12
      {0x1FFu << 6, 0x01FF, 0},     // vertical delay -> bits 0..8
      {0x1Fu << 15, 0x0000, 0x1F},  // source index -> the block's byte
      {(5u << 15) | (300u << 6) | (13u << 2) | 0x3, 0x6000 | (13 << 9) | 300, 5},
  };
  for (const auto& c : cases) {
    SBASData::IonoBandDataType rec{};
    rec.init();
    rec.pack(31, c.correction);
    EXPECT_EQ(rec.uPoint[31], c.word) << std::hex << c.correction;
    EXPECT_EQ(rec.uBlockByte[2], c.blockByte);
    EXPECT_EQ(rec.unpack(31), c.correction);
  }
}

TEST(SbasIonoServer, GridPointAndBandAreChecked) {
  auto& s = PVTDataInstance.sbasIonoCorrection[1];
  const SBASData::IonoCorrectionType c{0x7FFF};
  const int cases[][3] = {{0, 0, 1}, {200, 10, 1}, {201, 0, 0}, {-1, 0, 0}, {0, 11, 0}, {0, -1, 0}, {65535, 3, 0}};
  for (const auto& k : cases) {
    SBASData::IonoCorrectionType out{};
    EXPECT_EQ(s.Put(k[0], k[1], &c, 1, 1), k[2]) << k[0] << "/" << k[1];
    EXPECT_EQ(s.Take(k[0], k[1], &out, nullptr, nullptr), k[2]) << k[0] << "/" << k[1];
  }
}

// -1 keeps the issue and block word; a null correction detaches the band, which gets its own
// record back with its grid.
TEST(SbasIonoServer, KeepDetachAndReattach) {
  auto& s = PVTDataInstance.sbasIonoCorrection[2];
  const SBASData::IonoCorrectionType c{0x155}, d{0x1234}, e{0x42};
  ASSERT_EQ(s.Put(20, 4, &c, 3, 9), 1);
  ASSERT_EQ(s.Put(21, 4, &c, -1, -1), 1);
  SBASData::IonoCorrectionType out{};
  int blockWord = 0, issue = 0;
  ASSERT_EQ(s.Take(21, 4, &out, &blockWord, &issue), 1);
  EXPECT_TRUE(blockWord == 9 && issue == 3);  // points 20 and 21 share block 1
  ASSERT_EQ(s.Put(5, 6, &d, 1, 1), 1);
  ASSERT_EQ(s.Put(5, 6, nullptr, 1, 1), 1);
  EXPECT_EQ(s.Take(5, 6, &out, nullptr, nullptr), 0);
  ASSERT_EQ(s.Put(6, 6, &e, -1, -1), 1);
  ASSERT_EQ(s.Take(5, 6, &out, nullptr, nullptr), 1);
  EXPECT_EQ(out.ulBits, 0x1234u);
}

// Eight records for eleven bands: a record lent to a new band must not show the old band's grid
// points as the new band's.
TEST(SbasIonoServer, RecordLentToAnotherBandStartsEmpty) {
  auto& s = PVTDataInstance.sbasIonoCorrection[4];
  const SBASData::IonoCorrectionType full{0x3 | (100u << 6)}, flags{0x3};
  for (int band = 0; band < 8; ++band) {
    DataBufferServerType::ulMsTime = 1000u * std::uint32_t(band + 1);
    ASSERT_EQ(s.Put(77, band, &full, band, band), 1);
  }
  DataBufferServerType::ulMsTime = 20000;
  ASSERT_EQ(s.Put(0, 9, &flags, 1, 1), 1);  // takes band 0's record, the oldest
  SBASData::IonoCorrectionType out{};
  EXPECT_EQ(s.Take(77, 0, &out, nullptr, nullptr), 0);
  int blockWord = 0, issue = 0;
  ASSERT_EQ(s.Take(77, 9, &out, &blockWord, &issue), 1);
  EXPECT_TRUE(out.ulBits == 0u && blockWord == -1 && issue == 1);
  ASSERT_EQ(s.Take(77, 1, &out, nullptr, nullptr), 1);
  EXPECT_EQ(out.ulBits, full.ulBits);
}
