// Native navigation records: one fixed record per kind and system, identical to the body of
// the native message that carries it. Little-endian, natural alignment; the last byte of each
// record is the message checksum and is never stored.
//
// A few records keep only their size here (their fields stand with the decoders that fill
// them): the store copies them whole and reads no field inside.
#pragma once

#include <cstddef>
#include <cstdint>

// Bits of ZRT_EPH_GPS::flags.
constexpr std::uint16_t kEphFlagRestored = 0x0040;   // set by the store on a record read back from the image
constexpr std::uint16_t kEphFlagCnavParams = 0x1000;  // Adot, delta-ndot, URA_ED/NED present

// Bits of ZRT_EPH_GPS::iscFlags (byte 176). CNAV and CNAV-2 writers and every reader use this
// one byte; the f32 at 168 is ISC3 only.
constexpr std::uint8_t kIscFlagIsc1 = 0x01;
constexpr std::uint8_t kIscFlagIsc2 = 0x08;
constexpr std::uint8_t kIscFlagIsc3 = 0x10;
constexpr std::uint8_t kIscFlagCnav2Isc2 = 0x20;  // CNAV-2: ISC L1CD present (in isc2)
// TGD not broadcast (sent as its not-available pattern): no group delay is derived from the record.
// Clear in every LNAV record and in records written before the bit existed.
constexpr std::uint8_t kIscFlagNoTgd = 0x40;

struct ZRT_EPH_GPS {  // also the QZSS layout
  std::uint8_t prn;
  std::uint8_t pad1[3];
  std::uint32_t tow;  // s of week of reception
  std::uint16_t flags;
  std::int16_t iodc;
  std::int32_t toc;
  std::uint16_t week;
  std::int8_t ura;
  std::uint8_t health;
  float tgd;
  float af2;
  float af1;
  double af0;
  std::uint16_t iode;
  std::uint8_t pad42[2];
  std::uint32_t toe;
  double sqrtA;
  double e;
  double M0;
  double Omega0;
  double i0;
  double omega;
  float deltaN;
  float OmegaDot;
  float idot;
  float crc;
  float crs;
  float cuc;
  float cus;
  float cic;
  float cis;
  std::uint8_t pad132[4];
  double Adot;
  float deltaNdot;
  std::uint8_t pad148[4];
  std::uint32_t top;
  std::int8_t uraEd;
  std::int8_t uraNed0;
  std::uint8_t uraNed1;
  std::uint8_t uraNed2;
  float isc1;
  float isc2;
  float isc3;
  std::uint8_t pad172[4];
  std::uint8_t iscFlags;
  std::uint8_t pad177[3];
  std::uint16_t rawCheck;  // decoder's own check value of the raw bits
  std::uint8_t source;
  std::uint8_t cs;
};
using ZRT_EPH_QZS = ZRT_EPH_GPS;
using ZRT_ORIG_EPH_GPS = ZRT_EPH_GPS;
static_assert(sizeof(ZRT_EPH_GPS) == 184);
static_assert(offsetof(ZRT_EPH_GPS, tow) == 4 && offsetof(ZRT_EPH_GPS, flags) == 8);
static_assert(offsetof(ZRT_EPH_GPS, iodc) == 10 && offsetof(ZRT_EPH_GPS, toc) == 12);
static_assert(offsetof(ZRT_EPH_GPS, week) == 16 && offsetof(ZRT_EPH_GPS, health) == 19);
static_assert(offsetof(ZRT_EPH_GPS, tgd) == 20 && offsetof(ZRT_EPH_GPS, af0) == 32);
static_assert(offsetof(ZRT_EPH_GPS, iode) == 40 && offsetof(ZRT_EPH_GPS, toe) == 44);
static_assert(offsetof(ZRT_EPH_GPS, sqrtA) == 48 && offsetof(ZRT_EPH_GPS, omega) == 88);
static_assert(offsetof(ZRT_EPH_GPS, deltaN) == 96 && offsetof(ZRT_EPH_GPS, cis) == 128);
static_assert(offsetof(ZRT_EPH_GPS, Adot) == 136 && offsetof(ZRT_EPH_GPS, deltaNdot) == 144);
static_assert(offsetof(ZRT_EPH_GPS, top) == 152 && offsetof(ZRT_EPH_GPS, uraNed2) == 159);
static_assert(offsetof(ZRT_EPH_GPS, isc1) == 160 && offsetof(ZRT_EPH_GPS, isc3) == 168);
static_assert(offsetof(ZRT_EPH_GPS, iscFlags) == 176 && offsetof(ZRT_EPH_GPS, rawCheck) == 180);
static_assert(offsetof(ZRT_EPH_GPS, source) == 182 && offsetof(ZRT_EPH_GPS, cs) == 183);

