// Cost of the base-projection step per base epoch: 44 base satellites with two signals each (31
// GPS satellites of brdc1820.10n on C/A and L2C, 13 more on Galileo E1 and E5b numbers carrying
// GPS orbits), references in use, the models settled. The rover epoch of the same id and the
// orbit polynomials are prepared outside the timing.
#include <benchmark/benchmark.h>

#include <cmath>
#include <map>
#include <vector>

#include "fixtures/nav_files.h"
#include "differential/base/cpd_meas_buf.h"
#include "differential/base/cpd_utils.h"
#include "differential/rtk/base_pro.h"
#include "differential/rtk/base_pro_client.h"
#include "navigation_data/orbits/sat_polynom.h"
#include "navigation_data/store/sat_data_store.h"
#include "positioning/data_servers/pos_setup_types.h"
#include "positioning/data_servers/pvt_data.h"
#include "settings/rcv_settings.h"

namespace {

constexpr double kC = 299792458.0;
constexpr double kT0 = 4 * 86400.0 + 7200.0;
constexpr double kBase[3] = {4075580.0, 931855.0, 4801568.0};

struct Sat {
  CpdSv sv;
  SvIdType storeId;
  ZRT_EPH_GPS eph;
  PolyNodeRing ring;
  bool computed = false;
  SatData::PolynomSetType set{};
  int sig[2];
};

std::vector<Sat> satellites() {
  const auto recs = navfiles::readRinex2Nav(navfiles::testdata("brdc1820.10n"));
  std::map<int, ZRT_EPH_GPS> best;
  for (const auto& r : recs)
    if (r.eph.health == 0 && std::fabs(r.eph.toe - kT0) <= 7200 &&
        (!best.count(r.eph.prn) || std::fabs(r.eph.toe - kT0) < std::fabs(best[r.eph.prn].toe - kT0)))
      best[r.eph.prn] = r.eph;
  std::vector<Sat> v;
  for (const auto& [prn, e] : best) {
    Sat s;
    s.sv = CpdSv::make(CpdSv::kGps, prn);
    s.storeId = SvIdType{static_cast<std::uint8_t>(prn - 1), kSysGps, 0, static_cast<std::uint8_t>(prn - 1)};
    s.eph = e;
    s.sig[0] = CpdSvMeas::kCA, s.sig[1] = CpdSvMeas::kL2C;
    v.push_back(s);
  }
  const std::size_t gps = v.size();
  for (std::size_t k = 0; v.size() < CpdMeas::kMaxSv; ++k) {
    Sat s = v[k % gps];
    const int n = static_cast<int>(v.size() - gps) + 1;
    s.sv = CpdSv::make(CpdSv::kGalileo, n);
    s.storeId = SvIdType{static_cast<std::uint8_t>(n - 1), kSysGalileo, 0, static_cast<std::uint8_t>(n - 1)};
    s.sig[0] = CpdSvMeas::kCA, s.sig[1] = CpdSvMeas::kP2;
    s.computed = false;
    s.ring = PolyNodeRing{};
    v.push_back(s);
  }
  return v;
}

void refresh(std::vector<Sat>& sats, double t) {
  for (Sat& s : sats) {
    update_SatellitePolynom(kSysGps, s.eph, t, s.ring, s.computed, s.set.entry[0]);
    s.set.entry[0].iod = s.eph.iode;
    s.set.entry[1].iod = kPolyNoIod;
    SatPolynomStoreInstance.Put(s.storeId, &s.set);
  }
}

// The rover epoch of id `id` and the base epoch of GPS time T.
void prepare(std::vector<Sat>& sats, double T, CpdMeas& base) {
  const int id = static_cast<int>(std::llround(T * 1000.0)) % 3600000;
  CpdMeas* r = pRovMeasBuf[0]->doObtain();
  r->clear();
  r->id = id;
  for (int s = 0; s < CpdSv::kSysNum; ++s) r->times.time[s] = static_cast<std::int32_t>(std::llround(T * 1000.0));
  base.clear();
  base.id = id;
  base.type = CpdMeas::kObservations;
  base.refPos.set(CpdCPos{kBase[0], kBase[1], kBase[2]});
  int k = 0;
  for (Sat& s : sats) {
    CpdSvMeas* rm = r->addSv(s.sv);
    rm->elev = static_cast<float>(20 + k);
    rm->slot[0].snr = static_cast<std::uint8_t>(20 + k++);
    rm->slot[0].flags = CpdMeasSlot::kRange | CpdMeasSlot::kSnr;
    CpdCPos p;
    CpdCVel vel;
    double clk = 0.0;
    CpdUtilsInstance.svPos(s.sv, T - 0.075, false, p, vel, clk, CpdUtils::kAnyIod);
    const double range = std::sqrt((p.x - kBase[0]) * (p.x - kBase[0]) + (p.y - kBase[1]) * (p.y - kBase[1]) +
                                   (p.z - kBase[2]) * (p.z - kBase[2]));
    CpdSvMeas* bm = base.addSv(s.sv);
    for (int sig : s.sig) {
      bm->slot[sig].range = range + 100.0;
      bm->slot[sig].phase = range * 1575.42e6 / kC + 1.6 * (T - kT0);
      bm->slot[sig].flags = CpdMeasSlot::kRange | CpdMeasSlot::kPhase;
    }
  }
  pRovMeasBuf[0]->doRelease(r);
}

void BM_UpdateExtrapolator44x2(benchmark::State& state) {
  rcvSetDefaults(RcvSet);
  tPosMode = 5;
  RcvSet.rtk.experiod = 1000;
  RcvSet.rtk.diffext = 1;
  PosSetup::SatProcessorSetupType setup;
  PosSetup::setDefaults(setup);
  PVTDataInstance.satProcessorSetup.Put(&setup);
  SatPolynomStoreInstance.Init();
  cpdBufsInit();
  // The base position travels with the base buffer's latest epoch.
  CpdMeas* pos = pBaseMeasBuf->doObtain();
  pos->clear();
  pos->refPos.set(CpdCPos{kBase[0], kBase[1], kBase[2]});
  pBaseMeasBuf->doRelease(pos);
  std::vector<Sat> sats = satellites();
  static CpdMeas base;
  double T = kT0;
  int epochs = 0;
  for (auto _ : state) {
    state.PauseTiming();
    if (T > kT0 + 3000.0) {  // start over inside the orbits' fit interval
      T = kT0;
      BPC.Reset(0);
      for (Sat& s : sats) s.ring = PolyNodeRing{}, s.computed = false;
    }
    refresh(sats, T);
    prepare(sats, T, base);
    state.ResumeTiming();
    UpdateExtrapolator(base, 0);
    T += 1.0;
    ++epochs;
  }
  int active = 0, models = 0, withRange = 0;
  for (const BasePro& p : BPC.bp) models += p.slot != bpro::kNoSlot, withRange += p.dSat != 0.0;
  for (const BasePro& p : BPC.bp)
    for (int s = 0; s < bpro::kSignals; ++s) active += p.slot != bpro::kNoSlot && p.st[s] != 0 && p.cnt[s] > 0;
  state.counters["signals"] = active;
  state.counters["models"] = models;
  state.counters["ranges"] = withRange;
  state.counters["satellites"] = static_cast<double>(sats.size());
}
BENCHMARK(BM_UpdateExtrapolator44x2)->Unit(benchmark::kMicrosecond);

}  // namespace
