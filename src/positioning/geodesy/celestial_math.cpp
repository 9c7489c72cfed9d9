#include "positioning/geodesy/celestial_math.h"

#include <cmath>
#include <cstring>

namespace {
constexpr double kPi = 3.141592653589793;
constexpr double k2Pi = 2 * kPi;
constexpr double kDeg = kPi / 180;
constexpr double kArcSec = kPi / (180.0 * 3600.0);
constexpr double kJ2000 = 2451545.0;
constexpr double kDaysPerCentury = 36525.0;
constexpr double kDaySec = 86400.0;
constexpr double kAu = 149597870691.0;        // m
constexpr double kEarthRadius = 6378136.3;    // m, for the Moon's parallax

// IAU 1980 nutation series: multipliers of l, l', F, D, Omega, then the longitude coefficient
// and its rate, the obliquity coefficient and its rate (0.0001 arc second, per Julian century).
struct NutationTerm {
  int n[5];
  double s, st, c, ct;
};
constexpr NutationTerm kNutation[] = {
    {{ 0,  0,  0,  0,  1}, -171996.0, -174.2, 92025.0, 8.9},
    {{ 0,  0,  0,  0,  2}, 2062.0, 0.2, -895.0, 0.5},
    {{-2,  0,  2,  0,  1}, 46.0, 0.0, -24.0, 0.0},
    {{ 2,  0, -2,  0,  0}, 11.0, 0.0, 0.0, 0.0},
    {{-2,  0,  2,  0,  2}, -3.0, 0.0, 1.0, 0.0},
    {{ 1, -1,  0, -1,  0}, -3.0, 0.0, 0.0, 0.0},
    {{ 0, -2,  2, -2,  1}, -2.0, 0.0, 1.0, 0.0},
    {{ 2,  0, -2,  0,  1}, 1.0, 0.0, 0.0, 0.0},
    {{ 0,  0,  2, -2,  2}, -13187.0, -1.6, 5736.0, -3.1},
    {{ 0,  1,  0,  0,  0}, 1426.0, -3.4, 54.0, -0.1},
    {{ 0,  1,  2, -2,  2}, -517.0, 1.2, 224.0, -0.6},
    {{ 0, -1,  2, -2,  2}, 217.0, -0.5, -95.0, 0.3},
    {{ 0,  0,  2, -2,  1}, 129.0, 0.1, -70.0, 0.0},
    {{ 2,  0,  0, -2,  0}, 48.0, 0.0, 1.0, 0.0},
    {{ 0,  0,  2, -2,  0}, -22.0, 0.0, 0.0, 0.0},
    {{ 0,  2,  0,  0,  0}, 17.0, -0.1, 0.0, 0.0},
    {{ 0,  1,  0,  0,  1}, -15.0, 0.0, 9.0, 0.0},
    {{ 0,  2,  2, -2,  2}, -16.0, 0.1, 7.0, 0.0},
    {{ 0, -1,  0,  0,  1}, -12.0, 0.0, 6.0, 0.0},
    {{-2,  0,  0,  2,  1}, -6.0, 0.0, 3.0, 0.0},
    {{ 0, -1,  2, -2,  1}, -5.0, 0.0, 3.0, 0.0},
    {{ 2,  0,  0, -2,  1}, 4.0, 0.0, -2.0, 0.0},
    {{ 0,  1,  2, -2,  1}, 4.0, 0.0, -2.0, 0.0},
    {{ 1,  0,  0, -1,  0}, -4.0, 0.0, 0.0, 0.0},
    {{ 2,  1,  0, -2,  0}, 1.0, 0.0, 0.0, 0.0},
    {{ 0,  0, -2,  2,  1}, 1.0, 0.0, 0.0, 0.0},
    {{ 0,  1, -2,  2,  0}, -1.0, 0.0, 0.0, 0.0},
    {{ 0,  1,  0,  0,  2}, 1.0, 0.0, 0.0, 0.0},
    {{-1,  0,  0,  1,  1}, 1.0, 0.0, 0.0, 0.0},
    {{ 0,  1,  2, -2,  0}, -1.0, 0.0, 0.0, 0.0},
    {{ 0,  0,  2,  0,  2}, -2274.0, -0.2, 977.0, -0.5},
    {{ 1,  0,  0,  0,  0}, 712.0, 0.1, -7.0, 0.0},
    {{ 0,  0,  2,  0,  1}, -386.0, -0.4, 200.0, 0.0},
    {{ 1,  0,  2,  0,  2}, -301.0, 0.0, 129.0, -0.1},
    {{ 1,  0,  0, -2,  0}, -158.0, 0.0, -1.0, 0.0},
    {{-1,  0,  2,  0,  2}, 123.0, 0.0, -53.0, 0.0},
    {{ 0,  0,  0,  2,  0}, 63.0, 0.0, -2.0, 0.0},
    {{ 1,  0,  0,  0,  1}, 63.0, 0.1, -33.0, 0.0},
    {{-1,  0,  0,  0,  1}, -58.0, -0.1, 32.0, 0.0},
    {{-1,  0,  2,  2,  2}, -59.0, 0.0, 26.0, 0.0},
    {{ 1,  0,  2,  0,  1}, -51.0, 0.0, 27.0, 0.0},
    {{ 0,  0,  2,  2,  2}, -38.0, 0.0, 16.0, 0.0},
    {{ 2,  0,  0,  0,  0}, 29.0, 0.0, -1.0, 0.0},
    {{ 1,  0,  2, -2,  2}, 29.0, 0.0, -12.0, 0.0},
    {{ 2,  0,  2,  0,  2}, -31.0, 0.0, 13.0, 0.0},
    {{ 0,  0,  2,  0,  0}, 26.0, 0.0, -1.0, 0.0},
    {{-1,  0,  2,  0,  1}, 21.0, 0.0, -10.0, 0.0},
    {{-1,  0,  0,  2,  1}, 16.0, 0.0, -8.0, 0.0},
    {{ 1,  0,  0, -2,  1}, -13.0, 0.0, 7.0, 0.0},
    {{-1,  0,  2,  2,  1}, -10.0, 0.0, 5.0, 0.0},
    {{ 1,  1,  0, -2,  0}, -7.0, 0.0, 0.0, 0.0},
    {{ 0,  1,  2,  0,  2}, 7.0, 0.0, -3.0, 0.0},
    {{ 0, -1,  2,  0,  2}, -7.0, 0.0, 3.0, 0.0},
    {{ 1,  0,  2,  2,  2}, -8.0, 0.0, 3.0, 0.0},
    {{ 1,  0,  0,  2,  0}, 6.0, 0.0, 0.0, 0.0},
    {{ 2,  0,  2, -2,  2}, 6.0, 0.0, -3.0, 0.0},
    {{ 0,  0,  0,  2,  1}, -6.0, 0.0, 3.0, 0.0},
    {{ 0,  0,  2,  2,  1}, -7.0, 0.0, 3.0, 0.0},
    {{ 1,  0,  2, -2,  1}, 6.0, 0.0, -3.0, 0.0},
    {{ 0,  0,  0, -2,  1}, -5.0, 0.0, 3.0, 0.0},
    {{ 1, -1,  0,  0,  0}, 5.0, 0.0, 0.0, 0.0},
    {{ 2,  0,  2,  0,  1}, -5.0, 0.0, 3.0, 0.0},
    {{ 0,  1,  0, -2,  0}, -4.0, 0.0, 0.0, 0.0},
    {{ 1,  0, -2,  0,  0}, 4.0, 0.0, 0.0, 0.0},
    {{ 0,  0,  0,  1,  0}, -4.0, 0.0, 0.0, 0.0},
    {{ 1,  1,  0,  0,  0}, -3.0, 0.0, 0.0, 0.0},
    {{ 1,  0,  2,  0,  0}, 3.0, 0.0, 0.0, 0.0},
    {{ 1, -1,  2,  0,  2}, -3.0, 0.0, 1.0, 0.0},
    {{-1, -1,  2,  2,  2}, -3.0, 0.0, 1.0, 0.0},
    {{-2,  0,  0,  0,  1}, -2.0, 0.0, 1.0, 0.0},
    {{ 3,  0,  2,  0,  2}, -3.0, 0.0, 1.0, 0.0},
    {{ 0, -1,  2,  2,  2}, -3.0, 0.0, 1.0, 0.0},
    {{ 1,  1,  2,  0,  2}, 2.0, 0.0, -1.0, 0.0},
    {{-1,  0,  2, -2,  1}, -2.0, 0.0, 1.0, 0.0},
    {{ 2,  0,  0,  0,  1}, 2.0, 0.0, -1.0, 0.0},
    {{ 1,  0,  0,  0,  2}, -2.0, 0.0, 1.0, 0.0},
    {{ 3,  0,  0,  0,  0}, 2.0, 0.0, 0.0, 0.0},
    {{ 0,  0,  2,  1,  2}, 2.0, 0.0, -1.0, 0.0},
    {{-1,  0,  0,  0,  2}, 1.0, 0.0, -1.0, 0.0},
    {{ 1,  0,  0, -4,  0}, -1.0, 0.0, 0.0, 0.0},
    {{-2,  0,  2,  2,  2}, 1.0, 0.0, -1.0, 0.0},
    {{-1,  0,  2,  4,  2}, -2.0, 0.0, 1.0, 0.0},
    {{ 2,  0,  0, -4,  0}, -1.0, 0.0, 0.0, 0.0},
    {{ 1,  1,  2, -2,  2}, 1.0, 0.0, -1.0, 0.0},
    {{ 1,  0,  2,  2,  1}, -1.0, 0.0, 1.0, 0.0},
    {{-2,  0,  2,  4,  2}, -1.0, 0.0, 1.0, 0.0},
    {{-1,  0,  4,  0,  2}, 1.0, 0.0, 0.0, 0.0},
    {{ 1, -1,  0, -2,  0}, 1.0, 0.0, 0.0, 0.0},
    {{ 2,  0,  2, -2,  1}, 1.0, 0.0, -1.0, 0.0},
    {{ 2,  0,  2,  2,  2}, -1.0, 0.0, 0.0, 0.0},
    {{ 1,  0,  0,  2,  1}, -1.0, 0.0, 0.0, 0.0},
    {{ 0,  0,  4, -2,  2}, 1.0, 0.0, 0.0, 0.0},
    {{ 3,  0,  2, -2,  2}, 1.0, 0.0, 0.0, 0.0},
    {{ 1,  0,  2, -2,  0}, -1.0, 0.0, 0.0, 0.0},
    {{ 0,  1,  2,  0,  1}, 1.0, 0.0, 0.0, 0.0},
    {{-1, -1,  0,  2,  1}, 1.0, 0.0, 0.0, 0.0},
    {{ 0,  0, -2,  0,  1}, -1.0, 0.0, 0.0, 0.0},
    {{ 0,  0,  2, -1,  2}, -1.0, 0.0, 0.0, 0.0},
    {{ 0,  1,  0,  2,  0}, -1.0, 0.0, 0.0, 0.0},
    {{ 1,  0, -2, -2,  0}, -1.0, 0.0, 0.0, 0.0},
    {{ 0, -1,  2,  0,  1}, -1.0, 0.0, 0.0, 0.0},
    {{ 1,  1,  0, -2,  1}, -1.0, 0.0, 0.0, 0.0},
    {{ 1,  0, -2,  2,  0}, -1.0, 0.0, 0.0, 0.0},
    {{ 2,  0,  0,  2,  0}, 1.0, 0.0, 0.0, 0.0},
    {{ 0,  0,  2,  4,  2}, -1.0, 0.0, 0.0, 0.0},
    {{ 0,  1,  0,  1,  0}, 1.0, 0.0, 0.0, 0.0},
};
static_assert(sizeof kNutation / sizeof kNutation[0] == 106);

double centuries(double jd1, double jd2) { return ((jd1 - kJ2000) + jd2) / kDaysPerCentury; }

// An angle of arc seconds plus whole revolutions per century, kept apart so the large
// revolution count loses no digits; into (-pi, pi].
double argument(double arcsec, double revPerCentury, double t) {
  double a = arcsec * kArcSec + std::fmod(revPerCentury * t, 1.0) * k2Pi;
  a = std::fmod(a, k2Pi);
  if (a > kPi) a -= k2Pi;
  if (a <= -kPi) a += k2Pi;
  return a;
}

// Rotations of the frame about one axis (a vector's coordinates in the rotated frame).
void rotX(double a, CelestialMath::Matrix& m) {
  const double c = std::cos(a), s = std::sin(a);
  const double r[3][3] = {{1, 0, 0}, {0, c, s}, {0, -s, c}};
  std::memcpy(m, r, sizeof r);
}
void rotY(double a, CelestialMath::Matrix& m) {
  const double c = std::cos(a), s = std::sin(a);
  const double r[3][3] = {{c, 0, -s}, {0, 1, 0}, {s, 0, c}};
  std::memcpy(m, r, sizeof r);
}
void rotZ(double a, CelestialMath::Matrix& m) {
  const double c = std::cos(a), s = std::sin(a);
  const double r[3][3] = {{c, s, 0}, {-s, c, 0}, {0, 0, 1}};
  std::memcpy(m, r, sizeof r);
}
void identity(CelestialMath::Matrix& m) {
  const double r[3][3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
  std::memcpy(m, r, sizeof r);
}
// out = a * b (out may not be a or b).
void mul(const CelestialMath::Matrix& a, const CelestialMath::Matrix& b, CelestialMath::Matrix& out) {
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) out[i][j] = a[i][0] * b[0][j] + a[i][1] * b[1][j] + a[i][2] * b[2][j];
}
void apply(const CelestialMath::Matrix& m, const double in[3], double out[3]) {
  double r[3];
  for (int i = 0; i < 3; ++i) r[i] = m[i][0] * in[0] + m[i][1] * in[1] + m[i][2] * in[2];
  std::memcpy(out, r, sizeof r);
}
}  // namespace

