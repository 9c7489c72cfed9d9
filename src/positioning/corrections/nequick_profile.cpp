#include "positioning/corrections/nequick_profile.h"

#include <algorithm>
#include <cmath>

#include "positioning/corrections/epstein.h"
#include "positioning/corrections/nequick_tables.h"

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kDeg = kPi / 180.0;

// Smooth switch between f1 (x > 0) and f2 (x < 0) with sharpness alpha.
double join(double f1, double f2, double alpha, double x) {
  const double e = get_NeQuickClipExp(alpha * x);
  return (f1 * e + f2) / (e + 1.0);
}

// Legendre degrees per longitude order of the foF2 and M(3000)F2 series.
constexpr int kF2Orders[9] = {12, 12, 9, 5, 2, 1, 1, 1, 1};
constexpr int kFm3Orders[7] = {7, 8, 6, 3, 2, 1, 1};

double legendreSeries(const double* coeff, const int* degrees, int orders, const double* sinModipPow,
                      const double* cosNLon, const double* sinNLon, double cosLat) {
  double sum = 0.0;
  int k = 0;
  for (; k < degrees[0]; ++k) sum += coeff[k] * sinModipPow[k];
  double latPow = cosLat;
  for (int n = 1; n < orders; ++n) {
    for (int j = 0; j < degrees[n]; ++j, k += 2)
      sum += sinModipPow[j] * latPow * (coeff[k] * cosNLon[n - 1] + coeff[k + 1] * sinNLon[n - 1]);
    latPow *= cosLat;
  }
  return sum;
}

}  // namespace

double get_3thOrderInterp(const double z[4], double x) {
  if (std::fabs(x) < 5e-11) return z[1];
  const double g1 = z[2] + z[1], g2 = z[2] - z[1];
  const double g3 = z[3] + z[0], g4 = (z[3] - z[0]) / 3.0;
  const double a0 = 9.0 * g1 - g3, a1 = 9.0 * g2 - g4, a2 = g3 - g1, a3 = g4 - g2;
  const double d = 2.0 * x - 1.0;
  return (((a3 * d + a2) * d + a1) * d + a0) / 16.0;
}

double get_NeQuickModip(double latDeg, double lonDeg) {
  if (latDeg <= -90.0) return -90.0;
  if (latDeg >= 90.0) return 90.0;
  // Rows from -95 degrees: the four rows around the latitude start one row below the one at or
  // under it; a latitude exactly on a row takes the interval below it.
  const double la = (latDeg + 90.0) / 5.0;
  const int row = static_cast<int>(std::floor(la - 1e-6));
  const double x = la - row;
  double lon = std::fmod(lonDeg + 180.0, 360.0);
  if (lon < 0.0) lon += 360.0;  // now 0 .. 360 from -180 degrees
  const double lo = lon / 10.0;
  int col = static_cast<int>(std::floor(lo));
  const double y = lo - col;
  if (col >= 36) col -= 36;
  double zc[4];
  for (int k = 0; k < 4; ++k) {
    double zr[4];
    for (int j = 0; j < 4; ++j) zr[j] = NeQuickModipFile[row + j][col + k];
    zc[k] = get_3thOrderInterp(zr, x);
  }
  return get_3thOrderInterp(zc, y);
}

double get_NeQuickSunspotNumber(double az) { return std::sqrt(167273.0 + (az - 63.7) * 1123.6) - 408.99; }

NeQuickIonisationLevelType compute_NeQuickIonisationLevel(float ai[3], double latRad, double lonRad) {
  NeQuickIonisationLevelType out{};
  out.dModip = get_NeQuickModip(latRad / kDeg, lonRad / kDeg);
  if (ai[0] == 0.0f && ai[1] == 0.0f && ai[2] == 0.0f) ai[0] = static_cast<float>(kNeQuickDefaultAz);
  const double mu = out.dModip;
  double az = ai[0] + ai[1] * mu + ai[2] * mu * mu;
  if (az < 0.0) {
    out.dAz = 0.0;
    out.dAzr = -99.63635124181906;
  } else if (az > 400.0) {
    out.dAz = 400.0;
    out.dAzr = 329.3457501841557;
  } else {
    out.dAz = az;
    out.dAzr = get_NeQuickSunspotNumber(az);
  }
  return out;
}

