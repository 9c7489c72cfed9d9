#include "positioning/engine/clock_filter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <random>

namespace {

using M2 = std::array<double, 4>;  // [[0, 1], [2, 3]]
M2 mul(const M2& a, const M2& b) {
  return {a[0] * b[0] + a[1] * b[2], a[0] * b[1] + a[1] * b[3], a[2] * b[0] + a[3] * b[2], a[2] * b[1] + a[3] * b[3]};
}
M2 inv(const M2& a) {
  const double det = a[0] * a[3] - a[1] * a[2];
  return {a[3] / det, -a[1] / det, -a[2] / det, a[0] / det};
}

// Posterior covariance from the information form, P = (P'^-1 + R^-1)^-1, and gain P R^-1.
struct OracleFilter {
  M2 P, K;
  double x0, x1;
  void step(double dt, double q, double z0, double z1, double r0, double r1) {
    const M2 pf = mul(mul({1, dt, 0, 1}, P), {1, 0, dt, 1});
    const M2 pp = {pf[0] + q * dt * dt * dt / 6, pf[1] + q * dt * dt / 4, pf[2] + q * dt * dt / 4, pf[3] + q * dt / 2};
    const M2 info = inv(pp);
    P = inv({info[0] + 1 / r0, info[1], info[2], info[3] + 1 / r1});
    K = mul(P, {1 / r0, 0, 0, 1 / r1});
    const double p0 = x0 + x1 * dt, p1 = x1;
    x0 = p0 + K[0] * (z0 - p0) + K[1] * (z1 - p1);
    x1 = p1 + K[2] * (z0 - p0) + K[3] * (z1 - p1);
  }
};

TEST(ClockFilter, GainAndCovarianceFollowTheKalmanFilter) {
  const struct { double dt, q, r0, r1; } cases[] = {{1.0, 0.02, 1.0, 0.001}, {0.2, 0.5, 4.0, 0.01}, {5.0, 0.02, 1.0, 0.1}};
  for (const auto& cs : cases) {
    std::mt19937 rng(42);
    std::normal_distribution<double> noise(0.0, 1.0);
    ClockFilter22Type f;
    f.reset(30.0, 0.5, cs.r0, cs.r1);
    OracleFilter o{{cs.r0, 0, 0, cs.r1}, {}, 30.0, 0.5};
    double clock = 30.0, drift = 0.5;
    for (int k = 1; k <= 100; ++k) {
      drift += 0.01 * noise(rng);
      clock += drift * cs.dt;
      const double z0 = clock + std::sqrt(cs.r0) * noise(rng), z1 = drift + std::sqrt(cs.r1) * noise(rng);
      f.set(cs.dt, cs.q);
      f.predict();
      f.update(z0, z1, cs.r0, cs.r1, static_cast<std::uint32_t>(k));
      o.step(cs.dt, cs.q, z0, z1, cs.r0, cs.r1);
      const double got[] = {f.K[0][0], f.K[0][1], f.K[1][0], f.K[1][1], f.P[0][0], f.P[0][1], f.P[1][1], f.x[0], f.x[1]};
      const double want[] = {o.K[0], o.K[1], o.K[2], o.K[3], o.P[0], o.P[1], o.P[3], o.x0, o.x1};
      for (int i = 0; i < 9; ++i)
        EXPECT_NEAR(got[i], want[i], 1e-9 * std::max(1.0, std::fabs(want[i]))) << "item " << i << " step " << k;
    }
    EXPECT_EQ(f.bInitialised, 1);
  }
}

}  // namespace
