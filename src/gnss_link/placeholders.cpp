#include "gnss_link/placeholders.h"

// ==== Lock manager: position lock and antenna names ==========================================
namespace placeholder {
Mutex* posMutex() { return nullptr; }
const char* get_ant_name_shrt(int) { return nullptr; }
}  // namespace placeholder
// ==== end of lock manager ====================================================================
