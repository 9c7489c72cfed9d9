#include "positioning/placeholders.h"

// ==== Data servers (store of the position engine) ============================================
bool rcvSetFixedPosition(double /*coordinates*/[6]) { return false; }

void post_NequickSlowTask() {}

bool nvWriteRtcmStationData(int /*sourceIndex*/, const RTCMData::StationDataType& /*station*/) {
  return false;
}
// ==== end of data servers ====================================================================
