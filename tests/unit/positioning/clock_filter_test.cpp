// Clock filter against a Kalman filter written here in information form.
#include "positioning/engine/clock_filter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

namespace {

struct Mat2 {
  double a, b, c, d;  // [[a, b], [c, d]]
  Mat2 operator*(const Mat2& o) const {
    return {a * o.a + b * o.c, a * o.b + b * o.d, c * o.a + d * o.c, c * o.b + d * o.d};
  }
  Mat2 operator+(const Mat2& o) const { return {a + o.a, b + o.b, c + o.c, d + o.d}; }
  Mat2 inv() const {
    const double det = a * d - b * c;
    return {d / det, -b / det, -c / det, a / det};
  }
  Mat2 t() const { return {a, c, b, d}; }
};

// Posterior covariance from the information form, P = (P'^-1 + R^-1)^-1, and gain P R^-1.
struct OracleFilter {
  Mat2 P;
  double x0, x1;
  Mat2 K;
  void step(double dt, double q, double z0, double z1, double r0, double r1) {
    const Mat2 F{1, dt, 0, 1};
    const Mat2 Q{q * dt * dt * dt / 6, q * dt * dt / 4, q * dt * dt / 4, q * dt / 2};
    const Mat2 pp = F * P * F.t() + Q;
    const Mat2 rInv{1 / r0, 0, 0, 1 / r1};
    P = (pp.inv() + rInv).inv();
    K = P * rInv;
    const double p0 = x0 + x1 * dt, p1 = x1;
    x0 = p0 + K.a * (z0 - p0) + K.b * (z1 - p1);
    x1 = p1 + K.c * (z0 - p0) + K.d * (z1 - p1);
  }
};

void expectClose(double got, double want, const char* what, int step) {
  EXPECT_NEAR(got, want, 1e-9 * std::max(1.0, std::fabs(want))) << what << " at step " << step;
}

TEST(ClockFilter, GainAndCovarianceFollowTheKalmanFilter) {
  const struct { double dt, q, r0, r1; } cases[] = {{1.0, 0.02, 1.0, 0.001}, {0.2, 0.5, 4.0, 0.01}, {5.0, 0.02, 1.0, 0.1}};
  for (const auto& cs : cases) {
    std::mt19937 rng(42);
    std::normal_distribution<double> noise(0.0, 1.0);
    ClockFilter22Type f;
    f.reset(30.0, 0.5, cs.r0, cs.r1);
    OracleFilter o{{cs.r0, 0, 0, cs.r1}, 30.0, 0.5, {}};
    double clock = 30.0, drift = 0.5;
    for (int k = 1; k <= 100; ++k) {
      drift += 0.01 * noise(rng);
      clock += drift * cs.dt;
      const double z0 = clock + std::sqrt(cs.r0) * noise(rng), z1 = drift + std::sqrt(cs.r1) * noise(rng);
      f.set(cs.dt, cs.q);
      f.predict();
      f.update(z0, z1, cs.r0, cs.r1, static_cast<std::uint32_t>(k));
      o.step(cs.dt, cs.q, z0, z1, cs.r0, cs.r1);
      expectClose(f.K[0][0], o.K.a, "K00", k), expectClose(f.K[0][1], o.K.b, "K01", k);
      expectClose(f.K[1][0], o.K.c, "K10", k), expectClose(f.K[1][1], o.K.d, "K11", k);
      expectClose(f.P[0][0], o.P.a, "P00", k), expectClose(f.P[0][1], o.P.b, "P01", k);
      expectClose(f.P[1][1], o.P.d, "P11", k);
      expectClose(f.x[0], o.x0, "x0", k), expectClose(f.x[1], o.x1, "x1", k);
    }
    EXPECT_EQ(f.bInitialised, 1);
  }
}

TEST(ClockFilter, RestartsFromTheMeasurementOnAJump) {
  const struct { double jump0, jump1; bool restart; } rows[] = {
      {0.0, 0.0, false}, {500.0, 0.0, true}, {-1000.0, 0.0, true}, {0.0, 3000.0, true}, {10.0, 0.0, false}};
  for (const auto& r : rows) {
    ClockFilter22Type f;
    f.reset(100.0, 1.0, 1.0, 0.001);
    for (int k = 1; k <= 20; ++k) {
      f.set(1.0, 0.02);
      f.predict();
      f.update(100.0 + k, 1.0, 1.0, 0.001, k);
    }
    f.set(1.0, 0.02);
    f.predict();
    const double z0 = 121.0 + r.jump0, z1 = 1.0 + r.jump1;
    f.update(z0, z1, 1.0, 0.001, 21);
    double x0, x1, p00, p11;
    f.get(x0, x1, p00, p11);
    if (r.restart) {
      EXPECT_TRUE(x0 == z0 && x1 == z1 && p00 == 1.0 && p11 == 0.001 && f.P[0][1] == 0.0) << r.jump0 << " " << r.jump1;
    } else {
      // The measurements so far lie on the state's line: the prediction is exact.
      EXPECT_NEAR(x0, 121.0 + f.K[0][0] * r.jump0, 1e-9) << r.jump0;
      EXPECT_LT(p00, 1.0);
    }
  }
}

}  // namespace
