#include "differential/antenna_keys.h"

#include <cstring>

#include "command/param_engine.h"
#include "command/result_codes.h"
#include "command/values.h"
#include "settings/rcv_settings.h"

namespace {

constexpr int kSerialMax = static_cast<int>(sizeof RcvSet.antSerial) - 1;
constexpr int kSetupMax = 255;

int antcSet(const char* p, const ZRNamedNode* v) {
  if (strcmpA(p, "serial")) {
    char text[sizeof RcvSet.antSerial] = {};
    if (int rc = setString(v, text, sizeof text, 0, kSerialMax)) return rc;
    std::memcpy(RcvSet.antSerial, text, sizeof text);
    return CMD_OK;
  }
  if (strcmpA(p, "setup")) {
    int id = 0;
    if (int rc = setInt(v, id, 0, kSetupMax)) return rc;
    RcvSet.antSetupId = static_cast<std::uint8_t>(id);
    return CMD_OK;
  }
  return CMD_WRONG_1ST;
}

int antcPrint(const char* p, Reply& re) {
  int rc = CMD_WRONG_1ST;
  if (strcmpA(p, "serial")) rc = reString(re, RcvSet.antSerial);
  if (strcmpA(p, "setup")) rc = reLong(re, RcvSet.antSetupId);
  return rc;
}

}  // namespace

bool registerAntennaArea() { return parRegisterArea("ant", antcSet, antcPrint); }
