// Hooks of the output layer: before each stream's messages are written the RTCM 3 coder is
// armed for the stream; the RTCM 2, CMR and RTCM 3 output messages join the pool at start; an
// RTCM 2 or CMR message is enabled only while its format can carry the base's station id.
#include "differential/cmr/cmr_coder_msgs.h"
#include "differential/coding_driver.h"
#include "differential/rtcm2/rtcm2_coder_msgs.h"
#include "differential/rtcm3/rtcm3_out_msgs.h"
#include "main/hooks.h"
#include "output/output_manager.h"

void wireOutput() {
  omSetStreamFunc(prepareCoding);
  omEnableCheck = diffEnableCheck;
  omAddRegistrar(rtcmmRegisterMsgs);
  omAddRegistrar(cmrmRegisterMsgs);
  omAddRegistrar(rtcm3mInit);
}
