#include "differential/placeholders.h"

// ==== Correction decoders (RTCM 3 decoder, decoder status, received-message stores) ==========
bool navSolCalendar(std::uint8_t*) { return false; }
// ==== end of the correction decoders' stand-ins ==============================================

// ==== Correction-decoder task ================================================================
void cpdBufsSetBasePort(InPorts::DecPortIndex) {}
void cpdBufsClearBasePort() {}
// ==== end of the correction-decoder task's stand-ins =========================================

// ==== RTCM 3 client ==========================================================================
bool cpdBufsMatchBasePort(int) { return false; }
// ==== end of the RTCM 3 client's stand-ins ===================================================
