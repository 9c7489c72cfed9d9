#include "differential/placeholders.h"

// ==== Correction-decoder task ================================================================
void cpdBufsSetBasePort(InPorts::DecPortIndex) {}
void cpdBufsClearBasePort() {}
// ==== end of the correction-decoder task's stand-ins =========================================

// ==== RTCM 3 client ==========================================================================
bool cpdBufsMatchBasePort(int) { return false; }
// ==== end of the RTCM 3 client's stand-ins ===================================================

// ==== Coding driver ==========================================================================
namespace placeholder {
int RTCM_Coder_initCoding(const bool[]) { return 0; }
int CMR_Coder_initCoding(const bool[]) { return 0; }
void RTCM_Coder_makeCoding() {}
void CMR_Coder_makeCoding() {}
bool rtcm3mMakeOut(int, bool plan[], int size) {
  for (int k = 0; k < size; ++k) plan[k] = false;
  return false;
}
}  // namespace placeholder
// ==== end of the coding driver's stand-ins ===================================================

// ==== RTCM 3 coder ===========================================================================
namespace placeholder {
bool baseTiltOutput() { return false; }
}  // namespace placeholder
// ==== end of the RTCM 3 coder's stand-ins ====================================================
