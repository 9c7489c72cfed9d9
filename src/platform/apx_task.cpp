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

namespace {
constexpr int kMaxHooks = 16;
constexpr std::uint32_t kHousekeepingUs = 5000000;

std::atomic<ApxHook> g_hooks[kApxStageCount][kMaxHooks];
std::atomic<int> g_hookCount[kApxStageCount];
std::uint32_t g_pwrRunTime = 0;
bool g_first = true;

void runHooks(ApxStage stage, std::uint32_t now) {
  const int n = g_hookCount[stage].load();
  for (int i = 0; i < n; ++i) {
    if (ApxHook h = g_hooks[stage][i].load()) h(now);
  }
}

void* apxProc(void*) {
  for (;;) {
    apxSem.wait(10);
    apxCycle();
  }
  return nullptr;
}
}  // namespace

bool apxHookAdd(ApxStage stage, ApxHook hook) {
  if (stage < 0 || stage >= kApxStageCount || hook == nullptr) return false;
  int n = g_hookCount[stage].load();
  if (n >= kMaxHooks) return false;
  g_hooks[stage][n].store(hook);
  g_hookCount[stage].store(n + 1);
  return true;
}

void apxCycle() {
  swdLastTime_ = timerGet();
  nvPendedClearOnRebootsReset();
  const std::uint32_t now = timerGet();
  if (g_first) {
    g_pwrRunTime = now;
    g_first = false;
  }
  runHooks(kApxCycle, now);
  // Unsigned difference: right across the wrap of the microsecond count.
  if (static_cast<std::uint32_t>(now - g_pwrRunTime) > kHousekeepingUs) {
    g_pwrRunTime = now;
    Rtc::update();
    chronyMonitor();
    runHooks(kApxFiveSec, now);
  }
  FileNvmSave(MonoClock::ms(), false);
  runHooks(kApxAfterSave, now);
  apxProcActive = true;
}

bool apxProcInit(int priority) {
  // The task's own stack need is small; Task gives every host thread a safe minimum.
  static Task task(priority, apxProc, nullptr, "APPX", 2048);
  task.resume();
  return task.started();
}
