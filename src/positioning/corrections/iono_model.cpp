#include "positioning/corrections/iono_model.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace IonoModel {

namespace {

constexpr double kPi = std::numbers::pi;
constexpr double kNightDelay = 5e-9;  // s
constexpr double kKlobMinPeriod = 72000.0;
constexpr double kBdsMaxPeriod = 172800.0;
// Shell ratio of the DO-229 obliquity, R / (R + h) with R 6378.1363 km and h 350 km.
constexpr double kDo229ShellRatio = 0.9479796507689655;
// BeiDou B1I shell: 375 km over 6378 km.
constexpr double kBdsEarthRadius = 6378.0;
constexpr double kBdsShellHeight = 375.0;
// BDGIM shell: 400 km over 6378 km.
constexpr double kBdgimShellRatio = 0.940986728165971;
constexpr double kTecFactor = 40.28e16;  // m^3/s^2 per TECu

// The DO-229 bound from the geomagnetic latitude (semicircles) and the elevation (semicircles).
double klobVariance(bool fullBound, double phiM, double elevSc, double slantDelay, float k) {
  const double phiDeg = std::fabs(phiM) * 180.0;
  const double tauVert = phiDeg < 20.0 ? 9.0 : phiDeg < 55.0 ? 4.5 : 6.0;
  const double c = std::cos(elevSc * kPi) * kDo229ShellRatio;
  const double fpp = 1.0 / std::sqrt(1.0 - c * c);
  const double b = (fullBound ? 1.0 : 0.2) * fpp * tauVert;
  const double rel = 0.2 * slantDelay * kSpeedOfLight;
  return std::max(rel * rel, b * b) * static_cast<double>(k) * k;
}

double dayTime(double t) {
  t = std::fmod(t, 86400.0);
  return t < 0.0 ? t + 86400.0 : t;
}

double poly(const float c[4], double x) { return c[0] + x * (c[1] + x * (c[2] + x * c[3])); }

}  // namespace

void compute_KlobIonoModelCorrection(bool fullBound, double t, double lat, double lon, float elevDeg, float azimDeg,
                                     const ZRT_ION_GPS& model, float k, float& correction, float& variance) {
  const double e = elevDeg / 180.0;  // semicircles
  const double a = azimDeg * kPi / 180.0;
  const double psi = 0.0137 / (e + 0.11) - 0.022;
  const double phiI = std::clamp(lat / kPi + psi * std::cos(a), -0.416, 0.416);
  const double lamI = lon / kPi + psi * std::sin(a) / std::cos(phiI * kPi);
  const double phiM = phiI + 0.064 * std::cos((lamI - 1.617) * kPi);
  const double tl = dayTime(43200.0 * lamI + t);
  const double f = 1.0 + 16.0 * std::pow(0.53 - e, 3);
  const double amp = std::max(0.0, poly(model.alpha, phiM));
  const double per = std::max(kKlobMinPeriod, poly(model.beta, phiM));
  const double x = 2.0 * kPi * (tl - 50400.0) / per;
  double delay = kNightDelay;
  if (std::fabs(x) < 1.57) {
    const double x2 = x * x;
    delay += amp * (1.0 - x2 / 2.0 + x2 * x2 / 24.0);
  }
  delay *= f;
  correction = static_cast<float>(-delay * kSpeedOfLight * k);
  variance = static_cast<float>(klobVariance(fullBound, phiM, e, delay, k));
}

double bdsKlobVerticalDelay(const ZRT_ION_GPS& model, double localTime, double phiM) {
  const double p = std::fabs(phiM);
  const double a2 = std::max(0.0, poly(model.alpha, p));
  const double a4 = std::clamp(poly(model.beta, p), kKlobMinPeriod, kBdsMaxPeriod);
  const double dt = localTime - 50400.0;
  if (std::fabs(dt) >= a4 / 4.0) return kNightDelay;
  return kNightDelay + a2 * std::cos(2.0 * kPi * dt / a4);
}

