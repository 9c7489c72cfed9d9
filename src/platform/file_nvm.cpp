#include "platform/file_nvm.h"

#include <fcntl.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "platform/mono_clock.h"
#include "platform/nv_block.h"
#include "platform/ram_nvm.h"

namespace {
pthread_mutex_t g_saveLock = PTHREAD_MUTEX_INITIALIZER;
std::uint8_t g_copy[RamNvm::kSize];
std::atomic<FileNvmStepHook> g_step{nullptr};
std::uint32_t g_savedChanges = 0;
bool g_everSaved = false;
std::uint32_t g_lastSaveMs = 0;
bool g_failReported = false;

bool writeAll(int fd, const std::uint8_t* p, std::size_t n) {
  while (n > 0) {
    ssize_t w = ::write(fd, p, n);
    if (w < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    p += w;
    n -= static_cast<std::size_t>(w);
  }
  return true;
}

bool writeFile() {
  int fd = ::open(kNvmTmpFile, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  FileNvmStep("image create");
  bool ok = writeAll(fd, g_copy, sizeof g_copy);
  if (ok) FileNvmStep("image write");
  ok = ok && ::fsync(fd) == 0;
  if (ok) FileNvmStep("image fsync");
  ok = (::close(fd) == 0) && ok;
  if (ok) ok = ::rename(kNvmTmpFile, kNvmFile) == 0;
  if (ok) FileNvmStep("image rename");
  if (!ok) {
    const int err = errno;
    ::unlink(kNvmTmpFile);
    errno = err;
    return false;
  }
  // The rename itself must reach storage before the commit hook moves files that pair with it.
  int dir = ::open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    ::fsync(dir);
    ::close(dir);
  }
  FileNvmStep("image dir fsync");
  return true;
}

// Save lock held.
bool saveLocked(std::uint32_t ms, bool force, int imageWaitMs) {
  const std::uint32_t before = RamNvm::changes();
  if (!force && before == g_savedChanges) return true;
  if (!force && g_everSaved && static_cast<std::uint32_t>(ms - g_lastSaveMs) < kNvmSavePeriodMs) return false;

  if (imageWaitMs < 0)
    RamNvm::lock();
  else if (!RamNvm::lockFor(imageWaitMs))
    return false;
  const std::uint32_t taken = RamNvm::changes();
  std::memcpy(g_copy, RamNvm::image(), sizeof g_copy);
  RamNvm::SnapshotHook snap = RamNvm::snapshotHook();
  const bool snapOk = snap == nullptr || snap();
  RamNvm::unlock();
  if (!snapOk) return false;

  g_lastSaveMs = ms;
  g_everSaved = true;
  if (!writeFile()) {
    if (!g_failReported)
      std::fprintf(stderr, "$$NV: cannot write %s: %s\n", kNvmFile, std::strerror(errno));
    g_failReported = true;
    return false;
  }
  g_failReported = false;
  g_savedChanges = taken;
  fileNvmCommitHook();
  return RamNvm::changes() == taken;
}
}  // namespace

bool FileNvmLoad() {
  if (::unlink(kNvmTmpFile) == 0) std::fprintf(stderr, "$$NV: removed unfinished %s\n", kNvmTmpFile);
  const char* why = nullptr;
  int fd = ::open(kNvmFile, O_RDONLY | O_CLOEXEC);
  struct stat st {};
  if (fd < 0) {
    why = "missing";
  } else if (::fstat(fd, &st) != 0 || st.st_size != static_cast<off_t>(RamNvm::kSize)) {
    why = st.st_size < static_cast<off_t>(RamNvm::kSize) ? "short" : "foreign";
  } else {
    std::size_t got = 0;
    while (got < sizeof g_copy) {
      ssize_t r = ::read(fd, g_copy + got, sizeof g_copy - got);
      if (r < 0 && errno == EINTR) continue;
      if (r <= 0) break;
      got += static_cast<std::size_t>(r);
    }
    if (got != sizeof g_copy)
      why = "short";
    else if (!RamNvm::headerOk(g_copy))
      why = "foreign";
  }
  if (fd >= 0) ::close(fd);

  NvBlock::resetLayout();
  if (why != nullptr) {
    std::fprintf(stderr, "$$NV: %s %s, starting with a blank settings image\n", kNvmFile, why);
    RamNvm::blank();
    return false;
  }
  RamNvmLock l;
  std::memcpy(RamNvm::image(), g_copy, sizeof g_copy);
  RamNvm::touch();
  // What was just read is what storage holds.
  pthread_mutex_lock(&g_saveLock);
  g_savedChanges = RamNvm::changes();
  g_everSaved = false;
  pthread_mutex_unlock(&g_saveLock);
  return true;
}

bool FileNvmSave(std::uint32_t ms, bool force) {
  pthread_mutex_lock(&g_saveLock);
  bool ok = saveLocked(ms, force, -1);
  pthread_mutex_unlock(&g_saveLock);
  return ok;
}

Hook<void()> fileNvmCommitHook("platform", "fileNvmCommitHook");

void FileNvmSetCommitHook(FileNvmCommitHook hook) { fileNvmCommitHook = hook; }

void FileNvmSetStepHook(FileNvmStepHook hook) { g_step.store(hook); }

void FileNvmStep(const char* step) {
  if (FileNvmStepHook h = g_step.load()) h(step);
}

bool FileNvmSaveOnExit() {
  timespec ts;
  clock_gettime(CLOCK_REALTIME, &ts);
  ts.tv_sec += 2;
  if (pthread_mutex_timedlock(&g_saveLock, &ts) != 0) return false;
  bool ok = saveLocked(MonoClock::ms(), true, 2000);
  pthread_mutex_unlock(&g_saveLock);
  return ok;
}
