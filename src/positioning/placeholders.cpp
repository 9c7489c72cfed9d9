#include "positioning/placeholders.h"

#include "positioning/corrections/sat_corr_processor.h"
#include "positioning/corrections/wd_corr_request.h"






// ==== Satellite correction processor =========================================================
// ==== end of satellite correction processor ===================================================

// ==== Reference clock and base station =========================================================
namespace placeholder {
int rtcm2CodSmoothing() { return -1; }
}  // namespace placeholder
// ==== end of reference clock and base station ==================================================