struct ZRT_ALM_GPS {
  std::uint8_t prn;
  std::uint8_t spare1[3];  // [0] from the LNAV pages: bit 0 week, bit 1 health, bit 2 configuration not seen
  std::int32_t toa;
  std::int16_t week;  // compared modulo 1024
  std::uint8_t health;
  std::uint8_t marker;  // '?' = no valid almanac
  std::int8_t config;   // negative = not usable; bits 0..2 signal generation
  std::uint8_t spare13[3];
  float af1;
  float af0;
  float sqrtA;
  float e;
  float M0;
  float Omega0;
  float omega;
  float deltaI;
  float OmegaDot;
  std::uint8_t rank;  // lower wins; bit 0 = not kept in the image
  std::uint8_t pad53[2];
  std::uint8_t cs;
};
static_assert(sizeof(ZRT_ALM_GPS) == 56);
constexpr std::uint8_t kAlmGpsConfigUnknown = 0x04;  // in spare1[0]
static_assert(offsetof(ZRT_ALM_GPS, toa) == 4 && offsetof(ZRT_ALM_GPS, week) == 8);
static_assert(offsetof(ZRT_ALM_GPS, config) == 12 && offsetof(ZRT_ALM_GPS, af1) == 16);
static_assert(offsetof(ZRT_ALM_GPS, OmegaDot) == 48 && offsetof(ZRT_ALM_GPS, rank) == 52);

struct ZRT_UTC_GPS {  // GPS-layout UTC, the form every system but GLONASS is read back in
  std::uint32_t tot;
  float A1;
  double A0;
  std::uint16_t WNt;
  std::uint16_t WN_LSF;
  std::uint8_t DN;
  std::int8_t dtLS;  // 0 = no record: refused by the store (except GLONASS)
  std::int8_t dtLSF;
  std::uint8_t cs;
};
static_assert(sizeof(ZRT_UTC_GPS) == 24);
static_assert(offsetof(ZRT_UTC_GPS, A1) == 4 && offsetof(ZRT_UTC_GPS, A0) == 8);
static_assert(offsetof(ZRT_UTC_GPS, WNt) == 16 && offsetof(ZRT_UTC_GPS, WN_LSF) == 18);
static_assert(offsetof(ZRT_UTC_GPS, DN) == 20 && offsetof(ZRT_UTC_GPS, dtLS) == 21);

struct ZRT_UTC_GLN {
  double tauC;    // s
  double tauGPS;  // s
  float B1;       // s
  float B2;       // s/day
  float tauCRate;
  float tauGPSRate;
  std::uint8_t leapNotice;  // KP: 1 when a leap second is announced
  std::uint8_t l3;          // record from the L3 CDMA decoder
  std::uint16_t NA;
  std::uint16_t NT;
  std::uint8_t N4;
  std::uint8_t str5Field;
  float b3;
  std::uint8_t spare44[11];
  std::uint8_t cs;
};
static_assert(sizeof(ZRT_UTC_GLN) == 56);
static_assert(offsetof(ZRT_UTC_GLN, tauGPS) == 8 && offsetof(ZRT_UTC_GLN, leapNotice) == 32);
static_assert(offsetof(ZRT_UTC_GLN, NA) == 34 && offsetof(ZRT_UTC_GLN, b3) == 40);

