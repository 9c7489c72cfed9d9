// Earth orientation and the Sun and the Moon for the correction models: the rotation from the
// inertial frame (mean equator and equinox of J2000) to the Earth-fixed frame at an epoch, and
// low-precision positions of the Sun and the Moon in both frames.
//
// Sources: IAU 1976 precession (Lieske et al. 1977), IAU 1980 nutation (Seidelmann 1982,
// Explanatory Supplement to the Astronomical Almanac 3.222), GMST 1982 (Aoki et al. 1982); the
// Sun and the Moon by the low-precision formulas of the Astronomical Almanac (section C for the
// Sun, 0.01 deg; section D for the Moon, 0.3 deg in longitude, 0.2 deg in latitude). Polar
// motion is left out (below 0.5 arc second). The rotation agrees with the IAU SOFA routines
// Pmat76, Nut80, Obl80 and Gmst82 to 1e-12.
#pragma once

#include "positioning/data_servers/pos_data_types.h"
#include "positioning/gregorian_epoch.h"

class CelestialMath {
 public:
  using Matrix = double[3][3];

  CelestialMath();
  // Takes the epoch (UTC): Julian date, fundamental arguments, precession, nutation, sidereal
  // time and the inertial-to-Earth-fixed rotation.
  void update(const GREGORIAN_EPOCH& epoch);
  // Positions (m) of the Sun and the Moon at the epoch of the last update: inertial in the mean
  // equator and equinox of date, Earth-fixed by nutation and sidereal rotation; valid flag set.
  void update_SunPos(PosData::CelestialPositionDataType* out) const;
  void update_MoonPos(PosData::CelestialPositionDataType* out) const;
  // A vector of the inertial J2000 frame into the Earth-fixed frame of the last update.
  void ECI_ECEF(const double eci[3], double ecef[3]) const;

  bool computed() const { return computed_; }
  double julianDate() const { return jd0_ + jdFrac_; }
  const PosData::AstroArgumentsType& astroArguments() const { return args_; }

  // The published expressions, each alone. A date is a two-part Julian date (jd1 + jd2, split
  // anywhere, as IAU SOFA takes it) so that the sum keeps its sub-millisecond digits.
  // Julian date of a calendar epoch: day at 0 h and the fraction of the day.
  static void julianDate(const GREGORIAN_EPOCH& g, double* jd0, double* frac);
  // Precession matrix, mean J2000 to mean of date (IAU 1976).
  static void precessionMatrix(double jd1, double jd2, Matrix& m);
  // Nutation in longitude and obliquity (rad), IAU 1980, 106 terms.
  static void nutationAngles(double jd1, double jd2, double* dpsi, double* deps);
  // Mean obliquity of the ecliptic (rad), IAU 1980.
  static double meanObliquity(double jd1, double jd2);
  // Greenwich mean sidereal time (rad, 0..2 pi), IAU 1982, of a UT1 date.
  static double gmst82(double jd1, double jd2);
  // Delaunay arguments (IAU 1980) and the Moon's mean longitude.
  static void fundamentalArguments(double jd1, double jd2, PosData::AstroArgumentsType* a);

 private:
  // A vector of the mean equator and equinox of date into the Earth-fixed frame, through ECI_ECEF.
  void ofDateToEcef(const double ofDate[3], double ecef[3]) const;

  bool computed_ = false;
  double jd0_ = 2451545.0;  // J2000
  double jdFrac_ = 0;
  GREGORIAN_EPOCH epoch_{};
  PosData::AstroArgumentsType args_{};
  Matrix prec_;      // mean J2000 to mean of date
  Matrix nut_;       // mean of date to true of date
  Matrix sid_;       // true of date to Earth-fixed (apparent sidereal time)
  Matrix nutPrec_;   // mean J2000 to true of date
  Matrix sidNut_;    // mean of date to Earth-fixed
  Matrix eciEcef_;   // mean J2000 to Earth-fixed
  const Matrix* rot_ = &eciEcef_;  // what ECI_ECEF multiplies by
};
