// Stand-ins for operations of parts not built yet. Each answers "not available"; the real
// implementation replaces it. Keep each user's stand-ins in its own block.
#pragma once

#include <cstdint>

// ==== Correction decoders (RTCM 3 decoder, decoder status, received-message stores) ==========

// Port model (`InPorts` of the port layer, not merged yet): the decoder port type and count.
// Decoder port 0..21 (serial, board links, TCP, TCP clients, USB, CAN); -1 before any data.
namespace InPorts {
using DecPortIndex = int;
constexpr int kDecPorts = 22;
}  // namespace InPorts

// Output ports (`OutPorts::ports_`): writes `len` bytes to the output stream of port index
// `portIndex` with no timeout. Stand-in: -1, no output port is available.
int outPortsWrite(int portIndex, const void* data, int len);

// Native-format writer (`ZRStdMsg`) over an output port: writes `len` bytes as the body of one
// wrapped native message for output stream `stream` to port index `portIndex`. Stand-in: -1, not
// available.
int zrStdMsgWriteWrapped(int portIndex, int stream, const void* data, int len);

// Receiver settings `RcvSet`: the MSM compatibility word "msm/compat" (0..6). Stand-in: -1, not
// available (so message 1033 leaves `compatibleVendor` alone).
int rcvSetMsmCompat();

// Navigation solution `NavSol`: calendar time of the last solution as month, day, hour,
// minute, second. Stand-in: false, no solution (the receipt time stays zero).
bool navSolCalendar(std::uint8_t out[5]);

// Reference position records of `ReferencePos` (not built yet), as far as the received
// reference-parameter store keeps them: the station part and the antenna part.
namespace ReferencePos {
struct REFPOS_PAR {
  double x, y, z;        // m
  double lat, lon, hgt;  // rad, rad, m
  char name[32];
};
static_assert(sizeof(REFPOS_PAR) == 80);
struct ANT_PAR {
  float offsets[9];       // L1, L2 and a third set of offsets, m
  std::uint8_t flags[2];  // offsets set / valid / L2 valid / referred to the ARP
  std::uint8_t pad[2];
};
static_assert(sizeof(ANT_PAR) == 40);
}  // namespace ReferencePos

// ==== end of the correction decoders' stand-ins ==============================================
