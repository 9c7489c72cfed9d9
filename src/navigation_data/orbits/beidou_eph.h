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

// B-CNAV records (data type 1): the flag-word bits naming the group delays a record carries,
// the marks each decoder sets, the signal bytes and the signal health flags.
constexpr std::uint16_t kBeidouCnavTgdB2ap = 0x0100;   // in tgd2
constexpr std::uint16_t kBeidouCnavIscB1Cd = 0x0200;   // in iscB1Cd
constexpr std::uint16_t kBeidouCnavTgdB1Cp = 0x0400;   // in tgd1
constexpr std::uint16_t kBeidouCnavIscB2ad = 0x0800;   // in iscB2ad
constexpr std::uint16_t kBeidouCnavB2bData = 0x2000;   // B2b data component's delay in b2bDelay1
constexpr std::uint16_t kBeidouCnavB2bPilot = 0x4000;  // B2b pilot component's delay in b2bDelay2
constexpr std::uint16_t kBeidouCnavMarkB1C = kBeidouCnavTgdB2ap | kBeidouCnavIscB1Cd | kBeidouCnavTgdB1Cp;
constexpr std::uint16_t kBeidouCnavMarkB2a = kBeidouCnavTgdB2ap | kBeidouCnavTgdB1Cp | kBeidouCnavIscB2ad;
constexpr std::uint8_t kBeidouSignalB1C = 8;
constexpr std::uint8_t kBeidouSignalB2a = 32;
constexpr std::uint8_t kBeidouSignalB2b = 64;
// Health byte: HS in bits 0-1; B2a's AIF, SIF, DIF in bits 2-4 (B2a records only); B1C's AIF,
// SIF, DIF in bits 5-7 (B1C and B2a records). B2b's DIF, SIF, AIF in bits 2-0 of b2bIf.
constexpr std::uint8_t kBeidouHealthHs = 0x03;
constexpr std::uint8_t kBeidouHealthB2aAif = 0x04, kBeidouHealthB2aSif = 0x08, kBeidouHealthB2aDif = 0x10;
constexpr std::uint8_t kBeidouHealthB1CAif = 0x20, kBeidouHealthB1CSif = 0x40, kBeidouHealthB1CDif = 0x80;
constexpr std::uint8_t kBeidouB2bAif = 0x01, kBeidouB2bSif = 0x02, kBeidouB2bDif = 0x04;
// Group-delay fields of a B-CNAV record: the tracking channel's signal slot of each signal.
constexpr int kBeidouTgdFieldB2b = 2;
constexpr int kBeidouTgdFieldB2a = 4;
constexpr int kBeidouTgdFieldB1C = 5;

// Accuracy (m) of a URA index: the table of index 0..14, 20000 m (no prediction) for 15, 0 for
// any larger value, which only a malformed external record can carry.
double get_BeidouEphemerisAccuracy(int uraIndex);

// sqrt(A) within 1500 of either orbit size; an inclined orbit (|i0| above 0.1 semicircle)
// within 0.1 of 0.3 semicircles. NaN fails.
bool is_BeidouEphemerisPlausible(const ZRT_EPH_CMP& e);
// D1/D2: usable while SatH1 is 0.
bool is_BeidouEphemerisHealthy(const ZRT_EPH_CMP& e);
// B-CNAV: usable unless a contributing signal's integrity flags say otherwise: B1C's AIF or
// DIF, B2a's AIF or DIF, B2b's AIF or DIF.
bool is_BeidouCnavEphemerisHealthy(const ZRT_EPH_CMP& e);

// Merges a B-CNAV record with the one stored for the same satellite: each group delay and each
// signal's health flags the new record does not carry are taken over from the stored record
// (with their flag-word and signal bits). True when the merged record says something the
// stored one did not: a delay or health flag present in both with another value, or one only
// the new record carries.
bool update_CnavTgdIsc(const ZRT_EPH_CMP& stored, ZRT_EPH_CMP& rec);

// The record in the GPS layout the shared orbit and polynomial code reads (the GEO flag is
// taken from the PRN there).
void to_GpsLayoutEphemeris(const ZRT_EPH_CMP& e, ZRT_EPH_GPS& out);
void to_GpsLayoutAlmanac(const ZRT_ALM_CMP& a, ZRT_ALM_GPS& out);

// Group delays of a D1/D2 record: the reference TGD1 (B1I) in field 0 and TGD2 (B2I) in field
// 1, both broadcast. Of a B-CNAV record, each in its signal's field, broadcast: B1C TGD_B1Cp
// (plus half ISC_B1Cd when carried), B2a TGD_B2ap (plus half ISC_B2ad when carried), B2b the
// mean of the data and pilot components' delays when both were heard, else the one heard.
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
