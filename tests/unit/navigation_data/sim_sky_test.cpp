// The board simulator's synthetic constellation (its own orbit and clock code) against the
// receiver's orbit code over the same broadcast file: what the e2e tests take as the truth of a
// base's measurements is right. (Its records are read back in the raw decoder's tests.)
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "unit/navigation_data/orbit_formulas.h"
#include "../../../tools/gnss_board_sim/sim_sky.h"
#include "navigation_data/orbits/gps_orbit.h"
#include "navigation_data/sv_id.h"
#include "fixtures/nav_files.h"

namespace {

constexpr double kC = 299792458.0;
constexpr double kWe = 7.2921151467e-5;

// The receiver's record of the simulator's one (same PRN and time of ephemeris).
const ZRT_EPH_GPS* productRecord(const std::vector<navfiles::BrdcRecord>& recs, const sim::LnavEph& r) {
  for (const auto& x : recs)
    if (x.eph.prn == r.prn && std::fabs(x.eph.toe - r.toe) < 0.5 && std::fabs(x.tocSow - r.toc) < 0.5) return &x.eph;
  return nullptr;
}

struct Fixture {
  std::vector<navfiles::BrdcRecord> recs = navfiles::readRinex2Nav(navfiles::testdata("brdc1820.10n"));
  sim::LnavBroadcast nav;
  Fixture() { nav.load(navfiles::testdata("brdc1820.10n")); }
};

// 2010-07-01 (day 182), GPS week 1590; seconds of week of the day's hours.
constexpr double kDay = 4 * 86400.0;
constexpr std::int64_t kWeekStart = 1590LL * 604800;

TEST(SimSky, OrbitAndClockAgreeWithTheReceiversOrbitCode) {
  Fixture f;
  ASSERT_FALSE(f.nav.empty());
  struct Row {
    double sow;
  };
  const Row rows[] = {{kDay + 2 * 3600.0}, {kDay + 9 * 3600.0 + 17.5}, {kDay + 16 * 3600.0 + 1234.0}, {kDay + 23 * 3600.0}};
  int compared = 0;
  for (const Row& row : rows) {
    for (const sim::LnavEph* r : f.nav.current(kWeekStart + static_cast<std::int64_t>(row.sow))) {
      const ZRT_EPH_GPS* e = productRecord(f.recs, *r);
      ASSERT_NE(e, nullptr) << r->prn;
      double p[3], v[3], rel = 0, q[3];
      ASSERT_TRUE(compute_SatPositionByEphemeris(row.sow, kSysGps, *e, p, v, &rel));
      sim::lnavOrbit(*r, row.sow, q);
      for (int k = 0; k < 3; ++k) EXPECT_NEAR(q[k], p[k], 1e-3) << "G" << r->prn << " axis " << k << " at " << row.sow;
      EXPECT_NEAR(sim::lnavClock(*r, row.sow), compute_SatClockByEphemeris(row.sow, kSysGps, *e) + rel, 1e-12)
          << "G" << r->prn;
      ++compared;
    }
  }
  EXPECT_GE(compared, 4 * 28);
}

// The sky's pseudoranges, phases and Dopplers as this test computes them from the receiver's
// orbit code: light time iterated, the Earth turned during it, the satellite clock with its
// relativistic term, the group delay on L1 and, scaled by (f1/f2)^2, on L2.
TEST(SimSky, MeasurementsFollowTheModelOverTheReceiversOrbits) {
  Fixture f;
  sim::Site site;  // 50 N, 10 E, 300 m
  double s[3];
  site.ecef(s);
  sim::Sky sky(f.nav, site);
  const auto code = [&](const ZRT_EPH_GPS& e, double t, double freq) {
    double tau = 0.07, range = 0;
    for (int it = 0; it < 8; ++it) {
      double p[3], v[3], rel = 0;
      compute_SatPositionByEphemeris(t - tau, kSysGps, e, p, v, &rel);
      const double w = kWe * tau;
      const double x = p[0] * std::cos(w) + p[1] * std::sin(w), y = -p[0] * std::sin(w) + p[1] * std::cos(w);
      range = std::hypot(x - s[0], y - s[1], p[2] - s[2]);
      tau = range / kC;
    }
    double p[3], v[3], rel = 0;
    compute_SatPositionByEphemeris(t - tau, kSysGps, e, p, v, &rel);
    const double clock = compute_SatClockByEphemeris(t - tau, kSysGps, e) + rel;
    return range - kC * (clock - std::pow(1575.42e6 / freq, 2) * e.tgd);
  };
  int signals = 0;
  std::map<int, int> channelOf;
  for (double sow : {kDay + 6 * 3600.0, kDay + 6 * 3600.0 + 1, kDay + 6 * 3600.0 + 2, kDay + 14 * 3600.0}) {
    const auto sats = sky.at(kWeekStart + static_cast<std::int64_t>(sow), 0);
    ASSERT_GE(sats.size(), 6u) << sow;
    for (const sim::SkySat& sat : sats) {
      EXPECT_GE(sat.elevation, 10.0 * M_PI / 180 - 1e-12);
      const sim::LnavEph* r = nullptr;
      for (const sim::LnavEph* c : f.nav.current(kWeekStart + static_cast<std::int64_t>(sow)))
        if (c->prn == sat.prn) r = c;
      ASSERT_NE(r, nullptr);
      const ZRT_EPH_GPS* e = productRecord(f.recs, *r);
      ASSERT_NE(e, nullptr);
      // A satellite keeps its channel while it stays up.
      if (sow < kDay + 7 * 3600.0) {
        if (channelOf.contains(sat.prn)) {
          EXPECT_EQ(channelOf[sat.prn], sat.channel) << sat.prn;
        }
        channelOf[sat.prn] = sat.channel;
      }
      ASSERT_EQ(sat.sig.size(), 2u);
      for (const sim::SkySignal& g : sat.sig) {
        const double lambda = kC / g.freq;
        const std::string what = "G" + std::to_string(sat.prn) + " slot " + std::to_string(g.slot);
        EXPECT_NEAR(g.code, code(*e, sow, g.freq), 1e-3) << what;
        EXPECT_NEAR(g.phase * lambda, g.code, 1e-6) << what << ": no ionosphere, ambiguity 0";
        // The board's Doppler has the sign of the range rate: the receiver takes wavelength x
        // Doppler as the range rate (its reference-clock drift and base range rates).
        const double rate = (code(*e, sow + 0.5, g.freq) - code(*e, sow - 0.5, g.freq));
        EXPECT_NEAR(g.doppler, rate / lambda, 1e-3) << what;
        EXPECT_NEAR(g.cn0, 30 + 20 * std::sin(sat.elevation), 1e-9) << what;
        ++signals;
      }
    }
  }
  EXPECT_GE(signals, 4 * 12);
}

}  // namespace
