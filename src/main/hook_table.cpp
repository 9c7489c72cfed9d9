#include "main/hook_table.h"

#include <cstdio>
#include <cstring>

#include "command/settings_commands.h"
#include "differential/base/rtcm3_cpd_decoder.h"
#include "differential/coder_client.h"
#include "differential/input_decoders.h"
#include "differential/lband/omnistar_params.h"
#include "differential/redirect.h"
#include "files/log_files.h"
#include "gnss_link/meas_proc.h"
#include "gnss_link/peripherals/buttons.h"
#include "navigation_data/decoders/nav_decoder_family.h"
#include "navigation_data/store/sat_data_store.h"
#include "network/tcpcl_suspend.h"
#include "output/output_manager.h"
#include "platform/apx_task.h"
#include "platform/exit.h"
#include "platform/file_nvm.h"
#include "platform/mcu_link.h"
#include "platform/hook.h"
#include "platform/nv_init.h"
#include "platform/ports/can_ports.h"
#include "platform/ports/sock_can_port.h"
#include "platform/ports/in_port.h"
#include "platform/ram_nvm.h"
#include "platform/rtos_time.h"
#include "platform/shutdown.h"
#include "positioning/chan_data.h"
#include "positioning/engine/apx_nav.h"
#include "positioning/engine/ms_logic.h"
#include "positioning/engine/sat_meas_processor.h"
#include "positioning/signal_tables.h"
#include "settings/nav_settings.h"
#include "settings/nv_settings.h"

