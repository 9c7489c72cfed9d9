#include <gtest/gtest.h>

#include <cmath>

#include "positioning/corrections/iono_model.h"

namespace {

constexpr double kDeg = M_PI / 180.0;

// The standard library's associated Legendre functions (no Condon-Shortley phase) as the truth.
TEST(BdgimLegendre, AgreesWithStandardLibrary) {
  for (int n = 0; n <= 15; ++n)
    for (int m = 0; m <= n; ++m)
      for (double x : {-1.0, -0.93, -0.5, 0.0, 0.17, 0.6, 0.999, 1.0}) {
        const double want = std::assoc_legendre(n, m, x);
        const double tol = 1e-12 * std::max(1.0, std::fabs(want));
        EXPECT_NEAR(IonoModel::getLegendre(n, m, x), want, tol) << n << " " << m << " " << x;
        double ratio = 1.0;
        for (int i = n - m + 1; i <= n + m; ++i) ratio /= i;
        EXPECT_NEAR(IonoModel::getNormalizedLegendre(n, m, x),
                    std::sqrt((m == 0 ? 1 : 2) * (2 * n + 1) * ratio) * want, tol * 10);
      }
}

TEST(BdgimLegendre, OutOfRangeIsZero) {
  EXPECT_EQ(IonoModel::getLegendre(2, 3, 0.5), 0.0);
  EXPECT_EQ(IonoModel::getLegendre(-1, 0, 0.5), 0.0);
  EXPECT_EQ(IonoModel::getLegendre(16, 0, 0.5), 0.0);
  EXPECT_EQ(IonoModel::getLegendre(2, 1, 1.5), 0.0);
  EXPECT_EQ(IonoModel::getNormalizedLegendre(3, -1, 0.5), 0.0);
}

// ---- the published example, recomputed here from the interface document's formulas ----

struct Vec {
  double x, y, z;
};

void geodetic(const Vec& r, double& lat, double& lon) {
  const double a = 6378137.0, f = 1 / 298.257223563, e2 = f * (2 - f);
  const double p = std::hypot(r.x, r.y);
  lon = std::atan2(r.y, r.x);
  lat = std::atan2(r.z, p * (1 - e2));
  for (int i = 0; i < 10; ++i) {
    const double n = a / std::sqrt(1 - e2 * std::sin(lat) * std::sin(lat));
    const double h = p / std::cos(lat) - n;
    lat = std::atan2(r.z, p * (1 - e2 * n / (n + h)));
  }
}

void azel(const Vec& rcv, const Vec& sat, double lat, double lon, double& az, double& el) {
  const Vec d{sat.x - rcv.x, sat.y - rcv.y, sat.z - rcv.z};
  const double e = -std::sin(lon) * d.x + std::cos(lon) * d.y;
  const double n = -std::sin(lat) * std::cos(lon) * d.x - std::sin(lat) * std::sin(lon) * d.y + std::cos(lat) * d.z;
  const double u = std::cos(lat) * std::cos(lon) * d.x + std::cos(lat) * std::sin(lon) * d.y + std::sin(lat) * d.z;
  az = std::atan2(e, n);
  el = std::atan2(u, std::hypot(e, n));
}

// Geomagnetic latitude and longitude by rotating the point's unit vector into the pole's frame.
void rotateToPole(double lat, double lon, double& mlat, double& mlon) {
  const double pl = 80.27 * kDeg, pn = -72.58 * kDeg;
  const Vec p{std::cos(lat) * std::cos(lon - pn), std::cos(lat) * std::sin(lon - pn), std::sin(lat)};
  const double c = M_PI / 2 - pl;
  const Vec q{p.x * std::cos(c) - p.z * std::sin(c), p.y, p.x * std::sin(c) + p.z * std::cos(c)};
  mlat = std::asin(q.z);
  mlon = std::atan2(q.y, q.x);
}

double wrap(double a) { return std::remainder(a, 2 * M_PI); }

// Sun-fixed longitude: the point's geomagnetic longitude less that of the point under the mean sun.
TEST(BdgimFrame, SunFixedTransformEqualsRotation) {
  for (double lat : {-70.0, -20.0, 0.0, 33.3, 80.0})
    for (double lon : {-170.0, -60.0, 0.0, 110.0, 179.0})
      for (double mjd : {59158.0 + 17.0 / 24, 59158.25, 60000.9}) {
        double sl, so, ml, mo, sunl, suno;
        IonoModel::bdgimSunFixed(lat * kDeg, lon * kDeg, mjd, sl, so);
        rotateToPole(lat * kDeg, lon * kDeg, ml, mo);
        rotateToPole(0.0, M_PI * (1 - 2 * (mjd - std::floor(mjd))), sunl, suno);
        EXPECT_NEAR(sl, ml, 1e-12);
        EXPECT_NEAR(wrap(so - (mo - suno)), 0.0, 1e-12) << lat << " " << lon << " " << mjd;
      }
}

double basis(int n, int m, double lat, double lon) {
  const int am = std::abs(m);
  double ratio = 1.0;
  for (int i = n - am + 1; i <= n + am; ++i) ratio /= i;
  const double p = std::sqrt((am == 0 ? 1 : 2) * (2 * n + 1) * ratio) * std::assoc_legendre(n, am, std::sin(lat));
  return m >= 0 ? p * std::cos(am * lon) : p * std::sin(am * lon);
}

// 2020-11-05 17:00 (a centre of the two-hour coefficient groups): the example's station, satellite
// and broadcast coefficients.
TEST(BdgimExample, VtecAndSlantAgainstDocumentFormulas) {
  const Vec rcv{-2159945.3149, 4383237.1901, 4085412.3177};
  const Vec sat{-34342443.2642, 24456393.0586, 12949.4754};
  const double alpha[9] = {13.82642069, -1.78004616, 5.172,      3.1303094, -4.58961329,
                           0.32483867,  -0.07802383, 1.2431259, 0.37763627};
  const double mjd = 59158.0 + 17.0 / 24.0;
  ZRT_ION_CMP model{};
  for (int i = 0; i < 9; ++i) model.alpha[i] = static_cast<float>(alpha[i]);
  model.valid = 1;

  double lat, lon, az, el;
  geodetic(rcv, lat, lon);
  azel(rcv, sat, lat, lon, az, el);
  // Pierce point, 400 km over 6378 km.
  const double ratio = 6378.0 / 6778.0;
  const double psi = M_PI / 2 - el - std::asin(ratio * std::cos(el));
  const double ilat = std::asin(std::sin(lat) * std::cos(psi) + std::cos(lat) * std::sin(psi) * std::cos(az));
  const double ilon = lon + std::asin(std::sin(psi) * std::sin(az) / std::cos(ilat));
  double ml, mo, sunl, suno;
  rotateToPole(ilat, ilon, ml, mo);
  rotateToPole(0.0, M_PI * (1 - 2 * (mjd - std::floor(mjd))), sunl, suno);
  const double slon = mo - suno;

  // Predicted part: each term's coefficient from its constant and 12 periodic pairs.
  const int nj[17] = {3, 3, 3, 3, 3, 3, 3, 4, 4, 4, 4, 4, 5, 5, 5, 5, 5};
  const int mj[17] = {0, 1, -1, 2, -2, 3, -3, 0, 1, -1, 2, -2, 0, 1, -1, 2, -2};
  double vtec = 0.0;
  for (int j = 0; j < 17; ++j) {
    double b = IonoModel::BDGIM_a0j[j];
    for (int k = 0; k < 12; ++k) {
      const double w = 2 * M_PI / IonoModel::BDGIM_Tk[k];
      b += IonoModel::BDGIM_akj[k][j] * std::cos(w * mjd) + IonoModel::BDGIM_bkj[k][j] * std::sin(w * mjd);
    }
    vtec += b * basis(nj[j], mj[j], ml, slon);
  }
  const int ni[9] = {0, 1, 1, 1, 2, 2, 2, 2, 2};
  const int mi[9] = {0, 0, 1, -1, 0, 1, -1, 2, -2};
  for (int i = 0; i < 9; ++i) vtec += model.alpha[i] * basis(ni[i], mi[i], ml, slon);

  double sl, so;
  IonoModel::bdgimSunFixed(ilat, ilon, mjd, sl, so);
  EXPECT_NEAR(sl, ml, 1e-9);
  EXPECT_NEAR(IonoModel::bdgimVtec(&model, sl, so, mjd), vtec, 1e-6);
  EXPECT_GT(vtec, 5.0);
  EXPECT_LT(vtec, 40.0);

  const double f = 1575.42e6;
  const double fo = 1.0 / std::sqrt(1 - std::pow(ratio * std::cos(el), 2));
  const double want = -40.28e16 * fo * vtec / (f * f);
  float c = 0, v = 0;
  IonoModel::compute_BDGlobalIonoModelCorrection(lat, lon, static_cast<float>(el / kDeg), static_cast<float>(az / kDeg),
                                                 mjd, &model, f, c, v);
  EXPECT_NEAR(c, want, 2e-4);
  EXPECT_NEAR(v, 0.04 * c * c, 1e-6 * v);
  // Published figures of this run, for the record.
  RecordProperty("vtec", std::to_string(vtec));
  RecordProperty("slant_B1C_m", std::to_string(c));
}

// Without a model only the predicted part counts; a negative elevation is evaluated at 0.
TEST(BdgimModel, NoModelAndNegativeElevation) {
  const double mjd = 59158.7;
  double sl, so;
  IonoModel::bdgimSunFixed(0.5, 2.0, mjd, sl, so);
  ZRT_ION_CMP zero{};
  EXPECT_EQ(IonoModel::bdgimVtec(nullptr, sl, so, mjd), IonoModel::bdgimVtec(&zero, sl, so, mjd));
  float c0, v0, cn, vn;
  IonoModel::compute_BDGlobalIonoModelCorrection(0.5, 2.0, 0.0f, 45.0f, mjd, &zero, 1.2e9, c0, v0);
  IonoModel::compute_BDGlobalIonoModelCorrection(0.5, 2.0, -5.0f, 45.0f, mjd, &zero, 1.2e9, cn, vn);
  EXPECT_EQ(c0, cn);
  EXPECT_EQ(v0, vn);
}

}  // namespace
