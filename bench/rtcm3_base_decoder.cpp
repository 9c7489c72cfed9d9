// Cost of one RTCM 3 base epoch in the base decoder: a GPS 1004 of 12 satellites with a GLONASS
// 1012 closing the epoch (its satellites unknown to the empty store), the same sent as
// 1003/1011 (every range completed from the satellite's geometry), and one MSM7 of 20 satellites
// with three signals each. The geometry is placed by hand so that only the decoder is timed.
#include <benchmark/benchmark.h>

#include <cstring>

#include "differential/base/rtcm3_cpd_decoder.h"
#include "differential/rtcm3_observations.h"
#include "navigation_data/store/sat_data_store.h"
#include "positioning/chan_data.h"

namespace {

struct Placed : CpdUtils {
  int svPos(const CpdSv&, double, bool, CpdCPos& pos, CpdCVel& vel, double& clk, int) override {
    pos = CpdCPos{-3869297.5, 3436571.3, 3717369.4 + 21000000.0};
    vel = CpdCVel{1000.0, -2000.0, 500.0};
    clk = 1e-4;
    return kOk;
  }
  int getTimeCor(const CpdSv&, double, int, double& corr) override {
    corr = 1e-4;
    return kOk;
  }
  int getIssue(const CpdSv&, int&, int&, double) override { return kNoData; }
  CpdGPos xyz2geo(const CpdCPos&) override { return {}; }
};

struct Published : CpdMeasBuf::Client {
  long n = 0;
  void process(const CpdMeas&) override { ++n; }
  void reset() override {}
};

void roverAt(std::int32_t tow) {
  ChanMeasTime mt;
  mt.gpsMs = tow;
  mt.gloMs = (tow + 10785000) % 86400000;
  mt.valid = 3;
  ChanData::setMeasTime(mt);
  CpdMeasTimes t;
  for (std::int32_t& s : t.time) s = tow;
  t.time[CpdSv::kGlonass] = mt.gloMs;
  cpdSetTimesAndId(t, CpdEpochId(tow % CpdEpochId::kHourMs));
}

void trackGps() {
  SatDataProcessorInstance.init_Object();
  CpdSvSet set;
  for (int prn = 1; prn <= 32; ++prn) set.add(CpdSv::make(CpdSv::kGps, prn));
  cpdRecentSvs_.set(set);
}

RTC3_OBS legacy(bool amb, bool glonass) {
  RTC3_OBS o;
  std::memset(&o, 0, sizeof o);
  o.flags = static_cast<std::uint16_t>((amb ? 0x40 : 0) | (glonass ? 2 : 1));
  o.numSat = glonass ? 8 : 12;
  for (int k = 0; k < o.numSat; ++k) {
    RTC3_LEGACY_SAT& s = o.legacy[k];
    s.sat = static_cast<std::uint8_t>(k + 1);
    s.flags = 1 << 1;
    s.ambiguity = 70;
    s.pr1 = 123456.78 + k;
    s.phase1 = 0.5;
    s.pr2 = 1.25;
    s.phase2 = -0.75;
  }
  return o;
}

void runLegacy(benchmark::State& state, bool amb) {
  trackGps();
  Published pub;
  CpdAux aux;
  CpdMeasBufImp buf(kCpdBaseBufSize, &pub, &aux);
  Placed placed;
  Rtcm3CpdDecoder d(&buf, placed);
  d.updateRefPos(CpdCPos{-3869297.5, 3436571.3, 3717369.4}, 1);
  d.updateAntDesc("A", 1);
  RTC3_OBS gps = legacy(amb, false), glo = legacy(amb, true);
  std::int32_t tow = 3600000;
  for (auto _ : state) {
    tow += 1000;
    roverAt(tow);
    gps.time = static_cast<std::uint32_t>(tow);
    glo.time = static_cast<std::uint32_t>((tow + 10785000) % 86400000);
    d.update(gps);
    d.update(glo);
  }
  state.counters["epochs"] = static_cast<double>(pub.n);
}

void BM_LegacyEpoch(benchmark::State& state) { runLegacy(state, true); }
BENCHMARK(BM_LegacyEpoch);

void BM_LegacyEpochCompleted(benchmark::State& state) { runLegacy(state, false); }
BENCHMARK(BM_LegacyEpochCompleted);

void BM_Msm7Epoch(benchmark::State& state) {
  trackGps();
  Published pub;
  CpdAux aux;
  CpdMeasBufImp buf(kCpdBaseBufSize, &pub, &aux);
  Rtcm3CpdDecoder d(&buf);
  d.updateAntDesc("A", 1);
  RTC3_OBS o;
  std::memset(&o, 0, sizeof o);
  o.flags = 0x40;
  o.numSat = 20;
  for (int k = 0; k < o.numSat; ++k) {
    RTC3_MSM_SAT& s = o.msm[k];
    s.sat = static_cast<std::uint8_t>(k + 1);
    s.intMs = 70;
    for (int slot : {0, 2, 4}) s.sig[slot] = RTC3_MSM_SIG{1234.5, 1233.0, 0, 45, 0, 0, 3, {}};
  }
  std::int32_t tow = 3600000;
  for (auto _ : state) {
    tow += 1000;
    roverAt(tow);
    o.time = static_cast<std::uint32_t>(tow);
    d.updateMSM(o);
  }
  state.counters["epochs"] = static_cast<double>(pub.n);
}
BENCHMARK(BM_Msm7Epoch);

}  // namespace
