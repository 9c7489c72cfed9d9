// Hooks of the files layer: the recording LED shows the recording state.
#include "files/log_files.h"
#include "main/hooks.h"
#include "platform/leds.h"

void wireFiles() {
  // green while recording, else dark
  wpcLedHook = [](bool on) { leds(kLedRec, on ? kLedGreen : kLedOff, kLedShow); };
}