struct ZRT_EPH_SBA {
  std::uint8_t prn;  // 120..147
  std::uint8_t pad1;
  std::uint8_t ura;
  std::uint8_t pad3;
  std::uint32_t t0;  // s of day, reference time of the state
  double pos[3];     // m, ECEF
  float vel[3];      // m/s
  float acc[3];      // m/s^2
  float aGf0;
  float aGf1;
  // Time of week of reception: the day of week is taken from it, so it cannot be a time of day.
  std::uint32_t tow;
  std::uint16_t week;
  std::uint8_t pad70;
  std::uint8_t cs;
};
static_assert(sizeof(ZRT_EPH_SBA) == 72);
static_assert(offsetof(ZRT_EPH_SBA, t0) == 4 && offsetof(ZRT_EPH_SBA, pos) == 8);
static_assert(offsetof(ZRT_EPH_SBA, vel) == 32 && offsetof(ZRT_EPH_SBA, acc) == 44);
static_assert(offsetof(ZRT_EPH_SBA, aGf0) == 56 && offsetof(ZRT_EPH_SBA, tow) == 64);
static_assert(offsetof(ZRT_EPH_SBA, week) == 68);

struct ZRT_ALM_SBA {
  std::uint8_t prn;
  std::uint8_t health;  // bit 0 = unhealthy
  std::uint8_t pad2[6];
  double pos[3];
  float vel[3];
  std::uint32_t toa;  // s of week
  std::uint16_t week;
  std::uint8_t pad50[5];
  std::uint8_t cs;
};
static_assert(sizeof(ZRT_ALM_SBA) == 56);
static_assert(offsetof(ZRT_ALM_SBA, pos) == 8 && offsetof(ZRT_ALM_SBA, vel) == 32);
static_assert(offsetof(ZRT_ALM_SBA, toa) == 44 && offsetof(ZRT_ALM_SBA, week) == 48);

// Galileo (I/NAV and F/NAV decoders).
struct ZRT_EPH_GAL {
  std::uint8_t svid;
  std::uint8_t pad1[3];
  std::uint32_t tow;
  std::uint16_t flags;  // bit 6 set by the store on an external record
  std::int16_t iodNav;
  std::int32_t toc;
  std::uint16_t week;
  std::uint8_t sisa;
  std::uint8_t health;  // health and data-validity bits
  float bgd;            // group delay of the message type, s
  float af2;
  float af1;
  double af0;
  std::uint16_t iodNav2;
  std::uint8_t pad42[2];
  std::uint32_t toe;
  double sqrtA;
  double e;
  double M0;
  double Omega0;
  double i0;
  double omega;
  float deltaN;
  float OmegaDot;
  float idot;
  float crc;
  float crs;
  float cuc;
  float cus;
  float cic;
  float cis;
  std::uint8_t pad132[4];
  float bgdE1E5a;
  float bgdE1E5b;
  float ai0;
  float ai1;
  float ai2;
  std::uint8_t ionoFlags;  // ionospheric disturbance flags
  std::uint8_t navTypes;   // contributing navigation-data types, a bit per type
  std::uint8_t pad158;
  std::uint8_t cs;
};
static_assert(sizeof(ZRT_EPH_GAL) == 160);
static_assert(offsetof(ZRT_EPH_GAL, tow) == 4 && offsetof(ZRT_EPH_GAL, iodNav) == 10);
static_assert(offsetof(ZRT_EPH_GAL, week) == 16 && offsetof(ZRT_EPH_GAL, health) == 19);
static_assert(offsetof(ZRT_EPH_GAL, bgd) == 20 && offsetof(ZRT_EPH_GAL, af0) == 32);
static_assert(offsetof(ZRT_EPH_GAL, iodNav2) == 40 && offsetof(ZRT_EPH_GAL, toe) == 44);
static_assert(offsetof(ZRT_EPH_GAL, sqrtA) == 48 && offsetof(ZRT_EPH_GAL, cis) == 128);
static_assert(offsetof(ZRT_EPH_GAL, bgdE1E5a) == 136 && offsetof(ZRT_EPH_GAL, ai2) == 152);
static_assert(offsetof(ZRT_EPH_GAL, ionoFlags) == 156 && offsetof(ZRT_EPH_GAL, navTypes) == 157);