void compute_BdsKlobIonoModelCorrection(bool fullBound, double t, double lat, double lon, float elevDeg,
                                        float azimDeg, const ZRT_ION_GPS& model, float k, float& correction,
                                        float& variance) {
  // A geometry that is not a number stays one (a plain max would make it the horizon).
  const double e = std::isnan(elevDeg) ? NAN : std::max(0.0f, elevDeg) * kPi / 180.0;
  const double a = azimDeg * kPi / 180.0;
  const double ratio = kBdsEarthRadius / (kBdsEarthRadius + kBdsShellHeight);
  const double cosE = ratio * std::cos(e);
  const double psi = kPi / 2.0 - e - std::asin(cosE);
  const double phiIpp = std::asin(std::clamp(
      std::sin(lat) * std::cos(psi) + std::cos(lat) * std::sin(psi) * std::cos(a), -1.0, 1.0));
  // The ICD's asin form of the longitude offset, as atan2 so that it holds across the pole.
  const double lamIpp =
      lon + std::atan2(std::sin(psi) * std::sin(a) * std::cos(lat), std::cos(psi) - std::sin(lat) * std::sin(phiIpp));
  const double tl = dayTime(43200.0 * lamIpp / kPi + t);
  const double vertical = bdsKlobVerticalDelay(model, tl, phiIpp / kPi);
  const double delay = vertical / std::sqrt(1.0 - cosE * cosE);
  correction = static_cast<float>(-delay * kSpeedOfLight * k);
  const double phiGeomag = phiIpp / kPi + 0.064 * std::cos((lamIpp / kPi - 1.617) * kPi);
  variance = static_cast<float>(klobVariance(fullBound, phiGeomag, e / kPi, delay, k));
}

// ---- BDGIM -------------------------------------------------------------------------------------

const int BDGIM_ni[9] = {0, 1, 1, 1, 2, 2, 2, 2, 2};
const int BDGIM_mi[9] = {0, 0, 1, -1, 0, 1, -1, 2, -2};
const int BDGIM_nj[17] = {3, 3, 3, 3, 3, 3, 3, 4, 4, 4, 4, 4, 5, 5, 5, 5, 5};
const int BDGIM_mj[17] = {0, 1, -1, 2, -2, 3, -3, 0, 1, -1, 2, -2, 0, 1, -1, 2, -2};
const double BDGIM_Tk[12] = {1, 0.5, 0.33, 14.6, 27, 121.6, 182.51, 365.25, 4028.71, 2014.35, 1342.9, 1007.18};
const double BDGIM_a0j[17] = {-0.61, -1.31, -2.00, -0.03, 0.15, -0.48, -0.40, 2.28, -0.16,
                              -0.21, -0.10, -0.13, 0.21,  0.68, 1.06,  0.00,  -0.12};
