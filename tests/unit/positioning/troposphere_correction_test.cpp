#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>

#include "positioning/corrections/troposphere_correction.h"
#include "unit/positioning/rtklib_tropo_oracle.h"

namespace {

using namespace TropoCorr;

constexpr double kDeg = M_PI / 180.0;

template <typename T>
void put(PosSetup::CorrProcessorSetupType& s, std::size_t off, T v) {
  std::memcpy(s.aBytes + off, &v, sizeof v);
}

PosSetup::CorrProcessorSetupType defaults() {
  PosSetup::CorrProcessorSetupType s{};
  PosSetup::setDefaults(s);
  return s;
}

struct Sat {
  float corr, rate, var;
  bool published;
};

Sat sat(const PosSetup::CorrProcessorSetupType& s, double latDeg, double h, double elev, bool cal = true,
        int day = 100, double factor = 1.0) {
  TropoEpochType e{};
  prepare_TropoEpoch(s, latDeg * kDeg, h, cal, day, e);
  EXPECT_EQ(e.model.bValid, 1);
  Sat r{};
  r.published = compute_SatTropo(e, factor, elev, r.corr, r.rate, r.var);
  return r;
}

double blackBare(double e) {
  const double s = std::sin(e * kDeg);
  return 1.001 / std::sqrt(0.002001 + s * s);
}

// The factory setup runs model 1 (UNB3, Black): rtklib's DO-229 model.
TEST(TropoEpoch, FactorySetupIsTheDo229Model) {
  const PosSetup::CorrProcessorSetupType s = defaults();
  for (double e : {5.0, 15.0, 45.0, 90.0}) {
    const double pos[3] = {51.0 * kDeg, 0.0, 120.0};
    const double azel[2] = {0.0, e * kDeg};
    double var = 0.0;
    const double ref = sbstropcorr(rtklib_oracle::dayStart(100), pos, azel, &var);
    const Sat r = sat(s, 51.0, 120.0, e);
    EXPECT_TRUE(r.published);
    EXPECT_NEAR(r.corr, -ref, 1e-3) << e;
    EXPECT_NEAR(r.var, var, 1e-5) << e;
  }
}

// Setup rows: which meteo and which mapping the epoch takes.
TEST(TropoEpoch, SetupChoosesMeteoAndMapping) {
  struct Row {
    const char* name;
    std::uint8_t user, e360, e361, e362, userMap;
    std::uint32_t model, mapType;
    bool userMeteo;
    std::uint32_t wantMapping;
    double wantMinElev;
  };
  const Row rows[] = {
      {"factory", 0, 1, 1, 1, 0, 1, 2, false, 0, 2.0},
      {"user meteo", 1, 1, 1, 1, 0, 1, 2, true, 0, 2.0},
      {"user meteo, 360 clear", 1, 0, 1, 1, 0, 1, 2, false, 0, 2.0},
      {"user meteo, 361 clear", 1, 1, 0, 1, 0, 1, 2, false, 0, 2.0},
      {"user meteo, 362 clear", 1, 1, 1, 0, 0, 1, 2, false, 0, 2.0},
      {"user mapping Neill", 0, 1, 1, 1, 1, 1, 2, false, 2, 3.0},
      {"user mapping type without its switch", 0, 1, 1, 1, 0, 1, 3, false, 0, 2.0},
      {"user mapping Chao on model 5", 0, 1, 1, 1, 1, 5, 1, false, 1, 5.0},
      {"user mapping Goad-Goodman on model 0", 1, 1, 1, 1, 1, 0, 3, true, 3, 5.0},
      {"model 6", 0, 1, 1, 1, 0, 6, 0, false, 3, 5.0},
  };
  for (const Row& r : rows) {
    PosSetup::CorrProcessorSetupType s = defaults();
    put<std::uint8_t>(s, 304, r.user);
    put<std::uint8_t>(s, 360, r.e360);
    put<std::uint8_t>(s, 361, r.e361);
    put<std::uint8_t>(s, 362, r.e362);
    put<std::uint8_t>(s, 305, r.userMap);
    put<std::uint32_t>(s, 308, r.model);
    put<std::uint32_t>(s, 312, r.mapType);
    TropoEpochType e{};
    prepare_TropoEpoch(s, 45.0 * kDeg, 2000.0, true, 28, e);
    SCOPED_TRACE(r.name);
    EXPECT_EQ(e.ulModelType, r.model);
    EXPECT_EQ(e.model.ulMappingType, r.wantMapping);
    EXPECT_EQ(e.model.dMinElevation, r.wantMinElev);
    if (r.userMeteo) {
      EXPECT_EQ(e.meteo.dPressure, 1010.0);
      EXPECT_EQ(e.meteo.dTemperature, 293.15);
      EXPECT_NEAR(e.meteo.dVapour, 11.694678421549668, 1e-12);
      EXPECT_EQ(e.meteo.dBeta, 0.0);
      EXPECT_EQ(e.meteo.dLambda, 0.0);
    } else {
      // UNB3 (UNB4 for model 5) at 45 N on day 28: average minus seasonal.
      EXPECT_EQ(e.meteo.dPressure, 1018.0);
      EXPECT_NEAR(e.meteo.dTemperature, r.model == 5 ? 284.65 : 272.15, 1e-9);
      EXPECT_NEAR(e.meteo.dBeta, r.model == 5 ? 0.0065 : 5.26e-3, 1e-12);
    }
  }
}

// User meteo zeroes both lapse rates: the sea-level delays hold at any height.
TEST(TropoEpoch, UserMeteoHoldsAtTheReceiver) {
  PosSetup::CorrProcessorSetupType s = defaults();
  put<std::uint8_t>(s, 304, 1);
  const double zhd = 0.0022768334644317247 * 1010.0;
  const double zwd = 1e-6 * 382000.0 * 287.054 / 9.784 * 11.694678421549668 / 293.15;
  for (double h : {0.0, 3000.0})
    EXPECT_NEAR(sat(s, 30, h, 90.0).corr, -(zhd + zwd) * blackBare(90.0), 1e-5) << h;
}

// Height limits, day without calendar, elevations below the horizon, unknown model types.
TEST(TropoEpoch, LimitsAndDefaults) {
  PosSetup::CorrProcessorSetupType s = defaults();
  const double m30 = blackBare(30.0);
  // Above 25 km model 1 publishes 0 and keeps the variance.
  Sat r = sat(s, 45, 30000.0, 30.0);
  EXPECT_TRUE(r.published);
  EXPECT_EQ(r.corr, 0.0f);
  EXPECT_EQ(r.rate, 0.0f);
  EXPECT_NEAR(r.var, 0.0144 * m30 * m30, 1e-6);
  EXPECT_NE(sat(s, 45, 24999.0, 30.0).corr, 0.0f);
  // Below -1000 m the model is evaluated at -1000 m.
  r = sat(s, 45, -5000.0, 30.0);
  const Sat at1000 = sat(s, 45, -1000.0, 30.0);
  EXPECT_EQ(r.corr, at1000.corr);
  EXPECT_EQ(r.rate, at1000.rate);
  // Model 6 stops at 18 km.
  put<std::uint32_t>(s, 308, 6);
  EXPECT_EQ(sat(s, 45, 18000.5, 30.0).corr, 0.0f);
  EXPECT_NE(sat(s, 45, 17999.5, 30.0).corr, 0.0f);
  // Types beyond 6: zero delays, unmapped variance.
  put<std::uint32_t>(s, 308, 7);
  r = sat(s, 45, 100.0, 30.0);
  EXPECT_TRUE(r.published);
  EXPECT_EQ(r.corr, 0.0f);
  EXPECT_FLOAT_EQ(r.var, 0.0144f);
  // Without a calendar date the season is that of day 152.
  put<std::uint32_t>(s, 308, 1);
  EXPECT_EQ(sat(s, 45, 100.0, 30.0, false, 28).corr, sat(s, 45, 100.0, 30.0, true, 152).corr);
  EXPECT_NE(sat(s, 45, 100.0, 30.0, true, 28).corr, sat(s, 45, 100.0, 30.0, true, 152).corr);
  // An elevation below the horizon is taken as 0, which Black evaluates at 2 degrees.
  EXPECT_EQ(sat(s, 45, 100.0, -7.0).corr, sat(s, 45, 100.0, 2.0).corr);
  // The rate term scales with the velocity factor.
  EXPECT_FLOAT_EQ(sat(s, 45, 100.0, 20.0, true, 100, 3.0).rate, 3.0f * sat(s, 45, 100.0, 20.0).rate);
  EXPECT_EQ(sat(s, 45, 100.0, 20.0, true, 100, 0.0).rate, 0.0f);
}

// Nothing unreasonable is published: a delay over 100 m, or one that is not a number (a user
// temperature of 0 K).
TEST(TropoEpoch, UnreasonableCorrectionsAreNotPublished) {
  struct Row {
    const char* name;
    double pressure, temperature;
    bool published;
  };
  const Row rows[] = {{"normal", 1010.0, 293.15, true},
                      {"100 m at zenith", 43000.0, 293.15, false},
                      {"0 K", 1010.0, 0.0, false},
                      {"NaN pressure", std::nan(""), 293.15, false}};
  for (const Row& r : rows) {
    PosSetup::CorrProcessorSetupType s = defaults();
    put<std::uint8_t>(s, 304, 1);
    PosSetup::MeteoDataType m = PosSetup::getMeteo(s);
    m.pressure = r.pressure;
    m.temperature = r.temperature;
    PosSetup::setMeteo(s, m);
    for (std::uint32_t model : {1u, 4u, 6u}) {
      put<std::uint32_t>(s, 308, model);
      EXPECT_EQ(sat(s, 45, 100.0, 30.0).published, r.published) << r.name << " model " << model;
    }
  }
}

}  // namespace

