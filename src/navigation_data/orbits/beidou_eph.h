// The rules by which the satellite data store takes BeiDou D1/D2 broadcast records: accuracy,
// orbit plausibility, health, validity span, group delays, which almanac wins and the almanac
// orbit. The Keplerian orbit itself is the shared GPS-type code (gps_orbit.h), which keeps the
// GEO satellites' inclined reference frame.
#pragma once

#include <cstdint>

#include "navigation_data/orbits/sat_polynom.h"
#include "navigation_data/store/nav_records.h"

// Validity of a BeiDou ephemeris either side of its reference time, s.
constexpr std::uint16_t kBeidouEphValiditySpan = 7260;

// Orbit sizes of BeiDou's constellation (BDS-SIS-ICD-B1I 3.0, 3.1): GEO and IGSO near
// sqrt(A) 6493.4, MEO near 5153.0 (the GPS-like orbit), sqrt(m); inclined orbits at 55 deg.
constexpr double kBeidouSqrtAHigh = 6493.4;
constexpr double kBeidouSqrtAMeo = 5153.0;
constexpr double kBeidouSqrtATol = 1500.0;
constexpr double kBeidouGeoInclination = 0.1;  // semicircles: at or below, a GEO, not tested further
constexpr double kBeidouInclination = 0.3;
constexpr double kBeidouInclinationTol = 0.1;

// Flag-word bits of ZRT_EPH_CMP.
constexpr std::uint16_t kBeidouEphFlagD2 = 0x0080;
constexpr std::uint16_t kBeidouEphFlagCnav = 0x1000;

// Accuracy (m) of a URA index: the table of index 0..14, 20000 m (no prediction) for 15, 0 for
// any larger value, which only a malformed external record can carry.
double get_BeidouEphemerisAccuracy(int uraIndex);

// sqrt(A) within 1500 of either orbit size; an inclined orbit (|i0| above 0.1 semicircle)
// within 0.1 of 0.3 semicircles. NaN fails.
bool is_BeidouEphemerisPlausible(const ZRT_EPH_CMP& e);
// D1/D2: usable while SatH1 is 0.
bool is_BeidouEphemerisHealthy(const ZRT_EPH_CMP& e);

// The record in the GPS layout the shared orbit and polynomial code reads (the GEO flag is
// taken from the PRN there).
void to_GpsLayoutEphemeris(const ZRT_EPH_CMP& e, ZRT_EPH_GPS& out);
void to_GpsLayoutAlmanac(const ZRT_ALM_CMP& a, ZRT_ALM_GPS& out);

// Group delays of a D1/D2 record: the reference TGD1 (B1I) in field 0 and TGD2 (B2I) in field
// 1, both broadcast.
void update_BeidouTgd(const ZRT_EPH_CMP& e, int dataType, float delay[6], std::uint8_t source[6]);

// Almanac: sqrt(A) within 1500 of either orbit size makes it usable; while a usable one is
// stored (`stored` not null), a new one is taken only when its reference time is later
// (weeks compared modulo 1024, across the rollover beyond +-512 weeks).
bool is_BeidouAlmanacUsable(const ZRT_ALM_CMP& a);
double get_BeidouAlmanacTimeDiff(const ZRT_ALM_CMP& incoming, const ZRT_ALM_CMP& stored);
bool accept_BeidouAlmanac(const ZRT_ALM_CMP& incoming, const ZRT_ALM_CMP* stored);

// Position (m), velocity (m/s), clock (s) and drift (s/s) from an almanac `dt` s after its
// reference time: the GPS almanac orbit with BeiDou's constants, GEOs (PRN 1-5, 59-63) with
// the inclination referred to the equator.
bool compute_BeidouSatPosByAlmanac(const ZRT_ALM_CMP& a, double dt, double pos[3], float vel[3],
                                   double* clock, double* drift);
