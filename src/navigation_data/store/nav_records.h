// Native navigation records: one fixed record per kind and system, identical to the body of
// the native message that carries it. Little-endian, natural alignment; the last byte of each
// record is the message checksum and is never stored.
//
// Systems whose decoders are not written yet keep their records as sized byte bodies: the
// store copies them whole and reads no field inside.
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
  std::uint8_t spare1[3];
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

// Records kept whole: their fields belong to the decoders that fill them.
template <std::size_t N>
struct NativeBody {
  std::uint8_t b[N - 1];
  std::uint8_t cs;
};
using ZRT_EPH_GLN = NativeBody<136>;
using ZRT_EPH_GAL = NativeBody<160>;
using ZRT_EPH_CMP = NativeBody<176>;
using ZRT_EPH_IRS = NativeBody<144>;
using ZRT_ALM_GLN = NativeBody<64>;
using ZRT_ALM_GAL = NativeBody<60>;
using ZRT_ALM_QZS = NativeBody<60>;  // first 56 bytes in the GPS layout
using ZRT_ALM_CMP = NativeBody<60>;
using ZRT_ALM_IRS = NativeBody<64>;
using ZRT_UTC_GAL = NativeBody<48>;
using ZRT_UTC_SBA = NativeBody<40>;
using ZRT_UTC_QZS = NativeBody<48>;
using ZRT_UTC_CMP = NativeBody<32>;
using ZRT_UTC_IRS = NativeBody<56>;
static_assert(sizeof(ZRT_EPH_GLN) == 136 && sizeof(ZRT_EPH_CMP) == 176 && sizeof(ZRT_UTC_IRS) == 56);

// Record sizes per system (GPS, GLONASS, Galileo, SBAS, QZSS, BeiDou, NavIC), checksum included.
constexpr int kEphRecordSize[7] = {184, 136, 160, 72, 184, 176, 144};
constexpr int kAlmRecordSize[7] = {56, 64, 60, 56, 60, 60, 64};
constexpr int kUtcRecordSize[7] = {24, 56, 48, 40, 48, 32, 56};
static_assert(kEphRecordSize[0] == sizeof(ZRT_EPH_GPS) && kEphRecordSize[3] == sizeof(ZRT_EPH_SBA));
static_assert(kAlmRecordSize[0] == sizeof(ZRT_ALM_GPS) && kUtcRecordSize[1] == sizeof(ZRT_UTC_GLN));
constexpr int kMaxEphRecordSize = 184;
constexpr int kMaxAlmRecordSize = 64;
constexpr int kMaxUtcRecordSize = 56;

// Broadcast Klobuchar model (GPS; QZSS, BeiDou and NavIC use the same layout).
struct ZRT_ION_GPS {
  std::uint32_t tow;  // reference time, s of week
  std::uint16_t week;
  std::uint8_t pad6[2];
  float alpha[4];  // s, s/semicircle, s/semicircle^2, s/semicircle^3
  float beta[4];   // s, s/semicircle, s/semicircle^2, s/semicircle^3
  std::uint8_t valid;
  std::uint8_t svIdx;  // tracking index of the satellite that sent it
  std::uint8_t pad42[5];
  std::uint8_t cs;
};
static_assert(sizeof(ZRT_ION_GPS) == 48);
static_assert(offsetof(ZRT_ION_GPS, week) == 4 && offsetof(ZRT_ION_GPS, alpha) == 8);
static_assert(offsetof(ZRT_ION_GPS, beta) == 24 && offsetof(ZRT_ION_GPS, valid) == 40);
static_assert(offsetof(ZRT_ION_GPS, svIdx) == 41);