// Random setups, heights, latitudes and elevations: any values stored in the setup (huge,
// negative, not a number) give either a published finite correction or none, and never a
// conversion the float outputs cannot hold.
TEST(TropoEpoch, RandomInputsPublishOnlyFiniteBoundedValues) {
  std::uint64_t x = 88172645463325252ull;
  auto next = [&x] {
    x ^= x << 13;
    x ^= x >> 7;
    x ^= x << 17;
    return x;
  };
  auto anyDouble = [&] {
    double d;
    const std::uint64_t bits = next();
    std::memcpy(&d, &bits, sizeof d);
    return (next() & 3) == 0 ? d : std::ldexp(double(next() % 20001) - 10000.0, int(next() % 20) - 4);
  };
  for (int i = 0; i < 20000; ++i) {
    PosSetup::CorrProcessorSetupType s = defaults();
    for (std::size_t off = 304; off < 376; ++off)
      if (next() % 4 == 0) s.aBytes[off] = static_cast<std::uint8_t>(next());
    put<std::uint32_t>(s, 308, static_cast<std::uint32_t>(next() % 9));
    if (next() % 2) put<double>(s, 320 + 8 * (next() % 3), anyDouble());
    TropoEpochType e{};
    prepare_TropoEpoch(s, anyDouble(), anyDouble(), next() % 2, int(next() % 400), e);
    float c = 0, r = 0, v = 0;
    if (compute_SatTropo(e, anyDouble(), anyDouble(), c, r, v)) {
      EXPECT_LE(std::fabs(c), 100.0f);
      EXPECT_TRUE(std::isfinite(r));
      EXPECT_LE(v, 10000.0f);
    }
  }
}
