#include "differential/cmr/cmr_keys.h"

#include "command/param_engine.h"
#include "command/result_codes.h"
#include "command/values.h"
#include "differential/cmr/cmr_coder.h"
#include "differential/cmr/cmr_decoder.h"
#include "settings/nv_settings.h"
#include "settings/rtcm_settings.h"

namespace {

int cmrRovercSet(const char* p, const ZRNamedNode* v) {
  CMR_DEC_SETTINGS s = RtcmSet.cmrDec;
  if (strcmpA(p, "glo/type")) {
    if (int rc = setInt(v, s.gloType, 0, 7)) return rc;
  } else if (strcmpA(p, "idxset")) {
    if (int rc = setBool(v, s.idxSet)) return rc;
  } else {
    return CMD_WRONG_1ST;
  }
  RtcmSet.cmrDec = s;
  CmrDec.setSettings(s);
  nv_writeCmrSettings();
  return CMD_OK;
}

int gloPrint(const char* p, Reply& re) {
  if (strcmpA(p, "type")) return reLong(re, static_cast<long>(CmrDec.getSettings().gloType));
  return CMD_WRONG_1ST;
}

int cmrRovercPrint(const char* p, Reply& re) {
  int rc = CMD_WRONG_1ST;
  if (const char* g = strncmpA(p, "glo")) rc = reSub(gloPrint, g, re);
  if (strcmpA(p, "idxset")) rc = reBool(re, CmrDec.getSettings().idxSet != 0);
  return rc;
}

constexpr const char* kMotions = "unknown,static,kinematic";

// The coder's description (type 2 and CMR+) and motion state: the whole record is built before it
// is taken, and stored at once.
int cmrBasecSet(const char* p, const ZRNamedNode* v) {
  CMR_COD_SETTINGS s = CmrCod.settings();
  if (strcmpA(p, "name")) {
    if (int rc = setString(v, s.shortName, sizeof s.shortName, 0, 8)) return rc;
  } else if (strcmpA(p, "cogo")) {
    if (int rc = setString(v, s.cogo, sizeof s.cogo, 0, 16)) return rc;
  } else if (strcmpA(p, "lname")) {
    if (int rc = setString(v, s.longName, sizeof s.longName, 0, CMR_Coder::kLongNameMax)) return rc;
  } else if (strcmpA(p, "motion")) {
    int k = 0;
    if (int rc = setEnum(v, k, kMotions)) return rc;
    s.motion = static_cast<std::uint8_t>(k);
  } else {
    return CMD_WRONG_1ST;
  }
  CmrCod.setSettings(s);
  nv_writeRtcmSettings();
  return CMD_OK;
}

int cmrBasecPrint(const char* p, Reply& re) {
  const CMR_COD_SETTINGS& s = CmrCod.settings();
  int rc = CMD_WRONG_1ST;
  if (strcmpA(p, "name")) rc = reString(re, s.shortName);
  if (strcmpA(p, "cogo")) rc = reString(re, s.cogo);
  if (strcmpA(p, "lname")) rc = reString(re, s.longName);
  if (strcmpA(p, "motion")) rc = reEnum(re, (s.motion & 3) < 3 ? s.motion & 3 : 0, kMotions);
  return rc;
}

}  // namespace

bool registerCmrBaseArea() { return parRegisterArea("cmr/base", cmrBasecSet, cmrBasecPrint); }

bool registerCmrRoverArea() { return parRegisterArea("cmr/rover", cmrRovercSet, cmrRovercPrint); }
