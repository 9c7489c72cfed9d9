// The receiver, navigation and RTCM settings in the settings image: their blocks, the loader
// run at start and the writers called after a change.
#pragma once

#include <cstdint>

#include "platform/hook.h"
#include "settings/base_coord.h"
#include "settings/nav_settings.h"
#include "settings/rcv_settings.h"
#include "settings/rtcm_settings.h"

class NvBlock;

// True when the receiver settings took their factory defaults at the last load (a blank,
// damaged or invalid block).
bool nv_rcvSettingsRestored();

// Block ids of the records kept here.
inline constexpr std::uint16_t kRcvSetBlockId = 30001;
inline constexpr std::uint16_t kNavSetBlockId = 30002;
inline constexpr std::uint16_t kRtcmSetBlockId = 30003;
inline constexpr std::uint16_t kBaseBlockId = 30004;
inline constexpr std::uint16_t kHistBlockId = 25408;
inline constexpr std::uint32_t kHistBlockSize = 728;

// What the higher layers do with the settings once they are loaded (and again after the factory
// defaults are restored). Each is filled from src/main; an empty one is skipped. They run in
// this order.
struct RcvSettingsHooks {
  // The RTK engine's live parameters written through their setters.
  Hook<void(const RCV_SETTINGS& s)> cpdParams{"settings", "rcvSettingsHooks.cpdParams"};
  // Measurement logic: the measurement interval and the second interval.
  Hook<void(int msInt, int secInt)> msLogicInit{"settings", "rcvSettingsHooks.msLogicInit"};
  // L-band mode and the number of GNSS-board processors; 0 when applied (or nothing to apply
  // it), else a command error.
  Hook<int(bool on)> lbandSetMode{"settings", "rcvSettingsHooks.lbandSetMode"};
  Hook<int(int value)> cpuSetNum{"settings", "rcvSettingsHooks.cpuSetNum"};
  // Antenna database look-up of an antenna input's type name; false when it is unknown.
  Hook<bool(int antenna, const char* name)> antDbFind{"settings", "rcvSettingsHooks.antDbFind"};
  // No geoid file configured: the built-in grid is the current one.
  Hook<void()> geoidBuiltIn{"settings", "rcvSettingsHooks.geoidBuiltIn"};
};
extern RcvSettingsHooks rcvSettingsHooks;

// Further steps that later layers join at the end of the after-load list.
extern HookList<void()> nvAfterLoadHooks;

// Allocates the blocks (receiver, navigation, RTCM, base, fix statistics, in this order), reads
// each record, takes a record's factory defaults when its block is invalid (and stores them),
// then runs the after-load list.
void nv_readSettings();
// Restores every record's factory defaults, stores them and runs the after-load list.
void nv_defaultSettings();

// Writers: the record (copied into the global first when another one is given) into its block.
bool nv_writeRcvSettings(const RCV_SETTINGS* s = &RcvSet);
bool nv_writeNavSettings(const NavTask::NAV_SETTINGS* s = &NavSet);
bool nv_writeRtcmSettings();
bool nv_writeCmrSettings();
bool nv_writeRtcm3Settings();
bool nv_writeBaseSettings(const BASECOORD* b = &bc);
// The GLONASS calibration mode, stored in the receiver settings.
bool nv_writeGloCalib(int mode);
// The station id shared by the output formats: stored into every coder's settings.
bool nv_writeRefIdSettings(int refId);
// Makes the coders take the stored station ids again.
void initRtcmSettingsRefId();

// The live coder and decoder settings are copied into RtcmSet before the RTCM writers store it,
// and taken from it again by initRtcmSettingsRefId; filled by the differential layer.
extern Hook<void(RTCM_SETTINGS& s)> rtcmSettingsGatherHook;
extern Hook<void(RTCM_SETTINGS& s)> rtcmSettingsApplyHook;
using RtcmSettingsSyncFn = void (*)(RTCM_SETTINGS& s);
void rtcmSettingsSetGatherHook(RtcmSettingsSyncFn fn);
void rtcmSettingsSetApplyHook(RtcmSettingsSyncFn fn);

// The fix-statistics block (owned here, read and written by the RTK history keys).
NvBlock& nvHistBlock();
