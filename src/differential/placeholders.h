// Stand-ins for operations of parts not built yet. Each answers "not available"; the real
// implementation replaces it. Keep each user's stand-ins in its own block.
#pragma once

#include <cstdint>

#include "positioning/reference/reference_pos.h"

// ==== Coding driver ==========================================================================
// The RTCM 3 message plan of a stream, not built yet.
// rtcm3mMakeOut stand-in: false, no RTCM 3 message enabled (plan cleared).
namespace placeholder {
bool rtcm3mMakeOut(int stream, bool plan[], int size);
}  // namespace placeholder
// ==== end of the coding driver's stand-ins ===================================================

// ==== RTCM 3 coder ===========================================================================
// The tilt-output switch of the receiver output parameters, not built yet. Stand-in: off.
namespace placeholder {
bool baseTiltOutput();
}  // namespace placeholder
// ==== end of the RTCM 3 coder's stand-ins ====================================================

// ==== Code corrections from base observations ================================================
// The per-system base-offset correction of the correction setup (switch and offset vector, m,
// ECEF), not built yet. Stand-in: false, no offset for any system.
namespace placeholder {
bool baseOffsetCorrection(int sys, double off[3]);
// The satellite data store's debug switch that negates one ECEF axis (0..2) of every satellite
// position (`bDebugInverseCoordinate`), not built yet. Stand-in: false, no axis negated.
bool bDebugInverseCoordinate(int axis);
}  // namespace placeholder
// ==== end of the code corrections' stand-ins =================================================

// ==== RTCM 3 client ===========================================================================
// The receiver's RTK base record and its antenna (not built yet). Stand-ins: each answers false
// (not available) and keeps what it was handed, so that the hand-over stays visible until the
// base record takes it.
namespace placeholder {
struct RtkBaseIn {
  ReferencePos::REFPOS_PAR pos;
  ReferencePos::ANT_PAR ant;
  std::int32_t port;
  std::uint16_t stationId;
  std::uint8_t source;    // 3: RTCM 3
  std::uint8_t received;  // 1: the position came from a base's message
};
struct RtkBaseStandIn {
  int bases = 0, saves = 0, antTypes = 0, antOffsets = 0;
  RtkBaseIn lastBase{};
  float lastOffsets[3] = {};
  char antDesc[32] = {}, antSerial[32] = {};
  int antSetup = -1;
};
extern RtkBaseStandIn rtkBaseStandIn;
bool updateRtkBase(const RtkBaseIn& base);
bool saveRtkData();
bool updateAntType(const char* desc, const char* serial, int setupId);
bool updateAnt_(const float offsets[3]);
}  // namespace placeholder
// ==== end of the RTCM 3 client's stand-ins ===================================================

// ==== RTK base record ========================================================================
// The stored RTK base's invalidation (`invalidateRtkBase`: the record marked not valid, the base
// decoders told, the base settings saved), not built yet. Stand-in: false (not available);
// counts the calls and keeps the base index so that the request stays visible.
namespace placeholder {
extern int invalidateRtkBaseCalls;
extern int invalidateRtkBaseLast;
bool invalidateRtkBase(int base);
}  // namespace placeholder
// ==== end of the RTK base record's stand-ins =================================================