CelestialMath::CelestialMath() {
  identity(prec_);
  identity(nut_);
  identity(sid_);
  identity(nutPrec_);
  identity(sidNut_);
  identity(eciEcef_);
}

void CelestialMath::julianDate(const GREGORIAN_EPOCH& g, double* jd0, double* frac) {
  // Julian day number of the civil date (Fliegel and Van Flandern 1968), then 0 h.
  const int a = (14 - g.month) / 12;
  const int y = g.year + 4800 - a;
  const int m = g.month + 12 * a - 3;
  const long jdn = g.day + (153 * m + 2) / 5 + 365L * y + y / 4 - y / 100 + y / 400 - 32045;
  *jd0 = static_cast<double>(jdn) - 0.5;
  *frac = g.hour / 24.0 + g.minute / 1440.0 + (g.second + g.fraction) / kDaySec;
}

void CelestialMath::precessionMatrix(double jd1, double jd2, Matrix& m) {
  const double t = centuries(jd1, jd2);
  const double zeta = (2306.2181 + (0.30188 + 0.017998 * t) * t) * t * kArcSec;
  const double z = (2306.2181 + (1.09468 + 0.018203 * t) * t) * t * kArcSec;
  const double theta = (2004.3109 + (-0.42665 - 0.041833 * t) * t) * t * kArcSec;
  Matrix a, b, c, ab;
  rotZ(-z, a);
  rotY(theta, b);
  rotZ(-zeta, c);
  mul(a, b, ab);
  mul(ab, c, m);
}

