#include "differential/placeholders.h"

#include "differential/base/cpd_meas_buf.h"

#include <cstring>

// ==== Coding driver ==========================================================================
namespace placeholder {
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

// ==== Code corrections from base observations ================================================
namespace placeholder {
bool baseOffsetCorrection(int, double*) { return false; }
bool bDebugInverseCoordinate(int) { return false; }
}  // namespace placeholder
// ==== end of the code corrections' stand-ins =================================================

// ==== RTCM 3 client ===========================================================================
namespace placeholder {
RtkBaseStandIn rtkBaseStandIn;
bool updateRtkBase(const RtkBaseIn& base) {
  ++rtkBaseStandIn.bases;
  rtkBaseStandIn.lastBase = base;
  return false;
}
bool saveRtkData() {
  ++rtkBaseStandIn.saves;
  return false;
}
bool updateAntType(const char* desc, const char* serial, int setupId) {
  ++rtkBaseStandIn.antTypes;
  std::strncpy(rtkBaseStandIn.antDesc, desc, sizeof rtkBaseStandIn.antDesc - 1);
  std::strncpy(rtkBaseStandIn.antSerial, serial, sizeof rtkBaseStandIn.antSerial - 1);
  rtkBaseStandIn.antSetup = setupId;
  return false;
}
bool updateAnt_(const float offsets[3]) {
  ++rtkBaseStandIn.antOffsets;
  for (int i = 0; i < 3; ++i) rtkBaseStandIn.lastOffsets[i] = offsets[i];
  return false;
}
}  // namespace placeholder
// ==== end of the RTCM 3 client's stand-ins ===================================================

// ==== RTK base record ========================================================================
namespace placeholder {
int invalidateRtkBaseCalls = 0;
int invalidateRtkBaseLast = -1;
bool invalidateRtkBase(int base) {
  ++invalidateRtkBaseCalls;
  invalidateRtkBaseLast = base;
  return false;
}
}  // namespace placeholder
// ==== end of the RTK base record's stand-ins =================================================
