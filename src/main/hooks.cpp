// Hook wiring of the composition root: one line per hook, grouped by the layer that owns it.
#include "main/hooks.h"

#include "gnss_link/board_settings.h"
#include "platform/exit.h"
#include "platform/file_nvm.h"
#include "platform/nv_init.h"
#include "platform/rtos_time.h"
#include "platform/shutdown.h"

namespace {
void saveImageOnExit() { FileNvmSaveOnExit(); }
}  // namespace

void wireHooks() {
  // ---- platform: process exit
  rxAddExitHook(saveImageOnExit);

  // ---- platform: settings image block order (nvInitSet(kNv..., xxx_NvAlloc))

  // ---- platform: settings image snapshot and commit (RamNvm::setSnapshotHook, FileNvmSetCommitHook)
  // (the snapshot hook is installed by m2sPortInit, first of the start-up)
  FileNvmSetCommitHook(cmdBufCommit);

  // ---- platform: time (rtosSetGnssEpochHook, rtosSetTimesInitHook, rtosSetPpsSource)

  // ---- platform: shutdown steps (rcvShutdownSetStep)

  // ---- platform: background task APPX (apxHookAdd)
}