double compute_NeQuickSolarZenithAngle(int month, double ut, double latRad, double lonDeg) {
  // Sun's declination at the middle of the month.
  const double t = 30.5 * month - 15.0 + (18.0 - ut) / 24.0;
  const double am = (0.9856 * t - 3.289) * kDeg;
  const double al = am + (1.916 * std::sin(am) + 0.020 * std::sin(2.0 * am) + 282.634) * kDeg;
  const double sdec = 0.39782 * std::sin(al);
  const double cdec = std::sqrt(1.0 - sdec * sdec);
  double lt = ut + lonDeg / 15.0;
  lt = std::fmod(lt, 24.0);
  if (lt < 0.0) lt += 24.0;
  double cchi = std::sin(latRad) * sdec + std::cos(latRad) * cdec * std::cos(kPi / 12.0 * (12.0 - lt));
  cchi = std::clamp(cchi, -1.0, 1.0);
  const double chi = std::atan2(std::sqrt(1.0 - cchi * cchi), cchi) / kDeg;
  return join(90.0 - 0.24 * get_NeQuickClipExp(20.0 - 0.2 * chi), chi, 12.0, chi - 86.23292796211615);
}

void compute_F2IntermediateData(int month, double ut, double azr, F2IntermediateDataType& out) {
  out.iMonth = month;
  out.dUt = ut;
  out.dAzr = azr;
  const double* m = NeQuickCCIRFile[std::clamp(month, 1, 12) - 1];
  const double r = azr / 100.0;
  const double T = (15.0 * ut - 180.0) * kDeg;
  double sn[6], cs[6];
  for (int k = 0; k < 6; ++k) {
    sn[k] = std::sin((k + 1) * T);
    cs[k] = std::cos((k + 1) * T);
  }
  auto series = [&](const double* low, const double* high, int rows, int cols, double* outRow) {
    for (int i = 0; i < rows; ++i) {
      auto a = [&](int j) { return low[i * cols + j] * (1.0 - r) + high[i * cols + j] * r; };
      double v = a(0);
      for (int k = 0; 2 * k + 2 < cols; ++k) v += a(2 * k + 1) * sn[k] + a(2 * k + 2) * cs[k];
      outRow[i] = v;
    }
  };
  series(m, m + kNeQuickF2Rows * kNeQuickF2Cols, kNeQuickF2Rows, kNeQuickF2Cols, out.dCF2);
  const double* fm3 = m + kNeQuickFm3Offset;
  series(fm3, fm3 + kNeQuickFm3Rows * kNeQuickFm3Cols, kNeQuickFm3Rows, kNeQuickFm3Cols, out.dCm3);
}

void get_foF2_M3000(const F2IntermediateDataType& f2, double modipDeg, double latRad, double lonRad,
                    double& foF2, double& m3000) {
  double sinPow[12];
  sinPow[0] = 1.0;
  const double s = std::sin(modipDeg * kDeg);
  for (int k = 1; k < 12; ++k) {
    const double v = sinPow[k - 1] * s;
    sinPow[k] = std::fabs(v) <= 1e-30 ? 0.0 : v;
  }
  double cn[8], sn[8];
  for (int n = 0; n < 8; ++n) {
    cn[n] = std::cos((n + 1) * lonRad);
    sn[n] = std::sin((n + 1) * lonRad);
  }
  const double cl = std::cos(latRad);
  foF2 = legendreSeries(f2.dCF2, kF2Orders, 9, sinPow, cn, sn, cl);
  // Below 1 the peak-height formula has no meaning.
  m3000 = std::max(legendreSeries(f2.dCm3, kFm3Orders, 7, sinPow, cn, sn, cl), 1.0);
}

