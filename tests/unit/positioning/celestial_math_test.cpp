// Earth orientation against the published IAU SOFA test values (t_sofa_c.c), and the Sun and the
// Moon against the Astronomical Almanac's low-precision formulas written out here and against
// published positions (Meeus, Astronomical Algorithms, examples 25.a and 47.a; the equinox and
// solstice instants of the US Naval Observatory; a JPL Horizons ephemeris line).
#include <gtest/gtest.h>

#include <cmath>

#include "positioning/geodesy/celestial_math.h"

namespace {

constexpr double kPi = 3.141592653589793;
constexpr double kDeg = kPi / 180;
constexpr double kAu = 149597870691.0;

GREGORIAN_EPOCH ep(int y, int mo, int d, int h = 0, int mi = 0, int s = 0, double frac = 0) {
  GREGORIAN_EPOCH g{};
  g.year = y;
  g.month = mo;
  g.day = d;
  g.hour = h;
  g.minute = mi;
  g.second = s;
  g.fraction = frac;
  return g;
}

double angleDeg(const double a[3], const double b[3]) {
  const double na = std::sqrt(a[0] * a[0] + a[1] * a[1] + a[2] * a[2]);
  const double nb = std::sqrt(b[0] * b[0] + b[1] * b[1] + b[2] * b[2]);
  double c = (a[0] * b[0] + a[1] * b[1] + a[2] * b[2]) / (na * nb);
  c = c > 1 ? 1 : c;
  return std::acos(c) / kDeg;
}

void unitFromRaDec(double raDeg, double decDeg, double u[3]) {
  u[0] = std::cos(decDeg * kDeg) * std::cos(raDeg * kDeg);
  u[1] = std::cos(decDeg * kDeg) * std::sin(raDeg * kDeg);
  u[2] = std::sin(decDeg * kDeg);
}

// ---- IAU SOFA reference values -------------------------------------------------------------

TEST(CelestialMathSofa, Nut80) {
  double dpsi, deps;
  CelestialMath::nutationAngles(2400000.5, 53736.0, &dpsi, &deps);
  EXPECT_NEAR(dpsi, -0.9643658353226563966e-5, 1e-13);
  EXPECT_NEAR(deps, 0.4060051006879713322e-4, 1e-13);
}

TEST(CelestialMathSofa, Obl80) {
  EXPECT_NEAR(CelestialMath::meanObliquity(2400000.5, 54388.0), 0.4090751347643816218, 1e-14);
}

TEST(CelestialMathSofa, Gmst82) {
  EXPECT_NEAR(CelestialMath::gmst82(2400000.5, 53736.0), 1.754174981860675096, 1e-12);
}

TEST(CelestialMathSofa, Pmat76) {
  const double ref[3][3] = {{0.9999995504328350733, 0.8696632209480960785e-3, 0.3779153474959888345e-3},
                            {-0.8696632209485112192e-3, 0.9999996218428560614, -0.1643284776111886407e-6},
                            {-0.3779153474950335077e-3, -0.1643306746147366896e-6, 0.9999999285899790119}};
  CelestialMath::Matrix m;
  CelestialMath::precessionMatrix(2400000.5, 50123.9999, m);
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) EXPECT_NEAR(m[i][j], ref[i][j], 1e-14) << i << j;
}

