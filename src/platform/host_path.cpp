#include "platform/host_path.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

const char* hostPath(const char* abs, char* buf, std::size_t n) {
  if (n == 0) return buf;
#ifdef RX_TARGET
  std::snprintf(buf, n, "%s", abs);
#else
  if (abs[0] == '/')
    std::snprintf(buf, n, "host%s", abs);
  else
    std::snprintf(buf, n, "%s", abs);
#endif
  return buf;
}

bool makeParentDirs(const char* path) {
  char tmp[256];
  std::snprintf(tmp, sizeof tmp, "%s", path);
  char* slash = std::strrchr(tmp, '/');
  if (slash == nullptr) return true;
  *slash = '\0';
  for (char* p = tmp + 1; *p; ++p) {
    if (*p != '/') continue;
    *p = '\0';
    if (mkdir(tmp, 0755) != 0 && errno != EEXIST) return false;
    *p = '/';
  }
  if (tmp[0] != '\0' && mkdir(tmp, 0755) != 0 && errno != EEXIST) return false;
  return true;
}