void compute_NeQuickCriticalFrequency(const NeQuickContextType& c, double latRad, double chiEffDeg,
                                      NeQuickLayersType& l) {
  static constexpr double kSeason[12] = {-1, -1, 0, 0, 1, 1, 1, 1, 0, 0, -1, -1};
  const double ee = get_NeQuickClipExp(0.3 * latRad / kDeg);
  const double seas = kSeason[std::clamp(c.iMonth, 1, 12) - 1] * (ee - 1.0) / (ee + 1.0);
  const double cosChi = std::max(std::cos(chiEffDeg * kDeg), 0.0);
  const double f = (1.112 - 0.019 * seas) * std::sqrt(std::sqrt(c.dAz)) *
                   get_NeQuickClipExp(0.3 * std::log(cosChi));
  l.foE = std::sqrt(f * f + 0.49);
  double f1 = join(1.4 * l.foE, 0.0, 1000.0, l.foE - 2.0);
  f1 = join(0.0, f1, 1000.0, l.foE - f1);
  f1 = join(f1, 0.85 * f1, 60.0, 0.85 * l.foF2 - f1);
  l.foF1 = f1 < 1e-6 ? 0.0 : f1;
  l.NmE = 0.124 * l.foE * l.foE;
  l.NmF1 = 0.124 * l.foF1 * l.foF1;
  l.NmF2 = 0.124 * l.foF2 * l.foF2;
}

void compute_NeQuickAmplitudes(NeQuickLayersType& l) {
  // Each peak density less what the other layers put at its height.
  l.A1 = 4.0 * l.NmF2;
  const double eSubF2 = 4.0 * l.NmE - 4.0 * get_Epstein(l.A1, l.hmF2, l.B2bot, l.hmE);
  if (l.foF1 >= 0.5) {
    const double f1SubF2 = 4.0 * l.NmF1 - 4.0 * get_Epstein(l.A1, l.hmF2, l.B2bot, l.hmF1);
    double aE = 4.0 * l.NmE, aF1 = 0.0;
    for (int i = 0; i < 5; ++i) {
      aF1 = f1SubF2 - 4.0 * get_Epstein(aE, l.hmE, l.BEtop, l.hmF1);
      aF1 = join(aF1, 0.8 * l.NmF1, 1.0, aF1 - 0.8 * l.NmF1);
      aE = eSubF2 - 4.0 * get_Epstein(aF1, l.hmF1, l.B1bot, l.hmE);
    }
    l.A2 = aF1;
    l.A3 = aE;
  } else {
    l.A2 = 0.0;
    l.A3 = eSubF2;
  }
  l.A3 = join(l.A3, 0.05, 60.0, l.A3 - 0.005);
}

void compute_NeQuickLayersProfile(int month, double azr, NeQuickLayersType& l) {
  // Peak heights.
  l.hmE = 120.0;
  const double M = l.M3000, M2 = M * M;
  double den = M - 0.012;
  if (l.foE >= 1e-30) {
    double r = l.foF2 / l.foE;
    r = join(r, 1.75, 20.0, r - 1.75);
    den += 0.253 / (r - 1.215);
  }
  l.hmF2 = 1490.0 * M * std::sqrt((0.0196 * M2 + 1.0) / (1.2967 * M2 - 1.0)) / den - 176.0;
  l.hmF1 = (l.hmF2 + l.hmE) / 2.0;
  // Thicknesses.
  l.B2bot = 0.385 * l.NmF2 /
            (0.01 * std::exp(-3.467 + 0.857 * std::log(l.foF2 * l.foF2) + 2.02 * std::log(M)));
  l.B1top = 0.3 * (l.hmF2 - l.hmF1);
  l.B1bot = 0.5 * (l.hmF1 - l.hmE);
  l.BEtop = std::max(l.B1bot, 7.0);
  l.BEbot = 5.0;
  compute_NeQuickAmplitudes(l);
  // Topside: shape factor, then the thickness corrected for the exosphere.
  double k = (month >= 4 && month <= 9) ? 6.705 - 0.014 * azr - 0.008 * l.hmF2
                                        : -7.77 + 0.097 * std::pow(l.hmF2 / l.B2bot, 2) + 0.153 * l.NmF2;
  k = join(k, 2.0, 1.0, k - 2.0);
  k = join(8.0, k, 1.0, k - 8.0);
  const double h0 = k * l.B2bot;
  const double x = (h0 - 150.0) / 100.0;
  l.H0 = h0 / ((0.041163 * x - 0.183981) * x + 1.424472);
  l.NmF2Peak = get_NeQuickBottomSideNe(l, l.hmF2);
}

