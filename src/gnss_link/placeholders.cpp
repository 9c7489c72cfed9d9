#include "gnss_link/placeholders.h"

// ---- Decoder status, latency and the input-decoder table, used by the native-format decoder --
bool DecoderStatus::putStatus(int, const Record&, int) { return false; }
bool decUtilsGetLatency(long, int, std::int32_t*) { return false; }
ZrtDecoder* InDecs::decs_[InDecs::kDecPorts] = {};
// ---- end of the native-format decoder's stand-ins ---------------------------------------------

#include <cstring>

#include "command/param_engine.h"
#include "command/result_codes.h"
#include "gnss_link/board_link.h"

// ---- Set handlers of the areas the GNSS board shares -------------------------------------------
namespace {
int boardOwnedSet(const char*, const ZRNamedNode* value) { return value != nullptr ? CMD_OK : CMD_2ND_MISSED; }
}  // namespace

void m2sBoardAreaStandInsInitOnce() {
  for (int i = 0; const char* area = m2sBoardSharedArea(i); ++i) {
    if (std::strcmp(area, "lock") == 0) continue;  // the lock manager's own keys
    parRegisterArea(area, boardOwnedSet, nullptr);
  }
}
// ---- end of the board link's stand-ins ---------------------------------------------------------

// ==== Lock manager: position lock and antenna names ==========================================
namespace placeholder {
Mutex* posMutex() { return nullptr; }
const char* get_ant_name_shrt(int) { return nullptr; }
}  // namespace placeholder
// ==== end of lock manager ====================================================================
