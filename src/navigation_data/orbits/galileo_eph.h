// The rules by which the satellite data store takes Galileo records (Galileo OS SIS ICD): the
// accuracy of a SISA index, orbit plausibility and signal health, the GPS-type view of an
// ephemeris for the shared orbit code, group delays, almanac usability and order, the GST-GPS
// offset and the NeQuick coefficients handed to the ionosphere model.
#pragma once

#include <cstdint>

#include "navigation_data/orbits/sat_polynom.h"
#include "navigation_data/store/nav_records.h"

// Navigation-data types (the store's data types of Galileo records): I/NAV on E1-B and E5b-I,
// F/NAV on E5a-I. I/NAV records are stored as type 0, F/NAV as type 1.
constexpr int kGalNavE1B = 0;
constexpr int kGalNavE5a = 1;
constexpr int kGalNavE5b = 2;

// Nominal semi-major axis 29 600 000 m: the almanac's sqrt(A) is sent as a difference to its
// square root, and the plausibility tests centre on it.
constexpr double kGalNominalSqrtA = 5440.588203494177;
constexpr double kGalSqrtATol = 1500.0;
constexpr double kGalInclination = 0.31;  // semicircles (56 degrees)
constexpr double kGalInclinationTol = 0.1;
constexpr std::uint16_t kGalEphValiditySpan = 14460;  // s either side of toe
constexpr std::uint32_t kGalFlagsDecoded = 20;        // flag word of a decoded ephemeris

// Health byte of an ephemeris. I/NAV: E1-B DVS bit 0, E5b DVS bit 1, E1-B HS bits 2-3, E5b HS
// bits 4-5; F/NAV: E5a DVS bit 0, E5a HS bits 1-2. Almanac health byte: E1-B HS bits 0-1,
// E5b HS bits 2-3, E5a HS bits 4-5.
constexpr std::uint8_t kGalAlmDummy = 63;
constexpr std::uint8_t kGalAlmNoConfig = 0x80;

// Squared frequency ratios E1/E5a and E1/E5b.
constexpr double kGammaE5a = 1.7932702;
constexpr double kGammaE5b = 1.7032461;
// Fields of the group-delay set: the reference (E1) delay, the E5a and the E5b delay.
constexpr int kGalTgdRef = 0;
constexpr int kGalTgdE5a = 4;
constexpr int kGalTgdE5b = 5;

// Accuracy (m) of a SISA index: 0.01 m steps to 0.49, 0.02 m to 0.98, 0.04 m to 1.96, 0.16 m
// to 6.0; 126-255 (255: no accuracy prediction) 20000 m.
double get_GalEphemerisAccuracy(int sisa);

// |i0 - 0.31| <= 0.1 semicircle and sqrt(A) within 1500 of the nominal one.
bool is_GalEphemerisPlausible(const ZRT_EPH_GAL& e);
// Usable signals: each contributing signal (I/NAV: E1-B for type 0, E5b for type 2, both when
// the record names none; F/NAV: E5a) needs its data-validity bit and its health status 0.
bool is_GalEphemerisHealthy(const ZRT_EPH_GAL& e, int dataType);

// The ephemeris in the GPS-type layout the shared orbit and polynomial code reads (the leading
// fields are laid out alike; the CNAV terms and ISCs are zero).
ZRT_EPH_GPS to_GpsTypeEphemeris(const ZRT_EPH_GAL& e);

// Group delays of an ephemeris into the set (source 2 broadcast, 1 derived; a derived value
// never replaces a broadcast one). `preferE5a` chooses the E1/E5a pair for I/NAV.
void update_GalTgd(const ZRT_EPH_GAL& e, int dataType, bool preferE5a, float delay[6], std::uint8_t source[6]);

// Almanacs. Usable unless a dummy (health 63), marked without configuration, off the nominal
// orbit size or with any signal health bit set.
bool is_GalAlmanacUsable(const ZRT_ALM_GAL& a);
// Seconds from the stored almanac's reference time to the new one's, weeks modulo 1024.
double get_GalAlmanacTimeDiff(const ZRT_ALM_GAL& incoming, const ZRT_ALM_GAL& stored);
// The record to store: null when a usable almanac is stored and the new one is not newer;
// otherwise the new one keeps the stored health bits of the other message type.
bool merge_GalAlmanac(const ZRT_ALM_GAL& incoming, int dataType, const ZRT_ALM_GAL* storedUsable,
                      ZRT_ALM_GAL& out);
// The almanac in the GPS almanac layout of the shared almanac orbit code.
ZRT_ALM_GPS to_GpsTypeAlmanac(const ZRT_ALM_GAL& a);

// GST minus GPS time (s) at Galileo week and time of week; false when the record has no valid
// GST-GPS part.
bool get_GalGpsDifference(const ZRT_UTC_GAL& u, int week, double tow, double* delta);

// The ionosphere coefficients of a usable ephemeris for the NeQuick model.
struct GalNeQuickParams {
  float ai[3];
  std::uint8_t disturbanceFlags;
  std::uint32_t towMs;
  std::uint16_t week10;
};
GalNeQuickParams get_GalNeQuickParams(const ZRT_EPH_GAL& e);
