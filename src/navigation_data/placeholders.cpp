#include "navigation_data/placeholders.h"

// ==== GPS LNAV decoder: store operations of the ghost check ===================================
namespace placeholder {
bool clear_EphemerisData(SvIdType) { return false; }
bool clear_EphemerisDependentData(SvIdType) { return false; }
}  // namespace placeholder
// ==== end of the GPS LNAV decoder's stand-ins =================================================
