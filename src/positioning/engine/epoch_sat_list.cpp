#include "positioning/engine/epoch_sat_list.h"

#include "positioning/chan_data.h"

std::uint8_t spoofedInPos = 0;

bool isUsableSignal(const ChanSigData* s) {
  if (s == nullptr || s == &SdatEmpty) return false;
  if ((s->flags & ChanSigData::kValid) != ChanSigData::kValid) return false;
  if ((s->flags & EpochSignal::kNotForCode) != 0) return false;
  if (!(s->cn0 > 1.0f)) return false;
  return spoofedInPos != 0 || (s->flags & EpochSignal::kSpoofSuspect) == 0;
}

int firstUsableSignal(const ChanData* ch) {
  if (ch == nullptr) return -1;
  for (int u = 0; u < kCdatSlots; ++u)
    if (isUsableSignal(ch->sig(u))) return u;
  return -1;
}

int epochChannelBase(const PVTEngineEpochDataType& e) {
  if (e.pEpochSatData == nullptr || e.pChanData == nullptr) return -1;
  if (e.pChanData < Cdat || e.pChanData + kCdatPerInput > Cdat + kCdatChannels) return -1;
  return static_cast<int>(e.pChanData - Cdat);
}
