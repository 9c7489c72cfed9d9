// Hooks of the differential layer: the relay's mode commands go to the GNSS board, the
// native-format input of each decoder port is the board link's, each epoch the rover's
// channel data reaches the carrier-phase side, and the coders read the receiver output.
#include "differential/base/rover_intake.h"
#include "differential/base/rtcm3_cpd_decoder.h"
#include "differential/coder_client.h"
#include "differential/input_decoders.h"
#include "differential/lband/omnistar_params.h"
#include "differential/redirect.h"
#include "gnss_link/board_link.h"
#include "gnss_link/peripherals/board_settings_funcs.h"
#include "gnss_link/meas_proc.h"
#include "gnss_link/peripherals/calib_glo.h"
#include "gnss_link/peripherals/spectrum.h"
#include "gnss_link/zrt_port_input.h"
#include "main/hooks.h"

void wireDifferential() {
  decBoardSendHook = static_cast<void (*)(const void*, int)>(m2sSend);
  InDecs::native_ = zrtInDec;
  // the L-band parameters read the board's oscillator and move its processor count
  lbandLinks.isOsc10Mhz = isOsc10Mhz;
  lbandLinks.getCpuNum = getCpuNum;
  lbandLinks.setCpuNum = setCpuNum;
  lbandLinks.spReComputeParams = spReComputeParams;
  // an RTCM 3 base's receiver description names its make for the GLONASS bias handling
  baseBrandLinks.identify = identifyBaseRcv;
  baseBrandLinks.setDetected = tryToSetBaseBrand;
  baseBrandLinks.phasesAligned = [](int brand) {
    return brand > 0 && brand < kBaseRcvBrands && rcvBrandPhasesCorrFlags[brand] != 0;
  };
  // after navigation, each epoch: the rover's epoch for the carrier-phase side
  measProcLinks.roverMeas = cpdRoverIntake;
  navClcRcvOutHook = [] { return static_cast<const RCV_OUTPUT*>(&RcvOut); };
}
