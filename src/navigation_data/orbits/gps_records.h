// The GPS rules for taking broadcast records into the satellite data store: orbit
// plausibility of an ephemeris, which almanac wins, and the GPS-UTC difference.
#pragma once

#include "navigation_data/store/nav_records.h"

// Limits of a plausible GPS orbit (semicircles; sqrt(m)).
constexpr double kGpsPlausibleInclination = 0.3;
constexpr double kGpsPlausibleInclinationTol = 0.1;
constexpr double kGpsPlausibleSqrtA = 5153.0;
constexpr double kGpsPlausibleSqrtATol = 1500.0;
constexpr std::uint8_t kGpsHealthBadData = 0x20;  // LNAV health bit 5: all navigation data bad

// An ephemeris whose orbit cannot be a GPS orbit (inclination within 0.1 semicircle of 0.3,
// sqrt(A) within 1500 of 5153) is kept but never used for positions; for data type 0 a health
// byte with bit 5 set counts as implausible too.
bool is_GpsEphemerisPlausible(const ZRT_EPH_GPS& e, int dataType);

// Seconds from the stored almanac's reference time to the new one's, weeks compared modulo
// 1024 and a week difference beyond +-512 taken across the rollover.
double get_GpsAlmanacTimeDiff(const ZRT_ALM_GPS& incoming, const ZRT_ALM_GPS& stored);
// Whether an almanac replaces the one stored (null: the slot holds no valid almanac): a lower
// source rank always wins, a higher one never, an equal one only when at least 1 s newer.
bool accept_GpsAlmanac(const ZRT_ALM_GPS& incoming, const ZRT_ALM_GPS* stored);
// Usable for positions: marked valid ('?' marks none), configuration below 128, a GPS orbit size.
bool is_GpsAlmanacUsable(const ZRT_ALM_GPS& a);

// GPS minus UTC (s, without the leap seconds) at GPS week and time of week: A0 + A1 (t - tot).
// An 8-bit WNt (below 256) is taken as the nearest week with those low bits.
double get_GpsUtcDifference(const ZRT_UTC_GPS& u, int week, double tow);
