#include "main/hook_table.h"

#include <cstdio>
#include <cstring>

#include "command/settings_commands.h"
#include "differential/input_decoders.h"
#include "differential/redirect.h"
#include "files/log_files.h"
#include "gnss_link/meas_proc.h"
#include "network/tcpcl_suspend.h"
#include "output/output_manager.h"
#include "platform/apx_task.h"
#include "platform/exit.h"
#include "platform/file_nvm.h"
#include "platform/hook.h"
#include "platform/nv_init.h"
#include "platform/ports/can_ports.h"
#include "platform/ports/in_port.h"
#include "platform/ram_nvm.h"
#include "platform/rtos_time.h"
#include "platform/shutdown.h"
#include "positioning/chan_data.h"
#include "positioning/signal_tables.h"
#include "settings/nav_settings.h"
#include "settings/nv_settings.h"

namespace {

constexpr const char* kNetworkSettings = "network settings (network)";
constexpr const char* kLbandService = "L-band service (differential)";

// clang-format off
const HookRow kRows[] = {
    // ---- platform (wire_platform.cpp)
    {"platform", "rxExitHooks", &rxExitHooks, 1, nullptr},
    {"platform", "nvInitSlots.serdefs", &nvInitSlots.serdefs, 1, nullptr},
    {"platform", "nvInitSlots.netconf", &nvInitSlots.netconf, 0, kNetworkSettings},
    {"platform", "nvInitSlots.wlanNv", &nvInitSlots.wlanNv, 0, "Wi-Fi settings (network)"},
    {"platform", "nvInitSlots.ddnsConf", &nvInitSlots.ddnsConf, 0, "dynamic DNS settings (network)"},
    {"platform", "nvInitSlots.ptpdConf", &nvInitSlots.ptpdConf, 0, "PTP settings (network)"},
    {"platform", "nvInitSlots.netconf1", &nvInitSlots.netconf1, 0, kNetworkSettings},
    {"platform", "nvInitSlots.spectrumNv", &nvInitSlots.spectrumNv, 0, "spectrum settings (gnss_link)"},
    {"platform", "nvInitSlots.tcpclConf", &nvInitSlots.tcpclConf, 0, "TCP client settings (network)"},
    {"platform", "nvInitSlots.rcvclConf", &nvInitSlots.rcvclConf, 0, "receiver client settings (network)"},
    {"platform", "nvInitSlots.wlanconf2init", &nvInitSlots.wlanconf2init, 0, "Wi-Fi settings (network)"},
    {"platform", "nvInitSlots.wlanconf3init", &nvInitSlots.wlanconf3init, 0, "Wi-Fi settings (network)"},
    {"platform", "nvInitSlots.tsIdNv", &nvInitSlots.tsIdNv, 0, kLbandService},
    {"platform", "nvInitSlots.calib", &nvInitSlots.calib, 0, "GLONASS bias calibration (gnss_link)"},
    {"platform", "nvInitSlots.lbandMap", &nvInitSlots.lbandMap, 0, kLbandService},
    {"platform", "nvInitSlots.beaconMap", &nvInitSlots.beaconMap, 0, "beacon receiver (gnss_link)"},
    {"platform", "nvInitSlots.tsDecoderNv", &nvInitSlots.tsDecoderNv, 0, kLbandService},
    {"platform", "RamNvm::snapshotHook_", &RamNvm::snapshotHook_, 1, nullptr},
    {"platform", "fileNvmCommitHook", &fileNvmCommitHook, 1, nullptr},
    {"platform", "rtosGnssEpochHook", &rtosGnssEpochHook, 1, nullptr},
    {"platform", "rtosTimesInitHook", &rtosTimesInitHook, 1, nullptr},
    {"platform", "rtosPpsSource", &rtosPpsSource, 0, "PPS input (gnss_link peripherals)"},
    {"platform", "rcvShutdownSteps[kShutStepFilePush]", &rcvShutdownSteps[kShutStepFilePush], 0, "file push (files)"},
    {"platform", "rcvShutdownSteps[kShutStepLogFiles]", &rcvShutdownSteps[kShutStepLogFiles], 1, nullptr},
    {"platform", "rcvShutdownSteps[kShutStepAnswer]", &rcvShutdownSteps[kShutStepAnswer], 1, nullptr},
    {"platform", "rcvShutdownSteps[kShutStepNetwork]", &rcvShutdownSteps[kShutStepNetwork], 0, "network and Wi-Fi (network)"},
    {"platform", "rcvShutdownSteps[kShutStepSession]", &rcvShutdownSteps[kShutStepSession], 0, "session state (files)"},
    {"platform", "rcvShutdownSteps[kShutStepPower]", &rcvShutdownSteps[kShutStepPower], 0, "power controller (gnss_link peripherals)"},
    {"platform", "apxHooks[kApxCycle]", &apxHooks[kApxCycle], 0, "navigation housekeeping (positioning)"},
    {"platform", "apxHooks[kApxFiveSec]", &apxHooks[kApxFiveSec], 0, "debug update (positioning)"},
    {"platform", "apxHooks[kApxAfterSave]", &apxHooks[kApxAfterSave], 0, "measurement logic (positioning)"},
    {"platform", "CmdHandler::sink_", &CmdHandler::sink_, 1, nullptr},
    {"platform", "InPorts::storeHook_", &InPorts::storeHook_, 1, nullptr},
    {"platform", "InPorts::beforeModeChange_", &InPorts::beforeModeChange_, 0, "base-epoch buffers (differential)"},
    {"platform", "InPorts::afterModeChange_", &InPorts::afterModeChange_, 1, nullptr},
    {"platform", "canReadHook", &canReadHook, 0, "CAN interface"},
    {"platform", "canWriteHook", &canWriteHook, 0, "CAN interface"},

    // ---- settings (wire_settings.cpp)
    {"settings", "rcvSettingsHooks.cpdParams", &rcvSettingsHooks.cpdParams, 0, "RTK engine settings (differential)"},
    {"settings", "rcvSettingsHooks.msLogicInit", &rcvSettingsHooks.msLogicInit, 0, "measurement logic (positioning)"},
    {"settings", "rcvSettingsHooks.lbandSetMode", &rcvSettingsHooks.lbandSetMode, 0, kLbandService},
    {"settings", "rcvSettingsHooks.cpuSetNum", &rcvSettingsHooks.cpuSetNum, 1, nullptr},
    {"settings", "rcvSettingsHooks.antDbFind", &rcvSettingsHooks.antDbFind, 0, "antenna database (positioning)"},
    {"settings", "rcvSettingsHooks.geoidBuiltIn", &rcvSettingsHooks.geoidBuiltIn, 1, nullptr},
    {"settings", "nvAfterLoadHooks", &nvAfterLoadHooks, 2, nullptr},
    {"settings", "rtcmSettingsGatherHook", &rtcmSettingsGatherHook, 0, "RTCM coders and decoder settings keys (differential)"},
    {"settings", "rtcmSettingsApplyHook", &rtcmSettingsApplyHook, 0, "RTCM coders and decoder settings keys (differential)"},
    {"settings", "navDatumDefaultsHook", &navDatumDefaultsHook, 1, nullptr},

    // ---- command (wire_command.cpp)
    {"command", "cmdAreaRegistrars", &cmdAreaRegistrars, 2, nullptr},
    {"command", "cmdToSlaveHook", &cmdToSlaveHook, 1, nullptr},
    {"command", "cmdBoardSharesHook", &cmdBoardSharesHook, 1, nullptr},
    {"command", "cmdParamChangedHook", &cmdParamChangedHook, 0, "parameter-change event message (output)"},
    {"command", "cmdM2sDefaultsHook", &cmdM2sDefaultsHook, 1, nullptr},
    {"command", "cmdInitDefaultsHooks", &cmdInitDefaultsHooks, 0, "settings of the files and network layers"},
    {"command", "cmdDecModeHook", &cmdDecModeHook, 1, nullptr},

    // ---- output
    {"output", "omStreamFunc", &omStreamFunc, 0, "RTCM 3 coder (differential)"},
    {"output", "omRegistrars", &omRegistrars, 0, "messages of the positioning and differential layers"},

    // ---- files
    {"files", "wpcLedHook", &wpcLedHook, 0, "LEDs (gnss_link peripherals)"},

    // ---- network
    {"network", "tcpclSuspendHook", &tcpclSuspendHook, 0, "TCP client links (network)"},

    // ---- positioning (wire_positioning.cpp)
    {"positioning", "signalTableLinks.isBeiPhase3", &signalTableLinks.isBeiPhase3, 1, nullptr},
    {"positioning", "signalTableLinks.isBeiDou37compat", &signalTableLinks.isBeiDou37compat, 1, nullptr},
    {"positioning", "signalTableLinks.isBeiDouMSMcompat", &signalTableLinks.isBeiDouMSMcompat, 1, nullptr},
    {"positioning", "signalTableLinks.ignoreCompat", &signalTableLinks.ignoreCompat, 1, nullptr},
    {"positioning", "chanDataLinks.computeIonoFreePhase", &chanDataLinks.computeIonoFreePhase, 0, "satellite measurement processor (positioning)"},
    {"positioning", "chanDataLinks.ionoRecord", &chanDataLinks.ionoRecord, 0, "correction processor (positioning)"},
    {"positioning", "chanDataLinks.tecCalibEnabled", &chanDataLinks.tecCalibEnabled, 0, "satellite-processor setup (positioning)"},
    {"positioning", "chanDataLinks.smoothWaitFull", &chanDataLinks.smoothWaitFull, 0, "satellite-processor setup (positioning)"},

    // ---- differential (wire_differential.cpp)
    {"differential", "decBoardSendHook", &decBoardSendHook, 1, nullptr},
    {"differential", "InDecs::native_", &InDecs::native_, 1, nullptr},

    // ---- gnss_link
    {"gnss_link", "measProcLinks.sepAntSolutions", &measProcLinks.sepAntSolutions, 0, "receiver settings of the antenna inputs"},
    {"gnss_link", "measProcLinks.rtkAllowType1", &measProcLinks.rtkAllowType1, 0, "RTK settings keys (differential)"},
    {"gnss_link", "measProcLinks.rtkAllowType3", &measProcLinks.rtkAllowType3, 0, "RTK settings keys (differential)"},
    {"gnss_link", "measProcLinks.rtkBaseDistance", &measProcLinks.rtkBaseDistance, 0, "RTK engine (differential)"},
    {"gnss_link", "measProcLinks.rtkDistLimit", &measProcLinks.rtkDistLimit, 0, "RTK settings keys (differential)"},
    {"gnss_link", "measProcLinks.event", &measProcLinks.event, 0, "receiver events"},
    {"gnss_link", "measProcLinks.posLedRtkSettings", &measProcLinks.posLedRtkSettings, 0, "LEDs (gnss_link peripherals)"},
    {"gnss_link", "measProcLinks.navMain", &measProcLinks.navMain, 0, "navigation step (positioning)"},
};
// clang-format on
constexpr int kRowCount = static_cast<int>(sizeof kRows / sizeof kRows[0]);

const HookRow* findRow(const char* owner, const char* name) {
  for (const HookRow& r : kRows)
    if (std::strcmp(r.owner, owner) == 0 && std::strcmp(r.name, name) == 0) return &r;
  return nullptr;
}

}  // namespace

int hookTableSize() { return kRowCount; }
const HookRow& hookTableRow(int i) { return kRows[i < 0 || i >= kRowCount ? 0 : i]; }

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
