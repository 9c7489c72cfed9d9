#include "differential/placeholders.h"

// ==== Correction-decoder task ================================================================
void cpdBufsSetBasePort(InPorts::DecPortIndex) {}
void cpdBufsClearBasePort() {}
// ==== end of the correction-decoder task's stand-ins =========================================

// ==== RTCM 3 client ==========================================================================
bool cpdBufsMatchBasePort(int) { return false; }
// ==== end of the RTCM 3 client's stand-ins ===================================================
