#include "main/start_up.h"

#include <sys/mman.h>

#include <atomic>
#include <csignal>
#include <cstdio>

#include "command/input_parser.h"
#include "main/hook_table.h"
#include "main/hooks.h"
#include "main/init_once.h"
#include "platform/exit.h"
#include "platform/file_nvm.h"
#include "platform/identity.h"
#include "platform/mono_clock.h"
#include "platform/rtos.h"
#include "platform/shutdown.h"

namespace {
constexpr int kInitPriority = 0;
constexpr int kParserPriority = 10;

// Set once the receiver has said it is up: from then on commands may have changed settings.
std::atomic<bool> g_up{false};

void printBanner() {
  std::fprintf(stderr, "rxengine %s on %s, receiver ID %s, serial number %s: ready\n", vernum,
               rcvHostName[0] ? rcvHostName : "-", rcvId[0] ? rcvId : "-", sernum[0] ? sernum : "-");
  std::fflush(stderr);
}

void sayHookFault(const char* line) { std::fprintf(stderr, "$$HOOK: %s\n", line); }

void* Init(void*) {
  Task::setSelfPriority(kInitPriority);
  initOnce();
  // A hook left other than the wiring table says is a fault of this program's composition.
  hookWiringCheck(sayHookFault);
  initAfterOnce();
  // Whatever start-up changed in the layout goes to storage before the receiver says it is up.
  FileNvmSave(MonoClock::ms(), true);
  // Up before the banner: a stop signal sent on seeing the ready line must store what follows.
  g_up.store(true);
  printBanner();
  Task::setSelfPriority(kParserPriority);
  // The start-up task becomes the command parser for the rest of the process's life.
  return parseProc(nullptr);
}
}  // namespace

int rxMain() {
#ifdef RX_TARGET
  mlockall(MCL_CURRENT | MCL_FUTURE);
#endif
  std::signal(SIGPIPE, SIG_IGN);
  std::signal(SIGUSR1, SIG_IGN);
  std::signal(SIGUSR2, SIG_IGN);
  rcvStopSignalsBlock();
  wireHooks();
  static Task part(1, Init, nullptr, "PART", 10240);
  part.resume();
  // The start-up task never ends; this thread is left to take the stop signals.
  const char* const sig = rcvStopSignalWait() == SIGINT ? "SIGINT" : "SIGTERM";
  if (!g_up.load()) {
    // Nothing was set yet, and the settings may not even be read: storing now could only lose.
    std::fprintf(stderr, "$$SHUTDOWN: %s during start-up: ending without saving\n", sig);
    rxExitAtOnce(kExitRestart);
  }
  std::fprintf(stderr, "$$SHUTDOWN: %s: stopping\n", sig);
  rcvShutdown(kShutRestart, nullptr, kNoWakeup, false);
}
