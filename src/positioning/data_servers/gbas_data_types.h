// GBAS records as the GBAS message decoder publishes them.
#pragma once

#include <cstdint>

#include "positioning/data_servers/data_buffer_server.h"

namespace GBASData {

constexpr int kGbasSources = 2;
constexpr int kFasEntries = 49;

struct DiffCorrectionType {
  DataBufferHeaderType header;
  void init() {}
};

struct StationDataType {
  std::uint8_t bValid;
};

struct StationAddBlockDataType {
  std::uint8_t bValid;
};

struct FASDataType {
  std::uint8_t bValid;
};

struct SourceStateDataType {
  std::uint8_t bValid;
};

struct CommonDataType {
  std::uint8_t bValid;
};

}  // namespace GBASData
