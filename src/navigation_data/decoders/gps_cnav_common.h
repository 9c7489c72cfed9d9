// What the GPS/QZSS CNAV (IS-GPS-200 section 30) and CNAV-2 (IS-GPS-800) decoders share: the
// raw ephemeris and clock fields, their turn into the LNAV-shaped native record, the clock and
// ephemeris differential-correction packets, and the GPS-to-GNSS time offset.
#pragma once

#include <cstdint>

#include "navigation_data/decoders/nav_decoder_family.h"
#include "navigation_data/store/sat_data_store.h"

// Raw ephemeris and clock fields common to both messages, sign-extended. The identity of an
// ephemeris is computed over these 120 bytes (padding zero), so their order is fixed.
struct CnavEphRaw {
  std::uint16_t wn;      // 13 bits
  std::uint8_t health;   // CNAV: L1, L2, L5 bits; CNAV-2: the L1C bit
  std::int8_t uraEd;
  std::uint16_t top;     // units of 300 s
  std::uint16_t toe;     // units of 300 s
  std::uint16_t toc;     // units of 300 s (CNAV-2: toe)
  std::int16_t af2;
  std::int8_t uraNed0;
  std::uint8_t uraNed1;
  std::uint8_t uraNed2;
  std::uint8_t pad19;
  std::int32_t af0;
  std::int32_t af1;
  std::int32_t dA;
  std::int32_t aDot;
  std::int32_t dn0;
  std::int32_t dn0Dot;
  std::int64_t m0;
  std::uint64_t e;
  std::int64_t omega;
  std::int64_t omega0;
  std::int64_t i0;
  std::int32_t dOmegaDot;
  std::int32_t crs;
  std::int32_t crc;
  std::int32_t cus;
  std::int32_t cuc;
  std::int16_t idot;
  std::int16_t cis;
  std::int16_t cic;
  std::int16_t tgd;
  std::int16_t isc[4];  // CNAV: L1C/A, L2C, L5I5, L5Q5; CNAV-2: L1CP, L1CD
  std::uint8_t pad116[4];
};
static_assert(sizeof(CnavEphRaw) == 120);

// The 13-bit group-delay pattern of a delay that is not broadcast.
constexpr std::int16_t kCnavDelayAbsent = -4096;
// Reference semi-major axes the broadcast difference is added to (m).
constexpr double kCnavArefGps = 26559710.0;
constexpr double kCnavArefQzss = 42164200.0;
// Reference rate of right ascension (semicircles/s) the broadcast difference is added to.
constexpr double kCnavOmegaDotRef = -2.6e-9;

// The native record of a CNAV (dataType 1) or CNAV-2 (dataType 2) ephemeris of satellite `sv`,
// received at time of week `tow` (s) on the signals of `signalMask`.
void fill_CnavEphRecord(const CnavEphRaw& f, SvIdType sv, int dataType, std::uint32_t tow,
                        std::uint8_t signalMask, ZRT_EPH_GPS& r);

// The LNAV-style URA index (0..15) of a CNAV accuracy: the elevation-dependent and
// non-elevation-dependent terms at `dtSinceTop` seconds after top, combined, against the LNAV
// upper bounds.
int get_CnavUraIndex(int uraEd, int uraNed0, int uraNed1, int uraNed2, double dtSinceTop);

// Clock (CDC) and ephemeris (EDC) differential-correction packets, raw.
struct CnavCdcPacket {
  std::uint8_t dcType;
  std::uint8_t sat;  // broadcast satellite number; 255 none
  std::int16_t daf0;
  std::int8_t daf1;
  std::int8_t udra;
};
struct CnavEdcPacket {
  std::uint8_t dcType;
  std::uint8_t sat;
  std::int16_t dAlpha, dBeta, dGamma, dI, dOmega, dA;
  std::int8_t udra;
};
constexpr std::uint8_t kCnavNoSat = 255;

// The GPS-to-GNSS time offset, raw.
struct CnavGgtoRaw {
  std::uint8_t gnssId;
  std::uint16_t tGgto;  // units of 16 s
  std::uint16_t wnGgto;
  std::int16_t a0;
  std::int16_t a1;
  std::int8_t a2;
};
NavData::GpsCnavSysOffsetDataType make_CnavSysOffset(const CnavGgtoRaw& g);

// The identity a correction packet aims at: GPS for numbers up to 99, else QZSS from 193;
// false for a number that names no satellite of either.
bool cnavDcTarget(int number, SvIdType& out);

// Applies the packets (a satellite number of 255 ends each list) to their targets' correction
// records, sent by satellite number `txSat` with top_D and tOD in units of 300 s.
void apply_CnavCorrections(SatelliteDataProcessor* store, int txSat, std::uint16_t topD, std::uint16_t tod,
                           const CnavCdcPacket* cdc, int nCdc, const CnavEdcPacket* edc, int nEdc);

