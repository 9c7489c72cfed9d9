// The board's GPIO lines through the kernel's sysfs interface (LEDs, buttons, transceivers and
// port selectors all go through here). Every path is mapped by hostPath(), so the host build
// works on stand-in files under host/sys/class/gpio/.
//
// A line is its sysfs number (bank x 32 + pin). The functions open and close their files on each
// call and may be called from any task; only the value descriptors that buttons poll stay open.
// A missing line is reported once per line and kind of failure, not on every call: a board
// without the hardware would otherwise fill the log every few seconds.
#pragma once

// Highest line number the once-per-line diagnostics keep track of; lines above it still work.
inline constexpr int kGpioMaxLine = 1023;

// Exports the line, sets it as an output and drives `level`; 0 on success, -1 on failure.
int setPinOutEn(int gpio, int level);
// Exports the line and sets it as an input; 0 or -1.
int setPinInEn(int gpio);
// Writes "1" for any non-zero level, else "0"; true on success.
bool gpio_value_set(int gpio, int level);
// Opens the value file for polling; the descriptor, or -1.
int gpio_pinVal_getFD(int gpio);
// The level read through a descriptor of gpio_pinVal_getFD from the start of the file; -1 for a
// descriptor below 1 (never read) or when nothing can be read.
int gpio_value_getByFD(int fd);
