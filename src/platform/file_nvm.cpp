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
#include "platform/regular_file.h"

namespace {
pthread_mutex_t g_saveLock = PTHREAD_MUTEX_INITIALIZER;
std::uint8_t g_copy[RamNvm::kSize];
std::uint32_t g_savedChanges = 0;
bool g_everSaved = false;
std::uint32_t g_lastSaveMs = 0;

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

// Causes already said, until a save succeeds.
constexpr int kCauses = 8;
char g_said[kCauses][160];
int g_saidCount = 0;
pthread_mutex_t g_sayLock = PTHREAD_MUTEX_INITIALIZER;

void forgetCauses() {
  pthread_mutex_lock(&g_sayLock);
  g_saidCount = 0;
  pthread_mutex_unlock(&g_sayLock);
}

bool writeFile() {
  int fd = FileNvmCreate(kNvmTmpFile);
  if (fd < 0) return false;
  FileNvmStep("image create");
  bool ok = writeAll(fd, g_copy, sizeof g_copy);
  if (ok) FileNvmStep("image write");
  ok = ok && ::fsync(fd) == 0;
  if (ok) FileNvmStep("image fsync");
  ok = (::close(fd) == 0) && ok;
  if (!ok) {
    FileNvmSayCannotSave(kNvmTmpFile, std::strerror(errno));
  } else if (::rename(kNvmTmpFile, kNvmFile) != 0) {
    FileNvmSayCannotSave(kNvmFile, std::strerror(errno));
    ok = false;
  }
  if (ok) FileNvmStep("image rename");
  if (!ok) {
    ::unlink(kNvmTmpFile);
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
  const bool snapOk = RamNvm::snapshotHook_();
  RamNvm::unlock();
  if (!snapOk) return false;

  g_lastSaveMs = ms;
  g_everSaved = true;
  if (!writeFile()) return false;
  forgetCauses();
  g_savedChanges = taken;
  fileNvmCommitHook();
  return RamNvm::changes() == taken;
}
}  // namespace

bool FileNvmLoad() {
  if (::unlink(kNvmTmpFile) == 0) {
    std::fprintf(stderr, "$$NV: removed unfinished %s\n", kNvmTmpFile);
  } else if (errno != ENOENT) {
    // Something of our own name that is not a file of ours (a directory): every save needs
    // that name, so they will all fail.
    std::fprintf(stderr, "$$NV: cannot remove %s (%s): the settings image cannot be saved\n",
                 kNvmTmpFile, std::strerror(errno));
  }
  const char* why = nullptr;
  char unreadable[96];
  FileOpen opened;
  int fd = openRegular(kNvmFile, opened);
  struct stat st {};
  if (fd < 0) {
    why = fileOpenText(opened);
    if (opened == FileOpen::Unreadable) {
      std::snprintf(unreadable, sizeof unreadable, "unreadable (%s)", std::strerror(errno));
      why = unreadable;
    }
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
    // The first save after a load goes at once, whatever an earlier image's saves were.
    pthread_mutex_lock(&g_saveLock);
    g_everSaved = false;
    pthread_mutex_unlock(&g_saveLock);
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

std::atomic<FileNvmStepHook> fileNvmStepHook{nullptr};

void FileNvmStep(const char* step) {
  if (FileNvmStepHook h = fileNvmStepHook.load()) h(step);
}

int FileNvmCreate(const char* path) {
  if (::unlink(path) != 0 && errno != ENOENT) {
    FileNvmSayCannotSave(path, errno == EISDIR || errno == EPERM ? "not a regular file" : std::strerror(errno));
    return -1;
  }
  // Exclusive: something made at the name since the unlink is not opened (a FIFO would block).
  const int fd = ::open(path, O_WRONLY | O_CREAT | O_EXCL | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC, 0644);
  if (fd < 0) {
    const int err = errno;
    FileNvmSayCannotSave(path, err == EEXIST ? "not a regular file" : std::strerror(err));
    errno = err;
  }
  return fd;
}

void FileNvmSayCannotSave(const char* path, const char* what) {
  char cause[160];
  std::snprintf(cause, sizeof cause, "%s: %s", path, what);
  pthread_mutex_lock(&g_sayLock);
  bool said = false;
  for (int i = 0; i < g_saidCount && !said; ++i) said = std::strcmp(g_said[i], cause) == 0;
  if (!said && g_saidCount < kCauses) std::memcpy(g_said[g_saidCount++], cause, sizeof cause);
  pthread_mutex_unlock(&g_sayLock);
  if (!said) std::fprintf(stderr, "$$NV: %s: the settings cannot be saved\n", cause);
}

bool FileNvmSaveOnExit() {
  timespec ts;
  clock_gettime(CLOCK_REALTIME, &ts);
  ts.tv_sec += 2;
  bool ok = pthread_mutex_timedlock(&g_saveLock, &ts) == 0;
  if (ok) {
    ok = saveLocked(MonoClock::ms(), true, 2000);
    pthread_mutex_unlock(&g_saveLock);
  }
  // The exit code stays what was asked for (restart, reboot, power off): a different one would
  // not bring the lost changes back, and the scripts that run the program act on it.
  static std::atomic<bool> said{false};
  if (!ok && !said.exchange(true))
    std::fprintf(stderr, "$$NV: settings image not saved on exit: changes since the last save are lost\n");
  return ok;
}