struct ZRT_ALM_GAL {
  std::uint8_t svid;
  std::uint8_t pad1[3];
  std::int32_t toa;
  std::int16_t week;
  std::uint8_t health;  // E1-B-HS bits 0-1, E5b-HS bits 2-3, E5a-HS bits 4-5
  std::uint8_t marker;  // 63 = no almanac
  std::uint8_t config;  // 128 = no almanac
  std::uint8_t pad13[3];
  float af1;
  float af0;
  float sqrtA;
  float e;
  float M0;
  float Omega0;
  float omega;
  float deltaI;
  float OmegaDot;
  std::uint8_t rank;
  std::uint8_t pad53[3];
  std::uint8_t iodA;
  std::uint8_t pad57[2];
  std::uint8_t cs;
};
static_assert(sizeof(ZRT_ALM_GAL) == 60);
static_assert(offsetof(ZRT_ALM_GAL, toa) == 4 && offsetof(ZRT_ALM_GAL, config) == 12);
static_assert(offsetof(ZRT_ALM_GAL, af1) == 16 && offsetof(ZRT_ALM_GAL, OmegaDot) == 48);
static_assert(offsetof(ZRT_ALM_GAL, rank) == 52 && offsetof(ZRT_ALM_GAL, iodA) == 56);

// GPS layout in the first 23 bytes, then the GST-GPS offset.
struct ZRT_UTC_GAL {
  std::uint32_t tot;
  float A1;
  double A0;
  std::uint16_t WNt;
  std::uint16_t WN_LSF;
  std::uint8_t DN;
  std::int8_t dtLS;
  std::int8_t dtLSF;
  std::uint8_t pad23;
  float A0G;  // s
  float A1G;  // s/s
  std::uint32_t t0G;
  std::uint16_t WN0G;
  std::uint8_t ggtoValid;
  std::uint8_t pad39[8];
  std::uint8_t cs;
};
static_assert(sizeof(ZRT_UTC_GAL) == 48);
static_assert(offsetof(ZRT_UTC_GAL, dtLS) == 21 && offsetof(ZRT_UTC_GAL, A0G) == 24);
static_assert(offsetof(ZRT_UTC_GAL, t0G) == 32 && offsetof(ZRT_UTC_GAL, ggtoValid) == 38);

// BeiDou (the D1, D2 and B-CNAV decoders share the ephemeris and the almanac).
struct ZRT_EPH_CMP {
  std::uint8_t prn;
  std::uint8_t pad1[3];
  std::uint32_t tow;
  std::uint16_t flags;  // D1 0, D2 128, B-CNAV 0x1000 with the satellite type in bits 2-3
  std::int16_t iodc;
  std::int32_t toc;
  std::uint16_t week;
  std::uint8_t urai;  // B-CNAV: SISMAI
  std::uint8_t health;
  float tgd1;  // B-CNAV: TGD_B1Cp
  float af2;
  float af1;
  double af0;
  std::uint16_t iode;
  std::uint8_t pad42[2];
  std::uint32_t toe;
  double sqrtA;
  double e;
  double M0;
  double Omega0;
  double i0;
  double omega;
  float deltaN;
  float OmegaDot;
  float idot;
  float crc;
  float crs;
  float cuc;
  float cus;
  float cic;
  float cis;
  std::uint8_t pad132[4];
  double Adot;      // B-CNAV
  float deltaNdot;  // B-CNAV
  float tgd2;       // B-CNAV: TGD_B2ap
  float iscB1Cd;
  float iscB2ad;
  float b2bDelay1;  // B2b variant 0x2000
  float b2bDelay2;  // B2b variant 0x4000
  std::uint8_t b2bIf;    // B2b DIF/SIF/AIF bits
  std::uint8_t aodc;     // D1/D2
  std::uint8_t aode;     // D1/D2
  std::uint8_t signals;  // contributing signals
  std::uint8_t pad172[3];
  std::uint8_t cs;
};
static_assert(sizeof(ZRT_EPH_CMP) == 176);
static_assert(offsetof(ZRT_EPH_CMP, iodc) == 10 && offsetof(ZRT_EPH_CMP, week) == 16);
static_assert(offsetof(ZRT_EPH_CMP, tgd1) == 20 && offsetof(ZRT_EPH_CMP, af0) == 32);
static_assert(offsetof(ZRT_EPH_CMP, iode) == 40 && offsetof(ZRT_EPH_CMP, toe) == 44);
static_assert(offsetof(ZRT_EPH_CMP, sqrtA) == 48 && offsetof(ZRT_EPH_CMP, cis) == 128);
static_assert(offsetof(ZRT_EPH_CMP, Adot) == 136 && offsetof(ZRT_EPH_CMP, tgd2) == 148);
static_assert(offsetof(ZRT_EPH_CMP, b2bDelay2) == 164 && offsetof(ZRT_EPH_CMP, b2bIf) == 168);
static_assert(offsetof(ZRT_EPH_CMP, signals) == 171);

