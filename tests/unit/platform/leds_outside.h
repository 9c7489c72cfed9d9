// The status LEDs seen from outside, on their GPIO stand-in files in the test's run directory (laid
// out with standin::layOutGpio): what a test before left is put back to dark through the program's
// own calls, and what the LED state holds is read by having every line written again.
#pragma once

#include "platform/leds.h"
#include "unit/platform/gpio_stand_in.h"

namespace standin {

// The colour a LED shows on its lines: bit 0 green lit, bit 1 red lit.
inline int ledShown(Leds led) {
  const bool pos = led == kLedPos;
  return (gpioLevel(".", pos ? kLedPosGreenLine : kLedRecGreenLine) == 1 ? 1 : 0) |
         (gpioLevel(".", pos ? kLedPosRedLine : kLedRecRedLine) == 1 ? 2 : 0);
}

// Both LEDs dark, written at once (no LED task), no refresh forced, no fine flash running and the
// patterns shown again, their next colour written whatever the last one was.
inline void ledsDark() {
  ledProcInited = false;
  forceAllLeds = -1;
  PosLed::setFineSeconds(0, kLedOff);
  PosLed::enable(false);
  PosLed::process(0);  // forgets the colour last written
  PosLed::enable(true);
  SatLed::enable(true);
  leds(kLedBoth, kLedOff, kLedShow);
}

// What the LED state holds for one LED: every line scribbled over, then written again by a forced
// refresh.
inline int ledKept(Leds led) {
  for (int line : {kLedPosGreenLine, kLedPosRedLine, kLedRecGreenLine, kLedRecRedLine})
    writeStandIn(gpioPath(".", line, "value"), "x\n");
  forceAllLeds = 1;
  ledProc();
  return ledShown(led);
}

}  // namespace standin
