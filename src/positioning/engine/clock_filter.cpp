#include "positioning/engine/clock_filter.h"

#include <cmath>

void ClockFilter22Type::set(double step, double noise) {
  dt = step;
  q = noise;
  Q00 = q * dt * dt * dt / 6.0;
  Q01 = q * dt * dt / 4.0;
  Q11 = q * dt / 2.0;
}

void ClockFilter22Type::reset(double x0, double x1, double p00, double p11) {
  x[0] = x0;
  x[1] = x1;
  P[0][0] = p00;
  P[0][1] = P[1][0] = 0.0;
  P[1][1] = p11;
}

void ClockFilter22Type::get(double& x0, double& x1, double& p00, double& p11) const {
  x0 = x[0];
  x1 = x[1];
  p00 = P[0][0];
  p11 = P[1][1];
}

void ClockFilter22Type::predict() {
  xp[0] = x[0] + x[1] * dt;
  xp[1] = x[1];
}

void ClockFilter22Type::update() {
  // P' = F P F^T + Q, F = [[1, dt], [0, 1]]
  const double a = P[0][0] + dt * (P[1][0] + P[0][1]) + dt * dt * P[1][1] + Q00;
  const double b = P[0][1] + dt * P[1][1] + Q01;
  const double c = P[1][0] + dt * P[1][1] + Q01;
  const double d = P[1][1] + Q11;
  // K = P' (P' + R)^-1
  const double s00 = a + r[0], s01 = b, s10 = c, s11 = d + r[1];
  const double det = s00 * s11 - s01 * s10;
  if (!(det > 0.0) || !std::isfinite(det)) {
    // No information to weigh: keep the prediction's covariance.
    K[0][0] = K[0][1] = K[1][0] = K[1][1] = 0.0;
    P[0][0] = a;
    P[0][1] = b;
    P[1][0] = c;
    P[1][1] = d;
    return;
  }
  const double i00 = s11 / det, i01 = -s01 / det, i10 = -s10 / det, i11 = s00 / det;
  K[0][0] = a * i00 + b * i10;
  K[0][1] = a * i01 + b * i11;
  K[1][0] = c * i00 + d * i10;
  K[1][1] = c * i01 + d * i11;
  // P = (I - K) P'
  P[0][0] = (1.0 - K[0][0]) * a - K[0][1] * c;
  P[0][1] = (1.0 - K[0][0]) * b - K[0][1] * d;
  P[1][0] = -K[1][0] * a + (1.0 - K[1][1]) * c;
  P[1][1] = -K[1][0] * b + (1.0 - K[1][1]) * d;
}

void ClockFilter22Type::update(double z0, double z1, double r0, double r1, std::uint32_t time) {
  dTime += dt;
  r[0] = r0;
  r[1] = r1;
  ulTime = time;
  update();
  const double v0 = z0 - xp[0];
  const double v1 = z1 - xp[1];
  const double dx0 = K[0][0] * v0 + K[0][1] * v1;
  const double dx1 = K[1][0] * v0 + K[1][1] * v1;
  if (std::fabs(dx0) <= kMaxOffsetStep && std::fabs(dx1) <= kMaxDriftStep) {
    x[0] = xp[0] + dx0;
    x[1] = xp[1] + dx1;
    bInitialised = 1;
    return;
  }
  // A clock jump: the old state says nothing about the new one.
  reset(z0, z1, r0, r1);
}
