// Adaptive Gauss-Kronrod G7-K15 integration of an electron density along a ray, and the split
// of a ray into the segments NeQuick G integrates with their tolerances (Galileo ionospheric
// correction algorithm, issue 1.2, section 2.5.8.2).
#pragma once

#include "positioning/corrections/nequick_geometry.h"

// The 15 Kronrod nodes on [-1, 1], their weights, and the weights of the 7 Gauss nodes among
// them (nodes 1, 3, ..., 13 counted from 0).
extern const double xi[15];
extern const double wi[15];
extern const double wig[7];

inline constexpr int kNeKronrodMaxHalvings = 10;
// A density below this many electrons per m^3 counts as none.
inline constexpr double kNeDensityFloor = 1000.0;

// Electron density (m^-3) at distance s (km) along a ray.
using NeDensityFn = double (*)(const void* ctx, double s);

struct NeIntegratorType {
  NeDensityFn density;
  const void* ctx;
  long evaluations = 0;  // densities taken so far
  int deepest = 0;       // the most halvings one interval needed
  bool capped = false;   // an interval was accepted only because of the halving cap
};

// Integral of the density over [s1, s2] (km), in m^-3 km, to the tolerance (absolute or
// relative to the integral) with at most kNeKronrodMaxHalvings halvings; `depth` is the number
// of halvings above this interval (0 for a whole segment).
double compute_KronrodIntegration(NeIntegratorType& in, double s1, double s2, double tolerance, int depth = 0);

struct NeIntegrationSegmentType {
  double s1, s2;
  double tolerance;
};

// The segments of the ray: breaks where it passes 1000 km and 2000 km; 0.001 below 1000 km,
// 0.01 above. Returns the count (1 .. 3); 0 for an empty ray.
int plan_NeIntegrationSegments(const GeometryOfRayType& g, NeIntegrationSegmentType seg[3]);
