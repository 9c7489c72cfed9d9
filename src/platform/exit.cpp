#include "platform/exit.h"

#include <unistd.h>

#include <atomic>
#include <cstdio>

HookList<void(), 8> rxExitHooks("platform", "rxExitHooks");

#ifdef RX_COVERAGE
extern "C" void __gcov_dump(void);
#endif

namespace {
std::atomic<bool> g_exiting{false};

// A coverage build writes its call counts before leaving; _exit would skip libgcov's handler.
[[noreturn]] void leave(int code) {
  std::fflush(nullptr);
#ifdef RX_COVERAGE
  __gcov_dump();
#endif
  _exit(code);
}
}  // namespace

void rxExit(int code) {
  // A second caller (another task failing while we go down) must not run the hooks again.
  if (!g_exiting.exchange(true)) {
    rxExitHooks();
  }
  leave(code);
}

void rxExitAtOnce(int code) {
  g_exiting.store(true);
  leave(code);
}
