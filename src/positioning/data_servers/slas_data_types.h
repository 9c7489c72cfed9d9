// SLAS (QZSS L1S) correction records.
#pragma once

#include <cstdint>

#include "positioning/data_servers/data_buffer_server.h"

namespace SLASData {

constexpr int kSlasSources = 3;

struct SatCorrectionType {
  DataBufferHeaderType header;
  void init() {}
};

struct StationDataType {
  std::uint8_t bValid;
};

}  // namespace SLASData
