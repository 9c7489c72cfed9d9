#include "differential/placeholders.h"

#include "differential/base/cpd_meas_buf.h"

// ==== Base-epoch buffers ======================================================================
CpdMeasBuf::Client* baseMeasBufClient = nullptr;
// ==== end of the base-epoch buffers' stand-ins ===============================================

// ==== Coding driver ==========================================================================
namespace placeholder {
int RTCM_Coder_initCoding(const bool[]) { return 0; }
int CMR_Coder_initCoding(const bool[]) { return 0; }
int RTC3_Coder_initCoding(const bool[], int) { return 0; }
void RTCM_Coder_makeCoding() {}
void CMR_Coder_makeCoding() {}
void RTC3_Coder_makeCoding() {}
bool rtcm3mMakeOut(int, bool plan[], int size) {
  for (int k = 0; k < size; ++k) plan[k] = false;
  return false;
}
}  // namespace placeholder
// ==== end of the coding driver's stand-ins ===================================================

// ==== Code corrections from base observations ================================================
namespace placeholder {
bool baseOffsetCorrection(int, double*) { return false; }
bool bDebugInverseCoordinate(int) { return false; }
}  // namespace placeholder
// ==== end of the code corrections' stand-ins =================================================
