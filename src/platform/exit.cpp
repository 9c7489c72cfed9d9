#include "platform/exit.h"

#include <unistd.h>

#include <atomic>
#include <cstdio>

HookList<void(), 8> rxExitHooks("platform", "rxExitHooks");

namespace {
std::atomic<bool> g_exiting{false};
}  // namespace

void rxAddExitHook(RxExitHook hook) { rxExitHooks.add(hook); }

void rxExit(int code) {
  // A second caller (another task failing while we go down) must not run the hooks again.
  if (!g_exiting.exchange(true)) {
    rxExitHooks();
  }
  std::fflush(nullptr);
  _exit(code);
}
