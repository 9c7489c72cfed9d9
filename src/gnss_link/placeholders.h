// Stand-ins for operations of parts not built yet. Each answers "not available"; the real
// implementation replaces them. Keep each user's stand-ins in its own block.
#pragma once

class Mutex;

// ==== Lock manager: position lock and antenna names ==========================================
namespace placeholder {
// `posMutex` of the navigation main step, held around the position records. Stand-in: null, not
// available (the user position is only time-stamped, nothing else to guard).
Mutex* posMutex();
// DescriptorAntens::get_ant_name_shrt (command layer): short name of an antenna input.
// Stand-in: null, not available.
const char* get_ant_name_shrt(int index);
}  // namespace placeholder
// ==== end of lock manager ====================================================================
