#include "unit/positioning/short_reads.h"

#include <sys/types.h>

#include <atomic>
#include <cstddef>

namespace {
std::atomic<long> g_most{0};
}

void shortreads::set(long bytes) { g_most.store(bytes); }

extern "C" {
ssize_t __real_read(int fd, void* buf, std::size_t count);
ssize_t __wrap_read(int fd, void* buf, std::size_t count) {
  const long most = g_most.load();
  if (most > 0 && count > static_cast<std::size_t>(most)) count = static_cast<std::size_t>(most);
  return __real_read(fd, buf, count);
}
}
