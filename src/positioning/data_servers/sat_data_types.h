// Per-satellite records of the satellite data store and the correction processor. The pool
// records begin with the pool header; their owners add the remaining fields.
#pragma once

#include <cstdint>

#include "positioning/data_servers/data_buffer_server.h"

namespace SatData {

struct VisibilityDataType {
  DataBufferHeaderType header;
  void init() {}
};

struct CorrectionDataType {
  DataBufferHeaderType header;
  void init() {}
};

struct GbasAccuracyDataType {
  DataBufferHeaderType header;
  void init() {}
};

// Satellites of one epoch: one bit per satellite in each system's mask.
struct SatelliteListType {
  std::uint64_t ullMask[7];
  std::uint32_t ulTimeTag;
  std::uint8_t bFlag;
};

}  // namespace SatData
