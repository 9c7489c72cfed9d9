#include "files/file_store.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/rtos.h"

namespace {
Mutex g_handlesMutex;
int g_fds[kFsMaxHandles] = {-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1};
Mutex g_guard;

bool nameChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
         c == '_' || c == '-' || c == '+';
}

int fdOf(int h) {
  if (h < 0 || h >= kFsMaxHandles) return -1;
  Locker<Mutex> l(g_handlesMutex);
  return g_fds[h];
}
}  // namespace

bool pcfCheckName(const char* name) {
  if (!name || !name[0] || name[0] == '.') return false;
  std::size_t n = std::strlen(name);
  if (n >= static_cast<std::size_t>(kFsMaxName)) return false;
  for (std::size_t i = 0; i < n; ++i) {
    if (!nameChar(name[i])) return false;
  }
  return true;
}

int fsOpen(const char* name, int mode) {
  if (!pcfCheckName(name)) return -1;
  int flags = O_CLOEXEC;
  switch (mode) {
    case FS_READ: flags |= O_RDONLY; break;
    case FS_WRITE: flags |= O_WRONLY | O_CREAT | O_TRUNC; break;
    case FS_APPEND: flags |= O_WRONLY | O_CREAT | O_APPEND; break;
    default: return -1;
  }
  if (mode != FS_READ) ::mkdir(kLogDir, 0755);
  char path[kFsMaxName + 16];
  std::snprintf(path, sizeof path, "%s/%s", kLogDir, name);
  Locker<Mutex> l(g_handlesMutex);
  int h = 0;
  while (h < kFsMaxHandles && g_fds[h] >= 0) ++h;
  if (h == kFsMaxHandles) return -1;
  int fd = ::open(path, flags, 0644);
  if (fd < 0) return -1;
  g_fds[h] = fd;
  return h;
}

int fsRead(int handle, void* buf, int count) {
  int fd = fdOf(handle);
  if (fd < 0 || !buf || count < 0) return -1;
  ssize_t n;
  do n = ::read(fd, buf, static_cast<std::size_t>(count));
  while (n < 0 && errno == EINTR);
  return static_cast<int>(n);
}

int fsWrite(int handle, const void* buf, int count) {
  int fd = fdOf(handle);
  if (fd < 0 || !buf || count < 0) return -1;
  int done = 0;
  while (done < count) {
    ssize_t n = ::write(fd, static_cast<const char*>(buf) + done, static_cast<std::size_t>(count - done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return done > 0 ? done : -1;
    done += static_cast<int>(n);
  }
  return done;
}

bool fsSeek(int handle, std::int32_t offset) {
  int fd = fdOf(handle);
  return fd >= 0 && offset >= 0 && ::lseek(fd, offset, SEEK_SET) == offset;
}

std::int32_t fsTell(int handle) {
  int fd = fdOf(handle);
  if (fd < 0) return -1;
  off_t p = ::lseek(fd, 0, SEEK_CUR);
  return p < 0 || p > 0x7FFFFFFF ? -1 : static_cast<std::int32_t>(p);
}

void fsClose(int handle) {
  if (handle < 0 || handle >= kFsMaxHandles) return;
  Locker<Mutex> l(g_handlesMutex);
  if (g_fds[handle] >= 0) ::close(g_fds[handle]);
  g_fds[handle] = -1;
}

bool pcfCallSafely(void (*func)(void*), void* arg) {
  if (!func) return false;
  Locker<Mutex> l(g_guard);
  func(arg);
  return true;
}
