#include "positioning/data_servers/slas_data_types.h"

#include "positioning/data_servers/tag_age.h"

namespace SLASData {

void set_TimeTag(TimeTag& tag, int ms) {
  if (ms < 0) {
    tag &= ~1u;
    return;
  }
  tag = (static_cast<std::uint32_t>(ms) << 1) | 1u;
}

double get_TimeTagAge(int nowMs, TimeTag tag) {
  if (!is_ValidTimeTag(tag)) return kInvalidTagAge;
  return TagAge::foldedSeconds(static_cast<std::int64_t>(nowMs) - get_TimeTagMs(tag), 2 * kHalfWeek);
}

bool is_FreshTimeTag(int nowMs, TimeTag tag, double timeout) {
  if (!is_ValidTimeTag(tag)) return false;
  const double age = get_TimeTagAge(nowMs, tag);
  return age >= -kMaxTagLead && age <= timeout;
}

void SatCorrectionType::init() {
  ulTime[0] = ulTime[1] = 0;
  fPrc[0] = fPrc[1] = 0.0f;
  uIod[0] = uIod[1] = 0;
  uStationCode = kNoStation;
}

bool SatCorrectionType::is_ReadyCorrData(int k, int nowMs) const {
  if (k < 0 || k > 1) return false;
  return is_FreshTimeTag(nowMs, ulTime[k], dCorrTimeout);
}

void SatCorrectionType::set_DataTimeout() {
  dCorrTimeout = 60.0;
  dMaskTimeout = 3600.0;
  dIodTimeout = 3600.0;
}

void StationDataType::set_StationDataTimeout() { dStationTimeout = 86400.0; }

}  // namespace SLASData
