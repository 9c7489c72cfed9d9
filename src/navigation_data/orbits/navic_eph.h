// The rules by which the satellite data store takes NavIC broadcast records: accuracy, orbit
// plausibility, health, validity span, group delay, which almanac wins and the almanac orbit.
// The Keplerian orbit itself is the shared GPS-type code (gps_orbit.h).
#pragma once

#include <cstdint>

#include "navigation_data/store/nav_records.h"

// Validity of a NavIC ephemeris either side of its reference time, s.
constexpr std::uint16_t kNavicEphValiditySpan = 7260;

// NavIC's GEO and IGSO orbits (IRNSS SPS ICD 1.1): sqrt(A) near 6493 sqrt(m); the IGSOs at
// 29 deg (0.16 semicircle), the GEOs near the equator.
constexpr double kNavicSqrtA = 6493.0;
constexpr double kNavicAlmSqrtA = 6493.4;
constexpr double kNavicSqrtATol = 1500.0;
constexpr double kNavicGeoInclination = 0.1;  // semicircles: at or below, a GEO
constexpr double kNavicInclination = 0.16;
constexpr double kNavicInclinationTol = 0.1;

// Bits of ZRT_EPH_IRS: flags bit 5 is the alert bit; the health byte carries the L5 flag in
// bit 1 and the S flag in bit 0.
constexpr std::uint16_t kNavicFlagAlert = 0x0020;
constexpr std::uint8_t kNavicHealthL5 = 0x02;

// (f_S / f_L5)^2 = (2492.028 / 1176.45)^2: the L5 group delay is the broadcast TGD scaled by it.
constexpr double kNavicGammaL5 = 4.487029;

// Accuracy (m) of a URA index: the GPS table for 0..14, 20000 m for 15, 0 above.
double get_NavicEphemerisAccuracy(int uraIndex);

// sqrt(A) within 1500 of 6493.0; an inclined orbit (|i0| above 0.1 semicircle) within 0.1 of
// 0.16 semicircle. NaN fails.
bool is_NavicEphemerisPlausible(const ZRT_EPH_IRS& e);
// Usable while neither the alert bit nor the L5 health flag is set (this receiver tracks L5).
bool is_NavicEphemerisHealthy(const ZRT_EPH_IRS& e);

// The record in the GPS layout the shared orbit and polynomial code reads.
void to_GpsLayoutEphemeris(const ZRT_EPH_IRS& e, ZRT_EPH_GPS& out);
void to_GpsLayoutAlmanac(const ZRT_ALM_IRS& a, ZRT_ALM_GPS& out);

// The L5 delay (field 0), broadcast.
void update_NavicTgd(const ZRT_EPH_IRS& e, int dataType, float delay[6], std::uint8_t source[6]);

// Almanac: sqrt(A) within 1500 of 6493.4 makes it usable; while a usable one is stored
// (`stored` not null) a new one is taken only when its reference time is later (weeks modulo
// 1024, across the rollover beyond +-512 weeks).
bool is_NavicAlmanacUsable(const ZRT_ALM_IRS& a);
bool accept_NavicAlmanac(const ZRT_ALM_IRS& incoming, const ZRT_ALM_IRS* stored);

// Position (m), velocity (m/s), clock (s) and drift (s/s) `dt` s after the almanac's
// reference time: the GPS almanac orbit with NavIC's constants, inclination from the equator.
bool compute_NavicSatPosByAlmanac(const ZRT_ALM_IRS& a, double dt, double pos[3], float vel[3],
                                  double* clock, double* drift);

// The NavIC-to-other-GNSS offset of a UTC record at `tow` s of `week` (the record's own
// offset week when none is known), s; false when the record carries no offset.
bool get_NavicGnssOffset(const ZRT_UTC_IRS& u, int week, double tow, double* offset);
