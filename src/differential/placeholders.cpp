#include "differential/placeholders.h"

// ==== Correction decoders (RTCM 3 decoder, decoder status, received-message stores) ==========
int outPortsWrite(int, const void*, int) { return -1; }
int zrStdMsgWriteWrapped(int, int, const void*, int) { return -1; }
int rcvSetMsmCompat() { return -1; }
bool navSolCalendar(std::uint8_t*) { return false; }
// ==== end of the correction decoders' stand-ins ==============================================
