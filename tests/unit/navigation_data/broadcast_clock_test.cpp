// Broadcast satellite clocks whose reference time differs from the orbit's, through the store
// to the published polynomial, against the clock formulas of the interface documents:
//   GPS (IS-GPS-200 20.3.3.3.3.1), QZSS (IS-QZSS-PNT 5.1.2.1.2), Galileo (OS SIS ICD 5.1.4),
//   BeiDou (B1I ICD 5.2.4.10), NavIC (SPS ICD 6.2.1.2):
//     dt_sv = af0 + af1 (t - toc) + af2 (t - toc)^2,
//   with t - toc the whole time between them, across the end of a week;
//   GLONASS (ICD 3.3.3 and A.3.1.2): the satellite clock runs -tau_n + gamma_n (t - tb) ahead of
//   GLONASS time, with t - tb within the day.
// The relativistic term is left out on both sides. Broadcast data in the test files always has
// toc = toe, which would hide a clock referred to the orbit's time.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <string>

#include "navigation_data/orbits/beidou_eph.h"
#include "navigation_data/orbits/galileo_eph.h"
#include "navigation_data/orbits/glonass_eph.h"
#include "navigation_data/orbits/navic_eph.h"
#include "navigation_data/orbits/sat_polynom.h"
#include "navigation_data/store/sat_data_store.h"
#include "unit/navigation_data/blank_image.h"

