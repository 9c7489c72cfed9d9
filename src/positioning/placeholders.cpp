#include "positioning/placeholders.h"

// ---- Receiver settings read by the geoid file loader -----------------------------------------
const char* rcvGeoidFileName() { return nullptr; }
// ---- end of the geoid file loader's stand-ins -------------------------------------------------
