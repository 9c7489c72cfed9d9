// Cost of the carrier-phase side's per-epoch work: the rover intake of a full tracking load (182
// channels, six signals each, 44 satellites per input), and one base epoch's trip through the
// base buffer (obtain, 30 satellites with three signals, release, find by id, unlock).
#include <benchmark/benchmark.h>

#include "differential/base/cpd_meas_buf.h"
#include "differential/base/rover_intake.h"
#include "positioning/chan_data.h"

namespace {

void trackAll() {
  for (int ch = 0; ch < kCdatChannels; ++ch) {
    const int k = ch % kCdatPerInput;
    Cdat[ch].bDataPresent = 1;
    // 32 GPS, 15 GLONASS channels, the rest Galileo: more than 44 satellites per input.
    Cdat[ch].sysCode = static_cast<std::uint8_t>(k < 32 ? 0 : k < 47 ? 1 : 3);
    Cdat[ch].svNum = static_cast<std::int16_t>(k < 32 ? k + 1 : k < 47 ? (k - 39) & 0xFF : k - 46);
    for (int slot = 0; slot < kCdatSlots; ++slot) {
      ChanData::mapSlot(ch, slot, ch * kCdatSlots + slot);
      ChanSigData* s = Cdat[ch].sig(slot);
      s->code = 0.07 + 1e-5 * ch;
      s->phase = 1.0e5 + slot;
      s->cn0 = 42.0f;
      s->flags = ChanSigData::kValid | ChanSigData::kPhase;
    }
  }
}

void BM_RoverIntakeEpoch(benchmark::State& state) {
  cpdBufsInit();
  trackAll();
  ChanMeasTime mt;
  mt.valid = 3;
  std::int32_t t = 3600000;
  for (auto _ : state) {
    t += 100;
    mt.gpsMs = t;
    mt.gloMs = t + 10782000;
    ChanData::setMeasTime(mt);
    cpdRoverIntake();
  }
}
BENCHMARK(BM_RoverIntakeEpoch);

void BM_BaseEpochThroughTheBuffer(benchmark::State& state) {
  CpdMeasBufImp buf(kCpdBaseBufSize, nullptr, nullptr);
  int id = 0;
  for (auto _ : state) {
    CpdMeas* m = buf.doObtain();
    m->clear();
    for (int s = 1; s <= 30; ++s) {
      CpdSvMeas* e = m->addSv(CpdSv::make(0, s));
      for (int k = 0; k < 3; ++k) {
        e->slot[k].range = 2.0e7 + s;
        e->slot[k].phase = 1.0e8 + s;
        e->slot[k].flags = CpdMeasSlot::kRange | CpdMeasSlot::kPhase;
      }
    }
    m->id = id;
    buf.doRelease(m);
    const CpdMeas* r = buf.doFind(id);
    benchmark::DoNotOptimize(r);
    buf.doUnlock(r);
    id = (id + 1000) % 3600000;
  }
}
BENCHMARK(BM_BaseEpochThroughTheBuffer);

}  // namespace
