#include "gnss_link/placeholders.h"


#include "command/param_engine.h"
#include "command/result_codes.h"
#include "gnss_link/board_link.h"

// ---- Set handlers of the areas the GNSS board shares -------------------------------------------
namespace {
int boardOwnedSet(const char*, const ZRNamedNode* value) { return value != nullptr ? CMD_OK : CMD_2ND_MISSED; }
}  // namespace

void m2sBoardAreaStandInsInitOnce() {
  for (int i = 0; const char* area = m2sBoardSharedArea(i); ++i) parRegisterArea(area, boardOwnedSet, nullptr);
}
// ---- end of the board link's stand-ins ---------------------------------------------------------