// The whole rotation: ECI_ECEF = R3(GAST) N P. At 2006-01-01 0 h against SOFA's Gst94 and
// Nutm80 (Gst94 adds two terms of 0.003 arc second to the equation of the equinoxes that the
// 1982 form lacks); at 1996-02-10 23:59:51.36 against SOFA's Pnm80 (the product N P), where
// SOFA's date 50123.9999 is itself 3e-12 day off in binary, 2e-11 rad of Earth rotation.
TEST(CelestialMathSofa, RotationMatchesSofaProducts) {
  struct Row {
    const char* name;
    GREGORIAN_EPOCH epoch;
    double mjd;
    double np[3][3];  // N P, or N alone (then P is the class's own, checked above)
    bool nutationOnly;
    double gast;      // < 0: GMST82 plus dpsi cos(eps) of the class's own parts
    double tol;
  };
  const Row rows[] = {
      {"2006 Nutm80/Gst94", ep(2006, 1, 1), 53736.0,
       {{0.9999999999534999268, 0.8847935789636432161e-5, 0.3835906502164019142e-5},
        {-0.8847780042583435924e-5, 0.9999999991366569963, -0.4060052702727130809e-4},
        {-0.3836265729708478796e-5, 0.4060049308612638555e-4, 0.9999999991684415129}},
       true, 1.754166136020645203, 3e-8},
      {"1996 Pnm80", ep(1996, 2, 10, 23, 59, 51, 0.36), 50123.9999,
       {{0.9999995831934611169, 0.8373654045728124011e-3, 0.3639121916933106191e-3},
        {-0.8373804896118301316e-3, 0.9999996485439674092, 0.4130202510421549752e-4},
        {-0.3638774789072144473e-3, -0.4160674085851722359e-4, 0.9999999329310274805}},
       false, -1, 5e-11},
  };
  for (const Row& r : rows) {
    CelestialMath cm;
    cm.update(r.epoch);
    CelestialMath::Matrix np;
    if (r.nutationOnly) {
      CelestialMath::Matrix p;
      CelestialMath::precessionMatrix(2400000.5, r.mjd, p);
      for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
          np[i][j] = r.np[i][0] * p[0][j] + r.np[i][1] * p[1][j] + r.np[i][2] * p[2][j];
    } else {
      for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) np[i][j] = r.np[i][j];
    }
    double gast = r.gast;
    if (gast < 0) {
      double dpsi, deps;
      CelestialMath::nutationAngles(2400000.5, r.mjd, &dpsi, &deps);
      gast = CelestialMath::gmst82(2400000.5, r.mjd) + dpsi * std::cos(CelestialMath::meanObliquity(2400000.5, r.mjd));
    }
    for (int k = 0; k < 3; ++k) {
      double e[3] = {0, 0, 0}, got[3];
      e[k] = 1;
      cm.ECI_ECEF(e, got);
      const double tod[3] = {np[0][k], np[1][k], np[2][k]};
      const double want[3] = {std::cos(gast) * tod[0] + std::sin(gast) * tod[1],
                              -std::sin(gast) * tod[0] + std::cos(gast) * tod[1], tod[2]};
      for (int i = 0; i < 3; ++i) EXPECT_NEAR(got[i], want[i], r.tol) << r.name << " column " << k << " row " << i;
    }
  }
}

TEST(CelestialMath, JulianDateOfCalendarEpochs) {
  struct Row {
    GREGORIAN_EPOCH g;
    double jd;
  };
  const Row rows[] = {
      {ep(2000, 1, 1, 12), 2451545.0},            // J2000
      {ep(1858, 11, 17), 2400000.5},              // MJD 0
      {ep(1992, 10, 13), 2448908.5},              // Meeus 25.a
      {ep(2024, 2, 29, 18, 30, 15, 0.5), 2460369.5 + (18 + 30 / 60.0 + 15.5 / 3600.0) / 24},
  };
  for (const Row& r : rows) {
    double jd0, frac;
    CelestialMath::julianDate(r.g, &jd0, &frac);
    EXPECT_NEAR(jd0 + frac, r.jd, 1e-9) << r.g.year << "-" << r.g.month << "-" << r.g.day;
  }
}

// ---- Independent low-precision positions (Astronomical Almanac, sections C and D) ----------

// Sun: ecliptic longitude, distance (AU) and obliquity, with the Almanac's rounded constants.
void aaSun(double jd, double* lambdaDeg, double* rAu, double* epsDeg) {
  const double n = jd - 2451545.0;
  const double L = 280.460 + 0.9856474 * n;
  const double g = (357.528 + 0.9856003 * n) * kDeg;
  *lambdaDeg = L + 1.915 * std::sin(g) + 0.020 * std::sin(2 * g);
  *rAu = 1.00014 - 0.01671 * std::cos(g) - 0.00014 * std::cos(2 * g);
  *epsDeg = 23.439 - 0.0000004 * n;
}

