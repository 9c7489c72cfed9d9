#include "platform/sys_time.h"

void SysTime::assign(std::int64_t s, std::int64_t ns) {
  constexpr std::int64_t kNs = 1000000000;
  s += ns / kNs;
  ns %= kNs;
  if (ns >= kNs / 2) {
    ns -= kNs;
    ++s;
  } else if (ns < -kNs / 2) {
    ns += kNs;
    --s;
  }
  sec = s;
  nsec = static_cast<std::int32_t>(ns);
}

std::int64_t SysTime::deltaMs(const SysTime& other) const {
  return (static_cast<std::int64_t>(nsec) - other.nsec) / 1000000 + 1000 * (sec - other.sec);
}
