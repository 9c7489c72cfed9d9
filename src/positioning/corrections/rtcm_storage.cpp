#include "positioning/corrections/rtcm_storage.h"

RTCM_Int RtcmInt(RTCM_Int::kPorts);

RTCM_Storage::RTCM_Storage() {
  maxAge = kDefaultMaxAge;
  maxIonoAge = kDefaultMaxIonoAge;
}

void RTCM_Storage::init() { selection = -1; }

std::int16_t RTCM_Storage::getMaxAge() { return maxAge; }

void RTCM_Storage::setMaxAge(std::int16_t age) { maxAge = age; }

RTCM_Int::RTCM_INT_SETTINGS RTCM_Int::defaults() {
  RTCM_INT_SETTINGS s{};
  s.enable[0] = s.enable[1] = s.enable[2] = 1;
  s.inputPort = -2;
  s.count = 6;
  s.value = 1000;
  return s;
}

RTCM_Int::RTCM_Int(int ports) : settings(defaults()), portCount_(ports) {
  for (PortRecord& p : ports_)
    for (std::uint8_t& s : p.sat) s = PortRecord::kNoSat;
}
