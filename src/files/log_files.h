// The log files as the rest of the receiver sees them: up to five open files, each the output
// port cur/file/a..e (port indexes 0-4, output only), the default dynamic mode, the automatic
// rotation switch, and the recording-status bits that drive the recording LED.
#pragma once

#include <atomic>
#include <cstdint>

#include "platform/hook.h"

inline constexpr int kLogFiles = 5;

// Starts logging into file `index` (0..4): `name` in the log store, or an automatic name from
// the current UTC time when null or empty; `dynamic` marks the file dynamic, `autoStarted` that
// no user asked for it. A file open at that index is closed first. False when the name is not
// valid or the file cannot be created.
bool cfStartLogging(const char* name, bool dynamic, bool autoStarted, int index = 0);
// Closes file `index`, or every open file for -1.
void cfClose(int index, int reason = 0);
// True when any log file is open.
bool cfExists();
// Switches the open files between dynamic and static.
void cfChangeDynamic();
// Whether each log file is marked dynamic (false while closed); the log store's writer reads it.
extern std::atomic<bool> cfFileDynamic[kLogFiles];
// Keywords of the dynamic modes, in the order of their values.
const char* cfGetDynSpec();
int cfGetDefDynamic();
void cfSetDefDynamic(int mode);

// Automatic log rotation switch, and its check each epoch (t: receiver ms). With no rotation
// rule set the check changes nothing and answers false.
bool lrGetMode();
void lrSetMode(bool on);
bool lrRotate(std::uint32_t t, bool force);

// Once per whole second: the open files' data goes to storage.
void pcfSecond();
// Recording-status LEDs on or off.
void pcfEnableLights(bool on);

// Clears recording-status bits (bit 0 recording, set while a log file is open) and refreshes the
// recording LED.
void wpcClearBits(std::uint32_t mask);
// The recording LED shows the inverted recording state (a blink), also while the status LEDs
// are off.
void wpcLedsByInvertStatus();
// Counts down the blink; the LED returns to the recording state when it runs out, unless the
// status LEDs are off.
void wpcCheckBlink();
// Sets the recording LED; filled by the LED layer.
extern Hook<void(bool on)> wpcLedHook;

// Sets the debug request flag of opening or closing a debug file; the debug collector takes it.
void dbgOpenCloseFile();
extern std::atomic<bool> dbgOpenCloseRequest;

// Creates the output ports cur/file/a..e in the port table (once).
void logPortsInitOnce();
