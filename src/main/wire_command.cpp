// Hooks of the command layer: the areas and verbs of other layers, what follows a set, init.
#include "command/cmd_hooks.h"
#include "command/settings_commands.h"
#include "differential/antenna_keys.h"
#include "differential/cmr/cmr_keys.h"
#include "differential/decoder_status.h"
#include "differential/decoder_task.h"
#include "differential/lband/ts_commands.h"
#include "differential/rtcm2/rtcm2_keys.h"
#include "differential/rtcm3/rtcm3_keys.h"
#include "differential/rtk/rtk_keys.h"
#include "gnss_link/board_link.h"
#include "gnss_link/board_load_keys.h"
#include "gnss_link/lock_manager_keys.h"
#include "gnss_link/peripherals/calib_keys.h"
#include "gnss_link/peripherals/mcu_keys.h"
#include "gnss_link/peripherals/button_keys.h"
#include "gnss_link/peripherals/pos_led_keys.h"
#include "gnss_link/peripherals/usb_storage_keys.h"
#include "gnss_link/peripherals/spectrum.h"
#include "gnss_link/peripherals/pps_event_keys.h"
#include "gnss_link/placeholders.h"
#include "gnss_link/wrapped/azrt_keys.h"
#include "main/hooks.h"
#include "positioning/antdb/antdb_params.h"
#include "positioning/base_moving_keys.h"
#include "positioning/data_servers/pvt_data.h"
#include "positioning/gbas/gbas_keys.h"
#include "positioning/pos_keys.h"
#include "settings/rcv_settings.h"
#include "positioning/reference/pos_filter.h"
#include "positioning/reference/pos_filter_keys.h"
#include "positioning/sat_data_keys.h"

void wireCommand() {
  // /par/ areas of the layers above: the lock manager's, the position filter's, the antenna
  // database's, the PPS outputs' and event inputs', the spectrum's and the GLONASS bias
  // calibration's
  cmdAreaRegistrars.add([] { registerLockArea(); });
  cmdAreaRegistrars.add([] { registerPosFiltArea(); });
  cmdAreaRegistrars.add([] { registerAntDbArea(); });
  cmdAreaRegistrars.add([] { registerPpsEventAreas(); });
  cmdAreaRegistrars.add([] { registerSpectrumArea(); });
  cmdAreaRegistrars.add([] { registerCalibArea(); });
  cmdAreaRegistrars.add([] { registerTerrastarArea(); });
  cmdAreaRegistrars.add([] {
    registerCmrRoverArea();
    registerCmrBaseArea();
  });
  // the ports' routing of wrapped streams, dev/<port>/wrap
  cmdAreaRegistrars.add([] { registerAzrtArea(); });
  // the RTCM 2 decoders' settings, rtcm/rover
  cmdAreaRegistrars.add([] { registerRtcmRoverArea(); });
  cmdAreaRegistrars.add([] { registerRtcmBaseArea(); });
  // the power controller's keys, mcu/pwr
  cmdAreaRegistrars.add([] { registerMcuArea(); });
  // the GNSS board's task load and profiler reset, board/load
  cmdAreaRegistrars.add([] { registerBoardArea(); });
  // the base-moving monitor's alert and reset mode, pos/moving
  cmdAreaRegistrars.add([] { registerBaseMovingArea(); });
  // the file button's keys, button/
  cmdAreaRegistrars.add([] { registerButtonArea(); });
  // the position LED in the RTK modes, led/pos/rtk
  cmdAreaRegistrars.add([] { registerPosLedArea(); });
  // the USB copy's state and progress, edisk/
  cmdAreaRegistrars.add([] { registerEdiskArea(); });
  // the RTCM 3 coder's and decoders' keys, rtcm3/
  cmdAreaRegistrars.add([] { registerRtcm3Area(); });
  // the antenna's serial number and setup id the base station sends, ant/
  cmdAreaRegistrars.add([] { registerAntennaArea(); });
  // the RTK settings, pos/pd, and the legacy RTK debug branch, rtk
  cmdAreaRegistrars.add([] { registerRtkAreas(); });
  // the position, reference-position, output datum, grid and geoid settings, pos
  cmdAreaRegistrars.add([] { registerPosArea(); });
  // the GBAS settings of the correction setup, gbas/
  cmdAreaRegistrars.add([] { registerGbasArea(); });
  // the satellite data store's clear-all requests, pos/clean
  cmdAreaRegistrars.add([] { registerSatDataKeys(); });

  // sets the GNSS board shares are forwarded to it; init,/par/ resets its settings
  cmdToSlaveCheckHook = cmdToSlaveCheck;
  cmdToSlaveHook = cmdToSlaveSend;
  cmdM2sDefaultsHook = m2sDefaults;
  // init,/par/ also resets the position engine setups and RTCM station records
  cmdInitDefaultsHooks.add([] { PVTDataInstance.init_SetupData(); });
  // and the output position filter's settings
  cmdInitDefaultsHooks.add([] {
    PosFilt.init();
    rcvPosFiltDefaults(RcvSet.posFilt);
  });

  // decoder status of a port whose input mode changed
  cmdDecModeHook = [](int decPort, int mode) { DecSt.setDecMode(decPort, decStatusMode(mode)); };
}
