#include "platform/apx_task.h"

#include <atomic>

#include "platform/chrony.h"
#include "platform/file_nvm.h"
#include "platform/mono_clock.h"
#include "platform/nv_pended_clear.h"
#include "platform/rtc.h"

CountSem apxSem;
std::atomic<std::uint32_t> swdLastTime_{0};
std::atomic<bool> apxProcActive{false};
HookList<void(std::uint32_t nowUs)> apxHooks[kApxStageCount] = {
    {"platform", "apxHooks[kApxCycle]"},
    {"platform", "apxHooks[kApxFiveSec]"},
    {"platform", "apxHooks[kApxAfterSave]"},
};
static_assert(kApxStageCount == 3);

namespace {
constexpr std::uint32_t kHousekeepingUs = 5000000;

std::uint32_t g_pwrRunTime = 0;
bool g_first = true;

void* apxProc(void*) {
  for (;;) {
    apxSem.wait(10);
    apxCycle();
  }
  return nullptr;
}
}  // namespace

bool apxHookAdd(ApxStage stage, ApxHook hook) {
  if (stage < 0 || stage >= kApxStageCount) return false;
  return apxHooks[stage].add(hook);
}

void apxCycle() { apxCycle(timerGet()); }

void apxCycle(std::uint32_t now) {
  swdLastTime_ = now;
  nvPendedClearOnRebootsReset();
  if (g_first) {
    g_pwrRunTime = now;
    g_first = false;
  }
  apxHooks[kApxCycle](now);
  // Unsigned difference: right across the wrap of the microsecond count.
  if (static_cast<std::uint32_t>(now - g_pwrRunTime) > kHousekeepingUs) {
    g_pwrRunTime = now;
    Rtc::update();
    chronyMonitor();
    apxHooks[kApxFiveSec](now);
  }
  FileNvmSave(MonoClock::ms(), false);
  apxHooks[kApxAfterSave](now);
  apxProcActive = true;
}

bool apxProcInit(int priority) {
  // The task's own stack need is small; Task gives every host thread a safe minimum.
  static Task task(priority, apxProc, nullptr, "APPX", 2048);
  task.resume();
  return task.started();
}
