#include "unit/positioning/fake_clock.h"

#include <atomic>

namespace {
std::atomic<const SysTime*> g_now{nullptr};
}

void fakeclock::set(const SysTime* now) { g_now.store(now); }

// The linker's name of rtosTimeGet(SysTime&).
extern "C" {
void __real__Z11rtosTimeGetR7SysTime(SysTime& t);
void __wrap__Z11rtosTimeGetR7SysTime(SysTime& t) {
  if (const SysTime* now = g_now.load()) {
    t = *now;
    return;
  }
  __real__Z11rtosTimeGetR7SysTime(t);
}
}
