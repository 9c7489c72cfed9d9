// The GPS rules for taking records: orbit plausibility, the almanac that wins, GPS-UTC.
#include "navigation_data/orbits/gps_records.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

TEST(GpsRecords, EphemerisPlausibility) {
  const struct { const char* what; double i0, sqrtA; std::uint8_t health; int dataType; bool ok; } rows[] = {
      {"nominal", 0.305, 5153.6, 0, 0, true},
      {"inclination just inside +0.1", 0.39999, 5153.6, 0, 0, true},
      {"inclination beyond +0.1", 0.4001, 5153.6, 0, 0, false},
      {"inclination beyond -0.1", 0.1999, 5153.6, 0, 0, false},
      {"sqrtA at -1500", 0.3, 3653.0, 0, 0, true},
      {"sqrtA below", 0.3, 3652.9, 0, 0, false},
      {"sqrtA above", 0.3, 6653.1, 0, 0, false},
      {"LNAV data bad", 0.3, 5153.6, 0x20, 0, false},
      {"LNAV other health bits", 0.3, 5153.6, 0x1F, 0, true},
      {"CNAV health bit 5 is not the data flag", 0.3, 5153.6, 0x20, 1, true},
      {"NaN", 0.3, std::nan(""), 0, 0, false},
  };
  for (const auto& r : rows) {
    ZRT_EPH_GPS e{};
    e.i0 = r.i0, e.sqrtA = r.sqrtA, e.health = r.health;
    EXPECT_EQ(is_GpsEphemerisPlausible(e, r.dataType), r.ok) << r.what;
  }
}

TEST(GpsRecords, AlmanacThatWins) {
  const struct { const char* what; std::int16_t wOld; std::int32_t tOld; std::uint8_t rOld; std::int16_t wNew; std::int32_t tNew; std::uint8_t rNew; bool stored, take; } rows[] = {
      {"empty slot", 0, 0, 0, 100, 0, 9, false, true},
      {"same rank, 1 s newer", 100, 1000, 2, 100, 1001, 2, true, true},
      {"same rank, same time", 100, 1000, 2, 100, 1000, 2, true, false},
      {"same rank, older", 100, 1000, 2, 99, 1000, 2, true, false},
      {"same rank, next week", 100, 600000, 2, 101, 0, 2, true, true},
      {"lower rank wins even older", 100, 1000, 4, 99, 0, 2, true, true},
      {"higher rank never", 100, 1000, 2, 101, 0, 4, true, false},
      {"across the 1024-week rollover", 1023, 500000, 2, 0, 0, 2, true, true},
      {"full weeks modulo 1024", 2047, 500000, 2, 1024, 0, 2, true, true},
      {"back across the rollover", 0, 1000, 2, 1023, 1000, 2, true, false},
      // Times from outside span the whole 32-bit range; their difference must not overflow.
      {"extreme times, newer", 5, INT32_MIN, 2, 5, INT32_MAX, 2, true, true},
      {"extreme times, older", 5, INT32_MAX, 2, 5, INT32_MIN, 2, true, false},
  };
  for (const auto& r : rows) {
    ZRT_ALM_GPS o{}, n{};
    o.week = r.wOld, o.toa = r.tOld, o.rank = r.rOld;
    n.week = r.wNew, n.toa = r.tNew, n.rank = r.rNew;
    EXPECT_EQ(accept_GpsAlmanac(n, r.stored ? &o : nullptr), r.take) << r.what;
  }
  ZRT_ALM_GPS o{}, n{};
  o.week = 1023, n.week = 0, n.toa = 10;
  EXPECT_EQ(get_GpsAlmanacTimeDiff(n, o), 604810.0);
}

TEST(GpsRecords, AlmanacUsable) {
  const struct { const char* what; std::uint8_t marker; std::int8_t config; float sqrtA; bool ok; } rows[] = {
      {"good", 0, 1, 5153.6f, true},
      {"no almanac", '?', 1, 5153.6f, false},
      {"configuration 128 and above", 0, -128, 5153.6f, false},
      {"orbit too small", 0, 1, 3000.f, false},
  };
  for (const auto& r : rows) {
    ZRT_ALM_GPS a{};
    a.marker = r.marker, a.config = r.config, a.sqrtA = r.sqrtA;
    EXPECT_EQ(is_GpsAlmanacUsable(a), r.ok) << r.what;
  }
}

// The UTC parameters of brdc1820.10n: A0 -8.38190317154e-9, A1 -2.13162820728e-14, tot 503808, WNt 566.
TEST(GpsRecords, GpsUtcDifference) {
  ZRT_UTC_GPS u{};
  u.A0 = -0.838190317154e-08, u.A1 = static_cast<float>(-0.213162820728e-13), u.tot = 503808;
  const double a1 = static_cast<double>(u.A1);
  const struct { int wnt, week; double tow, want; } rows[] = {
      {566, 566, 503808, u.A0},
      {566, 566, 0, u.A0 + a1 * -503808},
      {566, 1590, 345600, u.A0 + a1 * (345600 - 503808.0 + 604800.0 * 1024)},  // full WNt: as it stands
      {54, 1590, 345600, u.A0 + a1 * (345600 - 503808.0)},                       // 8-bit WNt of week 1590
      {53, 1590, 345600, u.A0 + a1 * (345600 - 503808.0 + 604800.0)},
      {255, 1536, 0, u.A0 + a1 * (-503808.0 + 604800.0)},                        // 8 bits across their wrap
  };
  for (const auto& r : rows) {
    u.WNt = static_cast<std::uint16_t>(r.wnt);
    EXPECT_DOUBLE_EQ(get_GpsUtcDifference(u, r.week, r.tow), r.want) << r.wnt << " " << r.week;
  }
}

}  // namespace