namespace {

struct HookRow {
  const char* owner;     // layer that owns the hook
  const char* name;      // its name in the hook registry
  const void* hook;      // the hook object
  int fills;             // functions src/main puts in (0 for a hook left empty)
  const char* notBuilt;  // the component that will fill it; null when wired
};

constexpr const char* kNetworkSettings = "network settings (network)";

// The registry's name of each hook is the expression that names it in the code.
#define WIRED(owner, hook, fills) {owner, #hook, &hook, fills, nullptr}
#define NOT_BUILT(owner, hook, component) {owner, #hook, &hook, 0, component}

// clang-format off
const HookRow kRows[] = {
    // ---- platform (wire_platform.cpp)
    WIRED("platform", rxExitHooks, 1),
    WIRED("platform", nvInitSlots.serdefs, 1),
    NOT_BUILT("platform", nvInitSlots.netconf, kNetworkSettings),
    NOT_BUILT("platform", nvInitSlots.wlanNv, "Wi-Fi settings (network)"),
    NOT_BUILT("platform", nvInitSlots.ddnsConf, "dynamic DNS settings (network)"),
    NOT_BUILT("platform", nvInitSlots.ptpdConf, "PTP settings (network)"),
    NOT_BUILT("platform", nvInitSlots.netconf1, kNetworkSettings),
    WIRED("platform", nvInitSlots.spectrumNv, 1),
    NOT_BUILT("platform", nvInitSlots.tcpclConf, "TCP client settings (network)"),
    NOT_BUILT("platform", nvInitSlots.rcvclConf, "receiver client settings (network)"),
    NOT_BUILT("platform", nvInitSlots.wlanconf2init, "Wi-Fi settings (network)"),
    NOT_BUILT("platform", nvInitSlots.wlanconf3init, "Wi-Fi settings (network)"),
    WIRED("platform", nvInitSlots.tsIdNv, 1),
    WIRED("platform", nvInitSlots.calib, 1),
    WIRED("platform", nvInitSlots.lbandMap, 1),
    WIRED("platform", nvInitSlots.beaconMap, 1),
    WIRED("platform", nvInitSlots.tsDecoderNv, 1),
    WIRED("platform", RamNvm::snapshotHook_, 1),
    WIRED("platform", fileNvmCommitHook, 1),
    WIRED("platform", rtosGnssEpochHook, 1),
    WIRED("platform", rtosTimesInitHook, 1),
    WIRED("platform", rtosPpsSource, 1),
    NOT_BUILT("platform", rcvShutdownSteps[kShutStepFilePush], "file push (files)"),
    WIRED("platform", rcvShutdownSteps[kShutStepLogFiles], 1),
    WIRED("platform", rcvShutdownSteps[kShutStepAnswer], 1),
    NOT_BUILT("platform", rcvShutdownSteps[kShutStepNetwork], "network and Wi-Fi (network)"),
    NOT_BUILT("platform", rcvShutdownSteps[kShutStepSession], "session state (files)"),
    NOT_BUILT("platform", rcvShutdownSteps[kShutStepPower], "power controller's wake-up command (none known)"),
    WIRED("platform", apxHooks[kApxCycle], 1),
    NOT_BUILT("platform", apxHooks[kApxFiveSec], "debug update"),
    WIRED("platform", apxHooks[kApxAfterSave], 1),
    WIRED("platform", CmdHandler::sink_, 1),
    WIRED("platform", InPorts::storedMode_, 1),
    WIRED("platform", InPorts::storeMode_, 1),
    WIRED("platform", InPorts::beforeModeChange_, 1),
    WIRED("platform", InPorts::afterModeChange_, 1),
    WIRED("platform", canReadHook, 1),
    WIRED("platform", canWriteHook, 1),
    WIRED("platform", canStoredStateHook, 1),
    WIRED("platform", canWakeCreateHook, 1),
    WIRED("platform", canWakeHook, 1),
    WIRED("platform", canWakeDrainHook, 1),
    WIRED("platform", boardDebugSelector, 1),

    // ---- settings (wire_settings.cpp)
    WIRED("settings", rcvSettingsHooks.cpdParams, 1),
    WIRED("settings", rcvSettingsHooks.msLogicInit, 1),
    WIRED("settings", rcvSettingsHooks.lbandSetMode, 1),
    WIRED("settings", rcvSettingsHooks.cpuSetNum, 1),
    WIRED("settings", rcvSettingsHooks.antDbFind, 1),
    WIRED("settings", rcvSettingsHooks.geoidBuiltIn, 1),
    WIRED("settings", nvAfterLoadHooks, 9),
    WIRED("settings", rtcmSettingsGatherHook, 1),
    WIRED("settings", rtcmSettingsApplyHook, 1),
    WIRED("settings", navDatumDefaultsHook, 1),

    // ---- command (wire_command.cpp)
    WIRED("command", cmdAreaRegistrars, 23),
    WIRED("command", cmdToSlaveCheckHook, 1),
    WIRED("command", cmdToSlaveHook, 1),
    NOT_BUILT("command", cmdParamChangedHook, "parameter-change event message (output)"),
    WIRED("command", cmdM2sDefaultsHook, 1),
    WIRED("command", cmdInitDefaultsHooks, 2),
    WIRED("command", cmdDecModeHook, 1),

    // ---- output (wire_output.cpp)
    WIRED("output", omStreamFunc, 1),
    WIRED("output", omEnableCheck, 1),
    WIRED("output", omRegistrars, 3),

    // ---- files
    WIRED("files", wpcLedHook, 1),

    // ---- network
    NOT_BUILT("network", tcpclSuspendHook, "TCP client links (network)"),

    // ---- navigation_data (wire_navigation_data.cpp)
    WIRED("navigation_data", satDataLinks.setGloSatType, 1),
    WIRED("navigation_data", satDataLinks.setGpsSatType, 1),
    WIRED("navigation_data", satDataLinks.gpsPhase3Update, 1),
    WIRED("navigation_data", satDataLinks.qzsPhase3Update, 1),
    WIRED("navigation_data", satDataLinks.beiPhase3Update, 1),
    WIRED("navigation_data", satDataLinks.polynomToRcvFrame, 1),
    WIRED("navigation_data", satDataLinks.positionToRcvFrame, 1),
    WIRED("navigation_data", navDecoderLinks.satResetRequest, 1),
    WIRED("navigation_data", navDecoderLinks.ephemerisReset, 1),
    WIRED("navigation_data", navDecoderLinks.klobuchar, 1),
    WIRED("navigation_data", navDecoderLinks.gbasEphIntegrity, 1),
    WIRED("navigation_data", navDecoderLinks.glonassIono, 1),
    WIRED("navigation_data", navDecoderLinks.nmct, 1),
    WIRED("navigation_data", navDecoderLinks.gpsPrnEntry, 1),
    WIRED("navigation_data", navDecoderLinks.compUdre, 1),
    WIRED("navigation_data", navDecoderLinks.compCorrection, 1),
    WIRED("navigation_data", navDecoderLinks.compIonoBlock, 1),
    WIRED("navigation_data", navDecoderLinks.compSourceState, 1),
    WIRED("navigation_data", navDecoderLinks.bdGlobalIono, 1),
    WIRED("navigation_data", navDecoderLinks.healthCheckSats, 1),
    WIRED("navigation_data", navDecoderLinks.b2bSource, 1),
    WIRED("navigation_data", satDataLinks.galNeQuick, 1),

    // ---- positioning (wire_positioning.cpp)
    WIRED("positioning", signalTableLinks.isBeiPhase3, 1),
    WIRED("positioning", signalTableLinks.isBeiDou37compat, 1),
    WIRED("positioning", signalTableLinks.isBeiDouMSMcompat, 1),
    WIRED("positioning", signalTableLinks.ignoreCompat, 1),
    WIRED("positioning", chanDataLinks.computeIonoFreePhase, 1),
    WIRED("positioning", chanDataLinks.ionoRecord, 1),
    WIRED("positioning", chanDataLinks.tecCalibEnabled, 1),
    WIRED("positioning", chanDataLinks.smoothWaitFull, 1),
    WIRED("positioning", msLogicLinks.chanMsInt, 1),
    WIRED("positioning", satMeasLinks.lbandBeam, 1),
    WIRED("positioning", apxNavLinks.satSearch, 1),

    // ---- differential (wire_differential.cpp)
    WIRED("differential", decBoardSendHook, 1),
    WIRED("differential", InDecs::native_, 1),
    WIRED("differential", navClcRcvOutHook, 1),
    WIRED("differential", lbandLinks.isOsc10Mhz, 1),
    WIRED("differential", lbandLinks.getCpuNum, 1),
    WIRED("differential", lbandLinks.setCpuNum, 1),
    WIRED("differential", lbandLinks.spReComputeParams, 1),
    WIRED("differential", baseBrandLinks.identify, 1),
    WIRED("differential", baseBrandLinks.setDetected, 1),
    WIRED("differential", baseBrandLinks.phasesAligned, 1),

    // ---- gnss_link
    WIRED("gnss_link", measProcLinks.sepAntSolutions, 1),
    WIRED("gnss_link", measProcLinks.rtkAllowType1, 1),
    WIRED("gnss_link", measProcLinks.rtkAllowType3, 1),
    WIRED("gnss_link", measProcLinks.rtkBaseDistance, 1),
    WIRED("gnss_link", measProcLinks.rtkDistLimit, 1),
    NOT_BUILT("gnss_link", measProcLinks.event, "receiver events"),
    WIRED("gnss_link", measProcLinks.posLedRtkSettings, 1),
    WIRED("gnss_link", measProcLinks.navMain, 1),
    WIRED("gnss_link", measProcLinks.roverMeas, 1),
    WIRED("gnss_link", buttonLinks.tcpclSuspended, 1),
    WIRED("gnss_link", buttonLinks.tcpclSetSuspend, 1),
};
// clang-format on
#undef WIRED
#undef NOT_BUILT

const HookRow* findRow(const char* owner, const char* name) {
  for (const HookRow& r : kRows)
    if (std::strcmp(r.owner, owner) == 0 && std::strcmp(r.name, name) == 0) return &r;
  return nullptr;
}

}  // namespace

int hookWiringCheck(void (*say)(const char* line)) {
  int faults = 0;
  char line[192];
  auto emit = [&] {
    if (say) say(line);
    ++faults;
  };
  for (int i = 0; i < hookCount(); ++i) {
    const HookInfo* h = hookAt(i);
    if (findRow(h->owner, h->name)) continue;
    std::snprintf(line, sizeof line, "%s/%s: registered, not in the wiring table", h->owner, h->name);
    emit();
  }
  for (const HookRow& r : kRows) {
    const HookInfo* h = hookFind(r.owner, r.name);
    if (h == nullptr || h->self != r.hook) {
      std::snprintf(line, sizeof line, "%s/%s: in the wiring table, no such hook registered", r.owner, r.name);
      emit();
      continue;
    }
    const int n = h->count(h->self);
    if (r.notBuilt != nullptr && n != 0) {
      std::snprintf(line, sizeof line, "%s/%s: filled (%d), but its component is not built: %s", r.owner, r.name, n,
                    r.notBuilt);
      emit();
    } else if (r.notBuilt == nullptr && n != r.fills) {
      std::snprintf(line, sizeof line, "%s/%s: holds %d, wired with %d", r.owner, r.name, n, r.fills);
      emit();
    }
  }
  return faults;
}