struct ZRT_ALM_CMP {
  std::uint8_t prn;
  std::uint8_t pad1[3];
  std::int32_t toa;
  std::int16_t week;
  std::uint8_t health;
  std::uint8_t health2;
  std::uint8_t satType;  // B-CNAV; D1/D2 0
  std::uint8_t pad13[3];
  float af1;
  float af0;
  float sqrtA;
  float e;
  float M0;
  float Omega0;
  float omega;
  float deltaI;
  float OmegaDot;
  std::uint8_t flags;  // D1/D2: bit 0 week not from page 8, bit 1 no health
  std::uint8_t pad53[3];
  std::uint8_t signal;  // B-CNAV 8 or 32
  std::uint8_t pad57[2];
  std::uint8_t cs;
};
static_assert(sizeof(ZRT_ALM_CMP) == 60);
static_assert(offsetof(ZRT_ALM_CMP, satType) == 12 && offsetof(ZRT_ALM_CMP, af1) == 16);
static_assert(offsetof(ZRT_ALM_CMP, OmegaDot) == 48 && offsetof(ZRT_ALM_CMP, flags) == 52);
static_assert(offsetof(ZRT_ALM_CMP, signal) == 56);

struct ZRT_UTC_CMP {  // GPS layout in the first 23 bytes
  std::uint32_t tot;  // 0: the D1/D2 UTC page carries none
  float A1;
  double A0;
  std::uint16_t WNt;
  std::uint16_t WN_LSF;
  std::uint8_t DN;
  std::int8_t dtLS;
  std::int8_t dtLSF;
  std::uint8_t pad23[8];
  std::uint8_t cs;
};
static_assert(sizeof(ZRT_UTC_CMP) == 32);
static_assert(offsetof(ZRT_UTC_CMP, A0) == 8 && offsetof(ZRT_UTC_CMP, dtLS) == 21);

// NavIC.
struct ZRT_EPH_IRS {
  std::uint8_t prn;
  std::uint8_t pad1[3];
  std::uint32_t tow;
  std::uint16_t flags;  // bit 0 autonav, bit 5 alert; bit 6 set by the store on an external record
  std::int16_t iodec;
  std::int32_t toc;
  std::uint16_t week;
  std::uint8_t ura;
  std::uint8_t health;  // bit 1 L5, bit 0 S
  float tgd;
  float af2;
  float af1;
  double af0;
  std::uint16_t iodec2;
  std::uint8_t pad42[2];
  std::uint32_t toe;
  double sqrtA;
  double e;
  double M0;
  double Omega0;
  double i0;
  double omega;
  float deltaN;
  float OmegaDot;
  float idot;
  float crc;
  float crs;
  float cuc;
  float cus;
  float cic;
  float cis;
  std::uint8_t pad132[4];
  std::uint8_t signals;  // 1 = L5
  std::uint8_t pad137[6];
  std::uint8_t cs;
};
static_assert(sizeof(ZRT_EPH_IRS) == 144);
static_assert(offsetof(ZRT_EPH_IRS, iodec) == 10 && offsetof(ZRT_EPH_IRS, health) == 19);
static_assert(offsetof(ZRT_EPH_IRS, af0) == 32 && offsetof(ZRT_EPH_IRS, toe) == 44);
static_assert(offsetof(ZRT_EPH_IRS, omega) == 88 && offsetof(ZRT_EPH_IRS, cis) == 128);
static_assert(offsetof(ZRT_EPH_IRS, signals) == 136);

struct ZRT_ALM_IRS {
  std::uint8_t prn;
  std::uint8_t pad1[3];
  std::int32_t toa;
  std::int16_t week;
  std::uint8_t zero10[6];
  float af1;
  float af0;
  float sqrtA;
  float e;
  float M0;
  float Omega0;
  float omega;
  float i0;
  float OmegaDot;
  std::uint8_t flags;
  std::uint8_t pad53[3];
  // Inter-signal correction, s. At 60, where the decoder's table puts it, its top byte would be
  // the message checksum at 63 and never arrive; the free word at 56 carries it whole.
  float isc;
  std::uint8_t pad60[3];
  std::uint8_t cs;
};
static_assert(sizeof(ZRT_ALM_IRS) == 64);
static_assert(offsetof(ZRT_ALM_IRS, af1) == 16 && offsetof(ZRT_ALM_IRS, i0) == 44);
static_assert(offsetof(ZRT_ALM_IRS, flags) == 52 && offsetof(ZRT_ALM_IRS, isc) == 56);