const double BDGIM_akj[12][17] = {
    {-0.51, -0.43, 0.34, -0.01, 0.17, 0.02, -0.06, 0.30, 0.44, -0.28, -0.31, -0.17, 0.04, 0.39, -0.12, 0.12, 0.00},
    {-0.06, -0.05, 0.06, 0.17, 0.15, 0.00, 0.11, -0.05, -0.16, 0.02, 0.11, 0.04, 0.12, 0.07, 0.02, -0.14, -0.14},
    {0.01, -0.03, 0.01, -0.01, 0.05, -0.03, 0.05, -0.03, -0.01, 0.00, -0.08, -0.04, 0.00, -0.02, -0.03, 0.00, -0.03},
    {-0.01, 0.00, 0.01, 0.00, 0.01, 0.00, -0.01, -0.01, 0.00, 0.00, 0.00, 0.00, 0.00, 0.00, 0.00, 0.00, 0.00},
    {0.00, 0.00, 0.03, 0.01, 0.02, 0.01, 0.00, -0.02, 0.00, 0.00, 0.00, 0.00, 0.00, 0.00, 0.00, 0.00, 0.00},
    {-0.19, -0.02, 0.12, -0.10, 0.06, 0.00, -0.02, -0.08, -0.02, -0.07, 0.01, 0.03, 0.15, 0.06, -0.05, -0.03, -0.10},
    {-0.18, 0.06, -0.55, -0.02, 0.09, -0.08, 0.00, 0.86, -0.18, -0.05, -0.07, 0.04, 0.14, -0.03, 0.37, -0.11, -0.12},
    {1.09, -0.14, -0.21, 0.52, 0.27, 0.00, 0.11, 0.17, 0.23, 0.35, -0.05, 0.02, -0.60, 0.02, 0.01, 0.27, 0.32},
    {-0.34, -0.09, -1.22, 0.05, 0.15, -0.29, -0.17, 1.58, -0.06, -0.15, 0.00, 0.13, 0.28, -0.08, 0.62, -0.01, -0.04},
    {-0.13, 0.07, -0.37, 0.05, 0.06, -0.11, -0.07, 0.46, 0.00, -0.04, 0.01, 0.07, 0.09, -0.05, 0.15, -0.01, 0.01},
    {-0.06, 0.13, -0.07, 0.03, 0.02, -0.05, -0.05, 0.01, 0.00, 0.00, 0.00, 0.00, 0.00, 0.00, 0.00, 0.00, 0.00},
    {-0.03, 0.08, -0.01, 0.04, 0.01, -0.02, -0.02, -0.04, 0.00, 0.00, 0.00, 0.00, 0.00, 0.00, 0.00, 0.00, 0.00},
};
const double BDGIM_bkj[12][17] = {
    {0.23, -0.20, -0.31, 0.16, -0.03, 0.02, 0.04, 0.18, 0.34, 0.45, 0.19, -0.25, -0.12, 0.18, 0.40, -0.09, 0.21},
    {0.02, -0.08, -0.06, -0.11, 0.15, -0.14, 0.01, 0.01, 0.04, -0.14, -0.05, 0.08, 0.08, -0.01, 0.01, 0.11, -0.12},
    {0.00, -0.02, -0.03, -0.05, -0.01, -0.07, -0.03, -0.01, 0.02, -0.01, 0.03, -0.10, 0.01, 0.05, -0.01, 0.04, 0.00},
    {0.00, -0.02, 0.01, 0.00, -0.01, 0.01, 0.00, -0.02, 0.00, 0.00, 0.00, 0.00, 0.00, 0.00, 0.00, 0.00, 0.00},
    {0.01, 0.00, 0.00, 0.01, 0.00, 0.00, 0.00, 0.00, 0.00, 0.00, 0.00, 0.00, 0.00, 0.00, 0.00, 0.00, 0.00},
    {-0.09, 0.07, 0.03, 0.06, 0.09, 0.01, 0.02, 0.00, -0.04, -0.02, -0.01, 0.01, -0.10, 0.00, -0.01, 0.02, 0.05},
    {0.15, -0.31, 0.13, 0.05, -0.09, -0.03, 0.06, -0.36, 0.08, 0.05, 0.06, -0.02, -0.05, 0.06, -0.20, 0.04, 0.07},
    {0.50, -0.08, -0.38, 0.36, 0.14, 0.04, 0.00, 0.25, 0.17, 0.27, -0.03, -0.03, -0.32, -0.10, 0.20, 0.10, 0.30},
    {0.00, -0.11, -0.22, 0.01, 0.02, -0.03, -0.01, 0.49, -0.03, -0.02, 0.01, 0.02, 0.04, -0.04, 0.16, -0.02, -0.01},
    {0.05, 0.03, 0.07, 0.02, -0.01, 0.03, 0.02, -0.04, -0.01, -0.01, 0.02, 0.03, 0.02, -0.04, -0.04, -0.01, 0.00},
    {0.03, -0.02, 0.04, -0.01, -0.03, 0.02, 0.01, 0.04, 0.00, 0.00, 0.00, 0.00, 0.00, 0.00, 0.00, 0.00, 0.00},
    {0.04, -0.02, -0.04, 0.00, -0.01, 0.00, 0.01, 0.07, 0.00, 0.00, 0.00, 0.00, 0.00, 0.00, 0.00, 0.00, 0.00},
};

namespace {

constexpr int kMaxDegree = 15;

double sectoral(int m, double s) {
  double p = 1.0;
  for (int i = 1; i <= m; ++i) p *= (2.0 * i - 1.0) * s;
  return p;
}

// Upward in degree from the sectoral term.
double legendreUp(int n, int m, double x, double s) {
  double pmm = sectoral(m, s);
  if (n == m) return pmm;
  double pm1 = x * (2.0 * m + 1.0) * pmm;
  for (int l = m + 2; l <= n; ++l) {
    const double pl = ((2.0 * l - 1.0) * x * pm1 - (l + m - 1.0) * pmm) / (l - m);
    pmm = pm1;
    pm1 = pl;
  }
  return pm1;
}

bool validDegree(int n, int m) { return n >= 0 && n <= kMaxDegree && m >= 0 && m <= n; }

}  // namespace

