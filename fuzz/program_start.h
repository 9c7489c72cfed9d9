// The program's own start-up, as far as the settings image and the command parser reach, run
// in-process: every hook wired as src/main wires it, then the start-up steps that read the
// settings and register the parameter areas, in the program's order. The steps that need the
// GNSS board, the terminals or the tasks are left out; the parser task itself is started.
#pragma once

#include "command/input_parser.h"
#include "command/settings_commands.h"
#include "differential/decoder_task.h"
#include "differential/rtcm3_client.h"
#include "fuzz_support.h"
#include "gnss_link/freq_plan.h"
#include "gnss_link/lock_manager.h"
#include "main/hooks.h"
#include "output/om_internal.h"
#include "output/om_nv_store.h"
#include "output/output_manager.h"
#include "platform/identity.h"
#include "platform/nv_init.h"
#include "positioning/data_servers/pvt_data.h"
#include "settings/nv_settings.h"

namespace fuzz {

// The settings image read and every block laid out and read as at start: the receiver settings,
// the output manager's message sets, the position engine's setups.
inline void readSettingsAsAtStart() {
  nvInitOnce();
  nv_readSettings();
  omNvAlloc();
  omLoadStoredSets();
  PVTDataInstance.allocate_NvRamData();
  PVTDataInstance.restore_NvRamData();
}

inline void startAsTheProgram(const char* name) {
  enterRunDir(name);
  noteDeliberateExits();
  wireHooks();
  identityInitOnce();
  nvInitOnce();
  nv_readSettings();
  InputParser::initOnce();
  settingsCommandsInitOnce();
  omInitOnce();
  rtcm3ClientsInit();
  decInitOnce();
  clockSettingsAfterLoad();
  chanInitOnce();
  lockManInitOnce();
  PVTDataInstance.allocate_NvRamData();
  PVTDataInstance.restore_NvRamData();
}

}  // namespace fuzz
