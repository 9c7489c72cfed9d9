// BeiDou D2 correction records (satellite corrections, ionosphere grid blocks, source states).
#pragma once

#include <cstdint>

#include "positioning/data_servers/data_buffer_server.h"

namespace COMPData {

constexpr int kCompSources = 5;

struct SatCorrectionType {
  DataBufferHeaderType header;
  void init() {}
};

struct IonoCorrBlockType {
  DataBufferHeaderType header;
  void init() {}
};

struct SourceStateDataType {
  std::uint8_t bValid;
};

}  // namespace COMPData
