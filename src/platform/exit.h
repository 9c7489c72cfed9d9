// The one way out of the process: flushes standard streams and ends without running static
// destructors, which would tear down objects that live tasks still use.
#pragma once

#include "platform/hook.h"

enum RxExitCode : int {
  kExitRestart = 0,
  kExitClearImage = 123,
  kExitReboot = 127,
  kExitPowerOff = 128,
  kExitTaskFailure = 222,
};

[[noreturn]] void rxExit(int code);
// The same without the exit hooks: for an end before the settings were read, when storing
// them could only overwrite good ones.
[[noreturn]] void rxExitAtOnce(int code);

// Called by rxExit before the process ends (the settings image is forced to storage here).
// At most a few; run in the order added.
extern HookList<void(), 8> rxExitHooks;