namespace {

// Each test's stores start from a blank settings image: no record a test before kept there comes
// back in place of the row's own.
struct BroadcastClock : ::testing::Test {
  void SetUp() override { navtest::blankImage(); }
};

constexpr double kWeek = 604800;

// The clock of the satellite's published polynomial at t (s of the system's cycle): offset and
// rate as the per-epoch users read them. False when none is published.
bool publishedClock(SvIdType sv, double t, double* clock) {
  std::uint8_t status = 255;
  std::uint16_t iod = kPolyNoIod;
  int dataType = -1;
  float acc = 0;
  double dt = 0;
  const SatData::PolynomEntryType* e =
      SatPolynomStoreInstance.get_PolynomData(sv, t, false, false, &status, &iod, &dataType, &acc, &dt);
  if (e == nullptr) return false;
  *clock = e->clkOffset + static_cast<double>(e->clkDrift) * dt;
  SatPolynomStoreInstance.free_PolynomData();
  return true;
}

// A store holding one record of `sv`, stepped at t of the system's cycle.
std::unique_ptr<SatelliteDataProcessor> storeWith(SvIdType sv, int dataType, const void* rec, double t) {
  SatPolynomStoreInstance.Init();
  SatDataEpoch ep;
  ep.time.valid = true;
  ep.time.sec[sv.sys] = t;
  ep.monoSec = 1000;
  // No almanac to wait for, no accuracy limit: the clock alone decides what is read.
  ep.setup.satMasks[kMaskAlmanacWait][sv.sys] = 0;
  ep.setup.satMasks[kMaskUraCheck][sv.sys] = 0;
  auto s = std::make_unique<SatelliteDataProcessor>();
  s->update(ep);
  EXPECT_TRUE(s->update_EphemerisData(sv, dataType, rec, 77, true, false, false));
  s->update(ep);
  return s;
}

// The clock terms and their times: toc is tocWeeks weeks after (negative: before) the week of
// toe and t.
struct ClockRow {
  const char* name;
  std::int32_t toe, toc;
  int tocWeeks;
  double t;
};
constexpr ClockRow kRows[] = {
    {"toc two hours before toe", 345600, 338400, 0, 346600},
    {"toc one hour after toe, t before toe", 345600, 349200, 0, 344000},
    {"toc in the week before", 600, 603600, -1, 1500},
    {"toc in the week after, t at its end", 603600, 900, 1, 603000},
};
constexpr double kAf0 = 1.25e-4, kAf1 = -3.5e-11, kAf2 = 2.5e-17;

// One store per row and system: the published clock at t and 40 s on (its rate) against the
// formula. A clock referred to toe is off by af1 x (toc - toe), tens of metres here.
template <class Record>
void checkRows(std::uint8_t sys, std::uint8_t si, int dataType, Record base, const char* system) {
  for (const ClockRow& r : kRows) {
    Record rec = base;
    rec.toe = static_cast<std::uint32_t>(r.toe);
    rec.toc = r.toc;
    rec.tow = static_cast<std::uint32_t>(r.t);
    rec.af0 = kAf0, rec.af1 = static_cast<float>(kAf1), rec.af2 = static_cast<float>(kAf2);
    const SvIdType sv{si, sys, 0, si};
    auto s = storeWith(sv, dataType, &rec, r.t);
    // The float terms as stored, so that the check is of the formula, not of the rounding.
    const double af1 = rec.af1, af2 = rec.af2;
    for (double after : {0.0, 40.0}) {
      double got = 0;
      ASSERT_TRUE(publishedClock(sv, r.t + after, &got)) << system << ": " << r.name;
      const double dt = r.t + after - (r.toc + r.tocWeeks * kWeek);
      const double want = rec.af0 + af1 * dt + af2 * dt * dt;
      EXPECT_NEAR(got, want, 1e-12) << system << ": " << r.name << ", " << after << " s on";
    }
  }
}

TEST_F(BroadcastClock, GpsLnavAndCnav) {
  ZRT_EPH_GPS e{};
  e.prn = 7, e.week = 2200, e.iodc = 33, e.sqrtA = 5153.6, e.i0 = 0.3, e.e = 0.01, e.ura = 0;
  checkRows(kSysGps, 6, 0, e, "GPS LNAV");
  e.flags = kEphFlagCnavParams;
  checkRows(kSysGps, 6, 1, e, "GPS CNAV");
}

TEST_F(BroadcastClock, Qzss) {
  ZRT_EPH_QZS e{};
  e.prn = 194, e.week = 2200, e.iodc = 33, e.sqrtA = 6493.4, e.i0 = 0.25, e.e = 0.075;
  checkRows(kSysQzss, 1, 0, e, "QZSS");
}

TEST_F(BroadcastClock, Galileo) {
  ZRT_EPH_GAL e{};
  e.svid = 11, e.week = 1200, e.iodNav = e.iodNav2 = 40, e.sqrtA = kGalNominalSqrtA, e.i0 = kGalInclination;
  e.e = 0.0002, e.sisa = 107;
  checkRows(kSysGalileo, 10, kGalNavE1B, e, "Galileo I/NAV");
  checkRows(kSysGalileo, 10, kGalNavE5a, e, "Galileo F/NAV");
}

TEST_F(BroadcastClock, BeidouD1) {
  ZRT_EPH_CMP e{};
  e.prn = 20, e.week = 850, e.iode = 5, e.sqrtA = 5282.6, e.i0 = kBeidouInclination, e.e = 0.0005;
  checkRows(kSysBeidou, 19, 0, e, "BeiDou");
}

TEST_F(BroadcastClock, Navic) {
  ZRT_EPH_IRS e{};
  e.prn = 5, e.week = 1200, e.iodec = e.iodec2 = 9, e.sqrtA = kNavicSqrtA, e.i0 = kNavicInclination, e.e = 0.002;
  checkRows(kSysNavic, 4, 0, e, "NavIC");
}

// GLONASS: -tau_n + gamma_n (t - tb), t - tb folded into the day (a tb late in the day read
// just after midnight).
TEST_F(BroadcastClock, GlonassTauAndGamma) {
  const struct {
    const char* name;
    std::uint32_t tb;
    double t, sinceTb;
  } rows[] = {
      {"t after tb", 11700, 12900, 1200},
      {"t before tb", 11700, 10400, -1300},
      {"tb before midnight, t after it", 85500, 600, 1500},
  };
  for (const auto& r : rows) {
    ZRT_EPH_GLN e{};
    e.slot = 2, e.freqNum = 1, e.tb = r.tb, e.NT = 100, e.FT = 1;
    e.pos[0] = 7003.008789, e.pos[1] = -12206.626953, e.pos[2] = 21280.765625;
    e.vel[0] = 0.7835417, e.vel[1] = 2.8042530, e.vel[2] = 1.3525150;
    e.tauN = -1.25e-5;
    e.gammaN = 9.0e-12;  // large: 1500 s of it is 4 m
    const SvIdType sv{8, kSysGlonass, 0, 1};
    auto s = storeWith(sv, 0, &e, r.t);
    for (double after : {0.0, 40.0}) {
      double got = 0;
      ASSERT_TRUE(publishedClock(sv, std::fmod(r.t + after, 86400.0), &got)) << r.name;
      EXPECT_NEAR(got, -e.tauN + e.gammaN * (r.sinceTb + after), 1e-13) << r.name << ", " << after << " s on";
    }
  }
}

}  // namespace