double get_NeQuickBottomSideNe(const NeQuickLayersType& l, double hKm) {
  const double B[3] = {l.B2bot, hKm > l.hmF1 ? l.B1top : l.B1bot, hKm > l.hmE ? l.BEtop : l.BEbot};
  const double A[3] = {l.A1, l.A2, l.A3};
  const double h = std::max(hKm, 100.0);
  const double t = std::exp(10.0 / (std::fabs(h - l.hmF2) + 1.0));
  const double arg[3] = {(h - l.hmF2) / B[0], (h - l.hmF1) / B[1] * t, (h - l.hmE) / B[2] * t};
  double s[3], ds[3], sum = 0.0, sds = 0.0;
  for (int i = 0; i < 3; ++i) {
    if (std::fabs(arg[i]) > 25.0) {
      s[i] = ds[i] = 0.0;
    } else {
      const double e = std::exp(arg[i]);
      s[i] = A[i] * e / ((e + 1.0) * (e + 1.0));
      ds[i] = (1.0 - e) / (1.0 + e) / B[i];
    }
    sum += s[i];
    sds += s[i] * ds[i];
  }
  if (hKm >= 100.0) return sum * 1e11;
  // Below 100 km a Chapman-like tail joined smoothly to the value and slope at 100 km.
  const double bc = 1.0 - 10.0 * sds / sum;
  const double z = (hKm - 100.0) / 10.0;
  return sum * get_NeQuickClipExp(1.0 - bc * z - get_NeQuickClipExp(-z)) * 1e11;
}

double get_NeQuickTopSideNe(const NeQuickLayersType& l, double hKm) {
  constexpr double g = 0.125, r = 100.0;
  const double dh = hKm - l.hmF2;
  double e = get_NeQuickClipExp(dh / (l.H0 * (1.0 + r * g * dh / (r * l.H0 + g * dh))));
  e = e > 1e11 ? 1.0 / e : e / ((1.0 + e) * (1.0 + e));
  return 4.0 * e * l.NmF2Peak;
}

double get_NeQuickIonoModelNe(const NeQuickContextType& c, double latRad, double lonRad, double hKm) {
  NeQuickLayersType l{};
  const double lonDeg = lonRad / kDeg;
  const double modip = get_NeQuickModip(latRad / kDeg, lonDeg);
  get_foF2_M3000(c.f2, modip, latRad, lonRad, l.foF2, l.M3000);
  compute_NeQuickCriticalFrequency(c, latRad, compute_NeQuickSolarZenithAngle(c.iMonth, c.dUt, latRad, lonDeg), l);
  compute_NeQuickLayersProfile(c.iMonth, c.dAzr, l);
  return hKm > l.hmF2 ? get_NeQuickTopSideNe(l, hKm) : get_NeQuickBottomSideNe(l, hKm);
}

bool get_NeQuickTime(const CorrData::NeModelDataType& r, int& month, double& ut) {
  const GREGORIAN_EPOCH& c = r.calendar;
  if (c.month < 1 || c.month > 12 || c.hour < 0 || c.hour > 23 || c.minute < 0 || c.minute > 59 ||
      c.second < 0 || c.second > 60 || !(c.fraction >= 0.0 && c.fraction < 1.0))
    return false;
  month = c.month;
  ut = c.hour + c.minute / 60.0 + (c.second + c.fraction) / 3600.0;
  if (ut >= 24.0) ut = 24.0 - 1e-9;  // a leap second stays in its day
  return true;
}