struct ZRT_UTC_IRS {  // GPS layout in the first 23 bytes, then the offset to another system
  std::uint32_t tot;
  float A1;
  double A0;
  std::uint16_t WNt;
  std::uint16_t WN_LSF;
  std::uint8_t DN;
  std::int8_t dtLS;
  std::int8_t dtLSF;
  std::uint8_t pad23[5];
  float A2;      // s/s^2
  float gnssA0;  // s
  float gnssA1;  // s/s
  float gnssA2;  // s/s^2
  std::uint32_t gnssT0;
  std::uint16_t gnssWeek;
  std::uint8_t gnssId;  // 0 present, 255 none
  std::uint8_t pad51[4];
  std::uint8_t cs;
};
static_assert(sizeof(ZRT_UTC_IRS) == 56);
static_assert(offsetof(ZRT_UTC_IRS, dtLS) == 21 && offsetof(ZRT_UTC_IRS, A2) == 28);
static_assert(offsetof(ZRT_UTC_IRS, gnssA0) == 32 && offsetof(ZRT_UTC_IRS, gnssT0) == 44);
static_assert(offsetof(ZRT_UTC_IRS, gnssWeek) == 48 && offsetof(ZRT_UTC_IRS, gnssId) == 50);

// Ionosphere models. The Klobuchar form serves GPS, QZSS, BeiDou and NavIC.
struct ZRT_ION_GPS {
  std::uint32_t tow;  // s
  std::uint16_t week;
  std::uint8_t pad6[2];
  float alpha[4];
  float beta[4];
  std::uint8_t valid;
  std::uint8_t satIdx;
  std::uint8_t pad42[5];
  std::uint8_t cs;
};
static_assert(sizeof(ZRT_ION_GPS) == 48);
static_assert(offsetof(ZRT_ION_GPS, week) == 4 && offsetof(ZRT_ION_GPS, alpha) == 8);
static_assert(offsetof(ZRT_ION_GPS, beta) == 24 && offsetof(ZRT_ION_GPS, valid) == 40);
static_assert(offsetof(ZRT_ION_GPS, satIdx) == 41);

// BeiDou global model (BDGIM), alpha1..alpha9 in TECu.
struct ZRT_ION_CMP {
  float alpha[9];
  std::uint8_t signal;  // 8 B1C, 32 B2a, 64 B2b
  std::uint8_t pad37[3];
  std::uint8_t valid;
  std::uint8_t satIdx;
  std::uint8_t pad42[5];
  std::uint8_t cs;
};
static_assert(sizeof(ZRT_ION_CMP) == 48);
static_assert(offsetof(ZRT_ION_CMP, signal) == 36 && offsetof(ZRT_ION_CMP, valid) == 40);

// GLONASS L3 model: the three terms of string 5 (the first scaled by 2^-4, the others whole),
// laid out as the correction processor keeps its GLONASS model (valid byte at 12).
struct ZRT_ION_GLN {
  float term[3];
  std::uint8_t valid;
  std::uint8_t satIdx;
  std::uint8_t pad14[5];
  std::uint8_t cs;
};
static_assert(sizeof(ZRT_ION_GLN) == 20);
static_assert(offsetof(ZRT_ION_GLN, valid) == 12 && offsetof(ZRT_ION_GLN, satIdx) == 13);

