#include "positioning/corrections/glonass_iono_model.h"

#include <algorithm>
#include <cmath>

#include "positioning/corrections/nequick_profile.h"

namespace {
constexpr double kPi = 3.14159265358979323846;
constexpr double kDeg = kPi / 180.0;

double sq(double x) { return x * x; }
}  // namespace

bool compute_GlonassIonoPeak(const CorrData::NeModelDataType& r, double ut, double latRad, double lonRad,
                             GlonassIonoPeakType& p) {
  const double sphi = std::sin(latRad), cphi = std::cos(latRad);
  // Geomagnetic latitude and longitude from the dipole, dip and modified dip.
  const double smlat = std::clamp(0.98 * sphi + 0.2 * cphi * std::cos(lonRad + 1.2), -1.0, 1.0);
  const double mlat = std::asin(smlat), cml = std::cos(mlat);
  const double mlon = std::atan2(0.2 * cphi * std::sin(lonRad + 1.2), 0.98 * smlat - sphi);
  const double dip = std::atan2(2.0 * smlat, cml);
  const double modip = std::atan2(dip, std::sqrt(std::max(cphi, 0.0)));

  double flux, ap, factor;
  if (r.uGloSolarSource == 0) {
    factor = r.fGlonass[0];
    ap = r.fGlonass[1];
    flux = r.fGlonass[2];
  } else if (r.uGloSolarSource == 1) {
    const double mu = modip / kDeg;
    flux = r.neQuick.fAi[0] + r.neQuick.fAi[1] * mu + r.neQuick.fAi[2] * mu * mu;
    ap = 20.0;
    factor = 1.0;
  } else {
    return false;
  }
  // Beyond the range the model was fitted to, its square roots lose their meaning.
  flux = std::clamp(flux, 0.0, 400.0);
  const double W = get_NeQuickSunspotNumber(flux);
  const double rr = std::max(0.01 * W, 0.0);

  int m0 = static_cast<int>(r.uDayOfYear / 30.5);
  m0 = std::clamp(m0, 0, 11);
  const double M = m0 + 1;  // calendar month of the seasonal terms
  const double dec = std::asin(0.39795 * std::sin((m0 - 2.167) * kPi / 6.0));
  double lt = std::fmod(ut + lonRad * 12.0 / kPi, 24.0);
  if (lt < 0.0) lt += 24.0;
  const double slt = lt * kPi / 12.0;
  const double sml = std::sin(mlat), sdec = std::sin(dec), amlat = std::fabs(mlat);

  // Peak height.
  double hmax = 240.0 + 10.0 * cml * std::cos(kPi * (M / 3.0 - 1.5)) + rr * (75.0 + 83.0 * cml * sml * sdec) +
                30.0 * std::cos(slt - 4.5 * amlat - kPi);
  const double m3000 = 1490.0 / (hmax + 176.0);

  // Peak density: diurnal, seasonal, latitudinal and solar-activity factors.
  const double season1 = 0.5 - std::cos(2.0 * M * kPi / 6.0) + std::cos(M * kPi / 6.0);
  const double D = (0.9 + 0.32 * sdec * sml) * (1.0 + sml * sq(std::cos(slt + kPi / 4.0)) * sdec) *
                   std::exp(-1.1 * (std::cos(slt - 0.873) + 1.0));
  const double Mf = 1.0 + std::pow(cml, 8) * std::pow(std::cos(amlat - 0.2618), 12) *
                              (1.0 - 0.2 * rr + 0.6 * std::sqrt(rr)) * std::exp(0.25 * (1.0 - std::cos(slt - 0.873)));
  const double E = (1.0 - 0.4 * std::pow(cml, 10)) * (1.0 + 0.6 * std::pow(cml, 10) * sq(std::cos(slt + kPi / 4.0))) *
                   Mf * (1.0 + 0.05 * season1);
  const double O = 1.0 + 0.05 * rr * std::cos(M * kPi / 6.0) * std::pow(sml, 3);
  const double P = 1.0 - 0.15 * std::exp(-std::sqrt(sq(12.0 * mlat + 4.0 * kPi / 3.0) + sq(M / 2.0 - 3.0)));
  const double F = (1.2 - 0.5 * sq(cml)) * O * P * std::exp(3.0 * std::cos(mlat * (std::sin(slt) - 1.0) / 2.0));
  const double g0 = 1.0 + rr + (0.204 + 0.03 * rr) * sq(rr);
  const double G = rr < 1.1 ? g0 : 2.39 + 1.53 * sq(sml) * (g0 - 2.39);
  const double H = 1.0 + 0.1 * std::pow(cml, 3) * std::cos(2.0 * (mlon - 7.0 * kPi / 18.0));
  const double R = 1.0 + (0.15 - 0.5 * (1.0 + rr) * (1.0 - cml) * std::exp(-0.33 * sq(M - 6.0))) *
                             std::exp(-18.0 * sq(std::fabs(dip) - 4.0 * kPi / 18.0));
  const double I = R * (1.0 + 0.03 * season1);
  const double S = 0.2 * (1.0 - std::sin(amlat - 0.5236)) * (1.0 + 0.6 * std::cos(kPi / 3.0 * (M - 4.0))) *
                   std::cos(kPi / 6.0 * (M - 1.0));
  const double oneMinusCos = 1.0 - std::cos(slt);
  const double V = oneMinusCos <= 1e-4 ? 0.0
                                       : std::pow(std::cos(mlat + dec), 3) * (0.15 + 0.3 * std::sin(amlat)) *
                                             std::pow(oneMinusCos, 0.25);
  const double T = (0.13 - 0.06 * std::sin(std::fabs(amlat - kPi / 9.0))) * std::cos(kPi / 3.0 * (M - 4.5)) - V;
  const double X = 1.0 + 0.085 * (std::pow(std::cos(kPi / 6.0 * (0.5 * M - 1.0)), 3) * std::cos(mlat - kPi / 6.0) +
                                  std::cos(mlat + kPi / 4.0) * sq(std::cos(kPi / 6.0 * (0.5 * M - 4.0))));
  const double Y = 1.3 + (0.139 * (1.0 + std::cos(mlat - kPi / 4.0)) + 0.0517 * rr) * sq(rr);
  const double Z = std::cos(mlat + dec * std::cos(slt)) - cml;
  const double U = 0.7 * (X + 0.1778 * sq(rr) / G * std::cos(kPi / 3.0 * (M - 4.3))) * std::exp(-Y * Z);
  const double J = (S + T) / G + U;
  double nmax = 0.66 * D * E * F * G * H * I * J;
  if (!(nmax > 0.0)) nmax = 0.0;

  // Thicknesses: below the peak from the density gradient at the layer's base, above it by the
  // shape factor corrected for the exosphere.
  double bbot = 0.0, btop = 0.0;
  if (nmax > 0.0) {
    const double fo2 = nmax / 0.124;
    bbot = 0.385 * nmax / (0.01 * std::exp(-3.467 + 0.857 * std::log(fo2) + 2.02 * std::log(m3000)));
    double k = (M >= 4 && M <= 9) ? 6.705 - 0.01 * W - 0.008 * hmax : -7.77 + 0.097 * sq(hmax / bbot) + 0.153 * nmax;
    k = std::clamp(k, 2.0, 8.0);
    const double x = (bbot * k - 150.0) / 100.0;
    btop = bbot * k / ((0.041163 * x - 0.183981) * x + 1.424472);
  }

  // Magnetic storm (geomagnetic index above 27): the peak moves up, the density and thicknesses change.
  if (ap > 27.0 && nmax > 0.0) {
    const double ans = 3.3 * W + 705.0;
    const double zns = (M * 30.5 - 96.0) / 365.0;
    const double bns = 0.2 * std::sin(2.0 * kPi * zns) * sphi;
    const double cslt = std::cos(15.0 * (lt - 15.0) * kDeg);
    const double tns = ans * (1.0 + bns + 0.12 * cphi * cslt) * 0.001;
    const double tnd = tns + (4.5 * ap - 100.0) * sq(sml) * 0.001;
    const double lg = std::log((2.0 - 1.8 * tns + 0.8 * sq(tns)) / (2.0 - 1.8 * tnd + 0.8 * sq(tnd)));
    const double s1 = -0.0022 * (1.0 - 0.3 * cslt) * (4.5 * ap - 100.0) * sq(sml);
    const double s2 = 0.0007 * (1.0 - 0.3 * cslt) * ap * std::pow(cml, 4);
    const double lnc = 1.3 * (lg + s1 + s2);
    hmax += 0.2 * ap * (1.0 - 0.001 * ap) * (1.0 + 0.01 * mlat);
    nmax *= std::exp(lnc);
    btop *= 1.0 - lnc;
    bbot *= 1.0 - lnc / 2.0;
  }
  p.dHmax = hmax;
  p.dNmax = nmax * factor;
  p.dBbot = bbot;
  p.dBtop = btop;
  return std::isfinite(p.dNmax) && std::isfinite(hmax) && bbot > 0.0 && btop > 0.0;
}

double get_GlonassIonoModelNe(const CorrData::NeModelDataType& r, double ut, double latRad, double lonRad,
                              double hKm) {
  GlonassIonoPeakType p{};
  if (!compute_GlonassIonoPeak(r, ut, latRad, lonRad, p)) return 0.0;
  double x;
  if (hKm <= p.dHmax) {
    x = (hKm - p.dHmax) / p.dBbot;
  } else {
    const double y = (hKm - p.dHmax) / p.dBtop;
    x = y / (1.0 + 12.5 * y / (100.0 + 0.1 * y));
  }
  x = std::clamp(x, -80.0, 80.0);
  const double e = std::exp(x);
  return 4.0 * p.dNmax * e / sq(1.0 + e) * 1e11;
}
