// Hooks of the differential layer: the relay's mode commands go to the GNSS board, and the
// native-format input of each decoder port is the board link's.
#include "differential/input_decoders.h"
#include "differential/lband/omnistar_params.h"
#include "differential/redirect.h"
#include "gnss_link/board_link.h"
#include "gnss_link/board_settings_funcs.h"
#include "gnss_link/zrt_port_input.h"
#include "main/hooks.h"

void wireDifferential() {
  decBoardSendHook = static_cast<void (*)(const void*, int)>(m2sSend);
  InDecs::native_ = zrtInDec;
  // the L-band parameters read the board's oscillator and move its processor count
  lbandLinks.isOsc10Mhz = isOsc10Mhz;
  lbandLinks.getCpuNum = getCpuNum;
  lbandLinks.setCpuNum = setCpuNum;
}
