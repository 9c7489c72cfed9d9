// The board simulator's almanacs through the program's road: a RINEX 4 day broadcast for 13
// minutes over a site that sees every system (GLONASS strings 6-15, GPS and QZSS LNAV subframes
// 4 and 5, Galileo I/NAV words 7-10, BeiDou D1 subframes 4 and 5, NavIC message 7), decoded by
// the program's decoders into its satellite data store. Each stored almanac, evaluated here with
// the interface documents' almanac algorithms, lies within an almanac's precision of the
// satellite's position from its ephemeris; GLONASS almanacs link each frequency number to its
// orbital slot, after which the GLONASS polynomials pass the store's almanac check.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "../../../tools/gnss_board_sim/sim_broadcast.h"
#include "navigation_data/decoders/glonass_nav_decoder.h"
#include "navigation_data/orbits/sat_polynom.h"
#include "navigation_data/store/nav_records.h"
#include "navigation_data/store/sat_data_store.h"
#include "positioning/engine/pvt_engine.h"
#include "unit/positioning/sim_road_util.h"
#include "unit/own_process.h"

namespace {

using namespace simroad;

constexpr double kPi = 3.1415926535898;  // the ICDs' value for semicircles

// ---- the interface documents' almanac algorithms, written here ------------------------------

// IS-GPS-200 Table 20-VI, and its siblings (Galileo OS SIS ICD 5.1.10, BDS-SIS-ICD-B1I 5.2.4.15,
// IRNSS SPS ICD 6.2.2.3, IS-QZSS-PNT 4.1.2.7): a Kepler orbit without corrections, angles
// broadcast in semicircles, inclination `iRef` + delta i.
struct Kep {
  double toa, sqrtA, e, m0, omega0, omega, di, omegaDot;
};
void keplerAlmanacPosition(const Kep& a, double iRef, double mu, double we, double t, double out[3]) {
  double tk = t - a.toa;
  if (tk > 302400) tk -= 604800;
  if (tk < -302400) tk += 604800;
  const double A = a.sqrtA * a.sqrtA;
  const double m = a.m0 * kPi + std::sqrt(mu / (A * A * A)) * tk;
  double ea = m;
  for (int i = 0; i < 50; ++i) ea = m + a.e * std::sin(ea);
  const double nu = std::atan2(std::sqrt(1 - a.e * a.e) * std::sin(ea), std::cos(ea) - a.e);
  const double u = nu + a.omega * kPi, r = A * (1 - a.e * std::cos(ea));
  const double inc = (iRef + a.di) * kPi;
  const double om = a.omega0 * kPi + (a.omegaDot * kPi - we) * tk - we * a.toa;
  const double x = r * std::cos(u), y = r * std::sin(u);
  out[0] = x * std::cos(om) - y * std::cos(inc) * std::sin(om);
  out[1] = x * std::sin(om) + y * std::cos(inc) * std::cos(om);
  out[2] = y * std::sin(inc);
}

// GLONASS ICD 5.1 Appendix A.3.1.3 without its periodic terms: the draconic period of the orbit
// number W since the node, the semi-major axis from it with the J2 correction to the osculating
// period, the secular motion of node and perigee, then Kepler. `dtNode`: s since the almanac's node
// passage tLambda of day NA.
void glonassAlmanacPosition(const ZRT_ALM_GLN& a, double dtNode, double out[3]) {
  constexpr double kMu = 398600.4418e9, kAe = 6378136.0, kJ2 = 1082625.75e-9, kWz = 7.2921151467e-5;
  constexpr double kTdr = 43200.0, kImean = 63.0 / 180.0;
  const double e = a.ecc, w0 = a.omega * kPi, inc = (kImean + a.dI) * kPi;
  const double W = std::floor(dtNode / (kTdr + a.dT));
  const double tdr = kTdr + a.dT + (2 * W + 1) * a.dTdot;
  const double n = 2 * kPi / tdr;
  double am = std::cbrt(kMu * (tdr / (2 * kPi)) * (tdr / (2 * kPi))), p = am * (1 - e * e);
  for (int it = 0; it < 20; ++it) {
    p = am * (1 - e * e);
    const double s2 = std::sin(inc) * std::sin(inc), c = 1 + e * std::cos(w0);
    const double tosc =
        tdr / (1 - 1.5 * kJ2 * (kAe / p) * (kAe / p) *
                       ((2 - 2.5 * s2) * std::pow(1 - e * e, 1.5) / (c * c) + c * c * c / (1 - e * e)));
    const double next = std::cbrt(kMu * (tosc / (2 * kPi)) * (tosc / (2 * kPi)));
    const bool done = std::fabs(next - am) < 0.01;
    am = next;
    if (done) break;
  }
  p = am * (1 - e * e);
  const double k = (kAe / p) * (kAe / p);
  const double lambda = a.lambda * kPi + (-1.5 * kJ2 * n * k * std::cos(inc) - kWz) * dtNode;
  const double w = w0 + 0.75 * kJ2 * n * k * (5 * std::cos(inc) * std::cos(inc) - 1) * dtNode;
  const double e0 = -2 * std::atan(std::sqrt((1 - e) / (1 + e)) * std::tan(w / 2));
  const double l1 = w + e0 - e * std::sin(e0);
  const double l2 = l1 + n * (dtNode - (kTdr + a.dT) * W - a.dTdot * W * W);
  const double m = l2 - w;
  double ea = m;
  for (int i = 0; i < 50; ++i) ea = m + e * std::sin(ea);
  const double u = 2 * std::atan(std::sqrt((1 + e) / (1 - e)) * std::tan(ea / 2)) + w;
  const double r = am * (1 - e * std::cos(ea));
  out[0] = r * (std::cos(lambda) * std::cos(u) - std::sin(lambda) * std::sin(u) * std::cos(inc));
  out[1] = r * (std::sin(lambda) * std::cos(u) + std::cos(lambda) * std::sin(u) * std::cos(inc));
  out[2] = r * std::sin(u) * std::sin(inc);
}

double distance(const double a[3], const double b[3]) { return std::hypot(a[0] - b[0], a[1] - b[1], a[2] - b[2]); }

// The GPS LNAV broadcast as the simulator's board hands it on (its program does it the same way).
std::string gpsLnav(const sim::LnavBroadcast& nav, std::int64_t gps, std::uint32_t t, const sim::Site& site) {
  if (gps % 6 != 0) return {};
  const std::int64_t start = gps - 6;
  const int id = static_cast<int>((start / 6) % 5) + 1;
  const auto tow = static_cast<std::uint32_t>((gps % 604800) / 6);
  std::string out;
  for (const sim::LnavEph* r : nav.visible(start - start % 30, site)) {
    const sim::Subframe s = id <= 3 ? sim::lnavSubframe(*r, id, tow) : nav.almanacSubframe(start, id, tow);
    std::uint32_t w[10];
    s.words(w);
    out += sim::gdMessage(r->prn, t, w, 10);
  }
  return out;
}

TEST_OWN(SimAlmanacRoad, EverySystemsAlmanacAgreesWithItsEphemeris) {
  sim::LnavBroadcast gps;
  sim::MultiBroadcast multi;
  ASSERT_TRUE(multi.load(kFile, gps));
  PVTEngineInstance.init_Object(&PVTDataInstance, &SatDataProcessorInstance);
  navDecoderLinks.b2bSource = [] { return 3; };
  navDecoderLinks.gpsPrnEntry = [](int k) { return k + 1; };
  const sim::Site site{22.3, 114.2, 50};
  const std::int64_t first = sim::civilSeconds(2023, 3, 12, 10, 0, 18);
  {
    SatDataEpoch clear;
    clear.time = satDataTimeFrom(scalesAt(first * 1000));
    clear.clearAllEph = true;
    clear.clearAllAlm = true;
    SatDataProcessorInstance.update(clear);
  }
  // 13 minutes: an ephemeris, then the 12.5-min cycle of LNAV pages and the 12-min ones of Galileo
  // and BeiDou (GLONASS needs 2.5 min, NavIC its seven satellites 3.5 min).
  Heard heard;
  const std::int64_t last = first + 13 * 60 + 30;
  for (std::int64_t g = first; g < last; ++g) {
    epoch(g * 1000);
    const auto t = static_cast<std::uint32_t>((g % 86400) * 1000);
    intoRings(gpsLnav(gps, g, t, site) + multi.epoch(g, t, site), heard);
    PVTEngineInstance.update_RawNavDataFromBoardDec();
    if (g % 10 == 0) {
      SatDataEpoch ep;
      ep.time = satDataTimeFrom(scalesAt(g * 1000));
      SatDataProcessorInstance.update(ep);
    }
  }
  navDecoderLinks.b2bSource = nullptr;
  navDecoderLinks.gpsPrnEntry = nullptr;
  const double sow = static_cast<double>(last % 604800);

  // Per system: the satellites whose ephemeris the file holds at the end, each almanac found in
  // the store within `tol` metres of the ephemeris position.
  struct System {
    const char* name;
    int sys;
    char rinex;
    const char* type;
    int firstPrn, lastPrn;
    double tol;
    int minAlmanacs;
  };
  // What an almanac can be: the Kepler almanacs carry no harmonic corrections (about a kilometre
  // near toa; GEOs more); Galileo's angles are rounded to 2^-15 semicircles (3 km); the GLONASS
  // algorithm here leaves out the ICD's periodic terms (a few kilometres).
  const System systems[] = {
      {"GPS", kSysGps, 'G', "LNAV", 1, 32, 2000, 30},          {"QZSS", kSysQzss, 'J', "LNAV", 193, 197, 2000, 3},
      {"Galileo", kSysGalileo, 'E', "INAV", 1, 36, 5000, 22},  {"BeiDou", kSysBeidou, 'C', "D1", 1, 30, 6000, 20},
      {"NavIC", kSysNavic, 'I', "LNAV", 1, 14, 6000, 4},       {"GLONASS", kSysGlonass, 'R', "FDMA", 1, 24, 5000, 22},
  };
  for (const System& sy : systems) {
    SCOPED_TRACE(sy.name);
    int compared = 0;
    double worst = 0;
    for (int prn = sy.firstPrn; prn <= sy.lastPrn; ++prn) {
      const sim::Rnx4Eph* r = multi.current(sy.rinex, sy.rinex == 'J' ? prn - 192 : prn, sy.type, last);
      if (r == nullptr && sy.rinex == 'C') r = multi.current('C', prn, "D2", last);
      if (r == nullptr) continue;
      const int sat = prn - (sy.sys == kSysQzss ? 193 : 1);
      const void* a = SatDataProcessorInstance.get_AlmLastData(sy.sys, sat);
      if (a == nullptr) {
        ADD_FAILURE() << sy.rinex << prn << ": no almanac";
        continue;
      }
      double alm[3], eph[3];
      if (sy.sys == kSysGalileo && static_cast<const ZRT_ALM_GAL*>(a)->marker == 63) {
        // No almanac for an orbit the fields cannot hold: E14 and E18 (eccentricity 0.16).
        EXPECT_TRUE(prn == 14 || prn == 18) << "E" << prn << ": no almanac broadcast";
        continue;
      }
      if (sy.sys == kSysGlonass) {
        const auto& g = *static_cast<const ZRT_ALM_GLN*>(a);
        const sim::GloEph ge = sim::gloEph(*r);
        sim::gloOrbit(ge, static_cast<double>(last), eph);
        const sim::GloDay day = sim::gloDay(last);
        ASSERT_EQ(g.NA, day.nt);
        const double tod = static_cast<double>(last - day.startGps);
        glonassAlmanacPosition(g, tod - g.tLambda, alm);
        EXPECT_EQ(g.freqNum, ge.freq) << "R" << prn;
        // The almanac names the slot's frequency; the frequency of a satellite in view stays tied
        // to the slot its ephemeris names, whatever the almanac of its antipodal twin says.
        const int si = SatDataProcessorInstance.get_SvIdx(kSysGlonass, sat);
        EXPECT_TRUE(si == ge.freq + 7 || si == kSvUnknown) << "R" << prn;
        if (multi.inView('R', prn, last, site)) {
          EXPECT_EQ(SatDataProcessorInstance.get_EphSvId(kSysGlonass, ge.freq + 7).sat, sat) << "R" << prn;
        }
      } else {
        const auto& g = *static_cast<const ZRT_ALM_GPS*>(a);  // the same layout up to OmegaDot
        const Kep k{static_cast<double>(g.toa), g.sqrtA, g.e, g.M0, g.Omega0, g.omega, g.deltaI, g.OmegaDot};
        const sim::KeplerEph ke = sim::keplerEph(*r);
        double t = sow;
        double iRef = 0.30, mu = 3.986005e14, we = 7.2921151467e-5;
        if (sy.sys == kSysQzss) iRef = 0.25;
        if (sy.sys == kSysGalileo) iRef = 56.0 / 180.0, mu = 3.986004418e14;
        if (sy.sys == kSysBeidou) t = static_cast<double>(sim::bdtSow(last)), mu = 3.986004418e14, we = 7.292115e-5;
        if (sy.sys == kSysBeidou && prn <= 5) iRef = 0;
        if (sy.sys == kSysNavic) iRef = 0;
        keplerAlmanacPosition(k, iRef, mu, we, t, alm);
        sim::keplerOrbit(ke, t, eph);
      }
      const double d = distance(alm, eph);
      if (d > 1500) std::printf("  %c%02d %.0f m\n", sy.rinex, prn, d);
      worst = std::max(worst, d);
      EXPECT_LT(d, sy.tol) << sy.rinex << prn << ": almanac " << d << " m from the ephemeris";
      ++compared;
    }
    EXPECT_GE(compared, sy.minAlmanacs);
    std::printf("%s: %d almanacs, worst %.0f m\n", sy.name, compared, worst);
  }

  // With the almanac's check passed, the GLONASS satellites in view have orbits in the engine.
  int withOrbit = 0, inView = 0;
  for (const sim::Rnx4Eph* r : multi.currentAll('R', "FDMA", last)) {
    if (!multi.inView('R', r->prn, last, site)) continue;
    ++inView;
    const SvIdType sv = SatDataProcessorInstance.get_EphSvId(kSysGlonass, static_cast<int>(r->at(10)) + 7);
    std::uint8_t status = 0;
    std::uint16_t iod = kPolyNoIod;
    int dataType = 0;
    float acc = 0;
    double dt = 0;
    const auto* e = SatPolynomStoreInstance.get_PolynomData(sv, static_cast<double>((last - 18 + 10800) % 86400), false,
                                                           false, &status, &iod, &dataType, &acc, &dt);
    if (e != nullptr) SatPolynomStoreInstance.free_PolynomData();
    EXPECT_EQ(status, kPolyOk) << "R" << r->prn;
    if (status == kPolyOk) ++withOrbit;
  }
  EXPECT_GE(inView, 4);
  EXPECT_EQ(withOrbit, inView);
}

// The simulator's GLONASS frames with the data's age En broadcast as 1 and 0 days: once the
// almanac has marked a satellite's buffers with its health, the polynomial of a record older than
// 10800 s (En of a day or more) carries the mark that it reads without the GLONASS 1-s shift, and
// a reader that asks for the shift gets the time unshifted; data of the day shift by 1 s.
TEST_OWN(SimAlmanacRoad, GlonassDataADayOldReadWithoutTheOneSecondShift) {
  sim::LnavBroadcast gps;
  sim::MultiBroadcast multi;
  ASSERT_TRUE(multi.load(kFile, gps));
  PVTEngineInstance.init_Object(&PVTDataInstance, &SatDataProcessorInstance);
  const sim::Site site{22.3, 114.2, 50};
  std::int64_t first = sim::civilSeconds(2023, 3, 12, 10, 0, 18);
  for (int age : {1, 0}) {
    SCOPED_TRACE("En " + std::to_string(age));
    multi.gloAge(age);
    {
      SatDataEpoch clear;
      clear.time = satDataTimeFrom(scalesAt(first * 1000));
      clear.clearAllEph = true;
      clear.clearAllAlm = true;
      SatDataProcessorInstance.update(clear);
    }
    // Three minutes: the ephemeris strings and the almanac of every slot (2.5 min).
    Heard heard;
    const std::int64_t last = first + 180;
    for (std::int64_t g = first; g < last; ++g) {
      epoch(g * 1000);
      const auto t = static_cast<std::uint32_t>((g % 86400) * 1000);
      intoRings(multi.epoch(g, t, site), heard);
      PVTEngineInstance.update_RawNavDataFromBoardDec();
      if (g % 10 == 0) {
        SatDataEpoch ep;
        ep.time = satDataTimeFrom(scalesAt(g * 1000));
        SatDataProcessorInstance.update(ep);
      }
    }
    int checked = 0;
    const double tod = static_cast<double>((last - 18 + 10800) % 86400);  // Moscow time
    for (const sim::Rnx4Eph* r : multi.currentAll('R', "FDMA", last)) {
      if (!multi.inView('R', r->prn, last, site)) continue;
      const SvIdType sv = SatDataProcessorInstance.get_EphSvId(kSysGlonass, static_cast<int>(r->at(10)) + 7);
      double dt[2] = {};
      for (int shift = 0; shift < 2; ++shift) {
        std::uint8_t status = 0;
        std::uint16_t iod = kPolyNoIod;
        int dataType = 0;
        float acc = 0;
        const auto* e = SatPolynomStoreInstance.get_PolynomData(sv, tod, false, shift != 0, &status, &iod, &dataType,
                                                               &acc, &dt[shift]);
        ASSERT_EQ(status, kPolyOk) << "R" << r->prn;
        EXPECT_EQ((e->flags & kPolyFlagGloNoShift) != 0, age >= 1) << "R" << r->prn;
        SatPolynomStoreInstance.free_PolynomData();
      }
      EXPECT_NEAR(dt[1] - dt[0], age >= 1 ? 0.0 : 1.0, 1e-9) << "R" << r->prn;
      ++checked;
    }
    EXPECT_GE(checked, 4);
    first = last + 600;
  }
}

}  // namespace
