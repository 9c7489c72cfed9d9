#include "platform/exit.h"

#include <unistd.h>

#include <atomic>
#include <cstdio>

namespace {
constexpr int kMaxHooks = 8;
RxExitHook g_hooks[kMaxHooks];
std::atomic<int> g_hookCount{0};
std::atomic<bool> g_exiting{false};
}  // namespace

void rxAddExitHook(RxExitHook hook) {
  int i = g_hookCount.load();
  if (i < kMaxHooks) {
    g_hooks[i] = hook;
    g_hookCount.store(i + 1);
  }
}

void rxExit(int code) {
  // A second caller (another task failing while we go down) must not run the hooks again.
  if (!g_exiting.exchange(true)) {
    for (int i = 0; i < g_hookCount.load(); ++i) g_hooks[i]();
  }
  std::fflush(nullptr);
  _exit(code);
}

void rxExitAtOnce(int code) {
  g_exiting.store(true);
  std::fflush(nullptr);
  _exit(code);
}
