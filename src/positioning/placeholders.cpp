#include "positioning/placeholders.h"

#include "positioning/corrections/sat_corr_processor.h"
#include "positioning/corrections/wd_corr_request.h"






// ==== Satellite correction processor =========================================================
// ==== end of satellite correction processor ===================================================

