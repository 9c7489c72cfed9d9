#include "gnss_link/board_load_keys.h"

#include "command/param_engine.h"
#include "command/result_codes.h"
#include "command/values.h"
#include "gnss_link/board_link.h"
#include "gnss_link/slave_tasks.h"

int boardcSet(const char* path, const ZRNamedNode* value) {
  // The record changes only by forwarding the sets of the areas the board shares.
  if (strcmpA(path, "cmds")) return CMD_READ_ONLY;
  if (!strcmpA(path, "load")) return CMD_WRONG_1ST;
  // The board's own command takes 0 only: its counters start again from nothing.
  int zero = 0;
  if (int rc = setInt(value, zero, 0, 0)) return rc;
  profilerReset();
  return CMD_OK;
}

int boardcPrint(const char* path, Reply& re) {
  int rc = CMD_WRONG_1ST;
  if (strcmpA(path, "load")) {
    printLoad(false, "load", &re, nullptr);
    rc = CMD_OK;
  }
  if (strcmpA(path, "cmds")) {
    m2sPrintCmds("cmds", re);
    rc = CMD_OK;
  }
  return rc;
}

bool registerBoardArea() { return parRegisterArea("board", boardcSet, boardcPrint, false); }
