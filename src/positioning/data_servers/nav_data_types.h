// Broadcast ionosphere models and GBAS ephemeris-integrity entries as the navigation decoders
// publish them. Their decoders add the model fields.
#pragma once

#include <cstdint>

#include "positioning/data_servers/data_buffer_server.h"

namespace NavData {

struct KlobIonoModelDataType {
  std::uint8_t bValid;
};

struct BDGlobalIonoModelDataType {
  std::uint8_t bValid;
};

struct NeQuickIonoModelDataType {
  std::uint8_t bValid;
};

struct GlonassIonoModelDataType {
  std::uint8_t bValid;
};

struct GbasEphIntegrityDataType {
  DataBufferHeaderType header;
  void init() {}
};

}  // namespace NavData