void CelestialMath::fundamentalArguments(double jd1, double jd2, PosData::AstroArgumentsType* a) {
  const double t = centuries(jd1, jd2);
  a->l = argument(485866.733 + (715922.633 + (31.310 + 0.064 * t) * t) * t, 1325.0, t);
  a->lp = argument(1287099.804 + (1292581.224 + (-0.577 - 0.012 * t) * t) * t, 99.0, t);
  a->F = argument(335778.877 + (295263.137 + (-13.257 + 0.011 * t) * t) * t, 1342.0, t);
  a->D = argument(1072261.307 + (1105601.328 + (-6.891 + 0.019 * t) * t) * t, 1236.0, t);
  a->Om = argument(450160.280 + (-482890.539 + (7.455 + 0.008 * t) * t) * t, -5.0, t);
  const double d = (jd1 - kJ2000) + jd2;
  a->moonLon = std::fmod(218.32 + 13.176396523 * d, 360.0) * kDeg;
}

void CelestialMath::nutationAngles(double jd1, double jd2, double* dpsi, double* deps) {
  const double t = centuries(jd1, jd2);
  PosData::AstroArgumentsType a;
  fundamentalArguments(jd1, jd2, &a);
  const double f[5] = {a.l, a.lp, a.F, a.D, a.Om};
  double dp = 0, de = 0;
  // Smallest terms first, so that the sum keeps their digits.
  for (int j = static_cast<int>(sizeof kNutation / sizeof kNutation[0]) - 1; j >= 0; --j) {
    const NutationTerm& n = kNutation[j];
    double arg = 0;
    for (int k = 0; k < 5; ++k) arg += n.n[k] * f[k];
    dp += (n.s + n.st * t) * std::sin(arg);
    de += (n.c + n.ct * t) * std::cos(arg);
  }
  *dpsi = dp * 1e-4 * kArcSec;
  *deps = de * 1e-4 * kArcSec;
}

