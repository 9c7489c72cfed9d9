// Hooks of the settings layer: what follows the loading of the settings, and the defaults that
// other layers know.
#include "differential/coding_driver.h"
#include "differential/lband/omnistar_params.h"
#include "differential/rtk/cpd_params.h"
#include "differential/rtcm3/rtcm3_keys.h"
#include "differential/rtk/rtk_keys.h"
#include "gnss_link/peripherals/board_settings_funcs.h"
#include "gnss_link/lock_manager.h"
#include "gnss_link/meas_proc.h"
#include "gnss_link/peripherals/calib_keys.h"
#include "gnss_link/peripherals/spectrum.h"
#include "gnss_link/peripherals/pps_event.h"
#include "gnss_link/wrapped/azrt_params.h"
#include "main/hooks.h"
#include "positioning/antdb/ant_db.h"
#include "positioning/engine/ms_logic.h"
#include "positioning/geodesy/datum_in_use.h"
#include "positioning/geoid/geoid_gps.h"
#include "positioning/pos_keys.h"
#include "settings/nav_settings.h"
#include "settings/nv_settings.h"

void wireSettings() {
  rcvSettingsHooks.cpuSetNum = cpuSetNum;
  // the stored RTK settings into the engine's settings record
  rcvSettingsHooks.cpdParams = cpdParamsLoad;
  rcvSettingsHooks.lbandSetMode = lbandSetMode;
  rcvSettingsHooks.geoidBuiltIn = GeoidGPS::useBuiltIn;
  // the stored measurement intervals into the smoothing counts and the base averager's count
  rcvSettingsHooks.msLogicInit = [](int msInt, int secInt) { msLogicInit(msInt, secInt); };
  // a stored antenna name the database does not hold is simply not found: start-up goes on
  rcvSettingsHooks.antDbFind = [](int, const char* name) { return antDataBase.find(name).valid(); };
  nvAfterLoadHooks.add(measProcSettingsLoaded);
  nvAfterLoadHooks.add(chanSettingsAfterLoad);
  nvAfterLoadHooks.add(spSettingsLoaded);
  nvAfterLoadHooks.add(calibSettingsLoaded);
  nvAfterLoadHooks.add(ppsEventSettingsAfterLoad);
  // routing of wrapped streams: a blank area takes the reset values, the decoders the area
  nvAfterLoadHooks.add(azrtSettingsAfterLoad);
  // the RTCM 3 decoders' stored settings and the MSM compatibility made live
  nvAfterLoadHooks.add(rtcm3SettingsLoaded);
  // the RTK keys' globals that mirror stored settings (ref/keep)
  nvAfterLoadHooks.add(rtkKeysSettingsLoaded);
  // the output grid and the base's stored reference position made live, averaging stopped
  nvAfterLoadHooks.add(posSettingsLoaded);
  navDatumDefaultsHook = navDatumDefaults;
  // the coders' live settings travel with the stored RTCM record
  rtcmSettingsSetGatherHook(diffRtcmSettingsGather);
  rtcmSettingsSetApplyHook(diffRtcmSettingsApply);
}
