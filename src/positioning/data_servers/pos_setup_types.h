// Engine setup records, stored byte for byte in their settings-image blocks; the sizes are the
// block sizes. The settings commands give the bytes their fields.
#pragma once

#include <cstdint>

namespace PosSetup {

struct SatProcessorSetupType {
  std::uint8_t aBytes[2600];
};
struct CorrProcessorSetupType {
  std::uint8_t aBytes[376];
};
struct LMSEngineSetupType {
  std::uint8_t aBytes[248];
};
struct KFKEngineSetupType {
  std::uint8_t aBytes[160];
};
struct KFKSteadyPartSetupType {
  std::uint8_t aBytes[244];
};

static_assert(sizeof(SatProcessorSetupType) == 2600);
static_assert(sizeof(CorrProcessorSetupType) == 376);
static_assert(sizeof(LMSEngineSetupType) == 248);
static_assert(sizeof(KFKEngineSetupType) == 160);
static_assert(sizeof(KFKSteadyPartSetupType) == 244);

}  // namespace PosSetup
