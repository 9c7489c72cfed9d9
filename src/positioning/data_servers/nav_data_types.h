// Broadcast ionosphere models and GBAS ephemeris-integrity entries as the navigation decoders
// publish them. Their decoders add the model fields.
#pragma once

#include <cstdint>

#include "navigation_data/store/nav_records.h"
#include "positioning/data_servers/data_buffer_server.h"

namespace NavData {

struct KlobIonoModelDataType {
  std::uint8_t bValid;
  ZRT_ION_GPS model;  // the broadcast parameters; model.valid as bValid
};

struct BDGlobalIonoModelDataType {
  std::uint8_t bValid;
  ZRT_ION_CMP model;  // the broadcast coefficients; model.valid as bValid
};

struct NeQuickIonoModelDataType {
  std::uint8_t bValid;
  std::uint8_t uDisturbanceFlags;  // ionospheric disturbance flags of regions 1-5
  std::uint16_t uWeek;             // Galileo week of the ephemeris, low 10 bits
  std::uint32_t ulTowMs;           // its time of week, ms
  float fAi[3];                    // effective ionisation level coefficients ai0, ai1, ai2
};

struct GlonassIonoModelDataType {
  std::uint8_t bValid;
  std::uint8_t uSatIndex;  // tracking index of the satellite that sent it
  std::uint16_t uC1, uC2;  // the two integer coefficients
  float fC0;               // the first coefficient, scaled
};

struct GbasEphIntegrityDataType {
  DataBufferHeaderType header;
  std::uint16_t uIod;  // issue of data of the ephemeris (LNAV: IODE; GLONASS: tb)
  std::uint16_t uCrc;  // its 16-bit check value
  void init() { uIod = 0, uCrc = 0; }
};

}  // namespace NavData
