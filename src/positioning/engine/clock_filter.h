// Receiver clock filters: offset and drift under a constant-drift model, measured directly.
#pragma once

#include <cstdint>

// Two-state filter. Each epoch: set, predict, then update with the measurements or reset.
class ClockFilter22Type {
 public:
  // Limits of a correction beyond which the filter restarts from the measurement.
  static constexpr double kMaxOffsetStep = 20.0;
  static constexpr double kMaxDriftStep = 2.0;

  void set(double dt, double q);
  void reset(double x0, double x1, double p00, double p11);
  void get(double& x0, double& x1, double& p00, double& p11) const;
  void predict();
  // Propagates the covariance to the predicted state and forms the gain.
  void update();
  void update(double z0, double z1, double r0, double r1, std::uint32_t time);

  double x[2] = {0.0, 0.0};       // offset, drift
  double P[2][2] = {{0.0, 0.0}, {0.0, 0.0}};
  double xp[2] = {0.0, 0.0};      // prediction of the last predict()
  double dt = 1.0;
  double q = 0.0;
  double Q00 = 0.0, Q01 = 0.0, Q11 = 0.0;
  double K[2][2] = {{0.0, 0.0}, {0.0, 0.0}};
  double r[2] = {0.0, 0.0};
  double dTime = 0.0;  // filter time, advanced by dt at each update
  std::uint8_t bInitialised = 0;
  std::uint32_t ulTime = 0;
};

// One-state form.
class ClockFilter11Type {
 public:
  double x = 0.0;
  double P = 1.0;
  double dt = 1.0;
  double q = 0.0;
  double K = 0.0;
  std::uint8_t bInitialised = 0;
};
