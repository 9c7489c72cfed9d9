// Hooks of the platform layer: exit, settings image, time, shutdown, the ports.
#include "command/input_parser.h"
#include "differential/base/cpd_meas_buf.h"
#include "differential/lband/ts_decoder.h"
#include "differential/redirect.h"
#include "files/log_files.h"
#include "gnss_link/board_settings.h"
#include "gnss_link/peripherals/calib_glo.h"
#include "gnss_link/peripherals/spectrum.h"
#include "main/hooks.h"
#include "network/fake_sock.h"
#include "platform/exit.h"
#include "platform/file_nvm.h"
#include "platform/mcu_link.h"
#include "platform/apx_task.h"
#include "platform/nv_init.h"
#include "platform/pps_input.h"
#include "platform/ports/can_ports.h"
#include "platform/ports/in_port.h"
#include "platform/ports/sock_can_port.h"
#include "platform/ram_nvm.h"
#include "platform/rtos_time.h"
#include "platform/shutdown.h"
#include "positioning/rcv_time_scales.h"
#include "positioning/engine/apx_nav.h"
#include "positioning/engine/ms_logic.h"
#include "positioning/time_scales.h"
#include "settings/debug_selectors.h"
#include "settings/port_settings.h"
#include "settings/rcv_settings.h"

void wirePlatform() {
  // process exit: the settings image is forced to storage
  rxExitHooks.add([] { FileNvmSaveOnExit(); });

  // settings image: block order, and the GNSS-board settings file kept beside the image
  nvInitSlots.serdefs = serdefs_NvAlloc;
  nvInitSlots.spectrumNv = spectrum_nv_NvAlloc;
  nvInitSlots.calib = calib_NvAlloc;
  // the L-band service's reserved blocks keep their places in the order
  nvInitSet(kNvTsIdNv, ts_id_nv_NvAlloc);
  nvInitSet(kNvLbandMap, lband_map_nv_NvAlloc);
  nvInitSet(kNvBeaconMap, beacon_map_nv_NvAlloc);
  nvInitSet(kNvTsDecoderNv, ts_decoder_nv_NvAlloc);
  RamNvm::setSnapshotHook(cmdBufSnapshot);
  FileNvmSetCommitHook(cmdBufCommit);

  // time: each epoch's clock reading and the real-time clock at start go to the time scales
  rtosGnssEpochHook = TimeScales::epoch;
  rtosTimesInitHook = RcvTimeScales::initOnce;
  // the PPS line: the kernel's last pulse times the whole-second epochs
  rtosPpsSource = ppsInputRead;

  // shutdown: the log files closed, the command that asked answered
  rcvShutdownSteps[kShutStepLogFiles] = [](const ShutdownRequest&) { cfClose(-1); };
  rcvShutdownSteps[kShutStepAnswer] = cmdAnswerShutdown;

  // ports: command lines to the parser, the stored input mode a port is made in, mode changes
  // to the base-port choice and the relays
  CmdHandler::sink_ = &InputParser::put;
  InPorts::storedMode_ = portSettingsMode;
  InPorts::storeMode_ = portSettingsStoreMode;
  InPorts::beforeModeChange_ = static_cast<void (*)(int, int)>(cpdBufsModeChange);
  InPorts::afterModeChange_ = static_cast<void (*)(int, int)>(decRedirsModeChange);

  // background task: the navigation duties (slow position copy and stored position, raw
  // navigation messages every cycle, satellite data and corrections once a second)
  apxHookAdd(kApxCycle, apxNavDuty);
  // after the settings save: a pending change of the measurement interval applied
  apxHookAdd(kApxAfterSave, [](std::uint32_t) { msLogic(); });

  // the board readings and the power controller's link print diagnostics by the debug selector
  boardDebugSelector = [] { return dbi; };

  // CAN ports: their bytes through the two controllers, a write taken whole or not at all; each
  // port made in the state stored in the receiver settings
  canReadHook = canRead;
  canWriteHook = [](int can, const void* data, int len, int) {
    const int n = canWrite(can, data, len, false);
    return n < 0 ? 0 : n;
  };
  canStoredStateHook = [](int port, CanState* out) {
    if (port < 0 || port >= kCanPortCount) return false;
    *out = RcvSet.can[port];
    return true;
  };
  // CANT's wake-up descriptor is the networking layer's fake socket
  canWakeCreateHook = fakeSockCreate;
  canWakeHook = fakeSockWakeup;
  canWakeDrainHook = fakeSockCleanup;
}
