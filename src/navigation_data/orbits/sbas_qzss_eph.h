// The rules by which the satellite data store takes SBAS (GEO state-vector) and QZSS (GPS-type
// elements on QZSS orbits) broadcast records: orbit plausibility, health, validity spans, the
// SBAS time of a record, the SBAS polynomial (the state vector is already a Taylor series) and
// the group delays of both systems.
#pragma once

#include <cstdint>

#include "navigation_data/orbits/sat_polynom.h"
#include "navigation_data/store/nav_records.h"

// Validity of an ephemeris either side of its reference time, s.
constexpr std::uint16_t kSbasEphValiditySpan = 360;
constexpr std::uint16_t kQzssEphValiditySpan = 14520;

// Bytes of the UTC records the store keeps (the rest belongs to the decoders).
constexpr int kSbasUtcKeptBytes = 34;
constexpr int kQzssUtcKeptBytes = 47;

// A geostationary orbit: the state's distance from the Earth's centre (m).
constexpr double kSbasGeoRadius = 4.215e7;
constexpr double kSbasGeoRadiusTol = 1e7;
// A QZSS orbit (IS-QZSS-PNT: quasi-zenith satellites at i = 0.25 semicircle, geostationary
// ones near 0): sqrt(A) in sqrt(m), inclination in semicircles.
constexpr double kQzssPlausibleSqrtA = 6493.4;
constexpr double kQzssPlausibleSqrtATol = 1500.0;
constexpr double kQzssGeoInclination = 0.1;  // at or below: near-equatorial, not tested further
constexpr double kQzssInclination = 0.25;
constexpr double kQzssInclinationTol = 0.1;
constexpr std::uint8_t kQzssHealthBadData = 0x20;   // health bit 5: all navigation data bad
constexpr std::uint8_t kQzssHealthSignals = 0x1E;   // health bits 1-4: signal health

// SBAS: the state lies within 1e7 m of the geostationary radius.
bool is_SbasEphemerisPlausible(const ZRT_EPH_SBA& e);
// SBAS almanac: usable with the same radius test; healthy with health bit 0 clear.
bool is_SbasAlmanacUsable(const ZRT_ALM_SBA& a);
bool is_SbasAlmanacHealthy(const ZRT_ALM_SBA& a);

// QZSS: sqrt(A) within 1500 of 6493.4; an inclined orbit (|i0| above 0.1 semicircle) within
// 0.1 of 0.25; health bit 5 clear.
bool is_QzssEphemerisPlausible(const ZRT_EPH_QZS& e);
// QZSS ephemeris health: signal health bits 1-4 clear.
bool is_QzssEphemerisHealthy(const ZRT_EPH_QZS& e);
// QZSS almanac (first 56 bytes in the GPS layout): usable unless marked "?", with a negative
// configuration or an orbit size far from QZSS's; healthy with a health byte of 0.
bool is_QzssAlmanacUsable(const ZRT_ALM_GPS& a);

// The SBAS cycle of a record: the day number since the GPS epoch and the second of that day
// of its reception (the receiver's SBAS day and time hints), and the cycle number of its
// reference time t0 (s of day) in the 7168-day cycle.
struct SbasRecordTime {
  std::int32_t day;
  std::int32_t secOfDay;
  std::uint16_t cycle;
};
SbasRecordTime get_SbasRecordTime(const ZRT_EPH_SBA& e);

// Position of an SBAS almanac: the broadcast position (m) and velocity (m/s) as they stand, a
// geostationary satellite being near enough still over a day, and clock and drift 0 (the SBAS
// almanac, RTCA DO-229 message type 17, carries no clock). False for a position that is no number.
bool compute_SbasSatPosByAlmanac(const ZRT_ALM_SBA& a, double pos[3], float vel[3], double* clock, double* drift);

// Accuracy (m) of an SBAS URA index: the LNAV table, 20000 m (no prediction) for 15, 0 above.
double get_SbasEphemerisAccuracy(int uraIndex);

// The SBAS polynomial entry of a record: per axis c0 = position, c1 = velocity, c2 =
// acceleration / 2, higher rows 0, about the middle of a 360 s span that starts 180 s before
// t0 (read 1.5 spans wide, 54 s before to 594 s after the start); clock aGf0 + aGf1 (t - t0),
// no relativistic term; accuracy the square of the URA value. IOD, data type and flags are the
// store's.
constexpr double kSbasPolySpan = 360.0;
void build_SbasPolynomEntry(const ZRT_EPH_SBA& e, SatData::PolynomEntryType& entry);

// Group delays (fields 0..5 of a satellite's set, with a source byte per field: 1 derived
// from TGD by the frequency ratio, 2 broadcast). A derived value never overwrites a broadcast
// one.
// SBAS, data type 0: fields 0 and 4 are 0 s, broadcast.
void update_SbasTgd(int dataType, float delay[6], std::uint8_t source[6]);
// QZSS (LNAV 0, CNAV 1, CNAV-2 2): field 0 is the reference TGD.
void update_QzssTgd(const ZRT_EPH_QZS& e, int dataType, float delay[6], std::uint8_t source[6]);
constexpr double kGamma1 = 1.6469444;  // (f1/f2)^2
constexpr double kGamma5 = 1.7932702;  // (f1/f5)^2
constexpr double kGamma6 = 1.5178239;  // (f1/f6)^2, QZSS L6 (LEX)
