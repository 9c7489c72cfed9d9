// The simulator's ionosphere (--iono): a thin shell 350 km up whose vertical delay on BeiDou B1I
// is a plane over latitude and longitude, so that the BeiDou GEOs' grid (corners every 5 degrees,
// interpolated bilinearly) describes it exactly up to the grid's 0.125 m steps. A signal's delay
// is the vertical delay at its pierce point times the shell's obliquity factor, scaled by
// (f_B1I / f)^2; pierce point and obliquity as RTCA DO-229 A.4.4.10.1 gives them.
#pragma once

#include <cmath>

namespace sim {

struct SkyIono {
  static constexpr double kRe = 6378136.3;       // m, DO-229's Earth radius
  static constexpr double kShell = 350000.0;     // m
  static constexpr double kB1I = 1561.098e6;     // Hz
  static constexpr double kPi = 3.14159265358979323846;

  // Vertical delay on B1I (m) at a latitude and longitude (degrees): 4 m at 22.5 N, 115 E (near
  // Hong Kong), rising by 0.2 m a degree northward and 0.05 m a degree eastward, never below 0; a
  // whole number of the grid's 0.125 m steps at every grid point.
  static double vertical(double latDeg, double lonDeg) {
    const double v = 4.0 + 0.2 * (latDeg - 22.5) + 0.05 * (lonDeg - 115.0);
    return v > 0.0 ? v : 0.0;
  }

  // The pierce point (degrees) and obliquity factor of a ray at elevation `el` and azimuth `az`
  // (rad) from a receiver at `latDeg`, `lonDeg`.
  static void piercePoint(double latDeg, double lonDeg, double el, double az, double& ippLat, double& ippLon,
                          double& obliquity) {
    const double lat = latDeg * kPi / 180, lon = lonDeg * kPi / 180;
    const double rp = kRe / (kRe + kShell) * std::cos(el);
    const double psi = kPi / 2 - el - std::asin(rp);
    const double phi = std::asin(std::sin(lat) * std::cos(psi) + std::cos(lat) * std::sin(psi) * std::cos(az));
    const double lam = lon + std::asin(std::sin(psi) * std::sin(az) / std::cos(phi));
    ippLat = phi * 180 / kPi;
    ippLon = lam * 180 / kPi;
    obliquity = 1.0 / std::sqrt(1.0 - rp * rp);
  }

  // The delay (m) of a signal of frequency `freq` (Hz).
  static double delay(double latDeg, double lonDeg, double el, double az, double freq) {
    double pl = 0, pn = 0, f = 1;
    piercePoint(latDeg, lonDeg, el, az, pl, pn, f);
    return vertical(pl, pn) * f * (kB1I / freq) * (kB1I / freq);
  }
};

}  // namespace sim
