#include "differential/placeholders.h"

#include "differential/base/cpd_meas_buf.h"

#include <cstring>


// ==== RTCM 3 coder ===========================================================================
namespace placeholder {
bool baseTiltOutput() { return false; }
}  // namespace placeholder
// ==== end of the RTCM 3 coder's stand-ins ====================================================

