// Base epochs in the native format through a native reader and the base decoder into the base
// buffer: 36 satellites with code, phase, Doppler and energy on four signals each, every epoch
// released (its id from the rover record set here).
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "../tools/gnss_board_sim/sim_base_obs.h"
#include "differential/base/cpd_meas_buf.h"
#include "gnss_link/native_base_input.h"
#include "gnss_link/zrt_decoder.h"
#include "settings/rcv_settings.h"

namespace {

void BM_BaseEpochOf36Satellites(benchmark::State& state) {
  static ZrtDecoder dec;
  static ZrtCpdDecoder base;
  RcvSet.refPort = -2;
  RcvSet.baseEpochInt = 1000;
  cpdClientsInit();
  base.init(0);
  base.setHandlers(dec.filter());
  std::vector<sim::BaseSat> sats;
  CpdSvSet svs;
  for (int i = 0; i < 36; ++i) {
    const int index = i < 20 ? i + 1 : i < 28 ? 38 + i - 20 : 71 + i - 28;
    sim::BaseSat s{index, i < 20 ? 0 : i < 28 ? 1 : 2, i < 28 && i >= 20 ? index - 45 : 0, {}};
    for (int slot : {0, 2, 3, 4}) s.sig[slot] = {2.2e7 + 100 * i + slot, 1.2e8 + 500 * i, -1000.0 + i, 40};
    sats.push_back(s);
    svs.add(ZrtCpdDecoder::mapIndex(index));
  }
  cpdRecentSvs_.set(svs);
  const long tow = 3 * 86400000L;
  std::vector<std::string> epochs;
  for (int k = 0; k < 64; ++k)
    epochs.push_back(sim::baseEpoch(static_cast<std::uint32_t>(k * 1000), tow + k * 1000, -1, sats));
  std::int64_t n = 0;
  for (auto _ : state) {
    const int k = static_cast<int>(n++ % 64);
    CpdMeasTimes t;
    for (std::int32_t& x : t.time) x = static_cast<std::int32_t>(tow + k * 1000);
    cpdSetTimesAndId(t, static_cast<std::int32_t>((tow + k * 1000) % CpdEpochId::kHourMs));
    dec.process(epochs[k].data(), static_cast<int>(epochs[k].size()));
  }
  // The newest released epoch, to show that the epochs were released whole.
  const CpdMeas* last = pBaseMeasBuf->doGet();
  state.counters["satellites"] = last != nullptr ? last->n : -1;
  if (last != nullptr) pBaseMeasBuf->doUnlock(last);
  state.SetItemsProcessed(state.iterations());
  state.counters["us_per_epoch"] =
      benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_BaseEpochOf36Satellites)->Unit(benchmark::kMicrosecond);

}  // namespace
