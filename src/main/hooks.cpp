// Hook wiring of the composition root: one line per hook, grouped by the layer that owns it.
#include "main/hooks.h"

#include "gnss_link/board_link.h"
#include "gnss_link/board_settings.h"
#include "gnss_link/meas_proc.h"
#include "gnss_link/raw_decoder.h"
#include "settings/nv_settings.h"
#include "command/settings_commands.h"
#include "settings/port_settings.h"
#include "differential/decoder_status.h"
#include "differential/decoder_task.h"
#include "differential/redirect.h"
#include "gnss_link/freq_plan.h"
#include "gnss_link/lock_manager.h"
#include "platform/exit.h"
#include "platform/file_nvm.h"
#include "platform/nv_init.h"
#include "platform/rtos_time.h"
#include "platform/shutdown.h"
#include "positioning/geoid/geoid_gps.h"
#include "positioning/rcv_time_scales.h"
#include "positioning/signal_tables.h"
#include "positioning/time_scales.h"

namespace {
void saveImageOnExit() { FileNvmSaveOnExit(); }

// Clock plan and lock settings: a record that never took its defaults (a new image, init,/par/)
// takes them and is stored; the lock manager recomputes on its next pass.
void chanSettingsAfterLoad() {
  const bool clock = clockSettingsAfterLoad();
  const bool lock = lockSettingsAfterLoad();
  if (clock || lock) nv_writeRcvSettings();
  LockMan::updateLocking();
}
}  // namespace

void wireHooks() {
  // ---- platform: process exit
  rxAddExitHook(saveImageOnExit);

  // ---- platform: settings image block order (nvInitSet(kNv..., xxx_NvAlloc))
  nvInitSet(kNvSerdefs, serdefs_NvAlloc);

  // ---- platform: settings image snapshot and commit (RamNvm::setSnapshotHook, FileNvmSetCommitHook)
  // (the snapshot hook is installed by m2sPortInit, first of the start-up)
  FileNvmSetCommitHook(cmdBufCommit);

  // ---- platform: time (rtosSetGnssEpochHook, rtosSetTimesInitHook, rtosSetPpsSource)
  // The time scales extrapolate against the same clock the epochs are stamped with (on the
  // host, the process's steered virtual clock).
  TimeScales::setRealClock(rtosTimeGet);
  rtosSetGnssEpochHook(TimeScales::epoch);
  rtosSetTimesInitHook(RcvTimeScales::initOnce);

  // ---- platform: shutdown steps (rcvShutdownSetStep)

  // ---- platform: background task APPX (apxHookAdd)

  // ---- command: after-load steps of the receiver settings (rcvSettingsHooks, nvAfterLoadAdd)
  rcvSettingsHooks.geoidBuiltIn = GeoidGPS::useBuiltIn;
  nvAfterLoadAdd(measProcSettingsLoaded);

  // ---- command: forwarding of set commands to the GNSS board, and its defaults on init
  cmdSetToSlaveHook(cmdToSlaveSend);
  cmdSetM2sDefaultsHook(m2sDefaults);

  // ---- command: decoder status of a port whose input mode changed
  cmdSetDecModeHook([](int decPort, int mode) { DecSt.setDecMode(decPort, decStatusMode(mode)); });

  // ---- platform: the stored input mode a port is made in
  InPorts::storedMode_ = portSettingsMode;

  // ---- platform: followers of the ports' input modes (InPorts::beforeModeChange_, afterModeChange_)
  InPorts::afterModeChange_.store(static_cast<void (*)(int, int)>(decRedirsModeChange));

  // ---- differential: the relay's mode commands go to the GNSS board
  decSetBoardSend(static_cast<void (*)(const void*, int)>(m2sSend));

  // ---- gnss_link: the chain after each good epoch of the board's stream
  zrtRawDecoder.setMeasReady(signalMeasReady);

  // ---- command: steps after the settings are loaded (nvAfterLoadAdd)
  nvAfterLoadAdd(chanSettingsAfterLoad);

  // ---- positioning: signal tables ask the lock manager about BeiDou satellites
  signalTableLinks.isBeiPhase3 = isBeiPhase3;
  signalTableLinks.isBeiDou37compat = isBeiDou37compat;
  signalTableLinks.isBeiDouMSMcompat = isBeiDouMSMcompat;
  signalTableLinks.ignoreCompat = ignoreCompat;
}
