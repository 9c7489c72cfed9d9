// Raw navigation-message ring entries of any content through the position engine's dispatch to
// the decoders. Entries name satellites the decoders and servers must never be handed out of
// range, so here an exit of the program is a fault like any crash.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "fuzz_support.h"
#include "navigation_data/store/sat_data_store.h"
#include "positioning/engine/pvt_engine.h"

namespace {

template <class Entry, class Ring>
void append(Ring& ring, const std::uint8_t* p, std::size_t n) {
  Entry e{};
  std::memcpy(&e, p, n < sizeof e ? n : sizeof e);
  ring.append(e);  // an entry whose count exceeds its payload is refused by the ring
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::enterRunDir("pvt_raw");
  PVTEngineInstance.init_Object(&PVTDataInstance, &SatDataProcessorInstance);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // Records of one selector byte and an entry's bytes; selector bit 7 first gives the engine an
  // epoch (a receiver-time record), without which every message is dropped.
  std::size_t at = 0;
  while (at < size) {
    const std::uint8_t sel = data[at++];
    if (sel & 0x80) {
      NavTask::NAV_SOL sol;
      sol.epoch.gpsWeek = 2300 + (sel & 0x7);
      sol.epoch.timeTag = sel;
      PVTEngineInstance.update(100, true, &sol, nullptr);
    }
    const std::size_t n = size - at;
    const std::uint8_t* p = data + at;
    switch (sel % 7) {
      case 0: append<CorrData::GpsRawMessageType>(GpsRawMessageData, p, n); break;
      case 1: append<CorrData::GloRawMessageType>(GloRawMessageData, p, n); break;
      case 2: append<CorrData::GalRawMessageType>(GalRawMessageData, p, n); break;
      case 3: append<CorrData::WaasRawMessageType>(WaasRawMessageData, p, n); break;
      case 4: append<CorrData::GpsRawMessageType>(QzssRawMessageData, p, n); break;
      case 5: append<CorrData::CmpRawMessageType>(CompRawMessageData, p, n); break;
      default: append<CorrData::IrnssRawMessageType>(IrnssRawMessageData, p, n); break;
    }
    at += sel % 7 == 2 || sel % 7 == 3 ? sizeof(CorrData::GalRawMessageType) : sizeof(CorrData::GpsRawMessageType);
    PVTEngineInstance.update_RawNavDataFromBoardDec();
  }
  return 0;
}
