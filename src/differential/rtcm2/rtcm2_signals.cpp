#include "differential/rtcm2/rtcm2_signals.h"

namespace {
constexpr int kSystems = 4;
constexpr int kIds = 16;
constexpr signed char kNone = -1;

// {slot, code} per signal id; kNone where the receiver has no slot.
struct Entry {
  signed char slot;
  signed char code;
};
constexpr Entry N{kNone, kNone};
constexpr Entry kTable[kSystems][kIds] = {
    // GPS: L1 C/A, L1 P, L2C, L2 P, L5
    {{0, 0}, {0, 1}, {1, 0}, {1, 1}, {2, 0}, N, N, N, N, N, N, N, N, N, N, N},
    // GLONASS: L1 C/A, L1 P, L2 C/A, L2 P
    {{0, 0}, {0, 1}, {1, 0}, {1, 1}, N, N, N, N, N, N, N, N, N, N, N, N},
    // Galileo: E1, E5a, E5b
    {{0, 0}, {2, 0}, {3, 0}, N, N, N, N, N, N, N, N, N, N, N, N, N},
    // SBAS: L1, L5
    {{0, 0}, {2, 0}, N, N, N, N, N, N, N, N, N, N, N, N, N, N},
};
}  // namespace

bool rtcm2SignalOf(int sys, int signalId, Rtcm2Signal& out) {
  if (sys < 0 || sys >= kSystems || signalId < 0 || signalId >= kIds) return false;
  const Entry e = kTable[sys][signalId];
  if (e.slot == kNone) return false;
  out = Rtcm2Signal{e.slot, e.code, signalId & 7};
  return true;
}
