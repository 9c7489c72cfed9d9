// What the BeiDou B-CNAV decoders (B1C, B2a, B2b) share: the raw ephemeris, clock, midi almanac
// and BDGIM blocks in the layouts of BDS-SIS-ICD-B1C 1.0 (7.7-7.13), BDS-SIS-ICD-B2a 1.0 and
// BDS-SIS-ICD-B2b 1.0, their turn into the native records, and the health gate for the data
// that is not ephemeris.
//
// Fields are read MSB first from 32-bit words, bit 1 at the top of the first word.
#pragma once

#include <cstddef>
#include <cstdint>

#include "navigation_data/decoders/nav_decoder_family.h"
#include "navigation_data/orbits/beidou_eph.h"
#include "navigation_data/store/sat_data_store.h"

namespace CompCNavDataDecoderType {

// Bits of each parameter group.
constexpr int kEphemeris1Bits = 203;
constexpr int kEphemeris2Bits = 222;
constexpr int kClockBits = 69;
constexpr int kMidiAlmanacBits = 156;
constexpr int kBdgimBits = 74;

// The store's data type of every B-CNAV ephemeris and almanac.
constexpr int kStoreDataType = 1;

// Ephemeris I, Ephemeris II and the clock, sign-extended. The ephemeris identity is computed
// over these 104 bytes (padding zero), so their order is fixed; the same broadcast ephemeris
// gives the same identity on every signal.
struct CNavEphemerisRawDataType {
  std::int64_t m0;      // 33 bits
  std::uint64_t e;      // 33 bits
  std::int64_t omega;   // 33 bits
  std::int64_t omega0;  // 33 bits
  std::int64_t i0;      // 33 bits
  std::int32_t dA;      // 26
  std::int32_t aDot;    // 25
  std::int32_t dn0;     // 17
  std::int32_t dn0Dot;  // 23
  std::int32_t omegaDot;  // 19
  std::int32_t crs, crc;  // 24
  std::int32_t cus, cuc;  // 21
  std::int32_t a0;      // 25
  std::int32_t a1;      // 22
  std::int16_t idot;    // 15
  std::int16_t cis, cic;  // 16
  std::int16_t a2;      // 11
  std::uint16_t toe;    // 11, units of 300 s
  std::uint16_t toc;    // 11, units of 300 s
  std::uint8_t satType;  // 2: 1 GEO, 2 IGSO, 3 MEO
  std::uint8_t pad97[7];

  void decodeEphemeris1(const std::uint32_t* w, int firstBit);
  void decodeEphemeris2(const std::uint32_t* w, int firstBit);
  void decodeClock(const std::uint32_t* w, int firstBit);
  // The orbit and clock part of the native record (every other field zero) with week `wn`.
  void process(int wn, ZRT_EPH_CMP& r) const;
  std::uint32_t identity() const;
};
static_assert(sizeof(CNavEphemerisRawDataType) == 104);
static_assert(offsetof(CNavEphemerisRawDataType, dA) == 40 && offsetof(CNavEphemerisRawDataType, idot) == 84);
static_assert(offsetof(CNavEphemerisRawDataType, satType) == 96);
constexpr int kIdentityBits = 832;

// Reference semi-major axes (m) the broadcast difference is added to.
constexpr double kArefMeo = 27906100.0;
constexpr double kArefHigh = 42162200.0;  // GEO and IGSO
constexpr int kSatTypeMeo = 3;

struct CNavAlmanacRawDataType {
  bool present;
  std::uint8_t prn;
  std::uint8_t satType;
  std::uint16_t wna;
  std::uint8_t toa;
  std::uint16_t e;
  std::int16_t di;
  std::uint32_t sqrtA;
  std::int16_t omega0;
  std::int16_t omegaDot;
  std::int16_t omega;
  std::int16_t m0;
  std::int16_t af0;
  std::int16_t af1;
  std::uint8_t health;

  void decode(const std::uint32_t* w, int firstBit);
  // The native record; false (nothing written) when the PRN names no BeiDou satellite.
  bool process(std::uint8_t signal, ZRT_ALM_CMP& r) const;
};

struct CNavIonoModelRawDataType {
  bool present;
  std::uint16_t alpha1;     // 10 bits
  std::uint8_t alpha[8];    // alpha2..alpha9, 8 bits each as broadcast

  void decode(const std::uint32_t* w, int firstBit);
  // The model record in TECu; false when no model is held or alpha1-alpha4 are all zero.
  bool process(std::uint8_t signal, std::uint8_t satIdx, ZRT_ION_CMP& r) const;
};

// Signal bytes and flag-word marks of the three messages.
constexpr std::uint8_t kSignalB1C = 8;
constexpr std::uint8_t kSignalB2a = 32;
constexpr std::uint8_t kSignalB2b = 64;

// Whether data other than the ephemeris of `sv` may be taken: always for a satellite outside
// the setup's health-check mask, else only while its last health fields said healthy.
bool takesNonEphemerisData(SvIdType sv, bool healthy);

// Writes the midi almanac (data type 1) and the BDGIM model a message carried, and empties
// their holders.
void putAlmanac(SatelliteDataProcessor* store, CNavAlmanacRawDataType& alm, std::uint8_t signal);
void putIonosphere(CNavIonoModelRawDataType& ion, std::uint8_t signal, std::uint8_t satIdx);

}  // namespace CompCNavDataDecoderType
