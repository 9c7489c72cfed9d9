// Decoded SBAS data as the SBAS message decoders publish it. The ionosphere band record is
// complete; the other types hold what the servers need and are completed by their decoders.
#pragma once

#include <cstdint>

#include "positioning/data_servers/data_buffer_server.h"

namespace SBASData {

constexpr int kSbasSources = 12;
constexpr int kDfmcSources = 11;
constexpr int kIonoBands = 11;           // band slots 0..10
constexpr int kIonoBandPoints = 201;     // grid points 0..200 of a band
constexpr int kIonoPointsPerBlock = 15;  // grid points per block of the MT26 message
constexpr int kIonoBlocks = (kIonoBandPoints + kIonoPointsPerBlock - 1) / kIonoPointsPerBlock;
constexpr int kRegionServiceEntries = 80;

struct SatCorrectionType {
  DataBufferHeaderType header;
  void init() {}
};

// One grid point's ionosphere data: bit 0 grid mask ready (MT18), bit 1 correction ready
// (MT26), bits 2..5 GIVE indicator, bits 6..14 vertical delay, bits 15..19 source index.
struct IonoCorrectionType {
  std::uint32_t ulBits;
};

// One band's grid in a pool record. Each point keeps bits 0..14 of its correction in a word;
// the source index (bits 15..19) is kept once per block of points.
struct IonoBandDataType {
  DataBufferHeaderType header;
  std::uint16_t uPoint[kIonoBandPoints];
  std::int16_t iBlockWord[kIonoBlocks];
  std::uint8_t uBlockByte[kIonoBlocks];
  std::int16_t iIssue;

  void init();
  void pack(int point, std::uint32_t correction);
  std::uint32_t unpack(int point) const;
};

struct RegionServiceDataType {
  std::uint8_t bReady;
};

struct DegradationDataType {
  std::uint8_t bReady;
};

struct SourceStateDataType {
  std::uint8_t uPrn = 255;
};

struct DFMC_SatCorrectionType {
  DataBufferHeaderType header;
  void init() {}
};

struct DFMC_DegradationDataType {
  std::uint8_t bReady;
};

struct DFMC_SourceStateDataType {
  std::uint8_t uPrn = 255;
};

}  // namespace SBASData
