// Shared set-up of the base-projection tests: real GPS orbits of brdc1820.10n in the polynomial
// store (refreshed each epoch as the background task does), the satellite range evaluated here
// after IS-GPS-200 20.3.3.4.3 (Kepler orbit at transmit time, clock with the relativistic term,
// Earth rotation during the signal's flight), and builders of base and rover epochs.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <vector>

#include "differential/base/cpd_meas_buf.h"
#include "differential/base/cpd_utils.h"
#include "differential/rtk/base_pro.h"
#include "differential/rtk/base_pro_client.h"
#include "differential/rtk/cpd_params.h"
#include "navigation_data/orbits/sat_polynom.h"
#include "navigation_data/store/sat_data_store.h"
#include "positioning/data_servers/pos_setup_types.h"
#include "positioning/data_servers/pvt_data.h"
#include "settings/debug_selectors.h"
#include "settings/rcv_settings.h"
#include "fixtures/nav_files.h"

namespace bptest {

constexpr double kC = 299792458.0;
constexpr double kL1 = 1575.42e6;
constexpr double kLambda1 = kC / kL1;
// A base station on the ground (ECEF, m).
constexpr double kBase[3] = {4075580.0, 931855.0, 4801568.0};
// 2010-07-01 02:00:00 GPS time, inside the day of brdc1820.10n: seconds of week.
constexpr double kT0 = 4 * 86400.0 + 7200.0;

inline int hourMs(double sow) { return static_cast<int>(std::llround(sow * 1000.0)) % 3600000; }

// IS-GPS-200 20.3.3.4.3 satellite position (ECEF at its own epoch) and 20.3.3.3.3.1 clock at
// GPS time t; the record keeps angles in semicircles.
inline void gpsOrbit(const ZRT_EPH_GPS& e, double t, double pos[3], double& clock) {
  constexpr double mu = 3.986005e14, we = 7.2921151467e-5, F = -4.442807633e-10, pi = 3.1415926535898;
  auto wrap = [](double d) { return d > 302400 ? d - 604800 : d < -302400 ? d + 604800 : d; };
  const double A = e.sqrtA * e.sqrtA, tk = wrap(t - e.toe);
  const double M = e.M0 * pi + (std::sqrt(mu / (A * A * A)) + e.deltaN * pi) * tk;
  double E = M;
  for (int k = 0; k < 50; ++k) E = M + e.e * std::sin(E);
  const double nu = std::atan2(std::sqrt(1 - e.e * e.e) * std::sin(E), std::cos(E) - e.e);
  const double phi = nu + e.omega * pi;
  const double u = phi + e.cus * std::sin(2 * phi) + e.cuc * std::cos(2 * phi);
  const double r = A * (1 - e.e * std::cos(E)) + e.crs * std::sin(2 * phi) + e.crc * std::cos(2 * phi);
  const double i = e.i0 * pi + e.idot * pi * tk + e.cis * std::sin(2 * phi) + e.cic * std::cos(2 * phi);
  const double x = r * std::cos(u), y = r * std::sin(u);
  const double Om = e.Omega0 * pi + (e.OmegaDot * pi - we) * tk - we * e.toe;
  pos[0] = x * std::cos(Om) - y * std::cos(i) * std::sin(Om);
  pos[1] = x * std::sin(Om) + y * std::cos(i) * std::cos(Om);
  pos[2] = y * std::sin(i);
  const double dt = wrap(t - e.toc);
  clock = e.af0 + e.af1 * dt + e.af2 * dt * dt + F * e.e * e.sqrtA * std::sin(E);
}

// The geometric term for a code measured at receive time T (GPS s of week): the satellite taken
// at transmit time T - code/c less its clock, range less clock, plus the Earth-rotation term.
inline double gpsRange(const ZRT_EPH_GPS& e, double T, double code, const double base[3], double* clockOut = nullptr,
                       double* posOut = nullptr) {
  const double tsv = T - code / kC;
  double p[3], clk = 0.0;
  for (int k = 0; k < 4; ++k) gpsOrbit(e, tsv - clk, p, clk);
  const double dx = p[0] - base[0], dy = p[1] - base[1], dz = p[2] - base[2];
  if (clockOut != nullptr) *clockOut = clk;
  if (posOut != nullptr)
    for (int k = 0; k < 3; ++k) posOut[k] = p[k];
  return std::sqrt(dx * dx + dy * dy + dz * dz) - kC * clk + (p[0] * base[1] - p[1] * base[0]) * 7.2921151467e-5 / kC;
}

// The day's GPS records, per PRN the healthy one whose toe lies nearest t.
inline std::map<int, ZRT_EPH_GPS> recordsAt(double t) {
  static const auto recs = navfiles::readRinex2Nav(navfiles::testdata("brdc1820.10n"));
  std::map<int, ZRT_EPH_GPS> best;
  for (const auto& r : recs) {
    if (r.eph.health != 0 || std::fabs(r.eph.toe - t) > 7200) continue;
    auto it = best.find(r.eph.prn);
    if (it == best.end() || std::fabs(r.eph.toe - t) < std::fabs(it->second.toe - t)) best[r.eph.prn] = r.eph;
  }
  return best;
}

// Every other record of the PRN (another issue), nearest t.
inline bool otherRecord(int prn, std::uint16_t notIode, double t, ZRT_EPH_GPS& out) {
  static const auto recs = navfiles::readRinex2Nav(navfiles::testdata("brdc1820.10n"));
  bool found = false;
  for (const auto& r : recs) {
    if (r.eph.prn != prn || r.eph.health != 0 || r.eph.iode == notIode || std::fabs(r.eph.toe - t) > 7200) continue;
    if (!found || std::fabs(r.eph.toe - t) < std::fabs(out.toe - t)) out = r.eph;
    found = true;
  }
  return found;
}

// The polynomial store fed with a set of records, advanced epoch by epoch.
class OrbitFeed {
 public:
  void add(const ZRT_EPH_GPS& e) { sats_[e.prn] = Sat{e, {}, false, {}}; }
  const ZRT_EPH_GPS& eph(int prn) const { return sats_.at(prn).eph; }
  bool has(int prn) const { return sats_.count(prn) != 0; }
  std::vector<int> prns() const {
    std::vector<int> v;
    for (const auto& [p, s] : sats_) v.push_back(p);
    return v;
  }
  void refresh(double t) {
    for (auto& [prn, s] : sats_) {
      // The entry is rewritten only when the polynomial is built anew.
      SatData::PolynomSetType& set = s.set;
      ASSERT_TRUE(update_SatellitePolynom(kSysGps, s.eph, t, s.ring, s.computed, set.entry[0]));
      set.entry[0].iod = s.eph.iode;
      set.entry[1].iod = kPolyNoIod;
      const SvIdType id{static_cast<std::uint8_t>(prn - 1), kSysGps, 0, static_cast<std::uint8_t>(prn - 1)};
      ASSERT_TRUE(SatPolynomStoreInstance.Put(id, &set));
    }
  }

