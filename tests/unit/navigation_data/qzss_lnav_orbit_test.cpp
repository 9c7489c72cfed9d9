// QZSS LNAV ephemerides of a day, sent as subframes through the decoder into the store: the
// orbit code's positions and clocks against IS-QZSS-PNT 5.2.2.2.3 (the IS-GPS-200 Table 20-IV
// algorithm with the GPS constants, F included) evaluated here.
#include <gtest/gtest.h>

#include <cmath>

#include "unit/navigation_data/orbit_formulas.h"
#include "lnav_test_util.h"
#include "navigation_data/orbits/gps_orbit.h"
#include "unit/own_process.h"

using namespace lnavtest;

namespace {

struct Truth {
  double pos[3], clock;
};

Truth isQzss(const ZRT_EPH_GPS& e, double t) {
  const double mu = 3.986005e14, we = 7.2921151467e-5, F = -4.442807633e-10, pi = kGpsPi;
  const double A = e.sqrtA * e.sqrtA;
  double tk = t - e.toe;
  if (tk > 302400) tk -= 604800;
  if (tk < -302400) tk += 604800;
  const double n = std::sqrt(mu / (A * A * A)) + e.deltaN * pi;
  const double M = e.M0 * pi + n * tk;
  double E = M;
  for (int i = 0; i < 50; ++i) E = M + e.e * std::sin(E);
  const double nu = std::atan2(std::sqrt(1 - e.e * e.e) * std::sin(E), std::cos(E) - e.e);
  const double phi = nu + e.omega * pi;
  const double u = phi + e.cus * std::sin(2 * phi) + e.cuc * std::cos(2 * phi);
  const double r = A * (1 - e.e * std::cos(E)) + e.crs * std::sin(2 * phi) + e.crc * std::cos(2 * phi);
  const double i = e.i0 * pi + e.idot * pi * tk + e.cis * std::sin(2 * phi) + e.cic * std::cos(2 * phi);
  const double Om = e.Omega0 * pi + (e.OmegaDot * pi - we) * tk - we * e.toe;
  const double x = r * std::cos(u), y = r * std::sin(u);
  Truth out;
  out.pos[0] = x * std::cos(Om) - y * std::cos(i) * std::sin(Om);
  out.pos[1] = x * std::sin(Om) + y * std::cos(i) * std::cos(Om);
  out.pos[2] = y * std::sin(i);
  double dt = t - e.toc;
  if (dt > 302400) dt -= 604800;
  if (dt < -302400) dt += 604800;
  out.clock = e.af0 + e.af1 * dt + e.af2 * dt * dt + F * e.e * e.sqrtA * std::sin(E);
  return out;
}

TEST_OWN(GpsLnavVectors, QzssOrbitsFromDecodedEphemerides) {
  const auto recs = readRinexNav(std::string(RX_SHARED_DIR) + "/testdata/nav/BRD400DLR_S_20230710000_01D_MN.rnx.gz", 'J');
  ASSERT_GT(recs.size(), 90u);
  Harness h;
  std::uint32_t tag = 0;
  for (const RinexEph& r : recs) {
    const auto si = static_cast<std::uint8_t>(r.prn - 193);
    const SvIdType sv{si, kSysQzss, 0, si};
    const auto sf = encodeLnav(r);
    for (int pass = 0; pass < 2; ++pass)
      for (const Words& w : sf) h.feed(sv, w, 45.0f, 0, tag += 6000);
    const ZRT_EPH_GPS* e = h.eph(sv, r.v[kToe]);
    ASSERT_NE(e, nullptr);
    for (double dt : {-7200.0, 0.0, 7200.0}) {
      const double t = std::fmod(e->toe + dt + 604800.0, 604800.0);
      double pos[3], vel[3], rel = 0;
      ASSERT_TRUE(compute_SatPositionByEphemeris(t, kSysQzss, *e, pos, vel, &rel));
      const Truth want = isQzss(*e, t);
      for (int k = 0; k < 3; ++k) EXPECT_NEAR(pos[k], want.pos[k], 1e-3) << "J" << r.prn << " t " << t;
      EXPECT_NEAR(compute_SatClockByEphemeris(t, kSysQzss, *e) + rel, want.clock, 1e-12) << "J" << r.prn << " t " << t;
    }
  }
}

}  // namespace

// A QZSS almanac as decoded (its eccentricity 0.06 plus the value sent) puts the satellite
// where the same satellite's ephemeris does, to the almanac's accuracy, two days from toa.
TEST_OWN(GpsLnavVectors, QzssAlmanacAgreesWithEphemeris) {
  Harness h;
  const SvIdType sv = h.vec.at("ephLNAVQZSSSF1").sv;
  for (const char* n : {"ephLNAVQZSSSF1", "ephLNAVQZSSSF2", "ephLNAVQZSSSF3", "almLNAVQZSS1"}) h.feed(sv, h.vec.at(n).w);
  const ZRT_ALM_GPS* a = h.alm(kSysQzss, 0);
  const ZRT_EPH_GPS* e = h.eph(sv, 522000);
  ASSERT_NE(a, nullptr);
  ASSERT_NE(e, nullptr);
  for (double dt : {-3600.0, 0.0, 3600.0}) {
    const double t = e->toe + dt;
    const double sinceToa = (e->week - a->week) * 604800.0 + t - a->toa;
    double pe[3], ve[3], rel, pa[3], clock, drift;
    float va[3];
    ASSERT_TRUE(compute_SatPositionByEphemeris(t, kSysQzss, *e, pe, ve, &rel));
    ASSERT_TRUE(compute_SatPosByGPSAlmData(sinceToa, kSysQzss, *a, pa, va, &clock, &drift));
    EXPECT_LT(std::hypot(pa[0] - pe[0], pa[1] - pe[1], pa[2] - pe[2]), 20e3) << dt;
  }
}
