#include "positioning/data_servers/comp_data_types.h"

#include <cstring>

namespace COMPData {

namespace {

constexpr float kNotValidAge = 86410.0f;
constexpr std::int64_t kWeekMs = 604800000;
constexpr std::int64_t kHalfWeekMs = 302400000;

bool tagValid(TimeTag t) { return (t & 1u) != 0; }

float setupSeconds(const PosSetup::CorrProcessorSetupType* setup, std::size_t offset) {
  std::uint16_t v = 0;
  std::memcpy(&v, setup->aBytes + offset, sizeof v);
  return static_cast<float>(v);
}

}  // namespace

float SatCorrectionType::fPrnMaskTimeout = 3600.0f;
float SatCorrectionType::fUDREDataTimeout = 360.0f;
float SatCorrectionType::fCorrDataTimeout = 360.0f;
float IonoCorrBlockType::fBlockTimeout = 1200.0f;
float SourceStateDataType::fSourceStateTimeout = 3660.0f;

void set_TimeTag(TimeTag& tag, std::uint32_t timeMs) {
  tag = timeMs == kNoTime ? (tag & ~1u) : (timeMs << 1 | 1u);
}

float get_TimeTagAge(TimeTag tag, std::uint32_t nowMs) {
  if (!tagValid(tag)) return kNotValidAge;
  std::int64_t d = static_cast<std::int64_t>(nowMs) - static_cast<std::int64_t>(tag >> 1);
  d %= kWeekMs;
  if (d > kHalfWeekMs) d -= kWeekMs;
  if (d < -kHalfWeekMs) d += kWeekMs;
  return static_cast<float>(static_cast<double>(d) * 0.001);
}

std::uint8_t sourceIndexOf(const SvIdType& geo) { return static_cast<std::uint8_t>(geo.si & 0x1F); }

// ---- satellite corrections ------------------------------------------------------------------

void SatCorrectionType::init() {
  uFlags = static_cast<std::uint8_t>(kNoSource << 2);
  uUdrei = 0;
  uCorrIndex = 0;
  uSpare = 0;
  ulUdreTime = 0;
  ulCorrTime = 0;
  iCorrCode = 0;
  uSpare2[0] = uSpare2[1] = 0;
}

void SatCorrectionType::set_ReadyUDREData(const SvIdType& source) {
  const std::uint8_t idx = sourceIndexOf(source);
  if (get_SourceIndex() != idx) {
    uFlags = static_cast<std::uint8_t>(uFlags & ~kCorrReady);
    set_TimeTag(ulUdreTime, kNoTime);
    set_TimeTag(ulCorrTime, kNoTime);
  }
  uFlags = static_cast<std::uint8_t>((uFlags & 0x03) | idx << 2 | kUdreReady);
}

void SatCorrectionType::set_ReadyCorrData(const SvIdType& source) {
  const std::uint8_t idx = sourceIndexOf(source);
  if (get_SourceIndex() != idx) {
    uFlags = static_cast<std::uint8_t>(uFlags & ~kUdreReady);
    set_TimeTag(ulUdreTime, kNoTime);
    set_TimeTag(ulCorrTime, kNoTime);
  }
  uFlags = static_cast<std::uint8_t>((uFlags & 0x03) | idx << 2 | kCorrReady);
}

bool SatCorrectionType::is_ReadyUDREData(std::uint32_t nowMs) const {
  return (uFlags & kUdreReady) != 0 && get_TimeTagAge(ulUdreTime, nowMs) <= fUDREDataTimeout;
}

bool SatCorrectionType::is_ReadyCorrData(std::uint32_t nowMs) const {
  return (uFlags & kCorrReady) != 0 && get_TimeTagAge(ulCorrTime, nowMs) <= fCorrDataTimeout;
}

void SatCorrectionType::set_DataTimeout(const PosSetup::CorrProcessorSetupType* setup) {
  if (setup == nullptr) return;
  fPrnMaskTimeout = 3600.0f;
  fUDREDataTimeout = setupSeconds(setup, kSetupDataTimeoutOffset);
  fCorrDataTimeout = fUDREDataTimeout;
}

// ---- ionosphere grid blocks -----------------------------------------------------------------

void IonoCorrBlockType::init() {
  bReady = 0;
  uSource = kNoSource;
  uSpare[0] = uSpare[1] = 0;
  ulTime = 0;
  for (std::uint16_t& p : uPoint) p = 0;
  uSpare2[0] = uSpare2[1] = 0;
}

void IonoCorrBlockType::set_ReadyIonoBlock(const SvIdType& source) {
  const std::uint8_t idx = sourceIndexOf(source);
  if (uSource != idx) set_TimeTag(ulTime, kNoTime);
  uSource = idx;
  bReady = 1;
}

bool IonoCorrBlockType::is_ReadyIonoBlock(std::uint32_t nowMs) const {
  return bReady != 0 && get_TimeTagAge(ulTime, nowMs) <= fBlockTimeout;
}

void IonoCorrBlockType::set_DataTimeout(const PosSetup::CorrProcessorSetupType* setup) {
  if (setup == nullptr) return;
  fBlockTimeout = setupSeconds(setup, kSetupIonoTimeoutOffset);
}

}  // namespace COMPData
