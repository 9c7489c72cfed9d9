// The projection step beside the settings' full reset in another thread (both under the
// projection lock; run under ThreadSanitizer by scripts/test-tsan), and random base epochs.
#include <random>
#include <thread>

#include "differential/rtk/rtk_sync.h"
#include "unit/differential/base_pro_test_util.h"
#include "unit/own_process.h"

namespace {

using namespace bptest;

// Every entry of the slot table names a model that owns the slot.
void expectConsistent() {
  for (int q = 0; q < bpro::kSlots; ++q) {
    const BasePro* p = BPC.at(0, q);
    if (p != nullptr) {
      EXPECT_EQ(p->slot, q);
    }
  }
}

TEST(BaseProRace, FullResetBesideTheProjectionStep) {
  testproc::inOwnProcess([&] {
    setUpChain();
    RcvSet.rtk.diffext = 1;
    OrbitFeed feed;
    for (const auto& [prn, e] : recordsAt(kT0 + 300.0)) feed.add(e);
    std::vector<int> prns = feed.prns();
    prns.resize(8);
    std::vector<std::vector<SvObs>> epochs;
    for (int k = 0; k < 150; ++k) {
      const double T = kT0 + k;
      std::vector<SvObs> v;
      for (int prn : prns) {
        double code = 2.2e7;
        for (int i = 0; i < 3; ++i) code = gpsRange(feed.eph(prn), T, code, kBase) + 100.0 + 0.3 * k;
        SvObs o;
        o.sv = CpdSv::make(CpdSv::kGps, prn);
        o.code = code;
        o.phase = gpsRange(feed.eph(prn), T, code, kBase) / kLambda1 + 40.0 * prn + 1.6 * k;
        o.elev = static_cast<std::uint8_t>(20 + prn);
        v.push_back(o);
      }
      epochs.push_back(v);
    }
    std::atomic<bool> done{false}, running{false};
    std::atomic<int> resets{0};
    // The settings' full reset: projection lock, then the engine's ambiguity lock.
    std::thread parser([&] {
      running.store(true);
      while (!done.load()) {
        waitForProj(0);
        waitForAmb(0);
        BPC.Reset(0);
        ++resets;
        ambRelease(0);
        projRelease(0);
        std::this_thread::yield();
      }
    });
    // The epochs start once the parser runs beside them, however late a loaded machine starts it.
    while (!running.load()) std::this_thread::yield();
    for (int k = 0; k < 150; ++k) {
      feed.refresh(kT0 + k);
      runEpoch(kT0 + k, epochs[k]);
    }
    done.store(true);
    parser.join();
    EXPECT_GT(resets.load(), 0);
    expectConsistent();
  });
}

// Random base epochs (any satellite, flags, values including no numbers, ids, times): nothing
// crashes, the slot table stays consistent and every active model holds numbers.
TEST(BaseProRandom, RandomBaseEpochs) {
  testproc::inOwnProcess([&] {
    setUpChain();
    OrbitFeed feed;
    for (const auto& [prn, e] : recordsAt(kT0)) feed.add(e);
    std::mt19937 rng(82);
    std::uniform_int_distribution<int> byte(0, 255);
    long updates = 0;
    const double odd[] = {std::nan(""), INFINITY, -INFINITY, 0.0, 1e300, -1e-320, 2.2e7};
    for (int k = 0; k < 400; ++k) {
      const double T = kT0 + k * 0.5;
      feed.refresh(T);
      RcvSet.rtk.diffext = byte(rng) & 1;
      RcvSet.rtk.experiod = (byte(rng) & 3) == 0 ? 500 : 1000;
      std::vector<SvObs> obs;
      const int n = byte(rng) % 50;
      for (int i = 0; i < n; ++i) {
        SvObs o;
        const int sys = byte(rng) % 8;
        o.sv = CpdSv::make(sys == 7 ? 255 : sys, byte(rng) % 70 - 7);
        if (o.sv.id == 0) continue;
        o.sig = byte(rng) % 6;
        o.code = (byte(rng) & 7) == 0 ? odd[byte(rng) % 7] : 2.1e7 + 1000.0 * byte(rng);
        o.phase = (byte(rng) & 7) == 0 ? odd[byte(rng) % 7] : 1.1e8 + 100.0 * byte(rng);
        o.elev = static_cast<std::uint8_t>(byte(rng));
        o.iod = (byte(rng) & 1) ? CpdSvMeas::kIodUnknown : static_cast<std::uint16_t>(byte(rng));
        bool dup = false;
        for (const SvObs& e : obs) dup = dup || e.sv.id == o.sv.id;
        if (!dup) obs.push_back(o);
      }
      if (obs.size() > 44) obs.resize(44);
      runEpoch(T, obs, (byte(rng) & 3) != 0, (byte(rng) & 7) == 0 ? CpdMeas::kCorrections : CpdMeas::kObservations);
      expectConsistent();
      for (const BasePro& p : BPC.bp) updates += p.slot != bpro::kNoSlot ? p.cnt[0] + p.cnt[3] : 0;
    }
    EXPECT_GT(updates, 100);  // the random epochs did reach the models
    for (const BasePro& p : BPC.bp)
      for (int s = 0; s < bpro::kSignals; ++s)
        if (p.slot != bpro::kNoSlot && p.st[s] != 0) {
          EXPECT_FALSE(std::isnan(p.Fi[s])) << int(p.slot) << " " << s;
          EXPECT_FALSE(std::isnan(p.Ro[s])) << int(p.slot) << " " << s;
        }
  });
}

}  // namespace
