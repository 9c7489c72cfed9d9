// Published polynomials in the receiver's frame: the polynomial of the transformed coefficients
// is the transformed orbit, position and velocity; a WGS 84 datum leaves it as built.
#include "positioning/sat_polynom_frame.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "navigation_data/orbits/gps_orbit.h"
#include "positioning/geodesy/datum_conv.h"

namespace {

SatData::PolynomEntryType gpsPolynom() {
  ZRT_EPH_GPS e{};  // G02 of 2010-07-01 00:00
  constexpr double pi = 3.141592653589793;
  e.prn = 2, e.toe = 345600, e.toc = 345600, e.af0 = 2.69e-4;
  e.deltaN = static_cast<float>(0.525557597442e-08 / pi), e.M0 = 0.165772167412e+01 / pi;
  e.e = 0.960697804112e-02, e.sqrtA = 0.515359739113e+04, e.Omega0 = -0.127458719764e+01 / pi;
  e.i0 = 0.939349150611 / pi, e.omega = 0.309739903949e+01 / pi, e.OmegaDot = static_cast<float>(-0.838784952606e-08 / pi);
  PolyNodeRing ring;
  bool computed = false;
  SatData::PolynomEntryType entry{};
  update_SatellitePolynom(kSysGps, e, 346000, ring, computed, entry);
  return entry;
}

TEST(SatPolynomFrame, DatumOfTheSetupAppliedToTheWholePolynomial) {
  PosSetup::SatProcessorSetupType setup;
  PosSetup::setDefaults(setup);  // GPS in WGS 84
  // Galileo given a datum of its own: shifted, turned and scaled.
  PosSetup::DatumBlockType d{};
  d.prm.dx = 12.5, d.prm.dy = -20, d.prm.dz = 4;
  d.prm.rx = 2e-6, d.prm.ry = -1e-6, d.prm.rz = 3e-6, d.prm.scale = 0.7;
  d.prm.sinRx = std::sin(d.prm.rx), d.prm.cosRx = std::cos(d.prm.rx);
  d.prm.sinRy = std::sin(d.prm.ry), d.prm.cosRy = std::cos(d.prm.ry);
  d.prm.sinRz = std::sin(d.prm.rz), d.prm.cosRz = std::cos(d.prm.rz);
  d.prm.reversed = 1;
  std::memcpy(setup.aBytes + PosSetup::kSatDatumOffset + sizeof d * kSysGalileo, &d, sizeof d);
  update_SatPolynomFrames(setup);
  const SatData::PolynomEntryType built = gpsPolynom();

  SatData::PolynomEntryType same = built;
  transform_SatPolynomToRcvFrame(kSysGps, same);
  EXPECT_EQ(std::memcmp(&same, &built, sizeof same), 0);

  SatData::PolynomEntryType moved = built;
  transform_SatPolynomToRcvFrame(kSysGalileo, moved);
  double shift = 0;
  for (double dt = -6; dt <= 66; dt += 6) {
    double p[3], v[3], q[3], w[3], pt[3], vt[3];
    eval_Polynom(built, dt, p, v, nullptr);
    eval_Polynom(moved, dt, q, w, nullptr);
    DatumConv::transDirect(false, d.prm, p, pt);
    DatumConv::transDirect(true, d.prm, v, vt);
    for (int k = 0; k < 3; ++k) {
      EXPECT_NEAR(q[k], pt[k], 1e-6) << dt;
      EXPECT_NEAR(w[k], vt[k], 1e-9) << dt;
      shift = std::max(shift, std::fabs(q[k] - p[k]));
    }
  }
  EXPECT_GT(shift, 10.0);

  // An almanac position and velocity the same way; GPS stays as it is.
  double p[3], v[3], pt[3], vt[3];
  eval_Polynom(built, 30, p, v, nullptr);
  float vf[3] = {static_cast<float>(v[0]), static_cast<float>(v[1]), static_cast<float>(v[2])};
  double q[3] = {p[0], p[1], p[2]};
  float wf[3] = {vf[0], vf[1], vf[2]};
  transform_SatPositionToRcvFrame(kSysGps, q, wf);
  for (int k = 0; k < 3; ++k) {
    EXPECT_EQ(q[k], p[k]);
    EXPECT_EQ(wf[k], vf[k]);
  }
  transform_SatPositionToRcvFrame(kSysGalileo, q, wf);
  const double vd[3] = {vf[0], vf[1], vf[2]};
  DatumConv::transDirect(false, d.prm, p, pt);
  DatumConv::transDirect(true, d.prm, vd, vt);
  for (int k = 0; k < 3; ++k) {
    EXPECT_NEAR(q[k], pt[k], 1e-6);
    EXPECT_NEAR(wf[k], vt[k], 1e-3);
  }
}

}  // namespace
