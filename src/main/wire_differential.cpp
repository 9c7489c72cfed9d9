// Hooks of the differential layer: the relay's mode commands go to the GNSS board, and the
// native-format input of each decoder port is the board link's.
#include "differential/coder_client.h"
#include "differential/input_decoders.h"
#include "differential/redirect.h"
#include "gnss_link/board_link.h"
#include "gnss_link/meas_proc.h"
#include "gnss_link/zrt_port_input.h"
#include "main/hooks.h"

void wireDifferential() {
  decBoardSendHook = static_cast<void (*)(const void*, int)>(m2sSend);
  InDecs::native_ = zrtInDec;
  navClcRcvOutHook = [] { return static_cast<const RCV_OUTPUT*>(&RcvOut); };
}
