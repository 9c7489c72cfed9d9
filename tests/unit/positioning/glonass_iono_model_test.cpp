// The GLONASS ionosphere model's density profile and its solar-flux settings, checked against the
// profile formula written out here from the model's peak values, and its climatology against
// plausible bounds.
#include <gtest/gtest.h>

#include <cmath>

#include "positioning/corrections/glonass_iono_model.h"
#include "positioning/corrections/nequick_task.h"

namespace {

constexpr double kDeg = 3.14159265358979323846 / 180.0;

CorrData::NeModelDataType request(int source, float factor, float ap, float flux) {
  CorrData::NeModelDataType r{};
  r.iModelType = kNeModelGlonass;
  r.uGloSolarSource = static_cast<std::uint8_t>(source);
  r.fGlonass[0] = factor, r.fGlonass[1] = ap, r.fGlonass[2] = flux;
  r.uDayOfYear = 106;
  r.calendar = GREGORIAN_EPOCH{2024, 4, 15, 1, 106, 12, 0, 0, 0.0};
  r.neQuick.fAi[0] = 150.0f, r.neQuick.fAi[1] = 0.2f, r.neQuick.fAi[2] = 0.001f;
  return r;
}

double epsteinShape(double x) { return 4.0 * std::exp(x) / std::pow(1.0 + std::exp(x), 2); }

// N_peak at the peak height; below it x = (h - hmax) / Bbot, above it the reduced height
// y / (1 + 12.5 y / (100 + 0.1 y)) with y = (h - hmax) / Btop.
TEST(GlonassIonoModel, ProfileAroundThePeak) {
  const CorrData::NeModelDataType r = request(0, 1.0f, 10.0f, 150.0f);
  const double lat = 50.0 * kDeg, lon = 30.0 * kDeg, ut = 12.0;
  GlonassIonoPeakType p{};
  ASSERT_TRUE(compute_GlonassIonoPeak(r, ut, lat, lon, p));
  EXPECT_NEAR(get_GlonassIonoModelNe(r, ut, lat, lon, p.dHmax), p.dNmax * 1e11, 1e-9 * p.dNmax * 1e11);
  for (double dh : {-150.0, -60.0, -5.0, 5.0, 100.0, 600.0, 5000.0, 19000.0}) {
    const double h = p.dHmax + dh;
    double x = dh / p.dBbot;
    if (dh > 0) {
      const double y = dh / p.dBtop;
      x = y / (1.0 + 12.5 * y / (100.0 + 0.1 * y));
    }
    EXPECT_NEAR(get_GlonassIonoModelNe(r, ut, lat, lon, h), p.dNmax * 1e11 * epsteinShape(x),
                1e-9 * p.dNmax * 1e11) << dh;
  }
}

// Daytime mid-latitude climatology: the peak between 200 and 450 km with 1e11 .. 5e12 m^-3, the
// thickness below it under the one above; noon denser than 03:00 local; more flux, more density.
TEST(GlonassIonoModel, PlausibleClimatology) {
  GlonassIonoPeakType noon{}, night{}, high{};
  ASSERT_TRUE(compute_GlonassIonoPeak(request(0, 1.0f, 10.0f, 100.0f), 12.0, 45 * kDeg, 0.0, noon));
  ASSERT_TRUE(compute_GlonassIonoPeak(request(0, 1.0f, 10.0f, 100.0f), 3.0, 45 * kDeg, 0.0, night));
  ASSERT_TRUE(compute_GlonassIonoPeak(request(0, 1.0f, 10.0f, 200.0f), 12.0, 45 * kDeg, 0.0, high));
  EXPECT_GT(noon.dHmax, 200.0);
  EXPECT_LT(noon.dHmax, 450.0);
  EXPECT_GT(noon.dNmax, 1.0);
  EXPECT_LT(noon.dNmax, 50.0);
  EXPECT_LT(noon.dBbot, noon.dBtop);
  EXPECT_GT(noon.dNmax, night.dNmax);
  EXPECT_GT(high.dNmax, noon.dNmax);
  CorrData::NeModelDataType r = request(0, 1.0f, 10.0f, 100.0f);
  r.dRcvLat = 45 * kDeg, r.dSatLat = 50 * kDeg, r.dSatLon = 5 * kDeg, r.dSatHeight = 19100e3;
  const double tecu = compute_NeModelSlantTEC(r) * 1e-16;
  EXPECT_GT(tecu, 5.0);
  EXPECT_LT(tecu, 200.0);
}

// Where the solar flux comes from: setting 0 the record (density factor, geomagnetic index, flux);
// setting 1 the NeQuick coefficients at the point's modified dip, index 20, factor 1; any other
// setting no density.
TEST(GlonassIonoModel, SolarFluxBySetting) {
  const double lat = 35.0 * kDeg, lon = -20.0 * kDeg, ut = 9.5, h = 350.0;
  // Modified dip of the point, from the dipole, written out here.
  const double sm = 0.98 * std::sin(lat) + 0.2 * std::cos(lat) * std::cos(lon + 1.2);
  const double mlat = std::asin(sm);
  const double dip = std::atan2(2.0 * sm, std::cos(mlat));
  const double mu = std::atan2(dip, std::sqrt(std::cos(lat))) / kDeg;
  const float flux = static_cast<float>(150.0 + 0.2 * mu + 0.001 * mu * mu);
  const double fromNeQuick = get_GlonassIonoModelNe(request(1, 7.0f, 99.0f, 1.0f), ut, lat, lon, h);
  EXPECT_NEAR(fromNeQuick, get_GlonassIonoModelNe(request(0, 1.0f, 20.0f, flux), ut, lat, lon, h), 1e-6 * fromNeQuick);
  const double one = get_GlonassIonoModelNe(request(0, 1.0f, 10.0f, 120.0f), ut, lat, lon, h);
  EXPECT_NEAR(get_GlonassIonoModelNe(request(0, 2.5f, 10.0f, 120.0f), ut, lat, lon, h), 2.5 * one, 1e-9 * one);
  EXPECT_NE(get_GlonassIonoModelNe(request(0, 1.0f, 10.0f, 180.0f), ut, lat, lon, h), one);
  EXPECT_EQ(get_GlonassIonoModelNe(request(0, 1.0f, 27.0f, 120.0f), ut, lat, lon, h),
            get_GlonassIonoModelNe(request(0, 1.0f, 5.0f, 120.0f), ut, lat, lon, h))
      << "no storm term up to index 27";
  EXPECT_NE(get_GlonassIonoModelNe(request(0, 1.0f, 28.0f, 120.0f), ut, lat, lon, h), one) << "storm above 27";
  for (int s : {2, 7, 255}) EXPECT_EQ(get_GlonassIonoModelNe(request(s, 1.0f, 10.0f, 120.0f), ut, lat, lon, h), 0.0) << s;
  for (float bad : {-1000.0f, 1e9f, NAN})
    EXPECT_TRUE(std::isfinite(get_GlonassIonoModelNe(request(0, 1.0f, 10.0f, bad), ut, lat, lon, h))) << bad;
}

}  // namespace
