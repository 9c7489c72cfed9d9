// RTCM 2 and state-space correction records.
#pragma once

#include <cstdint>

#include "positioning/data_servers/data_buffer_server.h"

namespace RTCMData {

constexpr int kRtcmSources = 5;

struct SatCorrectionType {
  DataBufferHeaderType header;
  void init() {}
};

// Stored byte for byte in its settings-image block.
struct StationDataType {
  std::uint16_t uStationId = 65535;  // 65535: no station
  std::uint8_t aBody[62] = {};
};
static_assert(sizeof(StationDataType) == 64);

struct SourceStateDataType {
  std::uint8_t bValid;
};

struct TSSatCorrectionType {
  DataBufferHeaderType header;
  void init() {}
};

struct TSSourceStateDataType {
  std::uint16_t uId = 65535;
  std::uint8_t aState[7] = {};
};

}  // namespace RTCMData
