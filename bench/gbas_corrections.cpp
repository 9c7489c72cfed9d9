// Time of one GBAS correction stage: one ground station with additional data block 1, 18 GPS
// satellites each with a valid correction and a matching ephemeris-integrity record, all
// corrected and published.
#include <benchmark/benchmark.h>

#include <cstring>

#include "positioning/corrections/sat_corr_processor.h"
#include "positioning/data_servers/pvt_data.h"
#include "positioning/gbas/gbas_corr_generator.h"

namespace {

constexpr std::uint32_t kNow = 349200000;
constexpr std::uint32_t kTag = 50000000;
constexpr int kSats = 18;

void prepare() {
  PVTDataType& d = PVTDataInstance;
  DataBufferServerType::ulMsTime.store(kTag);
  GBASData::SourceStateDataType st{};
  st.bHasId = 1;
  st.uBlockId = 170;
  st.ulGbasId = 0x123456;
  st.bType1 = 1;
  st.ulType1Time = kTag - 500;
  d.gbasSourceState.Put(0, &st);
  GBASData::StationDataType sd{};
  sd.bReady = 1;
  sd.uBlockId = 170;
  sd.ulGbasId = st.ulGbasId;
  sd.iRefractivity = 379;
  sd.uSigmaN = 20;
  sd.uScaleHeight = 100;
  sd.fSigmaVertIono = 4e-6f;
  sd.dHeight = 100.0;
  sd.dX = 4000000.0;
  sd.dZ = 5000000.0;
  GBASData::set_TimeTag(sd.ulTimeTag, kNow - 2000);
  d.gbasStationData[0].Put(&sd);
  GBASData::StationAddBlockDataType a{};
  a.bReady = 1;
  a.uBlockId = 170;
  a.ulGbasId = st.ulGbasId;
  a.uSelector = 5;
  a.uMaxUseDistance = 50;
  GBASData::set_TimeTag(a.ulTimeTag, kNow - 2000);
  d.gbasStationAddBlock[0].Put(&a);

  SatCorrWorkArea& w = SatCorrProcessorInstance.work();
  w.request.rcvTime = PosData::RcvTimeDataType{};
  w.request.rcvTime.ulTimeTag = kTag;
  w.request.rcvTime.gps.ulMs = kNow;
  w.request.rcvTime.gps.uStatus[0] = 1;
  w.request.position.dX = 4000000.0;
  w.request.position.dY = 10000.0;
  w.request.position.dZ = 5000000.0;
  w.request.position.dHeight = 400.0;
  w.request.uCount = kSats;
  std::memset(w.corrSetup.aBytes, 0, sizeof w.corrSetup.aBytes);
  w.corrSetup.aBytes[GbasCorr::kSelectionModeOffset] = 2;
  w.corrSetup.aBytes[GbasCorr::kStationSelectorOffset] = 5;
  w.corrSetup.aBytes[GbasCorr::kPathSelectorOffset] = 255;
  for (int i = 0; i < kSats; ++i) {
    SvIdType sv;
    svIdFromSiNumber(kSysGps, i + 1, sv);
    w.request.sat[i] = CorrData::RequestSatDataType{};
    w.request.sat[i].svId = sv;
    w.request.sat[i].fElevation = 10.0f + 4.0f * static_cast<float>(i);
    GBASData::DiffCorrectionType c;
    c.init();
    c.set_ReadyDiffCorr(170, st.ulGbasId);
    c.uFlags |= GBASData::DiffCorrectionType::kCorrValid | GBASData::DiffCorrectionType::kFirstSource;
    c.uIod = static_cast<std::uint8_t>(i);
    c.uEphCrc = static_cast<std::uint16_t>(0x1000 + i);
    c.iPrc = static_cast<std::int16_t>(100 * i);
    c.iRrc = -20;
    c.uSigmaPrGnd = 20;
    c.ulCorrTime = kNow - 1000;
    c.ulFirstTime = kNow - 20000;
    GBASData::set_TimeTag(c.ulTimeTag, kNow - 1000);
    d.gbasDiffCorrection[0].Put(&sv, &c);
    NavData::GbasEphIntegrityDataType e{};
    e.uIod = c.uIod;
    e.uCrc = c.uEphCrc;
    d.gbasEphIntegrity.Put(&sv, &e);
  }
}

void BM_UpdateGbasCorrection18Sats(benchmark::State& state) {
  prepare();
  int published = 0;
  for (auto _ : state) {
    published = SatCorrProcessorInstance.update_GbasCorrection();
    benchmark::DoNotOptimize(published);
  }
  state.counters["published"] = published;
}
BENCHMARK(BM_UpdateGbasCorrection18Sats)->Unit(benchmark::kMicrosecond);

}  // namespace