// GLONASS ephemeris: the broadcast state vector in PZ-90 (km, km/s, km/s^2) at tb, with the
// clock terms. FDMA records leave the L3 fields zero; bit 1 of `signals` marks an L3 record.
struct ZRT_EPH_GLN {
  std::uint8_t slot;      // orbital slot n, 1-based
  std::int8_t freqNum;    // frequency number, -7..+6
  std::uint8_t FT;        // accuracy index
  std::uint8_t En;        // age of the data, days
  std::uint32_t tk;       // s of day of the frame start
  std::uint32_t tb;       // s of day of the state
  std::uint16_t NT;       // day within the four-year interval, 1..1461
  std::uint16_t tkRaw;    // hours, minutes, 30-s flag as broadcast
  std::uint16_t flags;    // P1 0-1, P2 2, P3 3, Bn low bits 4-5, 7 set, ln 8, P 9-10, P4 11, M 12-13, ln(5) 14
  std::uint8_t health;    // top bit of Bn
  std::uint8_t signals;   // signals the strings came on
  std::uint16_t NA;
  std::uint8_t N4;
  std::uint8_t pad23;
  double tauN;            // s
  double gammaN;
  double pos[3];          // km
  double vel[3];          // km/s
  float acc[3];           // km/s^2, luni-solar
  float dTauN;            // s, L1/L2 delay difference
  double tauC;            // s
  double tauGPS;          // s
  float beta;             // L3: second-order clock term, 1/s
  float tauCRate;         // L3
  std::int8_t accIdx[2];  // L3: the two accuracy indexes
  std::uint8_t age2;      // L3: the second accuracy age, days
  std::uint8_t pad131;
  std::uint16_t crc16;    // check value of the raw strings; 65535 none
  std::uint8_t pad134;
  std::uint8_t cs;
};
static_assert(sizeof(ZRT_EPH_GLN) == 136 && offsetof(ZRT_EPH_GLN, freqNum) == 1);
static_assert(offsetof(ZRT_EPH_GLN, tk) == 4 && offsetof(ZRT_EPH_GLN, tb) == 8 && offsetof(ZRT_EPH_GLN, NT) == 12);
static_assert(offsetof(ZRT_EPH_GLN, flags) == 16 && offsetof(ZRT_EPH_GLN, health) == 18);
static_assert(offsetof(ZRT_EPH_GLN, NA) == 20 && offsetof(ZRT_EPH_GLN, tauN) == 24);
static_assert(offsetof(ZRT_EPH_GLN, pos) == 40 && offsetof(ZRT_EPH_GLN, vel) == 64 && offsetof(ZRT_EPH_GLN, acc) == 88);
static_assert(offsetof(ZRT_EPH_GLN, dTauN) == 100 && offsetof(ZRT_EPH_GLN, tauC) == 104);
static_assert(offsetof(ZRT_EPH_GLN, beta) == 120 && offsetof(ZRT_EPH_GLN, accIdx) == 128);
static_assert(offsetof(ZRT_EPH_GLN, crc16) == 132 && offsetof(ZRT_EPH_GLN, cs) == 135);
constexpr std::uint8_t kGloSignalL3 = 0x02;

// GLONASS almanac of one orbital slot (angles in semicircles).
struct ZRT_ALM_GLN {
  std::uint8_t slot;    // nA, 1-based
  std::int8_t freqNum;  // HnA, -7..+24
  std::uint8_t health;  // bit 0 Cn, bits 1-2 M, bit 7 not usable
  std::uint8_t M;
  std::uint16_t NA;
  std::uint8_t N4;
  std::uint8_t pad7;
  double tauC;          // s
  double lambda;        // longitude of the first ascending node of the day
  double tLambda;       // s of day NA
  float dI;
  float ecc;
  float omega;
  float dT;             // s, draconic period less 43200 s
  float dTdot;          // s/rev^2
  float tauN;           // s
  std::uint8_t pad56[7];
  std::uint8_t cs;
};
static_assert(sizeof(ZRT_ALM_GLN) == 64);
static_assert(offsetof(ZRT_ALM_GLN, NA) == 4 && offsetof(ZRT_ALM_GLN, tauC) == 8);
static_assert(offsetof(ZRT_ALM_GLN, lambda) == 16 && offsetof(ZRT_ALM_GLN, dI) == 32);
static_assert(offsetof(ZRT_ALM_GLN, tauN) == 52 && offsetof(ZRT_ALM_GLN, cs) == 63);
constexpr std::uint8_t kGloAlmUnusable = 0x80;

