// DFMC SBAS and QZSS L5S messages as the raw-data task hands them to the decoder pool (the chunk
// form of sbas_chunks.h, kind 1).
#include <cstddef>
#include <cstdint>

#include "fuzz_support.h"
#include "positioning/sbas/dfmc_sbas_data_decoder.h"
#include "sbas_chunks.h"

namespace {
constexpr int kDfmcKind = 1;  // the L5 messages' kind on the SBAS ring
}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::enterRunDir("dfmc_sbas");
  fuzz::noteDeliberateExits();
  PVTEngineInstance.init_Object(&PVTDataInstance, nullptr);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const fuzz::CurrentInput current(data, size);
  fuzz::feedSbasChunks(data, size, kDfmcKind,
                       [](const PosData::RcvTimeDataType& t, const SvIdType& src, const std::uint8_t* msg) {
                         getDFMC_SbasDataDecoder(t, src)->update(t, src, msg);
                       });
  return 0;
}
