// The reference clock of the running receiver: orbits of real broadcast ephemerides (2010 day
// 182) published as polynomials and read through the measurement processor at each signal's
// transmission time; measurements generated from the direct Kepler orbit at the transmission
// time found by iteration, with the Earth's rotation during the flight. The satellite clock
// enters the transmission time as IS-GPS-200 20.3.3.3.3.1 has it (t = t_sv - dt_sv).
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <vector>

#include "unit/navigation_data/orbit_formulas.h"
#include "fixtures/base_station_model.h"
#include "positioning/base/base_processing.h"
#include "navigation_data/orbits/gps_orbit.h"
#include "navigation_data/orbits/sat_polynom.h"
#include "fixtures/nav_files.h"

namespace {

using namespace basemodel;

struct Visible {
  ZRT_EPH_GPS eph;
  double el, az;
};

// The range and clock of a satellite for a signal received at T (GPS s of week) at r: the
// transmission time solves t = T - rho(t)/c, rho measured in the frame of reception.
void signalTruth(const ZRT_EPH_GPS& eph, double T, const double r[3], double& rho, double& satClock) {
  double t = T - 0.075;
  for (int it = 0; it < 8; ++it) {
    double p[3], v[3], rel = 0.0;
    compute_SatPositionByEphemeris(t, kSysGps, eph, p, v, &rel);
    const double th = kOmega * (T - t);
    const double x = std::cos(th) * p[0] + std::sin(th) * p[1];
    const double y = -std::sin(th) * p[0] + std::cos(th) * p[1];
    rho = std::sqrt((x - r[0]) * (x - r[0]) + (y - r[1]) * (y - r[1]) + (p[2] - r[2]) * (p[2] - r[2]));
    satClock = compute_SatClockByEphemeris(t, kSysGps, eph) + rel;
    t = T - rho / kC;
  }
}

TEST(RefClockOrbits, BroadcastOrbitsThroughTheMeasurementProcessorGiveTheClock) {
  const auto recs = navfiles::readRinex2Nav(navfiles::testdata("brdc1820.10n"));
  ASSERT_GE(recs.size(), 100u);
  double station[3];
  geodeticToEcef(51.0, 0.0, 100.0, station);
  // The first ephemeris of each healthy satellite with the first record's time of ephemeris.
  const double toe = recs[0].eph.toe;
  const double T0 = toe + 20.0;
  std::map<int, Visible> sky;
  const double lat = 51.0 * kPi / 180.0, lon = 0.0;
  const double up[3] = {std::cos(lat) * std::cos(lon), std::cos(lat) * std::sin(lon), std::sin(lat)};
  for (const auto& r : recs) {
    if (r.eph.toe != toe || r.eph.health != 0 || sky.count(r.eph.prn)) continue;
    double p[3], v[3], rel;
    compute_SatPositionByEphemeris(T0, kSysGps, r.eph, p, v, &rel);
    const double d[3] = {p[0] - station[0], p[1] - station[1], p[2] - station[2]};
    const double n = std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
    const double el = std::asin((d[0] * up[0] + d[1] * up[1] + d[2] * up[2]) / n) * 180.0 / kPi;
    if (el > 5.0) sky[r.eph.prn] = Visible{r.eph, el, 10.0 * sky.size() + 1.0};
  }
  ASSERT_GE(sky.size(), 6u);

  // Polynomials published from the records, as the satellite data store does; no other
  // satellite's polynomial or correction record.
  SatPolynomStoreInstance.Init();
  PVTDataInstance.satCorrection.Init();
  for (const auto& [prn, s] : sky) {
    PolyNodeRing ring;
    bool computed = false;
    SatData::PolynomSetType set{};
    ASSERT_TRUE(update_SatellitePolynom(kSysGps, s.eph, toe, ring, computed, set.entry[0]));
    set.entry[0].iod = s.eph.iode;
    set.entry[0].dataType = 0;
    set.entry[1].iod = kPolyNoIod;
    update_SatelliteTgd(s.eph, 0, set.tgd);
    const SvIdType sv{static_cast<std::uint8_t>(prn - 1), kSysGps, 0, static_cast<std::uint8_t>(prn - 1)};
    ASSERT_TRUE(SatPolynomStoreInstance.Put(sv, &set));
  }
  PosSetup::SatProcessorSetupType setup;
  PosSetup::setDefaults(setup);
  PVTDataInstance.satProcessorSetup.Put(&setup);

  Station st({});
  const double clock0 = 1e-4 * kC, drift = 0.3;
  // The program's processor as built, on the program's links: no solution of a test before.
  RefClockProcessor proc(&PVTDataInstance, RefClockProcessorInstance.links());
  proc.input_RefPosition(true, station, true, station);
  for (int n = 1; n <= 3; ++n) {
    const double T = T0 + (n - 1);
    PVTEngineEpochDataType& e = st.epoch(n);
    e.rcvTime.gps.ulMs = static_cast<std::uint32_t>(std::llround(T * 1000.0));
    const double clock = clock0 + drift * (n - 1);
    int k = 0;
    for (const auto& [prn, s] : sky) {
      ChanData::mapSlot(k, 0, k * kCdatSlots);
      ChanSatDataType& rec = sats().chan[k];
      rec = ChanSatDataType{};
      rec.sv = SvIdType{static_cast<std::uint8_t>(prn - 1), kSysGps, 0, static_cast<std::uint8_t>(prn - 1)};
      rec.fElevation = static_cast<float>(s.el);
      rec.fAzimuth = static_cast<float>(s.az);
      rec.fVariance = 1.0f;
      double rho = 0.0, satClock = 0.0, rhoA = 0.0, clkA = 0.0, rhoB = 0.0, clkB = 0.0;
      signalTruth(s.eph, T, station, rho, satClock);
      signalTruth(s.eph, T - 0.5, station, rhoA, clkA);
      signalTruth(s.eph, T + 0.5, station, rhoB, clkB);
      ChanSigData& sig = Sdat[k * kCdatSlots];
      sig = ChanSigData{};
      sig.flags = ChanSigData::kValid;
      sig.cn0 = 45.0f;
      sig.smCnt = ChanData::xMaxSmCnt;
      sig.freq = 1575.42e6;
      sig.code = rho / kC + clock / kC - satClock;
      sig.doppler = ((rhoB - rhoA) + drift - (clkB - clkA) * kC) * sig.freq / kC;
      sig.tgd = 0.0f;
      ++k;
    }
    const int solved = proc.update();
    ASSERT_EQ(solved, 1) << "epoch " << n;
    int j = 0;
    for (const auto& [prn, s] : sky) {
      const ChanSatDataType& rec = sats().chan[j++];
      EXPECT_EQ(rec.uIod, s.eph.iode) << "PRN " << prn;
      // The satellite clock's rate, relativistic part included.
      double rho = 0.0, clkA = 0.0, clkB = 0.0;
      signalTruth(s.eph, T - 0.5, station, rho, clkA);
      signalTruth(s.eph, T + 0.5, station, rho, clkB);
      EXPECT_NEAR(satClockDrift(rec), clkB - clkA, 3e-14) << "PRN " << prn;
    }
    const PosData::ClockDataType& c = proc.clockData();
    // The first epoch knows no receiver clock yet: its transmission times are 0.1 ms early,
    // a few decimetres of satellite motion. From the second on, the clock is taken out (and
    // the satellite's clock, up to half a millisecond here, in every epoch).
    if (n == 1) EXPECT_NEAR(c.dOffset, clock, 2.0);
    else EXPECT_NEAR(c.dOffset, clock, 1e-3) << "epoch " << n;
    if (n < 3) continue;
    // The code corrections of this station at its own position vanish; their rates to the
    // first order of the model (the satellite's motion along the line of sight), which leaves
    // out the range rate's change over the flight time (rate^2 / c, up to 2 mm/s).
    BaseSettings bs;
    buildDifData(true, station, true, station, e, c, DifDat, Cdat, bs, proc.links(), true);
    ASSERT_EQ(DifDat.uSatCount, sky.size());
    for (int i = 0; i < DifDat.uSatCount; ++i) {
      EXPECT_NEAR(DifDat.sat[i].sig[0].fPrc, 0.0, 1e-3) << "PRN " << int(DifDat.sat[i].uNumber);
      EXPECT_NEAR(DifDat.sat[i].sig[0].fRrc, 0.0, 5e-3) << "PRN " << int(DifDat.sat[i].uNumber);
    }
  }
}

}  // namespace