// Records the store copies whole.
template <std::size_t N>
struct NativeBody {
  std::uint8_t b[N - 1];
  std::uint8_t cs;
};
using ZRT_ALM_QZS = NativeBody<60>;  // first 56 bytes in the GPS layout
using ZRT_UTC_SBA = NativeBody<40>;
using ZRT_UTC_QZS = NativeBody<48>;  // first 23 bytes in the GPS layout
static_assert(sizeof(ZRT_UTC_SBA) == 40 && sizeof(ZRT_UTC_QZS) == 48);

namespace NavData {
// CNAV clock and ephemeris differential corrections of one satellite (GPS, QZSS, NavIC).
struct GpsCnavDCDataType {
  std::uint32_t topD;  // s
  std::uint32_t tod;   // s
  std::uint8_t txSat;  // transmitting satellite
  std::uint8_t flags;  // bit 0 valid, bit 1 DC data type, bit 2 clock part, bit 3 orbit part
  std::uint8_t pad10[2];
  float daf0;    // s
  float daf1;    // s/s
  float dAlpha;  // orbit part: alpha, beta (no unit), gamma, i, Omega (semicircles), A (m)
  float dBeta;
  float dGamma;
  float dI;
  float dOmega;
  float dA;
  std::uint8_t spare[4];
};
static_assert(sizeof(GpsCnavDCDataType) == 48);
static_assert(offsetof(GpsCnavDCDataType, flags) == 9 && offsetof(GpsCnavDCDataType, daf0) == 12);
static_assert(offsetof(GpsCnavDCDataType, dA) == 40);
constexpr std::uint8_t kCnavDcValid = 0x01;

// GPS-to-GNSS time offset of a CNAV or CNAV-2 message.
struct GpsCnavSysOffsetDataType {
  double A0;  // s
  float A1;   // s/s
  float A2;   // s/s^2
  std::uint32_t tGgto;
  std::uint16_t wnGgto;
  std::uint8_t gnssId;
  std::uint8_t pad;
};
static_assert(sizeof(GpsCnavSysOffsetDataType) == 24);
}  // namespace NavData

// Record sizes per system (GPS, GLONASS, Galileo, SBAS, QZSS, BeiDou, NavIC), checksum included.
constexpr int kEphRecordSize[7] = {184, 136, 160, 72, 184, 176, 144};
constexpr int kAlmRecordSize[7] = {56, 64, 60, 56, 60, 60, 64};
constexpr int kUtcRecordSize[7] = {24, 56, 48, 40, 48, 32, 56};
static_assert(kEphRecordSize[0] == sizeof(ZRT_EPH_GPS) && kEphRecordSize[1] == sizeof(ZRT_EPH_GLN) &&
              kEphRecordSize[2] == sizeof(ZRT_EPH_GAL) && kEphRecordSize[3] == sizeof(ZRT_EPH_SBA) &&
              kEphRecordSize[4] == sizeof(ZRT_EPH_QZS) && kEphRecordSize[5] == sizeof(ZRT_EPH_CMP) &&
              kEphRecordSize[6] == sizeof(ZRT_EPH_IRS));
static_assert(kAlmRecordSize[0] == sizeof(ZRT_ALM_GPS) && kAlmRecordSize[1] == sizeof(ZRT_ALM_GLN) &&
              kAlmRecordSize[2] == sizeof(ZRT_ALM_GAL) && kAlmRecordSize[3] == sizeof(ZRT_ALM_SBA) &&
              kAlmRecordSize[4] == sizeof(ZRT_ALM_QZS) && kAlmRecordSize[5] == sizeof(ZRT_ALM_CMP) &&
              kAlmRecordSize[6] == sizeof(ZRT_ALM_IRS));
static_assert(kUtcRecordSize[0] == sizeof(ZRT_UTC_GPS) && kUtcRecordSize[1] == sizeof(ZRT_UTC_GLN) &&
              kUtcRecordSize[2] == sizeof(ZRT_UTC_GAL) && kUtcRecordSize[3] == sizeof(ZRT_UTC_SBA) &&
              kUtcRecordSize[4] == sizeof(ZRT_UTC_QZS) && kUtcRecordSize[5] == sizeof(ZRT_UTC_CMP) &&
              kUtcRecordSize[6] == sizeof(ZRT_UTC_IRS));
constexpr int kMaxEphRecordSize = 184;
constexpr int kMaxAlmRecordSize = 64;
constexpr int kMaxUtcRecordSize = 56;
