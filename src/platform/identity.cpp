#include "platform/identity.h"

#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <cstring>

#include "platform/host_path.h"
#include "platform/regular_file.h"

const char igsRcvName[] = "RXENGINE";
const char vernum[] = "0.1.0";
char sernum[32];
char rcvId[32];
char rcvHostName[64];

namespace {
// First line of a small system file, printable characters only, cut to fit.
void readFirstLine(const char* sysPath, char* out, std::size_t n) {
  out[0] = '\0';
  std::FILE* f = fopenRegular(HostPath(sysPath), "ID");
  if (f == nullptr) return;
  char line[128];
  if (std::fgets(line, sizeof line, f) != nullptr) {
    std::size_t k = 0;
    for (const char* p = line; *p && *p != '\n' && *p != '\r' && k + 1 < n; ++p) {
      if (std::isprint(static_cast<unsigned char>(*p))) out[k++] = *p;
    }
    while (k > 0 && out[k - 1] == ' ') --k;
    out[k] = '\0';
  }
  std::fclose(f);
}
}  // namespace

void identityInitOnce() {
  readFirstLine("/etc/rxengine/serial-number", sernum, sizeof sernum);
  readFirstLine("/etc/rxengine/receiver-id", rcvId, sizeof rcvId);
  if (gethostname(rcvHostName, sizeof rcvHostName) != 0) rcvHostName[0] = '\0';
  rcvHostName[sizeof rcvHostName - 1] = '\0';
}
