#include "platform/mono_clock.h"

#include <time.h>

namespace {
std::uint64_t monoNs() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<std::uint64_t>(ts.tv_sec) * 1000000000ULL + static_cast<std::uint64_t>(ts.tv_nsec);
}
const std::uint64_t g_startNs = monoNs();
}  // namespace

std::uint32_t MonoClock::ms() { return static_cast<std::uint32_t>((monoNs() - g_startNs) / 1000000ULL); }

std::uint32_t MonoClock::sec() { return static_cast<std::uint32_t>((monoNs() - g_startNs) / 1000000000ULL) + 1000000U; }

void MonoClock::refresh() {}

std::uint32_t timerGet() { return static_cast<std::uint32_t>(monoNs() / 1000ULL); }
