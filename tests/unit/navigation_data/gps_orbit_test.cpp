// The Kepler orbit against an independent evaluation of IS-GPS-200 written here in another form
// (fixed-point Kepler, half-angle true anomaly, numerical velocity), against the IGS precise
// orbit of the same day, and the accuracy tables.
#include "unit/navigation_data/orbit_formulas.h"
#include "navigation_data/orbits/gps_orbit.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>

#include "fixtures/nav_files.h"

namespace {

using navfiles::kPi;

struct Indep {
  double pos[3];
  double clock;  // af0 + af1 dt + af2 dt^2 + relativistic
};

// IS-GPS-200 Table 20-IV evaluated directly; `mu`, `we`, `F` as the system defines them.
Indep independent(const ZRT_EPH_GPS& e, double t, double mu, double we, double F, bool geo = false) {
  double tk = t - e.toe;
  if (tk > 302400) tk -= 604800;
  if (tk < -302400) tk += 604800;
  const double A = e.sqrtA * e.sqrtA;
  const double n = std::sqrt(mu / (A * A * A)) + e.deltaN * kPi;
  const double M = e.M0 * kPi + n * tk;
  double E = M;
  for (int i = 0; i < 200; ++i) {
    const double En = M + e.e * std::sin(E);
    if (std::fabs(En - E) < 1e-15) {
      E = En;
      break;
    }
    E = En;
  }
  const double nu = 2 * std::atan(std::sqrt((1 + e.e) / (1 - e.e)) * std::tan(E / 2));
  const double phi = nu + e.omega * kPi;
  const double u = phi + e.cus * std::sin(2 * phi) + e.cuc * std::cos(2 * phi);
  const double r = A * (1 - e.e * std::cos(E)) + e.crs * std::sin(2 * phi) + e.crc * std::cos(2 * phi);
  const double i = e.i0 * kPi + e.idot * kPi * tk + e.cis * std::sin(2 * phi) + e.cic * std::cos(2 * phi);
  const double Om = geo ? e.Omega0 * kPi + e.OmegaDot * kPi * tk - we * e.toe
                        : e.Omega0 * kPi + (e.OmegaDot * kPi - we) * tk - we * e.toe;
  const double x = r * std::cos(u), y = r * std::sin(u);
  Indep o{};
  double p[3] = {x * std::cos(Om) - y * std::cos(i) * std::sin(Om),
                 x * std::sin(Om) + y * std::cos(i) * std::cos(Om), y * std::sin(i)};
  if (geo) {  // BDS-SIS-ICD: Rz(we tk) Rx(-5 deg) applied as matrices
    const double f = -5.0 * kPi / 180, a = we * tk;
    const double Rx[3][3] = {{1, 0, 0}, {0, std::cos(f), std::sin(f)}, {0, -std::sin(f), std::cos(f)}};
    const double Rz[3][3] = {{std::cos(a), std::sin(a), 0}, {-std::sin(a), std::cos(a), 0}, {0, 0, 1}};
    double q[3] = {}, s[3] = {};
    for (int r1 = 0; r1 < 3; ++r1)
      for (int c = 0; c < 3; ++c) q[r1] += Rx[r1][c] * p[c];
    for (int r1 = 0; r1 < 3; ++r1)
      for (int c = 0; c < 3; ++c) s[r1] += Rz[r1][c] * q[c];
    for (int k = 0; k < 3; ++k) p[k] = s[k];
  }
  for (int k = 0; k < 3; ++k) o.pos[k] = p[k];
  double dt = t - e.toc;
  if (dt > 302400) dt -= 604800;
  if (dt < -302400) dt += 604800;
  o.clock = e.af0 + e.af1 * dt + e.af2 * dt * dt + F * e.e * e.sqrtA * std::sin(E);
  return o;
}

constexpr double kGpsMu = 3.986005e14, kGalMu = 3.986004418e14, kWe = 7.2921151467e-5, kF = -4.442807633e-10;

double dist(const double a[3], const double b[3]) {
  return std::sqrt((a[0] - b[0]) * (a[0] - b[0]) + (a[1] - b[1]) * (a[1] - b[1]) + (a[2] - b[2]) * (a[2] - b[2]));
}

// Every broadcast record of the day, +-2 h about toe every 15 min and across the week's end.
TEST(GpsOrbit, BroadcastFileMatchesIndependentComputation) {
  const auto recs = navfiles::readRinex2Nav(navfiles::testdata("brdc1820.10n"));
  ASSERT_GT(recs.size(), 300u);
  double worstPos = 0, worstClk = 0, worstVel = 0;
  for (const auto& r : recs) {
    for (int k = -8; k <= 8; ++k) {
      const double t = std::fmod(r.eph.toe + 900.0 * k + 604800, 604800);
      double p[3], v[3], rel;
      ASSERT_TRUE(compute_SatPositionByEphemeris(t, kSysGps, r.eph, p, v, &rel));
      const Indep w = independent(r.eph, t, kGpsMu, kWe, kF);
      worstPos = std::max(worstPos, dist(p, w.pos));
      worstClk = std::max(worstClk, std::fabs(compute_SatClockByEphemeris(t, kSysGps, r.eph) + rel - w.clock));
      // Velocity against the central difference of the independent position over 1 s.
      const Indep a = independent(r.eph, t - 0.5, kGpsMu, kWe, kF), b = independent(r.eph, t + 0.5, kGpsMu, kWe, kF);
      for (int j = 0; j < 3; ++j) worstVel = std::max(worstVel, std::fabs(v[j] - (b.pos[j] - a.pos[j])));
    }
  }
  EXPECT_LT(worstPos, 1e-3);
  EXPECT_LT(worstClk, 1e-12);
  EXPECT_LT(worstVel, 1e-5);
}

// The broadcast orbit against the IGS final orbit: metres (antenna phase centre against centre
// of mass). G01 is flagged unhealthy all day but its orbit is good, so health does not choose;
// its pair of records about 06:00 is left out: the one of toc 06:00:00 (IODC 90) carries
// another orbit, tens of thousands of kilometres off, and with it the one of toc 05:59:44.
TEST(GpsOrbit, BroadcastAgreesWithPreciseOrbitToAFewMetres) {
  const auto recs = navfiles::readRinex2Nav(navfiles::testdata("brdc1820.10n"));
  const auto sp3 = navfiles::readSp3(navfiles::testdata("igs15904.sp3"));
  ASSERT_GT(sp3.size(), 2000u);
  const double badToc[] = {navfiles::gpsSow(2010, 7, 1, 5, 59, 44), navfiles::gpsSow(2010, 7, 1, 6, 0, 0)};
  double sum2 = 0, worst = 0;
  int n = 0;
  for (const auto& s : sp3) {
    const navfiles::BrdcRecord* best = nullptr;
    for (const auto& r : recs) {
      if (r.eph.prn != s.prn) continue;
      if (r.eph.prn == 1 && (r.tocSow == badToc[0] || r.tocSow == badToc[1])) continue;
      if (best == nullptr || std::fabs(s.sow - r.eph.toe) < std::fabs(s.sow - best->eph.toe)) best = &r;
    }
    if (best == nullptr || std::fabs(s.sow - best->eph.toe) > 7200) continue;
    double p[3];
    ASSERT_TRUE(compute_SatPositionByEphemeris(s.sow, kSysGps, best->eph, p, nullptr, nullptr));
    const double d = dist(p, s.pos);
    sum2 += d * d, worst = std::max(worst, d), ++n;
  }
  ASSERT_GT(n, 2500);
  const double rms = std::sqrt(sum2 / n);
  EXPECT_LT(rms, 3.0) << "n " << n;
  EXPECT_LT(worst, 10.0);
  std::printf("broadcast against IGS final: RMS %.2f m, worst %.2f m over %d points\n", rms, worst, n);
}

ZRT_EPH_GPS eccentricRecord() {
  ZRT_EPH_GPS e{};
  e.prn = 14;
  e.sqrtA = 5440.6, e.e = 0.162, e.M0 = 0.37, e.Omega0 = -0.61, e.i0 = 0.278, e.omega = 0.12;
  e.deltaN = 1.1e-9f, e.OmegaDot = -1.8e-9f, e.idot = 1e-11f;
  e.crc = 180.f, e.crs = -40.f, e.cuc = -2e-6f, e.cus = 8e-6f, e.cic = 5e-8f, e.cis = -3e-8f;
  e.toe = 3600, e.toc = 3600, e.af0 = 1e-4, e.af1 = 1e-12f;
  return e;
}

// Galileo takes its own mu; QZSS and the others the GPS relativistic constant; an eccentric orbit
// converges fully.
TEST(GpsOrbit, SystemConstantsAndEccentricOrbits) {
  const ZRT_EPH_GPS e = eccentricRecord();
  const struct { const char* what; int sys; double mu, F; } rows[] = {
      {"GPS", kSysGps, kGpsMu, kF},
      {"Galileo mu", kSysGalileo, kGalMu, -4.442807309e-10},
      {"QZSS F", kSysQzss, kGpsMu, kF},
      {"NavIC", kSysNavic, kGpsMu, kF},
      {"BeiDou MEO", kSysBeidou, kGalMu, kF},
  };
  for (const auto& r : rows) {
    for (double dt : {-7200.0, 0.0, 3600.0, 7200.0}) {
      const double t = e.toe + dt;
      double p[3], v[3], rel;
      ASSERT_TRUE(compute_SatPositionByEphemeris(t, r.sys, e, p, v, &rel));
      const double we = r.sys == kSysBeidou ? 7.292115e-5 : kWe;
      const Indep w = independent(e, t, r.mu, we, r.F);
      EXPECT_LT(dist(p, w.pos), 1e-3) << r.what << " dt " << dt;
      EXPECT_NEAR(compute_SatClockByEphemeris(t, r.sys, e) + rel, w.clock, 1e-14) << r.what << " dt " << dt;
    }
  }
  // The wrong mu for Galileo would be off by about a metre after an hour.
  double pg[3], pw[3];
  compute_SatPositionByEphemeris(e.toe + 3600, kSysGalileo, e, pg, nullptr, nullptr);
  const Indep wrong = independent(e, e.toe + 3600, kGpsMu, kWe, kF);
  for (int k = 0; k < 3; ++k) pw[k] = wrong.pos[k];
  EXPECT_GT(dist(pg, pw), 0.3);
  EXPECT_FALSE(compute_SatPositionByEphemeris(0, kSysGlonass, e, pg, nullptr, nullptr));
  EXPECT_FALSE(compute_SatPositionByEphemeris(0, kSysSbas, e, pg, nullptr, nullptr));
}

TEST(GpsOrbit, KeplerConvergesForEveryEccentricity) {
  for (double ecc : {0.0, 0.01, 0.162, 0.5, 0.9}) {
    for (int k = -20; k <= 20; ++k) {
      const double M = k * 0.33;
      const double E = solve_Kepler(M, ecc);
      EXPECT_NEAR(E - ecc * std::sin(E), M, 1e-13) << ecc << " " << M;
    }
  }
}

// PRN 1-5 and 59-63 are GEO satellites with the tilted-frame rotation; the rest are not.
TEST(GpsOrbit, BeidouGeoRotation) {
  ZRT_EPH_GPS e{};
  e.sqrtA = 6493.4, e.e = 0.0004, e.M0 = 0.2, e.Omega0 = 0.9, e.i0 = 0.02, e.omega = -0.3;
  e.OmegaDot = 1e-10f, e.toe = 7200, e.toc = 7200;
  const double bdWe = 7.292115e-5;
  const struct { int sys, prn; bool geo; } rows[] = {{kSysBeidou, 1, true},  {kSysBeidou, 5, true},
                                                    {kSysBeidou, 6, false}, {kSysBeidou, 58, false},
                                                    {kSysBeidou, 59, true}, {kSysGps, 5, false}};
  for (const auto& r : rows) {
    e.prn = static_cast<std::uint8_t>(r.prn);
    for (double dt : {-3600.0, 0.0, 1800.0}) {
      double p[3], v[3], rel;
      ASSERT_TRUE(compute_SatPositionByEphemeris(e.toe + dt, r.sys, e, p, v, &rel));
      const double we = r.sys == kSysBeidou ? bdWe : kWe;
      const double mu = r.sys == kSysBeidou ? kGalMu : kGpsMu;
      const Indep w = independent(e, e.toe + dt, mu, we, kF, r.geo);
      EXPECT_LT(dist(p, w.pos), 1e-3) << r.sys << " PRN " << r.prn << " dt " << dt;
      // The velocity of the rotated frame too.
      const Indep a = independent(e, e.toe + dt - 0.5, mu, we, kF, r.geo);
      const Indep b = independent(e, e.toe + dt + 0.5, mu, we, kF, r.geo);
      for (int j = 0; j < 3; ++j) EXPECT_NEAR(v[j], b.pos[j] - a.pos[j], 1e-5) << r.prn;
    }
  }
}

// The almanac orbit of a broadcast record turned into an almanac agrees with the ephemeris to
// the kilometres an almanac promises.
TEST(GpsOrbit, AlmanacOrbitFollowsTheEphemeris) {
  const auto recs = navfiles::readRinex2Nav(navfiles::testdata("brdc1820.10n"));
  for (std::size_t i = 0; i < recs.size(); i += 37) {
    const ZRT_EPH_GPS& e = recs[i].eph;
    ZRT_ALM_GPS a{};
    a.prn = e.prn, a.toa = static_cast<std::int32_t>(e.toe), a.sqrtA = static_cast<float>(e.sqrtA);
    a.e = static_cast<float>(e.e), a.M0 = static_cast<float>(e.M0), a.Omega0 = static_cast<float>(e.Omega0);
    a.omega = static_cast<float>(e.omega), a.deltaI = static_cast<float>(e.i0 - 0.3), a.OmegaDot = e.OmegaDot;
    a.af0 = 0, a.af1 = 0;
    for (double dt : {0.0, 3600.0}) {
      double pa[3], pe[3], clk, drift;
      float va[3];
      ASSERT_TRUE(compute_SatPosByGPSAlmData(dt, kSysGps, a, pa, va, &clk, &drift));
      compute_SatPositionByEphemeris(e.toe + dt, kSysGps, e, pe, nullptr, nullptr);
      EXPECT_LT(dist(pa, pe), 5000.0) << int(e.prn) << " dt " << dt;
    }
  }
}

TEST(GpsOrbit, UraTables) {
  const struct { int index; double lnav, cnav; } rows[] = {
      {-128, 20000, 20000}, {-17, 20000, 20000}, {-16, 20000, 20000}, {-15, 20000, 0.01},
      {-1, 20000, 1.43},    {0, 2.0, 2.02},      {6, 16.0, 18.1},     {14, 4096, 4344.46},
      {15, 20000, 8600},    {16, 0, 0},          {127, 0, 0},
  };
  for (const auto& r : rows) {
    EXPECT_EQ(get_GpsNavUraAccuracy(r.index), r.lnav) << r.index;
    EXPECT_EQ(get_GpsCNavEphemerisAccuracy(r.index), r.cnav) << r.index;
  }
  ZRT_EPH_GPS e{};
  e.ura = -3;
  EXPECT_EQ(get_EphemerisAccuracy(e, 0), 20000.0);
  e.ura = 2;
  EXPECT_EQ(get_EphemerisAccuracy(e, 0), 4.0);
  EXPECT_EQ(dTableGpsNavURA[0], 2.4);
  EXPECT_EQ(dTableGpsNavURA[14], 6144.0);
}

// NED grows linearly to 93600 s after top, quadratically beyond; top in the week before t folds.
TEST(GpsOrbit, CnavNedGrowth) {
  const double ned0 = 0.508;  // index -4
  // IS-GPS-200 30.3.3.2.4: N = 14 + URA_NED1 index (m/s), N = 28 + URA_NED2 index (m/s^2).
  const double k1 = 1.0 / 131072.0, k2 = 1.0 / 1073741824.0;  // 2^-17, 2^-30
  const struct { double top, t, want; } rows[] = {
      {1000, 1000, ned0},
      {1000, 500, ned0},  // before top: no growth
      {0, 93600, ned0 + k1 * 93600},
      {0, 93601, ned0 + k1 * 93601 + k2 * 1},
      {0, 97200, ned0 + k1 * 97200 + k2 * 3600.0 * 3600.0},
      {604500, 300, ned0 + k1 * 600},  // across the week rollover
      {0, 93600 + 86400, ned0 + k1 * 180000 + k2 * 86400.0 * 86400.0},  // a day past the linear span: ~8 m
  };
  for (const auto& r : rows) {
    EXPECT_NEAR(get_GpsCNavNedAccuracy(-4, 3, 2, r.t - r.top), r.want, 1e-9) << r.top << " " << r.t;
    ZRT_EPH_GPS e{};
    e.flags = kEphFlagCnavParams, e.uraEd = -4, e.uraNed0 = -4, e.uraNed1 = 3, e.uraNed2 = 2;
    e.top = static_cast<std::uint32_t>(r.top);
    EXPECT_NEAR(get_EphemerisAccuracy(e, r.t), std::sqrt(ned0 * ned0 + r.want * r.want), 1e-9);
  }
}

}  // namespace
