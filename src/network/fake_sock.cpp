#include "network/fake_sock.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <cstdint>

int fakeSockCreate() { return ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK); }

void fakeSockWakeup(int fd) {
  if (fd < 0) return;
  std::uint64_t one = 1;
  ssize_t n = ::write(fd, &one, sizeof one);
  (void)n;  // a full counter is readable already
}

void fakeSockCleanup(int fd) {
  if (fd < 0) return;
  std::uint64_t v;
  while (::read(fd, &v, sizeof v) > 0) {
  }
}
