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
// Line bank x 32 + pin, exported when it has no direction file yet and turned to `direction`
// (1 out, 0 in) unless it already has it; the line number, or -1.
int gpio_init(int bank, int pin, int direction);
// Writes "out" for 1, "in" otherwise; the line number or -1.
int gpio_direction_set(int gpio, int direction);
// 1 for a direction beginning "out", 0 for "in", -1 otherwise or when the file cannot be read.
int gpio_direction_get(int gpio);
// Writes "1" for any non-zero level, else "0"; true on success.
bool gpio_value_set(int gpio, int level);
// The line's level (0 or 1, or the digit read), -1 on failure.
int gpio_value_get(int gpio);
// Opens the value file for polling; the descriptor, or -1.
int gpio_pinVal_getFD(int gpio);
// The level read through a descriptor of gpio_pinVal_getFD from the start of the file; -1 for a
// descriptor below 1 (never read) or when nothing can be read.
int gpio_value_getByFD(int fd);
// Forgets which failures were reported, so that each is reported once more (as after a start).
void gpioForgetReports();
