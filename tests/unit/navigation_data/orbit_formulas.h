// Reference forms of two orbit rules for the tests, written from the interface documents: the
// program itself reaches them only through its polynomials.
#pragma once

#include <cmath>

#include "navigation_data/orbits/glonass_eph.h"
#include "navigation_data/orbits/gps_orbit.h"

// Satellite clock offset (s) at t from af0, af1, af2 and toc, without the relativistic term
// (IS-GPS-200 20.3.3.3.3.1).
inline double compute_SatClockByEphemeris(double t, int sys, const ZRT_EPH_GPS& eph) {
  const double dt = fold_CycleTime(t - eph.toc, sys);
  return eph.af0 + (eph.af1 + static_cast<double>(eph.af2) * dt) * dt;
}

// The record's state integrated to `dt` seconds after tb in equal Runge-Kutta steps of at most
// `step` seconds (GLONASS ICD A.3.1.2).
inline GloIntegState glo_StateAt(const ZRT_EPH_GLN& eph, double dt, double step) {
  GloIntegState s = glo_InitialState(eph);
  if (!(step > 0) || !std::isfinite(dt)) return s;
  const int n = static_cast<int>(std::ceil(std::fabs(dt) / step));
  if (n == 0) return s;
  const double h = dt / n;
  for (int i = 0; i < n; ++i) compute_SolutionEquationSet_RKM(s, h);
  return s;
}
