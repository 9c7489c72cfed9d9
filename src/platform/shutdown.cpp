#include "platform/shutdown.h"

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstring>

#include "platform/exit.h"
#include "platform/file_nvm.h"
#include "platform/host_path.h"
#include "platform/nv_block.h"
#include "platform/rtos.h"

Hook<void(const ShutdownRequest& req)> rcvShutdownSteps[kShutStepCount] = {
    {"platform", "rcvShutdownSteps[kShutStepFilePush]"}, {"platform", "rcvShutdownSteps[kShutStepLogFiles]"},
    {"platform", "rcvShutdownSteps[kShutStepAnswer]"},   {"platform", "rcvShutdownSteps[kShutStepNetwork]"},
    {"platform", "rcvShutdownSteps[kShutStepSession]"},  {"platform", "rcvShutdownSteps[kShutStepPower]"},
};
static_assert(kShutStepCount == 6);

namespace {
pthread_mutex_t g_one = PTHREAD_MUTEX_INITIALIZER;
std::atomic<bool> g_begun{false};

sigset_t stopSignals() {
  sigset_t s;
  sigemptyset(&s);
  sigaddset(&s, SIGTERM);
  sigaddset(&s, SIGINT);
  return s;
}

void unblockStopSignals() {
  const sigset_t s = stopSignals();
  pthread_sigmask(SIG_UNBLOCK, &s, nullptr);
}

bool writeRequest(const char* word) {
  HostPath path(kRequestFile);
  makeParentDirs(path);
  // Never waits: a FIFO nobody reads in the file's place must not keep the process from ending.
  int fd = ::open(path, O_WRONLY | O_CREAT | O_TRUNC | O_NONBLOCK | O_CLOEXEC, 0644);
  if (fd < 0) {
    std::fprintf(stderr, "$$SHUTDOWN: cannot write %s\n", path.c_str());
    return false;
  }
  const std::size_t n = std::strlen(word);
  bool ok = ::write(fd, word, n) == static_cast<ssize_t>(n);
  ok = ::fsync(fd) == 0 && ok;
  ::close(fd);
  return ok;
}
}  // namespace

int rcvShutdownExitCode(int mode) {
  switch (mode) {
    case kShutPowerOff:
    case kShutSleep:
      return kExitPowerOff;
    case kShutReboot:
      return kExitReboot;
    default:
      return kExitRestart;
  }
}

const char* rcvShutdownRequestWord(int mode) {
  switch (mode) {
    case kShutPowerOff:
      return "power_off";
    case kShutSleep:
      return "sleep";
    case kShutReboot:
      return "reboot";
    default:
      return nullptr;
  }
}

void rcvStopSignalsBlock() {
  static const bool once = pthread_atfork(nullptr, nullptr, unblockStopSignals) == 0;
  (void)once;
  // An ignored signal would be thrown away before anyone could wait for it (a program started
  // from a shell in the background inherits SIGINT ignored).
  std::signal(SIGTERM, SIG_DFL);
  std::signal(SIGINT, SIG_DFL);
  const sigset_t s = stopSignals();
  pthread_sigmask(SIG_BLOCK, &s, nullptr);
}

int rcvStopSignalWait() {
  const sigset_t s = stopSignals();
  int sig = 0;
  while (sigwait(&s, &sig) != 0) {
  }
  return sig;
}

bool rcvShutdownBegun() { return g_begun.load(); }

void rcvShutdown(int mode, const char* message, std::uint32_t wakeup, bool clearImage) {
  g_begun.store(true);
  // A second caller waits here for good: the first one ends the process.
  pthread_mutex_lock(&g_one);
  const ShutdownRequest req{mode, message, wakeup, clearImage};
  auto run = [&req](ShutdownStep s) { rcvShutdownSteps[s](req); };
  run(kShutStepFilePush);
  run(kShutStepLogFiles);
  run(kShutStepAnswer);
  run(kShutStepNetwork);
  // From here on no other task may change what is about to be stored.
  Task::setSelfPriority(0);
  if (clearImage)
    NvBlock::clearAll();
  else
    run(kShutStepSession);
  run(kShutStepPower);
  FileNvmSaveOnExit();
  if (const char* word = rcvShutdownRequestWord(mode)) writeRequest(word);
  rxExit(rcvShutdownExitCode(mode));
}
