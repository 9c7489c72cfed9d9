// The set and print keys of the receiver settings kept in this layer, and what follows every
// successful set: the settings blocks rewritten, the command forwarded to the GNSS board where
// it shares the setting, and the parameter-change event.
//
//   /par/dev/<family>/<x>/imode   input mode of a port ("cmd", "echo", "zrt", "rtcm3", ...)
//   /par/dev/ser/<x>/rate         speed of a serial port in baud
//   /par/cur/term/imode           input mode of the port the command came from
//   /par/lband/mode               L-band service mode (on/off)
//   /par/cpu/num                  GNSS-board processors: 0..4 or "auto"
//   init,/par/                    every factory default
#pragma once

class ZRNamedNode;

// Registers the areas, the init verb and the after-set step.
void settingsCommandsInitOnce();

// Offers every successful set to the GNSS board (path below /par/, value), which takes those
// below the areas it shares; 0, 7, 21 or 34. Filled by the GNSS board link.
using CmdToSlaveFn = int (*)(const char* path, const ZRNamedNode* value);
void cmdSetToSlaveHook(CmdToSlaveFn fn);

// Parameter-change event of a successful set (path below /par/; "" after init); filled by the
// output layer.
using ParamChangedFn = void (*)(const char* path);
void cmdSetParamChangedHook(ParamChangedFn fn);

// Resets the GNSS board's own settings after init,/par/; filled by the GNSS board link.
using M2sDefaultsFn = void (*)();
void cmdSetM2sDefaultsHook(M2sDefaultsFn fn);
// Factory defaults of the settings classes of other layers, run by init,/par/ (at most 32).
using InitDefaultsFn = void (*)();
bool cmdInitDefaultsAdd(InitDefaultsFn fn);

// Decoder status of a decoder port whose input mode changed (8: left the decoder modes);
// filled by the decoder status.
using SetDecModeFn = void (*)(int decPort, int mode);
void cmdSetDecModeHook(SetDecModeFn fn);

// Changes a port's input mode as the port-mode command does; a command result code.
int cmdSetPortMode(int port, int mode);
