// Line drivers of serial ports C and D: each is RS-232 or RS-422 by a GPIO selector, with the
// transceivers held off (line 88 low) while the selectors change.
#pragma once

// Which of ports C and D are RS-422 is fixed by the board: RS-232 on this board.
inline constexpr bool kRsPortCIsRs422 = false;
inline constexpr bool kRsPortDIsRs422 = false;

// GPIO lines of the selection.
inline constexpr int kGpioRsEnable = 88;
inline constexpr int kGpioRsSelC = 86;
inline constexpr int kGpioRsSelD = 87;

// Sets the selectors and the ports' types at start-up (ports C and D are serial ports 2 and 3).
void rsInitCDPorts();
