#include "gnss_link/board_load_keys.h"

#include "command/param_engine.h"
#include "command/result_codes.h"
#include "command/values.h"
#include "gnss_link/slave_tasks.h"

int boardcSet(const char* path, const ZRNamedNode* value) {
  if (!strcmpA(path, "load")) return CMD_WRONG_1ST;
  // The board's own command takes 0 only: its counters start again from nothing.
  int zero = 0;
  if (int rc = setInt(value, zero, 0, 0)) return rc;
  profilerReset();
  return CMD_OK;
}

int boardcPrint(const char* path, Reply& re) {
  if (!strcmpA(path, "load")) return CMD_WRONG_1ST;
  printLoad(false, "load", &re, nullptr);
  return CMD_OK;
}

bool registerBoardArea() { return parRegisterArea("board", boardcSet, boardcPrint, false); }
