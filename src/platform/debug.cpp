#include "platform/debug.h"

#include <cstdarg>
#include <cstdio>

std::uint32_t debMask = 0;

void debPrintfx(int category, const char* fmt, ...) {
  if (category != -1) {
    if (category < 0 || category > 31 || !(debMask & (1u << category))) return;
  }
  char buf[512];
  va_list ap;
  va_start(ap, fmt);
  int n = std::vsnprintf(buf, sizeof buf, fmt, ap);
  va_end(ap);
  if (n < 0) return;
  if (n >= static_cast<int>(sizeof buf)) n = sizeof buf - 1;
  std::fwrite(buf, 1, static_cast<std::size_t>(n), stderr);
}
