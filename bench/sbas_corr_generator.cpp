// One pass of the SBAS generator over 12 heard sources and 91 requested satellites, each source
// holding fast, rate and long-term corrections for every satellite (range and ionosphere wanted).
#include <benchmark/benchmark.h>

#include "positioning/data_servers/pvt_data.h"
#include "positioning/sbas/sbas_corr_generator.h"

namespace {

void BM_SbasCorrGeneratorUpdate(benchmark::State& state) {
  const int nowMs = 100000;
  static CorrData::CorrectionRequestType rq{};
  rq.rcvTime.gps.ulMs = nowMs;
  rq.uCount = CorrData::kMaxRequestSats;
  const int sysOf[3] = {kSysGps, kSysGalileo, kSysBeidou};
  const int count[3] = {32, 36, 23};
  int k = 0;
  for (int s = 0; s < 3; ++s)
    for (int i = 0; i < count[s]; ++i, ++k) {
      CorrData::RequestSatDataType& q = rq.sat[k];
      q.svId = SvIdType{static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(sysOf[s]), 0,
                        static_cast<std::uint8_t>(i)};
      q.dLos[0] = 0.6;
      q.dLos[2] = 0.8;
      q.fIppLat = 40.0f + i * 0.1f;
      q.fIppLon = 10.0f;
      q.fObliquity = 1.5f;
    }
  for (int e = 0; e < SBASData::kSbasSources; ++e) {
    const SvIdType src{static_cast<std::uint8_t>(e), kSysSbas, 0, static_cast<std::uint8_t>(e)};
    SBASData::SourceStateDataType st{};
    st.uPrn = static_cast<std::uint8_t>(120 + e);
    st.uSystem = kSysSbas;
    SBASData::set_TimeTag(st.ulTime, nowMs - 1000);
    PVTDataInstance.sbasSourceState.Put(e, &st);
    for (int j = 0; j < k; ++j) {
      SBASData::SatCorrectionType r{};
      r.init();
      r.set_ReadyUDREData(src);
      SBASData::set_TimeTag(r.ulUdreTime, nowMs - 2000);
      r.uUdrei = 5;
      r.set_ReadyFastCorr(src);
      SBASData::set_TimeTag(r.ulFastTime[0], nowMs - 2000);
      r.fPrc = 1.5f;
      r.set_ReadyRateCorr(src);
      SBASData::set_TimeTag(r.ulRateTime, nowMs - 2000);
      r.fRrc = 0.01f;
      r.fPrcInterval = 12;
      r.set_ReadyLongCorr(src);
      SBASData::set_TimeTag(r.ulLongTime, nowMs - 2000);
      r.longCorr[0].iDx = 10;
      r.longCorr[0].uVelocityCode = 1;
      PVTDataInstance.sbasSatCorrection[e].Put(&rq.sat[j].svId, &r);
    }
  }
  static SBASData::CorrectionRequestType req{};
  req.pRequest = &rq;
  req.bRangeWanted = 1;
  req.bIonoWanted = 1;
  req.uSourceSystem = kSysSbas;
  SbasCorrGenerator g(&PVTDataInstance);
  for (auto _ : state) {
    g.update(&req);
    benchmark::DoNotOptimize(req.uSourceCount);
  }
  state.counters["sources"] = req.uSourceCount;
}
BENCHMARK(BM_SbasCorrGeneratorUpdate)->Unit(benchmark::kMicrosecond);

}  // namespace
