// Correction sources: the few table slots the correction servers keep per source are lent to
// the source ids seen most recently.
#include "positioning/engine/pvt_engine.h"

SourceIdEntry RtcmSourceIdData[kRtcmSourceEntries];
SourceIdEntry SlasSourceIdData[kSlasSourceEntries];
SourceIdEntry RtcmTSSourceIdData[kRtcmTSSourceEntries];
std::uint32_t uSbasProviderAssignment[kSbasProviderEntries];

namespace {

// The source's own entry; else the first free one; else the one not seen for longest (by
// unsigned age, so that the time may wrap; the first on equal ages). It takes id and time.
int sourceIndex(SourceIdEntry* table, int n, std::uint32_t time, std::uint16_t id) {
  int chosen = -1;
  if (id != kFreeSourceId)
    for (int i = 0; i < n && chosen < 0; ++i)
      if (table[i].uId == id) chosen = i;
  for (int i = 0; i < n && chosen < 0; ++i)
    if (table[i].uId == kFreeSourceId) chosen = i;
  if (chosen < 0) {
    chosen = 0;
    for (int i = 1; i < n; ++i)
      if (time - table[i].ulTime > time - table[chosen].ulTime) chosen = i;
  }
  table[chosen].uId = id;
  table[chosen].ulTime = time;
  return chosen;
}

}  // namespace

int get_RtcmSourceIndex(std::uint32_t time, std::uint16_t id) {
  return sourceIndex(RtcmSourceIdData, kRtcmSourceEntries, time, id);
}

int get_SlasSourceIndex(std::uint32_t time, std::uint16_t id) {
  return sourceIndex(SlasSourceIdData, kSlasSourceEntries, time, id);
}
