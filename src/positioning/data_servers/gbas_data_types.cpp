#include "positioning/data_servers/gbas_data_types.h"

#include "positioning/data_servers/comp_data_types.h"

namespace GBASData {

namespace {
// Station, additional and approach data change rarely: they stay usable for a day.
constexpr float kDiffCorrTimeout = 60.0f;
constexpr float kStationTimeout = 86410.0f;
}  // namespace

float DiffCorrectionType::fDataTimeout = kDiffCorrTimeout;
float StationDataType::fDataTimeout = kStationTimeout;
float StationAddBlockDataType::fDataTimeout = kStationTimeout;
float FASDataType::fDataTimeout = kStationTimeout;

// The correction time tags of every augmentation family share one form.
void set_TimeTag(TimeTag& tag, std::uint32_t timeMs) { COMPData::set_TimeTag(tag, timeMs); }
float get_TimeTagAge(TimeTag tag, std::uint32_t nowMs) { return COMPData::get_TimeTagAge(tag, nowMs); }

void DiffCorrectionType::init() {
  uFlags = 0;
  uMeasType = 0;
  uBlockId = 0;
  uIod = 0;
  ulGbasId = 0;
  uEphCrc = 0;
  uSad = kSadUnknown;
  iPrc = 0;
  iRrc = 0;
  uSigmaPrGnd = kSigmaInvalid;
  uEphDecorr = 0;
  for (std::int8_t& b : iB) b = kBNotUsed;
  uSpare[0] = uSpare[1] = 0;
  ulCorrTime = 0;
  ulFirstTime = 0;
  ulTimeTag = 0;
}

void DiffCorrectionType::set_ReadyDiffCorr(std::uint8_t blockId, std::uint32_t gbasId) {
  if (blockId != uBlockId && gbasId != ulGbasId) set_TimeTag(ulTimeTag, kNoTime);
  uBlockId = blockId;
  ulGbasId = gbasId;
  uFlags = static_cast<std::uint8_t>(uFlags | kReady);
}

bool DiffCorrectionType::is_ReadyDiffCorr(std::uint32_t nowMs) const {
  return (uFlags & kReady) != 0 && get_TimeTagAge(ulTimeTag, nowMs) <= fDataTimeout;
}

void DiffCorrectionType::set_DataTimeout(const PosSetup::CorrProcessorSetupType* setup) {
  if (setup != nullptr) fDataTimeout = kDiffCorrTimeout;
}
void StationDataType::set_DataTimeout(const PosSetup::CorrProcessorSetupType* setup) {
  if (setup != nullptr) fDataTimeout = kStationTimeout;
}
void StationAddBlockDataType::set_DataTimeout(const PosSetup::CorrProcessorSetupType* setup) {
  if (setup != nullptr) fDataTimeout = kStationTimeout;
}
void FASDataType::set_DataTimeout(const PosSetup::CorrProcessorSetupType* setup) {
  if (setup != nullptr) fDataTimeout = kStationTimeout;
}

}  // namespace GBASData
