// Engine setup records, stored byte for byte in their settings-image blocks; the sizes are the
// block sizes. The settings commands give the bytes their fields; the few the positioning layer
// itself fills have their offsets below.
#pragma once

#include <cstddef>
#include <cstdint>

#include "positioning/geodesy/dtm_list.h"
#include "positioning/geodesy/ell_math.h"

namespace PosSetup {

struct SatProcessorSetupType {
  std::uint8_t aBytes[2600];
};
struct CorrProcessorSetupType {
  std::uint8_t aBytes[376];
};
struct LMSEngineSetupType {
  std::uint8_t aBytes[248];
};
struct KFKEngineSetupType {
  std::uint8_t aBytes[160];
};
struct KFKSteadyPartSetupType {
  std::uint8_t aBytes[244];
};

static_assert(sizeof(SatProcessorSetupType) == 2600);
static_assert(sizeof(CorrProcessorSetupType) == 376);
static_assert(sizeof(LMSEngineSetupType) == 248);
static_assert(sizeof(KFKEngineSetupType) == 160);
static_assert(sizeof(KFKSteadyPartSetupType) == 244);

// Datum of one system's measurements as the satellite-processor setup keeps it: the stored form
// and the ready forms of the datum and its ellipsoid.
struct DatumBlockType {
  DtmList::ELL_PARAMS ell;
  DtmList::DATUM_PARAMS_STORE store;
  EllMath::ELL_EXTPAR ellExt;
  DtmList::DATUM_PARAMS_COMPUTE prm;
  std::uint8_t spare[16];
};
static_assert(sizeof(DatumBlockType) == 280);
inline constexpr std::size_t kSatDatumOffset = 384;  // seven blocks, one per system
// Fields of the satellite-processor setup the measurement processor and the channel data read.
inline constexpr std::size_t kSatHealthCheckOffset = 256;  // u64 x 7: healthy polynomials only
inline constexpr std::size_t kSatCombModeOffset = 2346;    // u8: 1 smooths on the two-frequency carrier
inline constexpr std::size_t kSatSmoothWaitOffset = 2352;  // u32: 1 smoothed code only at full count
inline constexpr std::size_t kSatTecCalibOffset = 2366;    // u8: 1 runs the TEC calibration
// u8, debug: bits 0..2 negate the X, Y, Z of the satellite positions computed from the store.
inline constexpr std::size_t kSatDebugInverseOffset = 2357;
// Code corrections from base observations: systems (bit per system) whose corrections lose the
// base offset's part along the line of sight, and that offset (i16 x 3, mm, Earth-fixed X, Y, Z).
inline constexpr std::size_t kCorrBaseOffsetSysOffset = 344;
inline constexpr std::size_t kCorrBaseOffsetOffset = 346;
// Fields the satellite data store reads: the elevation-weighting mode (4, or 1 with the second
// field 0 and screening on: the weighted model) and the accuracy screening (with mode 1: a record
// whose accuracy index is 8 or more counts as unhealthy). All 0 by default.
inline constexpr std::size_t kSatWeightModeOffset = 2360;   // u8
inline constexpr std::size_t kSatWeightMode2Offset = 2361;  // u8
inline constexpr std::size_t kSatAccScreeningOffset = 2362; // u8
// Fields the RTK engine's satellite exclusions read.
inline constexpr std::size_t kSatSysUseOffset = 112;       // u32: bit per system in use
inline constexpr std::size_t kSatInUseMaskOffset = 192;    // u64 x 7: satellites in use (SAT numbering)
inline constexpr std::size_t kSatGloChannelOffset = 248;   // u32: bit k GLONASS channel k - 7 in use
inline constexpr std::size_t kSatSignalMaskOffset = 120;   // u32 x 7: bit per signal slot in use

// Meteorological data of the correction-processor setup.
struct MeteoDataType {
  double pressure;     // hPa
  double temperature;  // K
  double vapour;       // water-vapour pressure, hPa
};
static_assert(sizeof(MeteoDataType) == 24);
inline constexpr std::size_t kCorrMeteoOffset = 320;

// The block of a datum of the built-in list, by its name; false for a name the list lacks.
bool makeDatumBlock(const char* name, DatumBlockType& out);

// Factory defaults of each record.
void setDefaults(SatProcessorSetupType& s);
void setDefaults(CorrProcessorSetupType& s);
void setDefaults(LMSEngineSetupType& s);
void setDefaults(KFKEngineSetupType& s);
void setDefaults(KFKSteadyPartSetupType& s);

// Temperature (degrees Celsius), relative humidity (%) and pressure (hPa) into the stored triple,
// and back.
void convertMeteo(double tempC, double humidity, double pressure, MeteoDataType& m);
void convertMeteo(const MeteoDataType& m, double& tempC, double& humidity, double& pressure);
MeteoDataType getMeteo(const CorrProcessorSetupType& s);
void setMeteo(CorrProcessorSetupType& s, const MeteoDataType& m);

}  // namespace PosSetup
