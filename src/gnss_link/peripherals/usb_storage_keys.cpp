#include "gnss_link/peripherals/usb_storage_keys.h"

#include <cstdint>
#include <cstring>

#include "command/param_engine.h"
#include "command/result_codes.h"
#include "command/values.h"
#include "gnss_link/peripherals/usb_storage.h"

namespace {

const char* const kKeys[] = {"state", "err", "pct", "kbytes"};

}  // namespace

int ediskcSet(const char* path, const ZRNamedNode*) {
  for (const char* k : kKeys) {
    if (std::strcmp(path, k) == 0) return CMD_READ_ONLY;
  }
  return CMD_WRONG_1ST;
}

int ediskcPrint(const char* p, Reply& re) {
  int percent = 0;
  std::int64_t kilobytes = 0;
  ediskGetProgr(percent, kilobytes);
  int rc = CMD_WRONG_1ST;
  if (strcmpA(p, "state")) rc = reLong(re, ediskGetStat());
  if (strcmpA(p, "err")) rc = reLong(re, ediskGetErr());
  if (strcmpA(p, "pct")) rc = reLong(re, percent);
  if (strcmpA(p, "kbytes")) {
    // 64-bit: a long is 32 bits on the target
    re.printf("%lld", static_cast<long long>(kilobytes));
    rc = CMD_OK;
  }
  return rc;
}

bool registerEdiskArea() { return parRegisterArea("edisk", ediskcSet, ediskcPrint, false); }
