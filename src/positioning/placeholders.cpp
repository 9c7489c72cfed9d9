#include "positioning/placeholders.h"

// ==== Signal tables for RTCM coding ==========================================================
namespace placeholder {
bool isBeiPhase3(int) { return false; }
bool isBeiDou37compat(int) { return false; }
bool isBeiDouMSMcompat(int, int) { return false; }
bool ignoreCompat(int, int) { return false; }
int rcvSetBdsCompatWord() { return -1; }
}  // namespace placeholder
// ==== end of signal tables block =============================================================