double CelestialMath::meanObliquity(double jd1, double jd2) {
  const double t = centuries(jd1, jd2);
  return (84381.448 + (-46.8150 + (-0.00059 + 0.001813 * t) * t) * t) * kArcSec;
}

// GMST at 0 h UT1 plus the day's UT1 scaled by the sidereal rate: both are the one 1982
// expression, the rate being 1 + 8640184.812866 / (36525 * 86400) = 1.002737909350795.
double CelestialMath::gmst82(double jd1, double jd2) {
  const double d1 = jd1 < jd2 ? jd1 : jd2;
  const double d2 = jd1 < jd2 ? jd2 : jd1;
  const double t = (d1 + (d2 - kJ2000)) / kDaysPerCentury;
  const double f = kDaySec * (std::fmod(d1, 1.0) + std::fmod(d2, 1.0));
  const double sec = 24110.54841 - kDaySec / 2 + (8640184.812866 + (0.093104 - 6.2e-6 * t) * t) * t + f;
  double g = std::fmod(sec * k2Pi / kDaySec, k2Pi);
  if (g < 0) g += k2Pi;
  return g;
}

// The epoch comes in UTC; GMST wants UT1 and the precession and nutation TT. UT1 is UTC within
// 0.9 s, which turns the Earth by 14 arc seconds at most (0.4 m at the Earth's surface, 27 m at
// the Moon); TT runs 69 s ahead of UTC, which moves precession and nutation by micro-arc-seconds.
void CelestialMath::update(const GREGORIAN_EPOCH& epoch) {
  epoch_ = epoch;
  julianDate(epoch, &jd0_, &jdFrac_);
  fundamentalArguments(jd0_, jdFrac_, &args_);
  precessionMatrix(jd0_, jdFrac_, prec_);
  double dpsi, deps;
  nutationAngles(jd0_, jdFrac_, &dpsi, &deps);
  const double epsA = meanObliquity(jd0_, jdFrac_);
  Matrix a, b, c, ab;
  rotX(-(epsA + deps), a);
  rotZ(-dpsi, b);
  rotX(epsA, c);
  mul(a, b, ab);
  mul(ab, c, nut_);
  // Apparent sidereal time: GMST plus the equation of the equinoxes.
  rotZ(gmst82(jd0_, jdFrac_) + dpsi * std::cos(epsA), sid_);
  mul(nut_, prec_, nutPrec_);
  mul(sid_, nut_, sidNut_);
  mul(sid_, nutPrec_, eciEcef_);
  rot_ = &eciEcef_;
  computed_ = true;
}