// Moon: the Almanac's series in T with its own argument constants.
void aaMoon(double jd, double* lambdaDeg, double* betaDeg, double* parallaxDeg) {
  const double T = (jd - 2451545.0) / 36525;
  auto s = [&](double a, double b) { return std::sin((a + b * T) * kDeg); };
  auto c = [&](double a, double b) { return std::cos((a + b * T) * kDeg); };
  *lambdaDeg = 218.32 + 481267.881 * T + 6.29 * s(135.0, 477198.87) - 1.27 * s(259.3, -413335.36) +
               0.66 * s(235.7, 890534.22) + 0.21 * s(269.9, 954397.74) - 0.19 * s(357.5, 35999.05) -
               0.11 * s(186.5, 966404.03);
  *betaDeg = 5.13 * s(93.3, 483202.02) + 0.28 * s(228.2, 960400.89) - 0.28 * s(318.3, 6003.15) -
             0.17 * s(217.6, -407332.21);
  *parallaxDeg = 0.9508 + 0.0518 * c(135.0, 477198.87) + 0.0095 * c(259.3, -413335.36) +
                 0.0078 * c(235.7, 890534.22) + 0.0028 * c(269.9, 954397.74);
}

void eclToEq(double lambdaDeg, double betaDeg, double epsDeg, double u[3]) {
  const double l = lambdaDeg * kDeg, b = betaDeg * kDeg, e = epsDeg * kDeg;
  const double x = std::cos(b) * std::cos(l), y = std::cos(b) * std::sin(l), z = std::sin(b);
  u[0] = x;
  u[1] = std::cos(e) * y - std::sin(e) * z;
  u[2] = std::sin(e) * y + std::cos(e) * z;
}

// GMST (deg) by the Almanac's linear form in days from J2000, good to 0.1 s over this century.
double aaGmstDeg(double jd) { return std::fmod(280.46061837 + 360.98564736629 * (jd - 2451545.0), 360.0); }

// Earth-fixed direction of a body given its right ascension and declination of date.
void ecefFromRaDec(double jd, double raDeg, double decDeg, double u[3]) {
  unitFromRaDec(raDeg - aaGmstDeg(jd), decDeg, u);
}

double jdOf(const GREGORIAN_EPOCH& g) {
  double a, b;
  CelestialMath::julianDate(g, &a, &b);
  return a + b;
}

struct BodyRow {
  const char* name;
  GREGORIAN_EPOCH epoch;
  double raDeg, decDeg;  // published, apparent of date
  double distanceM;      // published; 0 none
};

TEST(CelestialMath, SunAgainstAlmanacFormulasAndPublishedPositions) {
  const BodyRow rows[] = {
      {"Meeus 25.a 1992-10-13", ep(1992, 10, 13), 198.38083, -7.78507, 0.99766 * kAu},
      {"March equinox 2000-03-20 07:35", ep(2000, 3, 20, 7, 35), 0.0, 0.0, 0},
      {"March equinox 2024-03-20 03:06", ep(2024, 3, 20, 3, 6), 0.0, 0.0, 0},
      {"June solstice 2024-06-20 20:51", ep(2024, 6, 20, 20, 51), 90.0, 23.4362, 0},
      {"December solstice 2026-12-21 20:50", ep(2026, 12, 21, 20, 50), 270.0, -23.4360, 0},
  };
  for (const BodyRow& r : rows) {
    CelestialMath cm;
    cm.update(r.epoch);
    PosData::CelestialPositionDataType sun{};
    cm.update_SunPos(&sun);
    EXPECT_EQ(sun.bValid, 1) << r.name;
    EXPECT_EQ(sun.epoch.year, r.epoch.year) << r.name;
    const double jd = jdOf(r.epoch);
    double lam, rAu, eps, aa[3];
    aaSun(jd, &lam, &rAu, &eps);
    eclToEq(lam, 0, eps, aa);
    EXPECT_LT(angleDeg(sun.dInertial, aa), 0.01) << r.name;
    const double dist = std::sqrt(sun.dInertial[0] * sun.dInertial[0] + sun.dInertial[1] * sun.dInertial[1] +
                                  sun.dInertial[2] * sun.dInertial[2]);
    EXPECT_NEAR(dist / kAu, rAu, 2e-5) << r.name;
    double pub[3], pubFixed[3];
    unitFromRaDec(r.raDeg, r.decDeg, pub);
    EXPECT_LT(angleDeg(sun.dInertial, pub), 0.05) << r.name;
    ecefFromRaDec(jd, r.raDeg, r.decDeg, pubFixed);
    EXPECT_LT(angleDeg(sun.dEarthFixed, pubFixed), 0.05) << r.name;
    if (r.distanceM > 0) {
      EXPECT_NEAR(dist, r.distanceM, 2e-4 * r.distanceM) << r.name;
    }
  }
}

