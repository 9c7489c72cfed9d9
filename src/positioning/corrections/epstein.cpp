#include "positioning/corrections/epstein.h"

#include <cmath>

double get_NeQuickClipExp(double x) {
  if (x > 80.0) return 5.5406e34;
  if (x < -80.0) return 1.8049e-35;
  return std::exp(x);
}

double get_Epstein(double X, double Y, double Z, double W) {
  const double e = get_NeQuickClipExp((W - Y) / Z);
  return X * e / ((1.0 + e) * (1.0 + e));
}
