#include "navigation_data/placeholders.h"

// ==== Satellite data store ===================================================================
namespace placeholder {
bool update_SignalHealthData(SvIdType, int) { return false; }
}  // namespace placeholder
// ==== end of satellite data store =============================================================
