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

#include "platform/hook.h"

class ZRNamedNode;

// Registers the areas and the init verb, then runs the area registrars of the layers above.
void settingsCommandsInitOnce();
// Each registers the /par/ areas of a layer above this one (parRegisterArea), in the order
// added; those that stand in for areas not built yet come last, so that a real area keeps its
// prefix.
inline constexpr int kMaxAreaRegistrars = 32;  // the areas of every layer above
extern HookList<void(), kMaxAreaRegistrars> cmdAreaRegistrars;

// What follows every successful set (path below /par/, value): the settings blocks are
// rewritten, a setting the GNSS board shares is forwarded, the change is announced. Its result
// replaces the set's.
int cmdAfterSet(const char* path, const ZRNamedNode* value);
// The settings blocks of this layer rewritten from the records in memory.
void cmdStoreSettings();

// Asked before a set is done (path below /par/, value): 0 when the GNSS board can take the set
// and its record keep it, else the code the set answers (7, 21, 32, 34), and then nothing is
// changed anywhere. Filled by the GNSS board link.
extern Hook<int(const char* path, const ZRNamedNode* value)> cmdToSlaveCheckHook;

// Offers every successful set to the GNSS board (path below /par/, value), which takes those
// below the areas it shares; 0, 7, 21, 32 or 34. Filled by the GNSS board link.
extern Hook<int(const char* path, const ZRNamedNode* value)> cmdToSlaveHook;
using CmdToSlaveFn = int (*)(const char* path, const ZRNamedNode* value);
void cmdSetToSlaveHook(CmdToSlaveFn fn);

// Parameter-change event of a successful set (path below /par/; "" after init); filled by the
// output layer.
extern Hook<void(const char* path)> cmdParamChangedHook;
using ParamChangedFn = void (*)(const char* path);
void cmdSetParamChangedHook(ParamChangedFn fn);

// Resets the GNSS board's own settings after init,/par/; filled by the GNSS board link.
extern Hook<void()> cmdM2sDefaultsHook;
using M2sDefaultsFn = void (*)();
void cmdSetM2sDefaultsHook(M2sDefaultsFn fn);
// Factory defaults of the settings classes of other layers, run by init,/par/.
extern HookList<void()> cmdInitDefaultsHooks;
using InitDefaultsFn = void (*)();
bool cmdInitDefaultsAdd(InitDefaultsFn fn);

// Decoder status of a decoder port whose input mode changed (8: left the decoder modes);
// filled by the decoder status.
extern Hook<void(int decPort, int mode)> cmdDecModeHook;
using SetDecModeFn = void (*)(int decPort, int mode);
void cmdSetDecModeHook(SetDecModeFn fn);

// Changes a port's input mode as the port-mode command does; a command result code.
int cmdSetPortMode(int port, int mode);
