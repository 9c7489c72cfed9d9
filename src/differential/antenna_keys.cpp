#include "differential/antenna_keys.h"

#include <cstdio>
#include <cstring>

#include "command/param_engine.h"
#include "command/result_codes.h"
#include "command/values.h"
#include "positioning/antdb/ant_db.h"
#include "positioning/engine/position_averaging.h"
#include "settings/rcv_settings.h"

namespace {

constexpr int kSerialMax = static_cast<int>(sizeof RcvSet.antSerial) - 1;
constexpr int kSetupMax = 255;
constexpr int kNameMax = static_cast<int>(sizeof RcvSet.antName[0]) - 1;
// The height every format carries: RTCM 3 1006 holds 16 bits of 0.1 mm.
constexpr double kHeightMax = 6.5535;

int antcSet(const char* p, const ZRNamedNode* v) {
  if (strcmpA(p, "serial")) {
    char text[sizeof RcvSet.antSerial] = {};
    if (int rc = setString(v, text, sizeof text, 0, kSerialMax)) return rc;
    std::memcpy(RcvSet.antSerial, text, sizeof text);
    return CMD_OK;
  }
  if (strcmpA(p, "name")) {
    char text[sizeof RcvSet.antName[0]] = {};
    if (int rc = setString(v, text, sizeof text, 0, kNameMax)) return rc;
    // A name the antenna database knows, stored as the database writes it (type, blanks, radome).
    if (text[0] != 0) {
      const AntDbDescr d = antDataBase.find(text);
      if (!d.valid()) return CMD_NOT_FOUND;
      std::snprintf(text, sizeof text, "%s", d.id());
    }
    std::memcpy(RcvSet.antName[0], text, sizeof text);
    // Its phase-centre offset places the antenna reference point the base publishes.
    refPosPublishRequest();
    return CMD_OK;
  }
  if (strcmpA(p, "height")) {
    float h = 0.0f;
    if (int rc = setFloat(v, h, 0.0, kHeightMax)) return rc;
    RcvSet.antHeight = h;
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
  if (strcmpA(p, "name")) rc = reString(re, RcvSet.antName[0]);
  if (strcmpA(p, "height")) rc = reDouble(re, RcvSet.antHeight, 4);
  return rc;
}

}  // namespace

bool registerAntennaArea() { return parRegisterArea("ant", antcSet, antcPrint); }