TEST(CelestialMath, MoonAgainstAlmanacFormulasAndPublishedPositions) {
  const BodyRow rows[] = {
      {"Meeus 47.a 1992-04-12", ep(1992, 4, 12), 134.688470, 13.768368, 368409.7e3},
      {"Horizons 2016-02-21", ep(2016, 2, 21), (8 + 52 / 60.0 + 8.11 / 3600) * 15, 14 + 2 / 60.0 + 40.2 / 3600, 0},
  };
  for (const BodyRow& r : rows) {
    CelestialMath cm;
    cm.update(r.epoch);
    PosData::CelestialPositionDataType moon{};
    cm.update_MoonPos(&moon);
    EXPECT_EQ(moon.bValid, 1) << r.name;
    const double jd = jdOf(r.epoch);
    double lam, beta, par, aa[3];
    aaMoon(jd, &lam, &beta, &par);
    eclToEq(lam, beta, 23.439 - 0.0000004 * (jd - 2451545.0), aa);
    EXPECT_LT(angleDeg(moon.dInertial, aa), 0.02) << r.name;
    const double dist = std::sqrt(moon.dInertial[0] * moon.dInertial[0] + moon.dInertial[1] * moon.dInertial[1] +
                                  moon.dInertial[2] * moon.dInertial[2]);
    EXPECT_NEAR(dist, 6378136.3 / std::sin(par * kDeg), 2e4) << r.name;
    double pub[3], pubFixed[3];
    unitFromRaDec(r.raDeg, r.decDeg, pub);
    EXPECT_LT(angleDeg(moon.dInertial, pub), 0.3) << r.name;
    ecefFromRaDec(jd, r.raDeg, r.decDeg, pubFixed);
    EXPECT_LT(angleDeg(moon.dEarthFixed, pubFixed), 0.3) << r.name;
    if (r.distanceM > 0) {
      EXPECT_NEAR(dist, r.distanceM, 5e-3 * r.distanceM) << r.name;
    }
  }
}

// Before any update the rotation is the identity and the epoch is J2000: the Sun's distance is
// the formula's at d = 0.
TEST(CelestialMath, BeforeUpdateIdentityAndJ2000) {
  CelestialMath cm;
  EXPECT_FALSE(cm.computed());
  PosData::CelestialPositionDataType sun{};
  cm.update_SunPos(&sun);
  for (int k = 0; k < 3; ++k) EXPECT_EQ(sun.dEarthFixed[k], sun.dInertial[k]);
  const double dist = std::sqrt(sun.dInertial[0] * sun.dInertial[0] + sun.dInertial[1] * sun.dInertial[1] +
                                sun.dInertial[2] * sun.dInertial[2]);
  const double M = 357.528 * kDeg;
  EXPECT_NEAR(dist, (1.000140612 - 0.016708617 * std::cos(M) - 0.000139589 * std::cos(2 * M)) * kAu, 1.0);
  const double v[3] = {1, 2, 3};
  double out[3];
  cm.ECI_ECEF(v, out);
  for (int k = 0; k < 3; ++k) EXPECT_EQ(out[k], v[k]);
  cm.update(ep(2026, 12, 7, 6));
  EXPECT_TRUE(cm.computed());
}

}  // namespace