double getLegendre(int n, int m, double x) {
  if (!validDegree(n, m) || !(std::fabs(x) <= 1.0)) return 0.0;
  return legendreUp(n, m, x, std::sqrt((1.0 - x) * (1.0 + x)));
}

double getNormalizedLegendre(int n, int m, double x) {
  if (!validDegree(n, m)) return 0.0;
  double ratio = 1.0;  // (n-m)! / (n+m)!
  for (int i = n - m + 1; i <= n + m; ++i) ratio /= i;
  const double norm = std::sqrt((m == 0 ? 1.0 : 2.0) * (2.0 * n + 1.0) * ratio);
  return norm * getLegendre(n, m, x);
}

namespace {

double basis(int n, int m, double latSf, double lonSf) {
  const double p = getNormalizedLegendre(n, m < 0 ? -m : m, std::sin(latSf));
  return m >= 0 ? p * std::cos(m * lonSf) : p * std::sin(-m * lonSf);
}

}  // namespace

void bdgimSunFixed(double lat, double lon, double mjd, double& latSf, double& lonSf) {
  const double sp = std::sin(kBdgimPoleLat), cp = std::cos(kBdgimPoleLat);
  const double dl = lon - kBdgimPoleLon;
  const double phiM = std::asin(std::clamp(sp * std::sin(lat) + cp * std::cos(lat) * std::cos(dl), -1.0, 1.0));
  const double lamM = std::atan2(std::cos(lat) * std::sin(dl) * cp, sp * std::sin(phiM) - std::sin(lat));
  const double sun = kPi * (1.0 - 2.0 * (mjd - std::floor(mjd)));
  latSf = phiM;
  lonSf = lamM - std::atan2(std::sin(sun - kBdgimPoleLon), sp * std::cos(sun - kBdgimPoleLon));
}

double bdgimVtec(const ZRT_ION_CMP* model, double latSf, double lonSf, double mjd) {
  double vtec = 0.0;
  for (int j = 0; j < 17; ++j) {
    double beta = BDGIM_a0j[j];
    for (int k = 0; k < 12; ++k) {
      const double w = 2.0 * kPi / BDGIM_Tk[k] * mjd;
      beta += BDGIM_akj[k][j] * std::cos(w) + BDGIM_bkj[k][j] * std::sin(w);
    }
    vtec += beta * basis(BDGIM_nj[j], BDGIM_mj[j], latSf, lonSf);
  }
  if (model != nullptr)
    for (int i = 0; i < 9; ++i) vtec += model->alpha[i] * basis(BDGIM_ni[i], BDGIM_mi[i], latSf, lonSf);
  return vtec;
}

void compute_BDGlobalIonoModelCorrection(double lat, double lon, float elevDeg, float azimDeg, double mjd,
                                         const ZRT_ION_CMP* model, double freqHz, float& correction,
                                         float& variance) {
  const double e = std::isnan(elevDeg) ? NAN : std::max(0.0f, elevDeg) * kPi / 180.0;
  const double a = azimDeg * kPi / 180.0;
  const double c = kBdgimShellRatio * std::cos(e);
  const double psi = kPi / 2.0 - e - std::asin(c);
  const double phi = std::asin(std::clamp(
      std::sin(lat) * std::cos(psi) + std::cos(lat) * std::sin(psi) * std::cos(a), -1.0, 1.0));
  const double lam =
      lon + std::atan2(std::sin(psi) * std::sin(a) * std::cos(lat), std::cos(psi) - std::sin(lat) * std::sin(phi));
  double latSf = 0.0, lonSf = 0.0;
  bdgimSunFixed(phi, lam, mjd, latSf, lonSf);
  const double vtec = bdgimVtec(model, latSf, lonSf, mjd);
  const double f = 1.0 / std::sqrt(1.0 - c * c);
  const double corr = -kTecFactor * f * vtec / (freqHz * freqHz);
  correction = static_cast<float>(corr);
  variance = static_cast<float>(0.04 * corr * corr);
}

}  // namespace IonoModel
