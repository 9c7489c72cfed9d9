#include "positioning/base_moving_keys.h"

#include "command/param_engine.h"
#include "command/result_codes.h"
#include "command/values.h"
#include "positioning/rcv_output_base_moving.h"

int movingcSet(const char* p, const ZRNamedNode* v) {
  if (strcmpA(p, "alert")) {
    // The alert is the monitor's to raise: a user can only clear it.
    bool on = true;
    if (int rc = setBool(v, on)) return rc;
    if (on) return CMD_OUT_OF_RANGE;
    requestBaseMovingAlertReset();
    return CMD_OK;
  }
  if (strcmpA(p, "reset")) {
    int mode = 0;
    if (int rc = setInt(v, mode, 0, 1)) return rc;
    return requestBaseMovingRelPosReset(mode) ? CMD_OK : CMD_OUT_OF_RANGE;
  }
  return CMD_WRONG_1ST;
}

int movingcPrint(const char* p, Reply& re) {
  int rc = CMD_WRONG_1ST;
  if (strcmpA(p, "alert")) rc = reBool(re, baseMovingAlertShown());
  if (strcmpA(p, "reset")) rc = reLong(re, baseMovingResetModeShown());
  return rc;
}

bool registerBaseMovingArea() { return parRegisterArea("pos/moving", movingcSet, movingcPrint); }
