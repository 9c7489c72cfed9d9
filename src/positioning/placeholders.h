// Stand-ins for code of the positioning layer's neighbours that is not built yet. Each answers
// "not available" (or does nothing) until its owner replaces it.
#pragma once

#include <cstdint>

// ==== Data servers (store of the position engine) ============================================
namespace RTCMData {
struct StationDataType;
}

// Receiver settings `RcvSet` (command layer): when its position-source word is 6, the six
// coordinates (X, Y, Z, latitude, longitude, height) kept in the settings replace those of every
// position put. Stand-in: false, the word is not available.
bool rcvSetFixedPosition(double coordinates[6]);

// NeQuick task: posts the task's semaphore when a request was stored. Stand-in: no task, so
// nothing to wake.
void post_NequickSlowTask();

// Engine setups in the settings image: writes an RTCM station record into the block of its
// source (2196 + source index). Stand-in: false, the block is not available.
bool nvWriteRtcmStationData(int sourceIndex, const RTCMData::StationDataType& station);
// ==== end of data servers ====================================================================

namespace placeholder {
// No BeiDou-3 satellite known until the lock manager keeps the phase-3 mask.
bool isBeiPhase3(int n);
// No satellite is marked for a compatibility shift or skip.
bool isBeiDou37compat(int n);
bool isBeiDouMSMcompat(int n, int s);
bool ignoreCompat(int n, int s);
// RcvSet's BeiDou compatibility word: -1, not available (so no MSM cell is skipped).
int rcvSetBdsCompatWord();
}  // namespace placeholder
// ==== end of signal tables block =============================================================
