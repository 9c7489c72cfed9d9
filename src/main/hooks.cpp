// Hook wiring of the composition root: one line per hook, grouped by the layer that owns it.
#include "main/hooks.h"

#include "command/settings/nv_settings.h"
#include "gnss_link/freq_plan.h"
#include "gnss_link/lock_manager.h"

#include "platform/exit.h"
#include "platform/file_nvm.h"
#include "platform/nv_init.h"
#include "platform/rtos_time.h"
#include "platform/shutdown.h"
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

  // ---- platform: settings image snapshot and commit (RamNvm::setSnapshotHook, FileNvmSetCommitHook)

  // ---- platform: time (rtosSetGnssEpochHook, rtosSetTimesInitHook, rtosSetPpsSource)
  // The time scales extrapolate against the same clock the epochs are stamped with (on the
  // host, the process's steered virtual clock).
  TimeScales::setRealClock(rtosTimeGet);
  rtosSetGnssEpochHook(TimeScales::epoch);
  rtosSetTimesInitHook(RcvTimeScales::initOnce);

  // ---- platform: shutdown steps (rcvShutdownSetStep)

  // ---- platform: background task APPX (apxHookAdd)

  // ---- command: steps after the settings are loaded (nvAfterLoadAdd)
  nvAfterLoadAdd(chanSettingsAfterLoad);

  // ---- positioning: signal tables ask the lock manager about BeiDou satellites
  signalTableLinks.isBeiPhase3 = isBeiPhase3;
  signalTableLinks.isBeiDou37compat = isBeiDou37compat;
  signalTableLinks.isBeiDouMSMcompat = isBeiDouMSMcompat;
  signalTableLinks.ignoreCompat = ignoreCompat;
}
