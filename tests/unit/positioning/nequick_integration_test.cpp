// The ray geometry and the adaptive Gauss-Kronrod integration against independent truth: points
// of the ray checked as points of the straight line between its ends (Cartesian), and the
// integral of an Epstein-shaped density, whose antiderivative is known, along a vertical ray.
#include <gtest/gtest.h>

#include <cmath>

#include "positioning/corrections/nequick_integration.h"

namespace {

constexpr double kDeg = 3.14159265358979323846 / 180.0;
constexpr double kR = kNeQuickEarthRadiusKm;

struct Xyz {
  double x, y, z;
};
Xyz cart(double lat, double lon, double h) {
  const double r = kR + h;
  return {r * std::cos(lat) * std::cos(lon), r * std::cos(lat) * std::sin(lon), r * std::sin(lat)};
}
double dist(const Xyz& a, const Xyz& b) { return std::sqrt(std::pow(a.x - b.x, 2) + std::pow(a.y - b.y, 2) + std::pow(a.z - b.z, 2)); }

// Each point of the ray lies on the straight line between the receiver and the satellite, at its
// distance along the ray; the ends are the given ends.
TEST(NeQuickRay, PointsLieOnTheStraightLineBetweenTheEnds) {
  const struct {
    double lat1, lon1, h1, lat2, lon2, h2;
  } rows[] = {{82.49, 297.66, 0.078, 54.29, 8.23, 20281.5},  {40.0, 0.0, 0.05, 45.0, 5.0, 20200.0},
              {-31.8, 115.9, 0.0, -10.0, 160.0, 20200.0},      {0.0, 179.0, 1.0, 3.0, -170.0, 19100.0},
              {89.99, 10.0, 0.5, 60.0, 190.0, 21500.0},        {-45.0, -60.0, 1500.0, -20.0, -30.0, 20200.0}};
  for (const auto& r : rows) {
    SCOPED_TRACE(r.lat1);
    GeometryOfRayType g;
    ASSERT_TRUE(compute_GeometryOfRay(r.lat1 * kDeg, r.lon1 * kDeg, r.h1, r.lat2 * kDeg, r.lon2 * kDeg, r.h2, g));
    const Xyz a = cart(r.lat1 * kDeg, r.lon1 * kDeg, r.h1), b = cart(r.lat2 * kDeg, r.lon2 * kDeg, r.h2);
    EXPECT_NEAR(g.sat.dS - g.rcv.dS, dist(a, b), 1e-6 * dist(a, b));
    for (double f : {0.0, 0.01, 0.3, 0.77, 1.0}) {
      const double s = g.rcv.dS + f * (g.sat.dS - g.rcv.dS);
      double lat, lon, h;
      compute_NePointCoord(g, s, lat, lon, h);
      const Xyz p = cart(lat, lon, h);
      EXPECT_NEAR(dist(a, p), f * dist(a, b), 1e-6 * dist(a, b)) << f;
      EXPECT_NEAR(dist(p, b), (1 - f) * dist(a, b), 1e-6 * dist(a, b)) << f;
    }
    for (const NeRayPointType* p : {&g.p1000, &g.p2000}) {
      const double want = p == &g.p1000 ? 1000.0 : 2000.0;
      if (want > r.h1) { EXPECT_NEAR(p->dH, want, 1e-6); }
    }
  }
}

// A satellite below the horizon gives no ray; a satellite straight above gives a vertical one.
TEST(NeQuickRay, BelowTheHorizonNoneAndOverheadVertical) {
  GeometryOfRayType g;
  EXPECT_FALSE(compute_GeometryOfRay(0.0, 0.0, 0.0, 0.0, 100.0 * kDeg, 20200.0, g));
  EXPECT_FALSE(compute_GeometryOfRay(0.0, 0.0, 30000.0, 0.0, 0.0, 20200.0, g));
  ASSERT_TRUE(compute_GeometryOfRay(10.0 * kDeg, 20.0 * kDeg, 0.2, 10.0 * kDeg, 20.0 * kDeg, 20200.0, g));
  EXPECT_TRUE(g.bVertical);
  EXPECT_DOUBLE_EQ(g.rcv.dS, 0.2);
  EXPECT_DOUBLE_EQ(g.p1000.dS, 1000.0);
  EXPECT_DOUBLE_EQ(g.sat.dS, 20200.0);
}

// The segments: breaks at 1000 km and 2000 km; tolerance 0.001 below 1000 km and 0.01 above; a
// receiver at 1500 km integrates two segments at 0.01; above 2000 km one.
TEST(NeQuickRay, SegmentsAndTolerancesByReceiverHeight) {
  const struct {
    double h1;
    int n;
    double tol[3];
  } rows[] = {{0.1, 3, {0.001, 0.01, 0.01}}, {999.0, 3, {0.001, 0.01, 0.01}}, {1500.0, 2, {0.01, 0.01, 0}},
              {2500.0, 1, {0.01, 0, 0}}};
  for (bool vertical : {true, false}) {
    for (const auto& r : rows) {
      SCOPED_TRACE(r.h1);
      GeometryOfRayType g;
      ASSERT_TRUE(compute_GeometryOfRay(0.3, 0.2, r.h1, vertical ? 0.3 : 0.5, vertical ? 0.2 : 0.6, 20200.0, g));
      NeIntegrationSegmentType seg[3];
      ASSERT_EQ(plan_NeIntegrationSegments(g, seg), r.n);
      EXPECT_DOUBLE_EQ(seg[0].s1, g.rcv.dS);
      EXPECT_DOUBLE_EQ(seg[r.n - 1].s2, g.sat.dS);
      for (int i = 0; i < r.n; ++i) {
        EXPECT_EQ(seg[i].tolerance, r.tol[i]) << i;
        if (i > 0) { EXPECT_DOUBLE_EQ(seg[i].s1, seg[i - 1].s2); }
      }
      if (r.n >= 2) { EXPECT_DOUBLE_EQ(seg[r.n - 2].s2, g.p2000.dS); }
      if (r.n == 3) { EXPECT_DOUBLE_EQ(seg[0].s2, g.p1000.dS); }
    }
  }
}

struct Layer {
  double nm, hm, H;
};
double layerDensity(const void* p, double s) {
  const Layer& l = *static_cast<const Layer*>(p);
  const double e = std::exp((s - l.hm) / l.H);
  return 4.0 * l.nm * e / ((1 + e) * (1 + e));
}
double sigma(double x) { return std::exp(x) / (1 + std::exp(x)); }

// 4 Nm e^x / (1 + e^x)^2 along a vertical ray integrates to 4 Nm H (sigma(xb) - sigma(xa)),
// within the tolerance asked, segment by segment and over the whole ray.
TEST(NeQuickKronrod, EpsteinDensityMatchesItsAntiderivative) {
  const Layer layers[] = {{1e12, 350.0, 60.0}, {3e11, 250.0, 30.0}, {5e12, 450.0, 90.0}};
  for (const auto& l : layers) {
    GeometryOfRayType g;
    ASSERT_TRUE(compute_GeometryOfRay(0.3, 0.2, 0.0, 0.3, 0.2, 20200.0, g));
    NeIntegrationSegmentType seg[3];
    const int n = plan_NeIntegrationSegments(g, seg);
    double total = 0.0;
    for (int i = 0; i < n; ++i) {
      NeIntegratorType in{layerDensity, &l};
      const double got = compute_KronrodIntegration(in, seg[i].s1, seg[i].s2, seg[i].tolerance);
      const double want = 4 * l.nm * l.H * (sigma((seg[i].s2 - l.hm) / l.H) - sigma((seg[i].s1 - l.hm) / l.H));
      // Within the tolerance, less what nodes below the density floor leave out.
      const double floor = kNeDensityFloor * (seg[i].s2 - seg[i].s1);
      EXPECT_LE(std::fabs(got - want), seg[i].tolerance * want + floor) << l.hm << " segment " << i;
      EXPECT_FALSE(in.capped);
      total += got;
    }
    const double want = 4 * l.nm * l.H * (sigma((20200.0 - l.hm) / l.H) - sigma(-l.hm / l.H));
    EXPECT_LE(std::fabs(total - want), 0.001 * want) << l.hm;
  }
}

double constant(const void* p, double) { return *static_cast<const double*>(p); }
double sawtooth(const void*, double s) { return std::fmod(s * 1e6, 1.0) * 1e12; }

// A density below 1000 el/m^3 at a node adds nothing; 1000 counts.
TEST(NeQuickKronrod, DensityBelowTheFloorCountsAsNone) {
  const struct {
    double n, integral;
  } rows[] = {{999.0, 0.0}, {999.999, 0.0}, {1000.0, 1000.0 * 50.0}, {-5e9, 0.0}, {NAN, 0.0}};
  for (const auto& r : rows) {
    NeIntegratorType in{constant, &r.n};
    EXPECT_NEAR(compute_KronrodIntegration(in, 100.0, 150.0, 0.001), r.integral, 1e-6) << r.n;
    EXPECT_EQ(in.evaluations, 15);
  }
}

// An integrand that never settles stops after 10 halvings: at most 2^11 - 1 intervals of 15
// nodes.
TEST(NeQuickKronrod, StopsAfterTenHalvings) {
  NeIntegratorType in{sawtooth, nullptr};
  const double v = compute_KronrodIntegration(in, 0.0, 1000.0, 1e-9);
  EXPECT_TRUE(std::isfinite(v));
  EXPECT_TRUE(in.capped);
  EXPECT_EQ(in.deepest, kNeKronrodMaxHalvings);
  EXPECT_LE(in.evaluations, 15L * ((1L << (kNeKronrodMaxHalvings + 1)) - 1));
  EXPECT_GE(in.evaluations, 15L * (2 * kNeKronrodMaxHalvings + 1));
}

}  // namespace
