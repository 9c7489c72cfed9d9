#include "gnss_link/peripherals/pos_led_keys.h"

#include <cstring>

#include "command/param_engine.h"
#include "command/result_codes.h"
#include "command/values.h"
#include "settings/nv_settings.h"
#include "settings/rcv_settings.h"

namespace {
constexpr int kIntervalMax = 60000;
}  // namespace

int posLedcSet(const char* p, const ZRNamedNode* v) {
  if (std::strcmp(p, "each") == 0) {
    bool on = true;
    if (int rc = setBool(v, on)) return rc;
    RcvSet.posLedRtkSparse = on ? 0 : 1;
    nv_writeRcvSettings();
    return CMD_OK;
  }
  if (std::strcmp(p, "int") == 0) {
    int ms = 0;
    if (int rc = setInt(v, ms, 0, kIntervalMax)) return rc;
    RcvSet.posLedRtkIntMs = static_cast<std::uint16_t>(ms);
    nv_writeRcvSettings();
    return CMD_OK;
  }
  return CMD_WRONG_1ST;
}

int posLedcPrint(const char* p, Reply& re) {
  int rc = CMD_WRONG_1ST;
  if (strcmpA(p, "each")) rc = reBool(re, RcvSet.posLedRtkSparse == 0);
  if (strcmpA(p, "int")) rc = reLong(re, RcvSet.posLedRtkIntMs);
  return rc;
}

bool registerPosLedArea() { return parRegisterArea("led/pos/rtk", posLedcSet, posLedcPrint); }

bool posLedRtkSettings(bool& flag, int& intervalMs) {
  flag = RcvSet.posLedRtkSparse == 0;
  intervalMs = RcvSet.posLedRtkIntMs;
  return true;
}
