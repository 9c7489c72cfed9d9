// The wiring table (hook_table.cpp): every hook of every layer, with what src/main puts into it.
// A hook whose filler is built is wired, with the number of functions it gets; one meant for a
// component not built yet is listed as such, so that the work that builds it turns its row on.
#pragma once

// Walks the hook registry and the table and reports each mismatch through `say` (one line,
// without a line end): a registered hook missing from the table, a row with no registered
// hook, a wired hook that holds fewer or more functions than its row says, a hook filled
// whose component is not built. Returns the number of mismatches.
int hookWiringCheck(void (*say)(const char* line));