 private:
  struct Sat {
    ZRT_EPH_GPS eph;
    PolyNodeRing ring;
    bool computed;
    SatData::PolynomSetType set;
  };
  std::map<int, Sat> sats_;
};

// One satellite of a synthetic base epoch.
struct SvObs {
  CpdSv sv;
  int sig = 0;
  double phase = 0.0;  // cycles
  double code = 0.0;   // m
  std::uint8_t elev = 45;
  std::uint16_t iod = CpdSvMeas::kIodUnknown;
};

// The program's settings, buffers and position-engine setup as the chain needs them.
inline void setUpChain() {
  rcvSetDefaults(RcvSet);
  cpdParams = CpdParams{};  // every system and signal in use, as built
  tPosMode = 4;
  RcvSet.rtk.experiod = 1000;
  RcvSet.rtk.afperiod = 1000;
  RcvSet.rtk.diffext = 0;
  PosSetup::SatProcessorSetupType s;
  PosSetup::setDefaults(s);
  PVTDataInstance.satProcessorSetup.Put(&s);
  SatPolynomStoreInstance.Init();
  SatDataProcessorInstance.init_Object();
  cpdBufsInit();
  // An epoch a base decoder still fills from a row before is given back, then the buffers emptied
  // (each test runs from the program's start, in a process of its own).
  for (CpdBaseDecoder* d : cpdBaseDecoders)
    if (d != nullptr) d->reset();
  pBaseMeasBuf->doClear();
  for (CpdMeasBuf* b : pRovMeasBuf) b->doClear();
  BPC.Reset(0);
  BPC.basePos.known = false;
  for (auto& r : BPC.ref) r = bpro::kNoSlot;
  for (auto& c : BPC.refHold) c = 0;
  Tcorr = 5.0;
}

// The base an epoch comes from: its decoder's kind and its station.
struct BaseOf {
  int decoder = kCpdRtcm3;
  int station = 0;
};

// The rover epoch of GPS time T (its satellites carry their elevation), then the base epoch of
// the same id, released into the base buffer (which runs the client).
inline void runEpoch(double T, const std::vector<SvObs>& obs, bool withRover = true, int type = CpdMeas::kObservations,
                     BaseOf base = {}) {
  const int id = hourMs(T);
  if (withRover) {
    CpdMeas* r = pRovMeasBuf[0]->doObtain();
    ASSERT_NE(r, nullptr);
    r->clear();
    r->id = id;
    r->type = CpdMeas::kObservations;
    for (int s = 0; s < CpdSv::kSysNum; ++s) r->times.time[s] = s == CpdSv::kGlonass ? -1 : static_cast<std::int32_t>(std::llround(T * 1000.0));
    for (const SvObs& o : obs) {
      CpdSvMeas* m = r->addSv(o.sv);
      ASSERT_NE(m, nullptr);
      m->elev = o.elev;
      // C/N0 ranked the other way round: a choice made by it rather than by elevation shows.
      m->slot[0].snr = static_cast<std::uint8_t>(90 - o.elev);
      m->slot[0].flags = CpdMeasSlot::kRange | CpdMeasSlot::kSnr;
    }
    pRovMeasBuf[0]->doRelease(r);
  }
  CpdMeas* m = pBaseMeasBuf->doObtain();
  ASSERT_NE(m, nullptr);
  m->clear();
  m->id = id;
  m->type = type;
  m->decoder = base.decoder;
  m->stationId = base.station;
  m->refPos.set(CpdCPos{kBase[0], kBase[1], kBase[2]});
  for (const SvObs& o : obs) {
    CpdSvMeas* e = m->addSv(o.sv);
    ASSERT_NE(e, nullptr);
    e->iod = o.iod;
    e->slot[o.sig].phase = o.phase;
    e->slot[o.sig].range = o.code;
    e->slot[o.sig].flags |= CpdMeasSlot::kRange | CpdMeasSlot::kPhase;
  }
  releaseMeas(pBaseMeasBuf, m);
}

// An empty container at the default receiver settings: no model, no reference, base epochs of
// observations.
inline void freshContainer() {
  rcvSetDefaults(RcvSet);
  RcvSet.rtk.diffext = 0;
  Tcorr = 5.0;
  BPC.Reset(0);
  for (auto& r : BPC.ref) r = bpro::kNoSlot;
  for (auto& c : BPC.refHold) c = 0;
  BPC.mode = CpdMeas::kObservations;
}

}  // namespace bptest
