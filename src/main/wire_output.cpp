// Hooks of the output layer: before each stream's messages are written the RTCM 3 coder is
// armed for the stream; the RTCM 2 output messages join the pool at start.
#include "differential/coding_driver.h"
#include "differential/rtcm2/rtcm2_coder_msgs.h"
#include "main/hooks.h"
#include "output/output_manager.h"

void wireOutput() {
  omSetStreamFunc(prepareCoding);
  omAddRegistrar(rtcmmRegisterMsgs);
}
