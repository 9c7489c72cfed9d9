#include "gnss_link/peripherals/mcu_keys.h"

#include <cstdint>

#include "command/param_engine.h"
#include "command/result_codes.h"
#include "command/values.h"
#include "platform/mcu_link.h"

namespace {

constexpr long long kCodeMax = 2147483647;

int verMainPrint(Reply& re) {
  std::uint16_t v = 0;
  if (!mcuPwr.version(v)) return CMD_NOT_AVAILABLE;
  return reLongHex(re, v);
}

int verPrint(const char* p, Reply& re) { return strcmpA(p, "main") ? verMainPrint(re) : CMD_WRONG_1ST; }

int pwrPrint(const char* p, Reply& re) {
  if (const char* r = strncmpA(p, "ver")) return reSub(verPrint, r, re);
  return CMD_WRONG_1ST;
}

}  // namespace

int mcucSet(const char* path, const ZRNamedNode* value) {
  if (!strcmpA(path, "pwr/cmd")) return CMD_WRONG_1ST;
  std::uint32_t code = 0;
  if (int rc = setInt(value, code, 0, kCodeMax)) return rc;
  const int r = mcuPwr_SetCmd(code);
  // Mode 0 gives the count read back (-1: the frame was not taken), the others 1 or 0.
  const bool ok = (code >> 28) == 0 ? r >= 0 : r == 1;
  return ok ? CMD_OK : CMD_NOT_AVAILABLE;
}

int mcucPrint(const char* path, Reply& re) {
  if (const char* r = strncmpA(path, "pwr")) return reSub(pwrPrint, r, re);
  return CMD_WRONG_1ST;
}

bool registerMcuArea() { return parRegisterArea("mcu", mcucSet, mcucPrint, false); }
