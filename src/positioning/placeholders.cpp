#include "positioning/placeholders.h"

// ==== Data servers (store of the position engine) ============================================
bool rcvSetFixedPosition(double /*coordinates*/[6]) { return false; }

void post_NequickSlowTask() {}

bool nvWriteRtcmStationData(int /*sourceIndex*/, const RTCMData::StationDataType& /*station*/) {
  return false;
}
// ==== end of data servers ====================================================================

namespace placeholder {
bool isBeiPhase3(int) { return false; }
bool isBeiDou37compat(int) { return false; }
bool isBeiDouMSMcompat(int, int) { return false; }
bool ignoreCompat(int, int) { return false; }
int rcvSetBdsCompatWord() { return -1; }
}  // namespace placeholder
// ==== end of signal tables block =============================================================
