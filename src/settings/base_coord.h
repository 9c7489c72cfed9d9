// The RTK base record BASECOORD (global bc): the base station's position, antenna and source as
// last received or entered. Saved as the base settings block, 184 bytes, layout fixed.
#pragma once

#include <cstddef>
#include <cstdint>

struct BASECOORD {
  // Reference position: Cartesian X, Y, Z (m), latitude, longitude (rad), height (m), name.
  double xyz[3];
  double blh[3];
  char name[28];
  float offL1[3];            // L1 antenna offsets, m
  float offL2[3];            // L2 antenna offsets, m
  float offArp[3];           // third set of offsets, m
  char antDescr[32];
  char antSerial[32];
  std::uint8_t antSetupId;
  std::uint8_t offFlags;     // bit 0 offsets set, bit 1 valid, bit 2 refer to the ARP, bit 3 L2 Earth-fixed
  std::uint16_t stationId;
  std::uint8_t srcKind;      // 0 message 3 or 32, 1 message 24, 2 CMR
  std::int8_t srcPort;       // decoder port
  std::uint8_t valid;        // bit 0
  std::uint8_t recvFlags;    // bit 0 base received, bit 1 antenna data included
};
static_assert(sizeof(BASECOORD) == 184);
static_assert(offsetof(BASECOORD, offL1) == 76 && offsetof(BASECOORD, antSetupId) == 176);

extern BASECOORD bc;
void baseCoordDefaults(BASECOORD& b);

class Mutex;
// Every writer of `bc` (the correction decoders, the settings' load and "init,/par/") and every
// copy a reader takes hold it, so that no reader sees half of one record and half of another. A
// holder that also changes settings blocks takes the image lock (RamNvmLock) first.
Mutex& baseCoordLock();
