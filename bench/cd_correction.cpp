// Code-differential stage cost per epoch at the correction processor's full request (91
// satellites) with five RTCM 2 stations answering two signal slots each: the whole stage (the
// generator's answers, rating, choice, troposphere transfer, publishing) in blend and best-station
// modes, and the generator alone.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstring>

#include "positioning/corrections/sat_corr_processor.h"
#include "positioning/corrections/rtcm_corr_generator.h"
#include "positioning/geodesy/ell_math.h"

namespace {

constexpr double kDeg = 3.14159265358979323846 / 180.0;

void setUp(std::uint32_t mode) {
  SatCorrWorkArea& w = SatCorrProcessorInstance.work();
  PVTDataType& D = PVTDataInstance;
  PosSetup::setDefaults(w.corrSetup);
  PosSetup::setDefaults(w.satSetup);
  std::memcpy(w.corrSetup.aBytes, &mode, sizeof mode);
  RTCMData::SatCorrectionType::set_DataTimeout(60, 60);
  PosData::RcvTimeDataType t{};
  t.gps.ulMs = t.glo.ulMs = t.gal.ulMs = t.sbas.ulMs = t.bds.ulMs = t.qzss.ulMs = t.irn.ulMs = 10000;
  w.rcvTime = t;
  w.request = CorrData::CorrectionRequestType{};
  w.request.rcvTime = t;
  double rcv[3];
  EllMath::BLH_XYZ(EllExt, 45 * kDeg, 10 * kDeg, 300.0, rcv[0], rcv[1], rcv[2]);
  PosData::PositionDataType& p = w.request.position;
  p.dX = rcv[0], p.dY = rcv[1], p.dZ = rcv[2], p.dLat = 45 * kDeg, p.dLon = 10 * kDeg, p.dHeight = 300.0;
  w.dOrthoHeight = 250.0;
  w.bCalendarValid = 1;
  w.uDayOfYear = 100;
  w.bUsedSatList = 0;
  D.satCorrection.Init();
  int n = 0;
  for (int sys = 0; sys < SYS_NUM && n < CorrData::kMaxRequestSats; ++sys)
    for (int si = 0; si < SYS_SI_NUM[sys] && si < SYS_SAT_NUM[sys] && n < CorrData::kMaxRequestSats; ++si) {
      CorrData::RequestSatDataType& q = w.request.sat[n++];
      q = CorrData::RequestSatDataType{};
      q.svId.sys = static_cast<std::uint8_t>(sys);
      q.svId.si = q.svId.sat = static_cast<std::uint8_t>(si);
      q.fElevation = static_cast<float>(5 + (n * 7) % 85);
      const double a = n * 0.7, e = q.fElevation * kDeg;
      q.dLos[0] = std::cos(e) * std::cos(a), q.dLos[1] = std::cos(e) * std::sin(a), q.dLos[2] = std::sin(e);
    }
  w.request.uCount = static_cast<std::uint16_t>(n);
  for (int s = 0; s < RTCMData::kRtcmSources; ++s) {
    const int id = 100 + s;
    RTCMData::SourceStateDataType st{};
    st.uStationId = static_cast<std::uint16_t>(id);
    st.uVersion = 1;
    D.rtcmSourceState.Put(s, &st);
    RTCMData::StationDataType sd;
    sd.set_ReadyCoordinate(id);
    RTCMData::set_TimeTag(sd.ulCoordinateTime, 9000);
    for (int k = 0; k < 3; ++k) sd.dPos[k] = rcv[k] + 1000.0 * (s + 1) * (k == 0 ? 1 : 0.3);
    std::strcpy(sd.cDatum, "W84");
    D.rtcmStationData[s].Put(&sd);
    D.rtcmSatCorrection[s].Init();
    for (int i = 0; i < n; ++i) {
      RTCMData::SatCorrectionType c;
      c.init();
      for (int slot = 0; slot < 2; ++slot) {
        c.set_ReadyRangeCorr(id, slot, 0);
        c.range[slot][0] = {static_cast<float>(100 + i + s), 3.0f, 1, 7};
        RTCMData::set_TimeTag(c.ulRangeTime[slot][0], 9000);
      }
      D.rtcmSatCorrection[s].Put(&w.request.sat[i].svId, &c);
    }
  }
  SatCorrProcessorInstance.update_TropoCorrection();
}

void stage(benchmark::State& state, std::uint32_t mode) {
  setUp(mode);
  int published = 0;
  for (auto _ : state) published += SatCorrProcessorInstance.update_CdCorrection();
  benchmark::DoNotOptimize(published);
  state.counters["satellites"] = SatCorrProcessorInstance.work().request.uCount;
  state.counters["published"] = published / static_cast<double>(state.iterations());
}

void BM_CdStageBlendFiveStations(benchmark::State& state) { stage(state, 4); }
BENCHMARK(BM_CdStageBlendFiveStations)->Unit(benchmark::kMicrosecond);
void BM_CdStageBestOfFiveStations(benchmark::State& state) { stage(state, 1); }
BENCHMARK(BM_CdStageBestOfFiveStations)->Unit(benchmark::kMicrosecond);

void BM_RtcmGeneratorFiveStations(benchmark::State& state) {
  setUp(4);
  SatCorrWorkArea& w = SatCorrProcessorInstance.work();
  RTCMData::CorrectionRequestType& R = w.cd.request;
  R.pRequest = &w.request;
  R.bPermit[0] = R.bPermit[1] = 1;
  for (auto _ : state) {
    RtcmCorrGeneratorInstance.update(&R);
    benchmark::DoNotOptimize(R.uStationCount);
  }
}
BENCHMARK(BM_RtcmGeneratorFiveStations)->Unit(benchmark::kMicrosecond);

}  // namespace
