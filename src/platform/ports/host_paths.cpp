#include "platform/ports/host_paths.h"

#include <cstdio>

const char* rxHostPath(const char* abs, char* out, std::size_t n) {
#ifdef RX_TARGET
  std::snprintf(out, n, "%s", abs);
#else
  std::snprintf(out, n, "host%s", abs);
#endif
  return out;
}