void CelestialMath::ECI_ECEF(const double eci[3], double ecef[3]) const { apply(*rot_, eci, ecef); }

// The low-precision positions refer to the mean equator and equinox of date: taken back to J2000
// by the transposed precession, ECI_ECEF turns them into the Earth-fixed frame by nutation and
// sidereal rotation alone. Precessing them from J2000 as they stand would turn them by the
// precession since 2000 (0.36 deg in 2026).
void CelestialMath::ofDateToEcef(const double ofDate[3], double ecef[3]) const {
  double j2000[3];
  for (int i = 0; i < 3; ++i) j2000[i] = prec_[0][i] * ofDate[0] + prec_[1][i] * ofDate[1] + prec_[2][i] * ofDate[2];
  ECI_ECEF(j2000, ecef);
}

void CelestialMath::update_SunPos(PosData::CelestialPositionDataType* out) const {
  const double d = (jd0_ - kJ2000) + jdFrac_;
  const double M = (357.528 + 0.9856003 * d) * kDeg;
  const double L = (280.46 + 0.9856474 * d) * kDeg;
  const double lambda = L + (1.914666471 * std::sin(M) + 0.019994643 * std::sin(2 * M)) * kDeg;
  const double r = (1.000140612 - 0.016708617 * std::cos(M) - 0.000139589 * std::cos(2 * M)) * kAu;
  const double eps = (23.439291 - 3.5603559e-7 * d) * kDeg;
  out->dInertial[0] = r * std::cos(lambda);
  out->dInertial[1] = r * std::cos(eps) * std::sin(lambda);
  out->dInertial[2] = r * std::sin(eps) * std::sin(lambda);
  ofDateToEcef(out->dInertial, out->dEarthFixed);
  out->epoch = epoch_;
  out->bValid = 1;
}

