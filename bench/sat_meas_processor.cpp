// Cost of the measurement processor's epoch: all 182 channels (both antenna inputs) tracking a
// satellite with a published polynomial and group delays, two frequencies on each.
#include <benchmark/benchmark.h>

#include "fixtures/nav_files.h"
#include "navigation_data/orbits/sat_polynom.h"
#include "positioning/chan_data.h"
#include "positioning/data_servers/pvt_data.h"
#include "positioning/engine/sat_meas_processor.h"

namespace {

// 91 satellites per input: GPS 32, Galileo 36, QZSS 7, BeiDou 16, each with a GPS broadcast
// orbit of the recorded day published under its identity.
struct Pick {
  int code, first, count, sys;
};
constexpr Pick kPicks[] = {{kChanGps, 1, 32, kSysGps},
                           {kChanGalileo, 1, 36, kSysGalileo},
                           {kChanQzss, 193, 7, kSysQzss},
                           {kChanBeidou, 1, 16, kSysBeidou}};

double prepare() {
  const auto recs = navfiles::readRinex2Nav(navfiles::testdata("brdc1820.10n"));
  if (recs.empty()) return -1;
  const double t0 = recs[0].eph.toe;
  int ch = 0, r = 0;
  for (const Pick& p : kPicks) {
    for (int i = 0; i < p.count; ++i, ++ch, ++r) {
      const ZRT_EPH_GPS& e = recs[r % recs.size()].eph;
      PolyNodeRing ring;
      bool computed = false;
      SatData::PolynomSetType set{};
      update_SatellitePolynom(p.sys, e, t0, ring, computed, set.entry[0]);
      set.entry[0].iod = e.iode;
      set.entry[1].iod = kPolyNoIod;
      update_SatelliteTgd(e, 0, set.tgd);
      SvIdType sv;
      svIdFromSiNumber(p.sys, p.first + i, sv);
      SatPolynomStoreInstance.Put(sv, &set);
      for (int input = 0; input < 2; ++input) {
        const int c = ch + input * kCdatPerInput;
        Cdat[c].bDataPresent = 1;
        Cdat[c].sysCode = static_cast<std::uint8_t>(p.code);
        Cdat[c].svNum = static_cast<std::int16_t>(p.first + i);
        for (int slot : {0, 2}) {
          ChanData::mapSlot(c, slot, c * kCdatSlots + slot);
          ChanSigData* s = Cdat[c].sig(slot);
          s->freq = slot == 0 ? 1575.42e6 : 1227.60e6;
          s->code = 0.07;
          s->phase = 0.07 * s->freq;
          s->flags = ChanSigData::kValid | ChanSigData::kPhase;
        }
      }
    }
  }
  PosSetup::SatProcessorSetupType setup;
  PosSetup::setDefaults(setup);
  setup.aBytes[PosSetup::kSatCombModeOffset] = 1;
  PVTDataInstance.satProcessorSetup.Put(&setup);
  return t0 + 30.0;
}

void setEpoch(ChanData* chan, double t) {
  PVTEngineEpochDataType* e = PVTDataInstance.epochData.GetPointer();
  e->pChanData = chan;
  const auto ms = static_cast<std::uint32_t>(t * 1000.0);
  e->rcvTime.ulTimeTag = ms;
  e->rcvTime.gps.ulMs = e->rcvTime.gal.ulMs = e->rcvTime.qzss.ulMs = e->rcvTime.bds.ulMs = ms;
}

// Both antenna inputs, one update_ChanNavData each: the figure is per epoch of the receiver.
void BM_SatMeasProcessorEpoch(benchmark::State& state) {
  const double t = prepare();
  if (t < 0) {
    state.SkipWithError("no recorded ephemerides");
    return;
  }
  for (auto _ : state) {
    setEpoch(Cdat, t);
    SatelliteMeasurementProcessorInstance.update_ChanNavData();
    setEpoch(Cdat + kCdatPerInput, t);
    SatelliteMeasurementProcessorInstance.update_ChanNavData();
    benchmark::ClobberMemory();
  }
  int orbits = 0;
  for (const ChanSatDataType& r : SatelliteMeasurementProcessorInstance.epochSatData().chan)
    orbits += r.uSatState == kPolyOk ? 1 : 0;
  state.counters["orbits"] = orbits;
  state.SetLabel("182 channels");
}
BENCHMARK(BM_SatMeasProcessorEpoch)->Unit(benchmark::kMicrosecond);

// The two-frequency carrier the smoothing asks for, once per tracked signal of 182 channels.
void BM_IonoFreePhase(benchmark::State& state) {
  if (prepare() < 0) {
    state.SkipWithError("no recorded ephemerides");
    return;
  }
  SatelliteMeasurementProcessorInstance.update_SetupData();
  double sum = 0;
  for (auto _ : state) {
    for (int c = 0; c < kCdatChannels; ++c)
      for (int slot : {0, 2}) {
        double ph;
        bool slip;
        if (SatelliteMeasurementProcessorInstance.compute_IonoFreePhase(Cdat[c], slot, ph, slip)) sum += ph;
      }
    benchmark::DoNotOptimize(sum);
  }
  state.SetLabel("182 channels x 2 signals");
}
BENCHMARK(BM_IonoFreePhase)->Unit(benchmark::kMicrosecond);

}  // namespace
