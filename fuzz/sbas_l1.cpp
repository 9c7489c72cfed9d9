// SBAS L1 messages as the raw-data task hands them to the decoder pool (the chunk form of
// sbas_chunks.h).
#include <cstddef>
#include <cstdint>

#include "fuzz_support.h"
#include "navigation_data/store/sat_data_store.h"
#include "sbas_chunks.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::enterRunDir("sbas_l1");
  fuzz::noteDeliberateExits();
  // With the satellite store, GEO navigation, almanacs and network time reach it as in the program.
  PVTEngineInstance.init_Object(&PVTDataInstance, &SatDataProcessorInstance);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const fuzz::CurrentInput current(data, size);
  fuzz::feedSbasChunks(data, size, RawNavKind::kSbasL1,
                       [](const PosData::RcvTimeDataType& t, const SvIdType& src, const std::uint8_t* msg) {
                         get_SbasDataDecoder(t, src)->update(t, src, msg);
                       });
  return 0;
}
