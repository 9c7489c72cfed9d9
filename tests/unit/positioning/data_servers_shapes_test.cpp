// The server shapes of the store as their users see them.
#include <gtest/gtest.h>

#include <cstring>

#include "settings/rcv_settings.h"
#include "positioning/data_servers/data_malloc.h"
#include "positioning/data_servers/pvt_data.h"

namespace {

TEST(PositionServer, FixedPositionSourceReplacesEveryPosition) {
  struct Case {
    std::uint16_t source;
    double wantX;
  };
  for (Case c : {Case{0, 1.0}, Case{6, 4000000.5}}) {
    RcvSet.posSource = c.source;
    const double fixed[6] = {4000000.5, 500000.25, 4900000.75, 0.8, 0.1, 123.5};
    std::memcpy(RcvSet.posSourceData, fixed, sizeof fixed);
    PosData::PositionDataType in{};
    in.dX = 1.0;
    in.dHeight = 2.0;
    ASSERT_EQ(PVTDataInstance.position.Put(&in), 1);
    PosData::PositionDataType out{};
    ASSERT_EQ(PVTDataInstance.position.Take(&out), 1);
    EXPECT_EQ(out.dX, c.wantX) << c.source;
    EXPECT_EQ(out.dHeight, c.source == 6 ? 123.5 : 2.0) << c.source;
  }
}

TEST(FlaggedServer, GetReadsOnceTakeReadsMany) {
  auto& s = PVTDataInstance.klobIonoModel[0];
  NavData::KlobIonoModelDataType r{};
  EXPECT_EQ(s.Get(&r), 0);
  EXPECT_EQ(s.Take(&r), 0);
  NavData::KlobIonoModelDataType in{};
  in.bValid = 7;
  EXPECT_EQ(s.Put(&in), 1);
  EXPECT_EQ(s.Take(&r), 1);
  EXPECT_EQ(s.Take(&r), 1);
  EXPECT_EQ(r.bValid, 7);
  r.bValid = 0;
  EXPECT_EQ(s.Get(&r), 1);
  EXPECT_EQ(r.bValid, 7);
  r.bValid = 3;
  EXPECT_EQ(s.Get(&r), 0);
  EXPECT_EQ(s.Take(&r), 0);
  EXPECT_EQ(r.bValid, 3);  // nothing copied
  // The GPS, QZSS and BeiDou models are separate records.
  EXPECT_EQ(PVTDataInstance.klobIonoModel[1].Take(&r), 0);
}

TEST(FlaggedServer, ReceiverTimeAdvancesThePoolsTimeBase) {
  PosData::RcvTimeDataType t{11, 123456789};
  ASSERT_EQ(PVTDataInstance.rcvTime.Put(&t), 1);
  EXPECT_EQ(DataBufferServerType::ulMsTime.load(), 123456789u);
  PosData::RcvTimeDataType out{};
  ASSERT_EQ(PVTDataInstance.rcvTime.Take(&out), 1);
  EXPECT_EQ(out.ulEpochTag, 11u);
  EXPECT_EQ(out.ulTimeTag, 123456789u);
}

TEST(FlaggedServer, PositionIsStoredAsGivenWithoutAFixedPositionSetting) {
  PosData::PositionDataType p{-2694892.5, -4297405.0, 3854587.25, 0.6, -2.1, 12.5, 1};
  ASSERT_EQ(PVTDataInstance.position.Put(&p), 1);
  PosData::PositionDataType out{};
  ASSERT_EQ(PVTDataInstance.position.Take(&out), 1);
  EXPECT_EQ(std::memcmp(&out, &p, offsetof(PosData::PositionDataType, bValid) + 1), 0);
  // The reference position is a server of its own.
  EXPECT_EQ(PVTDataInstance.refPosition.Take(&out), 0);
}

TEST(FlaggedServer, NeQuickServersCountTheirCalls) {
  auto& req = PVTDataInstance.neModel;
  CorrData::NeModelDataType r{};
  EXPECT_EQ(req.Get(&r), 0);
  EXPECT_EQ(req.Put(&r), 1);
  EXPECT_EQ(req.Put(&r), 1);
  EXPECT_EQ(req.Get(&r), 1);
  EXPECT_EQ(req.putCount(), 2u);
  EXPECT_EQ(req.getCount(), 2u);
  double tec = 4.5e17;
  auto& t = PVTDataInstance.neModelTec;
  EXPECT_EQ(t.Put(&tec), 1);
  double out = 0;
  EXPECT_EQ(t.Get(&out), 1);
  EXPECT_EQ(out, 4.5e17);
  EXPECT_EQ(t.Get(&out), 0);
  EXPECT_EQ(t.putCount(), 1u);
  EXPECT_EQ(t.getCount(), 2u);
}

TEST(FlaggedServer, FilterGainSlotsStartEmpty) {
  FilterGainDataServerType g;
  FilterGainDataType out{};
  EXPECT_EQ(g.Take(&out), 0);
  FilterGainDataType in{};
  std::memset(in.uSlot, 9, sizeof in.uSlot);
  ASSERT_EQ(g.Put(&in), 1);
  ASSERT_EQ(g.Take(&out), 1);
  EXPECT_EQ(out.uSlot[194], 9);
}

TEST(KeyedServer, KeysFromDecodedDataAreChecked) {
  struct Case {
    int key;
    int expect;
  };
  const Case cases[] = {{-1, 0}, {0, 1}, {11, 1}, {12, 0}, {1000, 0}};
  for (const auto& c : cases) {
    SBASData::SourceStateDataType r{};
    r.uPrn = 131;
    EXPECT_EQ(PVTDataInstance.sbasSourceState.Put(c.key, &r), c.expect) << c.key;
    SBASData::SourceStateDataType out{};
    EXPECT_EQ(PVTDataInstance.sbasSourceState.Take(c.key, &out), c.expect) << c.key;
    if (c.expect) {
      EXPECT_EQ(out.uPrn, 131);
    }
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
}

TEST(PlainServer, CopiesInAndOut) {
  SatData::SatelliteListType in{};
  in.ullMask[5] = 0x8000000000000001ull;
  in.ulTimeTag = 77;
  ASSERT_EQ(PVTDataInstance.usedSatelliteList.Put(&in), 1);
  SatData::SatelliteListType out{};
  ASSERT_EQ(PVTDataInstance.usedSatelliteList.Take(&out), 1);
  EXPECT_EQ(out.ullMask[5], in.ullMask[5]);
  EXPECT_EQ(out.ulTimeTag, 77u);
  ASSERT_EQ(PVTDataInstance.lockedSatelliteList.Take(&out), 1);
  EXPECT_EQ(out.ullMask[5], 0u);
}

TEST(RtcmStationServer, EachSourceHasItsOwnBlock) {
  for (int i = 0; i < RTCMData::kRtcmSources; ++i) {
    EXPECT_EQ(PVTDataInstance.rtcmStationData[i].sourceIndex(), i);
  }
  RTCMData::StationDataType st;
  st.uStationId = 1021;
  ASSERT_EQ(PVTDataInstance.rtcmStationData[2].Put(&st), 1);
  RTCMData::StationDataType out;
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
}

TEST(EpochServer, PointerIsAlwaysGivenAndFreeMarksData) {
  auto& e = PVTDataInstance.epochData;
  PVTEngineEpochDataType* p = e.GetPointer();
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(p, e.GetPointer());
  EXPECT_FALSE(e.hasData());
  e.FreePointer(nullptr);
  EXPECT_FALSE(e.hasData());
  e.FreePointer(p);
  EXPECT_TRUE(e.hasData());
}

TEST(RequestServers, SatelliteResetBitsAccumulate) {
  auto& s = PVTDataInstance.satelliteResetRequest;
  SvIdType a, b;
  ASSERT_TRUE(svIdFromSiNumber(kSysGlonass, -3, a));
  ASSERT_TRUE(svIdFromSiNumber(kSysGlonass, -2, b));
  std::uint8_t arg = 0;
  EXPECT_EQ(s.Get(&a, &arg), 0);
  ASSERT_EQ(s.Put(&a, 0x01, 10), 1);
  ASSERT_EQ(s.Put(&a, 0x04, 11), 1);
  EXPECT_EQ(s.Get(&b, &arg), 0);
  EXPECT_EQ(s.Get(&a, &arg), 0x05);
  EXPECT_EQ(arg, 11);
  EXPECT_EQ(s.Get(&a, &arg), 0);
}

TEST(RequestServers, EphemerisResetAnswersNothingUntilPending) {
  auto& s = PVTDataInstance.ephemerisResetRequest;
  for (int slot = 0; slot < SYS_SI_TOTAL; ++slot) {
    SvIdType sv;
    ASSERT_TRUE(svIdFromSiSlot(slot, sv));
    EXPECT_EQ(s.Get(&sv), 0) << slot;
  }
  SvIdType sv, other;
  ASSERT_TRUE(svIdFromSiNumber(kSysBeidou, 30, sv));
  ASSERT_TRUE(svIdFromSiNumber(kSysBeidou, 31, other));
  ASSERT_EQ(s.Put(&sv, 0x02), 1);
  EXPECT_EQ(s.Get(&other), 0);
  EXPECT_EQ(s.Get(&sv), 0x02);
  EXPECT_EQ(s.Get(&sv), 0);
  const SvIdType bad{63, kSysBeidou, 0, 0};
  EXPECT_EQ(s.Put(&bad, 1), 0);
  EXPECT_EQ(s.Get(&bad), 0);
}

TEST(Storage, TotalsCountWhatTheStoreTook) {
  // Built before main: the pools and tables came from the fast heap, the state-space pool from
  // the slow heap.
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

}  // namespace