void CelestialMath::update_MoonPos(PosData::CelestialPositionDataType* out) const {
  const double d = (jd0_ - kJ2000) + jdFrac_;
  const double Mm = args_.l, Ms = args_.lp, F = args_.F, D = args_.D;
  const double lambda = args_.moonLon + (6.29 * std::sin(Mm) + 1.27 * std::sin(2 * D - Mm) + 0.66 * std::sin(2 * D) +
                                         0.21 * std::sin(2 * Mm) - 0.19 * std::sin(Ms) - 0.11 * std::sin(2 * F)) *
                                            kDeg;
  const double beta = (5.13 * std::sin(F) + 0.28 * std::sin(Mm + F) + 0.28 * std::sin(Mm - F) +
                       0.17 * std::sin(2 * D - F)) *
                      kDeg;
  const double parallax = (0.9508 + 0.0518 * std::cos(Mm) + 0.0095 * std::cos(Mm - 2 * D) +
                           0.0078 * std::cos(2 * D) + 0.0028 * std::cos(2 * Mm)) *
                          kDeg;
  const double r = kEarthRadius / std::sin(parallax);
  const double eps = (23.439291 - 3.5603559e-7 * d) * kDeg;
  const double x = r * std::cos(beta) * std::cos(lambda);
  const double y = r * std::cos(beta) * std::sin(lambda);
  const double z = r * std::sin(beta);
  out->dInertial[0] = x;
  out->dInertial[1] = std::cos(eps) * y - std::sin(eps) * z;
  out->dInertial[2] = std::sin(eps) * y + std::cos(eps) * z;
  ofDateToEcef(out->dInertial, out->dEarthFixed);
  out->epoch = epoch_;
  out->bValid = 1;
}
