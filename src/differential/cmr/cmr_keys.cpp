#include "differential/cmr/cmr_keys.h"

#include "command/param_engine.h"
#include "command/result_codes.h"
#include "command/values.h"
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

}  // namespace

bool registerCmrRoverArea() { return parRegisterArea("cmr/rover", cmrRovercSet, cmrRovercPrint); }
