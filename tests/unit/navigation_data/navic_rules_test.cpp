// The store's NavIC rules, a row per rule edge: accuracy by URA index, orbit plausibility,
// health, the L5 group delay, which almanac wins and its orbit size.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "navigation_data/orbits/navic_eph.h"

TEST(NavicRules, AccuracyByUraIndex) {
  const struct {
    int index;
    double metres;
  } rows[] = {{0, 2.0}, {1, 2.8}, {6, 16.0}, {7, 32.0}, {14, 4096.0}, {15, 20000.0}, {16, 0.0}, {255, 0.0}};
  for (const auto& r : rows) EXPECT_DOUBLE_EQ(get_NavicEphemerisAccuracy(r.index), r.metres) << r.index;
}

TEST(NavicRules, EphemerisPlausibility) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const struct {
    double sqrtA, i0;
    bool ok;
  } rows[] = {
      {6493.0, 0.16, true},   {6493.0 + 1500, 0.16, true}, {6493.0 - 1500, 0.16, true}, {6493.0 + 1501, 0.16, false},
      {4992.0, 0.16, false},  {6493.0, 0.0, true},         {6493.0, 0.1, true},         {6493.0, -0.1, true},
      {6493.0, 0.26, true},   {6493.0, 0.27, false},       {6493.0, 0.3, false},        {6493.0, -0.16, false},
      {nan, 0.16, false},     {6493.0, nan, false},
  };
  for (const auto& r : rows) {
    ZRT_EPH_IRS e{};
    e.sqrtA = r.sqrtA, e.i0 = r.i0;
    EXPECT_EQ(is_NavicEphemerisPlausible(e), r.ok) << r.sqrtA << " " << r.i0;
  }
}

// The L5 flag (bit 1) and the alert bit (flag bit 5) make a record unusable; the S flag does
// not concern an L5 receiver; the autonav bit is no health matter.
TEST(NavicRules, EphemerisHealth) {
  const struct {
    std::uint8_t health;
    std::uint16_t flags;
    bool healthy;
  } rows[] = {{0, 0, true}, {1, 0, true}, {2, 0, false}, {3, 0, false}, {0, 0x20, false}, {0, 0x01, true},
              {0, 0x40, true}};
  for (const auto& r : rows) {
    ZRT_EPH_IRS e{};
    e.health = r.health, e.flags = r.flags;
    EXPECT_EQ(is_NavicEphemerisHealthy(e), r.healthy) << int(r.health) << " " << r.flags;
  }
}

TEST(NavicRules, L5GroupDelayIsTgdTimesGamma) {
  ZRT_EPH_IRS e{};
  e.tgd = -1.862645149231e-09f;
  float delay[6] = {};
  std::uint8_t source[6] = {};
  update_NavicTgd(e, 1, delay, source);
  EXPECT_EQ(source[0], 0) << "only data type 0";
  update_NavicTgd(e, 0, delay, source);
  // The squared ratio of the S and L5 carrier frequencies.
  EXPECT_NEAR(delay[0], e.tgd * (2492.028 / 1176.45) * (2492.028 / 1176.45), 1e-15);
  EXPECT_EQ(source[0], 2);
  for (int k = 1; k < 6; ++k) EXPECT_EQ(source[k], 0);
}

TEST(NavicRules, AlmanacUsableAndNewer) {
  const struct {
    float sqrtA;
    bool usable;
  } sizes[] = {{6493.4f, true}, {4993.5f, true}, {7993.3f, true}, {4993.0f, false}, {8000.0f, false}, {0.0f, false}};
  for (const auto& r : sizes) {
    ZRT_ALM_IRS a{};
    a.sqrtA = r.sqrtA;
    EXPECT_EQ(is_NavicAlmanacUsable(a), r.usable) << r.sqrtA;
  }
  const struct {
    int storedWeek, storedToa, week, toa;
    bool taken;
  } rows[] = {{205, 1000, 205, 1001, true},  {205, 1000, 205, 1000, false}, {205, 1000, 204, 500000, false},
              {205, 1000, 206, 0, true},     {1023, 0, 0, 0, true},         {0, 0, 1023, 0, false},
              {205, 1000, 205 + 1024, 1001, true}};
  for (const auto& r : rows) {
    ZRT_ALM_IRS s{}, n{};
    s.week = static_cast<std::int16_t>(r.storedWeek), s.toa = r.storedToa;
    n.week = static_cast<std::int16_t>(r.week), n.toa = r.toa;
    EXPECT_EQ(accept_NavicAlmanac(n, &s), r.taken) << r.storedWeek << "/" << r.storedToa << " " << r.week << "/" << r.toa;
    EXPECT_TRUE(accept_NavicAlmanac(n, nullptr));
  }
}

TEST(NavicRules, GnssOffsetAcrossWeeks) {
  ZRT_UTC_IRS u{};
  u.gnssA0 = 3.2e-9f, u.gnssA1 = 1e-14f, u.gnssA2 = 0, u.gnssT0 = 336, u.gnssWeek = 205, u.gnssId = 0;
  double off = 0;
  ASSERT_TRUE(get_NavicGnssOffset(u, 205, 1336, &off));
  EXPECT_NEAR(off, 3.2e-9 + 1e-14 * 1000, 1e-16);
  ASSERT_TRUE(get_NavicGnssOffset(u, 206, 0, &off));
  EXPECT_NEAR(off, 3.2e-9 + 1e-14 * (604800 - 336), 1e-16);
  ASSERT_TRUE(get_NavicGnssOffset(u, 205 + 1024, 1336, &off)) << "the full week against the 10-bit one";
  EXPECT_NEAR(off, 3.2e-9 + 1e-14 * 1000, 1e-16);
  u.gnssId = 255;
  EXPECT_FALSE(get_NavicGnssOffset(u, 205, 1336, &off));
}
