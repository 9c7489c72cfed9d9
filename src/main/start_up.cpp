#include "main/start_up.h"

#include <csignal>
#include <cstdio>

#include "platform/exit.h"
#include "platform/rtos.h"

namespace {
void* Init(void*) {
  std::fprintf(stderr, "rxengine ready\n");
  for (;;) Task::sleep(100);
  return nullptr;
}
}  // namespace

int rxMain() {
  std::signal(SIGPIPE, SIG_IGN);
  std::signal(SIGUSR1, SIG_IGN);
  std::signal(SIGUSR2, SIG_IGN);
  static Task part(1, Init, nullptr, "PART", 10240);
  part.resume();
  pthread_join(part.thread(), nullptr);
  rxExit(kExitRestart);
}
