// Cost of one network RTK epoch in the store: six auxiliary stations each sending a combined
// ionospheric and geometric message of 15 GPS satellites (the records a 1017 gives), and a reader
// finding each station's newest epoch by station and time and letting it go.
#include <benchmark/benchmark.h>

#include "differential/base/cpd_meas_buf.h"
#include "differential/nrtk/rtcm_nrtk_decoder.h"

namespace {

RTC3_NRTK_HEADER header(int aux, std::int32_t t) {
  RTC3_NRTK_HEADER h{};
  h.networkId = 5;
  h.subnetId = 1;
  h.satCount = kNrtkMaxDiffSats;
  h.epochMs = t;
  h.masterId = 100;
  h.auxId = aux;
  return h;
}

void BM_NrtkEpochOfSixStations(benchmark::State& state) {
  cpdClientsInit();
  rtcmNrtkInit();
  RtcmNrtkCpdDecoder dec(pBaseMeasBuf);
  dec.updateRefPos(CpdCPos{1114104.5999, -4850729.7108, 3975521.4643}, 100);
  RTC3_NRTK_IONO io{};
  RTC3_NRTK_GEO ge{};
  for (int i = 0; i < kNrtkMaxDiffSats; ++i) {
    io.sat[i] = {static_cast<std::uint8_t>(i + 1), 1, 0, 0, 0.01f * static_cast<float>(i)};
    ge.sat[i] = {static_cast<std::uint8_t>(i + 1), 1, 0, 7, -0.02f * static_cast<float>(i)};
  }
  io.hdr = header(1, 0);
  dec.updateIono(io);  // names the network
  for (int a = 1; a <= 6; ++a) {
    RTC3_NRTK_STATION s{};
    s.networkId = 5;
    s.subnetId = 1;
    s.masterId = 100;
    s.auxId = a;
    dec.updateAux(s);
  }
  std::int32_t t = 0;
  for (auto _ : state) {
    t = (t + 1000) % 3600000;
    for (int a = 1; a <= 6; ++a) {
      io.hdr = ge.hdr = header(a, t);
      dec.updateIono(io);
      dec.updateGeom(ge);
    }
    CpdAux* aux = pBaseMeasBuf->doObtainAux();
    for (int p = 0; p < 6; ++p) {
      const CpdNrtkCorr* c = aux->nrtk->iono[p]->doFind(CpdNrtkMnsId{}, p + 1, CpdNrtkTimeTag{t});
      benchmark::DoNotOptimize(c);
      aux->nrtk->iono[p]->doUnlock(c);
    }
    pBaseMeasBuf->doReleaseAux(aux);
  }
}
BENCHMARK(BM_NrtkEpochOfSixStations);

}  // namespace
