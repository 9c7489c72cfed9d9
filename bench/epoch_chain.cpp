// Cost of the per-epoch chain as built (signalMeasReady): 182 channels with six tracked signals
// each, post-processed on the measurement grid, then every later step of the chain; and a whole
// second with the satellite correction processor's epoch, which the background task runs once
// a second, every stage of it live. The measurements the decoder writes each epoch, and the
// position and corrections the decoders put, are filled outside the timing.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstring>

#include "gnss_link/meas_proc.h"
#include "main/hooks.h"
#include "navigation_data/store/sat_data_store.h"
#include "navigation_data/store/sat_visibility.h"
#include "positioning/chan_data.h"
#include "positioning/corrections/iono_correction.h"
#include "positioning/corrections/nequick_task.h"
#include "positioning/corrections/sat_corr_processor.h"
#include "positioning/data_servers/pvt_data.h"
#include "positioning/engine/pvt_engine.h"
#include "positioning/rcv_time_scales.h"

namespace {

constexpr double kC = 299792458.0;
constexpr double kFreq[kCdatSlots] = {1575.42e6, 1575.42e6, 1227.60e6, 1227.60e6, 1176.45e6, 1176.45e6};

void mapAll() {
  for (int ch = 0; ch < kCdatChannels; ++ch)
    for (int slot = 0; slot < kCdatSlots; ++slot) ChanData::mapSlot(ch, slot, ch * kCdatSlots + slot);
}

void fill(int epoch) {
  for (int ch = 0; ch < kCdatChannels; ++ch) {
    Cdat[ch].initSlots();
    Cdat[ch].bDataPresent = 1;
    Cdat[ch].sysCode = static_cast<std::uint8_t>(ch % 7);
    const double range = 20.0e6 + 1.0e4 * ch + (-600.0 + 7.0 * ch) * epoch * 0.1;
    const double iono = 40.3 * 25e16;
    for (int slot = 0; slot < kCdatSlots; ++slot) {
      ChanSigData* s = Cdat[ch].sig(slot);
      const double f = kFreq[slot];
      s->code = (range + iono / (f * f)) / kC;
      s->phase = (range - iono / (f * f)) * f / kC + 1000.0 * slot;
      s->doppler = 600.0 - 7.0 * ch;
      s->freq = f;
      s->cn0 = 40.0f + slot;
      s->flags = ChanSigData::kValid | ChanSigData::kPhase;
    }
  }
}

// GPS time of day `t` on 2024-06-01, UTC known.
void setEpoch(long t) {
  RcvTimeScales::INT_SCALES& s = RcvTimeScales::Req;
  s.ms[0] = 6 * 86400000 + static_cast<std::int32_t>(t % 86400000);
  s.weekDay[0] = 268;
  s.cycle[0] = 2;
  s.sysUtc[0] = 18;
  s.flags[0] = 0x570;
  s.ms[1] = static_cast<std::int32_t>((t - 18000 + 3 * 3600000) % 86400000);
}

// Epochs `stepMs` apart with measurement interval `ms`; per epoch.
void run(benchmark::State& state, long stepMs, int ms) {
  mapAll();
  msInt = ms;
  long t = 43200000;
  int epoch = 0;
  for (auto _ : state) {
    state.PauseTiming();
    fill(epoch++);
    setEpoch(t);
    t += stepMs;
    state.ResumeTiming();
    signalMeasReady();
  }
  state.SetItemsProcessed(state.iterations());
}

// Every epoch a whole second: every step runs.
void BM_EpochChainWholeSecond(benchmark::State& state) { run(state, 1000, -1); }
// 10 Hz epochs with a 1000 ms measurement interval: the mean over the second.
void BM_EpochChain10HzMsInt1000(benchmark::State& state) { run(state, 100, 1000); }

// ---- the correction epoch of a whole second ----------------------------------------------------

constexpr double kDeg = 3.141592653589793 / 180;
constexpr double kLat = 50 * kDeg, kLon = 10 * kDeg, kHeight = 300;
constexpr std::uint16_t kStation = 100;

template <class T>
void setField(PosSetup::CorrProcessorSetupType& s, std::size_t off, T v) {
  std::memcpy(s.aBytes + off, &v, sizeof v);
}

// Satellites in view: 24 of each of GPS, GLONASS (all 15 of its frequency slots), Galileo and
// BeiDou, elevations spread over the sky, each line of sight a unit vector from the receiver;
// the board's solution used each, one a channel.
void putSky() {
  SatVisibilityStoreInstance.Init();
  PVTEngineEpochDataType* epoch = PVTDataInstance.epochData.GetPointer();
  const double up[3] = {std::cos(kLat) * std::cos(kLon), std::cos(kLat) * std::sin(kLon), std::sin(kLat)};
  const double east[3] = {-std::sin(kLon), std::cos(kLon), 0};
  const double north[3] = {-std::sin(kLat) * std::cos(kLon), -std::sin(kLat) * std::sin(kLon), std::cos(kLat)};
  int n = 0;
  for (int sys : {kSysGps, kSysGlonass, kSysGalileo, kSysBeidou})
    for (int si = 0; si < SYS_SI_NUM[sys] && si < 24; ++si, ++n) {
      SatData::SatVisibilityType v{};
      v.valid = 1;
      v.elevation = 5.0f + static_cast<float>((n * 37) % 85);
      v.azimuth = static_cast<float>((n * 53) % 360);
      const double e = v.elevation * kDeg, a = v.azimuth * kDeg;
      for (int k = 0; k < 3; ++k) {
        v.los[k] = std::cos(e) * (std::sin(a) * east[k] + std::cos(a) * north[k]) + std::sin(e) * up[k];
        v.satPos[k] = 2.6e7 * v.los[k];
      }
      v.variance = 4;
      v.iod = 7;
      v.almId = SvIdType{static_cast<std::uint8_t>(si), static_cast<std::uint8_t>(sys), 0, static_cast<std::uint8_t>(si)};
      SatVisibilityStoreInstance.PutEph(SvIdType{static_cast<std::uint8_t>(si), static_cast<std::uint8_t>(sys), 0, 0},
                                        &v);
      EpochChanEntryType& c = epoch->board.chan[n];
      c.uState = 0;
      c.uSatByte[0] = static_cast<std::uint8_t>(sys);
      c.uSatByte[1] = static_cast<std::uint8_t>(si);
    }
  PVTDataInstance.epochData.FreePointer(epoch);
}

// One RTCM 2 station correcting every GPS and GLONASS satellite in view, heard at `t` (ms of the
// GPS day, the GLONASS day 3 h ahead), as its decoder would put it each second.
void putStation(long t) {
  PVTDataType& d = PVTDataInstance;
  const int gpsMs = static_cast<int>(6 * 86400000L + t % 86400000);
  const int gloMs = static_cast<int>((t - 18000 + 3 * 3600000) % 86400000);
  RTCMData::SourceStateDataType st{};
  st.bValid = 1;
  st.uStationId = kStation;
  st.uVersion = 3;
  st.set_Time(kSysGps, gpsMs);
  d.rtcmSourceState.Put(0, &st);
  for (int sys : {kSysGps, kSysGlonass})
    for (int number = 1; number <= 24; ++number) {
      SvIdType id{};
      if (!svIdFromSatNumber(sys, number, id)) continue;
      RTCMData::SatCorrectionType c{};
      c.init();
      c.set_ReadyRangeCorr(kStation, 0, 0);
      c.range[0][0] = {static_cast<float>(100 + number), 2.0f, 1, 7};
      RTCMData::set_TimeTag(c.ulRangeTime[0][0], sys == kSysGps ? gpsMs : gloMs);
      d.rtcmSatCorrection[0].Put(&id, &c);
    }
}

// The setups with NeQuick and the GLONASS ionosphere model on, the engine's objects and the
// hooks as start-up leaves them, and (with `position`) the board's solution at 50 N 10 E
// standing still; without it the processor ends its epochs at its position step.
void readyCorrections(bool position) {
  wireHooks();
  PVTDataType& d = PVTDataInstance;
  PVTEngineInstance.init_Object(&d, &SatDataProcessorInstance);
  d.lmsEngineSetup.Init();
  d.satProcessorSetup.Init();
  d.corrProcessorSetup.Init();
  PosSetup::CorrProcessorSetupType s{};
  d.corrProcessorSetup.Take(&s);
  setField<std::uint8_t>(s, IonoCorr::kNeQuickOnOffset, 1);
  setField<std::uint8_t>(s, IonoCorr::kGlonassOnOffset, 1);
  setField<std::uint8_t>(s, IonoCorr::kUserModelsOffset, 1);
  setField<std::uint8_t>(s, IonoCorr::kUserNeQuickOffset + 16, 1);  // the user NeQuick model valid
  setField<std::uint8_t>(s, IonoCorr::kUserGlonassOffset + 12, 1);  // the user GLONASS model valid
  d.corrProcessorSetup.Put(&s);
  PosData::PositionDataType p{};
  p.bValid = position ? 1 : 0;
  p.dLat = kLat, p.dLon = kLon, p.dHeight = kHeight;
  const double r = 6378137.0 + kHeight;
  p.dX = r * std::cos(kLat) * std::cos(kLon), p.dY = r * std::cos(kLat) * std::sin(kLon), p.dZ = r * std::sin(kLat);
  d.position.Put(&p);
  PosData::VelocityDataType v{};
  v.bValid = 1;
  d.velocity.Put(&v);
  putSky();
}

int partsPublished(bool (*has)(const SatData::CorrectionDataType&)) {
  int n = 0;
  for (int slot = 0; slot < SYS_SI_TOTAL; ++slot) {
    SvIdType sv;
    SatData::CorrectionDataType r;
    if (svIdFromSiSlot(slot, sv) && PVTDataInstance.satCorrection.Take(&sv, &r) != 0 && has(r)) ++n;
  }
  return n;
}

// A whole second: the chain, then the second's correction epoch (the background task's).
void wholeSecondWithCorrections(benchmark::State& state, bool position) {
  readyCorrections(position);
  mapAll();
  msInt = -1;
  long t = 43200000;
  int epoch = 0;
  const std::uint32_t requests = PVTDataInstance.neModel.putCount();
  for (auto _ : state) {
    state.PauseTiming();
    fill(epoch++);
    setEpoch(t);
    putStation(t);
    // The NeQuick task's answer to the request of the epoch before, as it would come.
    if (NeModelProcessorInstance.is_Pending()) {
      const double tec = 2e17;
      PVTDataInstance.neModelTec.Put(&tec);
    }
    t += 1000;
    state.ResumeTiming();
    signalMeasReady();
    PVTEngineInstance.update_SatCorrTask();
  }
  state.SetItemsProcessed(state.iterations());
  state.counters["requested"] = SatCorrProcessorInstance.work().request.uCount;
  state.counters["iono"] = partsPublished([](const SatData::CorrectionDataType& r) { return r.iono.bValid != 0; });
  state.counters["tropo"] = partsPublished([](const SatData::CorrectionDataType& r) { return r.tropo.bValid != 0; });
  state.counters["cd"] = partsPublished([](const SatData::CorrectionDataType& r) { return r.has_CdCorr(); });
  state.counters["nequick"] = PVTDataInstance.neModel.putCount() - requests;
}
// Every stage live.
void BM_EpochChainWholeSecondCorrectionsLive(benchmark::State& state) { wholeSecondWithCorrections(state, true); }
// The same second without a valid position: the processor stops at its position step, as it did
// in every epoch while the board's solution reached no server.
void BM_EpochChainWholeSecondCorrectionsIdle(benchmark::State& state) { wholeSecondWithCorrections(state, false); }

// The output values of both antenna inputs (182 channels, 91 used on each, a velocity).
void BM_RcvOutputComputeParams(benchmark::State& state) {
  fill(0);
  NavTask::NAV_SOL sol[2];
  for (int a = 0; a < 2; ++a) {
    sol[a].pos.dXyz[0] = 4193000.0, sol[a].pos.dXyz[1] = 800000.0, sol[a].pos.dXyz[2] = 4724000.0;
    sol[a].pos.dVel[0] = 1.0, sol[a].pos.dVel[1] = 2.0;
    sol[a].pos.bValid = sol[a].pos.bVelValid = sol[a].pos.bAccValid = 1;
    sol[a].uNumUsed = NavTask::NAV_SOL::kMaxSats;
    for (int k = 0; k < NavTask::NAV_SOL::kMaxSats; ++k) sol[a].uUsedChan[k] = static_cast<std::uint8_t>(a * 91 + k);
    rcvOut_Ant[a].pNavSol = &sol[a];
    rcvOut_Ant[a].bSolPresent = 1;
    rcvOut_Ant[a].chanBase = a * kCdatPerInput;
  }
  for (auto _ : state) {
    rcvOut_Ant[0].computeParams();
    rcvOut_Ant[1].computeParams();
    benchmark::DoNotOptimize(rcvOut_Ant[1].sol.course);
  }
}

// The same with an RTK solution on the main input: covariances rotated, both bases converted,
// every one of its 91 channels an RTK satellite to mark (the used-channel list is full already).
void BM_RcvOutputComputeParamsRtk(benchmark::State& state) {
  fill(0);
  NavTask::NAV_SOL sol[2];
  static RTK_SOL rtk;
  static RTK_MARK_CHAN chans[kCdatPerInput];
  rtk.state = 2;
  rtk.bPosKnown = rtk.bVelPresent = 1;
  const double x[3] = {4193000.0, 800000.0, 4724000.0};
  for (int i = 0; i < 3; ++i) rtk.rover[i] = x[i], rtk.base[i] = x[i] - 40.0, rtk.baseline[i] = 40.0;
  rtk.posCov[0] = rtk.posCov[3] = rtk.posCov[5] = 1e-4;
  rtk.velCov[0] = rtk.velCov[3] = rtk.velCov[5] = 1e-4;
  rtk.cof[0] = rtk.cof[4] = rtk.cof[7] = rtk.cof[9] = 1.0;
  rtk.satCount[0][0] = 8;
  for (int k = 1; k < RTK_SOL::kUseEntries; ++k) rtk.use[k] = 1;
  for (int k = 0; k < kCdatPerInput; ++k) chans[k] = {1, 0, static_cast<std::int16_t>(1 + k % 32), 0};
  for (int a = 0; a < 2; ++a) {
    sol[a].pos.dXyz[0] = x[0], sol[a].pos.dXyz[1] = x[1], sol[a].pos.dXyz[2] = x[2];
    sol[a].pos.bValid = sol[a].pos.bVelValid = sol[a].pos.bAccValid = 1;
    rcvOut_Ant[a].pNavSol = &sol[a];
    rcvOut_Ant[a].bSolPresent = 1;
    rcvOut_Ant[a].chanBase = a * kCdatPerInput;
  }
  rcvOut_Ant[0].bRtkAvail = rcvOut_Ant[0].bHeadingAvail = 1;
  rcvOut_Ant[0].pRtkSol = &rtk;
  rcvOut_Ant[0].pChans = chans;
  rcvOut_Ant[0].nChans = kCdatPerInput;
  for (auto _ : state) {
    sol[0].uNumUsed = sol[1].uNumUsed = 0;
    rcvOut_Ant[0].computeParams();
    rcvOut_Ant[1].computeParams();
    benchmark::DoNotOptimize(rcvOut_Ant[0].sol.heading);
  }
  rcvOut_Ant[0].pRtkSol = nullptr;
  rcvOut_Ant[0].pChans = nullptr;
  rcvOut_Ant[0].bRtkAvail = rcvOut_Ant[0].bHeadingAvail = 0;
}

BENCHMARK(BM_RcvOutputComputeParams)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RcvOutputComputeParamsRtk)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_EpochChainWholeSecond)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_EpochChain10HzMsInt1000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_EpochChainWholeSecondCorrectionsIdle)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_EpochChainWholeSecondCorrectionsLive)->Unit(benchmark::kMicrosecond);

}  // namespace
